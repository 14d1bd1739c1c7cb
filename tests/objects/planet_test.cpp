#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "models/model.h"
#include "io/package.h"
#include "geometry/mesh.h"
#include "object_test_helpers.h"
#include "objects/planet.h"
#include "render/material.h"

namespace {

// The first frame re-synchronises the never-restarted phasers to the clock (T0 lies more than two
// cycles after their start at 0), so from then on every phase is (time - T0) / duration.
const double T0 = 1000.0;

class PlanetTest : public ::testing::Test {
protected:
    RecordingEnv env;
    FXTestDir dir;
    FXPlanet planet;
    std::string square;

    void SetUp() override {
        fxSetEnv(&env);
        square = dir.File("square.xm");
        ASSERT_TRUE(WriteSquareModel(square, 0.0f));
    }
    void TearDown() override {
        planet.Destroy();
        fxSetEnv(nullptr);
    }

    FXModel* Layer(int i) { return (FXModel*)planet.layers.elements[i]; }
    FXMesh* Mesh(int layer) { return Layer(layer)->EnumMeshes(0); }

    // One frame under the placement base; answers the matrix each layer's mesh was drawn with.
    std::vector<FXMatrix> Frame(double time, const FXMatrix* base = nullptr) {
        FXMatrix identity;
        identity.SetIdentity();
        env.ApplyMatrix(base != nullptr ? (FXMatrix*)base : &identity);
        env.Forget();
        planet.OnRender(&env, time);
        std::vector<FXMatrix> out;
        for (const tagDrawnMesh& d : env.drawn) {
            out.push_back(d.matrix);
        }
        return out;
    }
};

} // namespace

TEST_F(PlanetTest, SettersWithoutALayerChangeNothing) {
    planet.SetLayerRot(3, 5.0, 6.0);
    planet.SetLayerTransp(FX_PLANET_TRANSP, 7.0);
    planet.SetLayerScale(2, 8.0);
    planet.SetLayerFluid(true);
    EXPECT_EQ(planet.count, 0);
    EXPECT_EQ(planet.current, -1);
    EXPECT_EQ(planet.rot1[0].duration, 10.0);
    EXPECT_EQ(planet.rot2[0].duration, 12.0);
    EXPECT_EQ(planet.pulse[0].duration, 4.0);
    EXPECT_EQ(planet.rotModes.size + planet.pulseFlags.size + planet.fluid.size, 0);

    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    EXPECT_EQ(planet.rotModes.GetInt(0), 0);
    EXPECT_EQ(planet.pulseFlags.GetInt(0), 0);
    EXPECT_EQ(planet.fluid.GetInt(0), 0);
}

TEST_F(PlanetTest, SettersChangeTheLayerAddedLast) {
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    EXPECT_EQ(planet.count, 2);
    EXPECT_EQ(planet.current, 1);
    planet.SetLayerRot(3, 240.0, 250.0);
    planet.SetLayerFluid(true);
    planet.SetLayerTransp(FX_PLANET_TRANSP, 30.0);
    planet.SetLayerScale(2, 6.0);
    EXPECT_EQ(planet.rotModes.GetInt(1), 3);
    EXPECT_EQ(planet.rot1[1].duration, 240.0);
    EXPECT_EQ(planet.rot2[1].duration, 250.0);
    EXPECT_EQ(planet.fluid.GetInt(1), 1);
    // Both pulses share one phaser: the last setter's duration holds.
    EXPECT_EQ(planet.pulseFlags.GetInt(1), FX_PLANET_TRANSP | 2);
    EXPECT_EQ(planet.pulse[1].duration, 6.0);
    // Each setter replaces only its own bits.
    planet.SetLayerScale(1, 6.0);
    EXPECT_EQ(planet.pulseFlags.GetInt(1), FX_PLANET_TRANSP | 1);
    planet.SetLayerTransp(0, 9.0);
    EXPECT_EQ(planet.pulseFlags.GetInt(1), 1);
    EXPECT_EQ(planet.pulse[1].duration, 9.0);
    planet.SetLayerFluid(false);
    EXPECT_EQ(planet.fluid.GetInt(1), 0);
    // The first layer kept its defaults.
    EXPECT_EQ(planet.rotModes.GetInt(0), 0);
    EXPECT_EQ(planet.pulseFlags.GetInt(0), 0);
    EXPECT_EQ(planet.fluid.GetInt(0), 0);
    EXPECT_EQ(planet.rot1[0].duration, 10.0);
}

