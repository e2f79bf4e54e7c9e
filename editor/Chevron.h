#pragma once

#include <juce_graphics/juce_graphics.h>

namespace kalto
{
// A chevron as the editor draws its arrows: two straight strokes, 2 pixels
// wide, each a path of its own, from `from` to the tip and on to `to`, in the
// current colour.
inline void drawChevron (juce::Graphics& g, juce::Point<float> from, juce::Point<float> tip, juce::Point<float> to)
{
    constexpr float strokeWidth = 2.0f;
    for (const auto& [start, end] : { std::pair { from, tip }, std::pair { tip, to } })
    {
        juce::Path segment;
        segment.startNewSubPath (start);
        segment.lineTo (end);
        g.strokePath (segment, juce::PathStrokeType (strokeWidth));
    }
}
} // namespace kalto
