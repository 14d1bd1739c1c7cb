// xdesk: small chores on an X display for trying and testing the show without a desktop.
//   xdesk paint [RRGGBB | PICTURE]  paints the root window (a colour ramp with a grid by default)
//                                   and keeps it after this program ends
//   xdesk shot FILE.png             writes what the screen shows
//   xdesk colours WINDOW            prints how many colours the window shows (1 for a blank one)
//   xdesk hue WINDOW RRGGBB         prints the per mille of the window's lit pixels that have the
//                                   colour's hue at any brightness (a lit picture of it)
//   xdesk window WxH                makes a window, prints its id in decimal and keeps it until
//                                   standard input closes: the parent a preview is handed
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/canvas.h"
#include "render/scrshot.h"

static const char* localUsage =
    "usage: xdesk paint [RRGGBB | PICTURE] | xdesk shot FILE.png | xdesk colours WINDOW | xdesk hue WINDOW RRGGBB |\n"
    "       xdesk window WxH\n";

static XImage* localGrabWindow(Display* dpy, const char* text, int* width, int* height) {
    Window win = (Window)strtoul(text, nullptr, 0);
    XWindowAttributes attr;
    if (win == 0 || !XGetWindowAttributes(dpy, win, &attr)) {
        fprintf(stderr, "xdesk: no window %s\n", text);
        return nullptr;
    }
    XImage* img = XGetImage(dpy, win, 0, 0, (unsigned)attr.width, (unsigned)attr.height, AllPlanes, ZPixmap);
    if (img == nullptr) {
        fprintf(stderr, "xdesk: cannot read window %s\n", text);
    }
    *width = attr.width;
    *height = attr.height;
    return img;
}

static int localColours(Display* dpy, const char* text) {
    int w = 0, h = 0;
    XImage* img = localGrabWindow(dpy, text, &w, &h);
    if (img == nullptr) {
        return 1;
    }
    // Colours counted in a coarse 4-bit-per-channel table, enough to tell a blank window.
    static bool seen[4096];
    int count = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            unsigned long p = XGetPixel(img, x, y);
            int k = (int)(((p >> 20) & 15) << 8 | ((p >> 12) & 15) << 4 | ((p >> 4) & 15));
            if (!seen[k]) {
                seen[k] = true;
                count++;
            }
        }
    }
    XDestroyImage(img);
    printf("%d\n", count);
    return 0;
}

static int localHue(Display* dpy, const char* text, const char* colour) {
    unsigned long want = strtoul(colour, nullptr, 16);
    double wr = (double)((want >> 16) & 255), wg = (double)((want >> 8) & 255), wb = (double)(want & 255);
    double wsum = wr + wg + wb;
    if (wsum == 0.0) {
        fprintf(stderr, "xdesk: black has no hue\n");
        return 2;
    }
    int w = 0, h = 0;
    XImage* img = localGrabWindow(dpy, text, &w, &h);
    if (img == nullptr) {
        return 1;
    }
    long lit = 0, match = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            unsigned long p = XGetPixel(img, x, y);
            double r = (double)((p >> 16) & 255), g = (double)((p >> 8) & 255), b = (double)(p & 255);
            double sum = r + g + b;
            if (sum < 48.0) {
                continue; // too dark to have a hue
            }
            lit++;
            // Shares of each channel: white light scales all three alike.
            double dr = r / sum - wr / wsum, dg = g / sum - wg / wsum, db = b / sum - wb / wsum;
            if (dr * dr + dg * dg + db * db < 0.004) {
                match++;
            }
        }
    }
    XDestroyImage(img);
    printf("%ld\n", lit > 0 ? match * 1000 / lit : 0L);
    return 0;
}

static int localWindow(Display* dpy, const char* size) {
    int w = 0, h = 0;
    if (sscanf(size, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) {
        fprintf(stderr, "xdesk: window needs a size WxH\n");
        return 2;
    }
    Window win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, (unsigned)w, (unsigned)h, 0, 0, 0);
    XStoreName(dpy, win, "xdesk preview parent");
    XMapWindow(dpy, win);
    XSync(dpy, False);
    printf("%lu\n", (unsigned long)win);
    fflush(stdout);
    char buf[64];
    while (fgets(buf, sizeof(buf), stdin) != nullptr) {
    }
    XDestroyWindow(dpy, win);
    return 0;
}

