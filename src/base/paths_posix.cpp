#include "base/paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool fxGetCurrentFolder(char* dst, size_t size) {
    return getcwd(dst, size) != nullptr;
}

bool fxChangeFolder(const char* path) {
    return chdir(path) == 0;
}

bool fxGetSystemFontsFolder(char* dst, size_t size) {
    static const char fonts[] = "/usr/share/fonts/";
    if (!fxIsFolder(fonts) || size < sizeof(fonts)) {
        return false;
    }
    memcpy(dst, fonts, sizeof(fonts));
    return true;
}

bool fxPathExists(const char* path) {
    if (path == nullptr) {
        return false;
    }
    struct stat st;
    return stat(path, &st) == 0;
}

bool fxIsFolder(const char* path) {
    struct stat st;
    return path != nullptr && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t fxGetFileSize(const char* path) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    return (int64_t)st.st_size;
}

bool fxReplaceFile(const char* tmpPath, const char* path) {
    return tmpPath != nullptr && path != nullptr && rename(tmpPath, path) == 0;
}

bool fxCreateTempFolder(const char* prefix, char* dst, size_t size) {
    const char* base = getenv("TMPDIR");
    if (base == nullptr || base[0] == 0) {
        base = "/tmp";
    }
    int n = snprintf(dst, size, "%s/%s-XXXXXX", base, prefix != nullptr ? prefix : "vantrel");
    if (n < 0 || (size_t)n >= size) {
        return false;
    }
    return mkdtemp(dst) != nullptr;
}

bool fxRemoveFolder(const char* path) {
    return path != nullptr && rmdir(path) == 0;
}
