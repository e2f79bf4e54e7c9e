// The whole editor as the host opens it: the main window's children, the
// page switching, the preset strip and the save dialog, and the polling, its
// ticks driven one by one.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorFixture.h"
#include "tests/processor/ProcessorProbe.h"

#include "editor/ConversionPanel.h"
#include "editor/EditorColours.h"
#include "editor/KaltoAudioProcessorEditor.h"
#include "editor/MainWindow.h"
#include "editor/MidiPanel.h"
#include "editor/NoteViewer.h"
#include "editor/PopUpBox.h"
#include "editor/PresetPopUp.h"
#include "editor/PresetSelector.h"
#include "editor/minimalMenuItem.h"
#include "tests/engine/FakeMidiPorts.h"
#include "tests/support/FifoWatchdog.h"
#include "tests/support/FolderEntries.h"

#include <cstdio>

namespace kalto::test
{
namespace
{
// Tab centres and the strip's areas, in the window's coordinates.
const juce::Point<float> conversionTabAt { 84.0f, 40.0f }, midiTabAt { 196.0f, 40.0f }, synthTabAt { 292.0f, 40.0f },
    aboutTabAt { 384.0f, 40.0f };
const juce::Point<float> stripNextAt { 440.0f + 170.0f, 120.0f }, stripPreviousAt { 440.0f + 10.0f, 120.0f },
    stripCentreAt { 440.0f + 92.0f, 120.0f };
// The save dialog's areas.
const juce::Point<float> renameAt { 118.0f + 75.0f, 84.0f + 203.0f }, noAt { 118.0f + 200.0f, 84.0f + 203.0f },
    yesAt { 118.0f + 325.0f, 84.0f + 203.0f };

// An editor made by the processor, as a host gets it, its timer stopped so a
// test drives the ticks one by one.
struct OpenEditor
{
    explicit OpenEditor (KaltoAudioProcessor& p)
        : editor (static_cast<KaltoAudioProcessorEditor*> (p.createEditor())), window (*editor->mainWindow)
    {
        window.stopTimer();
    }

    void ticks (int n)
    {
        for (int i = 0; i < n; ++i)
            window.timerCallback();
    }

