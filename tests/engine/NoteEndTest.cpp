// Every note the chain starts must end, whatever the input: short tones cut off
// by a noise burst and fast sweeps restart a detection window after a note has
// already started in it, and that window may close with no note of its own.

#include <gtest/gtest.h>

#include "tests/engine/Chain.h"
#include "tests/engine/Signals.h"

namespace kalto
{
namespace
{
// A tone of `toneSamples`, then 10 ms of loud noise, then silence: a pick
// scrape or a bump after a note has begun.
std::vector<float> toneThenBurst (int rate, int toneSamples, double period, float burstAmplitude)
{
    auto out = sine (period, 0.3f, toneSamples);
    uint32_t noise = 987654321u;
    for (int i = 0; i < rate / 100; ++i)
    {
        noise = noise * 1664525u + 1013904223u;
        out.push_back (burstAmplitude * ((float) (noise >> 8) / 8388608.0f - 1.0f));
    }
    return out;
}

// A sine gliding from `from` to `to` Hz over `seconds`, growing louder as it
// goes, so onsets keep restarting the window while the pitch moves.
std::vector<float> sweep (int rate, double from, double to, double seconds)
{
    const int n = (int) (seconds * rate);
    std::vector<float> out ((std::size_t) n);
    double phase = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const double t = (double) i / n;
        phase += 6.283185307179586 * (from * std::pow (to / from, t)) / rate;
        out[(std::size_t) i] = (float) (0.02 * std::pow (45.0, t) * std::sin (phase));
    }
    return out;
}

TEST (NoteEnd, EveryNoteOnGetsItsNoteOffOnSignalsThatRestartTheWindow)
{
    struct Signal
    {
        const char* name;
        std::vector<float> samples;
    };
    const int rate = 44100;
    std::vector<Signal> signals;
    for (int toneSamples : { 400, 600, 900, 1300 })
        for (double period : { 100.0, 225.0 })
            signals.push_back ({ "tone then burst", toneThenBurst (rate, toneSamples, period, 0.9f) });
    signals.push_back ({ "rising sweep", sweep (rate, 110.0, 880.0, 0.12) });
    signals.push_back ({ "falling sweep", sweep (rate, 880.0, 110.0, 0.12) });

    const ChainSettings settings[] = {
        { "plain", 1, 2, { 0, 0, 0, 0, 0 }, 0, false, false, {} },
        { "bends", 1, 2, { 0, 0, 0, 0, 0 }, 0, true, false, {} },
        { "legato, C major triad", 2, 2, { 3, 5, 0, 0, 0 }, 0, false, true, {} },
    };

    int notesStarted = 0;
    for (std::size_t k = 0; k < signals.size(); ++k)
        for (const auto& s : settings)
            for (int blockSize : { 512, 37 })
            {
                SCOPED_TRACE (testing::Message()
                              << signals[k].name << " #" << k << ", " << s.name << ", blocks of " << blockSize);
                const auto result = chain (signals[k].samples, rate, s, blockSize);
                notesStarted += result.noteOns;
                for (const auto& f : result.faults)
                    ADD_FAILURE() << f;
            }
    // The signals must start notes, or they prove nothing about ending them.
    EXPECT_GT (notesStarted, 0);
}
} // namespace
} // namespace kalto
