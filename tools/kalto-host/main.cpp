// kalto-host: a console host for Linux VST 2.4 plug-ins.
//
//   kalto-host info PLUGIN.so
//   kalto-host render PLUGIN.so IN.wav --out OUT.wav --midi OUT.mid
//              [--rate HZ] [--block N] [--channels 1|2]
//              [--set INDEX=NORMALISED ...] [--bypass]
//   kalto-host editor PLUGIN.so [--play IN.wav] [--seconds S]
//              [--click X,Y@T ...] [--shot OUT.png@T ...] [--commands]
//              [--set INDEX=NORMALISED ...]
//
// The identity is read through the plug-in's own dispatcher, so what is
// printed is what any VST host would be told.

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "tools/ToolInput.h"
#include "tools/kalto-host/EditorActions.h"
#include "tools/kalto-host/EditorRun.h"
#include "tools/kalto-host/EditorWindow.h"
#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/LoadedPlugin.h"
#include "tools/kalto-host/OptionReaders.h"
#include "tools/kalto-host/OutputFile.h"
#include "tools/kalto-host/RealTimePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace
{
using namespace kalto::host;

int usage()
{
    std::fprintf (stderr,
                  "usage: kalto-host info PLUGIN.so\n"
                  "       kalto-host render PLUGIN.so IN.wav --out OUT.wav --midi OUT.mid\n"
                  "                  [--rate HZ] [--block N] [--channels 1|2]\n"
                  "                  [--set INDEX=NORMALISED ...] [--bypass]\n"
                  "       kalto-host editor PLUGIN.so [--play IN.wav] [--seconds S]\n"
                  "                  [--click X,Y@T ...] [--shot OUT.png@T ...] [--commands]\n"
                  "                  [--set INDEX=NORMALISED ...]\n");
    return exitUsage;
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

    const AEffect& e = loaded->effect();
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
    printLine ("editor", loaded->hasEditor() ? "yes" : "no");
    printLine ("midi-in", loaded->canDoAnswer ("receiveVstMidiEvent"));
    printLine ("midi-out", loaded->canDoAnswer ("sendVstMidiEvent"));
    printLine ("parameters", juce::String (e.numParams));

    for (int i = 0; i < e.numParams; ++i)
    {
        const float value = e.getParameter (&loaded->effect(), i);
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
    Settings settings;
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
            if (! parseSetting (args[++i], options.settings))
                return false;
        }
        else
            return false;
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

    int exitCode = exitOk;
    auto input = openInput (options.inputPath, options.rate <= 0.0, exitCode);
    if (! input)
        return exitCode;

    auto& reader = input->reader;
    const double rate = options.rate > 0.0 ? options.rate : reader->sampleRate;
    const int fileChannels = (int) reader->numChannels;
    const int channels = options.channels != 0 ? options.channels : juce::jlimit (1, 2, fileChannels);

    auto loaded = loadPlugin (options.pluginPath, rate, options.block, exitCode);
    if (! loaded)
        return exitCode;

    auto& plugin = loaded->instance();
    if (! preparePlugin (plugin, rate, options.block, channels, options.settings, exitCode))
        return exitCode;

    if (options.bypass)
        loaded->dispatch (op::setBypass, 0, 1);

    const int numIns = plugin.getTotalNumInputChannels();
    const int numOuts = plugin.getTotalNumOutputChannels();
    auto writer = createWavWriter (commandLineFile (options.outputPath), rate, numOuts);
    if (writer == nullptr)
        return fail (exitWriteFailed, "cannot write audio file: " + options.outputPath);

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

    if (! writeMidiFile (commandLineFile (options.midiPath), sent, rate))
        return fail (exitWriteFailed, "cannot write MIDI file: " + options.midiPath);

    return exitOk;
}

// ---------------------------------------------------------------------------
// The editor in a window of the host's own.

struct EditorOptions
{
    juce::String pluginPath, playPath;
    std::optional<double> seconds;
    std::vector<EditorAction> actions;
    bool readCommands = false;
    Settings settings;
};

// Blocks as a host's audio interface would deliver them.
constexpr int editorBlockSize = 512;

// Reads the options, or explains on stderr which one is wrong.
bool parseEditorOptions (const juce::StringArray& args, EditorOptions& options)
{
    if (args.size() < 2)
        return false;
    options.pluginPath = args[1];

    for (int i = 2; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        if (arg == "--commands")
        {
            options.readCommands = true;
            continue;
        }
        if (i + 1 >= args.size())
            return false;
        const auto value = args[++i];

        if (arg == "--play")
            options.playPath = value;
        else if (arg == "--seconds")
        {
            options.seconds = kalto::tools::parseNumber (value, 0.0, maxEditorSeconds);
            if (! options.seconds || *options.seconds <= 0.0)
                return refuse (arg, value, "a number of seconds above 0 and up to " + juce::String (maxEditorSeconds, 0));
        }
        else if (arg == "--click" || arg == "--shot")
        {
            const auto action = arg == "--click" ? parseClickOption (value) : parseShotOption (value);
            if (! action)
                return false;
            options.actions.push_back (*action);
        }
        else if (arg == "--set")
        {
            if (! parseSetting (value, options.settings))
                return false;
        }
        else
            return false;
    }

    // In the order of their times; at the same time, in the order given.
    std::stable_sort (options.actions.begin(), options.actions.end(),
                      [] (const EditorAction& a, const EditorAction& b) { return a.notBefore() < b.notBefore(); });

    // An action after the end would quietly never happen.
    if (options.seconds && ! options.actions.empty() && options.actions.back().notBefore() > *options.seconds)
        return refuse ("--seconds", juce::String (*options.seconds),
                       "no earlier than the last --click or --shot, at " + juce::String (options.actions.back().notBefore())
                           + " s");
    return true;
}

int runEditor (const EditorOptions& options)
{
    // Refused before anything runs rather than after the wait for their time.
    for (const auto& action : options.actions)
    {
        if (action.isClick())
            continue;
        if (const int code = checkOutputFile (action.shotPath, "screenshot"); code != exitOk)
            return code;
    }

    int exitCode = exitOk;
    double rate = 44100.0;
    int channels = 2;
    juce::AudioBuffer<float> recording;
    if (options.playPath.isNotEmpty())
    {
        auto input = openInput (options.playPath, true, exitCode);
        if (! input)
            return exitCode;
        auto& reader = *input->reader;
        rate = reader.sampleRate;
        channels = juce::jlimit (1, 2, (int) reader.numChannels);
        recording.setSize (channels, (int) juce::jmin (reader.lengthInSamples, (juce::int64) std::numeric_limits<int>::max()));
        reader.read (&recording, 0, recording.getNumSamples(), 0, true, true);
    }

    // Connected before the plug-in loads, as a desktop host is: a plug-in
    // may look up the display's atoms as soon as it starts. Commands may ask
    // for clicks and screenshots both.
    juce::String problem;
    auto window = EditorWindow::connect (problem);
    const auto any = [&] (bool clicks) {
        return options.readCommands
            || std::any_of (options.actions.begin(), options.actions.end(), [&] (auto& a) { return a.isClick() == clicks; });
    };
    if (window == nullptr || (any (true) && ! window->canClick (problem)) || (any (false) && ! window->canCapture (problem)))
        return fail (exitNoDisplay, problem);

    auto loaded = loadPlugin (options.pluginPath, rate, editorBlockSize, exitCode);
    if (! loaded)
        return exitCode;
    if (! loaded->hasEditor())
        return fail (exitNoEditor, "the plug-in has no editor: " + options.pluginPath);

    auto& plugin = loaded->instance();
    if (! preparePlugin (plugin, rate, editorBlockSize, channels, options.settings, exitCode))
        return exitCode;

    ERect* rect = nullptr;
    loaded->dispatch (op::editGetRect, 0, 0, &rect);
    const int width = rect != nullptr ? rect->right - rect->left : 0;
    const int height = rect != nullptr ? rect->bottom - rect->top : 0;
    if (width <= 0 || height <= 0 || width > maxEditorSide || height > maxEditorSide)
        return fail (exitNoEditor, "the plug-in gave no usable editor size: " + juce::String (width) + " x "
                                       + juce::String (height));

    for (const auto& action : options.actions)
        if (action.isClick() && (action.x >= width || action.y >= height))
            return fail (exitUsage, "--click " + juce::String (action.x) + "," + juce::String (action.y)
                                        + ": outside the editor's " + juce::String (width) + " x " + juce::String (height)
                                        + " pixels");

    // With commands the input says when the run ends; it lasts at least as
    // long as --seconds all the same.
    const double fileSeconds = recording.getNumSamples() / rate;
    double seconds = options.seconds.value_or (options.readCommands ? 0.0
                                               : options.playPath.isNotEmpty() ? fileSeconds + 1.0
                                                                               : 3.0);
    if (! options.seconds && ! options.actions.empty())
        seconds = juce::jmax (seconds, options.actions.back().notBefore() + 0.25);

    window->open (loaded->effect(), width, height, "kalto-host: " + loaded->dispatchString (op::getEffectName));
    std::unique_ptr<RealTimePlayer> player;
    if (options.playPath.isNotEmpty())
        player = std::make_unique<RealTimePlayer> (plugin, std::move (recording), rate, editorBlockSize);

    exitCode = EditorRun (*window, player.get(), options.actions, seconds, options.readCommands).run();

    if (player != nullptr)
    {
        player->stop();
        if (player->lateBlocks() > 0)
            warn (juce::String (player->lateBlocks()) + " audio blocks started late");
    }
    window->close();
    plugin.releaseResources();
    loaded.reset();
    window.reset();

    if (exitCode == exitOk && EditorWindow::errorCount() > 0)
        return fail (exitXErrors, juce::String (EditorWindow::errorCount()) + " X errors during the run");
    return exitCode;
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

    if (args[0] == "editor")
    {
        EditorOptions options;
        if (! parseEditorOptions (args, options))
            return usage();
        return runEditor (options);
    }

    return usage();
}
