// The reduction against meshoptimizer on meshes of a million triangles or more that the benchmark
// makes itself: a flat grid of 2 M triangles reduced for up to ten sweeps (fewer when one removes
// nothing), then meshopt_simplify asked for the same triangle count, three rounds in turn, each
// side's fastest round counted (a busy moment of the machine then spoils neither ratio); and one
// sweep over fans of N triangles around one vertex, to show how the cost grows with a vertex's
// valence, and over grids whose diagonals all run one way (one sweep, and the whole reduction,
// which meshopt_simplify then meets at the same triangle count); and real models from the shared
// test data, copied side by side to two million triangles, reduced until a sweep removes nothing
// and met by meshopt_simplify at the same count. The ratios are printed at the end.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <meshoptimizer.h>

#include "geometry/mesh.h"
#include "models/model.h"
#include "reducetrain/reduce_shapes.h"

static std::map<std::string, double> localSeconds;
static std::map<std::string, double> localCounts;

// Keeps the fastest of the rounds under the name.
static void localKeepFastest(const std::string& name, double seconds) {
    if (!localSeconds.count(name) || seconds < localSeconds[name]) {
        localSeconds[name] = seconds;
    }
}

static double localNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Sweeps at the tolerance until one removes nothing, no more than most, printing each when asked;
// how many ran.
static int localSweepUntilSettled(FXMesh* m, float tolerance, int most, bool print) {
    int sweeps = 0;
    while (sweeps < most) {
        int before = m->indexCount;
        double start = localNow();
        m->ReduceVertices(tolerance);
        sweeps++;
        if (print) {
            printf("sweep %d: %d -> %d triangles, %.2f s\n", sweeps, before / 3, m->indexCount / 3, localNow() - start);
        }
        if (m->indexCount == before) {
            break;
        }
    }
    return sweeps;
}

static void BM_ReduceGridTenSweeps(benchmark::State& state) {
    FXMesh grid;
    fxReduceSheet(&grid, (int)state.range(0), 0, 0, nullptr);
    int sweeps = 0;
    for (auto _ : state) {
        FXMesh m;
        m.Copy(&grid);
        double start = localNow();
        sweeps = localSweepUntilSettled(&m, 1.0f, 10, !localSeconds.count("reduce"));
        localKeepFastest("reduce", localNow() - start);
        localCounts["reduced"] = m.indexCount / 3;
    }
    state.counters["triangles_before"] = grid.indexCount / 3;
    state.counters["triangles_after"] = localCounts["reduced"];
    state.counters["sweeps"] = sweeps;
}

// meshopt_simplify of the grid down to the triangle count the reduction left (a tenth when it has
// not run), each round's time kept under the name when it is the fastest.
static void localMeshoptRounds(benchmark::State& state, const FXMesh& grid, const std::string& reduced,
                               const std::string& name) {
    std::vector<float> positions((size_t)grid.vertexCount * 3);
    for (int i = 0; i < grid.vertexCount; i++) {
        memcpy(&positions[(size_t)i * 3], grid.vertices[i].position, 3 * sizeof(float));
    }
    std::vector<unsigned int> in(grid.indices, grid.indices + grid.indexCount);
    std::vector<unsigned int> out(in.size());
    size_t target = localCounts.count(reduced) ? (size_t)localCounts[reduced] * 3 : in.size() / 10;
    size_t made = 0;
    for (auto _ : state) {
        double start = localNow();
        made = meshopt_simplify(out.data(), in.data(), in.size(), positions.data(), (size_t)grid.vertexCount,
                                3 * sizeof(float), target, 1e-2f, 0, nullptr);
        localKeepFastest(name, localNow() - start);
    }
    state.counters["triangles_after"] = (double)(made / 3);
    state.counters["target"] = (double)(target / 3);
}

static void BM_MeshoptSimplifyGrid(benchmark::State& state) {
    FXMesh grid;
    fxReduceSheet(&grid, (int)state.range(0), 0, 0, nullptr);
    localMeshoptRounds(state, grid, "reduced", "meshopt");
}

// One sweep over a copy of source per round, the fastest round's time kept under the name: a
// fan's sweep takes milliseconds, which one busy moment of the machine would double.
static void localTimeOneSweep(benchmark::State& state, FXMesh* source, const std::string& name) {
    for (auto _ : state) {
        state.PauseTiming();
        FXMesh m;
        m.Copy(source);
        state.ResumeTiming();
        double start = localNow();
        m.ReduceVertices(1.0f);
        localKeepFastest(name, localNow() - start);
    }
}

static void BM_ReduceFanSweep(benchmark::State& state) {
    FXMesh fan;
    fxReduceFan(&fan, (int)state.range(0));
    localTimeOneSweep(state, &fan, "fan " + std::to_string(state.range(0)));
}

// A flat grid whose diagonals all run one way, as a plain exporter writes one: the follow-ups
// chain across whole rows, and the sweep must still grow no faster than the grid.
static void BM_ReduceUniformSheetSweep(benchmark::State& state) {
    FXMesh sheet;
    fxReduceSheet(&sheet, (int)state.range(0), 0, 0, nullptr, true);
    localTimeOneSweep(state, &sheet, "uniform " + std::to_string(state.range(0)));
}

