// The tracker on real instrument recordings: phrases with known notes,
// rendered from a sampled-instrument soundfont at test time.

#include <gtest/gtest.h>

#include <juce_audio_formats/juce_audio_formats.h>

#include "engine/PitchTracker.h"
#include "tests/engine/Phrases.h"

#include <algorithm>
#include <cstdio>

namespace kalto
{
namespace
{
struct KnownNote
{
    double onset;
    int note;
};

struct Score
{
    int known = 0, found = 0, spurious = 0;
    std::vector<double> delaysMs;

    double percentile (double p) const
    {
        if (delaysMs.empty())
            return 0.0;
        auto sorted = delaysMs;
        std::sort (sorted.begin(), sorted.end());
        const auto index =
            (std::size_t) std::min ((double) sorted.size() - 1.0, std::ceil (p * (double) sorted.size()) - 1.0);
        return sorted[index];
    }
};

std::vector<KnownNote> readNotes (const juce::File& file)
{
    std::vector<KnownNote> notes;
    juce::StringArray lines;
    lines.addLines (file.loadFileAsString());
    for (const auto& line : lines)
    {
        if (line.trim().isEmpty() || line.startsWith ("#"))
            continue;
        auto fields = juce::StringArray::fromTokens (line, " ", "");
        fields.removeEmptyStrings();
        if (fields.size() >= 3)
            notes.push_back ({ fields[0].getDoubleValue(), fields[2].getIntValue() });
    }
    return notes;
}

// Note-ons at the sample that wrote them.
std::vector<std::pair<int, int>> trackNoteOns (const juce::File& wav, double& rate)
{
    const auto audio = readMono (wav, rate);
    if (audio.empty())
        return {};

    PitchTracker tracker ((int) rate);
    std::vector<std::pair<int, int>> ons;
    TrackerEvent events[8];
    for (std::size_t i = 0; i < audio.size(); ++i)
    {
        int count = 0;
        tracker.processBlock (&audio[i], 1, events, 8, &count);
        for (int k = 0; k < count; ++k)
            if (events[k].status == 0x90)
                ons.emplace_back ((int) i, events[k].data1);
    }
    return ons;
}

Score score (const std::vector<KnownNote>& known, const std::vector<std::pair<int, int>>& ons, double rate)
{
    Score s;
    s.known = (int) known.size();
    std::vector<bool> used (ons.size(), false);
    for (const auto& k : known)
    {
        for (std::size_t j = 0; j < ons.size(); ++j)
        {
            const double delayMs = ((double) ons[j].first / rate - k.onset) * 1000.0;
            if (! used[j] && ons[j].second == k.note && delayMs >= -10.0 && delayMs <= 50.0)
            {
                used[j] = true;
                ++s.found;
                s.delaysMs.push_back (delayMs);
                break;
            }
        }
    }
    s.spurious = (int) std::count (used.begin(), used.end(), false);
    return s;
}

TEST (PhraseAccuracy, KnownNotesAreFound)
{
    const juce::File dir (KALTO_PHRASE_DIR);
    const auto wavs = phraseFiles();
    ASSERT_GE (wavs.size(), 10) << "phrases not rendered into " << KALTO_PHRASE_DIR;

    Score total;
    std::printf ("%-22s %6s %6s %9s %11s %9s\n", "phrase", "notes", "found", "spurious", "median ms", "p90 ms");
    for (const auto& wav : wavs)
    {
        const auto name = wav.getFileNameWithoutExtension();
        const auto notesFile = dir.getChildFile (name.upToLastOccurrenceOf ("-", false, false) + ".notes");
        const auto known = readNotes (notesFile);
        ASSERT_FALSE (known.empty()) << notesFile.getFullPathName();

        double rate = 0.0;
        const auto ons = trackNoteOns (wav, rate);
        const auto s = score (known, ons, rate);
        std::printf ("%-22s %6d %5.0f%% %9d %11.1f %9.1f\n", name.toRawUTF8(), s.known, 100.0 * s.found / s.known,
                     s.spurious, s.percentile (0.5), s.percentile (0.9));

        total.known += s.known;
        total.found += s.found;
        total.spurious += s.spurious;
        total.delaysMs.insert (total.delaysMs.end(), s.delaysMs.begin(), s.delaysMs.end());
    }
    std::printf ("%-22s %6d %5.0f%% %9d %11.1f %9.1f\n", "all", total.known, 100.0 * total.found / total.known,
                 total.spurious, total.percentile (0.5), total.percentile (0.9));

    // Floors below what the tracker reaches today, so that a regression fails.
    EXPECT_GE ((double) total.found / total.known, KALTO_PHRASE_MIN_FOUND);
    EXPECT_LE ((double) total.spurious / total.known, KALTO_PHRASE_MAX_SPURIOUS);
    EXPECT_LE (total.percentile (0.9), 50.0);
}
} // namespace
} // namespace kalto
