#include "render/pixmap.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "base/arrays.h"
#include "base/trace.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "pixels are handled as little-endian words"
#endif

// Side beyond which fxPower2 could not round up inside an int.
#define FXPIXMAP_MAX_SIDE (1 << 30)

// trunc(c * 255) as the byte that is added into the packed word; out-of-range components wrap
// into the neighbouring bytes like the packers always did. Values that do not fit an int are held
// at its ends so the conversion itself stays defined.
static unsigned localColByte(float c) {
    double v = (double)c * 255.0;
    if (std::isnan(v)) {
        v = 0.0;
    } else if (v < (double)INT_MIN) {
        v = (double)INT_MIN;
    } else if (v > (double)INT_MAX) {
        v = (double)INT_MAX;
    }
    return (unsigned)(int)v;
}

// The byte of v from bit shift up, as a component: byte / 255, rounded once to float.
static float localByteCol(unsigned v, int shift) {
    return (float)(((v >> shift) & 0xFF) / 255.0);
}

// The two word layouts differ only in where red and blue go; green is at bit 8, alpha at 24.
static unsigned localPack(const float* c, int redShift, int blueShift) {
    return (localColByte(c[3]) << 24) + (localColByte(c[0]) << redShift) + (localColByte(c[1]) << 8) +
           (localColByte(c[2]) << blueShift);
}

static void localUnpack(float* c, unsigned v, int redShift, int blueShift) {
    c[0] = localByteCol(v, redShift);
    c[1] = localByteCol(v, 8);
    c[2] = localByteCol(v, blueShift);
    c[3] = localByteCol(v, 24);
}

static void localSetCol(float* c, float r, float g, float b, float a) {
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void fxColSetBlackT(float* c) {
    localSetCol(c, 0.0f, 0.0f, 0.0f, 0.0f);
}

void fxColSetBlack(float* c) {
    localSetCol(c, 0.0f, 0.0f, 0.0f, 1.0f);
}

void fxColSetWhite(float* c) {
    localSetCol(c, 1.0f, 1.0f, 1.0f, 1.0f);
}

// Words as 0xAARRGGBB.
unsigned fxColToInt(float* c) {
    return localPack(c, 16, 0);
}

void fxColFromInt(float* c, unsigned v) {
    localUnpack(c, v, 16, 0);
}

// Words as 0xAABBGGRR: the bytes R, G, B, A in memory order.
unsigned fxColToInt1(float* c) {
    return localPack(c, 0, 16);
}

void fxColFromInt1(float* c, unsigned v) {
    localUnpack(c, v, 0, 16);
}

void fxColCutRange(float* c) {
    for (int i = 0; i < 4; i++) {
        if (c[i] < 0.0f) {
            c[i] = 0.0f;
        } else if (c[i] > 1.0f) {
            c[i] = 1.0f;
        }
    }
}

bool fxColIsZero(float* c) {
    return c[0] == 0.0f && c[1] == 0.0f && c[2] == 0.0f && c[3] == 0.0f;
}

// No pixels and no size; pow2 is a setting and is left as it is.
static void localSetEmpty(FXPixmap* p) {
    p->pixels = nullptr;
    p->capacity = 0;
    p->allocWidth = 0;
    p->allocHeight = 0;
    p->width = 0;
    p->height = 0;
}

FXPixmap::FXPixmap() {
    localSetEmpty(this);
    pow2 = true;
}

FXPixmap::~FXPixmap() {
    Destroy();
}

bool FXPixmap::Realloc(int w, int h) {
    if (w < 0 || h < 0 || w > FXPIXMAP_MAX_SIDE || h > FXPIXMAP_MAX_SIDE) {
        err("FXPixmap::Realloc - size %d x %d refused\n", w, h);
        Destroy();
        return false;
    }
    int aw = pow2 ? fxPower2(w) : w;
    int ah = pow2 ? fxPower2(h) : h;
    int64_t need = (int64_t)aw * (int64_t)ah;
    if (need > INT_MAX) {
        err("FXPixmap::Realloc - size %d x %d refused\n", w, h);
        Destroy();
        return false;
    }
    width = w;
    height = h;
    allocWidth = aw;
    allocHeight = ah;
    if (pixels != nullptr && (int64_t)capacity >= need) {
        return true;
    }
    free(pixels);
    pixels = nullptr;
    capacity = 0;
    if (need == 0) {
        return true;
    }
    pixels = (uint32_t*)malloc((size_t)need * sizeof(uint32_t));
    if (pixels == nullptr) {
        err("FXPixmap::Realloc - out of memory for %d x %d\n", aw, ah);
        Destroy();
        return false;
    }
    capacity = (int32_t)need;
    return true;
}

void FXPixmap::Clear(unsigned v) {
    if (pixels == nullptr) {
        return;
    }
    int n = allocWidth * allocHeight;
    for (int i = 0; i < n; i++) {
        pixels[i] = v;
    }
}

void FXPixmap::Destroy() {
    free(pixels);
    localSetEmpty(this);
}
