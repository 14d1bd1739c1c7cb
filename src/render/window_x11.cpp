#include "render/window.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <mutex>

#include "base/trace.h"

void fxInitWindowing() {
    static std::once_flag once;
    std::call_once(once, [] { XInitThreads(); });
}

static void localClear(tagFXWindow* window) {
    window->display = nullptr;
    window->id = 0;
    window->ownsDisplay = false;
    window->ownsWindow = false;
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
    localClear(window);
    if (width <= 0 || height <= 0) {
        err("fxCreateWindow: bad size %dx%d\n", width, height);
        return false;
    }
    fxInitWindowing();
    Display* dpy = XOpenDisplay(
        parent != nullptr && parent->display != nullptr ? DisplayString((Display*)parent->display) : nullptr);
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
    Window parentId = parent != nullptr && parent->id != 0 ? (Window)parent->id : root;
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
    window->display = dpy;
    window->id = id;
    window->ownsDisplay = true;
    window->ownsWindow = true;
    if ((flags & FXWINDOW_HIDDEN) == 0) {
        fxShowWindow(window);
    }
    return true;
}

void fxShowWindow(tagFXWindow* window) {
    if (window == nullptr || window->display == nullptr || window->id == 0) {
        return;
    }
    Display* dpy = (Display*)window->display;
    XMapRaised(dpy, (Window)window->id);
    localWaitMapped(dpy, (Window)window->id);
}

bool fxAttachWindow(tagFXWindow* window, const char* displayName, unsigned long id) {
    localClear(window);
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
    window->display = dpy;
    window->id = id;
    window->ownsDisplay = true;
    return true;
}

void fxDestroyWindow(tagFXWindow* window) {
    if (window == nullptr) {
        return;
    }
    Display* dpy = (Display*)window->display;
    if (dpy != nullptr) {
        if (window->ownsWindow && window->id != 0) {
            XDestroyWindow(dpy, (Window)window->id);
            XSync(dpy, False);
        }
        if (window->ownsDisplay) {
            XCloseDisplay(dpy);
        }
    }
    localClear(window);
}

bool fxGetWindowSize(const tagFXWindow* window, int* width, int* height) {
    if (window == nullptr || window->display == nullptr || window->id == 0) {
        return false;
    }
    XWindowAttributes attr;
    if (!XGetWindowAttributes((Display*)window->display, (Window)window->id, &attr)) {
        return false;
    }
    *width = attr.width;
    *height = attr.height;
    return true;
}

bool fxGetScreenSize(const tagFXWindow* window, int* width, int* height) {
    if (window == nullptr || window->display == nullptr) {
        return false;
    }
    Display* dpy = (Display*)window->display;
    *width = DisplayWidth(dpy, DefaultScreen(dpy));
    *height = DisplayHeight(dpy, DefaultScreen(dpy));
    return true;
}
