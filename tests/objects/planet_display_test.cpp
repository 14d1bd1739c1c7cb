#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "object_test_helpers.h"
#include "objects/planet.h"
#include "support/gl_fixture.h"

namespace {

const double T0 = 1000.0;

int Red(uint32_t c) {
    return (int)(c & 0xFF);
}
int Green(uint32_t c) {
    return (int)((c >> 8) & 0xFF);
}

// A 64 x 48 window (its back buffer has no alpha: it reads as 255), depth test on, lights off,
// cleared to black before every frame.
class PlanetDisplay : public GLFixture {
protected:
    FXTestDir dir;

    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        gl.EnableLights(false);
        gl.EnableDepthTest(true);
    }

    void Frame(FXPlanet* planet, double time) {
        gl.EnableDepthWrite(true);
        gl.Clrscr(true, true, false);
        gl.ApplyMatrixIdentity();
        planet->OnRender(&gl, time);
    }

    std::string Square(const std::string& name, float z) {
        std::string path = dir.File(name);
        EXPECT_TRUE(WriteSquareModel(path, z));
        return path;
    }
};

} // namespace

// A near red shell drawn first hides a far green one only when it writes depth.
TEST_F(PlanetDisplay, FluidLayersWriteNoDepth) {
    std::string nearShell = Square("near.xm", -0.5f);
    std::string farShell = Square("far.xm", 0.5f);
    for (int fluid = 0; fluid < 2; fluid++) {
        FXPlanet planet;
        planet.color[1] = planet.color[2] = 0.0f;
        ASSERT_TRUE(planet.AddLayer(nearShell.c_str()));
        planet.SetLayerFluid(fluid == 1);
        planet.color[0] = 0.0f;
        planet.color[1] = 1.0f;
        ASSERT_TRUE(planet.AddLayer(farShell.c_str()));
        Frame(&planet, T0);
        EXPECT_EQ(PixelAt(width / 2, height / 2), fluid == 1 ? fxTestRGBA(0, 255, 0, 255) : fxTestRGBA(255, 0, 0, 255))
            << fluid;
    }
}

// White over black shows the layer's alpha: 0 at the start of a cycle (nothing passes the alpha
// test), a half at a quarter, full at mid-cycle.
TEST_F(PlanetDisplay, TransparencyPulseShowsOnScreen) {
    FXPlanet planet;
    ASSERT_TRUE(planet.AddLayer(Square("shell.xm", 0.0f).c_str()));
    planet.SetLayerTransp(FX_PLANET_TRANSP, 4.0);
    struct Step {
        double t;
        int level;
    };
    const Step steps[] = {{T0, 0}, {T0 + 1.0, 128}, {T0 + 2.0, 255}, {T0 + 3.0, 128}, {T0 + 4.0, 0}};
    for (const Step& s : steps) {
        Frame(&planet, s.t);
        uint32_t c = PixelAt(width / 2, height / 2);
        EXPECT_NEAR(Red(c), s.level, 2) << s.t - T0;
        EXPECT_NEAR(Green(c), s.level, 2) << s.t - T0;
    }
}
