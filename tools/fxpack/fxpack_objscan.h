#ifndef FX_TOOLS_FXPACK_OBJSCAN_H
#define FX_TOOLS_FXPACK_OBJSCAN_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "io/textreader.h"

// Causes of skipped OBJ statements, in the order the summary lists them.
enum {
    FXOBJSCAN_NOT_A_STATEMENT,
    FXOBJSCAN_BAD_NUMBER,
    FXOBJSCAN_BAD_CORNER,
    FXOBJSCAN_BAD_INDEX,
    FXOBJSCAN_TOO_FEW,
    FXOBJSCAN_UNKNOWN_MATERIAL, // filled by the caller, which knows the library
    FXOBJSCAN_UNUSED,           // known statements the engine ignores: told, never an error
    FXOBJSCAN_CAUSES
};

// What an OBJ file holds that the import skips, found by reading its text line by line.
class FXPackObjScan {
public:
    struct Cause {
        int count = 0;
        std::vector<int> lines; // the first few
    };
    Cause causes[FXOBJSCAN_CAUSES];
    std::vector<std::pair<std::string, int>> usemtls; // each material name with its first line
    bool binary = false;                              // not text at all
    int64_t faces = 0;                                // triangles the good faces make
    const char* text = nullptr;                       // the file, terminated, for the import to parse
    size_t size = 0;                                  // characters before the terminator

    FXPackObjScan() = default;
    ~FXPackObjScan();
    FXPackObjScan(const FXPackObjScan&) = delete;
    FXPackObjScan& operator=(const FXPackObjScan&) = delete;

    // Reads the file once, whole, keeps its text and tells binary from text. False when it
    // cannot be read (errno tells why).
    bool Read(const std::string& path);
    // Counts what the import will skip. It only reads the text, so it may run beside the import
    // parsing the same text.
    void Count();
    // Lets go of the text.
    void Release();
    void Note(int cause, int line);
    // Statements skipped, the ignored ones not counted.
    int Skipped() const;
    // "lines 3, 7, ..." of a cause.
    std::string Lines(int cause) const;
    static const char* CauseText(int cause);

private:
    FXTextReader read; // the text
};

#endif
