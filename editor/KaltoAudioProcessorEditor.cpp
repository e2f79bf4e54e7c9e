#include "editor/KaltoAudioProcessorEditor.h"

#include "editor/MainWindow.h"
#include "processor/KaltoAudioProcessor.h"

namespace
{
constexpr int editorWidth = 630, editorHeight = 390;
}

KaltoAudioProcessorEditor::KaltoAudioProcessorEditor (KaltoAudioProcessor& p)
    : juce::AudioProcessorEditor (&p), processor (p)
{
    mainWindow = std::make_unique<MainWindow> (p);
    addAndMakeVisible (*mainWindow);
    setSize (editorWidth, editorHeight);
}

KaltoAudioProcessorEditor::~KaltoAudioProcessorEditor()
{
    mainWindow.reset();
}

// The main window covers it all and stays at the origin.
void KaltoAudioProcessorEditor::paint (juce::Graphics&) {}
void KaltoAudioProcessorEditor::resized() {}
void KaltoAudioProcessorEditor::changeListenerCallback (juce::ChangeBroadcaster*) {}
