#pragma once

// What kalto-host does to an editor while it is open: clicks at points of its
// window and screenshots of it, each at a time on the run's timeline. They come
// from the command line (--click X,Y@T, --shot OUT.png@T) and, with
// --commands, as lines on standard input (click X,Y[@T], shot OUT.png[@T]).

#include <juce_core/juce_core.h>

#include <optional>

namespace kalto::host
{
// An hour: longer runs are surely a mistake in the units.
inline constexpr double maxEditorSeconds = 3600.0;
// The sizes of editor anyone makes, and far below X11's limit.
inline constexpr int maxEditorSide = 16384;

struct EditorAction
{
    // Seconds on the run's timeline before which it does not happen; none for
    // a command that is to happen as soon as the one before it is done.
    std::optional<double> time;
    int x = 0, y = 0;
    juce::String shotPath; // empty for a click

    bool isClick() const { return shotPath.isEmpty(); }
    double notBefore() const { return time.value_or (0.0); }
};

// Reads the value of --click (X,Y@T) or --shot (OUT.png@T), or explains on
// stderr what is wrong with it.
std::optional<EditorAction> parseClickOption (const juce::String& value);
std::optional<EditorAction> parseShotOption (const juce::String& value);

// Reads one line of --commands input, where the time may be left out; or
// explains on stderr what is wrong with it.
std::optional<EditorAction> parseCommand (const juce::String& line);
} // namespace kalto::host
