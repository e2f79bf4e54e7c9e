// The look and feel as the pages use it: the embedded typeface, ring and
// pointer knobs chosen by colour, the bar meter, button backgrounds and
// toggles, each checked by the pixels it paints.

#include "tests/editor/EditorFixture.h"

#include "editor/EditorColours.h"

#include <cmath>
#include <optional>

namespace kalto::test
{
namespace
{
const juce::Colour outline { 0xff0000ff }; // blue ring
const juce::Colour fill { 0xff00ff00 };    // green value arc

std::unique_ptr<juce::Slider> rotary (const juce::String& name, double value, juce::Colour thumb)
{
    auto s = std::make_unique<juce::Slider> (name);
    s->setSliderStyle (juce::Slider::RotaryVerticalDrag);
    s->setTextBoxStyle (juce::Slider::NoTextBox, false, 80, 20);
    s->setRange (0.0, 1.0, 0.0);
    s->setValue (value, juce::dontSendNotification);
    s->setColour (juce::Slider::thumbColourId, thumb);
    s->setColour (juce::Slider::rotarySliderOutlineColourId, outline);
    s->setColour (juce::Slider::rotarySliderFillColourId, fill);
    return s;
}

bool isWhite (juce::Colour c)
{
    return c.getRed() > 200 && c.getGreen() > 200 && c.getBlue() > 200;
}

// The white pixels of `expected` text drawn as the look and feel is meant to
// draw it, into an image of the same size: where each text must land.
juce::Image textAt (juce::Rectangle<int> size,
                    std::initializer_list<std::tuple<juce::String, float, juce::Rectangle<int>>> texts,
                    juce::Justification justification = juce::Justification::centred)
{
    juce::Image image (juce::Image::ARGB, size.getWidth(), size.getHeight(), true);
    juce::Graphics g (image);
    g.fillAll (colours::black);
    g.setColour (colours::white);
    for (const auto& [text, height, box] : texts)
    {
        g.setFont (juce::Font ("Dense", height, juce::Font::plain));
        g.drawText (text, box, justification, true);
    }
    return image;
}

// Same white pixels, inside `area`, in both images.
void expectSameText (const juce::Image& drawn, const juce::Image& expected, juce::Rectangle<int> area)
{
    int differing = 0, white = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
        {
            const bool a = isWhite (drawn.getPixelAt (x, y)), b = isWhite (expected.getPixelAt (x, y));
            differing += a != b ? 1 : 0;
            white += b ? 1 : 0;
        }
    EXPECT_GT (white, 20) << "no text expected there at all";
    EXPECT_EQ (differing, 0) << "of " << white << " white pixels";
}

// Colour a pixel on the ring at `degrees` clockwise from twelve o'clock.
juce::Colour ringPixel (const juce::Image& image, juce::Point<float> centre, float radius, float degrees)
{
    const auto a = juce::degreesToRadians (degrees);
    return image.getPixelAt ((int) std::floor (centre.x + radius * std::sin (a)),
                             (int) std::floor (centre.y - radius * std::cos (a)));
}

class LookAndFeel : public ::testing::Test
{
protected:
    InstalledLookAndFeel installed;
    kalto_lookandfeel& lf = *installed.lookAndFeel;
};

TEST_F (LookAndFeel, TheTypefaceIsDenseWithNarrowLetters)
{
    const auto& face = lf.getEmbeddedTypeface();
    ASSERT_NE (face, nullptr);
    EXPECT_EQ (face->getName(), "Dense");
    EXPECT_EQ (face->getStyle(), "Regular");

    // Whatever a font names, it is set in the embedded face.
    for (const auto& font : { juce::Font (100.0f), juce::Font ("Dense", 100.0f, juce::Font::plain),
                              juce::Font ("Serif", 100.0f, juce::Font::bold) })
        EXPECT_EQ (font.getTypefacePtr()->getName(), "Dense") << font.getTypefaceName();

    const juce::Font font ("Dense", 100.0f, juce::Font::plain);
    EXPECT_NEAR (font.getStringWidthFloat ("A") / 100.0f, 0.32f, 0.01f);
    EXPECT_NEAR (font.getStringWidthFloat ("M") / 100.0f, 0.49f, 0.015f);
    // The widest tab label of the MIDI page fits its 75-pixel box uncut.
    EXPECT_LT (juce::Font ("Dense", 27.0f, juce::Font::plain).getStringWidthFloat ("AUTO TUNE"), 75.0f);
}

TEST_F (LookAndFeel, ABoldFontOfAnotherFamilyIsDrawnInTheEmbeddedFace)
{
    auto draw = [] (juce::Font font) {
        juce::Image image (juce::Image::ARGB, 300, 60, true);
        juce::Graphics g (image);
        g.fillAll (colours::black);
        g.setColour (colours::white);
        g.setFont (font);
        g.drawText ("Kalto Vyn 1.0.3", 0, 0, 300, 60, juce::Justification::centredLeft, false);
        return image;
    };
    const auto dense = draw (juce::Font ("Dense", 40.0f, juce::Font::plain));
    const auto other = draw (juce::Font ("DejaVu Serif", 40.0f, juce::Font::bold));
    savePng (other, "lookandfeel-bold-serif-request");
    EXPECT_TRUE (sameImage (dense, other));
}

TEST_F (LookAndFeel, TheThumbColourChoosesRingOrPointer)
{
    const struct
    {
        juce::uint32 thumb;
        bool ring;
    } cases[] = { { 0xffffffff, true }, { 0xfeffffff, false }, { 0xfffffffe, false }, { 0xffff0000, false } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String::toHexString ((int) c.thumb).toStdString());
        auto slider = rotary ("GAIN", 0.5, juce::Colour (c.thumb));
        Backdrop panel (*slider, { 0, 0, 80, 80 });
        const auto image = snapshot (panel);
        const auto blue = count (image, image.getBounds(), near (outline));
        const auto orange = count (image, image.getBounds(), near (colours::orange));
        if (c.ring)
        {
            EXPECT_GT (blue, 200);
            EXPECT_EQ (orange, 0);
        }
        else
        {
            // The pointer style uses none of the slider's colours.
            EXPECT_EQ (blue, 0);
            EXPECT_GT (orange, 200);
        }
    }
}

TEST_F (LookAndFeel, TheOutlineColourChoosesValueAloneOrNameAndValue)
{
    // 80 x 80: the value alone in font 40 at (0, 24, 80, 40); otherwise the
    // name in font 16 at (0, 24, 80, 16) above the value in font 20 at (0, 40, 80, 20).
    const struct
    {
        const char* name;
        std::optional<juce::Colour> textBoxOutline;
        bool valueAlone;
    } cases[] = {
        { "white outline", colours::white, true },
        { "the framework's outline", std::nullopt, false },
        { "nearly white outline", juce::Colour (0xfffffffe), false },
        { "black outline", colours::black, false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto slider = rotary ("GAIN", 0.25, colours::white);
        if (c.textBoxOutline)
            slider->setColour (juce::Slider::textBoxOutlineColourId, *c.textBoxOutline);
        Backdrop panel (*slider, { 0, 0, 80, 80 });
        const auto image = snapshot (panel);
        const juce::Rectangle<int> inside { 6, 6, 68, 68 };
        if (c.valueAlone)
            expectSameText (image, textAt (image.getBounds(), { { "0.25", 40.0f, { 0, 24, 80, 40 } } }), inside);
        else
            expectSameText (image,
                            textAt (image.getBounds(),
                                    { { "GAIN", 16.0f, { 0, 24, 80, 16 } }, { "0.25", 20.0f, { 0, 40, 80, 20 } } }),
                            inside);
    }

    // An odd size, 81 x 61: r 30, centre (40.5, 30.5), the value in 30.5 at (10, 18, 60, 30).
    auto slider = rotary ("GAIN", 0.123456789, colours::white);
    slider->setColour (juce::Slider::textBoxOutlineColourId, colours::white);
    Backdrop panel (*slider, { 0, 0, 81, 61 });
    const auto image = snapshot (panel);
    savePng (image, "lookandfeel-ring-81x61-value-alone");
    expectSameText (image, textAt (image.getBounds(), { { "0.123457", 30.5f, { 10, 18, 60, 30 } } }),
                    { 14, 4, 53, 53 });
}

TEST_F (LookAndFeel, TheRingFollowsTheValueFromTwelveOClock)
{
    const juce::Point<float> centre { 40.0f, 40.0f };
    const float onRing = 38.0f; // the ring lies between radius 36 and 40
    const juce::Colour greyOverBlue = outline.overlaidWith (colours::disabled);

    const struct
    {
        const char* name;
        double value;
        bool enabled;
        // the ring's colour at 30, 150, 210 and 330 degrees
        juce::Colour at30, at150, at210, at330;
    } cases[] = {
        { "minimum: the outline only", 0.0, true, outline, outline, outline, outline },
        { "a third: the first third filled", 1.0 / 3.0, true, fill, outline, outline, outline },
        { "maximum: a closed ring", 1.0, true, fill, fill, fill, fill },
        { "disabled: the arc in translucent grey", 0.5, false, greyOverBlue, greyOverBlue, outline, outline },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto slider = rotary ("CONFIDENCE", c.value, colours::white);
        slider->setEnabled (c.enabled);
        Backdrop panel (*slider, { 0, 0, 80, 80 });
        const auto image = snapshot (panel);
        const float degrees[] = { 30.0f, 150.0f, 210.0f, 330.0f };
        const juce::Colour wanted[] = { c.at30, c.at150, c.at210, c.at330 };
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE (near (wanted[k], 3) (ringPixel (image, centre, onRing, degrees[k])))
                << degrees[k] << " degrees: " << ringPixel (image, centre, onRing, degrees[k]).toString();
        // The text stays white, disabled or not.
        EXPECT_GT (count (image, { 10, 20, 60, 40 }, near (colours::white, 2)), 20);
    }
}

TEST_F (LookAndFeel, ThePointerStyleDrawsInsideTheBoundsLessTwo)
{
    // 40 x 30: r = min (20, 15) - 2 = 13 about the centre (20, 15).
    auto slider = rotary ("knob", 1.0, colours::black);
    Backdrop panel (*slider, { 0, 0, 40, 30 });
    const auto image = snapshot (panel);
    const auto drawn = extent (image, [] (juce::Colour c) { return c != colours::black; });
    EXPECT_GE (drawn.getX(), 7 - 1);
    EXPECT_LE (drawn.getRight(), 33 + 1);
    EXPECT_GE (drawn.getY(), 2 - 1);
    EXPECT_GE (drawn.getWidth(), 25);
    // At the maximum the pointer stands at the end of the track, at the right
    // of the gap at six o'clock; the value arc covers the track's left side.
    EXPECT_TRUE (near (colours::orange, 3) (image.getPixelAt (9, 15)));
}

TEST_F (LookAndFeel, LinearSlidersAreABarMeterOverTheWholeSlider)
{
    const struct
    {
        double value;
        int solidRows; // of 100, from the bottom
    } cases[] = { { 0.0, 0 }, { 0.25, 25 }, { 1.0, 100 } };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.value);
        juce::Slider slider ("meter");
        slider.setSliderStyle (juce::Slider::LinearVertical);
        slider.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
        slider.setRange (0.0, 1.0);
        slider.setSkewFactor (0.3); // the bar is linear in the value all the same
        slider.setValue (c.value, juce::dontSendNotification);
        Backdrop panel (slider, { 0, 0, 30, 100 });
        const auto image = snapshot (panel);
        const auto solid = colours::orange;
        const auto translucent = colours::black.overlaidWith (colours::orangeTranslucent);
        for (int y : { 0, 99 - c.solidRows, 100 - c.solidRows, 99 })
        {
            if (y < 0 || y > 99)
                continue;
            const auto wanted = y >= 100 - c.solidRows ? solid : translucent;
            // The corners too, whatever smaller rectangle the framework passes.
            for (int x : { 0, 15, 29 })
                EXPECT_TRUE (near (wanted, 3) (image.getPixelAt (x, y))) << x << ", " << y;
        }
    }
}

