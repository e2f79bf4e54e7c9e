#include "editor/MidiPanel.h"

#include "editor/Controls.h"
#include "editor/EditorColours.h"
#include "editor/EditorLayout.h"
#include "editor/ShownValue.h"
#include "editor/kalto_lookandfeel.h"
#include "engine/AutoTuneKeys.h"
#include "engine/MidiStatus.h"
#include "processor/KaltoAudioProcessor.h"

namespace
{
namespace colours = kalto::colours;
using kalto::controls::addChild;

// Top band: the three large knobs. Middle band: key above mode, port above
// channel. Bottom band: the five harmony knobs, chord0 leftmost.
const juce::Rectangle<int> transposeBounds { 24, 32, 96, 96 };
const juce::Rectangle<int> pitchBendRangeBounds { 152, 32, 96, 96 };
const juce::Rectangle<int> velocityLimitBounds { 280, 32, 96, 96 };
const juce::Rectangle<int> keyBoxBounds { 84, 152, 112, 24 };
const juce::Rectangle<int> modeBoxBounds { 84, 184, 112, 24 };
const juce::Rectangle<int> portBoxBounds { 274, 152, 112, 24 };
const juce::Rectangle<int> channelBoxBounds { 274, 184, 112, 24 };
const std::array<juce::Rectangle<int>, kalto::numChordParameters> chordBounds { {
    { 78, 224, 55, 48 },
    { 145, 224, 55, 48 },
    { 209, 224, 55, 48 },
    { 276, 224, 55, 48 },
    { 339, 224, 55, 48 },
} };

const struct
{
    const char* text;
    juce::Rectangle<int> area;
} captions[] = {
    { "EXT. OUT", { 205, 149, 59, 29 } },
    { "HARMONY", { 0, 233, 75, 25 } },
    { "AUTO TUNE", { 0, 149, 75, 27 } },
};
constexpr float captionFontHeight = 27.0f;

// The outline of the three large knobs' rings.
const juce::Colour knobOutline { 0xff424242 };

constexpr int semitoneRange = 36; // either way, for harmony and transpose
constexpr double wholeSteps = 1.0;
constexpr double pitchBendRangeMaximum = 2.0;
constexpr double pitchBendRangeStep = 0.01;
constexpr int lowestVelocityLimit = 1, highestVelocityLimit = 127;

// The key and mode lists' ids are the parameters' values, counted from 1 so
// that 0 stands for no valid selection; the channel list's ids are the
// channels.
namespace autoTune = kalto::autoTune;

// "No Output" comes first, so device i of the MIDI stage's list has id i + 2
// and id - 2 is the index the stage takes, -1 for none.
constexpr int noOutputId = 1;
constexpr int firstDeviceId = 2;

} // namespace

MidiPanel::MidiPanel (KaltoAudioProcessor& p) : processor (p)
{
    // Each control is added as soon as it exists, then set up.
    midiPortBox = addBox ("midiPortBox");
    chordSlider0 = addHarmonyKnob ("chordSlider0");
    chordSlider1 = addHarmonyKnob ("chordSlider1");
    chordSlider2 = addHarmonyKnob ("chordSlider2");
    chordSlider3 = addHarmonyKnob ("chordSlider3");
    chordSlider4 = addHarmonyKnob ("chordSlider4");
    autoTuneKeyBox = addBox ("autoTuneKeyBox");
    pitchBendRangeSlider = addKnob ("PB RANGE", 0.0, pitchBendRangeMaximum, pitchBendRangeStep);
    transposeSlider = addKnob ("TRANSPOSE", -semitoneRange, semitoneRange, wholeSteps);
    velocityLimitSlider = addKnob ("VELOCITY LIMIT", lowestVelocityLimit, highestVelocityLimit, wholeSteps);
    autoTuneModeBox = addBox ("autoTuneModeBox");
    channelSelectBox = addBox ("channelSelectBox");

    setTooltips();
    fillLists();
    loadKnobs();
    setSize (kalto::layout::pageWidth, kalto::layout::pageHeight);
}

