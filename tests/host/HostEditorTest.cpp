// kalto-host's editor command: a plug-in's editor in a window of the host's
// own, clicked through the X server and captured. The HostEditor tests need an
// X display; CTest runs them under xvfb-run.

#include "host/EditorSession.h"
#include "host/HostRun.h"

#include <juce_graphics/juce_graphics.h>

#include <vector>

namespace
{
// A plug-in nobody here wrote, with an editor, and one without.
const juce::String equaliser = "/usr/lib/vst/3BandEQ-vst.so";
const juce::String noEditor = "/usr/lib/vst/MaBitcrush-vst.so";

// What the host's window shows where an editor paints nothing.
const juce::Colour unpainted (0xffff00ffu);

struct Refusal
{
    const char* what;
    juce::StringArray args;
    int exitCode;
    const char* message;
};

// What the host printed for each click and screenshot: the time it happened.
struct Done
{
    double time;
    juce::String what;
};

std::vector<Done> actionsDone (const juce::String& out)
{
    std::vector<Done> done;
    for (const auto& line : juce::StringArray::fromLines (out.trim()))
        done.push_back ({ line.upToFirstOccurrenceOf (" ", false, false).getDoubleValue(),
                          line.fromFirstOccurrenceOf (" ", false, false) });
    return done;
}

int countPixels (const juce::Image& image, juce::Colour colour)
{
    int n = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            n += image.getPixelAt (x, y).getARGB() == colour.getARGB() ? 1 : 0;
    return n;
}

// Pixels that differ between two pictures of one size, within an area.
int differingPixels (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
{
    int n = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            n += a.getPixelAt (x, y) != b.getPixelAt (x, y) ? 1 : 0;
    return n;
}

class HostEditorCli : public HostRun
{
protected:
    void expectRefusals (const std::vector<Refusal>& cases, const juce::String& prefix)
    {
        const auto shot = dir.getChildFile ("out.png");
        for (const auto& c : cases)
        {
            const auto r = run (c.args, prefix);
            EXPECT_EQ (r.exitCode, c.exitCode) << c.what << "\n" << r.err;
            EXPECT_TRUE (r.err.contains (c.message)) << c.what << ": no '" << c.message << "' in\n" << r.err;
            EXPECT_FALSE (shot.existsAsFile()) << c.what << ": wrote a screenshot";
            shot.deleteFile();
        }
    }
};

class HostEditor : public HostEditorCli
{
protected:
    void SetUp() override
    {
        HostEditorCli::SetUp();
        if (std::getenv ("DISPLAY") == nullptr)
            GTEST_SKIP() << "needs an X display: CTest runs this under xvfb-run";
    }

    juce::Image picture (const juce::String& name)
    {
        return juce::ImageFileFormat::loadFrom (dir.getChildFile (name)).convertedToFormat (juce::Image::RGB);
    }
};

// Refused before a display, a plug-in or a window is needed: no display is given.
TEST_F (HostEditorCli, RefusesBadOptions)
{
    const juce::String plugin = KALTO_PLUGIN_PATH;
    const auto shot = dir.getChildFile ("out.png").getFullPathName();
    const auto text = dir.getChildFile ("notes.wav");
    text.replaceWithText ("this is no audio");
    // An empty one, which deleting the file in its place would remove.
    const auto folder = dir.getChildFile ("folder.png");
    ASSERT_TRUE (folder.createDirectory());

    const std::vector<Refusal> cases {
        { "no plug-in", { "editor" }, 2, "usage" },
        { "an unknown option", { "editor", plugin, "--frobnicate", "1" }, 2, "usage" },
        { "an option without its value", { "editor", plugin, "--seconds" }, 2, "usage" },
        { "no seconds", { "editor", plugin, "--seconds", "0" }, 2, "above 0 and up to 3600" },
        { "more than an hour", { "editor", plugin, "--seconds", "4000" }, 2, "above 0 and up to 3600" },
        { "seconds not a number", { "editor", plugin, "--seconds", "2s" }, 2, "above 0 and up to 3600" },
        { "a click without its time", { "editor", plugin, "--click", "10,10" }, 2, "X,Y@T" },
        { "a click at one number", { "editor", plugin, "--click", "10@1" }, 2, "X,Y@T" },
        { "a click at a negative point", { "editor", plugin, "--click", "-1,10@1" }, 2, "whole pixels" },
        { "a click at half a pixel", { "editor", plugin, "--click", "10.5,10@1" }, 2, "whole pixels" },
        { "a click before the window", { "editor", plugin, "--click", "10,10@-1" }, 2, "T in seconds from 0 to 3600" },
        { "a click at no time", { "editor", plugin, "--click", "10,10@nan" }, 2, "T in seconds" },
        { "a click after the run",
          { "editor", plugin, "--click", "10,10@1", "--seconds", "0.5" },
          2,
          "no earlier than the last" },
        { "a screenshot after the run",
          { "editor", plugin, "--seconds", "0.5", "--shot", shot + "@0.6" },
          2,
          "no earlier than the last" },
        { "a screenshot without its time", { "editor", plugin, "--shot", shot }, 2, "OUT.png@T" },
        { "a screenshot not named PNG",
          { "editor", plugin, "--shot", dir.getChildFile ("out.jpg").getFullPathName() + "@1" },
          2,
          "OUT.png@T" },
        { "a screenshot without a name", { "editor", plugin, "--shot", ".png@1" }, 2, "OUT.png@T" },
        { "a value above 1", { "editor", plugin, "--set", "0=1.5" }, 2, "0 to 1" },
        { "a screenshot into no folder",
          { "editor", plugin, "--shot", dir.getChildFile ("no/such/out.png").getFullPathName() + "@1" },
          6,
          "cannot write screenshot" },
        { "a screenshot onto a directory",
          { "editor", plugin, "--shot", folder.getFullPathName() + "@1" },
          6,
          "folder.png: it is a directory" },
        { "no recording",
          { "editor", plugin, "--play", dir.getChildFile ("absent.wav").getFullPathName() },
          3,
          "no such file" },
        { "a recording that is no audio",
          { "editor", plugin, "--play", text.getFullPathName() },
          5,
          "cannot read audio file" },
        { "no display",
          { "editor", plugin, "--shot", shot + "@1" },
          7,
          "DISPLAY is not set (run it on a desktop, or headless with xvfb-run -a)" },
    };
    expectRefusals (cases, "env -u DISPLAY");
    EXPECT_TRUE (folder.isDirectory()) << "a screenshot took the directory's place";

    // Closed, standard input would be read from whatever took its number next.
    expectRefusals ({ { "commands from a closed input",
                        { "editor", plugin, "--commands" },
                        2,
                        "standard input, which is closed" } },
                    "exec 0<&-; env -u DISPLAY");

    // A display named, and nothing there.
    expectRefusals ({ { "no server", { "editor", plugin }, 7, "cannot connect to DISPLAY=:4093" } },
                    "env DISPLAY=:4093");
}

TEST_F (HostEditor, RefusesWhatThePlugInCannotShow)
{
    const juce::String plugin = KALTO_PLUGIN_PATH;
    const auto text = dir.getChildFile ("notes.so");
    text.replaceWithText ("this is no plug-in");

    expectRefusals (
        {
            { "no such plug-in", { "editor", dir.getChildFile ("absent.so").getFullPathName() }, 3, "no such file" },
            { "not a plug-in", { "editor", text.getFullPathName() }, 4, "not a VST 2.4 plug-in" },
            { "a plug-in without an editor", { "editor", noEditor }, 8, "the plug-in has no editor" },
            { "a click right of the editor",
              { "editor", plugin, "--click", "630,10@0.1" },
              2,
              "outside the editor's 630 x 390 pixels" },
            { "a click below the editor",
              { "editor", plugin, "--click", "10,390@0.1" },
              2,
              "outside the editor's 630 x 390 pixels" },
            { "no such parameter", { "editor", plugin, "--set", "26=0.5" }, 2, "no parameter 26" },
        },
        {});

    // A command it cannot do ends the run with its reason, once the editor is open.
    const auto folder = dir.getChildFile ("folder.png");
    ASSERT_TRUE (folder.createDirectory());
    // A device that refuses every write, as a full disk does.
    const auto full = dir.getChildFile ("full.png");
    ASSERT_TRUE (juce::File ("/dev/full").createSymbolicLink (full, false));
    struct Command
    {
        juce::String line;
        int exitCode;
        juce::String message;
    };
    const std::vector<Command> commands {
        { "frobnicate", 2, "not a command" },
        { "click 630,10", 2, "outside the editor's 630 x 390 pixels" },
        { "click 10@1", 2, "X,Y@T" },
        { "click 10,10@-1", 2, "T in seconds from 0 to 3600" },
        { "shot out.jpg", 2, "OUT.png@T" },
        { "shot " + folder.getFullPathName(), 6, "folder.png: it is a directory" },
        { "shot " + full.getFullPathName(), 6, "cannot write screenshot: " + full.getFullPathName() },
    };
    for (const auto& c : commands)
        expectRefusals (
            { { c.line.toRawUTF8(), { "editor", plugin, "--commands" }, c.exitCode, c.message.toRawUTF8() } },
            "printf '%s\\n' " + c.line.quoted ('\'') + " |");
    EXPECT_TRUE (folder.isDirectory()) << "a screenshot took the directory's place";
}

TEST_F (HostEditor, ShowsOurEditorInAWindowOfItsSize)
{
    const auto r = run ({ "editor", KALTO_PLUGIN_PATH, "--shot",
                          dir.getChildFile ("editor.png").getFullPathName() + "@1", "--seconds", "1.2" });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    EXPECT_TRUE (r.err.isEmpty()) << r.err;

    const auto done = actionsDone (r.out);
    ASSERT_EQ (done.size(), 1u) << r.out;
    EXPECT_GE (done[0].time, 1.0);
    EXPECT_TRUE (done[0].what.startsWith ("shot ")) << r.out;

    const auto image = picture ("editor.png");
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getWidth(), 630);
    EXPECT_EQ (image.getHeight(), 390);
    // All of it painted by the editor, whose background is black.
    EXPECT_EQ (countPixels (image, unpainted), 0);
    EXPECT_GT (countPixels (image, juce::Colours::black), 0);
}

// The command line's own clicks and shots run in their order, each once the
// one before has taken effect, and each is printed with its time.
TEST_F (HostEditor, RunsTheCommandLinesClicksAndShotsInOrder)
{
    const auto shot = dir.getChildFile ("midi.png");
    const auto r = run ({ "editor", KALTO_PLUGIN_PATH, "--click", "196,40@0.5", "--shot",
                          shot.getFullPathName() + "@0.5", "--seconds", "0.8" });
    ASSERT_EQ (r.exitCode, 0) << r.err;

    const auto done = actionsDone (r.out);
    ASSERT_EQ (done.size(), 2u) << r.out;
    EXPECT_EQ (done[0].what, "click 196,40");
    EXPECT_EQ (done[1].what, "shot " + shot.getFullPathName());
    EXPECT_GE (done[0].time, 0.5);
    EXPECT_GE (done[1].time, done[0].time);

    // The click on the MIDI tab is in the picture: that tab white, CONVERSION's not.
    const auto image = picture ("midi.png");
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getPixelAt (156, 20), juce::Colours::white);
    EXPECT_EQ (image.getPixelAt (28, 20), juce::Colours::black);
}

