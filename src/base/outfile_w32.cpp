#include "base/outfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <vector>

#include <windows.h>

#include "base/paths.h"
#include "base/w32.h"

// ---------------------------------------------------------------------------------------------
// File identity and folders

int fxGetFileKind(const char* path) {
    DWORD attr = path != nullptr ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attr == INVALID_FILE_ATTRIBUTES) {
        return FXFILE_NONE;
    }
    if ((attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return FXFILE_FOLDER;
    }
    return (attr & FILE_ATTRIBUTE_DEVICE) != 0 ? FXFILE_OTHER : FXFILE_REGULAR;
}

// Opens path for its attributes only; folders need the backup flag to be opened at all.
static HANDLE localOpenForInfo(const char* path) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fxSetErrnoFromLastError();
    }
    return h;
}

static bool localFileInfo(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = path != nullptr ? localOpenForInfo(path) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = GetFileInformationByHandle(h, info) != 0;
    if (!ok) {
        fxSetErrnoFromLastError();
    }
    CloseHandle(h);
    return ok;
}

bool fxGetFileId(const char* path, tagFXFileId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!localFileInfo(path, &info)) {
        return false;
    }
    id->device = (uint64_t)info.dwVolumeSerialNumber;
    id->inode = ((uint64_t)info.nFileIndexHigh << 32) | (uint64_t)info.nFileIndexLow;
    return true;
}

bool fxSameFileId(const tagFXFileId& a, const tagFXFileId& b) {
    return a.device == b.device && a.inode == b.inode;
}

bool fxGetRealPath(const char* path, std::string* real) {
    HANDLE h = path != nullptr ? localOpenForInfo(path) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetFinalPathNameByHandleA(h, buf.data(), (DWORD)buf.size(), FILE_NAME_NORMALIZED);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFinalPathNameByHandleA(h, buf.data(), (DWORD)buf.size(), FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= buf.size()) {
        fxSetErrnoFromLastError();
        CloseHandle(h);
        return false;
    }
    CloseHandle(h);
    std::string p(buf.data(), n);
    // The long-path prefix is not something the rest of the program can combine or show.
    if (p.compare(0, 8, "\\\\?\\UNC\\") == 0) {
        p = "\\" + p.substr(7);
    } else if (p.compare(0, 4, "\\\\?\\") == 0) {
        p = p.substr(4);
    }
    *real = p;
    return true;
}

bool fxGetCurrentFolder(std::string* folder) {
    char buf[FX_MAX_PATH * 4];
    if (!fxGetCurrentFolder(buf, sizeof(buf))) {
        fxSetErrnoFromLastError();
        return false;
    }
    *folder = buf;
    return true;
}

bool fxSetCurrentFolder(const char* folder) {
    return folder != nullptr && fxChangeFolder(folder);
}

bool fxMakeTempFolder(const char* prefix, std::string* folder) {
    char made[FX_MAX_PATH * 4];
    if (!fxCreateTempFolder(prefix, made, sizeof(made))) {
        fxSetErrnoFromLastError();
        return false;
    }
    if (!fxGetRealPath(made, folder)) {
        int saved = errno;
        RemoveDirectoryA(made);
        errno = saved;
        return false;
    }
    return true;
}

