#include "base/paths.h"

#include "base/trace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

// Longest path text the unit stores or returns.
static const size_t localMaxLen = FX_MAX_PATH - 1;
// Room for a path made absolute, the longest any platform we build for resolves (Linux: PATH_MAX).
static const int localLongPath = 4096;
// Longest file-name piece (folder, name, extension) the splitter accepts.
static const size_t localMaxPiece = 256;

// 259 characters, one added separator, the terminator.
static char localStartPath[FX_MAX_PATH + 1];
static char localSysFontsPath[FX_MAX_PATH + 1];
static char localGetPath[FX_MAX_PATH + 1];
static char localTmpPath[FX_MAX_PATH + 1];

static bool localIsSep(char c) {
    return c == '/' || c == '\\';
}

// Appends a separator unless the text ends in one. A text written with backslashes only keeps
// backslashes; everything else gets the native "/". The buffer must have room for one more char.
static void localAddPathEnding(char* text, size_t size) {
    size_t len = strlen(text);
    if (len > 0 && localIsSep(text[len - 1])) {
        return;
    }
    if (len + 2 > size) {
        return;
    }
    char sep = '/';
    if (strchr(text, '\\') != nullptr && strchr(text, '/') == nullptr) {
        sep = '\\';
    }
    text[len] = sep;
    text[len + 1] = 0;
}

static void localRemovePathEnding(char* text) {
    size_t len = strlen(text);
    if (len > 0 && localIsSep(text[len - 1])) {
        text[len - 1] = 0;
    }
}

static void localRemovePathLeading(char* text) {
    if (localIsSep(text[0])) {
        memmove(text, text + 1, strlen(text));
    }
}

// Copies at most 259 characters of src and gives the result a path ending.
static void localStoreFolder(char* dst, const char* src) {
    if (src == nullptr) {
        src = "";
    }
    size_t len = strnlen(src, localMaxLen);
    memcpy(dst, src, len);
    dst[len] = 0;
    localAddPathEnding(dst, FX_MAX_PATH + 1);
}

void fxInitPaths() {
    char cwd[FX_MAX_PATH];
    if (!fxGetCurrentFolder(cwd, sizeof(cwd))) {
        err("fxInitPaths: no current folder (errno %d)\n", errno);
        cwd[0] = 0;
    }
    localStoreFolder(localStartPath, cwd);

    char fonts[FX_MAX_PATH];
    if (!fxGetSystemFontsFolder(fonts, sizeof(fonts))) {
        fonts[0] = 0;
    }
    localStoreFolder(localSysFontsPath, fonts);
}

void fxSetTypePath(int type, const char* path) {
    if (type == FXPATH_START) {
        localStoreFolder(localStartPath, path);
    } else if (type == FXPATH_SYSFONTS) {
        localStoreFolder(localSysFontsPath, path);
    }
}

const char* fxGetTypePath(int type) {
    if (type == FXPATH_START) {
        return localStartPath;
    }
    if (type == FXPATH_SYSFONTS) {
        return localSysFontsPath;
    }
    return nullptr;
}

bool fxSetActPath(const char* path) {
    if (path == nullptr) {
        err("fxSetActPath: no folder given\n");
        return false;
    }
    if (!fxChangeFolder(path)) {
        err("fxSetActPath: cannot change to \"%s\" (errno %d)\n", path, errno);
        return false;
    }
    return true;
}

bool fxSetPath(int type) {
    return fxSetActPath(fxGetTypePath(type));
}

bool fxSetSubPath(int type, const char* sub) {
    const char* path = fxCombinePaths(fxGetTypePath(type), sub);
    if (path == nullptr) {
        return false;
    }
    return fxSetActPath(path);
}

