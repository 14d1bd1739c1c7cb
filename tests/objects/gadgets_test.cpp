#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "io/package.h"
#include "base/other.h"
#include "object_test_helpers.h"
#include "objects/demo_gadget.h"
#include "objects/err_gadget.h"
#include "objects/tumo_gadget.h"
#include "render/canvas.h"

namespace {

const uint32_t kRed = 0xFF0000FFu;
const uint32_t kGreen = 0xFF00FF00u;
const uint32_t kBlue = 0xFFFF0000u;
const uint32_t kWhite = 0xFFFFFFFFu;

// Gadgets draw through a recording device; their pictures are real files in a fresh folder that
// is the current folder while the test runs.
class GadgetTest : public ::testing::Test {
protected:
    RecordingEnv env;
    InFolder folder;

    void SetUp() override {
        ASSERT_TRUE(fxLoadDevil());
        fxSetEnv(&env);
        env.width = 400;
        env.height = 200;
        env.screenWidth = 1024;
        env.screenHeight = 768;
    }
    void TearDown() override {
        fxSetEnv(nullptr);
        fxUnloadDevil();
    }

    std::string File(const std::string& name) { return folder.dir.File(name); }

    // A package holding the given files under the given ids.
    bool MakePackage(FXPackage* pkg, const std::vector<std::pair<int, std::string>>& entries) {
        FXPackage build;
        for (const auto& e : entries) {
            build.AddDataFile(e.first, File(e.second).c_str());
        }
        std::string dat = File("gadgets.dat");
        return build.Save(dat.c_str(), 0) && pkg->Load(dat.c_str());
    }

