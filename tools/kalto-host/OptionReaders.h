#pragma once

// What kalto-host's commands read from their user besides their own options:
// the files the command line names, the parameter values --set gives, and the
// recording a command plays; and what a run takes when the user does not say.

#include "tools/ToolInput.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <utility>
#include <vector>

namespace kalto::host
{
// A plug-in runs at an audio interface's usual rate and block size unless
// the recording or the user sets them.
inline constexpr double defaultRate = 44100.0;
inline constexpr int defaultBlockSize = 512;

// A recording plays as a mono or a stereo track: its first two channels at most.
inline constexpr int maxTrackChannels = 2;

// Parameter values the user sets before the plug-in starts: index and normalised value.
using Settings = std::vector<std::pair<int, float>>;

using kalto::tools::commandLineFile;

// Reads one --set value, or explains on stderr what is wrong with it.
bool parseSetting (const juce::String& setting, Settings& settings);

// Opens a recording to play, or explains on stderr why it cannot be read. Its
// rate is checked unless the user gives one.
std::optional<kalto::tools::AudioInput> openInput (const juce::String& path, bool checkRate, int& exitCode);
} // namespace kalto::host
