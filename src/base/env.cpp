#include "base/env.h"

#include "base/other.h"
#include "base/strings.h"

PEnv* fxglobalEnv = nullptr;

void fxSetEnv(PEnv* env) {
    fxglobalEnv = env;
}

PEnv::PEnv()
    : width(0), height(0), screenWidth(0), screenHeight(0), enlarged(false), render(nullptr), lockFrames(true),
      frameInterval(0.0), testingMaterial(false), lightsOn(false), tex0On(false), tex1On(false), depthWrite(true),
      depthTest(true), cullFront(false), cullBack(false), mutex(nullptr), loopRunning(false), loopStop(false),
      thread(nullptr), window(nullptr), npot(false) {
    for (int i = 0; i < FX_MAX_LIGHTS; i++) {
        lights[i] = nullptr;
    }
    defMaterial.SetDefDiffuse(1.0f);
    defMatlib.AddMaterial(&defMaterial);
    // Embedded, not allocated: a stray last Release must not delete it.
    defMatlib.releaseDeletes = false;
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
        double t = fxGetTime();
        if (target != nullptr) {
            SetAct(true);
            target->OnRender(this, t);
            SetAct(false);
        }
        if (lock) {
            fxUnlock(mutex);
        }
        // A capped rate sleeps out the rest of the frame's share; unpaced, a millisecond.
        double rest = frameInterval - (fxGetTime() - t);
        fxSleep(rest > 0.001 ? rest : 0.001);
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
    ReleaseMaterials();
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

// Deletes the loaded libraries and empties the default material and library.
void PEnv::ReleaseMaterials() {
    for (int i = 0; i < matlibs.size; i++) {
        delete (FXMatlib*)matlibs.elements[i];
    }
    matlibs.DestroyBuf();
    defMatlib.Destroy();
    defMaterial.Destroy();
}

FXMaterial* PEnv::GetDefaultMaterial() {
    return &defMaterial;
}

FXMatlib* PEnv::GetDefaultMatlib() {
    return &defMatlib;
}

// The library already loaded under that name, with one more use; null when there is none.
FXMatlib* PEnv::FindMatlib(const char* name) {
    for (int i = 0; i < matlibs.size; i++) {
        FXMatlib* lib = (FXMatlib*)matlibs.elements[i];
        if (lib != nullptr && lib->name.Compare(name)) {
            lib->useCount++;
            return lib;
        }
    }
    return nullptr;
}

FXMatlib* PEnv::LoadMatlib(const char* name) {
    FXMatlib* lib = FindMatlib(name);
    if (lib != nullptr) {
        return lib;
    }
    lib = new FXMatlib();
    lib->fallback = &defMatlib;
    lib->LoadFromMtl(name);
    matlibs.Push(lib);
    return lib;
}

FXMatlib* PEnv::LoadMatlibC(FXPackage* pkg, const char* name) {
    FXMatlib* lib = FindMatlib(name);
    if (lib != nullptr) {
        return lib;
    }
    lib = new FXMatlib();
    lib->fallback = &defMatlib;
    lib->LoadC(pkg, name);
    // Found again by the entry it came from, not by the name stored inside it; otherwise every
    // model that uses the library would load another copy.
    lib->name.Set(name);
    matlibs.Push(lib);
    return lib;
}

FXMatlib* PEnv::LoadMatlibCN(FXPackage* pkg, int id) {
    FXStr text;
    text.Format("%d", id);
    return LoadMatlibC(pkg, text.chars);
}

void PEnv::RemoveMatlib(FXMatlib* lib) {
    matlibs.Remove(lib);
}

void PEnv::AddMaterial(FXMaterial* material) {
    defMatlib.AddMaterial(material);
}

void PEnv::ApplyDefaultMaterial() {
    ApplyMaterial(&defMaterial);
}

void PEnv::EnableTestingMaterial(bool on) {
    testingMaterial = on;
}
