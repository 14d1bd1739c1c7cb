#include "render/3dmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const float kNegDegToRad = -0.017452778f;

uint32_t Bits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

float FromBits(uint32_t u) {
    float f;
    memcpy(&f, &u, 4);
    return f;
}

void ExpectBitsEqual(const FXMatrix& a, const FXMatrix& b) {
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(Bits(a.m[i]), Bits(b.m[i])) << "element " << i;
    }
}

// Checks that the elements listed hold their values and every other element its identity value.
void ExpectIdentityExcept(const FXMatrix& mat, std::initializer_list<std::pair<int, float>> set) {
    for (int i = 0; i < 16; i++) {
        float want = (i % 5 == 0) ? 1.0f : 0.0f;
        for (const auto& p : set) {
            if (p.first == i) {
                want = p.second;
            }
        }
        EXPECT_EQ(Bits(want), Bits(mat.m[i])) << "element " << i;
    }
}

FXMatrix Sample() {
    FXMatrix a;
    const float v[16] = {0.1f,  -2.5f, 3.75f, 1e-3f, 7.0f, 0.333f,  -1e6f, 2.0f,
                         -0.7f, 5.5f,  1.25f, -3.0f, 9.0f, -0.125f, 4.0f,  1.0f};
    memcpy(a.m, v, sizeof(v));
    return a;
}

} // namespace

TEST(MatrixTest, BuildersLayOutElementsInGlOrder) {
    FXMatrix mat;
    mat.SetScaleF(2.0f, 3.0f, 4.0f);
    ExpectIdentityExcept(mat, {{0, 2.0f}, {5, 3.0f}, {10, 4.0f}, {15, 1.0f}});

    const float v[3] = {2.0f, 3.0f, 4.0f};
    mat.Clear(9.0f);
    mat.SetScale(v);
    ExpectIdentityExcept(mat, {{0, 2.0f}, {5, 3.0f}, {10, 4.0f}});

    mat.Clear(9.0f);
    mat.SetMoveF(2.0f, 3.0f, 4.0f);
    ExpectIdentityExcept(mat, {{12, 2.0f}, {13, 3.0f}, {14, 4.0f}});
    mat.Clear(9.0f);
    mat.SetMove(v);
    ExpectIdentityExcept(mat, {{12, 2.0f}, {13, 3.0f}, {14, 4.0f}});

    mat.Clear(9.0f);
    mat.SetIdentity();
    ExpectIdentityExcept(mat, {});
    mat.SetFlipX();
    ExpectIdentityExcept(mat, {{0, -1.0f}});
    mat.SetFlipY();
    ExpectIdentityExcept(mat, {{5, -1.0f}});
    mat.SetFlipZ();
    ExpectIdentityExcept(mat, {{10, -1.0f}});

    // M(column, row) addresses element 4 * column + row.
    EXPECT_EQ(&mat.m[13], mat.M(3, 1));
    EXPECT_EQ(&mat.m[2], mat.M(0, 2));
}

TEST(MatrixTest, RightAnglesKeepTheirSignsAndInexactCosines) {
    const float c90 = cosf(90.0f * kNegDegToRad);
    FXMatrix mat;

    // Clockwise about Z: element 1 = -1, element 4 = +1.
    mat.SetRotateZ(90.0f);
    ExpectIdentityExcept(mat, {{0, c90}, {5, c90}, {1, -1.0f}, {4, 1.0f}});
    EXPECT_NEAR(0.0000463, mat.m[0], 5e-8);
    EXPECT_NE(0.0f, mat.m[0]);

    // Counter-clockwise about X.
    mat.SetRotateX(90.0f);
    ExpectIdentityExcept(mat, {{5, c90}, {10, c90}, {6, 1.0f}, {9, -1.0f}});

    mat.SetRotateY(90.0f);
    ExpectIdentityExcept(mat, {{0, c90}, {10, c90}, {2, 1.0f}, {8, -1.0f}});

    const float s180 = -sinf(180.0f * kNegDegToRad);
    mat.SetRotateX(180.0f);
    ExpectIdentityExcept(mat, {{5, -1.0f}, {10, -1.0f}, {6, s180}, {9, -s180}});
    EXPECT_NEAR(0.0000927, mat.m[6], 5e-8);
    EXPECT_GT(mat.m[6], 0.0f);
}

