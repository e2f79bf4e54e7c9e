#include "editor/ConversionPanel.h"

#include "editor/Chevron.h"
#include "editor/EditorColours.h"
#include "editor/ShownValue.h"
#include "editor/kalto_graph.h"
#include "processor/KaltoAudioProcessor.h"

namespace
{
namespace colours = kalto::colours;

constexpr int pageWidth = 400, pageHeight = 280;

const juce::Rectangle<int> confidenceSliderBounds { 24, 16, 120, 120 };
const juce::Rectangle<int> gainSliderBounds { 24, 152, 120, 120 };
const juce::Rectangle<int> confidenceGraphBounds { 168, 16, 200, 120 };
const juce::Rectangle<int> dbGraphBounds { 168, 152, 200, 120 };
const juce::Rectangle<int> bendsToggleBounds { 168, 20, 200, 60 };
const juce::Rectangle<int> legatoToggleBounds { 168, 110, 200, 60 };
const juce::Rectangle<int> filterToggleBounds { 168, 200, 200, 60 };

// Knobs: no text box; the ring shows each knob's name above its value.
constexpr int unusedTextBoxWidth = 80, unusedTextBoxHeight = 20;
constexpr double confidenceMinimum = 0.01, confidenceMaximum = 1.5;
constexpr double gainMinimum = 0.01, gainMaximum = 0.99;
constexpr double knobInterval = 0.01;
constexpr double confidenceSkew = 0.6;
const juce::Colour confidenceFill { 0xffb0cb07 };
const juce::Colour confidenceOutline { 0xff31411b };
const juce::Colour gainFill { 0xffe71a61 };
const juce::Colour gainOutline { 0xff77144b };

// Graphs: peak strength from 0 to 2, level from -40 to -10 dB, the fill in
// the curve's hue at a quarter alpha; the level history starts at silence.
constexpr int graphPoints = 127;
constexpr float confidenceGraphTop = 2.0f, confidenceGraphBottom = 0.0f;
constexpr float dbGraphTop = -10.0f, dbGraphBottom = -40.0f;
constexpr float silenceDb = -60.0f;
constexpr float graphFillAlpha = 0x40 / 255.0f;

// Chevrons: left one pointing left, 45 pixels left of the middle; right one
// pointing right, 20 pixels from the right edge. Their hit strips run the
// whole height.
constexpr int leftChevronFromMiddle = 45;
constexpr int rightChevronFromEdge = 20;
constexpr float chevronHitHalfWidth = 15.0f;
constexpr float chevronHalfHeight = 15.0f;
constexpr float chevronDepth = 8.0f;

void configureKnob (juce::Slider& knob, const char* tooltip, double minimum, double maximum, juce::Colour fill,
                    juce::Colour outline)
{
    knob.setTooltip (juce::translate (tooltip));
    knob.setRange (minimum, maximum, knobInterval);
    knob.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    knob.setTextBoxStyle (juce::Slider::NoTextBox, false, unusedTextBoxWidth, unusedTextBoxHeight);
    // A white thumb selects the look and feel's ring.
    knob.setColour (juce::Slider::thumbColourId, colours::white);
    knob.setColour (juce::Slider::rotarySliderFillColourId, fill);
    knob.setColour (juce::Slider::rotarySliderOutlineColourId, outline);
}

void configureToggle (juce::ToggleButton& toggle, const char* tooltip)
{
    toggle.setTooltip (juce::translate (tooltip));
    toggle.setButtonText (juce::translate (toggle.getName()));
}

std::unique_ptr<kalto_graph> makeGraph (juce::Colour line, float top, float bottom)
{
    return std::make_unique<kalto_graph> (graphPoints, line, line.withAlpha (graphFillAlpha), colours::midGrey, top,
                                          bottom);
}
} // namespace

