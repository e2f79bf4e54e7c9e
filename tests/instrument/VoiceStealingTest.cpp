// Voice stealing: the instrument's synthesiser chooses exactly the voice the
// framework's own stealing would, in named situations and in thousands of
// random ones, played through the synthesiser's note and pedal handling.

#include <gtest/gtest.h>

#include "instrument/KaltoSynthesiser.h"

#include <random>
#include <string>
#include <vector>

namespace kalto
{
namespace
{
// A sound for every note and channel, and one for another instrument's voices.
struct Sound final : juce::SynthesiserSound
{
    explicit Sound (int k) : kind (k) {}
    bool appliesToNote (int) override { return true; }
    bool appliesToChannel (int) override { return true; }
    const int kind;
};

// A voice that plays one kind of sound and rings on after a note-off that
// lets it tail off, until told to stop at once: released notes stay released.
class Voice final : public juce::SynthesiserVoice
{
public:
    explicit Voice (int k) : kind (k) {}
    bool canPlaySound (juce::SynthesiserSound* s) override
    {
        const auto* sound = dynamic_cast<Sound*> (s);
        return sound != nullptr && sound->kind == kind;
    }
    void startNote (int, float, juce::SynthesiserSound*, int) override {}
    void stopNote (float, bool allowTailOff) override
    {
        if (! allowTailOff)
            clearCurrentNote();
    }
    void pitchWheelMoved (int) override {}
    void controllerMoved (int, int) override {}
    void renderNextBlock (juce::AudioBuffer<float>&, int, int) override {}

private:
    const int kind;
};

// Both choices, ours and the framework's, for the same voices.
class Stealing final : public KaltoSynthesiser
{
public:
    explicit Stealing (int voiceCount, int otherKindEvery = 0)
    {
        for (int i = 0; i < voiceCount; ++i)
            addVoice (new Voice (otherKindEvery > 0 && i % otherKindEvery == otherKindEvery - 1 ? 1 : 0));
        addSound (sound);
        setNoteStealingEnabled (true);
    }

    juce::SynthesiserVoice* ours (int note) const { return findVoiceToSteal (sound.get(), 1, note); }
    juce::SynthesiserVoice* frameworks (int note) const
    {
        return juce::Synthesiser::findVoiceToSteal (sound.get(), 1, note);
    }

    int noteOf (const juce::SynthesiserVoice* v) const { return v != nullptr ? v->getCurrentlyPlayingNote() : -2; }

    const juce::SynthesiserSound::Ptr sound { new Sound (0) };
};

// A step of a situation: a key pressed or let go, or a pedal.
struct Step
{
    enum Kind
    {
        press,
        letGo,
        sustainDown,
        sustainUp,
    } kind;
    int note = 0;
};

Step press (int n)
{
    return { Step::press, n };
}
Step letGo (int n)
{
    return { Step::letGo, n };
}
const Step sustainDown { Step::sustainDown };
const Step sustainUp { Step::sustainUp };

void play (Stealing& synth, const Step& s, int channel = 1)
{
    switch (s.kind)
    {
        case Step::press: synth.noteOn (channel, s.note, 0.8f); break;
        case Step::letGo: synth.noteOff (channel, s.note, 0.0f, true); break;
        case Step::sustainDown: synth.handleSustainPedal (channel, true); break;
        case Step::sustainUp: synth.handleSustainPedal (channel, false); break;
    }
}

TEST (VoiceStealing, ChoosesAsTheFrameworkInNamedSituations)
{
    struct Situation
    {
        const char* name;
        int voices;
        std::vector<Step> steps;
        int wanted;   // the note a new voice is wanted for
        int expected; // the note of the voice taken
    };
    const std::vector<Situation> table {
        { "the note wanted is sounding", 4, { press (60), press (64), press (67), press (72) }, 64, 64 },
        { "the oldest released voice", 4, { press (60), press (64), press (67), letGo (67), press (72) }, 50, 67 },
        { "a released voice before an older held one",
          4,
          { press (60), press (62), press (64), press (67), letGo (64) },
          50,
          64 },
        { "the oldest key let go under the pedal",
          4,
          { sustainDown, press (60), press (62), press (64), press (72), letGo (64), letGo (62) },
          50,
          62 },
        { "the oldest held voice, the lowest and highest spared",
          4,
          { press (64), press (72), press (60), press (67) },
          50,
          64 },
        { "released lowest and highest are not spared",
          3,
          { press (60), press (64), press (72), letGo (60), letGo (72) },
          50,
          60 },
        { "two notes held: the highest goes", 2, { press (60), press (72) }, 50, 72 },
        { "one note held: it goes", 1, { press (60) }, 50, 60 },
        { "all voices hold one note's neighbours: the oldest unspared",
          10,
          { press (40), press (41), press (42), press (43), press (44), press (45), press (46), press (47), press (48),
            press (49) },
          50,
          41 },
        // The released 52 goes to the 69; a note struck again keeps its key
        // down while it rings on; 55 is the lowest held.
        { "ten voices full again after a steal: the oldest unspared",
          10,
          { press (52), press (55), press (59), press (62), press (64), press (67), letGo (52), press (57), press (60),
            press (64), press (65), press (69) },
          71,
          59 },
    };

    for (const auto& s : table)
    {
        SCOPED_TRACE (s.name);
        Stealing synth (s.voices);
        for (const auto& step : s.steps)
            play (synth, step);
        EXPECT_EQ (synth.ours (s.wanted), synth.frameworks (s.wanted));
        EXPECT_EQ (synth.noteOf (synth.ours (s.wanted)), s.expected);
    }
}

// Random keys, releases, pedals and stolen notes on two channels, and voices
// of which some cannot play the sound: after every step, for every note that
// could be wanted, both choices are the same voice.
TEST (VoiceStealing, ChoosesAsTheFrameworkInRandomSituations)
{
    for (const auto& [voices, otherKindEvery] : { std::pair (10, 0), std::pair (10, 4), std::pair (3, 0) })
    {
        SCOPED_TRACE (std::to_string (voices) + " voices");
        std::mt19937 random (20261211u + (unsigned) voices + (unsigned) otherKindEvery);
        std::uniform_int_distribution<int> kind (0, 9), note (55, 70), channel (1, 2);
        long compared = 0;
        for (int run = 0; run < 40; ++run)
        {
            Stealing synth (voices, otherKindEvery);
            for (int i = 0; i < 200; ++i)
            {
                const auto k = kind (random);
                const Step step = k < 5   ? press (note (random))
                                  : k < 8 ? letGo (note (random))
                                  : k < 9 ? sustainDown
                                          : sustainUp;
                play (synth, step, channel (random));
                for (int wanted = 55; wanted <= 70; ++wanted, ++compared)
                    ASSERT_EQ (synth.ours (wanted), synth.frameworks (wanted))
                        << "run " << run << ", step " << i << ", note " << wanted;
            }
        }
        EXPECT_GT (compared, 100000);
    }
}
} // namespace
} // namespace kalto
