#pragma once

#include <juce_graphics/juce_graphics.h>

// The editor's colours that more than one component uses.
namespace kalto::colours
{
inline const juce::Colour orange { 0xfffcaf2d };
// The confidence knob and the harmony knobs.
inline const juce::Colour green { 0xffb0cb07 };
inline const juce::Colour darkGreen { 0xff31411b };
// The gain knob and the SYNTH page's greeting.
inline const juce::Colour crimson { 0xffe71a61 };
inline const juce::Colour orangeTranslucent { 0x88fcaf2d };
inline const juce::Colour disabled { 0x80808080 };
inline const juce::Colour midGrey { 0xff808080 };
inline const juce::Colour darkGrey { 0xff666666 };
inline const juce::Colour white { 0xffffffff };
inline const juce::Colour black { 0xff000000 };
} // namespace kalto::colours
