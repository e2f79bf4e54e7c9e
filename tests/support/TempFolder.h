#pragma once

// A folder of a test's own. Tests run as parallel processes, and the
// framework's temporary names can repeat between processes started at the
// same moment; mkdtemp makes the folder at once under a name no other holds.

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <string>

namespace kalto::test
{
// The new, empty folder; none when it cannot be made.
inline juce::File makeTempFolder (const juce::String& name)
{
    auto pattern = juce::File::getSpecialLocation (juce::File::tempDirectory)
                       .getChildFile ("kalto-" + name + ".XXXXXX")
                       .getFullPathName()
                       .toStdString();
    if (mkdtemp (pattern.data()) == nullptr)
        return {};
    return juce::File (pattern);
}
} // namespace kalto::test
