#pragma once

// What the console tools take from their user, numbers on the command line and
// an audio file, checked so that a bad one is refused with its reason instead
// of ending in an abort, a hang or a quietly wrong result.

#include <juce_audio_formats/juce_audio_formats.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// What a RIFF WAVE file's chunks say, read before JUCE's WAV reader walks
// them. That reader takes what it finds on its way: a chunk before the data
// that runs past the end, a RIFF size that stops short of the data, or data
// before its format leave it no frames, and the file would read as an empty
// recording.
struct WavLayout
{
    juce::String problem;      // why the reader would find no frames; empty when it would find them
    juce::int64 dataBytes = 0; // what the data chunk claims
};

// A WAV format's fields, and the least a fmt chunk holds.
inline constexpr juce::int64 wavFormatBytes = 16;

// Files that are no RIFF WAVE file (RF64 among them) are left to the reader. A
// data chunk that runs past the end is a file cut short, not refused here.
inline WavLayout readWavLayout (const juce::File& file)
{
    WavLayout layout;
    juce::FileInputStream in (file);
    char id[4] = {};
    const auto readId = [&] { return in.read (id, 4) == 4; };
    const auto is = [&] (const char* name) { return std::memcmp (id, name, 4) == 0; };
    if (! in.openedOk() || ! readId() || ! is ("RIFF"))
        return layout;
    const auto riffEnd = 8 + (juce::int64) (juce::uint32) in.readInt();
    if (! readId() || ! is ("WAVE"))
        return layout;

    const auto fileEnd = in.getTotalLength();
    bool format = false;
    for (juce::int64 start = 12, size = 0; start + 8 <= fileEnd; start += 8 + size + (size & 1))
    {
        in.setPosition (start);
        readId();
        size = (juce::int64) (juce::uint32) in.readInt();
        const bool samples = is ("data");

        // The reader stops at the RIFF size: a format or data past it is out of its reach.
        if (start >= riffEnd)
        {
            if (samples || is ("fmt "))
            {
                layout.problem << "its RIFF size of " << (riffEnd - 8) << " bytes ends before its " << (samples ? "data" : "fmt")
                               << " chunk";
                return layout;
            }
            continue;
        }
        if (samples)
        {
            if (! format)
                layout.problem = "its data chunk comes before any fmt chunk";
            layout.dataBytes = size;
            return layout;
        }
        if (is ("fmt ") && size < wavFormatBytes)
        {
            layout.problem << "its fmt chunk of " << size << " bytes is too short for a format's " << wavFormatBytes;
            return layout;
        }
        if (start + 8 + size > fileEnd)
        {
            juce::String name;
            for (const auto c : id)
                name += std::isprint ((unsigned char) c) ? c : '?';
            layout.problem << "its \"" << name << "\" chunk claims " << size << " bytes but only " << (fileEnd - start - 8)
                           << " follow";
            return layout;
        }
        format = format || is ("fmt ");
    }
    layout.problem = format ? "it has no data chunk" : "it has no fmt chunk";
    return layout;
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
    WavLayout layout;
    juce::AudioFormat* format = nullptr;
    for (auto* candidate : formats)
    {
        if (! candidate->canHandleFile (file))
            continue;
        if (dynamic_cast<juce::WavAudioFormat*> (candidate) != nullptr)
        {
            layout = readWavLayout (file);
            if (layout.problem.isNotEmpty())
            {
                in.problem = layout.problem;
                return in;
            }
        }
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

    // The reader also ends its walk at an empty chunk of a kind it does not know.
    const auto frameBytes = (juce::int64) juce::jmax (1u, channels * reader.bitsPerSample / 8);
    if (reader.lengthInSamples == 0 && layout.dataBytes >= frameBytes)
    {
        in.problem << "the reader found none of the " << layout.dataBytes << " bytes of its data chunk";
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
