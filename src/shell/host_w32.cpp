#include "shell/host.h"

#include <atomic>
#include <cstdio>

#include <windows.h>
#include <shlobj.h>

#include "shell/scene.h"

// The settings live in the registry; this names the key for messages.
std::string fxHostSettingsFile() {
    return std::string("HKEY_CURRENT_USER\\") + scrRegName;
}

std::string fxHostProgramFolder() {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof(buf));
    if (n == 0 || n >= sizeof(buf)) {
        return std::string();
    }
    std::string path(buf, n);
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool fxHostFileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string fxHostAbsolutePath(const std::string& path) {
    char buf[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof(buf), buf, nullptr);
    if (n == 0 || n >= sizeof(buf)) {
        return path;
    }
    return buf;
}

bool fxHostFolderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fxHostFolderWritable(const std::string& folder) {
    // Tried for real: attributes say nothing of the folder's access list.
    std::string log = folder + "\\" + logsFile;
    bool existed = GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES;
    HANDLE h = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    if (!existed) {
        DeleteFileA(log.c_str());
    }
    return true;
}

std::string fxHostStateFolder() {
    char base[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base) != S_OK) {
        return std::string();
    }
    std::string folder = std::string(base) + "\\vantrel";
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return std::string();
    }
    return folder;
}

static std::atomic<bool> localStop(false);

static BOOL WINAPI localOnConsoleEvent(DWORD) {
    localStop = true;
    return TRUE;
}

void fxHostHoldFreedMemory(bool) {
    // The process heap keeps freed blocks for reuse on its own.
}

void fxHostCatchStopSignals() {
    SetConsoleCtrlHandler(localOnConsoleEvent, TRUE);
}

bool fxHostStopRequested() {
    return localStop;
}
