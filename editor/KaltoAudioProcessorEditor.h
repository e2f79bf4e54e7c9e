#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class KaltoAudioProcessor;
class MainWindow;

// What the host opens: a fixed 630 x 390 area that owns and shows the main
// window and does nothing else.
class KaltoAudioProcessorEditor : public juce::AudioProcessorEditor,
                                  public juce::ChangeListener
{
public:
    explicit KaltoAudioProcessorEditor (KaltoAudioProcessor&);
    ~KaltoAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster*) override;

    KaltoAudioProcessor& processor;
    std::unique_ptr<MainWindow> mainWindow;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KaltoAudioProcessorEditor)
};
