// kalto-host: a console host for Linux VST 2.4 plug-ins.
//
//   kalto-host info PLUGIN.so
//   kalto-host render PLUGIN.so IN.wav --out OUT.wav --midi OUT.mid
//              [--rate HZ] [--block N] [--channels 1|2]
//              [--set INDEX=NORMALISED ...] [--bypass]
//
// The identity is read through the plug-in's own dispatcher, so what is
// printed is what any VST host would be told.

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <pluginterfaces/vst2.x/aeffectx.h>

#include "tools/ToolInput.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

namespace
{
enum ExitCode
{
    exitOk = 0,
    exitUsage = 2,
    exitMissingFile = 3,
    exitNotAPlugin = 4,
    exitBadAudio = 5,
    exitWriteFailed = 6
};

// Opcode numbers as a VST 2.4 host sends them.
namespace op
{
constexpr int getParamDisplay = 7;
constexpr int getParamName = 8;
constexpr int getPlugCategory = 35;
constexpr int setBypass = 0x2C;
constexpr int getEffectName = 45;
constexpr int getVendorString = 47;
constexpr int getVendorVersion = 49;
constexpr int canDo = 51;
constexpr int getVstVersion = 58;
} // namespace op

constexpr int effectFlagHasEditor = 1 << 0;

int fail (ExitCode code, const juce::String& message)
{
    std::fprintf (stderr, "kalto-host: %s\n", message.toRawUTF8());
    return code;
}

bool refuse (const juce::String& option, const juce::String& value, const juce::String& takes)
{
    fail (exitUsage, option + " " + value + ": must be " + takes);
    return false;
}

int usage()
{
    std::fprintf (stderr,
                  "usage: kalto-host info PLUGIN.so\n"
                  "       kalto-host render PLUGIN.so IN.wav --out OUT.wav --midi OUT.mid\n"
                  "                  [--rate HZ] [--block N] [--channels 1|2]\n"
                  "                  [--set INDEX=NORMALISED ...] [--bypass]\n");
    return exitUsage;
}

struct LoadedPlugin
{
    std::unique_ptr<juce::AudioPluginInstance> instance;
    AEffect* effect = nullptr;

    VstIntPtr dispatch (int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) const
    {
        return effect->dispatcher (effect, opcode, index, value, ptr, opt);
    }

    juce::String dispatchString (int opcode, int index = 0) const
    {
        char text[256] = {};
        dispatch (opcode, index, 0, text);
        text[sizeof (text) - 1] = 0;
        return juce::String::fromUTF8 (text);
    }

    juce::String canDoAnswer (const char* what) const
    {
        return dispatch (op::canDo, 0, 0, const_cast<char*> (what)) == 1 ? "yes" : "no";
    }
};

// Loads the plug-in file, or explains on stderr why not.
std::optional<LoadedPlugin> loadPlugin (const juce::String& path, double rate, int block, int& exitCode)
{
    const juce::File file = juce::File::getCurrentWorkingDirectory().getChildFile (path);

    if (! file.existsAsFile())
    {
        exitCode = fail (exitMissingFile, "no such file: " + path);
        return std::nullopt;
    }

    juce::VSTPluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, file.getFullPathName());

    if (types.isEmpty())
    {
        exitCode = fail (exitNotAPlugin, "not a VST 2.4 plug-in: " + path);
        return std::nullopt;
    }

    juce::String error;
    LoadedPlugin loaded;
    loaded.instance = format.createInstanceFromDescription (*types[0], rate, block, error);

    if (loaded.instance == nullptr)
    {
        exitCode = fail (exitNotAPlugin, "cannot open plug-in " + path + ": " + error);
        return std::nullopt;
    }

    struct EffectFinder : juce::ExtensionsVisitor
    {
        void visitVSTClient (const VSTClient& client) override { effect = static_cast<AEffect*> (client.getAEffectPtr()); }
        AEffect* effect = nullptr;
    } finder;
    loaded.instance->getExtensions (finder);
    loaded.effect = finder.effect;

