#pragma once

// Two semitone scales meet in the tracker, both of 12 semitones to the octave
// and both counted from a note 9. The autocorrelation bank's table puts its
// note 9 at 13.0 Hz; MIDI puts it at the standard 13.75 Hz (A at 440 Hz is
// note 69). The table's base lies 0.971 semitones lower, so table note n
// sounds 2.9 cents above MIDI note n - 1.
namespace kalto::semitoneScale
{

inline constexpr int semitonesPerOctave = 12;
inline constexpr int referenceNote = 9;

// Note 9 of the bank's table, and of MIDI.
inline constexpr double tableReferenceHz = 13.0;
inline constexpr double midiReferenceHz = 13.75;

} // namespace kalto::semitoneScale
