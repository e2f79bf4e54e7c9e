#include "tools/kalto-host/EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace kalto::host
{
namespace
{
// Opcode numbers as a VST 2.4 host sends them.
namespace op
{
constexpr int editOpen = 14;
constexpr int editClose = 15;
constexpr int editIdle = 19;
} // namespace op

// Where the editor leaves the window unpainted it shows this colour, which no
// editor paints a whole area with, so a picture shows what the editor drew.
constexpr unsigned short unpaintedRed = 0xffff, unpaintedGreen = 0, unpaintedBlue = 0xffff;

std::atomic<int> errors { 0 };

// A property request that names no atom: an editor that looked up a window
// manager's atom on a display without a window manager, and uses what it got.
// Its window works all the same, so this one is harmless.
bool missingWindowManagerAtom (const XErrorEvent& e)
{
    return e.error_code == BadAtom && e.resourceid == None
           && (e.request_code == X_ChangeProperty || e.request_code == X_DeleteProperty
               || e.request_code == X_GetProperty);
}

// Installed for the whole process, plug-ins' own connections included:
// Xlib's default handler would end the process at a plug-in's first error.
int reportError (Display* display, XErrorEvent* event)
{
    char text[160] = {};
    XGetErrorText (display, event->error_code, text, (int) sizeof (text));
    const bool harmless = missingWindowManagerAtom (*event);
    std::fprintf (stderr, "kalto-host: %sX error: %s (request %d.%d, resource 0x%lx)%s\n", harmless ? "warning: " : "",
                  text, (int) event->request_code, (int) event->minor_code, event->resourceid,
                  harmless ? ": a window manager's atom this display has not got" : "");
    if (! harmless)
        errors.fetch_add (1);
    return 0;
}

// Eight bits of the colour channel that mask selects in a true-colour pixel.
juce::uint8 channel (unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    const int shift = __builtin_ctzl (mask);
    const unsigned long maximum = mask >> shift;
    return (juce::uint8) (((pixel & mask) >> shift) * 255 / maximum);
}
} // namespace

std::unique_ptr<EditorWindow> EditorWindow::connect (juce::String& problem)
{
    const char* name = std::getenv ("DISPLAY");
    if (name == nullptr || *name == 0)
    {
        problem = "no X display: DISPLAY is not set (run it on a desktop, or headless with xvfb-run -a)";
        return nullptr;
    }

    XSetErrorHandler (reportError);
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
    {
        problem = "no X display: cannot connect to DISPLAY=" + juce::String (name)
                  + " (run it on a desktop, or headless with xvfb-run -a)";
        return nullptr;
    }

    // A bare X server without a window manager has neither atom, and
    // JUCE-based editors ask for them as if they existed. Interned here they
    // last as long as this connection.
    XInternAtom (display, "WM_PROTOCOLS", False);
    XInternAtom (display, "WM_STATE", False);
    XSync (display, False);

    return std::unique_ptr<EditorWindow> (new EditorWindow (display));
}

EditorWindow::EditorWindow (Display* d) : display (d) {}

EditorWindow::~EditorWindow()
{
    close();
    XCloseDisplay (display);
}

bool EditorWindow::canClick (juce::String& problem) const
{
    int event = 0, error = 0, major = 0, minor = 0;
    if (XTestQueryExtension (display, &event, &error, &major, &minor))
        return true;
    problem = "the X display has no XTEST extension, which clicks need";
    return false;
}

bool EditorWindow::canCapture (juce::String& problem) const
{
    if (DefaultVisual (display, DefaultScreen (display))->c_class == TrueColor)
        return true;
    problem = "the X display is not true-colour, which screenshots need (xvfb-run's default screen is)";
    return false;
}

void EditorWindow::open (AEffect& effect, int w, int h, const juce::String& title)
{
    width = w;
    height = h;
    const int screen = DefaultScreen (display);

    XColor unpainted {};
    unpainted.red = unpaintedRed;
    unpainted.green = unpaintedGreen;
    unpainted.blue = unpaintedBlue;
    XAllocColor (display, DefaultColormap (display, screen), &unpainted);
    unpaintedPixel = unpainted.pixel;

    window = XCreateSimpleWindow (display, RootWindow (display, screen), 0, 0, (unsigned) w, (unsigned) h, 0,
                                  BlackPixel (display, screen), unpainted.pixel);
    XSelectInput (display, window, StructureNotifyMask);
    XStoreName (display, window, title.toRawUTF8());

    // The editor has one size: a window manager is asked not to change it.
    XSizeHints hints {};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = w;
    hints.min_height = hints.max_height = h;
    XSetWMNormalHints (display, window, &hints);

    XMapRaised (display, window);
    waitUntilShown();

    effect.dispatcher (&effect, op::editOpen, 0, 0, reinterpret_cast<void*> (window), 0.0f);
    editorOf = &effect;
    XSync (display, False);
}

bool EditorWindow::contains (int x, int y) const
{
    return x >= 0 && y >= 0 && x < width && y < height;
}

juce::String EditorWindow::describeSize() const
{
    return juce::String (width) + " x " + juce::String (height) + " pixels";
}

void EditorWindow::waitUntilShown()
{
    // At once without a window manager; a window manager may take a moment.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds (5);
    XEvent event;
    while (! XCheckTypedWindowEvent (display, window, MapNotify, &event))
    {
        if (std::chrono::steady_clock::now() > giveUp)
            return;
        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }
}

void EditorWindow::idle()
{
    if (editorOf != nullptr)
        editorOf->dispatcher (editorOf, op::editIdle, 0, 0, nullptr, 0.0f);
    drainEvents();
}

void EditorWindow::drainEvents()
{
    while (XPending (display) > 0)
    {
        XEvent event;
        XNextEvent (display, &event);
    }
}

void EditorWindow::movePointer (int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    const int screen = DefaultScreen (display);
    XTranslateCoordinates (display, window, RootWindow (display, screen), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent (display, screen, rootX, rootY, CurrentTime);
    XFlush (display);
}

void EditorWindow::pressButton (bool down)
{
    XTestFakeButtonEvent (display, 1, down ? True : False, CurrentTime);
    XFlush (display);
}

void EditorWindow::sync()
{
    XSync (display, False);
}

bool EditorWindow::isWhollyOnScreen() const
{
    const int screen = DefaultScreen (display);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates (display, window, RootWindow (display, screen), 0, 0, &x, &y, &child);
    return x >= 0 && y >= 0 && x + width <= DisplayWidth (display, screen)
           && y + height <= DisplayHeight (display, screen);
}

bool EditorWindow::hasBeenPainted()
{
    XSync (display, False);
    XImage* pixels = XGetImage (display, window, 0, 0, (unsigned) width, (unsigned) height, AllPlanes, ZPixmap);
    if (pixels == nullptr)
        return false;

    bool painted = false;
    for (int y = 0; y < height && ! painted; ++y)
        for (int x = 0; x < width && ! painted; ++x)
            painted = XGetPixel (pixels, x, y) != unpaintedPixel;
    XDestroyImage (pixels);
    return painted;
}

std::optional<juce::Image> EditorWindow::capture()
{
    // Without a compositor the window's pixels on the screen are the ones
    // read back, the editor's child windows included.
    XSync (display, False);
    XImage* pixels = XGetImage (display, window, 0, 0, (unsigned) width, (unsigned) height, AllPlanes, ZPixmap);
    if (pixels == nullptr)
        return std::nullopt;

    const Visual* visual = DefaultVisual (display, DefaultScreen (display));
    juce::Image image (juce::Image::RGB, width, height, false);
    {
        const juce::Image::BitmapData out (image, juce::Image::BitmapData::writeOnly);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const unsigned long p = XGetPixel (pixels, x, y);
                out.setPixelColour (x, y,
                                    juce::Colour (channel (p, visual->red_mask), channel (p, visual->green_mask),
                                                  channel (p, visual->blue_mask)));
            }
    }
    XDestroyImage (pixels);
    return image;
}

void EditorWindow::close()
{
    if (editorOf != nullptr)
        editorOf->dispatcher (editorOf, op::editClose, 0, 0, nullptr, 0.0f);
    editorOf = nullptr;

    if (window != 0)
    {
        XSync (display, False);
        XDestroyWindow (display, window);
        XSync (display, False);
        drainEvents();
    }
    window = 0;
}

int EditorWindow::errorCount()
{
    return errors.load();
}
} // namespace kalto::host