    std::unique_ptr<KaltoAudioProcessorEditor> editor;
    MainWindow& window;
};

using EditorWindow = ProcessorTest;

std::vector<juce::String> visiblePages (MainWindow& w)
{
    std::vector<juce::String> shown;
    for (auto* page : { (juce::Component*) w.conversionPanel.get(), (juce::Component*) w.midiPanel.get(),
                        (juce::Component*) w.aboutPanel.get(), (juce::Component*) w.synthPanel.get() })
        if (page->isVisible())
            shown.push_back (page->getName());
    return shown;
}

std::vector<juce::String> selectedTabs (MainWindow& w)
{
    std::vector<juce::String> selected;
    for (auto* tab : { w.conversionTab.get(), w.midiTab.get(), w.synthTab.get(), w.aboutTab.get() })
        if (tab->selected)
            selected.push_back (tab->getName());
    return selected;
}

void expectStartState (OpenEditor& open)
{
    auto& w = open.window;
    EXPECT_EQ (open.editor->getBounds(), juce::Rectangle<int> (0, 0, 630, 390));
    EXPECT_EQ (w.getBounds(), juce::Rectangle<int> (0, 0, 630, 390));
    EXPECT_EQ (selectedTabs (w), std::vector<juce::String> { "CONVERSION" });
    EXPECT_EQ (visiblePages (w), std::vector<juce::String> { "ConvPanel" });
    EXPECT_FALSE (w.presetPopUp->isVisible());
    EXPECT_FALSE (w.peakWarning->isVisible());
    EXPECT_EQ (*w.noteViewer->noteName, "--");
    EXPECT_EQ (w.presetSelector->displayedName, open.window.processor.getCurrentPresetName());
    EXPECT_EQ (w.warningTicks + w.peakCount + w.presetTicks + w.quietTicks + w.shownNote + w.shownVelocity, 0);

    // The dialogs lie above everything, the warning on top (the tooltip
    // window, invisible until it has a tip, keeps itself above all).
    std::vector<juce::String> order;
    for (auto* c : w.getChildren())
        if (c != w.tooltipWindow.get())
            order.push_back (c->getName());
    ASSERT_GE (order.size(), 2u);
    EXPECT_EQ (order[order.size() - 2], "presPop");
    EXPECT_EQ (order[order.size() - 1], "peakWarning");

    // Drawn: the CONVERSION tab a white block, the others white text on black.
    const auto image = snapshot (*open.editor);
    EXPECT_EQ (image.getPixelAt (26, 18), colours::white);
    EXPECT_EQ (image.getPixelAt (154, 18), colours::black);
    EXPECT_GT (count (image, { 152, 16, 88, 48 }, near (colours::white, 40)), 50) << "MIDI in white";
}

TEST_F (EditorWindow, OpensOnTheConversionPageWithNoDialog)
{
    auto& p = make();
    OpenEditor open (p);
    expectStartState (open);
    EXPECT_TRUE (p.hasEditor());
    // The write-back that follows opening tells the host nothing at the defaults.
    HostChanges host (p);
    pumpMessages();
    EXPECT_EQ (host.count(), 0);
}

TEST_F (EditorWindow, TabsSwitchPagesAsOneRadioGroup)
{
    auto& p = make();
    OpenEditor open (p);
    Mouse mouse (*open.editor);
    auto& w = open.window;

    const struct
    {
        juce::Point<float> at;
        const char* tab;
        const char* page;
    } clicks[] = {
        { midiTabAt, "MIDI", "midiPanel" },
        { midiTabAt, "MIDI", "midiPanel" },
        { synthTabAt, "SYNTH", "synthPanel" },
        { aboutTabAt, "ABOUT", "aboutPanel" },
        { conversionTabAt, "CONVERSION", "ConvPanel" },
        { aboutTabAt, "ABOUT", "aboutPanel" },
        { aboutTabAt, "ABOUT", "aboutPanel" },
        { synthTabAt, "SYNTH", "synthPanel" },
        { conversionTabAt, "CONVERSION", "ConvPanel" },
    };
    for (const auto& c : clicks)
    {
        SCOPED_TRACE (c.tab);
        const auto before = snapshot (*open.editor);
        const bool alreadySelected = selectedTabs (w) == std::vector<juce::String> { c.tab };
        mouse.click (c.at);
        pumpMessages();
        EXPECT_EQ (selectedTabs (w), std::vector<juce::String> { c.tab });
        EXPECT_EQ (visiblePages (w), std::vector<juce::String> { c.page });
        if (alreadySelected)
        {
            EXPECT_TRUE (sameImage (before, snapshot (*open.editor))) << "a click on the selected tab changes nothing";
        }
    }
}

// Presets written before the editor opens, each with its own values.
struct PresetValues
{
    const char* name;
    int synthSound;
    float confidence;
    int key;
};

void writePreset (KaltoAudioProcessor& p, const PresetValues& v)
{
    ProcessorTest::set (p.intParameter (kalto::synthSoundIndex), (float) v.synthSound);
    ProcessorTest::set (p.floatParameter (kalto::confidenceIndex), v.confidence);
    ProcessorTest::set (p.intParameter (kalto::keyIndex), (float) v.key);
    p.savePresetAs (juce::String::fromUTF8 (v.name));
}

TEST_F (EditorWindow, BrowsingLoadsThePresetAndEveryPageShowsIt)
{
    const PresetValues stored[] = { { "A", 1, 0.5f, 5 }, { "B", 3, 1.2f, 1 }, { "C", 5, 0.3f, 13 } };
    auto& p = make();
    presets().getChildFile ("Vyn Defaults.kalto_vyn").deleteFile();
    for (const auto& v : stored)
        writePreset (p, v);
    p.loadPresetNamed ("B");

    OpenEditor open (p);
    auto& w = open.window;
    pumpMessages();
    Mouse mouse (*open.editor);
    ASSERT_EQ (w.presetSelector->numPresets, 3);
    const auto listed = w.presetSelector->presetFiles;

    // From position 0, whatever is current: next, next, next wraps; then previous wraps back.
    auto expectShown = [&] (const juce::File& file) {
        const auto name = file.getFileNameWithoutExtension();
        SCOPED_TRACE (name);
        const auto& v =
            *std::find_if (std::begin (stored), std::end (stored), [&] (auto& x) { return name == x.name; });
        EXPECT_EQ (p.getCurrentPresetName(), name);
        EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), v.synthSound);
        EXPECT_EQ (childNamed<juce::ComboBox> (w, "internalSynthSelector").getSelectedId(), v.synthSound + 1);
        EXPECT_FLOAT_EQ ((float) w.conversionPanel->confidenceSlider->getValue(), v.confidence);
        EXPECT_EQ (childNamed<juce::ComboBox> (w, "autoTuneKeyBox").getSelectedId(), v.key);
        EXPECT_EQ (w.presetPopUp->nameLabel->getText(), name);
        EXPECT_EQ (w.presetSelector->displayedName, name);
        EXPECT_FALSE (p.isPresetModified()) << "the values shown are the file's";
    };
    for (int k : { 1, 2, 0 })
    {
        mouse.click (stripNextAt);
        pumpMessages();
        expectShown (listed[k]);
    }
    mouse.click (stripPreviousAt);
    pumpMessages();
    expectShown (listed[2]);

