// Cost of one polling tick of the editor with the repaint it asks for, on the
// CONVERSION page in its graph view, the window painted into an image as a
// display would paint it.

#include <benchmark/benchmark.h>

#include "editor/ConversionPanel.h"
#include "editor/KaltoAudioProcessorEditor.h"
#include "editor/MainWindow.h"
#include "editor/kalto_graph.h"
#include "processor/KaltoAudioProcessor.h"
#include "tests/processor/ProcessorProbe.h"

#include <cstdlib>

namespace kalto
{
namespace
{
void editorTickWithRepaint (benchmark::State& state)
{
    // Headless: nothing may listen on this display.
    setenv ("DISPLAY", ":4093", 1);
    juce::ScopedJuceInitialiser_GUI juce;
    char homeTemplate[] = "/tmp/kalto-benchmark-home.XXXXXX";
    if (const char* home = mkdtemp (homeTemplate))
        setenv ("HOME", home, 1);

    {
        KaltoAudioProcessor processor;
        std::unique_ptr<KaltoAudioProcessorEditor> editor (
            static_cast<KaltoAudioProcessorEditor*> (processor.createEditor()));
        auto& window = *editor->mainWindow;
        window.stopTimer();
        // The graph view, as a chevron press leaves it.
        for (auto* c : std::initializer_list<juce::Component*> {
                 window.conversionPanel->confidenceGraph.get(), window.conversionPanel->dbGraph.get(),
                 window.conversionPanel->bendsToggle.get(), window.conversionPanel->legatoToggle.get(),
                 window.conversionPanel->filterToggle.get() })
            c->setVisible (! c->isVisible());

        juce::Image image (juce::Image::ARGB, window.getWidth(), window.getHeight(), true);
        const auto page = window.conversionPanel->getBoundsInParent();
        int tick = 0;
        for (auto _ : state)
        {
            KaltoAudioProcessorProbe::peakLevel (processor) = (tick % 7) * 0.1f;
            window.timerCallback();
            // The tick repaints the page: paint its area, as the display does.
            juce::Graphics g (image);
            g.reduceClipRegion (page);
            window.paintEntireComponent (g, true);
            ++tick;
        }
    }
    juce::File (homeTemplate).deleteRecursively();
}
} // namespace

BENCHMARK (editorTickWithRepaint)->Unit (benchmark::kMicrosecond);
} // namespace kalto
