#ifndef FX_RENDER_3DMATH_H
#define FX_RENDER_3DMATH_H

#include <cstdio>

class FXPackage;
class FXPackageData;

// Sixteen floats in OpenGL element order (element 4 * column + row); angles in degrees.
// Deliberately no constructor: the values are indeterminate until set.
class FXMatrix {
public:
    float m[16];

    float* M(int i, int j) { return &m[4 * i + j]; }

    void Clear(float v);
    void Copy(const FXMatrix* src);
    bool Compare(const FXMatrix* other) const;
    // this := a * b; this must be neither a nor b.
    void Multiply(const FXMatrix* a, const FXMatrix* b);
    void SetIdentity();
    void SetFlipX();
    void SetFlipY();
    void SetFlipZ();
    void SetMove(const float* v);
    void SetMoveF(float x, float y, float z);
    void SetScale(const float* v);
    void SetScaleF(float x, float y, float z);
    void SetRotateX(float deg);
    void SetRotateY(float deg);
    void SetRotateZ(float deg);

    // Stored form: the sixteen floats, 64 bytes. Save and Load return the item count (1 on success).
    int Save(FILE* f) const;
    int Load(FILE* f);
    void LoadC(FXPackage* pkg, FXPackageData* data);
};

void fxVec2fCombine(float* out, const float* a, const float* b);
void fxVec3fCombine(float* out, const float* a, const float* b);
void fxVec4fCombine(float* out, const float* a, const float* b);
float fxVec1fCombineP(float a, float b, float t);
void fxVec2fCombineP(float* out, const float* a, const float* b, float t);
void fxVec3fCombineP(float* out, const float* a, const float* b, float t);
void fxVec4fCombineP(float* out, const float* a, const float* b, float t);

#endif
