// The Linux host: the screen-saver modes on X11, the show in an ordinary window, signals.
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>

#include "base/other.h"
#include "base/trace.h"
#include "render/scrshot.h"
#include "render/window_x11.h"
#include "shell/host.h"
#include "shell/scene.h"
#include "shell/scrnsave.h"
#include "shell/snapshot.h"

#ifndef VANTREL_DATADIR
#define VANTREL_DATADIR "/usr/local/share/vantrel"
#endif

// A window that went away under the render thread, a grab refused: none of that ends the
// process, which the default handler would do.
static int localXError(Display* dpy, XErrorEvent* e) {
    char text[256];
    XGetErrorText(dpy, e->error_code, text, sizeof(text));
    if (fxTracesOpened()) {
        trc("X error: %s (request %d)\n", text, e->request_code);
    }
    return 0;
}

// Reads the data folder setting into tumoPath, as the platform keeps it: a file of this user.
static int localReadConfig() {
    std::string value;
    if (!fxFindSetting(fxHostReadText(fxHostSettingsFile()), "path", &value)) {
        return 1;
    }
    snprintf(tumoPath, sizeof(tumoPath), "%s", value.c_str());
    return 0;
}

static void localConfigure() {
    std::string file = fxHostSettingsFile();
    std::string text = fxHostReadText(file);
    std::string value;
    printf("Vantrel has no settings dialog. Its settings are lines of the file\n  %s\n", file.c_str());
    printf("path=FOLDER   the data folder that holds vantrel.dat: ");
    if (fxFindSetting(text, "path", &value) && !value.empty()) {
        printf("%s\n", value.c_str());
    } else {
        printf("not set, so it is looked for beside the program (%s), then in %s\n", fxHostProgramFolder().c_str(),
               VANTREL_DATADIR);
    }
    int fps = fxChooseMaxFps(-1, text);
    printf("maxfps=N      frames per second at most: ");
    if (fps > 0) {
        printf("%d\n", fps);
    } else {
        printf("not set, so the show draws as fast as the machine can\n");
    }
}

// Fills tumoPath and moves the trace file out of a read-only data folder. Answers the origin.
static int localChooseData(const tagFXHostOptions& options) {
    localReadConfig();
    int fps = fxChooseMaxFps(options.maxFps, fxHostReadText(fxHostSettingsFile()));
    gr.frameInterval = fps > 0 ? 1.0 / fps : 0.0;
    return fxSettleDataFolder(options.data, VANTREL_DATADIR);
}

static bool localQueryPointer(Display* dpy, int* x, int* y) {
    Window root, child;
    int wx, wy;
    unsigned int mask;
    return XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, x, y, &wx, &wy, &mask) == True;
}

static void localHideCursor(Display* dpy, Window w) {
    static char empty[8] = {0};
    Pixmap p = XCreateBitmapFromData(dpy, w, empty, 8, 8);
    XColor black = {};
    Cursor c = XCreatePixmapCursor(dpy, p, p, &black, &black, 0, 0);
    XDefineCursor(dpy, w, c);
    XFreeCursor(dpy, c);
    XFreePixmap(dpy, p);
}

