// The CONVERSION page on a real processor: what it shows of the tracker, what
// it writes back and what of that the host hears, the chevrons' view flip,
// the toggles, and the two history graphs.

#include "tests/editor/EditorFixture.h"
#include "tests/engine/Signals.h"
#include "tests/processor/ProcessorFixture.h"

#include "editor/ConversionPanel.h"
#include "editor/EditorColours.h"
#include "editor/kalto_graph.h"

#include <cmath>
#include <limits>

namespace kalto::test
{
namespace
{
using Page = PageOnBlack<ConversionPanel>;

bool graphView (const ConversionPanel& page)
{
    const bool graphs = page.confidenceGraph->isVisible();
    // The two groups are always complementary.
    EXPECT_EQ (page.dbGraph->isVisible(), graphs);
    for (auto* toggle : { page.bendsToggle.get(), page.legatoToggle.get(), page.filterToggle.get() })
        EXPECT_EQ (toggle->isVisible(), ! graphs);
    return graphs;
}

using ConversionPage = ProcessorTest;

TEST_F (ConversionPage, ShowsTheTrackerAndWritesBackOnlyWhatHadToBeSnapped)
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const struct
    {
        const char* name;
        float confidence, gain; // the tracker's, through its parameters
        double shownConfidence, shownGain;
        float writtenConfidence, writtenGain;
        int confidenceChanges, gainChanges; // what the host hears
    } cases[] = {
        { "the defaults come back unchanged", 0.78f, 0.23f, 0.78, 0.77, 0.78f, 0.23f, 0, 0 },
        { "above the knob's range: clamped to 1.5", 3.0f, 0.23f, 1.5, 0.77, 1.5f, 0.23f, 1, 0 },
        { "off the grid: snapped down", 0.783f, 0.23f, 0.78, 0.77, 0.78f, 0.23f, 1, 0 },
        { "off the grid: snapped up", 0.785f, 0.23f, 0.79, 0.77, 0.79f, 0.23f, 1, 0 },
        { "a gain whose complement is off the grid", 0.78f, 0.234f, 0.78, 0.77, 0.78f, 0.23f, 0, 1 },
        { "the knobs' minimum", 0.01f, 0.99f, 0.01, 0.01, 0.01f, 0.99f, 0, 0 },
        // No value at all: shown at the knobs' start, and left as it is.
        { "no number", nan, nan, 0.01, 0.01, nan, nan, 0, 0 },
    };
    // The same float, a NaN included; the confidence line lies where the knob shows.
    const auto same = [] (float a, float b) { return a == b || (std::isnan (a) && std::isnan (b)); };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto& p = make();
        set (p.floatParameter (kalto::confidenceIndex), c.confidence);
        set (p.floatParameter (kalto::gainIndex), c.gain);
        p.updateTrackerSettings();
        HostChanges host (p);

        Page page (p);
        EXPECT_DOUBLE_EQ (page.panel.confidenceSlider->getValue(), c.shownConfidence);
        EXPECT_DOUBLE_EQ (page.panel.gainSlider->getValue(), c.shownGain);
        EXPECT_EQ (host.count(), 0) << "nothing is written before the messages run";

        pumpMessages();
        EXPECT_TRUE (same (p.readTracker()->confidence.load(), c.writtenConfidence));
        EXPECT_TRUE (same (p.readTracker()->gain.load(), c.writtenGain));
        EXPECT_TRUE (same (p.floatParameter (kalto::confidenceIndex)->get(), c.writtenConfidence));
        EXPECT_TRUE (same (p.floatParameter (kalto::gainIndex)->get(), c.writtenGain));
        EXPECT_EQ (host.count (confidenceIndex), c.confidenceChanges);
        EXPECT_EQ (host.count (gainIndex), c.gainChanges);
        EXPECT_EQ (host.count(), c.confidenceChanges + c.gainChanges);
        const juce::Array<float> line { std::isnan (c.writtenConfidence) ? (float) c.shownConfidence
                                                                         : c.writtenConfidence };
        EXPECT_EQ (*page.panel.confidenceGraph->thresholds, line);

        // A refresh with the values unchanged sends nothing at all.
        host.clear();
        page.panel.refresh();
        pumpMessages();
        EXPECT_EQ (host.count(), 0);
        EXPECT_EQ (*page.panel.confidenceGraph->thresholds, line);
    }
}