std::unique_ptr<juce::ComboBox> MidiPanel::addBox (const char* name)
{
    auto box = addChild<juce::ComboBox> (*this, name);
    kalto::controls::setUpComboBox (*box, *this);
    return box;
}

std::unique_ptr<juce::Slider> MidiPanel::addKnob (const char* name, double minimum, double maximum, double interval)
{
    auto knob = addChild<juce::Slider> (*this, name);
    kalto::controls::setUpKnob (*knob, minimum, maximum, interval, colours::orange, knobOutline, *this);
    return knob;
}

// A white text-box outline makes the ring show the value alone, without the name.
std::unique_ptr<juce::Slider> MidiPanel::addHarmonyKnob (const char* name)
{
    auto knob = addChild<juce::Slider> (*this, name);
    kalto::controls::setUpKnob (*knob, -semitoneRange, semitoneRange, wholeSteps, colours::green, colours::darkGreen,
                                *this);
    knob->setColour (juce::Slider::textBoxOutlineColourId, colours::white);
    return knob;
}

void MidiPanel::setTooltips()
{
    autoTuneKeyBox->setTooltip ("Specifies the root key for the autotune");
    autoTuneModeBox->setTooltip ("Specifies which scale that shall be used when harmonizing in auto tune mode");
    channelSelectBox->setTooltip ("Specifies which MIDI channel to send out to");
    midiPortBox->setTooltip ("Specifies which external MIDI port to send out to");
    pitchBendRangeSlider->setTooltip ("Specifies the output range for the pitch bend (half notes)");
    velocityLimitSlider->setTooltip ("Specifies which velocity to limit the output to");
    transposeSlider->setTooltip ("Is used to transpose the output MIDI a number half tones up or down");
    for (auto* slider : chordSliders())
        slider->setTooltip ("Slide to add a relative note to the harmonized chord");
}

// Each list is filled, then loaded; the harmony knobs are loaded before the
// port box, which selects nothing.
void MidiPanel::fillLists()
{
    int id = autoTune::firstId;
    for (const auto* name : autoTune::keyNames)
        autoTuneKeyBox->addItem (name, id++);
    loadKey();

    id = autoTune::firstId;
    for (const auto* name : autoTune::modeNames)
        autoTuneModeBox->addItem (name, id++);
    loadMode();

    channelSelectBox->setTextWhenNothingSelected ("Select channel..");
    for (int channel = kalto::midi::firstChannel; channel <= kalto::midi::lastChannel; ++channel)
        channelSelectBox->addItem (juce::String::formatted ("Ch. %d", channel), channel);
    loadChannel();

    loadHarmony();

    // No port is selected: the stage's open port, if any, is not known here.
    midiPortBox->addItem ("No Output", noOutputId);
    id = firstDeviceId;
    for (const auto& name : processor.getMidiBackend().deviceNames)
        midiPortBox->addItem (name, id++);
    midiPortBox->setTextWhenNothingSelected ("Select port..");
}

MidiPanel::~MidiPanel()
{
    midiPortBox.reset();
    chordSlider0.reset();
    chordSlider1.reset();
    chordSlider2.reset();
    chordSlider3.reset();
    chordSlider4.reset();
    autoTuneKeyBox.reset();
    pitchBendRangeSlider.reset();
    transposeSlider.reset();
    velocityLimitSlider.reset();
    autoTuneModeBox.reset();
    channelSelectBox.reset();
}

std::array<juce::Slider*, kalto::numChordParameters> MidiPanel::chordSliders() const
{
    return { chordSlider0.get(), chordSlider1.get(), chordSlider2.get(), chordSlider3.get(), chordSlider4.get() };
}

// Loads notify asynchronously: shortly after, the callbacks write the shown
// (snapped, clamped) values back into the parameters.
void MidiPanel::loadKey()
{
    autoTuneKeyBox->setSelectedId (processor.intParameter (kalto::keyIndex)->get(), juce::sendNotificationAsync);
    // The selection counts at once; only its notification comes later.
    updateHarmonyEnablement();
}

