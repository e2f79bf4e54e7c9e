#include "editor/Controls.h"

#include "editor/EditorColours.h"

namespace kalto::controls
{
void setUpKnob (juce::Slider& knob, double minimum, double maximum, double interval, juce::Colour fill,
                juce::Colour outline, juce::Slider::Listener& listener)
{
    knob.setRange (minimum, maximum, interval);
    knob.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    knob.setTextBoxStyle (juce::Slider::NoTextBox, false, knob.getTextBoxWidth(), knob.getTextBoxHeight());
    knob.setColour (juce::Slider::thumbColourId, colours::white);
    knob.setColour (juce::Slider::rotarySliderFillColourId, fill);
    knob.setColour (juce::Slider::rotarySliderOutlineColourId, outline);
    knob.addListener (&listener);
}

void setUpComboBox (juce::ComboBox& box, juce::ComboBox::Listener& listener)
{
    box.setEditableText (false);
    box.setJustificationType (juce::Justification::centredLeft);
    box.setTextWhenNothingSelected ({});
    box.setTextWhenNoChoicesAvailable (juce::translate ("(no choices)"));
    box.addListener (&listener);
}
} // namespace kalto::controls
