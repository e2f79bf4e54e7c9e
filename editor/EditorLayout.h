#pragma once

#include <juce_graphics/juce_graphics.h>

// The editor's fixed geometry that more than one component uses: the area the
// host opens, and the rectangle the four pages share in it.
namespace kalto::layout
{
constexpr int editorWidth = 630, editorHeight = 390;
constexpr int pageWidth = 400, pageHeight = 280;
inline const juce::Rectangle<int> pageBounds { 24, 96, pageWidth, pageHeight };
} // namespace kalto::layout
