#ifndef FX_RENDER_PIXMAP_H
#define FX_RENDER_PIXMAP_H

#include <cstdint>

// Colours are four floats RGBA, nominally 0 ... 1. The packers truncate each component times 255
// and do not clamp: a component outside 0 ... 1 spills into the neighbouring byte.
void fxColSetBlackT(float* c);
void fxColSetBlack(float* c);
void fxColSetWhite(float* c);
// A<<24 + R<<16 + G<<8 + B.
unsigned fxColToInt(float* c);
void fxColFromInt(float* c, unsigned v);
// A<<24 + B<<16 + G<<8 + R: a pixel of FXPixmap read as a little-endian word.
unsigned fxColToInt1(float* c);
void fxColFromInt1(float* c, unsigned v);
void fxColCutRange(float* c);
bool fxColIsZero(float* c);

// A block of 8-bit RGBA pixels (memory order R, G, B, A), row-major with allocWidth pixels per
// row, row 0 on top. The picture occupies the top-left width x height corner of the allocation;
// with pow2 the allocation's sides are rounded up to powers of two.
class FXPixmap {
public:
    uint32_t* pixels;
    int32_t capacity; // pixels allocated
    int32_t allocWidth, allocHeight;
    int32_t width, height;
    bool pow2;

    FXPixmap();
    ~FXPixmap();
    FXPixmap(const FXPixmap&) = delete;
    FXPixmap& operator=(const FXPixmap&) = delete;

    // Sets the picture size. A block that is big enough stays with its contents; otherwise a new
    // uninitialised one is made. Negative sizes, sizes whose allocation does not fit in 32 bits
    // and a failed allocation leave the pixmap empty and answer false.
    bool Realloc(int w, int h);
    // Every pixel of the whole allocation.
    void Clear(unsigned v);
    void Destroy();
};

#endif