TEST(MatrixTest, RotationsUseTheSinglePrecisionProduct) {
    const float angles[] = {30.0f, -45.0f, 123.456f, 720.0f, 0.0f};
    for (float deg : angles) {
        const float r = deg * kNegDegToRad;
        const float s = -sinf(r); // sin of the angle
        const float c = cosf(r);
        FXMatrix mat;
        mat.SetRotateX(deg);
        ExpectIdentityExcept(mat, {{5, c}, {10, c}, {6, s}, {9, -s}});
        mat.SetRotateY(deg);
        ExpectIdentityExcept(mat, {{0, c}, {10, c}, {2, s}, {8, -s}});
        mat.SetRotateZ(deg);
        ExpectIdentityExcept(mat, {{0, c}, {5, c}, {1, -s}, {4, s}});
    }
}

TEST(MatrixTest, MultiplyByIdentityReturnsTheMatrixExactly) {
    FXMatrix a = Sample();
    FXMatrix id, out;
    id.SetIdentity();
    out.Multiply(&a, &id);
    ExpectBitsEqual(a, out);
    out.Clear(5.0f);
    out.Multiply(&id, &a);
    ExpectBitsEqual(a, out);
}

TEST(MatrixTest, MultiplyOrderFollowsGl) {
    FXMatrix move, scale, out;
    move.SetMoveF(1.0f, 2.0f, 3.0f);
    scale.SetScaleF(2.0f, 2.0f, 2.0f);

    // Move on the left: the scale applies first, the move stays.
    out.Multiply(&move, &scale);
    ExpectIdentityExcept(out, {{0, 2.0f}, {5, 2.0f}, {10, 2.0f}, {12, 1.0f}, {13, 2.0f}, {14, 3.0f}});

    out.Multiply(&scale, &move);
    ExpectIdentityExcept(out, {{0, 2.0f}, {5, 2.0f}, {10, 2.0f}, {12, 2.0f}, {13, 4.0f}, {14, 6.0f}});
}

TEST(MatrixTest, MultiplyRoundsEachStepInSinglePrecision) {
    FXMatrix a, b, out;

    // Element 0 sums a[0]b[0] + a[4]b[1] + a[8]b[2] + a[12]b[3]. In float, in this order, the
    // 1 added to 1e8 is lost: 1e8, 1e8, 0, 1. Double accumulation gives 2, reverse order 0.
    a.Clear(0.0f);
    b.Clear(0.0f);
    a.m[0] = 1e8f;
    a.m[4] = 1.0f;
    a.m[8] = -1e8f;
    a.m[12] = 1.0f;
    b.m[0] = b.m[1] = b.m[2] = b.m[3] = 1.0f;
    out.Multiply(&a, &b);
    EXPECT_EQ(1.0f, out.m[0]);

    // x * x = 1 + 2^-11 + 2^-24 rounds to 1 + 2^-11 in float; a fused multiply-add would keep
    // the 2^-24 against the preceding -(1 + 2^-11).
    const float x = 1.0f + ldexpf(1.0f, -12);
    a.Clear(0.0f);
    b.Clear(0.0f);
    a.m[0] = -(1.0f + ldexpf(1.0f, -11));
    b.m[0] = 1.0f;
    a.m[4] = x;
    b.m[1] = x;
    out.Multiply(&a, &b);
    EXPECT_EQ(Bits(0.0f), Bits(out.m[0]));

    // A general product against the same sums done step by step in float.
    a = Sample();
    b = Sample();
    for (int i = 0; i < 16; i++) {
        b.m[i] = b.m[i] * 0.37f + 0.01f * i;
    }
    out.Multiply(&a, &b);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            volatile float s = 0.0f;
            for (int k = 0; k < 4; k++) {
                volatile float p = a.m[4 * k + j] * b.m[4 * i + k];
                s = s + p;
            }
            EXPECT_EQ(Bits(s), Bits(out.m[4 * i + j])) << "element " << 4 * i + j;
        }
    }
}

TEST(MatrixTest, CompareIsExactAndNanNeverEqual) {
    FXMatrix a = Sample();
    FXMatrix b;
    b.Copy(&a);
    EXPECT_TRUE(a.Compare(&b));
    EXPECT_TRUE(a.Compare(&a));

    b.m[15] = nextafterf(b.m[15], 2.0f);
    EXPECT_FALSE(a.Compare(&b));
    EXPECT_FALSE(b.Compare(&a));

    b.Copy(&a);
    b.m[7] = NAN;
    EXPECT_FALSE(b.Compare(&b));
    EXPECT_FALSE(a.Compare(&b));
}

