#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

namespace kalto
{

inline constexpr const char* presetRootTag = "KALTO_SETTINGS";
inline constexpr const char* presetExtension = ".kalto_vyn";
inline constexpr const char* defaultPresetName = "Vyn Defaults";

// "Music/Kalto/" below the user's home folder, and the files in it.
juce::File presetFolder();
juce::File presetMarkerFile();
juce::File presetFile (const juce::String& name);

// A name that stays inside the preset folder: not empty, no path separator,
// no "..".
bool isSafePresetName (const juce::String& name);

// Each character, scrambled with the preset key, as one value.
void encodePresetText (const juce::String& text, juce::Array<uint32_t>& values);
// The inverse, from the low byte of each value; bytes that come out 0 are dropped.
void decodePresetText (const juce::Array<uint32_t>& values, juce::String& text);

// The document as the preset files hold it: the XML header, an empty line,
// the root element with its attributes wrapped after 60 characters, CR LF
// line ends.
juce::String presetDocumentText (const juce::XmlElement& element);

// A double as the preset files write it: printf's %.20g, whatever the locale.
juce::String presetNumberText (double value);

} // namespace kalto
