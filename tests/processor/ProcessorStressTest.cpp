// The processor with a host's audio thread and the editor's message thread at
// work at once: the audio thread processes blocks and now and then prepares
// again between two of them, as a host's first process call does; the other
// thread polls the tracker and the peak, writes tracker settings and loads
// presets. Built and run under ThreadSanitizer as well.

#include "tests/processor/ProcessorFixture.h"

#include <atomic>
#include <thread>

namespace kalto
{
namespace
{
using ProcessorThreads = ProcessorTest;

TEST_F (ProcessorThreads, PreparingAndProcessingWhileTheEditorPollsAndPresetsLoad)
{
    auto& p = make();
    p.prepareToPlay (44100.0, 512);
    std::atomic<bool> stop { false };
    std::atomic<long> blocks { 0 }, prepares { 0 };

    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        long sample = 0;
        for (int i = 0; ! stop.load(); ++i)
        {
            if (i % 40 == 39)
            {
                p.prepareToPlay (i % 80 == 79 ? 48000.0 : 44100.0, 512);
                prepares.fetch_add (1);
            }
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k < 512; ++k)
                    buffer.setSample (c, k, ProcessorTest::tone (110.0 * (1 + (i / 20) % 4), (double) (sample + k) / 44100.0));
            sample += 512;
            midi.clear();
            p.processBlock (buffer, midi);
            blocks.fetch_add (1);
            // Faster than a host, but not so fast that prepares come quicker
            // than an instrument decodes.
            std::this_thread::sleep_for (std::chrono::microseconds (500));
        }
    });

    long polls = 0, loads = 0;
    float seen = 0.0f;
    const auto end = juce::Time::getMillisecondCounter() + 1500;
    while (juce::Time::getMillisecondCounter() < end || prepares.load() < 3 || loads < 3)
    {
        {
            auto tracker = p.tracker.read();
            seen += tracker->getPeakStrength() + tracker->getLevelDb();
            tracker->confidence = 0.5f + (float) (polls % 10) * 0.05f;
            tracker->bends = polls % 2 == 0;
        }
        seen += p.takePeakLevel();
        seen += (float) p.getMidiBackend().lastNoteNumber.load();
        ++polls;
        if (polls % 50 == 0)
        {
            set (p.transposeParam, (float) (polls / 50 % 5));
            p.loadPreset();
            ++loads;
        }
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }
    stop = true;
    audio.join();

    EXPECT_GT (blocks.load(), 100);
    EXPECT_FALSE (std::isnan (seen)); // the level is -inf in silence, never NaN
    std::printf ("%ld blocks, %ld prepares, %ld polls, %ld preset loads\n", blocks.load(), prepares.load(), polls, loads);
}
} // namespace
} // namespace kalto