// Another client may hold the keyboard for a moment (a menu, the manager that started us).
static void localGrab(Display* dpy, Window w) {
    for (int i = 0; i < 50; i++) {
        if (XGrabKeyboard(dpy, w, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) {
            break;
        }
        fxSleep(0.02);
    }
    for (int i = 0; i < 50; i++) {
        if (XGrabPointer(dpy, w, True, ButtonPressMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None, None,
                         CurrentTime) == GrabSuccess) {
            break;
        }
        fxSleep(0.02);
    }
}

static void localTraceRate(double since) {
    double seconds = fxGetTime() - since;
    if (fxTracesOpened() && seconds > 0.0) {
        trc("%lld frames in %.1f s: %.1f frames per second\n", (long long)shownFrames.load(), seconds,
            (double)shownFrames.load() / seconds);
    }
}

enum { localFULL, localPREVIEW, localWINDOW, localEMBED };

// Pumps the window's events through the close rules until one of them, the window's end or a
// signal ends the show.
static void localRun(tagFXWindow* window, Window parent, int kind, FXSaverClose* close) {
    Display* dpy = window->platform->display;
    Window w = window->platform->id;
    Atom wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    bool done = false;
    bool holding = true;
    while (!done && !fxHostStopRequested()) {
        // A preview counts no frames: its pictures are small, so a short wait does.
        if (holding && (shownFrames.load() > 0 || fxGetTime() - close->startTime > 2.0)) {
            fxHostHoldFreedMemory(false);
            holding = false;
        }
        if (XPending(dpy) == 0) {
            struct pollfd pfd = {ConnectionNumber(dpy), POLLIN, 0};
            poll(&pfd, 1, 50);
            if (XPending(dpy) == 0) {
                continue;
            }
        }
        XEvent e;
        XNextEvent(dpy, &e);
        double now = fxGetTime();
        switch (e.type) {
            case KeyPress:
            case KeyRelease:
                done = close->OnKey();
                break;
            case ButtonPress:
                done = kind == localFULL && close->OnButton(now);
                break;
            case MotionNotify:
                done = kind == localFULL && close->OnCursor(e.xmotion.x_root, e.xmotion.y_root, now);
                break;
            case FocusOut:
                if (kind == localFULL && e.xfocus.mode == NotifyNormal) {
                    int x = 0, y = 0;
                    done = localQueryPointer(dpy, &x, &y) && close->OnCursor(x, y, now);
                }
                break;
            case ClientMessage:
                done = (Atom)e.xclient.data.l[0] == wmDelete && close->OnCloseRequest(now);
                break;
            case DestroyNotify:
                done = e.xdestroywindow.window == w || e.xdestroywindow.window == parent;
                if (done) {
                    window->platform->ownsWindow = false; // already gone with its parent
                }
                break;
            case ConfigureNotify:
                // A preview follows its parent's size; the device follows its window's.
                if (kind == localPREVIEW && e.xconfigure.window == parent) {
                    XResizeWindow(dpy, w, (unsigned)e.xconfigure.width, (unsigned)e.xconfigure.height);
                } else if (e.xconfigure.window == w &&
                           (e.xconfigure.width != gr.width || e.xconfigure.height != gr.height)) {
                    gr.FollowWindowSize();
                    trc("window size %dx%d\n", gr.width, gr.height);
                }
                break;
            default:
                break;
        }
    }
}

static int localShow(const tagFXHostOptions& options, int kind, unsigned long parentId) {
    fxInitWindowing();
    XSetErrorHandler(localXError);
    Display* probe = XOpenDisplay(nullptr);
    if (probe == nullptr) {
        const char* name = XDisplayName(nullptr);
        fprintf(stderr, "vantrel: cannot open the X display \"%s\" (is DISPLAY set?)\n", name != nullptr ? name : "");
        return 1;
    }
    int errorBase, eventBase;
    if (!glXQueryExtension(probe, &errorBase, &eventBase)) {
        fprintf(stderr, "vantrel: the X display \"%s\" has no OpenGL (GLX) support\n", DisplayString(probe));
        XCloseDisplay(probe);
        return 1;
    }
    int screenW = DisplayWidth(probe, DefaultScreen(probe));
    int screenH = DisplayHeight(probe, DefaultScreen(probe));
    int x = 0, y = 0;
    localQueryPointer(probe, &x, &y);

    tagFXWindow parent = {};
    if (kind == localPREVIEW) {
        XWindowAttributes attr;
        bool exists = XGetWindowAttributes(probe, (Window)parentId, &attr) != 0;
        XSync(probe, False);
        if (!exists || !fxAttachWindow(&parent, DisplayString(probe), parentId)) {
            XCloseDisplay(probe);
            return 0; // not a window: nothing to show, as with a missing number
        }
    }
    XCloseDisplay(probe);

    int origin = localChooseData(options);

    tagFXWindow window = {};
    bool made = false;
    if (kind == localPREVIEW) {
        int w = 0, h = 0;
        fxGetWindowSize(&parent, &w, &h);
        made = fxCreateWindowEx(&window, w, h, &parent, 0, 0, 0);
    } else if (kind == localWINDOW) {
        int w = options.width > 0 ? options.width : (screenW < 1024 ? screenW : 1024);
        int h = options.height > 0 ? options.height : (screenH < 768 ? screenH : 768);
        made = fxCreateWindowEx(&window, w, h, nullptr, 0, 0, FXWINDOW_HIDDEN);
    } else {
        made = fxCreateWindowEx(&window, screenW, screenH, nullptr, 0, 0, FXWINDOW_HIDDEN | FXWINDOW_OVERRIDE);
    }
    if (!made) {
        fprintf(stderr, "vantrel: cannot create a window with an OpenGL visual on this display\n");
        fxDestroyWindow(&parent);
        return 1;
    }
    Display* dpy = window.platform->display;
    Window w = window.platform->id;
    XStoreName(dpy, w, "Vantrel");
    XClassHint hint = {(char*)"vantrel", (char*)"Vantrel"};
    XSetClassHint(dpy, w, &hint);
    long mask = StructureNotifyMask;
    if (kind != localPREVIEW) {
        mask |= KeyPressMask | KeyReleaseMask | ButtonPressMask | PointerMotionMask | FocusChangeMask | ExposureMask;
    }
    XSelectInput(dpy, w, mask);
    if (kind == localPREVIEW) {
        // The parent may have gone while we started; its end is only reported from here on.
        XSelectInput(dpy, (Window)parentId, StructureNotifyMask);
        XWindowAttributes attr;
        bool exists = XGetWindowAttributes(dpy, (Window)parentId, &attr) != 0;
        XSync(dpy, False);
        if (!exists) {
            window.platform->ownsWindow = false; // went with its parent, or was never made
            fxDestroyWindow(&window);
            fxDestroyWindow(&parent);
            return 0;
        }
    } else if (kind == localWINDOW) {
        Atom wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(dpy, w, &wmDelete, 1);
    }

    FXSaverClose close;
    close.OnCreate(kind == localPREVIEW, x, y);
    fxHostHoldFreedMemory(true);
    InitScene(&window, kind == localPREVIEW);
    close.OnStarted(fxGetTime());
    if (kind != localPREVIEW) {
        trc("data folder: %s (%s)\n", tumoPath, fxDataOriginText(origin));
    }

    if (kind != localPREVIEW) {
        fxShowWindow(&window);
    }
    if (kind == localFULL) {
        localHideCursor(dpy, w);
        localGrab(dpy, w);
    }
    XFlush(dpy);
    localRun(&window, kind == localPREVIEW ? (Window)parentId : 0, kind, &close);
    fxHostHoldFreedMemory(false);

    DestroyScene();
    localTraceRate(close.startTime);
    if (kind == localFULL) {
        XUngrabPointer(dpy, CurrentTime);
        XUngrabKeyboard(dpy, CurrentTime);
    }
    fxDestroyWindow(&window);
    fxDestroyWindow(&parent);
    if (fxTracesOpened()) {
        trc("show ended\n");
    }
    fxCloseTraces();
    return 0;
}

// The root window, or the virtual root a desktop environment may lay over it.
static Window localVirtualRoot(Display* dpy) {
    Window root = DefaultRootWindow(dpy), parent, *kids = nullptr;
    unsigned int count = 0;
    Window found = root;
    Atom vroot = XInternAtom(dpy, "__SWM_VROOT", False);
    if (XQueryTree(dpy, root, &root, &parent, &kids, &count)) {
        for (unsigned int i = 0; i < count && found == root; i++) {
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy, kids[i], vroot, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                                   &data) == Success &&
                type == XA_WINDOW && items == 1) {
                found = (Window)((unsigned long*)data)[0];
            }
            if (data != nullptr) {
                XFree(data);
            }
        }
    }
    if (kids != nullptr) {
        XFree(kids);
    }
    return found;
}

