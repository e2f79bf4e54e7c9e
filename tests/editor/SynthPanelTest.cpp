// The SYNTH page on a real processor: what it shows of "synthSound", what it
// hands the instrument and writes back, what of that the host hears, the
// "More" button, and the pixels it draws.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorFixture.h"

#include "editor/EditorColours.h"
#include "editor/SynthPanel.h"

namespace kalto::test
{
namespace
{
using Page = PageOnBlack<SynthPanel>;

juce::ComboBox& selector (SynthPanel& page)
{
    return childNamed<juce::ComboBox> (page, "internalSynthSelector");
}

juce::TextButton& more (SynthPanel& page)
{
    return childNamed<juce::TextButton> (page, "showInternalGUI");
}

// The instrument choices that reached the instrument since it was made.
struct Reloads
{
    explicit Reloads (const InternalSynth& s) : synth (s), start (s.getSoundRequestCount()) {}
    int count() const { return synth.getSoundRequestCount() - start; }
    int last() const { return synth.getRequestedSound(); }

    const InternalSynth& synth;
    const int start;
};

struct ClickCounter : juce::Button::Listener
{
    void buttonClicked (juce::Button*) override { ++clicks; }
    int clicks = 0;
};

const juce::Colour greeting { 0xffe71a61 };
const juce::Rectangle<int> textArea { 0, 0, 400, 144 }; // above the box and the button
const juce::Rectangle<int> boxArea { 8, 144, 184, 24 };
const juce::Rectangle<int> moreArea { 216, 144, 64, 24 };

// The page's three texts drawn as they are meant to be, over black.
juce::Image expectedTexts()
{
    juce::Image image (juce::Image::ARGB, 400, 280, true);
    juce::Graphics g (image);
    g.fillAll (colours::black);
    const struct
    {
        const char* text;
        juce::Colour colour;
        float height;
        juce::Rectangle<int> box;
    } texts[] = {
        { "Hi there!", greeting, 58.0f, { 8, 13, 297, 52 } },
        { "Wanna play some cool instruments?", colours::white, 35.1f, { 8, 61, 357, 48 } },
        { "Internal", colours::white, 35.1f, { 11, 115, 349, 27 } },
    };
    for (const auto& t : texts)
    {
        g.setColour (t.colour);
        g.setFont (juce::Font ("Dense", t.height, juce::Font::plain));
        g.drawText (t.text, t.box, juce::Justification::centredLeft, true);
    }
    return image;
}

bool ink (juce::Colour c)
{
    return c.getBrightness() < 0.3f;
} // the box's dark text on its grey
// The box's text area, left of its arrow.
const juce::Rectangle<int> boxTextArea { 8, 144, 150, 24 };

using SynthPage = ProcessorTest;

TEST_F (SynthPage, OpeningShowsTheStoredSoundAndReloadsItOnceShortlyAfter)
{
    const struct
    {
        int stored;
        const char* shown; // empty: nothing selected
        bool moreShown;
        int passed; // to the instrument once the messages run
        int storedAfter;
        int hostChanges;
        int soundsLoaded;
    } cases[] = {
        { 0, "No Sound", false, 0, 0, 0, 0 },
        { 1, "Cello", false, 1, 1, 0, 4 },
        { 2, "Piano", false, 2, 2, 0, 4 },
        { 4, "Drums", false, 4, 4, 0, 4 },
        { 5, "Raw Guitar", true, 5, 5, 0, 0 },
        // No item: nothing selected, and -1 clamped to "No Sound".
        { 6, "", true, -1, 0, 1, 0 },
    };
    auto& p = make();
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.stored);
        set (p.intParameter (kalto::synthSoundIndex), (float) c.stored);
        HostChanges host (p);
        Reloads reloads (p.getInstrument());

        Page page (p);
        auto& box = selector (page.panel);
        EXPECT_EQ (box.getText(), c.shown);
        EXPECT_EQ (box.getSelectedId(), c.shown[0] == 0 ? 0 : c.stored + 1);
        EXPECT_EQ (more (page.panel).isVisible(), c.moreShown);
        EXPECT_EQ (reloads.count(), 0) << "the load notifies later";