    size_t Meshes() { return env.drawn.size(); }
};

// (x, y) of normalised device coordinates as pixels from the top-left corner of a w x h screen.
std::vector<float> ToPixels(const std::vector<float>& p, float w, float h) {
    return {(p[0] + 1.0f) * 0.5f * w, (1.0f - p[1]) * 0.5f * h, 0.0f};
}

// The 15-bit generator output that the route turned into this coordinate, or -1.
int RouteDraw(float coordinate) {
    for (int r = 0; r <= 32767; r++) {
        float random = (float)(r / 32767.0);
        if ((2.0f * random - 1.0f) * 0.7f == coordinate) {
            return r;
        }
    }
    return -1;
}

// Whether some state of the generator yields exactly these outputs one after the other.
bool OneRunOfTheGenerator(const std::vector<int>& outputs) {
    for (uint32_t unknown = 0; unknown < (1u << 17); unknown++) {
        // The state after the first draw: its bits 16 ... 30 are that draw's output.
        uint32_t state = (unknown & 0xFFFFu) | ((uint32_t)outputs[0] << 16) | ((unknown >> 16) << 31);
        size_t k = 1;
        for (; k < outputs.size(); k++) {
            state = state * 214013u + 2531011u;
            if ((int)((state >> 16) & 0x7FFF) != outputs[k]) {
                break;
            }
        }
        if (k == outputs.size()) {
            return true;
        }
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Demo cube

TEST_F(GadgetTest, DemoCubeBuildsItsRouteTimersAndPictures) {
    ASSERT_TRUE(WriteSolidPicture(File("face.png"), 8, 8, kRed));
    ASSERT_TRUE(WriteSolidPicture(File("shell.png"), 16, 4, kGreen));
    FXDemoGadget demo;
    ASSERT_TRUE(demo.Create(File("face.png").c_str(), File("shell.png").c_str()));

    ASSERT_EQ(demo.route.GetCnt(), 20);
    EXPECT_TRUE(demo.route.closed);
    for (int i = 0; i < 20; i++) {
        const float* p = &demo.route.points.elements[3 * i];
        EXPECT_LE(std::fabs(p[0]), 0.7f);
        EXPECT_LE(std::fabs(p[1]), 0.7f);
        EXPECT_EQ(p[2], 0.0f);
    }
    // Phases by chord length, and a lap of 640 s per unit of average chord.
    ASSERT_EQ(demo.route.phases.size, 20);
    float chord = std::hypot(demo.route.points.elements[3] - demo.route.points.elements[0],
                             demo.route.points.elements[4] - demo.route.points.elements[1]);
    EXPECT_NEAR(demo.route.phases.elements[1], chord / demo.route.totalLength, 1e-5f);
    EXPECT_NEAR(demo.route.averageLength, demo.route.totalLength / 20.0f, 1e-5f);
    EXPECT_EQ(demo.routePhaser.duration, 640.0 * (double)demo.route.averageLength);
    EXPECT_TRUE(demo.routePhaser.loop);
    EXPECT_EQ(demo.rotX.duration, 56.0);
    EXPECT_EQ(demo.rotY.duration, 72.0);
    EXPECT_TRUE(demo.rotX.loop && demo.rotY.loop);
    EXPECT_FALSE(demo.rotX.pingPong || demo.rotX.smooth || demo.rotX.semiSmooth);
    EXPECT_EQ(demo.delay.duration, 15.0);
    EXPECT_EQ(demo.fade.duration, 2.0);
    EXPECT_FALSE(demo.delay.loop || demo.fade.loop);
    EXPECT_TRUE(demo.restartPending && demo.delaying && demo.fading);

    // The face picture is darkened to half, the shell keeps full white.
    EXPECT_EQ(demo.faceMat.GetWidth(), 8);
    EXPECT_EQ(demo.shellMat.GetWidth(), 16);
    EXPECT_TRUE(demo.faceMat.hasTexture && demo.shellMat.hasTexture);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(demo.faceMat.diffuse[k], 0.5f);
        EXPECT_EQ(demo.faceMat.preservedCols[1][k], 0.5f);
        EXPECT_EQ(demo.shellMat.diffuse[k], 1.0f);
    }
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(demo.cubeFaces[i].mesh.material, &demo.faceMat);
        EXPECT_EQ(demo.cubeShell[i].mesh.material, &demo.shellMat);
        EXPECT_EQ(demo.cubeFaces[i].mesh.vertexCount, 4);
    }
}

TEST_F(GadgetTest, DemoRouteTakesXThenYFromOneRunOfTheGenerator) {
    FXDemoGadget demo;
    demo.Create(File("none.png").c_str(), File("none.png").c_str());
    ASSERT_EQ(demo.route.GetCnt(), 20);
    std::vector<int> outputs;
    for (int i = 0; i < 40; i++) {
        int r = RouteDraw(demo.route.points.elements[3 * (i / 2) + i % 2]);
        ASSERT_GE(r, 0) << i;
        outputs.push_back(r);
    }
    // The generator runs on: its next output continues the same run.
    outputs.push_back(fxRand());
    EXPECT_TRUE(OneRunOfTheGenerator(outputs));
    // Read in the other order, the same values are not a run of the generator.
    std::vector<int> swapped = outputs;
    for (int i = 0; i < 40; i += 2) {
        std::swap(swapped[i], swapped[i + 1]);
    }
    EXPECT_FALSE(OneRunOfTheGenerator(swapped));
}

TEST_F(GadgetTest, DemoFacesCoverTheSixSidesFacingOutwards) {
    FXDemoGadget demo;
    demo.Create(File("none.png").c_str(), File("none.png").c_str());
    std::set<std::vector<int>> sides;
    for (int i = 0; i < 6; i++) {
        std::vector<float> c = Transform(demo.faceMatrix[i], 0, 0, 0);
        std::vector<float> n = TransformDir(demo.faceMatrix[i], 0, 0, -1); // a desk's normal
        std::vector<int> side;
        for (int k = 0; k < 3; k++) {
            side.push_back((int)std::lround(c[k]));
            EXPECT_NEAR(n[k], c[k], 1e-4f) << i; // the normal points away from the centre
        }
        sides.insert(side);
        // The quad's corners stay on that side: the cube has half-size 1.
        std::vector<float> corner = Transform(demo.faceMatrix[i], 1, 1, 0);
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(std::fabs(corner[k]), 1.0f, 1e-4f) << i;
        }
    }
    EXPECT_EQ(sides.size(), 6u);
    EXPECT_TRUE(Near3(Transform(demo.faceMatrix[0], 0, 0, 0), 0.0f, 0.0f, -1.0f, 0.0f));
    EXPECT_TRUE(Near3(Transform(demo.faceMatrix[5], 0, 0, 0), 0.0f, 0.0f, 1.0f, 1e-4f));
}

