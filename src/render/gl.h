#ifndef FX_RENDER_GL_H
#define FX_RENDER_GL_H

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/env.h"
#include "render/clearmap.h"

struct tagFXDeviceContext;
struct tagFXWindow;

// The driver's calling convention: 32-bit Windows entry points pop their own arguments.
#if defined(_WIN32)
#define FX_GLAPI __stdcall
#else
#define FX_GLAPI
#endif

typedef void(FX_GLAPI* FXGLActiveTextureProc)(unsigned int unit);
typedef void(FX_GLAPI* FXGLMultiTexCoord2fProc)(unsigned int unit, float s, float t);
typedef void(FX_GLAPI* FXGLMultiTexCoord2fvProc)(unsigned int unit, const float* st);

// The OpenGL render environment: a context on a window, the fixed device state, and every
// device operation in fixed-function immediate mode. The platform part (context, current
// thread, swap, window lifting) is in the gl_ twins; the rest is portable.
class FXGL : public PEnv {
public:
    tagFXWindow* hwnd;       // window the device draws into
    int32_t savedRect[4];    // left, top, right, bottom inside the parent before enlarging
    tagFXDeviceContext* hdc; // the device's own connection to the window system (platform record)
    void* hglrc;             // the OpenGL context
    float clrColor[4];
    bool extBgra;
    bool extSeparateSpecular;
    bool extEdgeClamp;
    bool extMultitexture;
    bool extCubeMap;

    // Extension entry points; null until InitExtensions finds ARB_multitexture.
    static FXGLActiveTextureProc glActiveTexture;
    static FXGLMultiTexCoord2fProc glMultiTexCoord2f;
    static FXGLMultiTexCoord2fvProc glMultiTexCoord2fv;

    // See-through parts of the uploaded textures by texture name, and scratch for the triangles
    // of a mesh that can show anything.
    bool skipClearTriangles;
    std::unordered_map<unsigned int, FXClearMap> clearMaps;
    std::vector<int> shownIndices;
    std::vector<float> shownPoints;

    FXGL();
    ~FXGL() override;

    bool CreateChild(void* window) override;
    void Destroy() override;
    void ClrParams() override;
    void SetAct(bool on) override;
    bool RenderStart() override;
    void RenderEnd() override;
    void SetClrColor(float* colour) override;
    void Clrscr(bool colour, bool depth, bool stencil) override;
    void Enlarge(bool on) override;
    // Takes the window's size again after the host saw it change; from any thread, as it takes
    // the lock and the context.
    void FollowWindowSize();
    void UpdateLights() override;
    void ApplyMaterial(FXMaterial* material) override;
    void ApplyMaterial2(FXMaterial* material) override;
    void ApplyMatrix(FXMatrix* matrix) override;
    void MultiplyMatrix(FXMatrix* matrix) override;
    void ApplyMatrixIdentity() override;
    void EnableLights(bool on) override;
    void EnableLight(bool on, FXLight* light) override;
    void DisableAllLights() override;
    void SetAmbient(float* colour) override;
    void EnableDepthTest(bool on) override;
    void EnableDepthWrite(bool on) override;
    void EnableCullface(bool front, bool back) override;
    bool PrepareTexture(FXMaterial* material) override;
    bool FastPrepareTexture(FXMaterial* material, FXPixmap* pixmap) override;
    bool PrepareCubeTexture(FXMaterial* material, FXPixmap* px, FXPixmap* nx, FXPixmap* py, FXPixmap* ny, FXPixmap* pz,
                            FXPixmap* nz) override;
    void UnprepareTexture(FXMaterial* material) override;
    bool PrepareMesh(FXMesh* mesh) override;
    void UnprepareMesh(FXMesh* mesh) override;
    void RenderMesh(FXMesh* mesh) override;

    bool InitExtensions();
    static bool TestExtensionString(const char* list, const char* name);
    bool TestGL(bool showMessage);
};

// Takes the environment lock, then makes the context current; undoes both when it goes.
class FXGRAutoAct {
public:
    PEnv* env;

    explicit FXGRAutoAct(PEnv* env);
    ~FXGRAutoAct();
    FXGRAutoAct(const FXGRAutoAct&) = delete;
    FXGRAutoAct& operator=(const FXGRAutoAct&) = delete;
};

// Looks up an OpenGL entry point of the current driver by name (platform part).
void* fxGLGetProcAddress(const char* name);
// Tells the user about the device: a message box with an OK button where the platform has one,
// else a line on the standard error stream (platform part).
void fxShowDeviceMessage(const char* text, const char* caption);

#endif
