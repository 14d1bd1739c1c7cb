#ifndef FX_GEOMETRY_BEZIERSPLINE_H
#define FX_GEOMETRY_BEZIERSPLINE_H

#include "base/arrays.h"
#include "geometry/bezier.h"

// A smooth curve through a list of 3D points, evaluated by a phase in 0 ... 1.
//
// Calling order: Destroy, push the points, set closed (and tension, straight when wanted),
// Precompute, then PrecomputePhasesLenght or PrecomputePhasesLinear, then GetAll each frame.
// Changing the points needs a new Precompute: the active segment points into them.
class FXBezierSpline {
public:
    bool closed;
    float tension; // scale of the control-point distances
    FXFloatArray points;
    FXFloatArray ctrlPoints; // per point: incoming control point, then outgoing control point
    FXBezier3 ends[2];       // first and last segment of an open curve
    FXBezier4* segments;     // segment i runs from point i to point i + 1, the last one back to point 0
    int segmentCount;
    bool constant; // the active segment starts and ends at the same point
    const float* actA;
    const float* actB;
    float lineDelta[3];
    FXBezier3* act3;
    FXBezier4* act4;
    int actKind; // 0 none, 2 two-point line, 3 quadratic end segment, 4 cubic segment
    float pairDelta[3];
    FXFloatArray phases; // one per point, ascending, the first 0
    int actIndex;
    float totalLength;
    float averageLength;
    bool straight; // straight lines between the points

    FXBezierSpline();
    ~FXBezierSpline();
    FXBezierSpline(const FXBezierSpline&) = delete;
    FXBezierSpline& operator=(const FXBezierSpline&) = delete;

    void Destroy();
    void Precompute();
    void PrecomputeCtrlPoints();
    void PrecomputeBeziers();
    void PrecomputePhasesLinear();
    void PrecomputePhasesLenght();
    int GetCnt() const;

    // Position at a phase of the whole curve; phases outside 0 ... 1 are clamped.
    void GetAll(float* out, float phase);
    void SetActPoints(int a, int b);
    // Position at parameter t of the active segment.
    void Get(float* out, float t) const;
    void GetH(float* out, const FXBezierPhaseH* h) const;
    // -1 when phase lies before point a, 1 when it lies beyond point b, else 0.
    int TestPhase(int a, int b, float phase) const;

    void DestroyBeziers();
    void ReallocBeziers(int count);

private:
    const float* Point(int i) const;
    void Line(float* out, float t) const;
};

#endif
