#include "base/other.h"

#include <windows.h>
#include <mmsystem.h>

uint32_t fxGetTimeMs() {
    return (uint32_t)timeGetTime();
}

double fxGetTime() {
    return fxGetTimeMs() / 1000.0;
}

void fxSleep(double seconds) {
    if (seconds == 0.0) {
        Sleep(0);
        return;
    }
    long ms = (long)(seconds * 1000.0 + 0.5);
    Sleep(ms > 0 ? (DWORD)ms : 0);
}

void fxSetAppPriority(int priority) {
    DWORD cls = NORMAL_PRIORITY_CLASS;
    if (priority > 0) {
        cls = REALTIME_PRIORITY_CLASS; // granted as HIGH without the privilege
    } else if (priority < 0) {
        cls = BELOW_NORMAL_PRIORITY_CLASS;
    }
    SetPriorityClass(GetCurrentProcess(), cls);
}

void* fxLoadLibrary(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    return (void*)LoadLibraryA(name);
}

void* fxGetProcAddress(void* library, const char* symbol) {
    if (library == nullptr || symbol == nullptr) {
        return nullptr;
    }
    return (void*)GetProcAddress((HMODULE)library, symbol);
}

void fxFreeLibrary(void* library) {
    if (library != nullptr) {
        FreeLibrary((HMODULE)library);
    }
}