TEST_F(PlanetTest, LayersComeFromFilesAndPackagesAndTakeTheColour) {
    std::string dat = dir.File("p.dat");
    {
        FXPackage pkg;
        pkg.AddDataFile(14, square.c_str());
        ASSERT_TRUE(pkg.Save(dat.c_str(), 0));
    }
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dat.c_str()));
    const float tint[4] = {0.25f, 0.5f, 0.75f, 0.5f};
    for (int k = 0; k < 4; k++) {
        planet.color[k] = tint[k];
    }
    ASSERT_TRUE(planet.AddLayerCN(&pkg, 14));
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    for (int i = 0; i < 2; i++) {
        FXMesh* mesh = Mesh(i);
        ASSERT_NE(mesh, nullptr) << i;
        EXPECT_EQ(mesh->vertexCount, 4);
        EXPECT_EQ(mesh->colourMode, 1);
        for (int v = 0; v < mesh->vertexCount; v++) {
            for (int k = 0; k < 4; k++) {
                EXPECT_EQ(mesh->vertices[v].colour[k], tint[k]);
            }
        }
    }
    // A missing entry or file still makes a layer, one that draws nothing.
    ASSERT_TRUE(planet.AddLayerCN(&pkg, 99));
    ASSERT_TRUE(planet.AddLayer(dir.File("missing.xm").c_str()));
    EXPECT_EQ(planet.count, 4);
    EXPECT_EQ(planet.current, 3);
    EXPECT_EQ(Frame(T0).size(), 2u);
}

TEST_F(PlanetTest, MaterialColoursMultiplyTheLayersMaterials) {
    InFolder folder;
    ASSERT_TRUE(fxTestWriteText(folder.dir.File("shell.mtl"), "newmtl skin\nKd 0.8 0.6 0.4\nd 1\n"));
    ASSERT_TRUE(fxTestWriteText(folder.dir.File("shell.obj"),
                                "mtllib shell.mtl\nv -1 -1 0\nv 1 -1 0\nv 0 1 0\nusemtl skin\nf 1 2 3\n"));
    {
        FXModel source;
        ASSERT_TRUE(source.ImportObj(folder.dir.File("shell.obj").c_str()));
        source.UpdateMeshes();
        ASSERT_TRUE(source.Save(folder.dir.File("shell.xm").c_str()));
    }
    planet.useMatColors = true;
    planet.color[0] = 0.5f;
    planet.color[3] = 1.0f;
    ASSERT_TRUE(planet.AddLayer(folder.dir.File("shell.xm").c_str()));
    planet.SetLayerTransp(FX_PLANET_TRANSP, 4.0);
    FXMaterial* skin = Mesh(0)->material;
    ASSERT_NE(skin, nullptr);
    EXPECT_FLOAT_EQ(skin->diffuse[0], 0.4f);
    EXPECT_FLOAT_EQ(skin->diffuse[1], 0.6f);
    EXPECT_EQ(Mesh(0)->colourMode, 0);
    // Halfway up the pulse the material's alpha is half of the colour's; the factors never
    // accumulate from frame to frame.
    Frame(T0);
    Frame(T0 + 1.0);
    EXPECT_FLOAT_EQ(skin->diffuse[3], 0.5f);
    EXPECT_FLOAT_EQ(skin->diffuse[0], 0.4f);
    Frame(T0 + 1.0);
    EXPECT_FLOAT_EQ(skin->diffuse[3], 0.5f);
    EXPECT_FLOAT_EQ(skin->diffuse[0], 0.4f);
    planet.Destroy();
}

TEST_F(PlanetTest, AnEleventhLayerIsRefusedWithATrace) {
    for (int i = 0; i < FX_PLANET_MAX_LAYERS; i++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str())) << i;
    }
    planet.SetLayerFluid(true);
    bool added = true;
    std::string log = TracedIn(dir, [&] { added = planet.AddLayer(square.c_str()); });
    EXPECT_FALSE(added);
    EXPECT_NE(log.find("#ERROR: "), std::string::npos) << log;
    EXPECT_NE(log.find("FXPlanet::AddLayer"), std::string::npos) << log;
    log = TracedIn(dir, [&] { added = planet.AddLayerCN(nullptr, 3); });
    EXPECT_FALSE(added);
    EXPECT_NE(log.find("FXPlanet::AddLayerCN"), std::string::npos) << log;
    EXPECT_EQ(planet.count, FX_PLANET_MAX_LAYERS);
    EXPECT_EQ(planet.current, FX_PLANET_MAX_LAYERS - 1);
    EXPECT_EQ(planet.layers.size, FX_PLANET_MAX_LAYERS);
    EXPECT_EQ(planet.fluid.GetInt(FX_PLANET_MAX_LAYERS - 1), 1);
    EXPECT_EQ(Frame(T0).size(), (size_t)FX_PLANET_MAX_LAYERS);
}