TEST_F (LookAndFeel, ButtonBackgroundsAreWhiteWhenPressedOrHovered)
{
    juce::TextButton button ("More");
    button.setSize (60, 24);
    const struct
    {
        bool over, down, enabled;
        juce::Colour wanted;
    } cases[] = {
        { false, false, true, colours::darkGrey },  { true, false, true, colours::white },
        { false, true, true, colours::white },      { true, true, false, colours::white },
        { false, false, false, colours::darkGrey },
    };
    for (const auto& c : cases)
    {
        button.setEnabled (c.enabled);
        juce::Image image (juce::Image::ARGB, 60, 24, true);
        juce::Graphics g (image);
        lf.drawButtonBackground (g, button, juce::Colours::red, c.over, c.down);
        for (auto p : { juce::Point<int> { 0, 0 }, { 59, 23 }, { 30, 12 } })
            EXPECT_TRUE (near (c.wanted, 3) (image.getPixelAt (p.x, p.y))) << c.over << c.down << c.enabled;
    }

    EXPECT_FLOAT_EQ (lf.getTextButtonFont (button, 24).getHeight(), 15.0f);
    EXPECT_FLOAT_EQ (lf.getTextButtonFont (button, 10).getHeight(), 12.0f);
    juce::ComboBox box;
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (box).getHeight(), 22.0f);
    EXPECT_FLOAT_EQ (lf.getPopupMenuFont().getHeight(), 22.0f);
}

