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
int usage()
{
    std::fprintf (stderr, "usage: kalto-track IN.wav [--channel N] [--confidence F] [--gain F] [--bends] [--legato]\n"
                          "                   [--block N] [--exact]\n");
    return 2;
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
} // namespace

int main (int argc, char* argv[])
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));
    if (args.isEmpty())
        return usage();

    using namespace kalto::tools;

    juce::String input;
    bool bends = false, legato = false, exact = false;
    NumberOption numbers[] { { "--channel", 1, maxFileChannels, true, 1 },
                             { "--block", 1, maxBlockSize, true, 512 },
                             settingOption ("--confidence", kalto::confidenceIndex),
                             settingOption ("--gain", kalto::gainIndex) };
    auto& [channelOption, blockOption, confidenceOption, gainOption] = numbers;

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        const bool hasValue = i + 1 < args.size();
        auto* number = std::find_if (std::begin (numbers), std::end (numbers), [&] (auto& o) { return a == o.name; });
        if (a == "--bends") bends = true;
        else if (a == "--legato") legato = true;
        else if (a == "--exact") exact = true;
        else if (number != std::end (numbers) && hasValue)
        {
            const auto value = parseNumber (args[++i], number->minimum, number->maximum, number->whole);
            if (! value)
            {
                fail (2, a + " " + args[i] + ": must be " + describeRange (number->minimum, number->maximum, number->whole));
                return usage();
            }
            number->value = *value;
        }
        else if (! a.startsWith ("--") && input.isEmpty()) input = a;
        else return usage();
    }
    if (input.isEmpty())
        return usage();
    const int channel = (int) channelOption.value, block = (int) blockOption.value;

    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (input);
    if (! file.existsAsFile())
        return fail (3, "no such file: " + input);

    auto audio = openAudioFile (file);
    const auto cannotRead = "cannot read audio file: " + input;
    if (audio.reader == nullptr || audio.problem.isNotEmpty())
        return fail (5, cannotRead + (audio.problem.isNotEmpty() ? ": " + audio.problem : juce::String()));
    if (audio.warning.isNotEmpty())
        std::fprintf (stderr, "kalto-track: warning: %s: %s\n", input.toRawUTF8(), audio.warning.toRawUTF8());

    auto& reader = audio.reader;
    // The tracker would quietly run at the nearest rate it is built for.
    if (reader->sampleRate < minSampleRate || reader->sampleRate > maxSampleRate)
        return fail (5, cannotRead + ": its rate of " + juce::String ((juce::int64) reader->sampleRate) + " Hz is outside the tracker's "
                            + juce::String (minSampleRate) + " to " + juce::String (maxSampleRate) + " Hz");
    if (channel > (int) reader->numChannels)
        return fail (2, input + " has " + juce::String (reader->numChannels) + " channel(s); there is no channel " + juce::String (channel));

    kalto::PitchTracker tracker ((int) reader->sampleRate);
    tracker.confidence = (float) confidenceOption.value;
    tracker.gain = (float) gainOption.value;
    tracker.bends = bends;
    tracker.legato = legato;

    // Exact positions come from one-sample blocks: a sample writes at most four records.
    const int step = exact ? 1 : block;
    const int capacity = exact ? 8 : juce::jlimit (1, 65535, block);
    std::vector<kalto::TrackerEvent> events ((size_t) capacity);
    // Channels up to the one tracked are read, no more.
    juce::AudioBuffer<float> buffer (channel, block);

    for (juce::int64 start = 0; start < reader->lengthInSamples; start += block)
    {
        const int n = (int) juce::jmin ((juce::int64) block, reader->lengthInSamples - start);
        reader->read (&buffer, 0, n, start, true, true);
        const float* samples = buffer.getReadPointer (channel - 1);

        for (int offset = 0; offset < n; offset += step)
        {
            int count = 0;
            tracker.processBlock (samples + offset, juce::jmin (step, n - offset), events.data(), (uint16_t) capacity, &count);
            for (int e = 0; e < count; ++e)
                std::printf ("%lld %d %d %d\n", (long long) (start + offset), events[(size_t) e].status,
                             events[(size_t) e].data1, events[(size_t) e].data2);
        }
    }
    return 0;
}
