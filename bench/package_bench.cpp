// Loading a package of about 200 MB against a plain read of the same file. The package is read
// with one read and served in place, so its load should run close to the plain read; the
// scrambled form adds the transposition of the body.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/paths.h"
#include "io/package.h"

namespace {

const int kEntries = 50;
const int kEntrySize = 4 * 1024 * 1024; // 50 entries of 4 MiB: 200 MiB of data

std::string tempFolder;
std::string plainPath;
std::string scrambledPath;
int64_t plainBytes = 0;
int64_t scrambledBytes = 0;

bool MakePackages() {
    char folder[FX_MAX_PATH];
    if (!fxCreateTempFolder("vantrel-bench", folder, sizeof(folder))) {
        return false;
    }
    tempFolder = folder;
    std::vector<unsigned char> bytes(kEntrySize);
    uint32_t x = 2463534242u;
    FXPackage pkg;
    for (int i = 0; i < kEntries; i++) {
        for (unsigned char& b : bytes) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = (unsigned char)x;
        }
        std::string src = tempFolder + "/src" + std::to_string(i) + (i % 2 == 0 ? ".png" : ".xm");
        FILE* f = fopen(src.c_str(), "wb");
        if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            return false;
        }
        fclose(f);
        pkg.AddDataFile(i, src.c_str());
        pkg.AddTmpFile(src.c_str());
    }
    plainPath = tempFolder + "/plain.dat";
    scrambledPath = tempFolder + "/scrambled.dat";
    if (!pkg.Save(plainPath.c_str(), 0)) {
        return false;
    }
    FXPackage loaded;
    if (!loaded.Load(plainPath.c_str()) || !loaded.Save(scrambledPath.c_str(), FXPACKAGE_SCRAMBLE)) {
        return false;
    }
    pkg.DeleteTmpFiles();
    plainBytes = fxGetFileSize(plainPath.c_str());
    scrambledBytes = fxGetFileSize(scrambledPath.c_str());
    return plainBytes > 0 && scrambledBytes > 0;
}

void RemovePackages() {
    remove(plainPath.c_str());
    remove(scrambledPath.c_str());
    fxRemoveFolder(tempFolder.c_str());
}

// The floor: the whole file into one buffer with one read.
void BM_PlainRead(benchmark::State& state) {
    for (auto _ : state) {
        FILE* f = fopen(plainPath.c_str(), "rb");
        void* buf = malloc((size_t)plainBytes);
        size_t got = fread(buf, 1, (size_t)plainBytes, f);
        fclose(f);
        benchmark::DoNotOptimize(buf);
        free(buf);
        if (got != (size_t)plainBytes) {
            state.SkipWithError("short read");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * plainBytes);
}

void BM_PackageLoad(benchmark::State& state) {
    for (auto _ : state) {
        FXPackage pkg;
        if (!pkg.Load(plainPath.c_str()) || pkg.GetEntryCount() != kEntries) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(pkg.GetDataPtr(kEntries - 1));
    }
    state.SetBytesProcessed(state.iterations() * plainBytes);
}

void BM_PackageLoadScrambled(benchmark::State& state) {
    for (auto _ : state) {
        FXPackage pkg;
        if (!pkg.Load(scrambledPath.c_str()) || pkg.GetEntryCount() != kEntries) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(pkg.GetDataPtr(kEntries - 1));
    }
    state.SetBytesProcessed(state.iterations() * scrambledBytes);
}

} // namespace

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PackageLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PackageLoadScrambled)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    if (!MakePackages()) {
        fprintf(stderr, "bench_package: cannot make the test packages in %s\n", tempFolder.c_str());
        RemovePackages();
        return 1;
    }
    fprintf(stderr, "bench_package: package of %lld bytes\n", (long long)plainBytes);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemovePackages();
    return 0;
}
