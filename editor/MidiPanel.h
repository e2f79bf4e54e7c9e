#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "processor/Parameters.h"

#include <array>
#include <memory>

class KaltoAudioProcessor;

// The MIDI page: transpose, bend range and velocity limit, the auto-tune key
// and mode, the five harmony intervals and the external port with its channel.
// Every control but the port box shows a parameter and writes it back; the
// port choice goes straight to the MIDI stage and is stored nowhere.
class MidiPanel : public juce::Component,
                  public juce::ComboBox::Listener,
                  public juce::Slider::Listener
{
public:
    explicit MidiPanel (KaltoAudioProcessor& processor);
    ~MidiPanel() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void comboBoxChanged (juce::ComboBox* box) override;
    void sliderValueChanged (juce::Slider* slider) override;

    // The harmony knobs mean nothing while auto-tune is off.
    void updateHarmonyEnablement();
    // Loads every control but the port box from the parameters again.
    void updateControls();
    void refresh();

private:
    std::unique_ptr<juce::ComboBox> addBox (const char* name);
    std::unique_ptr<juce::Slider> addKnob (const char* name, double minimum, double maximum, double interval);
    std::unique_ptr<juce::Slider> addHarmonyKnob (const char* name);
    void setTooltips();
    void fillLists();
    std::array<juce::Slider*, kalto::numChordParameters> chordSliders() const;
    void loadKey();
    void loadMode();
    void loadChannel();
    void loadHarmony();
    void loadKnobs();

    KaltoAudioProcessor& processor;
    std::unique_ptr<juce::ComboBox> midiPortBox;
    std::unique_ptr<juce::Slider> chordSlider0;
    std::unique_ptr<juce::Slider> chordSlider1;
    std::unique_ptr<juce::Slider> chordSlider2;
    std::unique_ptr<juce::Slider> chordSlider3;
    std::unique_ptr<juce::Slider> chordSlider4;
    std::unique_ptr<juce::ComboBox> autoTuneKeyBox;
    std::unique_ptr<juce::Slider> pitchBendRangeSlider;
    std::unique_ptr<juce::Slider> transposeSlider;
    std::unique_ptr<juce::Slider> velocityLimitSlider;
    std::unique_ptr<juce::ComboBox> autoTuneModeBox;
    std::unique_ptr<juce::ComboBox> channelSelectBox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiPanel)
};
