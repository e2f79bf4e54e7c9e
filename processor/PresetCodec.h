#pragma once

// How a preset file stores its document: each character scrambled with the
// preset key and kept as one 8-byte little-endian record.

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>

namespace kalto
{

// Far above any preset file (one holds about 5 KB): a larger file is not read.
inline constexpr size_t maxPresetFileBytes = 1 << 20;

// Each character, scrambled with the preset key, as one value.
void encodePresetText (const juce::String& text, juce::Array<uint32_t>& values);
// The inverse, from the low byte of each value; bytes that come out 0 are dropped.
void decodePresetText (const juce::Array<uint32_t>& values, juce::String& text);

// A preset file's bytes for a text: one 8-byte little-endian record per character.
juce::MemoryBlock presetRecords (const juce::String& text);

// The text that preset file bytes hold: each whole record decoded, any bytes
// after the last one ignored. Empty for more than maxPresetFileBytes.
juce::String presetTextFromRecords (const void* data, size_t size);

} // namespace kalto