TEST_F (ConversionPage, TheChevronStripsFlipTheViewWhereNoChildCoversThem)
{
    auto& p = make();
    Page page (p);
    Mouse mouse (page);
    EXPECT_FALSE (graphView (page.panel)) << "the toggles first";

    const struct
    {
        float x, y;
        bool flips;
    } presses[] = {
        { 140.0f, 5.0f, false },  { 141.0f, 5.0f, true },   { 169.0f, 5.0f, true },    { 170.0f, 5.0f, false },
        { 150.0f, 5.0f, true },   { 150.0f, 275.0f, true }, { 380.0f, 100.0f, false }, { 381.0f, 100.0f, true },
        { 390.0f, 270.0f, true }, { 399.0f, 5.0f, true },   { 142.0f, 60.0f, false }, // inside the left strip, but on the CONFIDENCE knob
        { 300.0f, 5.0f, false },
    };
    for (const auto& press : presses)
    {
        SCOPED_TRACE (testing::Message() << press.x << ", " << press.y);
        const bool before = graphView (page.panel);
        mouse.click ({ press.x, press.y });
        EXPECT_EQ (graphView (page.panel), press.flips ? ! before : before);
    }
}

TEST_F (ConversionPage, AToggleClickWritesItsTrackerFieldAndParameterAlone)
{
    const struct
    {
        const char* name;
        juce::Point<float> at;
        int index;
        std::function<bool (PitchTracker&)> field;
        std::function<bool (KaltoAudioProcessor&)> parameter;
    } toggles[] = {
        { "BENDS",
          { 268.0f, 50.0f },
          bendsIndex,
          [] (PitchTracker& t) { return t.bends.load(); },
          [] (KaltoAudioProcessor& p) { return p.boolParameter (kalto::bendsIndex)->get(); } },
        { "LEGATO",
          { 268.0f, 140.0f },
          legatoIndex,
          [] (PitchTracker& t) { return t.legato.load(); },
          [] (KaltoAudioProcessor& p) { return p.boolParameter (kalto::legatoIndex)->get(); } },
        { "FILTER",
          { 268.0f, 230.0f },
          convFilterIndex,
          [] (PitchTracker& t) { return t.convFilter.load(); },
          [] (KaltoAudioProcessor& p) { return p.boolParameter (kalto::convFilterIndex)->get(); } },
    };
    for (const auto& toggle : toggles)
    {
        SCOPED_TRACE (toggle.name);
        auto& p = make();
        Page page (p);
        pumpMessages();
        HostChanges host (p);
        Mouse mouse (page);

        const bool before = toggle.field (*p.readTracker());
        const auto confidence = p.readTracker()->confidence.load();
        mouse.click (toggle.at);
        EXPECT_EQ (toggle.field (*p.readTracker()), ! before) << "at once, before any message";
        EXPECT_EQ (toggle.parameter (p), ! before);
        pumpMessages();
        EXPECT_EQ (host.count (toggle.index), 1);
        EXPECT_EQ (host.count(), 1) << "no other parameter";
        EXPECT_EQ (p.readTracker()->confidence.load(), confidence);
        for (const auto& other : toggles)
        {
            if (other.index != toggle.index)
            {
                EXPECT_EQ (other.field (*p.readTracker()), other.parameter (p));
            }
        }

        mouse.click (toggle.at);
        EXPECT_EQ (toggle.field (*p.readTracker()), before);
        EXPECT_EQ (host.count (toggle.index), 2);
    }
}

TEST_F (ConversionPage, ADragOnAKnobWritesTheTrackerAndTheParameter)
{
    auto& p = make();
    Page page (p);
    pumpMessages();
    HostChanges host (p);
    Mouse mouse (page);

    // Up turns the knob up; the confidence line follows.
    mouse.press ({ 84.0f, 76.0f });
    for (int dy = 5; dy <= 60; dy += 5)
        mouse.dragTo ({ 84.0f, 76.0f - (float) dy });
    mouse.release ({ 84.0f, 16.0f });
    pumpMessages();

    const auto shown = (float) page.panel.confidenceSlider->getValue();
    EXPECT_GT (shown, 0.78f);
    EXPECT_EQ (p.readTracker()->confidence.load(), shown);
    EXPECT_EQ (p.floatParameter (kalto::confidenceIndex)->get(), shown);
    EXPECT_GE (host.count (confidenceIndex), 1);
    EXPECT_EQ (host.count(), host.count (confidenceIndex));
    EXPECT_EQ (*page.panel.confidenceGraph->thresholds, juce::Array<float> { shown });

    // Drawn where the graph maps it: y = 120 * (1 - c / 2) within the graph at (168, 16).
    mouse.click ({ 150.0f, 5.0f });
    const auto image = snapshot (page);
    const auto y = 16 + (int) (120.0f * (1.0f - shown / 2.0f));
    EXPECT_GT (count (image, { 168, y - 1, 200, 3 }, near (colours::midGrey, 40)), 150) << "line at " << y;
}

