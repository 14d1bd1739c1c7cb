#include <windows.h>

#include <wincodec.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <new>
#include <vector>

#include "base/trace.h"
#include "render/imagelib.h"
#include "render/tgafile.h"

// The image library's entry points, answered by the Windows Imaging Component: the canvas keeps
// talking to one interface whether the library's DLLs are there or not. Only what the canvas
// calls is provided; every picture is held as 8-bit channels, decoded ones as RGBA, top row first.
// TGA, which the component does not know, goes through the engine's own codec.

#define FX_IL_ORIGIN_UPPER_LEFT 0x0602
// Largest picture decoded or encoded, in pixels; keeps every byte count inside 32 bits.
#define FX_WIC_MAX_PIXELS (1 << 26)

namespace {

struct localImage {
    int width = 0;
    int height = 0;
    int channels = 4;
    bool bottomUp = false; // pixels handed in by ilTexImage come bottom row first
    std::vector<uint8_t> data;
};

// The library's process-wide state: its images, the bound one, the JPEG quality for saves.
std::map<ILuint, localImage> localImages;
ILuint localNextId = 1;
ILuint localBound = 0;
int localJpegQuality = 99;

template <typename T> struct localRef {
    T* p = nullptr;
    ~localRef() {
        if (p != nullptr) {
            p->Release();
        }
    }
    localRef() = default;
    localRef(const localRef&) = delete;
    localRef& operator=(const localRef&) = delete;
};

// COM for the calling thread for the length of one decode or encode, whatever apartment the
// thread already has.
struct localComScope {
    bool started;
    localComScope() : started(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~localComScope() {
        if (started) {
            CoUninitialize();
        }
    }
};

bool localFactory(IWICImagingFactory** out) {
    *out = nullptr;
    HRESULT hr =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, (void**)out);
    if (FAILED(hr)) {
        err("Windows Imaging Component unavailable (0x%08lx)\n", (unsigned long)hr);
        *out = nullptr;
        return false;
    }
    return true;
}

localImage* localCurrent() {
    auto it = localImages.find(localBound);
    return it != localImages.end() ? &it->second : nullptr;
}

// A wide copy of a file name in the system's narrow code page (what the library took).
bool localWideName(const char* file, std::vector<wchar_t>* out) {
    int n = MultiByteToWideChar(CP_ACP, 0, file, -1, nullptr, 0);
    if (n <= 0) {
        return false;
    }
    out->resize((size_t)n);
    return MultiByteToWideChar(CP_ACP, 0, file, -1, out->data(), n) == n;
}

// Makes the decoded RGBA picture the bound image's.
bool localStore(int w, int h, std::vector<uint8_t>* rgba) {
    localImage* image = localCurrent();
    if (image == nullptr) {
        return false;
    }
    image->width = w;
    image->height = h;
    image->channels = 4;
    image->bottomUp = false;
    image->data.swap(*rgba);
    return true;
}

// Decodes the first frame of an encoded picture in memory as RGBA, top row first.
bool localDecodeWic(const uint8_t* data, size_t size, int* width, int* height, std::vector<uint8_t>* rgba) {
    if (size == 0 || size > 0xFFFFFFFFu) {
        return false;
    }
    localComScope com;
    localRef<IWICImagingFactory> factory;
    localRef<IWICStream> stream;
    localRef<IWICBitmapDecoder> decoder;
    localRef<IWICBitmapFrameDecode> frame;
    localRef<IWICFormatConverter> converter;
    UINT w = 0, h = 0;
    if (!localFactory(&factory.p) || FAILED(factory.p->CreateStream(&stream.p)) ||
        FAILED(stream.p->InitializeFromMemory(const_cast<BYTE*>(data), (DWORD)size)) ||
        FAILED(factory.p->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder.p)) ||
        FAILED(decoder.p->GetFrame(0, &frame.p)) || FAILED(frame.p->GetSize(&w, &h))) {
        return false;
    }
    if (w == 0 || h == 0 || (uint64_t)w * h > FX_WIC_MAX_PIXELS) {
        err("picture of %u x %u pixels refused\n", w, h);
        return false;
    }
    // BGRA is the one conversion every codec offers; the channels are swapped below.
    if (FAILED(factory.p->CreateFormatConverter(&converter.p)) ||
        FAILED(converter.p->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom))) {
        return false;
    }
    rgba->resize((size_t)w * h * 4);
    if (FAILED(converter.p->CopyPixels(nullptr, w * 4, (UINT)rgba->size(), rgba->data()))) {
        return false;
    }
    for (size_t i = 0; i < rgba->size(); i += 4) {
        uint8_t b = (*rgba)[i];
        (*rgba)[i] = (*rgba)[i + 2];
        (*rgba)[i + 2] = b;
    }
    *width = (int)w;
    *height = (int)h;
    return true;
}

