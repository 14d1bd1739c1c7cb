// fxpack: command-line tool that builds, lists and unpacks asset packages and makes models.

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "base/stream.h"
#include "fxpack.h"

static void localError(const char* format, va_list args) {
    fputs("fxpack: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}

void fxpackError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    localError(format, args);
    va_end(args);
}

int fxpackUsageError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    localError(format, args);
    va_end(args);
    fxpackUsage(stderr);
    return FXPACK_USAGE;
}

void fxpackUsage(FILE* out) {
    fputs("usage: fxpack list PACKAGE\n"
          "       fxpack extract PACKAGE ID FILE\n"
          "       fxpack build MANIFEST -o PACKAGE [--scramble] [--names FILE] [--header FILE]\n"
          "       fxpack model OBJ -o MODEL\n"
          "       fxpack info MODEL | PACKAGE ID\n"
          "       fxpack reduce MODEL | PACKAGE ID -o MODEL [--tolerance DEGREES] [--sweeps N]\n"
          "                     [--discard-transparent ALPHA]\n"
          "       fxpack --help\n"
          "\n"
          "list     prints one line per entry: id, offset, size, type code and type name\n"
          "         (jpg, png, tga, bmp, gif, or data for records, models and libraries).\n"
          "extract  writes the bytes of the entry with that id to FILE.\n"
          "build    makes a package from a manifest: one entry per line, the entry's id and then\n"
          "         the source file, relative to the manifest's folder. Blank lines and lines\n"
          "         starting with # are skipped. Entries keep the manifest's order; pictures get\n"
          "         their type code from the extension. Ids run from 0 to 2147483646; names that\n"
          "         compilers register get ids above the highest id of the manifest.\n"
          "         An OBJ source (.obj) is imported and stored as a model under its id; its\n"
          "         material library and the library's textures become entries of their own.\n"
          "         --scramble   writes the scrambled form of the package\n"
          "         --names F    writes the names file of the registered names to F\n"
          "         --header F   writes the names header (#define lines) to F\n"
          "model    imports an OBJ file (its mtllib and textures relative to its folder) and\n"
          "         writes it as an xm03 model.\n"
          "info     describes a model file, or the model entry ID of a package: format, name,\n"
          "         library, meshes, materials, vertices, triangles, render classes, then one\n"
          "         line per mesh.\n"
          "reduce   reads a model file, or the model entry ID of a package, and writes it as an\n"
          "         xm03 model with fewer vertices: each sweep drops the vertices that lie on a\n"
          "         straight edge between triangles flat within DEGREES, keeping texture seams\n"
          "         closed. Sweeps repeat until one removes nothing, at most N with --sweeps.\n"
          "         --discard-transparent first drops, in meshes with a texture, the triangles\n"
          "         whose three corners all show alpha <= ALPHA. Prints the triangles and\n"
          "         vertices before and after each step.\n"
          "\n"
          "Nothing is written when a command fails. Exit status: 0 done, 1 failed, 2 wrong usage.\n",
          out);
}

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

bool fxpackReplaceFile(const std::string& tmp, const std::string& path) {
    if (!fxReplaceFile(tmp.c_str(), path.c_str())) {
        fxpackError("cannot replace %s: %s", path.c_str(), strerror(errno));
        remove(tmp.c_str());
        return false;
    }
    return true;
}

bool fxpackWriteFile(const std::string& path, const void* bytes, size_t size) {
    std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (f == nullptr) {
        fxpackError("cannot create %s: %s", tmp.c_str(), strerror(errno));
        return false;
    }
    bool ok = size == 0 || fwrite(bytes, 1, size, f) == size;
    ok = fxCloseWritten(f) && ok;
    if (!ok) {
        fxpackError("cannot write %s", tmp.c_str());
        remove(tmp.c_str());
        return false;
    }
    return fxpackReplaceFile(tmp, path);
}

static bool localWantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fxpackUsage(stderr);
        return FXPACK_USAGE;
    }
    if (localWantsHelp(argc, argv)) {
        fxpackUsage(stdout);
        return FXPACK_OK;
    }
    const char* command = argv[1];
    // Each command sees its own arguments from argv[0] on.
    if (strcmp(command, "list") == 0) {
        return fxpackList(argc - 1, argv + 1);
    }
    if (strcmp(command, "extract") == 0) {
        return fxpackExtract(argc - 1, argv + 1);
    }
    if (strcmp(command, "build") == 0) {
        return fxpackBuild(argc - 1, argv + 1);
    }
    if (strcmp(command, "model") == 0) {
        return fxpackModel(argc - 1, argv + 1);
    }
    if (strcmp(command, "reduce") == 0) {
        return fxpackReduce(argc - 1, argv + 1);
    }
    if (strcmp(command, "info") == 0) {
        return fxpackInfo(argc - 1, argv + 1);
    }
    return fxpackUsageError("unknown command '%s'", command);
}
