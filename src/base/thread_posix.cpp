#include "base/thread.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/other.h"

struct tagFXMutex {
    pthread_mutex_t mutex;
};

struct tagFXThreadHandle {
    pthread_t thread;
};

FXMUTEX fxCreateMutex() {
    tagFXMutex* m = (tagFXMutex*)malloc(sizeof(tagFXMutex));
    if (m == nullptr) {
        return nullptr;
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&m->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        free(m);
        return nullptr;
    }
    return m;
}

void fxDestroyMutex(FXMUTEX mutex) {
    if (mutex == nullptr) {
        return;
    }
    pthread_mutex_destroy(&mutex->mutex);
    free(mutex);
}

bool fxTryLock(FXMUTEX mutex) {
    return mutex != nullptr && pthread_mutex_trylock(&mutex->mutex) == 0;
}

void fxLock(FXMUTEX mutex) {
    if (mutex != nullptr) {
        pthread_mutex_lock(&mutex->mutex);
    }
}

void fxUnlock(FXMUTEX mutex) {
    if (mutex != nullptr) {
        pthread_mutex_unlock(&mutex->mutex);
    }
}

uint32_t fxGetThreadId() {
    return (uint32_t)syscall(SYS_gettid);
}

namespace {

// Handed to the new thread on the creator's stack; the creator waits until the thread has
// copied what it needs and published its id, so the record is never read by the thread later
// (an abandoned thread may outlive its record).
struct localStartBlock {
    FXThreadProc proc;
    void* arg;
    uint32_t id;
    sem_t started;
};

} // namespace

static void* localThreadProc(void* param) {
    localStartBlock* start = (localStartBlock*)param;
    FXThreadProc proc = start->proc;
    void* arg = start->arg;
    start->id = fxGetThreadId();
    sem_post(&start->started);
    if (proc != nullptr) {
        proc(arg);
    }
    return nullptr;
}

tagFXThread* fxCreateThread(FXThreadProc proc, void* arg) {
    tagFXThread* t = (tagFXThread*)fxMalloc(sizeof(tagFXThread));
    if (t == nullptr) {
        return nullptr;
    }
    tagFXThreadHandle* h = (tagFXThreadHandle*)fxMalloc(sizeof(tagFXThreadHandle));
    if (h == nullptr) {
        free(t);
        return nullptr;
    }
    t->proc = proc;
    t->arg = arg;

    localStartBlock start;
    start.proc = proc;
    start.arg = arg;
    start.id = 0;
    if (sem_init(&start.started, 0, 0) != 0) {
        free(h);
        free(t);
        return nullptr;
    }
    if (pthread_create(&h->thread, nullptr, localThreadProc, &start) != 0) {
        sem_destroy(&start.started);
        free(h);
        free(t);
        return nullptr;
    }
    while (sem_wait(&start.started) != 0 && errno == EINTR) {
    }
    sem_destroy(&start.started);
    t->handle = h;
    t->id = start.id;
    return t;
}

// Joining consumes the platform handle: the record then holds none.
static void localForgetHandle(tagFXThread* thread) {
    free(thread->handle);
    thread->handle = nullptr;
    thread->id = 0;
}

bool fxWaitThread(tagFXThread* thread, double seconds) {
    if (thread == nullptr || thread->handle == nullptr || thread->id == 0) {
        return true;
    }
    if (seconds >= 100000.0) {
        pthread_join(thread->handle->thread, nullptr);
        localForgetHandle(thread);
        return true;
    }
    long ms = seconds > 0.0 ? (long)(seconds * 1000.0) : 0;
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += (ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    if (pthread_timedjoin_np(thread->handle->thread, nullptr, &deadline) != 0) {
        return false;
    }
    localForgetHandle(thread);
    return true;
}

void fxTerminateThread(tagFXThread* thread) {
    if (thread == nullptr || thread->handle == nullptr || thread->id == 0) {
        return;
    }
    // A thread cannot be killed safely here: one that has not ended is detached and left to
    // finish by itself, which frees its resources when it does.
    if (pthread_tryjoin_np(thread->handle->thread, nullptr) != 0) {
        pthread_detach(thread->handle->thread);
    }
    localForgetHandle(thread);
}

void fxSetThreadPriority(tagFXThread* thread, int priority) {
    if (thread == nullptr || thread->handle == nullptr) {
        return;
    }
    // Linux keeps a nice value per thread; raising it needs privileges, so this is best effort.
    int nice = 0;
    if (priority > 0) {
        nice = -20;
    } else if (priority < 0) {
        nice = 19;
    }
    setpriority(PRIO_PROCESS, (id_t)thread->id, nice);
}
