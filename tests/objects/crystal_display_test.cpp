#include <gtest/gtest.h>

#include <GL/gl.h>
#include <memory>
#include <vector>

#include "base/other.h"
#include "objects/crystal.h"
#include "render/canvas.h"
#include "render/material.h"
#include "support/gl_fixture.h"

namespace {

const int kSide = 192; // 16 pixels per tile, one texel per pixel
const uint32_t kClear = fxTestRGBA(0, 0, 0, 255);

// Every texel its own colour, so a tile showing the wrong part of the picture cannot pass.
uint32_t texel(int x, int y) {
    return fxTestRGBA(x, y, ((x * 7 + y * 13) & 255) | 1, 255);
}

class CrystalDisplay : public GLFixture {
protected:
    FXCanvas canvas;
    FXMaterial material;
    std::unique_ptr<FXCrystal> crystal{new FXCrystal};

    CrystalDisplay() {
        width = kSide;
        height = kSide;
    }

    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(canvas.pixmap.Realloc(kSide, kSide));
        for (int y = 0; y < kSide; y++) {
            for (int x = 0; x < kSide; x++) {
                canvas.pixmap.pixels[y * canvas.pixmap.allocWidth + x] = texel(x, y);
            }
        }
        canvas.opaque = true;
        material.mipmaps = false;
        material.SetDefDiffuse(1.0f);
        ASSERT_TRUE(material.SetTexture(&canvas));
        // Nearest texels: each pixel shows exactly one texel of the picture.
        glBindTexture(GL_TEXTURE_2D, material.glTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        fxSeedRandom(1);
        ASSERT_TRUE(crystal->Create(&material));
        float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        gl.SetClrColor(black);
    }
    void TearDown() override {
        crystal->Destroy();
        material.Destroy();
        GLFixture::TearDown();
    }

    void Frame(double time) {
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
        crystal->OnRender(&gl, time);
    }

    uint32_t Pixel(const std::vector<uint32_t>& pixels, int x, int y) {
        return pixels[(size_t)(kSide - 1 - y) * kSide + (size_t)x];
    }
};

} // namespace

TEST_F(CrystalDisplay, FirstFrameReproducesThePictureTileByTile) {
    Frame(30.0);
    std::vector<uint32_t> pixels = ReadPixels();
    int wrongTiles = 0;
    for (int j = 0; j < 12; j++) {
        for (int k = 0; k < 12; k++) {
            int wrong = 0;
            for (int y = j * 16; y < (j + 1) * 16; y++) {
                for (int x = k * 16; x < (k + 1) * 16; x++) {
                    wrong += Pixel(pixels, x, y) != texel(x, y);
                }
            }
            EXPECT_EQ(wrong, 0) << "tile row " << j << " column " << k;
            wrongTiles += wrong != 0;
        }
    }
    EXPECT_EQ(wrongTiles, 0);
}

TEST_F(CrystalDisplay, TheMosaicBreaksUpThenVanishes) {
    Frame(30.0);
    Frame(36.5); // turned by up to a third of a turn
    std::vector<uint32_t> pixels = ReadPixels();
    int moved = 0, gaps = 0;
    for (int y = 0; y < kSide; y++) {
        for (int x = 0; x < kSide; x++) {
            moved += Pixel(pixels, x, y) != texel(x, y);
            gaps += Pixel(pixels, x, y) == kClear;
        }
    }
    EXPECT_GT(moved, kSide * kSide / 10);
    EXPECT_GT(gaps, 0);

    double t = 36.5;
    while (!crystal->finished && t < 60.0) {
        t += 0.05;
        Frame(t);
    }
    ASSERT_TRUE(crystal->finished);
    pixels = ReadPixels();
    int left = 0;
    for (uint32_t p : pixels) {
        left += p != kClear;
    }
    EXPECT_EQ(left, 0);
    // Texture-coordinate generation is off again after the frame.
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));

    crystal->Restart();
    Frame(t + 1.0);
    EXPECT_EQ(PixelAt(100, 37), texel(100, 37)); // whole again
}
