#ifndef FX_BASE_ENV_H
#define FX_BASE_ENV_H

#include <atomic>

#include "base/arrays.h"
#include "base/thread.h"
#include "render/3dmath.h"
#include "render/material.h"
#include "render/matlib.h"

class PEnv;
class FXLight;
class FXMaterial;
class FXMesh;
class FXPackage;
class FXPixmap;

#define FX_MAX_LIGHTS 8

// Everything that can be drawn: one operation, called with the absolute clock in seconds.
class PRender {
public:
    virtual void OnRender(PEnv* env, double time) = 0;
};

// The render environment: the render thread and its loop, the lock shared by the main and the
// render thread, the light slots and the flags that mirror the device's state. It also owns the
// default material, the default material library and the libraries loaded through it. The device
// operations are implemented by the OpenGL device.
class PEnv {
public:
    int width, height;
    int screenWidth, screenHeight;
    bool enlarged;
    std::atomic<PRender*> render;
    bool lockFrames;
    double frameInterval; // seconds a frame takes at least, the loop sleeping out the rest; 0: unpaced
    FXLight* lights[FX_MAX_LIGHTS];
    FXMaterial defMaterial; // drawn with when a mesh has no material of its own
    FXMatlib defMatlib;     // holds defMaterial; every library loaded here searches it first
    FXArray matlibs;        // FXMatlib*, owned
    bool testingMaterial;   // while set, applying a material does nothing
    bool lightsOn;
    bool tex0On;
    bool tex1On;
    bool depthWrite;
    bool depthTest;
    bool cullFront, cullBack;
    FXMUTEX mutex;
    std::atomic<bool> loopRunning;
    std::atomic<bool> loopStop;
    tagFXThread* thread;
    FXMatrix curMatrix;
    void* window;
    bool npot;

    PEnv();
    virtual ~PEnv();
    PEnv(const PEnv&) = delete;
    PEnv& operator=(const PEnv&) = delete;

    virtual bool CreateChild(void* window) = 0;
    virtual void Destroy();
    virtual void ClrParams() = 0;
    virtual void SetAct(bool on) = 0;
    virtual bool RenderStart() = 0;
    virtual void RenderEnd() = 0;
    virtual bool StartLoop(PRender* r);
    virtual void StopLoop(double timeout);
    virtual void Lock(bool on);
    virtual void SetClrColor(float* colour) = 0;
    virtual void Clrscr(bool colour, bool depth, bool stencil) = 0;
    virtual void Enlarge(bool on) = 0;
    virtual bool RegisterLight(FXLight* light);
    virtual void UnregisterLight(FXLight* light);
    virtual void UpdateLights() = 0;
    virtual FXMaterial* GetDefaultMaterial();
    virtual FXMatlib* GetDefaultMatlib();
    // One shared library per name: a repeated request counts one more use. Never null: a library
    // that could not be loaded is listed and handed out empty.
    virtual FXMatlib* LoadMatlib(const char* name);
    virtual FXMatlib* LoadMatlibC(FXPackage* pkg, const char* name);
    virtual FXMatlib* LoadMatlibCN(FXPackage* pkg, int id);
    // Takes the library off the list without deleting it.
    virtual void RemoveMatlib(FXMatlib* lib);
    virtual void AddMaterial(FXMaterial* material);
    virtual void ApplyDefaultMaterial();
    virtual void ApplyMaterial(FXMaterial* material) = 0;
    virtual void ApplyMaterial2(FXMaterial* material) = 0;
    virtual void ApplyMatrix(FXMatrix* matrix) = 0;
    virtual void MultiplyMatrix(FXMatrix* matrix) = 0;
    virtual void ApplyMatrixIdentity() = 0;
    virtual void EnableLights(bool on) = 0;
    virtual void EnableLight(bool on, FXLight* light) = 0;
    virtual void DisableAllLights() = 0;
    virtual void SetAmbient(float* colour) = 0;
    virtual void EnableDepthTest(bool on) = 0;
    virtual void EnableDepthWrite(bool on) = 0;
    virtual void EnableCullface(bool front, bool back) = 0;
    virtual void EnableTestingMaterial(bool on);
    virtual bool PrepareTexture(FXMaterial* material) = 0;
    virtual bool FastPrepareTexture(FXMaterial* material, FXPixmap* pixmap) = 0;
    virtual bool PrepareCubeTexture(FXMaterial* material, FXPixmap* px, FXPixmap* nx, FXPixmap* py, FXPixmap* ny,
                                    FXPixmap* pz, FXPixmap* nz) = 0;
    virtual void UnprepareTexture(FXMaterial* material) = 0;
    virtual bool PrepareMesh(FXMesh* mesh) = 0;
    virtual void UnprepareMesh(FXMesh* mesh) = 0;
    virtual void RenderMesh(FXMesh* mesh) = 0;
    virtual void RenderLoop();

private:
    void ReleaseMaterials();
    FXMatlib* FindMatlib(const char* name);
};

extern PEnv* fxglobalEnv;
void fxSetEnv(PEnv* env);

#endif
