// The whole editor at work while the audio thread runs: the audio thread
// processes blocks and now and then prepares again, which replaces the
// tracker, while the message thread opens and closes the editor, runs its
// ticks, switches pages, browses presets and saves them. Built and run under
// ThreadSanitizer as well.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorFixture.h"

#include "editor/KaltoAudioProcessorEditor.h"
#include "editor/MainWindow.h"

#include <atomic>
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
        *p.currentPresetName = name;
        p.savePreset();
    }
    *p.currentPresetName = "Vyn Defaults";

    std::atomic<bool> stop { false };
    std::atomic<long> blocks { 0 }, prepares { 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        long sample = 0;
        for (int i = 0; ! stop.load(); ++i)
        {
            if (i % 80 == 79)
            {
                p.prepareToPlay (i % 160 == 159 ? 48000.0 : 44100.0, 256);
                prepares.fetch_add (1);
            }
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k < 256; ++k)
                    // Loud enough to clip now and then, so the warning has peaks to count.
                    buffer.setSample (c, k, 2.2f * ProcessorTest::tone (110.0 * (1 + (i / 30) % 4), (double) (sample + k) / 44100.0));
            sample += 256;
            midi.clear();
            p.processBlock (buffer, midi);
            blocks.fetch_add (1);
            std::this_thread::sleep_for (std::chrono::microseconds (300));
        }
    });

    const juce::Point<float> tabs[] = { { 196.0f, 40.0f }, { 292.0f, 40.0f }, { 384.0f, 40.0f }, { 84.0f, 40.0f } };
    long openings = 0, ticks = 0;
    const auto end = juce::Time::getMillisecondCounter() + 2000;
    while (juce::Time::getMillisecondCounter() < end || prepares.load() < 4)
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
    stop = true;
    audio.join();

    EXPECT_GT (blocks.load(), 100);
    std::printf ("%ld blocks, %ld prepares, %ld editors opened, %ld ticks\n", blocks.load(), prepares.load(), openings,
                 ticks);
}
} // namespace
} // namespace kalto::test
