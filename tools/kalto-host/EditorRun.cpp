#include "tools/kalto-host/EditorRun.h"

#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/OptionReaders.h"
#include "tools/kalto-host/OutputFile.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace kalto::host
{
namespace
{
// A desktop host idles an open editor about every 20 ms.
constexpr std::chrono::milliseconds idlePeriod { 20 };
constexpr double idlePeriodSeconds = std::chrono::duration<double> (idlePeriod).count();

// Idle rounds after a click before the next action: at least 80 ms of the
// clock, past a 50 ms timer tick and the repaint it asks for.
constexpr int settleRounds = 4;

// An editor that has drawn nothing in a minute, however loaded the machine,
// is not going to; the run goes on without it.
constexpr std::chrono::seconds firstPaintDeadline { 60 };
} // namespace

EditorRun::EditorRun (EditorWindow& w, RealTimePlayer* p, std::vector<EditorAction> a, double end, bool commands)
    : window (w), player (p), actions (a.begin(), a.end()), endTime (end), commandsOpen (commands)
{
}

int EditorRun::run()
{
    waitForFirstPaint();
    if (player != nullptr)
        player->start();

    for (;;)
    {
        idleRound();
        if (! readCommands())
            return exitUsage;

        if (click != Click::none)
            stepClick();
        else if (const int code = runDueAction(); code != exitOk)
            return code;

        if (finished())
            return exitOk;
        std::this_thread::sleep_for (idlePeriod);
    }
}

void EditorRun::waitForFirstPaint()
{
    // The paint is seen in the window's pixels, which the server gives only
    // for a window wholly on the screen.
    juce::String problem;
    if (! window.canCapture (problem))
        return;
    if (! window.isWhollyOnScreen())
    {
        warn ("the editor's window is not wholly on the screen; its timeline starts without waiting for its first "
              "paint");
        return;
    }

    const auto giveUp = std::chrono::steady_clock::now() + firstPaintDeadline;
    while (! window.hasBeenPainted())
    {
        if (std::chrono::steady_clock::now() > giveUp)
        {
            warn ("the editor painted nothing in its window in " + juce::String ((int) firstPaintDeadline.count())
                  + " s; its timeline starts all the same");
            return;
        }
        window.idle();
        std::this_thread::sleep_for (idlePeriod);
    }
}

void EditorRun::idleRound()
{
    window.idle();
    ++rounds;
}

double EditorRun::now() const
{
    const double idled = (double) rounds * idlePeriodSeconds;
    return player != nullptr ? juce::jmin (idled, player->secondsPlayed()) : idled;
}

bool EditorRun::readCommands()
{
    if (! commandsOpen)
        return true;

    pollfd input { STDIN_FILENO, POLLIN, 0 };
    if (poll (&input, 1, 0) <= 0)
        return true;

    char bytes[4096];
    const auto n = read (STDIN_FILENO, bytes, sizeof (bytes));
    if (n > 0)
        pendingInput.append (bytes, (size_t) n);
    else
    {
        // The end of the input ends an unfinished last line too.
        commandsOpen = false;
        pendingInput += '\n';
    }

    for (auto end = pendingInput.find ('\n'); end != std::string::npos; end = pendingInput.find ('\n'))
    {
        const auto line = juce::String::fromUTF8 (pendingInput.data(), (int) end).trim();
        pendingInput.erase (0, end + 1);
        if (line.isEmpty())
            continue;

        const auto action = parseCommand (line);
        if (! action)
            return false;
        if (action->isClick() && ! window.contains (action->x, action->y))
        {
            fail (exitUsage, line + ": outside the editor's " + window.describeSize());
            return false;
        }
        actions.push_back (*action);
    }
    return true;
}

int EditorRun::runDueAction()
{
    if (actions.empty())
        return exitOk;
    const auto& action = actions.front();
    const double time = now();
    if (action.notBefore() > time)
        return exitOk;

    if (action.isClick())
    {
        // A click is made in steps an idle round apart, as a hand makes it.
        window.movePointer (action.x, action.y);
        click = Click::pointerMoved;
        clickTime = time;
        return exitOk;
    }

    if (const int code = writeShot (action); code != exitOk)
        return code;
    report (action, time);
    actions.pop_front();
    return exitOk;
}

void EditorRun::stepClick()
{
    switch (click)
    {
        case Click::pointerMoved:
            window.pressButton (true);
            click = Click::buttonDown;
            break;
        case Click::buttonDown:
            window.pressButton (false);
            // The server has delivered the click before the editor's rounds are counted.
            window.sync();
            click = Click::settling;
            settleRoundsLeft = settleRounds;
            break;
        case Click::settling:
            if (--settleRoundsLeft > 0)
                break;
            report (actions.front(), clickTime);
            actions.pop_front();
            click = Click::none;
            break;
        case Click::none: break;
    }
}

int EditorRun::writeShot (const EditorAction& shot)
{
    if (const int code = checkOutputFile (shot.shotPath, "screenshot"); code != exitOk)
        return code;

    const auto image = window.capture();
    if (! image)
        return fail (exitXErrors,
                     "cannot capture the editor's window for " + shot.shotPath + " (is all of it on the screen?)");

    if (! writePngFile (commandLineFile (shot.shotPath), *image))
        return fail (exitWriteFailed, "cannot write screenshot: " + shot.shotPath);
    return exitOk;
}

void EditorRun::report (const EditorAction& action, double time) const
{
    if (action.isClick())
        std::printf ("%.3f click %d,%d\n", time, action.x, action.y);
    else
        std::printf ("%.3f shot %s\n", time, action.shotPath.toRawUTF8());
    // Whoever gives the commands waits for this line.
    std::fflush (stdout);
}

bool EditorRun::finished() const
{
    return actions.empty() && click == Click::none && ! commandsOpen && now() >= endTime;
}
} // namespace kalto::host
