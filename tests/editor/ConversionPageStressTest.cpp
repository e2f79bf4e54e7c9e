// The CONVERSION page at work while the audio thread runs: the audio thread
// processes blocks and now and then prepares again, which replaces the
// tracker, while the message thread builds and destroys the page, refreshes
// it, feeds its graphs from the tracker and writes settings through its
// controls. Built and run under ThreadSanitizer as well.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorFixture.h"

#include "editor/ConversionPanel.h"

#include <atomic>
#include <thread>

namespace kalto::test
{
namespace
{
using ConversionPageThreads = ProcessorTest;

TEST_F (ConversionPageThreads, TheTrackerIsReplacedWhileThePageReadsAndWritesIt)
{
    auto& p = make();
    p.prepareToPlay (44100.0, 256);
    std::atomic<bool> stop { false };
    std::atomic<long> blocks { 0 }, prepares { 0 };

    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        long sample = 0;
        for (int i = 0; ! stop.load(); ++i)
        {
            if (i % 60 == 59)
            {
                p.prepareToPlay (i % 120 == 119 ? 48000.0 : 44100.0, 256);
                prepares.fetch_add (1);
            }
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k < 256; ++k)
                    buffer.setSample (c, k, ProcessorTest::tone (110.0 * (1 + (i / 30) % 4), (double) (sample + k) / 44100.0));
            sample += 256;
            midi.clear();
            p.processBlock (buffer, midi);
            blocks.fetch_add (1);
            std::this_thread::sleep_for (std::chrono::microseconds (300));
        }
    });

    long pages = 0, ticks = 0;
    const auto end = juce::Time::getMillisecondCounter() + 1500;
    while (juce::Time::getMillisecondCounter() < end || prepares.load() < 4)
    {
        ConversionPanel page (p);
        ++pages;
        for (int k = 0; k < 20; ++k, ++ticks)
        {
            page.pushGraphValues (p.tracker.read()->getPeakStrength(), p.tracker.read()->getLevelDb());
            page.confidenceSlider->setValue (0.5 + 0.05 * (ticks % 10), juce::sendNotificationSync);
            page.gainSlider->setValue (0.6 + 0.01 * (ticks % 7), juce::sendNotificationSync);
            page.bendsToggle->setToggleState (ticks % 2 == 0, juce::sendNotificationSync);
            if (k % 5 == 0)
                page.refresh();
            pumpMessages();
            if (k % 10 == 0)
                (void) snapshot (page);
            std::this_thread::sleep_for (std::chrono::microseconds (300));
        }
    }
    stop = true;
    audio.join();

    EXPECT_GT (blocks.load(), 100);
    std::printf ("%ld blocks, %ld prepares, %ld pages, %ld page ticks\n", blocks.load(), prepares.load(), pages, ticks);
}
} // namespace
} // namespace kalto::test