// The show in a window a screen-saver manager owns (its own, or the root): the manager handles
// input and ends the show with a signal; the show follows the window's size.
static int localEmbed(const tagFXHostOptions& options, const char* windowText) {
    fxInitWindowing();
    XSetErrorHandler(localXError);
    Display* probe = XOpenDisplay(nullptr);
    if (probe == nullptr) {
        const char* name = XDisplayName(nullptr);
        fprintf(stderr, "vantrel: cannot open the X display \"%s\" (is DISPLAY set?)\n", name != nullptr ? name : "");
        return 1;
    }
    unsigned long id = 0;
    if (windowText != nullptr) {
        char* end = nullptr;
        id = strtoul(windowText, &end, 0);
        if (end == windowText || *end != '\0' || id == 0) {
            fprintf(stderr, "vantrel: %s is not a window id (decimal or 0x hexadecimal)\n", windowText);
            XCloseDisplay(probe);
            return 2;
        }
    } else {
        id = localVirtualRoot(probe);
    }
    std::string displayName = DisplayString(probe);
    XCloseDisplay(probe);

    tagFXWindow window = {};
    if (!fxAttachWindow(&window, displayName.c_str(), id)) {
        fprintf(stderr, "vantrel: there is no window 0x%lx on the display\n", id);
        return 1;
    }
    int origin = localChooseData(options);
    Display* dpy = window.platform->display;
    XSelectInput(dpy, (Window)id, StructureNotifyMask);

    FXScrShot saved;
    bool hasSaved = saved.UpdateFromSaved(id);
    BuildScene(&window, false, hasSaved ? &saved.canvas : nullptr);
    saved.canvas.Destroy();
    gr.StartLoop(&sc);
    FXSaverClose close;
    close.OnStarted(fxGetTime());
    trc("data folder: %s (%s)\n", tumoPath, fxDataOriginText(origin));
    trc("drawing in window 0x%lx; desktop picture %s\n", id, hasSaved ? "saved by the manager" : "captured");
    localRun(&window, 0, localEMBED, &close);

    DestroyScene();
    localTraceRate(close.startTime);
    fxDestroyWindow(&window);
    fxCloseTraces();
    return 0;
}

