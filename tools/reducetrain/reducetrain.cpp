// reducetrain: the sweeps an optimised build of the mesh reduction is trained on. The build runs
// it once, compiled with counters, and compiles the reduction for the branches and calls these
// sweeps take most. The meshes are the kinds authors reduce: flat grids, sheets with texture
// seams bent by a crease or a wave, a rough sheet whose bends sit near the tolerance, and a fan.
// Every mesh is made here, so the profile, like the build, depends on nothing outside the tree.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "geometry/mesh.h"

// Quads over 0..1 lifted to z = lift(x, y). Diagonals alternate, or follow a hash when seed is
// not 0; every seamEvery-th column doubles its vertices as a texture seam does.
static bool localSheet(FXMesh* m, int cells, uint32_t seed, int seamEvery, float (*lift)(float, float)) {
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
        p->position[2] = lift(p->position[0], p->position[1]);
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
            bool turn = seed != 0 ? ((seed = seed * 1664525u + 1013904223u) >> 16 & 1) != 0 : (x + y) % 2 == 1;
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
static bool localFan(FXMesh* m, int n) {
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

static float localFlat(float, float) {
    return 0.0f;
}

static float localCrease(float x, float) {
    return x < 0.5f ? 0.0f : (x - 0.5f) * 0.06f; // about 3.4 degrees
}

static float localWave(float x, float y) {
    return 0.03f * sinf(6.0f * x) * cosf(4.0f * y);
}

// Bumps of about a degree, so that the plane tests decide near the tolerance.
static float localRough(float x, float y) {
    uint32_t h = (uint32_t)(x * 4096.0f) * 73856093u ^ (uint32_t)(y * 4096.0f) * 19349663u;
    h = (h ^ h >> 13) * 0x5bd1e995u;
    return (float)((h >> 8) & 1023) / 1023.0f * 0.0004f;
}

int main() {
    struct {
        int cells;
        uint32_t seed;
        int seamEvery;
        float (*lift)(float, float);
        float tolerance;
    } sheets[] = {
        {200, 0, 0, localFlat, 1.0f},  {120, 7, 5, localFlat, 1.0f},  {120, 11, 9, localCrease, 5.0f},
        {120, 13, 0, localWave, 3.0f}, {100, 0, 6, localRough, 1.0f}, {100, 17, 0, localRough, 5.0f},
    };
    int triangles = 0;
    for (const auto& s : sheets) {
        FXMesh m;
        if (!localSheet(&m, s.cells, s.seed, s.seamEvery, s.lift)) {
            fprintf(stderr, "reducetrain: out of memory\n");
            return 1;
        }
        for (int sweep = 0; sweep < 10; sweep++) {
            int before = m.indexCount;
            m.ReduceVertices(s.tolerance);
            if (m.indexCount == before) {
                break;
            }
        }
        triangles += m.indexCount / 3;
    }
    FXMesh fan;
    if (!localFan(&fan, 1024)) {
        fprintf(stderr, "reducetrain: out of memory\n");
        return 1;
    }
    fan.ReduceVertices(1.0f);
    printf("reducetrain: %d triangles left in the sheets, %d in the fan\n", triangles, fan.indexCount / 3);
    return 0;
}
