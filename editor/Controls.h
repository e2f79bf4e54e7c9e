#pragma once

// How the editor builds its controls: each child is made, added as a visible
// child and named in one step, then set up; knobs and combo boxes get the
// set-up every page gives them.

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <utility>

namespace kalto::controls
{
template <typename Child, typename... Args>
std::unique_ptr<Child> addChild (juce::Component& parent, const juce::String& name, Args&&... args)
{
    auto child = std::make_unique<Child> (std::forward<Args> (args)...);
    parent.addAndMakeVisible (*child);
    child->setName (name);
    return child;
}

// A rotary knob turned by dragging up and down, with no text box; its white
// thumb asks the look and feel for the ring style in the two colours.
void setUpKnob (juce::Slider& knob, double minimum, double maximum, double interval, juce::Colour fill,
                juce::Colour outline, juce::Slider::Listener& listener);

// A list to pick from, not to type into, its text at the left; empty while
// nothing is selected.
void setUpComboBox (juce::ComboBox& box, juce::ComboBox::Listener& listener);
} // namespace kalto::controls
