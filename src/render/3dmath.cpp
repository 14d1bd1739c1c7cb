#include "render/3dmath.h"

#include "base/trace.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// This unit is compiled with -ffp-contract=off: products and sums must round separately so
// that every platform produces the same bits.

// Slightly below pi / 180, and negative: the shows were tuned with exactly this value, so right
// angles are not exact.
static const float localNegDegToRad = -0.017452778f;

void FXMatrix::Clear(float v) {
    for (int i = 0; i < 16; i++) {
        m[i] = v;
    }
}

void FXMatrix::Copy(const FXMatrix* src) {
    for (int i = 0; i < 16; i++) {
        m[i] = src->m[i];
    }
}

bool FXMatrix::Compare(const FXMatrix* other) const {
    for (int i = 0; i < 16; i++) {
        if (m[i] != other->m[i]) {
            return false;
        }
    }
    return true;
}

void FXMatrix::Multiply(const FXMatrix* a, const FXMatrix* b) {
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            // Float accumulator, one rounding per product and per addition, k in order.
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) {
                const float product = a->m[4 * k + j] * b->m[4 * i + k];
                sum = sum + product;
            }
            *M(i, j) = sum;
        }
    }
}

void FXMatrix::SetIdentity() {
    Clear(0.0f);
    m[0] = 1.0f;
    m[5] = 1.0f;
    m[10] = 1.0f;
    m[15] = 1.0f;
}

void FXMatrix::SetFlipX() {
    SetIdentity();
    m[0] = -1.0f;
}

void FXMatrix::SetFlipY() {
    SetIdentity();
    m[5] = -1.0f;
}

void FXMatrix::SetFlipZ() {
    SetIdentity();
    m[10] = -1.0f;
}

void FXMatrix::SetMove(const float* v) {
    SetMoveF(v[0], v[1], v[2]);
}

void FXMatrix::SetMoveF(float x, float y, float z) {
    SetIdentity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

void FXMatrix::SetScale(const float* v) {
    SetScaleF(v[0], v[1], v[2]);
}

void FXMatrix::SetScaleF(float x, float y, float z) {
    Clear(0.0f);
    m[0] = x;
    m[5] = y;
    m[10] = z;
    m[15] = 1.0f;
}

// Identity with a rotation block about one axis: c at entries cos1 and cos2, -s at minusSin, s at
// plusSin. sinf of the negative product is the negated sine of the angle; the builders flip it
// back where the rotation block wants +sin.
static void localSetRotation(FXMatrix* matrix, float deg, int cos1, int cos2, int minusSin, int plusSin) {
    const float r = deg * localNegDegToRad;
    const float s = sinf(r);
    const float c = cosf(r);
    matrix->SetIdentity();
    matrix->m[cos1] = c;
    matrix->m[cos2] = c;
    matrix->m[minusSin] = -s;
    matrix->m[plusSin] = s;
}

void FXMatrix::SetRotateX(float deg) {
    localSetRotation(this, deg, 5, 10, 6, 9);
}

void FXMatrix::SetRotateY(float deg) {
    localSetRotation(this, deg, 0, 10, 2, 8);
}

void FXMatrix::SetRotateZ(float deg) {
    localSetRotation(this, deg, 0, 5, 4, 1);
}

int FXMatrix::Save(FILE* f) const {
    if (f == nullptr) {
        err("FXMatrix::Save: no file\n");
        return 0;
    }
    uint8_t buf[64];
    for (int i = 0; i < 16; i++) {
        uint32_t bits;
        memcpy(&bits, &m[i], 4);
        buf[4 * i + 0] = (uint8_t)(bits & 0xff);
        buf[4 * i + 1] = (uint8_t)((bits >> 8) & 0xff);
        buf[4 * i + 2] = (uint8_t)((bits >> 16) & 0xff);
        buf[4 * i + 3] = (uint8_t)((bits >> 24) & 0xff);
    }
    return (int)fwrite(buf, sizeof(buf), 1, f);
}

int FXMatrix::Load(FILE* f) {
    if (f == nullptr) {
        err("FXMatrix::Load: no file\n");
        return 0;
    }
    uint8_t buf[64];
    if (fread(buf, sizeof(buf), 1, f) != 1) {
        // A short record leaves the matrix as it was.
        return 0;
    }
    for (int i = 0; i < 16; i++) {
        const uint32_t bits = (uint32_t)buf[4 * i] | ((uint32_t)buf[4 * i + 1] << 8) |
                              ((uint32_t)buf[4 * i + 2] << 16) | ((uint32_t)buf[4 * i + 3] << 24);
        memcpy(&m[i], &bits, 4);
    }
    return 1;
}

void fxVec2fCombine(float* out, const float* a, const float* b) {
    for (int i = 0; i < 2; i++) {
        out[i] = a[i] * b[i];
    }
}

void fxVec3fCombine(float* out, const float* a, const float* b) {
    for (int i = 0; i < 3; i++) {
        out[i] = a[i] * b[i];
    }
}

void fxVec4fCombine(float* out, const float* a, const float* b) {
    for (int i = 0; i < 4; i++) {
        out[i] = a[i] * b[i];
    }
}

// The blend was evaluated in extended precision and rounded once when stored. Double holds the
// difference of two floats and its product with t exactly in all but extreme cases.
static float localBlend(float a, float b, float t) {
    const double d = ((double)b - (double)a) * (double)t;
    return (float)(d + (double)a);
}

float fxVec1fCombineP(float a, float b, float t) {
    if (t == 0.0f) {
        return a;
    }
    if (t == 1.0f) {
        return b;
    }
    return localBlend(a, b, t);
}

static void localVecCombineP(int n, float* out, const float* a, const float* b, float t) {
    if (t == 0.0f) {
        for (int i = 0; i < n; i++) {
            out[i] = a[i];
        }
        return;
    }
    if (t == 1.0f) {
        for (int i = 0; i < n; i++) {
            out[i] = b[i];
        }
        return;
    }
    for (int i = 0; i < n; i++) {
        if (a[i] == b[i]) {
            out[i] = a[i];
        } else {
            out[i] = localBlend(a[i], b[i], t);
        }
    }
}

void fxVec2fCombineP(float* out, const float* a, const float* b, float t) {
    localVecCombineP(2, out, a, b, t);
}

void fxVec3fCombineP(float* out, const float* a, const float* b, float t) {
    localVecCombineP(3, out, a, b, t);
}

void fxVec4fCombineP(float* out, const float* a, const float* b, float t) {
    localVecCombineP(4, out, a, b, t);
}
