// The built plug-in's editor opened by kalto-host in a real X11 window, as a
// Linux host opens it: clicked through the X server while a recording plays,
// and checked by the pixels of its screenshots at the places the pages and
// widgets put things. Parts are compared with the same component drawn here,
// in this process, with the same typeface. Needs an X display; CTest runs it
// under xvfb-run.

#include "host/EditorSession.h"
#include "host/HostRun.h"

#include "editor/NoteViewer.h"
#include "editor/kalto_lookandfeel.h"
#include "editor/PresetSelector.h"
#include "editor/SynthPanel.h"
#include "processor/KaltoAudioProcessor.h"

#include <juce_graphics/juce_graphics.h>

namespace
{
// In the editor's coordinates.
const juce::Rectangle<int> conversionTab { 24, 16, 120, 64 }, midiTab { 152, 16, 88, 64 };
const juce::Rectangle<int> pageArea { 24, 96, 400, 280 };
const juce::Rectangle<int> noteViewerArea { 448, 176, 168, 199 };
const juce::Rectangle<int> dialogArea { 118, 84, 400, 250 };
const juce::Point<int> midiTabAt { 196, 40 }, synthTabAt { 292, 40 }, stripCentreAt { 532, 120 },
    stripNextAt { 610, 120 }, yesAt { 443, 287 }, warningAt { 318, 184 };
const juce::Colour warningColour { 0xff303030 }, dialogColour { 0xff333333 };

// Pixels of an area of the screenshot that differ from `expected`, drawn at
// the area's top left; `where` gets the rectangle around them.
int differing (const juce::Image& shot, const juce::Image& expected, juce::Point<int> at,
               juce::Rectangle<int>* where = nullptr)
{
    int n = 0;
    juce::Rectangle<int> around;
    for (int y = 0; y < expected.getHeight(); ++y)
        for (int x = 0; x < expected.getWidth(); ++x)
            if (shot.getPixelAt (at.x + x, at.y + y) != expected.getPixelAt (x, y))
            {
                around = n++ == 0 ? juce::Rectangle<int> (x, y, 1, 1) : around.getUnion ({ x, y, 1, 1 });
            }
    if (where != nullptr)
        *where = around;
    return n;
}

// A component as the editor shows it over its black.
juce::Image drawnHere (juce::Component& c)
{
    juce::Image image (juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
    juce::Graphics g (image);
    g.fillAll (juce::Colours::black);
    c.paintEntireComponent (g, false);
    return image;
}

juce::Image noteViewerShowing (const juce::String& name)
{
    NoteViewer viewer;
    viewer.setSize (noteViewerArea.getWidth(), noteViewerArea.getHeight());
    *viewer.noteName = name;
    return drawnHere (viewer);
}

// The plug-in keeps its presets below $HOME, read afresh each time.
struct HomeFolder
{
    explicit HomeFolder (const juce::File& folder) : previous (std::getenv ("HOME"))
    {
        setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1);
    }
    ~HomeFolder() { setenv ("HOME", previous.toRawUTF8(), 1); }
    juce::String previous;
};

class EditorEndToEnd : public HostRun
{
protected:
    void SetUp() override
    {
        HostRun::SetUp();
        if (std::getenv ("DISPLAY") == nullptr)
            GTEST_SKIP() << "needs an X display: CTest runs these under xvfb-run";
        // The references drawn here use the plug-in's typeface, as its editor does.
        lookAndFeel = kalto_lookandfeel::acquireShared();
        home = dir.getChildFile ("home");
        ASSERT_TRUE (home.createDirectory());
    }

    // Our editor opened by kalto-host, with its presets in the test's home.
    std::unique_ptr<EditorSession> editor (const juce::StringArray& args)
    {
        return std::make_unique<EditorSession> (dir, KALTO_PLUGIN_PATH, args,
                                                juce::StringArray { "HOME=" + home.getFullPathName() });
    }

    static void expectCleanExit (EditorSession& host)
    {
        const auto r = host.finish();
        EXPECT_EQ (r.exitCode, 0) << r.err;
    }

    juce::File home;
    std::shared_ptr<kalto_lookandfeel> lookAndFeel;
};

bool tabSelected (const Shot& s, juce::Rectangle<int> tab)
{
    return s.image.getPixelAt (tab.getX() + 2, tab.getY() + 2) == juce::Colours::white;
}

bool showsWarning (const Shot& s)
{
    return s.image.getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3) == warningColour
           && s.image.getPixelAt (dialogArea.getRight() - 3, dialogArea.getBottom() - 3) == warningColour;
}

