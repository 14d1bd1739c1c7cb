#include "render/scrshot.h"

#include <windows.h>

#include <ddraw.h>

#include "base/trace.h"

// Shared by every capture and made on first use.
static IDirectDraw7* localDD7 = nullptr;
static IDirectDrawSurface7* localPrim = nullptr;

namespace {

// The system-memory copy of one capture; released on every way out.
struct localSurfaceHolder {
    IDirectDrawSurface7* surface = nullptr;
    ~localSurfaceHolder() {
        if (surface != nullptr) {
            surface->Release();
        }
    }
};

} // namespace

FXScrShot::FXScrShot() : shots(0) {}

FXScrShot::~FXScrShot() {
    if (localPrim != nullptr) {
        localPrim->Release();
        localPrim = nullptr;
    }
    if (localDD7 != nullptr) {
        localDD7->Release();
        localDD7 = nullptr;
    }
    canvas.Destroy();
}

// Converts the locked surface (any RGB layout of 16, 24 or 32 bits, usually 32-bit BGRX) into the
// pixmap's RGBA rows; false when the layout is not one it knows or the surface is too small.
static bool localConvert(const DDSURFACEDESC2& desc, FXPixmap* pixmap, int w, int h) {
    const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
    int bpp = (int)pf.dwRGBBitCount;
    if ((pf.dwFlags & DDPF_RGB) == 0 || (bpp != 16 && bpp != 24 && bpp != 32)) {
        return false;
    }
    int bytes = bpp / 8;
    if ((int)desc.dwWidth < w || (int)desc.dwHeight < h || desc.lPitch < w * bytes || desc.lpSurface == nullptr) {
        return false;
    }
    int rs, rb, gs, gb, bs, bb;
    fxMaskShift((uint32_t)pf.dwRBitMask, &rs, &rb);
    fxMaskShift((uint32_t)pf.dwGBitMask, &gs, &gb);
    fxMaskShift((uint32_t)pf.dwBBitMask, &bs, &bb);
    for (int y = 0; y < h; y++) {
        const uint8_t* src = (const uint8_t*)desc.lpSurface + (size_t)y * (size_t)desc.lPitch;
        uint32_t* dst = pixmap->pixels + (size_t)y * (size_t)pixmap->allocWidth;
        for (int x = 0; x < w; x++, src += bytes) {
            uint32_t v = 0;
            for (int i = bytes - 1; i >= 0; i--) {
                v = (v << 8) | src[i];
            }
            uint32_t r = fxScaleChannel((uint32_t)((v & pf.dwRBitMask) >> rs), rb);
            uint32_t g = fxScaleChannel((uint32_t)((v & pf.dwGBitMask) >> gs), gb);
            uint32_t b = fxScaleChannel((uint32_t)((v & pf.dwBBitMask) >> bs), bb);
            dst[x] = r | g << 8 | b << 16 | 0xff000000u;
        }
    }
    return true;
}

bool FXScrShot::Update() {
    int w = GetSystemMetrics(SM_CXSCREEN);
    int h = GetSystemMetrics(SM_CYSCREEN);
    if (w <= 0 || h <= 0) {
        return false;
    }
    if (localDD7 == nullptr && FAILED(DirectDrawCreateEx(nullptr, (void**)&localDD7, IID_IDirectDraw7, nullptr))) {
        localDD7 = nullptr;
        err("DirectDrawCreateEx\n");
        return false;
    }
    if (FAILED(localDD7->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) {
        err("SetCooperativeLevel (dd7)\n");
        return false;
    }
    // A primary surface from an earlier capture is released, not leaked.
    if (localPrim != nullptr) {
        localPrim->Release();
        localPrim = nullptr;
    }
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(localDD7->CreateSurface(&desc, &localPrim, nullptr))) {
        localPrim = nullptr;
        err("CreateSurface (dd7 primary surface)\n");
        return false;
    }
    localSurfaceHolder back;
    desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY;
    desc.dwWidth = (DWORD)w;
    desc.dwHeight = (DWORD)h;
    if (FAILED(localDD7->CreateSurface(&desc, &back.surface, nullptr))) {
        back.surface = nullptr;
        err("CreateSurface (dd7 back surface)\n");
        return false;
    }
    if (FAILED(back.surface->Blt(nullptr, localPrim, nullptr, DDBLT_WAIT, nullptr))) {
        err("Blt (dd7 - from primary to back)\n");
        return false;
    }
    if (!canvas.pixmap.Realloc(w, h)) {
        err("FXScrShot: no memory for a %dx%d picture\n", w, h);
        return false;
    }
    float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    canvas.Clear(black);
    desc = {};
    desc.dwSize = sizeof(desc);
    if (FAILED(back.surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
        err("Lock (dd7 - back)\n");
        return false;
    }
    bool converted = localConvert(desc, &canvas.pixmap, w, h);
    back.surface->Unlock(nullptr);
    if (!converted) {
        // The picture is left sized and black, as after a failed lock.
        err("Lock (dd7 - back)\n");
        return false;
    }
    canvas.opaque = true;
    shots++;
    return true;
}

// Windows hands a screen saver no saved picture of the desktop: the caller captures.
bool FXScrShot::UpdateFromSaved(unsigned long window) {
    (void)window;
    return false;
}
