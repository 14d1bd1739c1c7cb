#ifndef FX_RENDER_WINDOW_H
#define FX_RENDER_WINDOW_H

// The platform's record of a window; its shape is known only to the platform's window and device
// units (render/window_x11.h on X11: the connection the window was made on and the window's id).
struct tagFXWindowPlatform;

// A native window the device can draw into. The device opens a connection of its own to the same
// server, so the thread that pumps events and the render thread never share one.
struct tagFXWindow {
    tagFXWindowPlatform* platform; // made by fxCreateWindow / fxAttachWindow, freed by fxDestroyWindow
};

// Makes the windowing layer safe for several threads; call before anything else touches it.
void fxInitWindowing();

// A mapped window of the given client size: top-level, or a child filling a place inside
// parent. The window has a visual the device can draw on (double-buffered RGBA with depth).
bool fxCreateWindow(tagFXWindow* window, int width, int height, const tagFXWindow* parent, int x, int y);

// How fxCreateWindowEx makes a window beyond what fxCreateWindow does.
enum {
    FXWINDOW_HIDDEN = 1,   // left unmapped until fxShowWindow, e.g. while the screen is captured
    FXWINDOW_OVERRIDE = 2, // outside the window manager's control: a full-screen show over everything
};
bool fxCreateWindowEx(tagFXWindow* window, int width, int height, const tagFXWindow* parent, int x, int y, int flags);
// Maps the window above its siblings and waits until it is viewable.
void fxShowWindow(tagFXWindow* window);
// Adopts a window made by someone else (a screen-saver host hands one over by id).
bool fxAttachWindow(tagFXWindow* window, const char* displayName, unsigned long id);
void fxDestroyWindow(tagFXWindow* window);

bool fxGetWindowSize(const tagFXWindow* window, int* width, int* height);
bool fxGetScreenSize(const tagFXWindow* window, int* width, int* height);

#endif
