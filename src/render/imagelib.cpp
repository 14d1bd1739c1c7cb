#include "render/imagelib.h"

#include "base/other.h"
#include "base/trace.h"
#include "render/canvas.h"
#include "render/picturefile.h"

static void* ilDLL = nullptr;
static void* iluDLL = nullptr;
// Set once the library is bound and started; every load and save asks it first.
bool ilReady = false;

FXilInitProc pilInit = nullptr;
FXilShutDownProc pilShutDown = nullptr;
FXilEnableProc pilEnable = nullptr;
FXilDisableProc pilDisable = nullptr;
FXilSetIntegerProc pilSetInteger = nullptr;
FXilGenImagesProc pilGenImages = nullptr;
FXilDeleteImagesProc pilDeleteImages = nullptr;
FXilBindImageProc pilBindImage = nullptr;
FXilGetIntegerProc pilGetInteger = nullptr;
FXilLoadImageProc pilLoadImage = nullptr;
FXilLoadLProc pilLoadL = nullptr;
FXilSaveImageProc pilSaveImage = nullptr;
FXilCloneCurImageProc pilCloneCurImage = nullptr;
FXilConvertImageProc pilConvertImage = nullptr;
FXilCopyPixelsProc pilCopyPixels = nullptr;
FXilSetPixelsProc pilSetPixels = nullptr;
FXilGetDataProc pilGetData = nullptr;
FXiluScaleProc piluScale = nullptr;
FXiluImageParameterProc piluImageParameter = nullptr;
FXilTexImageProc pilTexImage = nullptr;

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
    // Only a started library is shut down (the platform's stand-in has no DLL).
    if (ilReady && pilShutDown != nullptr) {
        pilShutDown();
    }
    if (ilDLL != nullptr) {
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
        if (!fxBindPlatformPictures()) {
            return false;
        }
    }
    pilInit();
    ilReady = true;
    return true;
}

void fxUnloadDevil() {
    localUnloadImports();
}

// Decodes a file (file not null) or a block of memory of the given library type into pic.
bool fxDecodePicture(const char* file, ILenum type, const void* lump, ILuint size, ILPicture* pic) {
    bool whole = file != nullptr ? fxPictureFileIsWhole(file)
                                 : !fxIsPng((const uint8_t*)lump, size) || fxPngIsWhole((const uint8_t*)lump, size);
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
