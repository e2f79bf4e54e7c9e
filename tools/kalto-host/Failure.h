#pragma once

// How kalto-host ends when it cannot do what it was asked: an exit code per
// kind of failure, and the reason on stderr.

#include <juce_core/juce_core.h>

#include <cstdio>

namespace kalto::host
{
enum ExitCode
{
    exitOk = 0,
    exitUsage = 2,
    exitMissingFile = 3,
    exitNotAPlugin = 4,
    exitBadAudio = 5,
    exitWriteFailed = 6,
    exitNoDisplay = 7,
    exitNoEditor = 8,
    exitXErrors = 9
};

inline int fail (ExitCode code, const juce::String& message)
{
    std::fprintf (stderr, "kalto-host: %s\n", message.toRawUTF8());
    return code;
}

inline void warn (const juce::String& message)
{
    std::fprintf (stderr, "kalto-host: warning: %s\n", message.toRawUTF8());
}

// An option's value refused with what the option takes; false, for parsers.
inline bool refuse (const juce::String& option, const juce::String& value, const juce::String& takes)
{
    fail (exitUsage, option + " " + value + ": must be " + takes);
    return false;
}
} // namespace kalto::host
