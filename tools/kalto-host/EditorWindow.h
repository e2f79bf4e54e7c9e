#pragma once

// A plug-in's editor in a top-level X11 window of the host's own, driven as a
// Linux VST 2.4 host drives it: the editor is opened into the window, idled
// from the host's thread while it is open, and closed before the window goes.
// The host can also click into the window through the X server and capture
// what the window shows.

#include <juce_graphics/juce_graphics.h>

#include <pluginterfaces/vst2.x/aeffectx.h>

#include <memory>
#include <optional>

struct _XDisplay;

namespace kalto::host
{
class EditorWindow
{
public:
    // Connects to the display that DISPLAY names; nothing, and the reason,
    // when there is none.
    static std::unique_ptr<EditorWindow> connect (juce::String& problem);

    // Closes an editor still open, then the window and the connection.
    ~EditorWindow();

    EditorWindow (const EditorWindow&) = delete;
    EditorWindow& operator= (const EditorWindow&) = delete;

    // Whether the display can carry clicks; the reason when it cannot.
    bool canClick (juce::String& problem) const;
    // Whether captured pixels can be read as colours; the reason when not.
    bool canCapture (juce::String& problem) const;

    // Shows a window of the editor's size and opens the editor in it.
    void open (AEffect& effect, int width, int height, const juce::String& title);

    // Whether a point lies in the window, and its size as "W x H pixels".
    bool contains (int x, int y) const;
    juce::String describeSize() const;

    // One round of the host's idle loop: the editor's idle call, then the
    // window's own events.
    void idle();

    // The pointer to a point of the window, and the first button down or up there.
    void movePointer (int x, int y);
    void pressButton (bool down);

    // Returns once the X server has handled everything sent so far, the
    // clicks included.
    void sync();

    // Whether all of the window lies on the screen, where its pixels can be read.
    bool isWhollyOnScreen() const;

    // Whether the editor has drawn anything in the window yet.
    bool hasBeenPainted();

    // What the window shows now, the editor's child windows included; nothing
    // when the server refuses (a window partly off the screen, for one).
    std::optional<juce::Image> capture();

    // Closes the editor and takes the window down.
    void close();

    // X errors since the process started, all reported on stderr. The
    // harmless kind, a window manager's atom missing, is not counted.
    static int errorCount();

private:
    explicit EditorWindow (_XDisplay* display);

    void waitUntilShown();
    void drainEvents();

    _XDisplay* display;
    unsigned long window = 0;
    AEffect* editorOf = nullptr;
    int width = 0, height = 0;
    unsigned long unpaintedPixel = 0;
};
} // namespace kalto::host
