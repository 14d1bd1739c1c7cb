#include "render/canvas.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/package.h"
#include "base/other.h"
#include "base/trace.h"
#include "render/canvastext.h"

// ---------------------------------------------------------------------------------------------
// The image library, bound at run time by name. Only the few types and codes the canvas uses.

#if defined(_WIN32)
#define FX_ILAPI __stdcall
#define FX_IL_LIBRARY "DevIL"
#define FX_ILU_LIBRARY "ilu"
#else
#define FX_ILAPI
#define FX_IL_LIBRARY "libIL.so.1"
#define FX_ILU_LIBRARY "libILU.so.1"
#endif

typedef unsigned int ILenum;
typedef unsigned char ILboolean;
typedef unsigned int ILuint;
typedef int ILint;
typedef size_t ILsizei;
typedef unsigned char ILubyte;

#define IL_RGB 0x1907
#define IL_RGBA 0x1908
#define IL_LUMINANCE 0x1909
#define IL_UNSIGNED_BYTE 0x1401
#define IL_ORIGIN_LOWER_LEFT 0x0601
#define IL_FILE_OVERWRITE 0x0620
#define IL_JPG_QUALITY 0x0711
#define IL_IMAGE_WIDTH 0x0DE4
#define IL_IMAGE_HEIGHT 0x0DE5
#define IL_IMAGE_SIZE_OF_DATA 0x0DE7
#define IL_IMAGE_BPP 0x0DE8
#define IL_IMAGE_ORIGIN 0x0DFE

typedef void(FX_ILAPI* FXilInitProc)(void);
typedef void(FX_ILAPI* FXilShutDownProc)(void);
typedef ILboolean(FX_ILAPI* FXilEnableProc)(ILenum mode);
typedef ILboolean(FX_ILAPI* FXilDisableProc)(ILenum mode);
typedef void(FX_ILAPI* FXilSetIntegerProc)(ILenum mode, ILint param);
typedef void(FX_ILAPI* FXilGenImagesProc)(ILsizei num, ILuint* images);
typedef void(FX_ILAPI* FXilDeleteImagesProc)(ILsizei num, const ILuint* images);
typedef void(FX_ILAPI* FXilBindImageProc)(ILuint image);
typedef ILint(FX_ILAPI* FXilGetIntegerProc)(ILenum mode);
typedef ILboolean(FX_ILAPI* FXilLoadImageProc)(const char* file);
typedef ILboolean(FX_ILAPI* FXilLoadLProc)(ILenum type, const void* lump, ILuint size);
typedef ILboolean(FX_ILAPI* FXilSaveImageProc)(const char* file);
typedef ILuint(FX_ILAPI* FXilCloneCurImageProc)(void);
typedef ILboolean(FX_ILAPI* FXilConvertImageProc)(ILenum format, ILenum type);
typedef ILuint(FX_ILAPI* FXilCopyPixelsProc)(ILuint x, ILuint y, ILuint z, ILuint w, ILuint h, ILuint d, ILenum format,
                                             ILenum type, void* data);
typedef void(FX_ILAPI* FXilSetPixelsProc)(ILint x, ILint y, ILint z, ILuint w, ILuint h, ILuint d, ILenum format,
                                          ILenum type, void* data);
typedef ILubyte*(FX_ILAPI* FXilGetDataProc)(void);
typedef ILboolean(FX_ILAPI* FXiluScaleProc)(ILuint w, ILuint h, ILuint d);
typedef void(FX_ILAPI* FXiluImageParameterProc)(ILenum name, ILenum param);
typedef ILboolean(FX_ILAPI* FXilTexImageProc)(ILuint w, ILuint h, ILuint d, ILubyte channels, ILenum format,
                                              ILenum type, void* data);

static void* ilDLL = nullptr;
static void* iluDLL = nullptr;
// Set once the library is bound and started; every load and save asks it first.
static bool ilReady = false;

static FXilInitProc pilInit = nullptr;
static FXilShutDownProc pilShutDown = nullptr;
static FXilEnableProc pilEnable = nullptr;
static FXilDisableProc pilDisable = nullptr;
static FXilSetIntegerProc pilSetInteger = nullptr;
static FXilGenImagesProc pilGenImages = nullptr;
static FXilDeleteImagesProc pilDeleteImages = nullptr;
static FXilBindImageProc pilBindImage = nullptr;
static FXilGetIntegerProc pilGetInteger = nullptr;
static FXilLoadImageProc pilLoadImage = nullptr;
static FXilLoadLProc pilLoadL = nullptr;
static FXilSaveImageProc pilSaveImage = nullptr;
static FXilCloneCurImageProc pilCloneCurImage = nullptr;
static FXilConvertImageProc pilConvertImage = nullptr;
static FXilCopyPixelsProc pilCopyPixels = nullptr;
static FXilSetPixelsProc pilSetPixels = nullptr;
static FXilGetDataProc pilGetData = nullptr;
static FXiluScaleProc piluScale = nullptr;
static FXiluImageParameterProc piluImageParameter = nullptr;
static FXilTexImageProc pilTexImage = nullptr;

