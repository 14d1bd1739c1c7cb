#include "base/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/w32.h"

bool fxGetCurrentFolder(char* dst, size_t size) {
    DWORD n = GetCurrentDirectoryA((DWORD)size, dst);
    return n != 0 && n < size;
}

bool fxChangeFolder(const char* path) {
    return path != nullptr && SetCurrentDirectoryA(path) != 0;
}

bool fxGetSystemFontsFolder(char* dst, size_t size) {
    char fonts[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, fonts))) {
        return false;
    }
    size_t n = strlen(fonts);
    bool ends = n > 0 && (fonts[n - 1] == '\\' || fonts[n - 1] == '/');
    if (n + (ends ? 1 : 2) > size) {
        return false;
    }
    memcpy(dst, fonts, n);
    if (!ends) {
        dst[n++] = '\\';
    }
    dst[n] = 0;
    return true;
}

bool fxPathExists(const char* path) {
    return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool fxIsFolder(const char* path) {
    DWORD attr = path != nullptr ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int64_t fxGetFileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path == nullptr || !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return -1;
    }
    return ((int64_t)data.nFileSizeHigh << 32) | (int64_t)data.nFileSizeLow;
}

bool fxReplaceFile(const char* tmpPath, const char* path) {
    if (tmpPath == nullptr || path == nullptr) {
        errno = EINVAL;
        return false;
    }
    if (!MoveFileExA(tmpPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fxSetErrnoFromLastError();
        return false;
    }
    return true;
}

bool fxCreateTempFolder(const char* prefix, char* dst, size_t size) {
    char base[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof(base), base);
    if (n == 0 || n >= sizeof(base)) {
        return false;
    }
    if (base[n - 1] == '\\' || base[n - 1] == '/') {
        base[n - 1] = 0; // the result carries no ending separator
    }
    // Process id and clock give a likely-unique name; a taken one is retried.
    DWORD seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    for (int attempt = 0; attempt < 100; attempt++) {
        int len = snprintf(dst, size, "%s\\%s-%08lx", base, prefix != nullptr ? prefix : "vantrel",
                           (unsigned long)(seed + (DWORD)attempt * 7919u));
        if (len < 0 || (size_t)len >= size) {
            return false;
        }
        if (CreateDirectoryA(dst, nullptr)) {
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool fxRemoveFolder(const char* path) {
    return path != nullptr && RemoveDirectoryA(path) != 0;
}

char fxNativeSeparator() {
    return '\\';
}

// The shell's path functions write into MAX_PATH characters; dst may be smaller.
static bool localCopyOut(const char* out, char* dst, size_t size) {
    size_t n = strlen(out);
    if (n + 1 > size) {
        return false;
    }
    memcpy(dst, out, n + 1);
    return true;
}

bool fxPlatformCombinePaths(const char* folder, const char* file, char* dst, size_t size) {
    char out[MAX_PATH];
    return PathCombineA(out, folder, file) != nullptr && localCopyOut(out, dst, size);
}

bool fxPlatformRelativePath(const char* from, bool fromIsFile, const char* to, bool toIsFile, char* dst, size_t size) {
    char out[MAX_PATH];
    DWORD fromAttr = fromIsFile ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DIRECTORY;
    DWORD toAttr = toIsFile ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DIRECTORY;
    return PathRelativePathToA(out, from, fromAttr, to, toAttr) && localCopyOut(out, dst, size);
}
