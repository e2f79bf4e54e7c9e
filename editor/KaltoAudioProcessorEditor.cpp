#include "editor/KaltoAudioProcessorEditor.h"

#include "processor/KaltoAudioProcessor.h"

KaltoAudioProcessorEditor::KaltoAudioProcessorEditor (KaltoAudioProcessor& p)
    : juce::AudioProcessorEditor (&p), processor (p)
{
    setSize (630, 390);
}

KaltoAudioProcessorEditor::~KaltoAudioProcessorEditor() = default;

void KaltoAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black);
}
