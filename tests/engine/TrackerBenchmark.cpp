// Cost of the tracker per sample at 44.1 kHz in its three working states.

#include <benchmark/benchmark.h>

#include "engine/PitchTracker.h"
#include "tests/engine/Probes.h"
#include "tests/engine/Signals.h"

namespace kalto
{
namespace
{
constexpr int rate = 44100;
constexpr int block = 512;

void process (benchmark::State& state, PitchTracker& tracker, const std::vector<float>& signal, bool restartDetection)
{
    std::vector<TrackerEvent> events (block);
    std::size_t position = 0;
    for (auto _ : state)
    {
        if (position + block > signal.size())
            position = 0;
        if (restartDetection)
            PitchTrackerProbe (tracker).beginDetection();
        int count = 0;
        tracker.processBlock (&signal[position], block, events.data(), block, &count);
        benchmark::DoNotOptimize (count);
        position += block;
    }
    state.SetItemsProcessed ((int64_t) state.iterations() * block);
}

void idle (benchmark::State& state)
{
    PitchTracker tracker (rate);
    const std::vector<float> silence ((std::size_t) rate, 0.0f);
    process (state, tracker, silence, false);
}

// Every block is the start of a 40 ms detection window on a sounding note.
void detecting (benchmark::State& state)
{
    PitchTracker tracker (rate);
    const auto tone = sine (225.0, 0.5f, rate);
    process (state, tracker, tone, true);
}

// A held low note with bends on: the widest lag search (entry 3, 209 lags).
void tracking (benchmark::State& state)
{
    PitchTracker tracker (rate);
    PitchTrackerProbe probe (tracker);
    tracker.bends = true;
    const auto tone = sine (probe.periodTable()[3], 0.5f, 20 * rate);
    int count = 0;
    std::vector<TrackerEvent> events (rate);
    tracker.processBlock (tone.data(), rate / 10, events.data(), (uint16_t) events.size(), &count);
    if (probe.state() != TrackerState::tracking)
        state.SkipWithError ("the tone did not reach the tracking state");
    process (state, tracker, tone, false);
}

BENCHMARK (idle);
BENCHMARK (detecting);
BENCHMARK (tracking);
} // namespace
} // namespace kalto

BENCHMARK_MAIN();
