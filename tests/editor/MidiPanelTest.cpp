// The MIDI page on a real processor with fake external ports: what it shows of
// the parameters, what it writes back and what of that the host hears, the
// port choice that goes straight to the MIDI stage, knobs turned by a drag,
// and the pixels it draws.

#include "tests/editor/EditorFixture.h"
#include "tests/engine/FakeMidiPorts.h"
#include "tests/processor/ProcessorFixture.h"
#include "tests/processor/ProcessorProbe.h"

#include "editor/EditorColours.h"
#include "editor/MidiPanel.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace kalto::test
{
namespace
{
const juce::StringArray devices { "Synth A", "Synth B", "Broken" };

// The page over the editor's black, as the main window shows it, with its
// controls found by their component names.
struct Page : PageOnBlack<MidiPanel>
{
    using PageOnBlack::PageOnBlack;

    juce::ComboBox& box (const juce::String& name) { return childNamed<juce::ComboBox> (panel, name); }
    juce::Slider& knob (const juce::String& name) { return childNamed<juce::Slider> (panel, name); }
    juce::Slider& chord (int i) { return knob ("chordSlider" + juce::String (i)); }
    juce::ComboBox& key() { return box ("autoTuneKeyBox"); }
    juce::ComboBox& mode() { return box ("autoTuneModeBox"); }
    juce::ComboBox& channel() { return box ("channelSelectBox"); }
    juce::ComboBox& port() { return box ("midiPortBox"); }

    // A user's pick: the pop-up selects with an asynchronous notification.
    static void pick (juce::ComboBox& b, int id)
    {
        b.setSelectedId (id, juce::sendNotificationAsync);
        pumpMessages();
    }
};

// Sees every repaint request that reaches the page, installed as its cached
// image: the framework hands repaint() of the whole page to invalidateAll()
// and an area a child asks for to invalidate(). The page draws as usual. (The
// headless peer never paints, so counting paint() calls would see nothing,
// and a fresh snapshot is drawn whether or not anyone asked for a repaint.)
struct RepaintProbe : juce::CachedComponentImage
{
    struct Counts
    {
        int whole = 0, parts = 0;
    };

    RepaintProbe (juce::Component& c, Counts& n) : component (c), counts (n) {}
    void paint (juce::Graphics& g) override { component.paintEntireComponent (g, false); }
    bool invalidateAll() override { return ++counts.whole > 0; }
    bool invalidate (const juce::Rectangle<int>&) override { return ++counts.parts > 0; }
    void releaseResources() override {}

    juce::Component& component;
    Counts& counts;
};

bool isWhite (juce::Colour c)
{
    return c.getRed() > 200 && c.getGreen() > 200 && c.getBlue() > 200;
}

struct Text
{
    juce::String text;
    float height;
    juce::Rectangle<int> box;
};

// White text in "Dense" on black: where the page's texts must land.
juce::Image textImage (juce::Rectangle<int> size, const std::vector<Text>& texts)
{
    juce::Image image (juce::Image::ARGB, size.getWidth(), size.getHeight(), true);
    juce::Graphics g (image);
    g.fillAll (colours::black);
    g.setColour (colours::white);
    for (const auto& t : texts)
    {
        g.setFont (juce::Font ("Dense", t.height, juce::Font::plain));
        g.drawText (t.text, t.box, juce::Justification::centred, true);
    }
    return image;
}

int whiteDifferences (const juce::Image& drawn, const juce::Image& expected, juce::Rectangle<int> area)
{
    int differing = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            differing += isWhite (drawn.getPixelAt (x, y)) != isWhite (expected.getPixelAt (x, y)) ? 1 : 0;
    return differing;
}

class MidiPage : public ProcessorTest
{
protected:
    // A processor whose MIDI stage sees the fake devices; "Broken" cannot be opened.
    KaltoAudioProcessor& makeWithPorts (const juce::StringArray& names = devices)
    {
        auto& p = make();
        log = std::make_shared<PortLog>();
        KaltoAudioProcessorProbe::replaceMidiStage (
            p, std::make_unique<MIDI_Backend> (
                   std::make_unique<FakeMidiPortSystem> (log, names, juce::StringArray { "Broken" })));
        return p;
    }

    std::shared_ptr<PortLog> log;
    InstalledLookAndFeel installed;
};

TEST_F (MidiPage, ADefaultPageShowsTheDefaultsAndTheHostHearsNothing)
{
    {
        auto& p = makeWithPorts();
        HostChanges host (p);
        Page page (p);

        EXPECT_EQ (page.key().getText(), "C");
        EXPECT_EQ (page.mode().getText(), "Chromatic");
        EXPECT_EQ (page.channel().getText(), "Ch. 1");
        EXPECT_EQ (page.port().getSelectedId(), 0);
        EXPECT_EQ (page.port().getText(), "");
        EXPECT_EQ (page.port().getTextWhenNothingSelected(), "Select port..");
        for (int i = 0; i < 5; ++i)
        {
            EXPECT_EQ (page.chord (i).getValue(), 0.0) << i;
            EXPECT_TRUE (page.chord (i).isEnabled()) << i;
        }
        EXPECT_EQ (page.knob ("VELOCITY LIMIT").getValue(), 127.0);
        EXPECT_EQ (page.knob ("PB RANGE").getValue(), 2.0);
        EXPECT_EQ (page.knob ("TRANSPOSE").getValue(), 0.0);

        // The port box lists the stage's names after "No Output", and opens none.
        ASSERT_EQ (page.port().getNumItems(), 4);
        const juce::StringArray items { "No Output", "Synth A", "Synth B", "Broken" };
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ (page.port().getItemText (i), items[i]);
            EXPECT_EQ (page.port().getItemId (i), i + 1);
        }

        pumpMessages();
        EXPECT_EQ (host.count(), 0) << "every value written back equals the stored one";
        EXPECT_TRUE (log->opened.empty());
        EXPECT_FALSE (p.getMidiBackend().hasOutputDevice());
    }

    // No output devices at all: only "No Output".
    auto& bare = makeWithPorts ({});
    Page empty (bare);
    ASSERT_EQ (empty.port().getNumItems(), 1);
    EXPECT_EQ (empty.port().getItemText (0), "No Output");
}

TEST_F (MidiPage, PicksInTheBoxesWriteTheirParameterOnce)
{
    const struct
    {
        const char* box;
        int id;
        int index;
        const char* shown;
    } cases[] = {
        { "autoTuneKeyBox", 9, keyIndex, "G" },          { "autoTuneKeyBox", 13, keyIndex, "B" },
        { "autoTuneModeBox", 7, modeIndex, "Minor" },    { "autoTuneModeBox", 8, modeIndex, "Locrian" },
        { "channelSelectBox", 16, portIndex, "Ch. 16" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.box) + " " + juce::String (c.id));
        auto& p = makeWithPorts();
        Page page (p);
        pumpMessages();
        HostChanges host (p);

        Page::pick (page.box (c.box), c.id);
        EXPECT_EQ (page.box (c.box).getText(), c.shown);
        auto* parameter = dynamic_cast<juce::AudioParameterInt*> (p.getParameters()[c.index]);
        ASSERT_NE (parameter, nullptr);
        EXPECT_EQ (parameter->get(), c.id);
        EXPECT_EQ (host.count (c.index), 1);
        EXPECT_EQ (host.count(), 1) << "no other parameter is touched";
    }
}

