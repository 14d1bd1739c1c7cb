#include "render/window_x11.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <mutex>
#include <new>

#include "base/trace.h"

void fxInitWindowing() {
    static std::once_flag once;
    std::call_once(once, [] { XInitThreads(); });
}

// A fresh record for the window; false, with an error trace, when memory runs out.
static bool localNewRecord(tagFXWindow* window, Display* dpy, Window id, bool ownsWindow, const char* who) {
    window->platform = new (std::nothrow) tagFXWindowPlatform;
    if (window->platform == nullptr) {
        err("%s: out of memory\n", who);
        return false;
    }
    window->platform->display = dpy;
    window->platform->id = id;
    window->platform->ownsDisplay = true;
    window->platform->ownsWindow = ownsWindow;
    return true;
}

// Waits until the server has mapped the window, so that what is drawn next reaches it.
static void localWaitMapped(Display* dpy, Window id) {
    for (int i = 0; i < 1000; i++) {
        XWindowAttributes attr;
        if (XGetWindowAttributes(dpy, id, &attr) && attr.map_state == IsViewable) {
            return;
        }
        XSync(dpy, False);
        struct timespec ts = {0, 1000000};
        nanosleep(&ts, nullptr);
    }
}

bool fxCreateWindow(tagFXWindow* window, int width, int height, const tagFXWindow* parent, int x, int y) {
    return fxCreateWindowEx(window, width, height, parent, x, y, 0);
}

bool fxCreateWindowEx(tagFXWindow* window, int width, int height, const tagFXWindow* parent, int x, int y, int flags) {
    window->platform = nullptr;
    const tagFXWindowPlatform* parentRecord = parent != nullptr ? parent->platform : nullptr;
    if (width <= 0 || height <= 0) {
        err("fxCreateWindow: bad size %dx%d\n", width, height);
        return false;
    }
    fxInitWindowing();
    Display* dpy = XOpenDisplay(parentRecord != nullptr ? DisplayString(parentRecord->display) : nullptr);
    if (dpy == nullptr) {
        err("fxCreateWindow: cannot open the X display\n");
        return false;
    }
    int screen = DefaultScreen(dpy);
    int attrs[] = {GLX_RGBA,
                   GLX_DOUBLEBUFFER,
                   GLX_RED_SIZE,
                   8,
                   GLX_GREEN_SIZE,
                   8,
                   GLX_BLUE_SIZE,
                   8,
                   GLX_DEPTH_SIZE,
                   16,
                   GLX_STENCIL_SIZE,
                   1,
                   None};
    const int stencilAt = 11;
    XVisualInfo* vi = glXChooseVisual(dpy, screen, attrs);
    if (vi == nullptr) {
        attrs[stencilAt] = 0; // any stencil
        vi = glXChooseVisual(dpy, screen, attrs);
    }
    if (vi == nullptr) {
        err("fxCreateWindow: no double-buffered RGBA visual with depth\n");
        XCloseDisplay(dpy);
        return false;
    }
    Window root = RootWindow(dpy, screen);
    Window parentId = parentRecord != nullptr && parentRecord->id != 0 ? parentRecord->id : root;
    XSetWindowAttributes swa = {};
    swa.colormap = XCreateColormap(dpy, root, vi->visual, AllocNone);
    swa.background_pixel = 0;
    swa.border_pixel = 0;
    swa.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | PointerMotionMask;
    swa.override_redirect = (flags & FXWINDOW_OVERRIDE) != 0 ? True : False;
    Window id =
        XCreateWindow(dpy, parentId, x, y, (unsigned)width, (unsigned)height, 0, vi->depth, InputOutput, vi->visual,
                      CWColormap | CWBackPixel | CWBorderPixel | CWEventMask | CWOverrideRedirect, &swa);
    XFree(vi);
    if (id == 0) {
        err("fxCreateWindow: XCreateWindow failed\n");
        XCloseDisplay(dpy);
        return false;
    }
    if (!localNewRecord(window, dpy, id, true, "fxCreateWindow")) {
        XDestroyWindow(dpy, id);
        XCloseDisplay(dpy);
        return false;
    }
    if ((flags & FXWINDOW_HIDDEN) == 0) {
        fxShowWindow(window);
    }
    return true;
}

void fxShowWindow(tagFXWindow* window) {
    const tagFXWindowPlatform* w = window != nullptr ? window->platform : nullptr;
    if (w == nullptr || w->display == nullptr || w->id == 0) {
        return;
    }
    XMapRaised(w->display, w->id);
    localWaitMapped(w->display, w->id);
}

bool fxAttachWindow(tagFXWindow* window, const char* displayName, unsigned long id) {
    window->platform = nullptr;
    fxInitWindowing();
    Display* dpy = XOpenDisplay(displayName);
    if (dpy == nullptr) {
        err("fxAttachWindow: cannot open the X display\n");
        return false;
    }
    XWindowAttributes attr;
    if (id == 0 || !XGetWindowAttributes(dpy, (Window)id, &attr)) {
        err("fxAttachWindow: no window 0x%lx\n", id);
        XCloseDisplay(dpy);
        return false;
    }
    if (!localNewRecord(window, dpy, (Window)id, false, "fxAttachWindow")) {
        XCloseDisplay(dpy);
        return false;
    }
    return true;
}

void fxDestroyWindow(tagFXWindow* window) {
    if (window == nullptr || window->platform == nullptr) {
        return;
    }
    tagFXWindowPlatform* w = window->platform;
    if (w->display != nullptr) {
        if (w->ownsWindow && w->id != 0) {
            XDestroyWindow(w->display, w->id);
            XSync(w->display, False);
        }
        if (w->ownsDisplay) {
            XCloseDisplay(w->display);
        }
    }
    delete w;
    window->platform = nullptr;
}

bool fxGetWindowSize(const tagFXWindow* window, int* width, int* height) {
    const tagFXWindowPlatform* w = window != nullptr ? window->platform : nullptr;
    if (w == nullptr || w->display == nullptr || w->id == 0) {
        return false;
    }
    XWindowAttributes attr;
    if (!XGetWindowAttributes(w->display, w->id, &attr)) {
        return false;
    }
    *width = attr.width;
    *height = attr.height;
    return true;
}

bool fxGetScreenSize(const tagFXWindow* window, int* width, int* height) {
    const tagFXWindowPlatform* w = window != nullptr ? window->platform : nullptr;
    if (w == nullptr || w->display == nullptr) {
        return false;
    }
    Display* dpy = w->display;
    *width = DisplayWidth(dpy, DefaultScreen(dpy));
    *height = DisplayHeight(dpy, DefaultScreen(dpy));
    return true;
}
