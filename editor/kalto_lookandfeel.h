#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The editor's one look and feel: the embedded "Dense" typeface for every
// font, a dark grey and black scheme for combo boxes, menus, tooltips and
// alerts, ring and pointer knobs, a bar meter for linear sliders, flat button
// backgrounds and toggles drawn as boxes with their component name.
//
// Pages pick a look by colour: an opaque white thumb makes a rotary slider a
// ring, and an opaque white text-box outline makes the ring show only its value.
class kalto_lookandfeel : public juce::LookAndFeel_V3
{
public:
    kalto_lookandfeel();
    ~kalto_lookandfeel() override;

    // The instance that every living processor holds, made and installed as
    // the framework's default by the first and uninstalled when the last lets
    // go, so no open editor loses its look while another plug-in goes away.
    // Message thread only, as processors are made and destroyed there.
    static std::shared_ptr<kalto_lookandfeel> acquireShared();

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;
    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool isMouseOverButton, bool isButtonDown) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool isMouseOverButton, bool isButtonDown) override;
    juce::Font getPopupMenuFont() override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void drawLinearSlider (juce::Graphics&, int x, int y, int width, int height, float sliderPos, float minSliderPos,
                           float maxSliderPos, juce::Slider::SliderStyle, juce::Slider&) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;

    // The embedded typeface's family name, which every font the editor asks
    // for resolves to, and a plain font of it at a height.
    static constexpr const char* typefaceName = "Dense";
    static juce::Font font (float height) { return juce::Font (typefaceName, height, juce::Font::plain); }

    // The typeface made from the embedded font; null if the data would not make one.
    const juce::Typeface::Ptr& getEmbeddedTypeface() const { return embeddedTypeface; }

private:
    static void drawRotaryRing (juce::Graphics&, int x, int y, int width, int height, float sliderPos, juce::Slider&);
    static void drawRotaryKnob (juce::Graphics&, int x, int y, int width, int height, float sliderPos, float startAngle,
                                float endAngle, juce::Slider&);

    juce::Typeface::Ptr embeddedTypeface;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (kalto_lookandfeel)
};