static int localPaint(Display* dpy, const char* what) {
    int screen = DefaultScreen(dpy);
    Window root = RootWindow(dpy, screen);
    int w = DisplayWidth(dpy, screen);
    int h = DisplayHeight(dpy, screen);
    long plain = -1;
    FXCanvas picture;
    if (what != nullptr) {
        char* end = nullptr;
        plain = strtol(what, &end, 16);
        if (strlen(what) != 6 || *end != '\0') {
            plain = -1;
            if (!fxLoadDevil() || !picture.CreateFromPict(what)) {
                fprintf(stderr, "xdesk: %s is neither a colour RRGGBB nor a picture\n", what);
                return 2;
            }
        }
    }
    Pixmap pm = XCreatePixmap(dpy, root, (unsigned)w, (unsigned)h, (unsigned)DefaultDepth(dpy, screen));
    XImage* img = XGetImage(dpy, pm, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            unsigned long r, g, b;
            if (plain >= 0) {
                r = (unsigned long)(plain >> 16) & 255;
                g = (unsigned long)(plain >> 8) & 255;
                b = (unsigned long)plain & 255;
            } else if (picture.pixmap.width > 0) {
                // Stretched over the screen, nearest pixel.
                int px = x * picture.pixmap.width / w, py = y * picture.pixmap.height / h;
                uint32_t p = picture.pixmap.pixels[(size_t)py * picture.pixmap.allocWidth + px];
                r = p & 255;
                g = (p >> 8) & 255;
                b = (p >> 16) & 255;
            } else if (x % 64 < 2 || y % 64 < 2) {
                r = g = b = 255;
            } else {
                r = (unsigned long)(x * 255 / w);
                g = (unsigned long)(y * 255 / h);
                b = 160;
            }
            XPutPixel(img, x, y, r << 16 | g << 8 | b);
        }
    }
    GC gc = XCreateGC(dpy, pm, 0, nullptr);
    XPutImage(dpy, pm, gc, img, 0, 0, 0, 0, (unsigned)w, (unsigned)h);
    XSetWindowBackgroundPixmap(dpy, root, pm);
    XClearWindow(dpy, root);
    // Kept by the server after this client leaves (with -noreset, until the server ends).
    XSetCloseDownMode(dpy, RetainPermanent);
    XDestroyImage(img);
    XFreeGC(dpy, gc);
    return 0;
}

static int localShot(const char* file) {
    FXScrShot shot;
    if (!fxLoadDevil() || !shot.Update()) {
        fprintf(stderr, "xdesk: cannot read the screen\n");
        return 1;
    }
    if (!shot.canvas.SaveToPict1(file, 0, 0, shot.canvas.pixmap.width, shot.canvas.pixmap.height)) {
        fprintf(stderr, "xdesk: cannot write %s\n", file);
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2 || strcmp(argv[1], "--help") == 0) {
        fputs(localUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const char* cmd = argv[1];
    if (strcmp(cmd, "shot") == 0) {
        if (argc != 3) {
            fputs(localUsage, stderr);
            return 2;
        }
        return localShot(argv[2]);
    }
    bool paint = strcmp(cmd, "paint") == 0 && argc <= 3;
    bool colours = strcmp(cmd, "colours") == 0 && argc == 3;
    bool hue = strcmp(cmd, "hue") == 0 && argc == 4;
    if (!paint && !colours && !hue && (strcmp(cmd, "window") != 0 || argc != 3)) {
        fputs(localUsage, stderr);
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        fprintf(stderr, "xdesk: cannot open the X display\n");
        return 1;
    }
    int r = paint     ? localPaint(dpy, argc > 2 ? argv[2] : nullptr)
            : colours ? localColours(dpy, argv[2])
            : hue     ? localHue(dpy, argv[2], argv[3])
                      : localWindow(dpy, argv[2]);
    XCloseDisplay(dpy);
    return r;
}
