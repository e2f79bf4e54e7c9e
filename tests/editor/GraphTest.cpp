// The scrolling history graph, as the CONVERSION page uses it: 127 points in
// 200 x 120, the newest at the left edge, over the editor's black.

#include "tests/editor/EditorFixture.h"

#include "editor/EditorColours.h"
#include "editor/kalto_graph.h"

namespace kalto::test
{
namespace
{
const juce::Colour line { 0xffb0cb07 };
const juce::Colour fillColour { 0x40b0cb07 };
const juce::Colour grid { 0xff808080 };
constexpr int width = 200, height = 120;

std::unique_ptr<kalto_graph> confidenceGraph()
{
    return std::make_unique<kalto_graph> (127, line, fillColour, grid, 2.0f, 0.0f);
}

bool isLine (juce::Colour c)
{
    return near (line, 40) (c);
}
bool isGrid (juce::Colour c)
{
    return near (grid, 10) (c);
}
bool notBlack (juce::Colour c)
{
    return c.getBrightness() > 0.02f;
}

// The rows of column x that are drawn on.
juce::Range<int> drawnRows (const juce::Image& image, int x)
{
    const auto e = extent (image, { x, 0, 1, height }, notBlack);
    return { e.getY(), e.getBottom() };
}

TEST (HistoryGraph, AFreshGraphLiesAlongTheBottomEdge)
{
    InstalledLookAndFeel installed;
    // Zeros in 0..2, and a level graph pre-filled with -60 in -40..-10: both at the minimum or below it.
    auto confidence = confidenceGraph();
    kalto_graph level (127, juce::Colour (0xffe71a61), juce::Colour (0x40e71a61), grid, -10.0f, -40.0f);
    for (int i = 0; i < 127; ++i)
        level.history->push (-60.0f);

    for (auto* graph : { confidence.get(), &level })
    {
        Backdrop panel (*graph, { 0, 0, width, height });
        const auto image = snapshot (panel);
        // Only the upper half of the 2-pixel curve at the bottom edge shows; no fill above it.
        EXPECT_EQ (extent (image, notBlack), juce::Rectangle<int> (0, height - 1, width, 1));
    }
}

TEST (HistoryGraph, ValuesScrollFromTheLeftEdgeAndLeaveAfterEveryPoint)
{
    InstalledLookAndFeel installed;
    auto graph = confidenceGraph();
    Backdrop panel (*graph, { 0, 0, width, height });

    // One push into a fresh graph: the value at x = 0, then zeros.
    graph->history->push (1.0f); // half way up
    auto image = snapshot (panel);
    savePng (image, "graph-one-push");
    EXPECT_LE (drawnRows (image, 0).getStart(), 61);
    EXPECT_EQ (drawnRows (image, 4).getStart(), height - 1) << "back at the bottom by the next point, 1.587 pixels on";

    // 126 more: the first value is now the oldest, at the right edge.
    for (int i = 0; i < 126; ++i)
        graph->history->push (0.0f);
    image = snapshot (panel);
    EXPECT_EQ (drawnRows (image, 0).getStart(), height - 1);
    EXPECT_LE (drawnRows (image, width - 1).getStart(), 62);
    EXPECT_EQ (drawnRows (image, width - 4).getStart(), height - 1);

    // One more, and every earlier value has left the graph.
    graph->history->push (0.0f);
    EXPECT_EQ (extent (snapshot (panel), notBlack), juce::Rectangle<int> (0, height - 1, width, 1));
}

TEST (HistoryGraph, AValueAboveTheMaximumRunsAlongTheTopEdgeFilledBeneath)
{
    InstalledLookAndFeel installed;
    auto graph = confidenceGraph();
    Backdrop panel (*graph, { 0, 0, width, height });
    for (int i = 0; i < 10; ++i)
        graph->history->push (5.0f);
    const auto image = snapshot (panel);
    savePng (image, "graph-above-maximum");

    EXPECT_TRUE (isLine (image.getPixelAt (5, 0)));
    // The fill covers the full height beneath, over the black.
    const auto filled = colours::black.overlaidWith (fillColour);
    for (int y : { 2, 60, 117 })
        EXPECT_TRUE (near (filled, 3) (image.getPixelAt (5, y))) << y;
    EXPECT_TRUE (colours::black == image.getPixelAt (100, 60)) << "nothing beyond the tenth point";
}

TEST (HistoryGraph, ThresholdLinesAcrossTheWidthWhereInRange)
{
    InstalledLookAndFeel installed;
    auto graph = confidenceGraph();
    Backdrop panel (*graph, { 0, 0, width, height });
    auto gridRows = [&] {
        const auto image = snapshot (panel);
        std::vector<int> rows;
        for (int y = 0; y < height; ++y)
            if (count (image, { 0, y, width, 1 }, isGrid) > width - 4)
                rows.push_back (y);
        return rows;
    };

    // 0.78 of 0..2 lies at y = 120 * (1 - 0.39) = 73.2; the line, 1 pixel
    // wide, covers parts of rows 72 and 73.
    graph->thresholds->add (0.78f);
    const auto image = snapshot (panel);
    savePng (image, "graph-threshold-0.78");
    EXPECT_GT (count (image, { 0, 72, width, 2 }, [] (juce::Colour c) { return c.getBrightness() > 0.15f; }), width);

    // At the maximum, on the top edge; outside the range, not seen.
    graph->thresholds->clear();
    graph->thresholds->add (2.0f);
    graph->thresholds->add (3.0f);
    graph->thresholds->add (-1.0f);
    const auto edge = snapshot (panel);
    EXPECT_GT (count (edge, { 0, 0, width, 1 }, [] (juce::Colour c) { return c.getBrightness() > 0.15f; }), width - 2);
    EXPECT_EQ (count (edge, { 0, 1, width, height - 3 }, notBlack), 0);

    // Cleared and one added: exactly one line.
    graph->thresholds->clear();
    graph->thresholds->add (119.0f / 120.0f); // y = 120 * (1 - 119 / 240) = 60.5: row 60 fully covered
    EXPECT_EQ (gridRows(), std::vector<int> { 60 });
    EXPECT_EQ (count (snapshot (panel), { 0, 0, width, height - 1 }, notBlack),
               count (snapshot (panel), { 0, 60, width, 1 }, notBlack));
}
} // namespace
} // namespace kalto::test