// The same grids reduced until a sweep removes nothing. Past the first sweeps, most stages that
// only their follow-ups could mend build a long chain that ends inside the grid and is taken back
// whole, and other starts build much of it again.
static void BM_ReduceUniformSheetWhole(benchmark::State& state) {
    FXMesh sheet;
    fxReduceSheet(&sheet, (int)state.range(0), 0, 0, nullptr, true);
    int sweeps = 0;
    int left = 0;
    for (auto _ : state) {
        FXMesh m;
        m.Copy(&sheet);
        double start = localNow();
        sweeps = localSweepUntilSettled(&m, 1.0f, 1000, false);
        localSeconds["uniform whole " + std::to_string(state.range(0))] = localNow() - start;
        left = m.indexCount / 3;
        localCounts["uniform left " + std::to_string(state.range(0))] = left;
    }
    state.counters["sweeps"] = sweeps;
    state.counters["triangles_after"] = left;
}

// The peer on the same grid, down to the count the whole reduction left: how far the chains keep
// the reduction from it.
static void BM_MeshoptSimplifyUniformSheet(benchmark::State& state) {
    FXMesh sheet;
    fxReduceSheet(&sheet, (int)state.range(0), 0, 0, nullptr, true);
    std::string cells = std::to_string(state.range(0));
    localMeshoptRounds(state, sheet, "uniform left " + cells, "meshopt uniform " + cells);
}

// The real models and the tolerance each is reduced at: the curved surfaces the reduction is
// for, where most searches find no partner within the tolerance and the rest build stages.
static const struct {
    const char* file;
    float tolerance;
} localReal[2] = {{"spot.obj", 4.0f}, {"teapot.obj", 5.0f}};

