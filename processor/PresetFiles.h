#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kalto
{

inline constexpr const char* presetRootTag = "KALTO_SETTINGS";
inline constexpr const char* presetExtension = ".kalto_vyn";
inline constexpr const char* defaultPresetName = "Vyn Defaults";

// Far above any preset file (one holds about 5 KB): a larger file is not read.
inline constexpr size_t maxPresetFileBytes = 1 << 20;

// The longest file name the usual Linux file systems take, in bytes.
inline constexpr size_t maxFileNameBytes = 255;

// The user's home folder: HOME when it is an absolute path to a folder, else
// the home that the password database gives the user when that is one; none
// otherwise. It is never created.
juce::File homeFolder();

// "Music/Kalto" below the home folder, and the files in it; none without a home.
juce::File presetFolder();
juce::File presetMarkerFile();
juce::File presetFile (const juce::String& name);

// Makes the preset folder inside the home, never the home itself. False
// without a home or when the folder cannot be made.
bool createPresetFolder();

// Makes the preset folder and the empty marker file in it when they are
// missing; nothing without a home.
void createPresetMarker();

// The presets in the preset folder, in the order the folder yields them:
// the regular files (or links to them) named by a preset name and the
// extension, spelt exactly. A name that text cannot hold as it stands (not
// UTF-8) is left out, as presetFile of the name would be another file.
juce::Array<juce::File> findPresetFiles();

// A name that is a plain file name in the preset folder: not empty, not "."
// or "..", no '/' or '\\', and short enough for the file system once the
// extension is added.
bool isSafePresetName (const juce::String& name);

// Each character, scrambled with the preset key, as one value.
void encodePresetText (const juce::String& text, juce::Array<uint32_t>& values);
// The inverse, from the low byte of each value; bytes that come out 0 are dropped.
void decodePresetText (const juce::Array<uint32_t>& values, juce::String& text);

// A preset file's bytes for a text: one 8-byte little-endian record per character.
juce::MemoryBlock presetRecords (const juce::String& text);

// The text that preset file bytes hold: each whole record decoded, any bytes
// after the last one ignored. Empty for more than maxPresetFileBytes.
juce::String presetTextFromRecords (const void* data, size_t size);

// The text a preset file holds; empty when it cannot be read, is no regular
// file (a folder, a FIFO, a socket, a device) or is larger than
// maxPresetFileBytes. It never waits on what it opens.
juce::String readPresetText (const juce::File& file);

// The root element of a preset text, with its tag and attributes and
// nothing of its content; none when the text does not parse or the root
// element is not closed (a cut file).
std::unique_ptr<juce::XmlElement> parsePresetRoot (const juce::String& text);

// The attribute that the parameter at `index` reads in a preset document;
// empty when it has none.
juce::String presetAttributeName (const juce::XmlElement& document, int index, const juce::String& identifier);

// The normalised value a parameter takes from the attribute: a finite number
// clamped to 0..1, read as far as it goes ("0.5abc" is 0.5); `current` when
// the attribute is missing or its text holds no number or no finite one.
float presetValue (const juce::XmlElement& document, const juce::String& attribute, float current);

// Writes the text's records to the file in one step: a file whose write
// fails keeps what it held. False when the text could not be written, or
// when the file's folder does not exist; it makes no folder.
bool writePresetFile (const juce::File& file, const juce::String& text);

// The document as the preset files hold it: the XML header, an empty line,
// the root element with its attributes wrapped after 60 characters, CR LF
// line ends.
juce::String presetDocumentText (const juce::XmlElement& element);

// A double as the preset files write it: printf's %.20g, whatever the locale.
juce::String presetNumberText (double value);

} // namespace kalto