TEST_F (LookAndFeel, TogglesShowTheirComponentNameInABoxColouredByStateOnly)
{
    juce::ToggleButton toggle ("BENDS");
    toggle.setButtonText ("something else");
    toggle.setSize (200, 30);
    for (const bool on : { false, true })
        for (const bool hover : { false, true })
        {
            SCOPED_TRACE (testing::Message() << "on " << on << ", hover " << hover);
            toggle.setToggleState (on, juce::dontSendNotification);
            juce::Image image (juce::Image::ARGB, 200, 30, true);
            {
                juce::Graphics g (image);
                lf.drawToggleButton (g, toggle, hover, hover);
            }
            const auto box = on ? colours::white : colours::midGrey;
            const auto ink = on ? colours::black : colours::white;
            EXPECT_TRUE (near (box, 3) (image.getPixelAt (0, 0)));
            EXPECT_TRUE (near (box, 3) (image.getPixelAt (199, 29)));

            // The name in font 10 (a third of 30), from a tenth of the width.
            juce::Image expected (juce::Image::ARGB, 200, 30, true);
            {
                juce::Graphics g (expected);
                g.fillAll (box);
                g.setColour (ink);
                g.setFont (juce::Font ("Dense", 10.0f, juce::Font::plain));
                g.drawText ("BENDS", 20, 0, 200, 30, juce::Justification::centredLeft, true);
            }
            auto inked = [&] (juce::Colour c) { return std::abs (c.getBrightness() - box.getBrightness()) > 0.25f; };
            const juce::Rectangle<int> inside { 2, 2, 196, 26 };
            EXPECT_EQ (count (image, inside, inked), count (expected, inside, inked));
            const auto text = extent (image, inside, inked);
            EXPECT_EQ (text, extent (expected, inside, inked));
            EXPECT_GE (text.getX(), 20);
            EXPECT_LE (text.getHeight(), 10);
            if (on && ! hover)
                savePng (image, "lookandfeel-toggle-on");
        }
}

