// kalto-track: runs the pitch tracker over a recording and prints its records.
//
//   kalto-track IN.wav [--channel N] [--confidence F] [--gain F] [--bends] [--legato]
//               [--block N] [--exact]
//
// Each record prints as `sample status data1 data2`, in decimal. The sample is
// the first sample of the block the record was written in, or with --exact
// the sample that wrote it.

#include <juce_audio_formats/juce_audio_formats.h>

#include "engine/PitchTracker.h"

#include <cstdio>
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
} // namespace

int main (int argc, char* argv[])
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));
    if (args.isEmpty())
        return usage();

    juce::String input;
    int channel = 1, block = 512;
    float confidence = 0.78f, gain = 0.23f;
    bool bends = false, legato = false, exact = false;

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--bends") bends = true;
        else if (a == "--legato") legato = true;
        else if (a == "--exact") exact = true;
        else if (a == "--channel" && hasValue) channel = args[++i].getIntValue();
        else if (a == "--block" && hasValue) block = args[++i].getIntValue();
        else if (a == "--confidence" && hasValue) confidence = args[++i].getFloatValue();
        else if (a == "--gain" && hasValue) gain = args[++i].getFloatValue();
        else if (! a.startsWith ("--") && input.isEmpty()) input = a;
        else return usage();
    }
    if (input.isEmpty() || block < 1 || channel < 1)
        return usage();

    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (input);
    if (! file.existsAsFile())
        return fail (3, "no such file: " + input);

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
        return fail (5, "cannot read audio file: " + input);
    if (channel > (int) reader->numChannels)
        return fail (2, "the file has " + juce::String (reader->numChannels) + " channel(s), not " + juce::String (channel));

    kalto::PitchTracker tracker ((int) reader->sampleRate);
    tracker.confidence = confidence;
    tracker.gain = gain;
    tracker.bends = bends;
    tracker.legato = legato;

    // Exact positions come from one-sample blocks: a sample writes at most four records.
    const int step = exact ? 1 : block;
    const int capacity = exact ? 8 : juce::jlimit (1, 65535, block);
    std::vector<kalto::TrackerEvent> events ((size_t) capacity);
    juce::AudioBuffer<float> buffer ((int) reader->numChannels, block);

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
