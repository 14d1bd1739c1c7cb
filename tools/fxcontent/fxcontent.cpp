// fxcontent: draws and builds the show's default asset package from a manifest of recipes.

#include "fxcontent.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "io/manifest.h"
#include "io/package.h"
#include "render/canvas.h"

void fxcontentError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("fxcontent: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
}

static void localUsage(FILE* out) {
    fputs("usage: fxcontent MANIFEST -o PACKAGE [--earth PICTURE] [--night PICTURE] [--keep FOLDER]\n"
          "\n"
          "Draws every entry the manifest names and writes them into PACKAGE.\n"
          "Each manifest line is: ID RECIPE [TEXT], where TEXT lines are split at '|'.\n"
          "  --earth PICTURE  day map of the Earth, equirectangular (default\n"
          "                   /usr/share/xplanet/images/earth.jpg)\n"
          "  --night PICTURE  night lights, same layout (default .../night.jpg)\n"
          "  --keep FOLDER    also write every picture drawn into FOLDER as PNG\n"
          "  --help           this text\n",
          out);
}

namespace {

struct Args {
    const char* manifest = nullptr;
    const char* output = nullptr;
    std::string earth = "/usr/share/xplanet/images/earth.jpg";
    std::string night = "/usr/share/xplanet/images/night.jpg";
    std::string keep;
};

struct Line {
    int id;
    int number;
    std::string recipe;
    std::vector<std::string> texts;
};

} // namespace

static bool localParseArgs(int argc, char** argv, Args* args, bool* help) {
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            *help = true;
            return true;
        }
        bool takesValue =
            strcmp(a, "-o") == 0 || strcmp(a, "--earth") == 0 || strcmp(a, "--night") == 0 || strcmp(a, "--keep") == 0;
        if (takesValue) {
            if (i + 1 >= argc) {
                fxcontentError("%s needs a value", a);
                return false;
            }
            const char* v = argv[++i];
            if (strcmp(a, "-o") == 0) {
                args->output = v;
            } else if (strcmp(a, "--earth") == 0) {
                args->earth = v;
            } else if (strcmp(a, "--night") == 0) {
                args->night = v;
            } else {
                args->keep = v;
            }
        } else if (a[0] == '-' && a[1] != 0) {
            fxcontentError("unknown option '%s'", a);
            return false;
        } else if (args->manifest == nullptr) {
            args->manifest = a;
        } else {
            fxcontentError("one manifest only, '%s' is one too many", a);
            return false;
        }
    }
    if (args->manifest == nullptr || args->output == nullptr) {
        fxcontentError(args->manifest == nullptr ? "no manifest given" : "no package given (-o PACKAGE)");
        return false;
    }
    return true;
}

// Reads and checks every line before anything is drawn, so a bad manifest costs nothing.
static bool localReadManifest(const char* path, std::vector<Line>* lines) {
    std::vector<tagFXManifestLine> rows;
    int read = fxReadManifestLines(path, &rows);
    if (read == FXMANIFEST_CANNOT_OPEN) {
        fxcontentError("cannot open the manifest %s: %s", path, strerror(errno));
        return false;
    }
    if (read != FXMANIFEST_OK) {
        fxcontentError("cannot read the manifest %s", path);
        return false;
    }
    bool ok = true;
    for (const tagFXManifestLine& row : rows) {
        const int number = row.number;
        const std::string& idText = row.idText;
        const std::string& rest = row.rest;
        size_t gap2 = rest.find_first_of(" \t");
        Line line;
        line.number = number;
        line.recipe = rest.substr(0, gap2);
        std::string texts = gap2 == std::string::npos ? std::string() : fxTrimManifestText(rest.substr(gap2));
        char* stop = nullptr;
        errno = 0;
        long id = strtol(idText.c_str(), &stop, 10);
        if (idText.empty() || *stop != 0 || errno != 0 || id < 0 || id >= INT_MAX) {
            fxcontentError("%s:%d: '%s' is not an id", path, number, idText.c_str());
            ok = false;
            continue;
        }
        line.id = (int)id;
        if (line.recipe.empty() || !fxContentKnown(line.recipe)) {
            fxcontentError("%s:%d: '%s' is no recipe", path, number, line.recipe.c_str());
            ok = false;
            continue;
        }
        for (const Line& other : *lines) {
            if (other.id == line.id) {
                fxcontentError("%s:%d: id %d is already made on line %d", path, number, line.id, other.number);
                ok = false;
            }
        }
        while (!texts.empty()) {
            size_t bar = texts.find('|');
            line.texts.push_back(fxTrimManifestText(texts.substr(0, bar)));
            texts = bar == std::string::npos ? std::string() : texts.substr(bar + 1);
        }
        lines->push_back(line);
    }
    if (ok && lines->empty()) {
        fxcontentError("%s names nothing to make", path);
        ok = false;
    }
    return ok;
}

