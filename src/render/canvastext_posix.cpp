#include "render/canvastext.h"

#include <cstring>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include "base/trace.h"
#include "render/font_posix.h"

// Widest extent handed out, in pixels; the pixmap could not hold more anyway.
#define FXTEXT_MAX_EXTENT (1 << 30)

// UTF-8 to code points; a byte that does not start a valid sequence stands for itself (Latin-1),
// so no input is lost.
static void localDecodeUtf8(const char* s, std::vector<uint32_t>* out) {
    const unsigned char* p = (const unsigned char*)s;
    size_t n = strlen(s);
    size_t i = 0;
    while (i < n) {
        unsigned c = p[i];
        int extra = 0;
        uint32_t cp = c;
        uint32_t min = 0;
        if (c >= 0xC0 && c < 0xE0) {
            extra = 1;
            cp = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c < 0xF0) {
            extra = 2;
            cp = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c < 0xF8) {
            extra = 3;
            cp = c & 0x07;
            min = 0x10000;
        }
        bool valid = c < 0x80 || extra > 0;
        if (extra > 0) {
            if (i + (size_t)extra >= n) {
                valid = false; // cut short by the end of the string
            }
            for (int k = 1; valid && k <= extra; k++) {
                unsigned cc = p[i + (size_t)k];
                if ((cc & 0xC0) != 0x80) {
                    valid = false;
                } else {
                    cp = (cp << 6) | (cc & 0x3F);
                }
            }
            if (valid && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
                valid = false;
            }
        }
        if (valid) {
            out->push_back(cp);
            i += (size_t)extra + 1;
        } else {
            out->push_back(c);
            i++;
        }
    }
}

static void localWideToCodes(const wchar_t* s, std::vector<uint32_t>* out) {
    for (; *s != 0; s++) {
        out->push_back((uint32_t)*s);
    }
}

static int localCeilPixels(FT_Pos v) {
    return (int)((v + 63) >> 6);
}

// Loads the glyph of a code point into the face's slot, emboldened when the font asks for it.
static bool localLoadGlyph(FXFontGDI* font, uint32_t code, bool render) {
    FT_Face face = font->handle->face;
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) {
        return false;
    }
    if (font->handle->embolden) {
        FT_GlyphSlot_Embolden(face->glyph);
    }
    if (render && face->glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) {
            return false;
        }
    }
    return true;
}

// Lays the string out; draws into coverage (w x h) when it is given, else only measures.
static bool localLayout(const std::vector<uint32_t>& codes, FXFontGDI* font, uint8_t* coverage, int w, int h, int* outW,
                        int* outH) {
    if (font == nullptr || font->handle == nullptr) {
        err("canvas text - no font\n");
        return false;
    }
    FT_Face face = font->handle->face;
    if (face->size == nullptr) {
        return false;
    }
    int ascent = localCeilPixels(face->size->metrics.ascender);
    int descent = localCeilPixels(-face->size->metrics.descender);
    if (ascent < 0) {
        ascent = 0;
    }
    if (descent < 0) {
        descent = 0;
    }
    int64_t pen = 0; // 26.6 fixed point
    for (uint32_t code : codes) {
        if (!localLoadGlyph(font, code, coverage != nullptr)) {
            continue;
        }
        FT_GlyphSlot slot = face->glyph;
        if (coverage != nullptr) {
            const FT_Bitmap& bm = slot->bitmap;
            int x0 = (int)((pen + 32) >> 6) + slot->bitmap_left;
            int y0 = ascent - slot->bitmap_top;
            for (int r = 0; r < (int)bm.rows; r++) {
                int y = y0 + r;
                if (y < 0 || y >= h) {
                    continue;
                }
                const unsigned char* src = bm.buffer + (ptrdiff_t)r * bm.pitch;
                for (int c = 0; c < (int)bm.width; c++) {
                    int x = x0 + c;
                    if (x < 0 || x >= w) {
                        continue;
                    }
                    unsigned v = 0;
                    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                        v = src[c];
                        if (bm.num_grays > 1 && bm.num_grays != 256) {
                            v = v * 255u / (unsigned)(bm.num_grays - 1);
                        }
                    } else if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                        v = (src[c >> 3] & (0x80 >> (c & 7))) != 0 ? 255u : 0u;
                    }
                    uint8_t* dst = coverage + (size_t)y * (size_t)w + (size_t)x;
                    if (v > *dst) {
                        *dst = (uint8_t)v;
                    }
                }
            }
        }
        pen += slot->advance.x;
        if (pen > ((int64_t)FXTEXT_MAX_EXTENT << 6)) {
            err("canvas text - string too wide\n");
            return false;
        }
    }
    if (pen < 0) {
        pen = 0;
    }
    if (outW != nullptr) {
        *outW = localCeilPixels((FT_Pos)pen);
    }
    if (outH != nullptr) {
        *outH = ascent + descent;
    }
    return true;
}

static bool localExtent(const std::vector<uint32_t>& codes, FXFontGDI* font, int* w, int* h) {
    int cx = 0, cy = 0;
    if (!localLayout(codes, font, nullptr, 0, 0, &cx, &cy)) {
        return false;
    }
    if (w != nullptr) {
        *w = cx;
    }
    if (h != nullptr) {
        *h = cy;
    }
    return true;
}

static bool localDraw(const std::vector<uint32_t>& codes, FXFontGDI* font, uint8_t* coverage, int w, int h) {
    if (coverage == nullptr || w <= 0 || h <= 0) {
        return false;
    }
    memset(coverage, 0, (size_t)w * (size_t)h);
    return localLayout(codes, font, coverage, w, h, nullptr, nullptr);
}

bool fxTextExtentA(const char* s, FXFontGDI* font, int* w, int* h) {
    std::vector<uint32_t> codes;
    if (s != nullptr) {
        localDecodeUtf8(s, &codes);
    }
    return localExtent(codes, font, w, h);
}

bool fxTextExtentW(const wchar_t* s, FXFontGDI* font, int* w, int* h) {
    std::vector<uint32_t> codes;
    if (s != nullptr) {
        localWideToCodes(s, &codes);
    }
    return localExtent(codes, font, w, h);
}

bool fxTextDrawA(const char* s, FXFontGDI* font, uint8_t* coverage, int w, int h) {
    std::vector<uint32_t> codes;
    if (s != nullptr) {
        localDecodeUtf8(s, &codes);
    }
    return localDraw(codes, font, coverage, w, h);
}

bool fxTextDrawW(const wchar_t* s, FXFontGDI* font, uint8_t* coverage, int w, int h) {
    std::vector<uint32_t> codes;
    if (s != nullptr) {
        localWideToCodes(s, &codes);
    }
    return localDraw(codes, font, coverage, w, h);
}
