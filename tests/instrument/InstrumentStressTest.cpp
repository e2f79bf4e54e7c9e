// The instrument chosen again and again on one thread while another renders
// through it, as the editor and a host's audio thread do.

#include <gtest/gtest.h>

#include "instrument/InternalSynth.h"
#include "support/WaitUntil.h"

#include <atomic>
#include <cmath>
#include <thread>

namespace kalto
{
namespace
{
TEST (InstrumentThreads, ChoosingInstrumentsWhileRendering)
{
    InternalSynth synth;
    synth.setSound (piano);
    synth.setSampleRate (44100.0);
    std::atomic<bool> stop { false };
    std::atomic<long> blocks { 0 };
    std::atomic<bool> finite { true };
    std::atomic<long> soundingBlocks { 0 };

    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        for (int i = 0; ! stop.load(); ++i)
        {
            midi.clear();
            if (i % 8 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 40 + i % 50, 0.9f), 0);
            if (i % 8 == 4)
                midi.addEvent (juce::MidiMessage::pitchWheel (1, (int) ((i % 16384) * 97L % 16384)), 0);
            if (i % 16 == 12)
                midi.addEvent (juce::MidiMessage::noteOff (1, 40 + (i - 12) % 50, (juce::uint8) 0), 0);
            buffer.clear();
            synth.render (buffer, midi, 0, buffer.getNumSamples());
            const auto magnitude = buffer.getMagnitude (0, buffer.getNumSamples());
            if (! std::isfinite (magnitude))
                finite = false;
            if (magnitude > 1.0e-3f)
                soundingBlocks.fetch_add (1);
            blocks.fetch_add (1);
        }
    });

    const int order[] = { cello, noSound, drums, rawGuitar, saxophone, piano, 7, drums, cello };
    for (int round = 0; round < 3; ++round)
        for (int index : order)
        {
            synth.setSound (index);
            (void) synth.isMuted();
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    const long during = blocks.load(), soundingDuring = soundingBlocks.load();

    // The instrument chosen last plays: it sounds in a hundred blocks, however
    // long a loaded machine takes to render them.
    const bool sounded = test::waitUntil ([&] { return soundingBlocks.load() - soundingDuring >= 100; });
    stop = true;
    audio.join();

    EXPECT_TRUE (finite.load());
    EXPECT_EQ (synth.getNumSounds(), 4);
    EXPECT_TRUE (sounded) << "the cello chosen last does not sound";
    std::printf ("%ld blocks rendered during 27 instrument changes, %ld of them sounding\n", during, soundingDuring);
}
} // namespace
} // namespace kalto