// The model copied side by side, a tenth of its size apart, until the copies hold two million
// triangles or more; false when the file cannot be read or holds other than one mesh.
static bool localReplicated(const char* file, FXMesh* out) {
    std::string path = std::string(VANTREL_TESTDATA) + "/obj-real/" + file;
    FXModel model;
    if (!model.ImportObj(path.c_str()) || model.loadedMeshes.size != 1) {
        return false;
    }
    const FXMesh* one = (const FXMesh*)model.loadedMeshes.elements[0];
    int triangles = one->indexCount / 3;
    if (triangles == 0) {
        return false;
    }
    int copies = (2000000 + triangles - 1) / triangles;
    int side = (int)ceil(sqrt((double)copies));
    float low[3] = {INFINITY, INFINITY, INFINITY};
    float high[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (int i = 0; i < one->vertexCount; i++) {
        for (int k = 0; k < 3; k++) {
            low[k] = fminf(low[k], one->vertices[i].position[k]);
            high[k] = fmaxf(high[k], one->vertices[i].position[k]);
        }
    }
    if (!out->Realloc(one->vertexCount * copies, one->indexCount * copies)) {
        return false;
    }
    for (int c = 0; c < copies; c++) {
        tagFXVertex* v = out->vertices + (size_t)c * one->vertexCount;
        memcpy(v, one->vertices, (size_t)one->vertexCount * sizeof(tagFXVertex));
        for (int i = 0; i < one->vertexCount; i++) {
            v[i].position[0] += (float)(c % side) * (high[0] - low[0]) * 1.1f;
            v[i].position[1] += (float)(c / side) * (high[1] - low[1]) * 1.1f;
        }
        int* t = out->indices + (size_t)c * one->indexCount;
        for (int i = 0; i < one->indexCount; i++) {
            t[i] = one->indices[i] + c * one->vertexCount;
        }
    }
    return true;
}

// The benchmark's real model copied into out (localReplicated); its file name, or null when the
// run is skipped for want of it.
static const char* localRealCopies(benchmark::State& state, FXMesh* out) {
    const char* file = localReal[state.range(0)].file;
    if (!localReplicated(file, out)) {
        state.SkipWithError("cannot read the real model from the shared test data");
        return nullptr;
    }
    return file;
}

static void BM_ReduceReal(benchmark::State& state) {
    FXMesh copies;
    const char* file = localRealCopies(state, &copies);
    if (file == nullptr) {
        return;
    }
    int sweeps = 0;
    for (auto _ : state) {
        FXMesh m;
        m.Copy(&copies);
        double start = localNow();
        sweeps = localSweepUntilSettled(&m, localReal[state.range(0)].tolerance, 100, false);
        localKeepFastest(std::string("real ") + file, localNow() - start);
        localCounts[std::string("real left ") + file] = m.indexCount / 3;
    }
    state.counters["triangles_before"] = copies.indexCount / 3;
    state.counters["triangles_after"] = localCounts[std::string("real left ") + file];
    state.counters["sweeps"] = sweeps;
}

static void BM_MeshoptReal(benchmark::State& state) {
    FXMesh copies;
    const char* file = localRealCopies(state, &copies);
    if (file == nullptr) {
        return;
    }
    localMeshoptRounds(state, copies, std::string("real left ") + file, std::string("meshopt real ") + file);
}

static void BM_MeshoptFan(benchmark::State& state) {
    FXMesh fan;
    fxReduceFan(&fan, (int)state.range(0));
    std::vector<unsigned int> in(fan.indices, fan.indices + fan.indexCount);
    std::vector<unsigned int> out(in.size());
    std::vector<float> positions((size_t)fan.vertexCount * 3);
    for (int i = 0; i < fan.vertexCount; i++) {
        memcpy(&positions[(size_t)i * 3], fan.vertices[i].position, 3 * sizeof(float));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(meshopt_simplify(out.data(), in.data(), in.size(), positions.data(),
                                                  (size_t)fan.vertexCount, 3 * sizeof(float), 12, 1e-2f, 0, nullptr));
    }
}

BENCHMARK(BM_ReduceFanSweep)->Arg(1024)->Arg(4096)->Arg(16384)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshoptFan)->Arg(1024)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);
// 400 and 800 cells: 0.3 M and 1.3 M triangles, where the chains grow long enough to show.
BENCHMARK(BM_ReduceUniformSheetSweep)->Arg(400)->Arg(800)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceUniformSheetWhole)->Arg(400)->Arg(800)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshoptSimplifyUniformSheet)->Arg(800)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // 1000 x 1000 cells: 2 M triangles. Registered here, after the fans, so that the rounds
    // alternate.
    for (int round = 0; round < 3; round++) {
        benchmark::RegisterBenchmark("BM_ReduceGridTenSweeps", BM_ReduceGridTenSweeps)
            ->Arg(1000)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_MeshoptSimplifyGrid", BM_MeshoptSimplifyGrid)
            ->Arg(1000)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    // Two rounds of each real model, taken in turn with its peer.
    for (int round = 0; round < 2; round++) {
        for (int model = 0; model < 2; model++) {
            benchmark::RegisterBenchmark("BM_ReduceReal", BM_ReduceReal)
                ->Arg(model)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_MeshoptReal", BM_MeshoptReal)
                ->Arg(model)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (localSeconds.count("reduce") && localSeconds.count("meshopt")) {
        printf("reduction / meshopt_simplify at %.0f triangles (fastest of 3 rounds each): %.2f s / %.2f s = %.1fx "
               "(goal <= 3x)\n",
               localCounts["reduced"], localSeconds["reduce"], localSeconds["meshopt"],
               localSeconds["reduce"] / localSeconds["meshopt"]);
    }
    const char* fans[3] = {"fan 1024", "fan 4096", "fan 16384"};
    for (int i = 0; i + 1 < 3; i++) {
        if (localSeconds.count(fans[i]) && localSeconds.count(fans[i + 1])) {
            printf("%s -> %s: one sweep (fastest of 7) grows %.1fx for 4x the triangles (goal <= 5x)\n", fans[i],
                   fans[i + 1], localSeconds[fans[i + 1]] / localSeconds[fans[i]]);
        }
    }
    if (localSeconds.count("uniform 400") && localSeconds.count("uniform 800")) {
        printf("uniform diagonals, 400 -> 800 cells: one sweep (fastest of 5) grows %.1fx for 4x the triangles "
               "(goal <= 5x)\n",
               localSeconds["uniform 800"] / localSeconds["uniform 400"]);
    }
    if (localSeconds.count("uniform whole 400") && localSeconds.count("uniform whole 800")) {
        printf("uniform diagonals, 400 -> 800 cells: the whole reduction grows %.1fx for 4x the triangles (goal <= "
               "5x)\n",
               localSeconds["uniform whole 800"] / localSeconds["uniform whole 400"]);
    }
    if (localSeconds.count("uniform whole 800") && localSeconds.count("meshopt uniform 800")) {
        printf("uniform diagonals, 800 cells: the whole reduction / meshopt_simplify (fastest of 3) at %.0f triangles: "
               "%.2f s / %.2f s = %.0fx (goal <= 3x)\n",
               localCounts["uniform left 800"], localSeconds["uniform whole 800"], localSeconds["meshopt uniform 800"],
               localSeconds["uniform whole 800"] / localSeconds["meshopt uniform 800"]);
    }
    for (const auto& real : localReal) {
        std::string ours = std::string("real ") + real.file;
        std::string peer = std::string("meshopt real ") + real.file;
        if (localSeconds.count(ours) && localSeconds.count(peer)) {
            printf("%s copied to 2 M triangles, tolerance %g: the whole reduction / meshopt_simplify at %.0f triangles "
                   "(fastest of 2 each): %.2f s / %.2f s = %.0fx (goal <= 3x)\n",
                   real.file, real.tolerance, localCounts[std::string("real left ") + real.file], localSeconds[ours],
                   localSeconds[peer], localSeconds[ours] / localSeconds[peer]);
        }
    }
    return 0;
}
