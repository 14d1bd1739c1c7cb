#ifndef FX_BASE_PATHS_H
#define FX_BASE_PATHS_H

#include <cstddef>
#include <cstdint>

// Path types of fxSetTypePath / fxGetTypePath.
enum {
    FXPATH_START = 1, // the start (data) folder
    FXPATH_SYSFONTS = 2,
};

#define FX_MAX_PATH 260

void fxInitPaths();
void fxSetTypePath(int type, const char* path);
const char* fxGetTypePath(int type);
bool fxSetActPath(const char* path);
bool fxSetPath(int type);
bool fxSetSubPath(int type, const char* sub);
const char* fxGetActPath();

// The results below live in one shared buffer until the next call; not thread-safe.
const char* fxCombinePaths(const char* folder, const char* file);
const char* fxBuildRelativePath(const char* from, bool fromIsFile, const char* to, bool toIsFile);
const char* fxGetFilename(const char* path);
const char* fxChangeExt(const char* path, const char* ext);
const char* fxAppenfFname(const char* path, const char* suffix);

// The platform part: the only calls into the operating system. Buffers get a terminated text;
// false when the call fails or the text does not fit size.
bool fxGetCurrentFolder(char* dst, size_t size);
bool fxChangeFolder(const char* path);
// The system's font folder with its ending separator.
bool fxGetSystemFontsFolder(char* dst, size_t size);
bool fxPathExists(const char* path);
bool fxIsFolder(const char* path);
// Size in bytes of a regular file, or -1.
int64_t fxGetFileSize(const char* path);
// Moves the finished file tmpPath over path, replacing what path held (where the platform's
// rename does not replace, the old file is removed first). False, errno set, when it cannot.
bool fxReplaceFile(const char* tmpPath, const char* path);
// Makes a new, empty folder of a unique name starting with prefix in the system's temporary
// folder, and writes its path (no ending separator) to dst.
bool fxCreateTempFolder(const char* prefix, char* dst, size_t size);
// Removes an empty folder.
bool fxRemoveFolder(const char* path);
// The separator a path gets when its own text does not say which.
char fxNativeSeparator();
// The platform's path combiner: folder and file joined, "." and ".." resolved.
bool fxPlatformCombinePaths(const char* folder, const char* file, char* dst, size_t size);
// The platform's relative path from from (a file, or a folder ending in a separator) to to.
bool fxPlatformRelativePath(const char* from, bool fromIsFile, const char* to, bool toIsFile, char* dst, size_t size);

#endif