TEST_F (MidiPage, KeyOffDisablesTheHarmonyKnobsAndKeepsTheirValues)
{
    auto& p = makeWithPorts();
    const int harmony[] = { -12, -5, 0, 7, 36 };
    for (int i = 0; i < 5; ++i)
        set (p.intParameter (kalto::chord0Index + i), (float) harmony[i]);
    Page page (p);
    pumpMessages();
    HostChanges host (p);

    const auto expectHarmony = [&] (bool enabled) {
        for (int i = 0; i < 5; ++i)
        {
            EXPECT_EQ (page.chord (i).isEnabled(), enabled) << i;
            EXPECT_EQ (page.chord (i).getValue(), harmony[i]) << i;
            EXPECT_EQ (p.intParameter (kalto::chord0Index + i)->get(), harmony[i]) << i;
        }
    };

    Page::pick (page.key(), 1);
    EXPECT_EQ (page.key().getText(), "Off");
    EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 1);
    expectHarmony (false);

    Page::pick (page.key(), 6);
    EXPECT_EQ (p.intParameter (kalto::keyIndex)->get(), 6);
    expectHarmony (true);
    EXPECT_EQ (host.count (keyIndex), 2);
    EXPECT_EQ (host.count(), 2) << "the harmony parameters are never written";

    // "Off" from the host: a refresh disables the knobs at once, before the
    // notification of the new selection has run.
    set (p.intParameter (kalto::keyIndex), 1.0f);
    host.clear();
    page.panel.refresh();
    expectHarmony (false);
    pumpMessages();
    EXPECT_EQ (host.count(), 0);
}