TEST_F(GadgetTest, DemoCubeWaitsFifteenSecondsThenFadesInOverTwo) {
    ASSERT_TRUE(WriteSolidPicture(File("face.png"), 8, 8, kRed));
    ASSERT_TRUE(WriteSolidPicture(File("shell.png"), 8, 8, kGreen));
    FXDemoGadget demo;
    ASSERT_TRUE(demo.CreateCN(nullptr, 28, 29) == false); // no package: built, untextured
    ASSERT_TRUE(demo.Create(File("face.png").c_str(), File("shell.png").c_str()));
    const double t0 = 200.0;
    const double hidden[] = {t0, t0 + 1.0, t0 + 7.5, t0 + 14.99, t0 + 15.0};
    for (double t : hidden) {
        env.Forget();
        demo.OnRender(&env, t);
        EXPECT_TRUE(env.calls.empty()) << t;
    }
    struct Step {
        double t;
        float alpha;
    };
    const Step steps[] = {
        {t0 + 15.5, 0.25f}, {t0 + 16.0, 0.5f}, {t0 + 16.5, 0.75f}, {t0 + 17.0, 1.0f}, {t0 + 30.0, 1.0f}};
    for (const Step& s : steps) {
        env.Forget();
        demo.OnRender(&env, s.t);
        EXPECT_EQ(Meshes(), 12u) << s.t;
        EXPECT_FLOAT_EQ(demo.faceMat.diffuse[3], s.alpha) << s.t;
        EXPECT_FLOAT_EQ(demo.shellMat.diffuse[3], s.alpha) << s.t;
        EXPECT_FLOAT_EQ(demo.faceMat.diffuse[0], 0.5f);
        EXPECT_FLOAT_EQ(demo.shellMat.diffuse[0], 1.0f);
    }
    EXPECT_FALSE(demo.delaying);
    EXPECT_FALSE(demo.fading);
}

TEST_F(GadgetTest, DemoCubeIsPlacedOnItsRouteFacesFirstThenTheShell) {
    FXDemoGadget demo;
    demo.Create(File("none.png").c_str(), File("none.png").c_str());
    demo.OnRender(&env, 300.0);
    demo.OnRender(&env, 315.0);
    FXMatrix scene;
    scene.SetMoveF(0.0f, 0.0f, 0.25f);
    env.ApplyMatrix(&scene);
    env.Forget();
    demo.OnRender(&env, 315.25);
    ASSERT_EQ(Meshes(), 12u);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(env.drawn[i].mesh, &demo.cubeFaces[i].mesh);
        EXPECT_EQ(env.drawn[6 + i].mesh, &demo.cubeShell[i].mesh);
    }
    // The tumbling timers were re-synchronised in this frame: no turn yet. The cube is centred on
    // the route's point, 0.6 wide and 0.732 high, on top of what the owner had applied.
    float p[3];
    demo.route.GetAll(p, demo.routePhaser.value);
    EXPECT_EQ(demo.rotX.value, 0.0f);
    EXPECT_EQ(demo.rotY.value, 0.0f);
    const FXMatrix& front = env.drawn[0].matrix;
    EXPECT_TRUE(Near3(Transform(front, -1, 1, 0), p[0] - 0.3f, p[1] + 0.366f, 0.25f - 0.3f, 1e-5f));
    EXPECT_TRUE(Near3(Transform(front, 1, -1, 0), p[0] + 0.3f, p[1] - 0.366f, 0.25f - 0.3f, 1e-5f));
    const FXMatrix& frontShell = env.drawn[6].matrix;
    EXPECT_TRUE(Near3(Transform(frontShell, 1, -1, 0), p[0] + 0.3003f, p[1] - 0.366366f, 0.25f - 0.3003f, 1e-5f));

    // Later the cube has moved along the route and turned by the tumbling timers.
    env.ApplyMatrixIdentity();
    env.Forget();
    demo.OnRender(&env, 315.25 + 14.0); // a quarter of 56 s about X
    demo.route.GetAll(p, demo.routePhaser.value);
    EXPECT_FLOAT_EQ(demo.rotX.value, 0.25f);
    // Face 0's centre, (0, 0, -1) on the cube, turned 70 degrees about Y (14 of 72 s) and then a
    // quarter turn about X, ends at (sin 70, cos 70, 0) times the cube's scale from the point.
    EXPECT_FLOAT_EQ(demo.rotY.value, 14.0f / 72.0f);
    const float b = 70.0f * 3.1415927f / 180.0f;
    EXPECT_TRUE(Near3(Transform(env.drawn[0].matrix, 0, 0, 0), p[0] + 0.3f * std::sin(b), p[1] + 0.366f * std::cos(b),
                      0.0f, 1e-3f));
}

