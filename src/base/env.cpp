#include "base/env.h"

#include "base/other.h"

PEnv* fxglobalEnv = nullptr;

void fxSetEnv(PEnv* env) {
    fxglobalEnv = env;
}

PEnv::PEnv()
    : width(0), height(0), screenWidth(0), screenHeight(0), enlarged(false), render(nullptr), lockFrames(true),
      lightsOn(false), tex0On(false), tex1On(false), depthWrite(true), depthTest(true), cullFront(false),
      cullBack(false), mutex(nullptr), loopRunning(false), loopStop(false), thread(nullptr), window(nullptr),
      npot(false) {
    for (int i = 0; i < FX_MAX_LIGHTS; i++) {
        lights[i] = nullptr;
    }
    curMatrix.SetIdentity();
    mutex = fxCreateMutex();
}

PEnv::~PEnv() {
    // Derived devices stop the loop in their own destructor, while their operations still exist;
    // this is the last line of defence for a loop that had to be abandoned.
    PEnv::Destroy();
    if (loopRunning) {
        loopStop = true;
        for (int waited = 0; loopRunning && waited < 5000; waited++) {
            fxSleep(0.001);
        }
    }
}

static void localRenderLoop(void* env) {
    ((PEnv*)env)->RenderLoop();
}

bool PEnv::StartLoop(PRender* r) {
    loopStop = false;
    render = r;
    if (loopRunning) {
        return true;
    }
    // Marked running before the thread exists, so that a second start cannot start a second
    // thread and a stop right after the start waits for the young thread instead of leaving it.
    loopRunning = true;
    if (thread != nullptr) {
        fxDestroyThread(thread);
        thread = nullptr;
    }
    thread = fxCreateThread(localRenderLoop, this);
    if (thread == nullptr) {
        loopRunning = false;
        return false;
    }
    return true;
}

void PEnv::RenderLoop() {
    loopRunning = true;
    fxSleep(0.1);
    while (!loopStop) {
        if (render.load() == nullptr) {
            fxSleep(0.001); // nothing to draw: a short pause instead of spinning
            continue;
        }
        bool lock = lockFrames;
        if (lock) {
            fxLock(mutex);
        }
        PRender* target = render;
        if (target != nullptr) {
            SetAct(true);
            double t = fxGetTime();
            target->OnRender(this, t);
            SetAct(false);
        }
        if (lock) {
            fxUnlock(mutex);
        }
        fxSleep(0.001);
    }
    loopRunning = false;
}

void PEnv::StopLoop(double timeout) {
    loopStop = true;
    if (loopRunning && thread != nullptr) {
        fxWaitThread(thread, timeout);
        fxDestroyThread(thread);
        thread = nullptr;
    }
    render = nullptr;
}

void PEnv::Lock(bool on) {
    if (mutex == nullptr) {
        return;
    }
    if (on) {
        fxLock(mutex);
    } else {
        fxUnlock(mutex);
    }
}

void PEnv::Destroy() {
    StopLoop(0.5);
    FXMUTEX m = mutex;
    if (m != nullptr) {
        fxLock(m);
    }
    loopStop = true;
    if (m != nullptr) {
        mutex = nullptr;
        fxUnlock(m);
        fxDestroyMutex(m);
    }
    loopStop = false;
}

bool PEnv::RegisterLight(FXLight* light) {
    for (int i = 0; i < FX_MAX_LIGHTS; i++) {
        if (lights[i] == nullptr) {
            lights[i] = light;
            return true;
        }
        if (lights[i] == light) {
            return true;
        }
    }
    return false;
}

void PEnv::UnregisterLight(FXLight* light) {
    for (int i = 0; i < FX_MAX_LIGHTS; i++) {
        if (lights[i] == light) {
            lights[i] = nullptr;
            return;
        }
    }
}
