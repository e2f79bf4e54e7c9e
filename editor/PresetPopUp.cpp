#include "editor/PresetPopUp.h"

#include "editor/Controls.h"
#include "editor/DialogLayout.h"
#include "editor/EditorColours.h"
#include "processor/KaltoAudioProcessor.h"
#include "processor/PresetFolder.h"

namespace
{
const juce::Colour background { 0xff333333 };

// Left to right: RENAME, NO, YES; words only, on the dialog's own colour.
const juce::Rectangle<int> renameBounds { 25, 183, 100, 40 };
const juce::Rectangle<int> noBounds { 150, 183, 100, 40 };
const juce::Rectangle<int> yesBounds { 275, 183, 100, 40 };
const juce::Rectangle<int> nameBounds { 0, 115, 400, 40 };
const juce::Rectangle<int> questionArea { 21, 56, 355, 40 };

constexpr float nameFontHeight = 40.0f;

void drawWord (juce::Graphics& g, const char* word, juce::Rectangle<int> area)
{
    g.setColour (background);
    g.fillRect (area);
    g.setColour (kalto::colours::white);
    g.setFont (juce::Font (kalto::dialog::answerFontHeight, juce::Font::plain));
    g.drawText (juce::translate (word), area, juce::Justification::centred, true);
}
} // namespace

PresetPopUp::PresetPopUp (KaltoAudioProcessor* p) : processor (p)
{
    setSize (kalto::dialog::width, kalto::dialog::height);

    nameLabel = kalto::controls::addChild<juce::Label> (*this, "nameLabel");
    nameLabel->setText (processor->getCurrentPresetName(), juce::dontSendNotification);
    // One click opens the editor; losing focus keeps what was typed.
    nameLabel->setEditable (true, false, false);
    nameLabel->setJustificationType (juce::Justification::centred);
    nameLabel->setColour (juce::Label::textColourId, kalto::colours::white);
    nameLabel->setColour (juce::Label::textWhenEditingColourId, kalto::colours::white);
    nameLabel->setColour (juce::Label::backgroundColourId, background);
    // The field's editor would take the framework's white background, under
    // the white text it is given: what the user types would not show.
    nameLabel->setColour (juce::Label::backgroundWhenEditingColourId, background);
    nameLabel->setColour (juce::Label::outlineWhenEditingColourId, juce::Colours::transparentBlack);
    nameLabel->setFont (juce::Font (nameFontHeight, juce::Font::plain));
    nameLabel->setBounds (nameBounds);

    renameArea = renameBounds;
    yesArea = yesBounds;
    noArea = noBounds;
}

PresetPopUp::~PresetPopUp() = default;

void PresetPopUp::refresh()
{
    nameLabel->setText (processor->getCurrentPresetName(), juce::dontSendNotification);
}

void PresetPopUp::paint (juce::Graphics& g)
{
    g.fillAll (background);
    drawWord (g, "RENAME", renameArea);
    drawWord (g, "NO", noArea);
    drawWord (g, "YES", yesArea);

    g.setColour (kalto::colours::white);
    g.setFont (juce::Font (kalto::dialog::textFontHeight, juce::Font::plain));
    g.drawFittedText (juce::translate ("\nDo you want to save this preset?"), questionArea,
                      juce::Justification::centred, 1);

    g.setFont (juce::Font (kalto::dialog::titleFontHeight, juce::Font::plain));
    g.drawText (juce::translate ("SAVE PRESET"), kalto::dialog::titleArea, juce::Justification::centred, true);
}

void PresetPopUp::mouseDown (const juce::MouseEvent& e)
{
    const auto at = e.getPosition();
    if (renameArea.contains (at))
        nameLabel->showEditor();
    else if (yesArea.contains (at))
        save();
    else if (noArea.contains (at))
        discard();
}

void PresetPopUp::save()
{
    // An open editor gives its typed text to the field first.
    nameLabel->hideEditor (false);
    const auto name = nameLabel->getText (false);
    // A name that is no plain file name in the preset folder writes nothing
    // anywhere; the dialog stays for the user to type another.
    if (! kalto::isSafePresetName (name))
        return;

    processor->savePresetAs (name);
    sendChangeMessage();
    setVisible (false);
}

void PresetPopUp::discard()
{
    nameLabel->hideEditor (false);
    nameLabel->setText (processor->getCurrentPresetName(), juce::dontSendNotification);
    sendChangeMessage();
    setVisible (false);
}

void PresetPopUp::resized() {}
