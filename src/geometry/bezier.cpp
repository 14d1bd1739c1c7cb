#include "geometry/bezier.h"

void FXBezierPhaseH::Prepare(float t) {
    this->t = t;
    t2 = t * t;
    t3 = t2 * t;
    u = 1.0f - t;
    tu2 = 2.0f * t * u;
    u2 = u * u;
}

void FXBezier3::Get(float* out, float t) const {
    const float u = 1.0f - t;
    for (int i = 0; i < 3; i++) {
        out[i] = p0[i] * u * u + 2.0f * p1[i] * u * t + p2[i] * t * t;
    }
}

void FXBezier3::GetH(float* out, const FXBezierPhaseH* h) const {
    for (int i = 0; i < 3; i++) {
        out[i] = p0[i] * h->u2 + p1[i] * h->tu2 + p2[i] * h->t2;
    }
}

static void localCoefficients(float p0, float p1, float p2, float p3, float* abc) {
    const float c = 3.0f * (p1 - p0);
    const float b = 3.0f * (p2 - p1) - c;
    abc[0] = p3 - p0 - c - b;
    abc[1] = b;
    abc[2] = c;
}

void FXBezier4::Precompute() {
    localCoefficients(p0[0], p1[0], p2[0], p3[0], cx);
    localCoefficients(p0[1], p1[1], p2[1], p3[1], cy);
    localCoefficients(p0[2], p1[2], p2[2], p3[2], cz);
}

void FXBezier4::Get(float* out, float t) const {
    const float t2 = t * t;
    const float t3 = t2 * t;
    out[0] = cx[0] * t3 + cx[1] * t2 + cx[2] * t + p0[0];
    out[1] = cy[0] * t3 + cy[1] * t2 + cy[2] * t + p0[1];
    out[2] = cz[0] * t3 + cz[1] * t2 + cz[2] * t + p0[2];
}

void FXBezier4::GetH(float* out, const FXBezierPhaseH* h) const {
    out[0] = cx[0] * h->t3 + cx[1] * h->t2 + cx[2] * h->t + p0[0];
    out[1] = cy[0] * h->t3 + cy[1] * h->t2 + cy[2] * h->t + p0[1];
    out[2] = cz[0] * h->t3 + cz[1] * h->t2 + cz[2] * h->t + p0[2];
}
