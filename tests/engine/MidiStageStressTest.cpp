// The external output swapped on the message thread while the audio thread
// sends through it. Built and run under ThreadSanitizer as well, where a send
// through a freed output or an unordered hand-over is reported.

#include <gtest/gtest.h>

#include "engine/MIDI_Backend.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace kalto
{
namespace
{
struct Counters
{
    std::atomic<long> sent { 0 };
    std::atomic<long> sentToDeadPort { 0 };
    std::atomic<int> open { 0 };
};

class CheckedPort final : public MidiPort
{
public:
    explicit CheckedPort (Counters& c) : counters (c) { counters.open.fetch_add (1); }
    ~CheckedPort() override
    {
        alive = 0;
        counters.open.fetch_sub (1);
    }

    void sendMessageNow (const juce::MidiMessage& message) override
    {
        // A plain field: touching it from a freed or unpublished port is a race.
        if (alive != liveMark)
            counters.sentToDeadPort.fetch_add (1);
        lastStatus = message.getRawData()[0];
        counters.sent.fetch_add (1, std::memory_order_relaxed);
    }

private:
    static constexpr unsigned liveMark = 0x600df00d;
    Counters& counters;
    unsigned alive = liveMark;
    int lastStatus = 0;
};

class CheckedPorts final : public MidiPortSystem
{
public:
    explicit CheckedPorts (Counters& c) : counters (c) {}
    juce::Array<juce::MidiDeviceInfo> getAvailableDevices() override
    {
        return { juce::MidiDeviceInfo ("A", "a"), juce::MidiDeviceInfo ("B", "b"), juce::MidiDeviceInfo ("C", "c") };
    }
    std::unique_ptr<MidiPort> openDevice (const juce::String&) override
    {
        return std::make_unique<CheckedPort> (counters);
    }

private:
    Counters& counters;
};

TEST (MidiStageThreads, SwitchingTheOutputWhileTheAudioThreadSends)
{
    Counters counters;
    MIDI_Backend stage (std::make_unique<CheckedPorts> (counters));
    std::atomic<bool> stop { false };
    std::atomic<long> blocks { 0 };

    std::thread audio ([&] {
        juce::MidiBuffer host;
        host.ensureSize (2048);
        const int32_t harmony[5] = { 3, 5, 0, 0, 0 };
        for (int i = 0; ! stop.load (std::memory_order_relaxed); ++i)
        {
            const auto note = (uint8_t) (48 + i % 24);
            TrackerEvent events[] = { { 3, 0x80, note, 100, 0 }, { 3, 0x90, note, 100, 0 }, { 3, 0xe0, 0, 64, 0 } };
            host.clear();
            stage.processEvents (events, 3, host, 2, 2, harmony, 1 + i % 16, 127, 0, 2.0f);
            blocks.fetch_add (1, std::memory_order_relaxed);
        }
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (700);
    int switches = 0;
    long lastSeen = 0;
    // At least 0.7 s, and enough of both sides to mean something on a loaded machine.
    while (std::chrono::steady_clock::now() < end || blocks.load() < 2000 || switches < 2000)
    {
        stage.setOutputDevice (switches % 4 - 1); // none, A, B, C, none, ...
        ++switches;
        lastSeen += stage.lastNoteNumber.load() + stage.lastVelocity.load();
        if (switches % 8 == 0)
            std::this_thread::sleep_for (std::chrono::microseconds (50));
    }
    stop = true;
    audio.join();

    EXPECT_EQ (counters.sentToDeadPort.load(), 0);
    EXPECT_GT (counters.sent.load(), 1000);
    EXPECT_GT (lastSeen, 0);
    EXPECT_LE (counters.open.load(), 1);
    std::printf ("%d switches, %ld blocks, %ld messages sent\n", switches, blocks.load(), counters.sent.load());
}
} // namespace
} // namespace kalto