// Every style the look and feel draws, side by side, for a person to look at.
TEST_F (LookAndFeel, APanelOfEveryStyle)
{
    struct Panel : juce::Component
    {
        Panel()
        {
            ringValue = rotary ("CONFIDENCE", 0.52, colours::white);
            ringValue->setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xffb0cb07));
            ringValue->setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xff31411b));
            ringName = rotary ("GAIN", 0.77, colours::white);
            ringName->setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xffe71a61));
            ringName->setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xff77144b));
            ringOnly = rotary ("TRANSPOSE", 0.3, colours::white);
            ringOnly->setColour (juce::Slider::textBoxOutlineColourId, colours::white);
            ringDisabled = rotary ("CHORD", 0.6, colours::white);
            ringDisabled->setEnabled (false);
            pointer = rotary ("pointer", 0.6, juce::Colours::grey);
            pointerDisabled = rotary ("pointer", 0.6, juce::Colours::grey);
            pointerDisabled->setEnabled (false);
            meter.setSliderStyle (juce::Slider::LinearBarVertical);
            meter.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
            meter.setValue (0.4 * 10.0, juce::dontSendNotification);
            on.setToggleState (true, juce::dontSendNotification);
            juce::Component* all[] = { ringValue.get(),
                                       ringName.get(),
                                       ringOnly.get(),
                                       ringDisabled.get(),
                                       pointer.get(),
                                       pointerDisabled.get(),
                                       &meter,
                                       &on,
                                       &off,
                                       &button };
            for (auto* c : all)
                addAndMakeVisible (c);
            ringName->setBounds (10, 10, 120, 120);
            ringValue->setBounds (140, 10, 120, 120);
            ringOnly->setBounds (270, 10, 120, 120);
            ringDisabled->setBounds (400, 10, 120, 120);
            pointer->setBounds (10, 140, 80, 80);
            pointerDisabled->setBounds (100, 140, 80, 80);
            meter.setBounds (200, 140, 30, 100);
            on.setBounds (250, 140, 200, 60);
            off.setBounds (250, 210, 200, 60);
            button.setBounds (460, 140, 60, 24);
            setSize (530, 280);
        }
        void paint (juce::Graphics& g) override { g.fillAll (colours::black); }

        std::unique_ptr<juce::Slider> ringValue, ringName, ringOnly, ringDisabled, pointer, pointerDisabled;
        juce::Slider meter;
        juce::ToggleButton on { "LEGATO" }, off { "FILTER" };
        juce::TextButton button { "More" };
    } panel;
    const auto image = snapshot (panel);
    savePng (image, "lookandfeel-every-style");
    // Each ring's centre is black inside its ring.
    EXPECT_EQ (image.getPixelAt (70, 15 + 2), colours::black);
}
} // namespace
} // namespace kalto::test
