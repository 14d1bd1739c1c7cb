// fxpack build: a package from a manifest of fixed ids and source files.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "io/package.h"
#include "fxpack.h"
#include "render/canvas.h"

namespace {

struct ManifestEntry {
    int id;
    int line;
    std::string path; // resolved against the manifest's folder
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
        if (strcmp(a, "-o") == 0) {
            target = &args->output;
        } else if (strcmp(a, "--names") == 0) {
            target = &args->names;
        } else if (strcmp(a, "--header") == 0) {
            target = &args->header;
        } else if (strcmp(a, "--scramble") == 0) {
            args->scramble = true;
            continue;
        } else if (a[0] == '-' && a[1] != 0) {
            fxpackError("unknown option '%s'", a);
            return false;
        } else if (args->manifest == nullptr) {
            args->manifest = a;
            continue;
        } else {
            fxpackError("build takes one manifest, '%s' is one too many", a);
            return false;
        }
        if (i + 1 >= argc) {
            fxpackError("%s needs a file name", a);
            return false;
        }
        if (*target != nullptr) {
            fxpackError("%s given twice", a);
            return false;
        }
        *target = argv[++i];
    }
    if (args->manifest == nullptr || args->output == nullptr) {
        fxpackError(args->manifest == nullptr ? "build needs a manifest" : "build needs -o PACKAGE");
        return false;
    }
    return true;
}

// The folder part with its separator; "./" for a bare name.
static std::string localFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

static std::string localTrim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) {
        b++;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) {
        e--;
    }
    return s.substr(b, e - b);
}

// Reads and checks the whole manifest: ids, duplicates, and that every source can be read.
static bool localReadManifest(const char* manifest, std::vector<ManifestEntry>* entries) {
    FILE* f = fopen(manifest, "rb");
    if (f == nullptr) {
        fxpackError("cannot open manifest %s: %s", manifest, strerror(errno));
        return false;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        text.append(buf, n);
    }
    bool readOk = ferror(f) == 0;
    fclose(f);
    if (!readOk) {
        fxpackError("cannot read manifest %s", manifest);
        return false;
    }

    const std::string folder = localFolderOf(manifest);
    bool ok = true;
    size_t pos = 0;
    for (int line = 1; pos < text.size(); line++) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string row = localTrim(text.substr(pos, end - pos));
        pos = end + 1;
        if (row.empty() || row[0] == '#') {
            continue;
        }
        size_t gap = row.find_first_of(" \t");
        std::string idText = row.substr(0, gap);
        std::string file = gap == std::string::npos ? std::string() : localTrim(row.substr(gap));
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
        struct stat st;
        FILE* src = fopen(path.c_str(), "rb");
        if (src == nullptr) {
            fxpackError("%s:%d: cannot read %s: %s", manifest, line, path.c_str(), strerror(errno));
            ok = false;
        } else {
            if (fstat(fileno(src), &st) != 0 || !S_ISREG(st.st_mode)) {
                fxpackError("%s:%d: %s is not a file", manifest, line, path.c_str());
                ok = false;
            }
            fclose(src);
        }
        entries->push_back({id, line, path});
    }
    return ok;
}

// A private folder for the files that OBJ sources turn into; empty when none can be made.
static std::string localMakeWorkFolder() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/fxpack-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    char resolved[PATH_MAX];
    if (mkdtemp(buf.data()) == nullptr) {
        fxpackError("cannot make a work folder %s: %s", pattern.c_str(), strerror(errno));
        return std::string();
    }
    if (realpath(buf.data(), resolved) == nullptr) {
        rmdir(buf.data());
        fxpackError("cannot find the work folder %s", buf.data());
        return std::string();
    }
    return resolved;
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
            remove((work + "/model" + std::to_string(i) + ".xm").c_str());
        }
    }
    rmdir(work.c_str());
}

int fxpackBuild(int argc, char** argv) {
    BuildArgs args;
    if (!localParseArgs(argc, argv, &args)) {
        fxpackUsage(stderr);
        return FXPACK_USAGE;
    }
    std::vector<ManifestEntry> entries;
    if (!localReadManifest(args.manifest, &entries)) {
        return FXPACK_FAILED;
    }

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
    if (!work.empty() && !localCompileModels(&pkg, args.manifest, entries, work)) {
        localRemoveWork(&pkg, entries, work);
        return FXPACK_FAILED;
    }

    // The side files go to temporary names first and take their places only with the package.
    std::string namesTmp = args.names != nullptr ? std::string(args.names) + ".tmp" : std::string();
    std::string headerTmp = args.header != nullptr ? std::string(args.header) + ".tmp" : std::string();
    bool ok = true;
    if (args.names != nullptr && !pkg.SaveNames(namesTmp.c_str())) {
        fxpackError("cannot write names file %s", args.names);
        ok = false;
    }
    if (ok && args.header != nullptr && !pkg.SaveNamesCpp(headerTmp.c_str())) {
        fxpackError("cannot write names header %s", args.header);
        ok = false;
    }
    if (ok && !pkg.Save(args.output, args.scramble ? FXPACKAGE_SCRAMBLE : 0)) {
        std::string folder = localFolderOf(args.output);
        struct stat st;
        if (!folder.empty() && (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            fxpackError("cannot write package %s: there is no folder %s", args.output, folder.c_str());
        } else {
            fxpackError("cannot write package %s", args.output);
        }
        ok = false;
    }
    if (ok && args.names != nullptr) {
        ok = fxpackReplaceFile(namesTmp, args.names);
    }
    if (ok && args.header != nullptr) {
        ok = fxpackReplaceFile(headerTmp, args.header);
    }
    localRemoveWork(&pkg, entries, work);
    if (!ok) {
        if (!namesTmp.empty()) {
            remove(namesTmp.c_str());
        }
        if (!headerTmp.empty()) {
            remove(headerTmp.c_str());
        }
        return FXPACK_FAILED;
    }
    return FXPACK_OK;
}