TEST_F(GadgetTest, DemoCubeFromThePackageAndAfterDestroy) {
    ASSERT_TRUE(WriteSolidPicture(File("face.png"), 8, 8, kRed));
    ASSERT_TRUE(WriteSolidPicture(File("shell.png"), 4, 4, kBlue));
    FXPackage pkg;
    ASSERT_TRUE(MakePackage(&pkg, {{28, "face.png"}, {29, "shell.png"}}));
    FXDemoGadget demo;
    demo.OnRender(&env, 10.0); // never created: nothing
    EXPECT_TRUE(env.calls.empty());
    ASSERT_TRUE(demo.CreateCN(&pkg, 28, 29));
    EXPECT_EQ(demo.faceMat.GetWidth(), 8);
    EXPECT_EQ(demo.shellMat.GetWidth(), 4);
    EXPECT_EQ(demo.faceMat.diffuse[0], 0.5f);
    EXPECT_EQ(demo.route.GetCnt(), 20);
    // A missing shell entry leaves the shell untextured but the cube built.
    FXDemoGadget partial;
    EXPECT_FALSE(partial.CreateCN(&pkg, 28, 30));
    EXPECT_FALSE(partial.shellMat.hasTexture);
    EXPECT_TRUE(partial.faceMat.hasTexture);
    EXPECT_EQ(partial.cubeShell[5].mesh.vertexCount, 4);

    demo.Destroy();
    EXPECT_EQ(demo.route.GetCnt(), 0);
    EXPECT_FALSE(demo.faceMat.hasTexture || demo.shellMat.hasTexture);
    EXPECT_EQ(demo.cubeFaces[0].mesh.vertexCount + demo.cubeShell[5].mesh.vertexCount, 0);
    env.Forget();
    demo.OnRender(&env, 10.0);
    demo.OnRender(&env, 30.0);
    EXPECT_TRUE(env.calls.empty());
    demo.Destroy();
}

// ---------------------------------------------------------------------------------------------
// Medallion

