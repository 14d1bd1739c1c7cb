#ifndef FX_TESTS_ALLOC_COUNTER_H
#define FX_TESTS_ALLOC_COUNTER_H

#include <cstdint>

// Counts the heap allocations the calling thread makes between fxTestAllocStart and
// fxTestAllocStop; other threads are not counted. One count runs at a time.
//
//     fxTestAllocStart();
//     for (...) object.OnRender(&env, t);
//     EXPECT_EQ(fxTestAllocStop(), 0);
//
// Under AddressSanitizer every allocation is seen (malloc, calloc, realloc, new). Without it only
// the global operator new is replaced, so plain malloc then goes uncounted.
void fxTestAllocStart();
// As fxTestAllocStart, but an allocation counts only when the first code that asked for it,
// outside the C and C++ runtimes, is this program's own: what a shared library such as the GL
// driver allocates inside its own calls is left out. Slower: every allocation walks the stack.
void fxTestAllocStartOwn();
// Ends the count and answers it.
int64_t fxTestAllocStop();
// The allocations counted so far, while counting or after the stop.
int64_t fxTestAllocCount();
// Whether allocations made through malloc itself are counted too.
bool fxTestAllocSeesMalloc();

// Leaves out of the count what happens while it lives, such as the GL driver's own allocations
// inside a device call:  { FXTestAllocPause pause; FXGL::RenderMesh(mesh); }
class FXTestAllocPause {
public:
    FXTestAllocPause();
    ~FXTestAllocPause();
    FXTestAllocPause(const FXTestAllocPause&) = delete;
    FXTestAllocPause& operator=(const FXTestAllocPause&) = delete;

private:
    bool wasCounting;
};

#endif
