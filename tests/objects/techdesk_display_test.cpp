#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "objects/techdesk.h"
#include "render/canvas.h"
#include "render/material.h"
#include "support/gl_fixture.h"

namespace {

const uint32_t kBlack = fxTestRGBA(0, 0, 0, 255);
const uint32_t kWhite = fxTestRGBA(255, 255, 255, 255);

class TechDeskDisplay : public GLFixture {
protected:
    FXCanvas canvas;
    FXMaterial material;
    FXTechDesk tech;

    TechDeskDisplay() {
        width = 128;
        height = 128;
    }

    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(canvas.pixmap.Realloc(4, 4));
        for (int i = 0; i < 16; i++) {
            canvas.pixmap.pixels[i] = kWhite;
        }
        canvas.opaque = true;
        material.mipmaps = false;
        material.SetDefDiffuse(1.0f);
        ASSERT_TRUE(material.SetTexture(&canvas));
        ASSERT_TRUE(tech.Create(256));
        tech.desk.SetMaterial(&material);
        float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        gl.SetClrColor(black);
    }
    void TearDown() override {
        tech.Destroy();
        material.Destroy();
        GLFixture::TearDown();
    }

    std::vector<uint32_t> Frame(double time) {
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
        tech.OnRender(&gl, time);
        return ReadPixels();
    }
    static int CountNot(const std::vector<uint32_t>& pixels, uint32_t colour) {
        int n = 0;
        for (uint32_t p : pixels) {
            n += p != colour;
        }
        return n;
    }
    static bool Near(uint32_t p, int r, int g, int b) {
        return abs((int)(p & 255) - r) <= 2 && abs((int)((p >> 8) & 255) - g) <= 2 &&
               abs((int)((p >> 16) & 255) - b) <= 2;
    }
};

} // namespace

TEST_F(TechDeskDisplay, FirstFrameAfterReCreateShowsNothingOfThePicture) {
    double t = 0.0;
    for (; t < 9.0; t += 0.1) {
        Frame(t);
    }
    ASSERT_GT(CountNot(Frame(t), kBlack), 100); // it had opened
    tech.ReCreate();
    tech.desk.SetMaterial(&material);
    EXPECT_EQ(CountNot(Frame(t + 20.0), kBlack), 0);
    // Frames go on from there: the opening starts again at the centre.
    EXPECT_EQ(CountNot(Frame(t + 21.0), kBlack), 0);
}

TEST_F(TechDeskDisplay, ThePictureComesBackAsADiscWithTheWireAtItsEdge) {
    double t = 0.0;
    for (; t < 7.0; t += 0.1) {
        Frame(t);
    }
    std::vector<uint32_t> pixels = Frame(t);
    // The picture at the centre, fading out towards the edge; untouched black in the corners.
    EXPECT_GT(PixelAt(64, 64) & 255, 240u);
    EXPECT_EQ(PixelAt(0, 0), kBlack);
    EXPECT_EQ(PixelAt(127, 127), kBlack);
    int wire = 0;
    for (uint32_t p : pixels) {
        wire += Near(p, 23, 68, 93);
    }
    EXPECT_GT(wire, 20);
    const int early = CountNot(pixels, kBlack);
    for (; t < 9.0; t += 0.1) {
        Frame(t);
    }
    EXPECT_GT(CountNot(Frame(t), kBlack), early); // the disc grows
}