bool showsDialog (const Shot& s)
{
    return s.image.getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3) == dialogColour;
}

TEST_F (EditorEndToEnd, TabsAndTheNoteDisplayWhileAPhrasePlays)
{
    const auto phrase = juce::File (KALTO_PHRASE_DIR).getChildFile ("clean-electric-44100.wav");
    ASSERT_TRUE (phrase.existsAsFile()) << "phrases not rendered into " << KALTO_PHRASE_DIR;
    auto host = editor ({ "--play", phrase.getFullPathName() });

    // Opened on the CONVERSION page, its tab drawn selected: a white block.
    const auto start = host->shot();
    EditorSession::keep (start, "window-start");
    ASSERT_TRUE (start) << host->why();
    ASSERT_EQ (start->image.getBounds(), juce::Rectangle<int> (0, 0, 630, 390));
    EXPECT_TRUE (tabSelected (*start, conversionTab));
    EXPECT_FALSE (tabSelected (*start, midiTab));

    // A click on the MIDI tab: its tab selected, the MIDI page with its captions.
    ASSERT_TRUE (host->click (midiTabAt)) << host->why();
    const auto midi = host->shotUntil ([] (const Shot& s) { return tabSelected (s, midiTab); });
    EditorSession::keep (midi, "window-midi");
    ASSERT_TRUE (midi) << "the MIDI tab was not selected: " << host->why();
    EXPECT_FALSE (tabSelected (*midi, conversionTab));
    {
        juce::Image caption (juce::Image::ARGB, 75, 27, true);
        juce::Graphics g (caption);
        g.fillAll (juce::Colours::black);
        g.setColour (juce::Colours::white);
        g.setFont (juce::Font ("Dense", 27.0f, juce::Font::plain));
        g.drawText ("AUTO TUNE", 0, 0, 75, 27, juce::Justification::centred, true);
        EXPECT_EQ (differing (midi->image, caption, pageArea.getPosition() + juce::Point<int> (0, 149)), 0);
    }

    // While the phrase plays the display follows it: note names, seen a
    // second apart at least, and only names or "--"; after it, "--". Its
    // last note ends at 5.65 s, the file at 6.7 s.
    const auto none = noteViewerShowing ("--");
    const auto showsAName = [] (const Shot& s) {
        for (const auto* name : { "A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#" })
            if (differing (s.image, noteViewerShowing (name), noteViewerArea.getPosition()) == 0)
                return true;
        return false;
    };
    std::optional<Shot> named;
    double lastName = 0.0;
    const auto played = host->shotUntil (
        [&] (const Shot& s) {
            if (showsAName (s))
            {
                if (! named)
                    named = s;
                lastName = s.time;
            }
            else
                EXPECT_EQ (differing (s.image, none, noteViewerArea.getPosition()), 0)
                    << "neither a name nor -- at " << s.time << " s";
            return s.time >= 5.4;
        },
        {}, 6.7);
    EditorSession::keep (named, "window-playing");
    ASSERT_TRUE (played) << host->why();
    ASSERT_TRUE (named) << "no note name while the phrase played";
    EXPECT_GE (lastName - named->time, 1.0) << "names only from " << named->time << " to " << lastName << " s";

    const auto after = host->shotUntil (
        [&] (const Shot& s) { return differing (s.image, none, noteViewerArea.getPosition()) == 0; }, 6.7);
    EditorSession::keep (after, "window-after");
    EXPECT_TRUE (after) << "the display did not clear after the phrase: " << host->why();
    expectCleanExit (*host);
}

TEST_F (EditorEndToEnd, AClippingInputShowsTheWarningUntilItIsClicked)
{
    // Full scale all the time: every 50 ms tick counts a peak, and the
    // warning shows at the first decision, on the window's 134th tick. The
    // recording lasts long enough for a slow machine to get there.
    const auto clipping = dir.getChildFile ("clipping.wav");
    {
        juce::WavAudioFormat wav;
        auto stream = clipping.createOutputStream();
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), 44100.0, 1, 32, {}, 0));
        stream.release();
        juce::AudioBuffer<float> buffer (1, 44100 * 60);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (0, i, (i / 100) % 2 == 0 ? 1.0f : -1.0f);
        writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples());
    }
    auto host = editor ({ "--play", clipping.getFullPathName() });

    // Before anything was heard, no warning.
    const auto before = host->shot();
    ASSERT_TRUE (before) << host->why();
    EXPECT_FALSE (showsWarning (*before));

    const auto warning = host->shotUntil (showsWarning);
    EditorSession::keep (warning, "window-warning");
    ASSERT_TRUE (warning) << "the warning never showed: " << host->why();

    ASSERT_TRUE (host->click (warningAt)) << host->why();
    const auto clicked = host->shotUntil ([] (const Shot& s) { return ! showsWarning (s); });
    EditorSession::keep (clicked, "window-clicked");
    EXPECT_TRUE (clicked) << "the click did not take the warning away: " << host->why();
    expectCleanExit (*host);
}

