// Makes a window for a preview to live in, prints its handle as a decimal number and keeps the
// window until standard input closes: the display settings' part in the preview tests.
#include <cstdint>
#include <cstdio>

#include <windows.h>

static LRESULT CALLBACK localProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

static DWORD WINAPI localWaitForInputEnd(void* window) {
    char line[64];
    while (fgets(line, sizeof(line), stdin) != nullptr) {
    }
    PostMessageA((HWND)window, WM_CLOSE, 0, 0);
    return 0;
}

int main() {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = localProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    cls.lpszClassName = "VantrelPreviewParent";
    if (!RegisterClassA(&cls)) {
        return 1;
    }
    HWND w = CreateWindowExA(0, cls.lpszClassName, "vantrel preview parent", WS_POPUP | WS_VISIBLE, 40, 40, 320, 240,
                             nullptr, nullptr, cls.hInstance, nullptr);
    if (w == nullptr) {
        return 1;
    }
    printf("%lu\n", (unsigned long)(uintptr_t)w);
    fflush(stdout);
    CreateThread(nullptr, 0, localWaitForInputEnd, w, 0, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
