// The whole editor at work while the audio thread runs: the audio thread
// processes blocks and now and then prepares again, which replaces the
// tracker, while the message thread opens and closes the editor, runs its
// ticks, switches pages, browses presets and saves them. Built and run under
// ThreadSanitizer as well.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorProbe.h"
#include "tests/processor/BusyAudioThread.h"

#include "editor/KaltoAudioProcessorEditor.h"
#include "editor/MainWindow.h"

#include <thread>

namespace kalto::test
{
namespace
{
using EditorThreads = ProcessorTest;

TEST_F (EditorThreads, TheEditorPollsBrowsesAndSavesWhileTheAudioThreadRuns)
{
    auto& p = make();
    p.prepareToPlay (44100.0, 256);
    for (const char* name : { "First", "Second" })
    {
        p.savePresetAs (name);
    }
    KaltoAudioProcessorProbe::setCurrentPresetName (p, "Vyn Defaults");

    // Loud enough to clip now and then, so the warning has peaks to count.
    BusyAudioThread audio (p, { 256, 80, 30, 2.2f, std::chrono::microseconds (300) });

    const juce::Point<float> tabs[] = { { 196.0f, 40.0f }, { 292.0f, 40.0f }, { 384.0f, 40.0f }, { 84.0f, 40.0f } };
    long openings = 0, ticks = 0;
    const auto end = juce::Time::getMillisecondCounter() + 2000;
    while (juce::Time::getMillisecondCounter() < end || audio.prepares() < 4)
    {
        std::unique_ptr<KaltoAudioProcessorEditor> editor (static_cast<KaltoAudioProcessorEditor*> (p.createEditor()));
        auto& window = *editor->mainWindow;
        window.stopTimer();
        Mouse mouse (*editor);
        ++openings;
        for (int k = 0; k < 40; ++k, ++ticks)
        {
            window.timerCallback();
            if (k % 8 == 0)
                mouse.click (tabs[(k / 8) % 4]);
            if (k % 13 == 0)
                mouse.click ({ 610.0f, 120.0f }); // the strip's next step
            if (k % 17 == 0)
            {
                mouse.click ({ 532.0f, 120.0f }); // the strip's centre: the save dialog
                mouse.click ({ 443.0f, 287.0f }); // YES
            }
            pumpMessages();
            if (k % 10 == 0)
                (void) snapshot (*editor);
            std::this_thread::sleep_for (std::chrono::microseconds (300));
        }
    }
    audio.stop();

    EXPECT_GT (audio.blocks(), 100);
    std::printf ("%ld blocks, %ld prepares, %ld editors opened, %ld ticks\n", audio.blocks(), audio.prepares(),
                 openings, ticks);
}
} // namespace
} // namespace kalto::test
