#pragma once

// Tracker and MIDI stage chained block by block as the plug-in runs them, with
// a check that the finished MIDI is well formed: every message at the block's
// first sample on channel 1, no note-off without its note-on, and no note left
// sounding at the end.

#include "engine/MIDI_Backend.h"
#include "engine/PitchTracker.h"

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kalto
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

inline ChainResult chain (const std::vector<float>& audio, int rate, const ChainSettings& s, int blockSize)
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
            fault (samples.size(),
                   "note " + std::to_string (note) + " left with " + std::to_string (ons) + " note-ons");
    return result;
}

} // namespace kalto
