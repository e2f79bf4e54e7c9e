// The ABOUT page on a real processor: its texts by the pixels they paint, the
// version read afresh at each paint and cut with an ellipsis when too wide,
// and the contact link, which is inspected but never clicked (a click would
// start a mail program).

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorFixture.h"
#include "tests/processor/ProcessorProbe.h"

#include "editor/AboutPanel.h"
#include "editor/EditorColours.h"

#include <stdexcept>
#include <vector>

namespace kalto::test
{
namespace
{
using Page = PageOnBlack<AboutPanel>;

struct Text
{
    juce::String text;
    juce::Colour colour;
    float height;
    juce::Rectangle<int> box;
};

const juce::Colour captionGrey { 0xff808080 };
const juce::Rectangle<int> captionBox { 48, 6, 56, 26 };
const juce::Rectangle<int> versionBox { 48, 30, 78, 26 };
const juce::Rectangle<int> linkBounds { 312, 250, 128, 32 };
const juce::String firstCredit = "Pitch tracking, MIDI and sound by the Kalto Vyn developers.";
const juce::String secondCredit = "Typeface Dense, from Noto Sans Display (SIL Open Font License).";

// The page's texts as they are meant to be drawn, over black.
std::vector<Text> pageTexts (const juce::String& caption, const juce::String& version)
{
    return { { caption, captionGrey, 25.0f, captionBox },
             { version, colours::white, 20.0f, versionBox },
             { "Kalto Vyn", colours::orange, 68.8f, { 42, 78, 200, 58 } },
             { firstCredit, colours::white, 17.0f, { 42, 150, 366, 18 } },
             { secondCredit, colours::white, 17.0f, { 42, 166, 366, 18 } } };
}

juce::Image drawn (const std::vector<Text>& texts)
{
    juce::Image image (juce::Image::ARGB, 400, 280, true);
    juce::Graphics g (image);
    g.fillAll (colours::black);
    for (const auto& t : texts)
    {
        g.setColour (t.colour);
        g.setFont (juce::Font (t.height, juce::Font::plain));
        g.drawText (t.text, t.box, juce::Justification::centredLeft, true);
    }
    return image;
}

float widthOf (const juce::String& text, float height)
{
    return juce::Font (height, juce::Font::plain).getStringWidthFloat (text);
}

juce::HyperlinkButton& link (AboutPanel& page)
{
    for (auto* c : page.getChildren())
        if (auto* l = dynamic_cast<juce::HyperlinkButton*> (c))
            return *l;
    throw std::runtime_error ("no link");
}

bool light (juce::Colour c)
{
    return c.getBrightness() > 0.6f;
}

// Every text that the page takes from a literal comes back from a translation.
struct Translation
{
    explicit Translation (const juce::String& mappings)
    {
        juce::LocalisedStrings::setCurrentMappings (new juce::LocalisedStrings (mappings, false));
    }
    ~Translation() { juce::LocalisedStrings::setCurrentMappings (nullptr); }
};

using AboutPage = ProcessorTest;

TEST_F (AboutPage, DrawsCaptionVersionNameAndCreditsInTheirBoxes)
{
    auto& p = make();
    Page page (p);
    const auto image = snapshot (page);
    savePng (image, "aboutpage");

    EXPECT_EQ (AboutPanel::captionText(), "Version");
    // Everything fits its box whole: no ellipsis anywhere at the defaults.
    EXPECT_LT (widthOf ("Version", 25.0f), (float) captionBox.getWidth());
    EXPECT_LT (widthOf (p.getVersionText(), 20.0f), (float) versionBox.getWidth());
    EXPECT_LT (widthOf (firstCredit, 17.0f), 366.0f);
    EXPECT_LT (widthOf (secondCredit, 17.0f), 366.0f);

    const auto expected = drawn (pageTexts ("Version", p.getVersionText()));
    EXPECT_TRUE (sameArea (image, expected, { 0, 0, 400, 250 }));
    // The caption in its grey, the name in the editor's orange.
    EXPECT_GT (count (image, captionBox, near (captionGrey, 2)), 40);
    EXPECT_GT (count (image, { 42, 78, 200, 58 }, near (colours::orange, 2)), 400);
    EXPECT_GT (count (image, versionBox, near (colours::white, 2)), 20);
}

TEST_F (AboutPage, TheCaptionIsTranslatedAndTheVersionIsNot)
{
    auto& p = make();
    Translation german ("language: German\n\"Version\" = \"Stand\"\n\"Vyn Rel. 1.0.3\" = \"Falsch\"\n");
    Page page (p);
    const auto image = snapshot (page);
    const auto expected = drawn (pageTexts ("Stand", "Vyn Rel. 1.0.3"));
    EXPECT_TRUE (sameArea (image, expected, captionBox));
    EXPECT_TRUE (sameArea (image, expected, versionBox));
}

TEST_F (AboutPage, ATooWideVersionEndsInAnEllipsisInsideItsBox)
{
    auto& p = make();
    Page page (p);
    const auto before = snapshot (page);

    // Read at each paint, not when the page was built.
    KaltoAudioProcessorProbe::setVersionText (p, "Vyn Release 1.0.3, built for testing");
    ASSERT_GT (widthOf (p.getVersionText(), 20.0f), 2.0f * (float) versionBox.getWidth());
    const auto image = snapshot (page);
    savePng (image, "aboutpage-long-version");
    EXPECT_FALSE (sameArea (before, image, versionBox));

    const auto expected = drawn (pageTexts ("Version", p.getVersionText()));
    EXPECT_TRUE (sameArea (image, expected, { 0, 0, 400, 250 }));

    const auto text = extent (image, versionBox, light);
    EXPECT_LE (text.getRight(), versionBox.getRight());
    EXPECT_GT (text.getWidth(), 60) << "most of the box is used";
    // Its end is dots on the baseline: nothing reaches up into the upper
    // half of the letters there.
    const auto end = extent (image, { text.getRight() - 8, text.getY(), 8, text.getHeight() }, light);
    EXPECT_GT (end.getY(), text.getY() + text.getHeight() / 2) << end.toString() << " in " << text.toString();
}

TEST_F (AboutPage, TheContactLinkMailsTheProjectWithItsNameAsSubject)
{
    auto& p = make();
    Page page (p);
    auto& contact = link (page.panel);

    const auto url = contact.getURL();
    EXPECT_EQ (url.toString (true), "mailto:kalto.vyn@example.org?subject=Kalto%20Vyn");
    EXPECT_EQ (url.getParameterNames(), juce::StringArray ("subject"));
    EXPECT_EQ (url.getParameterValues(), juce::StringArray ("Kalto Vyn"));
    // The tooltip is the link without its subject.
    EXPECT_EQ (contact.getTooltip(), "mailto:kalto.vyn@example.org");
    EXPECT_EQ (contact.getTooltip(), url.toString (false));
    EXPECT_EQ (contact.getButtonText(), "Contact");
    EXPECT_EQ (contact.findColour (juce::HyperlinkButton::textColourId), juce::Colour (0xffd0d0d0));
    EXPECT_EQ (contact.getBounds(), linkBounds);

    // Past the page's right edge the link is clipped; its centred text stays
    // inside, in its light grey.
    const auto image = snapshot (page);
    const auto text = extent (image, { 300, 240, 100, 40 }, near (juce::Colour (0xffd0d0d0), 24));
    EXPECT_FALSE (text.isEmpty());
    EXPECT_LT (text.getRight(), 400);
    EXPECT_NEAR (text.getCentreX(), linkBounds.getCentreX(), 3);
    EXPECT_NEAR (text.getWidth(), 27, 5);
}

} // namespace
} // namespace kalto::test