TEST_F(PlanetTest, DestroyEmptiesTheListsSoNewLayersHaveTheirOwnFlags) {
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    planet.SetLayerFluid(true);
    planet.SetLayerRot(2, 5.0, 5.0);
    planet.SetLayerTransp(FX_PLANET_TRANSP, 5.0);
    planet.Destroy();
    EXPECT_EQ(planet.count, 0);
    EXPECT_EQ(planet.current, -1);
    EXPECT_EQ(planet.layers.size + planet.rotModes.size + planet.pulseFlags.size + planet.fluid.size, 0);
    EXPECT_TRUE(Frame(T0).empty());
    planet.SetLayerFluid(true); // no layer: nothing happens
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    EXPECT_EQ(planet.fluid.GetInt(0), 0);
    EXPECT_EQ(planet.rotModes.GetInt(0), 0);
    EXPECT_EQ(planet.pulseFlags.GetInt(0), 0);
    planet.Destroy();
    planet.Destroy();
    EXPECT_EQ(planet.count, 0);
}

// Mode 1 turns about X, one turn per rot1 duration; even layers turn the negative way, odd ones
// the positive way.
TEST_F(PlanetTest, ModeOneTurnsAboutXInAlternatingDirections) {
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str()));
        planet.SetLayerRot(1, 10.0, 99.0);
    }
    std::vector<FXMatrix> m = Frame(T0);
    ASSERT_EQ(m.size(), 4u);
    for (int i = 0; i < 4; i++) {
        EXPECT_TRUE(Near3(TransformDir(m[i], 0, 1, 0), 0.0f, 1.0f, 0.0f, 1e-6f));
    }
    m = Frame(T0 + 2.5); // a quarter turn: (0, 1, 0) goes to (0, 0, -1) for -90 degrees
    ASSERT_EQ(m.size(), 4u);
    for (int i = 0; i < 4; i++) {
        float sign = i % 2 == 1 ? 1.0f : -1.0f;
        EXPECT_TRUE(Near3(TransformDir(m[i], 0, 1, 0), 0.0f, 0.0f, sign, 1e-4f)) << i;
        EXPECT_TRUE(Near3(TransformDir(m[i], 1, 0, 0), 1.0f, 0.0f, 0.0f, 1e-6f)) << i;
    }
    m = Frame(T0 + 6.25); // 225 degrees
    for (int i = 0; i < 4; i++) {
        float sign = i % 2 == 1 ? 1.0f : -1.0f;
        EXPECT_TRUE(Near3(TransformDir(m[i], 0, 1, 0), 0.0f, -0.70710677f, -0.70710677f * sign, 1e-4f)) << i;
    }
    m = Frame(T0 + 10.0); // a full turn, at constant speed
    for (int i = 0; i < 4; i++) {
        EXPECT_TRUE(Near3(TransformDir(m[i], 0, 1, 0), 0.0f, 1.0f, 0.0f, 1e-6f)) << i;
    }
    EXPECT_EQ(planet.rot2[0].startTime, 0.0); // mode 1 leaves the second timer alone
}

TEST_F(PlanetTest, ModeTwoTurnsAboutYWithTheFirstTimer) {
    for (int i = 0; i < 2; i++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str()));
        planet.SetLayerRot(2, 10.0, 40.0);
    }
    Frame(T0);
    std::vector<FXMatrix> m = Frame(T0 + 2.5);
    ASSERT_EQ(m.size(), 2u);
    // A quarter of rot1's 10 s. The engine's Y turn by +d degrees sends (1, 0, 0) towards
    // (0, 0, 1): layer 0 (-90 degrees) goes to (0, 0, -1), layer 1 (+90) to (0, 0, 1). With rot2's
    // 40 s it would have turned only 22.5 degrees.
    EXPECT_TRUE(Near3(TransformDir(m[0], 1, 0, 0), 0.0f, 0.0f, -1.0f, 1e-4f));
    EXPECT_TRUE(Near3(TransformDir(m[1], 1, 0, 0), 0.0f, 0.0f, 1.0f, 1e-4f));
    EXPECT_TRUE(Near3(TransformDir(m[0], 0, 1, 0), 0.0f, 1.0f, 0.0f, 1e-6f));
    EXPECT_EQ(planet.rot2[0].startTime, 0.0);
    EXPECT_EQ(planet.rot1[0].startTime, T0);
}

