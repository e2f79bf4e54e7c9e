// Cost of processBlock as a host runs it: 44.1 kHz, blocks of 512, mono in,
// stereo out, with the Piano playing the converted MIDI.

#include <benchmark/benchmark.h>

#include "processor/KaltoAudioProcessor.h"
#include "tests/engine/Signals.h"

#include <cstdlib>

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
} // namespace

BENCHMARK (processBlockPiano)->Unit (benchmark::kMicrosecond);
} // namespace kalto
