// The atoms a window manager would have made, made before the framework's
// windowing starts.
//
// The framework looks up the window manager's atoms once, when it connects
// to the X server, without making them, and then names what it got in the
// properties of every window it creates. On a bare X server (no window
// manager, as on a headless machine or a kiosk) a lookup finds nothing, the
// property request names no atom, and the server answers with BadAtom,
// which Xlib's default error handler, kept by many hosts, turns into the
// end of the host's process.

#pragma once

class WindowManagerAtoms
{
public:
    // Makes the atoms on the display the framework will connect to, if
    // there is one, and holds its own connection while it lives: an X server
    // that loses its last client forgets the atoms made, so the framework's
    // connection must be made before this one goes.
    WindowManagerAtoms();
    ~WindowManagerAtoms();

    WindowManagerAtoms (const WindowManagerAtoms&) = delete;
    WindowManagerAtoms& operator= (const WindowManagerAtoms&) = delete;

private:
    void* library = nullptr;
    void* display = nullptr;
};
