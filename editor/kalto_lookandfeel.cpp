#include "editor/kalto_lookandfeel.h"

#include "editor/EditorColours.h"

#include <KaltoFont.h>

#include <mutex>

namespace
{
namespace colours = kalto::colours;

constexpr float menuFontHeight = 22.0f;
constexpr float largestButtonFont = 15.0f;
constexpr float buttonFontPerPixel = 1.2f;

// Ring style: the ring's inner edge at nine tenths of its radius; the value
// alone in half the height, or the name in a fifth above the value in a quarter.
constexpr float ringThickness = 0.9f;
constexpr double valueAloneHeight = 0.5;
constexpr int nameHeightDivisor = 5;
constexpr double valueUnderNameHeight = 0.25;
constexpr double textRaise = 0.4; // of the text height, above the centre
constexpr double nameRaise = 1.5; // of the name height, above the centre
constexpr double textDrop = 0.2;  // of the radius, below the centre

// Pointer style: a thinner track two pixels inside the bounds and a bar from
// the rim to just below the centre.
constexpr int knobInset = 2;
constexpr float knobThickness = 0.7f;
constexpr float pointerUnit = 0.2f; // of the radius
constexpr double pointerHalfWidth = 0.65;
constexpr float pointerLength = 5.65f;

constexpr int toggleFontDivisor = 3;
constexpr int toggleTextIndentDivisor = 10;

bool isOpaqueWhite (const juce::Colour& c)
{
    return c.toString().equalsIgnoreCase ("ffffffff");
}

} // namespace

kalto_lookandfeel::kalto_lookandfeel()
    : embeddedTypeface (
        juce::Typeface::createSystemTypefaceFor (KaltoFont::DenseRegular_ttf, (size_t) KaltoFont::DenseRegular_ttfSize))
{
    setColour (juce::PopupMenu::highlightedBackgroundColourId, colours::midGrey);
    setColour (juce::PopupMenu::backgroundColourId, colours::darkGrey);
    setColour (juce::ComboBox::textColourId, colours::black);
    setColour (juce::PopupMenu::textColourId, colours::white);
    setColour (juce::ComboBox::backgroundColourId, colours::darkGrey);
    setColour (juce::ComboBox::outlineColourId, colours::darkGrey);
    setColour (juce::ComboBox::buttonColourId, colours::darkGrey);
    setColour (juce::TooltipWindow::backgroundColourId, colours::black);
    setColour (juce::TooltipWindow::textColourId, colours::white);
    setColour (juce::AlertWindow::backgroundColourId, colours::black);
    setColour (juce::AlertWindow::textColourId, colours::white);
    // The framework draws a focused combo box's frame in a colour of its own,
    // near white; in the box's grey it stays as unseen as the boxes' outlines.
    setColour (juce::ComboBox::focusedOutlineColourId, colours::darkGrey);
}

kalto_lookandfeel::~kalto_lookandfeel() = default;

std::shared_ptr<kalto_lookandfeel> kalto_lookandfeel::acquireShared()
{
    static std::mutex mutex;
    static std::weak_ptr<kalto_lookandfeel> shared;

    const std::lock_guard<std::mutex> lock (mutex);
    auto instance = shared.lock();
    if (instance == nullptr)
    {
        instance = std::shared_ptr<kalto_lookandfeel> (new kalto_lookandfeel(), [] (kalto_lookandfeel* lf) {
            // The framework keeps only a weak reference: hand the default back
            // before the object goes.
            if (&juce::LookAndFeel::getDefaultLookAndFeel() == lf)
                juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
            delete lf;
        });
        shared = instance;
    }
    juce::LookAndFeel::setDefaultLookAndFeel (instance.get());
    return instance;
}

juce::Typeface::Ptr kalto_lookandfeel::getTypefaceForFont (const juce::Font& font)
{
    if (embeddedTypeface != nullptr)
        return embeddedTypeface;
    return juce::LookAndFeel_V3::getTypefaceForFont (font);
}

juce::Font kalto_lookandfeel::getComboBoxFont (juce::ComboBox&)
{
    juce::Font font;
    font.setHeight (menuFontHeight);
    return font;
}

juce::Font kalto_lookandfeel::getPopupMenuFont()
{
    juce::Font font;
    font.setHeight (menuFontHeight);
    return font;
}

juce::Font kalto_lookandfeel::getTextButtonFont (juce::TextButton&, int buttonHeight)
{
    return juce::Font (juce::jmin ((float) buttonHeight * buttonFontPerPixel, largestButtonFont), juce::Font::plain);
}

void kalto_lookandfeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                              bool isMouseOverButton, bool isButtonDown)
{
    juce::Path box;
    box.addRectangle (0.0f, 0.0f, (float) button.getWidth(), (float) button.getHeight());
    g.setColour (isButtonDown || isMouseOverButton ? colours::white : colours::darkGrey);
    g.fillPath (box);
}

void kalto_lookandfeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    const auto width = button.getWidth(), height = button.getHeight();
    juce::Path box;
    box.addRectangle (0.0f, 0.0f, (float) width, (float) height);
    g.setFont (kalto_lookandfeel::font ((float) height / (float) toggleFontDivisor));

    const bool on = button.getToggleState();
    g.setColour (on ? colours::white : colours::midGrey);
    g.fillPath (box);
    g.setColour (on ? colours::black : colours::white);
    g.drawText (juce::translate (button.getName()), width / toggleTextIndentDivisor, 0, width, height,
                juce::Justification::centredLeft, true);
}