TEST_F(GadgetTest, MedallionFileFormVeilsTheModelAndTheLabel) {
    const float own[4] = {0.2f, 0.3f, 0.4f, 1.0f};
    ASSERT_TRUE(WriteSquareModel(File("tumo_medallion.xm"), 0.0f, -1.0f, 1.0f, own, 0));
    ASSERT_TRUE(WriteSolidPicture(File("label.png"), 32, 8, kWhite));
    FXTumoGadget gad;
    ASSERT_TRUE(gad.Create());
    FXMesh* mesh = gad.model.EnumMeshes(0);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->colourMode, 1);
    for (int v = 0; v < mesh->vertexCount; v++) {
        EXPECT_EQ(mesh->vertices[v].colour[0], 1.0f);
        EXPECT_EQ(mesh->vertices[v].colour[3], 0.4f);
    }
    EXPECT_EQ(gad.label.mesh.colourMode, 1);
    EXPECT_EQ(gad.label.mesh.material, &gad.labelMat);
    EXPECT_EQ(gad.labelMat.GetWidth(), 32);
    for (int v = 0; v < 4; v++) {
        EXPECT_EQ(gad.label.mesh.vertices[v].colour[2], 1.0f);
        EXPECT_EQ(gad.label.mesh.vertices[v].colour[3], 0.4f);
    }
    EXPECT_EQ(gad.spin.duration, 8.0);
    EXPECT_EQ(rotate_dur, 8.0);
    EXPECT_TRUE(gad.spin.loop);
    EXPECT_TRUE(gad.restartPending);
}

TEST_F(GadgetTest, MedallionPackageFormKeepsTheModelsOwnColours) {
    ASSERT_TRUE(WriteSquareModel(File("medal.xm"), 0.0f));
    ASSERT_TRUE(WriteSolidPicture(File("label.png"), 32, 8, kWhite));
    FXPackage pkg;
    ASSERT_TRUE(MakePackage(&pkg, {{4, "medal.xm"}, {5, "label.png"}}));
    FXTumoGadget gad;
    ASSERT_TRUE(gad.CreateCN(&pkg, 5, 4));
    FXMesh* mesh = gad.model.EnumMeshes(0);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->colourMode, 0);
    EXPECT_NE(mesh->vertices[0].colour[3], 0.4f);
    EXPECT_EQ(gad.labelMat.GetWidth(), 32);
    EXPECT_EQ(gad.label.mesh.vertices[3].colour[3], 0.4f);
    // Entries that are missing leave an empty model and a plain label that still draw.
    FXTumoGadget empty;
    EXPECT_FALSE(empty.CreateCN(&pkg, 6, 7));
    empty.OnRender(&env, 1.0);
    ASSERT_EQ(Meshes(), 1u);
    EXPECT_EQ(env.drawn[0].mesh, &empty.label.mesh);
}

// Placement by window shape: 0.18 of the shorter half-side each way, centred at
// (0.9 - sx, sy - 0.85); the label 0.25 below, 1.332 times as wide and a third as high.
TEST_F(GadgetTest, MedallionStaysSquareInTheLowerRightCorner) {
    ASSERT_TRUE(WriteSquareModel(File("tumo_medallion.xm"), 0.0f));
    ASSERT_TRUE(WriteSolidPicture(File("label.png"), 32, 8, kWhite));
    FXTumoGadget gad;
    ASSERT_TRUE(gad.Create());
    struct Shape {
        int w, h;
        float sx, sy;
    };
    const Shape shapes[] = {
        {400, 200, 0.09f, 0.18f}, {300, 300, 0.18f, 0.18f}, {200, 400, 0.18f, 0.09f}, {1280, 1024, 0.144f, 0.18f}};
    for (const Shape& s : shapes) {
        env.width = s.w;
        env.height = s.h;
        env.Forget();
        gad.OnRender(&env, 50.0);
        ASSERT_EQ(Meshes(), 2u) << s.w;
        float cx = 0.9f - s.sx;
        float cy = s.sy - 0.85f;
        const FXMatrix& model = env.drawn[0].matrix;
        EXPECT_TRUE(Near3(Transform(model, 0, 0, 0), cx, cy, -1.0f, 1e-6f)) << s.w;
        EXPECT_TRUE(Near3(Transform(model, 1, 1, 0), cx + s.sx, cy + s.sy, -1.0f, 1e-6f)) << s.w;
        // Square on screen: as many pixels across as down.
        EXPECT_NEAR(s.sx * (float)s.w, s.sy * (float)s.h, 1e-3f);
        const FXMatrix& label = env.drawn[1].matrix;
        EXPECT_EQ(env.drawn[1].mesh, &gad.label.mesh);
        EXPECT_TRUE(Near3(Transform(label, 0, 0, 0), cx, cy - 0.25f, -1.0f, 1e-6f)) << s.w;
        EXPECT_TRUE(Near3(Transform(label, 1, 1, 0), cx + 1.332f * s.sx, cy - 0.25f + 0.333f * s.sy, -1.0f, 1e-6f))
            << s.w;
    }
    // The examples: a wide window puts the centre at (0.9 - 0.18 h / w, -0.67), a square one at (0.72, -0.67).
    env.width = 300;
    env.height = 300;
    env.Forget();
    gad.OnRender(&env, 50.0);
    EXPECT_TRUE(Near3(Transform(env.drawn[0].matrix, 0, 0, 0), 0.72f, -0.67f, -1.0f, 1e-6f));
}

