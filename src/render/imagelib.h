#ifndef FX_RENDER_IMAGELIB_H
#define FX_RENDER_IMAGELIB_H

// The image library, bound at run time by name: only the few types, codes and entry points the
// canvas uses. Private to the canvas units; everyone else goes through FXCanvas.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include "render/imagelib_w32.h"
#else
#include "render/imagelib_posix.h"
#endif

typedef unsigned int ILenum;
typedef unsigned char ILboolean;
typedef unsigned int ILuint;
typedef int ILint;
typedef size_t ILsizei;
typedef unsigned char ILubyte;

#define IL_TGA 0x042D
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

// Set by fxLoadDevil once the library is bound and started; every load and save asks it first.
extern bool ilReady;
extern FXilInitProc pilInit;
extern FXilShutDownProc pilShutDown;
extern FXilEnableProc pilEnable;
extern FXilDisableProc pilDisable;
extern FXilSetIntegerProc pilSetInteger;
extern FXilGenImagesProc pilGenImages;
extern FXilDeleteImagesProc pilDeleteImages;
extern FXilBindImageProc pilBindImage;
extern FXilGetIntegerProc pilGetInteger;
extern FXilLoadImageProc pilLoadImage;
extern FXilLoadLProc pilLoadL;
extern FXilSaveImageProc pilSaveImage;
extern FXilCloneCurImageProc pilCloneCurImage;
extern FXilConvertImageProc pilConvertImage;
extern FXilCopyPixelsProc pilCopyPixels;
extern FXilSetPixelsProc pilSetPixels;
extern FXilGetDataProc pilGetData;
extern FXiluScaleProc piluScale;
extern FXiluImageParameterProc piluImageParameter;
extern FXilTexImageProc pilTexImage;

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

// Decodes a file (file not null) or a block of memory of the given library type into pic.
bool fxDecodePicture(const char* file, ILenum type, const void* lump, ILuint size, ILPicture* pic);

#endif
