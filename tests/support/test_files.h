#ifndef FX_TESTS_SUPPORT_TEST_FILES_H
#define FX_TESTS_SUPPORT_TEST_FILES_H

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class FXTestDir {
public:
    std::string path;

    FXTestDir();
    ~FXTestDir();
    FXTestDir(const FXTestDir&) = delete;
    FXTestDir& operator=(const FXTestDir&) = delete;

    std::string File(const std::string& name) const { return path + "/" + name; }
};

typedef std::vector<uint8_t> FXBytes;

bool fxTestWriteFile(const std::string& path, const FXBytes& bytes);
bool fxTestWriteText(const std::string& path, const std::string& text);
// False when the file cannot be read; bytes then stays empty.
bool fxTestReadFile(const std::string& path, FXBytes* bytes);
bool fxTestFileExists(const std::string& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> fxTestListDir(const std::string& path);

// Little-endian builders for hand-made records.
void fxTestPutI32(FXBytes* out, int32_t v);
void fxTestPutF32(FXBytes* out, float v);
void fxTestPutF64(FXBytes* out, double v);
void fxTestPutStr(FXBytes* out, const std::string& s); // 32-bit length, then the characters
void fxTestPutBytes(FXBytes* out, const FXBytes& bytes);
int32_t fxTestGetI32(const FXBytes& bytes, size_t offset);

// The whole file as text; empty when it cannot be read.
std::string fxTestReadText(const std::string& path);
// A trace file as text with its lines ending in "\n" on every platform (Windows writes "\r\n").
std::string fxTestReadTrace(const std::string& path);

// What a program run by fxTestRunTool printed and how it ended.
struct FXTestRun {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};
// Runs program with args in the folder dir, no standard input, both outputs captured. envPrefix
// (e.g. "TMPDIR=/x ") goes before the program on the command line.
FXTestRun fxTestRunTool(const std::string& program, const FXTestDir& dir, const std::vector<std::string>& args,
                        const std::string& envPrefix = "");

// Deterministic filler bytes.
FXBytes fxTestPattern(size_t size, uint32_t seed);

#endif
