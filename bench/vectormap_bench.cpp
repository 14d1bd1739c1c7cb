// Corners through the shared vector map: encoding a mesh (three look-ups per corner) and
// decoding it (one used-triple look-up per corner). Sizes double so the times show whether the
// matching stays linear; the largest run pushes about a million corners.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "io/data.h"
#include "geometry/mesh.h"

// A bumpy grid of side x side vertices, two triangles per cell: every corner is shared by up to
// six triangles, positions and texture coordinates are distinct, normals repeat now and then.
static void localBuildGrid(FXMesh* mesh, int side) {
    int cells = side - 1;
    mesh->Realloc(side * side, cells * cells * 6);
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            tagFXVertex* v = &mesh->vertices[y * side + x];
            memset(v, 0, sizeof(*v));
            v->position[0] = (float)x / (float)cells;
            v->position[1] = (float)y / (float)cells;
            v->position[2] = 0.05f * sinf((float)x * 0.3f) * cosf((float)y * 0.2f);
            v->texCoord[0] = v->position[0];
            v->texCoord[1] = v->position[1];
        }
    }
    int* idx = mesh->indices;
    for (int y = 0; y < cells; y++) {
        for (int x = 0; x < cells; x++) {
            int a = y * side + x;
            int b = a + 1;
            int c = a + side;
            int d = c + 1;
            *idx++ = a;
            *idx++ = c;
            *idx++ = b;
            *idx++ = b;
            *idx++ = c;
            *idx++ = d;
        }
    }
    mesh->ComputeNormals(false);
    // Quantised normals, so the normal table sees many repeats as in real models.
    for (int i = 0; i < mesh->vertexCount; i++) {
        for (int a = 0; a < 3; a++) {
            mesh->vertices[i].normal[a] = roundf(mesh->vertices[i].normal[a] * 64.0f) / 64.0f;
        }
    }
}

// Grid side for about the given number of corners.
static int localSideFor(int64_t corners) {
    return (int)sqrt((double)corners / 6.0) + 1;
}

static void BM_EncodeCorners(benchmark::State& state) {
    FXMesh grid;
    localBuildGrid(&grid, localSideFor(state.range(0)));
    FXMesh work;
    for (auto _ : state) {
        state.PauseTiming();
        work.Copy(&grid);
        FXVectorMap map;
        FXNumPool pool(800000);
        state.ResumeTiming();
        bool ok = work.ToVMap(&map, &pool, nullptr, 0, nullptr);
        benchmark::DoNotOptimize(ok);
        state.PauseTiming();
        map.Destroy();
        pool.DestroyBuf();
        state.ResumeTiming();
    }
    state.counters["corners"] = grid.indexCount;
    state.SetItemsProcessed(state.iterations() * (int64_t)grid.indexCount);
}
BENCHMARK(BM_EncodeCorners)->RangeMultiplier(2)->Range(1 << 17, 1 << 20)->Unit(benchmark::kMillisecond);

static void BM_DecodeCorners(benchmark::State& state) {
    FXMesh grid;
    localBuildGrid(&grid, localSideFor(state.range(0)));
    FXVectorMap map;
    FXNumPool pool(800000);
    grid.ToVMap(&map, &pool, nullptr, 0, nullptr);
    FXMesh back;
    for (auto _ : state) {
        back.Realloc(grid.vertexCount, grid.indexCount);
        bool ok = back.FromVMap(&map, &pool);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["corners"] = grid.indexCount;
    state.SetItemsProcessed(state.iterations() * (int64_t)grid.indexCount);
}
BENCHMARK(BM_DecodeCorners)->RangeMultiplier(2)->Range(1 << 17, 1 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