TEST_F(GadgetTest, MedallionTurnsOncePerEightSecondsFromItsFirstFrame) {
    ASSERT_TRUE(WriteSquareModel(File("tumo_medallion.xm"), 0.0f));
    FXTumoGadget gad;
    gad.Create();
    env.width = 300;
    env.height = 300;
    const double t0 = 1234.5;
    struct Step {
        double t;
        float x, z; // where the model's (1, 0, 0) goes, in units of the medallion's half-width
    };
    const Step steps[] = {{t0, 1.0f, 0.0f},
                          {t0 + 2.0, 0.0f, 1.0f},
                          {t0 + 4.0, -1.0f, 0.0f},
                          {t0 + 6.0, 0.0f, -1.0f},
                          {t0 + 8.0, 1.0f, 0.0f},
                          {t0 + 10.0, 0.0f, 1.0f},
                          {t0 + 17.0, 0.70710677f, 0.70710677f}};
    for (const Step& s : steps) {
        env.Forget();
        gad.OnRender(&env, s.t);
        ASSERT_FALSE(env.drawn.empty());
        std::vector<float> d = TransformDir(env.drawn[0].matrix, 1, 0, 0);
        EXPECT_NEAR(d[0] / 0.18f, s.x, 1e-3f) << s.t - t0;
        EXPECT_NEAR(d[2], s.z, 1e-3f) << s.t - t0;
    }
}

TEST_F(GadgetTest, MedallionDrawsLitWithDepthAndTheLabelFlat) {
    ASSERT_TRUE(WriteSquareModel(File("tumo_medallion.xm"), 0.0f));
    FXTumoGadget gad;
    gad.Create();
    gad.OnRender(&env, 3.0);
    ASSERT_EQ(Meshes(), 2u);
    EXPECT_TRUE(env.drawn[0].lightsOn);
    EXPECT_TRUE(env.drawn[0].depthTest);
    EXPECT_TRUE(env.drawn[0].depthWrite);
    EXPECT_FALSE(env.drawn[1].lightsOn);
    EXPECT_FALSE(env.drawn[1].depthTest);
    EXPECT_FALSE(env.drawn[1].depthWrite);
    // The depth buffer alone is cleared, after depth is switched on and before the model.
    std::vector<std::string>& c = env.calls;
    size_t clear = std::find(c.begin(), c.end(), "clear 0 1 0") - c.begin();
    size_t firstMesh = std::find(c.begin(), c.end(), "mesh") - c.begin();
    size_t depthOn = std::find(c.begin(), c.end(), "depthtest 1") - c.begin();
    ASSERT_LT(clear, c.size());
    EXPECT_LT(depthOn, clear);
    EXPECT_LT(clear, firstMesh);
    EXPECT_EQ(std::count(c.begin(), c.end(), "clear 0 1 0"), 1);
    EXPECT_EQ(c.back(), "mesh");
}

// ---------------------------------------------------------------------------------------------
// Error caption

