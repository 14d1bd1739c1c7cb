#include "render/canvas.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/other.h"
#include "base/trace.h"
#include "io/package.h"
#include "render/imagelib.h"
#include "render/picturefile.h"

// Copies a decoded picture into the canvas (steps shared by file and package loads).
static bool localFillFromPicture(FXCanvas* canvas, const ILPicture& pic) {
    FXPixmap* pm = &canvas->pixmap;
    if (!pm->Realloc(pic.width, pic.height)) {
        return false;
    }
    if (canvas->clearOnLoad) {
        canvas->Clear(canvas->background);
    }
    canvas->opaque = true;
    for (int y = 0; y < pic.height; y++) {
        const uint8_t* src = pic.Row(y);
        uint8_t* dst = (uint8_t*)(pm->pixels + (size_t)y * (size_t)pm->allocWidth);
        if (canvas->transMode) {
            for (int x = 0; x < pic.width; x++) {
                dst[x * 4 + 0] = 255;
                dst[x * 4 + 1] = 255;
                dst[x * 4 + 2] = 255;
                dst[x * 4 + 3] = src[x * 4];
            }
        } else {
            memcpy(dst, src, (size_t)pic.width * 4u);
            for (int x = 0; x < pic.width && canvas->opaque; x++) {
                if (src[x * 4 + 3] != 255) {
                    canvas->opaque = false;
                }
            }
        }
    }
    if (canvas->transMode) {
        canvas->opaque = false;
    }
    return true;
}