static std::string localMakeWork() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/fxcontent-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    char resolved[PATH_MAX];
    if (mkdtemp(buf.data()) == nullptr || realpath(buf.data(), resolved) == nullptr) {
        fxcontentError("cannot make a work folder %s: %s", pattern.c_str(), strerror(errno));
        return std::string();
    }
    return resolved;
}

static void localRemoveWork(const std::string& work) {
    DIR* d = opendir(work.c_str());
    if (d == nullptr) {
        return;
    }
    struct dirent* e;
    while ((e = readdir(d)) != nullptr) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
            remove((work + "/" + e->d_name).c_str());
        }
    }
    closedir(d);
    rmdir(work.c_str());
}

// An absolute path, so the package's change of the current folder cannot move it.
static std::string localAbsolute(const std::string& path, const std::string& start) {
    return path.empty() || path[0] == '/' ? path : start + "/" + path;
}

static bool localBuild(const Args& args, const std::vector<Line>& lines, const std::string& work,
                       const std::string& start) {
    FXPackage pkg;
    // The textures and libraries the models name take ids above every fixed one.
    int baseId = 0;
    for (const Line& l : lines) {
        baseId = l.id + 1 > baseId ? l.id + 1 : baseId;
    }
    pkg.nameServer.baseId = baseId;
    for (size_t i = 0; i < lines.size(); i++) {
        const Line& l = lines[i];
        printf("fxcontent: [%zu/%zu] %d %s\n", i + 1, lines.size(), l.id, l.recipe.c_str());
        fflush(stdout);
        tagContentJob job;
        job.id = l.id;
        job.recipe = l.recipe;
        job.texts = l.texts;
        job.work = work;
        job.earthPicture = localAbsolute(args.earth, start);
        job.nightPicture = localAbsolute(args.night, start);
        job.keepFolder = localAbsolute(args.keep, start);
        job.pkg = &pkg;
        bool ok = fxContentIsModel(l.recipe) ? fxContentModel(&job) : fxContentPicture(&job);
        if (!ok) {
            fxcontentError("%s:%d: id %d (%s) could not be made", args.manifest, l.number, l.id, l.recipe.c_str());
            pkg.DeleteTmpFiles();
            return false;
        }
    }
    // Written beside the target first, so a failed build never leaves half a package.
    std::string output = localAbsolute(args.output, start);
    std::string tmp = output + ".tmp";
    bool ok = pkg.Save(tmp.c_str(), 0);
    pkg.DeleteTmpFiles();
    if (!ok) {
        fxcontentError("cannot write the package %s", tmp.c_str());
        remove(tmp.c_str());
        return false;
    }
    if (rename(tmp.c_str(), output.c_str()) != 0) {
        fxcontentError("cannot move the package to %s: %s", output.c_str(), strerror(errno));
        remove(tmp.c_str());
        return false;
    }
    struct stat st;
    long size = stat(output.c_str(), &st) == 0 ? (long)st.st_size : -1;
    printf("fxcontent: wrote %s, %d entries, %ld bytes\n", output.c_str(), pkg.GetEntryCount(), size);
    return true;
}

int main(int argc, char** argv) {
    Args args;
    bool help = false;
    if (!localParseArgs(argc, argv, &args, &help)) {
        localUsage(stderr);
        return FXCONTENT_USAGE;
    }
    if (help) {
        localUsage(stdout);
        return FXCONTENT_OK;
    }
    std::vector<Line> lines;
    if (!localReadManifest(args.manifest, &lines)) {
        return FXCONTENT_FAILED;
    }
    char startBuf[PATH_MAX];
    if (getcwd(startBuf, sizeof(startBuf)) == nullptr) {
        fxcontentError("cannot tell the current folder");
        return FXCONTENT_FAILED;
    }
    if (!args.keep.empty()) {
        mkdir(args.keep.c_str(), 0755);
    }
    if (!fxLoadDevil()) {
        fxcontentError("the image library (libIL) cannot be loaded");
        return FXCONTENT_FAILED;
    }
    std::string work = localMakeWork();
    bool ok = !work.empty() && localBuild(args, lines, work, startBuf);
    if (!work.empty()) {
        localRemoveWork(work);
    }
    fxUnloadDevil();
    return ok ? FXCONTENT_OK : FXCONTENT_FAILED;
}

// fontconfig loses a few hundred bytes parsing its configuration, once per process; nothing
// the engine can free. Every other leak still fails a sanitised build.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
