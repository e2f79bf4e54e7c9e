#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "engine/RingBuffer.h"

#include <memory>

// A scrolling history: the newest value at the left edge, older ones running
// off to the right, as a curve over a filled area, with horizontal lines at
// the thresholds. The owner pushes into `history` and edits `thresholds`.
class kalto_graph : public juce::Component
{
public:
    kalto_graph (int numPoints, juce::Colour lineColour, juce::Colour fillColour, juce::Colour gridColour,
                 float maximum, float minimum);
    ~kalto_graph() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    float maximum;
    float minimum;
    juce::Colour fillColour;
    juce::Colour lineColour;
    juce::Colour gridColour;
    std::unique_ptr<juce::Array<float>> thresholds;
    int numPoints;
    std::unique_ptr<kalto::RingBuffer> history;

private:
    float heightOf (float fraction, float height) const;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (kalto_graph)
};
