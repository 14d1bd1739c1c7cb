#include <gtest/gtest.h>

#include <cmath>

#include "objects/firedesk.h"
#include "render/material.h"
#include "support/alloc_counter.h"
#include "support/test_env.h"

namespace {

const float kEps = 1e-5f;

class FireDeskTest : public ::testing::Test {
protected:
    TestEnv env;
    FXMaterial material;
    FXFireDesk fire;

    void SetUp() override {
        fxSetEnv(&env);
        ASSERT_TRUE(fire.Create(64));
        fire.desk.SetMaterial(&material);
    }
    void TearDown() override {
        fire.Destroy();
        fxSetEnv(nullptr);
    }

    tagFXVertex& V(int row, int column) { return fire.desk.mesh.vertices[row * (fire.spokes + 1) + column]; }
    static bool OnScreen(const tagFXVertex& v) {
        return v.position[0] >= -1.0f && v.position[0] <= 1.0f && v.position[1] >= -1.0f && v.position[1] <= 1.0f;
    }
    bool AnyRingVertexOnScreen() {
        for (int row = 0; row <= 8; row++) {
            for (int i = 0; i < fire.spokes; i++) {
                if (OnScreen(V(row, i))) {
                    return true;
                }
            }
        }
        return false;
    }
    void SetAllSpeeds(float s) {
        for (int i = 0; i < fire.speeds.size; i++) {
            fire.speeds.elements[i] = s;
        }
    }
};

void expectColour(const float* c, float r, float g, float b, float a, float tolerance = 1e-6f) {
    EXPECT_NEAR(c[0], r, tolerance);
    EXPECT_NEAR(c[1], g, tolerance);
    EXPECT_NEAR(c[2], b, tolerance);
    EXPECT_NEAR(c[3], a, tolerance);
}

} // namespace

TEST(FireDeskCreate, RefusesSpokeCountsThatBreakTheGeometry) {
    FXFireDesk fire;
    EXPECT_FALSE(fire.Create(39));
    EXPECT_FALSE(fire.Create(41));
    EXPECT_EQ(fire.desk.cols, 0);
    EXPECT_EQ(fire.radii.size, 0);
    TestEnv env;
    fire.OnRender(&env, 1.0);
    fire.OnRender(&env, 2.0);
    EXPECT_FALSE(fire.finished);
    EXPECT_TRUE(fire.Create(1024)); // the scene's count
    EXPECT_EQ(fire.desk.rows, 9);
    EXPECT_EQ(fire.radii.size, 9 * 1024);
}

TEST_F(FireDeskTest, EverySpokeKeepsItsOwnDirectionAndRingsStartStaggered) {
    const float step = 6.283f / 63.0f;
    for (int i = 0; i < fire.spokes; i++) {
        EXPECT_FLOAT_EQ(fire.dirs.elements[2 * i], sinf((float)i * step));
        EXPECT_FLOAT_EQ(fire.dirs.elements[2 * i + 1], cosf((float)i * step));
    }
    for (int j = 0; j < 9; j++) {
        for (int i = 0; i < fire.spokes; i++) {
            ASSERT_FLOAT_EQ(fire.Radius(j, i), (float)(j - 2) * 0.01f);
            ASSERT_EQ(fire.Speed(j, i), 1.0f);
        }
    }
}

TEST_F(FireDeskTest, SpacingLiftsToTheLeastRoomOrPullsInToTheMost) {
    fire.UpdatePositions(0.0);
    SetAllSpeeds(0.0f);
    // Rings all on top of each other: every pair is lifted to its least room.
    for (int i = 0; i < fire.radii.size; i++) {
        fire.radii.elements[i] = 0.0f;
    }
    fire.UpdatePositions(1.0);
    const float gap = 0.01f;
    const float least[8] = {gap, gap, 0.01f * gap, 0.01f * gap, 0.99f * gap, 0.01f * gap, 3 * gap, 3 * gap};
    const float most[8] = {2 * gap, 2 * gap, 0.01f * gap, 0.01f * gap, 0.99f * gap, 0.01f * gap, 6 * gap, 6 * gap};
    for (int i = 0; i < fire.spokes; i++) {
        ASSERT_NEAR(fire.Radius(0, i), -gap, kEps); // ring 0 trails ring 1 by one gap
        ASSERT_NEAR(fire.Radius(1, i), 0.0f, kEps);
        for (int j = 1; j < 8; j++) {
            ASSERT_NEAR(fire.Radius(j + 1, i) - fire.Radius(j, i), least[j], 1e-6f) << j;
        }
    }
    // Rings far apart: every pair is pulled in to its most room.
    for (int j = 0; j < 9; j++) {
        for (int i = 0; i < fire.spokes; i++) {
            fire.radii.elements[j * fire.spokes + i] = (float)j;
        }
    }
    fire.UpdatePositions(2.0);
    for (int i = 0; i < fire.spokes; i++) {
        ASSERT_NEAR(fire.Radius(1, i), 1.0f, kEps);
        ASSERT_NEAR(fire.Radius(0, i), 1.0f - gap, kEps); // ring 0 still trails by one gap
        for (int j = 1; j < 8; j++) {
            ASSERT_NEAR(fire.Radius(j + 1, i) - fire.Radius(j, i), most[j], 1e-6f) << j;
        }
    }
}