    // The list is read again at every step: a file saved meanwhile is found.
    writePreset (p, { "D", 2, 0.78f, 2 });
    p.loadPresetNamed (listed[2].getFileNameWithoutExtension());
    mouse.click (stripNextAt);
    pumpMessages();
    EXPECT_EQ (w.presetSelector->numPresets, 4);

    // Steps at any height in the areas; 154 steps forwards at 184 wide, 153 does not.
    const auto index = w.presetSelector->presetIndex;
    mouse.click ({ 440.0f + 154.0f, 97.0f });
    EXPECT_EQ (w.presetSelector->presetIndex, (index + 1) % 4);
    mouse.click ({ 440.0f + 153.0f, 143.0f });
    EXPECT_TRUE (w.presetPopUp->isVisible());
    EXPECT_EQ (w.presetSelector->presetIndex, (index + 1) % 4);
}

TEST_F (EditorWindow, AStepWithNoFilesLoadsNothingAndFilesGoneMeanwhileAreNeverReadPast)
{
    auto& p = make();
    OpenEditor open (p);
    auto& strip = *open.window.presetSelector;
    presets().getChildFile ("Vyn Defaults.kalto_vyn").deleteFile();
    // A file named by the extension alone names no preset.
    ASSERT_TRUE (presets().getChildFile (".kalto_vyn").create());
    strip.refresh();
    ASSERT_EQ (strip.numPresets, 0);
    presets().getChildFile (".kalto_vyn").deleteFile();
    HostChanges host (p);
    Mouse mouse (*open.editor);
    mouse.click (stripNextAt);
    mouse.click (stripPreviousAt);
    pumpMessages();
    EXPECT_EQ (host.count(), 0) << "nothing loaded";
    EXPECT_EQ (p.getCurrentPresetName(), "Vyn Defaults");
    EXPECT_FALSE (presets().getChildFile (".kalto_vyn").exists());
    EXPECT_FALSE (presets().getChildFile (".kalto_vyn.kalto_vyn").exists());

    // Three files, the position at the last; two go away; the next steps stay in the list.
    for (const char* name : { "X", "Y", "Z" })
        writePreset (p, { name, 2, 0.78f, 2 });
    strip.refresh();
    strip.presetIndex = 2;
    for (const auto& f : strip.presetFiles)
        if (f != strip.presetFiles[0])
            f.deleteFile();
    strip.refresh();
    ASSERT_EQ (strip.numPresets, 1);
    mouse.click (stripPreviousAt);
    pumpMessages();
    EXPECT_EQ (strip.presetIndex, 0);
    EXPECT_EQ (p.getCurrentPresetName(), strip.presetFiles[0].getFileNameWithoutExtension());
}

// The names of the files the strip lists, sorted.
std::vector<juce::String> listedNames (const PresetSelector& strip)
{
    std::vector<juce::String> names;
    for (const auto& f : strip.presetFiles)
        names.push_back (f.getFileName());
    std::sort (names.begin(), names.end());
    return names;
}

// Only files are presets: a folder, a FIFO or a socket under a preset's name
// is not listed, so no step waits on a FIFO. A link to a preset is one.
TEST_F (EditorWindow, TheStripListsOnlyFiles)
{
    auto& p = make();
    writePreset (p, { "A", 1, 0.5f, 5 });
    ASSERT_TRUE (presets().getChildFile ("Folder.kalto_vyn").createDirectory().wasOk());
    ASSERT_TRUE (makeSocket (presets().getChildFile ("Socket.kalto_vyn")));
    ASSERT_EQ (symlink ("A.kalto_vyn", presets().getChildFile ("Link.kalto_vyn").getFullPathName().toRawUTF8()), 0);
    FifoWatchdog fifo (presets().getChildFile ("Fifo.kalto_vyn"));
    ASSERT_TRUE (fifo.wasMade());
    const auto entries = entriesOf (presets());

    OpenEditor open (p);
    auto& strip = *open.window.presetSelector;
    EXPECT_EQ (listedNames (strip),
               (std::vector<juce::String> { "A.kalto_vyn", "Link.kalto_vyn", "Vyn Defaults.kalto_vyn" }));
    Mouse mouse (*open.editor);
    for (int i = 0; i < 6; ++i)
    {
        mouse.click (stripNextAt);
        pumpMessages();
    }
    EXPECT_FALSE (fifo.freedAReader()) << "a step waited on the FIFO";
    EXPECT_EQ (entriesOf (presets()), entries);
    // The framework takes a socket for a folder, and cannot delete it.
    EXPECT_EQ (std::remove (presets().getChildFile ("Socket.kalto_vyn").getFullPathName().toRawUTF8()), 0);
}

