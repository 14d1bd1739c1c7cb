#ifndef FX_RENDER_FONT_W32_H
#define FX_RENDER_FONT_W32_H

// The Windows shape of a font; only font_w32 and canvastext_w32 include this.

#include <windows.h>

#include "render/font.h"

struct tagFXFontPlatform {
    HFONT font; // selected into the drawing context for measuring and drawing
};

#endif
