#pragma once

#include <cstdint>

namespace kalto
{

// One three-byte MIDI message from the tracker to the MIDI stage, on channel 1.
struct TrackerEvent
{
    uint16_t length = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint8_t spare = 0;
};

static_assert (sizeof (TrackerEvent) == 6, "TrackerEvent is a 6-byte record");

// Every record carries one three-byte message.
inline constexpr uint16_t trackerMessageLength = 3;

// The tracker writes its bends for a wheel of 2 semitones either way (a whole
// tone is the full swing); the MIDI stage rescales them to the chosen range.
inline constexpr float recordBendSemitones = 2.0f;

} // namespace kalto
