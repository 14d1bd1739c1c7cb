#include "support/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <new>

namespace {

std::atomic<int64_t> localCount{0};
// Only the thread that started the count is counted; the GL driver's own worker threads and
// anything else running beside the test stay out of it.
thread_local bool localCounting = false;

thread_local bool localOwnOnly = false;
thread_local bool localInside = false;

// The runtimes an allocation passes through on its way from the code that asked for it.
bool localIsRuntime(const char* module) {
    static const char* const names[] = {"libasan", "libubsan", "libc.so", "libc-", "libstdc++", "libgcc_s", "ld-linux"};
    for (const char* n : names) {
        if (strstr(module, n) != nullptr) {
            return true;
        }
    }
    return false;
}

// Whether the first caller outside the runtimes lies in this program rather than in a shared
// library such as the GL driver. The walk starts above the counter's own frame.
bool localOwnCaller() {
    void* frames[48];
    int n = backtrace(frames, 48);
    Dl_info self = {};
    dladdr((void*)&localOwnCaller, &self);
    // The walk meets the unwinder, then the counter's own frames, then the allocator, and only
    // then the code that asked.
    int phase = 0;
    for (int i = 0; i < n; i++) {
        Dl_info info = {};
        if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr) {
            return true; // unknown code: count it rather than hide it
        }
        bool ours = info.dli_fbase == self.dli_fbase;
        if (phase < 2) {
            if (ours) {
                phase = 1;
            } else if (phase == 1) {
                phase = 2;
            }
            continue;
        }
        if (ours) {
            return true;
        }
        if (!localIsRuntime(info.dli_fname)) {
            return false;
        }
    }
    return true;
}

inline void localSeen() {
    if (!localCounting || localInside) {
        return;
    }
    if (localOwnOnly) {
        localInside = true; // the walk itself may allocate
        bool own = localOwnCaller();
        localInside = false;
        if (!own) {
            return;
        }
    }
    localCount.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define FX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FX_TEST_ASAN 1
#endif
#endif

#if defined(FX_TEST_ASAN)

#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// Older compilers ship the sanitizer runtime without this header.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

void localMallocHook(const volatile void*, size_t) {
    localSeen();
}

void localFreeHook(const volatile void*) {}

// The runtime takes only a few hook pairs per process: install once, switch by flag.
void localInstall() {
    static bool installed = __sanitizer_install_malloc_and_free_hooks(localMallocHook, localFreeHook) != 0;
    (void)installed;
}

} // namespace

bool fxTestAllocSeesMalloc() {
    return true;
}

#else

namespace {
void localInstall() {}
} // namespace

bool fxTestAllocSeesMalloc() {
    return false;
}

// Without a sanitizer the global operator new counts; plain malloc is not seen.
void* operator new(size_t size) {
    localSeen();
    void* p = malloc(size != 0 ? size : 1);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* operator new[](size_t size) {
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    localSeen();
    return malloc(size != 0 ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}

void operator delete(void* p) noexcept {
    free(p);
}

void operator delete[](void* p) noexcept {
    free(p);
}

void operator delete(void* p, size_t) noexcept {
    free(p);
}

void operator delete[](void* p, size_t) noexcept {
    free(p);
}

#endif

void fxTestAllocStart() {
    localInstall();
    localCount.store(0);
    localOwnOnly = false;
    localCounting = true;
}

void fxTestAllocStartOwn() {
    localInstall();
    void* warm[4];
    backtrace(warm, 4); // loads the unwinder now, not inside the first counted allocation
    localCount.store(0);
    localOwnOnly = true;
    localCounting = true;
}

int64_t fxTestAllocStop() {
    localCounting = false;
    localOwnOnly = false;
    return localCount.load();
}

int64_t fxTestAllocCount() {
    return localCount.load();
}

FXTestAllocPause::FXTestAllocPause() : wasCounting(localCounting) {
    localCounting = false;
}

FXTestAllocPause::~FXTestAllocPause() {
    localCounting = wasCounting;
}