        pumpMessages();
        EXPECT_EQ (reloads.count(), 1);
        EXPECT_EQ (reloads.last(), c.passed);
        EXPECT_EQ (p.getInstrument().getNumSounds(), c.soundsLoaded);
        EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), c.storedAfter);
        EXPECT_EQ (host.count (synthSoundIndex), c.hostChanges);
        EXPECT_EQ (host.count(), c.hostChanges);
        // Writing back does not change what "More" shows.
        EXPECT_EQ (more (page.panel).isVisible(), c.moreShown);
    }
}

TEST_F (SynthPage, AStoredValueWithoutAnItemShowsTheEmptyText)
{
    auto& p = make();
    set (p.intParameter (kalto::synthSoundIndex), 6.0f);
    Page page (p);
    EXPECT_EQ (selector (page.panel).getTextWhenNothingSelected(), "Select Kalto instrument");
    const auto image = snapshot (page);
    savePng (image, "synthpage-no-item");
    // The empty text is drawn at half alpha, in the box and not cut short:
    // wider than any item's name.
    const auto text = extent (image, boxTextArea, ink);
    EXPECT_GT (text.getWidth(), 120) << text.toString();
    EXPECT_TRUE (more (page.panel).isVisible());
}

TEST_F (SynthPage, APageClosedBeforeItsLoadNotifiesWritesNothing)
{
    auto& p = make();
    set (p.intParameter (kalto::synthSoundIndex), 6.0f);
    HostChanges host (p);
    Reloads reloads (p.getInstrument());
    {
        Page page (p);
    }
    pumpMessages();
    EXPECT_EQ (reloads.count(), 0);
    EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), 6);
    EXPECT_EQ (host.count(), 0);
}

TEST_F (SynthPage, APickGoesToTheInstrumentThenTheParameterAndLeavesMoreAlone)
{
    const struct
    {
        const char* name;
        int stored, pickedId;
        int reloads, passed, storedAfter, hostChanges;
        bool moreShown;
    } cases[] = {
        { "Raw Guitar while Cello shows", 1, 6, 1, 5, 5, 1, false },
        { "Cello while Raw Guitar shows", 5, 2, 1, 1, 1, 1, true },
        { "Drums while Piano shows", 2, 5, 1, 4, 4, 1, false },
        { "the item already selected", 3, 4, 0, 3, 3, 0, false },
        { "Raw Guitar again", 5, 6, 0, 5, 5, 0, true },
    };
    auto& p = make();
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        set (p.intParameter (kalto::synthSoundIndex), (float) c.stored);
        Page page (p);
        pumpMessages();
        HostChanges host (p);
        Reloads reloads (p.getInstrument());

        // A user's pick, as the pop-up menu makes it.
        selector (page.panel).setSelectedId (c.pickedId, juce::sendNotificationAsync);
        pumpMessages();
        EXPECT_EQ (reloads.count(), c.reloads);
        EXPECT_EQ (reloads.last(), c.passed);
        EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), c.storedAfter);
        EXPECT_EQ (host.count (synthSoundIndex), c.hostChanges);
        EXPECT_EQ (host.count(), c.hostChanges);
        EXPECT_EQ (more (page.panel).isVisible(), c.moreShown);
    }
}

TEST_F (SynthPage, ARefreshReloadsOnlyWhenTheStoredSoundChanged)
{
    const struct
    {
        int before, after;
        int reloads, passed, storedAfter, pageChanges;
        bool moreShown;
    } cases[] = {
        { 2, 2, 0, 2, 2, 0, false }, { 2, 3, 1, 3, 3, 0, false }, { 2, 5, 1, 5, 5, 0, true },
        { 5, 1, 1, 1, 1, 0, false }, { 5, 5, 0, 5, 5, 0, true },  { 2, 6, 1, -1, 0, 1, true },
    };
    auto& p = make();
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.before) + " -> " + juce::String (c.after));
        set (p.intParameter (kalto::synthSoundIndex), (float) c.before);
        Page page (p);
        pumpMessages();
        // A preset browse step, as the host would hear it, then the refresh.
        set (p.intParameter (kalto::synthSoundIndex), (float) c.after);
        HostChanges host (p);
        Reloads reloads (p.getInstrument());

        page.panel.refresh();
        EXPECT_EQ (more (page.panel).isVisible(), c.moreShown);
        pumpMessages();
        EXPECT_EQ (reloads.count(), c.reloads);
        EXPECT_EQ (reloads.last(), c.passed);
        EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), c.storedAfter);
        EXPECT_EQ (host.count(), c.pageChanges);
    }
}

