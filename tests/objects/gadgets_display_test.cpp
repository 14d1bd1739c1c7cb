#include <gtest/gtest.h>

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "object_test_helpers.h"
#include "objects/demo_gadget.h"
#include "objects/err_gadget.h"
#include "objects/tumo_gadget.h"
#include "render/light.h"
#include "render/window.h"
#include "support/gl_fixture.h"

namespace {

// Picture pixels in memory order R, G, B, A.
const uint32_t kRed = 0xFF0000FFu;
const uint32_t kGreen = 0xFF00FF00u;
const uint32_t kBlue = 0xFFFF0000u;
const uint32_t kWhite = 0xFFFFFFFFu;
const uint32_t kClear = 0x00000000u;

int Channel(uint32_t c, int k) {
    return (int)((c >> (8 * k)) & 0xFF);
}

bool Near(uint32_t c, int r, int g, int b, int tol) {
    return std::abs(Channel(c, 0) - r) <= tol && std::abs(Channel(c, 1) - g) <= tol &&
           std::abs(Channel(c, 2) - b) <= tol;
}

// ---------------------------------------------------------------------------------------------
// Error caption on a 1024 x 768 screen

class ErrGadgetDisplay : public GLFixture {
protected:
    InFolder folder;
    FXErrGadget gad;

    ErrGadgetDisplay() {
        width = 1024;
        height = 768;
    }
    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(fxLoadDevil());
        // The window stands for the screen.
        gl.screenWidth = width;
        gl.screenHeight = height;
        ASSERT_TRUE(WriteQuadrantPicture(folder.dir.File("error_message.png"), 200, 50, kRed, kGreen, kBlue, kWhite));
        ASSERT_TRUE(gad.Create());
    }
    void TearDown() override {
        gad.Destroy();
        fxUnloadDevil();
        GLFixture::TearDown();
    }
    void Frame() {
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
        gad.OnRender(&gl, 1.0);
    }
};

TEST_F(ErrGadgetDisplay, CaptionCoversItsPixelsAtItsOwnSize) {
    gad.visible = true;
    Frame();
    std::vector<uint32_t> px = ReadPixels();
    auto at = [&](int x, int y) { return px[(size_t)(height - 1 - y) * (size_t)width + (size_t)x]; };
    const uint32_t black = fxTestRGBA(0, 0, 0, 255);
    // Pixels 10 ... 209 across and 10 ... 59 down, one picture pixel per screen pixel.
    EXPECT_EQ(at(10, 10), fxTestRGBA(255, 0, 0, 255));
    EXPECT_EQ(at(109, 34), fxTestRGBA(255, 0, 0, 255));
    EXPECT_EQ(at(110, 34), fxTestRGBA(0, 255, 0, 255));
    EXPECT_EQ(at(209, 10), fxTestRGBA(0, 255, 0, 255));
    EXPECT_EQ(at(10, 35), fxTestRGBA(0, 0, 255, 255));
    EXPECT_EQ(at(10, 59), fxTestRGBA(0, 0, 255, 255));
    EXPECT_EQ(at(209, 59), fxTestRGBA(255, 255, 255, 255));
    // Nothing outside.
    for (int y = 9; y <= 60; y++) {
        EXPECT_EQ(at(9, y), black) << y;
        EXPECT_EQ(at(210, y), black) << y;
    }
    for (int x = 9; x <= 210; x++) {
        EXPECT_EQ(at(x, 9), black) << x;
        EXPECT_EQ(at(x, 60), black) << x;
    }
    int covered = 0;
    for (uint32_t c : px) {
        covered += c != black ? 1 : 0;
    }
    EXPECT_EQ(covered, 200 * 50);
}

TEST_F(ErrGadgetDisplay, HiddenCaptionDrawsNothing) {
    Frame();
    std::vector<uint32_t> px = ReadPixels();
    for (size_t i = 0; i < px.size(); i++) {
        ASSERT_EQ(px[i], fxTestRGBA(0, 0, 0, 255)) << i;
    }
}

// ---------------------------------------------------------------------------------------------
// Medallion