    if (loaded.effect == nullptr)
    {
        exitCode = fail (exitNotAPlugin, "not a VST 2.4 plug-in: " + path);
        return std::nullopt;
    }
    return loaded;
}

juce::String fourCharacters (int32_t id)
{
    juce::String text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += (juce::juce_wchar) (char) ((id >> shift) & 0xff);
    return text;
}

juce::String categoryName (VstIntPtr category)
{
    switch (category)
    {
        case 1:  return "effect";
        case 2:  return "synth";
        default: return "other (" + juce::String ((int) category) + ")";
    }
}

void printLine (const juce::String& key, const juce::String& value)
{
    std::printf ("%s: %s\n", key.toRawUTF8(), value.toRawUTF8());
}

int runInfo (const juce::String& pluginPath)
{
    int exitCode = exitOk;
    auto loaded = loadPlugin (pluginPath, 44100.0, 512, exitCode);
    if (! loaded)
        return exitCode;

    const AEffect& e = *loaded->effect;
    printLine ("name", loaded->dispatchString (op::getEffectName));
    printLine ("vendor", loaded->dispatchString (op::getVendorString));
    printLine ("version", juce::String ((int) loaded->dispatch (op::getVendorVersion)));
    printLine ("plugin-version", juce::String (e.version));
    printLine ("uid", fourCharacters (e.uniqueID));
    printLine ("category", categoryName (loaded->dispatch (op::getPlugCategory)));
    printLine ("vst-version", juce::String ((int) loaded->dispatch (op::getVstVersion)));
    printLine ("inputs", juce::String (e.numInputs));
    printLine ("outputs", juce::String (e.numOutputs));
    printLine ("programs", juce::String (e.numPrograms));
    printLine ("editor", (e.flags & effectFlagHasEditor) != 0 ? "yes" : "no");
    printLine ("midi-in", loaded->canDoAnswer ("receiveVstMidiEvent"));
    printLine ("midi-out", loaded->canDoAnswer ("sendVstMidiEvent"));
    printLine ("parameters", juce::String (e.numParams));

    for (int i = 0; i < e.numParams; ++i)
    {
        const float value = e.getParameter (loaded->effect, i);
        std::printf ("%d\t%s\t%.9g\t%s\n", i,
                     loaded->dispatchString (op::getParamName, i).toRawUTF8(),
                     (double) value,
                     loaded->dispatchString (op::getParamDisplay, i).toRawUTF8());
    }

    return exitOk;
}

struct RenderOptions
{
    juce::String pluginPath, inputPath, outputPath, midiPath;
    double rate = 0.0;
    int block = 512;
    int channels = 0;
    bool bypass = false;
    std::vector<std::pair<int, float>> settings;
};

// Reads the options, or explains on stderr which one is wrong.
bool parseRenderOptions (const juce::StringArray& args, RenderOptions& options)
{
    using namespace kalto::tools;

    if (args.size() < 3)
        return false;

    options.pluginPath = args[1];
    options.inputPath = args[2];

    for (int i = 3; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        const bool hasValue = i + 1 < args.size();

        if (arg == "--bypass")
            options.bypass = true;
        else if (! hasValue)
            return false;
        else if (arg == "--out")
            options.outputPath = args[++i];
        else if (arg == "--midi")
            options.midiPath = args[++i];
        else if (arg == "--rate")
        {
            // The output's header holds a whole number of Hz.
            const auto rate = parseNumber (args[++i], minSampleRate, maxSampleRate, true);
            if (! rate)
                return refuse (arg, args[i], "a whole number of Hz from " + juce::String (minSampleRate) + " to "
                                                   + juce::String (maxSampleRate));
            options.rate = *rate;
        }
        else if (arg == "--block")
        {
            const auto block = parseNumber (args[++i], 1, maxBlockSize, true);
            if (! block)
                return refuse (arg, args[i], describeRange (1, maxBlockSize, true));
            options.block = (int) *block;
        }
        else if (arg == "--channels")
        {
            const auto channels = parseNumber (args[++i], 1, 2, true);
            if (! channels)
                return refuse (arg, args[i], "1 or 2");
            options.channels = (int) *channels;
        }
        else if (arg == "--set")
        {
            // The index is checked against the plug-in once it is loaded.
            const auto setting = args[++i];
            const auto index = parseNumber (setting.upToFirstOccurrenceOf ("=", false, false),
                                           std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), true);
            const auto value = parseNumber (setting.fromFirstOccurrenceOf ("=", false, false), 0.0, 1.0);
            if (! setting.containsChar ('=') || ! index || ! value)
                return refuse (arg, setting, "INDEX=VALUE, a parameter's index and a normalised value from 0 to 1");
            options.settings.emplace_back ((int) *index, (float) *value);
        }
        else
            return false;
    }

    return options.outputPath.isNotEmpty() && options.midiPath.isNotEmpty();
}

