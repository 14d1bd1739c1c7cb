#include <gtest/gtest.h>

#include <GL/gl.h>
#include <vector>

#include "objects/desk.h"
#include "objects/scrpos01.h"
#include "render/canvas.h"
#include "render/material.h"
#include "support/gl_fixture.h"

namespace {

const uint32_t kRed = fxTestRGBA(255, 0, 0, 255);
const uint32_t kGreen = fxTestRGBA(0, 255, 0, 255);
const uint32_t kBlue = fxTestRGBA(0, 0, 255, 255);
const uint32_t kWhite = fxTestRGBA(255, 255, 255, 255);
const uint32_t kBlack = fxTestRGBA(0, 0, 0, 255);

// A picture of four 4 x 4 blocks: red top left, green top right, blue bottom left, white bottom
// right. Blocks of several texels keep their inner colour pure under linear filtering.
void fillQuadrants(FXCanvas* canvas) {
    ASSERT_TRUE(canvas->pixmap.Realloc(8, 8));
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 8; x++) {
            uint32_t c = y < 4 ? (x < 4 ? kRed : kGreen) : (x < 4 ? kBlue : kWhite);
            canvas->pixmap.pixels[y * canvas->pixmap.allocWidth + x] = c;
        }
    }
    canvas->opaque = true;
}

void fillSolid(FXCanvas* canvas, uint32_t colour) {
    ASSERT_TRUE(canvas->pixmap.Realloc(4, 4));
    for (int i = 0; i < 16; i++) {
        canvas->pixmap.pixels[i] = colour;
    }
    canvas->opaque = (colour >> 24) == 255;
}

class DeskDisplay : public GLFixture {
protected:
    FXCanvas canvas;
    FXMaterial material;
    FXDesk desk;

    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        fillQuadrants(&canvas);
        material.mipmaps = false;
        ASSERT_TRUE(material.SetTexture(&canvas));
        desk.Create(1, 1);
        desk.SetMaterial(&material);
        float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        gl.SetClrColor(black);
        gl.Clrscr(true, true, false);
    }
    void TearDown() override {
        desk.Destroy();
        material.Destroy();
        GLFixture::TearDown();
    }

    // Colours at the centres of the four quadrants of the window: TL, TR, BL, BR.
    std::vector<uint32_t> Quadrants() {
        return {PixelAt(width / 4, height / 4), PixelAt(3 * width / 4, height / 4), PixelAt(width / 4, 3 * height / 4),
                PixelAt(3 * width / 4, 3 * height / 4)};
    }
};

} // namespace

TEST_F(DeskDisplay, AOneByOneDeskCoversTheWindowCornerToCorner) {
    EXPECT_NE(material.glTexture, 0u);
    EXPECT_TRUE(glIsTexture(material.glTexture));
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kRed, kGreen, kBlue, kWhite}));
    // The very corners belong to the picture too: nothing of the clear colour is left.
    EXPECT_EQ(PixelAt(0, 0), kRed);
    EXPECT_EQ(PixelAt(width - 1, 0), kGreen);
    EXPECT_EQ(PixelAt(0, height - 1), kBlue);
    EXPECT_EQ(PixelAt(width - 1, height - 1), kWhite);
}

TEST_F(DeskDisplay, UpdateTexRcShowsTheRequestedPart) {
    desk.UpdateTexRc(0.5f, 0.0f, 1.0f, 0.5f); // the top-right quarter of the picture
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kGreen, kGreen, kGreen, kGreen}));
    desk.UpdateTexRc(0.0f, 0.5f, 0.5f, 1.0f); // bottom left
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kBlue, kBlue, kBlue, kBlue}));
}

TEST_F(DeskDisplay, FlipVTurnsThePictureUpsideDown) {
    desk.mesh.flipV = true;
    desk.UpdateTex();
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kBlue, kWhite, kRed, kGreen}));
}

TEST_F(DeskDisplay, VertexColoursTintWithColourModeOne) {
    float half[4] = {0.0f, 1.0f, 1.0f, 1.0f};
    desk.UpdateColCol(half);
    desk.mesh.colourMode = 1;
    desk.OnRender(&gl, 0.0);
    // Texture modulated by cyan: red turns black, white turns cyan.
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kBlack, kGreen, kBlue, fxTestRGBA(0, 255, 255, 255)}));
    desk.mesh.colourMode = 0; // vertex colours ignored again
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kRed, kGreen, kBlue, kWhite}));
}

