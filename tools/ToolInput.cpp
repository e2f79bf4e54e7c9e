#include "tools/ToolInput.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

namespace kalto::tools
{
namespace
{
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
constexpr juce::int64 wavFormatBytes = 16;

// A chunk's header: its four-letter name and the size of what follows.
constexpr juce::int64 chunkHeaderBytes = 8;
// The first chunk follows the RIFF chunk's header and its form, "WAVE".
constexpr juce::int64 firstChunkStart = chunkHeaderBytes + 4;

// One chunk of a RIFF file, as its header describes it.
struct Chunk
{
    char id[4] = {};
    juce::int64 start = 0, size = 0;

    bool is (const char* name) const { return std::memcmp (id, name, 4) == 0; }
    // Where the next chunk starts: RIFF pads a chunk of odd size to an even one.
    juce::int64 next() const { return start + chunkHeaderBytes + size + (size & 1); }
};

// The header of the chunk at `start`; false when its name is not all there.
bool readChunk (juce::FileInputStream& in, juce::int64 start, Chunk& chunk)
{
    in.setPosition (start);
    chunk.start = start;
    const bool named = in.read (chunk.id, 4) == 4;
    chunk.size = (juce::int64) (juce::uint32) in.readInt();
    return named;
}

// Where the RIFF chunk of a RIFF WAVE file ends; nothing for any other file.
std::optional<juce::int64> riffWaveEnd (juce::FileInputStream& in)
{
    Chunk riff;
    char form[4] = {};
    if (! in.openedOk() || ! readChunk (in, 0, riff) || ! riff.is ("RIFF") || in.read (form, 4) != 4
        || std::memcmp (form, "WAVE", 4) != 0)
        return std::nullopt;
    return chunkHeaderBytes + riff.size;
}

WavLayout refusedLayout (const juce::String& problem)
{
    WavLayout layout;
    layout.problem = problem;
    return layout;
}

// The data chunk the reader reaches, and whether a format came before it.
WavLayout dataLayout (const Chunk& data, bool format)
{
    WavLayout layout;
    if (! format)
        layout.problem = "its data chunk comes before any fmt chunk";
    layout.dataBytes = data.size;
    return layout;
}

// Why a chunk before the data keeps the reader from it; empty when it does not.
juce::String chunkProblem (const Chunk& chunk, juce::int64 fileEnd)
{
    juce::String problem;
    if (chunk.is ("fmt ") && chunk.size < wavFormatBytes)
    {
        problem << "its fmt chunk of " << chunk.size << " bytes is too short for a format's " << wavFormatBytes;
    }
    else if (chunk.start + chunkHeaderBytes + chunk.size > fileEnd)
    {
        juce::String name;
        for (const auto c : chunk.id)
            name += std::isprint ((unsigned char) c) ? c : '?';
        problem << "its \"" << name << "\" chunk claims " << chunk.size << " bytes but only "
                << (fileEnd - chunk.start - chunkHeaderBytes) << " follow";
    }
    return problem;
}

// Files that are no RIFF WAVE file (RF64 among them) are left to the reader. A
// data chunk that runs past the end is a file cut short, not refused here.
WavLayout readWavLayout (const juce::File& file)
{
    juce::FileInputStream in (file);
    const auto riffEnd = riffWaveEnd (in);
    if (! riffEnd)
        return {};

    const auto fileEnd = in.getTotalLength();
    bool format = false;
    Chunk chunk;
    for (juce::int64 start = firstChunkStart; start + chunkHeaderBytes <= fileEnd; start = chunk.next())
    {
        readChunk (in, start, chunk);
        const bool samples = chunk.is ("data");

        // The reader stops at the RIFF size: a format or data past it is out of its reach.
        if (start >= *riffEnd)
        {
            if (! samples && ! chunk.is ("fmt "))
                continue;
            juce::String problem;
            problem << "its RIFF size of " << (*riffEnd - chunkHeaderBytes) << " bytes ends before its "
                    << (samples ? "data" : "fmt") << " chunk";
            return refusedLayout (problem);
        }
        if (samples)
            return dataLayout (chunk, format);
        if (const auto problem = chunkProblem (chunk, fileEnd); problem.isNotEmpty())
            return refusedLayout (problem);
        format = format || chunk.is ("fmt ");
    }
    return refusedLayout (format ? "it has no data chunk" : "it has no fmt chunk");
}

// The format whose reader opens the file, with that reader in `in`; nothing
// when none opens it, or when its WAV chunks would leave the reader no frames
// (the reason in `in`).
juce::AudioFormat* openReader (juce::AudioFormatManager& formats, const juce::File& file, AudioInput& in,
                               WavLayout& layout)
{
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
                return nullptr;
            }
        }
        in.reader.reset (candidate->createReaderFor (file.createInputStream().release(), true));
        if (in.reader != nullptr)
            return candidate;
    }
    return nullptr;
}

