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

} // namespace kalto
