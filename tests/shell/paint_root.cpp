// Paints the root window of the display with a picture that tells screen positions apart (a
// colour ramp with a grid), or one plain colour given as RRGGBB, and keeps it after this program
// ends, so that a screen saver started next captures a desktop worth looking at.
// With --window WxH it instead makes a window of that size, prints its id in decimal and keeps
// it until standard input closes: the parent a screen-saver preview is handed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int localParent(Display* dpy, const char* size) {
    int w = 0, h = 0;
    if (sscanf(size, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) {
        fprintf(stderr, "paint_root: --window needs WxH\n");
        return 2;
    }
    Window win = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, (unsigned)w, (unsigned)h, 0, 0, 0);
    XMapWindow(dpy, win);
    XSync(dpy, False);
    printf("%lu\n", (unsigned long)win);
    fflush(stdout);
    char buf[64];
    while (fgets(buf, sizeof(buf), stdin) != nullptr) {
    }
    XDestroyWindow(dpy, win);
    XCloseDisplay(dpy);
    return 0;
}

int main(int argc, char** argv) {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        fprintf(stderr, "paint_root: cannot open the display\n");
        return 1;
    }
    if (argc > 2 && strcmp(argv[1], "--window") == 0) {
        return localParent(dpy, argv[2]);
    }
    long plain = argc > 1 ? strtol(argv[1], nullptr, 16) : -1;
    int screen = DefaultScreen(dpy);
    Window root = RootWindow(dpy, screen);
    int w = DisplayWidth(dpy, screen);
    int h = DisplayHeight(dpy, screen);
    Pixmap pm = XCreatePixmap(dpy, root, (unsigned)w, (unsigned)h, (unsigned)DefaultDepth(dpy, screen));
    XImage* img = XGetImage(dpy, pm, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            unsigned long r, g, b;
            if (plain >= 0) {
                r = (unsigned long)(plain >> 16) & 255;
                g = (unsigned long)(plain >> 8) & 255;
                b = (unsigned long)plain & 255;
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
    XSetCloseDownMode(dpy, RetainPermanent);
    XDestroyImage(img);
    XFreeGC(dpy, gc);
    XCloseDisplay(dpy);
    return 0;
}
