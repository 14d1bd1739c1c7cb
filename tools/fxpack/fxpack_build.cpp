// fxpack build: a package from a manifest of fixed ids and source files.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/manifest.h"
#include "io/package.h"
#include "base/outfile.h"
#include "fxpack.h"
#include "render/canvas.h"

namespace {

struct ManifestEntry {
    int id;
    int line;
    std::string path; // resolved against the manifest's folder
    int type;         // package type code
};

struct BuildArgs {
    const char* manifest = nullptr;
    const char* output = nullptr;
    const char* names = nullptr;
    const char* header = nullptr;
    bool scramble = false;
};

} // namespace

static bool localParseArgs(int argc, char** argv, BuildArgs* args) {
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        const char** target = nullptr;
        if (fxpackCommonOption(a)) {
            continue;
        } else if (strcmp(a, "-o") == 0) {
            target = &args->output;
        } else if (strcmp(a, "--names") == 0) {
            target = &args->names;
        } else if (strcmp(a, "--header") == 0) {
            target = &args->header;
        } else if (strcmp(a, "--scramble") == 0) {
            args->scramble = true;
            continue;
        } else if (a[0] == '-' && a[1] != 0) {
            fxpackUsageError("build", "unknown option '%s'", a);
            return false;
        } else if (args->manifest == nullptr) {
            args->manifest = a;
            continue;
        } else {
            fxpackUsageError("build", "build takes one manifest, '%s' is one too many", a);
            return false;
        }
        if (i + 1 >= argc) {
            fxpackUsageError("build", "%s needs a file name", a);
            return false;
        }
        if (*target != nullptr) {
            fxpackUsageError("build", "%s given twice", a);
            return false;
        }
        *target = argv[++i];
    }
    if (args->manifest == nullptr || args->output == nullptr) {
        fxpackUsageError("build", args->manifest == nullptr ? "build needs a manifest" : "build needs -o PACKAGE");
        return false;
    }
    return true;
}

// The folder part with its separator; empty for a bare name.
static std::string localFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Reads and checks the whole manifest: ids, duplicates, and that every source can be read.
static bool localReadManifest(const char* manifest, std::vector<ManifestEntry>* entries) {
    if (!fxpackCheckInput(manifest)) {
        return false;
    }
    fxpackAddInput(manifest);
    std::vector<tagFXManifestLine> rows;
    int read = fxReadManifestLines(manifest, &rows);
    if (read != FXMANIFEST_OK) {
        fxpackError("cannot read %s: %s", manifest, strerror(read == FXMANIFEST_CANNOT_OPEN ? errno : EIO));
        return false;
    }

    const std::string folder = localFolderOf(manifest);
    bool ok = true;
    for (const tagFXManifestLine& row : rows) {
        const int line = row.number;
        const std::string& idText = row.idText;
        const std::string& file = row.rest;
        int id;
        if (!fxpackParseInt(idText.c_str(), &id) || id < 0 || id == INT_MAX) {
            fxpackError("%s:%d: '%s' is not an id (0 to 2147483646)", manifest, line, idText.c_str());
            ok = false;
            continue;
        }
        if (file.empty()) {
            fxpackError("%s:%d: id %d has no file", manifest, line, id);
            ok = false;
            continue;
        }
        for (const ManifestEntry& e : *entries) {
            if (e.id == id) {
                fxpackError("%s:%d: id %d is already given on line %d", manifest, line, id, e.line);
                ok = false;
            }
        }
        std::string path = file[0] == '/' ? file : folder + file;
        std::string where = std::string(manifest) + ":" + std::to_string(line) + ": ";
        int kind = fxGetFileKind(path.c_str());
        FILE* src = kind == FXFILE_REGULAR ? fopen(path.c_str(), "rb") : nullptr;
        int type = FXDATA_OTHER;
        if (src == nullptr) {
            fxpackError("%scannot read %s: %s", where.c_str(), path.c_str(),
                        kind == FXFILE_FOLDER  ? "it is a folder"
                        : kind == FXFILE_OTHER ? "it is not a plain file"
                                               : strerror(kind == FXFILE_NONE ? ENOENT : errno));
            ok = false;
        } else {
            fclose(src);
            fxpackAddInput(path.c_str());
            if (!fxpackIsObj(path) && !fxpackSourceKind(path, where, path, &type)) {
                ok = false;
            }
        }
        entries->push_back({id, line, path, type});
    }
    if (ok && entries->empty()) {
        fxpackError("%s holds no entries: a package needs at least one", manifest);
        return false;
    }
    return ok;
}

// A private folder for the files that OBJ sources turn into; empty when none can be made.
static std::string localMakeWorkFolder() {
    std::string folder;
    fxHoldCleanupSignals(true);
    bool made = fxMakeTempFolder("fxpack-", &folder);
    int saved = errno;
    if (made) {
        fxAddCleanupPath(folder.c_str(), true);
    }
    fxHoldCleanupSignals(false);
    if (!made) {
        fxpackError("cannot make a work folder in the temporary folder: %s", strerror(saved));
        return std::string();
    }
    return folder;
}

