// Cost of processBlock as a host runs it: 44.1 kHz, blocks of 512, mono in,
// stereo out, with the Piano playing the converted MIDI; and the first block
// after a switch-on beside the ones after it.

#include <benchmark/benchmark.h>

#include "processor/KaltoAudioProcessor.h"
#include "tests/engine/Signals.h"

#include <chrono>
#include <cstdlib>

#include <sys/resource.h>

namespace kalto
{
namespace
{
void processBlockPiano (benchmark::State& state)
{
    juce::ScopedJuceInitialiser_GUI juce;
    // Presets go to a folder of the benchmark's own.
    char homeTemplate[] = "/tmp/kalto-benchmark-home.XXXXXX";
    if (const char* home = mkdtemp (homeTemplate))
        setenv ("HOME", home, 1);

    KaltoAudioProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::mono());
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    processor.setBusesLayout (layout);
    processor.boolParameter (kalto::bendsIndex)->setValueNotifyingHost (1.0f);
    processor.prepareToPlay (44100.0, 512);

    // A plucked phrase, a note every 0.4 s, over and over.
    const auto phrase = pluckedPhrase (44100, { 40, 45, 50, 55, 59, 64, 69, 74 }, 0.4);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    midi.ensureSize (4096);
    std::size_t position = 0;
    long notes = 0;
    for (auto _ : state)
    {
        if (position + 512 > phrase.size())
            position = 0;
        buffer.copyFrom (0, 0, &phrase[position], 512);
        buffer.clear (1, 0, 512);
        midi.clear();
        processor.processBlock (buffer, midi);
        notes += midi.getNumEvents();
        position += 512;
    }
    state.SetItemsProcessed ((int64_t) state.iterations() * 512);
    // Seconds of audio processed per second of processor time: the multiple of real time.
    state.counters["x_realtime"] =
        benchmark::Counter ((double) state.iterations() * 512.0 / 44100.0, benchmark::Counter::kIsRate);
    state.counters["midi_events"] = (double) notes;
    juce::File (homeTemplate).deleteRecursively();
}
long pageFaults()
{
    rusage usage {};
    getrusage (RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// A fresh processor switched on at 44.1 kHz with blocks of 64, the shortest
// budget a host commonly gives (1.45 ms): the first block's time and page
// faults, and the mean of the 400 blocks after it. Only the first processor
// of a process meets memory nothing has used before: run it on its own
// (--benchmark_filter=firstBlockAfterSwitchOn) for figures of a cold start.
void firstBlockAfterSwitchOn (benchmark::State& state)
{
    juce::ScopedJuceInitialiser_GUI juce;
    char homeTemplate[] = "/tmp/kalto-benchmark-home.XXXXXX";
    if (const char* home = mkdtemp (homeTemplate))
        setenv ("HOME", home, 1);

    constexpr int frames = 64, steadyBlocks = 400;
    const auto phrase = pluckedPhrase (44100, { 40, 45, 50 }, 0.4);
    for (auto _ : state)
    {
        KaltoAudioProcessor processor;
        processor.prepareToPlay (44100.0, frames);
        juce::AudioBuffer<float> buffer (2, frames);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);

        double firstSeconds = 0.0, steadySeconds = 0.0;
        long firstFaults = 0, steadyFaults = 0;
        for (int block = 0; block <= steadyBlocks; ++block)
        {
            for (int c = 0; c < 2; ++c)
                buffer.copyFrom (c, 0, &phrase[(std::size_t) (block * frames)], frames);
            midi.clear();
            const auto faults = pageFaults();
            const auto start = std::chrono::steady_clock::now();
            processor.processBlock (buffer, midi);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            (block == 0 ? firstSeconds : steadySeconds) += took.count();
            (block == 0 ? firstFaults : steadyFaults) += pageFaults() - faults;
        }
        state.SetIterationTime (firstSeconds);
        state.counters["first_block_us"] = firstSeconds * 1.0e6;
        state.counters["steady_block_us"] = steadySeconds / steadyBlocks * 1.0e6;
        state.counters["first_block_faults"] = (double) firstFaults;
        state.counters["steady_block_faults"] = (double) steadyFaults / steadyBlocks;
    }
    juce::File (homeTemplate).deleteRecursively();
}
} // namespace

BENCHMARK (processBlockPiano)->Unit (benchmark::kMicrosecond);
BENCHMARK (firstBlockAfterSwitchOn)->Unit (benchmark::kMicrosecond)->UseManualTime()->Iterations (1);
} // namespace kalto
