#pragma once

// A value a page gives one of its sliders to show. A slider notifies again
// for as long as a new value differs from the last, which a NaN always does,
// so the message loop would never empty: a value that is no number is shown
// at the slider's start without a notification, and so is not written back.

#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>

namespace kalto
{
inline void showValue (juce::Slider& slider, double value)
{
    if (std::isfinite (value))
        slider.setValue (value, juce::sendNotificationAsync);
    else
        slider.setValue (slider.getMinimum(), juce::dontSendNotification);
}

// The value, or the slider's start when it is no number.
inline double shownOn (const juce::Slider& slider, double value)
{
    return std::isfinite (value) ? value : slider.getMinimum();
}
} // namespace kalto
