// Cost of the instrument: choosing one (all its decoding) and rendering ten
// sounding voices.

#include <benchmark/benchmark.h>

#include "instrument/InternalSynth.h"

namespace kalto
{
namespace
{
void setSound (benchmark::State& state)
{
    InternalSynth synth;
    for (auto _ : state)
        synth.setSound ((int) state.range (0));
}

void renderTenVoices (benchmark::State& state)
{
    constexpr int block = 512;
    InternalSynth synth;
    synth.setSound ((int) state.range (0));
    synth.setSampleRate (44100.0);
    juce::AudioBuffer<float> buffer (2, block);
    juce::MidiBuffer midi;
    int blocks = 0;
    for (auto _ : state)
    {
        midi.clear();
        // Ten notes across the recordings, started again before any ends.
        if (blocks++ % 400 == 0)
            for (int i = 0; i < 10; ++i)
                midi.addEvent (juce::MidiMessage::noteOn (1, 45 + 4 * i, 0.8f), 0);
        buffer.clear();
        synth.render (buffer, midi, 0, block);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    state.SetItemsProcessed ((int64_t) state.iterations() * block);
}
} // namespace

BENCHMARK (setSound)->DenseRange (1, 4)->Unit (benchmark::kMillisecond);
BENCHMARK (renderTenVoices)->DenseRange (1, 4);
} // namespace kalto
