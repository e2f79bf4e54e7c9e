// kalto-track: runs the pitch tracker over a recording and prints its records.
//
//   kalto-track IN.wav [--channel N] [--confidence F] [--gain F] [--bends] [--legato]
//               [--block N] [--exact]
//
// Each record prints as `sample status data1 data2`, in decimal. The sample is
// the first sample of the block the record was written in, or with --exact
// the sample that wrote it. Exit codes: 2 usage, 3 missing file, 5 unreadable
// audio; a file cut short is read as far as it goes, with a warning.

#include <juce_audio_formats/juce_audio_formats.h>

#include "engine/PitchTracker.h"
#include "processor/Parameters.h"
#include "tools/ToolInput.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

namespace
{
enum ExitCode
{
    exitOk = 0,
    exitUsage = 2,
    exitMissingFile = 3,
    exitBadAudio = 5
};

// Blocks as a host gives them, unless asked otherwise.
constexpr int defaultBlockSize = 512;
// --exact runs one-sample blocks, and a sample writes at most four records.
constexpr int exactCapacity = 8;
// The records one block can hold, as the capacity's 16 bits allow.
constexpr int maxCapacity = 65535;

int usage()
{
    std::fprintf (stderr, "usage: kalto-track IN.wav [--channel N] [--confidence F] [--gain F] [--bends] [--legato]\n"
                          "                   [--block N] [--exact]\n");
    return exitUsage;
}

int fail (int code, const juce::String& message)
{
    std::fprintf (stderr, "kalto-track: %s\n", message.toRawUTF8());
    return code;
}

// A numeric option: what it takes, and its value once read.
struct NumberOption
{
    const char* name;
    double minimum, maximum;
    bool whole;
    double value;
};

// The tracker's settings take the ranges the plug-in gives them.
NumberOption settingOption (const char* name, kalto::ParameterIndex index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    return { name, row.minimum, row.maximum, false, row.defaultValue };
}

struct Options
{
    juce::String input;
    bool bends = false, legato = false, exact = false;
    NumberOption channel { "--channel", 1, kalto::tools::maxFileChannels, true, 1 };
    NumberOption block { "--block", 1, kalto::tools::maxBlockSize, true, defaultBlockSize };
    NumberOption confidence = settingOption ("--confidence", kalto::confidenceIndex);
    NumberOption gain = settingOption ("--gain", kalto::gainIndex);
};

// Reads the options; exitOk, or the usage failure explained on stderr.
int parseOptions (const juce::StringArray& args, Options& options)
{
    NumberOption* numbers[] { &options.channel, &options.block, &options.confidence, &options.gain };
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        const bool hasValue = i + 1 < args.size();
        auto* const* number =
            std::find_if (std::begin (numbers), std::end (numbers), [&] (auto* o) { return a == o->name; });
        if (a == "--bends")
            options.bends = true;
        else if (a == "--legato")
            options.legato = true;
        else if (a == "--exact")
            options.exact = true;
        else if (number != std::end (numbers) && hasValue)
        {
            auto& o = **number;
            const auto value = kalto::tools::parseNumber (args[++i], o.minimum, o.maximum, o.whole);
            if (! value)
            {
                fail (exitUsage,
                      a + " " + args[i] + ": must be " + kalto::tools::describeRange (o.minimum, o.maximum, o.whole));
                return usage();
            }
            o.value = *value;
        }
        else if (! a.startsWith ("--") && options.input.isEmpty())
            options.input = a;
        else
            return usage();
    }
    return options.input.isEmpty() ? usage() : exitOk;
}

// Opens the recording and checks it suits the tracker and the channel asked
// for; exitOk, or the failure explained on stderr.
int openRecording (const Options& options, kalto::tools::AudioInput& audio)
{
    using namespace kalto::tools;
    const auto& input = options.input;
    auto opened = openInputFile (input);
    if (opened.failure != InputFile::Failure::none)
        return fail (opened.failure == InputFile::Failure::missing ? exitMissingFile : exitBadAudio, opened.message);
    audio = std::move (opened.audio);
    const auto cannotRead = "cannot read audio file: " + input;
    if (audio.warning.isNotEmpty())
        std::fprintf (stderr, "kalto-track: warning: %s: %s\n", input.toRawUTF8(), audio.warning.toRawUTF8());

    const auto& reader = *audio.reader;
    // The tracker would quietly run at the nearest rate it is built for.
    if (reader.sampleRate < minSampleRate || reader.sampleRate > maxSampleRate)
        return fail (exitBadAudio, cannotRead + ": its rate of " + juce::String ((juce::int64) reader.sampleRate)
                                       + " Hz is outside the tracker's " + juce::String (minSampleRate) + " to "
                                       + juce::String (maxSampleRate) + " Hz");
    const int channel = (int) options.channel.value;
    if (channel > (int) reader.numChannels)
        return fail (exitUsage, input + " has " + juce::String (reader.numChannels)
                                    + " channel(s); there is no channel " + juce::String (channel));
    return exitOk;
}

// Tracks the channel block by block and prints each record.
void track (const Options& options, juce::AudioFormatReader& reader)
{
    kalto::PitchTracker tracker ((int) reader.sampleRate);
    tracker.confidence = (float) options.confidence.value;
    tracker.gain = (float) options.gain.value;
    tracker.bends = options.bends;
    tracker.legato = options.legato;

    const int channel = (int) options.channel.value, block = (int) options.block.value;
    const int step = options.exact ? 1 : block;
    const int capacity = options.exact ? exactCapacity : juce::jlimit (1, maxCapacity, block);
    std::vector<kalto::TrackerEvent> events ((size_t) capacity);
    // Channels up to the one tracked are read, no more.
    juce::AudioBuffer<float> buffer (channel, block);

    for (juce::int64 start = 0; start < reader.lengthInSamples; start += block)
    {
        const int n = (int) juce::jmin ((juce::int64) block, reader.lengthInSamples - start);
        reader.read (&buffer, 0, n, start, true, true);
        const float* samples = buffer.getReadPointer (channel - 1);

        for (int offset = 0; offset < n; offset += step)
        {
            int count = 0;
            tracker.processBlock (samples + offset, juce::jmin (step, n - offset), events.data(), (uint16_t) capacity,
                                  &count);
            for (int e = 0; e < count; ++e)
                std::printf ("%lld %d %d %d\n", (long long) (start + offset), events[(size_t) e].status,
                             events[(size_t) e].data1, events[(size_t) e].data2);
        }
    }
}
} // namespace

int main (int argc, char* argv[])
{
    const auto args = kalto::tools::commandLineArguments (argc, argv);
    if (args.isEmpty())
        return usage();

    Options options;
    if (const int code = parseOptions (args, options); code != exitOk)
        return code;
    kalto::tools::AudioInput audio;
    if (const int code = openRecording (options, audio); code != exitOk)
        return code;
    track (options, *audio.reader);
    return exitOk;
}
