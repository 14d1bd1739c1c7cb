#ifndef FX_BASE_THREAD_H
#define FX_BASE_THREAD_H

#include <cstdint>

// Recursive lock; opaque outside the platform unit.
struct tagFXMutex;
typedef tagFXMutex* FXMUTEX;

FXMUTEX fxCreateMutex();
void fxDestroyMutex(FXMUTEX mutex);
bool fxTryLock(FXMUTEX mutex);
void fxLock(FXMUTEX mutex);
void fxUnlock(FXMUTEX mutex);

typedef void (*FXThreadProc)(void* arg);

struct tagFXThreadHandle; // the platform's handle, owned by the record

// Thread record: allocated by fxCreateThread, released by fxDestroyThread.
struct tagFXThread {
    FXThreadProc proc;
    void* arg;
    tagFXThreadHandle* handle; // null once the thread has been joined or abandoned
    uint32_t id;               // platform thread id; 0 together with a null handle
};

tagFXThread* fxCreateThread(FXThreadProc proc, void* arg);
// True when the thread has ended (or there is none); false when the wait timed out.
// A timeout of 100000 seconds or more waits forever.
bool fxWaitThread(tagFXThread* thread, double seconds);
// Ends the association with the thread. A thread that is still running is abandoned:
// it cannot be killed safely here, so it is left to finish on its own.
void fxTerminateThread(tagFXThread* thread);
void fxDestroyThread(tagFXThread* thread);
// 0 normal, above 0 highest, below 0 lowest. Best effort.
void fxSetThreadPriority(tagFXThread* thread, int priority);
// Platform id of the calling thread.
uint32_t fxGetThreadId();

#endif
