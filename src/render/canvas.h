#ifndef FX_RENDER_CANVAS_H
#define FX_RENDER_CANVAS_H

#include <cwchar>

#include "render/font.h"
#include "render/pixmap.h"

// A picture: textures from picture files, the captured desktop, rendered text, alpha masks.
// Pictures are decoded and encoded by the image library, which must be bound with fxLoadDevil;
// while it is not, every load and save answers false. The image library keeps one current image
// for the whole process, so loads and saves must not run on two threads at once.
class FXPackage;

class FXCanvas {
public:
    FXPixmap pixmap; // first member: the GL device reads the pixels through a canvas pointer
    bool opaque;     // no pixel with alpha below 255 was stored by the last fill
    bool autoTrans;  // loading a file sets transMode from its name
    bool transMode;  // load as white pixels whose alpha is the picture's first channel
    bool clearOnLoad;
    float background[4];

    FXCanvas();
    ~FXCanvas();
    FXCanvas(const FXCanvas&) = delete;
    FXCanvas& operator=(const FXCanvas&) = delete;

    void Clear(float* c);
    void Copy(FXCanvas* src);
    // Blends c over the picture; c is premultiplied in place.
    void MixColorLayer(float* c);

    static void SetJpegQuality(int q);
    // The library picks the format from the file extension. Regions are x1 <= x < x2,
    // y1 <= y < y2, cut to the picture; an empty region answers false.
    bool SaveToPict(const char* file);
    bool SaveToPict1(const char* file, int x1, int y1, int x2, int y2);
    bool SaveToPict2(const char* file, int x1, int y1, int x2, int y2);
    bool SaveToMask(const char* file);
    bool SaveToMask1(const char* file, int x1, int y1, int x2, int y2);

    bool CreateFromPict(const char* file);
    // From a package entry whose data type is the library's picture type; transMode stays as it
    // is. The C forms take the id as decimal text.
    bool CreateFromPictCN(FXPackage* pkg, int id);
    bool CreateFromPictC(FXPackage* pkg, const char* idText);
    // Replaces the alpha of the picture by the third channel of a mask picture no larger than it.
    bool LoadMask(const char* file);
    bool LoadMaskCN(FXPackage* pkg, int id);
    bool LoadMaskC(FXPackage* pkg, const char* idText);

    bool CreateFromText(const char* s, FXFontGDI* font, float* colour);
    bool CreateFromTextW(const wchar_t* s, FXFontGDI* font, float* colour);
    static bool GetTextSize(const char* s, FXFontGDI* font, int* w, int* h);
    static bool GetTextWSize(const wchar_t* s, FXFontGDI* font, int* w, int* h);

    // Fills the allocation outside the picture with copies of the edge pixels.
    void ExtendEdges();

    int GetWidth() const { return pixmap.width; }
    int GetHeight() const { return pixmap.height; }
    float GetWidthF() const { return (float)pixmap.width; }
    float GetHeightF() const { return (float)pixmap.height; }
    // Nearest pixel at (width * u, height * v), held inside the allocation; out untouched when
    // there is no picture.
    void GetColor(float u, float v, float* out);
    // Red channel of the nearest pixel with v flipped; 0 without pixels.
    float GetBump(float u, float v);

    void Destroy();
};

// Binds the image library at run time and starts it; false (with an error trace) when it is
// not there. fxUnloadDevil releases it; both are safe to call more than once.
bool fxLoadDevil();
void fxUnloadDevil();

#endif
