#ifndef FX_BASE_PATHS_H
#define FX_BASE_PATHS_H

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
bool fxPathExists(const char* path);
// Moves the finished file tmpPath over path, replacing what path held (where the platform's
// rename does not replace, the old file is removed first). False, errno set, when it cannot.
bool fxReplaceFile(const char* tmpPath, const char* path);
const char* fxChangeExt(const char* path, const char* ext);
const char* fxAppenfFname(const char* path, const char* suffix);

#endif
