#include "editor/ConversionPanel.h"

#include "editor/Chevron.h"
#include "editor/Controls.h"
#include "editor/EditorColours.h"
#include "editor/EditorLayout.h"
#include "editor/ShownValue.h"
#include "editor/kalto_graph.h"
#include "processor/KaltoAudioProcessor.h"

namespace
{
namespace colours = kalto::colours;
using kalto::controls::addChild;

const juce::Rectangle<int> confidenceSliderBounds { 24, 16, 120, 120 };
const juce::Rectangle<int> gainSliderBounds { 24, 152, 120, 120 };
const juce::Rectangle<int> confidenceGraphBounds { 168, 16, 200, 120 };
const juce::Rectangle<int> dbGraphBounds { 168, 152, 200, 120 };
const juce::Rectangle<int> bendsToggleBounds { 168, 20, 200, 60 };
const juce::Rectangle<int> legatoToggleBounds { 168, 110, 200, 60 };
const juce::Rectangle<int> filterToggleBounds { 168, 200, 200, 60 };

// Knobs: the ring shows each knob's name above its value.
constexpr double confidenceMinimum = 0.01, confidenceMaximum = 1.5;
constexpr double gainMinimum = 0.01, gainMaximum = 0.99;
constexpr double knobInterval = 0.01;
constexpr double confidenceSkew = 0.6;
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

const char* const confidenceTooltip =
    "Specifies the level of certainty before sending out a note. A higher value, yields "
    "more stable results but increases latency.";
const char* const gainTooltip =
    "Controls how sensitive the tracker is when tracking notes. A higher value makes it more "
    "sensible (but also too noise) while a high value makes it less sensitive.";
const char* const bendsTooltip = "Check this box in order to enable bends.";
const char* const legatoTooltip = "Check this box in order to enable legato.";
const char* const filterTooltip =
    "Filter out the previous note before tracking the next. This increases latency but can "
    "make the tracker more robust when an old note is ringing.";
} // namespace

ConversionPanel::ConversionPanel (KaltoAudioProcessor& p) : processor (p)
{
    // Each child is added as soon as it exists, then set up.
    addKnobs();
    addGraphs();
    addToggles();

    // The toggle view first.
    bendsToggle->setVisible (true);
    filterToggle->setVisible (true);
    legatoToggle->setVisible (true);
    confidenceGraph->setVisible (false);
    dbGraph->setVisible (false);

    setSize (kalto::layout::pageWidth, kalto::layout::pageHeight);
    updateControls();
    startGraphs();

    const auto width = getWidth();
    leftChevronX = (float) (width / 2 - leftChevronFromMiddle);
    leftChevronSize = chevronHitHalfWidth;
    rightChevronX = (float) (width - rightChevronFromEdge);
    rightChevronSize = chevronHitHalfWidth;
}

void ConversionPanel::addKnobs()
{
    confidenceSlider = addChild<juce::Slider> (*this, "CONFIDENCE");
    confidenceSlider->setTooltip (juce::translate (confidenceTooltip));
    kalto::controls::setUpKnob (*confidenceSlider, confidenceMinimum, confidenceMaximum, knobInterval, colours::green,
                                colours::darkGreen, *this);
    confidenceSlider->setSkewFactor (confidenceSkew, false);

    gainSlider = addChild<juce::Slider> (*this, "GAIN");
    gainSlider->setTooltip (juce::translate (gainTooltip));
    kalto::controls::setUpKnob (*gainSlider, gainMinimum, gainMaximum, knobInterval, colours::crimson, gainOutline,
                                *this);
}

// Peak strength and level in the knobs' colours, the fill in the same hue.
void ConversionPanel::addGraphs()
{
    const auto graph = [this] (const char* name, juce::Colour line, float top, float bottom) {
        return addChild<kalto_graph> (*this, name, graphPoints, line, line.withAlpha (graphFillAlpha), colours::midGrey,
                                      top, bottom);
    };
    confidenceGraph = graph ("confidenceGraph", colours::green, confidenceGraphTop, confidenceGraphBottom);
    dbGraph = graph ("dbGraph", colours::crimson, dbGraphTop, dbGraphBottom);
}

void ConversionPanel::addToggles()
{
    const auto toggle = [this] (const char* name, const char* tooltip) {
        auto button = addChild<juce::ToggleButton> (*this, name);
        button->setTooltip (juce::translate (tooltip));
        button->setButtonText (juce::translate (button->getName()));
        button->addListener (this);
        return button;
    };
    bendsToggle = toggle ("BENDS", bendsTooltip);
    legatoToggle = toggle ("LEGATO", legatoTooltip);
    filterToggle = toggle ("FILTER", filterTooltip);
}

// The confidence line at the threshold; the level history from silence,
// with its lines at the note-on floor and at the floor plus the velocity span.
void ConversionPanel::startGraphs()
{
    showConfidenceLine();
    for (int i = 0; i < graphPoints; ++i)
        dbGraph->history->push (silenceDb);
    auto tracker = processor.readTracker();
    dbGraph->thresholds->add (tracker->noteOnFloorDb);
    dbGraph->thresholds->add (tracker->noteOnFloorDb + tracker->velocitySpanDb);
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
    confidenceGraph->thresholds->add (
        (float) kalto::shownOn (*confidenceSlider, processor.readTracker()->confidence.load()));
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
    const struct
    {
        juce::ToggleButton* toggle;
        std::atomic<bool> kalto::PitchTracker::*setting;
        int parameter;
    } toggles[] = {
        { bendsToggle.get(), &kalto::PitchTracker::bends, kalto::bendsIndex },
        { legatoToggle.get(), &kalto::PitchTracker::legato, kalto::legatoIndex },
        { filterToggle.get(), &kalto::PitchTracker::convFilter, kalto::convFilterIndex },
    };
    for (const auto& t : toggles)
        if (button == t.toggle)
        {
            const bool on = t.toggle->getToggleState();
            processor.readTracker().get()->*t.setting = on;
            *processor.boolParameter (t.parameter) = on;
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

    for (auto* child : std::initializer_list<juce::Component*> {
             confidenceGraph.get(), dbGraph.get(), bendsToggle.get(), filterToggle.get(), legatoToggle.get() })
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
