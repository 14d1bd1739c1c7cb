#include "render/scrshot.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "base/trace.h"
#include "render/window.h"

// Shared by every capture and made on first use, like the connection of the screen it reads.
static Display* localDisplay = nullptr;

namespace {

// Releases whatever an attempt to read the screen made, on every way out.
struct localImageHolder {
    Display* dpy = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo shm = {};
    bool shmAttached = false;

    localImageHolder() { shm.shmid = -1; }
    ~localImageHolder() {
        if (shmAttached) {
            XShmDetach(dpy, &shm);
            XSync(dpy, False);
        }
        if (image != nullptr) {
            if (shm.shmaddr != nullptr) {
                image->data = nullptr; // the segment, detached below, is not the image's to free
            }
            XDestroyImage(image);
        }
        if (shm.shmaddr != nullptr) {
            shmdt(shm.shmaddr);
        }
        if (shm.shmid >= 0) {
            shmctl(shm.shmid, IPC_RMID, nullptr);
        }
    }
};

// Tells the failure of a shared-memory attach (a remote server, say) from success.
bool localShmFailed = false;
int localShmErrorHandler(Display*, XErrorEvent*) {
    localShmFailed = true;
    return 0;
}

} // namespace

// The shared-memory path: one copy from the server, when the server offers it.
static bool localGrabShm(localImageHolder* h, Window root, Visual* visual, int depth, int w, int h2) {
    if (!XShmQueryExtension(h->dpy)) {
        return false;
    }
    h->image = XShmCreateImage(h->dpy, visual, (unsigned)depth, ZPixmap, nullptr, &h->shm, (unsigned)w, (unsigned)h2);
    if (h->image == nullptr) {
        return false;
    }
    h->shm.shmid = shmget(IPC_PRIVATE, (size_t)h->image->bytes_per_line * (size_t)h->image->height, IPC_CREAT | 0600);
    if (h->shm.shmid < 0) {
        return false;
    }
    h->shm.shmaddr = (char*)shmat(h->shm.shmid, nullptr, 0);
    if (h->shm.shmaddr == (char*)-1) {
        h->shm.shmaddr = nullptr;
        return false;
    }
    h->image->data = h->shm.shmaddr;
    h->shm.readOnly = False;
    localShmFailed = false;
    XErrorHandler old = XSetErrorHandler(localShmErrorHandler);
    Status attached = XShmAttach(h->dpy, &h->shm);
    XSync(h->dpy, False);
    h->shmAttached = attached && !localShmFailed;
    bool ok = h->shmAttached && XShmGetImage(h->dpy, root, h->image, 0, 0, AllPlanes);
    XSync(h->dpy, False);
    XSetErrorHandler(old);
    return ok && !localShmFailed;
}

// Converts whatever TrueColor layout the image has; never reads beyond a row's bytes.
static bool localConvert(const XImage* image, FXPixmap* pixmap, int w, int h) {
    int bpp = image->bits_per_pixel;
    if (bpp != 16 && bpp != 24 && bpp != 32) {
        err("FXScrShot: %d bits per pixel is not supported\n", bpp);
        return false;
    }
    if (w > image->width || h > image->height || (long)image->bytes_per_line * 8 < (long)w * bpp) {
        err("FXScrShot: the screen image is smaller than the screen\n");
        return false;
    }
    int rs, rb, gs, gb, bs, bb;
    fxMaskShift((uint32_t)image->red_mask, &rs, &rb);
    fxMaskShift((uint32_t)image->green_mask, &gs, &gb);
    fxMaskShift((uint32_t)image->blue_mask, &bs, &bb);
    int bytes = bpp / 8;
    bool msb = image->byte_order == MSBFirst;
    for (int y = 0; y < h; y++) {
        const unsigned char* src = (const unsigned char*)image->data + (size_t)y * (size_t)image->bytes_per_line;
        uint32_t* dst = pixmap->pixels + (size_t)y * (size_t)pixmap->allocWidth;
        for (int x = 0; x < w; x++) {
            const unsigned char* p = src + (size_t)x * (size_t)bytes;
            unsigned long v = 0;
            for (int i = 0; i < bytes; i++) {
                int at = msb ? i : bytes - 1 - i;
                v = (v << 8) | p[at];
            }
            uint32_t r = fxScaleChannel((uint32_t)((v & image->red_mask) >> rs), rb);
            uint32_t g = fxScaleChannel((uint32_t)((v & image->green_mask) >> gs), gb);
            uint32_t b = fxScaleChannel((uint32_t)((v & image->blue_mask) >> bs), bb);
            dst[x] = r | g << 8 | b << 16 | 0xff000000u;
        }
    }
    return true;
}