// Mode 3 turns about Y by rot2 (sign from bit 1 of the index) and then about X by rot1 (bit 0).
// Right angles are off by the engine's degree constant, hence the tolerance.
TEST_F(PlanetTest, ModeThreeTurnsAboutYThenX) {
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str()));
        planet.SetLayerRot(3, 10.0, 20.0);
    }
    Frame(T0);
    std::vector<FXMatrix> m = Frame(T0 + 2.5);
    ASSERT_EQ(m.size(), 4u);
    const float h = 0.70710677f;
    // Layer 2: X by -90 degrees, Y by +45. (1, 0, 0) -Y-> (h, 0, h) -X-> (h, h, 0).
    EXPECT_TRUE(Near3(TransformDir(m[2], 1, 0, 0), h, h, 0.0f, 1e-4f));
    // Layer 1: X by +90, Y by -45: (1, 0, 0) -> (h, 0, -h) -> (h, h, 0).
    EXPECT_TRUE(Near3(TransformDir(m[1], 1, 0, 0), h, h, 0.0f, 1e-4f));
    // Layer 0: X by -90, Y by -45: (1, 0, 0) -> (h, 0, -h) -> (h, -h, 0).
    EXPECT_TRUE(Near3(TransformDir(m[0], 1, 0, 0), h, -h, 0.0f, 1e-4f));
    // Layer 3: X by +90, Y by +45: (1, 0, 0) -> (h, 0, h) -> (h, -h, 0).
    EXPECT_TRUE(Near3(TransformDir(m[3], 1, 0, 0), h, -h, 0.0f, 1e-4f));
    // The Y turn is the one applied first: (0, 1, 0) only sees the X turn.
    EXPECT_TRUE(Near3(TransformDir(m[2], 0, 1, 0), 0.0f, 0.0f, -1.0f, 1e-4f));
}

TEST_F(PlanetTest, UnknownModesDoNotTurnOrAdvance) {
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    planet.SetLayerRot(7, 10.0, 10.0);
    FXMatrix base;
    base.SetMoveF(1.0f, 2.0f, 3.0f);
    std::vector<FXMatrix> m = Frame(T0 + 3.0, &base);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_TRUE(m[0].Compare(&base));
    EXPECT_EQ(planet.rot1[0].startTime, 0.0);
    EXPECT_EQ(planet.pulse[0].startTime, 0.0);
}

TEST_F(PlanetTest, EveryLayerStartsFromTheSameBaseAndTheLayerMatrixCoversItsRange) {
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str()));
    }
    planet.SetLayerRot(1, 10.0, 10.0); // the last layer turns; its turn must not reach the others
    planet.layerMatrixFirst = 1;
    planet.layerMatrixLast = 2;
    planet.layerMatrix.SetScaleF(2.0f, 2.0f, 2.0f);
    FXMatrix base;
    base.SetMoveF(0.5f, 0.0f, 0.0f);
    Frame(T0, &base);
    std::vector<FXMatrix> m = Frame(T0 + 2.5, &base);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_TRUE(Near3(Transform(m[0], 1, 0, 0), 1.5f, 0.0f, 0.0f, 1e-6f));
    EXPECT_TRUE(Near3(Transform(m[1], 1, 0, 0), 2.5f, 0.0f, 0.0f, 1e-6f));
    EXPECT_TRUE(Near3(Transform(m[2], 1, 0, 0), 2.5f, 0.0f, 0.0f, 1e-6f));
    EXPECT_TRUE(Near3(Transform(m[3], 0, 1, 0), 0.5f, 0.0f, 1.0f, 1e-4f));
    // The default range 1000 ... 1000 selects no layer.
    FXPlanet plain;
    ASSERT_TRUE(plain.AddLayer(square.c_str()));
    ASSERT_TRUE(plain.AddLayer(square.c_str()));
    plain.layerMatrix.SetScaleF(2.0f, 2.0f, 2.0f);
    env.ApplyMatrix(&base);
    env.Forget();
    plain.OnRender(&env, T0);
    ASSERT_EQ(env.drawn.size(), 2u);
    EXPECT_TRUE(env.drawn[1].matrix.Compare(&base));
}

