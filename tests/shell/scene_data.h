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

// Ways SceneData can damage one entry.
enum {
    FXDAMAGE_NONE = 0,
    FXDAMAGE_CUT = 1,        // the first half of the right file
    FXDAMAGE_RANDOM = 2,     // random bytes under the right kind
    FXDAMAGE_WRONG_KIND = 3, // a model where a picture belongs and the other way round
};

const int kScenePictureIds[] = {0, 1, 5, 25, 26, 27, 28, 29};
const int kSceneModelIds[] = {4, 14, 16, 18, 20, 22, 24};

// A data folder with a package that holds a picture or a model under every id the show reads.
class SceneData {
public:
    FXTestDir dir;
    bool ok = false;

    SceneData() {
        if (!fxLoadDevil()) {
            return;
        }
        for (int id : kScenePictureIds) {
            // The lens is see-through; the others are opaque quadrants.
            bool made = id == 27 ? WriteSolidPicture(PicturePath(id), 32, 32, 0x00000000u)
                                 : WriteQuadrantPicture(PicturePath(id), 64, 32, kRed, kGreen, kBlue, kWhite);
            if (!made) {
                return;
            }
        }
        for (int id : kSceneModelIds) {
            if (!WriteSquareModel(ModelPath(id), 0.0f, -0.3f, 0.3f)) {
                return;
            }
        }
        ok = Pack(dir.File("vantrel.dat"), -1, FXDAMAGE_NONE);
    }

    // Writes the package to path, its entry damagedId damaged as damage says.
    bool Pack(const std::string& path, int damagedId, int damage) {
        FXPackage pkg;
        std::string damagedFile;
        for (int id : kScenePictureIds) {
            if (id == damagedId && (damagedFile = Damage(damage, false)).empty()) {
                return false;
            }
            pkg.AddDataFile(id, (id == damagedId ? damagedFile : PicturePath(id)).c_str());
        }
        for (int id : kSceneModelIds) {
            if (id == damagedId && (damagedFile = Damage(damage, true)).empty()) {
                return false;
            }
            pkg.AddDataFile(id, (id == damagedId ? damagedFile : ModelPath(id)).c_str());
        }
        return pkg.Save(path.c_str(), 0);
    }

private:
    std::string PicturePath(int id) const { return dir.File("p" + std::to_string(id) + ".png"); }
    std::string ModelPath(int id) const { return dir.File("m" + std::to_string(id) + ".xm"); }

    // A damaged file for an entry that should hold a model or a picture; empty when it cannot be
    // written. Its extension gives the entry's kind.
    std::string Damage(int damage, bool forModel) {
        bool model = forModel != (damage == FXDAMAGE_WRONG_KIND);
        std::string path = dir.File(model ? "damaged.xm" : "damaged.png");
        FXBytes bytes;
        if (!fxTestReadFile(model ? ModelPath(14) : PicturePath(1), &bytes)) {
            return "";
        }
        if (damage == FXDAMAGE_CUT) {
            bytes.resize(bytes.size() / 2);
        } else if (damage == FXDAMAGE_RANDOM) {
            bytes = fxTestPattern(bytes.size(), 7u);
        }
        return fxTestWriteFile(path, bytes) ? path : "";
    }
};

#endif