// A Standard MIDI File whose ticks are samples, when the rate allows it.
void writeMidiFile (const juce::MidiMessageSequence& events, double rate, juce::OutputStream& out)
{
    const auto integerRate = (long long) rate;
    const long long divisor = std::gcd (integerRate > 0 ? integerRate : 1LL, 1000000LL);
    long long ticksPerQuarter = integerRate / divisor;
    long long microsPerQuarter = 1000000LL / divisor;
    double ticksPerSample = 1.0;

    if ((double) integerRate != rate || ticksPerQuarter < 1 || ticksPerQuarter > 32767)
    {
        // No exact tick per sample: milliseconds at 120 beats per minute instead.
        ticksPerQuarter = 500;
        microsPerQuarter = 500000;
        ticksPerSample = 1000.0 / rate;
    }

    juce::MidiMessageSequence track;
    track.addEvent (juce::MidiMessage::tempoMetaEvent ((int) microsPerQuarter), 0.0);
    for (const auto* holder : events)
    {
        auto message = holder->message;
        message.setTimeStamp (std::round (message.getTimeStamp() * ticksPerSample));
        track.addEvent (message);
    }
    track.updateMatchedPairs();

    juce::MidiFile file;
    file.setTicksPerQuarterNote ((int) ticksPerQuarter);
    file.addTrack (track);
    file.writeTo (out, 1);
}

