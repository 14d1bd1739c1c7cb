#ifndef FX_TOOLS_FXPACK_H
#define FX_TOOLS_FXPACK_H

#include <cstdio>
#include <string>

class FXPackage;

#include "base/trace.h"

// Exit codes of every command.
#define FXPACK_OK 0
#define FXPACK_FAILED 1 // the command could not be carried out
#define FXPACK_USAGE 2  // the command line is wrong

// "fxpack: " and the message on standard error.
void fxpackError(const char* format, ...) FX_PRINTF(1, 2);
void fxpackUsage(FILE* out);
// fxpackError, then the usage on standard error; answers FXPACK_USAGE.
int fxpackUsageError(const char* format, ...) FX_PRINTF(1, 2);
// Parses a whole decimal int; false for anything else.
bool fxpackParseInt(const char* text, int* value);
// Moves the finished file tmp over path; when it cannot, says why and removes tmp.
bool fxpackReplaceFile(const std::string& tmp, const std::string& path);
// Writes bytes beside path and renames them over it, so path is never left half-written.
bool fxpackWriteFile(const std::string& path, const void* bytes, size_t size);

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
