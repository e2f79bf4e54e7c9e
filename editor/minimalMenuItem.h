#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// One text tab of the page menu. It shows its component name and tells its
// listener of every press, also on the tab already selected; the listener
// decides what a press means.
class minimalMenuItem : public juce::Component,
                        public juce::ChangeBroadcaster
{
public:
    minimalMenuItem() = default;

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

    // True while this tab's page is shown; the owner writes it and repaints.
    bool selected = false;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (minimalMenuItem)
};
