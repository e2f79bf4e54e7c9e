#pragma once

// kalto-host render: streams a recording through a plug-in block by block,
// writes its output as a 32-bit float WAV file and everything it sent as a
// MIDI file, and prints each MIDI event as `sample status data1 data2`.

#include "tools/kalto-host/OptionReaders.h"

namespace kalto::host
{
struct RenderOptions
{
    juce::String pluginPath, inputPath, outputPath, midiPath;
    double rate = 0.0; // none given: the file's own
    int block = defaultBlockSize;
    int channels = 0; // none given: the file's, up to a stereo track's
    bool bypass = false;
    Settings settings;
};

// Reads the arguments of `render`, or explains on stderr which one is wrong;
// false when they need the usage.
bool parseRenderOptions (const juce::StringArray& args, RenderOptions& options);

// Renders as the options say; an exit code.
int runRender (const RenderOptions& options);
} // namespace kalto::host
