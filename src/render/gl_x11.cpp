#include "render/gl.h"

#include <GL/gl.h>
#include <cstdio>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <new>

#include "base/thread.h"
#include "base/trace.h"
#include "render/window_x11.h"

void* fxGLGetProcAddress(const char* name) {
    return (void*)glXGetProcAddressARB((const GLubyte*)name);
}

// The closest configuration to the device's request: double-buffered RGBA on the window's own
// visual, at least 24 colour and 16 depth bits, as much stencil as is offered.
static bool localChooseConfig(Display* dpy, Window window, GLXFBConfig* out) {
    XWindowAttributes attr;
    if (!XGetWindowAttributes(dpy, window, &attr)) {
        return false;
    }
    VisualID visual = XVisualIDFromVisual(attr.visual);
    int screen = XScreenNumberOfScreen(attr.screen);
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(dpy, screen, &count);
    if (configs == nullptr) {
        return false;
    }
    int best = -1;
    int bestScore = -1;
    for (int i = 0; i < count; i++) {
        int vid = 0, doubleBuffer = 0, renderType = 0, drawable = 0, red = 0, green = 0, blue = 0, depth = 0,
            stencil = 0;
        glXGetFBConfigAttrib(dpy, configs[i], GLX_VISUAL_ID, &vid);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_DOUBLEBUFFER, &doubleBuffer);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_RENDER_TYPE, &renderType);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_DRAWABLE_TYPE, &drawable);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_RED_SIZE, &red);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_GREEN_SIZE, &green);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_BLUE_SIZE, &blue);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_DEPTH_SIZE, &depth);
        glXGetFBConfigAttrib(dpy, configs[i], GLX_STENCIL_SIZE, &stencil);
        if ((VisualID)vid != visual || !doubleBuffer || !(renderType & GLX_RGBA_BIT) || !(drawable & GLX_WINDOW_BIT) ||
            red + green + blue < 24 || depth < 16) {
            continue;
        }
        // Prefer exactly 16 stencil bits' worth of request: any stencil, then the smallest depth
        // that satisfies the request.
        int score = (stencil > 0 ? 1000 : 0) + (stencil > 16 ? 16 : stencil) * 10 - (depth - 16) / 8;
        if (score > bestScore) {
            bestScore = score;
            best = i;
        }
    }
    bool found = best >= 0;
    if (found) {
        *out = configs[best];
    }
    XFree(configs);
    return found;
}

bool FXGL::CreateChild(void* window) {
    Destroy();
    mutex = fxCreateMutex();

    hwnd = (tagFXWindow*)window;
    this->window = window;
    const tagFXWindowPlatform* w = hwnd != nullptr ? hwnd->platform : nullptr;
    if (w == nullptr || w->display == nullptr || w->id == 0) {
        return false;
    }
    fxGetScreenSize(hwnd, &screenWidth, &screenHeight);
    fxGetWindowSize(hwnd, &width, &height);

    fxInitWindowing();
    Display* dpy = XOpenDisplay(DisplayString(w->display));
    if (dpy == nullptr) {
        err("FXGL::CreateChild: cannot open the X display\n");
        return false;
    }
    hdc = new (std::nothrow) tagFXDeviceContext;
    if (hdc == nullptr) {
        err("FXGL::CreateChild: out of memory\n");
        XCloseDisplay(dpy);
        return false;
    }
    hdc->display = dpy;
    hdc->savedParent = 0;

    GLXFBConfig config;
    if (!localChooseConfig(dpy, w->id, &config)) {
        err("FXGL::CreateChild: no matching pixel format\n");
        return false;
    }
    GLXContext ctx = glXCreateNewContext(dpy, config, GLX_RGBA_TYPE, nullptr, True);
    if (ctx == nullptr) {
        err("FXGL::CreateChild: cannot create the OpenGL context\n");
        return false;
    }
    hglrc = ctx;

    if (!glXMakeCurrent(dpy, w->id, ctx)) {
        err("FXGL::CreateChild: cannot make the context current\n");
        return false;
    }
    bool r = InitExtensions();
    ClrParams();
    glXMakeCurrent(dpy, None, nullptr);
    return r;
}

void FXGL::Destroy() {
    PEnv::Destroy();
    if (hdc != nullptr) {
        glXMakeCurrent(hdc->display, None, nullptr);
        if (hglrc != nullptr) {
            glXDestroyContext(hdc->display, (GLXContext)hglrc);
        }
        XCloseDisplay(hdc->display);
        delete hdc;
    }
    hglrc = nullptr;
    hdc = nullptr;
    hwnd = nullptr;
}

void FXGL::SetAct(bool on) {
    if (hdc == nullptr) {
        return;
    }
    Display* dpy = hdc->display;
    if (on && hglrc != nullptr && hwnd != nullptr && hwnd->platform != nullptr) {
        glXMakeCurrent(dpy, hwnd->platform->id, (GLXContext)hglrc);
    } else {
        glXMakeCurrent(dpy, None, nullptr);
    }
}

void FXGL::RenderEnd() {
    if (hdc == nullptr || hwnd == nullptr || hwnd->platform == nullptr) {
        return;
    }
    glXSwapBuffers(hdc->display, hwnd->platform->id);
}

static void localReadClientSize(FXGL* gl) {
    fxGetWindowSize(gl->hwnd, &gl->width, &gl->height);
    glViewport(0, 0, gl->width, gl->height);
}

void FXGL::Enlarge(bool on) {
    FXGRAutoAct guard(fxglobalEnv);
    if (hdc == nullptr || hwnd == nullptr || hwnd->platform == nullptr) {
        return;
    }
    Display* dpy = hdc->display;
    Window id = hwnd->platform->id;
    if (on) {
        if (!enlarged) {
            XWindowAttributes attr;
            Window root = 0, parent = 0, *children = nullptr;
            unsigned int count = 0;
            if (!XGetWindowAttributes(dpy, id, &attr) || !XQueryTree(dpy, id, &root, &parent, &children, &count)) {
                return;
            }
            if (children != nullptr) {
                XFree(children);
            }
            // Window positions on X are already relative to the parent.
            savedRect[0] = attr.x;
            savedRect[1] = attr.y;
            savedRect[2] = attr.x + attr.width;
            savedRect[3] = attr.y + attr.height;
            hdc->savedParent = parent;
            XReparentWindow(dpy, id, root, 0, 0);
        }
        XMoveResizeWindow(dpy, id, 0, 0, (unsigned)screenWidth, (unsigned)screenHeight);
        XSync(dpy, False);
        localReadClientSize(this);
        enlarged = true;
    } else if (enlarged) {
        XReparentWindow(dpy, id, hdc->savedParent, savedRect[0], savedRect[1]);
        hdc->savedParent = 0;
        XMoveResizeWindow(dpy, id, savedRect[0], savedRect[1], (unsigned)(savedRect[2] - savedRect[0]),
                          (unsigned)(savedRect[3] - savedRect[1]));
        XSync(dpy, False);
        localReadClientSize(this);
        enlarged = false;
    }
}

// No message box here: the text goes where the user of a terminal sees it.
void fxShowDeviceMessage(const char* text, const char* caption) {
    fprintf(stderr, "%s: %s\n", caption, text);
}
