#include "render/font_posix.h"

#include <fontconfig/fontconfig.h>
#include <new>

#include "base/trace.h"

// Largest character height accepted; far beyond any caption.
#define FXFONT_MAX_PIXELS 4096

namespace {

struct FcPatternHolder {
    FcPattern* p;
    explicit FcPatternHolder(FcPattern* pattern) : p(pattern) {}
    ~FcPatternHolder() {
        if (p != nullptr) {
            FcPatternDestroy(p);
        }
    }
    FcPatternHolder(const FcPatternHolder&) = delete;
    FcPatternHolder& operator=(const FcPatternHolder&) = delete;
};

} // namespace

bool fxCreateFont(const char* family, int pixelHeight, bool bold, FXFontGDI* out) {
    if (out == nullptr) {
        return false;
    }
    out->handle = nullptr;
    if (pixelHeight <= 0 || pixelHeight > FXFONT_MAX_PIXELS) {
        err("fxCreateFont - height %d refused\n", pixelHeight);
        return false;
    }

    FcPatternHolder pattern(FcPatternCreate());
    if (pattern.p == nullptr) {
        return false;
    }
    if (family != nullptr && family[0] != 0) {
        FcPatternAddString(pattern.p, FC_FAMILY, (const FcChar8*)family);
    }
    FcPatternAddInteger(pattern.p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddDouble(pattern.p, FC_PIXEL_SIZE, (double)pixelHeight);
    FcConfigSubstitute(nullptr, pattern.p, FcMatchPattern);
    FcDefaultSubstitute(pattern.p);
    FcResult result = FcResultNoMatch;
    FcPatternHolder match(FcFontMatch(nullptr, pattern.p, &result));
    FcChar8* file = nullptr;
    if (match.p == nullptr || FcPatternGetString(match.p, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
        err("fxCreateFont - no font for \"%s\"\n", family != nullptr ? family : "");
        return false;
    }
    int index = 0;
    FcPatternGetInteger(match.p, FC_INDEX, 0, &index);
    FcBool embolden = FcFalse;
    FcPatternGetBool(match.p, FC_EMBOLDEN, 0, &embolden);

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        err("fxCreateFont - FreeType does not start\n");
        return false;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, (const char*)file, index, &face) != 0) {
        err("fxCreateFont - cannot open %s\n", (const char*)file);
        FT_Done_FreeType(library);
        return false;
    }
    FT_Error sized = FT_Set_Pixel_Sizes(face, 0, (FT_UInt)pixelHeight);
    if (sized != 0 && face->num_fixed_sizes > 0) {
        // A bitmap-only face: take its first strike.
        sized = FT_Select_Size(face, 0);
    }
    if (sized != 0) {
        err("fxCreateFont - %s has no size %d\n", (const char*)file, pixelHeight);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    }
    tagFXFontPlatform* font = new (std::nothrow) tagFXFontPlatform;
    if (font == nullptr) {
        err("fxCreateFont - out of memory\n");
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    }
    font->library = library;
    font->face = face;
    font->embolden = embolden == FcTrue;
    out->handle = font;
    return true;
}

void fxDestroyFont(FXFontGDI* font) {
    if (font == nullptr || font->handle == nullptr) {
        return;
    }
    FT_Done_Face(font->handle->face);
    FT_Done_FreeType(font->handle->library);
    delete font->handle;
    font->handle = nullptr;
}
