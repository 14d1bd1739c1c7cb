#include "base/paths.h"

#include "base/trace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

// Longest path text the unit stores or returns.
static const size_t localMaxLen = FX_MAX_PATH - 1;
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

// Appends a separator unless the text ends in one. A text written with one kind of separator
// keeps it; everything else gets the platform's own. The buffer must have room for one more char.
static void localAddPathEnding(char* text, size_t size) {
    size_t len = strlen(text);
    if (len > 0 && localIsSep(text[len - 1])) {
        return;
    }
    if (len + 2 > size) {
        return;
    }
    bool back = strchr(text, '\\') != nullptr;
    bool forward = strchr(text, '/') != nullptr;
    char sep = back != forward ? (back ? '\\' : '/') : fxNativeSeparator();
    text[len] = sep;
    text[len + 1] = 0;
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
    if (!fxPlatformCombinePaths(folder, file, localTmpPath, localMaxLen + 1)) {
        err("fxCombinePaths: \"%s\" and \"%s\" make a path too long\n", folder, file);
        return nullptr;
    }
    return localTmpPath;
}

const char* fxBuildRelativePath(const char* from, bool fromIsFile, const char* to, bool toIsFile) {
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
    if (!fxPlatformRelativePath(fromCopy, fromIsFile, to, toIsFile, result, sizeof(result))) {
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
