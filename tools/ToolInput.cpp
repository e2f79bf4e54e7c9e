#include "tools/ToolInput.h"

#include "tools/SampleChunks.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

namespace kalto::tools
{
namespace
{
// The chunk walk a format's files get before its reader sees them; nothing
// for formats whose readers are given the file itself.
std::optional<ChunkFormat> chunkFormat (juce::AudioFormat& format)
{
    if (dynamic_cast<juce::WavAudioFormat*> (&format) != nullptr)
        return ChunkFormat::wav;
    if (dynamic_cast<juce::AiffAudioFormat*> (&format) != nullptr)
        return ChunkFormat::aiff;
    return std::nullopt;
}

// The reader of the first format that opens the file, in `in`, given the view
// of the file its chunks leave it; where the samples lie in `stored`. False
// when none opens it, or when the file's chunks would keep its reader from
// the samples (the reason in `in`).
bool openReader (juce::AudioFormatManager& formats, const juce::File& file, AudioInput& in,
                 std::optional<StoredSamples>& stored)
{
    for (auto* candidate : formats)
    {
        if (! candidate->canHandleFile (file))
            continue;
        std::unique_ptr<juce::InputStream> stream;
        if (const auto kind = chunkFormat (*candidate))
        {
            auto chunks = readSampleChunks (file, *kind);
            if (chunks.problem.isNotEmpty())
            {
                in.problem = chunks.problem;
                return false;
            }
            stream = std::move (chunks.view);
            stored = chunks.samples;
        }
        if (stream == nullptr)
            stream = file.createInputStream();
        in.reader.reset (candidate->createReaderFor (stream.release(), true));
        if (in.reader != nullptr)
        {
            // A WAV file of compressed samples is handed on to another format's reader.
            if (in.reader->getFormatName() != candidate->getFormatName())
                stored.reset();
            return true;
        }
        stored.reset();
    }
    return false;
}

// Why the frames the header describes cannot be read; empty when they can.
juce::String headerProblem (const juce::AudioFormatReader& reader, const std::optional<StoredSamples>& stored)
{
    juce::String problem;

    // The header's 16-bit channel count is read as signed: 65,535 arrives as 4,294,967,295.
    const auto channels = reader.numChannels > 0xffff ? reader.numChannels & 0xffff : reader.numChannels;
    if (channels > (unsigned int) maxFileChannels)
    {
        problem << "its header claims " << (int) channels << " channels; at most " << maxFileChannels << " can be read";
        return problem;
    }

    // The WAV reader takes an RF64 file's data size from its ds64 chunk alone,
    // and finds none of the data when that chunk gives no size.
    const auto frameBytes = (juce::int64) juce::jmax (1u, channels * reader.bitsPerSample / 8);
    if (stored && ! stored->frames && reader.lengthInSamples == 0 && stored->dataBytes >= frameBytes)
        problem << "the reader found none of the " << stored->dataBytes << " bytes of its data chunk";
    return problem;
}

// Formats that store their samples as they are say where the samples lie: a
// reader given too few bytes fills the rest with silence, and one given a
// sample size it has no decoder for leaves the buffer untouched.
void checkStoredSamples (const StoredSamples& stored, AudioInput& in)
{
    auto& reader = *in.reader;
    const auto bits = reader.bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
    {
        in.problem << "its samples are " << (int) bits << "-bit; 8-, 16-, 24- and 32-bit samples can be read";
        return;
    }

    const auto frameBytes = (juce::int64) (reader.numChannels * bits / 8);
    const auto claimed = stored.frames.value_or (reader.lengthInSamples);
    const auto held = juce::jmin (claimed, stored.heldBytes / frameBytes);
    if (held < claimed)
    {
        // A recorder that stopped before it wrote its final size leaves such a
        // file: what is there is worth reading, and the user is told.
        const auto claim = "its header claims " + juce::String (claimed) + " frames but the file holds ";
        if (held == 0)
            in.problem = claim + "none";
        else
            in.warning = claim + "only " + juce::String (held) + "; reading those";
    }
    reader.lengthInSamples = held;
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
    std::optional<StoredSamples> stored;
    if (! openReader (formats, file, in, stored))
        return in;

    in.problem = headerProblem (*in.reader, stored);
    if (in.problem.isEmpty() && stored)
        checkStoredSamples (*stored, in);
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
