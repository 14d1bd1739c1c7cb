#include "objects/desk.h"

#include <cstring>

#include "render/3dmath.h"
#include "render/canvas.h"
#include "render/material.h"

FXDesk::FXDesk() : cols(0), rows(0) {}

FXDesk::~FXDesk() {
    FXDesk::Destroy();
}

void FXDesk::Destroy() {
    cols = 0;
    rows = 0;
    mesh.Destroy();
}

void FXDesk::OnRender(PEnv* env, double) {
    env->RenderMesh(&mesh);
}

void FXDesk::Create(int columns, int newRows) {
    if (columns == cols && newRows == rows && mesh.indexCount == cols * rows * 6) {
        return;
    }
    // Negative counts would make negative block sizes; they give an empty grid instead.
    cols = columns > 0 ? columns : 0;
    rows = newRows > 0 ? newRows : 0;
    mesh.Realloc((cols + 1) * (rows + 1), cols * rows * 6);
    if (cols == 0 || rows == 0 || mesh.vertices == nullptr || mesh.indices == nullptr) {
        return;
    }
    memset(mesh.vertices, 0, sizeof(tagFXVertex) * (size_t)mesh.vertexCount);
    memset(mesh.indices, 0, sizeof(int) * (size_t)mesh.indexCount);
    int* index = mesh.indices;
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) {
            int ul = i * (cols + 1) + j;
            int ll = ul + cols + 1;
            index[0] = ul;
            index[1] = ll;
            index[2] = ul + 1;
            index[3] = ll;
            index[4] = ll + 1;
            index[5] = ul + 1;
            index += 6;
        }
    }
    UpdatePos(true, true);
    UpdateCol();
    UpdateTex();
}

// Whether every texel of the rectangle [x0, x1) x [y0, y1), clamped to the picture, has alpha 0.
static bool localClearTexels(const FXPixmap* p, int x0, int y0, int x1, int y1) {
    x0 = x0 < 0 ? 0 : x0;
    y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > p->allocWidth ? p->allocWidth : x1;
    y1 = y1 > p->allocHeight ? p->allocHeight : y1;
    for (int y = y0; y < y1; y++) {
        const uint32_t* row = p->pixels + (size_t)y * (size_t)p->allocWidth;
        for (int x = x0; x < x1; x++) {
            if ((row[x] >> 24) != 0) {
                return false;
            }
        }
    }
    return true;
}

int FXDesk::DropClearCells(float shrink) {
    const FXMaterial* m = mesh.material;
    if (m == nullptr || !m->hasTexture || m->texture == nullptr || m->texture->pixmap.pixels == nullptr ||
        mesh.vertices == nullptr || mesh.indexCount != cols * rows * 6) {
        return 0;
    }
    const FXPixmap* p = &m->texture->pixmap;
    // A sample at mipmap level k blends texels of 2^k-wide blocks with their neighbours, and a
    // drawing reduced by shrink uses levels up to one past log2(shrink): the margin covers both.
    int margin = 8;
    for (float s = 1.0f; s < shrink && margin < 4096; s *= 2.0f) {
        margin *= 2;
    }
    int kept = 0;
    for (int c = 0; c < cols * rows; c++) {
        const int* cell = mesh.indices + c * 6;
        float u0 = 1e30f, v0 = 1e30f, u1 = -1e30f, v1 = -1e30f;
        for (int k = 0; k < 6; k++) {
            const float* t = mesh.vertices[cell[k]].texCoord;
            u0 = t[0] < u0 ? t[0] : u0;
            u1 = t[0] > u1 ? t[0] : u1;
            v0 = t[1] < v0 ? t[1] : v0;
            v1 = t[1] > v1 ? t[1] : v1;
        }
        const int x0 = (int)(u0 * (float)p->allocWidth) - margin, x1 = (int)(u1 * (float)p->allocWidth) + margin + 1;
        const int y0 = (int)(v0 * (float)p->allocHeight) - margin, y1 = (int)(v1 * (float)p->allocHeight) + margin + 1;
        if (!localClearTexels(p, x0, y0, x1, y1)) {
            memmove(mesh.indices + kept * 6, cell, 6 * sizeof(int));
            kept++;
        }
    }
    const int dropped = cols * rows - kept;
    mesh.indexCount = kept * 6;
    return dropped;
}

// Visits every vertex with its grid fractions f (left to right) and g (top to bottom).
template <typename Visit> static void localEachVertex(FXDesk* desk, Visit visit) {
    if (desk->cols <= 0 || desk->rows <= 0 || desk->mesh.vertices == nullptr) {
        return;
    }
    tagFXVertex* v = desk->mesh.vertices;
    for (int i = 0; i <= desk->rows; i++) {
        float g = (float)i / (float)desk->rows;
        for (int j = 0; j <= desk->cols; j++) {
            float f = (float)j / (float)desk->cols;
            visit(v, f, g);
            v++;
        }
    }
}