TEST_F (ConversionPage, TheLevelCurveLiesOnTheBottomEdgeUntilTheLevelPassesMinus40)
{
    auto& p = make();
    Page page (p);
    Mouse mouse (page);
    mouse.click ({ 150.0f, 5.0f });
    ASSERT_TRUE (graphView (page.panel));

    const juce::Rectangle<int> dbGraph { 168, 152, 200, 120 };
    // The top of what is drawn in the graph's first columns, where the newest value is.
    auto newestTop = [&] {
        const auto image = snapshot (page);
        return extent (image, { dbGraph.getX(), dbGraph.getY(), 2, dbGraph.getHeight() },
                       // the curve's red, or its fill over black; not the grey lines
                       [] (juce::Colour c) { return c.getRed() > c.getGreen() + 20; })
            .getY();
    };
    const auto bottomRow = dbGraph.getBottom() - 1;
    savePng (snapshot (page), "conversionpage-graphs-fresh");
    EXPECT_EQ (newestTop(), bottomRow) << "pre-filled with silence";
    for (float level : { -60.0f, -45.0f, -40.0f })
    {
        page.panel.pushGraphValues (0.0f, level);
        EXPECT_EQ (newestTop(), bottomRow) << level;
    }
    page.panel.pushGraphValues (0.0f, -25.0f);
    EXPECT_NEAR (newestTop(), dbGraph.getY() + 60, 2) << "-25 dB half way up";
}

TEST_F (ConversionPage, SnapshotsOfBothViews)
{
    auto& p = make();
    p.prepareToPlay (44100.0, 441);
    Page page (p);
    pumpMessages();
    savePng (snapshot (page), "conversionpage-defaults");
    const auto defaults = snapshot (page);
    // The knobs in their ring style, the toggles in theirs: BENDS and LEGATO
    // off (grey), FILTER on (white).
    EXPECT_TRUE (near (colours::midGrey, 3) (defaults.getPixelAt (172, 24)));
    EXPECT_TRUE (near (colours::white, 3) (defaults.getPixelAt (172, 204)));
    EXPECT_TRUE (near (colours::midGrey, 3) (defaults.getPixelAt (387, 140))) << "the right chevron's point";
    EXPECT_TRUE (near (colours::midGrey, 3) (defaults.getPixelAt (147, 140))) << "the left chevron's point";

    // A plucked phrase through the plug-in, the graphs fed every 50 ms as the
    // window's timer feeds them.
    const auto phrase = pluckedPhrase (44100, { 52, 55, 57, 59, 62, 64 }, 0.35);
    juce::AudioBuffer<float> block (2, 441);
    juce::MidiBuffer midi;
    for (std::size_t start = 0; start + 441 <= phrase.size(); start += 441)
    {
        for (int c = 0; c < 2; ++c)
            block.copyFrom (c, 0, phrase.data() + start, 441);
        midi.clear();
        p.processBlock (block, midi);
        if ((start / 441) % 5 == 4)
            page.panel.pushGraphValues (p.readTracker()->getPeakStrength(), p.readTracker()->getLevelDb());
    }
    Mouse mouse (page);
    mouse.click ({ 390.0f, 270.0f });
    const auto graphs = snapshot (page);
    savePng (graphs, "conversionpage-graphs-after-a-phrase");
    // Both curves left the bottom edge somewhere.
    EXPECT_LT (extent (graphs, { 168, 16, 200, 119 }, near (juce::Colour (0xffb0cb07), 40)).getY(), 100);
    EXPECT_LT (extent (graphs, { 168, 152, 200, 119 }, near (juce::Colour (0xffe71a61), 40)).getY(), 240);
}
} // namespace
} // namespace kalto::test
