#ifndef FX_IO_PACKAGE_H
#define FX_IO_PACKAGE_H

#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

// Data-type codes of package entries: the picture codes of the image library, -1 for the rest.
#define FXDATA_JPG 1061
#define FXDATA_PNG 1066
#define FXDATA_TGA 1069
#define FXDATA_BMP 1056
#define FXDATA_GIF 1078
#define FXDATA_TIF 1070
#define FXDATA_PNM 1067
#define FXDATA_DDS 1079
#define FXDATA_PSD 1081
#define FXDATA_HDR 1087
#define FXDATA_OTHER (-1)

// Bit 0 of FXPackage::Save's flags.
#define FXPACKAGE_SCRAMBLE 1

// Name -> id table for building packages: the id of the name at position i is i + baseId.
class FXNameServer {
public:
    FXStrArray names;
    int32_t baseId;

    FXNameServer();
    ~FXNameServer();
    FXNameServer(const FXNameServer&) = delete;
    FXNameServer& operator=(const FXNameServer&) = delete;

    // The name's id, registering it first when it is new; -1 when no id is left.
    int BuildId(const char* name);
    // The registered name's id, or -1.
    int FindId(const char* name) const;
    void Destroy();
};

// Sequential little-endian reader over a block it does not own. A read that does not fit reads
// nothing, leaves the cursor where it is and answers the neutral value (0, false, null, empty).
class FXPackageData {
public:
    uint8_t* start;
    int32_t total;
    uint8_t* cursor;
    int32_t remaining;

    FXPackageData();

    void InitData(void* block, int size);
    void Reseek();
    void* ReadBlc(int n);
    void* ReadCopyBlc(void* dst, int n);
    bool ReadBool();
    int ReadInt();
    void WriteInt(int v);
    float ReadFloat();
    void ReadFloat4(float* dst);
    double ReadDouble();
    // Stored form of FXStr. A length beyond the bytes left is damage: nothing is read. A length
    // beyond the string's capacity keeps the first 1023 characters and skips the rest.
    void ReadString(FXStr* s);
    // The array is read whole or not at all: damage anywhere leaves it empty and the cursor in place.
    void ReadStringArray(FXStrArray* a);
    void ReadArray(FXArray* a);
    // Needs room for the count and every value; otherwise nothing is written.
    void WriteArray(const FXArray* a);
    void ReadFloatArray(FXFloatArray* a);
};

// The asset package: every entry's bytes in one block, addressed by numeric ids, plus the
// building side (queued files, name server, scrambling, names file and header).
class FXPackage {
public:
    FXNameServer nameServer;
    uint8_t* dataBlock;
    int32_t dataSize;
    FXArray entryIds;
    FXArray entryOffsets;
    FXArray entrySizes;
    FXArray entryTypes;
    FXArray readers; // owned FXPackageData*, one per entry
    FXArray pendingIds;
    FXStrArray pendingFiles;
    // Type codes of the queued files by position, for builders that know better than the
    // extension; a queued file beyond its size gets the code of its extension.
    FXArray pendingTypes;
    FXStrArray tmpFiles;
    FXStr workFolder;
    // The allocation dataBlock lives in: after Load the whole file, so entries are served from
    // the buffer the file was read into without a second copy.
    uint8_t* dataAlloc;
    // Entries the last Load refused because they reach outside the data block.
    int32_t badEntries;

    FXPackage();
    ~FXPackage();
    FXPackage(const FXPackage&) = delete;
    FXPackage& operator=(const FXPackage&) = delete;

    // False when the file cannot be read, is no package or its entry lists are damaged (the
    // package is then empty). Single entries that reach outside the data block are dropped.
    bool Load(const char* path);
    // False when a queued file cannot be read or the file cannot be written; the package, its
    // queue and the file at path are then as they were.
    bool Save(const char* path, int flags);
    FXPackageData* GetDataPtr(int id);
    int GetDataType(int id) const;
    void AddDataFile1(FXStr* name);
    void AddDataFile(int id, const char* path);
    void RecompClasses();
    void AddTmpFile(const char* path);
    void DeleteTmpFiles();
    bool SaveNames(const char* path) const;
    bool LoadNames(const char* path);
    bool SaveNamesCpp(const char* path) const;
    void Destroy();

    int GetEntryCount() const { return entryIds.size; }
    int FindEntry(int id) const; // position of the first entry with that id, or -1

private:
    void DeleteReaders();
    bool SaveEntries(const char* path, int flags);
};

// Data-type code chosen by the file's extension, as Save does.
int fxGetDataTypeFromPath(const char* path);
// The square transposition that scrambles and unscrambles a package body (its own inverse).
void fxTransposeBody(uint8_t* body, int size);
// The id a C loader takes as text: decimal as "%d" reads it (leading blanks, a sign, digits;
// anything after them ignored). False when there are no digits or the number does not fit an int.
bool fxParseId(const char* text, int* id);

#endif
