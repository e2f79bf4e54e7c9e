#pragma once

// kalto-host's editor command driven as a GUI test drives an application:
// the test sends a click or asks for a screenshot, the host says when it is
// done, and the test waits for a state by taking screenshots until one shows
// it. Nothing waits for a fixed time, and every wait has a deadline generous
// enough for a loaded machine running a sanitizer build.

#include "host/HostRun.h"
#include "support/WaitUntil.h"

#include <juce_graphics/juce_graphics.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

// A screenshot and where on the run's timeline it was taken.
struct Shot
{
    juce::Image image;
    double time = 0.0;
};

class EditorSession
{
public:
    // How long the host may take over one command, or a test over one state.
    static constexpr auto deadline = kalto::test::stateDeadline;

    // Starts `kalto-host editor PLUGIN ARGS --commands` with stdin and stdout
    // its command channel, stderr in `dir`, and `environment` (NAME=VALUE)
    // added to the test's own.
    EditorSession (const juce::File& folder, const juce::String& plugin, const juce::StringArray& args,
                   const juce::StringArray& environment = {})
        : dir (folder)
    {
        // A host that died must fail the test, not end it with SIGPIPE.
        signal (SIGPIPE, SIG_IGN);

        juce::StringArray argv { "env" };
        argv.addArray (environment);
        argv.addArray ({ KALTO_HOST_PATH, "editor", plugin });
        argv.addArray (args);
        argv.add ("--commands");

        int toHost[2], fromHost[2];
        if (pipe2 (toHost, O_CLOEXEC) != 0 || pipe2 (fromHost, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init (&files);
        posix_spawn_file_actions_adddup2 (&files, toHost[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2 (&files, fromHost[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen (&files, STDERR_FILENO, errFile().getFullPathName().toRawUTF8(),
                                          O_WRONLY | O_CREAT | O_TRUNC, 0644);

        std::vector<std::string> strings;
        for (const auto& a : argv)
            strings.push_back (a.toStdString());
        std::vector<char*> pointers;
        for (auto& s : strings)
            pointers.push_back (s.data());
        pointers.push_back (nullptr);

        if (posix_spawnp (&pid, "env", &files, nullptr, pointers.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy (&files);
        close (toHost[0]);
        close (fromHost[1]);
        input = toHost[1];
        output = fromHost[0];
    }

    ~EditorSession()
    {
        if (pid > 0 && ! exited)
        {
            kill (pid, SIGKILL);
            waitpid (pid, nullptr, 0);
        }
        if (input >= 0)
            close (input);
        if (output >= 0)
            close (output);
    }

    EditorSession (const EditorSession&) = delete;
    EditorSession& operator= (const EditorSession&) = delete;

    // Clicks at a point, not before `notBefore` on the run's timeline;
    // returns once the click has been made and the editor idled after it.
    bool click (juce::Point<int> at, std::optional<double> notBefore = {})
    {
        return send ("click " + juce::String (at.x) + "," + juce::String (at.y) + timeSuffix (notBefore)).has_value();
    }

    // What the window shows, not before `notBefore`; nothing when the host failed.
    std::optional<Shot> shot (std::optional<double> notBefore = {})
    {
        const auto file = dir.getChildFile ("shot-" + juce::String (++shots) + ".png");
        const auto reply = send ("shot " + file.getFullPathName() + timeSuffix (notBefore));
        if (! reply)
            return std::nullopt;
        Shot s { juce::ImageFileFormat::loadFrom (file).convertedToFormat (juce::Image::ARGB),
                 reply->upToFirstOccurrenceOf (" ", false, false).getDoubleValue() };
        file.deleteFile();
        if (! s.image.isValid())
        {
            problem = "the host wrote no picture to " + file.getFullPathName();
            return std::nullopt;
        }
        return s;
    }

    // Screenshots, the first not before `from`, until one shows what `holds`
    // looks for; nothing once the timeline has passed `until`, the deadline
    // has passed, or the host failed. problem() says which.
    std::optional<Shot> shotUntil (const std::function<bool (const Shot&)>& holds, std::optional<double> from = {},
                                   double until = 3600.0)
    {
        const auto giveUp = std::chrono::steady_clock::now() + deadline;
        for (auto notBefore = from;; notBefore.reset())
        {
            const auto s = shot (notBefore);
            if (! s)
                return std::nullopt;
            if (holds (*s))
                return s;
            if (s->time > until)
            {
                problem = "not shown by " + juce::String (until) + " s on the run's timeline";
                return std::nullopt;
            }
            if (std::chrono::steady_clock::now() > giveUp)
            {
                problem = "not shown within " + juce::String ((int) deadline.count()) + " s of waiting";
                return std::nullopt;
            }
        }
    }

    // A screenshot kept in the snapshot folder, for a person to look at.
    static void keep (const std::optional<Shot>& s, const juce::String& name)
    {
        const auto file = juce::File (KALTO_SNAPSHOT_DIR).getChildFile (name + ".png");
        (void) file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        if (s && out.openedOk())
            juce::PNGImageFormat().writeImageToStream (s->image, out);
    }

    // Ends the commands and waits for the host to close the editor and exit.
    HostResult finish()
    {
        HostResult r;
        if (input >= 0)
            close (input);
        input = -1;
        readUntil ([] (const std::string&) { return false; }); // to the end of its output
        r.out = juce::String::fromUTF8 (received.data(), (int) received.size());

        const auto giveUp = std::chrono::steady_clock::now() + deadline;
        int status = 0;
        while (pid > 0 && ! exited)
        {
            if (waitpid (pid, &status, WNOHANG) == pid)
                exited = true;
            else if (std::chrono::steady_clock::now() > giveUp)
                break;
            else
                poll (nullptr, 0, 10);
        }
        r.exitCode = exited && WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        r.err = errFile().loadFileAsString();
        return r;
    }

    // Why the last command or wait came to nothing, with what the host said.
    juce::String why() const { return problem + "\nkalto-host's stderr:\n" + errFile().loadFileAsString(); }

private:
    static juce::String timeSuffix (const std::optional<double>& notBefore)
    {
        return notBefore.has_value() ? "@" + juce::String (notBefore.value_or (0.0), 3) : juce::String();
    }

    juce::File errFile() const { return dir.getChildFile ("session-stderr.txt"); }

    // Sends one command and returns the host's line for it.
    std::optional<juce::String> send (const juce::String& command)
    {
        const auto line = (command + "\n").toStdString();
        if (pid <= 0 || input < 0 || write (input, line.data(), line.size()) != (ssize_t) line.size())
        {
            problem = "the host is not running to take '" + command + "'";
            return std::nullopt;
        }
        std::string reply;
        const bool replied = readUntil ([&] (const std::string& text) {
            const auto end = text.find ('\n');
            if (end == std::string::npos)
                return false;
            reply = text.substr (0, end);
            return true;
        });
        if (! replied)
        {
            problem = "no answer to '" + command + "'";
            return std::nullopt;
        }
        received.erase (0, reply.size() + 1);
        // The host answers with the time it was done and the command itself.
        const auto answer = juce::String::fromUTF8 (reply.data(), (int) reply.size());
        const auto done = command.upToFirstOccurrenceOf ("@", false, false);
        const auto time = answer.upToFirstOccurrenceOf (" ", false, false);
        if (time.isEmpty() || ! time.containsOnly ("0123456789.")
            || answer.fromFirstOccurrenceOf (" ", false, false) != done)
        {
            problem = "the answer to '" + command + "' was '" + answer + "'";
            return std::nullopt;
        }
        return answer;
    }

    // Reads the host's output until `done` holds for what has come, the
    // output ends or the deadline passes; whether `done` held.
    bool readUntil (const std::function<bool (const std::string&)>& done)
    {
        const auto giveUp = std::chrono::steady_clock::now() + deadline;
        while (! done (received))
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds> (giveUp - std::chrono::steady_clock::now());
            pollfd p { output, POLLIN, 0 };
            if (left.count() <= 0 || poll (&p, 1, (int) left.count()) <= 0)
                return false;
            char bytes[4096];
            const auto n = read (output, bytes, sizeof (bytes));
            if (n <= 0)
                return false;
            received.append (bytes, (size_t) n);
        }
        return true;
    }

    juce::File dir;
    pid_t pid = -1;
    bool exited = false;
    int input = -1, output = -1;
    std::string received;
    int shots = 0;
    juce::String problem;
};
