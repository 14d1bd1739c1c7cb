#ifndef FX_GEOMETRY_BEZIER_H
#define FX_GEOMETRY_BEZIER_H

// Points are three consecutive floats x, y, z.

// Powers of one curve parameter t, shared by the evaluations of several segments.
class FXBezierPhaseH {
public:
    float t;
    float t2;  // t^2
    float t3;  // t^3
    float u;   // 1 - t
    float tu2; // 2t(1 - t)
    float u2;  // (1 - t)^2

    void Prepare(float t);
};

// Quadratic segment P0, P1, P2.
class FXBezier3 {
public:
    float p0[3];
    float p1[3];
    float p2[3];

    void Get(float* out, float t) const;
    void GetH(float* out, const FXBezierPhaseH* h) const;
};

// Cubic segment P0 ... P3 and its polynomial a t^3 + b t^2 + c t + P0, per coordinate.
class FXBezier4 {
public:
    float p0[3];
    float p1[3];
    float p2[3];
    float p3[3];
    float cx[3]; // a, b, c for x
    float cy[3];
    float cz[3];

    // Call after the four points change.
    void Precompute();
    void Get(float* out, float t) const;
    void GetH(float* out, const FXBezierPhaseH* h) const;
};

static_assert(sizeof(FXBezier3) == 9 * sizeof(float), "FXBezier3 is 9 floats");
static_assert(sizeof(FXBezier4) == 21 * sizeof(float), "FXBezier4 is 21 floats");
static_assert(sizeof(FXBezierPhaseH) == 6 * sizeof(float), "FXBezierPhaseH is 6 floats");

#endif
