// The tracker and the MIDI stage allocate only while they are built: counted
// with a replacement global operator new, and malloc and realloc (which
// JUCE's containers use), in this test binary alone.

#include <gtest/gtest.h>

#include "engine/MIDI_Backend.h"
#include "engine/PitchTracker.h"
#include "processor/KaltoAudioProcessor.h"
#include "tests/engine/Signals.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long> allocations { 0 };
}

void* operator new (std::size_t size)
{
    allocations.fetch_add (1, std::memory_order_relaxed);
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete (void* p) noexcept
{
    std::free (p);
}
void operator delete (void* p, std::size_t) noexcept
{
    std::free (p);
}

// The sanitizers bring their own allocator; there the count is of operator new alone.
#if ! defined(__SANITIZE_ADDRESS__) && ! defined(__SANITIZE_THREAD__)
extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_realloc (void*, std::size_t);

    void* malloc (std::size_t size)
    {
        allocations.fetch_add (1, std::memory_order_relaxed);
        return __libc_malloc (size);
    }

    void* realloc (void* p, std::size_t size)
    {
        allocations.fetch_add (1, std::memory_order_relaxed);
        return __libc_realloc (p, size);
    }
}
#endif

namespace kalto
{
namespace
{
TEST (TrackerAllocation, NoneAfterConstruction)
{
    const auto phrase = pluckedPhrase (48000, { 40, 47, 52, 59, 64, 71, 76 }, 0.4);
    std::vector<TrackerEvent> events (2);

    for (bool bends : { false, true })
    {
        const long beforeConstruction = allocations.load();
        PitchTracker tracker (48000);
        ASSERT_GT (allocations.load(), beforeConstruction); // the counter sees the tracker's buffers
        tracker.bends = bends;
        tracker.legato = ! bends;

        const long before = allocations.load();
        int produced = 0;
        // Blocks of 3 with room for 2 records also exercise the carried records.
        for (std::size_t start = 0; start + 3 <= phrase.size(); start += 3)
        {
            int count = 0;
            tracker.processBlock (&phrase[start], 3, events.data(), 2, &count);
            produced += count;
            (void) tracker.getLevelDb();
            (void) tracker.getPeakStrength();
        }
        EXPECT_EQ (allocations.load() - before, 0) << "bends " << bends;
        EXPECT_GT (produced, 7);
    }
}

// An external output that only counts, so that any allocation is the stage's.
class CountingPort final : public MidiPort
{
public:
    explicit CountingPort (std::atomic<int>& c) : count (c) {}
    void sendMessageNow (const juce::MidiMessage&) override { count.fetch_add (1); }

private:
    std::atomic<int>& count;
};

class CountingPorts final : public MidiPortSystem
{
public:
    explicit CountingPorts (std::atomic<int>& c) : count (c) {}
    juce::Array<juce::MidiDeviceInfo> getAvailableDevices() override { return { juce::MidiDeviceInfo ("Out", "out") }; }
    std::unique_ptr<MidiPort> openDevice (const juce::String&) override
    {
        return std::make_unique<CountingPort> (count);
    }

private:
    std::atomic<int>& count;
};

TEST (MidiStageAllocation, NoneForTheFirstHeldNotes)
{
    std::atomic<int> sent { 0 };
    MIDI_Backend stage (std::make_unique<CountingPorts> (sent));
    stage.setOutputDevice (0);
    juce::MidiBuffer host;
    host.ensureSize (4096); // the host's buffer is the host's to size

    // Two notes with their harmony notes are held at once: 12 notes.
    const int32_t harmony[5] = { 3, 5, 8, -3, -5 };
    TrackerEvent blocks[][3] = {
        { { 3, 0x90, 60, 100, 0 }, { 3, 0xe0, 0, 70, 0 }, { 3, 0x90, 64, 90, 0 } },
        { { 3, 0x80, 64, 100, 0 }, { 3, 0x90, 67, 80, 0 }, { 3, 0x90, 69, 80, 0 } },
        { { 3, 0x90, 72, 80, 0 }, { 3, 0x80, 72, 100, 0 }, { 3, 0xe0, 0, 64, 0 } },
    };

    const long before = allocations.load();
    for (int round = 0; round < 100; ++round)
        for (auto& block : blocks)
        {
            host.clear();
            TrackerEvent events[3] = { block[0], block[1], block[2] };
            stage.processEvents (events, 3, host, 2 + round % 12, 1 + round % 8, harmony, 5, 127, round % 5, 1.5f);
        }
    EXPECT_EQ (allocations.load() - before, 0);
    EXPECT_GT (sent.load(), 1000);
}

// A host's buffers, made before anything is counted: the host's to size.
struct Host
{
    Host() { midi.ensureSize (4096); }

