#pragma once

// kalto-host editor: a plug-in's editor in an X11 window of the host's own,
// idled as a Linux host idles it, while a recording plays through the plug-in
// if one is given, with clicks into the window and screenshots of it on the
// run's timeline (see EditorRun.h).

#include "tools/kalto-host/EditorActions.h"
#include "tools/kalto-host/OptionReaders.h"

#include <optional>
#include <vector>

namespace kalto::host
{
struct EditorOptions
{
    juce::String pluginPath, playPath;
    std::optional<double> seconds;
    std::vector<EditorAction> actions; // in the order of their times once read
    bool readCommands = false;
    Settings settings;
};

// Reads the arguments of `editor`, or explains on stderr which one is wrong;
// false when they need the usage.
bool parseEditorOptions (const juce::StringArray& args, EditorOptions& options);

// Runs the editor as the options say; an exit code.
int runEditor (const EditorOptions& options);
} // namespace kalto::host
