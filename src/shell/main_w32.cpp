// The product's half of the Windows host: what the show window does with its messages, the data
// folder setting in the registry, self-registration.
#include <cstdio>
#include <cstring>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/other.h"
#include "base/trace.h"
#include "render/window.h"
#include "render/window_w32.h"
#include "shell/host.h"
#include "shell/scene.h"
#include "shell/scrnsave_w32.h"

static tagFXWindow localWindow; // the show window as the device sees it, from WM_CREATE to WM_DESTROY

BOOL RegisterDialogClasses(HINSTANCE) {
    return TRUE;
}

INT_PTR CALLBACK ScreenSaverConfigureDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Reads the value "path" of the product's key into tumoPath. Answers the platform's status.
static LONG localReadConfig() {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, scrRegName, 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // One byte short of the buffer, so a value stored without its terminator still ends in one.
    DWORD size = sizeof(tumoPath) - 1;
    RegQueryValueExA(key, "path", nullptr, nullptr, (BYTE*)tumoPath, &size);
    tumoPath[sizeof(tumoPath) - 1] = '\0';
    RegCloseKey(key);
    return status;
}

// Asks the shell to install the copy of the program in the system folder.
static void localRegister(HWND hwnd) {
    char path[MAX_PATH + 32] = "";
    SHGetFolderPathA(nullptr, CSIDL_SYSTEMX86, nullptr, 0, path);
    strncat(path, "\\", sizeof(path) - strlen(path) - 1);
    strncat(path, scrFile, sizeof(path) - strlen(path) - 1);
    ShellExecuteA(hwnd, "install", path, nullptr, nullptr, SW_SHOWNORMAL);
}

static void localTraceRate() {
    double seconds = fxGetTime() - saverClose.startTime;
    if (fxTracesOpened() && seconds > 0.0) {
        trc("%lld frames in %.1f s: %.1f frames per second\n", (long long)shownFrames.load(), seconds,
            (double)shownFrames.load() / seconds);
    }
}

LRESULT ScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            if (strstr(GetCommandLineA(), "register_scrsaver") != nullptr) {
                localRegister(hwnd);
                return -1;
            }
            localReadConfig();
            int origin = fxSettleDataFolder(std::string(), std::string());
            if (!fxAttachWindowHandle(&localWindow, hwnd)) {
                return -1;
            }
            fxHostHoldFreedMemory(true);
            InitScene(&localWindow, saverClose.fChildPreview);
            fxHostHoldFreedMemory(false);
            saverClose.OnStarted(fxGetTime());
            if (fxTracesOpened()) {
                trc("data folder: %s (%s)\n", tumoPath, fxDataOriginText(origin));
            }
            return 0;
        }
        case WM_DESTROY:
            if (saverClose.started) {
                localTraceRate();
            }
            DestroyScene();
            fxDestroyWindow(&localWindow);
            if (fxTracesOpened()) {
                trc("show ended\n");
            }
            fxCloseTraces();
            return 0;
        case WM_PAINT:
            ValidateRect(hwnd, nullptr);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            if (saverClose.OnCloseRequest(fxGetTime())) {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            saverClose.OnKey();
            DestroyWindow(hwnd);
            break;
        default:
            break;
    }
    return DefScreenSaverProc(hwnd, message, wParam, lParam);
}