// A step loads the file that was listed and never writes one of another
// name: a file whose name text cannot hold as it stands, or whose extension
// differs in case, is not listed. A listed file deleted since is written anew.
TEST_F (EditorWindow, AStepNeverWritesAFileOfAnotherName)
{
    auto& p = make();
    const auto accented = juce::String::fromUTF8 ("Caf\xc3\xa9");
    writePreset (p, { "A", 1, 0.5f, 5 });
    writePreset (p, { accented.toRawUTF8(), 3, 1.2f, 1 });
    juce::MemoryBlock stored;
    ASSERT_TRUE (presets().getChildFile ("A.kalto_vyn").loadFileAsData (stored));
    const auto folder = presets().getFullPathName().toStdString() + "/";
    for (const char* name : { "bad\377utf8.kalto_vyn", "overlong \300\256.kalto_vyn",
                              "surrogate \355\240\200.kalto_vyn", "Upper.KALTO_VYN" })
    {
        auto* f = std::fopen ((folder + name).c_str(), "wb");
        ASSERT_NE (f, nullptr) << name;
        EXPECT_EQ (std::fwrite (stored.getData(), 1, stored.getSize(), f), stored.getSize());
        std::fclose (f);
    }
    const auto entries = entriesOf (presets());

    OpenEditor open (p);
    auto& strip = *open.window.presetSelector;
    EXPECT_EQ (listedNames (strip),
               (std::vector<juce::String> { "A.kalto_vyn", accented + ".kalto_vyn", "Vyn Defaults.kalto_vyn" }));
    Mouse mouse (*open.editor);
    for (int i = 0; i < 6; ++i)
    {
        mouse.click (stripNextAt);
        pumpMessages();
        EXPECT_EQ (p.getCurrentPresetName() + ".kalto_vyn", strip.presetFiles[strip.presetIndex].getFileName());
        EXPECT_EQ (entriesOf (presets()), entries);
        if (p.getCurrentPresetName() == accented)
        {
            EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), 3) << "the file's own values";
        }
    }

    // Gone since the listing: the step writes it again, under its own name, from the values now.
    const auto a = presets().getChildFile ("A.kalto_vyn");
    strip.presetIndex = (strip.presetFiles.indexOf (a) + strip.numPresets - 1) % strip.numPresets;
    ASSERT_TRUE (a.deleteFile());
    set (p.intParameter (kalto::keyIndex), 11.0f);
    mouse.click (stripNextAt);
    pumpMessages();
    ASSERT_EQ (p.getCurrentPresetName(), "A");
    EXPECT_EQ (entriesOf (presets()), entries);
    set (p.intParameter (kalto::keyIndex), 2.0f);
    p.loadPreset();
    EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 11);
}

// The save dialog as a user works it: opened by a click on the strip's
// centre, a name typed into its field, closed with YES or NO.
struct SaveDialog
{
    explicit SaveDialog (KaltoAudioProcessor& p) : open (p), dialog (*open.window.presetPopUp), mouse (*open.editor)
    {
        pumpMessages();
    }

    void typeName (const juce::String& name)
    {
        mouse.click (stripCentreAt);
        mouse.click (renameAt);
        ASSERT_TRUE (dialog.nameLabel->isBeingEdited());
        dialog.nameLabel->getCurrentTextEditor()->setText (name);
    }

    OpenEditor open;
    PresetPopUp& dialog;
    Mouse mouse;
};

// A name wider than the strip's middle half is cut with an ellipsis there,
// clear of the chevrons.
TEST_F (EditorWindow, TheStripCutsANameTooLongForItWithAnEllipsis)
{
    auto& p = make();
    OpenEditor open (p);
    auto& strip = *open.window.presetSelector;
    strip.displayedName = "A Preset Named Far Too Long To Fit";
    // Over the editor's black, as the window shows it.
    const auto image = snapshot (*open.editor).getClippedImage (strip.getBounds()).createCopy();
    savePng (image, "strip-name-cut");

    const auto white = near (colours::white, 60);
    const auto text = extent (image, white);
    const juce::Rectangle<int> middle { strip.getWidth() / 4, 0, strip.getWidth() / 2, strip.getHeight() };
    EXPECT_TRUE (middle.contains (text)) << text.toString();
    EXPECT_GT (text.getWidth(), middle.getWidth() * 9 / 10) << "the cut name fills the middle";

    // The last characters are dots: on the baseline, nothing above the
    // lower third of the text.
    const juce::Rectangle<int> end { text.getRight() - 12, text.getY(), 12, text.getHeight() * 2 / 3 };
    EXPECT_EQ (count (image, end, white), 0);
    EXPECT_GT (count (image, end.withY (end.getBottom()).withHeight (text.getBottom() - end.getBottom()), white), 0);
}

