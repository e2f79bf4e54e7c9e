#include "editor/minimalMenuItem.h"

#include "editor/EditorColours.h"

namespace
{
constexpr float fontHeight = 30.0f;
// The label sits in the upper three quarters of the tab.
constexpr int labelAreaDivisor = 4;
} // namespace

void minimalMenuItem::mouseDown (const juce::MouseEvent&)
{
    sendChangeMessage();
}

void minimalMenuItem::paint (juce::Graphics& g)
{
    const auto w = getWidth(), h = getHeight();
    g.setColour (kalto::colours::white);
    if (selected)
    {
        g.fillRect (0, 0, w, h);
        g.setColour (kalto::colours::black);
    }
    g.setFont (juce::Font (fontHeight, juce::Font::plain));
    g.drawText (juce::translate (getName()), 0, 0, w, h - h / labelAreaDivisor,
                juce::Justification::horizontallyCentred, true);
}

void minimalMenuItem::resized() {}
