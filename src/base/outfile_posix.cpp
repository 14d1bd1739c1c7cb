#include "base/outfile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// File identity and folders

int fxGetFileKind(const char* path) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) {
        return FXFILE_NONE;
    }
    if (S_ISREG(st.st_mode)) {
        return FXFILE_REGULAR;
    }
    return S_ISDIR(st.st_mode) ? FXFILE_FOLDER : FXFILE_OTHER;
}

bool fxGetFileId(const char* path, tagFXFileId* id) {
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0) {
        return false;
    }
    id->device = (uint64_t)st.st_dev;
    id->inode = (uint64_t)st.st_ino;
    return true;
}

bool fxSameFileId(const tagFXFileId& a, const tagFXFileId& b) {
    return a.device == b.device && a.inode == b.inode;
}

bool fxGetRealPath(const char* path, std::string* real) {
    char* resolved = path != nullptr ? realpath(path, nullptr) : nullptr;
    if (resolved == nullptr) {
        return false;
    }
    *real = resolved;
    free(resolved);
    return true;
}

bool fxGetCurrentFolder(std::string* folder) {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return false;
    }
    *folder = cwd;
    free(cwd);
    return true;
}

bool fxSetCurrentFolder(const char* folder) {
    return folder != nullptr && chdir(folder) == 0;
}

static std::string localTempRoot() {
    const char* base = getenv("TMPDIR");
    return base != nullptr && *base != 0 ? base : "/tmp";
}

bool fxMakeTempFolder(const char* prefix, std::string* folder) {
    std::string pattern = localTempRoot() + "/" + prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (mkdtemp(buf.data()) == nullptr) {
        return false;
    }
    if (!fxGetRealPath(buf.data(), folder)) {
        int saved = errno;
        rmdir(buf.data());
        errno = saved;
        return false;
    }
    return true;
}

