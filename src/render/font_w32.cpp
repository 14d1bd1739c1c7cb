#include "render/font_w32.h"

#include <new>

#include "base/trace.h"

// Largest character height accepted; far beyond any caption.
#define FXFONT_MAX_PIXELS 4096

bool fxCreateFont(const char* family, int pixelHeight, bool bold, FXFontGDI* out) {
    if (out == nullptr) {
        return false;
    }
    out->handle = nullptr;
    if (pixelHeight <= 0 || pixelHeight > FXFONT_MAX_PIXELS) {
        err("fxCreateFont - height %d refused\n", pixelHeight);
        return false;
    }
    // A negative height asks for the character height (the em), as the Linux twin does.
    HFONT font = CreateFontA(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             family != nullptr ? family : "");
    if (font == nullptr) {
        err("fxCreateFont - no font for \"%s\"\n", family != nullptr ? family : "");
        return false;
    }
    tagFXFontPlatform* record = new (std::nothrow) tagFXFontPlatform;
    if (record == nullptr) {
        err("fxCreateFont - out of memory\n");
        DeleteObject(font);
        return false;
    }
    record->font = font;
    out->handle = record;
    return true;
}

void fxDestroyFont(FXFontGDI* font) {
    if (font == nullptr || font->handle == nullptr) {
        return;
    }
    DeleteObject(font->handle->font);
    delete font->handle;
    font->handle = nullptr;
}
