#include "base/other.h"

#include <cstdlib>
#include <atomic>
#include <cstring>

void* fxMalloc(size_t size) {
    void* p = malloc(size);
    if (p != nullptr) {
        memset(p, 0, size);
    }
    return p;
}

void* fxMallocLarge(size_t bytes) {
    void* block = malloc(bytes > 0 ? bytes : 1);
    fxAdviseLargePages(block, bytes);
    return block;
}

void FXFreeBlock::operator()(void* block) const {
    free(block);
}

// Linear congruential generator of the runtime the show was first written for: the same seed
// gives the same 15-bit sequence on every platform. Per thread, as in that runtime.
static thread_local uint32_t localRandState = 1;

void fxSeedRandom(uint32_t seed) {
    localRandState = seed;
}

int fxRand() {
    localRandState = localRandState * 214013u + 2531011u;
    return (int)((localRandState >> 16) & 0x7fff);
}

static std::atomic<bool> localRandomRepeatable(false);

void fxSetRandomRepeatable(bool on) {
    localRandomRepeatable = on;
}

void fxResetRandom() {
    // The odd constant keeps the new seed apart from the plain sequence it is drawn from.
    uint32_t mix = localRandomRepeatable ? 2654435761u : fxGetTimeMs();
    fxSeedRandom((uint32_t)fxRand() * mix);
}

float fxGetRandom() {
    return (float)(fxRand() / 32767.0);
}

FXTimeDiff::FXTimeDiff() : last(0.0) {}

double FXTimeDiff::OnTime() {
    double now = fxGetTime();
    double diff = now - last;
    last = now;
    return diff;
}