template <typename T> static bool localBind(void* library, const char* name, T* slot) {
    void* p = fxGetProcAddress(library, name);
    if (p == nullptr) {
        return false;
    }
    *slot = reinterpret_cast<T>(p);
    return true;
}

static bool localLoadImports() {
    trc("loading devil\n");
    ilDLL = fxLoadLibrary(FX_IL_LIBRARY);
    if (ilDLL == nullptr) {
        err("failed to load devil.dll\n");
        return false;
    }
    iluDLL = fxLoadLibrary(FX_ILU_LIBRARY);
    if (iluDLL == nullptr) {
        err("failed to load ilu.dll\n");
        fxFreeLibrary(ilDLL);
        ilDLL = nullptr;
        return false;
    }
    bool bound =
        localBind(ilDLL, "ilInit", &pilInit) && localBind(ilDLL, "ilShutDown", &pilShutDown) &&
        localBind(ilDLL, "ilEnable", &pilEnable) && localBind(ilDLL, "ilDisable", &pilDisable) &&
        localBind(ilDLL, "ilSetInteger", &pilSetInteger) && localBind(ilDLL, "ilGenImages", &pilGenImages) &&
        localBind(ilDLL, "ilDeleteImages", &pilDeleteImages) && localBind(ilDLL, "ilBindImage", &pilBindImage) &&
        localBind(ilDLL, "ilGetInteger", &pilGetInteger) && localBind(ilDLL, "ilLoadImage", &pilLoadImage) &&
        localBind(ilDLL, "ilLoadL", &pilLoadL) && localBind(ilDLL, "ilSaveImage", &pilSaveImage) &&
        localBind(ilDLL, "ilCloneCurImage", &pilCloneCurImage) &&
        localBind(ilDLL, "ilConvertImage", &pilConvertImage) && localBind(ilDLL, "ilCopyPixels", &pilCopyPixels) &&
        localBind(ilDLL, "ilSetPixels", &pilSetPixels) && localBind(ilDLL, "ilGetData", &pilGetData) &&
        localBind(iluDLL, "iluScale", &piluScale) && localBind(iluDLL, "iluImageParameter", &piluImageParameter) &&
        localBind(ilDLL, "ilTexImage", &pilTexImage);
    if (!bound) {
        return false;
    }
    trc("loading ok\n");
    return true;
}

static void localUnloadImports() {
    trc("unload devil\n");
    if (ilDLL != nullptr) {
        // Only a started library is shut down.
        if (ilReady && pilShutDown != nullptr) {
            pilShutDown();
        }
        fxFreeLibrary(ilDLL);
    }
    if (iluDLL != nullptr) {
        fxFreeLibrary(iluDLL);
    }
    ilReady = false;
    ilDLL = nullptr;
    iluDLL = nullptr;
    pilInit = nullptr;
    pilShutDown = nullptr;
    pilEnable = nullptr;
    pilDisable = nullptr;
    pilSetInteger = nullptr;
    pilGenImages = nullptr;
    pilDeleteImages = nullptr;
    pilBindImage = nullptr;
    pilGetInteger = nullptr;
    pilLoadImage = nullptr;
    pilLoadL = nullptr;
    pilSaveImage = nullptr;
    pilCloneCurImage = nullptr;
    pilConvertImage = nullptr;
    pilCopyPixels = nullptr;
    pilSetPixels = nullptr;
    pilGetData = nullptr;
    piluScale = nullptr;
    piluImageParameter = nullptr;
    pilTexImage = nullptr;
}

bool fxLoadDevil() {
    if (ilReady) {
        return true;
    }
    if (!localLoadImports()) {
        err("failed to load devil libraries\n");
        localUnloadImports();
        return false;
    }
    pilInit();
    ilReady = true;
    return true;
}

void fxUnloadDevil() {
    localUnloadImports();
}

namespace {

// Library images generated for one load or save; deleted on every way out.
struct ILImages {
    ILuint ids[2];
    int count;

    ILImages() : ids{0, 0}, count(0) {}
    ~ILImages() {
        if (count > 0 && pilDeleteImages != nullptr) {
            pilDeleteImages((ILsizei)count, ids);
        }
    }
    ILImages(const ILImages&) = delete;
    ILImages& operator=(const ILImages&) = delete;

