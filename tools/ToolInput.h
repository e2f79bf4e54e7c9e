#pragma once

// What the console tools take from their user, numbers on the command line and
// an audio file, checked so that a bad one is refused with its reason instead
// of ending in an abort, a hang or a quietly wrong result.

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>
#include <optional>

namespace kalto::tools
{
// Larger than any host's block, small enough that a run's buffers stay small.
inline constexpr int maxBlockSize = 65536;

// The rates the tracker is built for, from telephone audio to the fastest
// converters; they also keep a float WAV header's byte rate in its 32 bits.
inline constexpr int minSampleRate = 8000;
inline constexpr int maxSampleRate = 768000;

// JUCE's WAV and AIFF readers step through a file in 5,760-byte pieces and
// never advance past a larger frame: 1,024 channels of 32 bits still fit.
inline constexpr int maxFileChannels = 1024;

// The command line's arguments after the program's name, read as UTF-8.
juce::StringArray commandLineArguments (int argc, char* argv[]);

// The file a path on the command line names; a relative one is taken from the
// working directory.
juce::File commandLineFile (const juce::String& path);

// A whole argument read as a finite number, from minimum to maximum and whole
// if asked; nothing otherwise ("512x", "nan" and "" are not numbers).
std::optional<double> parseNumber (const juce::String& text, double minimum, double maximum, bool whole = false);

// What an option takes, in the words of parseNumber's arguments.
juce::String describeRange (double minimum, double maximum, bool whole = false);

struct AudioInput
{
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::String problem; // why the file cannot be read; empty when it can
    juce::String warning; // what the reader's view of the file was corrected for
};

// Opens an audio file with JUCE's readers, shown only the chunks of a WAV or
// AIFF file that hold its format and its samples, then checks what they take
// on trust from the header against the file itself.
AudioInput openAudioFile (const juce::File& file);

// A recording a command line names, opened for a tool: the audio, or why not.
struct InputFile
{
    enum class Failure
    {
        none,
        missing,   // nothing of the name
        unreadable // no regular file, or none the readers take
    };
    AudioInput audio;
    Failure failure = Failure::none;
    juce::String message; // the failure as the tool prints it, naming the path
};

// Opens the recording at a command line's path. Only a regular file is
// opened: a FIFO would hold the reader until something wrote into it.
InputFile openInputFile (const juce::String& path);
} // namespace kalto::tools
