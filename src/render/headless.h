#ifndef FX_RENDER_HEADLESS_H
#define FX_RENDER_HEADLESS_H

#include "base/env.h"

// A render environment without a device, for tools and tests that load and write assets: the
// environment's own part (lock, loop, lights, material registry) works, every device operation
// does nothing. Uploading a texture succeeds exactly when the device's would have pixels to send;
// no texture name is handed out.
class FXHeadlessEnv : public PEnv {
public:
    ~FXHeadlessEnv() override;

    bool CreateChild(void* window) override;
    void ClrParams() override;
    void SetAct(bool on) override;
    bool RenderStart() override;
    void RenderEnd() override;
    void SetClrColor(float* colour) override;
    void Clrscr(bool colour, bool depth, bool stencil) override;
    void Enlarge(bool on) override;
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
};

#endif