TEST_F (HostEditor, ClicksReachAnEditorNobodyHereWrote)
{
    ASSERT_TRUE (juce::File (equaliser).existsAsFile()) << "dpf-plugins-vst is not installed (scripts/setup)";

    // Strings and GL driver state that the equaliser's module keeps until it
    // is unloaded look like leaks once it is: a sanitizer build's leak check
    // is for the host's own code, which the other tests here run.
    EditorSession host (dir, equaliser, {}, { "ASAN_OPTIONS=detect_leaks=0" });
    const auto before = host.shotUntil ([] (const Shot& s) { return countPixels (s.image, unpainted) == 0; });
    ASSERT_TRUE (before) << "the equaliser never painted all of its window: " << host.why();

    // A click on the low band's slider track, above its handle, moves the
    // handle there.
    const juce::Rectangle<int> lowSlider (60, 55, 40, 180), midSlider (120, 55, 50, 180);
    ASSERT_TRUE (host.click ({ 79, 80 })) << host.why();
    const auto after =
        host.shotUntil ([&] (const Shot& s) { return differingPixels (before->image, s.image, lowSlider) > 100; });
    EditorSession::keep (after, "window-equaliser-clicked");
    ASSERT_TRUE (after) << "the handle did not move: " << host.why();
    EXPECT_EQ (differingPixels (before->image, after->image, midSlider), 0) << "another slider moved";

    const auto r = host.finish();
    EXPECT_EQ (r.exitCode, 0) << r.err;
    EXPECT_TRUE (r.err.isEmpty()) << r.err;
}

