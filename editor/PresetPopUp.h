#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class KaltoAudioProcessor;

// The "SAVE PRESET" dialog: a name field and three click areas. YES saves the
// current values under the name in the field, which becomes the current
// preset; NO puts the field back. Either one closes the dialog and tells the
// listener. A name the preset folder cannot take is not saved: the dialog
// stays open for another.
class PresetPopUp : public juce::Component,
                    public juce::ChangeBroadcaster
{
public:
    explicit PresetPopUp (KaltoAudioProcessor*);
    ~PresetPopUp() override;

    void paint (juce::Graphics&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void resized() override;

    // The field shows the current preset's name again.
    void refresh();

    juce::Rectangle<int> renameArea;
    juce::Rectangle<int> yesArea;
    juce::Rectangle<int> noArea;
    KaltoAudioProcessor* processor;
    std::unique_ptr<juce::Label> nameLabel;

private:
    void save();
    void discard();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetPopUp)
};
