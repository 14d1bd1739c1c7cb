#ifndef FX_RENDER_FONT_H
#define FX_RENDER_FONT_H

// The engine's font handle for canvas text. The first field is the platform's font: a GDI font
// handle (HFONT) on Windows, a FreeType face (FT_Face) on Linux.
struct FXFontGDI {
    void* handle;
    void* library; // Linux: the FreeType instance that owns the face
    bool embolden; // Linux: bold was asked for and the matched face has none of its own
};

// Linux: finds the font through fontconfig (the family, or the closest match) and opens it at a
// character height of pixelHeight pixels. False when no font can be opened.
bool fxCreateFont(const char* family, int pixelHeight, bool bold, FXFontGDI* out);
// Idempotent; leaves the handle null.
void fxDestroyFont(FXFontGDI* font);

#endif
