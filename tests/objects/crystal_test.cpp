#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "base/other.h"
#include "objects/crystal.h"
#include "render/material.h"
#include "support/alloc_counter.h"
#include "support/test_env.h"

namespace {

// What one tile draw saw: the mesh, the matrix in force and the material's diffuse colour.
struct Draw {
    const FXMesh* mesh;
    FXMatrix matrix;
    float diffuse[4];
};

// Keeps the matrix product the device would keep, and records every draw.
class RecordingEnv : public TestEnv {
public:
    std::vector<Draw> draws;

    RecordingEnv() { draws.reserve(400); }
    void MultiplyMatrix(FXMatrix* m) override {
        FXMatrix product;
        product.Multiply(&curMatrix, m);
        curMatrix.Copy(&product);
    }
    void RenderMesh(FXMesh* mesh) override {
        Draw d;
        d.mesh = mesh;
        d.matrix.Copy(&curMatrix);
        for (int i = 0; i < 4; i++) {
            d.diffuse[i] = mesh->material != nullptr ? mesh->material->diffuse[i] : -1.0f;
        }
        draws.push_back(d);
    }
};

void transform(const FXMatrix& m, const float* p, float* out) {
    for (int r = 0; r < 3; r++) {
        out[r] = m.m[r] * p[0] + m.m[4 + r] * p[1] + m.m[8 + r] * p[2] + m.m[12 + r];
    }
}

bool sameMatrix(const FXMatrix& a, const FXMatrix& b, float tolerance) {
    for (int i = 0; i < 16; i++) {
        if (fabsf(a.m[i] - b.m[i]) > tolerance) {
            return false;
        }
    }
    return true;
}

class CrystalTest : public ::testing::Test {
protected:
    RecordingEnv env;
    FXMaterial material;
    std::unique_ptr<FXCrystal> crystal{new FXCrystal};
    FXMatrix identity;

    void SetUp() override {
        fxSetEnv(&env);
        identity.SetIdentity();
        material.texScaleU = 0.75f;
        material.texScaleV = 0.5f;
        const float diffuse[4] = {0.9f, 0.8f, 0.7f, 0.6f};
        for (int i = 0; i < 4; i++) {
            material.diffuse[i] = diffuse[i];
            material.ambient[i] = 0.5f * diffuse[i];
        }
        fxSeedRandom(1);
        ASSERT_TRUE(crystal->Create(&material));
    }
    void TearDown() override {
        crystal->Destroy();
        fxSetEnv(nullptr);
    }

    void Frame(double time) {
        env.draws.clear();
        env.ApplyMatrix(&identity);
        crystal->OnRender(&env, time);
    }

    // Frames every step seconds from `from` until the crystal leaves state 0; answers the time of
    // the frame that switched.
    double RunStateZero(double from, double step) {
        double t = from;
        for (; crystal->state == 0; t += step) {
            Frame(t);
        }
        return t - step;
    }

    bool AllShrunk() const {
        for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
            if (crystal->shrink[i].value < 1.0f) {
                return false;
            }
        }
        return true;
    }
};

} // namespace

TEST_F(CrystalTest, CreateDrawsFiveRandomValuesPerTileInOrder) {
    fxSeedRandom(4321);
    ASSERT_TRUE(crystal->Create(&material));
    const int next = fxRand();

    fxSeedRandom(4321);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        SCOPED_TRACE(i);
        float r = 1.0f + fxGetRandom();
        EXPECT_EQ(crystal->spinX[i].duration, (double)r);
        EXPECT_EQ(crystal->spinX[i].nextDuration, (double)r);
        EXPECT_DOUBLE_EQ(crystal->spinX[i].auxDuration, 10.0 * r);
        EXPECT_TRUE(crystal->spinX[i].loop);
        EXPECT_EQ(crystal->spinXSign[i], fxGetRandom() > 0.5f ? 1.0f : -1.0f);
        r = 1.0f + fxGetRandom();
        EXPECT_EQ(crystal->spinY[i].duration, (double)r);
        EXPECT_DOUBLE_EQ(crystal->spinY[i].auxDuration, 10.0 * r);
        EXPECT_TRUE(crystal->spinY[i].loop);
        EXPECT_EQ(crystal->spinYSign[i], fxGetRandom() > 0.5f ? 1.0f : -1.0f);
        r = 1.0f + 3.0f * fxGetRandom();
        EXPECT_EQ(crystal->shrink[i].duration, (double)r);
        EXPECT_FALSE(crystal->shrink[i].loop);
    }
    // Exactly 720 draws: the generator continues where the replay stopped.
    EXPECT_EQ(fxRand(), next);

    // Both directions occur; a mosaic of one direction would point at a broken draw.
    int positive = 0;
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        positive += crystal->spinXSign[i] > 0.0f;
    }
    EXPECT_GT(positive, 30);
    EXPECT_LT(positive, 114);
}

