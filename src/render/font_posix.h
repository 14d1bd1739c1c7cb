#ifndef FX_RENDER_FONT_POSIX_H
#define FX_RENDER_FONT_POSIX_H

// The Linux shape of a font; only font_posix and canvastext_posix include this.

#include <ft2build.h>
#include FT_FREETYPE_H

#include "render/font.h"

struct tagFXFontPlatform {
    FT_Library library; // the FreeType instance that owns the face
    FT_Face face;
    bool embolden; // bold was asked for and the matched face has none of its own
};

#endif