void kalto_lookandfeel::drawLinearSlider (juce::Graphics& g, int, int, int, int, float, float, float,
                                          juce::Slider::SliderStyle, juce::Slider& slider)
{
    const auto width = (float) slider.getWidth(), height = (float) slider.getHeight();
    g.setColour (colours::orangeTranslucent);
    g.fillRect (0.0f, 0.0f, width, height);

    // Linear in the value, whatever skew moves the knob.
    const double fraction = (slider.getValue() - slider.getMinimum()) / (slider.getMaximum() - slider.getMinimum());
    const auto barHeight = (float) (slider.getHeight() * fraction);
    g.setColour (colours::orange);
    g.fillRect (0.0f, height - barHeight, width, barHeight);
}

void kalto_lookandfeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                          float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider)
{
    if (isOpaqueWhite (slider.findColour (juce::Slider::thumbColourId, false)))
        drawRotaryRing (g, x, y, width, height, sliderPos, slider);
    else
        drawRotaryKnob (g, x, y, width, height, sliderPos, rotaryStartAngle, rotaryEndAngle, slider);
}

void kalto_lookandfeel::drawRotaryRing (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                        juce::Slider& slider)
{
    const auto r = (float) juce::jmin (width / 2, height / 2);
    const auto centreX = (float) x + 0.5f * (float) width;
    const auto centreY = (float) y + 0.5f * (float) height;
    const auto rx = centreX - r, ry = centreY - r;

    // The ring starts at twelve o'clock and ignores the slider's rotary angles,
    // so the value arc closes into a full ring at the maximum.
    g.setColour (slider.findColour (juce::Slider::rotarySliderOutlineColourId, false));
    juce::Path ring;
    ring.addPieSegment (rx, ry, 2.0f * r, 2.0f * r, 0.0f, juce::MathConstants<float>::twoPi, ringThickness);
    ring.closeSubPath();
    g.fillPath (ring);

    g.setColour (slider.isEnabled() ? slider.findColour (juce::Slider::rotarySliderFillColourId, false)
                                    : colours::disabled);
    juce::Path value;
    value.addPieSegment (rx, ry, 2.0f * r, 2.0f * r, 0.0f,
                         (float) ((double) sliderPos * juce::MathConstants<double>::twoPi), ringThickness);
    g.fillPath (value);

    g.setColour (colours::white);
    const auto valueText = juce::translate (juce::String (slider.getValue()));
    const auto left = (int) rx;
    const auto boxWidth = (int) (2.0 * (double) r);

    if (isOpaqueWhite (slider.findColour (juce::Slider::textBoxOutlineColourId, false)))
    {
        const auto fh = (float) (valueAloneHeight * height);
        g.setFont (kalto_lookandfeel::font (fh));
        g.drawText (valueText, left, (int) ((double) centreY - textRaise * (double) fh), boxWidth, (int) fh,
                    juce::Justification::centred, true);
        return;
    }

    const auto nh = (float) (height / nameHeightDivisor);
    g.setFont (kalto_lookandfeel::font (nh));
    g.drawText (juce::translate (slider.getName()), left,
                (int) ((double) centreY - nameRaise * (double) nh + textDrop * (double) r), boxWidth, (int) nh,
                juce::Justification::centred, true);

    const auto vh = (float) (valueUnderNameHeight * height);
    g.setFont (kalto_lookandfeel::font (vh));
    g.drawText (valueText, left, (int) ((double) centreY - textRaise * (double) vh + textDrop * (double) r), boxWidth,
                (int) vh, juce::Justification::centred, true);
}

void kalto_lookandfeel::drawRotaryKnob (juce::Graphics& g, int x, int y, int width, int height, float sliderPos,
                                        float startAngle, float endAngle, juce::Slider& slider)
{
    const auto r = (float) (juce::jmin (width / 2, height / 2) - knobInset);
    const auto centreX = (float) x + 0.5f * (float) width;
    const auto centreY = (float) y + 0.5f * (float) height;
    const auto rx = centreX - r, ry = centreY - r;

    g.setColour (colours::disabled);
    juce::Path track;
    track.addPieSegment (rx, ry, 2.0f * r, 2.0f * r, startAngle, endAngle, knobThickness);
    track.closeSubPath();
    g.fillPath (track);

    g.setColour (slider.isEnabled() ? colours::orange : colours::disabled);
    const auto angle = startAngle + sliderPos * (endAngle - startAngle);
    juce::Path value;
    value.addPieSegment (rx, ry, 2.0f * r, 2.0f * r, startAngle, angle, knobThickness);
    g.fillPath (value);

    // A bar from the rim, r above the centre, to just below it, turned to the angle.
    const auto t = pointerUnit * r;
    juce::Path pointer;
    pointer.addRectangle ((float) (-pointerHalfWidth * (double) t), (float) (pointerHalfWidth * (double) t),
                          2.0f * (float) pointerHalfWidth * t, -pointerLength * t);
    g.fillPath (pointer, juce::AffineTransform::rotation (angle).translated (centreX, centreY));
}