// The medallion is drawn lit without lights (black at alpha 0.4), the label unlit (white at
// 0.4), both over a mid-grey background.
class MedallionDisplay : public GLFixture {
protected:
    InFolder folder;
    FXTumoGadget gad;

    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(fxLoadDevil());
        ASSERT_TRUE(WriteSolidPicture(folder.dir.File("label.png"), 32, 8, kWhite));
        float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
        gl.SetClrColor(grey);
    }
    void TearDown() override {
        gad.Destroy();
        fxUnloadDevil();
        GLFixture::TearDown();
    }
    void Frame(double t) {
        gl.Clrscr(true, true, false);
        gad.OnRender(&gl, t);
    }
    // 0 background, 1 medallion, 2 label.
    int Kind(uint32_t c) {
        int r = Channel(c, 0);
        return r < 100 ? 1 : (r > 160 ? 2 : 0);
    }
    // The medallion's pixel box (x0, y0, x1, y1), end exclusive, from what was drawn.
    std::vector<int> Box(int kind) {
        std::vector<uint32_t> px = ReadPixels();
        std::vector<int> box = {width, height, -1, -1};
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                if (Kind(px[(size_t)(height - 1 - y) * (size_t)width + (size_t)x]) == kind) {
                    box[0] = std::min(box[0], x);
                    box[1] = std::min(box[1], y);
                    box[2] = std::max(box[2], x + 1);
                    box[3] = std::max(box[3], y + 1);
                }
            }
        }
        return box;
    }
    // Where the example puts it: 0.18 of the shorter half-side, centred at (0.9 - sx, sy - 0.85).
    void ExpectPlaced() {
        float sx = 0.18f, sy = 0.18f;
        if (width > height) {
            sx *= (float)height / (float)width;
        } else {
            sy *= (float)width / (float)height;
        }
        auto pxX = [&](float x) { return (x + 1.0f) * 0.5f * (float)width; };
        auto pxY = [&](float y) { return (1.0f - y) * 0.5f * (float)height; };
        std::vector<int> medal = Box(1);
        EXPECT_NEAR(medal[0], pxX(0.9f - 2.0f * sx), 1.0f);
        EXPECT_NEAR(medal[2], pxX(0.9f), 1.0f);
        EXPECT_NEAR(medal[1], pxY(2.0f * sy - 0.85f), 1.0f);
        EXPECT_NEAR(medal[3], pxY(-0.85f), 1.0f);
        EXPECT_EQ(medal[2] - medal[0], medal[3] - medal[1]); // square on screen
        std::vector<int> label = Box(2);
        EXPECT_NEAR(label[0], pxX(0.9f - sx - 1.332f * sx), 1.0f);
        EXPECT_NEAR(label[2], pxX(0.9f - sx + 1.332f * sx), 1.0f);
        EXPECT_NEAR(label[1], pxY(sy - 1.1f + 0.333f * sy), 1.0f);
        EXPECT_NEAR(label[3], pxY(sy - 1.1f - 0.333f * sy), 1.0f);
    }
};

class MedallionWide : public MedallionDisplay {
protected:
    MedallionWide() {
        width = 400;
        height = 200;
    }
};

class MedallionSquare : public MedallionDisplay {
protected:
    MedallionSquare() {
        width = 200;
        height = 200;
    }
};

TEST_F(MedallionWide, SitsInTheLowerRightCornerSquareOnScreen) {
    ASSERT_TRUE(WriteSquareModel(folder.dir.File("tumo_medallion.xm"), 0.0f));
    ASSERT_TRUE(gad.Create());
    Frame(20.0);
    ExpectPlaced();
    // The medallion is veiled: black at alpha 0.4 over the grey.
    EXPECT_TRUE(Near(PixelAt(362, 167), 77, 77, 77, 3));
}

TEST_F(MedallionSquare, SitsInTheLowerRightCornerSquareOnScreen) {
    ASSERT_TRUE(WriteSquareModel(folder.dir.File("tumo_medallion.xm"), 0.0f));
    ASSERT_TRUE(gad.Create());
    Frame(20.0);
    ExpectPlaced();
}

// A medallion of only its right half shows which way it faces: after half a turn the half sits
// on the left, after a whole turn (8 s) on the right again; at a quarter turn it is edge-on.
TEST_F(MedallionSquare, TurnsOnceEveryEightSeconds) {
    ASSERT_TRUE(WriteSquareModel(folder.dir.File("tumo_medallion.xm"), 0.0f, 0.0f, 1.0f));
    ASSERT_TRUE(gad.Create());
    const double t0 = 77.0;
    const int left = 163, right = 181, row = 167; // 0.18 to each side of (0.72, -0.67)
    struct Step {
        double t;
        int leftKind, rightKind;
    };
    const Step steps[] = {{t0, 0, 1},       {t0 + 2.0, 0, 0}, {t0 + 4.0, 1, 0},
                          {t0 + 6.0, 0, 0}, {t0 + 8.0, 0, 1}, {t0 + 12.0, 1, 0}};
    for (const Step& s : steps) {
        Frame(s.t);
        EXPECT_EQ(Kind(PixelAt(left, row)), s.leftKind) << s.t - t0;
        EXPECT_EQ(Kind(PixelAt(right, row)), s.rightKind) << s.t - t0;
    }
}

// ---------------------------------------------------------------------------------------------
// Demo cube

// A device that notes, for every mesh it draws, whether texture coordinates are generated by the
// sphere map in both directions.
class ProbeGL : public FXGL {
public:
    std::vector<bool> sphereMapped;

    void RenderMesh(FXMesh* mesh) override {
        GLint s = 0, t = 0;
        glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &s);
        glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &t);
        sphereMapped.push_back(glIsEnabled(GL_TEXTURE_GEN_S) && glIsEnabled(GL_TEXTURE_GEN_T) && s == GL_SPHERE_MAP &&
                               t == GL_SPHERE_MAP);
        FXGL::RenderMesh(mesh);
    }
};

// The cube under the state the show draws it in: a light from the viewer's side, lights, depth
// test and depth writes on, normals renormalised. Face picture opaque red; shell picture clear on
// its left half and opaque white on its right half.
class DemoDisplay : public ::testing::Test {
protected:
    tagFXWindow window{};
    ProbeGL gl;
    FXLight light;
    InFolder folder;
    FXDemoGadget demo;
    const int size = 200;