// The size pulse stretches the chosen axis by 0.7 p and thins the others by 0.9 p, p rising
// over the pulse duration and snapping back to 0.
TEST_F(PlanetTest, SizePulsesStretchOneAxisAndThinTheOthers) {
    for (int axis = 1; axis <= 3; axis++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str()));
        planet.SetLayerScale(axis, 4.0);
    }
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    planet.SetLayerScale(0, 4.0); // axis 0: no pulse at all
    struct Step {
        double t;
        float grow, shrink;
    };
    const Step steps[] = {{T0, 1.0f, 1.0f},
                          {T0 + 2.0, 1.35f, 0.55f},
                          {T0 + 3.996, 1.6993f, 0.1009f},
                          {T0 + 4.0, 1.0f, 1.0f},
                          {T0 + 5.0, 1.175f, 0.775f}};
    for (const Step& s : steps) {
        std::vector<FXMatrix> m = Frame(s.t);
        ASSERT_EQ(m.size(), 4u);
        EXPECT_TRUE(Near3(Transform(m[0], 1, 1, 1), s.grow, s.shrink, s.shrink, 1e-4f)) << s.t;
        EXPECT_TRUE(Near3(Transform(m[1], 1, 1, 1), s.shrink, s.grow, s.shrink, 1e-4f)) << s.t;
        EXPECT_TRUE(Near3(Transform(m[2], 1, 1, 1), s.shrink, s.shrink, s.grow, 1e-4f)) << s.t;
        EXPECT_TRUE(Near3(Transform(m[3], 1, 1, 1), 1.0f, 1.0f, 1.0f, 1e-6f)) << s.t;
    }
    EXPECT_EQ(planet.pulse[3].startTime, 0.0);
}

// Alpha follows a triangle 0 -> colour alpha -> 0 over each pulse cycle; RGB stay the colour's.
TEST_F(PlanetTest, TransparencyPulsesFadeTheVertexColours) {
    const float tint[4] = {1.0f, 0.5f, 0.25f, 0.8f};
    for (int k = 0; k < 4; k++) {
        planet.color[k] = tint[k];
    }
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    ASSERT_TRUE(planet.AddLayer(square.c_str()));
    planet.SetLayerTransp(FX_PLANET_TRANSP, 4.0);
    // The first layer has no pulse: its colours are not rewritten per frame.
    float mark[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    Mesh(0)->SetVerticesCol(mark);
    struct Step {
        double t;
        float alpha;
    };
    const Step steps[] = {{T0, 0.0f},       {T0 + 1.0, 0.4f}, {T0 + 2.0, 0.8f},
                          {T0 + 3.0, 0.4f}, {T0 + 4.0, 0.0f}, {T0 + 4.5, 0.2f}};
    for (const Step& s : steps) {
        Frame(s.t);
        for (int v = 0; v < 4; v++) {
            const float* c = Mesh(1)->vertices[v].colour;
            EXPECT_FLOAT_EQ(c[0], 1.0f);
            EXPECT_FLOAT_EQ(c[1], 0.5f);
            EXPECT_FLOAT_EQ(c[2], 0.25f);
            EXPECT_NEAR(c[3], s.alpha, 1e-6f) << s.t;
            EXPECT_EQ(Mesh(0)->vertices[v].colour[3], 0.4f);
        }
    }
    // The pulse did not move the layer: it has no size axis.
    std::vector<FXMatrix> m = Frame(T0 + 5.0);
    EXPECT_TRUE(Near3(Transform(m[1], 1, 1, 1), 1.0f, 1.0f, 1.0f, 1e-6f));
}

TEST_F(PlanetTest, FluidLayersAreDrawnWithoutDepthWrites) {
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(planet.AddLayer(square.c_str()));
        planet.SetLayerFluid(i == 1);
    }
    env.depthWrite = false;
    Frame(T0);
    ASSERT_EQ(env.drawn.size(), 3u);
    EXPECT_TRUE(env.drawn[0].depthWrite);
    EXPECT_FALSE(env.drawn[1].depthWrite);
    EXPECT_TRUE(env.drawn[2].depthWrite);
}
