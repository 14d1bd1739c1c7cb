#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cmath>
#include <vector>

#include "io/package.h"
#include "objects/planet.h"
#include "render/canvas.h"
#include "render/light.h"
#include "support/gl_fixture.h"

namespace {

// The brightest channel: a blue ocean counts as lit as a grey one.
float Brightness(uint32_t c) {
    uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    uint32_t m = r > g ? r : g;
    return (float)(m > b ? m : b) / 255.0f;
}

// The default package's Earth, placed and lit as the show places and lights its globe: the key
// light is directional from (1, 1, 0.5), a little behind the globe.
class DefaultGlobe : public GLFixture {
protected:
    FXPackage pkg;
    FXLight key;

    void SetUp() override {
        width = 160;
        height = 160;
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        fxLoadDevil();
        ASSERT_TRUE(pkg.Load(VANTREL_PACKAGE_PATH));
        key.SetDefDiffuse(1.0f);
        key.position[0] = 1.0f;
        key.position[1] = 1.0f;
        key.position[2] = 0.5f;
        key.ambient[0] = key.ambient[1] = key.ambient[2] = 0.0f;
        gl.RegisterLight(&key);
    }

    void TearDown() override {
        pkg.Destroy();
        GLFixture::TearDown();
        fxUnloadDevil();
    }

    void Draw(FXPlanet* planet, float spinDegrees) {
        gl.EnableDepthTest(true);
        gl.EnableDepthWrite(true);
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
        gl.UpdateLights();
        glEnable(GL_NORMALIZE);
        FXMatrix m;
        m.SetMoveF(-0.6f, -0.6f, 0.0f);
        gl.ApplyMatrix(&m);
        m.SetScaleF(0.98f, 1.2f, 1.2f);
        gl.MultiplyMatrix(&m);
        m.SetRotateZ(-10.0f);
        gl.MultiplyMatrix(&m);
        m.SetRotateY(spinDegrees);
        gl.MultiplyMatrix(&m);
        m.SetRotateX(90.0f);
        gl.MultiplyMatrix(&m);
        gl.EnableLights(true);
        gl.EnableLight(true, &key);
        planet->OnRender(&gl, 0.0);
        gl.EnableLights(false);
    }

    // Mean brightness over the Earth's disc, in a band of its outline (0 centre, 1 edge)
    // and on one side of it (sign of the screen direction (1, 1), or 0 for all).
    float DiscMean(float rFrom, float rTo, int side) {
        const float cx = 0.2f * (float)width, cy = 0.8f * (float)height;
        const float ax = 0.98f * 0.46f * 0.5f * (float)width, ay = 1.2f * 0.46f * 0.5f * (float)height;
        std::vector<uint32_t> pixels = ReadPixels(); // bottom row first
        float sum = 0.0f;
        int n = 0;
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                float dx = ((float)x + 0.5f - cx) / ax, dy = ((float)y + 0.5f - cy) / ay;
                float r = sqrtf(dx * dx + dy * dy);
                float towardsLight = dx - dy; // screen y grows downwards
                if (r < rFrom || r >= rTo || (side != 0 && towardsLight * (float)side <= 0.0f)) {
                    continue;
                }
                sum += Brightness(pixels[(size_t)(height - 1 - y) * (size_t)width + (size_t)x]);
                n++;
            }
        }
        return n > 0 ? sum / (float)n : -1.0f;
    }
};

} // namespace

// An ordinary diffuse Earth under this light is a dark disc with a bright crescent. The default
// one glows enough to read on its dark side and stays brighter towards the light, whichever
// way the globe has turned.
TEST_F(DefaultGlobe, EarthReadsOnItsDarkSideAndIsLitFromTheUpperRight) {
    FXPlanet planet;
    ASSERT_TRUE(planet.AddLayerCN(&pkg, 24));
    for (float spin : {0.0f, 90.0f, 180.0f, 270.0f}) {
        SCOPED_TRACE(spin);
        Draw(&planet, spin);
        float dark = DiscMean(0.0f, 0.7f, -1);
        float lit = DiscMean(0.5f, 0.95f, 1);
        EXPECT_GT(dark, 0.1f);
        EXPECT_GT(lit, dark * 1.4f);
        EXPECT_GT(DiscMean(1.15f, 1.4f, 0), -0.5f); // the band outside lies on screen
        EXPECT_LT(DiscMean(1.15f, 1.4f, 0), 0.01f); // and nothing is drawn there
    }
}
