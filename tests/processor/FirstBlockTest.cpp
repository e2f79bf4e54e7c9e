// The first block after a switch-on meets no memory for the first time: what
// it uses was touched while the processor was prepared, so it does not pay a
// page fault for each page of it (the reverb's alone took twenty). Its own
// binary: only the first processor of a process meets memory that nothing
// has used before.

#include <gtest/gtest.h>

#include "processor/KaltoAudioProcessor.h"
#include "tests/engine/Signals.h"
#include "tests/support/TempFolder.h"

#include <cstdlib>

#include <sys/resource.h>

namespace kalto
{
namespace
{
long pageFaults()
{
    rusage usage {};
    getrusage (RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

TEST (FirstBlock, TouchesNoMemoryForTheFirstTime)
{
    const auto home = test::makeTempFolder ("first-block-home");
    ASSERT_EQ (setenv ("HOME", home.getFullPathName().toRawUTF8(), 1), 0);
    {
        KaltoAudioProcessor processor; // the Piano, with its reverb
        processor.prepareToPlay (44100.0, 64);
        const auto phrase = pluckedPhrase (44100, { 45 }, 0.1);
        juce::AudioBuffer<float> buffer (2, 64);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        for (int c = 0; c < 2; ++c)
            buffer.copyFrom (c, 0, phrase.data(), 64);

        const auto before = pageFaults();
        processor.processBlock (buffer, midi);
        // A page or two of what no preparation reaches (a stack page, a
        // sanitizer's shadow) is allowed; the reverb alone took twenty.
        constexpr long allowed = 4;
        EXPECT_LE (pageFaults() - before, allowed);
    }
    home.deleteRecursively();
}
} // namespace
} // namespace kalto
