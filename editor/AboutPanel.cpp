#include "editor/AboutPanel.h"

#include "editor/Controls.h"
#include "editor/EditorColours.h"
#include "editor/EditorLayout.h"
#include "processor/KaltoAudioProcessor.h"

namespace
{
// Wider than the room left on the page: the page clips it, and its centred
// text stays inside.
const juce::Rectangle<int> contactBounds { 312, 250, 128, 32 };

// The project's contact address; a reserved domain until the project has one.
const char* const contactAddress = "mailto:kalto.vyn@example.org";
const char* const productName = "Kalto Vyn";
const juce::Colour contactColour { 0xffd0d0d0 };
// The link's underlined text keeps this height; left to itself the framework
// would grow it to 70 % of the link's height.
constexpr float contactFontHeight = 14.0f;

// The caption is built when painting rather than kept as a plain string in
// the plug-in: each byte of "Version" XORed with a key.
constexpr unsigned char captionKey = 0x5a;
constexpr unsigned char scrambledCaption[] = { 'V' ^ captionKey, 'e' ^ captionKey, 'r' ^ captionKey, 's' ^ captionKey,
                                               'i' ^ captionKey, 'o' ^ captionKey, 'n' ^ captionKey };

const char* const firstCredit = "Pitch tracking, MIDI and sound by the Kalto Vyn developers.";
const char* const secondCredit = "Typeface Dense, from Noto Sans Display (SIL Open Font License).";

const juce::Colour captionColour = kalto::colours::midGrey;

struct PageText
{
    juce::Colour colour;
    float fontHeight;
    juce::Rectangle<int> box;
};

const PageText captionRow { captionColour, 25.0f, { 48, 6, 56, 26 } };
const PageText versionRow { kalto::colours::white, 20.0f, { 48, 30, 78, 26 } };
const PageText nameRow { kalto::colours::orange, 68.8f, { 42, 78, 200, 58 } };
const PageText firstCreditRow { kalto::colours::white, 17.0f, { 42, 150, 366, 18 } };
const PageText secondCreditRow { kalto::colours::white, 17.0f, { 42, 166, 366, 18 } };

void draw (juce::Graphics& g, const PageText& where, const juce::String& text)
{
    g.setColour (where.colour);
    g.setFont (juce::Font (where.fontHeight, juce::Font::plain));
    g.drawText (text, where.box, juce::Justification::centredLeft, true);
}
} // namespace

AboutPanel::AboutPanel (KaltoAudioProcessor& p) : processor (p)
{
    // The subject stays a parameter of the URL, so the mail program gets it
    // as the subject and the tooltip can show the address alone.
    const auto link = juce::URL (contactAddress).withParameter ("subject", productName);
    contactLink = kalto::controls::addChild<juce::HyperlinkButton> (*this, juce::translate ("Contact"),
                                                                    juce::translate ("Contact"), link);
    contactLink->setTooltip (juce::translate (contactAddress));
    contactLink->setButtonText (juce::translate ("Contact"));
    contactLink->setColour (juce::HyperlinkButton::textColourId, contactColour);
    contactLink->setFont (juce::Font (contactFontHeight, juce::Font::underlined), false, juce::Justification::centred);
    setSize (kalto::layout::pageWidth, kalto::layout::pageHeight);
}

AboutPanel::~AboutPanel()
{
    contactLink.reset();
}

juce::String AboutPanel::captionText()
{
    juce::String text;
    for (const auto c : scrambledCaption)
        text << (char) (c ^ captionKey);
    return text;
}

void AboutPanel::paint (juce::Graphics& g)
{
    draw (g, captionRow, juce::translate (captionText()));
    // The version is the processor's own text, never translated.
    draw (g, versionRow, processor.getVersionText());
    draw (g, nameRow, juce::translate (productName));
    draw (g, firstCreditRow, juce::translate (firstCredit));
    draw (g, secondCreditRow, juce::translate (secondCredit));
}

void AboutPanel::resized()
{
    contactLink->setBounds (contactBounds);
}
