#pragma once

// Where presets live: the home and the preset folder below it, the names a
// preset file may have, the listing, and reading and writing one file safely.

#include <juce_core/juce_core.h>

#include <cstddef>

namespace kalto
{

inline constexpr const char* presetExtension = ".kalto_vyn";
inline constexpr const char* defaultPresetName = "Vyn Defaults";

// The longest file name the usual Linux file systems take, in bytes.
inline constexpr size_t maxFileNameBytes = 255;

// The user's home folder: HOME when it is an absolute path to a folder, else
// the home that the password database gives the user when that is one; none
// otherwise. It is never created.
juce::File homeFolder();

// "Music/Kalto" below the home folder, and the files in it; none without a home.
juce::File presetFolder();
juce::File presetMarkerFile();
// The file of a preset: the name and the extension in the preset folder,
// whatever characters the name holds; none for a name isSafePresetName
// refuses.
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

// The text a preset file holds; empty when it cannot be read, is no regular
// file (a folder, a FIFO, a socket, a device) or is larger than
// maxPresetFileBytes (PresetCodec.h). It never waits on what it opens.
juce::String readPresetText (const juce::File& file);

// Writes the text's records to the file in one step: a file whose write
// fails keeps what it held. False when the text could not be written, or
// when the file's folder does not exist; it makes no folder.
bool writePresetFile (const juce::File& file, const juce::String& text);

} // namespace kalto
