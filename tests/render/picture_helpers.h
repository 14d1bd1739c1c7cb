#ifndef FX_TESTS_RENDER_PICTURE_HELPERS_H
#define FX_TESTS_RENDER_PICTURE_HELPERS_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/canvas.h"

inline uint32_t Rgba(unsigned r, unsigned g, unsigned b, unsigned a) {
    return (a << 24) | (b << 16) | (g << 8) | r;
}

inline uint32_t PixelAt(const FXCanvas& c, int x, int y) {
    return c.pixmap.pixels[(size_t)y * (size_t)c.pixmap.allocWidth + (size_t)x];
}

inline void SetPixel(FXCanvas* c, int x, int y, uint32_t v) {
    c->pixmap.pixels[(size_t)y * (size_t)c->pixmap.allocWidth + (size_t)x] = v;
}

// A picture where every pixel differs from its neighbours and from its mirror images, so a
// flipped, shifted or transposed load cannot pass for the original.
inline uint32_t PatternPixel(int x, int y, bool varyAlpha) {
    unsigned r = (unsigned)(x * 7 + y * 3) & 0xFF;
    unsigned g = (unsigned)(y * 11 + 5) & 0xFF;
    unsigned b = (unsigned)(x * 2 + y * y) & 0xFF;
    unsigned a = varyAlpha ? (unsigned)(40 + x + 2 * y) & 0xFF : 255;
    return Rgba(r, g, b, a);
}

inline bool MakePattern(FXCanvas* c, int w, int h, bool varyAlpha) {
    if (!c->pixmap.Realloc(w, h)) {
        return false;
    }
    c->pixmap.Clear(0);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            SetPixel(c, x, y, PatternPixel(x, y, varyAlpha));
        }
    }
    c->opaque = !varyAlpha;
    return true;
}

// An uncompressed 8-bit GIF (the image library reads GIF but cannot write it): every code is a
// literal and the code table is reset before it would widen past 9 bits.
inline bool WriteGif(const std::string& path, int w, int h, const std::vector<uint8_t>& indices,
                     const uint8_t palette[256 * 3]) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    auto put16 = [&out](int v) {
        out.push_back((uint8_t)(v & 0xFF));
        out.push_back((uint8_t)(v >> 8));
    };
    put16(w);
    put16(h);
    out.push_back(0xF7); // global table of 256 entries
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), palette, palette + 256 * 3);
    out.push_back(0x2C);
    put16(0);
    put16(0);
    put16(w);
    put16(h);
    out.push_back(0);
    out.push_back(8); // minimum code size

    std::vector<uint8_t> bits;
    uint32_t acc = 0;
    int nbits = 0;
    auto code = [&](unsigned c) {
        acc |= c << nbits;
        nbits += 9;
        while (nbits >= 8) {
            bits.push_back((uint8_t)(acc & 0xFF));
            acc >>= 8;
            nbits -= 8;
        }
    };
    const unsigned clearCode = 256, endCode = 257;
    int sinceClear = 0;
    code(clearCode);
    for (uint8_t v : indices) {
        if (sinceClear == 250) {
            code(clearCode);
            sinceClear = 0;
        }
        code(v);
        sinceClear++;
    }
    code(endCode);
    if (nbits > 0) {
        bits.push_back((uint8_t)(acc & 0xFF));
    }
    for (size_t i = 0; i < bits.size(); i += 255) {
        size_t n = bits.size() - i < 255 ? bits.size() - i : 255;
        out.push_back((uint8_t)n);
        out.insert(out.end(), bits.begin() + (long)i, bits.begin() + (long)(i + n));
    }
    out.push_back(0);
    out.push_back(0x3B);

    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    return fclose(f) == 0 && ok;
}

#endif
