// The processor with a host's audio thread and the editor's message thread at
// work at once: the audio thread processes blocks and now and then prepares
// again between two of them, as a host's first process call does; the other
// thread polls the tracker and the peak, writes tracker settings and loads
// presets. Built and run under ThreadSanitizer as well.

#include "tests/processor/BusyAudioThread.h"

namespace kalto
{
namespace
{
using ProcessorThreads = ProcessorTest;

TEST_F (ProcessorThreads, PreparingAndProcessingWhileTheEditorPollsAndPresetsLoad)
{
    auto& p = make();
    p.prepareToPlay (44100.0, 512);
    BusyAudioThread audio (p, { 512, 40, 20, 1.0f, std::chrono::microseconds (500) });

    long polls = 0, loads = 0;
    float seen = 0.0f;
    const auto end = juce::Time::getMillisecondCounter() + 1500;
    while (juce::Time::getMillisecondCounter() < end || audio.prepares() < 3 || loads < 3)
    {
        {
            auto tracker = p.readTracker();
            seen += tracker->getPeakStrength() + tracker->getLevelDb();
            tracker->confidence = 0.5f + (float) (polls % 10) * 0.05f;
            tracker->bends = polls % 2 == 0;
        }
        seen += p.takePeakLevel();
        seen += (float) p.getMidiBackend().lastNoteNumber.load();
        ++polls;
        if (polls % 50 == 0)
        {
            set (p.intParameter (kalto::transposeIndex), (float) (polls / 50 % 5));
            p.loadPreset();
            ++loads;
        }
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }
    audio.stop();

    EXPECT_GT (audio.blocks(), 100);
    EXPECT_FALSE (std::isnan (seen)); // the level is -inf in silence, never NaN
    std::printf ("%ld blocks, %ld prepares, %ld polls, %ld preset loads\n", audio.blocks(), audio.prepares(), polls,
                 loads);
}
} // namespace
} // namespace kalto
