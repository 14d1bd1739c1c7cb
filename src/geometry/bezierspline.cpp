#include "geometry/bezierspline.h"

#include <cmath>
#include <cstdlib>

#include "base/other.h"
#include "base/trace.h"

static void localDelta(const float* a, const float* b, float* out) {
    out[0] = b[0] - a[0];
    out[1] = b[1] - a[1];
    out[2] = b[2] - a[2];
}

static float localLenght(const float* v) {
    return sqrtf(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// A vector without length has no direction; it stays zero instead of becoming NaN.
static void localNormalizeSize(float* v, float len) {
    const float l = localLenght(v);
    if (!(l > 0.0f)) {
        v[0] = v[1] = v[2] = 0.0f;
        return;
    }
    const float s = len / l;
    v[0] *= s;
    v[1] *= s;
    v[2] *= s;
}

static void localPtOnLine(const float* a, const float* b, float t, float* out) {
    out[0] = a[0] + (b[0] - a[0]) * t;
    out[1] = a[1] + (b[1] - a[1]) * t;
    out[2] = a[2] + (b[2] - a[2]) * t;
}

static void localShiftPt(const float* a, float* out, const float* d) {
    out[0] = a[0] + d[0];
    out[1] = a[1] + d[1];
    out[2] = a[2] + d[2];
}

static void localShiftPt1(const float* a, float* out, const float* d, float t) {
    out[0] = a[0] + d[0] * t;
    out[1] = a[1] + d[1] * t;
    out[2] = a[2] + d[2] * t;
}

static void localCopyPt(const float* a, float* out) {
    out[0] = a[0];
    out[1] = a[1];
    out[2] = a[2];
}

// True when the two points differ in any coordinate.
static bool localTestPt2(const float* a, const float* b) {
    return a[0] != b[0] || a[1] != b[1] || a[2] != b[2];
}

static bool localTestPt3(const FXBezier3* s) {
    return localTestPt2(s->p0, s->p2);
}

static bool localTestPt4(const FXBezier4* s) {
    return localTestPt2(s->p0, s->p3);
}

// The tangent at cur is parallel to the line between the midpoints of its two chords; each
// control point lies at half the neighbouring chord (times the tension) from cur.
static void localComputePt(const float* prev, const float* cur, const float* next, float* inCtrl, float* outCtrl,
                           float tension) {
    float d[3];
    localDelta(cur, prev, d);
    const float l1 = localLenght(d);
    localDelta(cur, next, d);
    const float l2 = localLenght(d);
    float m1[3], m2[3], m[3];
    localPtOnLine(cur, prev, 0.5f, m1);
    localPtOnLine(cur, next, 0.5f, m2);
    localPtOnLine(m1, m2, 0.5f, m);
    float d1[3], d2[3];
    localDelta(m, m1, d1);
    localDelta(m, m2, d2);
    localNormalizeSize(d1, l1 * 0.5f * tension);
    localNormalizeSize(d2, l2 * 0.5f * tension);
    localShiftPt(cur, inCtrl, d1);
    localShiftPt(cur, outCtrl, d2);
}

// Empties the array and makes room for n values, which the caller writes.
static bool localSizeArray(FXFloatArray* a, int n) {
    a->RemoveAll();
    if (n <= 0) {
        return true;
    }
    a->Realloc(n);
    if (a->elements == nullptr || a->capacity < n) {
        err("FXBezierSpline: out of memory for %d values\n", n);
        return false;
    }
    a->size = n;
    return true;
}

FXBezierSpline::FXBezierSpline()
    : closed(false), tension(1.0f), segments(nullptr), segmentCount(0), constant(false), actA(nullptr),
      actB(nullptr), lineDelta{0.0f, 0.0f, 0.0f}, act3(nullptr), act4(nullptr), actKind(0), pairDelta{0.0f, 0.0f, 0.0f},
      actIndex(0), totalLength(0.0f), averageLength(0.0f), straight(false) {}

FXBezierSpline::~FXBezierSpline() {
    Destroy();
}

void FXBezierSpline::Destroy() {
    DestroyBeziers();
    points.DestroyBuf();
    ctrlPoints.DestroyBuf();
    phases.DestroyBuf();
    actIndex = 0;
    totalLength = 0.0f;
    averageLength = 0.0f;
}

void FXBezierSpline::DestroyBeziers() {
    free(segments);
    segments = nullptr;
    segmentCount = 0;
    // Nothing may keep pointing into the released segments.
    constant = false;
    actA = nullptr;
    actB = nullptr;
    act3 = nullptr;
    act4 = nullptr;
    actKind = 0;
}

void FXBezierSpline::ReallocBeziers(int count) {
    if (segments != nullptr && count == segmentCount) {
        return;
    }
    DestroyBeziers();
    if (count <= 0) {
        return;
    }
    segments = (FXBezier4*)fxMalloc((size_t)count * sizeof(FXBezier4));
    if (segments == nullptr) {
        err("FXBezierSpline: out of memory for %d segments\n", count);
        return;
    }
    segmentCount = count;
}

int FXBezierSpline::GetCnt() const {
    if (points.elements == nullptr || points.size <= 0) {
        return 0;
    }
    return points.size / 3;
}

const float* FXBezierSpline::Point(int i) const {
    return points.elements + 3 * i;
}

void FXBezierSpline::Precompute() {
    actIndex = 0;
    PrecomputeCtrlPoints();
    DestroyBeziers();
    PrecomputeBeziers();
    SetActPoints(0, 1);
}

void FXBezierSpline::PrecomputeCtrlPoints() {
    const int n = GetCnt();
    actKind = 0;
    if (n <= 2) {
        ctrlPoints.RemoveAll();
        if (n == 2) {
            localDelta(Point(0), Point(1), pairDelta);
        }
        return;
    }
    if (!localSizeArray(&ctrlPoints, 6 * n)) {
        return;
    }
    // Neighbours wrap around whether or not the curve is closed.
    for (int i = 0; i < n; i++) {
        const int prev = i == 0 ? n - 1 : i - 1;
        const int next = i == n - 1 ? 0 : i + 1;
        float* ctrl = ctrlPoints.elements + 6 * i;
        localComputePt(Point(prev), Point(i), Point(next), ctrl, ctrl + 3, tension);
    }
}

void FXBezierSpline::PrecomputeBeziers() {
    const int n = GetCnt();
    if (n <= 2) {
        DestroyBeziers();
        return;
    }
    if (ctrlPoints.size < 6 * n) {
        err("FXBezierSpline: control points missing for %d points\n", n);
        DestroyBeziers();
        return;
    }
    ReallocBeziers(n);
    if (segmentCount != n) {
        return;
    }
    const float* ctrl = ctrlPoints.elements;
    for (int i = 0; i < n; i++) {
        const int next = i == n - 1 ? 0 : i + 1;
        FXBezier4* s = &segments[i];
        localCopyPt(Point(i), s->p0);
        localCopyPt(ctrl + 6 * i + 3, s->p1);
        localCopyPt(ctrl + 6 * next, s->p2);
        localCopyPt(Point(next), s->p3);
        s->Precompute();
    }
    localCopyPt(Point(0), ends[0].p0);
    localCopyPt(ctrl + 6 * 1, ends[0].p1);
    localCopyPt(Point(1), ends[0].p2);
    localCopyPt(Point(n - 2), ends[1].p0);
    localCopyPt(ctrl + 6 * (n - 2) + 3, ends[1].p1);
    localCopyPt(Point(n - 1), ends[1].p2);
}

void FXBezierSpline::PrecomputePhasesLinear() {
    const int n = GetCnt();
    if (!localSizeArray(&phases, n) || n == 0) {
        return;
    }
    // A closed curve keeps the span from the last point back to the first.
    const int spans = closed ? n : n - 1;
    for (int i = 0; i < n; i++) {
        phases.elements[i] = spans > 0 ? (float)i / (float)spans : 0.0f;
    }
}

void FXBezierSpline::PrecomputePhasesLenght() {
    const int n = GetCnt();
    totalLength = 0.0f;
    averageLength = 0.0f;
    if (!localSizeArray(&phases, n) || n == 0) {
        return;
    }
    float d[3];
    float len = 0.0f;
    phases.elements[0] = 0.0f;
    for (int i = 1; i < n; i++) {
        localDelta(Point(i - 1), Point(i), d);
        len += localLenght(d);
        phases.elements[i] = len;
    }
    totalLength = len;
    if (closed) {
        localDelta(Point(n - 1), Point(0), d);
        totalLength += localLenght(d);
    }
    const int spans = closed ? n : n - 1;
    if (spans > 0) {
        averageLength = totalLength / (float)spans;
    }
    // A curve without length stays at phase 0 everywhere instead of dividing by zero.
    const float scale = totalLength > 0.0f ? 1.0f / totalLength : 0.0f;
    for (int i = 0; i < n; i++) {
        phases.elements[i] *= scale;
    }
}

int FXBezierSpline::TestPhase(int a, int b, float phase) const {
    const int last = GetCnt() - 1;
    if (last < 0 || phases.size <= last) {
        return 0;
    }
    if (b > last || b < 0) {
        b = 0;
    }
    if (a > last || a < 0) {
        a = 0;
    }
    if (phases.elements[a] > phase) {
        return -1;
    }
    if (b == 0) {
        return 0;
    }
    return phase > phases.elements[b] ? 1 : 0;
}

void FXBezierSpline::GetAll(float* out, float phase) {
    const int n = GetCnt();
    if (n == 0) {
        out[0] = out[1] = out[2] = 0.0f;
        return;
    }
    if (phases.size < n) {
        // No phases yet: the start of the curve.
        localCopyPt(Point(0), out);
        return;
    }
    const float* ph = phases.elements;
    const int last = n - 1;
    if (!(phase >= 0.0f)) {
        phase = 0.0f;
    }
    if (phase > 1.0f) {
        phase = 1.0f;
    }
    // An open curve ends at its last point, whose phase may fall short of 1 by rounding.
    if (!closed && phase > ph[last]) {
        phase = ph[last];
    }

    // Search from the previous segment: a phase that moves forward costs one or two tests.
    int i = actIndex;
    if (i < 0 || i > last) {
        i = 0;
    }
    int r = TestPhase(i, i + 1, phase);
    while (r > 0 && i < last) {
        r = TestPhase(i + 1, i + 2, phase);
        i++;
    }
    while (r < 0 && i > 0) {
        r = TestPhase(i - 1, i, phase);
        i--;
    }
    // A phase equal to a point's phase belongs to the earlier segment (at t = 1), however the
    // search arrived, so the result does not depend on the phases asked for before.
    while (i > 0 && phase <= ph[i]) {
        i--;
    }

    const int next = i + 1 > last ? 0 : i + 1;
    if (i != actIndex) {
        SetActPoints(i, next);
    }
    const float p0 = ph[i];
    const float p1 = next == 0 ? 1.0f : ph[next];
    // A segment without phase span (coincident points) is taken at its end.
    const float t = p1 - p0 > 0.0f ? (phase - p0) * (1.0f / (p1 - p0)) : 1.0f;
    Get(out, t);
}

void FXBezierSpline::SetActPoints(int a, int b) {
    constant = false;
    actA = nullptr;
    actB = nullptr;
    const int n = GetCnt();
    if (n < 2) {
        return;
    }
    if (a == -1) {
        a = n - 1;
    }
    if (b == -1) {
        b = n - 1;
    }
    if (a < 0 || a >= n || b < 0 || b >= n) {
        err("FXBezierSpline::SetActPoints: segment %d-%d outside %d points\n", a, b, n);
        actKind = 0;
        return;
    }
    actIndex = a;
    if (n == 2) {
        actKind = 2;
        actA = Point(a);
        actB = Point(b);
        constant = !localTestPt2(actA, actB);
        return;
    }
    if (straight) {
        actA = Point(a);
        actB = Point(b);
        if (localTestPt2(actA, actB)) {
            localDelta(actA, actB, lineDelta);
        } else {
            constant = true;
        }
        return;
    }
    act3 = nullptr;
    act4 = nullptr;
    actKind = 0;
    if (!closed && (a == 0 || b == n - 1)) {
        act3 = &ends[a == 0 ? 0 : 1];
        actKind = 3;
        if (!localTestPt3(act3)) {
            constant = true;
            actA = act3->p0;
        }
        return;
    }
    if (segments == nullptr || a >= segmentCount) {
        return;
    }
    act4 = &segments[a];
    actKind = 4;
    if (!localTestPt4(act4)) {
        constant = true;
        actA = act4->p0;
    }
}

// Point at t on the two-point line; the second half of a closed two-point curve runs back.
void FXBezierSpline::Line(float* out, float t) const {
    if (actA == Point(0)) {
        localShiftPt1(Point(0), out, pairDelta, t);
    } else {
        localShiftPt1(Point(1), out, pairDelta, -t);
    }
}

void FXBezierSpline::Get(float* out, float t) const {
    if (constant && actA != nullptr) {
        localCopyPt(actA, out);
        return;
    }
    if (straight && actKind != 2 && actA != nullptr) {
        localShiftPt1(actA, out, lineDelta, t);
        return;
    }
    if (actKind == 2 && actA != nullptr) {
        Line(out, t);
    } else if (actKind == 3 && act3 != nullptr) {
        act3->Get(out, t);
    } else if (actKind == 4 && act4 != nullptr) {
        act4->Get(out, t);
    } else if (GetCnt() > 0) {
        localCopyPt(Point(0), out);
    } else {
        out[0] = out[1] = out[2] = 0.0f;
    }
}

void FXBezierSpline::GetH(float* out, const FXBezierPhaseH* h) const {
    if (constant && actA != nullptr) {
        localCopyPt(actA, out);
        return;
    }
    if (straight && actKind != 2 && actA != nullptr) {
        localShiftPt1(actA, out, lineDelta, h->t);
        return;
    }
    if (actKind == 2 && actA != nullptr) {
        Line(out, h->t);
    } else if (actKind == 3 && act3 != nullptr) {
        act3->GetH(out, h);
    } else if (actKind == 4 && act4 != nullptr) {
        act4->GetH(out, h);
    } else if (GetCnt() > 0) {
        localCopyPt(Point(0), out);
    } else {
        out[0] = out[1] = out[2] = 0.0f;
    }
}
