// Tracker and MIDI stage chained on real instrument phrases, block by block as
// the plug-in runs them: the finished MIDI must be well formed.

#include <gtest/gtest.h>

#include "engine/MIDI_Backend.h"
#include "engine/PitchTracker.h"
#include "tests/engine/Phrases.h"

#include <array>
#include <map>
#include <set>

namespace kalto
{
namespace
{
struct ChainSettings
{
    const char* name;
    int32_t key, mode;
    std::array<int32_t, 5> harmony;
    int32_t transpose;
    bool bends, legato;
    std::set<int> scale; // pitch classes every note-on must lie on; empty for any
};

struct ChainResult
{
    int noteOns = 0, bends = 0;
    std::vector<std::string> faults;
};

ChainResult chain (const std::vector<float>& audio, int rate, const ChainSettings& s, int blockSize)
{
    PitchTracker tracker (rate);
    tracker.bends = s.bends;
    tracker.legato = s.legato;
    MIDI_Backend stage (nullptr);

    // A second of silence after the phrase lets its last note end.
    auto samples = audio;
    samples.resize (samples.size() + (std::size_t) rate, 0.0f);

    std::vector<TrackerEvent> events ((std::size_t) blockSize);
    juce::MidiBuffer midi;
    std::map<int, int> sounding; // note number -> note-ons not yet ended
    ChainResult result;
    auto fault = [&] (std::size_t at, const std::string& what) {
        if (result.faults.size() < 10)
            result.faults.push_back ("at sample " + std::to_string (at) + ": " + what);
    };

    for (std::size_t start = 0; start < samples.size(); start += (std::size_t) blockSize)
    {
        const auto n = (int) std::min<std::size_t> ((std::size_t) blockSize, samples.size() - start);
        int count = 0;
        tracker.processBlock (&samples[start], n, events.data(), (uint16_t) blockSize, &count);
        midi.clear();
        stage.processEvents (events.data(), (uint16_t) count, midi, s.key, s.mode, s.harmony.data(), 1, 127,
                             s.transpose, 2.0f);

        for (const auto metadata : midi)
        {
            const auto m = metadata.getMessage();
            if (metadata.samplePosition != 0)
                fault (start, "a message not at the block's first sample");
            if (m.getChannel() != 1)
                fault (start, "a message off channel 1");
            if (m.isNoteOn())
            {
                ++result.noteOns;
                ++sounding[m.getNoteNumber()];
                if (! s.scale.empty() && s.scale.count (m.getNoteNumber() % 12) == 0)
                    fault (start, "note " + std::to_string (m.getNoteNumber()) + " off the scale");
            }
            else if (m.isNoteOff())
            {
                if (sounding[m.getNoteNumber()]-- <= 0)
                    fault (start, "note-off for note " + std::to_string (m.getNoteNumber()) + " that was not on");
            }
            else if (m.isPitchWheel())
            {
                ++result.bends;
            }
            else
            {
                fault (start, "an unexpected message");
            }
        }
    }

    for (const auto& [note, ons] : sounding)
        if (ons != 0)
            fault (samples.size(), "note " + std::to_string (note) + " left with " + std::to_string (ons) + " note-ons");
    return result;
}

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
