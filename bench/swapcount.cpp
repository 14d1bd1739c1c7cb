// LD_PRELOAD shim: counts a program's buffer swaps from outside it, the same way for every
// program the frame-rate bench compares, whether it swaps through GLX or EGL. The counters live in a mapped file named
// by VANTREL_SWAPS, so they survive the program being killed:
//   uint64 swaps, uint64 first swap, uint64 last swap (CLOCK_REALTIME, ns).
#include <GL/glx.h>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

typedef void (*tagFXSwapFn)(Display*, GLXDrawable);

static volatile uint64_t* localCounters = nullptr;
static std::atomic<bool> localTried(false);

static uint64_t localNowNs() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static void localOpenCounters() {
    const char* path = getenv("VANTREL_SWAPS");
    if (path == nullptr) {
        return;
    }
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return;
    }
    const size_t size = 3 * sizeof(uint64_t);
    if (ftruncate(fd, (off_t)size) == 0) {
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) {
            localCounters = (volatile uint64_t*)p;
        }
    }
    close(fd);
}

static void localCountSwap() {
    if (!localTried.exchange(true)) {
        localOpenCounters();
    }
    if (localCounters != nullptr) {
        uint64_t now = localNowNs();
        if (localCounters[0] == 0) {
            localCounters[1] = now;
        }
        localCounters[2] = now;
        localCounters[0] = localCounters[0] + 1;
    }
}

extern "C" void glXSwapBuffers(Display* dpy, GLXDrawable drawable) {
    static tagFXSwapFn next = (tagFXSwapFn)dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (next != nullptr) {
        next(dpy, drawable);
    }
    localCountSwap();
}

// EGLBoolean eglSwapBuffers(EGLDisplay, EGLSurface), declared without the EGL headers.
typedef unsigned int (*tagFXEglSwapFn)(void*, void*);

extern "C" unsigned int eglSwapBuffers(void* dpy, void* surface) {
    static tagFXEglSwapFn next = (tagFXEglSwapFn)dlsym(RTLD_NEXT, "eglSwapBuffers");
    unsigned int ok = next != nullptr ? next(dpy, surface) : 0;
    localCountSwap();
    return ok;
}
