#include "editor/MainWindow.h"

#include "editor/AboutPanel.h"
#include "editor/Controls.h"
#include "editor/ConversionPanel.h"
#include "editor/DialogLayout.h"
#include "editor/EditorColours.h"
#include "editor/EditorLayout.h"
#include "editor/MidiPanel.h"
#include "editor/NoteViewer.h"
#include "editor/PopUpBox.h"
#include "editor/PresetPopUp.h"
#include "editor/PresetSelector.h"
#include "editor/SynthPanel.h"
#include "editor/kalto_lookandfeel.h"
#include "editor/minimalMenuItem.h"
#include "processor/KaltoAudioProcessor.h"

#include <iterator>

namespace
{
using kalto::controls::addChild;

constexpr int tooltipDelayMs = 200;

// Tabs left to right CONVERSION, MIDI, SYNTH, ABOUT; the pages share one
// rectangle, and so do the two dialogs, over the pages and the strip.
const juce::Rectangle<int> conversionTabBounds { 24, 16, 120, 64 };
const juce::Rectangle<int> midiTabBounds { 152, 16, 88, 64 };
const juce::Rectangle<int> synthTabBounds { 248, 16, 88, 64 };
const juce::Rectangle<int> aboutTabBounds { 344, 16, 80, 64 };
const juce::Rectangle<int> noteViewerBounds { 448, 176, 168, 199 };
const juce::Rectangle<int> presetSelectorBounds { 440, 96, 184, 48 };
const juce::Rectangle<int> dialogBounds { 118, 84, kalto::dialog::width, kalto::dialog::height };

// The product name, top right.
const juce::Rectangle<int> productNameBox { 500, 30, 134, 22 };
constexpr float productNameHeight = 80.1f;

const char* const warningTitle = "WARNING";
const char* const warningMessage =
    "\nYour audio signal peaks. This prevents Kalto from accurately tracking the signal. "
    "Please lower the input gain.";

// Polling: every 50 ms. A peak level scaled by 25 and truncated counts as a
// full-scale peak from 25 up, that is from 1.0. The warning is decided every
// 134 ticks (6.7 s) and shown for two peaks in that time; the preset is
// compared every 21 ticks (1.05 s); a note's name stays six quiet ticks.
constexpr int tickMs = 50;
constexpr float peakScale = 25.0f;
constexpr int fullScaleStep = 25;
constexpr int warningPeriod = 134;
constexpr int peaksForWarning = 2;
constexpr int presetCheckPeriod = 21;
constexpr int quietTicksBeforeClearing = 6;
const char* const modifiedLabel = "Save preset";
const char* const noNoteShown = "--";

constexpr std::array<const char*, MainWindow::noteNameCount> makeNoteNameTable()
{
    // An octave of names from A, the name of note 21.
    constexpr const char* cycle[] = { "A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#" };
    std::array<const char*, MainWindow::noteNameCount> table {};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = cycle[i % std::size (cycle)];
    return table;
}
} // namespace

const std::array<const char*, MainWindow::noteNameCount> MainWindow::noteNameTable = makeNoteNameTable();

MainWindow::MainWindow (KaltoAudioProcessor& p) : processor (p)
{
    tooltipWindow = std::make_unique<juce::TooltipWindow> (this, tooltipDelayMs);

    peakWarning =
        addChild<PopUpBox> (*this, "peakWarning", juce::translate (warningTitle), juce::translate (warningMessage));
    peakWarning->setVisible (false);

    presetPopUp = addChild<PresetPopUp> (*this, "presPop", &processor);
    presetPopUp->setVisible (false);

    conversionTab = addChild<minimalMenuItem> (*this, "CONVERSION");
    midiTab = addChild<minimalMenuItem> (*this, "MIDI");
    aboutTab = addChild<minimalMenuItem> (*this, "ABOUT");
    noteViewer = addChild<NoteViewer> (*this, "nV");
    conversionPanel = addChild<ConversionPanel> (*this, "ConvPanel", processor);
    midiPanel = addChild<MidiPanel> (*this, "midiPanel", processor);
    aboutPanel = addChild<AboutPanel> (*this, "aboutPanel", processor);
    synthTab = addChild<minimalMenuItem> (*this, "SYNTH");
    synthPanel = addChild<SynthPanel> (*this, "synthPanel", processor);
    presetSelector = addChild<PresetSelector> (*this, "pS", presetPopUp.get(), &processor);

    // The warning lies above the save dialog where both show.
    presetPopUp->toFront (true);
    peakWarning->toFront (true);

    setSize (kalto::layout::editorWidth, kalto::layout::editorHeight);

    for (auto* broadcaster : std::initializer_list<juce::ChangeBroadcaster*> {
             conversionTab.get(), midiTab.get(), aboutTab.get(), synthTab.get(), presetPopUp.get() })
        broadcaster->addChangeListener (this);

    conversionTab->selected = true;
    conversionTab->repaint();
    conversionPanel->setVisible (true);
    midiPanel->setVisible (false);
    aboutPanel->setVisible (false);
    synthPanel->setVisible (false);
    for (auto* page : std::initializer_list<juce::Component*> { conversionPanel.get(), midiPanel.get(),
                                                                aboutPanel.get(), synthPanel.get() })
        page->repaint();

    presetSelector->addChangeListener (this);
    startTimer (tickMs);
}

