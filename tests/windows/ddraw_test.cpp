#include <gtest/gtest.h>

#include <windows.h>

#include "render/picture_helpers.h"
#include "render/scrshot.h"

// The DirectDraw capture of a desktop that shows a window painted with known colours.

namespace {

const COLORREF localColours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(200, 120, 40)};

// Four vertical bands in the four colours, painted whenever the window asks.
LRESULT CALLBACK localBandsProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        for (int i = 0; i < 4; i++) {
            RECT band = {client.right * i / 4, 0, client.right * (i + 1) / 4, client.bottom};
            HBRUSH brush = CreateSolidBrush(localColours[i]);
            FillRect(dc, &band, brush);
            DeleteObject(brush);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

uint32_t localPixel(COLORREF c) {
    return Rgba(GetRValue(c), GetGValue(c), GetBValue(c), 255);
}

TEST(DirectDrawCapture, TheScreenComesBackWithThePaintedWindowOnIt) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = localBandsProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FXTestBands";
    RegisterClassA(&wc);
    const int left = 100, top = 80, width = 400, height = 120;
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, "FXTestBands", "", WS_POPUP | WS_VISIBLE, left, top, width, height,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    UpdateWindow(hwnd);
    for (int i = 0; i < 20; i++) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }

    FXScrShot shot;
    ASSERT_TRUE(shot.Update());
    ASSERT_TRUE(shot.Update()); // the DirectDraw object is reused
    EXPECT_EQ(shot.shots, 2);
    const FXCanvas& c = shot.canvas;
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_EQ(c.GetWidth(), sw);
    ASSERT_EQ(c.GetHeight(), sh);
    for (int i = 0; i < 4; i++) {
        int x = left + width * i / 4 + width / 8;
        for (int y : {top + 2, top + height / 2, top + height - 3}) {
            EXPECT_EQ(PixelAt(c, x, y), localPixel(localColours[i])) << "band " << i << " at " << x << "," << y;
        }
    }
    // Every captured pixel is opaque; the allocation beyond the screen is opaque black.
    for (int y = 0; y < c.pixmap.allocHeight; y += 7) {
        for (int x = 0; x < c.pixmap.allocWidth; x += 7) {
            uint32_t p = PixelAt(c, x, y);
            ASSERT_EQ(p >> 24, 255u) << x << "," << y;
            if (x >= sw || y >= sh) {
                ASSERT_EQ(p, Rgba(0, 0, 0, 255)) << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(shot.UpdateFromSaved(0)); // Windows keeps no saved desktop
    DestroyWindow(hwnd);
}

} // namespace