    void SetUp() override {
        ASSERT_TRUE(fxCreateWindow(&window, size, size, nullptr, 0, 0));
        gl.CreateChild(&window);
        ASSERT_NE(gl.hglrc, nullptr) << "no OpenGL context";
        fxSetEnv(&gl);
        gl.SetAct(true);
        ASSERT_TRUE(fxLoadDevil());
        ASSERT_TRUE(WriteSolidPicture(folder.dir.File("face.png"), 16, 16, kRed));
        ASSERT_TRUE(WriteQuadrantPicture(folder.dir.File("shell.png"), 16, 16, kClear, kWhite, kClear, kWhite));
        ASSERT_TRUE(demo.Create(folder.dir.File("face.png").c_str(), folder.dir.File("shell.png").c_str()));

        float zero[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (int k = 0; k < 4; k++) {
            light.ambient[k] = zero[k];
            light.specular[k] = 0.0f;
            light.diffuse[k] = 1.0f;
        }
        light.position[0] = 0.0f;
        light.position[1] = 0.0f;
        light.position[2] = -1.0f;
        light.position[3] = 0.0f;
        ASSERT_TRUE(gl.RegisterLight(&light));
        gl.ApplyMatrixIdentity();
        gl.UpdateLights();
        glEnable(GL_NORMALIZE);
    }
    void TearDown() override {
        demo.Destroy();
        gl.UnregisterLight(&light);
        fxUnloadDevil();
        gl.SetAct(false);
        fxSetEnv(nullptr);
        gl.Destroy();
        fxDestroyWindow(&window);
    }

    void Frame(double t) {
        gl.EnableDepthTest(true);
        gl.EnableDepthWrite(true);
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
        gl.EnableLights(true);
        gl.EnableLight(true, &light);
        gl.sphereMapped.clear();
        demo.OnRender(&gl, t);
        gl.EnableLights(false);
    }

    std::vector<uint32_t> Pixels() {
        std::vector<uint32_t> px((size_t)size * (size_t)size);
        glFinish();
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    // The pixel at normalised (x, y) of the cube's centre this frame, shifted by (dx, dy).
    uint32_t AtCube(float dx, float dy) {
        float p[3];
        demo.route.GetAll(p, demo.routePhaser.value);
        int x = (int)((p[0] + dx + 1.0f) * 0.5f * (float)size);
        int y = (int)((p[1] + dy + 1.0f) * 0.5f * (float)size); // from the bottom
        x = std::min(std::max(x, 0), size - 1);                 // the route may swing a little past its points
        y = std::min(std::max(y, 0), size - 1);
        std::vector<uint32_t> px = Pixels();
        return px[(size_t)y * (size_t)size + (size_t)x];
    }
};

TEST_F(DemoDisplay, NothingForFifteenSecondsThenATwoSecondFade) {
    const double t0 = 200.0;
    for (double t : {t0, t0 + 5.0, t0 + 14.9, t0 + 15.0}) {
        Frame(t);
        std::vector<uint32_t> px = Pixels();
        for (size_t i = 0; i < px.size(); i++) {
            ASSERT_EQ(px[i], fxTestRGBA(0, 0, 0, 255)) << t - t0 << " " << i;
        }
        EXPECT_TRUE(gl.sphereMapped.empty());
    }
    // Alpha a on both pictures. Left: only the face, red at half light, a of it over black.
    // Right: the white shell at a over that. (The cube turns only a few degrees meanwhile.)
    struct Step {
        double t;
        float a;
    };
    const Step steps[] = {{t0 + 15.5, 0.25f}, {t0 + 16.0, 0.5f}, {t0 + 16.5, 0.75f}, {t0 + 17.0, 1.0f}};
    for (const Step& s : steps) {
        Frame(s.t);
        // The light falls on the turning front face at cos X cos Y.
        float lit = std::cos(demo.rotX.value * 6.2831853f) * std::cos(demo.rotY.value * 6.2831853f);
        float face = 127.5f * lit * s.a;
        float shell = 255.0f * lit * s.a;
        float right = shell + (1.0f - s.a) * face;
        uint32_t l = AtCube(-0.08f, 0.0f);
        uint32_t r = AtCube(0.08f, 0.0f);
        EXPECT_TRUE(Near(l, (int)face, 0, 0, 3)) << s.t - t0 << " " << std::hex << l;
        EXPECT_TRUE(Near(r, (int)right, (int)shell, (int)shell, 3)) << s.t - t0 << " " << std::hex << r;
    }
}

TEST_F(DemoDisplay, FacesAreSphereMappedAndTheShellIsNot) {
    Frame(300.0);
    Frame(315.0);
    Frame(316.0);
    ASSERT_EQ(gl.sphereMapped.size(), 12u);
    for (int i = 0; i < 6; i++) {
        EXPECT_TRUE(gl.sphereMapped[i]) << i;
        EXPECT_FALSE(gl.sphereMapped[6 + i]) << i;
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
}

} // namespace