TEST_F (EditorWindow, TheStripsCentreOpensTheSaveDialogAndNothingElse)
{
    auto& p = make();
    SaveDialog save (p);

    save.mouse.click (stripCentreAt);
    pumpMessages();
    EXPECT_TRUE (save.dialog.isVisible());
    EXPECT_EQ (p.getCurrentPresetName(), "Vyn Defaults");
    savePng (snapshot (*save.open.editor), "editor-save-dialog");

    // A click outside the areas and the field does nothing.
    save.mouse.click ({ 118.0f + 200.0f, 84.0f + 240.0f });
    EXPECT_TRUE (save.dialog.isVisible());
}

TEST_F (EditorWindow, YesWithoutEditingRewritesTheCurrentPresetWithTheValuesNow)
{
    auto& p = make();
    SaveDialog save (p);
    save.mouse.click (stripCentreAt);

    set (p.intParameter (kalto::transposeIndex), 7.0f);
    save.open.window.timerCallback();
    save.mouse.click (yesAt);
    EXPECT_FALSE (save.dialog.isVisible());
    EXPECT_EQ (p.getCurrentPresetName(), "Vyn Defaults");
    EXPECT_FALSE (p.isPresetModified());
    auto q = std::make_unique<KaltoAudioProcessor>(); // reads the file again
    EXPECT_EQ (q->intParameter (kalto::transposeIndex)->get(), 7);
}

TEST_F (EditorWindow, ANameTypedAndYesSavesUnderThatNameWhichTheStripShows)
{
    auto& p = make();
    SaveDialog save (p);

    // YES while the field's editor is still open.
    save.typeName ("Lead...Solo");
    EXPECT_TRUE (save.dialog.isVisible());
    {
        // What is typed shows, white on the field's grey.
        const auto typing = snapshot (save.dialog);
        savePng (typing, "save-dialog-typing");
        const juce::Rectangle<int> field { 0, 115, 400, 40 };
        EXPECT_GT (count (typing, field, near (colours::white, 30)), 100);
        EXPECT_GT (count (typing, field, near (juce::Colour (0xff333333), 3)), 8000);
    }
    save.mouse.click (yesAt);
    pumpMessages();
    EXPECT_EQ (p.getCurrentPresetName(), "Lead...Solo");
    EXPECT_TRUE (presets().getChildFile ("Lead...Solo.kalto_vyn").existsAsFile());
    EXPECT_EQ (save.open.window.presetSelector->displayedName, "Lead...Solo");
    EXPECT_FALSE (save.dialog.isVisible());
}

// A name the framework's path helpers read as a home folder when it leads a
// path: the dialog saves it in the preset folder, and the strip lists it and
// loads it by its name.
TEST_F (EditorWindow, ANameBeginningWithATildeIsSavedListedAndLoaded)
{
    for (const juce::String name : { "~Lead", "~" })
    {
        SCOPED_TRACE (name);
        auto& p = make();
        SaveDialog save (p);
        auto& strip = *save.open.window.presetSelector;
        set (p.intParameter (kalto::keyIndex), 9.0f);
        save.typeName (name);
        save.mouse.click (yesAt);
        pumpMessages();
        EXPECT_FALSE (save.dialog.isVisible());
        EXPECT_TRUE (presetFileOf (name).existsAsFile());
        save.open.ticks (21);
        EXPECT_EQ (strip.displayedName, name);

        set (p.intParameter (kalto::keyIndex), 2.0f);
        p.savePresetAs ("Other");
        strip.refresh();
        ASSERT_TRUE (strip.presetFiles.contains (presetFileOf (name)));
        for (int i = 0; i < strip.numPresets && p.getCurrentPresetName() != name; ++i)
        {
            save.mouse.click (stripNextAt);
            pumpMessages();
        }
        EXPECT_EQ (p.getCurrentPresetName(), name);
        EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 9);
        EXPECT_EQ (childNamed<juce::ComboBox> (save.open.window, "autoTuneKeyBox").getSelectedId(), 9);
        EXPECT_EQ (strip.displayedName, name);
    }
}

TEST_F (EditorWindow, NoAfterTypingWritesNothingAndShowsTheOldNameAgain)
{
    auto& p = make();
    p.savePresetAs ("Lead...Solo");
    SaveDialog save (p);
    save.open.window.presetPopUp->refresh();
    const auto before = presets().findChildFiles (juce::File::findFiles, false).size();

    save.typeName ("Never Saved");
    save.mouse.click (noAt);
    pumpMessages();
    EXPECT_FALSE (save.dialog.isVisible());
    EXPECT_EQ (p.getCurrentPresetName(), "Lead...Solo");
    EXPECT_EQ (save.dialog.nameLabel->getText(), "Lead...Solo");
    EXPECT_EQ (presets().findChildFiles (juce::File::findFiles, false).size(), before);
}

