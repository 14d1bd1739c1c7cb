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

void fxColSetBlackT(float* c) {
    c[0] = 0.0f;
    c[1] = 0.0f;
    c[2] = 0.0f;
    c[3] = 0.0f;
}

void fxColSetBlack(float* c) {
    c[0] = 0.0f;
    c[1] = 0.0f;
    c[2] = 0.0f;
    c[3] = 1.0f;
}

void fxColSetWhite(float* c) {
    c[0] = 1.0f;
    c[1] = 1.0f;
    c[2] = 1.0f;
    c[3] = 1.0f;
}

unsigned fxColToInt(float* c) {
    return (localColByte(c[3]) << 24) + (localColByte(c[0]) << 16) + (localColByte(c[1]) << 8) + localColByte(c[2]);
}

void fxColFromInt(float* c, unsigned v) {
    c[0] = (float)(((v >> 16) & 0xFF) / 255.0);
    c[1] = (float)(((v >> 8) & 0xFF) / 255.0);
    c[2] = (float)((v & 0xFF) / 255.0);
    c[3] = (float)(((v >> 24) & 0xFF) / 255.0);
}

unsigned fxColToInt1(float* c) {
    return (localColByte(c[3]) << 24) + (localColByte(c[2]) << 16) + (localColByte(c[1]) << 8) + localColByte(c[0]);
}

void fxColFromInt1(float* c, unsigned v) {
    c[0] = (float)((v & 0xFF) / 255.0);
    c[1] = (float)(((v >> 8) & 0xFF) / 255.0);
    c[2] = (float)(((v >> 16) & 0xFF) / 255.0);
    c[3] = (float)(((v >> 24) & 0xFF) / 255.0);
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

FXPixmap::FXPixmap() {
    pixels = nullptr;
    capacity = 0;
    allocWidth = 0;
    allocHeight = 0;
    width = 0;
    height = 0;
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
    pixels = nullptr;
    capacity = 0;
    allocWidth = 0;
    allocHeight = 0;
    width = 0;
    height = 0;
}
