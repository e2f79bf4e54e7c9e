// Cost of the tracker per sample at 44.1 kHz in its three working states, and
// of tracking a held low note at the rates hosts run at.

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

// A held low note with bends on: the widest lag search (entry 3, 209 lags at
// 44.1 kHz, growing with the rate: 1,822 at 384 kHz), with the lag search
// for this CPU or the one given.
void trackHeldLowNote (benchmark::State& state, int sampleRate, LagSearch search = nullptr)
{
    PitchTracker tracker (sampleRate);
    PitchTrackerProbe probe (tracker);
    if (search != nullptr)
        probe.setLagSearch (search);
    tracker.bends = true;
    const auto tone = sine (probe.periodTable()[3], 0.5f, 20 * sampleRate);
    int count = 0;
    std::vector<TrackerEvent> events (block);
    for (int start = 0; start < sampleRate / 10; start += block)
        tracker.processBlock (&tone[(std::size_t) start], block, events.data(), block, &count);
    if (probe.state() != TrackerState::tracking)
        state.SkipWithError ("the tone did not reach the tracking state");
    process (state, tracker, tone, false);
    // Seconds of audio tracked per second of processor time: the multiple of real time.
    state.counters["x_realtime"] =
        benchmark::Counter ((double) state.iterations() * block / sampleRate, benchmark::Counter::kIsRate);
}

void tracking (benchmark::State& state)
{
    trackHeldLowNote (state, rate);
}

void trackingAtRate (benchmark::State& state)
{
    trackHeldLowNote (state, (int) state.range (0));
}

// The search every x86-64 CPU runs when it has no AVX2.
void trackingAtRateWithSse2 (benchmark::State& state)
{
    trackHeldLowNote (state, (int) state.range (0), searchLagsSse2);
}

BENCHMARK (idle);
BENCHMARK (detecting);
BENCHMARK (tracking);
BENCHMARK (trackingAtRate)->Arg (44100)->Arg (96000)->Arg (192000)->Arg (384000);
BENCHMARK (trackingAtRateWithSse2)->Arg (44100)->Arg (96000)->Arg (192000)->Arg (384000);
} // namespace
} // namespace kalto

BENCHMARK_MAIN();