// Imports every OBJ source into a model file of the work folder, queueing libraries and textures.
static bool localCompileModels(FXPackage* pkg, const char* manifest, const std::vector<ManifestEntry>& entries,
                               const std::string& work) {
    fxLoadDevil();
    bool ok = true;
    for (size_t i = 0; ok && i < entries.size(); i++) {
        const ManifestEntry& e = entries[i];
        if (!fxpackIsObj(e.path)) {
            continue;
        }
        if (!fxpackCompileObj(pkg, e.path, e.id, work, work + "/model" + std::to_string(i) + ".xm")) {
            fxpackError("%s:%d: no model could be made of %s", manifest, e.line, e.path.c_str());
            ok = false;
        }
    }
    fxUnloadDevil();
    return ok;
}

// Removes the work folder and what the build left in it.
static void localRemoveWork(FXPackage* pkg, const std::vector<ManifestEntry>& entries, const std::string& work) {
    pkg->DeleteTmpFiles();
    if (work.empty()) {
        return;
    }
    for (size_t i = 0; i < entries.size(); i++) {
        if (fxpackIsObj(entries[i].path)) {
            std::string model = work + "/model" + std::to_string(i) + ".xm";
            remove(model.c_str());
            fxRemoveCleanupPath(model.c_str());
        }
    }
    remove(work.c_str());
    fxRemoveCleanupPath(work.c_str());
}

// A path with "." and ".." taken out, read against folder when relative.
static std::string localNormalise(const std::string& path, const std::string& folder) {
    std::string full = path.empty() || path[0] != '/' ? folder + "/" + path : path;
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= full.size()) {
        size_t end = full.find('/', pos);
        if (end == std::string::npos) {
            end = full.size();
        }
        std::string part = full.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const std::string& p : parts) {
        out += "/" + p;
    }
    return out.empty() ? "/" : out;
}

// path (absolute, normalised) relative to folder (absolute, normalised).
static std::string localRelative(const std::string& path, const std::string& folder) {
    std::string base = folder == "/" ? "/" : folder + "/";
    if (path.compare(0, base.size(), base) == 0) {
        return path.substr(base.size());
    }
    size_t slash = folder.find_last_of('/');
    std::string parent = slash == 0 ? std::string("/") : folder.substr(0, slash);
    return "../" + localRelative(path, parent);
}

// Registered names as paths relative to the manifest's folder, so a names file does not depend
// on where the build ran or on the name of its work folder.
static void localRelativeNames(FXPackage* pkg, const char* manifest, const std::string& work) {
    std::string folder;
    std::string manifestFolder = localFolderOf(manifest);
    if (!fxGetRealPath(manifestFolder.empty() ? "." : manifestFolder.c_str(), &folder)) {
        return;
    }
    folder = localNormalise(folder, "/");
    for (int i = 0; i < pkg->nameServer.names.size; i++) {
        const char* name = pkg->nameServer.names.elements[i];
        if (name == nullptr || *name == 0) {
            continue;
        }
        std::string rel = localRelative(localNormalise(name, work.empty() ? folder : work), folder);
        pkg->nameServer.names.Change(i, rel.c_str());
    }
}

// Names in the user's words: the manifest's file for its entries, the registered name for the
// entries compilers added.
static void localReportEntries(FXPackage* pkg, const std::vector<ManifestEntry>& entries, const char* output) {
    int64_t bytes = 0;
    for (int i = 0; i < pkg->GetEntryCount(); i++) {
        bytes += pkg->entrySizes.GetInt(i);
    }
    fxpackReport("wrote %s: %d entries, %lld bytes of data", strcmp(output, "-") == 0 ? "standard output" : output,
                 pkg->GetEntryCount(), (long long)bytes);
    for (int i = 0; i < pkg->GetEntryCount(); i++) {
        int id = pkg->entryIds.GetInt(i);
        int type = pkg->entryTypes.GetInt(i);
        const char* kind = fxpackKindName(type);
        std::string source;
        if (i < (int)entries.size()) {
            source = entries[i].path;
            kind = fxpackIsObj(source) ? "model" : kind;
        } else {
            int pos = id - pkg->nameServer.baseId;
            const char* name = pos >= 0 && pos < pkg->nameServer.names.size ? pkg->nameServer.names.elements[pos] : "";
            source = std::string(name != nullptr ? name : "") + " (added)";
            if (type == FXDATA_OTHER) {
                kind = "material library";
            }
        }
        fxpackReport("  %10d  %-16s %s", id, kind != nullptr ? kind : "picture", source.c_str());
    }
}

