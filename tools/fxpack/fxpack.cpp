// fxpack: command-line tool that builds, lists and unpacks asset packages and makes models.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/outfile.h"
#include "fxpack.h"

tagFXPackOptions fxpackOptions;

// Whether standard output carries a written file, so reports must keep off it.
static bool localStdoutTaken = false;

// ---------------------------------------------------------------------------------------------
// Messages

// Width of the progress line on the terminal, 0 when none is shown.
static int localProgressShown = 0;

static void localClearProgress() {
    if (localProgressShown > 0) {
        fprintf(stderr, "\r%*s\r", localProgressShown, "");
        localProgressShown = 0;
    }
}

void fxpackProgress(const char* format, ...) {
    if (fxpackOptions.verbosity < 1 || !fxIsTerminal(stderr)) {
        return;
    }
    char text[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    localClearProgress();
    fputs(text, stderr);
    fflush(stderr);
    localProgressShown = n < 0 ? 0 : n >= (int)sizeof(text) ? (int)sizeof(text) - 1 : n;
}

static void localPrint(const char* prefix, const char* format, va_list args) {
    localClearProgress();
    fputs("fxpack: ", stderr);
    fputs(prefix, stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    fflush(stderr);
}

void fxpackError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    localPrint("", format, args);
    va_end(args);
}

void fxpackWarning(const char* format, ...) {
    if (fxpackOptions.verbosity < 1) {
        return;
    }
    va_list args;
    va_start(args, format);
    localPrint("warning: ", format, args);
    va_end(args);
}

void fxpackReport(const char* format, ...) {
    if (fxpackOptions.verbosity < 1) {
        return;
    }
    FILE* out = localStdoutTaken ? stderr : stdout;
    localClearProgress();
    va_list args;
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
    fputc('\n', out);
    // Flushed line by line, so a pipe sees progress as it happens.
    fflush(out);
}

int fxpackUsageError(const char* command, const char* format, ...) {
    va_list args;
    va_start(args, format);
    localPrint("", format, args);
    va_end(args);
    fprintf(stderr, "try 'fxpack %s%s--help'\n", command != nullptr ? command : "", command != nullptr ? " " : "");
    return FXPACK_USAGE;
}

int fxpackPlainArgs(const char* command, const char* takes, int argc, char** argv, int max, const char** args,
                    int* count) {
    *count = 0;
    for (int i = 1; i < argc; i++) {
        if (fxpackCommonOption(argv[i])) {
            continue;
        }
        if (argv[i][0] == '-' && argv[i][1] != 0) {
            return fxpackUsageError(command, "unknown option '%s'", argv[i]);
        }
        if (*count == max) {
            return fxpackUsageError(command, "%s takes %s; '%s' is one too many", command, takes, argv[i]);
        }
        args[(*count)++] = argv[i];
    }
    return FXPACK_OK;
}

bool fxpackCommonOption(const char* arg) {
    if (strcmp(arg, "-q") == 0 || strcmp(arg, "--quiet") == 0) {
        fxpackOptions.verbosity = 0;
    } else if (strcmp(arg, "-v") == 0 || strcmp(arg, "--verbose") == 0) {
        fxpackOptions.verbosity = 2;
    } else if (strcmp(arg, "--strict") == 0) {
        fxpackOptions.strict = true;
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Engine traces

static std::vector<std::string>* localCapture = nullptr;
static bool localCaptureShown = true;

static void localTraceSink(bool error, const char* text) {
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (error && localCapture != nullptr) {
        localCapture->push_back(line);
    }
    bool shown = error ? fxpackOptions.verbosity >= (localCaptureShown || localCapture == nullptr ? 1 : 2)
                       : fxpackOptions.verbosity >= 2;
    if (shown) {
        localClearProgress();
        fprintf(stderr, "fxpack: %s%s\n", error ? "engine: " : "", line.c_str());
        fflush(stderr);
    }
}

void fxpackBeginCapture(std::vector<std::string>* lines, bool show) {
    localCapture = lines;
    localCaptureShown = show;
}

void fxpackEndCapture() {
    localCapture = nullptr;
    localCaptureShown = true;
}

// ---------------------------------------------------------------------------------------------
// Help

namespace {
struct CommandHelp {
    const char* name;
    const char* usage;
    const char* text;
};
} // namespace

static const CommandHelp localCommands[] = {
    {"list", "fxpack list PACKAGE",
     "Prints one line per entry under a header: id, offset, size in bytes and kind (JPEG, PNG, TGA,\n"
     "BMP, GIF, ..., model, material library, or data).\n"},
    {"extract", "fxpack extract PACKAGE ID FILE",
     "Writes the bytes of the entry with that id to FILE ('-' for standard output).\n"},
    {"build", "fxpack build MANIFEST -o PACKAGE [--scramble] [--names FILE] [--header FILE]",
     "Makes a package from a manifest: one entry per line, the entry's id and then the source file,\n"
     "relative to the manifest's folder. Blank lines and lines starting with # are skipped. Entries\n"
     "keep the manifest's order. Ids run from 0 to 2147483646; names that compilers register get ids\n"
     "above the highest id of the manifest.\n"
     "Pictures get the type code of what their bytes hold (JPEG, PNG, BMP, GIF, TIFF, ...; TGA by\n"
     "its name); a picture whose name says otherwise is stored as what it is, with a warning.\n"
     "An OBJ source (.obj) is imported and stored as a model under its id; its material library\n"
     "and the library's textures become entries of their own, announced as they are added. A\n"
     "missing library or texture is left out with a warning (an error with --strict).\n"
     "  --scramble   writes the scrambled form of the package\n"
     "  --names F    writes the registered names, relative to the manifest's folder, to F\n"
     "  --header F   writes the names header (#define lines) to F\n"},
    {"model", "fxpack model OBJ -o MODEL [--flip-v]",
     "Imports an OBJ file (its mtllib and textures relative to its folder) and writes it as an xm03\n"
     "model. Statements the import skips are summed up by cause with their first line numbers; a\n"
     "missing library or texture is a warning. With --strict each of these is an error.\n"
     "  --flip-v     stores v as 1 - v, for files whose texture rows run bottom first\n"},
    {"info", "fxpack info MODEL | PACKAGE ID",
     "Describes a model file, or the model entry ID of a package: format, name, library, meshes,\n"
     "materials, vertices, triangles, meshes by drawing pass, then one line per mesh.\n"},
    {"reduce",
     "fxpack reduce MODEL | PACKAGE ID -o MODEL (--tolerance DEGREES | --discard-transparent ALPHA)\n"
     "                    [--sweeps N]",
     "Reads a model file, or the model entry ID of a package, and writes it as an xm03 model with\n"
     "fewer vertices: each sweep drops the vertices that lie on a straight edge between triangles\n"
     "flat within DEGREES (0 to 180), keeping texture seams closed. Sweeps repeat until one removes\n"
     "nothing, at most N with --sweeps. --discard-transparent first drops, in meshes with a texture,\n"
     "the triangles whose three corners all show alpha <= ALPHA (0 to 1). At least one of the two is\n"
     "needed. Prints the triangles and vertices before and after each step as it goes.\n"},
};

static const CommandHelp* localFindCommand(const char* name) {
    for (const CommandHelp& c : localCommands) {
        if (name != nullptr && strcmp(c.name, name) == 0) {
            return &c;
        }
    }
    return nullptr;
}

static const char* const localCommonHelp = "Options of every command:\n"
                                           "  -q           errors only: no warnings, no reports\n"
                                           "  -v           also the engine's progress traces\n"
                                           "  --strict     anything skipped or missing in the input is an error\n"
                                           "\n"
                                           "'-' as an output is standard output. An output is written whole or not\n"
                                           "at all; an output that is one of the inputs is refused.\n"
                                           "Exit status: 0 done, 1 failed or damaged input, 2 wrong usage.\n";

bool fxpackHelp(FILE* out, const char* command) {
    if (command == nullptr) {
        fputs("usage: ", out);
        for (size_t i = 0; i < sizeof(localCommands) / sizeof(localCommands[0]); i++) {
            fprintf(out, "%s%s\n", i == 0 ? "" : "       ", localCommands[i].usage);
        }
        fputs("       fxpack help [COMMAND]\n"
              "       fxpack --version\n"
              "\n"
              "Commands:\n"
              "  list     the entries of a package\n"
              "  extract  one entry's bytes\n"
              "  build    a package from a manifest\n"
              "  model    an OBJ file as a model\n"
              "  info     what a model holds\n"
              "  reduce   a model with fewer vertices\n"
              "\n",
              out);
        fputs(localCommonHelp, out);
        fputs("\n'fxpack help COMMAND' or 'fxpack COMMAND --help' tells more.\n", out);
        return true;
    }
    const CommandHelp* c = localFindCommand(command);
    if (c == nullptr) {
        return false;
    }
    fprintf(out, "usage: %s\n\n%s\n%s", c->usage, c->text, localCommonHelp);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Numbers

bool fxpackParseInt(const char* text, int* value) {
    if (text == nullptr || *text == 0) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (errno != 0 || *end != 0 || v < INT_MIN || v > INT_MAX || end == text) {
        return false;
    }
    *value = (int)v;
    return true;
}

bool fxpackParseFloat(const char* text, float low, float high, float* value) {
    if (text == nullptr || *text == 0) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    float v = strtof(text, &end);
    if (errno != 0 || *end != 0 || end == text || !std::isfinite(v) || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Inputs and outputs

namespace {
struct KnownInput {
    std::string path;
    tagFXFileId id;
};
} // namespace

static std::vector<KnownInput> localInputs;

bool fxpackCheckInput(const char* path) {
    int kind = fxGetFileKind(path);
    if (kind == FXFILE_FOLDER) {
        fxpackError("cannot read %s: it is a folder", path);
        return false;
    }
    // A pipe or device would hold the command until someone writes to it.
    if (kind == FXFILE_OTHER) {
        fxpackError("cannot read %s: it is not a plain file", path);
        return false;
    }
    FILE* f = kind == FXFILE_NONE ? nullptr : fopen(path, "rb");
    if (f == nullptr) {
        fxpackError("cannot read %s: %s", path, strerror(kind == FXFILE_NONE ? ENOENT : errno));
        return false;
    }
    fclose(f);
    return true;
}

void fxpackAddInput(const char* path) {
    KnownInput in;
    if (path != nullptr && fxGetFileId(path, &in.id)) {
        in.path = path;
        localInputs.push_back(in);
    }
}

// output: as the user named it; target: the file itself.
static bool localRefuseInput(const char* output, const char* target) {
    tagFXFileId id;
    if (strcmp(target, "-") == 0 || !fxGetFileId(target, &id)) {
        return true;
    }
    for (const KnownInput& in : localInputs) {
        if (fxSameFileId(in.id, id)) {
            if (in.path == output) {
                fxpackError("refusing to write %s: it is an input of the command", output);
            } else {
                fxpackError("refusing to write %s: it is the same file as the input %s", output, in.path.c_str());
            }
            return false;
        }
    }
    return true;
}

// Why an output cannot be made, in the user's words.
static std::string localOutputReason(const char* path, int error) {
    if (error == ENOENT || error == ENOTDIR) {
        std::string p(path);
        size_t slash = p.find_last_of('/');
        std::string folder = slash == std::string::npos ? std::string(".") : p.substr(0, slash + 1);
        return "there is no folder " + folder;
    }
    if (error == EISDIR) {
        return "it is a folder";
    }
    return strerror(error);
}

bool fxpackCreateOutput(FXOutFile* out, const char* path) {
    fxInstallCleanupHandlers();
    if (!localRefuseInput(path, path)) {
        return false;
    }
    if (!out->Create(path)) {
        fxpackError("cannot write %s: %s", path, localOutputReason(path, errno).c_str());
        return false;
    }
    if (strcmp(path, "-") == 0) {
        localStdoutTaken = true;
    }
    return true;
}

bool fxpackCheckOutputAgain(const FXOutFile* out) {
    return localRefuseInput(out->GetPath(), out->GetTarget());
}

bool fxpackCommitOutput(FXOutFile* out) {
    if (!localRefuseInput(out->GetPath(), out->GetTarget())) {
        out->Discard();
        return false;
    }
    if (!out->Commit()) {
        fxpackError("cannot write %s: %s", out->GetPath(), strerror(errno));
        return false;
    }
    return true;
}

bool fxpackWriteOutput(FXOutFile* out, const void* bytes, size_t size) {
    FILE* f = fopen(out->GetTmpPath(), "wb");
    bool ok = f != nullptr && (size == 0 || fwrite(bytes, 1, size, f) == size);
    int saved = errno;
    ok = f != nullptr && fclose(f) == 0 && ok;
    if (!ok) {
        fxpackError("cannot write %s: %s", out->GetPath(), strerror(saved != 0 ? saved : EIO));
        out->Discard();
        return false;
    }
    return fxpackCommitOutput(out);
}

// ---------------------------------------------------------------------------------------------
// Entry

namespace {
struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};
} // namespace

static const Command localRunners[] = {
    {"list", fxpackList},   {"extract", fxpackExtract}, {"build", fxpackBuild},
    {"model", fxpackModel}, {"info", fxpackInfo},       {"reduce", fxpackReduce},
};

static bool localWantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

int main(int argc, char** argv) {
    fxSetTraceSink(localTraceSink);
    // Common options may come before the command too.
    while (argc > 1 && fxpackCommonOption(argv[1])) {
        argv[1] = argv[0];
        argv++;
        argc--;
    }
    if (argc < 2) {
        return fxpackUsageError(nullptr, "no command given");
    }
    const char* command = argv[1];
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0) {
        fxpackHelp(stdout, nullptr);
        return FXPACK_OK;
    }
    if (strcmp(command, "--version") == 0) {
        printf("fxpack %s\n", FXPACK_VERSION);
        return FXPACK_OK;
    }
    if (strcmp(command, "help") == 0) {
        if (argc > 3) {
            return fxpackUsageError("help", "help takes at most one command");
        }
        if (!fxpackHelp(stdout, argc == 3 ? argv[2] : nullptr)) {
            return fxpackUsageError(nullptr, "unknown command '%s'", argv[2]);
        }
        return FXPACK_OK;
    }
    for (const Command& c : localRunners) {
        if (strcmp(command, c.name) == 0) {
            if (localWantsHelp(argc, argv)) {
                fxpackHelp(stdout, command);
                return FXPACK_OK;
            }
            // Each command sees its own arguments from argv[0] on.
            int status = c.run(argc - 1, argv + 1);
            localClearProgress();
            return status;
        }
    }
    return fxpackUsageError(nullptr, "unknown command '%s'", command);
}
