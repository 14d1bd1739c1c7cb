#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include "render/scrshot.h"
#include "render/window.h"

namespace {

// A plain X window at the top-left corner of the screen showing four coloured blocks.
struct PatternWindow {
    Display* dpy = nullptr;
    Window id = 0;
    static const int kSize = 64;

    bool Open() {
        dpy = XOpenDisplay(nullptr);
        if (dpy == nullptr) {
            return false;
        }
        int screen = DefaultScreen(dpy);
        XSetWindowAttributes swa = {};
        swa.override_redirect = True; // placed exactly where asked, no decoration
        swa.background_pixel = BlackPixel(dpy, screen);
        id = XCreateWindow(dpy, RootWindow(dpy, screen), 0, 0, kSize, kSize, 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWOverrideRedirect | CWBackPixel, &swa);
        XMapRaised(dpy, id);
        XSync(dpy, False);
        for (int i = 0; i < 1000; i++) {
            XWindowAttributes attr;
            XGetWindowAttributes(dpy, id, &attr);
            if (attr.map_state == IsViewable) {
                break;
            }
            usleep(1000);
        }
        Paint();
        return true;
    }

    void Fill(unsigned long rgb, int x, int y) {
        GC gc = XCreateGC(dpy, id, 0, nullptr);
        XSetForeground(dpy, gc, rgb); // a 24-bit true-colour screen takes 0xRRGGBB
        XFillRectangle(dpy, id, gc, x, y, kSize / 2, kSize / 2);
        XFreeGC(dpy, gc);
    }

    void Paint() {
        Fill(0xff0000, 0, 0);
        Fill(0x00ff00, kSize / 2, 0);
        Fill(0x0000ff, 0, kSize / 2);
        Fill(0xffffff, kSize / 2, kSize / 2);
        XSync(dpy, False);
    }

    ~PatternWindow() {
        if (dpy != nullptr) {
            XDestroyWindow(dpy, id);
            XCloseDisplay(dpy);
        }
    }
};

uint32_t pixelAt(const FXScrShot& shot, int x, int y) {
    return shot.canvas.pixmap.pixels[y * shot.canvas.pixmap.allocWidth + x];
}

} // namespace

TEST(ScreenCapture, TheRootWindowComesBackPixelForPixel) {
    fxInitWindowing();
    PatternWindow pattern;
    ASSERT_TRUE(pattern.Open());
    Display* dpy = pattern.dpy;
    int screenW = DisplayWidth(dpy, DefaultScreen(dpy));
    int screenH = DisplayHeight(dpy, DefaultScreen(dpy));

    FXScrShot shot;
    ASSERT_TRUE(shot.Update());
    EXPECT_EQ(shot.shots, 1);
    EXPECT_EQ(shot.canvas.pixmap.width, screenW);
    EXPECT_EQ(shot.canvas.pixmap.height, screenH);
    EXPECT_TRUE(shot.canvas.opaque);

    const int half = PatternWindow::kSize / 2;
    size_t wrong = 0;
    for (int y = 0; y < PatternWindow::kSize; y++) {
        for (int x = 0; x < PatternWindow::kSize; x++) {
            uint32_t want = y < half ? (x < half ? 0xff0000ffu : 0xff00ff00u) : (x < half ? 0xffff0000u : 0xffffffffu);
            wrong += pixelAt(shot, x, y) != want;
        }
    }
    EXPECT_EQ(wrong, 0u);

    // Beyond the screen the allocation stays opaque black.
    if (shot.canvas.pixmap.allocWidth > screenW) {
        EXPECT_EQ(pixelAt(shot, screenW, 0), 0xff000000u);
    }
    if (shot.canvas.pixmap.allocHeight > screenH) {
        EXPECT_EQ(pixelAt(shot, 0, screenH), 0xff000000u);
    }

    ASSERT_TRUE(shot.Update());
    EXPECT_EQ(shot.shots, 2);
    EXPECT_EQ(pixelAt(shot, 1, 1), 0xff0000ffu);
}
