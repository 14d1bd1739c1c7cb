#ifndef FX_RENDER_WINDOW_X11_H
#define FX_RENDER_WINDOW_X11_H

// The X11 shapes of the window and device records. Only _x11 units (and tests that talk to the X
// server themselves) include this.

#include <X11/Xlib.h>

#include "render/window.h"

struct tagFXWindowPlatform {
    Display* display; // the X connection the window was made on
    Window id;
    bool ownsDisplay; // opened by fxCreateWindow / fxAttachWindow, closed by fxDestroyWindow
    bool ownsWindow;  // created by fxCreateWindow, destroyed by fxDestroyWindow
};

// What FXGL keeps of the window system: its own connection, and while the window is enlarged,
// the parent it was lifted out of.
struct tagFXDeviceContext {
    Display* display;
    Window savedParent;
};

#endif