TEST_F (MidiPage, ThePortBoxOpensTheChosenDeviceAndStoresNothing)
{
    auto& p = makeWithPorts();
    Page page (p);
    pumpMessages();
    HostChanges host (p);
    auto& stage = p.getMidiBackend();

    // The first device: index 0.
    Page::pick (page.port(), 2);
    ASSERT_EQ (log->opened.size(), 1u);
    EXPECT_EQ (log->opened.back(), "id-Synth A");
    EXPECT_TRUE (stage.hasOutputDevice());

    // The second device: the first is closed before it opens.
    Page::pick (page.port(), 3);
    ASSERT_EQ (log->opened.size(), 2u);
    EXPECT_EQ (log->opened.back(), "id-Synth B");
    EXPECT_EQ (log->openPorts.load(), 1);

    // "No Output": index -1 closes the port and opens none.
    Page::pick (page.port(), 1);
    EXPECT_EQ (log->opened.size(), 2u);
    EXPECT_EQ (log->openPorts.load(), 0);
    EXPECT_FALSE (stage.hasOutputDevice());

    // A device that cannot be opened: the box shows it, the stage has no port.
    Page::pick (page.port(), 4);
    EXPECT_EQ (log->opened.back(), "id-Broken");
    EXPECT_EQ (page.port().getText(), "Broken");
    EXPECT_FALSE (stage.hasOutputDevice());

    EXPECT_EQ (host.count(), 0) << "no parameter holds the port";
}

