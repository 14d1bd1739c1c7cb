// fxpack list and fxpack extract, and the package loading every command shares.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/package.h"
#include "base/outfile.h"
#include "fxpack.h"

// Skips one stored string; false when it does not fit.
static bool localSkipString(FXPackageData* d) {
    int n = d->ReadInt();
    return n >= 0 && n <= d->remaining && (n == 0 || d->ReadBlc(n) != nullptr);
}

// Whether the bytes are exactly a stored material library: name, count, then that many
// material records (name, texture, four colours, shininess) and nothing after.
static bool localIsMatlib(FXPackageData* d) {
    d->Reseek();
    if (d->remaining < 8 || !localSkipString(d)) {
        return false;
    }
    int count = d->ReadInt();
    if (count < 0 || count > d->remaining / 76) {
        return false;
    }
    for (int i = 0; i < count; i++) {
        if (!localSkipString(d) || !localSkipString(d) || d->ReadBlc(68) == nullptr) {
            return false;
        }
    }
    return d->remaining == 0;
}

// The kind of an entry in words: the picture kind of its code, else what its bytes hold.
static const char* localEntryKind(FXPackage* pkg, int index) {
    int code = pkg->entryTypes.GetInt(index);
    if (code != FXDATA_OTHER) {
        const char* name = fxpackKindName(code);
        return name != nullptr ? name : "picture";
    }
    FXPackageData* d = index < pkg->readers.size ? (FXPackageData*)pkg->readers.elements[index] : nullptr;
    if (d == nullptr) {
        return "data";
    }
    d->Reseek();
    FXStr magic;
    if (d->remaining >= 8) {
        d->ReadString(&magic);
    }
    if (strcmp(magic.chars, "xm02") == 0 || strcmp(magic.chars, "xm03") == 0) {
        return "model";
    }
    return localIsMatlib(d) ? "material library" : "data";
}

bool fxpackLoadPackage(FXPackage* pkg, const char* path, bool wholeOnly) {
    if (!fxpackCheckInput(path)) {
        return false;
    }
    fxpackAddInput(path);
    std::vector<std::string> traces;
    fxpackBeginCapture(&traces, false);
    bool loaded = pkg->Load(path);
    fxpackEndCapture();
    if (!loaded) {
        fxpackError("%s is not a package, or its entry lists are damaged", path);
        return false;
    }
    if (pkg->badEntries > 0 && wholeOnly) {
        fxpackError("%s is damaged: %d entries reach past the end of its data (is the file cut short?)", path,
                    pkg->badEntries);
        return false;
    }
    return true;
}

FXPackageData* fxpackGetEntry(FXPackage* pkg, const char* path, int id) {
    FXPackageData* data = pkg->GetDataPtr(id);
    if (data == nullptr) {
        fxpackError("%s has no entry with id %d", path, id);
    }
    return data;
}

int fxpackList(int argc, char** argv) {
    const char* input = nullptr;
    int n = 0;
    if (fxpackPlainArgs("list", "one package", argc, argv, 1, &input, &n) != FXPACK_OK) {
        return FXPACK_USAGE;
    }
    if (n == 0) {
        return fxpackUsageError("list", "list needs a package");
    }
    FXPackage pkg;
    if (!fxpackLoadPackage(&pkg, input, false)) {
        return FXPACK_FAILED;
    }
    printf("%10s %10s %10s  %s\n", "id", "offset", "size", "kind");
    for (int i = 0; i < pkg.GetEntryCount(); i++) {
        printf("%10d %10d %10d  %s\n", pkg.entryIds.GetInt(i), pkg.entryOffsets.GetInt(i), pkg.entrySizes.GetInt(i),
               localEntryKind(&pkg, i));
    }
    fflush(stdout);
    if (pkg.badEntries > 0) {
        fxpackError("%s is damaged: %d damaged entries reach past the end of its data and were left out (is the "
                    "file cut short?)",
                    input, pkg.badEntries);
        return FXPACK_FAILED;
    }
    return FXPACK_OK;
}

int fxpackExtract(int argc, char** argv) {
    const char* args[3] = {nullptr, nullptr, nullptr};
    int n = 0;
    const char* takes = "a package, an id and a file";
    if (fxpackPlainArgs("extract", takes, argc, argv, 3, args, &n) != FXPACK_OK) {
        return FXPACK_USAGE;
    }
    if (n < 3) {
        return fxpackUsageError("extract", "extract takes %s", takes);
    }
    int id;
    if (!fxpackParseInt(args[1], &id)) {
        return fxpackUsageError("extract", "'%s' is not an id", args[1]);
    }
    FXPackage pkg;
    FXOutFile out;
    fxpackAddInput(args[0]);
    if (!fxpackCreateOutput(&out, args[2]) || !fxpackLoadPackage(&pkg, args[0], true)) {
        return FXPACK_FAILED;
    }
    FXPackageData* data = fxpackGetEntry(&pkg, args[0], id);
    if (data == nullptr) {
        return FXPACK_FAILED;
    }
    return fxpackWriteOutput(&out, data->start, (size_t)data->total) ? FXPACK_OK : FXPACK_FAILED;
}