bool localDecodeInto(const uint8_t* data, size_t size, bool tga) {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
    bool decoded = tga ? fxDecodeTga(data, size, &w, &h, &rgba) : localDecodeWic(data, size, &w, &h, &rgba);
    return decoded && localStore(w, h, &rgba);
}

// The file's extension in lower case (at most 7 characters), or "" without one.
void localExtension(const char* file, char ext[8]) {
    memset(ext, 0, 8);
    const char* dot = strrchr(file, '.');
    if (dot == nullptr || strpbrk(dot, "/\\") != nullptr) {
        return;
    }
    for (int i = 0; i < 7 && dot[i + 1] != 0; i++) {
        char c = dot[i + 1];
        ext[i] = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    }
}

bool localReadFile(const char* file, std::vector<uint8_t>* out) {
    FILE* f = fopen(file, "rb");
    if (f == nullptr) {
        return false;
    }
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) {
        out->insert(out->end(), chunk, chunk + n);
    }
    bool ok = ferror(f) == 0;
    fclose(f);
    return ok;
}

// The encoder for an extension, among the formats the library wrote (PNG, JPEG, BMP; TGA is ours).
bool localContainerFor(const char* ext, GUID* container) {
    if (strcmp(ext, "jpg") == 0 || strcmp(ext, "jpeg") == 0 || strcmp(ext, "jpe") == 0) {
        *container = GUID_ContainerFormatJpeg;
    } else if (strcmp(ext, "png") == 0) {
        *container = GUID_ContainerFormatPng;
    } else if (strcmp(ext, "bmp") == 0) {
        *container = GUID_ContainerFormatBmp;
    } else {
        return false;
    }
    return true;
}

