#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>

class KaltoAudioProcessor;
class AboutPanel;
class ConversionPanel;
class MidiPanel;
class NoteViewer;
class PopUpBox;
class PresetPopUp;
class PresetSelector;
class SynthPanel;
class minimalMenuItem;

// Everything the editor shows: four tabs and their pages, the note display,
// the preset strip, the save dialog and the clipping warning. It switches
// pages when a tab is pressed, refreshes the pages after preset actions, and
// polls the processor every 50 ms: the processor tells the editor nothing.
class MainWindow : public juce::Component,
                   public juce::ChangeListener,
                   public juce::Timer
{
public:
    explicit MainWindow (KaltoAudioProcessor&);
    ~MainWindow() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    // One tick of the polling.
    void timerCallback() override;

    // Note names by MIDI note number minus the lowest note shown.
    static constexpr int lowestNoteShown = 21;
    static constexpr int noteNameCount = 204;
    static const std::array<const char*, noteNameCount> noteNameTable;

    KaltoAudioProcessor& processor;
    std::unique_ptr<PopUpBox> peakWarning;
    std::unique_ptr<PresetPopUp> presetPopUp;
    std::unique_ptr<juce::TooltipWindow> tooltipWindow;
    std::unique_ptr<minimalMenuItem> conversionTab;
    std::unique_ptr<minimalMenuItem> midiTab;
    std::unique_ptr<minimalMenuItem> aboutTab;
    std::unique_ptr<NoteViewer> noteViewer;
    std::unique_ptr<ConversionPanel> conversionPanel;
    std::unique_ptr<MidiPanel> midiPanel;
    std::unique_ptr<AboutPanel> aboutPanel;
    std::unique_ptr<minimalMenuItem> synthTab;
    std::unique_ptr<SynthPanel> synthPanel;
    std::unique_ptr<PresetSelector> presetSelector;

    // The polling's state, all zero in a new window.
    int warningTicks = 0;
    int peakCount = 0;
    int presetTicks = 0;
    int quietTicks = 0;
    int shownNote = 0;
    int shownVelocity = 0;

private:
    void selectPage (minimalMenuItem& tab);
    void countPeak();
    void decideWarning();
    void checkPreset();
    // The current preset's name on the strip, or "Save preset" while the
    // values are not what its file holds.
    void showPresetState();
    void showNote();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
