#include "render/canvastext.h"

#include <climits>
#include <cstring>

#include "base/trace.h"
#include "render/font_w32.h"

namespace {

// A memory drawing context compatible with the screen, with the font selected; everything is put
// back and released on every way out.
struct localTextDC {
    HDC dc = nullptr;
    HGDIOBJ oldFont = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ oldBitmap = nullptr;

    explicit localTextDC(FXFontGDI* font) {
        if (font == nullptr || font->handle == nullptr) {
            return;
        }
        dc = CreateCompatibleDC(nullptr);
        if (dc != nullptr) {
            oldFont = SelectObject(dc, font->handle->font);
        }
    }
    ~localTextDC() {
        if (dc == nullptr) {
            return;
        }
        if (oldBitmap != nullptr) {
            SelectObject(dc, oldBitmap);
        }
        if (dib != nullptr) {
            DeleteObject(dib);
        }
        if (oldFont != nullptr) {
            SelectObject(dc, oldFont);
        }
        DeleteDC(dc);
    }
    localTextDC(const localTextDC&) = delete;
    localTextDC& operator=(const localTextDC&) = delete;
};

} // namespace

// GDI counts characters in an int. The overloads pick GDI's narrow or wide call for the text.
static int localLength(const char* s) {
    size_t n = strlen(s);
    return n > (size_t)INT_MAX ? INT_MAX : (int)n;
}

static int localLength(const wchar_t* s) {
    size_t n = wcslen(s);
    return n > (size_t)INT_MAX ? INT_MAX : (int)n;
}

static BOOL localExtentPoint(HDC dc, const char* s, SIZE* size) {
    return GetTextExtentPoint32A(dc, s, localLength(s), size);
}

static BOOL localExtentPoint(HDC dc, const wchar_t* s, SIZE* size) {
    return GetTextExtentPoint32W(dc, s, localLength(s), size);
}

static BOOL localTextOut(HDC dc, const char* s) {
    return TextOutA(dc, 0, 0, s, localLength(s));
}

static BOOL localTextOut(HDC dc, const wchar_t* s) {
    return TextOutW(dc, 0, 0, s, localLength(s));
}

template <typename C> static bool localExtent(const C* s, FXFontGDI* font, int* w, int* h) {
    localTextDC t(font);
    SIZE size;
    if (s == nullptr || t.dc == nullptr || !localExtentPoint(t.dc, s, &size)) {
        return false;
    }
    // The line height is the font's even for an empty string, where some GDIs answer 0.
    if (size.cy == 0) {
        TEXTMETRICA tm;
        if (!GetTextMetricsA(t.dc, &tm)) {
            return false;
        }
        size.cy = tm.tmHeight;
    }
    *w = size.cx;
    *h = size.cy;
    return true;
}

bool fxTextExtentA(const char* s, FXFontGDI* font, int* w, int* h) {
    return localExtent(s, font, w, h);
}

bool fxTextExtentW(const wchar_t* s, FXFontGDI* font, int* w, int* h) {
    return localExtent(s, font, w, h);
}

// A top-down 32-bit DIB of w x h selected into t, black, ready for white text at (0, 0).
static uint32_t* localPrepareDib(localTextDC* t, int w, int h) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    t->dib = CreateDIBSection(t->dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (t->dib == nullptr || bits == nullptr) {
        err("text: CreateDIBSection %d x %d failed\n", w, h);
        return nullptr;
    }
    t->oldBitmap = SelectObject(t->dc, t->dib);
    SetTextColor(t->dc, RGB(255, 255, 255));
    SetBkColor(t->dc, RGB(0, 0, 0));
    SetBkMode(t->dc, OPAQUE);
    SetTextAlign(t->dc, 0);
    return (uint32_t*)bits;
}

// Coverage is the DIB pixel's first byte (blue; the text is white, so any channel would do).
static void localReadCoverage(const uint32_t* bits, uint8_t* coverage, int w, int h) {
    GdiFlush();
    size_t n = (size_t)w * (size_t)h;
    for (size_t i = 0; i < n; i++) {
        coverage[i] = (uint8_t)(bits[i] & 0xFFu);
    }
}

template <typename C> static bool localDraw(const C* s, FXFontGDI* font, uint8_t* coverage, int w, int h) {
    localTextDC t(font);
    if (s == nullptr || coverage == nullptr || w <= 0 || h <= 0 || t.dc == nullptr) {
        return false;
    }
    uint32_t* bits = localPrepareDib(&t, w, h);
    if (bits == nullptr || !localTextOut(t.dc, s)) {
        return false;
    }
    localReadCoverage(bits, coverage, w, h);
    return true;
}

bool fxTextDrawA(const char* s, FXFontGDI* font, uint8_t* coverage, int w, int h) {
    return localDraw(s, font, coverage, w, h);
}

bool fxTextDrawW(const wchar_t* s, FXFontGDI* font, uint8_t* coverage, int w, int h) {
    return localDraw(s, font, coverage, w, h);
}
