#include "editor/PopUpBox.h"

#include "editor/DialogLayout.h"
#include "editor/EditorColours.h"

#include <limits>

namespace
{
const juce::Colour panelColour { 0xff303030 };
const juce::Colour okBoxColour { 0xff222222 };

// The "OK" text sits one pixel above its box.
const juce::Rectangle<int> okBox { 127, 184, 150, 40 };
const juce::Rectangle<int> okText { 127, 183, 150, 40 };
const juce::Rectangle<int> messageArea { 21, 56, 355, 112 };

// A single line may be squeezed as far as it takes to fit. The framework reads
// a limit of 0 as its own default of 0.7 and cuts the rest with an ellipsis,
// so the smallest positive limit stands for "none".
constexpr float noSqueezeLimit = std::numeric_limits<float>::min();
} // namespace

PopUpBox::PopUpBox (const juce::String& titleText, const juce::String& messageText)
    : title (titleText), message (messageText)
{
    setSize (kalto::dialog::width, kalto::dialog::height);
}

void PopUpBox::mouseDown (const juce::MouseEvent&)
{
    setVisible (false);
}

void PopUpBox::paint (juce::Graphics& g)
{
    g.fillAll (panelColour);

    g.setColour (okBoxColour);
    g.fillRect (okBox);

    g.setColour (kalto::colours::white);
    g.setFont (juce::Font (kalto::dialog::answerFontHeight, juce::Font::plain));
    g.drawText (juce::translate ("OK"), okText, juce::Justification::centred, true);

    // One line at most, squeezed to fit; a message with a line break is laid
    // out as wrapped text whatever the limit.
    g.setFont (juce::Font (kalto::dialog::textFontHeight, juce::Font::plain));
    g.drawFittedText (message, messageArea, juce::Justification::centred, 1, noSqueezeLimit);

    g.setFont (juce::Font (kalto::dialog::titleFontHeight, juce::Font::plain));
    g.drawText (title, kalto::dialog::titleArea, juce::Justification::centred, true);
}

void PopUpBox::resized() {}
