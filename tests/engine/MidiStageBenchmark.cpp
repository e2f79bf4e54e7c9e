// Cost of the MIDI stage per tracker record.

#include <benchmark/benchmark.h>

#include "engine/MIDI_Backend.h"

#include <vector>

namespace kalto
{
namespace
{
class NullPort final : public MidiPort
{
public:
    void sendMessageNow (const juce::MidiMessage& m) override { benchmark::DoNotOptimize (m.getRawData()); }
};

class NullPorts final : public MidiPortSystem
{
public:
    juce::Array<juce::MidiDeviceInfo> getAvailableDevices() override
    {
        return { juce::MidiDeviceInfo ("Null", "null") };
    }
    std::unique_ptr<MidiPort> openDevice (const juce::String&) override { return std::make_unique<NullPort>(); }
};

// A note's life as the tracker writes it: on, bends, off.
std::vector<TrackerEvent> noteWithBends (int bends)
{
    std::vector<TrackerEvent> block { { 3, 0x90, 61, 100, 0 } };
    for (int i = 0; i < bends; ++i)
        block.push_back ({ 3, 0xe0, (uint8_t) (i & 127), 64, 0 });
    block.push_back ({ 3, 0x80, 62, 100, 0 });
    return block;
}

void run (benchmark::State& state, const std::vector<TrackerEvent>& block, int32_t key, int32_t mode,
          std::array<int32_t, 5> harmony, bool external)
{
    MIDI_Backend stage (std::make_unique<NullPorts>());
    if (external)
        stage.setOutputDevice (0);
    juce::MidiBuffer host;
    host.ensureSize (16384);
    auto events = block;
    for (auto _ : state)
    {
        std::copy (block.begin(), block.end(), events.begin());
        host.clear();
        stage.processEvents (events.data(), (uint16_t) events.size(), host, key, mode, harmony.data(), 5, 110, 2, 1.5f);
        benchmark::DoNotOptimize (host.data.getRawDataPointer());
    }
    state.SetItemsProcessed ((int64_t) state.iterations() * (int64_t) block.size());
}

void autoTuneOff (benchmark::State& state)
{
    run (state, noteWithBends (6), 1, 1, {}, false);
}
void cMajorFiveHarmonies (benchmark::State& state)
{
    run (state, noteWithBends (6), 2, 2, { 3, 5, 8, -3, -8 }, false);
}
void cMajorFiveHarmoniesExternal (benchmark::State& state)
{
    run (state, noteWithBends (6), 2, 2, { 3, 5, 8, -3, -8 }, true);
}

// The pairing step compares each note-on with every later record: a block of
// 512 unpaired note-ons, as much as one block can hold, is its worst case.
void pairingWorstCase (benchmark::State& state)
{
    std::vector<TrackerEvent> block;
    for (int i = 0; i < 512; ++i)
        block.push_back ({ 3, 0x90, (uint8_t) (i % 128), 100, 0 });
    block.back() = { 3, 0x80, 0, 100, 0 };
    run (state, block, 1, 1, {}, false);
}
} // namespace

BENCHMARK (autoTuneOff);
BENCHMARK (cMajorFiveHarmonies);
BENCHMARK (cMajorFiveHarmoniesExternal);
BENCHMARK (pairingWorstCase);
} // namespace kalto