TEST_F (EditorEndToEnd, SavingAndBrowsingPresets)
{
    // Before the run: a second preset in the user's folder, with the Cello.
    juce::Array<juce::File> listed;
    {
        const HomeFolder inRunsHome (home);
        KaltoAudioProcessor p;
        p.intParameter (kalto::synthSoundIndex)
            ->setValueNotifyingHost (p.intParameter (kalto::synthSoundIndex)->convertTo0to1 (1.0f));
        p.savePresetAs ("Another");
        // The strip steps through the files in the order the folder lists them.
        listed = PresetSelector (nullptr, &p).presetFiles;
    }
    ASSERT_EQ (listed.size(), 2);
    const auto defaults = home.getChildFile ("Music/Kalto/Vyn Defaults.kalto_vyn");
    juce::MemoryBlock before, after;
    ASSERT_TRUE (defaults.loadFileAsData (before));

    // What a screenshot shows of the strip and the SYNTH page after a preset
    // load, drawn here: "Another" has the Cello, "Vyn Defaults" the Piano.
    KaltoAudioProcessor p;
    PresetSelector strip (nullptr, &p);
    strip.setSize (184, 48);
    SynthPanel page (p);
    page.setSize (pageArea.getWidth(), pageArea.getHeight());
    auto shows = [&] (const juce::String& name) {
        return [&, name] (const Shot& s) {
            strip.displayedName = name;
            const float sound = name == "Another" ? 1.0f : 2.0f;
            p.intParameter (kalto::synthSoundIndex)
                ->setValueNotifyingHost (p.intParameter (kalto::synthSoundIndex)->convertTo0to1 (sound));
            page.refresh();
            return differing (s.image, drawnHere (strip), { 440, 96 }) == 0
                   && differing (s.image, drawnHere (page), pageArea.getPosition()) == 0;
        };
    };

    // Transpose set by the host to 7, then saved over the current preset with YES.
    auto host = editor ({ "--set", "19=0.6" });
    ASSERT_TRUE (host->click (stripCentreAt)) << host->why();
    const auto dialog = host->shotUntil (showsDialog);
    EditorSession::keep (dialog, "window-dialog");
    ASSERT_TRUE (dialog) << "the save dialog did not open: " << host->why();
    ASSERT_TRUE (host->click (yesAt)) << host->why();
    const auto saved = host->shotUntil ([] (const Shot& s) { return ! showsDialog (s); });
    ASSERT_TRUE (saved) << "YES did not close the dialog: " << host->why();
    ASSERT_TRUE (defaults.loadFileAsData (after));
    EXPECT_NE (after, before) << "YES rewrote the preset file";

    // The SYNTH page, then two steps with the strip's right arrow: each loads
    // the next file, and the strip and the page show it.
    ASSERT_TRUE (host->click (synthTabAt)) << host->why();
    EXPECT_TRUE (host->shotUntil (shows ("Vyn Defaults"))) << "the SYNTH page did not show: " << host->why();
    for (const int index : { 1, 0 })
    {
        const auto name = listed[index].getFileNameWithoutExtension();
        ASSERT_TRUE (host->click (stripNextAt)) << host->why();
        const auto stepped = host->shotUntil (shows (name));
        EditorSession::keep (stepped, "window-step-" + name.replaceCharacter (' ', '-'));
        EXPECT_TRUE (stepped) << "a step did not load " << name << ": " << host->why();
    }
    expectCleanExit (*host);

    const HomeFolder inRunsHome (home);
    KaltoAudioProcessor reloaded; // loads "Vyn Defaults"
    EXPECT_EQ (reloaded.intParameter (kalto::transposeIndex)->get(), 7);
}
} // namespace
