// The page tab, the note display and the message box, as the main window uses
// them: drawn over the editor's black and pressed through their peers.

#include "tests/editor/EditorFixture.h"

#include "editor/EditorColours.h"
#include "editor/NoteViewer.h"
#include "editor/PopUpBox.h"
#include "editor/minimalMenuItem.h"

namespace kalto::test
{
namespace
{
struct ChangeCounter : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++changes; }
    int changes = 0;
};

bool light (juce::Colour c)
{
    return c.getBrightness() > 0.6f;
}
bool dark (juce::Colour c)
{
    return c.getBrightness() < 0.4f;
}

// The text `text` as `font` lays it out in `box`, white on black in an image of `size`.
juce::Image reference (juce::Rectangle<int> size, const juce::String& text, float fontHeight, juce::Rectangle<int> box,
                       juce::Justification justification)
{
    juce::Image image (juce::Image::ARGB, size.getWidth(), size.getHeight(), true);
    juce::Graphics g (image);
    g.fillAll (colours::black);
    g.setColour (colours::white);
    g.setFont (juce::Font (fontHeight, juce::Font::plain));
    g.drawText (text, box, justification, true);
    return image;
}

class Widgets : public ::testing::Test
{
protected:
    InstalledLookAndFeel installed;
};

TEST_F (Widgets, TheSelectedTabIsAWhiteBlockWithBlackText)
{
    minimalMenuItem tab;
    tab.setName ("MIDI");
    Backdrop panel (tab, { 0, 0, 88, 64 });

    const auto unselected = snapshot (panel);
    tab.selected = true;
    const auto selected = snapshot (panel);
    savePng (unselected, "tab-unselected");
    savePng (selected, "tab-selected");

    // Unselected: white text on what lies behind; its text in the upper three
    // quarters, in font 30.
    EXPECT_EQ (unselected.getPixelAt (1, 1), colours::black);
    EXPECT_EQ (unselected.getPixelAt (86, 62), colours::black);
    const auto expected =
        reference (unselected.getBounds(), "MIDI", 30.0f, { 0, 0, 88, 48 }, juce::Justification::horizontallyCentred);
    EXPECT_EQ (extent (unselected, light), extent (expected, light));
    EXPECT_EQ (count (unselected, unselected.getBounds(), light), count (expected, expected.getBounds(), light));
    EXPECT_LE (extent (unselected, light).getBottom(), 48);

    // Selected: the whole tab white, the same text in black.
    EXPECT_EQ (selected.getPixelAt (0, 0), colours::white);
    EXPECT_EQ (selected.getPixelAt (87, 63), colours::white);
    EXPECT_EQ (extent (selected, dark), extent (expected, light));

    // A name wider than the tab ends in an ellipsis inside it; an empty one
    // leaves a plain white block.
    tab.setName ("CONVERSION PAGE");
    const auto cut = snapshot (panel);
    savePng (cut, "tab-selected-cut");
    EXPECT_LE (extent (cut, dark).getRight(), 88);
    tab.setName ({});
    EXPECT_EQ (count (snapshot (panel), { 0, 0, 88, 64 }, dark), 0);
}

TEST_F (Widgets, APressOnATabSendsAChangeMessageAlsoWhenSelected)
{
    minimalMenuItem tab;
    tab.setName ("SYNTH");
    tab.setSize (88, 64);
    ChangeCounter counter;
    tab.addChangeListener (&counter);
    Mouse mouse (tab);

    for (const bool selected : { false, true })
    {
        tab.selected = selected;
        const auto before = snapshot (tab);
        mouse.click ({ 40.0f, 30.0f });
        EXPECT_EQ (counter.changes, selected ? 1 : 0) << "delivered only once the messages run";
        pumpMessages();
        EXPECT_EQ (counter.changes, selected ? 2 : 1);
        // The tab itself does not change on a press.
        EXPECT_EQ (tab.selected, selected);
        EXPECT_TRUE (sameImage (before, snapshot (tab)));
    }
    tab.removeChangeListener (&counter);
}

