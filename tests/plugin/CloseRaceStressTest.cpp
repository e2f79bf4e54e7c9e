// A host closes the plug-in while its audio thread goes on calling process,
// as hosts tearing down a track do: the close waits for the call inside, and
// the calls that come after it, with the pointer of the closed plug-in, touch
// nothing. Built and run under ThreadSanitizer as well, and under
// AddressSanitizer with the rest.

#include "plugin/RawHost.h"
#include "support/WaitUntil.h"

#include <atomic>
#include <thread>
#include <vector>

namespace
{
using namespace kalto::test;

TEST (CloseRace, AHostClosesWhileItsAudioThreadProcesses)
{
    // No instrument to decode at each start, and one instance kept open so
    // that the framework is not shut down and started again at each round.
    const SilentDefaultPreset silent;
    ASSERT_TRUE (silent.written);
    RawHost keeper;
    ASSERT_NE (keeper.effect, nullptr);

    constexpr int rounds = 300, frames = 256;
    long callsAfterCloses = 0;
    for (int round = 0; round < rounds; ++round)
    {
        RawHost host;
        ASSERT_NE (host.effect, nullptr);
        host.start (44100.0f, frames);
        AEffect* const effect = host.effect;
        const auto process = effect->processReplacing;

        std::atomic<bool> stop { false };
        std::atomic<long> calls { 0 };
        std::thread audio ([&] {
            std::vector<float> in ((size_t) frames, 0.25f), left ((size_t) frames), right ((size_t) frames);
            float* ins[2] = { in.data(), in.data() };
            float* outs[2] = { left.data(), right.data() };
            while (! stop.load())
            {
                process (effect, ins, outs, frames);
                calls.fetch_add (1);
            }
        });

        // The audio thread is stopped and joined before any assertion ends the test.
        const bool called = waitUntil ([&] { return calls.load() > 0; });
        bool returned = false;
        long atClose = 0;
        if (called)
        {
            host.close();
            atClose = calls.load();
            returned = waitUntil ([&] { return calls.load() > atClose + 2; });
            callsAfterCloses += calls.load() - atClose;
        }
        stop = true;
        audio.join();
        ASSERT_TRUE (called) << "the audio thread never called";
        ASSERT_TRUE (returned) << "a call after the close did not return";
    }
    std::printf ("%d closes while processing, %ld calls after them\n", rounds, callsAfterCloses);
}
} // namespace
