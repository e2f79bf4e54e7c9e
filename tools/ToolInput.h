#pragma once

// What the console tools take from their user, numbers on the command line and
// an audio file, checked so that a bad one is refused with its reason instead
// of ending in an abort, a hang or a quietly wrong result.

#include <juce_audio_formats/juce_audio_formats.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

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

// A whole argument read as a finite number, from minimum to maximum and whole
// if asked; nothing otherwise ("512x", "nan" and "" are not numbers).
inline std::optional<double> parseNumber (const juce::String& text, double minimum, double maximum, bool whole = false)
{
    const auto utf8 = text.toStdString();
    if (utf8.empty() || std::isspace ((unsigned char) utf8.front()))
        return std::nullopt;

    char* end = nullptr;
    const double value = std::strtod (utf8.c_str(), &end);
    if (*end != '\0' || ! std::isfinite (value) || value < minimum || value > maximum
        || (whole && value != std::floor (value)))
        return std::nullopt;
    return value;
}

// What an option takes, in the words of parseNumber's arguments.
inline juce::String describeRange (double minimum, double maximum, bool whole = false)
{
    char text[96];
    std::snprintf (text, sizeof (text), "%s from %g to %g", whole ? "a whole number" : "a number", minimum, maximum);
    return text;
}

struct AudioInput
{
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::String problem; // why the file cannot be read; empty when it can
    juce::String warning; // what the reader's view of the file was corrected for
};

// Opens an audio file with JUCE's readers, then checks what they take on trust
// from the header against the file itself.
inline AudioInput openAudioFile (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    AudioInput in;
    juce::AudioFormat* format = nullptr;
    for (auto* candidate : formats)
    {
        if (! candidate->canHandleFile (file))
            continue;
        in.reader.reset (candidate->createReaderFor (file.createInputStream().release(), true));
        if (in.reader != nullptr)
        {
            format = candidate;
            break;
        }
    }
    if (in.reader == nullptr)
        return in;

    // The header's 16-bit channel count is read as signed: 65,535 arrives as 4,294,967,295.
    auto& reader = *in.reader;
    const auto channels = reader.numChannels > 0xffff ? reader.numChannels & 0xffff : reader.numChannels;
    if (channels > (unsigned int) maxFileChannels)
    {
        in.problem << "its header claims " << (int) channels << " channels; at most " << maxFileChannels << " can be read";
        return in;
    }

    // Formats that store their samples as they are can say where the samples
    // lie: a reader given too few bytes fills the rest with silence, and one
    // given a sample size it has no decoder for leaves the buffer untouched.
    const std::unique_ptr<juce::MemoryMappedAudioFormatReader> stored (format->createMemoryMappedReader (file));
    if (stored == nullptr)
        return in;

    const auto bits = reader.bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
    {
        in.problem << "its samples are " << (int) bits << "-bit; 8-, 16-, 24- and 32-bit samples can be read";
        return in;
    }

    const auto held = stored->mapEntireFile() ? stored->getMappedSection().getEnd() : 0;
    if (held < reader.lengthInSamples)
    {
        // A recorder that stopped before it wrote its final size leaves such a
        // file: what is there is worth reading, and the user is told.
        const auto claim = "its header claims " + juce::String (reader.lengthInSamples) + " frames but the file holds ";
        if (held == 0)
            in.problem = claim + "none";
        else
            in.warning = claim + "only " + juce::String (held) + "; reading those";
        reader.lengthInSamples = held;
    }
    return in;
}
} // namespace kalto::tools
