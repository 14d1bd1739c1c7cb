#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include "base/env.h"
#include "render/gl.h"
#include "render/window_w32.h"

// The WGL device on real Win32 windows: a frame cleared to a colour reaches the screen, a window
// takes a second device, and a child is lifted to full screen and put back in its place.

namespace {

// The colour of a window's client pixel as the screen shows it.
COLORREF localScreenPixel(HWND hwnd, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

void localPump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
}

class WglDevice : public ::testing::Test {
protected:
    tagFXWindow window{};
    FXGL gl;

    void SetUp() override { ASSERT_TRUE(fxCreateWindowEx(&window, 96, 64, nullptr, 40, 40, FXWINDOW_OVERRIDE)); }
    void TearDown() override {
        gl.Destroy();
        fxSetEnv(nullptr);
        fxDestroyWindow(&window);
    }

    void DrawFrame(float r, float g, float b) {
        gl.SetAct(true);
        float colour[4] = {r, g, b, 1.0f};
        gl.SetClrColor(colour);
        gl.Clrscr(true, true, true);
        gl.RenderEnd();
        glFinish();
        gl.SetAct(false);
        localPump();
    }
};

TEST_F(WglDevice, ClearedFramesReachTheScreenAndAWindowTakesASecondDevice) {
    gl.CreateChild(&window);
    ASSERT_NE(gl.hglrc, nullptr);
    EXPECT_EQ(gl.width, 96);
    EXPECT_EQ(gl.height, 64);
    EXPECT_EQ(gl.screenWidth, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(gl.TestGL(false), gl.extMultitexture);
    if (gl.extMultitexture) {
        EXPECT_NE(FXGL::glActiveTexture, nullptr);
        EXPECT_NE(FXGL::glMultiTexCoord2fv, nullptr);
    }
    HWND hwnd = window.platform->hwnd;
    DrawFrame(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(localScreenPixel(hwnd, 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(localScreenPixel(hwnd, 95, 63), RGB(255, 0, 0));

    // The pixel format stays with the window; a second device on it must still work.
    gl.Destroy();
    EXPECT_EQ(gl.hdc, nullptr);
    gl.CreateChild(&window);
    ASSERT_NE(gl.hglrc, nullptr);
    DrawFrame(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(localScreenPixel(hwnd, 48, 32), RGB(0, 0, 255));
}

TEST(WglEnlarge, LiftsAChildToFullScreenAndPutsItBackInItsParent) {
    tagFXWindow parent{}, child{};
    ASSERT_TRUE(fxCreateWindowEx(&parent, 200, 150, nullptr, 10, 10, FXWINDOW_OVERRIDE));
    ASSERT_TRUE(fxCreateWindow(&child, 80, 60, &parent, 30, 20));
    FXGL gl;
    gl.CreateChild(&child);
    ASSERT_NE(gl.hglrc, nullptr);
    fxSetEnv(&gl);
    HWND hwnd = child.platform->hwnd;

    gl.Enlarge(true);
    EXPECT_TRUE(gl.enlarged);
    EXPECT_EQ(GetParent(hwnd), nullptr);
    EXPECT_EQ(gl.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(gl.height, GetSystemMetrics(SM_CYSCREEN));
    gl.Enlarge(true); // already enlarged: the saved place is kept

    gl.Enlarge(false);
    EXPECT_FALSE(gl.enlarged);
    EXPECT_EQ(GetParent(hwnd), parent.platform->hwnd);
    RECT r;
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    MapWindowPoints(nullptr, parent.platform->hwnd, (POINT*)&r, 2);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(gl.width, 80);
    EXPECT_EQ(gl.height, 60);

    gl.Destroy();
    fxSetEnv(nullptr);
    fxDestroyWindow(&child);
    fxDestroyWindow(&parent);
}

TEST(WglWindows, AdoptedWindowsStayTheirOwners) {
    tagFXWindow made{}, adopted{};
    // Smaller than a captioned window's usual smallest size: the client is still what was asked.
    ASSERT_TRUE(fxCreateWindow(&made, 50, 40, nullptr, 0, 0));
    HWND hwnd = made.platform->hwnd;
    ASSERT_TRUE(fxAttachWindowHandle(&adopted, hwnd));
    int w = 0, h = 0;
    ASSERT_TRUE(fxGetWindowSize(&adopted, &w, &h));
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 40);
    fxDestroyWindow(&adopted);
    EXPECT_TRUE(IsWindow(hwnd)); // not ours to destroy
    fxDestroyWindow(&made);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(fxAttachWindowHandle(&adopted, hwnd));
    EXPECT_FALSE(fxCreateWindow(&made, 0, 10, nullptr, 0, 0));
}

} // namespace