TEST_F (Widgets, TheNoteViewerDrawsItsNameAtHeight150UnderTheCaption)
{
    NoteViewer viewer;
    Backdrop panel (viewer, { 0, 0, 168, 199 });
    for (const juce::String name : { "--", "C#", "A" })
    {
        SCOPED_TRACE (name);
        *viewer.noteName = name;
        const auto image = snapshot (panel);
        savePng (image, "noteviewer-" + juce::String (name == "--" ? "none" : name == "C#" ? "c-sharp" : "a"));

        // The caption in font 45 in (0, 0, 168, 40), the name in font 150 in
        // (0, 28, 168, 174), which the viewer's edge clips.
        juce::Image expected (juce::Image::ARGB, 168, 199, true);
        {
            juce::Graphics g (expected);
            g.fillAll (colours::black);
            g.setColour (colours::white);
            g.setFont (juce::Font (45.0f, juce::Font::plain));
            g.drawText ("Note", 0, 0, 168, 40, juce::Justification::horizontallyCentred, true);
            g.setFont (juce::Font (150.0f, juce::Font::plain));
            g.drawText (name, 0, 28, 168, 174, juce::Justification::horizontallyCentred, true);
        }
        EXPECT_TRUE (sameImage (image, expected));
        EXPECT_GT (count (image, { 0, 45, 168, 150 }, light), 400) << "the name is big";
    }
}

TEST_F (Widgets, AMessageBoxHidesOnAPressAnywhere)
{
    for (const auto p : { juce::Point<float> { 200.0f, 200.0f }, // "OK"
                          { 200.0f, 100.0f },                    // the message
                          { 200.0f, 30.0f },                     // the title
                          { 3.0f, 247.0f } })                    // a corner
    {
        SCOPED_TRACE (p.toString());
        PopUpBox box ("WARNING", "\nYour audio signal peaks.");
        EXPECT_EQ (box.getBounds(), juce::Rectangle<int> (0, 0, 400, 250));
        Mouse mouse (box);
        ASSERT_TRUE (box.isVisible());
        mouse.click (p);
        EXPECT_FALSE (box.isVisible());
    }
}

TEST_F (Widgets, AMessageWrapsOnlyWhenItHasALineBreak)
{
    const juce::String words = "Your audio signal peaks. This prevents Kalto from accurately tracking the signal. "
                               "Please lower the input gain.";
    const juce::Rectangle<int> messageArea { 21, 56, 355, 112 };
    const juce::Colour panelColour { 0xff303030 };
    auto ink = [=] (juce::Colour c) { return c.getBrightness() > 0.7f; };

    PopUpBox wrapped ("WARNING", "\n" + words);
    PopUpBox squeezed ("WARNING", words);
    const auto a = snapshot (wrapped), b = snapshot (squeezed);
    savePng (a, "popupbox-warning");
    savePng (b, "popupbox-message-without-line-break");

    for (const auto* image : { &a, &b })
    {
        EXPECT_EQ (image->getPixelAt (2, 2), panelColour);
        EXPECT_EQ (image->getPixelAt (130, 220), juce::Colour (0xff222222)) << "the OK box";
        // "OK" in white inside its box, the title at the top.
        const auto ok = extent (*image, { 127, 184, 150, 40 }, ink);
        EXPECT_GT (ok.getWidth(), 20);
        EXPECT_NEAR (ok.getCentreX(), 202, 3);
        EXPECT_FALSE (extent (*image, { 21, 5, 355, 51 }, ink).isEmpty());
    }

    // With a line break the message is word-wrapped over several lines; without
    // one it stays on one line, squeezed to the width.
    const auto several = extent (a, messageArea, ink);
    const auto one = extent (b, messageArea, ink);
    EXPECT_GT (several.getHeight(), 60) << several.toString();
    EXPECT_LT (one.getHeight(), 36) << one.toString();
    EXPECT_GT (one.getWidth(), 340);
    EXPECT_LE (one.getRight(), messageArea.getRight());
    // All of it, to "gain.": the letters reach up at its end, where an
    // ellipsis would be dots on the baseline.
    const auto end = extent (b, { one.getRight() - 6, one.getY(), 6, one.getHeight() }, ink);
    EXPECT_LT (end.getY(), one.getY() + one.getHeight() / 2);
}

TEST_F (Widgets, ALongTitleEndsInAnEllipsis)
{
    PopUpBox box ("A TITLE FAR TOO WIDE FOR THE BOX", "\nmessage");
    const auto image = snapshot (box);
    savePng (image, "popupbox-long-title");
    auto ink = [] (juce::Colour c) { return c.getBrightness() > 0.7f; };
    const auto title = extent (image, { 0, 0, 400, 56 }, ink);
    EXPECT_GE (title.getX(), 21);
    EXPECT_LE (title.getRight(), 21 + 355);

    // The last few pixels are the ellipsis: three dots on the baseline, nothing
    // above the lower quarter of the letters.
    const juce::Rectangle<int> end { title.getRight() - 12, title.getY(), 12, title.getHeight() };
    const auto dots = extent (image, end, ink);
    EXPECT_FALSE (dots.isEmpty());
    EXPECT_GT (dots.getY(), title.getY() + title.getHeight() * 3 / 4);
}
} // namespace
} // namespace kalto::test
