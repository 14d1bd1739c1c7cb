#include "support/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

// The Windows counter: the global operator new of this program counts. DLLs such as the GL
// driver allocate from their own heaps and never reach it, so "own" counting needs no stack walk.

namespace {

std::atomic<int64_t> localCount{0};
thread_local bool localCounting = false;

void* localAllocate(size_t size) {
    if (localCounting) {
        localCount++;
    }
    return malloc(size == 0 ? 1 : size);
}

} // namespace

void* operator new(size_t size) {
    void* p = localAllocate(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* operator new[](size_t size) {
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return localAllocate(size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return localAllocate(size);
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

void fxTestAllocStart() {
    localCount = 0;
    localCounting = true;
}

void fxTestAllocStartOwn() {
    fxTestAllocStart();
}

int64_t fxTestAllocStop() {
    localCounting = false;
    return localCount;
}

int64_t fxTestAllocCount() {
    return localCount;
}

bool fxTestAllocSeesMalloc() {
    return false;
}

FXTestAllocPause::FXTestAllocPause() : wasCounting(localCounting) {
    localCounting = false;
}

FXTestAllocPause::~FXTestAllocPause() {
    localCounting = wasCounting;
}
