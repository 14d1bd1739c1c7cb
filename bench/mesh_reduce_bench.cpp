// One reduction sweep over a flat grid of 50 000 triangles (250 x 100 cells, two triangles each),
// once through the adjacency index and once by plain scans of the index and vertex blocks. The
// plain sweep grows with triangles x (triangles + vertices), so it runs a single iteration.

#include <benchmark/benchmark.h>

#include <cstring>

#include "geometry/mesh.h"

#define LOCAL_CELLS_X 250
#define LOCAL_CELLS_Y 100

static void localBuildGrid(FXMesh* mesh) {
    int columns = LOCAL_CELLS_X + 1;
    int nv = columns * (LOCAL_CELLS_Y + 1);
    mesh->Realloc(nv, LOCAL_CELLS_X * LOCAL_CELLS_Y * 6);
    memset(mesh->vertices, 0, (size_t)nv * sizeof(tagFXVertex));
    for (int y = 0; y <= LOCAL_CELLS_Y; y++) {
        for (int x = 0; x <= LOCAL_CELLS_X; x++) {
            tagFXVertex* v = &mesh->vertices[y * columns + x];
            v->position[0] = (float)x / (float)LOCAL_CELLS_X;
            v->position[1] = (float)y / (float)LOCAL_CELLS_Y;
            v->texCoord[0] = v->position[0];
            v->texCoord[1] = v->position[1];
        }
    }
    int* idx = mesh->indices;
    for (int y = 0; y < LOCAL_CELLS_Y; y++) {
        for (int x = 0; x < LOCAL_CELLS_X; x++) {
            int a = y * columns + x;
            int b = a + 1;
            int c = a + columns + 1;
            int d = a + columns;
            int corners[6] = {a, b, c, a, c, d};
            for (int k = 0; k < 6; k++) {
                *idx++ = corners[k];
            }
        }
    }
}

static void localSweep(benchmark::State& state, bool scans) {
    FXMesh grid;
    localBuildGrid(&grid);
    int after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FXMesh mesh;
        mesh.Copy(&grid);
        mesh.reduceScans = scans;
        state.ResumeTiming();
        mesh.ReduceVertices(1.0f);
        after = mesh.indexCount / 3;
    }
    state.counters["triangles_before"] = (double)(grid.indexCount / 3);
    state.counters["triangles_after"] = (double)after;
}

static void BM_ReduceSweepIndexed(benchmark::State& state) {
    localSweep(state, false);
}

static void BM_ReduceSweepPlainScans(benchmark::State& state) {
    localSweep(state, true);
}

BENCHMARK(BM_ReduceSweepIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceSweepPlainScans)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
