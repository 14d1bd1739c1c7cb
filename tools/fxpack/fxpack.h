#ifndef FX_TOOLS_FXPACK_H
#define FX_TOOLS_FXPACK_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class FXPackage;
class FXOutFile;

#include "base/trace.h"

// Exit codes of every command.
#define FXPACK_OK 0
#define FXPACK_FAILED 1 // the command could not be carried out, or its input is damaged
#define FXPACK_USAGE 2  // the command line is wrong

#define FXPACK_VERSION "1.1"

// Options every command takes; set while the command line is read, read everywhere after.
struct tagFXPackOptions {
    int verbosity = 1; // 0 -q: errors only; 1: warnings too; 2 -v: the engine's progress traces too
    bool strict = false;
};
extern tagFXPackOptions fxpackOptions;

// Takes -q, -v and --strict; false for any other argument.
bool fxpackCommonOption(const char* arg);

// "fxpack: " and the message on standard error.
void fxpackError(const char* format, ...) FX_PRINTF(1, 2);
// "fxpack: warning: " and the message, unless -q.
void fxpackWarning(const char* format, ...) FX_PRINTF(1, 2);
// A report line of what a command did, unless -q: on standard output, or on standard error
// while standard output carries a written file.
void fxpackReport(const char* format, ...) FX_PRINTF(1, 2);
// A line of progress, only on a terminal and unless -q: drawn in place, cleared by the next
// report, warning or error.
void fxpackProgress(const char* format, ...) FX_PRINTF(1, 2);
// The message, then where help is; answers FXPACK_USAGE.
int fxpackUsageError(const char* command, const char* format, ...) FX_PRINTF(2, 3);
// Collects the plain arguments of a command that takes no options of its own besides the common
// ones: at most max of them into args. Answers FXPACK_OK, or FXPACK_USAGE after saying why;
// takes is what the command takes, for the message ("one package").
int fxpackPlainArgs(const char* command, const char* takes, int argc, char** argv, int max, const char** args,
                    int* count);
// Prints the help of command (null: the overview) to out; false for an unknown command.
bool fxpackHelp(FILE* out, const char* command);

// Parses a whole decimal int; false for anything else.
bool fxpackParseInt(const char* text, int* value);
// Parses a whole decimal number that is finite and within [low, high].
bool fxpackParseFloat(const char* text, float low, float high, float* value);

// Checks that an input can be read; says "cannot read PATH: reason" when not.
bool fxpackCheckInput(const char* path);
// Inputs of the running command: an output naming one of them is refused.
void fxpackAddInput(const char* path);
// Prepares an output: refused, with a one-line reason, when it is one of the inputs, a folder,
// or its folder is missing. Registers the temporary file for clean-up on signals.
bool fxpackCreateOutput(FXOutFile* out, const char* path);
// Checks out against inputs added since it was created (libraries, textures).
bool fxpackCheckOutputAgain(const FXOutFile* out);
bool fxpackCommitOutput(FXOutFile* out);
// Writes bytes to a created output and commits it.
bool fxpackWriteOutput(FXOutFile* out, const void* bytes, size_t size);

// Engine traces while a step runs: err lines are collected into lines and, when show, printed as
// the default sink does (unless -q). Captures do not nest.
void fxpackBeginCapture(std::vector<std::string>* lines, bool show);
void fxpackEndCapture();

// Whether the first n characters of a and b match, case aside (ASCII).
bool fxpackSameNoCase(const char* a, const char* b, size_t n);

// Picture kinds: image library type codes (FXDATA_...) from a file's first bytes and from its
// extension, FXDATA_OTHER for none; the kind's name ("JPEG", "data").
int fxpackKindFromBytes(const uint8_t* head, size_t size);
int fxpackKindFromExt(const std::string& path);
bool fxpackLooksLikeTga(const uint8_t* head, size_t size);
const char* fxpackKindName(int code);
// The type code a source file gets in a package, with a warning where the bytes and the name
// disagree; false, with an error, when the name promises a picture its bytes are not. where
// prefixes the messages ("manifest:line: "), which name the file as shown.
bool fxpackSourceKind(const std::string& path, const std::string& where, const std::string& shown, int* code);

// Loads a package for reading and adds it to the inputs; says why when it cannot. wholeOnly:
// entries cut off by damage make it fail.
bool fxpackLoadPackage(FXPackage* pkg, const char* path, bool wholeOnly);
// The reader of entry id, or null with a message.
class FXPackageData;
FXPackageData* fxpackGetEntry(FXPackage* pkg, const char* path, int id);

int fxpackList(int argc, char** argv);
int fxpackExtract(int argc, char** argv);
int fxpackBuild(int argc, char** argv);
int fxpackModel(int argc, char** argv);
int fxpackInfo(int argc, char** argv);
int fxpackReduce(int argc, char** argv);

// Whether a source file is an OBJ model (by its extension).
bool fxpackIsObj(const std::string& path);
// One OBJ entry of a build: imports the file, queues its material library and textures with the
// package (ids above the fixed ones; workFolder takes the library while the package is written)
// and writes the model to modelPath. The image library must be bound for textures to be read.
bool fxpackCompileObj(FXPackage* pkg, const std::string& objPath, int id, const std::string& workFolder,
                      const std::string& modelPath);

#endif
