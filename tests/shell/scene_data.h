#ifndef FX_TESTS_SHELL_SCENE_DATA_H
#define FX_TESTS_SHELL_SCENE_DATA_H

#include <string>

#include "io/package.h"
#include "objects/object_test_helpers.h"
#include "render/canvas.h"
#include "support/test_files.h"

const uint32_t kRed = 0xFF0000FFu;
const uint32_t kGreen = 0xFF00FF00u;
const uint32_t kBlue = 0xFFFF0000u;
const uint32_t kWhite = 0xFFFFFFFFu;
const uint32_t kMagenta = 0xFFFF00FFu;

// A data folder with a package that holds a picture or a model under every id the show reads.
class SceneData {
public:
    FXTestDir dir;
    bool ok = false;

    SceneData() {
        if (!fxLoadDevil()) {
            return;
        }
        FXPackage pkg;
        const int pictures[] = {0, 1, 5, 25, 26, 27, 28, 29};
        for (int id : pictures) {
            std::string path = dir.File("p" + std::to_string(id) + ".png");
            // The lens is see-through; the others are opaque quadrants.
            bool made = id == 27 ? WriteSolidPicture(path, 32, 32, 0x00000000u)
                                 : WriteQuadrantPicture(path, 64, 32, kRed, kGreen, kBlue, kWhite);
            if (!made) {
                return;
            }
            pkg.AddDataFile(id, path.c_str());
        }
        const int models[] = {4, 14, 16, 18, 20, 22, 24};
        for (int id : models) {
            std::string path = dir.File("m" + std::to_string(id) + ".xm");
            if (!WriteSquareModel(path, 0.0f, -0.3f, 0.3f)) {
                return;
            }
            pkg.AddDataFile(id, path.c_str());
        }
        ok = pkg.Save(dir.File("vantrel.dat").c_str(), 0);
    }
};

#endif
