#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A message panel with a title, a message and an "OK" box. A press anywhere on
// it hides it; it tells nobody.
class PopUpBox : public juce::Component
{
public:
    // Both texts come already translated.
    PopUpBox (const juce::String& title, const juce::String& message);

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

    juce::String title;
    juce::String message;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PopUpBox)
};