bool fxIsTerminal(FILE* stream) {
    return stream != nullptr && isatty(fileno(stream)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Clean-up on terminating signals

#define CLEANUP_SLOTS 64
#define CLEANUP_PATH 1024

// Written by the main thread only; the handler reads a slot only once its flag says it is whole.
static char cleanupPaths[CLEANUP_SLOTS][CLEANUP_PATH];
static volatile sig_atomic_t cleanupUsed[CLEANUP_SLOTS]; // 0 free, 1 file, 2 folder
static volatile sig_atomic_t cleanupInstalled = 0;

static void localCleanupHandler(int sig) {
    for (int pass = 1; pass <= 2; pass++) {
        for (int i = CLEANUP_SLOTS - 1; i >= 0; i--) {
            if (cleanupUsed[i] == pass) {
                if (pass == 1) {
                    unlink(cleanupPaths[i]);
                } else {
                    rmdir(cleanupPaths[i]);
                }
            }
        }
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

bool fxAddCleanupPath(const char* path, bool folder) {
    if (path == nullptr || strlen(path) >= CLEANUP_PATH) {
        return false;
    }
    for (int i = 0; i < CLEANUP_SLOTS; i++) {
        if (cleanupUsed[i] == 0) {
            memcpy(cleanupPaths[i], path, strlen(path) + 1);
            cleanupUsed[i] = folder ? 2 : 1;
            return true;
        }
    }
    return false;
}

void fxRemoveCleanupPath(const char* path) {
    for (int i = 0; path != nullptr && i < CLEANUP_SLOTS; i++) {
        if (cleanupUsed[i] != 0 && strcmp(cleanupPaths[i], path) == 0) {
            cleanupUsed[i] = 0;
        }
    }
}

static void localSignalSet(sigset_t* set) {
    sigemptyset(set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(set, sig);
    }
}

void fxHoldCleanupSignals(bool hold) {
    sigset_t set;
    localSignalSet(&set);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void fxInstallCleanupHandlers() {
    if (cleanupInstalled) {
        return;
    }
    cleanupInstalled = 1;
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = localCleanupHandler;
    localSignalSet(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction old;
        // A signal ignored by whoever started us stays ignored (nohup, background jobs).
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            sigaction(sig, &sa, nullptr);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// FXOutFile

// The file a link chain ends at, even when that file does not exist yet.
static bool localFollowLinks(const std::string& path, std::string* target) {
    std::string p = path;
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = p;
            return true;
        }
        std::vector<char> buf((size_t)PATH_MAX + 1);
        ssize_t n = readlink(p.c_str(), buf.data(), PATH_MAX);
        if (n < 0) {
            return false;
        }
        std::string next(buf.data(), (size_t)n);
        p = next[0] == '/' ? next : fxFolderOfPath(p) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

// Makes an empty file of a unique name; errno set when it cannot.
static bool localMakeTemp(const std::string& pattern, std::string* made) {
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    int fd = mkstemp(buf.data());
    if (fd < 0) {
        return false;
    }
    close(fd);
    *made = buf.data();
    return true;
}

FXOutFile::FXOutFile() : toStdout(false), writeThrough(false), existed(false), mode(-1), owner(-1), group(-1) {}

FXOutFile::~FXOutFile() {
    Discard();
}

void FXOutFile::Discard() {
    if (!tmpPath.empty()) {
        unlink(tmpPath.c_str());
        fxRemoveCleanupPath(tmpPath.c_str());
        tmpPath.clear();
    }
}

bool FXOutFile::Create(const char* outPath) {
    Discard();
    path = outPath != nullptr ? outPath : "";
    // Reopening /dev/stdout would start a redirected file over at its beginning; the open
    // descriptor keeps its place.
    toStdout = path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
    writeThrough = toStdout;
    existed = false;
    mode = owner = group = -1;
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::string tmpFolder;
    if (!toStdout) {
        std::string cwd;
        const bool inSystem = path.compare(0, 5, "/dev/") == 0 || path.compare(0, 6, "/proc/") == 0;
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                errno = EISDIR;
                return false;
            }
            existed = true;
            // Devices, pipes and anything in the system's own folders (/dev/stdout, whose links
            // end in no real path) are written through, never replaced.
            writeThrough = inSystem || !S_ISREG(st.st_mode) || st.st_nlink > 1;
            mode = (int)(st.st_mode & 07777);
            owner = (int)st.st_uid;
            group = (int)st.st_gid;
            if (writeThrough) {
                target = path;
            } else if (!fxGetRealPath(path.c_str(), &target)) {
                return false;
            }
        } else if (errno != ENOENT || !localFollowLinks(path, &target)) {
            return false;
        } else {
            // A new file: its folder's real path, so two spellings of one name compare equal.
            std::string folder;
            if (!fxGetRealPath(fxFolderOfPath(target).c_str(), &folder)) {
                return false;
            }
            target = (folder == "/" ? "" : folder) + "/" + fxLeafOfPath(target);
        }
        // Absolute, so the caller may change folders before Commit.
        if (target[0] != '/' && fxGetCurrentFolder(&cwd)) {
            target = cwd + "/" + target;
        }
        if (!writeThrough) {
            std::string folder = fxFolderOfPath(target);
            if (stat(folder.c_str(), &st) != 0) {
                return false;
            }
            if (!S_ISDIR(st.st_mode)) {
                errno = ENOTDIR;
                return false;
            }
            tmpFolder = folder;
        } else if (access(target.c_str(), W_OK) != 0) {
            return false;
        }
    }
    if (tmpFolder.empty()) {
        tmpFolder = localTempRoot();
    }
    std::string leaf = toStdout ? std::string("stdout") : fxLeafOfPath(target);
    fxHoldCleanupSignals(true);
    bool made = localMakeTemp(tmpFolder + "/." + leaf + ".fxtmp-XXXXXX", &tmpPath);
    if (made) {
        fxAddCleanupPath(tmpPath.c_str(), false);
    } else {
        tmpPath.clear();
    }
    int saved = errno;
    fxHoldCleanupSignals(false);
    errno = saved;
    return made;
}

// Copies the whole of file src to the open descriptor out.
static bool localCopyTo(const char* src, int out) {
    int in = open(src, O_RDONLY);
    if (in < 0) {
        return false;
    }
    std::vector<char> buf(1 << 16);
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = write(out, buf.data() + done, (size_t)(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) {
            break;
        }
    }
    int saved = errno;
    close(in);
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
        int out = 1;
        if (!toStdout) {
            struct stat st;
            bool regular = stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            out = open(target.c_str(), O_WRONLY | (regular ? O_TRUNC : 0));
        }
        ok = out >= 0 && localCopyTo(tmpPath.c_str(), out);
        int saved = errno;
        if (out > 1) {
            ok = close(out) == 0 && ok;
        }
        errno = saved;
    } else {
        int newMode = mode;
        if (newMode < 0) {
            mode_t mask = umask(0);
            umask(mask);
            newMode = (int)(0666 & ~mask);
        }
        ok = chmod(tmpPath.c_str(), (mode_t)newMode) == 0;
        if (ok && owner >= 0) {
            // Only root may give a file away; anyone else keeps their own, as a rewrite would.
            if (chown(tmpPath.c_str(), (uid_t)owner, (gid_t)group) != 0) {
                // not an error: the file stays the writer's
            }
        }
        ok = ok && rename(tmpPath.c_str(), target.c_str()) == 0;
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
