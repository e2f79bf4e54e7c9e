// The CONVERSION page at work while the audio thread runs: the audio thread
// processes blocks and now and then prepares again, which replaces the
// tracker, while the message thread builds and destroys the page, refreshes
// it, feeds its graphs from the tracker and writes settings through its
// controls. Built and run under ThreadSanitizer as well.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/BusyAudioThread.h"

#include "editor/ConversionPanel.h"

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
    BusyAudioThread audio (p, { 256, 60, 30, 1.0f, std::chrono::microseconds (300) });

    long pages = 0, ticks = 0;
    const auto end = juce::Time::getMillisecondCounter() + 1500;
    while (juce::Time::getMillisecondCounter() < end || audio.prepares() < 4)
    {
        ConversionPanel page (p);
        ++pages;
        for (int k = 0; k < 20; ++k, ++ticks)
        {
            page.pushGraphValues (p.readTracker()->getPeakStrength(), p.readTracker()->getLevelDb());
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
    audio.stop();

    EXPECT_GT (audio.blocks(), 100);
    std::printf ("%ld blocks, %ld prepares, %ld pages, %ld page ticks\n", audio.blocks(), audio.prepares(), pages,
                 ticks);
}
} // namespace
} // namespace kalto::test
