#include <gtest/gtest.h>

#include <GL/gl.h>
#include <memory>

#include "base/other.h"
#include "objects/crystal.h"
#include "objects/firedesk.h"
#include "objects/techdesk.h"
#include "render/canvas.h"
#include "render/gl.h"
#include "render/material.h"
#include "render/window.h"
#include "support/alloc_counter.h"

// Frames of the scene objects on the real device. The driver allocates inside its own calls (a
// clear or a draw of the software rasteriser allocates hundreds of times a frame); that is the
// device's business, so the device operations are left out of the count. What is counted is the
// objects' own code, including the GL calls they make themselves. The driver keeps a draw's
// vertices until the next state change and allocates when it finally sends them; the draw is
// flushed inside its own operation so that this work is not booked on the state change after it.

namespace {

class PausingGL : public FXGL {
public:
    void Clrscr(bool colour, bool depth, bool stencil) override {
        FXTestAllocPause pause;
        FXGL::Clrscr(colour, depth, stencil);
    }
    void ApplyMatrix(FXMatrix* m) override {
        FXTestAllocPause pause;
        FXGL::ApplyMatrix(m);
    }
    void MultiplyMatrix(FXMatrix* m) override {
        FXTestAllocPause pause;
        FXGL::MultiplyMatrix(m);
    }
    void ApplyMatrixIdentity() override {
        FXTestAllocPause pause;
        FXGL::ApplyMatrixIdentity();
    }
    void RenderMesh(FXMesh* mesh) override {
        FXTestAllocPause pause;
        FXGL::RenderMesh(mesh);
        glFlush();
    }
};

class FrameAllocDisplay : public ::testing::Test {
protected:
    tagFXWindow window{};
    PausingGL gl;
    FXCanvas canvas;
    FXMaterial material;

    void SetUp() override {
        ASSERT_TRUE(fxCreateWindow(&window, 96, 64, nullptr, 0, 0));
        gl.CreateChild(&window);
        ASSERT_NE(gl.hglrc, nullptr) << "no OpenGL context";
        fxSetEnv(&gl);
        gl.SetAct(true);
        ASSERT_TRUE(canvas.pixmap.Realloc(16, 16));
        for (int i = 0; i < 256; i++) {
            canvas.pixmap.pixels[i] = 0xff3080c0u + (uint32_t)i;
        }
        material.mipmaps = false;
        ASSERT_TRUE(material.SetTexture(&canvas));
    }
    void TearDown() override {
        material.Destroy();
        gl.SetAct(false);
        fxSetEnv(nullptr);
        gl.Destroy();
        fxDestroyWindow(&window);
    }

    void Clear() {
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
    }
};

} // namespace

TEST_F(FrameAllocDisplay, CrystalFramesAllocateNothingAfterTheFirst) {
    std::unique_ptr<FXCrystal> crystal(new FXCrystal);
    ASSERT_TRUE(crystal->Create(&material));
    gl.EnableLights(true); // the scene draws the crystal lit: normals go to the device too
    Clear();
    crystal->OnRender(&gl, 0.0);
    bool sawFinished = false;
    fxTestAllocStart();
    for (int frame = 1; frame <= 400; frame++) {
        Clear();
        crystal->OnRender(&gl, frame * 0.04);
        sawFinished |= crystal->finished;
        if (frame == 300) {
            crystal->Restart();
        }
    }
    EXPECT_EQ(fxTestAllocStop(), 0);
    EXPECT_TRUE(sawFinished);
    gl.EnableLights(false);
    crystal->Destroy();
}

TEST_F(FrameAllocDisplay, TechDeskFramesAllocateNothingAfterTheFirst) {
    FXTechDesk tech;
    ASSERT_TRUE(tech.Create(256));
    tech.desk.SetMaterial(&material);
    Clear();
    tech.OnRender(&gl, 0.0);
    bool sawFinished = false;
    fxTestAllocStart();
    for (int frame = 1; frame <= 600; frame++) {
        Clear();
        tech.OnRender(&gl, frame / 30.0);
        sawFinished |= tech.finished;
        if (frame == 500) {
            tech.ReCreate();
        }
    }
    EXPECT_EQ(fxTestAllocStop(), 0);
    EXPECT_TRUE(sawFinished);
}

TEST_F(FrameAllocDisplay, FireDeskFramesAllocateNothingAfterTheFirst) {
    FXFireDesk fire;
    ASSERT_TRUE(fire.Create(1024));
    fire.desk.SetMaterial(&material);
    Clear();
    fire.OnRender(&gl, 0.0);
    bool sawFinished = false;
    fxTestAllocStart();
    for (int frame = 1; frame <= 300; frame++) {
        Clear();
        fire.OnRender(&gl, frame * 0.1);
        sawFinished |= fire.finished;
    }
    EXPECT_EQ(fxTestAllocStop(), 0);
    EXPECT_TRUE(sawFinished);
}
