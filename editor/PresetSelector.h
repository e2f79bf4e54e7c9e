#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class KaltoAudioProcessor;
class PresetPopUp;

// The preset strip: a name between two chevrons. The chevrons step through
// the preset files and load each as it becomes current, then tell the
// listener; a press between them opens the save dialog.
class PresetSelector : public juce::Component,
                       public juce::ChangeBroadcaster,
                       public juce::TooltipClient
{
public:
    PresetSelector (PresetPopUp*, KaltoAudioProcessor*);
    ~PresetSelector() override;

    void paint (juce::Graphics&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void resized() override;
    juce::String getTooltip() override;

    // Lists the preset files again; the position stays where it was.
    void refresh();

    juce::String displayedName;
    PresetPopUp* presetPopUp;
    KaltoAudioProcessor* processor;
    juce::Array<juce::File> presetFiles;
    int numPresets = 0;
    int presetIndex = 0;

private:
    void listPresetFiles();
    void step (bool forwards);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetSelector)
};