TEST_F(FireDeskTest, VerticesSitOnTheirRingsUnquantisedAndTheRimBeyondTheScreen) {
    for (double t = 0.0; t < 20.0; t += 0.1) {
        fire.OnRender(&env, t);
    }
    const int n = fire.spokes;
    for (int row = 0; row <= 8; row++) {
        for (int i = 0; i < n; i++) {
            const tagFXVertex& v = V(row, i);
            ASSERT_NEAR(v.position[0], fire.dirs.elements[2 * i] * fire.Radius(row, i), kEps);
            ASSERT_NEAR(v.position[1], fire.dirs.elements[2 * i + 1] * fire.Radius(row, i), kEps);
            ASSERT_NEAR(v.texCoord[0], 0.5f * (v.position[0] + 1.0f), kEps);
        }
    }
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(hypotf(V(9, i).position[0], V(9, i).position[1]), 2.0f, kEps);
    }
    for (int row = 0; row <= 9; row++) {
        EXPECT_EQ(V(row, n).position[0], V(row, 0).position[0]);
        EXPECT_EQ(V(row, n).position[1], V(row, 0).position[1]);
        EXPECT_EQ(V(row, n).texCoord[1], V(row, 0).texCoord[1]);
    }
}

TEST_F(FireDeskTest, TheGlowFollowsTheSpeedsWithinASlewLimit) {
    fire.UpdatePositions(0.0);
    // Fast rings everywhere: the glow climbs 0.1 per vertex along the processing order, so
    // spoke 0 stays dark red while every spoke from the fifth on turns yellow.
    for (int frame = 1; frame <= 400; frame++) {
        SetAllSpeeds(fire.baseSpeed + 2.0f);
        fire.UpdatePositions(frame * 0.001);
    }
    // 400 steps of 3 % leave about 5e-6 of the way to go.
    const float near = 1e-4f;
    expectColour(V(3, 0).colour, 0.16f, 0.0f, 0.0f, 1.0f, near);
    expectColour(V(4, 0).colour, 0.32f, 0.0f, 0.0f, 1.0f, near);
    expectColour(V(3, 1).colour, 0.48f, 0.0f, 0.0f, 1.0f, near);
    expectColour(V(4, 2).colour, 0.8f + 0.2f * 0.2f, 0.2f, 0.0f, 1.0f, near); // q = 0.6
    for (int i = 5; i < fire.spokes; i++) {
        expectColour(V(3, i).colour, 1.0f, 1.0f, 0.0f, 1.0f, near);
        expectColour(V(4, i).colour, 1.0f, 1.0f, 0.0f, 1.0f, near);
    }
    // One frame at rest moves every colour only 3 % towards its new, darker target.
    const float before = V(3, 10).colour[1];
    SetAllSpeeds(fire.baseSpeed);
    fire.UpdatePositions(0.5);
    EXPECT_NEAR(V(3, 10).colour[1], before * 0.97f, 1e-5f);
    // At rest the glow settles at a dim red: q is only the random 0 ... 0.2.
    for (int frame = 0; frame < 400; frame++) {
        fire.UpdatePositions(0.5 + frame * 0.001);
    }
    for (int i = 0; i < fire.spokes; i++) {
        ASSERT_LE(V(3, i).colour[0], 0.33f);
        ASSERT_LT(V(4, i).colour[1], 0.01f);
    }
    // The other rows are never animated.
    expectColour(V(5, 7).colour, 128.0f / 255.0f, 99.0f / 255.0f, 68.0f / 255.0f, 1.0f);
    expectColour(V(2, 7).colour, 0.0f, 0.0f, 0.0f, 1.0f);
}

TEST_F(FireDeskTest, FinishedOnceEveryRingVertexIsOffScreen) {
    double t = 0.0;
    bool wasOnScreen = true;
    for (; t < 200.0 && !fire.finished; t += 1.0 / 30.0) {
        wasOnScreen = AnyRingVertexOnScreen();
        fire.OnRender(&env, t);
    }
    ASSERT_TRUE(fire.finished);
    EXPECT_TRUE(wasOnScreen);
    EXPECT_FALSE(AnyRingVertexOnScreen());
    fire.ReCreate();
    EXPECT_FALSE(fire.finished);
    EXPECT_FLOAT_EQ(fire.Radius(0, 3), -0.02f);
    EXPECT_TRUE(fire.firstFrame);
}

TEST_F(FireDeskTest, SpeedsAreRenewedEveryHalfSecond) {
    fire.OnRender(&env, 10.0);
    EXPECT_EQ(fire.lastSpeedTime, 10.0);
    fire.OnRender(&env, 10.4);
    EXPECT_EQ(fire.lastSpeedTime, 10.0);
    fire.OnRender(&env, 10.51);
    EXPECT_EQ(fire.lastSpeedTime, 10.51);
    for (int i = 0; i < fire.speeds.size; i++) {
        ASSERT_GE(fire.speeds.elements[i], fire.baseSpeed);
    }
}

TEST_F(FireDeskTest, FramesAfterTheFirstAllocateNothing) {
    fire.OnRender(&env, 0.0);
    fxTestAllocStart();
    bool sawFinished = false;
    double t = 0.0;
    for (int frame = 1; frame <= 400; frame++) {
        t += 0.1;
        fire.OnRender(&env, t);
        sawFinished |= fire.finished;
    }
    EXPECT_EQ(fxTestAllocStop(), 0);
    EXPECT_TRUE(sawFinished);
}
