#include "editor/kalto_graph.h"

#include <algorithm>

namespace
{
constexpr float thresholdLineWidth = 1.0f;
constexpr float curveLineWidth = 2.0f;
} // namespace

kalto_graph::kalto_graph (int pointCount, juce::Colour line, juce::Colour fill, juce::Colour grid, float top,
                          float bottom)
    : maximum (top),
      minimum (bottom),
      fillColour (fill),
      lineColour (line),
      gridColour (grid),
      thresholds (std::make_unique<juce::Array<float>>()),
      // The horizontal step divides the width by one less than the points.
      numPoints (std::max (2, pointCount)),
      history (std::make_unique<kalto::RingBuffer> (numPoints))
{
}

kalto_graph::~kalto_graph() = default;

float kalto_graph::heightOf (float fraction, float height) const
{
    return (float) ((double) height * (1.0 - (double) fraction));
}

void kalto_graph::paint (juce::Graphics& g)
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    const auto range = maximum - minimum;

    // Lines outside the range fall outside the component and are clipped.
    g.setColour (gridColour);
    for (const auto t : *thresholds)
    {
        const auto y = heightOf ((t - minimum) / range, h);
        juce::Path line;
        line.startNewSubPath (0.0f, y);
        line.lineTo (w, y);
        g.strokePath (line, juce::PathStrokeType (thresholdLineWidth));
    }

    // The curve keeps to the component: values outside the range run along an edge.
    const auto dx = w / (float) (numPoints - 1);
    juce::Path curve;
    float x = 0.0f;
    for (int i = 0; i < numPoints; ++i)
    {
        const auto f = std::max (0.0f, std::min (1.0f, (history->ago (i) - minimum) / range));
        const auto y = heightOf (f, h);
        if (i == 0)
            curve.startNewSubPath (0.0f, y);
        else
            curve.lineTo (x += dx, y);
    }
    g.setColour (lineColour);
    g.strokePath (curve, juce::PathStrokeType (curveLineWidth));

    curve.lineTo (w, h);
    curve.lineTo (0.0f, h);
    curve.closeSubPath();
    g.setColour (fillColour);
    g.fillPath (curve);
}

void kalto_graph::resized() {}