TEST(MatrixTest, SaveLoadRoundTripsBitForBit) {
    char dir[] = "/tmp/fx3dmathXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    const std::string path = std::string(dir) + "/m.bin";

    FXMatrix a = Sample();
    a.m[1] = -0.0f;
    a.m[2] = FromBits(0x7fc12345u); // NaN with a payload
    a.m[3] = FromBits(0x00000001u); // smallest denormal
    a.m[0] = 1.0f;

    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(1, a.Save(f));
    fclose(f);

    f = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    uint8_t raw[64];
    ASSERT_EQ(64u, fread(raw, 1, sizeof(raw), f));
    EXPECT_EQ(EOF, fgetc(f));
    // Little-endian element 0 (1.0f) first, then element 1 (-0.0f).
    const uint8_t head[8] = {0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(0, memcmp(head, raw, 8));

    rewind(f);
    FXMatrix b;
    b.Clear(3.0f);
    EXPECT_EQ(1, b.Load(f));
    ExpectBitsEqual(a, b);
    EXPECT_EQ(0, b.Load(f)); // at the end
    fclose(f);

    // 63 bytes: a short read.
    f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(63u, fwrite(raw, 1, 63, f));
    fclose(f);
    f = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    b.Clear(3.0f);
    EXPECT_EQ(0, b.Load(f));
    EXPECT_EQ(3.0f, b.m[15]); // not reset
    fclose(f);

    EXPECT_EQ(0, a.Save(nullptr));
    EXPECT_EQ(0, b.Load(nullptr));

    unlink(path.c_str());
    rmdir(dir);
}

TEST(VectorTest, CombineMultipliesComponentsInPlace) {
    float a[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    const float b[4] = {0.5f, -1.0f, 2.0f, 0.25f};
    float out[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    fxVec2fCombine(out, a, b);
    EXPECT_EQ(9.0f, out[2]); // untouched
    fxVec3fCombine(out, a, b);
    EXPECT_EQ(6.0f, out[2]);
    EXPECT_EQ(9.0f, out[3]);
    fxVec4fCombine(a, a, b); // out aliases a
    EXPECT_EQ(0.5f, a[0]);
    EXPECT_EQ(-2.0f, a[1]);
    EXPECT_EQ(6.0f, a[2]);
    EXPECT_EQ(1.0f, a[3]);
}

TEST(VectorTest, CombinePBlendsAndExtrapolates) {
    EXPECT_EQ(4.0f, fxVec1fCombineP(3.0f, 7.0f, 0.25f));
    EXPECT_EQ(11.0f, fxVec1fCombineP(3.0f, 7.0f, 2.0f));
    EXPECT_EQ(-1.0f, fxVec1fCombineP(3.0f, 7.0f, -1.0f));

    // The shortcuts return the key values themselves, whatever the other one holds.
    EXPECT_EQ(7.0f, fxVec1fCombineP(NAN, 7.0f, 1.0f));
    EXPECT_EQ(3.0f, fxVec1fCombineP(3.0f, NAN, 0.0f));
    // Blending would lose the small key against the large one.
    EXPECT_EQ(1e-30f, fxVec1fCombineP(1e30f, 1e-30f, 1.0f));

    // One rounding at the store: 2^24 - (-1) is not a float, so a float subtraction first would
    // land on 8388607, not 8388607.5.
    EXPECT_EQ(8388607.5f, fxVec1fCombineP(-1.0f, 16777216.0f, 0.5f));

    const float a[4] = {0.0f, 1.0f, INFINITY, -0.0f};
    const float b[4] = {10.0f, 1.0f, INFINITY, 0.0f};
    float out[4];
    fxVec4fCombineP(out, a, b, 0.3f);
    EXPECT_EQ(Bits(fxVec1fCombineP(0.0f, 10.0f, 0.3f)), Bits(out[0]));
    EXPECT_EQ(1.0f, out[1]);
    EXPECT_EQ(INFINITY, out[2]); // equal keys: no inf - inf
    EXPECT_EQ(Bits(-0.0f), Bits(out[3]));

    fxVec4fCombineP(out, a, b, 0.0f);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(Bits(a[i]), Bits(out[i]));
    }
    fxVec4fCombineP(out, a, b, 1.0f);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(Bits(b[i]), Bits(out[i]));
    }

    float v[3] = {2.0f, 4.0f, 6.0f};
    const float w[3] = {4.0f, 4.0f, 0.0f};
    fxVec3fCombineP(v, v, w, 1.5f); // out aliases a
    EXPECT_EQ(5.0f, v[0]);
    EXPECT_EQ(4.0f, v[1]);
    EXPECT_EQ(-3.0f, v[2]);
}
