#include "geometry/bezierspline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "base/other.h"

namespace {

const float kSquare[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

void Fill(FXBezierSpline* s, const float* pts, int n, bool closed, bool byLength = true) {
    s->Destroy();
    for (int i = 0; i < 3 * n; i++) {
        s->points.Push(pts[i]);
    }
    s->closed = closed;
    s->Precompute();
    if (byLength) {
        s->PrecomputePhasesLenght();
    } else {
        s->PrecomputePhasesLinear();
    }
}

// 20 points spread like the demo's route.
std::vector<float> RandomRoute(uint32_t seed) {
    fxSeedRandom(seed);
    std::vector<float> pts;
    for (int i = 0; i < 20; i++) {
        pts.push_back((2.0f * fxGetRandom() - 1.0f) * 0.7f);
        pts.push_back((2.0f * fxGetRandom() - 1.0f) * 0.7f);
        pts.push_back(0.0f);
    }
    return pts;
}

float Dist(const float* a, const float* b) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return sqrtf(dx * dx + dy * dy + dz * dz);
}

void ExpectNear(const float* got, const float* want, float tol) {
    EXPECT_NEAR(got[0], want[0], tol);
    EXPECT_NEAR(got[1], want[1], tol);
    EXPECT_NEAR(got[2], want[2], tol);
}

bool Finite(const float* p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

TEST(BezierSpline, ControlPointsFollowTheChordMidpoints) {
    FXBezierSpline s;
    Fill(&s, kSquare, 4, true);
    ASSERT_EQ(s.ctrlPoints.size, 24);
    // Corner (1, 0) between (0, 0) and (1, 1): the tangent runs along (1, 1) and each control
    // point lies half a chord away.
    const float h = 0.5f / sqrtf(2.0f);
    const float wantIn[3] = {1.0f - h, -h, 0.0f};
    const float wantOut[3] = {1.0f + h, h, 0.0f};
    ExpectNear(s.ctrlPoints.elements + 6, wantIn, 1e-6f);
    ExpectNear(s.ctrlPoints.elements + 9, wantOut, 1e-6f);

    s.tension = 0.5f;
    s.Precompute();
    EXPECT_NEAR(Dist(s.ctrlPoints.elements + 6, kSquare + 3), 0.25f, 1e-6f);

    // A second Precompute on the same points gives the same control points.
    const std::vector<float> first(s.ctrlPoints.elements, s.ctrlPoints.elements + 24);
    s.Precompute();
    EXPECT_EQ(memcmp(first.data(), s.ctrlPoints.elements, 24 * sizeof(float)), 0);
}

TEST(BezierSpline, ClosedSquarePassesThroughItsCornersAndCloses) {
    FXBezierSpline s;
    Fill(&s, kSquare, 4, true);
    EXPECT_FLOAT_EQ(s.totalLength, 4.0f);
    EXPECT_FLOAT_EQ(s.averageLength, 1.0f);
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(s.phases.elements[i], 0.25f * i);
        float p[3];
        s.GetAll(p, s.phases.elements[i]);
        ExpectNear(p, kSquare + 3 * i, 1e-5f);
    }
    float p[3];
    s.GetAll(p, 1.0f);
    ExpectNear(p, kSquare, 1e-5f);
    s.GetAll(p, 0.0f);
    ExpectNear(p, kSquare, 0.0f);
}

TEST(BezierSpline, TravelsWithoutJumps) {
    for (bool closed : {true, false}) {
        const std::vector<float> pts = RandomRoute(3);
        FXBezierSpline s;
        Fill(&s, pts.data(), 20, closed);
        float prev[3];
        s.GetAll(prev, 0.0f);
        float worst = 0.0f;
        for (int k = 1; k <= 4000; k++) {
            float p[3];
            s.GetAll(p, k / 4000.0f);
            ASSERT_TRUE(Finite(p));
            worst = std::max(worst, Dist(p, prev));
            memcpy(prev, p, sizeof(p));
        }
        // Each step covers about 1/4000 of the length; a wrong segment would jump by a chord.
        EXPECT_LT(worst, 4.0f * s.totalLength / 4000.0f) << closed;
        // Closed: back at the first point; open: at the last one.
        ExpectNear(prev, closed ? pts.data() : pts.data() + 57, 1e-5f);
    }
}

TEST(BezierSpline, OpenCurveEndsUseQuadraticSegments) {
    const float pts[] = {0, 0, 0, 1, 0, 0, 3, 0, 0, 6, 1, 0};
    FXBezierSpline s;
    Fill(&s, pts, 4, false);
    float p[3], q[3];
    s.GetAll(p, 0.05f);
    EXPECT_EQ(s.act3, &s.ends[0]);
    s.ends[0].Get(q, 0.05f / s.phases.elements[1]);
    ExpectNear(p, q, 1e-6f);
    s.GetAll(p, 0.3f);
    EXPECT_EQ(s.act4, &s.segments[1]);
    s.GetAll(p, 0.99f);
    EXPECT_EQ(s.act3, &s.ends[1]);

    // A length of 41 leaves the last point's phase just below 1; phase 1 is still the last point.
    const float line[] = {0, 0, 0, 10, 0, 0, 25, 0, 0, 41, 0, 0};
    Fill(&s, line, 4, false);
    EXPECT_LT(s.phases.elements[3], 1.0f);
    s.GetAll(p, 1.0f);
    ExpectNear(p, line + 9, 1e-5f);
}

TEST(BezierSpline, Phases) {
    const float pts[] = {0, 0, 0, 1, 0, 0, 3, 0, 0, 6, 0, 0};
    FXBezierSpline s;
    Fill(&s, pts, 4, false);
    EXPECT_FLOAT_EQ(s.totalLength, 6.0f);
    EXPECT_FLOAT_EQ(s.averageLength, 2.0f);
    const float open[] = {0.0f, 1.0f / 6.0f, 0.5f, 1.0f};
    for (int i = 0; i < 4; i++) {
        EXPECT_FLOAT_EQ(s.phases.elements[i], open[i]);
    }
    // Closed: the closing chord takes the rest up to 1.
    s.closed = true;
    s.PrecomputePhasesLenght();
    EXPECT_FLOAT_EQ(s.totalLength, 12.0f);
    EXPECT_FLOAT_EQ(s.averageLength, 3.0f);
    EXPECT_FLOAT_EQ(s.phases.elements[3], 0.5f);

    // Linear: evenly spaced, and a closed curve keeps a share for its closing segment.
    s.closed = false;
    s.PrecomputePhasesLinear();
    EXPECT_FLOAT_EQ(s.phases.elements[1], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(s.phases.elements[3], 1.0f);
    s.closed = true;
    s.Precompute();
    s.PrecomputePhasesLinear();
    EXPECT_FLOAT_EQ(s.phases.elements[3], 0.75f);
    float p[3];
    s.GetAll(p, 0.9f);
    EXPECT_EQ(s.actIndex, 3);
    EXPECT_GT(Dist(p, pts), 0.5f);
    EXPECT_GT(Dist(p, pts + 9), 0.5f);
}

TEST(BezierSpline, IncrementalSearchEqualsAFreshSearch) {
    const std::vector<float> pts = RandomRoute(11);
    FXBezierSpline s, ref;
    Fill(&s, pts.data(), 20, true);
    Fill(&ref, pts.data(), 20, true);

    // Forward then back; then the points' own phases approached from either side, the ends and
    // random phases. The reference starts every search from the first segment.
    std::vector<float> asks = {0.1f, 0.5f, 0.9f, 0.2f, 1.0f, 0.0f, 1.0f};
    for (int i = 19; i >= 0; i--) {
        asks.push_back(s.phases.elements[i]);
        asks.push_back(1.0f);
    }
    for (int i = 0; i < 20; i++) {
        asks.push_back(s.phases.elements[i]);
    }
    fxSeedRandom(5);
    for (int i = 0; i < 300; i++) {
        asks.push_back(fxGetRandom());
    }
    int lastIndex = 0;
    for (size_t k = 0; k < asks.size(); k++) {
        float a[3], b[3];
        s.GetAll(a, asks[k]);
        ref.Precompute();
        ref.GetAll(b, asks[k]);
        EXPECT_EQ(memcmp(a, b, sizeof(a)), 0) << asks[k];
        if (k == 2) {
            EXPECT_GT(s.actIndex, lastIndex);
        } else if (k == 3) {
            EXPECT_LT(s.actIndex, lastIndex);
        }
        lastIndex = s.actIndex;
    }
}

TEST(BezierSpline, PhasesOutsideTheRangeAreClamped) {
    FXBezierSpline s;
    Fill(&s, kSquare, 4, true);
    float p[3], q[3];
    s.GetAll(q, 0.0f);
    for (float phase : {-0.5f, NAN, -INFINITY}) {
        s.GetAll(p, 0.6f);
        s.GetAll(p, phase);
        EXPECT_EQ(memcmp(p, q, sizeof(p)), 0) << phase;
    }
    s.GetAll(q, 1.0f);
    for (float phase : {1.5f, INFINITY}) {
        s.GetAll(p, 0.1f);
        s.GetAll(p, phase);
        EXPECT_EQ(memcmp(p, q, sizeof(p)), 0) << phase;
    }
}

TEST(BezierSpline, StraightModeRunsAlongTheChords) {
    FXBezierSpline s;
    s.straight = true;
    Fill(&s, kSquare, 4, true);
    float p[3];
    s.GetAll(p, 0.6f);
    const float b[3] = {0.6f, 1.0f, 0.0f};
    ExpectNear(p, b, 1e-6f);
    s.GetAll(p, 0.875f); // the closing side
    const float c[3] = {0.0f, 0.5f, 0.0f};
    ExpectNear(p, c, 1e-6f);
}

TEST(BezierSpline, FewPoints) {
    FXBezierSpline s;
    float p[3];
    const float origin[3] = {0, 0, 0};
    s.Precompute();
    s.PrecomputePhasesLenght();
    s.GetAll(p, 0.5f);
    ExpectNear(p, origin, 0.0f);

    const float one[] = {2, 3, 4};
    for (bool byLength : {false, true}) {
        Fill(&s, one, 1, true, byLength);
        s.GetAll(p, 0.7f);
        ExpectNear(p, one, 0.0f);
    }

    // Two points: a straight line; closed, it runs out and back.
    const float two[] = {0, 0, 0, 4, 2, 0};
    const float half[3] = {2, 1, 0};
    Fill(&s, two, 2, false);
    EXPECT_EQ(s.segmentCount, 0);
    s.GetAll(p, 0.5f);
    ExpectNear(p, half, 1e-6f);
    s.GetAll(p, 1.0f);
    ExpectNear(p, two + 3, 1e-6f);
    Fill(&s, two, 2, true);
    s.GetAll(p, 0.25f);
    ExpectNear(p, half, 1e-6f);
    s.GetAll(p, 0.75f);
    ExpectNear(p, half, 1e-6f);
    s.GetAll(p, 1.0f);
    ExpectNear(p, two, 1e-6f);
}

TEST(BezierSpline, CoincidentPointsStayFinite) {
    // Repeated neighbours, a point that doubles back, and the last point on the first.
    const float pts[] = {0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, 0, 2, 2, 0, 0, 0, 0};
    for (bool closed : {true, false}) {
        for (bool byLength : {true, false}) {
            FXBezierSpline s;
            Fill(&s, pts, 7, closed, byLength);
            for (int i = 0; i < s.ctrlPoints.size; i++) {
                ASSERT_TRUE(std::isfinite(s.ctrlPoints.elements[i])) << i;
            }
            for (int k = 0; k <= 1000; k++) {
                float p[3];
                s.GetAll(p, k / 1000.0f);
                ASSERT_TRUE(Finite(p)) << k;
            }
            for (int i = 0; i < 7; i++) {
                float p[3];
                s.GetAll(p, s.phases.elements[i]);
                ExpectNear(p, pts + 3 * i, 1e-5f);
            }
        }
    }
    // All points on one spot: no length, phases all 0, always that spot.
    const float same[] = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3};
    for (bool closed : {true, false}) {
        FXBezierSpline s;
        Fill(&s, same, 4, closed);
        EXPECT_EQ(s.totalLength, 0.0f);
        EXPECT_EQ(s.phases.elements[3], 0.0f);
        for (float phase : {0.0f, 0.3f, 1.0f}) {
            float p[3];
            s.GetAll(p, phase);
            ExpectNear(p, same, 0.0f);
        }
    }
}

TEST(BezierSpline, SetActPointsGetHAndMisuse) {
    const std::vector<float> pts = RandomRoute(2);
    FXBezierSpline s;
    Fill(&s, pts.data(), 20, true);
    s.SetActPoints(-1, 0);
    EXPECT_EQ(s.act4, &s.segments[19]);
    float p[3], q[3];
    s.Get(p, 1.0f);
    ExpectNear(p, pts.data(), 1e-5f);
    FXBezierPhaseH h;
    h.Prepare(0.3f);
    s.Get(p, 0.3f);
    s.GetH(q, &h);
    ExpectNear(p, q, 0.0f);

    // A segment outside the points is refused.
    s.SetActPoints(20, 21);
    EXPECT_EQ(s.actKind, 0);
    s.Get(p, 0.5f);
    ExpectNear(p, pts.data(), 0.0f);

    // Without phases: the start of the curve. After Destroy: the origin; then reusable.
    s.phases.RemoveAll();
    s.GetAll(p, 0.5f);
    ExpectNear(p, pts.data(), 0.0f);
    s.Destroy();
    s.Destroy();
    EXPECT_EQ(s.segments, nullptr);
    s.GetAll(p, 0.5f);
    const float origin[3] = {0, 0, 0};
    ExpectNear(p, origin, 0.0f);
    Fill(&s, kSquare, 4, true);
    s.GetAll(p, 0.25f);
    ExpectNear(p, kSquare + 3, 1e-5f);
}

} // namespace
