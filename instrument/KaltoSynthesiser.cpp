#include "instrument/KaltoSynthesiser.h"

namespace kalto
{

// The framework's rules: the oldest voice playing the note wanted; else the
// oldest released voice; else the oldest whose key is up; else the oldest
// at all; the lowest and highest notes still held are spared until no other
// voice is left, and then the highest goes. Where it takes the first voice
// that passes from its list sorted by age, this takes the oldest that
// passes, in one pass over the voices: every start has an age of its own,
// and voices of one age (never started) keep their order in its sort and
// here alike.
juce::SynthesiserVoice* KaltoSynthesiser::findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int,
                                                            int midiNoteNumber) const
{
    jassert (! voices.isEmpty());

    // The notes spared: the lowest and highest that still have a key or a
    // pedal holding them, the first voice found winning a tie.
    juce::SynthesiserVoice* low = nullptr;
    juce::SynthesiserVoice* top = nullptr;
    for (auto* voice : voices)
    {
        if (! voice->canPlaySound (soundToPlay) || voice->isPlayingButReleased())
            continue;
        const auto note = voice->getCurrentlyPlayingNote();
        if (low == nullptr || note < low->getCurrentlyPlayingNote())
            low = voice;
        if (top == nullptr || note > top->getCurrentlyPlayingNote())
            top = voice;
    }
    // One note held is spared as the lowest only.
    if (top == low)
        top = nullptr;

    const auto oldest = [this, soundToPlay] (auto passes) {
        juce::SynthesiserVoice* found = nullptr;
        for (auto* voice : voices)
            if (voice->canPlaySound (soundToPlay) && passes (*voice)
                && (found == nullptr || voice->wasStartedBefore (*found)))
                found = voice;
        return found;
    };
    const auto spared = [low, top] (const juce::SynthesiserVoice& v) { return &v == low || &v == top; };

    if (auto* same =
            oldest ([midiNoteNumber] (const auto& v) { return v.getCurrentlyPlayingNote() == midiNoteNumber; }))
        return same;
    if (auto* released = oldest ([&spared] (const auto& v) { return ! spared (v) && v.isPlayingButReleased(); }))
        return released;
    if (auto* keyUp = oldest ([&spared] (const auto& v) { return ! spared (v) && ! v.isKeyDown(); }))
        return keyUp;
    if (auto* unspared = oldest ([&spared] (const auto& v) { return ! spared (v); }))
        return unspared;

    jassert (low != nullptr);
    return top != nullptr ? top : low;
}

} // namespace kalto
