// The internal instrument as the processor drives it: MIDI at the first
// sample of each block, the embedded recordings, the reverb. The tests listen
// to what comes out.

#include <gtest/gtest.h>

#include "instrument/InternalSynth.h"
#include "tests/instrument/Listening.h"

#include <cmath>
#include <limits>
#include <random>

namespace kalto
{
namespace
{
struct TimedMessage
{
    double seconds;
    juce::MidiMessage message;
};

// Plays MIDI through the instrument block by block, each message at the first
// sample of the block that holds its time, and returns every output channel.
std::vector<std::vector<float>> play (InternalSynth& synth, const std::vector<TimedMessage>& messages, double seconds,
                                      double rate = 44100.0, int channels = 2, int blockSize = 512)
{
    const auto total = (int) (seconds * rate);
    std::vector<std::vector<float>> out ((std::size_t) channels, std::vector<float> ((std::size_t) total));
    juce::AudioBuffer<float> buffer (channels, blockSize);
    juce::MidiBuffer midi;
    for (int start = 0; start < total; start += blockSize)
    {
        const auto n = std::min (blockSize, total - start);
        midi.clear();
        for (const auto& m : messages)
        {
            const auto at = (int) (m.seconds * rate);
            if (at >= start && at < start + n)
                midi.addEvent (m.message, 0);
        }
        buffer.clear();
        synth.render (buffer, midi, 0, n);
        for (int c = 0; c < channels; ++c)
            std::copy (buffer.getReadPointer (c), buffer.getReadPointer (c) + n, out[(std::size_t) c].begin() + start);
    }
    return out;
}

std::vector<float> playMono (int instrument, const std::vector<TimedMessage>& messages, double seconds,
                             double rate = 44100.0)
{
    InternalSynth synth;
    synth.setSound (instrument);
    synth.setSampleRate (rate);
    return play (synth, messages, seconds, rate)[0];
}

juce::MidiMessage noteOn (int note, float velocity = 1.0f)
{
    return juce::MidiMessage::noteOn (1, note, velocity);
}
juce::MidiMessage wheel (int value)
{
    return juce::MidiMessage::pitchWheel (1, value);
}

bool silent (const std::vector<float>& x, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    for (std::size_t i = from; i < std::min (to, x.size()); ++i)
        if (x[i] != 0.0f)
            return false;
    return true;
}

TEST (InternalSynth, PianoMiddleCIsInTuneAtEitherHostRate)
{
    for (double rate : { 44100.0, 48000.0 })
    {
        SCOPED_TRACE (rate);
        const auto out = playMono (piano, { { 0.0, noteOn (60) } }, 1.0, rate);
        const auto hz = fundamentalHz (out, (std::size_t) (0.2 * rate), (std::size_t) (0.4 * rate), rate, 261.63);
        EXPECT_NEAR (cents (hz, midiHz (60)), 0.0, 10.0) << hz << " Hz";
        EXPECT_GT (rmsDb (out, 0, (std::size_t) rate), -40.0);
    }
}

TEST (InternalSynth, CelloNotesPlayTheNearestRecording)
{
    // Note 53 is the root-48 recording five semitones up and note 54 the
    // root-60 one six down: both are in tune, and the first runs through its
    // 10 s much sooner, so it ends by itself at 10 / 2^(5/12) = 7.49 s while
    // the other sounds on until 10 / 2^(-6/12) = 14.1 s.
    const struct
    {
        int note;
        double endsAt;
    } cases[] = { { 53, 10.0 / std::pow (2.0, 5.0 / 12.0) }, { 54, 10.0 / std::pow (2.0, -6.0 / 12.0) } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.note);
        const double rate = 44100.0;
        const auto out = playMono (cello, { { 0.0, noteOn (c.note) } }, c.endsAt + 1.0, rate);
        const auto hz =
            fundamentalHz (out, (std::size_t) (1.0 * rate), (std::size_t) (0.5 * rate), rate, midiHz (c.note));
        EXPECT_NEAR (cents (hz, midiHz (c.note)), 0.0, 10.0) << hz << " Hz";

        const auto window = (std::size_t) (0.2 * rate);
        const auto before = rmsDb (out, (std::size_t) ((c.endsAt - 0.4) * rate), window);
        const auto after = rmsDb (out, (std::size_t) ((c.endsAt + 0.3) * rate), window);
        EXPECT_GT (before - after, 15.0) << "level before the end " << before << " dB, after " << after << " dB";
        const auto earlier = rmsDb (out, (std::size_t) ((c.endsAt - 1.0) * rate), window);
        EXPECT_LT (std::abs (earlier - before), 6.0) << "the note must sustain until its end";
    }
}

TEST (InternalSynth, DrumsPlayTheirHitsAndIgnoreTheWheel)
{
    const double rate = 44100.0;
    for (int note : { 61, 63, 65, 59, 0 })
        EXPECT_TRUE (silent (playMono (drums, { { 0.0, noteOn (note) } }, 0.5))) << note;
    for (int note : { 60, 62, 64, 66, 127 })
        EXPECT_FALSE (silent (playMono (drums, { { 0.0, noteOn (note) } }, 0.5))) << note;

    // Note 70 is the crash four semitones higher: its zero crossings come
    // 2^(4/12) times as often.
    const auto crash = playMono (drums, { { 0.0, noteOn (66) } }, 0.5);
    const auto raised = playMono (drums, { { 0.0, noteOn (70) } }, 0.5);
    const auto ratio = zeroCrossingsPerSecond (raised, 0, (std::size_t) (0.3 * rate), rate)
                       / zeroCrossingsPerSecond (crash, 0, (std::size_t) (0.3 * rate), rate);
    EXPECT_NEAR (ratio, std::pow (2.0, 4.0 / 12.0), 0.06);

    // The wheel moves nothing on drums, while it does on the piano.
    const auto bent = playMono (drums, { { 0.0, noteOn (70) }, { 0.05, wheel (0) } }, 0.5);
    EXPECT_EQ (bent, raised);
    const auto piano60 = playMono (piano, { { 0.0, noteOn (60) } }, 0.5);
    EXPECT_NE (playMono (piano, { { 0.0, noteOn (60) }, { 0.05, wheel (0) } }, 0.5), piano60);
}

TEST (InternalSynth, WheelAtZeroLowersAPianoNoteByTwoSemitones)
{
    // Note 60 bent fully down is note 58, which plays the same recording
    // two semitones down: the two must be the same, sample for sample.
    const double rate = 44100.0;
    const auto bent = playMono (piano, { { 0.0, noteOn (60) }, { 0.0, wheel (0) } }, 1.0);
    EXPECT_EQ (bent, playMono (piano, { { 0.0, noteOn (58) } }, 1.0));
    const auto hz = fundamentalHz (bent, (std::size_t) (0.3 * rate), (std::size_t) (0.4 * rate), rate, midiHz (58));
    EXPECT_NEAR (cents (hz, midiHz (58)), 0.0, 10.0) << hz << " Hz";

    // Bent later, it moves from then on.
    const auto later = playMono (piano, { { 0.0, noteOn (60) }, { 0.1, wheel (0) } }, 1.0);
    const auto straight = playMono (piano, { { 0.0, noteOn (60) } }, 1.0);
    const auto bendSample = (std::size_t) (0.1 * rate) / 512 * 512;
    EXPECT_TRUE (std::equal (straight.begin(), straight.begin() + (long) bendSample, later.begin()));
    const auto laterHz =
        fundamentalHz (later, (std::size_t) (0.5 * rate), (std::size_t) (0.3 * rate), rate, midiHz (58));
    EXPECT_NEAR (cents (laterHz, midiHz (58)), 0.0, 10.0) << laterHz << " Hz";
}

TEST (InternalSynth, RawGuitarLeavesTheBufferUntouched)
{
    InternalSynth synth;
    synth.setSound (piano);
    synth.setSampleRate (44100.0);
    synth.setSound (rawGuitar);
    EXPECT_TRUE (synth.isMuted());
    EXPECT_EQ (synth.getNumVoices(), 0);

    juce::AudioBuffer<float> buffer (2, 512);
    std::minstd_rand random (7);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 512; ++i)
            buffer.setSample (c, i, (float) random() / (float) random.max() - 0.5f);
    juce::AudioBuffer<float> before (buffer);
    juce::MidiBuffer midi;
    midi.addEvent (noteOn (60), 0);
    synth.render (buffer, midi, 0, 512);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ (buffer.getSample (c, i), before.getSample (c, i));