TEST_F (HostEditor, PlaysARecordingWhileTheEditorIsOpen)
{
    // Half a second of silence, one second of E4, then the silence the host
    // plays once the recording has run out. The editor shows what the
    // plug-in hears: no note, the note, then no note again.
    const auto in = tone ("tone.wav", 1, 1.0, 0.5);
    EditorSession host (dir, KALTO_PLUGIN_PATH, { "--play", in.getFullPathName() });
    const auto noteDisplay = [] (const Shot& s) { return s.image.getClippedImage ({ 448, 176, 168, 199 }); };
    const auto same = [&] (const Shot& a, const Shot& b) {
        return differingPixels (noteDisplay (a), noteDisplay (b), { 0, 0, 168, 199 }) == 0;
    };

    const auto quiet = host.shot (0.3);
    ASSERT_TRUE (quiet) << host.why();
    const auto playing = host.shotUntil ([&] (const Shot& s) { return ! same (s, *quiet); }, 0.5, 1.5);
    ASSERT_TRUE (playing) << "the editor never showed the note: " << host.why();
    const auto after = host.shotUntil ([&] (const Shot& s) { return same (s, *quiet); }, 1.5);
    ASSERT_TRUE (after) << "the note stayed after the recording: " << host.why();

    EXPECT_EQ (host.finish().exitCode, 0);
}
// On a screen smaller than the editor its pixels cannot be read, so the run
// does not wait to see the first paint: it runs its course with a warning.
TEST_F (HostEditor, AWindowPartlyOffTheScreenRunsItsCourse)
{
    const auto r = run ({ "editor", KALTO_PLUGIN_PATH, "--seconds", "0.5" }, "xvfb-run -a -s '-screen 0 400x300x24'");
    EXPECT_EQ (r.exitCode, 0) << r.err;
    EXPECT_TRUE (r.err.contains ("the editor's window is not wholly on the screen")) << r.err;
    EXPECT_FALSE (r.err.contains ("X error")) << r.err;
}
} // namespace