ConversionPanel::ConversionPanel (KaltoAudioProcessor& p) : processor (p)
{
    // Each child is added as soon as it exists, then set up.
    confidenceSlider = std::make_unique<juce::Slider> ("CONFIDENCE");
    addAndMakeVisible (*confidenceSlider);
    configureKnob (*confidenceSlider,
                   "Specifies the level of certainty before sending out a note. A higher value, yields more stable "
                   "results but increases latency.",
                   confidenceMinimum, confidenceMaximum, confidenceFill, confidenceOutline);
    confidenceSlider->addListener (this);
    confidenceSlider->setSkewFactor (confidenceSkew, false);

    gainSlider = std::make_unique<juce::Slider> ("GAIN");
    addAndMakeVisible (*gainSlider);
    configureKnob (*gainSlider,
                   "Controls how sensitive the tracker is when tracking notes. A higher value makes it more sensible "
                   "(but also too noise) while a high value makes it less sensitive.",
                   gainMinimum, gainMaximum, gainFill, gainOutline);
    gainSlider->addListener (this);

    confidenceGraph = makeGraph (confidenceFill, confidenceGraphTop, confidenceGraphBottom);
    addAndMakeVisible (*confidenceGraph);
    confidenceGraph->setName ("confidenceGraph");
    dbGraph = makeGraph (gainFill, dbGraphTop, dbGraphBottom);
    addAndMakeVisible (*dbGraph);
    dbGraph->setName ("dbGraph");

    bendsToggle = std::make_unique<juce::ToggleButton> ("BENDS");
    addAndMakeVisible (*bendsToggle);
    configureToggle (*bendsToggle, "Check this box in order to enable bends.");
    bendsToggle->addListener (this);
    legatoToggle = std::make_unique<juce::ToggleButton> ("LEGATO");
    addAndMakeVisible (*legatoToggle);
    configureToggle (*legatoToggle, "Check this box in order to enable legato.");
    legatoToggle->addListener (this);
    filterToggle = std::make_unique<juce::ToggleButton> ("FILTER");
    addAndMakeVisible (*filterToggle);
    configureToggle (*filterToggle, "Filter out the previous note before tracking the next. This increases latency "
                                    "but can make the tracker more robust when an old note is ringing.");
    filterToggle->addListener (this);

    // The toggle view first.
    bendsToggle->setVisible (true);
    filterToggle->setVisible (true);
    legatoToggle->setVisible (true);
    confidenceGraph->setVisible (false);
    dbGraph->setVisible (false);

    setSize (pageWidth, pageHeight);
    updateControls();

    showConfidenceLine();
    for (int i = 0; i < graphPoints; ++i)
        dbGraph->history->push (silenceDb);
    {
        auto tracker = processor.readTracker();
        dbGraph->thresholds->add (tracker->noteOnFloorDb);
        dbGraph->thresholds->add (tracker->noteOnFloorDb + tracker->velocitySpanDb);
    }

    const auto width = getWidth();
    leftChevronX = (float) (width / 2 - leftChevronFromMiddle);
    leftChevronSize = chevronHitHalfWidth;
    rightChevronX = (float) (width - rightChevronFromEdge);
    rightChevronSize = chevronHitHalfWidth;
}

ConversionPanel::~ConversionPanel()
{
    confidenceSlider.reset();
    gainSlider.reset();
    confidenceGraph.reset();
    dbGraph.reset();
    filterToggle.reset();
    legatoToggle.reset();
    bendsToggle.reset();
}

void ConversionPanel::updateControls()
{
    // The sliders clamp and snap what they are given; the notification, if
    // the shown value changed, writes the shown value back.
    kalto::showValue (*gainSlider, 1.0f - processor.readTracker()->gain.load());
    kalto::showValue (*confidenceSlider, processor.readTracker()->confidence.load());
    bendsToggle->setToggleState (processor.readTracker()->bends.load(), juce::dontSendNotification);
    legatoToggle->setToggleState (processor.readTracker()->legato.load(), juce::dontSendNotification);
    filterToggle->setToggleState (processor.readTracker()->convFilter.load(), juce::dontSendNotification);
}