TEST_F(CrystalTest, TilesCoverTheScreenSquareEachWithItsOwnTwelfthOfThePicture) {
    for (int j = 0; j < 12; j++) {
        for (int k = 0; k < 12; k++) {
            SCOPED_TRACE(testing::Message() << "row " << j << " column " << k);
            const FXDesk& tile = crystal->tiles[j * 12 + k];
            ASSERT_EQ(tile.mesh.vertexCount, 25);
            const tagFXVertex& first = tile.mesh.vertices[0];
            const tagFXVertex& last = tile.mesh.vertices[24];
            float a[3], b[3];
            transform(crystal->tileMatrix[j * 12 + k], first.position, a);
            transform(crystal->tileMatrix[j * 12 + k], last.position, b);
            EXPECT_NEAR(a[0], -1.0f + k / 6.0f, 1e-6f);
            EXPECT_NEAR(a[1], 1.0f - j / 6.0f, 1e-6f);
            EXPECT_NEAR(b[0], -1.0f + (k + 1) / 6.0f, 1e-6f);
            EXPECT_NEAR(b[1], 1.0f - (j + 1) / 6.0f, 1e-6f);
            EXPECT_EQ(a[2], 0.0f);
            EXPECT_NEAR(first.texCoord[0], 0.75f * k / 12.0f, 1e-6f);
            EXPECT_NEAR(first.texCoord[1], 0.5f * j / 12.0f, 1e-6f);
            EXPECT_NEAR(last.texCoord[0], 0.75f * (k + 1) / 12.0f, 1e-6f);
            EXPECT_NEAR(last.texCoord[1], 0.5f * (j + 1) / 12.0f, 1e-6f);
        }
    }
}

TEST_F(CrystalTest, CreateWithoutAMaterialIsRefusedAndDrawsNothing) {
    std::unique_ptr<FXCrystal> empty(new FXCrystal);
    EXPECT_FALSE(empty->Create(nullptr));
    empty->OnRender(&env, 1.0);
    EXPECT_TRUE(env.draws.empty());
    EXPECT_FALSE(empty->finished);
}

TEST_F(CrystalTest, FirstFrameDrawsEveryTileUnturnedUnderTheCallersMatrix) {
    FXMatrix base;
    base.SetMoveF(0.25f, -0.5f, 0.0f);
    env.draws.clear();
    env.ApplyMatrix(&base);
    crystal->OnRender(&env, 500.0);
    ASSERT_EQ(env.draws.size(), 144u);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        FXMatrix expected;
        expected.Multiply(&base, &crystal->tileMatrix[i]);
        EXPECT_EQ(env.draws[i].mesh, &crystal->tiles[i].mesh);
        EXPECT_TRUE(sameMatrix(env.draws[i].matrix, expected, 0.0f)) << "tile " << i;
    }
    EXPECT_EQ(crystal->state, 0);
    EXPECT_FALSE(crystal->restartPending);
}

TEST_F(CrystalTest, StateZeroTurnsSlowlyForSevenSecondsAndNeverFinishes) {
    const double t0 = 100.0;
    for (double t = t0; t < t0 + 6.99; t += 0.05) {
        Frame(t);
        ASSERT_EQ(crystal->state, 0) << t - t0;
        ASSERT_FALSE(crystal->finished) << t - t0;
        ASSERT_EQ(env.draws.size(), 144u);
    }
    // The first turn takes ten times r and eases in cubically: at most about a third of a turn.
    Frame(t0 + 6.9);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        double r = crystal->spinX[i].nextDuration;
        EXPECT_NEAR(crystal->spinX[i].value, pow(6.9 / (10.0 * r), 3.0), 1e-4) << i;
    }
    // A frame far beyond the seven seconds switches to state 1 but does not finish in it.
    Frame(t0 + 1000.0);
    EXPECT_EQ(crystal->state, 1);
    EXPECT_FALSE(crystal->finished);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        EXPECT_DOUBLE_EQ(crystal->spinX[i].duration, 2.0 * crystal->spinX[i].nextDuration);
        EXPECT_TRUE(crystal->shrink[i].attack);
        EXPECT_EQ(crystal->shrink[i].startTime, t0 + 1000.0);
    }
}

TEST_F(CrystalTest, FinishedComesInTheFirstFrameInWhichEveryTileHasShrunk) {
    const double switched = RunStateZero(10.0, 0.02);
    EXPECT_NEAR(switched, 17.0, 0.021);
    double longest = 0.0;
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        longest = fmax(longest, crystal->shrink[i].duration);
    }
    double finishedAt = -1.0;
    for (double t = switched + 0.02; t < switched + 5.0; t += 0.02) {
        Frame(t);
        ASSERT_EQ(crystal->finished, AllShrunk()) << t - switched;
        if (crystal->finished) {
            finishedAt = t;
            break;
        }
    }
    ASSERT_GT(finishedAt, 0.0);
    EXPECT_NEAR(finishedAt - switched, longest, 0.021);
    // It stays finished, drawing tiles of size 0, until Restart.
    Frame(finishedAt + 10.0);
    EXPECT_TRUE(crystal->finished);
    EXPECT_EQ(crystal->state, 1);
}