TEST_F (EditorWindow, ANameTheFolderCannotTakeWritesNothingAnywhere)
{
    auto& p = make();
    p.savePresetAs ("Lead...Solo");
    SaveDialog save (p);
    const auto before = presets().findChildFiles (juce::File::findFiles, false).size();

    // The dialog stays for another try.
    for (const juce::String refused : { "", "..", "../outside", "a/b" })
    {
        SCOPED_TRACE (refused);
        save.typeName (refused);
        save.mouse.click (yesAt);
        pumpMessages();
        EXPECT_TRUE (save.dialog.isVisible());
        EXPECT_EQ (p.getCurrentPresetName(), "Lead...Solo");
        EXPECT_EQ (presets().findChildFiles (juce::File::findFiles, false).size(), before);
        EXPECT_FALSE (home.getChildFile ("Music/outside.kalto_vyn").exists());
        save.mouse.click (noAt);
    }
    EXPECT_TRUE (presets().getChildFile ("Vyn Defaults.kalto_vyn").existsAsFile());
}

// A YES whose save writes nothing closes the dialog as any YES does, but the
// strip never shows the name as saved: "Save preset" at once and at every
// check, though the values are those of the preset loaded, until a save
// writes.
TEST_F (EditorWindow, AYesThatWritesNothingLeavesTheStripShowingSavePreset)
{
    const auto cases = unwritablePresets ("New");
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        SaveDialog save (p);
        auto& strip = *save.open.window.presetSelector;
        c.prevent();
        save.typeName ("New");
        save.mouse.click (yesAt);
        pumpMessages();
        EXPECT_FALSE (save.dialog.isVisible());
        EXPECT_EQ (p.getCurrentPresetName(), "New");
        EXPECT_EQ (strip.displayedName, "Save preset");
        save.open.ticks (21);
        EXPECT_EQ (strip.displayedName, "Save preset");

        c.allow();
        save.mouse.click (stripCentreAt);
        save.mouse.click (yesAt);
        pumpMessages();
        EXPECT_TRUE (presetFileOf ("New").existsAsFile());
        EXPECT_EQ (strip.displayedName, "New");
        save.open.ticks (21);
        EXPECT_EQ (strip.displayedName, "New");
    }
}

// The MIDI page shows the parameters again when the dialog closes, whether
// with YES or NO: a host may have changed them while it was open.
TEST_F (EditorWindow, ClosingTheSaveDialogReadsTheMidiPageAgain)
{
    for (const auto& [answer, transposed] : { std::pair { yesAt, 5.0f }, std::pair { noAt, 9.0f } })
    {
        auto& p = make();
        SaveDialog save (p);
        auto& transpose = childNamed<juce::Slider> (*save.open.window.midiPanel, "TRANSPOSE");
        ASSERT_NE (transpose.getValue(), transposed);

        save.mouse.click (stripCentreAt);
        set (p.intParameter (kalto::transposeIndex), transposed);
        save.mouse.click (answer);
        pumpMessages();
        EXPECT_FALSE (save.dialog.isVisible());
        EXPECT_EQ (transpose.getValue(), transposed) << (answer == yesAt ? "YES" : "NO");
    }
}