static bool localApplyMask(FXCanvas* canvas, const ILPicture& mask) {
    FXPixmap* pm = &canvas->pixmap;
    if (pm->pixels == nullptr || mask.width > pm->width || mask.height > pm->height) {
        err("mask %d x %d does not fit the picture %d x %d\n", mask.width, mask.height, pm->width, pm->height);
        return false;
    }
    canvas->opaque = true;
    for (int y = 0; y < pm->height; y++) {
        uint8_t* dst = (uint8_t*)(pm->pixels + (size_t)y * (size_t)pm->allocWidth);
        const uint8_t* src = y < mask.height ? mask.Row(y) : nullptr;
        for (int x = 0; x < pm->width; x++) {
            uint8_t a = 0;
            if (src != nullptr && x < mask.width) {
                a = src[x * 4 + 2];
            }
            dst[x * 4 + 3] = a;
            if (a != 255) {
                canvas->opaque = false;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

FXCanvas::FXCanvas() {
    opaque = true;
    autoTrans = true;
    transMode = false;
    clearOnLoad = true;
    fxColSetBlackT(background);
}

FXCanvas::~FXCanvas() {
    Destroy();
}

void FXCanvas::Destroy() {
    pixmap.Destroy();
    opaque = true;
    transMode = false;
}

void FXCanvas::Clear(float* c) {
    pixmap.Clear(fxColToInt1(c));
}

void FXCanvas::Copy(FXCanvas* src) {
    if (src == nullptr || src == this) {
        return;
    }
    if (!pixmap.Realloc(src->pixmap.width, src->pixmap.height)) {
        return;
    }
    if (src->pixmap.pixels == nullptr || pixmap.pixels == nullptr) {
        return;
    }
    for (int y = 0; y < pixmap.height; y++) {
        const uint32_t* s = src->pixmap.pixels + (size_t)y * (size_t)src->pixmap.allocWidth;
        uint32_t* d = pixmap.pixels + (size_t)y * (size_t)pixmap.allocWidth;
        memcpy(d, s, (size_t)pixmap.width * sizeof(uint32_t));
        for (int x = 0; x < pixmap.width; x++) {
            if ((s[x] >> 24) != 255) {
                opaque = false;
                break;
            }
        }
    }
}

void FXCanvas::MixColorLayer(float* c) {
    c[0] *= c[3];
    c[1] *= c[3];
    c[2] *= c[3];
    float k = 1.0f - c[3];
    if (pixmap.pixels == nullptr) {
        return;
    }
    for (int y = 0; y < pixmap.height; y++) {
        uint32_t* row = pixmap.pixels + (size_t)y * (size_t)pixmap.allocWidth;
        for (int x = 0; x < pixmap.width; x++) {
            float px[4];
            fxColFromInt1(px, row[x]);
            unsigned alpha = row[x] & 0xFF000000u;
            px[0] = px[0] * k + c[0];
            px[1] = px[1] * k + c[1];
            px[2] = px[2] * k + c[2];
            px[3] = 0.0f;
            // The alpha byte is put back as it was, not through a float round trip.
            row[x] = fxColToInt1(px) + alpha;
        }
    }
}

void FXCanvas::SetJpegQuality(int q) {
    if (ilReady) {
        pilSetInteger(IL_JPG_QUALITY, q);
    }
}

// Saves the region x1 <= x < x2, y1 <= y < y2 (cut to the picture) with 1 (alpha), 3 or 4 channels.
static bool localSave(FXCanvas* canvas, const char* file, int x1, int y1, int x2, int y2, int channels) {
    const FXPixmap* pm = &canvas->pixmap;
    if (!ilReady || file == nullptr || file[0] == 0 || pm->pixels == nullptr) {
        return false;
    }
    if (x1 < 0) {
        x1 = 0;
    }
    if (y1 < 0) {
        y1 = 0;
    }
    if (x2 > pm->width) {
        x2 = pm->width;
    }
    if (y2 > pm->height) {
        y2 = pm->height;
    }
    if (x2 <= x1 || y2 <= y1) {
        return false;
    }
    int w = x2 - x1;
    int h = y2 - y1;
    uint8_t* buffer = (uint8_t*)malloc((size_t)w * (size_t)h * (size_t)channels);
    if (buffer == nullptr) {
        err("saving %s: out of memory\n", file);
        return false;
    }
    // The library's rows go bottom-up: the region's top row is the buffer's last.
    uint8_t* out = buffer;
    for (int y = y2 - 1; y >= y1; y--) {
        const uint8_t* src = (const uint8_t*)(pm->pixels + (size_t)y * (size_t)pm->allocWidth) + (size_t)x1 * 4u;
        for (int x = 0; x < w; x++, src += 4) {
            if (channels == 1) {
                *out++ = src[3];
            } else if (channels == 3) {
                bool clear = src[3] == 0;
                *out++ = clear ? 0 : src[0];
                *out++ = clear ? 0 : src[1];
                *out++ = clear ? 0 : src[2];
            } else {
                memcpy(out, src, 4);
                out += 4;
            }
        }
    }
    ILenum format = channels == 1 ? IL_LUMINANCE : (channels == 3 ? IL_RGB : IL_RGBA);
    bool saved = false;
    {
        ILImages images;
        pilBindImage(images.Generate());
        if (pilTexImage((ILuint)w, (ILuint)h, 1, (ILubyte)channels, format, IL_UNSIGNED_BYTE, buffer)) {
            pilEnable(IL_FILE_OVERWRITE);
            saved = pilSaveImage(file) != 0;
        }
    }
    free(buffer);
    if (!saved) {
        err("failed to save %s\n", file);
    }
    return saved;
}

bool FXCanvas::SaveToPict(const char* file) {
    return localSave(this, file, 0, 0, pixmap.width, pixmap.height, 3);
}

bool FXCanvas::SaveToPict1(const char* file, int x1, int y1, int x2, int y2) {
    return localSave(this, file, x1, y1, x2, y2, 3);
}

bool FXCanvas::SaveToPict2(const char* file, int x1, int y1, int x2, int y2) {
    return localSave(this, file, x1, y1, x2, y2, 4);
}

bool FXCanvas::SaveToMask(const char* file) {
    return localSave(this, file, 0, 0, pixmap.width, pixmap.height, 1);
}

bool FXCanvas::SaveToMask1(const char* file, int x1, int y1, int x2, int y2) {
    return localSave(this, file, x1, y1, x2, y2, 1);
}

bool FXCanvas::CreateFromPict(const char* file) {
    if (file == nullptr || file[0] == 0) {
        return false;
    }
    transMode = autoTrans && fxIsTransFilename(file);
    if (!ilReady) {
        return false;
    }
    ILPicture pic;
    if (!fxDecodePicture(file, 0, nullptr, 0, &pic)) {
        return false;
    }
    return localFillFromPicture(this, pic);
}

// Decodes a package entry; false for a missing entry or one that is not a picture.
static bool localDecodeEntry(FXPackage* pkg, int id, ILPicture* pic) {
    if (pkg == nullptr || !ilReady) {
        return false;
    }
    FXPackageData* data = pkg->GetDataPtr(id);
    int type = pkg->GetDataType(id);
    if (data == nullptr || data->start == nullptr || data->total <= 0) {
        err("picture entry %d: no such entry\n", id);
        return false;
    }
    if (type == FXDATA_OTHER) {
        err("picture entry %d: the entry is no picture\n", id);
        return false;
    }
    if (!fxDecodePicture(nullptr, (ILenum)type, data->start, (ILuint)data->total, pic)) {
        err("picture entry %d: cannot be decoded\n", id);
        return false;
    }
    return true;
}

bool FXCanvas::CreateFromPictCN(FXPackage* pkg, int id) {
    ILPicture pic;
    if (!localDecodeEntry(pkg, id, &pic)) {
        return false;
    }
    return localFillFromPicture(this, pic);
}

bool FXCanvas::CreateFromPictC(FXPackage* pkg, const char* idText) {
    int id = 0;
    if (!fxParseId(idText, &id)) {
        return false;
    }
    return CreateFromPictCN(pkg, id);
}

bool FXCanvas::LoadMaskCN(FXPackage* pkg, int id) {
    ILPicture mask;
    if (!localDecodeEntry(pkg, id, &mask)) {
        return false;
    }
    return localApplyMask(this, mask);
}

bool FXCanvas::LoadMaskC(FXPackage* pkg, const char* idText) {
    int id = 0;
    if (!fxParseId(idText, &id)) {
        return false;
    }
    return LoadMaskCN(pkg, id);
}

bool FXCanvas::LoadMask(const char* file) {
    if (file == nullptr || file[0] == 0 || !ilReady) {
        return false;
    }
    ILPicture mask;
    if (!fxDecodePicture(file, 0, nullptr, 0, &mask)) {
        return false;
    }
    return localApplyMask(this, mask);
}

void FXCanvas::ExtendEdges() {
    FXPixmap* pm = &pixmap;
    if (pm->pixels == nullptr || pm->width <= 0 || pm->height <= 0) {
        return;
    }
    size_t stride = (size_t)pm->allocWidth;
    for (int y = 0; y < pm->height; y++) {
        uint32_t* row = pm->pixels + (size_t)y * stride;
        uint32_t last = row[pm->width - 1];
        for (int x = pm->width; x < pm->allocWidth; x++) {
            row[x] = last;
        }
    }
    const uint32_t* lastRow = pm->pixels + (size_t)(pm->height - 1) * stride;
    for (int y = pm->height; y < pm->allocHeight; y++) {
        memcpy(pm->pixels + (size_t)y * stride, lastRow, stride * sizeof(uint32_t));
    }
}

// trunc(size * t) held inside 0 ... limit - 1; NaN samples the first pixel.
static int localSampleIndex(int size, float t, int limit) {
    float v = (float)size * t;
    if (!(v >= 1.0f)) {
        return 0;
    }
    if (v >= (float)limit) {
        return limit - 1;
    }
    return (int)v;
}

void FXCanvas::GetColor(float u, float v, float* out) {
    const FXPixmap* pm = &pixmap;
    if (pm->pixels == nullptr || pm->width <= 0 || pm->height <= 0) {
        return;
    }
    int x = localSampleIndex(pm->width, u, pm->allocWidth);
    int y = localSampleIndex(pm->height, v, pm->allocHeight);
    fxColFromInt1(out, pm->pixels[(size_t)y * (size_t)pm->allocWidth + (size_t)x]);
}

float FXCanvas::GetBump(float u, float v) {
    const FXPixmap* pm = &pixmap;
    if (pm->pixels == nullptr || pm->allocWidth <= 0 || pm->allocHeight <= 0) {
        return 0.0f;
    }
    int x = localSampleIndex(pm->width, u, pm->allocWidth);
    int y = localSampleIndex(pm->height, 1.0f - v, pm->allocHeight);
    return (float)((pm->pixels[(size_t)y * (size_t)pm->allocWidth + (size_t)x] & 0xFFu) / 255.0);
}
