#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/other.h"
#include "base/trace.h"
#include "objects/techdesk.h"
#include "render/material.h"
#include "support/alloc_counter.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace {

const float kEps = 1e-5f;

class TechDeskTest : public ::testing::Test {
protected:
    TestEnv env;
    FXMaterial material;
    FXTechDesk tech;

    void SetUp() override {
        fxSetEnv(&env);
        ASSERT_TRUE(tech.Create(256));
        tech.desk.SetMaterial(&material);
    }
    void TearDown() override {
        tech.Destroy();
        fxSetEnv(nullptr);
    }

    const tagFXVertex& V(int row, int column) { return tech.desk.mesh.vertices[row * (tech.spokes + 1) + column]; }
    static bool OnScreen(const tagFXVertex& v) {
        return v.position[0] >= -1.0f && v.position[0] <= 1.0f && v.position[1] >= -1.0f && v.position[1] <= 1.0f;
    }
    static float Distance(const tagFXVertex& v) { return hypotf(v.position[0], v.position[1]); }
    bool AnyTestedVertexOnScreen() {
        for (int row = 1; row <= 3; row++) {
            for (int s = 0; s < tech.spokes; s += 2) {
                if (OnScreen(V(row, s))) {
                    return true;
                }
            }
        }
        return false;
    }
    float SlowestInnerRing() {
        float m = 1000.0f;
        for (int i = 0; i < tech.spokes; i++) {
            m = fminf(m, tech.Radius(0, i));
        }
        return m;
    }
};

bool isMultiple(float value, float step) {
    float n = value / step;
    return fabsf(n - roundf(n)) < 1e-3f;
}

} // namespace

