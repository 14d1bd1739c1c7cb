// fxpack list and fxpack extract.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/package.h"
#include "fxpack.h"

static const char* localTypeName(int code) {
    switch (code) {
        case FXDATA_JPG:
            return "jpg";
        case FXDATA_PNG:
            return "png";
        case FXDATA_TGA:
            return "tga";
        case FXDATA_BMP:
            return "bmp";
        case FXDATA_GIF:
            return "gif";
        case FXDATA_OTHER:
            return "data";
        default:
            return "unknown";
    }
}

// Loads the package, saying why when it cannot.
static bool localLoad(FXPackage* pkg, const char* path) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) {
        fxpackError("cannot open %s: %s", path, strerror(errno));
        return false;
    }
    fclose(f);
    if (!pkg->Load(path)) {
        fxpackError("%s is not a package, or its entry lists are damaged", path);
        return false;
    }
    return true;
}

int fxpackList(int argc, char** argv) {
    if (argc != 2) {
        return fxpackUsageError("list takes one package");
    }
    FXPackage pkg;
    if (!localLoad(&pkg, argv[1])) {
        return FXPACK_FAILED;
    }
    for (int i = 0; i < pkg.GetEntryCount(); i++) {
        int type = pkg.entryTypes.GetInt(i);
        printf("%d %d %d %d %s\n", pkg.entryIds.GetInt(i), pkg.entryOffsets.GetInt(i), pkg.entrySizes.GetInt(i), type,
               localTypeName(type));
    }
    if (pkg.badEntries > 0) {
        fxpackError("%s: %d damaged entries reach outside the data and were left out", argv[1], pkg.badEntries);
        return FXPACK_FAILED;
    }
    return FXPACK_OK;
}

int fxpackExtract(int argc, char** argv) {
    if (argc != 4) {
        return fxpackUsageError("extract takes a package, an id and a file");
    }
    int id;
    if (!fxpackParseInt(argv[2], &id)) {
        fxpackError("'%s' is not an id", argv[2]);
        return FXPACK_USAGE;
    }
    FXPackage pkg;
    if (!localLoad(&pkg, argv[1])) {
        return FXPACK_FAILED;
    }
    FXPackageData* data = pkg.GetDataPtr(id);
    if (data == nullptr) {
        fxpackError("%s has no entry with id %d", argv[1], id);
        return FXPACK_FAILED;
    }
    return fxpackWriteFile(argv[3], data->start, (size_t)data->total) ? FXPACK_OK : FXPACK_FAILED;
}
