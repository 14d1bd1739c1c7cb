#include "base/other.h"

#include <dlfcn.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>

uint32_t fxGetTimeMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Milliseconds since boot, wrapping at 2^32 like the original clock.
    uint64_t ms = (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
    return (uint32_t)ms;
}

double fxGetTime() {
    return fxGetTimeMs() / 1000.0;
}

void fxSleep(double seconds) {
    if (seconds == 0.0) {
        sched_yield();
        return;
    }
    long ms = (long)(seconds * 1000.0 + 0.5);
    if (ms <= 0) {
        sched_yield();
        return;
    }
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
        // interrupted by a signal: sleep the rest
    }
}

void fxSetAppPriority(int priority) {
    int nice = 0;
    if (priority > 0) {
        nice = -20; // refused without privileges; best effort
    } else if (priority < 0) {
        nice = 5;
    }
    setpriority(PRIO_PROCESS, 0, nice);
}

void* fxLoadLibrary(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* fxGetProcAddress(void* library, const char* symbol) {
    if (library == nullptr || symbol == nullptr) {
        return nullptr;
    }
    return dlsym(library, symbol);
}

void fxFreeLibrary(void* library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

// A seek that cannot move fails here, so trying it is the test.
bool fxStreamSeekable(FILE*) {
    return true;
}

void fxAdviseLargePages(void* block, size_t bytes) {
    const uintptr_t page = (uintptr_t)2 << 20;
    if (block == nullptr || bytes < 4 * page) {
        return;
    }
    uintptr_t first = ((uintptr_t)block + page - 1) & ~(page - 1);
    uintptr_t last = ((uintptr_t)block + bytes) & ~(page - 1);
#ifdef MADV_HUGEPAGE
    if (last > first) {
        madvise((void*)first, last - first, MADV_HUGEPAGE);
    }
#endif
}
