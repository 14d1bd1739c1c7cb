// The generic half of the Windows host: entry, the show window, the message loop and the input
// that ends a show.
#include "shell/scrnsave_w32.h"

#include "resources/resource.h"

HINSTANCE hMainInstance = nullptr;
HWND hMainWindow = nullptr;
int32_t w95 = 0;
FXSaverClose saverClose;

// SystemParametersInfoA's "a screen saver is running" action.
static const UINT localSPI_SCREENSAVERRUNNING = 97;

// The window a number names; null when it names none.
static HWND localWindowFromNumber(const tagFXSaverCommand& cmd) {
    if (!cmd.hasNumber || cmd.window == 0) {
        return nullptr;
    }
    HWND hwnd = (HWND)(uintptr_t)cmd.window;
    return IsWindow(hwnd) ? hwnd : nullptr;
}

typedef DWORD(WINAPI* localPwdChangePassword)(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2);

void ScreenSaverChangePassword(HWND parent) {
    HMODULE mpr = LoadLibraryA("MPR.DLL");
    if (mpr == nullptr) {
        return;
    }
    localPwdChangePassword change = (localPwdChangePassword)(void*)GetProcAddress(mpr, "PwdChangePasswordA");
    if (change != nullptr) {
        change("SCRSAVE", parent, 0, 0);
    }
    FreeLibrary(mpr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    hMainInstance = instance;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version) && version.dwPlatformId == 1) {
        w95 = 1;
    }
    tagFXSaverCommand cmd = fxScanSaverCommand(commandLine);
    switch (cmd.mode) {
        case FXSAVER_SHOW:
            return (int)LaunchScreenSaver(nullptr);
        case FXSAVER_PREVIEW: {
            saverClose.fChildPreview = true;
            HWND parent = localWindowFromNumber(cmd);
            if (parent == nullptr) {
                return 0;
            }
            return (int)LaunchScreenSaver(parent);
        }
        case FXSAVER_PASSWORD: {
            HWND owner = localWindowFromNumber(cmd);
            ScreenSaverChangePassword(owner != nullptr ? owner : GetForegroundWindow());
            return 0;
        }
        default:
            break;
    }
    // The program carries no dialog template, so the request returns at once.
    RegisterDialogClasses(hMainInstance);
    DialogBoxParamA(hMainInstance, MAKEINTRESOURCEA(FX_DLG_CONFIGURE), GetForegroundWindow(), ScreenSaverConfigureDialog,
                    0);
    return 0;
}

WPARAM LaunchScreenSaver(HWND parent) {
    bool notify = w95 != 0 && parent == nullptr;
    if (notify) {
        SystemParametersInfoA(localSPI_SCREENSAVERRUNNING, 1, nullptr, 0);
    }
    MSG msg = {};
    WNDCLASSA cls = {};
    cls.style = CS_VREDRAW | CS_HREDRAW | CS_PARENTDC | CS_SAVEBITS;
    cls.lpfnWndProc = SysScreenSaverProc;
    cls.hInstance = hMainInstance;
    cls.hIcon = LoadIconA(hMainInstance, MAKEINTRESOURCEA(FX_IDI_WINDOW));
    cls.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    cls.lpszClassName = "WindowsScreenSaverClass";
    if (!RegisterClassA(&cls) || !RegisterDialogClasses(hMainInstance)) {
        MessageBoxA(nullptr, "RegisterClasses() failed", nullptr, MB_ICONHAND);
    } else {
        if (parent != nullptr) {
            RECT rc = {};
            GetClientRect(parent, &rc);
            hMainWindow = CreateWindowExA(0, cls.lpszClassName, "SCREENSAVER", WS_CHILD, 0, 0, rc.right - rc.left,
                                          rc.bottom - rc.top, parent, nullptr, hMainInstance, nullptr);
        } else {
            hMainWindow = CreateWindowExA(WS_EX_TOPMOST, cls.lpszClassName, "SCREENSAVER", WS_POPUP | WS_VISIBLE, 0, 0,
                                          GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                          nullptr, hMainInstance, nullptr);
        }
        if (hMainWindow != nullptr) {
            UpdateWindow(hMainWindow);
            ShowWindow(hMainWindow, SW_SHOW);
            while (GetMessageA(&msg, nullptr, 0, 0) == 1) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    if (notify) {
        SystemParametersInfoA(localSPI_SCREENSAVERRUNNING, 0, nullptr, 0);
    }
    return msg.wParam;
}

LRESULT CALLBACK SysScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            if (!saverClose.fChildPreview) {
                SetCursor(nullptr);
            }
            POINT pt = {};
            GetCursorPos(&pt);
            saverClose.OnCreate(saverClose.fChildPreview, pt.x, pt.y);
            break;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        case WM_SYSCOMMAND:
            if (!saverClose.fChildPreview) {
                switch (wParam & 0xFFF0) {
                    case SC_SCREENSAVE:
                    case SC_NEXTWINDOW:
                    case SC_PREVWINDOW:
                    case SC_CLOSE:
                        return 0;
                    default:
                        break;
                }
            }
            break;
        default:
            break;
    }
    return ScreenSaverProc(hwnd, message, wParam, lParam);
}

// A move, or a loss of activation: a close request once the cursor left where it stood.
static void localCursorCheck(HWND hwnd) {
    POINT pt = {};
    GetCursorPos(&pt);
    if (pt.x != saverClose.pt_orig[0] || pt.y != saverClose.pt_orig[1]) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    }
}

LRESULT DefScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!saverClose.fChildPreview) {
        switch (message) {
            case WM_SETCURSOR:
                SetCursor(nullptr);
                return 1;
            case WM_ACTIVATE:
            case WM_ACTIVATEAPP:
            case WM_NCACTIVATE:
                if (wParam == 0) {
                    localCursorCheck(hwnd);
                }
                break;
            case WM_MOUSEMOVE:
                localCursorCheck(hwnd);
                break;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN:
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
                break;
            default:
                break;
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
