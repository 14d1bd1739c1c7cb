#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "object_test_helpers.h"
#include "objects/demo_gadget.h"
#include "objects/err_gadget.h"
#include "objects/planet.h"
#include "objects/tumo_gadget.h"
#include "support/alloc_counter.h"

namespace {

const int kFrames = 300;

// Every object is drawn once to settle (textures, timers), then kFrames more frames over 30 s of
// show time are counted: they must not allocate.
class RenderAllocTest : public ::testing::Test {
protected:
    TestEnv env;
    InFolder folder;

    void SetUp() override {
        ASSERT_TRUE(fxLoadDevil());
        fxSetEnv(&env);
        env.width = 640;
        env.height = 480;
        env.screenWidth = 640;
        env.screenHeight = 480;
    }
    void TearDown() override {
        fxSetEnv(nullptr);
        fxUnloadDevil();
    }

    std::string File(const std::string& name) { return folder.dir.File(name); }

    template <class R> int64_t CountFrames(R* object, double t0) {
        object->OnRender(&env, t0);
        fxTestAllocStart();
        for (int i = 1; i <= kFrames; i++) {
            object->OnRender(&env, t0 + 0.1 * i);
        }
        return fxTestAllocStop();
    }
};

} // namespace

TEST_F(RenderAllocTest, PlanetFramesDoNotAllocate) {
    ASSERT_TRUE(WriteSquareModel(File("shell.xm"), 0.0f));
    ASSERT_TRUE(fxTestWriteText(File("skin.mtl"), "newmtl skin\nKd 0.8 0.6 0.4\n"));
    ASSERT_TRUE(
        fxTestWriteText(File("skin.obj"), "mtllib skin.mtl\nv -1 -1 0\nv 1 -1 0\nv 0 1 0\nusemtl skin\nf 1 2 3\n"));
    {
        FXModel skin;
        ASSERT_TRUE(skin.ImportObj(File("skin.obj").c_str()));
        skin.UpdateMeshes();
        ASSERT_TRUE(skin.Save(File("skin.xm").c_str()));
    }
    // The show's layers, and one of each size axis.
    const int modes[] = {0, 1, 3, 2, 3, 3, 2, 3, 0, 0};
    for (int useMat = 0; useMat < 2; useMat++) {
        FXPlanet planet;
        planet.useMatColors = useMat == 1;
        planet.layerMatrixFirst = 1;
        planet.layerMatrix.SetScaleF(1.005f, 1.005f, 1.005f);
        for (int i = 0; i < FX_PLANET_MAX_LAYERS; i++) {
            ASSERT_TRUE(planet.AddLayer(File(useMat == 1 ? "skin.xm" : "shell.xm").c_str()));
            if (i == 0) {
                continue;
            }
            planet.SetLayerRot(modes[i], 3.0 + i, 5.0 + i);
            planet.SetLayerTransp(FX_PLANET_TRANSP, 2.0 + 0.5 * i);
            planet.SetLayerScale(i % 4, 2.0 + 0.5 * i);
            planet.SetLayerFluid(true);
        }
        EXPECT_EQ(CountFrames(&planet, 500.0), 0) << useMat;
    }
}

TEST_F(RenderAllocTest, DemoCubeFramesDoNotAllocate) {
    ASSERT_TRUE(WriteSolidPicture(File("face.png"), 16, 16, 0xFF0000FFu));
    ASSERT_TRUE(WriteSolidPicture(File("shell.png"), 16, 16, 0x8000FF00u));
    FXDemoGadget demo;
    ASSERT_TRUE(demo.Create(File("face.png").c_str(), File("shell.png").c_str()));
    // 30 s: the wait, the fade and the cube moving on its own.
    EXPECT_EQ(CountFrames(&demo, 100.0), 0);
    EXPECT_FALSE(demo.fading);
    EXPECT_EQ(CountFrames(&demo, 600.0), 0);
}

TEST_F(RenderAllocTest, MedallionAndCaptionFramesDoNotAllocate) {
    ASSERT_TRUE(WriteSquareModel(File("tumo_medallion.xm"), 0.0f));
    ASSERT_TRUE(WriteSolidPicture(File("label.png"), 32, 8, 0xFFFFFFFFu));
    ASSERT_TRUE(WriteSolidPicture(File("error_message.png"), 200, 50, 0xFF0000FFu));
    FXTumoGadget gad;
    ASSERT_TRUE(gad.Create());
    EXPECT_EQ(CountFrames(&gad, 10.0), 0);
    FXErrGadget err;
    ASSERT_TRUE(err.Create());
    err.visible = true;
    EXPECT_EQ(CountFrames(&err, 10.0), 0);
}
