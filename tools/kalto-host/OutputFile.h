#pragma once

// The files kalto-host writes: a screenshot, a render's audio and its MIDI.

#include <juce_core/juce_core.h>

namespace kalto::host
{
// Why the file cannot be written, or empty when it can. A directory there is
// refused: the framework would delete an empty one to make room for the file.
juce::String outputFileProblem (const juce::File& file);
} // namespace kalto::host
