#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/arrays.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/gl.h"
#include "render/light.h"
#include "render/material.h"
#include "render/window.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_LIGHT_MODEL_COLOR_CONTROL
#define GL_LIGHT_MODEL_COLOR_CONTROL 0x81F8
#endif
#ifndef GL_SEPARATE_SPECULAR_COLOR
#define GL_SEPARATE_SPECULAR_COLOR 0x81FA
#endif
#ifndef GL_TEXTURE0
#define GL_TEXTURE0 0x84C0
#define GL_TEXTURE1 0x84C1
#endif

FXGLActiveTextureProc FXGL::glActiveTexture = nullptr;
FXGLMultiTexCoord2fProc FXGL::glMultiTexCoord2f = nullptr;
FXGLMultiTexCoord2fvProc FXGL::glMultiTexCoord2fv = nullptr;

FXGL::FXGL()
    : hwnd(nullptr), hdc(nullptr), hglrc(nullptr), extBgra(false), extSeparateSpecular(false), extEdgeClamp(false),
      extMultitexture(false), extCubeMap(false), skipClearTriangles(true) {
    savedRect[0] = savedRect[1] = savedRect[2] = savedRect[3] = 0;
    clrColor[0] = clrColor[1] = clrColor[2] = clrColor[3] = 0.0f;
    curMatrix.SetIdentity();
}

FXGL::~FXGL() {
    // Stops the loop while this object's operations still exist.
    Destroy();
}

FXGRAutoAct::FXGRAutoAct(PEnv* env) : env(env) {
    if (env != nullptr) {
        env->Lock(true);
        env->SetAct(true);
    }
}

FXGRAutoAct::~FXGRAutoAct() {
    if (env != nullptr) {
        env->SetAct(false);
        env->Lock(false);
    }
}