bool fxIsTerminal(FILE* stream) {
    return stream != nullptr && _isatty(_fileno(stream)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Clean-up when the console ends the process (Ctrl+C, Ctrl+Break, closing the window)

#define CLEANUP_SLOTS 64
#define CLEANUP_PATH 1024

// The console handler runs on a thread of its own: the lock keeps it from a half-written slot,
// and fxHoldCleanupSignals holds it off by taking the same lock.
static SRWLOCK cleanupLock = SRWLOCK_INIT;
static char cleanupPaths[CLEANUP_SLOTS][CLEANUP_PATH];
static int cleanupUsed[CLEANUP_SLOTS]; // 0 free, 1 file, 2 folder
static LONG cleanupInstalled = 0;
static bool cleanupHeld = false;

static BOOL WINAPI localCleanupHandler(DWORD) {
    AcquireSRWLockExclusive(&cleanupLock);
    for (int pass = 1; pass <= 2; pass++) {
        for (int i = CLEANUP_SLOTS - 1; i >= 0; i--) {
            if (cleanupUsed[i] == pass) {
                if (pass == 1) {
                    DeleteFileA(cleanupPaths[i]);
                } else {
                    RemoveDirectoryA(cleanupPaths[i]);
                }
                cleanupUsed[i] = 0;
            }
        }
    }
    ReleaseSRWLockExclusive(&cleanupLock);
    return FALSE; // the default handler then ends the process
}

static void localLockSlots() {
    if (!cleanupHeld) {
        AcquireSRWLockExclusive(&cleanupLock);
    }
}

static void localUnlockSlots() {
    if (!cleanupHeld) {
        ReleaseSRWLockExclusive(&cleanupLock);
    }
}

bool fxAddCleanupPath(const char* path, bool folder) {
    if (path == nullptr || strlen(path) >= CLEANUP_PATH) {
        return false;
    }
    bool added = false;
    localLockSlots();
    for (int i = 0; i < CLEANUP_SLOTS && !added; i++) {
        if (cleanupUsed[i] == 0) {
            memcpy(cleanupPaths[i], path, strlen(path) + 1);
            cleanupUsed[i] = folder ? 2 : 1;
            added = true;
        }
    }
    localUnlockSlots();
    return added;
}

void fxRemoveCleanupPath(const char* path) {
    localLockSlots();
    for (int i = 0; path != nullptr && i < CLEANUP_SLOTS; i++) {
        if (cleanupUsed[i] != 0 && strcmp(cleanupPaths[i], path) == 0) {
            cleanupUsed[i] = 0;
        }
    }
    localUnlockSlots();
}

void fxHoldCleanupSignals(bool hold) {
    if (hold && !cleanupHeld) {
        AcquireSRWLockExclusive(&cleanupLock);
        cleanupHeld = true;
    } else if (!hold && cleanupHeld) {
        cleanupHeld = false;
        ReleaseSRWLockExclusive(&cleanupLock);
    }
}

void fxInstallCleanupHandlers() {
    if (InterlockedExchange(&cleanupInstalled, 1) == 0) {
        SetConsoleCtrlHandler(localCleanupHandler, TRUE);
    }
}

// ---------------------------------------------------------------------------------------------
// FXOutFile

FXOutFile::FXOutFile() : toStdout(false), writeThrough(false), existed(false), mode(-1), owner(-1), group(-1) {}

FXOutFile::~FXOutFile() {
    Discard();
}

void FXOutFile::Discard() {
    if (!tmpPath.empty()) {
        DeleteFileA(tmpPath.c_str());
        fxRemoveCleanupPath(tmpPath.c_str());
        tmpPath.clear();
    }
}

// Device names ("CON", "NUL", "COM1") name no file in any folder and are written through.
static bool localIsDevice(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DEVICE) != 0;
}

bool FXOutFile::Create(const char* outPath) {
    Discard();
    path = outPath != nullptr ? outPath : "";
    toStdout = path == "-";
    writeThrough = toStdout;
    existed = false;
    mode = owner = group = -1;
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::string tmpFolder;
    if (!toStdout) {
        int kind = fxGetFileKind(path.c_str());
        if (kind == FXFILE_FOLDER) {
            errno = EISDIR;
            return false;
        }
        BY_HANDLE_FILE_INFORMATION info;
        if (kind != FXFILE_NONE && localIsDevice(path)) {
            existed = true;
            writeThrough = true;
            target = path;
        } else if (kind != FXFILE_NONE && localFileInfo(path.c_str(), &info)) {
            existed = true;
            writeThrough = info.nNumberOfLinks > 1;
            if (!fxGetRealPath(path.c_str(), &target)) {
                return false;
            }
        } else if (kind != FXFILE_NONE) {
            return false;
        } else {
            std::string folder;
            if (!fxGetRealPath(fxFolderOfPath(path).c_str(), &folder)) {
                return false;
            }
            if (fxGetFileKind(folder.c_str()) != FXFILE_FOLDER) {
                errno = ENOTDIR;
                return false;
            }
            bool ends = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
            target = folder + (ends ? "" : "\\") + fxLeafOfPath(path);
        }
        if (!writeThrough) {
            tmpFolder = fxFolderOfPath(target);
        }
    }
    if (tmpFolder.empty()) {
        char temp[MAX_PATH + 1];
        DWORD n = GetTempPathA(sizeof(temp), temp);
        if (n == 0 || n >= sizeof(temp)) {
            fxSetErrnoFromLastError();
            return false;
        }
        tmpFolder = temp;
    }
    char made[MAX_PATH + 1];
    fxHoldCleanupSignals(true);
    // Makes the file as well as the name, so no other writer can take it.
    bool ok = GetTempFileNameA(tmpFolder.c_str(), "fxt", 0, made) != 0;
    int saved = ok ? 0 : (fxSetErrnoFromLastError(), errno);
    if (ok) {
        tmpPath = made;
        fxAddCleanupPath(made, false);
    }
    fxHoldCleanupSignals(false);
    errno = saved;
    return ok;
}

// Copies the whole of file src to stream out.
static bool localCopyTo(const char* src, FILE* out) {
    FILE* in = fopen(src, "rb");
    if (in == nullptr) {
        return false;
    }
    std::vector<char> buf(1 << 16);
    bool ok = true;
    size_t n;
    while (ok && (n = fread(buf.data(), 1, buf.size(), in)) > 0) {
        ok = fwrite(buf.data(), 1, n, out) == n;
    }
    ok = ok && !ferror(in) && fflush(out) == 0;
    int saved = errno;
    fclose(in);
    errno = saved;
    return ok;
}

bool FXOutFile::Commit() {
    if (tmpPath.empty()) {
        errno = EBADF;
        return false;
    }
    bool ok;
    if (writeThrough) {
        FILE* out = stdout;
        if (toStdout) {
            _setmode(_fileno(stdout), _O_BINARY);
        } else {
            out = fopen(target.c_str(), "wb");
        }
        ok = out != nullptr && localCopyTo(tmpPath.c_str(), out);
        int saved = errno;
        if (out != nullptr && out != stdout) {
            ok = fclose(out) == 0 && ok;
        }
        errno = saved;
    } else {
        ok = fxReplaceFile(tmpPath.c_str(), target.c_str());
        if (ok) {
            fxRemoveCleanupPath(tmpPath.c_str());
            tmpPath.clear();
            return true;
        }
    }
    int saved = errno;
    Discard();
    errno = saved;
    return ok;
}
