#pragma once

// kalto-host info: a plug-in's identity and its parameters, read through the
// plug-in's own dispatcher, so what is printed is what any VST host would be
// told.

#include <juce_core/juce_core.h>

namespace kalto::host
{
// Prints the identity as `key: value` lines, then one line per parameter:
// index, name, normalised value at load and the plug-in's text for it,
// separated by tabs. An exit code.
int runInfo (const juce::String& pluginPath);
} // namespace kalto::host