TEST_F (SynthPage, ClickingMoreDoesNothing)
{
    auto& p = make();
    set (p.intParameter (kalto::synthSoundIndex), 5.0f);
    SynthPanel page (p);
    pumpMessages();
    HostChanges host (p);
    Reloads reloads (p.getInstrument());
    ClickCounter clicks;
    more (page).addListener (&clicks);
    {
        Mouse mouse (page);
        mouse.click (moreArea.getCentre().toFloat());
        pumpMessages();
    }
    more (page).removeListener (&clicks);

    EXPECT_EQ (clicks.clicks, 1) << "the click reached the button";
    EXPECT_EQ (reloads.count(), 0);
    EXPECT_EQ (host.count(), 0);
    EXPECT_EQ (p.intParameter (kalto::synthSoundIndex)->get(), 5);
    EXPECT_EQ (selector (page).getSelectedId(), 6);
    EXPECT_TRUE (more (page).isVisible());
}

TEST_F (SynthPage, DrawsTheGreetingTheCaptionTheBoxAndMore)
{
    auto& p = make();
    const auto expected = expectedTexts();
    const struct
    {
        int stored;
        const char* png;
        bool moreShown;
    } cases[] = {
        { 2, "synthpage-defaults", false },
        { 5, "synthpage-raw-guitar", true },
    };
    int pianoTextWidth = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.png);
        set (p.intParameter (kalto::synthSoundIndex), (float) c.stored);
        Page page (p);
        pumpMessages();
        const auto image = snapshot (page);
        savePng (image, c.png);

        EXPECT_TRUE (sameArea (image, expected, textArea));
        EXPECT_GT (count (image, { 8, 13, 297, 52 }, near (greeting)), 300) << "the greeting in its pink";
        EXPECT_GT (count (image, { 8, 61, 357, 48 }, near (colours::white)), 300);
        EXPECT_GT (count (image, { 11, 115, 349, 27 }, near (colours::white)), 100);

        // The box: the look and feel's grey with the instrument's name in black.
        EXPECT_EQ (image.getPixelAt (boxArea.getX() + 2, boxArea.getY() + 2), colours::darkGrey);
        const auto name = extent (image, boxTextArea, ink);
        EXPECT_FALSE (name.isEmpty());
        if (c.stored == 2)
            pianoTextWidth = name.getWidth();
        else
            EXPECT_GT (name.getWidth(), pianoTextWidth + 20) << "\"Raw Guitar\" is the longer name";

        // "More": a flat grey button with its text, or the black behind it.
        const auto greyInMore = count (image, moreArea, near (colours::darkGrey, 2));
        if (c.moreShown)
        {
            EXPECT_GT (greyInMore, moreArea.getWidth() * moreArea.getHeight() * 3 / 4);
            const auto text = extent (image, moreArea, ink);
            EXPECT_NEAR (text.getCentreX(), moreArea.getCentreX(), 3);
            EXPECT_GT (text.getWidth(), 15);
        }
        else
        {
            EXPECT_EQ (greyInMore, 0);
            EXPECT_EQ (image.getPixelAt (moreArea.getCentreX(), moreArea.getCentreY()), colours::black);
        }
        // Nothing below the controls: the page paints no background.
        EXPECT_EQ (count (image, { 0, 170, 400, 110 }, [] (juce::Colour px) { return px != colours::black; }), 0);
    }
}

} // namespace
} // namespace kalto::test
