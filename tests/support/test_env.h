#ifndef FX_TESTS_TEST_ENV_H
#define FX_TESTS_TEST_ENV_H

#include <atomic>
#include <string>
#include <vector>

#include "render/headless.h"

// The headless environment, except that SetAct counts and checks its pairing, so loop tests can
// see what the render thread did, and the texture and material operations are recorded, so
// material tests can see what reached the device.
class TestEnv : public FXHeadlessEnv {
public:
    std::atomic<int> actOn{0};
    std::atomic<int> actOff{0};
    std::atomic<bool> actNested{false};
    std::atomic<int> actDepth{0};

    // Textures: every upload and release, the names handed out and still alive.
    int prepareCalls = 0;
    int unprepareCalls = 0;
    int liveTextures = 0;
    unsigned int lastTextureName = 0;
    bool failPrepare = false; // while set, uploads fail as the device's do without pixels
    FXMaterial* lastPrepared = nullptr;
    // Materials applied while testingMaterial was clear, and the last of them.
    int applyCalls = 0;
    FXMaterial* lastApplied = nullptr;
    // While set, the drawing calls are written down in order, so tests can see what a drawable
    // asked the device for: "mesh", "cull F B" (1/0 for front and back), "depthwrite 1/0".
    bool recordDraws = false;
    std::vector<std::string> draws;
    std::vector<FXMesh*> drawnMeshes; // the meshes of the "mesh" entries, in the same order
    // The last matrix applied, as a pointer and as a copy.
    FXMatrix* lastAppliedMatrix = nullptr;
    FXMatrix lastMatrix;

    // Destroyed here, while the recording operations still answer the environment's release.
    ~TestEnv() override { Destroy(); }

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
    void ApplyMaterial(FXMaterial* m) override {
        if (testingMaterial) {
            return;
        }
        applyCalls++;
        lastApplied = m;
    }
    void ApplyMatrix(FXMatrix* m) override {
        lastAppliedMatrix = m;
        lastMatrix.Copy(m);
        curMatrix.Copy(m);
    }
    void EnableDepthWrite(bool on) override {
        if (recordDraws) {
            draws.push_back(on ? "depthwrite 1" : "depthwrite 0");
        }
    }
    void EnableCullface(bool front, bool back) override {
        if (recordDraws) {
            draws.push_back(std::string("cull ") + (front ? "1" : "0") + (back ? " 1" : " 0"));
        }
    }
    // Like the device: a fresh name when the material has none, refused without pixels.
    bool PrepareTexture(FXMaterial* m) override {
        prepareCalls++;
        lastPrepared = m;
        if (failPrepare || !FXHeadlessEnv::PrepareTexture(m)) {
            return false;
        }
        if (m->glTexture == 0) {
            m->glTexture = ++lastTextureName;
            liveTextures++;
        }
        return true;
    }
    void UnprepareTexture(FXMaterial* m) override {
        unprepareCalls++;
        if (m != nullptr && m->glTexture != 0) {
            m->glTexture = 0;
            liveTextures--;
        }
    }
    void RenderMesh(FXMesh* mesh) override {
        if (recordDraws) {
            draws.push_back("mesh");
            drawnMeshes.push_back(mesh);
        }
    }
};

#endif