    ILuint Generate() {
        ILuint id = 0;
        pilGenImages(1, &id);
        ids[count++] = id;
        return id;
    }
    void Adopt(ILuint id) { ids[count++] = id; }
};

// A decoded picture: the library's RGBA bytes, rows in the library's order.
struct ILPicture {
    ILImages images;
    int width;
    int height;
    const uint8_t* data;
    bool bottomUp;

    ILPicture() : width(0), height(0), data(nullptr), bottomUp(false) {}

    // The picture's row y, counted from the top.
    const uint8_t* Row(int y) const {
        int r = bottomUp ? height - 1 - y : y;
        return data + (size_t)r * (size_t)width * 4u;
    }
};

} // namespace

// The image library can spin for minutes on a truncated PNG, so a PNG is walked chunk by chunk
// first: every chunk must lie inside the data and the walk must reach IEND.
static const uint8_t localPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};

static bool localIsPng(const uint8_t* data, size_t size) {
    return size >= 8 && memcmp(data, localPngSignature, 8) == 0;
}

static bool localPngIsWhole(const uint8_t* data, size_t size) {
    size_t at = 8;
    while (at + 12 <= size) {
        uint32_t length = (uint32_t)data[at] << 24 | (uint32_t)data[at + 1] << 16 | (uint32_t)data[at + 2] << 8 |
                          (uint32_t)data[at + 3];
        if (length > size - at - 12) {
            return false;
        }
        if (memcmp(data + at + 4, "IEND", 4) == 0) {
            return true;
        }
        at += 12 + (size_t)length;
    }
    return false;
}

// True unless the file is a PNG that is not whole (other formats are left to the library).
static bool localPictureFileIsWhole(const char* file) {
    FILE* f = fopen(file, "rb");
    if (f == nullptr) {
        return true; // the library reports the missing file itself
    }
    uint8_t head[8] = {};
    bool whole = true;
    if (fread(head, 1, 8, f) == 8 && localIsPng(head, 8)) {
        long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
        uint8_t* data = size > 0 ? (uint8_t*)malloc((size_t)size) : nullptr;
        whole = data != nullptr && fseek(f, 0, SEEK_SET) == 0 && fread(data, 1, (size_t)size, f) == (size_t)size &&
                localPngIsWhole(data, (size_t)size);
        free(data);
    }
    fclose(f);
    return whole;
}

// Decodes a file (file not null) or a block of memory of the given library type into pic.
static bool localDecodePicture(const char* file, ILenum type, const void* lump, ILuint size, ILPicture* pic) {
    bool whole = file != nullptr
                     ? localPictureFileIsWhole(file)
                     : !localIsPng((const uint8_t*)lump, size) || localPngIsWhole((const uint8_t*)lump, size);
    if (!whole) {
        err("picture %s: the PNG data is cut short\n", file != nullptr ? file : "(memory)");
        return false;
    }
    pilBindImage(pic->images.Generate());
    ILboolean loaded = file != nullptr ? pilLoadImage(file) : pilLoadL(type, lump, size);
    if (!loaded) {
        return false;
    }
    ILint w = pilGetInteger(IL_IMAGE_WIDTH);
    ILint h = pilGetInteger(IL_IMAGE_HEIGHT);
    if (w <= 0 || h <= 0) {
        return false;
    }
    ILuint clone = pilCloneCurImage();
    if (clone == 0) {
        return false;
    }
    pic->images.Adopt(clone);
    pilBindImage(clone);
    if (!pilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) {
        return false;
    }
    // Whatever the library says, never read past the bytes it holds.
    int64_t need = (int64_t)w * (int64_t)h * 4;
    if (pilGetInteger(IL_IMAGE_WIDTH) != w || pilGetInteger(IL_IMAGE_HEIGHT) != h || pilGetInteger(IL_IMAGE_BPP) != 4 ||
        (int64_t)pilGetInteger(IL_IMAGE_SIZE_OF_DATA) < need) {
        err("picture %s: unexpected layout after conversion\n", file != nullptr ? file : "(memory)");
        return false;
    }
    pic->data = pilGetData();
    if (pic->data == nullptr) {
        return false;
    }
    pic->width = w;
    pic->height = h;
    // Formats stored bottom-up (BMP, TGA) come out of the library that way; the canvas is top first.
    pic->bottomUp = pilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT;
    return true;
}

static bool localDetectTransFilename(const char* file) {
    for (const char* p = file; *p != 0; p++) {
        if (tolower((unsigned char)p[0]) == 't' && tolower((unsigned char)p[1]) == 'r' &&
            tolower((unsigned char)p[2]) == 'a' && tolower((unsigned char)p[3]) == 'n') {
            return true;
        }
    }
    return false;
}

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
    transMode = autoTrans && localDetectTransFilename(file);
    if (!ilReady) {
        return false;
    }
    ILPicture pic;
    if (!localDecodePicture(file, 0, nullptr, 0, &pic)) {
        return false;
    }
    return localFillFromPicture(this, pic);
}

