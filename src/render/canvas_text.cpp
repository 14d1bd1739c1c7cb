#include "render/canvas.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "base/trace.h"
#include "render/canvastext.h"

// White-on-black coverage to pixels: alpha is coverage times the colour's alpha (modulo 256),
// colour bytes are the colour's.
static bool localFillFromCoverage(FXCanvas* canvas, const uint8_t* coverage, int cx, int cy, float* colour) {
    FXPixmap* pm = &canvas->pixmap;
    if (!pm->Realloc(cx, cy)) {
        return false;
    }
    // The margin of the allocation is uploaded with the texture: keep it transparent.
    pm->Clear(0);
    canvas->opaque = true;
    unsigned base = fxColToInt1(colour) & 0x00FFFFFFu;
    float a = colour[3];
    for (int y = 0; y < cy; y++) {
        const uint8_t* src = coverage + (size_t)y * (size_t)cx;
        uint32_t* dst = pm->pixels + (size_t)y * (size_t)pm->allocWidth;
        for (int x = 0; x < cx; x++) {
            float f = (float)src[x] * a;
            // Floats beyond 2^31 are multiples of 256: their low byte is 0, and the cast would
            // not be defined.
            unsigned alpha = fabsf(f) < 2147483648.0f ? (unsigned)(int)f & 0xFFu : 0u;
            if (alpha <= 254) {
                canvas->opaque = false;
            }
            dst[x] = (alpha << 24) + base;
        }
    }
    return true;
}

template <typename C>
static bool localCreateFromText(FXCanvas* canvas, const C* s, FXFontGDI* font, float* colour,
                                bool (*extent)(const C*, FXFontGDI*, int*, int*),
                                bool (*draw)(const C*, FXFontGDI*, uint8_t*, int, int)) {
    if (s == nullptr || colour == nullptr) {
        return false;
    }
    int cx = 0, cy = 0;
    if (!extent(s, font, &cx, &cy) || cx <= 0 || cy <= 0) {
        return false;
    }
    if ((int64_t)cx * (int64_t)cy > INT_MAX) {
        err("text of %d x %d pixels refused\n", cx, cy);
        return false;
    }
    uint8_t* coverage = (uint8_t*)malloc((size_t)cx * (size_t)cy);
    if (coverage == nullptr) {
        err("text: out of memory\n");
        return false;
    }
    bool ok = draw(s, font, coverage, cx, cy) && localFillFromCoverage(canvas, coverage, cx, cy, colour);
    free(coverage);
    return ok;
}

bool FXCanvas::CreateFromText(const char* s, FXFontGDI* font, float* colour) {
    return localCreateFromText<char>(this, s, font, colour, fxTextExtentA, fxTextDrawA);
}

bool FXCanvas::CreateFromTextW(const wchar_t* s, FXFontGDI* font, float* colour) {
    return localCreateFromText<wchar_t>(this, s, font, colour, fxTextExtentW, fxTextDrawW);
}

bool FXCanvas::GetTextSize(const char* s, FXFontGDI* font, int* w, int* h) {
    return fxTextExtentA(s != nullptr ? s : "", font, w, h);
}

bool FXCanvas::GetTextWSize(const wchar_t* s, FXFontGDI* font, int* w, int* h) {
    return fxTextExtentW(s != nullptr ? s : L"", font, w, h);
}
