// reducetrain: the sweeps an optimised build of the mesh reduction is trained on. The build runs
// it once, compiled with counters, and compiles the reduction for the branches and calls these
// sweeps take most. The meshes are the kinds authors reduce: flat grids, sheets with texture
// seams bent by a crease or a wave, a rough sheet whose bends sit near the tolerance, and a fan.
// Every mesh is generated (reduce_shapes.h, which the reduction benchmark shares), so the
// profile, like the build, depends on nothing outside the tree.

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "geometry/mesh.h"
#include "reduce_shapes.h"

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
        {200, 0, 0, nullptr, 1.0f},    {120, 7, 5, nullptr, 1.0f},    {120, 11, 9, localCrease, 5.0f},
        {120, 13, 0, localWave, 3.0f}, {100, 0, 6, localRough, 1.0f}, {100, 17, 0, localRough, 5.0f},
    };
    int triangles = 0;
    for (const auto& s : sheets) {
        FXMesh m;
        if (!fxReduceSheet(&m, s.cells, s.seed, s.seamEvery, s.lift)) {
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
    if (!fxReduceFan(&fan, 1024)) {
        fprintf(stderr, "reducetrain: out of memory\n");
        return 1;
    }
    fan.ReduceVertices(1.0f);
    printf("reducetrain: %d triangles left in the sheets, %d in the fan\n", triangles, fan.indexCount / 3);
    return 0;
}
