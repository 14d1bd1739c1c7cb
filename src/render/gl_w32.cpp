#include "render/gl.h"

#include <windows.h>

#include <GL/gl.h>
#include <new>

#include "base/thread.h"
#include "base/trace.h"
#include "render/window_w32.h"

void* fxGLGetProcAddress(const char* name) {
    return (void*)wglGetProcAddress(name);
}

static HWND localHwnd(const FXGL* gl) {
    return gl->hwnd != nullptr && gl->hwnd->platform != nullptr ? gl->hwnd->platform->hwnd : nullptr;
}

bool FXGL::CreateChild(void* window) {
    Destroy();
    mutex = fxCreateMutex();

    hwnd = (tagFXWindow*)window;
    this->window = window;
    HWND h = localHwnd(this);
    if (h == nullptr) {
        return false;
    }
    fxGetScreenSize(hwnd, &screenWidth, &screenHeight);
    fxGetWindowSize(hwnd, &width, &height);

    HDC dc = GetDC(h);
    if (dc == nullptr) {
        err("FXGL::CreateChild: no device context\n");
        return false;
    }
    hdc = new (std::nothrow) tagFXDeviceContext;
    if (hdc == nullptr) {
        err("FXGL::CreateChild: out of memory\n");
        ReleaseDC(h, dc);
        return false;
    }
    hdc->dc = dc;
    hdc->savedParent = nullptr;

    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 16;
    pfd.cStencilBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(dc, &pfd);
    if (format == 0) {
        err("FXGL::CreateChild: no matching pixel format\n");
        return false;
    }
    // A window takes one pixel format for its life: a second CreateChild on it finds it set.
    if (GetPixelFormat(dc) != format && !SetPixelFormat(dc, format, &pfd)) {
        err("FXGL::CreateChild: SetPixelFormat failed (%lu)\n", (unsigned long)GetLastError());
        return false;
    }
    HGLRC ctx = wglCreateContext(dc);
    if (ctx == nullptr) {
        err("FXGL::CreateChild: cannot create the OpenGL context (%lu)\n", (unsigned long)GetLastError());
        return false;
    }
    hglrc = ctx;

    if (!wglMakeCurrent(dc, ctx)) {
        err("FXGL::CreateChild: cannot make the context current\n");
        return false;
    }
    bool r = InitExtensions();
    ClrParams();
    wglMakeCurrent(nullptr, nullptr);
    return r;
}

void FXGL::Destroy() {
    PEnv::Destroy();
    wglMakeCurrent(nullptr, nullptr);
    if (hglrc != nullptr) {
        wglDeleteContext((HGLRC)hglrc);
        hglrc = nullptr;
    }
    if (hdc != nullptr) {
        HWND h = localHwnd(this);
        if (h != nullptr) {
            ReleaseDC(h, hdc->dc);
        }
        delete hdc;
        hdc = nullptr;
    }
    hwnd = nullptr;
}

void FXGL::SetAct(bool on) {
    if (on && hdc != nullptr && hglrc != nullptr) {
        wglMakeCurrent(hdc->dc, (HGLRC)hglrc);
    } else {
        wglMakeCurrent(nullptr, nullptr);
    }
}

void FXGL::RenderEnd() {
    if (hdc == nullptr) {
        return;
    }
    SwapBuffers(hdc->dc);
}

static void localReadClientSize(FXGL* gl) {
    fxGetWindowSize(gl->hwnd, &gl->width, &gl->height);
    glViewport(0, 0, gl->width, gl->height);
}

void FXGL::Enlarge(bool on) {
    FXGRAutoAct guard(fxglobalEnv);
    HWND h = localHwnd(this);
    if (hdc == nullptr || h == nullptr) {
        return;
    }
    if (on) {
        if (!enlarged) {
            RECT r;
            if (!GetWindowRect(h, &r)) {
                return;
            }
            HWND parent = GetParent(h);
            // Child positions are in the parent's client coordinates: keep the place that way so
            // it comes back exactly.
            if (parent != nullptr) {
                MapWindowPoints(nullptr, parent, (POINT*)&r, 2);
            }
            savedRect[0] = r.left;
            savedRect[1] = r.top;
            savedRect[2] = r.right;
            savedRect[3] = r.bottom;
            hdc->savedParent = parent;
            if (parent != nullptr) {
                // A window without a parent must not keep the child style.
                SetWindowLongA(h, GWL_STYLE, (GetWindowLongA(h, GWL_STYLE) & ~WS_CHILD) | WS_POPUP);
                SetParent(h, nullptr);
            }
        }
        SetWindowPos(h, HWND_TOP, 0, 0, screenWidth, screenHeight, SWP_SHOWWINDOW | SWP_FRAMECHANGED);
        localReadClientSize(this);
        enlarged = true;
    } else if (enlarged) {
        HWND parent = hdc->savedParent;
        if (parent != nullptr) {
            SetParent(h, parent);
            SetWindowLongA(h, GWL_STYLE, (GetWindowLongA(h, GWL_STYLE) & ~WS_POPUP) | WS_CHILD);
        }
        hdc->savedParent = nullptr;
        SetWindowPos(h, HWND_TOP, savedRect[0], savedRect[1], savedRect[2] - savedRect[0], savedRect[3] - savedRect[1],
                     SWP_SHOWWINDOW | SWP_FRAMECHANGED);
        localReadClientSize(this);
        enlarged = false;
    }
}

void fxShowDeviceMessage(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}
