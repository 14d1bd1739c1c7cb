#include "base/thread.h"

#include <cstdlib>

// The record is the platform twin's malloc; the thread's own end is the twin's business.
void fxDestroyThread(tagFXThread* thread) {
    if (thread == nullptr) {
        return;
    }
    fxTerminateThread(thread);
    free(thread);
}
