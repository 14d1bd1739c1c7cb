#include "geometry/bezier.h"

#include <gtest/gtest.h>

namespace {

void ExpectPt(const float* got, float x, float y, float z, float tol = 1e-6f) {
    EXPECT_NEAR(got[0], x, tol);
    EXPECT_NEAR(got[1], y, tol);
    EXPECT_NEAR(got[2], z, tol);
}

TEST(Bezier3, EndsMiddleAndPrecomputedPowers) {
    FXBezier3 q = {{1.0f, 2.0f, 3.0f}, {3.0f, 6.0f, -1.0f}, {5.0f, 0.0f, 7.0f}};
    float out[3];
    q.Get(out, 0.0f);
    ExpectPt(out, 1.0f, 2.0f, 3.0f);
    q.Get(out, 1.0f);
    ExpectPt(out, 5.0f, 0.0f, 7.0f);
    q.Get(out, 0.5f); // (P0 + 2 P1 + P2) / 4
    ExpectPt(out, 3.0f, 3.5f, 2.0f);
    for (float t : {0.0f, 0.1f, 0.8f, 1.0f}) {
        FXBezierPhaseH h;
        h.Prepare(t);
        float a[3], b[3];
        q.Get(a, t);
        q.GetH(b, &h);
        ExpectPt(b, a[0], a[1], a[2]);
    }
}

TEST(Bezier4, MatchesTheBernsteinForm) {
    FXBezier4 c = {{0.0f, 1.0f, -2.0f}, {2.0f, 3.0f, 0.0f}, {5.0f, -1.0f, 1.0f}, {4.0f, 4.0f, 3.0f}, {}, {}, {}};
    c.Precompute();
    for (float t : {0.0f, 0.2f, 0.5f, 0.7f, 1.0f}) {
        const float u = 1.0f - t;
        const float w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
        float want[3];
        for (int i = 0; i < 3; i++) {
            want[i] = w0 * c.p0[i] + w1 * c.p1[i] + w2 * c.p2[i] + w3 * c.p3[i];
        }
        float got[3], gotH[3];
        c.Get(got, t);
        ExpectPt(got, want[0], want[1], want[2], 1e-5f);
        FXBezierPhaseH h;
        h.Prepare(t);
        c.GetH(gotH, &h);
        ExpectPt(gotH, got[0], got[1], got[2], 0.0f);
    }
}

} // namespace
