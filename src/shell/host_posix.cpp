#include "shell/host.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/other.h"
#include "shell/scene.h"

static std::string localXdgFolder(const char* variable, const char* fallback) {
    const char* v = getenv(variable);
    if (v != nullptr && v[0] == '/') {
        return v;
    }
    const char* home = getenv("HOME");
    return std::string(home != nullptr ? home : "") + fallback;
}

void fxHostHoldFreedMemory(bool hold) {
    static bool held = false;
    if (hold == held) {
        return;
    }
    held = hold;
    // Blocks of a decoded picture are megabytes: by default each comes from a fresh mapping and
    // every page of it faults on first touch, one 4 KB page at a time, which on a virtual machine
    // was most of the start-up. So the heap grows once, by enough for the whole scene and the
    // driver's copies of its textures, and asks for large pages; freed blocks stay in it.
    const size_t reserve = 256 * 1024 * 1024;
    if (hold) {
        // One arena for every thread: the render thread's first frame uploads from the same heap.
        // The limit holds for the rest of the process; no thread allocates per frame.
        mallopt(M_ARENA_MAX, 1);
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
        mallopt(M_TOP_PAD, (int)reserve);
        char* before = (char*)sbrk(0);
        void* volatile grow = malloc(1024 * 1024); // volatile: the pair must not be optimised away
        free(grow);
        char* after = (char*)sbrk(0);
        if (before != (char*)-1 && after > before) {
            fxAdviseLargePages(before, (size_t)(after - before));
        }
    } else {
        mallopt(M_TOP_PAD, 128 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        malloc_trim(0);
    }
}

std::string fxHostSettingsFile() {
    return localXdgFolder("XDG_CONFIG_HOME", "/.config") + "/" + fxSettingsRelativePath(scrRegName);
}

std::string fxHostProgramFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) {
        return std::string();
    }
    buf[n] = '\0';
    std::string path = buf;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

bool fxHostFileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string fxHostAbsolutePath(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        return path;
    }
    return buf;
}

bool fxHostFolderExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fxHostFolderWritable(const std::string& folder) {
    // Tried for real: permission bits say nothing to root, nor about read-only mounts.
    std::string log = folder + "/" + logsFile;
    bool existed = access(log.c_str(), F_OK) == 0;
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        return false;
    }
    close(fd);
    if (!existed) {
        unlink(log.c_str());
    }
    return true;
}

std::string fxHostStateFolder() {
    std::string folder = localXdgFolder("XDG_STATE_HOME", "/.local/state") + "/vantrel";
    // Each missing level in turn, like mkdir -p.
    for (size_t at = 1; at <= folder.size(); at++) {
        if (at == folder.size() || folder[at] == '/') {
            std::string part = folder.substr(0, at);
            if (!fxHostFolderExists(part) && mkdir(part.c_str(), 0700) != 0) {
                return std::string();
            }
        }
    }
    return folder;
}

static std::atomic<bool> localStop(false);

static void localOnSignal(int) {
    localStop = true;
}

void fxHostCatchStopSignals() {
    struct sigaction sa = {};
    sa.sa_handler = localOnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool fxHostStopRequested() {
    return localStop;
}