TEST_F (EditorWindow, ClippingWarningNeedsTwoPeakTicksInOnePeriod)
{
    const struct
    {
        const char* name;
        std::vector<std::pair<int, float>> peaks; // tick (from 1), peak level
        bool shown;                               // at tick 134
    } cases[] = {
        { "never full scale", { { 5, 0.999f }, { 50, 0.999f } }, false },
        { "one full-scale tick", { { 5, 1.0f } }, false },
        { "two in one tick count once", { { 5, 1.5f } }, false },
        { "two ticks at 1.0 and 1.5", { { 5, 1.0f }, { 90, 1.5f } }, true },
        { "the deciding tick counts", { { 1, 1.0f }, { 134, 1.0f } }, true },
        { "levels far past full scale count too", { { 5, 1.0e30f }, { 90, HUGE_VALF } }, true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        OpenEditor open (p);
        for (int tick = 1; tick <= 134; ++tick)
        {
            for (const auto& [at, level] : c.peaks)
                if (at == tick)
                    KaltoAudioProcessorProbe::peakLevel (p) = level;
            open.ticks (1);
            EXPECT_EQ (KaltoAudioProcessorProbe::peakLevel (p).load(), 0.0f);
            if (tick < 134)
            {
                ASSERT_FALSE (open.window.peakWarning->isVisible());
            }
        }
        EXPECT_EQ (open.window.peakWarning->isVisible(), c.shown);
        EXPECT_EQ (open.window.peakCount, 0);
        EXPECT_EQ (open.window.warningTicks, 0);
    }
}

// Full-scale peaks on given ticks of a window whose timer the test drives.
struct Peaks
{
    explicit Peaks (KaltoAudioProcessor& p) : processor (p), open (p) {}

    // A full-scale peak on the next tick, then `more` ticks without one.
    void peakThen (int more)
    {
        KaltoAudioProcessorProbe::peakLevel (processor) = 1.0f;
        open.ticks (1 + more);
    }

    // Two full-scale ticks from the start of a period, up to its decision.
    void twoPeaksInAPeriod()
    {
        peakThen (0);
        peakThen (132);
    }

    void clickTheWarning()
    {
        Mouse mouse (*open.editor);
        mouse.click ({ 118.0f + 200.0f, 84.0f + 100.0f });
    }

    bool warningShown() const { return open.window.peakWarning->isVisible(); }

    KaltoAudioProcessor& processor;
    OpenEditor open;
};

TEST_F (EditorWindow, PeaksDoNotCarryOverIntoTheNextPeriod)
{
    // One at the end of a period, one at the start of the next.
    auto& p = make();
    Peaks peaks (p);
    peaks.open.ticks (133);
    peaks.peakThen (0);
    peaks.peakThen (133);
    EXPECT_FALSE (peaks.warningShown());
}

TEST_F (EditorWindow, AShownWarningStaysAboveTheSaveDialogUntilClicked)
{
    auto& p = make();
    Peaks peaks (p);
    peaks.twoPeaksInAPeriod();
    ASSERT_TRUE (peaks.warningShown());

    // Through quiet periods, and above the save dialog.
    peaks.open.ticks (134 * 2);
    EXPECT_TRUE (peaks.warningShown());
    peaks.open.window.presetPopUp->setVisible (true);
    const auto image = snapshot (*peaks.open.editor);
    savePng (image, "editor-warning-over-dialog");
    EXPECT_EQ (image.getPixelAt (118 + 5, 84 + 5), juce::Colour (0xff303030))
        << "the warning's colour, not the dialog's";
    peaks.clickTheWarning();
    EXPECT_FALSE (peaks.warningShown());
    EXPECT_TRUE (peaks.open.window.presetPopUp->isVisible());
}

TEST_F (EditorWindow, AWarningClickedAwayComesBackOnlyAtADecisionWithTwoPeaks)
{
    auto& p = make();
    Peaks peaks (p);
    peaks.twoPeaksInAPeriod();
    ASSERT_TRUE (peaks.warningShown());
    peaks.clickTheWarning();
    ASSERT_FALSE (peaks.warningShown());

    // A period with one peak leaves it away; the next with two brings it back.
    peaks.peakThen (133);
    EXPECT_FALSE (peaks.warningShown());
    peaks.twoPeaksInAPeriod();
    EXPECT_TRUE (peaks.warningShown());
}

TEST_F (EditorWindow, ThePresetLabelFollowsTheValuesEvery21Ticks)
{
    auto& p = make();
    OpenEditor open (p);
    auto& label = open.window.presetSelector->displayedName;
    pumpMessages();
    open.ticks (21);
    EXPECT_EQ (label, "Vyn Defaults");

    set (p.intParameter (kalto::transposeIndex), 3.0f);
    open.ticks (20);
    EXPECT_EQ (label, "Vyn Defaults") << "not before the 21-tick check";
    open.ticks (1);
    EXPECT_EQ (label, "Save preset");
    open.ticks (21);
    EXPECT_EQ (label, "Save preset");

    set (p.intParameter (kalto::transposeIndex), 0.0f);
    open.ticks (21);
    EXPECT_EQ (label, "Vyn Defaults");
}

// A preset whose confidence lies off the knob's 0.01 grid: opening the editor
// writes the snapped value back, so the values no longer match the preset.
TEST_F (EditorWindow, APresetOffTheKnobsGridReadsSavePresetOnceTheEditorOpens)
{
    {
        auto& first = make();
        set (first.floatParameter (kalto::confidenceIndex), 0.783f);
        first.savePreset();
    }
    auto& p = make(); // loads it
    ASSERT_FALSE (p.isPresetModified());
    OpenEditor open (p);
    pumpMessages();
    EXPECT_FLOAT_EQ (p.floatParameter (kalto::confidenceIndex)->get(), 0.78f);
    open.ticks (21);
    EXPECT_EQ (open.window.presetSelector->displayedName, "Save preset");
}

TEST_F (EditorWindow, TheNoteDisplayTakesOverNotesAndClearsAfterSixQuietTicks)
{
    auto& p = make();
    OpenEditor open (p);
    auto& stage = p.getMidiBackend();
    auto& shown = *open.window.noteViewer->noteName;
    auto play = [&] (int note, int velocity) {
        stage.lastNoteNumber = note;
        stage.lastVelocity = velocity;
    };

    play (69, 100);
    open.ticks (1);
    EXPECT_EQ (shown, "A");
    play (69, 0);
    open.ticks (6);
    EXPECT_EQ (shown, "A") << "six quiet ticks keep the name";
    open.ticks (1);
    EXPECT_EQ (shown, "--") << "the seventh clears it";

    // A new note during the count takes over at once and restarts it.
    play (60, 90);
    open.ticks (1);
    play (60, 0);
    open.ticks (4);
    play (61, 90);
    open.ticks (1);
    EXPECT_EQ (shown, "C#");
    play (61, 0);
    open.ticks (6);
    EXPECT_EQ (shown, "C#");
    open.ticks (1);
    EXPECT_EQ (shown, "--");

    // The same pair again does not restart the count.
    play (64, 80);
    open.ticks (1);
    play (64, 0);
    open.ticks (4);
    play (64, 80);
    open.ticks (1);
    play (64, 0);
    open.ticks (2);
    EXPECT_EQ (shown, "E");
    open.ticks (1);
    EXPECT_EQ (shown, "--") << "cleared three ticks after its own note-off, not seven";

    // A note below 21 leaves the display and its memory alone.
    play (67, 80);
    open.ticks (1);
    play (20, 100);
    open.ticks (3);
    EXPECT_EQ (shown, "G");
    EXPECT_EQ (open.window.shownNote, 67);

    // The table: 21 is A, 24 C, 60 C, 127 G.
    for (const auto& [note, name] : { std::pair { 21, "A" }, { 24, "C" }, { 60, "C" }, { 127, "G" } })
        EXPECT_STREQ (MainWindow::noteNameTable[(std::size_t) (note - 21)], name);
}

TEST_F (EditorWindow, TwoInstancesPollIndependently)
{
    auto& a = make();
    auto b = std::make_unique<KaltoAudioProcessor>();
    OpenEditor first (a), second (*b);
    a.getMidiBackend().lastNoteNumber = 62;
    a.getMidiBackend().lastVelocity = 70;
    KaltoAudioProcessorProbe::peakLevel (*b) = 1.0f;
    first.ticks (1);
    second.ticks (1);
    EXPECT_EQ (*first.window.noteViewer->noteName, "D");
    EXPECT_EQ (*second.window.noteViewer->noteName, "--");
    EXPECT_EQ (first.window.peakCount, 0);
    EXPECT_EQ (second.window.peakCount, 1);
}

TEST_F (EditorWindow, ReopeningGivesTheStartStateAndKeepsTheProcessorsState)
{
    std::shared_ptr<PortLog> log = std::make_shared<PortLog>();
    auto& p = make();
    KaltoAudioProcessorProbe::replaceMidiStage (
        p, std::make_unique<MIDI_Backend> (std::make_unique<FakeMidiPortSystem> (log, juce::StringArray { "Synth" })));
    {
        OpenEditor open (p);
        pumpMessages();
        Mouse mouse (*open.editor);
        mouse.click (midiTabAt);
        pumpMessages();
        childNamed<juce::ComboBox> (open.window, "midiPortBox").setSelectedId (2, juce::sendNotificationSync);
        ASSERT_TRUE (p.getMidiBackend().hasOutputDevice());
        set (p.intParameter (kalto::velocityLimitIndex), 90.0f);
        KaltoAudioProcessorProbe::peakLevel (p) = 1.0f;
        open.ticks (30);
        mouse.click (stripCentreAt);
        mouse.click (yesAt);
        KaltoAudioProcessorProbe::setCurrentPresetName (p, "Vyn Defaults");
    }
    OpenEditor again (p);
    pumpMessages();
    expectStartState (again);
    EXPECT_TRUE (p.getMidiBackend().hasOutputDevice());
    EXPECT_EQ (p.intParameter (kalto::velocityLimitIndex)->get(), 90);
    auto& portBox = childNamed<juce::ComboBox> (again.window, "midiPortBox");
    EXPECT_EQ (portBox.getSelectedId(), 0);
    EXPECT_EQ (portBox.getTextWhenNothingSelected(), "Select port..");
}

TEST_F (EditorWindow, ScreenshotsOfEveryPage)
{
    auto& p = make();
    OpenEditor open (p);
    pumpMessages();
    Mouse mouse (*open.editor);
    savePng (snapshot (*open.editor), "editor-conversion");
    for (const auto& [at, name] :
         { std::pair { midiTabAt, "editor-midi" }, { synthTabAt, "editor-synth" }, { aboutTabAt, "editor-about" } })
    {
        mouse.click (at);
        pumpMessages();
        savePng (snapshot (*open.editor), name);
    }
    // The warning on the conversion page, a note shown.
    mouse.click (conversionTabAt);
    pumpMessages();
    p.getMidiBackend().lastNoteNumber = 64;
    p.getMidiBackend().lastVelocity = 90;
    open.ticks (1);
    open.window.peakWarning->setVisible (true);
    const auto image = snapshot (*open.editor);
    savePng (image, "editor-warning");
    EXPECT_EQ (*open.window.noteViewer->noteName, "E");
}
} // namespace
} // namespace kalto::test
