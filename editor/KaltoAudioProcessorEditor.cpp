#include "editor/KaltoAudioProcessorEditor.h"

#include "editor/EditorLayout.h"
#include "editor/MainWindow.h"
#include "processor/KaltoAudioProcessor.h"

KaltoAudioProcessorEditor::KaltoAudioProcessorEditor (KaltoAudioProcessor& p)
    : juce::AudioProcessorEditor (&p), processor (p)
{
    mainWindow = std::make_unique<MainWindow> (p);
    addAndMakeVisible (*mainWindow);
    setSize (kalto::layout::editorWidth, kalto::layout::editorHeight);
}

KaltoAudioProcessorEditor::~KaltoAudioProcessorEditor()
{
    mainWindow.reset();
}

// The main window covers it all and stays at the origin.
void KaltoAudioProcessorEditor::paint (juce::Graphics&) {}
void KaltoAudioProcessorEditor::resized() {}
void KaltoAudioProcessorEditor::changeListenerCallback (juce::ChangeBroadcaster*) {}