    synth.setSound (cello);
    EXPECT_FALSE (synth.isMuted());
}

TEST (InternalSynth, NoSoundAddsOnlyTheReverbTail)
{
    for (int index : { (int) noSound, 6, -1, 100 })
    {
        SCOPED_TRACE (index);
        // Nothing was ever played: nothing at all comes out.
        EXPECT_TRUE (silent (playMono (index, { { 0.0, noteOn (60) } }, 0.3)));

        // After a piano note, the reverb rings out and the new note is not played.
        InternalSynth synth;
        synth.setSound (piano);
        synth.setSampleRate (44100.0);
        play (synth, { { 0.0, noteOn (60) } }, 0.5);
        synth.setSound (index);
        EXPECT_EQ (synth.getNumVoices(), 0);
        EXPECT_EQ (synth.getNumSounds(), 0);
        const auto tail = play (synth, { { 0.0, noteOn (72) } }, 3.0)[0];
        const auto first = rmsDb (tail, 0, 4410), later = rmsDb (tail, 22050, 4410);
        EXPECT_GT (first, -60.0);
        EXPECT_LT (later, first - 20.0);
    }
}

TEST (InternalSynth, SelectingAgainStopsSoundingNotesAndKeepsTheLastReverb)
{
    const struct
    {
        int index;
        juce::Reverb::Parameters expected; // room size, damping, wet, dry, width, freeze
    } cases[] = {
        { cello, { 0.5f, 0.8f, 0.1f, 0.5f, 0.5f, 0.0f } },
        { piano, { 0.5f, 0.0f, 0.3f, 0.6f, 1.0f, 0.0f } },
        { saxophone, { 0.5f, 0.2f, 0.25f, 0.6f, 0.8f, 0.0f } },
        { drums, { 0.5f, 0.6f, 0.1f, 0.6f, 0.8f, 0.0f } },
    };

    InternalSynth synth;
    const auto defaults = synth.getReverbParameters();
    EXPECT_EQ (defaults.damping, 0.5f);
    EXPECT_EQ (defaults.wetLevel, 0.33f);
    EXPECT_EQ (defaults.dryLevel, 0.4f);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.index);
        synth.setSound (c.index);
        EXPECT_EQ (synth.getNumVoices(), 10);
        EXPECT_EQ (synth.getNumSounds(), 4);
        for (int other : { (int) noSound, (int) rawGuitar })
        {
            synth.setSound (other);
            const auto p = synth.getReverbParameters();
            EXPECT_EQ (p.roomSize, c.expected.roomSize);
            EXPECT_EQ (p.damping, c.expected.damping);
            EXPECT_EQ (p.wetLevel, c.expected.wetLevel);
            EXPECT_EQ (p.dryLevel, c.expected.dryLevel);
            EXPECT_EQ (p.width, c.expected.width);
            EXPECT_EQ (p.freezeMode, c.expected.freezeMode);
        }
    }

    // A note held while the same instrument is chosen again stops at once:
    // only the reverb's tail follows.
    synth.setSound (saxophone);
    synth.setSampleRate (44100.0);
    play (synth, { { 0.0, noteOn (60) } }, 0.5);
    synth.setSound (saxophone);
    const auto after = play (synth, {}, 2.0)[0];
    EXPECT_LT (rmsDb (after, 44100, 4410), rmsDb (after, 0, 4410) - 20.0);
}

