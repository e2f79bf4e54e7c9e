// The built plug-in's editor opened by kalto-host in a real X11 window, as a
// Linux host opens it: clicked through the X server while a recording plays,
// and checked by the pixels of its screenshots at the places the pages and
// widgets put things. Parts are compared with the same component drawn here,
// in this process, with the same typeface. Needs an X display; CTest runs it
// under xvfb-run.

#include "host/HostRun.h"

#include "editor/NoteViewer.h"
#include "editor/kalto_lookandfeel.h"
#include "editor/PresetSelector.h"
#include "editor/SynthPanel.h"
#include "processor/KaltoAudioProcessor.h"
#include "processor/PresetFiles.h"

#include <juce_graphics/juce_graphics.h>

namespace
{
// In the editor's coordinates.
const juce::Rectangle<int> conversionTab { 24, 16, 120, 64 }, midiTab { 152, 16, 88, 64 };
const juce::Rectangle<int> pageArea { 24, 96, 400, 280 };
const juce::Rectangle<int> noteViewerArea { 448, 176, 168, 199 };
const juce::Rectangle<int> dialogArea { 118, 84, 400, 250 };
const juce::String midiTabAt = "196,40", synthTabAt = "292,40", stripCentreAt = "532,120", stripNextAt = "610,120",
                   yesAt = "443,287", warningAt = "318,184";
const juce::Colour warningColour { 0xff303030 }, dialogColour { 0xff333333 };

juce::Image load (const juce::File& png)
{
    return juce::ImageFileFormat::loadFrom (png).convertedToFormat (juce::Image::ARGB);
}

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

    HostResult editor (juce::StringArray args)
    {
        args.insert (0, KALTO_PLUGIN_PATH);
        args.insert (0, "editor");
        const auto r = run (args, "HOME=" + home.getFullPathName().quoted ('\''));
        EXPECT_EQ (r.exitCode, 0) << r.err;
        return r;
    }

    juce::String shot (const juce::String& name, double at)
    {
        return dir.getChildFile (name + ".png").getFullPathName() + "@" + juce::String (at, 2);
    }

    juce::Image picture (const juce::String& name)
    {
        const auto file = dir.getChildFile (name + ".png");
        // Kept for a person to look at.
        file.copyFileTo (juce::File (KALTO_SNAPSHOT_DIR).getChildFile ("window-" + name + ".png"));
        return load (file);
    }

    juce::File home;
    std::shared_ptr<kalto_lookandfeel> lookAndFeel;
};

TEST_F (EditorEndToEnd, TabsAndTheNoteDisplayWhileAPhrasePlays)
{
    const auto phrase = juce::File (KALTO_PHRASE_DIR).getChildFile ("clean-electric-44100.wav");
    ASSERT_TRUE (phrase.existsAsFile()) << "phrases not rendered into " << KALTO_PHRASE_DIR;

    juce::StringArray args { "--play", phrase.getFullPathName(), "--seconds", "8.2", "--shot", shot ("start", 0.4),
                             "--click", midiTabAt + "@0.6", "--shot", shot ("midi", 0.9) };
    const double during[] = { 1.2, 1.6, 2.0, 2.4, 3.0, 4.5, 5.0, 5.4 };
    for (auto t : during)
        args.addArray ({ "--shot", shot ("during-" + juce::String (t, 1), t) });
    args.addArray ({ "--shot", shot ("after", 8.1) });
    editor (args);

    // Opened on the CONVERSION page, its tab drawn selected: a white block.
    const auto start = picture ("start");
    ASSERT_EQ (start.getBounds(), juce::Rectangle<int> (0, 0, 630, 390));
    EXPECT_EQ (start.getPixelAt (conversionTab.getX() + 2, conversionTab.getY() + 2), juce::Colours::white);
    EXPECT_EQ (start.getPixelAt (midiTab.getX() + 2, midiTab.getY() + 2), juce::Colours::black);

    // A click on the MIDI tab: its tab selected, the MIDI page with its captions.
    const auto midi = picture ("midi");
    EXPECT_EQ (midi.getPixelAt (midiTab.getX() + 2, midiTab.getY() + 2), juce::Colours::white);
    EXPECT_EQ (midi.getPixelAt (conversionTab.getX() + 2, conversionTab.getY() + 2), juce::Colours::black);
    {
        juce::Image caption (juce::Image::ARGB, 75, 27, true);
        juce::Graphics g (caption);
        g.fillAll (juce::Colours::black);
        g.setColour (juce::Colours::white);
        g.setFont (juce::Font ("Dense", 27.0f, juce::Font::plain));
        g.drawText ("AUTO TUNE", 0, 0, 75, 27, juce::Justification::centred, true);
        EXPECT_EQ (differing (midi, caption, pageArea.getPosition() + juce::Point<int> (0, 149)), 0);
    }

    // While the phrase plays the display shows note names; after it, "--".
    const auto none = noteViewerShowing ("--");
    int namesShown = 0;
    for (auto t : during)
    {
        const auto image = picture ("during-" + juce::String (t, 1));
        if (differing (image, none, noteViewerArea.getPosition()) == 0)
            continue;
        // A name: the caption and a big white name, as the viewer draws one.
        bool matchesAName = false;
        for (const auto* name : { "A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#" })
            matchesAName = matchesAName || differing (image, noteViewerShowing (name), noteViewerArea.getPosition()) == 0;
        EXPECT_TRUE (matchesAName) << "at " << t << " s";
        namesShown += matchesAName ? 1 : 0;
    }
    EXPECT_GE (namesShown, 5) << "of " << std::size (during) << " pictures while it played";
    juce::Rectangle<int> where;
    EXPECT_EQ (differing (picture ("after"), none, noteViewerArea.getPosition(), &where), 0) << where.toString();
}

