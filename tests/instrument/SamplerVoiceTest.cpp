// The sampler sound and voice on recordings made up for the purpose: a
// constant shows the envelope, a ramp shows the read position.

#include <gtest/gtest.h>

#include "instrument/KaltoSamplerSound.h"
#include "instrument/KaltoSamplerVoice.h"

#include <cmath>
#include <functional>

namespace kalto
{
namespace
{
// An in-memory WAV reader over frames made by `sample (channel, frame)`.
std::unique_ptr<juce::AudioFormatReader> recording (int channels, double rate, int frames,
                                                    std::function<float (int, int)> sample)
{
    static std::vector<std::unique_ptr<juce::MemoryBlock>> files; // the readers read from these
    files.push_back (std::make_unique<juce::MemoryBlock>());
    auto& file = *files.back();

    juce::WavAudioFormat wav;
    {
        // 32 bits: float samples, so a ramp keeps its values.
        std::unique_ptr<juce::AudioFormatWriter> writer (
            wav.createWriterFor (new juce::MemoryOutputStream (file, false), rate, (unsigned) channels, 32, {}, 0));
        juce::AudioBuffer<float> audio (channels, std::max (frames, 1));
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frames; ++i)
                audio.setSample (c, i, sample (c, i));
        if (frames > 0)
            writer->writeFromAudioSampleBuffer (audio, 0, frames);
    }
    return std::unique_ptr<juce::AudioFormatReader> (
        wav.createReaderFor (new juce::MemoryInputStream (file, false), true));
}

juce::BigInteger allNotes()
{
    juce::BigInteger notes;
    notes.setRange (0, 128, true);
    return notes;
}

struct Voice
{
    juce::Synthesiser synth;
    KaltoSamplerVoice* voice;
    KaltoSamplerSound* sound;

    Voice (juce::AudioFormatReader& reader, int root, double attack, double release, double maxLength, bool bend = true,
           double hostRate = 44100.0)
    {
        voice = new KaltoSamplerVoice (bend);
        synth.addVoice (voice);
        sound = new KaltoSamplerSound ("Voice", reader, allNotes(), root, attack, release, maxLength);
        synth.addSound (sound);
        synth.setCurrentPlaybackSampleRate (hostRate);
    }

