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
// Each command has a file pair of its own: InfoCommand, RenderCommand and
// EditorCommand. This file only hands the arguments to the one named.

#include "tools/ToolInput.h"
#include "tools/kalto-host/EditorCommand.h"
#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/InfoCommand.h"
#include "tools/kalto-host/RenderCommand.h"

#include <juce_events/juce_events.h>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace
{
using namespace kalto::host;

int usage()
{
    std::fprintf (stderr, "usage: kalto-host info PLUGIN.so\n"
                          "       kalto-host render PLUGIN.so IN.wav --out OUT.wav --midi OUT.mid\n"
                          "                  [--rate HZ] [--block N] [--channels 1|2]\n"
                          "                  [--set INDEX=NORMALISED ...] [--bypass]\n"
                          "       kalto-host editor PLUGIN.so [--play IN.wav] [--seconds S]\n"
                          "                  [--click X,Y@T ...] [--shot OUT.png@T ...] [--commands]\n"
                          "                  [--set INDEX=NORMALISED ...]\n");
    return exitUsage;
}

// JUCE's plug-in loader narrates every load; only our own output is wanted.
struct QuietLogger : juce::Logger
{
    QuietLogger() { juce::Logger::setCurrentLogger (this); }
    ~QuietLogger() override { juce::Logger::setCurrentLogger (nullptr); }

    void logMessage (const juce::String&) override {}
};

// A standard stream the caller closed is opened onto /dev/null: a file or
// connection opened later would take its number, and what was meant for the
// stream would go into it, or be read from it. Whether standard input was open.
bool openClosedStandardStreams()
{
    bool inputOpen = true;
    for (const int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO })
        if (fcntl (fd, F_GETFD) == -1)
        {
            inputOpen = inputOpen && fd != STDIN_FILENO;
            const int opened = open ("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened != fd && opened >= 0)
                close (opened);
        }
    return inputOpen;
}

int runCommand (const juce::StringArray& args, bool inputOpen)
{
    if (args[0] == "info" && args.size() == 2)
        return runInfo (args[1]);

    if (args[0] == "render")
    {
        RenderOptions options;
        return parseRenderOptions (args, options) ? runRender (options) : usage();
    }

    if (args[0] == "editor")
    {
        EditorOptions options;
        if (! parseEditorOptions (args, options))
            return usage();
        if (options.readCommands && ! inputOpen)
            return fail (exitUsage, "--commands reads its commands from standard input, which is closed");
        return runEditor (options);
    }

    return usage();
}
} // namespace

int main (int argc, char* argv[])
{
    const bool inputOpen = openClosedStandardStreams();
    const auto args = kalto::tools::commandLineArguments (argc, argv);
    if (args.isEmpty())
        return usage();

    juce::ScopedJuceInitialiser_GUI juceRuntime;
    QuietLogger quiet;
    return runCommand (args, inputOpen);
}
