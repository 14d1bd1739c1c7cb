#ifndef FX_RENDER_FONT_H
#define FX_RENDER_FONT_H

// The platform's font: a GDI font on Windows; a FreeType face with its library on Linux
// (render/font_posix.h). Only the platform's font and text units know its shape.
struct tagFXFontPlatform;

// The engine's font handle for canvas text.
struct FXFontGDI {
    tagFXFontPlatform* handle; // null until fxCreateFont succeeds
};

// Linux: finds the font through fontconfig (the family, or the closest match) and opens it at a
// character height of pixelHeight pixels. False when no font can be opened.
bool fxCreateFont(const char* family, int pixelHeight, bool bold, FXFontGDI* out);
// Idempotent; leaves the handle null.
void fxDestroyFont(FXFontGDI* font);

#endif
