#ifndef FX_BASE_OTHER_H
#define FX_BASE_OTHER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Zero-filled allocation; null when the allocation fails. Release with free().
void* fxMalloc(size_t size);

// A block of many megabytes about to be filled (a text read whole, the tables made from it) faults
// its pages in by the thousand; this asks the system to back it with large pages instead. Only a
// hint: where it is refused or unknown nothing changes.
void fxAdviseLargePages(void* block, size_t bytes);

// A block of that many bytes, not zeroed, with that advice: for work room filled whole before it
// is read. Null when memory runs short; FXFreeBlock (or free) gives it back.
void* fxMallocLarge(size_t bytes);
struct FXFreeBlock {
    void operator()(void* block) const;
};

// The platform's millisecond clock (unsigned 32-bit, wraps after about 49.7 days), in seconds.
double fxGetTime();
// The raw millisecond count behind fxGetTime.
uint32_t fxGetTimeMs();

// 0 yields; anything else sleeps seconds * 1000 + 0.5 whole milliseconds.
void fxSleep(double seconds);

// The engine's random generator. It reproduces the 15-bit sequence of the runtime the show was
// first written for, so one seed gives the same show everywhere. Like that runtime, each thread
// has its own state, seeded with 1.
void fxSeedRandom(uint32_t seed);
int fxRand(); // 0 ... 32767
// A new seed from the generator and the clock; with fxSetRandomRepeatable(true) from the
// generator alone, so that a seeded run repeats exactly.
void fxResetRandom();
void fxSetRandomRepeatable(bool on);
float fxGetRandom(); // fxRand() / 32767: 0 and 1 both reachable

// Priority class of the process: 0 normal, above 0 highest, below 0 lowered. Best effort.
void fxSetAppPriority(int priority);

// Run-time binding of shared libraries by name; null when the library or symbol is missing.
void* fxLoadLibrary(const char* name);
void* fxGetProcAddress(void* library, const char* symbol);
void fxFreeLibrary(void* library);

// Whether a seek on the stream really moves it. Some runtimes answer success on a pipe without
// moving, so callers that skip bytes read them instead where this is false.
bool fxStreamSeekable(FILE* f);

// Frame-time helper: each OnTime returns the seconds since the previous call.
class FXTimeDiff {
public:
    double last;

    FXTimeDiff();
    double OnTime();
};

#endif