static void localSetPosNormal(tagFXVertex* v, bool positions, bool normals, float x, float y) {
    if (positions) {
        v->position[0] = x;
        v->position[1] = y;
        v->position[2] = 0.0f;
    }
    if (normals) {
        v->normal[0] = 0.0f;
        v->normal[1] = 0.0f;
        v->normal[2] = -1.0f;
    }
}

void FXDesk::UpdatePos(bool positions, bool normals) {
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        localSetPosNormal(v, positions, normals, 2.0f * f - 1.0f, 1.0f - 2.0f * g);
    });
}

void FXDesk::UpdatePosSkew(bool positions, bool normals, float sx, float sy) {
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        localSetPosNormal(v, positions, normals, 2.0f * f - 1.0f + (1.0f - g) * sx, 1.0f - 2.0f * g + (1.0f - f) * sy);
    });
}

void FXDesk::UpdatePosSkew1(bool positions, bool normals, float sx, float sy) {
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        localSetPosNormal(v, positions, normals, 2.0f * f - 1.0f + g * sx, 1.0f - 2.0f * g + f * sy);
    });
}

void FXDesk::UpdatePosPerspective(float k) {
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        localSetPosNormal(v, true, false, (2.0f * f - 1.0f) * (1.0f + g * k), 1.0f - 2.0f * g);
    });
}

void FXDesk::UpdateCol() {
    float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    UpdateColCol(white);
}

void FXDesk::UpdateColCol(float* rgba) {
    localEachVertex(this, [&](tagFXVertex* v, float, float) { memcpy(v->colour, rgba, sizeof(v->colour)); });
}

void FXDesk::UpdateCol_LT_RB(float* lt, float* rb) {
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) { fxVec4fCombineP(v->colour, lt, rb, f * g); });
}

// The used area of the material's texture; 0 without a material.
static void localTexScale(const FXMesh* mesh, float* u, float* v) {
    *u = mesh->material != nullptr ? mesh->material->texScaleU : 0.0f;
    *v = mesh->material != nullptr ? mesh->material->texScaleV : 0.0f;
}

void FXDesk::UpdateTex() {
    float su, sv;
    localTexScale(&mesh, &su, &sv);
    bool flip = mesh.flipV;
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        v->texCoord[0] = f * su;
        v->texCoord[1] = flip ? sv * (1.0f - g) : sv * g;
    });
}

void FXDesk::UpdateTex1() {
    bool flip = mesh.flipV;
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        v->texCoord[0] = f;
        v->texCoord[1] = flip ? 1.0f - g : g;
    });
}

void FXDesk::UpdateTexRc(float l, float t, float r, float b) {
    float su, sv;
    localTexScale(&mesh, &su, &sv);
    bool flip = mesh.flipV;
    localEachVertex(this, [&](tagFXVertex* v, float f, float g) {
        float vv = t + g * (b - t);
        v->texCoord[0] = (l + f * (r - l)) * su;
        v->texCoord[1] = flip ? sv * (1.0f - vv) : sv * vv;
    });
}

void FXDesk::SetMaterial(FXMaterial* m) {
    mesh.material = m;
    UpdateTex();
}

void FXDesk::SetMaterial1(FXMaterial* m) {
    mesh.material = m;
    mesh.ResizeTexCoords();
}

// Vertex of a 1x1 desk for a corner number, or null.
static tagFXVertex* localCorner(FXDesk* desk, int corner) {
    static const int vertexOfCorner[5] = {-1, 0, 1, 3, 2};
    if (corner < 1 || corner > 4 || desk->mesh.vertices == nullptr || desk->mesh.vertexCount < 4) {
        return nullptr;
    }
    return &desk->mesh.vertices[vertexOfCorner[corner]];
}

void FXDesk::SetVertexPos(int corner, float x, float y) {
    tagFXVertex* v = localCorner(this, corner);
    if (v != nullptr) {
        v->position[0] = x;
        v->position[1] = y;
    }
}

void FXDesk::SetVertexPos1(int corner, int px, int py, int w, int h) {
    SetVertexPos(corner, 2.0f * (float)px / (float)w - 1.0f, 1.0f - 2.0f * (float)py / (float)h);
}

void FXDesk::SetTexelPos(int corner, float u, float v) {
    tagFXVertex* vertex = localCorner(this, corner);
    if (vertex != nullptr) {
        vertex->texCoord[0] = u;
        vertex->texCoord[1] = v;
    }
}

void FXDesk::SetTexelPos1(int corner, int px, int py, int w, int h) {
    SetTexelPos(corner, (float)px / (float)w, (float)py / (float)h);
}
