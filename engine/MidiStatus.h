#pragma once

#include <cstdint>

namespace kalto::midi
{

// The status bytes the tracker writes and the MIDI stage reads, on channel 1
// (low nibble 0): one spelling for the writer, the reader and the processor.
inline constexpr uint8_t noteOff = 0x80;
inline constexpr uint8_t noteOn = 0x90;
inline constexpr uint8_t pitchWheel = 0xE0;

// A status byte has its top bit set; its high nibble is the message type.
inline constexpr uint8_t statusBit = 0x80;
inline constexpr uint8_t typeMask = 0xf0;

// Channels as a status byte's low nibble can hold them, counted from 1.
inline constexpr int firstChannel = 1;
inline constexpr int lastChannel = 16;

// A data byte carries seven bits: values 0..127.
inline constexpr int dataByteValues = 128;
inline constexpr int maxDataValue = dataByteValues - 1;

// The 14-bit pitch wheel: two data bytes, low seven bits first; 8192 is no bend.
inline constexpr int pitchWheelCentre = 8192;
inline constexpr int pitchWheelMax = dataByteValues * dataByteValues - 1;

} // namespace kalto::midi
