#pragma once

// The root element of a preset text, found by a scan of our own so that the
// framework's parser sees nothing but the root's start tag.

#include <juce_core/juce_core.h>

#include <memory>

namespace kalto
{

// The root element of a preset text, with its tag and attributes and
// nothing of its content; none when the text does not parse or the root
// element is not closed (a cut file).
std::unique_ptr<juce::XmlElement> parsePresetRoot (const juce::String& text);

} // namespace kalto
