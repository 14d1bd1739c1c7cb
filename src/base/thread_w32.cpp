#include "base/thread.h"

#include <cstdlib>

#include <windows.h>

#include "base/other.h"

struct tagFXMutex {
    CRITICAL_SECTION section; // recursive by nature
};

struct tagFXThreadHandle {
    HANDLE thread;
};

FXMUTEX fxCreateMutex() {
    tagFXMutex* m = (tagFXMutex*)malloc(sizeof(tagFXMutex));
    if (m == nullptr) {
        return nullptr;
    }
    InitializeCriticalSection(&m->section);
    return m;
}

void fxDestroyMutex(FXMUTEX mutex) {
    if (mutex == nullptr) {
        return;
    }
    DeleteCriticalSection(&mutex->section);
    free(mutex);
}

bool fxTryLock(FXMUTEX mutex) {
    return mutex != nullptr && TryEnterCriticalSection(&mutex->section) != 0;
}

void fxLock(FXMUTEX mutex) {
    if (mutex != nullptr) {
        EnterCriticalSection(&mutex->section);
    }
}

void fxUnlock(FXMUTEX mutex) {
    if (mutex != nullptr) {
        LeaveCriticalSection(&mutex->section);
    }
}

uint32_t fxGetThreadId() {
    return (uint32_t)GetCurrentThreadId();
}

// The record outlives the thread only while it is joined; an abandoned thread may outlive it,
// so the thread gets its own copy of what it runs.
namespace {
struct localStartBlock {
    FXThreadProc proc;
    void* arg;
};
} // namespace

static DWORD WINAPI localThreadProc(LPVOID param) {
    localStartBlock start = *(localStartBlock*)param;
    free(param);
    if (start.proc != nullptr) {
        start.proc(start.arg);
    }
    return 0;
}

tagFXThread* fxCreateThread(FXThreadProc proc, void* arg) {
    tagFXThread* t = (tagFXThread*)fxMalloc(sizeof(tagFXThread));
    tagFXThreadHandle* h = (tagFXThreadHandle*)fxMalloc(sizeof(tagFXThreadHandle));
    localStartBlock* start = (localStartBlock*)fxMalloc(sizeof(localStartBlock));
    if (t == nullptr || h == nullptr || start == nullptr) {
        free(start);
        free(h);
        free(t);
        return nullptr;
    }
    t->proc = proc;
    t->arg = arg;
    start->proc = proc;
    start->arg = arg;
    DWORD id = 0;
    h->thread = CreateThread(nullptr, 0, localThreadProc, start, 0, &id);
    if (h->thread == nullptr) {
        free(start);
        free(h);
        free(t);
        return nullptr;
    }
    t->handle = h;
    t->id = (uint32_t)id;
    return t;
}

static void localForgetHandle(tagFXThread* thread) {
    CloseHandle(thread->handle->thread);
    free(thread->handle);
    thread->handle = nullptr;
    thread->id = 0;
}

bool fxWaitThread(tagFXThread* thread, double seconds) {
    if (thread == nullptr || thread->handle == nullptr || thread->id == 0) {
        return true;
    }
    DWORD ms = INFINITE;
    if (seconds < 100000.0) {
        ms = seconds > 0.0 ? (DWORD)(seconds * 1000.0) : 0;
    }
    if (WaitForSingleObject(thread->handle->thread, ms) != WAIT_OBJECT_0) {
        return false;
    }
    localForgetHandle(thread);
    return true;
}

void fxTerminateThread(tagFXThread* thread) {
    if (thread == nullptr || thread->handle == nullptr || thread->id == 0) {
        return;
    }
    // Killing a thread may leave the heap or a lock held by it for ever, so a thread that has
    // not ended is abandoned: closing the handle lets it finish and vanish on its own.
    localForgetHandle(thread);
}

void fxSetThreadPriority(tagFXThread* thread, int priority) {
    if (thread == nullptr || thread->handle == nullptr) {
        return;
    }
    int level = THREAD_PRIORITY_NORMAL;
    if (priority > 0) {
        level = THREAD_PRIORITY_TIME_CRITICAL;
    } else if (priority < 0) {
        level = THREAD_PRIORITY_LOWEST;
    }
    SetThreadPriority(thread->handle->thread, level);
}