    // The phrase through the processor `rounds` times in blocks of 512, as a
    // host plays it; the note-ons it sent.
    int play (KaltoAudioProcessor& processor, const std::vector<float>& phrase, int rounds)
    {
        int notes = 0;
        for (int round = 0; round < rounds; ++round)
            for (std::size_t start = 0; start + 512 <= phrase.size(); start += 512)
            {
                for (int c = 0; c < 2; ++c)
                    buffer.copyFrom (c, 0, &phrase[start], 512);
                midi.clear();
                processor.processBlock (buffer, midi);
                for (const auto m : midi)
                    notes += m.getMessage().isNoteOn() ? 1 : 0;
                (void) processor.takePeakLevel();
            }
        return notes;
    }

    juce::AudioBuffer<float> buffer { 2, 512 };
    juce::MidiBuffer midi;
};

TEST (ProcessorAllocation, NoneInProcessBlockOncePrepared)
{
    KaltoAudioProcessor processor;
    processor.boolParameter (kalto::bendsIndex)->setValueNotifyingHost (1.0f);
    processor.intParameter (kalto::chord0Index + 0)
        ->setValueNotifyingHost (processor.intParameter (kalto::chord0Index + 0)->convertTo0to1 (3.0f));
    processor.intParameter (kalto::keyIndex)
        ->setValueNotifyingHost (processor.intParameter (kalto::keyIndex)->convertTo0to1 (2.0f));
    processor.intParameter (kalto::modeIndex)
        ->setValueNotifyingHost (processor.intParameter (kalto::modeIndex)->convertTo0to1 (2.0f));
    processor.prepareToPlay (44100.0, 512);

    const auto phrase = pluckedPhrase (44100, { 40, 47, 52, 59, 64, 71, 76 }, 0.4);

    Host host;
    const long before = allocations.load();
    const auto notes = host.play (processor, phrase, 1);
    EXPECT_EQ (allocations.load() - before, 0);
    EXPECT_GT (notes, 7);
}

// Five harmony notes make six notes an attack, and a melodic instrument has
// ten voices: each attack while the last one's notes ring out steals voices.
TEST (ProcessorAllocation, NoneWhileTheInstrumentStealsVoices)
{
    KaltoAudioProcessor processor;
    const auto set = [&processor] (int index, float value) {
        processor.intParameter (index)->setValueNotifyingHost (processor.intParameter (index)->convertTo0to1 (value));
    };
    set (kalto::synthSoundIndex, (float) kalto::piano);
    set (kalto::keyIndex, 2.0f);
    set (kalto::modeIndex, 1.0f);
    const float harmony[] = { 2.0f, 4.0f, -3.0f, 7.0f, 9.0f };
    for (int i = 0; i < kalto::numChordParameters; ++i)
        set (kalto::chord0Index + i, harmony[i]);
    processor.boolParameter (kalto::legatoIndex)->setValueNotifyingHost (1.0f);
    processor.prepareToPlay (44100.0, 512);

    const auto phrase = pluckedPhrase (44100, { 45, 52, 57, 50, 47, 55, 59, 52, 45, 57, 50, 55 }, 0.25);

    Host host;
    const long before = allocations.load();
    const auto notes = host.play (processor, phrase, 3);
    EXPECT_EQ (allocations.load() - before, 0);
    // More notes than voices, many times over.
    EXPECT_GT (notes, 100);
}
} // namespace
} // namespace kalto