int runRender (const RenderOptions& options)
{
    using namespace kalto::tools;

    const auto inputFile = juce::File::getCurrentWorkingDirectory().getChildFile (options.inputPath);
    if (! inputFile.existsAsFile())
        return fail (exitMissingFile, "no such file: " + options.inputPath);

    auto input = openAudioFile (inputFile);
    const auto cannotRead = "cannot read audio file: " + options.inputPath;
    if (input.reader == nullptr || input.problem.isNotEmpty())
        return fail (exitBadAudio, cannotRead + (input.problem.isNotEmpty() ? ": " + input.problem : juce::String()));
    if (input.warning.isNotEmpty())
        std::fprintf (stderr, "kalto-host: warning: %s: %s\n", options.inputPath.toRawUTF8(), input.warning.toRawUTF8());

    auto& reader = input.reader;
    const double rate = options.rate > 0.0 ? options.rate : reader->sampleRate;
    if (rate < minSampleRate || rate > maxSampleRate)
        return fail (exitBadAudio, cannotRead + ": its rate of " + juce::String ((juce::int64) rate) + " Hz is outside "
                                       + juce::String (minSampleRate) + " to " + juce::String (maxSampleRate) + " Hz");
    const int fileChannels = (int) reader->numChannels;
    const int channels = options.channels != 0 ? options.channels : juce::jlimit (1, 2, fileChannels);

    int exitCode = exitOk;
    auto loaded = loadPlugin (options.pluginPath, rate, options.block, exitCode);
    if (! loaded)
        return exitCode;

    auto& plugin = *loaded->instance;

    juce::AudioProcessor::BusesLayout layout;
    const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    if (! plugin.setBusesLayout (layout))
        std::fprintf (stderr, "kalto-host: the plug-in refused %d in / %d out; using its own layout\n", channels, channels);

    const auto& parameters = plugin.getParameters();
    for (const auto& [index, value] : options.settings)
    {
        if (index < 0 || index >= parameters.size())
            return fail (exitUsage, "no parameter " + juce::String (index) + ": "
                                        + (parameters.isEmpty() ? juce::String ("the plug-in has no parameters")
                                                                : "its parameters are 0 to " + juce::String (parameters.size() - 1)));
        parameters[index]->setValue (value);
    }

    plugin.prepareToPlay (rate, options.block);

    if (options.bypass)
        loaded->dispatch (op::setBypass, 0, 1);

    const int numIns = plugin.getTotalNumInputChannels();
    const int numOuts = plugin.getTotalNumOutputChannels();
    const auto outputFile = juce::File::getCurrentWorkingDirectory().getChildFile (options.outputPath);
    outputFile.deleteFile();

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::OutputStream> outStream (outputFile.createOutputStream());
    std::unique_ptr<juce::AudioFormatWriter> writer;
    if (outStream != nullptr)
        writer.reset (wav.createWriterFor (outStream.get(), rate, (unsigned int) juce::jmax (1, numOuts), 32, {}, 0));
    if (writer == nullptr)
        return fail (exitWriteFailed, "cannot write audio file: " + options.outputPath);
    outStream.release(); // the writer owns it now

    // Only the channels that feed an input are read.
    juce::AudioBuffer<float> fileBlock (juce::jlimit (1, fileChannels, numIns), options.block);
    juce::AudioBuffer<float> buffer (juce::jmax (numIns, numOuts, 1), options.block);
    juce::MidiBuffer midi;
    juce::MidiMessageSequence sent;

    const auto total = reader->lengthInSamples;
    for (juce::int64 start = 0; start < total; start += options.block)
    {
        const int n = (int) juce::jmin ((juce::int64) options.block, total - start);
        reader->read (&fileBlock, 0, n, start, true, true);

        buffer.setSize (buffer.getNumChannels(), n, false, false, true);
        buffer.clear();
        // A mono file feeds every input, as a mono track does in a DAW.
        for (int ch = 0; ch < numIns; ++ch)
            buffer.copyFrom (ch, 0, fileBlock, juce::jmin (ch, fileBlock.getNumChannels() - 1), 0, n);

        midi.clear();
        plugin.processBlock (buffer, midi);

        for (const auto metadata : midi)
        {
            const auto message = metadata.getMessage();
            const auto at = start + metadata.samplePosition;
            const auto* raw = message.getRawData();
            const int size = message.getRawDataSize();
            std::printf ("%lld %d %d %d\n", (long long) at,
                         size > 0 ? raw[0] : 0, size > 1 ? raw[1] : 0, size > 2 ? raw[2] : 0);
            sent.addEvent (message, (double) at);
        }

        writer->writeFromAudioSampleBuffer (buffer, 0, n);
    }

    plugin.releaseResources();
    writer.reset();

    const auto midiFile = juce::File::getCurrentWorkingDirectory().getChildFile (options.midiPath);
    midiFile.deleteFile();
    juce::FileOutputStream midiStream (midiFile);
    if (! midiStream.openedOk())
        return fail (exitWriteFailed, "cannot write MIDI file: " + options.midiPath);
    writeMidiFile (sent, rate, midiStream);
    midiStream.flush();
    if (midiStream.getStatus().failed())
        return fail (exitWriteFailed, "cannot write MIDI file: " + options.midiPath);

    return exitOk;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    if (args.isEmpty())
        return usage();

    juce::ScopedJuceInitialiser_GUI juceRuntime;

    // JUCE's plug-in loader narrates every load; only our own output is wanted.
    struct QuietLogger : juce::Logger
    {
        void logMessage (const juce::String&) override {}
    } quiet;
    juce::Logger::setCurrentLogger (&quiet);
    struct LoggerReset
    {
        ~LoggerReset() { juce::Logger::setCurrentLogger (nullptr); }
    } loggerReset;

    if (args[0] == "info" && args.size() == 2)
        return runInfo (args[1]);

    if (args[0] == "render")
    {
        RenderOptions options;
        if (! parseRenderOptions (args, options))
            return usage();
        return runRender (options);
    }

    return usage();
}