const char* fxGetActPath() {
    char cwd[FX_MAX_PATH];
    if (!fxGetCurrentFolder(cwd, sizeof(cwd))) {
        err("fxGetActPath: no current folder (errno %d)\n", errno);
        localGetPath[0] = 0;
        return localGetPath;
    }
    localStoreFolder(localGetPath, cwd);
    return localGetPath;
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

const char* fxCombinePaths(const char* folder, const char* file) {
    if (folder == nullptr) {
        folder = "";
    }
    if (file == nullptr) {
        file = "";
    }
    // A file starting with a separator still lands inside the folder.
    if (localIsSep(file[0])) {
        file++;
    }
    if (!localResolve(folder, file, localTmpPath, localMaxLen + 1)) {
        err("fxCombinePaths: \"%s\" and \"%s\" make a path too long\n", folder, file);
        return nullptr;
    }
    return localTmpPath;
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

const char* fxBuildRelativePath(const char* from, bool fromIsFile, const char* to, bool toIsFile) {
    (void)toIsFile; // the textual comparison treats both kinds alike
    if (from == nullptr || to == nullptr) {
        return to;
    }
    char fromCopy[FX_MAX_PATH + 1];
    if (strnlen(from, localMaxLen + 1) > localMaxLen) {
        return to;
    }
    strcpy(fromCopy, from);
    if (!fromIsFile) {
        localAddPathEnding(fromCopy, sizeof(fromCopy));
    }
    // Built aside: to may itself live in localTmpPath and is returned on failure.
    char result[FX_MAX_PATH];
    if (!localRelativePathTo(result, sizeof(result), fromCopy, fromIsFile, to)) {
        return to;
    }
    localRemovePathLeading(result);
    strcpy(localTmpPath, result);
    return localTmpPath;
}

const char* fxGetFilename(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    const char* name = path;
    for (const char* p = path; *p != 0; p++) {
        if (localIsSep(*p)) {
            name = p + 1;
        }
    }
    return name;
}

// A path split into folder (with its ending separator), name and extension (with its dot).
struct tagFXPathParts {
    char folder[localMaxPiece];
    char name[localMaxPiece];
    char ext[localMaxPiece];
};

static bool localCopyPiece(char* dst, const char* src, size_t len) {
    if (len >= localMaxPiece) {
        return false;
    }
    memcpy(dst, src, len);
    dst[len] = 0;
    return true;
}

static bool localSplitPath(const char* path, tagFXPathParts* parts) {
    const char* name = fxGetFilename(path);
    const char* dot = strrchr(name, '.');
    const char* end = name + strlen(name);
    if (dot == nullptr) {
        dot = end;
    }
    return localCopyPiece(parts->folder, path, (size_t)(name - path)) &&
           localCopyPiece(parts->name, name, (size_t)(dot - name)) &&
           localCopyPiece(parts->ext, dot, (size_t)(end - dot));
}

// folder + name + suffix + ext into localTmpPath; false when it does not fit.
static bool localMakePath(const tagFXPathParts* parts, const char* suffix, const char* ext) {
    const char* pieces[4] = {parts->folder, parts->name, suffix, ext};
    size_t len = 0;
    for (int i = 0; i < 4; i++) {
        size_t n = strlen(pieces[i]);
        if (len + n > localMaxLen) {
            return false;
        }
        memcpy(localTmpPath + len, pieces[i], n);
        len += n;
    }
    localTmpPath[len] = 0;
    return true;
}

const char* fxChangeExt(const char* path, const char* ext) {
    if (path == nullptr) {
        return nullptr;
    }
    if (ext == nullptr) {
        ext = "";
    }
    tagFXPathParts parts;
    char newExt[localMaxPiece + 1];
    if (!localSplitPath(path, &parts) || strnlen(ext, localMaxPiece) >= localMaxPiece - 1) {
        err("fxChangeExt: \"%s\" does not fit\n", path);
        return nullptr;
    }
    newExt[0] = 0;
    if (ext[0] != 0 && ext[0] != '.') {
        strcpy(newExt, ".");
    }
    strcat(newExt, ext);
    if (!localMakePath(&parts, "", newExt)) {
        err("fxChangeExt: \"%s\" with \"%s\" makes a path too long\n", path, ext);
        return nullptr;
    }
    return localTmpPath;
}

const char* fxAppenfFname(const char* path, const char* suffix) {
    if (path == nullptr) {
        return nullptr;
    }
    if (suffix == nullptr) {
        suffix = "";
    }
    tagFXPathParts parts;
    if (!localSplitPath(path, &parts) || strnlen(suffix, localMaxPiece) >= localMaxPiece) {
        err("fxAppenfFname: \"%s\" does not fit\n", path);
        return nullptr;
    }
    if (!localMakePath(&parts, suffix, parts.ext)) {
        err("fxAppenfFname: \"%s\" with \"%s\" makes a path too long\n", path, suffix);
        return nullptr;
    }
    return localTmpPath;
}
