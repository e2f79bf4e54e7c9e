#pragma once

// A processor in a home folder of its own, and blocks of audio through it.

#include <gtest/gtest.h>

#include "processor/KaltoAudioProcessor.h"
#include "tests/support/TempFolder.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace kalto
{

class ProcessorTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        home = test::makeTempFolder ("home");
        ASSERT_TRUE (home.isDirectory());
        ASSERT_EQ (setenv ("HOME", home.getFullPathName().toRawUTF8(), 1), 0);
    }

    void TearDown() override
    {
        processor.reset();
        home.deleteRecursively();
    }

    KaltoAudioProcessor& make()
    {
        processor = std::make_unique<KaltoAudioProcessor>();
        return *processor;
    }

    static float normalised (juce::AudioProcessorParameter* p) { return p->getValue(); }

    // The host's side of a parameter change.
    static void set (juce::RangedAudioParameter* p, float plainValue)
    {
        p->setValueNotifyingHost (p->convertTo0to1 (plainValue));
    }

    static void setLayout (KaltoAudioProcessor& p, int inputs, int outputs)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::canonicalChannelSet (inputs));
        layout.outputBuses.add (juce::AudioChannelSet::canonicalChannelSet (outputs));
        ASSERT_TRUE (p.setBusesLayout (layout));
    }

    struct Block
    {
        juce::AudioBuffer<float> audio;
        std::vector<juce::MidiMessage> midi;
        std::vector<int> positions;
    };

    // Runs `seconds` of input, made per channel and sample by `signal`, in
    // blocks, processed or bypassed as a host does; returns the blocks as the
    // processor left them.
    template <typename Signal>
    std::vector<Block> run (KaltoAudioProcessor& p, double rate, int blockSize, double seconds, Signal signal,
                            bool bypassed = false)
    {
        const auto channels = std::max (p.getMainBusNumInputChannels(), p.getMainBusNumOutputChannels());
        const auto total = (long) (seconds * rate);
        std::vector<Block> blocks;
        juce::MidiBuffer midi;
        for (long start = 0; start < total; start += blockSize)
        {
            const auto n = (int) std::min<long> (blockSize, total - start);
            Block b { juce::AudioBuffer<float> (channels, n), {}, {} };
            b.audio.clear();
            for (int c = 0; c < p.getMainBusNumInputChannels(); ++c)
                for (int i = 0; i < n; ++i)
                    b.audio.setSample (c, i, signal (c, (double) (start + i) / rate));
            midi.clear();
            if (bypassed)
                p.processBlockBypassed (b.audio, midi);
            else
                p.processBlock (b.audio, midi);
            for (const auto m : midi)
            {
                b.midi.push_back (m.getMessage());
                b.positions.push_back (m.samplePosition);
            }
            blocks.push_back (std::move (b));
        }
        return blocks;
    }

    static float tone (double hz, double seconds) { return 0.5f * (float) std::sin (2.0 * M_PI * hz * seconds); }

    static std::vector<int> noteOns (const std::vector<Block>& blocks)
    {
        std::vector<int> notes;
        for (const auto& b : blocks)
            for (const auto& m : b.midi)
                if (m.isNoteOn())
                    notes.push_back (m.getNoteNumber());
        return notes;
    }

    static float magnitude (const std::vector<Block>& blocks, int channel)
    {
        float m = 0.0f;
        for (const auto& b : blocks)
            m = std::max (m, b.audio.getMagnitude (channel, 0, b.audio.getNumSamples()));
        return m;
    }

    juce::File presets() const { return home.getChildFile ("Music/Kalto"); }
    // A preset's file, its path joined as text: getChildFile would take a
    // name's leading '~' for a home folder.
    juce::File presetFileOf (const juce::String& name) const
    {
        return juce::File (presets().getFullPathName() + "/" + name + ".kalto_vyn");
    }

    // Ways a save of the named preset writes nothing, each with what allows
    // it again.
    struct UnwritablePreset
    {
        const char* name;
        std::function<void()> prevent, allow;
    };
    std::vector<UnwritablePreset> unwritablePresets (const juce::String& preset)
    {
        return {
            { "a file where the preset folder would be",
              [this] { ASSERT_TRUE (presets().deleteRecursively() && presets().replaceWithText ("not a folder")); },
              [this] { ASSERT_TRUE (presets().deleteFile()); } },
            { "a folder under the preset's name",
              [this, preset] {
                  const auto file = presetFileOf (preset);
                  ASSERT_TRUE (file.deleteFile() && file.getChildFile ("inside").createDirectory().wasOk());
              },
              [this, preset] { ASSERT_TRUE (presetFileOf (preset).deleteRecursively()); } },
        };
    }

    juce::File home;
    std::unique_ptr<KaltoAudioProcessor> processor;
};

} // namespace kalto