TEST_F (MidiPage, ThePitchBendRangeIsSnappedToTheHundredthAndWrittenBackOnlyWhenItMoved)
{
    const struct
    {
        const char* name;
        float stored;
        double shown;
        float written;
        int changes;
    } cases[] = {
        { "on the grid", 1.5f, 1.5, 1.5f, 0 },
        { "the maximum", 2.0f, 2.0, 2.0f, 0 },
        { "off the grid, snapped down", 1.234f, 1.23, 1.23f, 1 },
        { "off the grid, snapped up", 0.006f, 0.01, 0.01f, 1 },
        // The knob already sits at 0, so loading does not move it and nothing is written.
        { "off the grid at the knob's start", 0.004f, 0.0, 0.004f, 0 },
        // No value at all: shown at the knob's start, and left as it is.
        { "not a number", std::numeric_limits<float>::quiet_NaN(), 0.0, std::numeric_limits<float>::quiet_NaN(), 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = makeWithPorts();
        set (p.floatParameter (kalto::pitchBendRangeIndex), c.stored);
        HostChanges host (p);

        Page page (p);
        EXPECT_DOUBLE_EQ (page.knob ("PB RANGE").getValue(), c.shown);
        EXPECT_EQ (host.count(), 0) << "nothing is written before the messages run";
        pumpMessages();
        if (std::isnan (c.written))
            EXPECT_TRUE (std::isnan (p.floatParameter (kalto::pitchBendRangeIndex)->get()));
        else
            EXPECT_NEAR (p.floatParameter (kalto::pitchBendRangeIndex)->get(), c.written, 1.0e-6f);
        EXPECT_EQ (host.count (pitchBendRangeIndex), c.changes);
        EXPECT_EQ (host.count(), c.changes);

        // What was written back shows unchanged and is not written again.
        host.clear();
        page.panel.refresh();
        pumpMessages();
        EXPECT_DOUBLE_EQ (page.knob ("PB RANGE").getValue(), c.shown);
        EXPECT_EQ (host.count(), 0);
    }
}

TEST_F (MidiPage, AValueWithoutAnItemShowsTheEmptyTextAndStoresZero)
{
    const struct
    {
        const char* name;
        int index;
        const char* box;
        int value;
        bool loadedByRefresh; // else by building the page
        const char* nothingSelectedText;
        int changes;
    } cases[] = {
        // A new box already selects nothing: loading 0 changes nothing.
        { "key 0", keyIndex, "autoTuneKeyBox", 0, false, "", 0 },
        { "key 0 over C", keyIndex, "autoTuneKeyBox", 0, true, "", 0 },
        { "key past B", keyIndex, "autoTuneKeyBox", 14, false, "", 1 },
        { "key 100", keyIndex, "autoTuneKeyBox", 100, true, "", 1 },
        { "mode 0", modeIndex, "autoTuneModeBox", 0, false, "", 0 },
        { "mode past Locrian", modeIndex, "autoTuneModeBox", 9, true, "", 1 },
        { "channel 0", portIndex, "channelSelectBox", 0, false, "Select channel..", 0 },
        { "channel 17", portIndex, "channelSelectBox", 17, false, "Select channel..", 1 },
        { "channel 100 over Ch. 1", portIndex, "channelSelectBox", 100, true, "Select channel..", 1 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = makeWithPorts();
        auto* parameter = dynamic_cast<juce::AudioParameterInt*> (p.getParameters()[c.index]);
        ASSERT_NE (parameter, nullptr);
        if (! c.loadedByRefresh)
            set (parameter, (float) c.value);
        HostChanges host (p);
        Page page (p);
        pumpMessages();
        if (c.loadedByRefresh)
        {
            set (parameter, (float) c.value);
            host.clear();
            page.panel.refresh();
            pumpMessages();
        }

        auto& box = page.box (c.box);
        EXPECT_EQ (box.getSelectedId(), 0);
        EXPECT_EQ (box.getText(), "");
        EXPECT_EQ (box.getTextWhenNothingSelected(), c.nothingSelectedText);
        EXPECT_EQ (parameter->get(), 0);
        EXPECT_EQ (host.count (c.index), c.changes);
        EXPECT_EQ (host.count(), c.changes);
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE (page.chord (i).isEnabled()) << "only \"Off\" disables the harmony";

        // The nothing-selected text is drawn in the box's text area, dimmed.
        const auto image = snapshot (page);
        const auto textArea = box.getBounds().withWidth (box.getWidth() / 2).reduced (2);
        const int drawn = count (image, textArea, [] (juce::Colour px) { return ! near (colours::darkGrey, 4) (px); });
        if (juce::String (c.nothingSelectedText).isEmpty())
            EXPECT_EQ (drawn, 0);
        else
            EXPECT_GT (drawn, 30);
    }
}

TEST_F (MidiPage, AVelocityLimitOfZeroShowsAsOne)
{
    const struct
    {
        const char* name;
        bool loadedByRefresh;
        int stored;
        int changes;
    } cases[] = {
        // The knob's range puts a new knob at its minimum 1 before it is
        // loaded, so showing 1 does not move it and nothing is written.
        { "on a new page", false, 0, 0 },
        { "by a refresh from 127", true, 1, 1 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = makeWithPorts();
        if (! c.loadedByRefresh)
            set (p.intParameter (kalto::velocityLimitIndex), 0.0f);
        HostChanges host (p);
        Page page (p);
        pumpMessages();
        if (c.loadedByRefresh)
        {
            set (p.intParameter (kalto::velocityLimitIndex), 0.0f);
            host.clear();
            page.panel.refresh();
            pumpMessages();
        }
        EXPECT_EQ (page.knob ("VELOCITY LIMIT").getValue(), 1.0);
        EXPECT_EQ (p.intParameter (kalto::velocityLimitIndex)->get(), c.stored);
        EXPECT_EQ (host.count (velocityLimitIndex), c.changes);
        EXPECT_EQ (host.count(), c.changes);
    }
}

TEST_F (MidiPage, ARefreshShowsTheParametersAndLeavesThePortAlone)
{
    auto& p = makeWithPorts();
    Page page (p);
    pumpMessages();
    Page::pick (page.port(), 3);
    ASSERT_TRUE (p.getMidiBackend().hasOutputDevice());

    // A preset browse step, as the host sees it.
    set (p.intParameter (kalto::keyIndex), 5.0f);
    set (p.intParameter (kalto::modeIndex), 2.0f);
    set (p.intParameter (kalto::portIndex), 10.0f);
    set (p.intParameter (kalto::chord0Index + 2), 4.0f);
    set (p.intParameter (kalto::velocityLimitIndex), 90.0f);
    set (p.floatParameter (kalto::pitchBendRangeIndex), 1.5f);
    set (p.intParameter (kalto::transposeIndex), -7.0f);
    HostChanges host (p);
    RepaintProbe::Counts repaints;
    page.panel.setCachedComponentImage (new RepaintProbe (page.panel, repaints));
    repaints = {}; // installing it repaints the page
    page.panel.refresh();
    EXPECT_EQ (repaints.whole, 1) << "the page repaints as a whole";
    pumpMessages();

    EXPECT_EQ (page.key().getText(), "D#");
    EXPECT_EQ (page.mode().getText(), "Major");
    EXPECT_EQ (page.channel().getText(), "Ch. 10");
    EXPECT_EQ (page.chord (2).getValue(), 4.0);
    EXPECT_EQ (page.knob ("VELOCITY LIMIT").getValue(), 90.0);
    EXPECT_EQ (page.knob ("PB RANGE").getValue(), 1.5);
    EXPECT_EQ (page.knob ("TRANSPOSE").getValue(), -7.0);
    EXPECT_EQ (host.count(), 0) << "the values written back are the ones just loaded";

    EXPECT_EQ (page.port().getSelectedId(), 3);
    EXPECT_EQ (page.port().getText(), "Synth B");
    EXPECT_EQ (log->opened.size(), 1u) << "the port is not opened again";
    EXPECT_EQ (log->openPorts.load(), 1);
    EXPECT_TRUE (p.getMidiBackend().hasOutputDevice());
}

TEST_F (MidiPage, DraggingAKnobWritesItsParameterAndRepaintsThePage)
{
    const struct
    {
        const char* knob;
        float dy;     // upwards is negative; 250 pixels cover the whole range
        int keyId;    // 1 switches auto-tune and the harmony knobs off
        double value; // the knob's value afterwards
        int index;
        int changes;
    } cases[] = {
        { "TRANSPOSE", -50.0f, 2, 14.0, transposeIndex, 1 },
        { "PB RANGE", 50.0f, 2, 1.6, pitchBendRangeIndex, 1 },
        { "VELOCITY LIMIT", 50.0f, 2, 102.0, velocityLimitIndex, 1 },
        { "chordSlider3", -25.0f, 2, 7.0, chord0Index + 3, 1 },
        { "chordSlider1", -50.0f, 1, 0.0, chord0Index + 1, 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.knob);
        auto& p = makeWithPorts();
        set (p.intParameter (kalto::keyIndex), (float) c.keyId);
        Page page (p);
        pumpMessages();
        Mouse mouse (page);
        HostChanges host (p);
        RepaintProbe::Counts repaints;
        page.panel.setCachedComponentImage (new RepaintProbe (page.panel, repaints));
        repaints = {}; // installing it repaints the page

        auto& knob = page.knob (c.knob);
        const auto start = knob.getBounds().getCentre().toFloat();
        mouse.press (start);
        mouse.dragTo (start + juce::Point<float> (0.0f, c.dy));
        mouse.release (start + juce::Point<float> (0.0f, c.dy));
        pumpMessages();

        EXPECT_DOUBLE_EQ (knob.getValue(), c.value);
        auto* parameter = p.getParameters()[c.index];
        EXPECT_NEAR (dynamic_cast<juce::RangedAudioParameter*> (parameter)->convertFrom0to1 (parameter->getValue()),
                     c.value, 1.0e-6);
        EXPECT_EQ (host.count (c.index), c.changes);
        EXPECT_EQ (host.count(), c.changes);
        EXPECT_EQ (repaints.whole, c.changes) << "the page repaints once for each value the knob takes";
        if (c.changes > 0)
        {
            EXPECT_GT (repaints.parts, 0) << "the knob redraws itself as well";
        }

        const auto image = snapshot (page);
        EXPECT_GT (count (image, knob.getBounds(), isWhite), 0) << "the probe still lets the page draw";
        page.panel.setCachedComponentImage (nullptr);
    }
}

TEST_F (MidiPage, TheCaptionsAndKnobTextsLandWhereTheyBelong)
{
    auto& p = makeWithPorts();
    const int harmony[] = { -12, -5, 0, 7, 36 };
    for (int i = 0; i < 5; ++i)
        set (p.intParameter (kalto::chord0Index + i), (float) harmony[i]);
    set (p.floatParameter (kalto::pitchBendRangeIndex), 1.5f);
    set (p.intParameter (kalto::transposeIndex), -3.0f);
    Page page (p);
    pumpMessages();
    const auto image = snapshot (page);
    savePng (image, "midipage-harmony-values");

    // Three white captions in "Dense" 27, centred in their boxes, over the
    // editor's black; outside the controls nothing else is drawn.
    const auto captions = textImage (image.getBounds(), { { "EXT. OUT", 27.0f, { 205, 149, 59, 29 } },
                                                          { "HARMONY", 27.0f, { 0, 233, 75, 25 } },
                                                          { "AUTO TUNE", 27.0f, { 0, 149, 75, 27 } } });
    juce::RectangleList<int> controls;
    for (auto* c : page.panel.getChildren())
        controls.add (c->getBounds());
    int differing = 0, white = 0, notBlack = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (! controls.containsPoint ({ x, y }))
            {
                const bool drawn = isWhite (image.getPixelAt (x, y)), wanted = isWhite (captions.getPixelAt (x, y));
                differing += drawn != wanted ? 1 : 0;
                white += wanted ? 1 : 0;
                notBlack += image.getPixelAt (x, y) != captions.getPixelAt (x, y) ? 1 : 0;
            }
    EXPECT_GT (white, 300);
    EXPECT_EQ (differing, 0);
    EXPECT_EQ (notBlack, 0) << "the page paints no background and nothing but its captions";

    // Each knob's texts where the page puts the knob: a harmony knob (55 x 48)
    // shows its value alone in font 24, never its name; a top knob (96 x 96)
    // its name in font 19 above its value in font 24. chord0 is leftmost.
    const struct
    {
        juce::Rectangle<int> knob;
        std::vector<Text> texts;
    } knobs[] = {
        { { 78, 224, 55, 48 }, { { "-12", 24.0f, { 81, 238, 48, 24 } } } },
        { { 145, 224, 55, 48 }, { { "-5", 24.0f, { 148, 238, 48, 24 } } } },
        { { 209, 224, 55, 48 }, { { "0", 24.0f, { 212, 238, 48, 24 } } } },
        { { 276, 224, 55, 48 }, { { "7", 24.0f, { 279, 238, 48, 24 } } } },
        { { 339, 224, 55, 48 }, { { "36", 24.0f, { 342, 238, 48, 24 } } } },
        { { 24, 32, 96, 96 }, { { "TRANSPOSE", 19.0f, { 24, 61, 96, 19 } }, { "-3", 24.0f, { 24, 80, 96, 24 } } } },
        { { 152, 32, 96, 96 }, { { "PB RANGE", 19.0f, { 152, 61, 96, 19 } }, { "1.5", 24.0f, { 152, 80, 96, 24 } } } },
        { { 280, 32, 96, 96 },
          { { "VELOCITY LIMIT", 19.0f, { 280, 61, 96, 19 } }, { "127", 24.0f, { 280, 80, 96, 24 } } } },
    };
    for (const auto& k : knobs)
    {
        SCOPED_TRACE (k.texts.front().text);
        const auto expected = textImage (image.getBounds(), k.texts);
        EXPECT_GT (count (expected, k.knob, isWhite), 10);
        EXPECT_EQ (whiteDifferences (image, expected, k.knob), 0);
    }
}

TEST_F (MidiPage, DisabledHarmonyKnobsShowTheirArcInTranslucentGrey)
{
    const juce::Colour fill { 0xffb0cb07 }, outline { 0xff31411b };
    const struct
    {
        const char* name;
        int keyId;
        juce::Colour arc;
        const char* snapshotName;
    } cases[] = {
        { "key C", 2, fill, "midipage-defaults" },
        { "key Off", 1, outline.overlaidWith (colours::disabled), "midipage-key-off" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = makeWithPorts();
        set (p.intParameter (kalto::keyIndex), (float) c.keyId);
        Page page (p);
        pumpMessages();
        const auto image = snapshot (page);
        savePng (image, c.snapshotName);

        // Harmony 0 is mid-range: the value arc runs from twelve to six
        // o'clock. Ring radius 24, nine tenths inside; sampled at 22.8.
        for (int i = 0; i < 5; ++i)
        {
            const auto bounds = page.chord (i).getBounds();
            const auto centre = juce::Point<float> ((float) bounds.getX() + 27.5f, (float) bounds.getY() + 24.0f);
            const auto at3 = image.getPixelAt ((int) std::floor (centre.x + 22.8f), (int) centre.y);
            const auto at9 = image.getPixelAt ((int) std::floor (centre.x - 22.8f), (int) centre.y);
            EXPECT_TRUE (near (c.arc, 3) (at3)) << i << ": " << at3.toString();
            EXPECT_TRUE (near (outline, 3) (at9)) << i << ": " << at9.toString();
            EXPECT_GT (count (image, bounds, isWhite), 10) << "the value stays white";
        }
    }
}

} // namespace
} // namespace kalto::test
