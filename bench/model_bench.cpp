// Models from OBJ text: importing a generated OBJ file of two million triangles, saving the
// imported model as "xm03", the whole `fxpack model` run on the file, and, for scale,
// tinyobjloader parsing the same file in the same run. The ratios are printed at the end; each
// time is the fastest of its runs.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <tiny_obj_loader.h>

#include "base/paths.h"
#include "models/model.h"
#include "geometry/mesh.h"

// Grid side: (side - 1)^2 cells of two triangles each, 2,000,000 triangles.
#define LOCAL_SIDE 1001

static std::map<std::string, double> localBest;

static double localNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static void localKeepBest(const char* what, double seconds) {
    if (localBest.count(what) == 0 || seconds < localBest[what]) {
        localBest[what] = seconds;
    }
}

// A wavy grid with a position, texture coordinate and normal per vertex, written as quads of
// "v/vt/vn" corners split into two triangles each, as exporters write them.
static std::string localWriteObj() {
    char folder[FX_MAX_PATH];
    if (!fxCreateTempFolder("vantrel-model-bench", folder, sizeof(folder))) {
        return std::string();
    }
    std::string path = std::string(folder) + "/grid.obj";
    FILE* f = fopen(path.c_str(), "w");
    if (f == nullptr) {
        fxRemoveFolder(folder);
        return std::string();
    }
    const int side = LOCAL_SIDE;
    const float step = 1.0f / (float)(side - 1);
    fprintf(f, "# generated grid, %d x %d vertices\ng grid\n", side, side);
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            float z = 0.05f * sinf((float)x * 0.3f) * cosf((float)y * 0.2f);
            fprintf(f, "v %.6f %.6f %.6f\n", (float)x * step, (float)y * step, z);
        }
    }
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            fprintf(f, "vt %.6f %.6f\n", (float)x * step, (float)y * step);
        }
    }
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            float nx = -0.015f * cosf((float)x * 0.3f), ny = 0.01f * sinf((float)y * 0.2f);
            float len = sqrtf(nx * nx + ny * ny + 1.0f);
            fprintf(f, "vn %.6f %.6f %.6f\n", nx / len, ny / len, 1.0f / len);
        }
    }
    for (int y = 0; y + 1 < side; y++) {
        for (int x = 0; x + 1 < side; x++) {
            int a = y * side + x + 1, b = a + 1, c = a + side, d = c + 1;
            fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, c, c, c, b, b, b);
            fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", b, b, b, c, c, c, d, d, d);
        }
    }
    bool ok = ferror(f) == 0;
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        remove(path.c_str());
        fxRemoveFolder(folder);
        return std::string();
    }
    return path;
}

// The generated file, made once for the whole run and removed at exit with its folder.
static const std::string& localObjPath();

static void localRemoveObj() {
    const std::string& obj = localObjPath();
    if (!obj.empty()) {
        remove(obj.c_str());
        fxRemoveFolder(obj.substr(0, obj.rfind('/')).c_str());
    }
}

static const std::string& localObjPath() {
    static std::string path = localWriteObj();
    static bool cleanup = (atexit(localRemoveObj), true);
    (void)cleanup;
    return path;
}

static long localFileSize(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return -1;
    }
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fclose(f);
    return size;
}

static int localTriangles(FXModel* model) {
    int n = 0;
    for (int i = 0; i < model->loadedMeshes.size; i++) {
        n += ((FXMesh*)model->loadedMeshes.elements[i])->indexCount / 3;
    }
    return n;
}

static void BM_ImportObj(benchmark::State& state) {
    const std::string& path = localObjPath();
    if (path.empty()) {
        state.SkipWithError("cannot write the OBJ file");
        return;
    }
    int triangles = 0;
    for (auto _ : state) {
        double start = localNow();
        FXModel model;
        bool ok = model.ImportObj(path.c_str());
        benchmark::DoNotOptimize(ok);
        localKeepBest("import", localNow() - start);
        triangles = localTriangles(&model);
    }
    state.counters["triangles"] = triangles;
    state.counters["MB"] = (double)localFileSize(path) / 1e6;
    state.SetBytesProcessed(state.iterations() * localFileSize(path));
}
// Five runs each: the ratio takes the best of each, and single runs on a shared machine vary by a third.
BENCHMARK(BM_ImportObj)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_SaveXm03(benchmark::State& state) {
    const std::string& path = localObjPath();
    FXModel model;
    if (path.empty() || !model.ImportObj(path.c_str())) {
        state.SkipWithError("cannot import the OBJ file");
        return;
    }
    std::string out = path + ".xm";
    for (auto _ : state) {
        state.PauseTiming();
        model.UpdateMeshes(); // saving drops unused vertices of the working copy
        state.ResumeTiming();
        bool ok = model.Save(out.c_str());
        benchmark::DoNotOptimize(ok);
    }
    state.counters["triangles"] = localTriangles(&model);
    state.counters["MB"] = (double)localFileSize(out) / 1e6;
    remove(out.c_str());
}
BENCHMARK(BM_SaveXm03)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_TinyObjParse(benchmark::State& state) {
    const std::string& path = localObjPath();
    if (path.empty()) {
        state.SkipWithError("cannot write the OBJ file");
        return;
    }
    size_t triangles = 0;
    for (auto _ : state) {
        double start = localNow();
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, error;
        bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &error, path.c_str(), nullptr, true);
        benchmark::DoNotOptimize(ok);
        localKeepBest("tinyobj", localNow() - start);
        triangles = 0;
        for (const tinyobj::shape_t& s : shapes) {
            triangles += s.mesh.num_face_vertices.size();
        }
    }
    state.counters["triangles"] = (double)triangles;
    state.counters["MB"] = (double)localFileSize(path) / 1e6;
    state.SetBytesProcessed(state.iterations() * localFileSize(path));
}
BENCHMARK(BM_TinyObjParse)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef VANTREL_FXPACK
// The whole command as a user runs it: process start, scan, import, checks and save.
static void BM_FxpackModel(benchmark::State& state) {
    const std::string& path = localObjPath();
    if (path.empty()) {
        state.SkipWithError("cannot write the OBJ file");
        return;
    }
    std::string out = path + ".fxpack.xm";
    std::string command =
        std::string("'") + VANTREL_FXPACK + "' model '" + path + "' -o '" + out + "' > /dev/null 2>&1";
    for (auto _ : state) {
        double start = localNow();
        int status = system(command.c_str());
        localKeepBest("fxpack model", localNow() - start);
        if (status != 0) {
            state.SkipWithError("fxpack model failed");
            break;
        }
    }
    remove(out.c_str());
}
BENCHMARK(BM_FxpackModel)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (localBest.count("import") && localBest.count("tinyobj")) {
        printf("ImportObj / tinyobjloader LoadObj: %.2f s / %.2f s = %.2fx (goal <= 1x)\n", localBest["import"],
               localBest["tinyobj"], localBest["import"] / localBest["tinyobj"]);
    }
    if (localBest.count("import") && localBest.count("fxpack model")) {
        printf("fxpack model / ImportObj: %.2f s / %.2f s = %.2fx (goal < 1.5x)\n", localBest["fxpack model"],
               localBest["import"], localBest["fxpack model"] / localBest["import"]);
    }
    return 0;
}