void ConversionPanel::refresh()
{
    updateControls();
    repaint();
}

void ConversionPanel::pushGraphValues (float peakStrength, float levelDb)
{
    confidenceGraph->history->push (peakStrength);
    dbGraph->history->push (levelDb);
}

void ConversionPanel::showConfidenceLine()
{
    confidenceGraph->thresholds->clearQuick();
    confidenceGraph->thresholds->minimiseStorageOverheads();
    confidenceGraph->thresholds->add ((float) kalto::shownOn (*confidenceSlider, processor.readTracker()->confidence.load()));
}

void ConversionPanel::sliderValueChanged (juce::Slider* slider)
{
    if (slider == confidenceSlider.get())
    {
        const auto value = (float) confidenceSlider->getValue();
        processor.readTracker()->confidence = value;
        *processor.floatParameter (kalto::confidenceIndex) = value;
        showConfidenceLine();
    }
    else if (slider == gainSlider.get())
    {
        const auto value = (float) (1.0 - gainSlider->getValue());
        processor.readTracker()->gain = value;
        *processor.floatParameter (kalto::gainIndex) = value;
    }
}

void ConversionPanel::buttonClicked (juce::Button* button)
{
    // A toggle has flipped its own state before it tells us.
    if (button == bendsToggle.get())
    {
        processor.readTracker()->bends = bendsToggle->getToggleState();
        *processor.boolParameter (kalto::bendsIndex) = bendsToggle->getToggleState();
    }
    if (button == legatoToggle.get())
    {
        processor.readTracker()->legato = legatoToggle->getToggleState();
        *processor.boolParameter (kalto::legatoIndex) = legatoToggle->getToggleState();
    }
    if (button == filterToggle.get())
    {
        processor.readTracker()->convFilter = filterToggle->getToggleState();
        *processor.boolParameter (kalto::convFilterIndex) = filterToggle->getToggleState();
    }
}

void ConversionPanel::changeListenerCallback (juce::ChangeBroadcaster*)
{
    repaint();
}

void ConversionPanel::mouseDown (const juce::MouseEvent& e)
{
    // Only presses on the page's own surface come here; the strips run the
    // whole height and test x alone.
    const auto x = (float) e.getMouseDownX();
    const bool onLeft = leftChevronX - leftChevronSize < x && x < leftChevronX + leftChevronSize;
    const bool onRight = rightChevronX < x && x < rightChevronX + 2.0f * rightChevronSize;
    if (! onLeft && ! onRight)
        return;

    for (auto* child : std::initializer_list<juce::Component*> { confidenceGraph.get(), dbGraph.get(), bendsToggle.get(),
                                                                filterToggle.get(), legatoToggle.get() })
        child->setVisible (! child->isVisible());
}

void ConversionPanel::paint (juce::Graphics& g)
{
    const auto width = getWidth();
    const auto yc = (float) (getHeight() / 2);
    g.setColour (colours::midGrey);

    const auto xr = (float) (width - rightChevronFromEdge);
    kalto::drawChevron (g, { xr, yc - chevronHalfHeight }, { xr + chevronDepth, yc }, { xr, yc + chevronHalfHeight });

    const auto xl = (float) (width / 2 - leftChevronFromMiddle);
    kalto::drawChevron (g, { xl, yc - chevronHalfHeight }, { xl - chevronDepth, yc }, { xl, yc + chevronHalfHeight });
}

void ConversionPanel::resized()
{
    confidenceSlider->setBounds (confidenceSliderBounds);
    gainSlider->setBounds (gainSliderBounds);
    confidenceGraph->setBounds (confidenceGraphBounds);
    dbGraph->setBounds (dbGraphBounds);
    bendsToggle->setBounds (bendsToggleBounds);
    legatoToggle->setBounds (legatoToggleBounds);
    filterToggle->setBounds (filterToggleBounds);
}
