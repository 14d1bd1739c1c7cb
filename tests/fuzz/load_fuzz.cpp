// Coverage-guided fuzzing of the loaders of outside data: packages (and the models and
// libraries in them), model files, OBJ and MTL text, stored libraries. The first byte picks the
// loader; the rest is the file. Built and run by `make fuzz` (needs clang and its fuzzer runtime).
#include <cstdint>
#include <cstdio>
#include <unistd.h>

#include "models/model.h"
#include "io/package.h"
#include "render/matlib.h"
#include "render/headless.h"

static FXHeadlessEnv* localEnv = nullptr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (localEnv == nullptr) {
        localEnv = new FXHeadlessEnv();
        fxSetEnv(localEnv);
    }
    if (size < 1) {
        return 0;
    }
    char path[64];
    snprintf(path, sizeof(path), "/dev/shm/vantrel-fuzz-%d.bin", (int)getpid());
    FILE* f = fopen(path, "wb");
    if (f == nullptr) {
        return 0;
    }
    fwrite(data + 1, 1, size - 1, f);
    fclose(f);
    switch (data[0] % 4) {
        case 0: {
            FXPackage pkg;
            if (pkg.Load(path)) {
                for (int id = -2; id < 40; id++) {
                    if (pkg.GetDataPtr(id) != nullptr) {
                        FXModel model;
                        model.LoadCN(&pkg, id);
                        FXMatlib lib;
                        lib.LoadC(&pkg, "1");
                    }
                }
            }
            break;
        }
        case 1: {
            FXModel model;
            model.Load(path);
            break;
        }
        case 2: {
            FXModel model;
            model.ImportObj(path);
            break;
        }
        case 3: {
            FXMatlib mtl;
            mtl.LoadFromMtl(path);
            FXMatlib stored;
            stored.Load(path);
            break;
        }
    }
    unlink(path);
    return 0;
}
