#pragma once

#include <cstdint>
#include <iterator>

// How the "key" and "mode" parameters number auto-tune's choices. The MIDI
// stage reads the numbers; the MIDI page lists the texts with the same numbers
// as item ids, so that a parameter value is the id of the item it shows.
namespace kalto::autoTune
{

// Both lists number their choices from 1, in the order of their texts.
inline constexpr int32_t firstId = 1;

// Pitch classes count semitones above C, 0 to 11.
inline constexpr int32_t numPitchClasses = 12;

// Key 1 turns auto-tune off; keys 2 to 13 are the tonics C to B, so a key's
// tonic pitch class is the key minus 2.
inline constexpr int32_t keyOff = firstId;
inline constexpr int32_t firstTonicKey = keyOff + 1;
inline constexpr int32_t lastTonicKey = firstTonicKey + numPitchClasses - 1;

inline constexpr const char* keyNames[] = { "Off", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B" };

// Mode 1 holds every pitch class. Modes 2 to 8 are the seven rotations of the
// major scale, major itself first.
inline constexpr int32_t chromaticMode = firstId;
inline constexpr int32_t diatonicDegrees = 7;
inline constexpr int32_t firstDiatonicMode = chromaticMode + 1;
inline constexpr int32_t lastMode = firstDiatonicMode + diatonicDegrees - 1;

inline constexpr const char* modeNames[] = { "Chromatic", "Major",      "Dorian", "Phrygian",
                                             "Lydian",    "Mixolydian", "Minor",  "Locrian" };

static_assert (std::size (keyNames) == (std::size_t) (lastTonicKey - firstId + 1), "one text per key");
static_assert (std::size (modeNames) == (std::size_t) (lastMode - firstId + 1), "one text per mode");

constexpr bool isTonicKey (int32_t key)
{
    return key >= firstTonicKey && key <= lastTonicKey;
}
constexpr int32_t tonicPitchClass (int32_t key)
{
    return key - firstTonicKey;
}

// The sharp name of a pitch class, as its key's text spells it: "C" to "B".
constexpr const char* pitchClassName (int32_t pitchClass)
{
    return keyNames[firstTonicKey - firstId + pitchClass];
}

} // namespace kalto::autoTune
