#include "base/paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Linux has no path combiner of its own: these are the platform's combiner and relative-path
// maker, written out. Both separators count, as everywhere in the unit.

// Room for a path made absolute (PATH_MAX).
static const int localLongPath = 4096;

static bool localIsSep(char c) {
    return c == '/' || c == '\\';
}

static void localRemovePathEnding(char* text) {
    size_t len = strlen(text);
    if (len > 0 && localIsSep(text[len - 1])) {
        text[len - 1] = 0;
    }
}

char fxNativeSeparator() {
    return '/';
}


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

// Appends the segments of text to out (which holds "/" for an absolute path, or nothing, then
// segments each followed by "/"), resolving "." and "..". out has room for everything appended.
static void localAppendSegments(char* out, size_t* len, size_t rootLen, const char* text) {
    const char* p = text;
    while (*p != 0) {
        while (localIsSep(*p)) {
            p++;
        }
        const char* start = p;
        while (*p != 0 && !localIsSep(*p)) {
            p++;
        }
        size_t segLen = (size_t)(p - start);
        if (segLen == 0 || (segLen == 1 && start[0] == '.')) {
            continue;
        }
        if (segLen == 2 && start[0] == '.' && start[1] == '.') {
            if (*len > rootLen) {
                // Find the start of the last kept segment.
                size_t last = *len - 1;
                while (last > rootLen && out[last - 1] != '/') {
                    last--;
                }
                bool lastIsUp = (*len - last == 3 && out[last] == '.' && out[last + 1] == '.');
                if (!lastIsUp) {
                    *len = last;
                    out[*len] = 0;
                    continue;
                }
            } else if (rootLen > 0) {
                // Nothing above the root.
                continue;
            }
        }
        memcpy(out + *len, start, segLen);
        *len += segLen;
        out[(*len)++] = '/';
        out[*len] = 0;
    }
}

// Joins folder and file with one separator and resolves dot segments textually. The result uses
// "/" throughout; it ends in "/" when the joined text did, and is "." when a relative path
// resolves to nothing. Returns false when it does not fit size.
static bool localResolve(const char* folder, const char* file, char* dst, size_t size) {
    size_t folderLen = strlen(folder);
    size_t fileLen = strlen(file);
    std::vector<char> out(folderLen + fileLen + 4);
    const char* first = folderLen > 0 ? folder : file;
    size_t len = 0;
    if (localIsSep(first[0])) {
        out[len++] = '/';
    }
    out[len] = 0;
    const size_t rootLen = len;
    localAppendSegments(out.data(), &len, rootLen, folder);
    localAppendSegments(out.data(), &len, rootLen, file);

    const char* tail = fileLen > 0 ? file : folder;
    size_t tailLen = strlen(tail);
    bool endsInSep = tailLen > 0 && localIsSep(tail[tailLen - 1]);
    if (len == 0) {
        out[len++] = '.';
        out[len] = 0;
    } else if (len > rootLen && !endsInSep) {
        localRemovePathEnding(out.data());
        len--;
    }
    if (len + 1 > size) {
        return false;
    }
    memcpy(dst, out.data(), len + 1);
    return true;
}

// Makes path absolute against cwd and resolves it; false when it is too long.
static bool localAbsolute(const char* cwd, const char* path, char* dst, size_t size) {
    if (localIsSep(path[0])) {
        return localResolve(path, "", dst, size);
    }
    return localResolve(cwd, path, dst, size);
}

// Splits a resolved absolute path into its components; returns their count.
static int localSplit(char* path, char** parts, int maxParts) {
    int n = 0;
    char* p = path;
    while (*p != 0) {
        while (*p == '/') {
            *p++ = 0;
        }
        if (*p == 0) {
            break;
        }
        if (n == maxParts) {
            return -1;
        }
        parts[n++] = p;
        while (*p != 0 && *p != '/') {
            p++;
        }
    }
    return n;
}

// Appends text at *len of dst; false when it does not fit size.
static bool localAppend(char* dst, size_t size, size_t* len, const char* text) {
    size_t n = strlen(text);
    if (*len + n + 1 > size) {
        return false;
    }
    memcpy(dst + *len, text, n + 1);
    *len += n;
    return true;
}

// The relative path from from (a file or a folder) to to; false when it cannot be made.
static bool localRelativePathTo(char* dst, size_t size, const char* from, bool fromIsFile, const char* to) {
    char cwd[localLongPath];
    if (!fxGetCurrentFolder(cwd, sizeof(cwd))) {
        return false;
    }
    char fromAbs[localLongPath];
    char toAbs[localLongPath];
    if (!localAbsolute(cwd, from, fromAbs, sizeof(fromAbs)) || !localAbsolute(cwd, to, toAbs, sizeof(toAbs))) {
        return false;
    }
    // A resolved path of localLongPath characters has fewer than localLongPath / 2 components.
    const int maxParts = localLongPath / 2;
    char* fromParts[maxParts];
    char* toParts[maxParts];
    int fromCount = localSplit(fromAbs, fromParts, maxParts);
    int toCount = localSplit(toAbs, toParts, maxParts);
    if (fromCount < 0 || toCount < 0) {
        return false;
    }
    if (fromIsFile && fromCount > 0) {
        fromCount--;
    }
    int common = 0;
    while (common < fromCount && common < toCount && strcmp(fromParts[common], toParts[common]) == 0) {
        common++;
    }

    size_t len = 0;
    dst[0] = 0;
    if (common == fromCount) {
        if (!localAppend(dst, size, &len, ".")) {
            return false;
        }
    } else {
        for (int i = common; i < fromCount; i++) {
            if ((i > common && !localAppend(dst, size, &len, "/")) || !localAppend(dst, size, &len, "..")) {
                return false;
            }
        }
    }
    for (int i = common; i < toCount; i++) {
        if (!localAppend(dst, size, &len, "/") || !localAppend(dst, size, &len, toParts[i])) {
            return false;
        }
    }
    return true;
}

bool fxPlatformCombinePaths(const char* folder, const char* file, char* dst, size_t size) {
    return localResolve(folder, file, dst, size);
}

bool fxPlatformRelativePath(const char* from, bool fromIsFile, const char* to, bool, char* dst, size_t size) {
    // The textual comparison treats a target file and folder alike.
    return localRelativePathTo(dst, size, from, fromIsFile, to);
}
