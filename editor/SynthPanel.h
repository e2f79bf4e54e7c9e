#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class KaltoAudioProcessor;

// The SYNTH page: a greeting and the choice of the internal instrument, which
// goes to the instrument at once and into "synthSound".
//
// The selection mirrors "synthSound" when the page is built or refreshed; the
// load notifies asynchronously, so the choice shown is written back shortly
// after. "More" has no action; it shows for "Raw Guitar" and above, as the
// value stood at the last build or refresh.
class SynthPanel : public juce::Component,
                   public juce::ComboBox::Listener,
                   public juce::Button::Listener
{
public:
    explicit SynthPanel (KaltoAudioProcessor& processor);
    ~SynthPanel() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void comboBoxChanged (juce::ComboBox* box) override;
    void buttonClicked (juce::Button* button) override;

    // Reloads the selection from "synthSound" after a preset browse step.
    void refresh();

private:
    void selectStoredSound();

    KaltoAudioProcessor& processor;
    std::unique_ptr<juce::ComboBox> internalSynthSelector;
    std::unique_ptr<juce::TextButton> showInternalGUI;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SynthPanel)
};
