#pragma once

// The preset document: the text a save writes, and the values a load takes
// from its root element's attributes.

#include <juce_core/juce_core.h>

namespace kalto
{

inline constexpr const char* presetRootTag = "KALTO_SETTINGS";

// The document as the preset files hold it: the XML header, an empty line,
// the root element with its attributes wrapped after 60 characters, CR LF
// line ends.
juce::String presetDocumentText (const juce::XmlElement& element);

// A double as the preset files write it: printf's %.20g, whatever the locale.
juce::String presetNumberText (double value);

// The attribute that the parameter at `index` reads in a preset document;
// empty when it has none.
juce::String presetAttributeName (const juce::XmlElement& document, int index, const juce::String& identifier);

// The normalised value a parameter takes from the attribute: a finite number
// clamped to 0..1, read as far as it goes ("0.5abc" is 0.5); `current` when
// the attribute is missing or its text holds no number or no finite one.
float presetValue (const juce::XmlElement& document, const juce::String& attribute, float current);

} // namespace kalto
