#include "base/other.h"

#include <cerrno>
#include <io.h>

#include <windows.h>
#include <mmsystem.h>

#include "base/w32.h"

void fxSetErrnoFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_DIRECTORY:
            errno = ENOTDIR;
            break;
        default:
            errno = EIO;
            break;
    }
}

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

// The runtime's seek answers success on pipes and devices without moving.
bool fxStreamSeekable(FILE* f) {
    HANDLE h = (HANDLE)_get_osfhandle(_fileno(f));
    return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_DISK;
}

// The system gives large pages only to a process holding the lock-memory privilege.
void fxAdviseLargePages(void*, size_t) {}
