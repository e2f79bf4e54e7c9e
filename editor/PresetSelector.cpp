#include "editor/PresetSelector.h"

#include "editor/Chevron.h"
#include "editor/EditorColours.h"
#include "editor/PresetPopUp.h"
#include "processor/KaltoAudioProcessor.h"
#include "processor/PresetFolder.h"

namespace
{
constexpr int initialWidth = 272, initialHeight = 50;
constexpr float nameFontHeight = 30.0f;

// Chevrons a twelfth of the width in from each side, from a fifth of the
// height to four fifths, their tips 8 pixels further out. The step areas
// reach 15 pixels further in than the chevrons.
constexpr float chevronInsetFraction = 12.0f;
constexpr float chevronSpanFraction = 5.0f;
constexpr float chevronDepth = 8.0f;
constexpr float stepAreaReach = 15.0f;

const char* const tooltip = "Used to select preset, use arrows to browse\n"
                            "Click in the center in order to save (edit the text to save as another preset)\n"
                            "otherwise overwrite the current preset.";

} // namespace

PresetSelector::PresetSelector (PresetPopUp* popUp, KaltoAudioProcessor* p) : presetPopUp (popUp), processor (p)
{
    listPresetFiles();
    presetIndex = 0;
    displayedName = processor->getCurrentPresetName();
    setSize (initialWidth, initialHeight);
}

PresetSelector::~PresetSelector() = default;

void PresetSelector::listPresetFiles()
{
    // In the order the folder yields them, unsorted.
    presetFiles = kalto::findPresetFiles();
    numPresets = presetFiles.size();
}

void PresetSelector::refresh()
{
    listPresetFiles();
    repaint();
}

juce::String PresetSelector::getTooltip()
{
    return tooltip;
}

void PresetSelector::paint (juce::Graphics& g)
{
    const auto w = getWidth(), h = getHeight();
    g.setColour (kalto::colours::white);
    g.setFont (juce::Font (nameFontHeight, juce::Font::plain));
    g.drawText (displayedName, w / 4, 0, w / 2, h, juce::Justification::centred, true);

    const auto inset = (float) w / chevronInsetFraction;
    const auto top = (float) h / chevronSpanFraction, bottom = (float) h - (float) h / chevronSpanFraction;
    const auto middle = (float) (h / 2);
    g.setColour (kalto::colours::midGrey);

    const auto right = (float) w - inset;
    kalto::drawChevron (g, { right, bottom }, { right + chevronDepth, middle }, { right, top });
    kalto::drawChevron (g, { inset, bottom }, { inset - chevronDepth, middle }, { inset, top });
}

void PresetSelector::mouseDown (const juce::MouseEvent& e)
{
    const auto x = (float) e.getMouseDownX();
    const auto w = (float) getWidth();
    const auto inset = w / chevronInsetFraction;

    if (x > (w - stepAreaReach) - inset)
        step (true);
    else if (x < inset + stepAreaReach)
        step (false);
    else
        presetPopUp->setVisible (true);
}

void PresetSelector::step (bool forwards)
{
    // With no file there is nothing to go to. Files that went away since the
    // last listing must not leave the position past the end of the list.
    if (numPresets <= 0)
        return;
    presetIndex %= numPresets;

    if (forwards)
        presetIndex = presetIndex + 1 < numPresets ? presetIndex + 1 : 0;
    else
        presetIndex = presetIndex > 0 ? presetIndex - 1 : numPresets - 1;

    processor->loadPresetNamed (presetFiles[presetIndex].getFileNameWithoutExtension());
    repaint();
    sendChangeMessage();
}

void PresetSelector::resized() {}
