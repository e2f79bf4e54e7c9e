#include "processor/WindowManagerAtoms.h"

#include <cstdlib>

#include <dlfcn.h>

namespace
{
// Xlib is loaded as the framework loads it, when it is there: a host on a
// machine without it still loads the plug-in.
constexpr const char* xlibName = "libX11.so.6";

// The framework's display when DISPLAY names none.
constexpr const char* defaultDisplay = ":0.0";

// The window manager's atoms the framework looks up without making them and
// then puts in a window's properties or asks for.
constexpr const char* atomNames[] { "WM_PROTOCOLS", "WM_TAKE_FOCUS",   "WM_DELETE_WINDOW",
                                    "_NET_WM_PING", "WM_CHANGE_STATE", "WM_STATE" };

using OpenDisplay = void* (*) (const char*);
using InternAtom = unsigned long (*) (void*, const char*, int);
using CloseDisplay = int (*) (void*);
} // namespace

WindowManagerAtoms::WindowManagerAtoms()
{
    library = dlopen (xlibName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return;
    const auto open = reinterpret_cast<OpenDisplay> (dlsym (library, "XOpenDisplay"));
    const auto intern = reinterpret_cast<InternAtom> (dlsym (library, "XInternAtom"));
    if (open == nullptr || intern == nullptr)
        return;

    const char* name = std::getenv ("DISPLAY");
    display = open (name != nullptr && *name != 0 ? name : defaultDisplay);
    if (display == nullptr)
        return;
    // Each request waits for its reply, so the atoms exist once this returns.
    for (const auto* atom : atomNames)
        intern (display, atom, 0);
}

WindowManagerAtoms::~WindowManagerAtoms()
{
    if (display != nullptr)
        if (const auto close = reinterpret_cast<CloseDisplay> (dlsym (library, "XCloseDisplay")))
            close (display);
    if (library != nullptr)
        dlclose (library);
}
