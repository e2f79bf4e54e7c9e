#include "tools/kalto-host/RenderCommand.h"

#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/LoadedPlugin.h"
#include "tools/kalto-host/OutputFile.h"

#include <cstdio>

namespace kalto::host
{
namespace
{
// --rate, --block or --channels with its value; false for any other option,
// or for a value it does not take, explained on stderr.
bool readNumberOption (const juce::String& arg, const juce::String& value, RenderOptions& options)
{
    using namespace kalto::tools;

    if (arg == "--rate")
    {
        // The output's header holds a whole number of Hz.
        const auto rate = parseNumber (value, minSampleRate, maxSampleRate, true);
        if (! rate)
            return refuse (arg, value,
                           "a whole number of Hz from " + juce::String (minSampleRate) + " to "
                               + juce::String (maxSampleRate));
        options.rate = *rate;
    }
    else if (arg == "--block")
    {
        const auto block = parseNumber (value, 1, maxBlockSize, true);
        if (! block)
            return refuse (arg, value, describeRange (1, maxBlockSize, true));
        options.block = (int) *block;
    }
    else if (arg == "--channels")
    {
        const auto channels = parseNumber (value, 1, maxTrackChannels, true);
        if (! channels)
            return refuse (arg, value, "1 or 2");
        options.channels = (int) *channels;
    }
    else
        return false;
    return true;
}

// One option with its value; false for an unknown one, or for a value it
// does not take, explained on stderr.
bool readOption (const juce::String& arg, const juce::String& value, RenderOptions& options)
{
    if (arg == "--out")
        options.outputPath = value;
    else if (arg == "--midi")
        options.midiPath = value;
    else if (arg == "--set")
        return parseSetting (value, options.settings);
    else
        return readNumberOption (arg, value, options);
    return true;
}

// Streams a recording through a prepared plug-in block by block, as a host's
// offline render does: the plug-in's output goes to a writer, and what it
// sends is printed and kept.
class Renderer
{
public:
    Renderer (juce::AudioPluginInstance& plugin, juce::AudioFormatReader& reader, int blockSize);

    // Renders all of the recording; everything the plug-in sent, at the sample it sent it.
    juce::MidiMessageSequence run (WavOutput& output);

private:
    void feed (juce::int64 start, int n);
    void keepEvents (juce::int64 start, juce::MidiMessageSequence& sent) const;

    juce::AudioPluginInstance& plugin;
    juce::AudioFormatReader& reader;
    const int blockSize;
    const int numIns;
    juce::AudioBuffer<float> fileBlock, buffer;
    juce::MidiBuffer midi;
};

Renderer::Renderer (juce::AudioPluginInstance& p, juce::AudioFormatReader& r, int block)
    : plugin (p),
      reader (r),
      blockSize (block),
      numIns (p.getTotalNumInputChannels()),
      // Only the channels that feed an input are read.
      fileBlock (juce::jlimit (1, (int) r.numChannels, numIns), block),
      buffer (juce::jmax (numIns, p.getTotalNumOutputChannels(), 1), block)
{
}

juce::MidiMessageSequence Renderer::run (WavOutput& output)
{
    juce::MidiMessageSequence sent;
    const auto total = reader.lengthInSamples;
    for (juce::int64 start = 0; start < total; start += blockSize)
    {
        const int n = (int) juce::jmin ((juce::int64) blockSize, total - start);
        feed (start, n);
        midi.clear();
        plugin.processBlock (buffer, midi);
        keepEvents (start, sent);
        output.write (buffer, n);
    }
    return sent;
}

void Renderer::feed (juce::int64 start, int n)
{
    reader.read (&fileBlock, 0, n, start, true, true);
    buffer.setSize (buffer.getNumChannels(), n, false, false, true);
    buffer.clear();
    // A mono file feeds every input, as a mono track does in a DAW.
    for (int ch = 0; ch < numIns; ++ch)
        buffer.copyFrom (ch, 0, fileBlock, juce::jmin (ch, fileBlock.getNumChannels() - 1), 0, n);
}

void Renderer::keepEvents (juce::int64 start, juce::MidiMessageSequence& sent) const
{
    for (const auto metadata : midi)
    {
        const auto message = metadata.getMessage();
        const auto at = start + metadata.samplePosition;
        const auto* raw = message.getRawData();
        const int size = message.getRawDataSize();
        std::printf ("%lld %d %d %d\n", (long long) at, size > 0 ? raw[0] : 0, size > 1 ? raw[1] : 0,
                     size > 2 ? raw[2] : 0);
        sent.addEvent (message, (double) at);
    }
}

// Renders the prepared plug-in into the output files; an exit code.
int render (juce::AudioPluginInstance& plugin, juce::AudioFormatReader& reader, double rate,
            const RenderOptions& options)
{
    const auto output =
        WavOutput::create (commandLineFile (options.outputPath), rate, plugin.getTotalNumOutputChannels());
    if (output == nullptr)
        return fail (exitWriteFailed, "cannot write audio file: " + options.outputPath);

    const auto sent = Renderer (plugin, reader, options.block).run (*output);
    plugin.releaseResources();
    if (! output->finish())
        return fail (exitWriteFailed, "cannot write audio file: " + options.outputPath + " (it is not whole)");

    if (! writeMidiFile (commandLineFile (options.midiPath), sent, rate))
        return fail (exitWriteFailed, "cannot write MIDI file: " + options.midiPath);
    return exitOk;
}
} // namespace

bool parseRenderOptions (const juce::StringArray& args, RenderOptions& options)
{
    if (args.size() < 3)
        return false;
    options.pluginPath = args[1];
    options.inputPath = args[2];

    for (int i = 3; i < args.size(); ++i)
    {
        if (args[i] == "--bypass")
            options.bypass = true;
        else if (i + 1 >= args.size() || ! readOption (args[i], args[i + 1], options))
            return false;
        else
            ++i;
    }
    return options.outputPath.isNotEmpty() && options.midiPath.isNotEmpty();
}

int runRender (const RenderOptions& options)
{
    // Refused before the render rather than after it.
    if (const int code = checkOutputFile (options.outputPath, "audio file"); code != exitOk)
        return code;
    if (const int code = checkOutputFile (options.midiPath, "MIDI file"); code != exitOk)
        return code;
    // One file written twice would keep only the MIDI; the recording would be
    // overwritten while it is read.
    if (namesOneFile (options.outputPath, options.midiPath))
        return fail (exitUsage, "--out and --midi name one file: " + options.outputPath);
    for (const auto& output : { options.outputPath, options.midiPath })
        if (namesOneFile (output, options.inputPath))
            return fail (exitUsage, output + " is the recording the render reads");

    int exitCode = exitOk;
    auto input = openInput (options.inputPath, options.rate <= 0.0, exitCode);
    if (! input)
        return exitCode;

    auto& reader = *input->reader;
    const double rate = options.rate > 0.0 ? options.rate : reader.sampleRate;
    const int channels = options.channels != 0 ? options.channels
                                               : juce::jlimit (1, maxTrackChannels, (int) reader.numChannels);

    auto loaded = loadPlugin (options.pluginPath, rate, options.block, exitCode);
    if (! loaded || ! preparePlugin (loaded->instance(), rate, options.block, channels, options.settings, exitCode))
        return exitCode;
    if (options.bypass)
        loaded->dispatch (op::setBypass, 0, 1);

    return render (loaded->instance(), reader, rate, options);
}
} // namespace kalto::host