void MidiPanel::loadMode()
{
    autoTuneModeBox->setSelectedId (processor.intParameter (kalto::modeIndex)->get(), juce::sendNotificationAsync);
}

void MidiPanel::loadChannel()
{
    channelSelectBox->setSelectedId (processor.intParameter (kalto::portIndex)->get(), juce::sendNotificationAsync);
}

void MidiPanel::loadHarmony()
{
    const auto sliders = chordSliders();
    for (size_t i = 0; i < sliders.size(); ++i)
        kalto::showValue (*sliders[i], processor.intParameter (kalto::chord0Index + (int) i)->get());
}

void MidiPanel::loadKnobs()
{
    kalto::showValue (*velocityLimitSlider, processor.intParameter (kalto::velocityLimitIndex)->get());
    kalto::showValue (*pitchBendRangeSlider, processor.floatParameter (kalto::pitchBendRangeIndex)->get());
    kalto::showValue (*transposeSlider, processor.intParameter (kalto::transposeIndex)->get());
}

void MidiPanel::updateControls()
{
    loadKey();
    loadMode();
    loadChannel();
    loadHarmony();
    loadKnobs();
}

void MidiPanel::refresh()
{
    updateControls();
    repaint();
}

void MidiPanel::updateHarmonyEnablement()
{
    // Any other answer, 0 for no valid key included, leaves them on.
    const bool on = autoTuneKeyBox->getSelectedId() != autoTune::keyOff;
    for (auto* slider : chordSliders())
        slider->setEnabled (on);
}

void MidiPanel::paint (juce::Graphics& g)
{
    for (const auto& caption : captions)
    {
        g.setColour (colours::white);
        g.setFont (kalto_lookandfeel::font (captionFontHeight));
        g.drawText (juce::translate (caption.text), caption.area, juce::Justification::centred, true);
    }
}

void MidiPanel::resized()
{
    midiPortBox->setBounds (portBoxBounds);
    const auto sliders = chordSliders();
    for (size_t i = 0; i < sliders.size(); ++i)
        sliders[i]->setBounds (chordBounds[i]);
    autoTuneKeyBox->setBounds (keyBoxBounds);
    pitchBendRangeSlider->setBounds (pitchBendRangeBounds);
    transposeSlider->setBounds (transposeBounds);
    velocityLimitSlider->setBounds (velocityLimitBounds);
    autoTuneModeBox->setBounds (modeBoxBounds);
    channelSelectBox->setBounds (channelBoxBounds);
}

// The parameters' assignments tell the host only of a value that differs.
void MidiPanel::comboBoxChanged (juce::ComboBox* box)
{
    if (box == midiPortBox.get())
    {
        processor.getMidiBackend().setOutputDevice (midiPortBox->getSelectedId() - firstDeviceId);
    }
    else if (box == autoTuneKeyBox.get())
    {
        updateHarmonyEnablement();
        *processor.intParameter (kalto::keyIndex) = autoTuneKeyBox->getSelectedId();
    }
    else if (box == autoTuneModeBox.get())
    {
        *processor.intParameter (kalto::modeIndex) = autoTuneModeBox->getSelectedId();
    }
    else if (box == channelSelectBox.get())
    {
        *processor.intParameter (kalto::portIndex) = channelSelectBox->getSelectedId();
    }
}

void MidiPanel::sliderValueChanged (juce::Slider* slider)
{
    const auto sliders = chordSliders();
    for (size_t i = 0; i < sliders.size(); ++i)
        if (slider == sliders[i])
            *processor.intParameter (kalto::chord0Index + (int) i) = (int) slider->getValue();

    if (slider == pitchBendRangeSlider.get())
        *processor.floatParameter (kalto::pitchBendRangeIndex) = (float) slider->getValue();
    else if (slider == transposeSlider.get())
        *processor.intParameter (kalto::transposeIndex) = (int) slider->getValue();
    else if (slider == velocityLimitSlider.get())
        *processor.intParameter (kalto::velocityLimitIndex) = (int) slider->getValue();

    repaint();
}