TEST_F (EditorEndToEnd, AClippingInputShowsTheWarningUntilItIsClicked)
{
    // Full scale all the time: every 50 ms tick counts a peak.
    const auto clipping = dir.getChildFile ("clipping.wav");
    {
        juce::WavAudioFormat wav;
        auto stream = clipping.createOutputStream();
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), 44100.0, 1, 32, {}, 0));
        stream.release();
        juce::AudioBuffer<float> buffer (1, 44100 * 11);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (0, i, (i / 100) % 2 == 0 ? 1.0f : -1.0f);
        writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples());
    }
    // The warning is decided on the 134th tick: 6.7 s after the editor opens
    // at 50 ms a tick, about 8 s here, where the host's idle calls every 20 ms
    // deliver the timer's ticks about every 60 ms.
    editor ({ "--play", clipping.getFullPathName(), "--seconds", "10.6", "--shot", shot ("before", 6.0),
              "--shot", shot ("warning", 9.6), "--click", warningAt + "@9.8", "--shot", shot ("clicked", 10.3) });

    EXPECT_NE (picture ("before").getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3), warningColour);
    EXPECT_EQ (picture ("warning").getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3), warningColour);
    EXPECT_EQ (picture ("warning").getPixelAt (dialogArea.getRight() - 3, dialogArea.getBottom() - 3), warningColour);
    EXPECT_NE (picture ("clicked").getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3), warningColour);
}

TEST_F (EditorEndToEnd, SavingAndBrowsingPresets)
{
    // Before the run: a second preset in the user's folder, with the Cello.
    {
        const HomeFolder inRunsHome (home);
        KaltoAudioProcessor p;
        p.synthSoundParam->setValueNotifyingHost (p.synthSoundParam->convertTo0to1 (1.0f));
        *p.currentPresetName = "Another";
        p.savePreset();
    }
    const auto defaults = home.getChildFile ("Music/Kalto/Vyn Defaults.kalto_vyn");
    juce::MemoryBlock before, after;
    ASSERT_TRUE (defaults.loadFileAsData (before));

    // Transpose set by the host to 7, then saved over the current preset with
    // YES; then the SYNTH page, and two steps with the strip's right arrow.
    editor ({ "--set", "19=0.6", "--click", stripCentreAt + "@0.5", "--shot", shot ("dialog", 0.8), "--click",
              yesAt + "@1.0", "--shot", shot ("saved", 1.3), "--click", synthTabAt + "@1.5", "--click",
              stripNextAt + "@2.0", "--shot", shot ("step-1", 2.5), "--click", stripNextAt + "@2.8", "--shot",
              shot ("step-2", 3.3) });

    EXPECT_EQ (picture ("dialog").getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3), dialogColour);
    EXPECT_NE (picture ("saved").getPixelAt (dialogArea.getX() + 3, dialogArea.getY() + 3), dialogColour);
    ASSERT_TRUE (defaults.loadFileAsData (after));
    EXPECT_NE (after, before) << "YES rewrote the preset file";
    {
        const HomeFolder inRunsHome (home);
        KaltoAudioProcessor p; // loads "Vyn Defaults"
        EXPECT_EQ (p.transposeParam->get(), 7);
    }

    // With two files the steps alternate between them: one shows "Another"
    // with the Cello on the SYNTH page, the other "Vyn Defaults" with the Piano.
    KaltoAudioProcessor p;
    PresetSelector strip (nullptr, &p);
    strip.setSize (184, 48);
    SynthPanel page (p);
    page.setSize (pageArea.getWidth(), pageArea.getHeight());
    auto shows = [&] (const juce::Image& image, const juce::String& name, int sound) {
        strip.displayedName = name;
        p.synthSoundParam->setValueNotifyingHost (p.synthSoundParam->convertTo0to1 ((float) sound));
        page.refresh();
        return differing (image, drawnHere (strip), { 440, 96 }) == 0
            && differing (image, drawnHere (page), pageArea.getPosition()) == 0;
    };
    const auto one = picture ("step-1"), two = picture ("step-2");
    EXPECT_TRUE ((shows (one, "Another", 1) && shows (two, "Vyn Defaults", 2))
                 || (shows (one, "Vyn Defaults", 2) && shows (two, "Another", 1)));
}
} // namespace
