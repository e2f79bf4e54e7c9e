#pragma once

// The host's idle loop while a plug-in's editor is open, and the clicks and
// screenshots it makes on the way.
//
// Time on the run's timeline is the plug-in's progress, not the clock's. It
// starts once the editor has first painted its window. While a recording
// plays it is the audio played so far; it is never ahead of the idle rounds
// the editor has had, at one per idle period. A slow or loaded machine
// stretches the timeline instead of skipping parts of it: an action at T
// finds the plug-in as far on as T says.
//
// Actions run one after another, each only once the one before has taken
// effect: a click is made in steps an idle round apart, then the X server is
// synchronised and the editor gets a few more idle rounds, at least an idle
// period of the clock each, for its timers to fire and its repaint to be
// drawn. Each action prints its time and what it did when it is done.

#include "tools/kalto-host/EditorActions.h"
#include "tools/kalto-host/EditorWindow.h"
#include "tools/kalto-host/RealTimePlayer.h"

#include <deque>
#include <string>
#include <vector>

namespace kalto::host
{
class EditorRun
{
public:
    // The actions in the order they are to run. With readCommands, more come
    // from standard input and the run ends when it ends; `endTime` is when
    // the run may end at the earliest.
    EditorRun (EditorWindow& window, RealTimePlayer* player, std::vector<EditorAction> actions, double endTime,
               bool readCommands);

    // Runs until every action is done and the end has come; an exit code.
    int run();

private:
    enum class Click
    {
        none,
        pointerMoved,
        buttonDown,
        settling
    };

    void waitForFirstPaint();
    void idleRound();
    double now() const;
    bool readCommands();
    int runDueAction();
    void stepClick();
    int writeShot (const EditorAction& shot);
    void report (const EditorAction& action, double time) const;
    bool finished() const;

    EditorWindow& window;
    RealTimePlayer* const player;
    std::deque<EditorAction> actions;
    const double endTime;

    bool commandsOpen;
    std::string pendingInput;

    long rounds = 0;
    Click click = Click::none;
    int settleRoundsLeft = 0;
    double clickTime = 0.0;
};
} // namespace kalto::host