MainWindow::~MainWindow()
{
    conversionTab.reset();
    midiTab.reset();
    aboutTab.reset();
    noteViewer.reset();
    conversionPanel.reset();
    midiPanel.reset();
    aboutPanel.reset();
    synthTab.reset();
    synthPanel.reset();
    // Before the save dialog it points to.
    presetSelector.reset();
}

void MainWindow::paint (juce::Graphics& g)
{
    g.fillAll (kalto::colours::black);
    g.setColour (kalto::colours::orange);
    g.setFont (kalto_lookandfeel::font (productNameHeight));
    g.drawText (juce::translate ("Kalto"), productNameBox, juce::Justification::left, true);
}

void MainWindow::resized()
{
    conversionTab->setBounds (conversionTabBounds);
    midiTab->setBounds (midiTabBounds);
    aboutTab->setBounds (aboutTabBounds);
    noteViewer->setBounds (noteViewerBounds);
    conversionPanel->setBounds (kalto::layout::pageBounds);
    midiPanel->setBounds (kalto::layout::pageBounds);
    aboutPanel->setBounds (kalto::layout::pageBounds);
    synthTab->setBounds (synthTabBounds);
    synthPanel->setBounds (kalto::layout::pageBounds);
    presetSelector->setBounds (presetSelectorBounds);
    presetPopUp->setBounds (dialogBounds);
    peakWarning->setBounds (dialogBounds);
}

void MainWindow::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    for (auto* tab : { conversionTab.get(), midiTab.get(), aboutTab.get(), synthTab.get() })
        if (source == tab)
            return selectPage (*tab);

    if (source == presetPopUp.get())
    {
        midiPanel->updateControls();
        for (auto* page : std::initializer_list<juce::Component*> { conversionPanel.get(), midiPanel.get(),
                                                                    aboutPanel.get(), synthPanel.get() })
            page->repaint();
    }
    else if (source == presetSelector.get())
    {
        synthPanel->refresh();
        conversionPanel->refresh();
        midiPanel->refresh();
        presetPopUp->refresh();
        presetSelector->refresh();
    }
    else
    {
        return;
    }

    showPresetState();
}

void MainWindow::selectPage (minimalMenuItem& clicked)
{
    if (clicked.selected)
        return;

    const std::pair<minimalMenuItem*, juce::Component*> tabsAndPages[] = {
        { conversionTab.get(), conversionPanel.get() },
        { midiTab.get(), midiPanel.get() },
        { aboutTab.get(), aboutPanel.get() },
        { synthTab.get(), synthPanel.get() },
    };
    for (auto [tab, page] : tabsAndPages)
        tab->selected = tab == &clicked;
    for (auto [tab, page] : tabsAndPages)
        tab->repaint();
    for (auto [tab, page] : tabsAndPages)
        page->setVisible (tab == &clicked);
    for (auto [tab, page] : tabsAndPages)
        page->repaint();
}

// ---------------------------------------------------------------------------
// Polling

void MainWindow::timerCallback()
{
    ++warningTicks;
    ++presetTicks;

    countPeak();
    {
        auto tracker = processor.readTracker();
        conversionPanel->pushGraphValues (tracker->getPeakStrength(), tracker->getLevelDb());
    }
    conversionPanel->repaint();

    if (warningTicks >= warningPeriod)
        decideWarning();
    if (presetTicks >= presetCheckPeriod)
        checkPreset();
    showNote();
}

void MainWindow::countPeak()
{
    // Read and reset in one exchange, so no block's peak falls between them.
    // Compared before truncating: the same test as on the truncated step,
    // without a cast of a huge level to an int.
    if (processor.takePeakLevel() * peakScale >= (float) fullScaleStep)
        ++peakCount;
}

void MainWindow::decideWarning()
{
    warningTicks = 0;
    // Shown here, hidden only by the user's click.
    if (peakCount >= peaksForWarning)
        peakWarning->setVisible (true);
    peakCount = 0;
}

void MainWindow::checkPreset()
{
    presetTicks = 0;
    showPresetState();
}

void MainWindow::showPresetState()
{
    // Also right after a save or a load: one that wrote nothing leaves the
    // values in no file, and the name must not show them as saved even until
    // the next check.
    const auto shown = processor.isPresetModified() ? juce::String (modifiedLabel) : processor.getCurrentPresetName();
    if (presetSelector->displayedName != shown)
    {
        presetSelector->displayedName = shown;
        presetSelector->repaint();
    }
}

void MainWindow::showNote()
{
    auto& stage = processor.getMidiBackend();
    const int n = stage.lastNoteNumber.load();
    const int v = stage.lastVelocity.load();

    if (v != 0 && n >= lowestNoteShown && n - lowestNoteShown < noteNameCount && (n != shownNote || v != shownVelocity))
    {
        quietTicks = 0;
        *noteViewer->noteName = noteNameTable[(std::size_t) (n - lowestNoteShown)];
        noteViewer->repaint();
        shownNote = n;
        shownVelocity = v;
    }
    else if (v == 0 && shownVelocity != 0)
    {
        if (quietTicks < quietTicksBeforeClearing)
        {
            ++quietTicks;
            return;
        }
        quietTicks = 0;
        *noteViewer->noteName = noNoteShown;
        noteViewer->repaint();
        shownVelocity = 0;
        shownNote = n;
    }
}
