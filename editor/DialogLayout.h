#pragma once

#include <juce_graphics/juce_graphics.h>

// What the editor's two dialogs, the clipping warning and the save dialog,
// share: their size, a large title along the top, the text under it, and the
// words that answer them.
namespace kalto::dialog
{
constexpr int width = 400, height = 250;
inline const juce::Rectangle<int> titleArea { 21, 5, 355, 51 };
constexpr float titleFontHeight = 48.9f;
constexpr float textFontHeight = 35.7f;
constexpr float answerFontHeight = 40.0f;
} // namespace kalto::dialog
