#ifndef FX_RENDER_WINDOW_W32_H
#define FX_RENDER_WINDOW_W32_H

// The Windows shapes of the window and device records. Only _w32 units (and Windows-only tests)
// include this.

#include <windows.h>

#include "render/window.h"

struct tagFXWindowPlatform {
    HWND hwnd;
    bool ownsWindow; // created by fxCreateWindow, destroyed by fxDestroyWindow
};

// What FXGL keeps of the window system: the window's device context, and while the window is
// enlarged, the parent it was lifted out of.
struct tagFXDeviceContext {
    HDC dc;
    HWND savedParent;
};

// Adopts a window the screen-saver host made (its full-screen window or the preview's child); the
// window stays the host's and fxDestroyWindow leaves it alone.
bool fxAttachWindowHandle(tagFXWindow* window, HWND hwnd);

#endif
