#ifndef FX_RENDER_CANVASTEXT_H
#define FX_RENDER_CANVASTEXT_H

#include <cstdint>
#include <cwchar>

#include "render/font.h"

// The platform half of canvas text (canvastext_w32 draws with GDI, canvastext_posix with
// FreeType). The extent of a string is its advance width by the font's line height (ascent plus
// descent); narrow text is in the platform's multibyte encoding (UTF-8 on Linux).

// False when the font cannot be used.
bool fxTextExtentA(const char* s, FXFontGDI* font, int* w, int* h);
bool fxTextExtentW(const wchar_t* s, FXFontGDI* font, int* w, int* h);

// Draws the string white on black at the top-left of a w x h box: one coverage byte a pixel,
// rows top first. Glyphs sit on the baseline at the font's ascent; ink outside the box is cut.
bool fxTextDrawA(const char* s, FXFontGDI* font, uint8_t* coverage, int w, int h);
bool fxTextDrawW(const wchar_t* s, FXFontGDI* font, uint8_t* coverage, int w, int h);

#endif
