#include "render/window_w32.h"

#include <cstdint>
#include <mutex>
#include <new>

#include "base/trace.h"

static const char* const localClassName = "FXWindow";

// Windows with a caption have a smallest size of their own; ours take the client size asked for,
// however small, as on X11.
static LRESULT CALLBACK localWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_GETMINMAXINFO) {
        MINMAXINFO* info = (MINMAXINFO*)lp;
        info->ptMinTrackSize.x = 1;
        info->ptMinTrackSize.y = 1;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// The device needs its own device context for the window's whole life: CS_OWNDC.
static bool localRegisterClass() {
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = localWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
        wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
        wc.lpszClassName = localClassName;
        registered = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    });
    return registered;
}

void fxInitWindowing() {
    localRegisterClass();
}

static bool localNewRecord(tagFXWindow* window, HWND hwnd, bool ownsWindow, const char* who) {
    window->platform = new (std::nothrow) tagFXWindowPlatform;
    if (window->platform == nullptr) {
        err("%s: out of memory\n", who);
        return false;
    }
    window->platform->hwnd = hwnd;
    window->platform->ownsWindow = ownsWindow;
    return true;
}

bool fxCreateWindow(tagFXWindow* window, int width, int height, const tagFXWindow* parent, int x, int y) {
    return fxCreateWindowEx(window, width, height, parent, x, y, 0);
}

bool fxCreateWindowEx(tagFXWindow* window, int width, int height, const tagFXWindow* parent, int x, int y, int flags) {
    window->platform = nullptr;
    if (width <= 0 || height <= 0) {
        err("fxCreateWindow: bad size %dx%d\n", width, height);
        return false;
    }
    if (!localRegisterClass()) {
        err("fxCreateWindow: RegisterClass failed (%lu)\n", (unsigned long)GetLastError());
        return false;
    }
    HWND parentHwnd = parent != nullptr && parent->platform != nullptr ? parent->platform->hwnd : nullptr;
    // OpenGL must not draw over children or siblings.
    DWORD style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    if (parentHwnd != nullptr) {
        style |= WS_CHILD;
    } else if ((flags & FXWINDOW_OVERRIDE) != 0) {
        style |= WS_POPUP;
        exStyle |= WS_EX_TOPMOST;
    } else {
        style |= WS_OVERLAPPEDWINDOW;
    }
    // The size asked for is the client area's.
    RECT r = {x, y, x + width, y + height};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    HWND hwnd = CreateWindowExA(exStyle, localClassName, "", style, parentHwnd != nullptr ? x : r.left,
                                parentHwnd != nullptr ? y : r.top, r.right - r.left, r.bottom - r.top, parentHwnd,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    if (hwnd == nullptr) {
        err("fxCreateWindow: CreateWindowEx failed (%lu)\n", (unsigned long)GetLastError());
        return false;
    }
    if (!localNewRecord(window, hwnd, true, "fxCreateWindow")) {
        DestroyWindow(hwnd);
        return false;
    }
    if ((flags & FXWINDOW_HIDDEN) == 0) {
        fxShowWindow(window);
    }
    return true;
}

void fxShowWindow(tagFXWindow* window) {
    const tagFXWindowPlatform* w = window != nullptr ? window->platform : nullptr;
    if (w == nullptr || w->hwnd == nullptr) {
        return;
    }
    ShowWindow(w->hwnd, SW_SHOW);
    SetWindowPos(w->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(w->hwnd);
    // Lets the window reach the screen before the first frame, as on X11; the host's own loop
    // takes over from here.
    MSG msg;
    while (PeekMessageA(&msg, w->hwnd, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool fxAttachWindowHandle(tagFXWindow* window, HWND hwnd) {
    window->platform = nullptr;
    if (hwnd == nullptr || !IsWindow(hwnd)) {
        err("fxAttachWindow: no window %p\n", (void*)hwnd);
        return false;
    }
    return localNewRecord(window, hwnd, false, "fxAttachWindow");
}

// The id is a window handle as a number (what a host passes on the command line); Windows has
// one display, so the name is not used.
bool fxAttachWindow(tagFXWindow* window, const char* displayName, unsigned long id) {
    (void)displayName;
    return fxAttachWindowHandle(window, (HWND)(uintptr_t)id);
}

void fxDestroyWindow(tagFXWindow* window) {
    if (window == nullptr || window->platform == nullptr) {
        return;
    }
    tagFXWindowPlatform* w = window->platform;
    if (w->ownsWindow && w->hwnd != nullptr && IsWindow(w->hwnd)) {
        DestroyWindow(w->hwnd);
    }
    delete w;
    window->platform = nullptr;
}

bool fxGetWindowSize(const tagFXWindow* window, int* width, int* height) {
    const tagFXWindowPlatform* w = window != nullptr ? window->platform : nullptr;
    RECT r;
    if (w == nullptr || w->hwnd == nullptr || !GetClientRect(w->hwnd, &r)) {
        return false;
    }
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return true;
}

bool fxGetScreenSize(const tagFXWindow* window, int* width, int* height) {
    if (window == nullptr || window->platform == nullptr) {
        return false;
    }
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    return true;
}