void FXGL::ClrParams() {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Near 2, far -2: a larger z lies further into the screen.
    glOrtho(-1.0, 1.0, -1.0, 1.0, 2.0, -2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    float black[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    SetClrColor(black);
    glClearDepth(2.0);
    glClearStencil(0);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.007843138f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_LIGHTING);
    glDisable(GL_NORMALIZE);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    if (extSeparateSpecular) {
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    }
}

void FXGL::FollowWindowSize() {
    FXGRAutoAct guard(this);
    if (hglrc != nullptr && fxGetWindowSize(hwnd, &width, &height)) {
        glViewport(0, 0, width, height);
    }
}

bool FXGL::RenderStart() {
    return true;
}

void FXGL::SetClrColor(float* colour) {
    for (int i = 0; i < 4; i++) {
        clrColor[i] = colour[i];
    }
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
}

void FXGL::Clrscr(bool colour, bool depth, bool stencil) {
    GLbitfield bits = 0;
    if (colour) {
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (depth) {
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (stencil) {
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    if (bits != 0) {
        glClear(bits);
    }
}

bool FXGL::TestExtensionString(const char* list, const char* name) {
    if (list == nullptr || name == nullptr || list[0] == 0 || name[0] == 0) {
        return false;
    }
    size_t nameLength = strlen(name);
    size_t listLength = strlen(list);
    const char* start = list;
    while (start < list + listLength - 1) {
        const char* hit = strstr(start, name);
        if (hit == nullptr) {
            return false;
        }
        char after = hit[nameLength];
        if (after == ' ' || after == 0) {
            return true;
        }
        start += nameLength;
    }
    return false;
}

static void localTraceExtension(bool present, const char* name) {
    if (present) {
        trc("%s\n", name);
    }
}

bool FXGL::InitExtensions() {
    const char* vendor = (const char*)glGetString(GL_VENDOR);
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    const char* version = (const char*)glGetString(GL_VERSION);
    trc("OpenGL info:\n");
    trc("vendor: %s\n", vendor != nullptr ? vendor : "");
    trc("renderer: %s\n", renderer != nullptr ? renderer : "");
    trc("version: %s\n", version != nullptr ? version : "");

    const char* list = (const char*)glGetString(GL_EXTENSIONS);
    extBgra = TestExtensionString(list, "EXT_bgra");
    extSeparateSpecular = TestExtensionString(list, "EXT_separate_specular_color");
    extEdgeClamp =
        TestExtensionString(list, "EXT_texture_edge_clamp") || TestExtensionString(list, "SGIS_texture_edge_clamp");
    extMultitexture = TestExtensionString(list, "ARB_multitexture");
    extCubeMap = TestExtensionString(list, "ARB_texture_cube_map");
    npot = TestExtensionString(list, "ARB_texture_non_power_of_two");

    if (extMultitexture) {
        glActiveTexture = (FXGLActiveTextureProc)fxGLGetProcAddress("glActiveTexture");
        glMultiTexCoord2f = (FXGLMultiTexCoord2fProc)fxGLGetProcAddress("glMultiTexCoord2f");
        glMultiTexCoord2fv = (FXGLMultiTexCoord2fvProc)fxGLGetProcAddress("glMultiTexCoord2fv");
    }

    localTraceExtension(extBgra, "EXT_bgra");
    localTraceExtension(extSeparateSpecular, "EXT_separate_specular_color");
    localTraceExtension(extEdgeClamp, "EXT_texture_edge_clamp");
    localTraceExtension(extMultitexture, "ARB_multitexture");
    localTraceExtension(extCubeMap, "ARB_texture_cube_map");
    localTraceExtension(npot, "ARB_texture_non_power_of_two");
    return extEdgeClamp;
}

bool FXGL::TestGL(bool showMessage) {
    if (extMultitexture) {
        return true;
    }
    if (showMessage) {
        fxShowDeviceMessage("Your Graphics Capabilities seems to be insufficient. Either you have no Graphics Card, or "
                            "you have not installed the drivers for it.",
                            "Tumo3D");
    }
    return false;
}

void FXGL::UpdateLights() {
    for (int i = 0; i < FX_MAX_LIGHTS; i++) {
        GLenum id = GL_LIGHT0 + i;
        FXLight* l = lights[i];
        if (l == nullptr || l->off) {
            glDisable(id);
            continue;
        }
        l->glLight = (int)id;
        glLightfv(id, GL_POSITION, l->position);
        glLightfv(id, GL_SPOT_DIRECTION, l->spotDirection);
        glLightfv(id, GL_AMBIENT, l->ambient);
        glLightfv(id, GL_DIFFUSE, l->diffuse);
        glLightfv(id, GL_SPECULAR, l->specular);
        glLightf(id, GL_SPOT_EXPONENT, l->spotExponent);
        glLightf(id, GL_SPOT_CUTOFF, l->spotCutoff);
        glLightf(id, GL_CONSTANT_ATTENUATION, l->constantAttenuation);
        glLightf(id, GL_LINEAR_ATTENUATION, l->linearAttenuation);
        glLightf(id, GL_QUADRATIC_ATTENUATION, l->quadraticAttenuation);
        glEnable(id);
    }
}

// Binds the texture of m on the active unit, or switches texturing off there; whether it is on.
static bool localBindTexture(const FXMaterial* m) {
    if (m != nullptr && m->hasTexture && m->glTexture != 0) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, m->glTexture);
        return true;
    }
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    return false;
}

void FXGL::ApplyMaterial(FXMaterial* m) {
    if (testingMaterial) {
        return;
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m->ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m->diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m->specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, m->emission);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m->shininess);
    tex0On = localBindTexture(m);
}

void FXGL::ApplyMaterial2(FXMaterial* m) {
    if (testingMaterial || glActiveTexture == nullptr) {
        return;
    }
    glActiveTexture(GL_TEXTURE1);
    tex1On = localBindTexture(m);
    glActiveTexture(GL_TEXTURE0);
}

void FXGL::ApplyMatrix(FXMatrix* matrix) {
    curMatrix.Copy(matrix);
    glLoadMatrixf(curMatrix.m);
}

void FXGL::MultiplyMatrix(FXMatrix* matrix) {
    FXMatrix product;
    product.Multiply(&curMatrix, matrix);
    curMatrix.Copy(&product);
    glLoadMatrixf(curMatrix.m);
}

void FXGL::ApplyMatrixIdentity() {
    curMatrix.SetIdentity();
    glLoadIdentity();
}

static void localEnable(GLenum capability, bool on) {
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

void FXGL::EnableLights(bool on) {
    lightsOn = on;
    localEnable(GL_LIGHTING, on);
}

void FXGL::EnableLight(bool on, FXLight* light) {
    light->off = !on;
    localEnable((GLenum)light->glLight, on);
}

void FXGL::DisableAllLights() {
    for (int i = 0; i < FX_MAX_LIGHTS; i++) {
        if (lights[i] != nullptr) {
            lights[i]->off = true;
        }
        glDisable(GL_LIGHT0 + i);
    }
}

void FXGL::SetAmbient(float* colour) {
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, colour);
}

void FXGL::EnableDepthTest(bool on) {
    depthTest = on;
    localEnable(GL_DEPTH_TEST, on);
}

void FXGL::EnableDepthWrite(bool on) {
    depthWrite = on;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void FXGL::EnableCullface(bool front, bool back) {
    cullFront = front;
    cullBack = back;
    if (front || back) {
        glEnable(GL_CULL_FACE);
        glCullFace(back ? GL_BACK : GL_FRONT);
    } else {
        glDisable(GL_CULL_FACE);
    }
}

// One mipmap step of RGBA bytes, w x h to half size, rounded as GLU's builder rounds: a 2x2
// box with +2, or a pair truncated where one side is already 1. dst may be src (it never writes
// ahead of what it still reads).
static void localHalve(const uint8_t* src, int w, int h, uint8_t* dst) {
    if (w == 1 || h == 1) {
        const int n = (w > h ? w : h) / 2;
        for (int i = 0; i < n * 4; i++) {
            const int pixel = i / 4, channel = i % 4;
            dst[i] = (uint8_t)((src[pixel * 8 + channel] + src[pixel * 8 + 4 + channel]) / 2);
        }
        return;
    }
    const int nw = w / 2, nh = h / 2;
    const size_t row = (size_t)w * 4;
    for (int y = 0; y < nh; y++) {
        const uint8_t* a = src + (size_t)(2 * y) * row;
        const uint8_t* b = a + row;
        uint8_t* d = dst + (size_t)y * nw * 4;
        for (int x = 0; x < nw * 4; x++) {
            const int i = (x / 4) * 8 + x % 4;
            d[x] = (uint8_t)((a[i] + a[i + 4] + b[i] + b[i + 4] + 2) / 4);
        }
    }
}

// Every mipmap level of a power-of-two RGBA image, the same bytes GLU's builder makes, without
// its generic per-component path and copies (it was most of the start-up's upload time).
static bool localBuildMipmaps(const FXPixmap* p) {
    int w = p->allocWidth, h = p->allocHeight;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (!fxIsPower2(w) || !fxIsPower2(h) || w > maxSize || h > maxSize || (w == 1 && h == 1)) {
        return false;
    }
    std::vector<uint8_t> level((size_t)(w > 1 ? w / 2 : 1) * (size_t)(h > 1 ? h / 2 : 1) * 4);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    const uint8_t* src = (const uint8_t*)p->pixels;
    for (int n = 1; w > 1 || h > 1; n++) {
        localHalve(src, w, h, level.data());
        src = level.data();
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
        glTexImage2D(GL_TEXTURE_2D, n, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, src);
    }
    return true;
}

// Uploads allocWidth x allocHeight RGBA pixels into the material's texture name; whether level 0
// holds them as they are (GLU rescales other sizes).
static bool localUpload(FXMaterial* m, const FXPixmap* p, bool mipmaps) {
    if (m->glTexture == 0) {
        glGenTextures(1, &m->glTexture);
    }
    glBindTexture(GL_TEXTURE_2D, m->glTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    bool asIs = true;
    if (mipmaps) {
        if (!localBuildMipmaps(p)) {
            gluBuild2DMipmaps(GL_TEXTURE_2D, 4, p->allocWidth, p->allocHeight, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
            asIs = false;
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, 4, p->allocWidth, p->allocHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    return asIs;
}

bool FXGL::PrepareTexture(FXMaterial* m) {
    // A material without pixels has nothing to upload; sending a null block would read nothing
    // useful and some drivers crash on it.
    if (m == nullptr || m->texture == nullptr || m->texture->pixmap.pixels == nullptr) {
        return false;
    }
    const FXPixmap* p = &m->texture->pixmap;
    FXClearMap map;
    if (localUpload(m, p, m->mipmaps) && map.Build(p, m->mipmaps)) {
        clearMaps[m->glTexture] = std::move(map);
    } else {
        clearMaps.erase(m->glTexture);
    }
    return true;
}

bool FXGL::FastPrepareTexture(FXMaterial* m, FXPixmap* p) {
    if (m == nullptr || p == nullptr || p->pixels == nullptr) {
        return false;
    }
    localUpload(m, p, false);
    clearMaps.erase(m->glTexture); // uploaded often: not worth a map
    m->texScaleU = (float)p->width / (float)p->allocWidth;
    m->texScaleV = (float)p->height / (float)p->allocHeight;
    m->hasTexture = true;
    return true;
}

bool FXGL::PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*) {
    return false;
}

void FXGL::UnprepareTexture(FXMaterial* m) {
    if (m == nullptr) {
        return;
    }
    if (m->glTexture != 0) {
        glDeleteTextures(1, &m->glTexture);
        clearMaps.erase(m->glTexture);
    }
    m->glTexture = 0;
}

bool FXGL::PrepareMesh(FXMesh*) {
    return true;
}

void FXGL::UnprepareMesh(FXMesh*) {}

// Whether every index names a vertex of the mesh, so the driver may read them as an array.
static bool localIndicesInRange(const FXMesh* mesh) {
    const int* index = mesh->indices;
    const uint32_t count = (uint32_t)mesh->vertexCount;
    for (int i = 0; i < mesh->indexCount; i++) {
        if ((uint32_t)index[i] >= count) {
            return false;
        }
    }
    return true;
}

// The single-mesh triangle list as client arrays over the vertex records: the same attributes
// as the immediate-mode routine, but each vertex is transformed and lit once however many
// triangles share it, and the driver gets one call instead of four per index.
static void localArrayRender(FXGL* gl, FXMesh* mesh, const int* indices, int indexCount) {
    const tagFXVertex* v = mesh->vertices;
    const GLsizei stride = (GLsizei)sizeof(tagFXVertex);
    const bool colours = mesh->colourMode == 1;
    glVertexPointer(3, GL_FLOAT, stride, v->position);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (colours) {
        glColorPointer(4, GL_FLOAT, stride, v->colour);
        glEnableClientState(GL_COLOR_ARRAY);
    }
    if (gl->lightsOn) {
        glNormalPointer(GL_FLOAT, stride, v->normal);
        glEnableClientState(GL_NORMAL_ARRAY);
    }
    if (gl->tex0On) {
        glTexCoordPointer(2, GL_FLOAT, stride, v->texCoord);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (indexCount > 0) {
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, indices);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (colours) {
        // Immediate mode leaves the last vertex's colour current; arrays leave it undefined.
        glColor4fv(v[mesh->indices[mesh->indexCount - 1]].colour);
    }
}

// Which turn of a triangle on screen the driver drops: 1 clockwise, -1 counter-clockwise, 0
// neither (or both, which the selection leaves to the driver).
static int localCulledSide() {
    if (!glIsEnabled(GL_CULL_FACE)) {
        return 0;
    }
    GLint mode = GL_BACK, front = GL_CCW;
    glGetIntegerv(GL_CULL_FACE_MODE, &mode);
    glGetIntegerv(GL_FRONT_FACE, &front);
    const int side = front == GL_CCW ? 1 : -1;
    return mode == GL_BACK ? side : (mode == GL_FRONT ? -side : 0);
}

// Leaves in gl->shownIndices the triangles of the mesh that can show a texel under the current
// state and answers their index count, or -1 when the whole mesh must be drawn.
static int localSelectShown(FXGL* gl, FXMesh* mesh) {
    // Fragments of alpha 0 are discarded only with the alpha test on; generated coordinates are
    // not the mesh's.
    if (!gl->tex0On || gl->testingMaterial || mesh->material == nullptr || !glIsEnabled(GL_ALPHA_TEST) ||
        glIsEnabled(GL_TEXTURE_GEN_S) || glIsEnabled(GL_TEXTURE_GEN_T)) {
        return -1;
    }
    std::unordered_map<unsigned int, FXClearMap>::const_iterator found = gl->clearMaps.find(mesh->material->glTexture);
    if (found == gl->clearMaps.end()) {
        return -1;
    }
    if (gl->shownIndices.size() < (size_t)mesh->indexCount) {
        gl->shownIndices.resize((size_t)mesh->indexCount);
    }
    if (gl->shownPoints.size() < (size_t)mesh->vertexCount * 2) {
        gl->shownPoints.resize((size_t)mesh->vertexCount * 2);
    }
    return fxSelectShownTriangles(&found->second, mesh->vertices, mesh->vertexCount, mesh->indices, mesh->indexCount,
                                  gl->curMatrix.m, gl->width, gl->height, localCulledSide(), gl->shownPoints.data(),
                                  gl->shownIndices.data());
}

static void localRawRender(FXGL* gl, FXMesh* mesh, FXMesh* second) {
    glBegin(GL_TRIANGLES);
    if (mesh->colourMode == 0 || mesh->colourMode == 1) {
        const bool colours = mesh->colourMode == 1;
        const tagFXVertex* v = mesh->vertices;
        const tagFXVertex* v2 = second != nullptr ? second->vertices : nullptr;
        for (int i = 0; i < mesh->indexCount; i++) {
            int k = mesh->indices[i];
            if (k < 0 || k >= mesh->vertexCount) {
                continue; // a damaged index never reads outside the vertex block
            }
            if (colours) {
                glColor4fv(v[k].colour);
            }
            if (gl->lightsOn) {
                glNormal3fv(v[k].normal);
            }
            if (gl->tex0On) {
                glTexCoord2fv(v[k].texCoord);
                if (v2 != nullptr && k < second->vertexCount) {
                    FXGL::glMultiTexCoord2fv(GL_TEXTURE1, v2[k].texCoord);
                }
            }
            glVertex3fv(v[k].position);
        }
    }
    glEnd();
}

void FXGL::RenderMesh(FXMesh* mesh) {
    if (mesh == nullptr || mesh->disabled || mesh->vertexCount < 1 || mesh->indexCount < 1) {
        return;
    }
    if (mesh->colourMode == 0) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glDisable(GL_COLOR_MATERIAL);
    } else if (mesh->colourMode == 1) {
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }
    if (mesh->material != nullptr) {
        ApplyMaterial(mesh->material);
    } else {
        ApplyDefaultMaterial();
    }
    if (mesh->secondMesh == nullptr) {
        ApplyMaterial2(nullptr);
        if (localIndicesInRange(mesh)) {
            int count = -1;
            if (skipClearTriangles) {
                count = localSelectShown(this, mesh);
            }
            if (count >= 0) {
                localArrayRender(this, mesh, shownIndices.data(), count);
            } else {
                localArrayRender(this, mesh, mesh->indices, mesh->indexCount - mesh->indexCount % 3);
            }
        } else {
            localRawRender(this, mesh, nullptr);
        }
    } else if (extMultitexture && glMultiTexCoord2fv != nullptr) {
        ApplyMaterial2(mesh->secondMesh->material);
        localRawRender(this, mesh, mesh->secondMesh);
    }
}