// The id of a C loader: decimal text as "%d" reads it (leading blanks, a sign, digits; anything
// after them ignored), refused when there are no digits or the number does not fit an int.
static bool localParseId(const char* text, int* id) {
    if (text == nullptr) {
        return false;
    }
    const char* p = text;
    while (isspace((unsigned char)*p)) {
        p++;
    }
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        p++;
    }
    if (!isdigit((unsigned char)*p)) {
        return false;
    }
    int64_t v = 0;
    for (; isdigit((unsigned char)*p); p++) {
        v = v * 10 + (*p - '0');
        if (v > (int64_t)INT_MAX + 1) {
            return false;
        }
    }
    v = negative ? -v : v;
    if (v > INT_MAX || v < INT_MIN) {
        return false;
    }
    *id = (int)v;
    return true;
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
    if (!localDecodePicture(nullptr, (ILenum)type, data->start, (ILuint)data->total, pic)) {
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
    if (!localParseId(idText, &id)) {
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
    if (!localParseId(idText, &id)) {
        return false;
    }
    return LoadMaskCN(pkg, id);
}

bool FXCanvas::LoadMask(const char* file) {
    if (file == nullptr || file[0] == 0 || !ilReady) {
        return false;
    }
    ILPicture mask;
    if (!localDecodePicture(file, 0, nullptr, 0, &mask)) {
        return false;
    }
    return localApplyMask(this, mask);
}

// White-on-black coverage to pixels: alpha is coverage times the colour's alpha (modulo 256),
// colour bytes are the colour's.
static bool localFillFromCoverage(FXCanvas* canvas, const uint8_t* coverage, int cx, int cy, float* colour) {
    FXPixmap* pm = &canvas->pixmap;
    if (!pm->Realloc(cx, cy)) {
        return false;
    }
    // The margin of the allocation is uploaded with the texture: keep it transparent.
    pm->Clear(0);
    canvas->opaque = true;
    unsigned base = fxColToInt1(colour) & 0x00FFFFFFu;
    float a = colour[3];
    for (int y = 0; y < cy; y++) {
        const uint8_t* src = coverage + (size_t)y * (size_t)cx;
        uint32_t* dst = pm->pixels + (size_t)y * (size_t)pm->allocWidth;
        for (int x = 0; x < cx; x++) {
            float f = (float)src[x] * a;
            // Floats beyond 2^31 are multiples of 256: their low byte is 0, and the cast would
            // not be defined.
            unsigned alpha = fabsf(f) < 2147483648.0f ? (unsigned)(int)f & 0xFFu : 0u;
            if (alpha <= 254) {
                canvas->opaque = false;
            }
            dst[x] = (alpha << 24) + base;
        }
    }
    return true;
}

template <typename C>
static bool localCreateFromText(FXCanvas* canvas, const C* s, FXFontGDI* font, float* colour,
                                bool (*extent)(const C*, FXFontGDI*, int*, int*),
                                bool (*draw)(const C*, FXFontGDI*, uint8_t*, int, int)) {
    if (s == nullptr || colour == nullptr) {
        return false;
    }
    int cx = 0, cy = 0;
    if (!extent(s, font, &cx, &cy) || cx <= 0 || cy <= 0) {
        return false;
    }
    if ((int64_t)cx * (int64_t)cy > INT_MAX) {
        err("text of %d x %d pixels refused\n", cx, cy);
        return false;
    }
    uint8_t* coverage = (uint8_t*)malloc((size_t)cx * (size_t)cy);
    if (coverage == nullptr) {
        err("text: out of memory\n");
        return false;
    }
    bool ok = draw(s, font, coverage, cx, cy) && localFillFromCoverage(canvas, coverage, cx, cy, colour);
    free(coverage);
    return ok;
}

bool FXCanvas::CreateFromText(const char* s, FXFontGDI* font, float* colour) {
    return localCreateFromText<char>(this, s, font, colour, fxTextExtentA, fxTextDrawA);
}

bool FXCanvas::CreateFromTextW(const wchar_t* s, FXFontGDI* font, float* colour) {
    return localCreateFromText<wchar_t>(this, s, font, colour, fxTextExtentW, fxTextDrawW);
}

bool FXCanvas::GetTextSize(const char* s, FXFontGDI* font, int* w, int* h) {
    return fxTextExtentA(s != nullptr ? s : "", font, w, h);
}

bool FXCanvas::GetTextWSize(const wchar_t* s, FXFontGDI* font, int* w, int* h) {
    return fxTextExtentW(s != nullptr ? s : L"", font, w, h);
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
