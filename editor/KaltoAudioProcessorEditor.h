#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class KaltoAudioProcessor;

// The plug-in's editor window: a fixed 630 x 390 area.
class KaltoAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit KaltoAudioProcessorEditor (KaltoAudioProcessor&);
    ~KaltoAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;

private:
    KaltoAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KaltoAudioProcessorEditor)
};