TEST(TechDeskCreate, RefusesSpokeCountsThatBreakTheGeometry) {
    TestEnv env;
    fxSetEnv(&env);
    FXTestDir dir;
    std::string log = dir.File("trace.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    FXTechDesk tech;
    ASSERT_TRUE(tech.Create(64));
    for (int n : {39, 41, 38, 0, -2, 255}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(tech.Create(n));
        EXPECT_EQ(tech.spokes, 0);
        EXPECT_EQ(tech.desk.cols, 0);
        EXPECT_EQ(tech.wire.cols, 0);
        EXPECT_EQ(tech.desk.mesh.vertexCount, 0);
        EXPECT_EQ(tech.dirs.size, 0);
        EXPECT_EQ(tech.radii.size, 0);
        EXPECT_FALSE(tech.IsBuilt());
        // An empty desk is harmless to drive.
        tech.ReCreate();
        tech.OnRender(&env, 1.0);
        tech.OnRender(&env, 2.0);
        EXPECT_FALSE(tech.finished);
    }
    fxCloseTraces();
    FXBytes text;
    ASSERT_TRUE(fxTestReadFile(log, &text));
    std::string s(text.begin(), text.end());
    EXPECT_NE(s.find("#ERROR: "), std::string::npos) << s;
    EXPECT_NE(s.find("FXTechDesk::Create: 39 spokes refused: the count must be even and at least 40"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("FXTechDesk::Create: 255 spokes refused"), std::string::npos) << s;
    EXPECT_TRUE(tech.Create(40)); // the smallest count that works
    EXPECT_TRUE(tech.IsBuilt());
    fxSetEnv(nullptr);
}

TEST_F(TechDeskTest, CreatePairsSpokesIntoSectors) {
    const int n = tech.spokes;
    ASSERT_EQ(tech.dirs.size, 2 * n);
    const float step = 6.283f / (float)(n - 1);
    for (int i = 0; i < n; i++) {
        SCOPED_TRACE(i);
        // Even spokes after the first look along the odd spoke before them.
        const int own = (i % 2 == 0 && i > 0) ? i - 1 : i;
        EXPECT_FLOAT_EQ(tech.dirs.elements[2 * i], sinf((float)own * step));
        EXPECT_FLOAT_EQ(tech.dirs.elements[2 * i + 1], cosf((float)own * step));
    }
    // Spoke 0 points straight up; the angles run clockwise.
    EXPECT_EQ(tech.dirs.elements[0], 0.0f);
    EXPECT_EQ(tech.dirs.elements[1], 1.0f);
    EXPECT_GT(tech.dirs.elements[2], 0.0f);
}

TEST_F(TechDeskTest, FirstFrameAfterReCreateKeepsEveryRingAtTheCentre) {
    for (double t = 50.0; t < 60.0; t += 0.05) {
        tech.OnRender(&env, t);
    }
    ASSERT_GT(Distance(V(3, 0)), 0.1f); // it had opened
    tech.ReCreate();
    tech.desk.SetMaterial(&material);
    EXPECT_FALSE(tech.finished);
    tech.OnRender(&env, 80.0);
    for (int row = 0; row <= 4; row++) {
        for (int column = 0; column <= tech.spokes; column++) {
            ASSERT_EQ(Distance(V(row, column)), 0.0f) << row << " " << column;
            ASSERT_EQ(V(row, column).texCoord[0], 0.5f); // the picture's centre: no texture, half-extent 0.5
            ASSERT_EQ(V(row, column).texCoord[1], 0.5f);
        }
    }
    for (int v = 0; v < tech.wire.mesh.vertexCount; v++) {
        ASSERT_EQ(tech.wire.mesh.vertices[v].position[0], 0.0f);
        ASSERT_EQ(tech.wire.mesh.vertices[v].position[1], 0.0f);
    }
    // The speeds were made in that very frame, not 0.2 s later.
    EXPECT_EQ(tech.lastSpeedTime, 80.0);
    EXPECT_FALSE(tech.speedsDue);
    int changed = 0;
    for (int i = 0; i < tech.speeds.size; i++) {
        ASSERT_GE(tech.speeds.elements[i], tech.baseSpeed);
        changed += tech.speeds.elements[i] != 1.0f;
    }
    EXPECT_GE(changed, tech.speeds.size - 2);
}

TEST_F(TechDeskTest, SpeedsAreRenewedEveryFifthOfASecond) {
    tech.OnRender(&env, 10.0);
    std::vector<float> first(tech.speeds.elements, tech.speeds.elements + tech.speeds.size);
    tech.OnRender(&env, 10.15);
    EXPECT_EQ(std::vector<float>(tech.speeds.elements, tech.speeds.elements + tech.speeds.size), first);
    tech.OnRender(&env, 10.21);
    EXPECT_NE(std::vector<float>(tech.speeds.elements, tech.speeds.elements + tech.speeds.size), first);
    EXPECT_EQ(tech.lastSpeedTime, 10.21);
}

TEST_F(TechDeskTest, MinimumSpacingRampsInOverFourAndAHalfSeconds) {
    const double t0 = 200.0;
    tech.UpdatePositions(t0);
    for (double e : {0.45, 1.5, 2.25, 3.6, 4.5, 6.0, 20.0}) {
        SCOPED_TRACE(e);
        // Nothing moves by itself: all spacing comes from the minimum.
        for (int i = 0; i < tech.radii.size; i++) {
            tech.radii.elements[i] = 0.0f;
            tech.speeds.elements[i] = 0.0f;
        }
        tech.UpdatePositions(t0 + e);
        const float expected = 0.04f * (float)fmin(e / 4.5, 1.0);
        for (int i = 0; i < tech.spokes; i++) {
            ASSERT_EQ(tech.Radius(0, i), 0.0f);
            ASSERT_NEAR(tech.Radius(1, i), expected, kEps);
            ASSERT_NEAR(tech.Radius(2, i) - tech.Radius(1, i), expected, kEps);
            ASSERT_NEAR(tech.Radius(3, i) - tech.Radius(2, i), expected, kEps);
        }
    }
}

TEST_F(TechDeskTest, SpacingKeepsEachRingBetweenTheMinimumAndAWideGapBeyondTheLast) {
    tech.UpdatePositions(0.0);
    for (int i = 0; i < tech.radii.size; i++) {
        tech.speeds.elements[i] = 0.0f;
    }
    const float before[4] = {0.0f, 0.02f, 0.15f, 0.16f};
    for (int i = 0; i < tech.spokes; i++) {
        for (int j = 0; j < 4; j++) {
            tech.radii.elements[j * tech.spokes + i] = before[j];
        }
    }
    tech.UpdatePositions(10.0); // past the ramp: the minimum is 0.04
    for (int i = 0; i < tech.spokes; i++) {
        ASSERT_EQ(tech.Radius(0, i), 0.0f);
        ASSERT_NEAR(tech.Radius(1, i), 0.04f, kEps); // lifted to the minimum
        ASSERT_NEAR(tech.Radius(2, i), 0.12f, kEps); // pulled in to 0.08 beyond ring 1
        ASSERT_NEAR(tech.Radius(3, i), 0.16f, kEps); // in between: left alone
    }
}

TEST_F(TechDeskTest, TheLeashHoldsEveryRingNearTheSlowestInnerRing) {
    const double t0 = 0.0;
    bool leashBit = false;
    for (double t = t0; t < t0 + 12.0; t += 1.0 / 60.0) {
        tech.OnRender(&env, t);
        const float e = (float)(t - t0);
        const float minGap = 0.04f * fminf(e / 4.5f, 1.0f);
        const float m = SlowestInnerRing();
        for (int i = 0; i < tech.spokes; i++) {
            // Inner rings: within 0.16 of the slowest. Outer rings: also, except where the
            // minimum spacing lifted them past it, which adds one minimum gap per ring.
            for (int j = 0; j < 4; j++) {
                ASSERT_LE(tech.Radius(j, i), m + 0.16f + (float)j * minGap + kEps)
                    << "ring " << j << " spoke " << i << " at " << e;
            }
            leashBit |= fabsf(tech.Radius(0, i) - (m + 0.16f)) < kEps;
        }
    }
    EXPECT_TRUE(leashBit); // the bound was reached, so it was the leash that held
}

TEST_F(TechDeskTest, VerticesMoveInStepsOfAFiftiethAndTheRimInTenths) {
    // A picture filling three quarters of its texture across and half of it down.
    material.hasTexture = true;
    material.texScaleU = 0.75f;
    material.texScaleV = 0.5f;
    std::vector<float> previous(tech.desk.mesh.vertexCount, 0.0f);
    int moves = 0;
    for (double t = 0.0; t < 12.0; t += 1.0 / 60.0) {
        tech.OnRender(&env, t);
        for (int row = 1; row <= 4; row++) {
            const float step = row == 4 ? 0.1f : 0.05f;
            for (int column = 0; column <= tech.spokes; column++) {
                const tagFXVertex& v = V(row, column);
                const float d = Distance(v);
                ASSERT_TRUE(isMultiple(d, step)) << row << " " << column << " " << d;
                const int index = row * (tech.spokes + 1) + column;
                moves += d != previous[index];
                previous[index] = d;
                // The picture stays where it is on the screen.
                ASSERT_NEAR(v.texCoord[0], 0.375f * (v.position[0] + 1.0f), kEps);
                ASSERT_NEAR(v.texCoord[1], 0.25f * (1.0f - v.position[1]), kEps);
            }
        }
        for (int row = 1; row <= 3; row++) {
            for (int s = 0; s < tech.spokes; s += 2) {
                // Both edges of a sector at the radius of its even spoke, rounded down.
                const float d = Distance(V(row, s));
                ASSERT_NEAR(Distance(V(row, s + 1)), d, kEps);
                ASSERT_LE(d, tech.Radius(row, s) + kEps);
                ASSERT_GT(d + 0.05f + kEps, tech.Radius(row, s));
            }
        }
        for (int i = 0; i < tech.spokes; i++) {
            const float d = Distance(V(4, i));
            ASSERT_LE(d, tech.Radius(3, i) + kEps);
            ASSERT_GT(d + 0.1f + kEps, tech.Radius(3, i));
        }
    }
    EXPECT_GT(moves, 1000);
}

TEST_F(TechDeskTest, TheSeamAndTheWireFollowTheMesh) {
    for (double t = 0.0; t < 8.0; t += 0.1) {
        tech.OnRender(&env, t);
    }
    const int n = tech.spokes;
    for (int row = 0; row <= 4; row++) {
        EXPECT_EQ(V(row, n).position[0], V(row, 0).position[0]);
        EXPECT_EQ(V(row, n).position[1], V(row, 0).position[1]);
        EXPECT_EQ(V(row, n).texCoord[0], V(row, 0).texCoord[0]);
    }
    for (int row = 0; row <= 2; row++) {
        for (int column = 0; column <= n; column++) {
            const tagFXVertex& w = tech.wire.mesh.vertices[row * (n + 1) + column];
            ASSERT_EQ(w.position[0], V(row + 1, column).position[0]);
            ASSERT_EQ(w.position[1], V(row + 1, column).position[1]);
            ASSERT_EQ(w.texCoord[1], V(row + 1, column).texCoord[1]);
        }
    }
    for (int column = 0; column <= n; column++) {
        ASSERT_EQ(Distance(V(0, column)), 0.0f);
    }
}

TEST_F(TechDeskTest, FinishedOnceEveryTestedVertexIsOffScreen) {
    double t = 0.0;
    bool wasOnScreen = true;
    for (; t < 120.0 && !tech.finished; t += 1.0 / 60.0) {
        wasOnScreen = AnyTestedVertexOnScreen();
        tech.OnRender(&env, t);
    }
    ASSERT_TRUE(tech.finished);
    EXPECT_TRUE(wasOnScreen);                // not yet in the frame before
    EXPECT_FALSE(AnyTestedVertexOnScreen()); // all gone in the frame that finished
    // Odd spokes are not tested; the rim may still be inside on the diagonals.
    for (int i = 0; i < 30; i++) {
        t += 1.0 / 60.0;
        tech.OnRender(&env, t);
        EXPECT_TRUE(tech.finished);
    }
    tech.ReCreate();
    EXPECT_FALSE(tech.finished);
}

TEST_F(TechDeskTest, SpeedProfilesAreHumpsOverTheBaseSpeed) {
    const int n = tech.spokes;
    tech.UpdateSpeeds1();
    for (int j = 0; j < 4; j++) {
        // One broad hump: a single run of raised spokes, wrapping at most once.
        int raised = 0, starts = 0;
        float peak = 0.0f;
        for (int i = 0; i < n; i++) {
            const float s = tech.Speed(j, i);
            ASSERT_GE(s, tech.baseSpeed);
            const bool up = s > tech.baseSpeed;
            const bool before = tech.Speed(j, (i + n - 1) % n) > tech.baseSpeed;
            raised += up;
            starts += up && !before;
            peak = fmaxf(peak, s - tech.baseSpeed);
        }
        EXPECT_EQ(starts, 1) << j;
        EXPECT_GE(raised, (int)(0.25f * (n + 1)) - 2) << j;
        EXPECT_LE(raised, (int)(0.5f * (n + 1))) << j;
        // About 2 h at the top of the triangle; an odd width lifts the top by one step of the
        // rise, at most 1/32 with these widths.
        EXPECT_GE(peak, 2.0f * 0.75f - kEps);
        EXPECT_LE(peak, 2.01f * 0.75f * 33.0f / 32.0f + kEps);
    }
    tech.UpdateSpeeds2();
    tech.UpdateSpeeds3();
    for (int i = 0; i < tech.speeds.size; i++) {
        ASSERT_GE(tech.speeds.elements[i], tech.baseSpeed);
        ASSERT_LE(tech.speeds.elements[i], tech.baseSpeed + 2.01f * (0.75f * 33.0f / 32.0f + 3 * 0.5f * 17.0f / 16.0f +
                                                                     10 * 0.25f * 13.0f / 12.0f));
    }
}

TEST_F(TechDeskTest, AHumpNearTheLastSpokeContinuesFromSpokeZero) {
    const int n = tech.spokes;
    // A seed whose first draw starts the hump on one of the last few spokes.
    uint32_t seed = 1;
    for (;; seed++) {
        fxSeedRandom(seed);
        int start = (int)(fxGetRandom() * (float)(n + 1));
        if (start >= n - 3 && start < n) {
            break;
        }
    }
    fxSeedRandom(seed);
    const int start = (int)(fxGetRandom() * (float)(n + 1));
    const int width = (int)((0.125f + 0.125f * fxGetRandom()) * (float)(n + 1));
    const int end = start + width;

    for (int i = 0; i < tech.speeds.size; i++) {
        tech.speeds.elements[i] = tech.baseSpeed;
    }
    fxSeedRandom(seed);
    tech.AddHump(2, 0.125f, 0.5f, false);
    for (int c = start; c <= end; c++) {
        const int i = c % n;
        if (c == start || c == end) {
            EXPECT_EQ(tech.Speed(2, i), tech.baseSpeed) << c; // the triangle's feet
        } else {
            EXPECT_GT(tech.Speed(2, i), tech.baseSpeed) << c;
        }
    }
    EXPECT_GT(tech.Speed(2, 0), tech.baseSpeed); // past the last spoke, from spoke 0 on
    // The top of the triangle: 2 h, lifted by one step of the rise when the width is odd.
    const float top = (float)(width - width / 2) / (float)(width / 2);
    const float peak = tech.Speed(2, (start + width / 2) % n) - tech.baseSpeed;
    EXPECT_GE(peak, 2.0f * 0.5f * top - kEps);
    EXPECT_LE(peak, 2.01f * 0.5f * top + kEps);
    for (int i = end - n + 1; i < start; i++) {
        ASSERT_EQ(tech.Speed(2, i), tech.baseSpeed) << i;
    }
    for (int j : {0, 1, 3}) {
        for (int i = 0; i < n; i++) {
            ASSERT_EQ(tech.Speed(j, i), tech.baseSpeed); // other rings untouched
        }
    }
}

TEST_F(TechDeskTest, FramesAfterTheFirstAllocateNothing) {
    tech.OnRender(&env, 0.0);
    fxTestAllocStart();
    double t = 0.0;
    bool sawFinished = false;
    for (int frame = 1; frame <= 600; frame++) {
        t += 1.0 / 30.0;
        tech.OnRender(&env, t);
        sawFinished |= tech.finished;
        if (frame == 500) {
            tech.ReCreate();
        }
    }
    EXPECT_EQ(fxTestAllocStop(), 0);
    EXPECT_TRUE(sawFinished);
}
