#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The large display of the note last played, under the caption "Note".
class NoteViewer : public juce::Component,
                   public juce::ChangeBroadcaster
{
public:
    NoteViewer();
    ~NoteViewer() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    // The name shown, "--" when no note is; the owner writes it and repaints.
    std::unique_ptr<juce::String> noteName;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (NoteViewer)
};
