// Several plug-in instances in one host share one default look and feel: an
// open editor keeps its look while other instances come and go, and the
// default goes back to the framework's only when the last instance goes.

#include "tests/editor/EditorFixture.h"
#include "tests/processor/ProcessorFixture.h"
#include "tests/processor/ProcessorProbe.h"

#include "editor/EditorColours.h"

#include <algorithm>
#include <array>

namespace kalto::test
{
namespace
{
bool kaltoIsTheDefault()
{
    return dynamic_cast<kalto_lookandfeel*> (&juce::LookAndFeel::getDefaultLookAndFeel()) != nullptr;
}

// A knob in the ring style and a toggle, as a page draws them.
struct SmallPage : juce::Component
{
    SmallPage()
    {
        knob.setSliderStyle (juce::Slider::RotaryVerticalDrag);
        knob.setTextBoxStyle (juce::Slider::NoTextBox, false, 80, 20);
        knob.setRange (0.01, 1.5, 0.01);
        knob.setValue (0.78, juce::dontSendNotification);
        knob.setColour (juce::Slider::thumbColourId, colours::white);
        knob.setColour (juce::Slider::rotarySliderFillColourId, juce::Colour (0xffb0cb07));
        knob.setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colour (0xff31411b));
        addAndMakeVisible (knob);
        addAndMakeVisible (toggle);
        knob.setBounds (0, 0, 120, 120);
        toggle.setBounds (130, 30, 200, 60);
        setSize (340, 120);
    }
    void paint (juce::Graphics& g) override { g.fillAll (colours::black); }

    juce::Slider knob { "CONFIDENCE" };
    juce::ToggleButton toggle { "BENDS" };
};

using SharedLookAndFeel = ProcessorTest;

TEST_F (SharedLookAndFeel, AnOpenEditorKeepsItsLookWhenAnotherInstanceGoes)
{
    auto a = std::make_unique<KaltoAudioProcessor>();
    SmallPage page;
    const auto whileALives = snapshot (page);
    savePng (whileALives, "shared-lookandfeel-page");

    {
        auto b = std::make_unique<KaltoAudioProcessor>();
        EXPECT_TRUE (kaltoIsTheDefault());
    }
    EXPECT_TRUE (kaltoIsTheDefault());
    page.sendLookAndFeelChange();
    EXPECT_TRUE (sameImage (whileALives, snapshot (page)));

    a.reset();
    EXPECT_FALSE (kaltoIsTheDefault());
    page.sendLookAndFeelChange();
    EXPECT_FALSE (sameImage (whileALives, snapshot (page))) << "with no instance left, the framework's look is back";
}

TEST_F (SharedLookAndFeel, ThreeInstancesComeAndGoInEveryOrder)
{
    std::array<int, 3> order { 0, 1, 2 };
    do
    {
        SCOPED_TRACE (testing::Message() << "destroyed in the order " << order[0] << order[1] << order[2]);
        std::array<std::unique_ptr<KaltoAudioProcessor>, 3> instances;
        for (auto& p : instances)
            p = std::make_unique<KaltoAudioProcessor>();
        const auto* shared = KaltoAudioProcessorProbe::lookAndFeel (*instances[0]).get();
        for (const auto& p : instances)
            EXPECT_EQ (KaltoAudioProcessorProbe::lookAndFeel (*p).get(), shared);

        for (int k = 0; k < 3; ++k)
        {
            instances[(std::size_t) order[(std::size_t) k]].reset();
            EXPECT_EQ (kaltoIsTheDefault(), k < 2) << "after " << k + 1 << " gone";
        }
    } while (std::next_permutation (order.begin(), order.end()));

    // A new instance after all have gone installs a new one.
    auto again = std::make_unique<KaltoAudioProcessor>();
    EXPECT_TRUE (kaltoIsTheDefault());
}
} // namespace
} // namespace kalto::test