TEST_F(DeskDisplay, AlphaTestDiscardsTwoOf255AndBlendingMixesTheRest) {
    FXCanvas white;
    fillSolid(&white, kWhite);
    FXMaterial plain;
    plain.mipmaps = false;
    ASSERT_TRUE(plain.SetTexture(&white));
    desk.SetMaterial(&plain);
    desk.mesh.colourMode = 1;

    float faint[4] = {1.0f, 1.0f, 1.0f, 2.0f / 255.0f};
    desk.UpdateColCol(faint);
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(PixelAt(5, 5), kBlack); // discarded

    float lessFaint[4] = {1.0f, 1.0f, 1.0f, 3.0f / 255.0f};
    desk.UpdateColCol(lessFaint);
    desk.OnRender(&gl, 0.0);
    uint32_t p = PixelAt(5, 5);
    EXPECT_GE(p & 255, 2u); // passed the test and was blended in faintly
    EXPECT_LE(p & 255, 4u);

    gl.Clrscr(true, true, false);
    float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    desk.UpdateColCol(red);
    desk.OnRender(&gl, 0.0);
    float halfBlue[4] = {0.0f, 0.0f, 1.0f, 0.5f};
    desk.UpdateColCol(halfBlue);
    desk.OnRender(&gl, 0.0);
    p = PixelAt(5, 5);
    EXPECT_NEAR((int)(p & 255), 128, 1);
    EXPECT_EQ((p >> 8) & 255, 0u);
    EXPECT_NEAR((int)((p >> 16) & 255), 128, 1);
    plain.Destroy();
}

TEST_F(DeskDisplay, CullingFollowsTheDesksFrontFace) {
    gl.EnableCullface(false, true); // back faces culled: the desk faces the viewer
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(PixelAt(width / 4, height / 4), kRed);
    gl.Clrscr(true, true, false);
    gl.EnableCullface(true, false);
    desk.OnRender(&gl, 0.0);
    EXPECT_EQ(PixelAt(width / 4, height / 4), kBlack);
    gl.EnableCullface(false, false);
}

TEST_F(DeskDisplay, TwoTextureUnitsThroughASecondMesh) {
    if (!gl.extMultitexture) {
        GTEST_SKIP() << "driver without ARB_multitexture";
    }
    FXCanvas green;
    fillSolid(&green, kGreen);
    FXMaterial second;
    second.mipmaps = false;
    ASSERT_TRUE(second.SetTexture(&green));
    FXDesk other;
    other.Create(1, 1);
    other.SetMaterial(&second);
    desk.mesh.secondMesh = &other.mesh;
    desk.OnRender(&gl, 0.0);
    // Unit 1 modulates unit 0: only the green of each quadrant survives.
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kBlack, kGreen, kBlack, kGreen}));
    EXPECT_TRUE(gl.tex1On);
    desk.mesh.secondMesh = nullptr;
    desk.OnRender(&gl, 0.0);
    EXPECT_FALSE(gl.tex1On);
    EXPECT_EQ(Quadrants(), (std::vector<uint32_t>{kRed, kGreen, kBlue, kWhite}));
    second.Destroy();
}

