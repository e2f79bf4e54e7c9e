#include "editor/SynthPanel.h"

#include "editor/Controls.h"
#include "editor/EditorColours.h"
#include "editor/EditorLayout.h"
#include "editor/kalto_lookandfeel.h"
#include "processor/KaltoAudioProcessor.h"

namespace
{
const juce::Rectangle<int> selectorBounds { 8, 144, 184, 24 };
const juce::Rectangle<int> moreBounds { 216, 144, 64, 24 };

// Item id = instrument index + 1, so that id 0 stays "nothing selected".
// The instruments' names are shown as they are, never translated.
const char* const instrumentNames[] = { "No Sound", "Cello", "Piano", "Saxophone", "Drums", "Raw Guitar" };

const juce::Colour greetingColour = kalto::colours::crimson;

struct PageText
{
    const char* text;
    juce::Colour colour;
    float fontHeight;
    juce::Rectangle<int> box;
};

// The greeting, its question, and the caption over the instrument box.
const PageText pageTexts[] = {
    { "Hi there!", greetingColour, 58.0f, { 8, 13, 297, 52 } },
    { "Wanna play some cool instruments?", kalto::colours::white, 35.1f, { 8, 61, 357, 48 } },
    { "Internal", kalto::colours::white, 35.1f, { 11, 115, 349, 27 } },
};
} // namespace

SynthPanel::SynthPanel (KaltoAudioProcessor& p) : processor (p)
{
    internalSynthSelector = kalto::controls::addChild<juce::ComboBox> (*this, "internalSynthSelector");
    kalto::controls::setUpComboBox (*internalSynthSelector, *this);
    internalSynthSelector->setTextWhenNothingSelected (juce::translate ("Select Kalto instrument"));

    showInternalGUI = kalto::controls::addChild<juce::TextButton> (*this, "showInternalGUI");
    showInternalGUI->setButtonText (juce::translate ("More"));
    showInternalGUI->addListener (this);

    internalSynthSelector->setTooltip ("Selects an embedded Kalto instrument for playback");
    int id = 1;
    for (const auto* name : instrumentNames)
        internalSynthSelector->addItem (name, id++);

    selectStoredSound();
    setSize (kalto::layout::pageWidth, kalto::layout::pageHeight);
}

SynthPanel::~SynthPanel()
{
    internalSynthSelector.reset();
    showInternalGUI.reset();
}

// The new or refreshed selection reaches comboBoxChanged later, from the
// message loop, only if it changed what the box shows.
void SynthPanel::selectStoredSound()
{
    const auto sound = processor.intParameter (kalto::synthSoundIndex)->get();
    internalSynthSelector->setSelectedId (sound + 1, juce::sendNotificationAsync);

    showInternalGUI->setVisible (false);
    if (sound >= kalto::rawGuitar)
        showInternalGUI->setVisible (true);
}

void SynthPanel::refresh()
{
    selectStoredSound();
    repaint();
}

void SynthPanel::paint (juce::Graphics& g)
{
    for (const auto& t : pageTexts)
    {
        g.setColour (t.colour);
        g.setFont (kalto_lookandfeel::font (t.fontHeight));
        g.drawText (juce::translate (t.text), t.box, juce::Justification::centredLeft, true);
    }
}

void SynthPanel::resized()
{
    internalSynthSelector->setBounds (selectorBounds);
    showInternalGUI->setBounds (moreBounds);
}

// The instrument first, then the parameter. With nothing selected (a stored
// value that names no item) both get -1: the instrument loads nothing and the
// parameter clamps it to "No Sound". Decoding the recordings takes about
// 50 ms here on the message thread.
void SynthPanel::comboBoxChanged (juce::ComboBox* box)
{
    if (box != internalSynthSelector.get())
        return;

    const auto sound = internalSynthSelector->getSelectedId() - 1;
    processor.getInstrument().setSound (sound);
    *processor.intParameter (kalto::synthSoundIndex) = sound;
}

// "More" has no action.
void SynthPanel::buttonClicked (juce::Button*) {}