TEST_F(CrystalTest, StateOneShrinksEveryTileTowardsTheCentreAndFadesItsShineIn) {
    const double switched = RunStateZero(0.0, 0.1);
    for (double t = switched + 0.1; t < switched + 4.5; t += 0.1) {
        Frame(t);
        size_t d = 0;
        for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
            SCOPED_TRACE(testing::Message() << "tile " << i << " at " << t - switched);
            const float c = crystal->shrink[i].value;
            const float s = 1.0f - c;
            const float q = s > 0.6f ? 0.6f + 0.4f * s : 1.4f * s;
            // The tile's centre is drawn in towards the screen's by the same factor it shrinks by.
            const float centre[3] = {0.0f, 0.0f, 0.0f};
            float home[3], drawn[3];
            transform(crystal->tileMatrix[i], centre, home);
            ASSERT_LT(d, env.draws.size());
            transform(env.draws[d].matrix, centre, drawn);
            EXPECT_NEAR(drawn[0], q * home[0], 1e-5f);
            EXPECT_NEAR(drawn[1], q * home[1], 1e-5f);
            if (c < 0.5f) {
                // Plain picture first, then the shining copy with alpha growing with c.
                ASSERT_LT(d + 1, env.draws.size());
                EXPECT_EQ(env.draws[d].diffuse[3], 0.6f);
                EXPECT_NEAR(env.draws[d + 1].diffuse[3], 0.6f * c / 0.5f, 1e-6f);
                EXPECT_EQ(env.draws[d + 1].diffuse[0], 0.9f);
                d += 2;
            } else {
                EXPECT_EQ(env.draws[d].diffuse[3], 0.6f);
                d += 1;
            }
        }
        EXPECT_EQ(d, env.draws.size());
        // Whatever was drawn last, the material leaves the frame with its own colours.
        EXPECT_EQ(material.diffuse[3], 0.6f);
        EXPECT_EQ(material.diffuse[0], 0.9f);
        EXPECT_EQ(material.ambient[2], 0.35f);
        EXPECT_EQ(material.specular[0], material.preservedCols[2][0]);
        EXPECT_EQ(material.emission[0], material.preservedCols[3][0]);
    }
}

TEST_F(CrystalTest, SpinsTurnOnceEveryRSecondsInStateOne) {
    const double switched = RunStateZero(0.0, 0.1);
    // The first frame of state 1 completes the overdue first turn and starts afresh.
    Frame(switched + 0.1);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        const FXPhaser& p = crystal->spinX[i];
        EXPECT_EQ(p.duration, p.nextDuration) << i;
        EXPECT_FALSE(p.firstCycle);
        EXPECT_EQ(p.startTime, switched + 0.1);
    }
    Frame(switched + 0.6);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        const FXPhaser& p = crystal->spinY[i];
        EXPECT_NEAR(p.value, 0.5 / p.duration, 1e-5) << i;
    }
}

TEST_F(CrystalTest, RestartStartsOverFromTheUnbrokenPicture) {
    const double switched = RunStateZero(0.0, 0.1);
    double t = switched;
    while (!crystal->finished) {
        t += 0.1;
        Frame(t);
    }
    crystal->Restart();
    EXPECT_FALSE(crystal->finished); // at once, before any frame
    EXPECT_EQ(crystal->state, 0);
    Frame(t + 3.0);
    ASSERT_EQ(env.draws.size(), 144u);
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        EXPECT_TRUE(sameMatrix(env.draws[i].matrix, crystal->tileMatrix[i], 0.0f)) << i;
        EXPECT_EQ(crystal->spinX[i].duration, crystal->spinX[i].auxDuration);
    }
    // The effect then plays exactly as the first time: seven seconds of turning.
    EXPECT_NEAR(RunStateZero(t + 3.1, 0.1) - (t + 3.0), 7.0, 0.11);
}

TEST_F(CrystalTest, FramesAfterTheFirstAllocateNothing) {
    TestEnv plain;
    Frame(0.0);
    bool sawFinished = false;
    fxTestAllocStart();
    double t = 0.0;
    for (int frame = 0; frame < 400; frame++) {
        t += 0.04;
        crystal->OnRender(&plain, t);
        sawFinished |= crystal->finished;
        if (frame == 300) {
            crystal->Restart(); // the restart frame counts too
        }
    }
    EXPECT_EQ(fxTestAllocStop(), 0);
    EXPECT_TRUE(sawFinished); // the frames went through both states
}
