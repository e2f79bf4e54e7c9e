#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class KaltoAudioProcessor;
class kalto_graph;

// The CONVERSION page: the tracker's five settings, shown from the tracker
// itself and written both into it and into their parameters. The right column
// shows either three toggles or two history graphs; a press on either grey
// chevron switches between them.
//
// The tracker is fetched through the processor at every use, never kept:
// prepareToPlay replaces it.
class ConversionPanel : public juce::Component,
                        public juce::ChangeListener,
                        public juce::ChangeBroadcaster,
                        public juce::Button::Listener,
                        public juce::Slider::Listener
{
public:
    explicit ConversionPanel (KaltoAudioProcessor&);
    ~ConversionPanel() override;

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    void buttonClicked (juce::Button*) override;
    void sliderValueChanged (juce::Slider*) override;

    // Loads the five controls from the tracker; the sliders tell their
    // listener later, and only if what they show changed.
    void updateControls();
    void refresh();
    // One value into each graph's history; the caller repaints.
    void pushGraphValues (float peakStrength, float levelDb);

    KaltoAudioProcessor& processor;
    float leftChevronX = 0.0f;
    float leftChevronSize = 0.0f;
    float rightChevronX = 0.0f;
    float rightChevronSize = 0.0f;
    std::unique_ptr<juce::ToggleButton> bendsToggle;
    std::unique_ptr<juce::ToggleButton> legatoToggle;
    std::unique_ptr<juce::ToggleButton> filterToggle;
    std::unique_ptr<juce::Slider> confidenceSlider;
    std::unique_ptr<juce::Slider> gainSlider;
    std::unique_ptr<kalto_graph> confidenceGraph;
    std::unique_ptr<kalto_graph> dbGraph;

private:
    void addKnobs();
    void addGraphs();
    void addToggles();
    void startGraphs();
    void showConfidenceLine();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConversionPanel)
};