bool localWriteFile(const char* file, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(file, "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The bound image as top-down rows in the codec's byte order: gray, BGR or BGRA (JPEG has no alpha).
void localEncoderRows(const localImage& image, bool jpeg, bool bmp, std::vector<uint8_t>* out, int* channels,
                      WICPixelFormatGUID* format) {
    int in = image.channels;
    // JPEG has no alpha; BMP no grey without a palette, so grey goes as equal colours.
    *channels = in == 4 && jpeg ? 3 : (in == 1 && bmp ? 3 : in);
    *format = *channels == 1 ? GUID_WICPixelFormat8bppGray
                             : (*channels == 3 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA);
    out->resize((size_t)image.width * image.height * (size_t)*channels);
    uint8_t* dst = out->data();
    for (int y = 0; y < image.height; y++) {
        int row = image.bottomUp ? image.height - 1 - y : y;
        const uint8_t* src = image.data.data() + (size_t)row * image.width * in;
        for (int x = 0; x < image.width; x++, src += in) {
            if (*channels == 1) {
                *dst++ = src[0];
                continue;
            }
            if (in == 1) {
                *dst++ = src[0];
                *dst++ = src[0];
                *dst++ = src[0];
                continue;
            }
            *dst++ = src[2];
            *dst++ = src[1];
            *dst++ = src[0];
            if (*channels == 4) {
                *dst++ = src[3];
            }
        }
    }
}

bool localSave(const char* file) {
    const localImage* image = localCurrent();
    GUID container;
    char ext[8];
    if (image == nullptr || image->data.empty() || file == nullptr) {
        return false;
    }
    localExtension(file, ext);
    if (strcmp(ext, "tga") == 0) {
        std::vector<uint8_t> bytes;
        return fxEncodeTga(image->data.data(), image->width, image->height, image->channels, image->bottomUp, &bytes) &&
               localWriteFile(file, bytes);
    }
    if (!localContainerFor(ext, &container)) {
        err("saving %s: no writer for this format\n", file);
        return false;
    }
    bool jpeg = IsEqualGUID(container, GUID_ContainerFormatJpeg);
    std::vector<uint8_t> rows;
    int channels = 0;
    WICPixelFormatGUID format;
    localEncoderRows(*image, jpeg, IsEqualGUID(container, GUID_ContainerFormatBmp), &rows, &channels, &format);

    localComScope com;
    localRef<IWICImagingFactory> factory;
    localRef<IWICBitmap> bitmap;
    localRef<IWICStream> stream;
    localRef<IWICBitmapEncoder> encoder;
    localRef<IWICBitmapFrameEncode> frame;
    localRef<IPropertyBag2> props;
    localRef<IWICFormatConverter> converter;
    std::vector<wchar_t> name;
    UINT stride = (UINT)(image->width * channels);
    if (!localFactory(&factory.p) ||
        FAILED(factory.p->CreateBitmapFromMemory((UINT)image->width, (UINT)image->height, format, stride,
                                                 (UINT)rows.size(), rows.data(), &bitmap.p)) ||
        !localWideName(file, &name) || FAILED(factory.p->CreateStream(&stream.p)) ||
        FAILED(stream.p->InitializeFromFilename(name.data(), GENERIC_WRITE)) ||
        FAILED(factory.p->CreateEncoder(container, nullptr, &encoder.p)) ||
        FAILED(encoder.p->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
        FAILED(encoder.p->CreateNewFrame(&frame.p, &props.p))) {
        return false;
    }
    if (jpeg && props.p != nullptr) {
        PROPBAG2 option = {};
        option.pstrName = (LPOLESTR)L"ImageQuality";
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = (float)localJpegQuality / 100.0f;
        props.p->Write(1, &option, &value);
    }
    WICPixelFormatGUID offered = format;
    if (FAILED(frame.p->Initialize(props.p)) || FAILED(frame.p->SetSize((UINT)image->width, (UINT)image->height)) ||
        FAILED(frame.p->SetPixelFormat(&offered))) {
        return false;
    }
    IWICBitmapSource* source = bitmap.p;
    // The codec may take another layout than the one offered: convert to what it named.
    if (!IsEqualGUID(offered, format)) {
        if (FAILED(factory.p->CreateFormatConverter(&converter.p)) ||
            FAILED(converter.p->Initialize(bitmap.p, offered, WICBitmapDitherTypeNone, nullptr, 0.0,
                                           WICBitmapPaletteTypeCustom))) {
            return false;
        }
        source = converter.p;
    }
    return SUCCEEDED(frame.p->WriteSource(source, nullptr)) && SUCCEEDED(frame.p->Commit()) &&
           SUCCEEDED(encoder.p->Commit());
}

void FX_ILAPI wicInit() {}

void FX_ILAPI wicShutDown() {
    localImages.clear();
    localBound = 0;
    localNextId = 1;
}

ILboolean FX_ILAPI wicEnable(ILenum) {
    return 1; // files are always overwritten
}

void FX_ILAPI wicSetInteger(ILenum mode, ILint param) {
    if (mode == IL_JPG_QUALITY) {
        localJpegQuality = param < 1 ? 1 : (param > 100 ? 100 : param);
    }
}

void FX_ILAPI wicGenImages(ILsizei num, ILuint* images) {
    for (ILsizei i = 0; i < num; i++) {
        images[i] = localNextId++;
        localImages[images[i]] = localImage();
    }
}

void FX_ILAPI wicDeleteImages(ILsizei num, const ILuint* images) {
    for (ILsizei i = 0; i < num; i++) {
        localImages.erase(images[i]);
        if (localBound == images[i]) {
            localBound = 0;
        }
    }
}

void FX_ILAPI wicBindImage(ILuint image) {
    localBound = image;
}

ILint FX_ILAPI wicGetInteger(ILenum mode) {
    const localImage* image = localCurrent();
    if (image == nullptr) {
        return 0;
    }
    switch (mode) {
        case IL_IMAGE_WIDTH:
            return image->width;
        case IL_IMAGE_HEIGHT:
            return image->height;
        case IL_IMAGE_BPP:
            return image->channels;
        case IL_IMAGE_SIZE_OF_DATA:
            return (ILint)image->data.size();
        case IL_IMAGE_ORIGIN:
            return image->bottomUp ? IL_ORIGIN_LOWER_LEFT : FX_IL_ORIGIN_UPPER_LEFT;
        default:
            return 0;
    }
}

// As the library did, the extension tells a TGA file; the component finds the other codecs itself.
ILboolean FX_ILAPI wicLoadImage(const char* file) {
    std::vector<uint8_t> bytes;
    if (file == nullptr || !localReadFile(file, &bytes)) {
        return 0;
    }
    char ext[8];
    localExtension(file, ext);
    return localDecodeInto(bytes.data(), bytes.size(), strcmp(ext, "tga") == 0) ? 1 : 0;
}

ILboolean FX_ILAPI wicLoadL(ILenum type, const void* lump, ILuint size) {
    return lump != nullptr && localDecodeInto((const uint8_t*)lump, size, type == IL_TGA) ? 1 : 0;
}

ILboolean FX_ILAPI wicSaveImage(const char* file) {
    return localSave(file) ? 1 : 0;
}

ILuint FX_ILAPI wicCloneCurImage() {
    const localImage* image = localCurrent();
    if (image == nullptr) {
        return 0;
    }
    ILuint id = localNextId++;
    localImage copy = *image;
    localImages[id] = std::move(copy);
    return id;
}

// Everything decoded is already RGBA bytes; images handed in with fewer channels are widened.
ILboolean FX_ILAPI wicConvertImage(ILenum format, ILenum type) {
    localImage* image = localCurrent();
    if (image == nullptr || format != IL_RGBA || type != IL_UNSIGNED_BYTE) {
        return 0;
    }
    if (image->channels == 4) {
        return 1;
    }
    size_t n = (size_t)image->width * image->height;
    std::vector<uint8_t> rgba(n * 4);
    for (size_t i = 0; i < n; i++) {
        const uint8_t* s = image->data.data() + i * image->channels;
        uint8_t* d = rgba.data() + i * 4;
        d[0] = s[0];
        d[1] = image->channels == 1 ? s[0] : s[1];
        d[2] = image->channels == 1 ? s[0] : s[2];
        d[3] = 255;
    }
    image->data.swap(rgba);
    image->channels = 4;
    return 1;
}

ILubyte* FX_ILAPI wicGetData() {
    localImage* image = localCurrent();
    return image != nullptr && !image->data.empty() ? image->data.data() : nullptr;
}

ILboolean FX_ILAPI wicTexImage(ILuint w, ILuint h, ILuint d, ILubyte channels, ILenum format, ILenum type, void* data) {
    localImage* image = localCurrent();
    int expected = format == IL_LUMINANCE ? 1 : (format == IL_RGB ? 3 : (format == IL_RGBA ? 4 : 0));
    if (image == nullptr || data == nullptr || d != 1 || type != IL_UNSIGNED_BYTE || channels != expected || w == 0 ||
        h == 0 || (uint64_t)w * h > FX_WIC_MAX_PIXELS) {
        return 0;
    }
    image->width = (int)w;
    image->height = (int)h;
    image->channels = channels;
    image->bottomUp = true;
    const uint8_t* bytes = (const uint8_t*)data;
    image->data.assign(bytes, bytes + (size_t)w * h * channels);
    return 1;
}

} // namespace

bool fxBindPlatformPictures() {
    pilInit = wicInit;
    pilShutDown = wicShutDown;
    pilEnable = wicEnable;
    pilSetInteger = wicSetInteger;
    pilGenImages = wicGenImages;
    pilDeleteImages = wicDeleteImages;
    pilBindImage = wicBindImage;
    pilGetInteger = wicGetInteger;
    pilLoadImage = wicLoadImage;
    pilLoadL = wicLoadL;
    pilSaveImage = wicSaveImage;
    pilCloneCurImage = wicCloneCurImage;
    pilConvertImage = wicConvertImage;
    pilGetData = wicGetData;
    pilTexImage = wicTexImage;
    trc("pictures through the Windows Imaging Component\n");
    return true;
}
