#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "objects/desk.h"
#include "render/canvas.h"
#include "render/material.h"
#include "support/gl_fixture.h"

namespace {

const uint32_t kClear = fxTestRGBA(255, 0, 255, 255); // a colour the picture does not hold

class ReduceDisplay : public GLFixture {
protected:
    FXCanvas picture;
    FXMaterial material;
    FXDesk desk;

    void SetUp() override {
        width = 160;
        height = 160;
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        // Smooth ramps in red and green with a coarse blue checker: every place of the picture
        // differs from its neighbours, and a shifted or missing part shows.
        ASSERT_TRUE(picture.pixmap.Realloc(64, 64));
        for (int y = 0; y < 64; y++) {
            for (int x = 0; x < 64; x++) {
                int blue = ((x / 16) + (y / 16)) % 2 == 0 ? 40 : 200;
                picture.pixmap.pixels[y * picture.pixmap.allocWidth + x] = fxTestRGBA(x * 4, y * 4, blue, 255);
            }
        }
        picture.opaque = true;
        material.mipmaps = false;
        ASSERT_TRUE(material.SetTexture(&picture));
        desk.Create(64, 64);
        desk.SetMaterial(&material);
    }
    void TearDown() override {
        desk.Destroy();
        material.Destroy();
        GLFixture::TearDown();
    }

    std::vector<uint32_t> Draw() {
        float clear[4] = {1.0f, 0.0f, 1.0f, 1.0f};
        gl.SetClrColor(clear);
        gl.Clrscr(true, true, false);
        desk.OnRender(&gl, 0.0);
        return ReadPixels();
    }
};

int ChannelDistance(uint32_t a, uint32_t b) {
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int d = abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF));
        most = d > most ? d : most;
    }
    return most;
}

} // namespace

TEST_F(ReduceDisplay, ReducedGridShowsThePictureAsBefore) {
    std::vector<uint32_t> before = Draw();
    ASSERT_EQ(before.size(), (size_t)(width * height));
    for (uint32_t p : before) {
        ASSERT_NE(p, kClear) << "the full grid must cover the window";
    }
    int triangles = desk.mesh.indexCount / 3;
    for (int sweep = 0; sweep < 30; sweep++) {
        int previous = desk.mesh.indexCount;
        // A tolerance that only lets grid points on straight lines go: a wider one also removes
        // points a little off the line, which shifts the picture near them by design.
        ASSERT_TRUE(desk.mesh.ReduceVertices(0.05f));
        std::vector<uint32_t> after = Draw();
        int uncovered = 0;
        int different = 0;
        for (size_t i = 0; i < after.size(); i++) {
            uncovered += after[i] == kClear ? 1 : 0;
            // Texture coordinates interpolated over other triangles round a little differently.
            different += ChannelDistance(after[i], before[i]) > 2 ? 1 : 0;
        }
        EXPECT_EQ(0, uncovered) << "sweep " << sweep << ", " << desk.mesh.indexCount / 3 << " triangles";
        EXPECT_EQ(0, different) << "sweep " << sweep << ", " << desk.mesh.indexCount / 3 << " triangles";
        if (HasFailure() || desk.mesh.indexCount == previous) {
            break;
        }
    }
    EXPECT_LT(desk.mesh.indexCount / 3, triangles / 12);
}