// The show on a virtual clock into pictures, in a window that is never shown.
static int localSnapshots(const tagFXHostOptions& options) {
    std::vector<double> times;
    if (!fxParseSnapshotTimes(options.times.c_str(), &times)) {
        fprintf(stderr, "vantrel: --times needs seconds from 0 to 86400, T1,T2,... (got %s)\n", options.times.c_str());
        return 2;
    }
    if (!fxHostFolderExists(options.snapshot)) {
        fprintf(stderr, "vantrel: the snapshot folder %s does not exist\n", options.snapshot.c_str());
        return 2;
    }
    if (!options.desktop.empty() && !fxHostFileExists(options.desktop)) {
        fprintf(stderr, "vantrel: the desktop picture %s does not exist\n", options.desktop.c_str());
        return 2;
    }
    fxInitWindowing();
    XSetErrorHandler(localXError);
    tagFXWindow window = {};
    int w = options.sizeW > 0 ? options.sizeW : 1024;
    int h = options.sizeH > 0 ? options.sizeH : 768;
    if (!fxCreateWindowEx(&window, w, h, nullptr, 0, 0, FXWINDOW_HIDDEN)) {
        fprintf(stderr, "vantrel: cannot open the X display or make an OpenGL window on it\n");
        return 1;
    }
    localChooseData(options);
    bool ok = fxRunSnapshots(&window, fxHostAbsolutePath(options.snapshot), times, options.desktop, options.seed);
    fxDestroyWindow(&window);
    fxCloseTraces();
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    tagFXHostOptions options = fxParseHostArgs(argc, argv);
    if (!options.error.empty()) {
        fprintf(stderr, "vantrel: %s\n%s", options.error.c_str(), fxHostUsage());
        return 2;
    }
    if (options.help) {
        fputs(fxHostUsage(), stdout);
        return 0;
    }
    if (options.version) {
        printf("vantrel %s\n", FX_HOST_VERSION);
        return 0;
    }
    if (!options.data.empty() && !fxHostFolderExists(options.data)) {
        fprintf(stderr, "vantrel: the data folder %s does not exist\n", options.data.c_str());
        return 2;
    }
    fxHostCatchStopSignals();
    if (!options.snapshot.empty()) {
        return localSnapshots(options);
    }
    // The conventions of the Linux screen-saver manager: its window by id or in the environment,
    // or the root window.
    const char* managed = getenv("XSCREENSAVER_WINDOW");
    if (managed != nullptr && managed[0] == '\0') {
        managed = nullptr;
    }
    if (!options.windowId.empty()) {
        return localEmbed(options, options.windowId.c_str());
    }
    if (options.root || (managed != nullptr && options.scan.empty() && !options.window)) {
        return localEmbed(options, managed);
    }
    if (options.window) {
        return localShow(options, localWINDOW, 0);
    }
    tagFXSaverCommand cmd = fxScanSaverCommand(options.scan.c_str());
    switch (cmd.mode) {
        case FXSAVER_SHOW:
            // Self-registration reaches window creation, which it aborts: nothing to install here.
            if (options.scan.find("register_scrsaver") != std::string::npos) {
                DestroyScene();
                return 0;
            }
            return localShow(options, localFULL, 0);
        case FXSAVER_PREVIEW:
            if (!cmd.hasNumber || cmd.window == 0) {
                return 0;
            }
            return localShow(options, localPREVIEW, cmd.window);
        case FXSAVER_PASSWORD:
            return 0; // the platform changes passwords elsewhere
        default:
            localConfigure();
            return 0;
    }
}