FXScrShot::FXScrShot() : shots(0) {}

FXScrShot::~FXScrShot() {
    if (localDisplay != nullptr) {
        XCloseDisplay(localDisplay);
        localDisplay = nullptr;
    }
    canvas.Destroy();
}

// Reads w x h pixels of drawable (the root window, or a pixmap of the screen) into the canvas.
static bool localRead(FXScrShot* shot, Display* dpy, Drawable drawable, Visual* visual, int depth, int w, int h) {
    localImageHolder shared, plain;
    shared.dpy = dpy;
    plain.dpy = dpy;
    XImage* image = nullptr;
    if (localGrabShm(&shared, drawable, visual, depth, w, h)) {
        image = shared.image;
    } else {
        plain.image = XGetImage(dpy, drawable, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (plain.image == nullptr) {
            err("XGetImage (screen picture)\n");
            return false;
        }
        image = plain.image;
    }
    if (image->red_mask == 0) {
        image->red_mask = visual->red_mask;
        image->green_mask = visual->green_mask;
        image->blue_mask = visual->blue_mask;
    }

    if (!shot->canvas.pixmap.Realloc(w, h)) {
        err("FXScrShot: no memory for a %dx%d picture\n", w, h);
        return false;
    }
    float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    shot->canvas.Clear(black);
    if (!localConvert(image, &shot->canvas.pixmap, w, h)) {
        return false;
    }
    shot->canvas.opaque = true;
    shot->shots++;
    return true;
}

static Display* localOpen() {
    if (localDisplay == nullptr) {
        fxInitWindowing();
        localDisplay = XOpenDisplay(nullptr);
        if (localDisplay == nullptr) {
            err("XOpenDisplay\n");
        }
    }
    return localDisplay;
}

static bool localTrueColour(Display* dpy, XWindowAttributes* attr) {
    if (!XGetWindowAttributes(dpy, RootWindow(dpy, DefaultScreen(dpy)), attr)) {
        err("XGetWindowAttributes (root window)\n");
        return false;
    }
    if (attr->visual->c_class != TrueColor && attr->visual->c_class != DirectColor) {
        err("FXScrShot: the screen is not a true-colour visual\n");
        return false;
    }
    return true;
}

bool FXScrShot::Update() {
    Display* dpy = localOpen();
    if (dpy == nullptr) {
        return false;
    }
    int screen = DefaultScreen(dpy);
    int w = DisplayWidth(dpy, screen);
    int h = DisplayHeight(dpy, screen);
    XWindowAttributes attr;
    if (w <= 0 || h <= 0 || !localTrueColour(dpy, &attr)) {
        return false;
    }
    return localRead(this, dpy, RootWindow(dpy, screen), attr.visual, attr.depth, w, h);
}

// A screen-saver manager that blanks the screen first keeps the desktop as it was in a pixmap
// named by this property of the window it hands its saver.
bool FXScrShot::UpdateFromSaved(unsigned long window) {
    Display* dpy = localOpen();
    if (dpy == nullptr) {
        return false;
    }
    Atom name = XInternAtom(dpy, "_SCREENSAVER_SCREENSHOT", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    Pixmap pixmap = None;
    if (XGetWindowProperty(dpy, (Window)window, name, 0, 1, False, XA_PIXMAP, &type, &format, &items, &after, &data) ==
            Success &&
        type == XA_PIXMAP && format == 32 && items == 1) {
        pixmap = (Pixmap)((unsigned long*)data)[0];
    }
    if (data != nullptr) {
        XFree(data);
    }
    if (pixmap == None) {
        return false;
    }
    Window root;
    int x, y;
    unsigned int w = 0, h = 0, border, depth;
    XWindowAttributes attr;
    if (!XGetGeometry(dpy, pixmap, &root, &x, &y, &w, &h, &border, &depth) || !localTrueColour(dpy, &attr) ||
        (int)depth != attr.depth || w == 0 || h == 0) {
        err("FXScrShot: the saved screen picture 0x%lx cannot be read\n", (unsigned long)pixmap);
        return false;
    }
    return localRead(this, dpy, pixmap, attr.visual, attr.depth, (int)w, (int)h);
}
