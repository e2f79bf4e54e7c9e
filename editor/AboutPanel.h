#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class KaltoAudioProcessor;

// The ABOUT page: the version under its caption, the product name, the
// credits and a "Contact" link that starts an e-mail to the project.
class AboutPanel : public juce::Component
{
public:
    explicit AboutPanel (KaltoAudioProcessor& processor);
    ~AboutPanel() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    // The caption over the version text, as the page draws it before translation.
    static juce::String captionText();

private:
    std::unique_ptr<juce::HyperlinkButton> contactLink;
    KaltoAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AboutPanel)
};