TEST_F(GadgetTest, ErrorCaptionSitsAtItsPixelSizeTenPixelsFromTheCorner) {
    ASSERT_TRUE(WriteSolidPicture(File("error_message.png"), 200, 50, kRed));
    FXErrGadget gad;
    EXPECT_FALSE(gad.visible);
    ASSERT_TRUE(gad.Create());
    EXPECT_EQ(gad.desk.mesh.material, &gad.material);
    EXPECT_EQ(gad.scrPos.itemW, 200.0f);
    EXPECT_EQ(gad.scrPos.itemH, 50.0f);
    EXPECT_EQ(gad.scrPos.screenW, 1024.0f);
    EXPECT_EQ(gad.scrPos.screenH, 768.0f);
    gad.visible = true;
    gad.OnRender(&env, 1.0);
    ASSERT_EQ(Meshes(), 1u);
    EXPECT_EQ(env.drawn[0].mesh, &gad.desk.mesh);
    EXPECT_TRUE(Near3(ToPixels(Transform(env.drawn[0].matrix, -1, 1, 0), 1024, 768), 10.0f, 10.0f, 0.0f, 1e-3f));
    EXPECT_TRUE(Near3(ToPixels(Transform(env.drawn[0].matrix, 1, -1, 0), 1024, 768), 210.0f, 60.0f, 0.0f, 1e-3f));
    EXPECT_EQ(env.calls, (std::vector<std::string>{"depthtest 0", "depthwrite 0", "lights 0", "apply", "mesh"}));
}

TEST_F(GadgetTest, HiddenErrorCaptionTouchesNothing) {
    ASSERT_TRUE(WriteSolidPicture(File("error_message.png"), 200, 50, kRed));
    FXErrGadget gad;
    gad.OnRender(&env, 1.0); // never created, hidden
    ASSERT_TRUE(gad.Create());
    FXMatrix before;
    before.SetMoveF(1.0f, 2.0f, 3.0f);
    env.ApplyMatrix(&before);
    env.depthTest = true;
    env.lightsOn = true;
    env.Forget();
    for (double t = 0.0; t < 3.0; t += 0.5) {
        gad.OnRender(&env, t);
    }
    EXPECT_TRUE(env.calls.empty());
    EXPECT_TRUE(env.curMatrix.Compare(&before));
    EXPECT_TRUE(env.depthTest && env.lightsOn && env.depthWrite);
}

TEST_F(GadgetTest, ErrorCaptionFromThePackageOrWithoutPicture) {
    ASSERT_TRUE(WriteSolidPicture(File("caption.png"), 120, 30, kBlue));
    FXPackage pkg;
    ASSERT_TRUE(MakePackage(&pkg, {{0, "caption.png"}}));
    env.screenWidth = 640;
    env.screenHeight = 480;
    FXErrGadget gad;
    ASSERT_TRUE(gad.CreateCN(&pkg, 0));
    gad.visible = true;
    gad.OnRender(&env, 0.0);
    ASSERT_EQ(Meshes(), 1u);
    EXPECT_TRUE(Near3(ToPixels(Transform(env.drawn[0].matrix, 1, -1, 0), 640, 480), 130.0f, 40.0f, 0.0f, 1e-3f));
    // Without its picture the caption has no size: an untextured quad over the whole screen.
    FXErrGadget missing;
    EXPECT_FALSE(missing.CreateCN(&pkg, 9));
    EXPECT_FALSE(missing.material.hasTexture);
    missing.visible = true;
    env.Forget();
    missing.OnRender(&env, 0.0);
    ASSERT_EQ(Meshes(), 1u);
    FXMatrix identity;
    identity.SetIdentity();
    EXPECT_TRUE(env.drawn[0].matrix.Compare(&identity));
    gad.Destroy();
    EXPECT_EQ(gad.desk.mesh.vertexCount, 0);
    EXPECT_FALSE(gad.material.hasTexture);
    gad.Destroy();
}
