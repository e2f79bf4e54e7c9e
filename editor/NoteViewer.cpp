#include "editor/NoteViewer.h"

#include "editor/EditorColours.h"

namespace
{
constexpr float captionFontHeight = 45.0f;
constexpr int captionHeight = 40;
constexpr float nameFontHeight = 150.0f;
// The name's box starts a seventh of the way down and is an eighth less high
// than the viewer, so it may reach past the bottom edge, where it is clipped.
constexpr double nameTopDivisor = 7.0;
constexpr float nameHeightCut = 0.125f;
} // namespace

NoteViewer::NoteViewer() : noteName (std::make_unique<juce::String> ("--")) {}

NoteViewer::~NoteViewer() = default;

void NoteViewer::paint (juce::Graphics& g)
{
    const auto w = getWidth(), h = getHeight();
    g.setColour (kalto::colours::white);

    g.setFont (juce::Font (captionFontHeight, juce::Font::plain));
    g.drawText (juce::translate ("Note"), 0, 0, w, captionHeight, juce::Justification::horizontallyCentred, true);

    g.setFont (juce::Font (nameFontHeight, juce::Font::plain));
    g.drawText (*noteName, 0, (int) ((double) h / nameTopDivisor), w, (int) ((float) h - nameHeightCut * (float) h),
                juce::Justification::horizontallyCentred, true);
}

void NoteViewer::resized() {}
