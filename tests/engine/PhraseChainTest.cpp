// Tracker and MIDI stage chained on real instrument phrases, block by block as
// the plug-in runs them: the finished MIDI must be well formed.

#include <gtest/gtest.h>

#include "tests/engine/Chain.h"
#include "tests/engine/Phrases.h"

namespace kalto
{
namespace
{
TEST (PhraseChain, EveryNoteEndsAndAutoTunedNotesStayOnTheScale)
{
    const std::set<int> cMajor { 0, 2, 4, 5, 7, 9, 11 };
    const std::set<int> aMinor = cMajor;
    const std::set<int> eDorian { 4, 6, 7, 9, 11, 1, 2 };
    const ChainSettings settings[] = {
        { "auto-tune off", 1, 2, { 3, 5, 0, 0, 0 }, 0, false, false, {} },
        { "C major with a triad", 2, 2, { 3, 5, 0, 0, 0 }, 0, false, false, cMajor },
        { "C major, bends, legato, transposed", 2, 2, { 0, 0, 0, 0, 0 }, 12, true, true, cMajor },
        { "A minor with thirds below and above", 11, 7, { -3, 3, 8, 1, 0 }, -12, true, false, aMinor },
        { "E dorian", 6, 3, { 5, 0, 0, 0, 0 }, 0, false, true, eDorian },
    };

    const auto wavs = phraseFiles();
    ASSERT_GE (wavs.size(), 10) << "phrases not rendered into " << KALTO_PHRASE_DIR;
    for (const auto& wav : wavs)
    {
        double rate = 0.0;
        const auto audio = readMono (wav, rate);
        ASSERT_FALSE (audio.empty()) << wav.getFullPathName();

        for (const auto& s : settings)
            for (int blockSize : { 512, 37 })
            {
                SCOPED_TRACE (testing::Message() << wav.getFileName() << ", " << s.name << ", blocks of " << blockSize);
                const auto result = chain (audio, (int) rate, s, blockSize);
                EXPECT_GT (result.noteOns, 5);
                if (s.bends)
                {
                    EXPECT_GT (result.bends, 0);
                }
                for (const auto& f : result.faults)
                    ADD_FAILURE() << f;
            }
    }
}
} // namespace
} // namespace kalto
