// LD_PRELOAD shim: counts a program's buffer swaps from outside it, the same way for every
// program the frame-rate bench compares, whether it swaps through GLX or EGL. The counters live in a mapped file named
// by VANTREL_SWAPS, so they survive the program being killed:
//   uint64 swaps, uint64 first swap, uint64 last swap (CLOCK_REALTIME, ns),
//   uint64 fragments, uint64 frames whose fragments were counted.
// With VANTREL_FRAGMENTS=1 each frame, from one swap to the next, runs inside an occlusion
// query: the fragments that passed every test, a lower bound of the fill the frame cost. Reading
// the result waits for the frame to finish, so frame rates are measured in runs without it.
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
typedef void (*tagFXGenQueriesFn)(GLsizei, GLuint*);
typedef void (*tagFXQueryFn)(GLenum, GLuint);
typedef void (*tagFXEndQueryFn)(GLenum);
typedef void (*tagFXQueryResultFn)(GLuint, GLenum, GLuint*);
typedef void* (*tagFXProcFn)(const GLubyte*);

// GL 1.5 names, spelled out so the shim needs no GL headers beyond GLX's.
static const GLenum LOCAL_SAMPLES_PASSED = 0x8914;
static const GLenum LOCAL_QUERY_RESULT = 0x8866;

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
    const size_t size = 5 * sizeof(uint64_t);
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

// The query of the frame being drawn; only the thread that swaps touches it.
struct tagFXFragmentQuery {
    bool wanted;
    bool ready;
    bool running;
    GLuint id;
    tagFXQueryFn begin;
    tagFXEndQueryFn end;
    tagFXQueryResultFn result;
};

static tagFXFragmentQuery localQuery = {false, false, false, 0, nullptr, nullptr, nullptr};

// lookup: the GL entry point finder of the interface the program swaps through.
static void localStartQuery(const char* lookup) {
    tagFXFragmentQuery* q = &localQuery;
    if (!q->ready) {
        q->ready = true;
        const char* wanted = getenv("VANTREL_FRAGMENTS");
        tagFXProcFn proc = (tagFXProcFn)dlsym(RTLD_DEFAULT, lookup);
        if (wanted == nullptr || wanted[0] != '1' || proc == nullptr) {
            return;
        }
        tagFXGenQueriesFn gen = (tagFXGenQueriesFn)proc((const GLubyte*)"glGenQueries");
        q->begin = (tagFXQueryFn)proc((const GLubyte*)"glBeginQuery");
        q->end = (tagFXEndQueryFn)proc((const GLubyte*)"glEndQuery");
        q->result = (tagFXQueryResultFn)proc((const GLubyte*)"glGetQueryObjectuiv");
        if (gen == nullptr || q->begin == nullptr || q->end == nullptr || q->result == nullptr) {
            return;
        }
        gen(1, &q->id);
        q->wanted = q->id != 0;
    }
    if (q->wanted) {
        q->begin(LOCAL_SAMPLES_PASSED, q->id);
        q->running = true;
    }
}

static void localEndQuery() {
    tagFXFragmentQuery* q = &localQuery;
    if (!q->running) {
        return;
    }
    q->end(LOCAL_SAMPLES_PASSED);
    q->running = false;
    GLuint passed = 0;
    q->result(q->id, LOCAL_QUERY_RESULT, &passed);
    if (localCounters != nullptr) {
        localCounters[3] = localCounters[3] + passed;
        localCounters[4] = localCounters[4] + 1;
    }
}

extern "C" void glXSwapBuffers(Display* dpy, GLXDrawable drawable) {
    static tagFXSwapFn next = (tagFXSwapFn)dlsym(RTLD_NEXT, "glXSwapBuffers");
    localEndQuery();
    if (next != nullptr) {
        next(dpy, drawable);
    }
    localCountSwap();
    localStartQuery("glXGetProcAddressARB");
}

// EGLBoolean eglSwapBuffers(EGLDisplay, EGLSurface), declared without the EGL headers.
typedef unsigned int (*tagFXEglSwapFn)(void*, void*);

extern "C" unsigned int eglSwapBuffers(void* dpy, void* surface) {
    static tagFXEglSwapFn next = (tagFXEglSwapFn)dlsym(RTLD_NEXT, "eglSwapBuffers");
    localEndQuery();
    unsigned int ok = next != nullptr ? next(dpy, surface) : 0;
    localCountSwap();
    localStartQuery("eglGetProcAddress");
    return ok;
}