    // Renders n samples on `channels` channels with the message at sample 0.
    std::vector<float> render (int n, std::vector<juce::MidiMessage> messages = {}, int channels = 1, int channel = 0)
    {
        juce::AudioBuffer<float> buffer (channels, n);
        buffer.clear();
        juce::MidiBuffer midi;
        for (const auto& m : messages)
            midi.addEvent (m, 0);
        synth.renderNextBlock (buffer, midi, 0, n);
        return { buffer.getReadPointer (channel), buffer.getReadPointer (channel) + n };
    }
};

juce::MidiMessage on (int note, float velocity = 1.0f)
{
    return juce::MidiMessage::noteOn (1, note, velocity);
}
juce::MidiMessage off (int note)
{
    return juce::MidiMessage::noteOff (1, note, (juce::uint8) 0);
}
juce::MidiMessage wheel (int value)
{
    return juce::MidiMessage::pitchWheel (1, value);
}

float one (int, int)
{
    return 1.0f;
}
float ramp (int, int i)
{
    return (float) i;
}

TEST (SamplerSound, DecodesUpToTheCapWithFourFramesToSpare)
{
    const struct
    {
        int channels;
        double rate;
        int frames;
        double cap;
        int length, attack, release;
    } cases[] = {
        { 2, 44100.0, 44100, 10.0, 44100, 0, 2205 }, // shorter than the cap
        { 2, 44100.0, 44100, 0.5, 22050, 0, 2205 },  // cut to the cap
        { 1, 48000.0, 4800, 10.0, 4800, 0, 2400 },   // mono at 48 kHz
        { 4, 44100.0, 100, 10.0, 100, 0, 2205 },     // at most two channels kept
    };
    for (const auto& c : cases)
    {
        auto reader = recording (c.channels, c.rate, c.frames, one);
        KaltoSamplerSound sound ("Voice", *reader, allNotes(), 60, 0.0, 0.05, c.cap);
        EXPECT_EQ (sound.getLength(), c.length);
        EXPECT_EQ (sound.getAttackSamples(), c.attack);
        EXPECT_EQ (sound.getReleaseSamples(), c.release);
        ASSERT_NE (sound.getAudioData(), nullptr);
        EXPECT_EQ (sound.getAudioData()->getNumChannels(), std::min (c.channels, 2));
        EXPECT_EQ (sound.getAudioData()->getNumSamples(), c.length + 4);
        EXPECT_EQ (sound.getAudioData()->getSample (0, c.length - 1), 1.0f);
    }

    juce::BigInteger notes;
    notes.setBit (61);
    auto reader = recording (1, 44100.0, 10, one);
    KaltoSamplerSound sound ("Voice", *reader, notes, 60, 0.0, 0.05, 10.0);
    EXPECT_TRUE (sound.appliesToNote (61));
    EXPECT_FALSE (sound.appliesToNote (60));
    EXPECT_TRUE (sound.appliesToChannel (16));
}

TEST (SamplerSound, AnEmptyRecordingHasNoDataAndPlaysNothing)
{
    auto reader = recording (2, 44100.0, 0, one);
    Voice v (*reader, 60, 0.0, 0.05, 10.0);
    EXPECT_EQ (v.sound->getLength(), 0);
    EXPECT_EQ (v.sound->getAudioData(), nullptr);
    const auto out = v.render (64, { on (60) });
    EXPECT_EQ (out, std::vector<float> (64, 0.0f));
    EXPECT_FALSE (v.voice->isVoiceActive());
}

TEST (SamplerVoice, PlaysAtTheNotesSpeedForAnyRates)
{
    // The ramp's value is the read position, so each output sample shows how
    // far the voice has read.
    const struct
    {
        const char* name;
        double recordingRate, hostRate;
        int note;
        double framesPerSample;
    } cases[] = {
        { "root, same rates", 44100.0, 44100.0, 60, 1.0 },
        { "root under a 48 kHz host", 44100.0, 48000.0, 60, 0.91875 },
        { "a 48 kHz drum under a 44.1 kHz host", 48000.0, 44100.0, 60, 48000.0 / 44100.0 },
        { "an octave up", 44100.0, 44100.0, 72, 2.0 },
        { "five semitones up", 44100.0, 44100.0, 65, std::pow (2.0, 5.0 / 12.0) },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto reader = recording (1, c.recordingRate, 10000, ramp);
        Voice v (*reader, 60, 0.0, 0.05, 10.0, true, c.hostRate);
        const auto out = v.render (1000, { on (c.note) });
        for (int i : { 1, 10, 999 })
            EXPECT_NEAR (out[(std::size_t) i], i * c.framesPerSample, 1e-3 * i) << "sample " << i;
    }
}

TEST (SamplerVoice, FollowsTheWheelByTwoSemitonesOnlyWhenEnabled)
{
    const struct
    {
        bool enabled;
        int startWheel, wheelValue;
        double framesPerSample;
    } cases[] = {
        { true, 8192, 0, std::pow (2.0, -2.0 / 12.0) },
        { true, 8192, 16383, 1.0 + (16383.0 - 8192.0) / 8192.0 * (std::pow (2.0, 2.0 / 12.0) - 1.0) },
        { true, 8192, 4096, 1.0 - 0.5 * (1.0 - std::pow (2.0, -2.0 / 12.0)) },
        { true, 8192, 8192, 1.0 },
        { false, 8192, 0, 1.0 },
        { false, 8192, 16383, 1.0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "enabled " << c.enabled << " wheel " << c.wheelValue);
        auto reader = recording (1, 44100.0, 10000, ramp);
        Voice v (*reader, 60, 0.0, 0.05, 10.0, c.enabled);
        v.render (100, { on (60) });
        const auto out = v.render (100, { wheel (c.wheelValue) });
        EXPECT_NEAR (out[99] - out[0], 99.0 * c.framesPerSample, 1e-6 * 100);
    }

    // A note started with the wheel at the top sounds unbent until the wheel moves.
    auto reader = recording (1, 44100.0, 10000, ramp);
    Voice v (*reader, 60, 0.0, 0.05, 10.0);
    v.render (16, { wheel (16383) });
    const auto out = v.render (100, { on (60) });
    EXPECT_NEAR (out[99] - out[0], 99.0, 1e-6);
}

TEST (SamplerVoice, ShapesNotesWithLinearAttackAndRelease)
{
    auto reader = recording (1, 44100.0, 44100, one);
    {
        SCOPED_TRACE ("no attack, release of 2205 frames after the note-off");
        Voice v (*reader, 60, 0.0, 0.05, 10.0);
        EXPECT_EQ (v.render (100, { on (60) })[0], 1.0f);
        const auto out = v.render (3000, { off (60) });
        EXPECT_FLOAT_EQ (out[0], 1.0f);
        EXPECT_NEAR (out[1102], 1.0f - 1102.0f / 2205.0f, 1e-4);
        // The last sample comes just before the ramp reaches 0; nothing after.
        EXPECT_GT (out[2203], 0.0f);
        EXPECT_EQ (std::vector<float> (out.begin() + 2205, out.end()), std::vector<float> (3000 - 2205, 0.0f));
        EXPECT_FALSE (v.voice->isVoiceActive());
    }
    {
        SCOPED_TRACE ("a note-off during the attack releases from the level reached");
        Voice v (*reader, 60, 100.0 / 44100.0, 100.0 / 44100.0, 10.0);
        const auto attack = v.render (50, { on (60) });
        EXPECT_EQ (attack[0], 0.0f);
        EXPECT_NEAR (attack[25], 0.25f, 1e-5);
        const auto release = v.render (100, { off (60) });
        EXPECT_NEAR (release[0], 0.5f, 1e-5);
        EXPECT_NEAR (release[25], 0.25f, 1e-5);
        EXPECT_EQ (release[60], 0.0f);
    }
    {
        SCOPED_TRACE ("a note-off without tail-off frees the voice at once");
        Voice v (*reader, 60, 0.0, 0.05, 10.0);
        v.render (10, { on (60) });
        v.synth.allNotesOff (1, false);
        EXPECT_FALSE (v.voice->isVoiceActive());
    }
}

TEST (SamplerVoice, ANoteEndsWithItsRecording)
{
    // 1000 frames, capped at 10 s: played at its root it ends after the
    // position passes frame 1000; an octave up, after 500 samples.
    for (const auto& [note, lastSample] : { std::pair { 60, 999 }, std::pair { 72, 499 } })
    {
        SCOPED_TRACE (note);
        auto reader = recording (1, 44100.0, 1000, one);
        Voice v (*reader, 60, 0.0, 0.05, 10.0);
        const auto out = v.render (1200, { on (note) });
        EXPECT_EQ (out[(std::size_t) lastSample], 1.0f);
        EXPECT_EQ (out[(std::size_t) lastSample + 2], 0.0f);
        EXPECT_FALSE (v.voice->isVoiceActive());
    }

    // A held note of a longer recording ends at the 10 s cap.
    auto reader = recording (1, 44100.0, 11 * 44100, one);
    Voice v (*reader, 60, 0.0, 0.05, 10.0);
    v.render (440000, { on (60) });
    EXPECT_TRUE (v.voice->isVoiceActive());
    v.render (1001);
    EXPECT_FALSE (v.voice->isVoiceActive());
}

TEST (SamplerVoice, MixesToMonoAndKeepsStereoApart)
{
    auto reader = recording (2, 44100.0, 1000, [] (int c, int) { return c == 0 ? 1.0f : 0.5f; });
    Voice v (*reader, 60, 0.0, 0.05, 10.0);
    EXPECT_EQ (v.render (10, { on (60) }, 1)[5], 0.75f);

    // Velocity is the gain of both sides.
    Voice soft (*reader, 60, 0.0, 0.05, 10.0);
    EXPECT_FLOAT_EQ (soft.render (10, { on (60, 64.0f / 127.0f) }, 1)[5], 0.75f * 64.0f / 127.0f);

    Voice stereo (*reader, 60, 0.0, 0.05, 10.0);
    EXPECT_EQ (stereo.render (10, { on (60) }, 2, 0)[5], 1.0f);
    Voice right (*reader, 60, 0.0, 0.05, 10.0);
    EXPECT_EQ (right.render (10, { on (60) }, 2, 1)[5], 0.5f);

    // A mono recording plays the same on both sides.
    auto monoReader = recording (1, 44100.0, 1000, one);
    Voice both (*monoReader, 60, 0.0, 0.05, 10.0);
    EXPECT_EQ (both.render (10, { on (60) }, 2, 1)[5], 1.0f);
}

TEST (SamplerVoice, PlaysOnlyItsOwnSounds)
{
    struct OtherSound final : juce::SynthesiserSound
    {
        bool appliesToNote (int) override { return true; }
        bool appliesToChannel (int) override { return true; }
    };
    KaltoSamplerVoice voice (true);
    juce::SynthesiserSound::Ptr other (new OtherSound());
    EXPECT_FALSE (voice.canPlaySound (other.get()));
    EXPECT_FALSE (voice.canPlaySound (nullptr));
    auto reader = recording (1, 44100.0, 10, one);
    juce::SynthesiserSound::Ptr own (new KaltoSamplerSound ("Voice", *reader, allNotes(), 60, 0.0, 0.05, 10.0));
    EXPECT_TRUE (voice.canPlaySound (own.get()));
}
} // namespace
} // namespace kalto
