#ifndef FX_TESTS_TEST_ENV_H
#define FX_TESTS_TEST_ENV_H

#include <atomic>

#include "base/env.h"

// A render environment without a device: every device operation does nothing except that
// SetAct counts and checks its pairing, so loop tests can see what the render thread did.
class TestEnv : public PEnv {
public:
    std::atomic<int> actOn{0};
    std::atomic<int> actOff{0};
    std::atomic<bool> actNested{false};
    std::atomic<int> actDepth{0};

    ~TestEnv() override { Destroy(); }

    bool CreateChild(void*) override { return true; }
    void ClrParams() override {}
    void SetAct(bool on) override {
        if (on) {
            if (actDepth.fetch_add(1) != 0) {
                actNested = true;
            }
            actOn++;
        } else {
            actDepth--;
            actOff++;
        }
    }
    bool RenderStart() override { return true; }
    void RenderEnd() override {}
    void SetClrColor(float*) override {}
    void Clrscr(bool, bool, bool) override {}
    void Enlarge(bool) override {}
    void UpdateLights() override {}
    void ApplyMaterial(FXMaterial*) override {}
    void ApplyMaterial2(FXMaterial*) override {}
    void ApplyMatrix(FXMatrix*) override {}
    void MultiplyMatrix(FXMatrix*) override {}
    void ApplyMatrixIdentity() override {}
    void EnableLights(bool) override {}
    void EnableLight(bool, FXLight*) override {}
    void DisableAllLights() override {}
    void SetAmbient(float*) override {}
    void EnableDepthTest(bool) override {}
    void EnableDepthWrite(bool) override {}
    void EnableCullface(bool, bool) override {}
    bool PrepareTexture(FXMaterial*) override { return true; }
    bool FastPrepareTexture(FXMaterial*, FXPixmap*) override { return true; }
    bool PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*) override {
        return false;
    }
    void UnprepareTexture(FXMaterial*) override {}
    bool PrepareMesh(FXMesh*) override { return true; }
    void UnprepareMesh(FXMesh*) override {}
    void RenderMesh(FXMesh*) override {}
};

#endif