TEST_F(DeskDisplay, MaterialTexturesLiveOnTheRealDevice) {
    GLuint name = material.glTexture;
    ASSERT_TRUE(glIsTexture(name));
    material.Destroy();
    EXPECT_EQ(material.glTexture, 0u);
    EXPECT_FALSE(material.hasTexture);
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(DeskDisplay, TestingMaterialKeepsWhatWasAppliedLast) {
    FXMaterial untextured;
    gl.ApplyMaterial(&material);
    gl.EnableTestingMaterial(true);
    desk.SetMaterial(&untextured);
    desk.OnRender(&gl, 0.0);
    gl.EnableTestingMaterial(false);
    // Still drawn with the picture, though the mesh's own material has none.
    EXPECT_EQ(PixelAt(width / 4, height / 4), kRed);
}

using ScrPosDisplay = GLFixture;

TEST_F(ScrPosDisplay, APictureAtAPixelPositionCoversExactlyItsPixels) {
    // A 256 x 128 window stands for the screen.
    tagFXWindow big{};
    ASSERT_TRUE(fxCreateWindow(&big, 256, 128, nullptr, 0, 0));
    FXGL device;
    device.CreateChild(&big);
    ASSERT_NE(device.hglrc, nullptr);
    gl.SetAct(false);
    device.SetAct(true);

    FXCanvas white;
    fillSolid(&white, kWhite);
    FXMaterial m;
    fxSetEnv(&device);
    ASSERT_TRUE(m.SetTexture(&white));
    FXDesk desk;
    desk.Create(1, 1);
    desk.SetMaterial(&m);
    FXScrPos01 pos;
    pos.screenW = 256.0f;
    pos.screenH = 128.0f;
    pos.itemW = 200.0f;
    pos.itemH = 50.0f;
    pos.SetPos(10.0f, 10.0f);
    float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    device.SetClrColor(black);
    device.Clrscr(true, true, false);
    pos.OnRender(&device, 0.0);
    desk.OnRender(&device, 0.0);

    std::vector<uint32_t> pixels(256 * 128);
    glFinish();
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 256, 128, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    size_t wrong = 0;
    for (int y = 0; y < 128; y++) {
        for (int x = 0; x < 256; x++) {
            bool inside = x >= 10 && x <= 209 && y >= 10 && y <= 59;
            uint32_t p = pixels[(size_t)(127 - y) * 256 + (size_t)x];
            wrong += p != (inside ? kWhite : kBlack);
        }
    }
    EXPECT_EQ(wrong, 0u);

    desk.Destroy();
    m.Destroy();
    device.SetAct(false);
    device.Destroy();
    fxDestroyWindow(&big);
    fxSetEnv(&gl);
    gl.SetAct(true);
}

// Leaving out the clear cells of an overlay must not change a pixel: against the same picture
// drawn as one quad, for pictures with clear areas of several shapes, mipmapped and reduced.
TEST_F(DeskDisplay, DroppingClearCellsDrawsTheSamePixels) {
    struct Case {
        const char* name;
        int discs;         // opaque discs on a clear picture; -1: no clear texel at all
        int expectDropped; // 0: none, 1: some, 2: all
    };
    const Case cases[] = {{"a few discs", 3, 1}, {"one disc", 1, 1}, {"nothing clear", -1, 0}, {"all clear", 0, 2}};
    unsigned seed = 5;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return (int)((seed >> 8) % (unsigned)n);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FXCanvas picture;
        ASSERT_TRUE(picture.pixmap.Realloc(256, 128));
        FXPixmap& p = picture.pixmap;
        for (int i = 0; i < p.allocWidth * p.allocHeight; i++) {
            p.pixels[i] = c.discs < 0 ? 0x10203040u | (uint32_t)(1 + next(254)) << 24 : 0;
        }
        for (int d = 0; d < c.discs; d++) {
            const int cx = next(256), cy = next(128), r = 6 + next(14);
            const uint32_t colour = (uint32_t)next(0xffffff) | (uint32_t)(3 + next(252)) << 24;
            for (int y = cy - r; y <= cy + r; y++) {
                for (int x = cx - r; x <= cx + r; x++) {
                    if (x >= 0 && y >= 0 && x < 256 && y < 128 && (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
                        p.pixels[y * 256 + x] = colour;
                    }
                }
            }
        }
        FXMaterial m;
        ASSERT_TRUE(m.SetTexture(&picture)); // with mipmaps, as the show's overlays
        FXDesk whole, trimmed;
        whole.Create(1, 1);
        whole.SetMaterial(&m);
        trimmed.Create(16, 12);
        trimmed.SetMaterial(&m);
        const int dropped = trimmed.DropClearCells(256.0f / (float)width);
        EXPECT_EQ(dropped == 0 ? 0 : dropped == 16 * 12 ? 2 : 1, c.expectDropped) << dropped << " dropped";

        std::vector<uint32_t> drawn[2];
        FXDesk* desks[2] = {&whole, &trimmed};
        for (int k = 0; k < 2; k++) {
            float backdrop[4] = {0.2f, 0.5f, 0.7f, 1.0f};
            gl.SetClrColor(backdrop);
            gl.Clrscr(true, true, false);
            desks[k]->OnRender(&gl, 0.0);
            drawn[k] = ReadPixels();
        }
        EXPECT_TRUE(drawn[0] == drawn[1]);
        // A later Create of the same size brings every cell back.
        trimmed.Create(16, 12);
        EXPECT_EQ(trimmed.mesh.indexCount, 16 * 12 * 6);
        whole.mesh.material = trimmed.mesh.material = nullptr;
        m.Destroy();
    }
}