// Why the frames the header describes cannot be read; empty when they can.
juce::String headerProblem (const juce::AudioFormatReader& reader, const WavLayout& layout)
{
    juce::String problem;

    // The header's 16-bit channel count is read as signed: 65,535 arrives as 4,294,967,295.
    const auto channels = reader.numChannels > 0xffff ? reader.numChannels & 0xffff : reader.numChannels;
    if (channels > (unsigned int) maxFileChannels)
    {
        problem << "its header claims " << (int) channels << " channels; at most " << maxFileChannels << " can be read";
        return problem;
    }

    // The reader also ends its walk at an empty chunk of a kind it does not know.
    const auto frameBytes = (juce::int64) juce::jmax (1u, channels * reader.bitsPerSample / 8);
    if (reader.lengthInSamples == 0 && layout.dataBytes >= frameBytes)
        problem << "the reader found none of the " << layout.dataBytes << " bytes of its data chunk";
    return problem;
}

// Formats that store their samples as they are can say where the samples
// lie: a reader given too few bytes fills the rest with silence, and one
// given a sample size it has no decoder for leaves the buffer untouched.
void checkStoredSamples (juce::AudioFormat& format, const juce::File& file, AudioInput& in)
{
    const std::unique_ptr<juce::MemoryMappedAudioFormatReader> stored (format.createMemoryMappedReader (file));
    if (stored == nullptr)
        return;

    auto& reader = *in.reader;
    const auto bits = reader.bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
    {
        in.problem << "its samples are " << (int) bits << "-bit; 8-, 16-, 24- and 32-bit samples can be read";
        return;
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
}
} // namespace

juce::StringArray commandLineArguments (int argc, char* argv[])
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));
    return args;
}

juce::File commandLineFile (const juce::String& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

std::optional<double> parseNumber (const juce::String& text, double minimum, double maximum, bool whole)
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

juce::String describeRange (double minimum, double maximum, bool whole)
{
    char text[96];
    std::snprintf (text, sizeof (text), "%s from %g to %g", whole ? "a whole number" : "a number", minimum, maximum);
    return text;
}

AudioInput openAudioFile (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    AudioInput in;
    WavLayout layout;
    auto* format = openReader (formats, file, in, layout);
    if (format == nullptr)
        return in;

    in.problem = headerProblem (*in.reader, layout);
    if (in.problem.isEmpty())
        checkStoredSamples (*format, file, in);
    return in;
}

InputFile openInputFile (const juce::String& path)
{
    InputFile input;
    const auto file = commandLineFile (path);
    struct stat info
    {};
    if (stat (file.getFullPathName().toRawUTF8(), &info) != 0)
    {
        input.failure = InputFile::Failure::missing;
        input.message = "no such file: " + path;
        return input;
    }

    const auto cannotRead = "cannot read audio file: " + path;
    if (! S_ISREG (info.st_mode))
    {
        input.failure = InputFile::Failure::unreadable;
        input.message = cannotRead + (S_ISDIR (info.st_mode) ? ": it is a directory" : ": it is not a regular file");
        return input;
    }

    input.audio = openAudioFile (file);
    if (input.audio.reader == nullptr || input.audio.problem.isNotEmpty())
    {
        input.failure = InputFile::Failure::unreadable;
        input.message = cannotRead + (input.audio.problem.isNotEmpty() ? ": " + input.audio.problem : juce::String());
    }
    return input;
}
} // namespace kalto::tools
