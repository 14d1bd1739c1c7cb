// Generated meshes the reduction is trained and measured on: sheets (flat grids among them) and
// fans. Shared by tools/reducetrain and the reduction benchmark, so that both see the same shapes.

#pragma once

#include <cstdint>
#include <cstring>

#include "geometry/mesh.h"

// cells x cells quads over 0..1, lifted to z = lift(x, y) (flat when lift is null). Diagonals
// alternate, follow a hash when seed is not 0, or all run one way when uniform; every
// seamEvery-th column doubles its vertices as a texture seam does, the copies differing in
// texture coordinate only.
inline bool fxReduceSheet(FXMesh* m, int cells, uint32_t seed, int seamEvery, float (*lift)(float, float),
                          bool uniform = false) {
    int columns = cells + 1;
    int copies = seamEvery > 0 ? cells / seamEvery + 1 : 0;
    int nv = columns * columns + copies * columns;
    if (!m->Realloc(nv, cells * cells * 6)) {
        return false;
    }
    memset(m->vertices, 0, (size_t)nv * sizeof(tagFXVertex));
    for (int v = 0; v < nv; v++) {
        int at = v < columns * columns ? v : (v - columns * columns);
        int x = v < columns * columns ? at % columns : at / columns * seamEvery;
        int y = v < columns * columns ? at / columns : at % columns;
        tagFXVertex* p = &m->vertices[v];
        p->position[0] = (float)x / (float)cells;
        p->position[1] = (float)y / (float)cells;
        p->position[2] = lift != nullptr ? lift(p->position[0], p->position[1]) : 0.0f;
        p->texCoord[0] = p->position[0] + (v < columns * columns ? 0.0f : 1.0f);
        p->texCoord[1] = p->position[1];
    }
    int* idx = m->indices;
    for (int y = 0; y < cells; y++) {
        for (int x = 0; x < cells; x++) {
            int a = y * columns + x, b = a + 1, c = a + columns + 1, d = a + columns;
            if (seamEvery > 0 && x % seamEvery == 0) {
                // The quad right of a seam line takes the copies on that line.
                int line = columns * columns + x / seamEvery * columns;
                a = line + y;
                d = line + y + 1;
            }
            bool turn = uniform     ? false
                        : seed != 0 ? ((seed = seed * 1664525u + 1013904223u) >> 16 & 1) != 0
                                    : (x + y) % 2 == 1;
            int t[6] = {a, b, c, a, c, d};
            if (turn) {
                int u[6] = {a, b, d, b, c, d};
                memcpy(t, u, sizeof(t));
            }
            memcpy(idx, t, sizeof(t));
            idx += 6;
        }
    }
    return true;
}

// n triangles around a middle vertex, their outer corners on the outline of a unit square.
inline bool fxReduceFan(FXMesh* m, int n) {
    if (!m->Realloc(n + 1, n * 3)) {
        return false;
    }
    memset(m->vertices, 0, (size_t)m->vertexCount * sizeof(tagFXVertex));
    int side = n / 4;
    for (int i = 0; i < n; i++) {
        float t = (float)(i % side) / (float)side;
        float p[4][2] = {{t, 0.0f}, {1.0f, t}, {1.0f - t, 1.0f}, {0.0f, 1.0f - t}};
        m->vertices[i].position[0] = p[i / side][0];
        m->vertices[i].position[1] = p[i / side][1];
    }
    m->vertices[n].position[0] = 0.37f;
    m->vertices[n].position[1] = 0.55f;
    for (int i = 0; i < n; i++) {
        int t[3] = {n, i, (i + 1) % n};
        memcpy(m->indices + i * 3, t, sizeof(t));
    }
    return true;
}