// A buffer whose samples near the float limit overflow the reverb's sums:
// what render leaves is finite, and the blocks after it play on once the
// overflow has been silenced. A new sample rate also starts the reverb afresh.
TEST (InternalSynth, AnOverflowingBlockLeavesNothingBehind)
{
    InternalSynth synth;
    synth.setSound (piano);
    synth.setSampleRate (44100.0);
    juce::AudioBuffer<float> buffer (2, 512);
    const juce::MidiBuffer none;
    const auto nonFinite = [&buffer] {
        int n = 0;
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                n += std::isfinite (buffer.getSample (c, i)) ? 0 : 1;
        return n;
    };

    buffer.clear();
    for (int i = 0; i < 8; ++i)
        buffer.setSample (i % 2, 100 + i, (i % 2 == 0 ? 1.0f : -1.0f) * std::numeric_limits<float>::max());
    synth.render (buffer, none, 0, 512);
    EXPECT_EQ (nonFinite(), 0);

    // A tone through the reverb afterwards comes out finite and heard.
    for (int block = 0; block < 100; ++block)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                buffer.setSample (c, i, 0.5f * (float) std::sin (0.0627 * (block * 512 + i)));
        synth.render (buffer, none, 0, 512);
        ASSERT_EQ (nonFinite(), 0) << "block " << block;
    }
    EXPECT_GT (buffer.getMagnitude (0, 512), 0.1f);

    // Silence after a new rate is silence: no tail of what played before.
    synth.setSampleRate (48000.0);
    buffer.clear();
    synth.render (buffer, none, 0, 512);
    EXPECT_EQ (buffer.getMagnitude (0, 512), 0.0f);
}

TEST (InternalSynth, MonoOutputGetsTheVoicesAndAMonoReverb)
{
    InternalSynth synth;
    synth.setSound (piano);
    synth.setSampleRate (44100.0);
    const auto mono = play (synth, { { 0.0, noteOn (60) } }, 0.5, 44100.0, 1)[0];
    EXPECT_GT (rmsDb (mono, 0, 22050), -40.0);
    const auto hz = fundamentalHz (mono, 8820, 8820, 44100.0, 261.63);
    EXPECT_NEAR (cents (hz, midiHz (60)), 0.0, 10.0);

    // Channels past the second are left as they are.
    InternalSynth four;
    four.setSound (piano);
    four.setSampleRate (44100.0);
    const auto out = play (four, { { 0.0, noteOn (60) } }, 0.2, 44100.0, 4);
    EXPECT_FALSE (silent (out[1]));
    EXPECT_TRUE (silent (out[2]));
    EXPECT_TRUE (silent (out[3]));
}
} // namespace
} // namespace kalto
