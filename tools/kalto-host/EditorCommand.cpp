#include "tools/kalto-host/EditorCommand.h"

#include "tools/kalto-host/EditorRun.h"
#include "tools/kalto-host/EditorWindow.h"
#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/LoadedPlugin.h"
#include "tools/kalto-host/OutputFile.h"
#include "tools/kalto-host/RealTimePlayer.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace kalto::host
{
namespace
{
// Without a recording the plug-in is given stereo, as most of a host's tracks are.
constexpr int defaultChannels = 2;

// How long a run lasts when --seconds does not say: a recording to its end
// and a second more, for the editor to show the last note end; three
// seconds with nothing to play; and past the last action, so that what it
// did is drawn before the editor closes.
constexpr double afterRecordingSeconds = 1.0;
constexpr double runWithoutRecordingSeconds = 3.0;
constexpr double afterLastActionSeconds = 0.25;

// What the plug-in plays while its editor is open: a recording, or nothing
// at the default rate.
struct Recording
{
    juce::AudioBuffer<float> samples;
    double rate = defaultRate;
    int channels = defaultChannels;
};

// The editor's size as the plug-in gives it.
struct EditorSize
{
    int width = 0, height = 0;
};

// One option with its value; false for an unknown one, or for a value it
// does not take, explained on stderr.
bool readOption (const juce::String& arg, const juce::String& value, EditorOptions& options)
{
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
        return parseSetting (value, options.settings);
    else
        return false;
    return true;
}

// Puts the actions in the order of their times, at the same time in the
// order given; false when one would come after the end, explained on stderr.
bool orderActions (EditorOptions& options)
{
    std::stable_sort (options.actions.begin(), options.actions.end(),
                      [] (const EditorAction& a, const EditorAction& b) { return a.notBefore() < b.notBefore(); });

    // An action after the end would quietly never happen.
    if (options.seconds && ! options.actions.empty() && options.actions.back().notBefore() > *options.seconds)
        return refuse ("--seconds", juce::String (*options.seconds),
                       "no earlier than the last --click or --shot, at "
                           + juce::String (options.actions.back().notBefore()) + " s");
    return true;
}

// Refused before anything runs rather than after the wait for their time.
int checkShots (const std::vector<EditorAction>& actions)
{
    for (const auto& action : actions)
    {
        if (action.isClick())
            continue;
        if (const int code = checkOutputFile (action.shotPath, "screenshot"); code != exitOk)
            return code;
    }
    return exitOk;
}

// Reads all of the --play file, or explains on stderr why it cannot.
bool readRecording (const juce::String& path, Recording& recording, int& exitCode)
{
    auto input = openInput (path, true, exitCode);
    if (! input)
        return false;

    auto& reader = *input->reader;
    recording.rate = reader.sampleRate;
    recording.channels = juce::jlimit (1, maxTrackChannels, (int) reader.numChannels);
    recording.samples.setSize (
        recording.channels, (int) juce::jmin (reader.lengthInSamples, (juce::int64) std::numeric_limits<int>::max()));
    reader.read (&recording.samples, 0, recording.samples.getNumSamples(), 0, true, true);
    return true;
}

// The display, able to do what the run asks of it; or nothing, explained on
// stderr. Commands may ask for clicks and screenshots both.
std::unique_ptr<EditorWindow> connectWindow (const EditorOptions& options, int& exitCode)
{
    const auto any = [&] (bool clicks) {
        return options.readCommands || std::any_of (options.actions.begin(), options.actions.end(), [&] (auto& a) {
                   return a.isClick() == clicks;
               });
    };

    juce::String problem;
    auto window = EditorWindow::connect (problem);
    if (window == nullptr || (any (true) && ! window->canClick (problem))
        || (any (false) && ! window->canCapture (problem)))
    {
        exitCode = fail (exitNoDisplay, problem);
        return nullptr;
    }
    return window;
}

// exitOk when the plug-in gives a size a window can have, or the failure
// explained on stderr.
int readEditorSize (const LoadedPlugin& loaded, EditorSize& size)
{
    ERect* rect = nullptr;
    loaded.dispatch (op::editGetRect, 0, 0, &rect);
    size.width = rect != nullptr ? rect->right - rect->left : 0;
    size.height = rect != nullptr ? rect->bottom - rect->top : 0;
    if (size.width <= 0 || size.height <= 0 || size.width > maxEditorSide || size.height > maxEditorSide)
        return fail (exitNoEditor, "the plug-in gave no usable editor size: " + juce::String (size.width) + " x "
                                       + juce::String (size.height));
    return exitOk;
}

// A click outside the editor is refused before the editor opens.
int checkClicks (const std::vector<EditorAction>& actions, const EditorSize& size)
{
    for (const auto& action : actions)
        if (action.isClick() && (action.x >= size.width || action.y >= size.height))
            return fail (exitUsage, "--click " + juce::String (action.x) + "," + juce::String (action.y)
                                        + ": outside the editor's " + juce::String (size.width) + " x "
                                        + juce::String (size.height) + " pixels");
    return exitOk;
}

// With commands the input says when the run ends; it lasts at least as long
// as --seconds all the same.
double runSeconds (const EditorOptions& options, double recordingSeconds)
{
    double seconds = options.seconds.value_or (options.readCommands ? 0.0
                                               : options.playPath.isNotEmpty()
                                                   ? recordingSeconds + afterRecordingSeconds
                                                   : runWithoutRecordingSeconds);
    if (! options.seconds && ! options.actions.empty())
        seconds = juce::jmax (seconds, options.actions.back().notBefore() + afterLastActionSeconds);
    return seconds;
}

// Opens the editor in the window and runs it to the end, the recording
// playing meanwhile; then closes it and stops the plug-in. An exit code.
int showEditor (EditorWindow& window, const LoadedPlugin& loaded, Recording recording, const EditorOptions& options,
                const EditorSize& size)
{
    auto& plugin = loaded.instance();
    const double seconds = runSeconds (options, recording.samples.getNumSamples() / recording.rate);

    window.open (loaded.effect(), size.width, size.height, "kalto-host: " + loaded.dispatchString (op::getEffectName));
    std::unique_ptr<RealTimePlayer> player;
    if (options.playPath.isNotEmpty())
        player =
            std::make_unique<RealTimePlayer> (plugin, std::move (recording.samples), recording.rate, defaultBlockSize);

    const int exitCode = EditorRun (window, player.get(), options.actions, seconds, options.readCommands).run();

    if (player != nullptr)
    {
        player->stop();
        if (player->lateBlocks() > 0)
            warn (juce::String (player->lateBlocks()) + " audio blocks started late");
    }
    window.close();
    plugin.releaseResources();
    return exitCode;
}
} // namespace

bool parseEditorOptions (const juce::StringArray& args, EditorOptions& options)
{
    if (args.size() < 2)
        return false;
    options.pluginPath = args[1];

    for (int i = 2; i < args.size(); ++i)
    {
        if (args[i] == "--commands")
            options.readCommands = true;
        else if (i + 1 >= args.size() || ! readOption (args[i], args[i + 1], options))
            return false;
        else
            ++i;
    }
    return orderActions (options);
}

int runEditor (const EditorOptions& options)
{
    if (const int code = checkShots (options.actions); code != exitOk)
        return code;

    int exitCode = exitOk;
    Recording recording;
    if (options.playPath.isNotEmpty() && ! readRecording (options.playPath, recording, exitCode))
        return exitCode;

    // Connected before the plug-in loads, as a desktop host is: a plug-in
    // may look up the display's atoms as soon as it starts.
    auto window = connectWindow (options, exitCode);
    if (window == nullptr)
        return exitCode;

    auto loaded = loadPlugin (options.pluginPath, recording.rate, defaultBlockSize, exitCode);
    if (! loaded)
        return exitCode;
    if (! loaded->hasEditor())
        return fail (exitNoEditor, "the plug-in has no editor: " + options.pluginPath);
    if (! preparePlugin (loaded->instance(), recording.rate, defaultBlockSize, recording.channels, options.settings,
                         exitCode))
        return exitCode;

    EditorSize size;
    if (const int code = readEditorSize (*loaded, size); code != exitOk)
        return code;
    if (const int code = checkClicks (options.actions, size); code != exitOk)
        return code;

    exitCode = showEditor (*window, *loaded, std::move (recording), options, size);
    // The plug-in is unloaded while the host's display is still open.
    loaded.reset();
    window.reset();

    if (exitCode == exitOk && EditorWindow::errorCount() > 0)
        return fail (exitXErrors, juce::String (EditorWindow::errorCount()) + " X errors during the run");
    return exitCode;
}
} // namespace kalto::host
