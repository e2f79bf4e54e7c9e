#include "tools/kalto-host/EditorActions.h"

#include "tools/ToolInput.h"
#include "tools/kalto-host/Failure.h"

namespace kalto::host
{
namespace
{
const juce::String clickTakes = "X,Y@T, a point of the editor's window in whole pixels";
const juce::String shotTakes = "OUT.png@T, a PNG file's name";

// Splits WHAT@T at its last '@'; without an '@' the time is left out, which
// only a command may do. Explains on stderr what is wrong.
bool splitTime (const juce::String& name, const juce::String& text, const juce::String& takes, bool timeRequired,
                EditorAction& action, juce::String& what)
{
    const int at = text.lastIndexOfChar ('@');
    if (at < 0 && ! timeRequired)
    {
        what = text;
        return true;
    }
    const auto seconds = kalto::tools::parseNumber (text.substring (at + 1), 0.0, maxEditorSeconds);
    if (at < 0 || ! seconds)
        return refuse (name, text, takes + ", T in seconds from 0 to " + juce::String (maxEditorSeconds, 0));
    what = text.substring (0, at);
    action.time = *seconds;
    return true;
}

std::optional<EditorAction> parseClick (const juce::String& name, const juce::String& text, bool timeRequired)
{
    EditorAction click;
    juce::String point;
    if (! splitTime (name, text, clickTakes, timeRequired, click, point))
        return std::nullopt;
    const auto x = kalto::tools::parseNumber (point.upToFirstOccurrenceOf (",", false, false), 0, maxEditorSide, true);
    const auto y = kalto::tools::parseNumber (point.fromFirstOccurrenceOf (",", false, false), 0, maxEditorSide, true);
    if (! point.containsChar (',') || ! x || ! y)
    {
        refuse (name, text, clickTakes);
        return std::nullopt;
    }
    click.x = (int) *x;
    click.y = (int) *y;
    return click;
}

std::optional<EditorAction> parseShot (const juce::String& name, const juce::String& text, bool timeRequired)
{
    EditorAction shot;
    if (! splitTime (name, text, shotTakes, timeRequired, shot, shot.shotPath))
        return std::nullopt;
    if (! shot.shotPath.endsWithIgnoreCase (".png") || shot.shotPath.length() <= 4)
    {
        refuse (name, text, shotTakes);
        return std::nullopt;
    }
    return shot;
}
} // namespace

std::optional<EditorAction> parseClickOption (const juce::String& value)
{
    return parseClick ("--click", value, true);
}

std::optional<EditorAction> parseShotOption (const juce::String& value)
{
    return parseShot ("--shot", value, true);
}

std::optional<EditorAction> parseCommand (const juce::String& line)
{
    const auto verb = line.upToFirstOccurrenceOf (" ", false, false);
    const auto rest = line.fromFirstOccurrenceOf (" ", false, false);
    if (verb == "click")
        return parseClick ("click", rest, false);
    if (verb == "shot")
        return parseShot ("shot", rest, false);
    fail (exitUsage, "not a command: '" + line + "' (click X,Y[@T] or shot OUT.png[@T])");
    return std::nullopt;
}
} // namespace kalto::host