// Type codes of the queued files: the manifest's own, then what textures hold; libraries the
// compilers wrote are data.
static bool localQueuedTypes(FXPackage* pkg, const std::vector<ManifestEntry>& entries) {
    bool ok = true;
    pkg->pendingTypes.RemoveAll();
    for (int i = 0; i < pkg->pendingFiles.size; i++) {
        int type = FXDATA_OTHER;
        const char* file = pkg->pendingFiles.elements[i];
        if (i < (int)entries.size()) {
            type = entries[i].type;
        } else if (file != nullptr && pkg->tmpFiles.Findpos(file) < 0) {
            // Queued under the work folder's name for it; the user knows the texture by its own.
            ok = fxpackSourceKind(file, "texture ", localNormalise(file, "/"), &type) && ok;
        }
        pkg->pendingTypes.PushInt(type);
    }
    return ok;
}

int fxpackBuild(int argc, char** argv) {
    BuildArgs args;
    if (!localParseArgs(argc, argv, &args)) {
        return FXPACK_USAGE;
    }
    std::vector<ManifestEntry> entries;
    if (!localReadManifest(args.manifest, &entries)) {
        return FXPACK_FAILED;
    }
    // Every output is checked before any work; each is written whole or not at all.
    FXOutFile pkgOut, namesOut, headerOut;
    if (!fxpackCreateOutput(&pkgOut, args.output) ||
        (args.names != nullptr && !fxpackCreateOutput(&namesOut, args.names)) ||
        (args.header != nullptr && !fxpackCreateOutput(&headerOut, args.header))) {
        return FXPACK_FAILED;
    }
    const FXOutFile* outs[3] = {&pkgOut, args.names != nullptr ? &namesOut : nullptr,
                                args.header != nullptr ? &headerOut : nullptr};
    for (int i = 0; i < 3; i++) {
        for (int k = i + 1; k < 3; k++) {
            if (outs[i] != nullptr && outs[k] != nullptr && strcmp(outs[i]->GetTarget(), outs[k]->GetTarget()) == 0) {
                return fxpackUsageError("build", "%s and %s name the same file", outs[i]->GetPath(),
                                        outs[k]->GetPath());
            }
        }
    }
    // The package writes beside the file it is given, under that name and ".tmp".
    std::string pkgTmp = std::string(pkgOut.GetTmpPath()) + ".tmp";
    fxAddCleanupPath(pkgTmp.c_str(), false);

    FXPackage pkg;
    // Names registered later get ids above every fixed one, so the fixed ids never move.
    int baseId = 0;
    for (const ManifestEntry& e : entries) {
        if (e.id + 1 > baseId) {
            baseId = e.id + 1;
        }
    }
    pkg.nameServer.baseId = baseId;
    // OBJ sources enter as the model files made of them, in their manifest places; what their
    // compilers register follows every manifest entry.
    std::string work;
    for (const ManifestEntry& e : entries) {
        if (fxpackIsObj(e.path) && work.empty()) {
            work = localMakeWorkFolder();
            if (work.empty()) {
                return FXPACK_FAILED;
            }
        }
    }
    for (size_t i = 0; i < entries.size(); i++) {
        const ManifestEntry& e = entries[i];
        std::string source = fxpackIsObj(e.path) ? work + "/model" + std::to_string(i) + ".xm" : e.path;
        pkg.AddDataFile(e.id, source.c_str());
    }
    bool ok = work.empty() || localCompileModels(&pkg, args.manifest, entries, work);
    ok = ok && localQueuedTypes(&pkg, entries);
    // Libraries and textures read by the compilers are inputs too.
    ok = ok && fxpackCheckOutputAgain(&pkgOut) && (args.names == nullptr || fxpackCheckOutputAgain(&namesOut)) &&
         (args.header == nullptr || fxpackCheckOutputAgain(&headerOut));
    if (ok) {
        localRelativeNames(&pkg, args.manifest, work);
    }
    if (ok && args.names != nullptr && !pkg.SaveNames(namesOut.GetTmpPath())) {
        fxpackError("cannot write %s: %s", args.names, strerror(errno != 0 ? errno : EIO));
        ok = false;
    }
    if (ok && args.header != nullptr && !pkg.SaveNamesCpp(headerOut.GetTmpPath())) {
        fxpackError("cannot write %s: %s", args.header, strerror(errno != 0 ? errno : EIO));
        ok = false;
    }
    if (ok && !pkg.Save(pkgOut.GetTmpPath(), args.scramble ? FXPACKAGE_SCRAMBLE : 0)) {
        fxpackError("cannot write %s: %s", args.output, strerror(errno != 0 ? errno : EIO));
        ok = false;
    }
    fxRemoveCleanupPath(pkgTmp.c_str());
    ok = ok && fxpackCommitOutput(&pkgOut);
    ok = ok && (args.names == nullptr || fxpackCommitOutput(&namesOut));
    ok = ok && (args.header == nullptr || fxpackCommitOutput(&headerOut));
    localRemoveWork(&pkg, entries, work);
    if (!ok) {
        return FXPACK_FAILED;
    }
    localReportEntries(&pkg, entries, args.output);
    return FXPACK_OK;
}
