#include "io/package.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "base/stream.h"
#include "base/trace.h"

#define PACKAGE_MAGIC "pck01"
#define PACKAGE_MAGIC_LEN 5

// ---------------------------------------------------------------------------------------------
// Little-endian fields in memory

static int32_t localGetI32(const uint8_t* p) {
    return (int32_t)fxGetLE32(p);
}

static float localGetF32(const uint8_t* p) {
    uint32_t v = fxGetLE32(p);
    float f;
    memcpy(&f, &v, 4);
    return f;
}

static double localGetF64(const uint8_t* p) {
    uint64_t v = (uint64_t)fxGetLE32(p) | ((uint64_t)fxGetLE32(p + 4) << 32);
    double d;
    memcpy(&d, &v, 8);
    return d;
}

// ---------------------------------------------------------------------------------------------
// FXNameServer

FXNameServer::FXNameServer() : baseId(0) {}

FXNameServer::~FXNameServer() {
    Destroy();
}

int FXNameServer::BuildId(const char* name) {
    int pos = names.Findpos(name);
    if (pos >= 0) {
        return pos + baseId;
    }
    if ((int64_t)names.size + baseId > INT32_MAX) {
        err("FXNameServer::BuildId: no id left for %s\n", name != nullptr ? name : "");
        return -1;
    }
    names.Push(name);
    return names.size - 1 + baseId;
}

int FXNameServer::FindId(const char* name) const {
    int pos = names.Findpos(name);
    if (pos < 0) {
        return -1;
    }
    return pos + baseId;
}

void FXNameServer::Destroy() {
    names.DestroyBuf();
    baseId = 0;
}

// ---------------------------------------------------------------------------------------------
// FXPackageData

FXPackageData::FXPackageData() : start(nullptr), total(0), cursor(nullptr), remaining(0) {}

void FXPackageData::InitData(void* block, int size) {
    if (block == nullptr || size < 0) {
        size = 0;
    }
    start = (uint8_t*)block;
    cursor = start;
    total = size;
    remaining = size;
}

void FXPackageData::Reseek() {
    cursor = start;
    remaining = total;
}

void* FXPackageData::ReadBlc(int n) {
    if (n < 0 || n > remaining || cursor == nullptr) {
        return nullptr;
    }
    uint8_t* p = cursor;
    cursor += n;
    remaining -= n;
    return p;
}

void* FXPackageData::ReadCopyBlc(void* dst, int n) {
    if (dst == nullptr) {
        return nullptr;
    }
    void* p = ReadBlc(n);
    if (p != nullptr && n > 0) {
        memcpy(dst, p, n);
    }
    return p;
}

bool FXPackageData::ReadBool() {
    const uint8_t* p = (const uint8_t*)ReadBlc(1);
    return p != nullptr && *p == 1;
}

int FXPackageData::ReadInt() {
    const uint8_t* p = (const uint8_t*)ReadBlc(4);
    return p != nullptr ? localGetI32(p) : 0;
}

void FXPackageData::WriteInt(int v) {
    uint8_t* p = (uint8_t*)ReadBlc(4);
    if (p != nullptr) {
        fxPutLE32(p, (uint32_t)v);
    }
}

float FXPackageData::ReadFloat() {
    const uint8_t* p = (const uint8_t*)ReadBlc(4);
    return p != nullptr ? localGetF32(p) : 0.0f;
}

void FXPackageData::ReadFloat4(float* dst) {
    const uint8_t* p = (const uint8_t*)ReadBlc(16);
    if (p == nullptr || dst == nullptr) {
        return;
    }
    for (int i = 0; i < 4; i++) {
        dst[i] = localGetF32(p + 4 * i);
    }
}

double FXPackageData::ReadDouble() {
    const uint8_t* p = (const uint8_t*)ReadBlc(8);
    return p != nullptr ? localGetF64(p) : 0.0;
}

// The count of a stored list, when the list can fit in what is left behind it: every item takes
// at least minItemSize bytes. Negative counts read as 0, as the containers' own loaders do.
// False, with the cursor untouched, when there is no count or the count cannot fit.
static bool localReadCount(FXPackageData* d, int minItemSize, int* count, const char* what) {
    if (d->remaining < 4) {
        return false;
    }
    int n = localGetI32(d->cursor);
    if (n > (d->remaining - 4) / minItemSize) {
        err("%s: count %d does not fit the %d bytes left\n", what, n, d->remaining - 4);
        return false;
    }
    d->cursor += 4;
    d->remaining -= 4;
    *count = n > 0 ? n : 0;
    return true;
}

// Reads one stored string; false on damage (a length beyond the bytes left), which reads nothing.
static bool localReadString(FXPackageData* d, FXStr* s) {
    s->Clear();
    if (d->remaining < 4) {
        return false;
    }
    int n = localGetI32(d->cursor);
    if (n > d->remaining - 4) {
        err("FXPackageData::ReadString: length %d does not fit the %d bytes left\n", n, d->remaining - 4);
        return false;
    }
    d->cursor += 4;
    d->remaining -= 4;
    if (n <= 0) {
        return true;
    }
    int kept = n;
    if (kept > FXSTR_CAPACITY - 1) {
        err("FXPackageData::ReadString: length %d cut to %d characters\n", n, FXSTR_CAPACITY - 1);
        kept = FXSTR_CAPACITY - 1;
    }
    memcpy(s->chars, d->cursor, kept);
    s->chars[kept] = 0;
    s->length = kept;
    d->cursor += n;
    d->remaining -= n;
    return true;
}

void FXPackageData::ReadString(FXStr* s) {
    if (s != nullptr) {
        localReadString(this, s);
    }
}

static bool localReadStringArray(FXPackageData* d, FXStrArray* a) {
    a->DestroyBuf();
    uint8_t* mark = d->cursor;
    int32_t markRemaining = d->remaining;
    int count;
    if (!localReadCount(d, 4, &count, "FXPackageData::ReadStringArray")) {
        return false;
    }
    if (count > 0) {
        a->Realloc(count);
    }
    FXStr s;
    for (int i = 0; i < count; i++) {
        if (a->capacity < count || !localReadString(d, &s)) {
            err("FXPackageData::ReadStringArray: string %d of %d cannot be read\n", i, count);
            a->DestroyBuf();
            d->cursor = mark;
            d->remaining = markRemaining;
            return false;
        }
        a->Push(s.chars);
    }
    return true;
}

void FXPackageData::ReadStringArray(FXStrArray* a) {
    if (a != nullptr) {
        localReadStringArray(this, a);
    }
}

static bool localReadIntArray(FXPackageData* d, FXArray* a, const char* what) {
    a->DestroyBuf();
    int count;
    if (!localReadCount(d, 4, &count, what)) {
        return false;
    }
    if (count > 0) {
        a->Realloc(count);
        if (a->capacity < count) {
            err("%s: no memory for %d values\n", what, count);
            d->cursor -= 4;
            d->remaining += 4;
            return false;
        }
    }
    for (int i = 0; i < count; i++) {
        a->PushInt(localGetI32(d->cursor));
        d->cursor += 4;
        d->remaining -= 4;
    }
    return true;
}

void FXPackageData::ReadArray(FXArray* a) {
    if (a != nullptr) {
        localReadIntArray(this, a, "FXPackageData::ReadArray");
    }
}

void FXPackageData::WriteArray(const FXArray* a) {
    if (a == nullptr) {
        return;
    }
    int n = a->elements != nullptr && a->size > 0 ? a->size : 0;
    if ((int64_t)n * 4 + 4 > remaining) {
        return;
    }
    WriteInt(n);
    for (int i = 0; i < n; i++) {
        WriteInt(a->GetInt(i));
    }
}

void FXPackageData::ReadFloatArray(FXFloatArray* a) {
    if (a == nullptr) {
        return;
    }
    a->DestroyBuf();
    int count;
    if (!localReadCount(this, 4, &count, "FXPackageData::ReadFloatArray")) {
        return;
    }
    if (count > 0) {
        a->Realloc(count);
        if (a->capacity < count) {
            err("FXPackageData::ReadFloatArray: no memory for %d values\n", count);
            cursor -= 4;
            remaining += 4;
            return;
        }
    }
    for (int i = 0; i < count; i++) {
        a->Push(localGetF32(cursor));
        cursor += 4;
        remaining -= 4;
    }
}

// ---------------------------------------------------------------------------------------------
// Type codes and the scrambling transposition

static bool localSameNoCase(const char* a, const char* b) {
    for (; *a != 0 && *b != 0; a++, b++) {
        char ca = *a >= 'A' && *a <= 'Z' ? (char)(*a - 'A' + 'a') : *a;
        char cb = *b >= 'A' && *b <= 'Z' ? (char)(*b - 'A' + 'a') : *b;
        if (ca != cb) {
            return false;
        }
    }
    return *a == 0 && *b == 0;
}

int fxGetDataTypeFromPath(const char* path) {
    if (path == nullptr) {
        return FXDATA_OTHER;
    }
    // The extension is what follows the last dot of the file name; a dot in a folder name
    // never counts, so a bare "a.JPG" and "pictures.v2/earth" are both read right.
    const char* ext = nullptr;
    for (int i = (int)strlen(path) - 1; i >= 0 && path[i] != '/' && path[i] != '\\'; i--) {
        if (path[i] == '.') {
            ext = path + i + 1;
            break;
        }
    }
    if (ext == nullptr || *ext == 0) {
        return FXDATA_OTHER;
    }
    static const struct {
        const char* ext;
        int code;
    } types[] = {
        {"jpg", FXDATA_JPG}, {"png", FXDATA_PNG}, {"tga", FXDATA_TGA}, {"bmp", FXDATA_BMP}, {"gif", FXDATA_GIF},
    };
    for (const auto& t : types) {
        if (localSameNoCase(ext, t.ext)) {
            return t.code;
        }
    }
    return FXDATA_OTHER;
}

static int localSquareSide(int size) {
    int64_t n = (int64_t)sqrt((double)size);
    while (n * n > size) {
        n--;
    }
    while ((n + 1) * (n + 1) <= size) {
        n++;
    }
    return (int)n;
}

void fxTransposeBody(uint8_t* body, int size) {
    if (body == nullptr || size < 4) {
        return;
    }
    const size_t n = (size_t)localSquareSide(size);
    // Tiles keep both the rows and the columns being swapped in cache on large bodies; 256 bytes
    // (64 KiB tiles) measured fastest on a 200 MB body.
    const size_t tile = 256;
    for (size_t bi = 0; bi < n; bi += tile) {
        size_t ie = bi + tile < n ? bi + tile : n;
        for (size_t bj = bi; bj < n; bj += tile) {
            size_t je = bj + tile < n ? bj + tile : n;
            for (size_t i = bi; i < ie; i++) {
                for (size_t j = (bi == bj ? i + 1 : bj); j < je; j++) {
                    uint8_t t = body[i * n + j];
                    body[i * n + j] = body[j * n + i];
                    body[j * n + i] = t;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// FXPackage

FXPackage::FXPackage() : dataBlock(nullptr), dataSize(0), dataAlloc(nullptr), badEntries(0) {}

FXPackage::~FXPackage() {
    Destroy();
}

void FXPackage::DeleteReaders() {
    for (int i = 0; i < readers.size; i++) {
        delete (FXPackageData*)readers.elements[i];
    }
    readers.RemoveAll();
}

void FXPackage::Destroy() {
    DeleteReaders();
    free(dataAlloc);
    dataAlloc = nullptr;
    dataBlock = nullptr;
    dataSize = 0;
    entryIds.RemoveAll();
    entryOffsets.RemoveAll();
    entrySizes.RemoveAll();
    entryTypes.RemoveAll();
    pendingIds.RemoveAll();
    pendingFiles.RemoveAll();
    pendingTypes.RemoveAll();
    tmpFiles.RemoveAll();
    badEntries = 0;
}

static bool localEntryFits(int offset, int size, int dataSize) {
    return offset >= 0 && size >= 0 && (int64_t)offset + size <= dataSize;
}

void FXPackage::RecompClasses() {
    DeleteReaders();
    int n = entryIds.size;
    if (entryOffsets.size < n) {
        n = entryOffsets.size;
    }
    if (entrySizes.size < n) {
        n = entrySizes.size;
    }
    readers.Realloc(n);
    for (int i = 0; i < n; i++) {
        FXPackageData* d = new FXPackageData();
        int offset = entryOffsets.GetInt(i);
        int size = entrySizes.GetInt(i);
        if (dataBlock != nullptr && localEntryFits(offset, size, dataSize)) {
            d->InitData(dataBlock + offset, size);
        } else if (size != 0) {
            err("FXPackage: entry %d (offset %d, size %d) lies outside the %d data bytes; it reads as empty\n",
                entryIds.GetInt(i), offset, size, dataSize);
        }
        readers.Push(d);
        if (readers.size != i + 1) {
            delete d; // no memory for the slot; the entry goes without a reader
            break;
        }
    }
}

int FXPackage::FindEntry(int id) const {
    for (int i = 0; i < entryIds.size; i++) {
        if (entryIds.GetInt(i) == id) {
            return i;
        }
    }
    return -1;
}

FXPackageData* FXPackage::GetDataPtr(int id) {
    int i = FindEntry(id);
    if (i < 0 || i >= readers.size) {
        return nullptr;
    }
    FXPackageData* d = (FXPackageData*)readers.elements[i];
    d->Reseek();
    return d;
}

int FXPackage::GetDataType(int id) const {
    int i = FindEntry(id);
    if (i < 0 || i >= entryTypes.size) {
        return FXDATA_OTHER;
    }
    return entryTypes.GetInt(i);
}

void FXPackage::AddDataFile1(FXStr* name) {
    if (name == nullptr || name->IsEmpty()) {
        return;
    }
    int pos = nameServer.names.Findpos(name->chars);
    if (pos < 0) {
        int before = nameServer.names.size;
        int id = nameServer.BuildId(name->chars);
        if (nameServer.names.size == before) {
            return; // no id left; BuildId has said so
        }
        AddDataFile(id, name->chars);
        pos = before;
    }
    name->Format("%d", pos + nameServer.baseId);
}

void FXPackage::AddDataFile(int id, const char* path) {
    pendingIds.PushInt(id);
    pendingFiles.Push(path);
}

void FXPackage::AddTmpFile(const char* path) {
    tmpFiles.Push(path);
}

void FXPackage::DeleteTmpFiles() {
    for (int i = 0; i < tmpFiles.size; i++) {
        if (tmpFiles.elements[i] != nullptr) {
            remove(tmpFiles.elements[i]);
        }
    }
    tmpFiles.RemoveAll();
}

// Length of a file, or -1 when it cannot be opened or is too long for a package.
static int64_t localFileSize(FILE* f) {
    if (fseek(f, 0, SEEK_END) != 0) {
        return -1;
    }
    long size = ftell(f);
    if (size < 0 || fseek(f, 0, SEEK_SET) != 0) {
        return -1;
    }
    return (int64_t)size;
}

bool FXPackage::Load(const char* path) {
    Destroy();
    if (path == nullptr) {
        return false;
    }
    FILE* f = fopen(path, "rb");
    if (f == nullptr) {
        err("FXPackage::Load: cannot open %s\n", path);
        return false;
    }
    int64_t fileSize = localFileSize(f);
    uint8_t head[4];
    if (fileSize < 4 + PACKAGE_MAGIC_LEN || fread(head, 1, 4, f) != 4) {
        fclose(f);
        return false;
    }
    // Magic: the stored form of a short string starting with "pck01".
    int magicLen = localGetI32(head);
    char magic[FXSTR_CAPACITY];
    if (magicLen < PACKAGE_MAGIC_LEN || magicLen > FXSTR_CAPACITY - 1 || magicLen > fileSize - 4 ||
        fread(magic, 1, magicLen, f) != (size_t)magicLen || memcmp(magic, PACKAGE_MAGIC, PACKAGE_MAGIC_LEN) != 0) {
        fclose(f);
        return false;
    }
    bool scrambled = memchr(magic + PACKAGE_MAGIC_LEN, 's', magicLen - PACKAGE_MAGIC_LEN) != nullptr;

    int64_t bodySize = fileSize - 4 - magicLen;
    if (bodySize > INT32_MAX) {
        err("FXPackage::Load: %s: body of %lld bytes is too large\n", path, (long long)bodySize);
        fclose(f);
        return false;
    }
    uint8_t* file = (uint8_t*)malloc((size_t)fileSize);
    if (file == nullptr) {
        err("FXPackage::Load: %s: no memory for %lld bytes\n", path, (long long)fileSize);
        fclose(f);
        return false;
    }
    // One read of the whole file from its start, so the kernel copies between equally aligned
    // addresses; entries are then served from this buffer.
    size_t got = fseek(f, 0, SEEK_SET) == 0 ? fread(file, 1, (size_t)fileSize, f) : 0;
    fclose(f);
    if (got != (size_t)fileSize) {
        err("FXPackage::Load: %s: read %zu of %lld bytes\n", path, got, (long long)fileSize);
        free(file);
        return false;
    }
    uint8_t* body = file + 4 + magicLen;
    if (scrambled) {
        fxTransposeBody(body, (int)bodySize);
    }

    FXPackageData reader;
    reader.InitData(body, (int)bodySize);
    bool listsOk = localReadIntArray(&reader, &entryIds, "FXPackage::Load: ids") &&
                   localReadIntArray(&reader, &entryOffsets, "FXPackage::Load: offsets") &&
                   localReadIntArray(&reader, &entrySizes, "FXPackage::Load: sizes") &&
                   localReadIntArray(&reader, &entryTypes, "FXPackage::Load: types");
    if (!listsOk || entryOffsets.size != entryIds.size || entrySizes.size != entryIds.size ||
        entryTypes.size != entryIds.size) {
        err("FXPackage::Load: %s: damaged entry lists (%d ids, %d offsets, %d sizes, %d types)\n", path, entryIds.size,
            entryOffsets.size, entrySizes.size, entryTypes.size);
        free(file);
        Destroy();
        return false;
    }

    // Every stored id counts, refused ones too: names registered later must not reuse any.
    if (entryIds.size > 0) {
        int64_t largest = entryIds.GetInt(0);
        for (int i = 1; i < entryIds.size; i++) {
            if (entryIds.GetInt(i) > largest) {
                largest = entryIds.GetInt(i);
            }
        }
        nameServer.baseId = largest < INT32_MAX ? (int32_t)(largest + 1) : INT32_MAX;
    } else {
        nameServer.baseId = 0;
    }

    dataAlloc = file;
    dataBlock = reader.cursor;
    dataSize = reader.remaining;

    // An entry reaching outside the data block is dropped on its own; the others stay usable.
    int kept = 0;
    for (int i = 0; i < entryIds.size; i++) {
        int offset = entryOffsets.GetInt(i);
        int size = entrySizes.GetInt(i);
        if (!localEntryFits(offset, size, dataSize)) {
            err("FXPackage::Load: %s: entry %d (offset %d, size %d) lies outside the %d data bytes; dropped\n", path,
                entryIds.GetInt(i), offset, size, dataSize);
            badEntries++;
            continue;
        }
        entryIds.elements[kept] = entryIds.elements[i];
        entryOffsets.elements[kept] = entryOffsets.elements[i];
        entrySizes.elements[kept] = entrySizes.elements[i];
        entryTypes.elements[kept] = entryTypes.elements[i];
        kept++;
    }
    entryIds.size = kept;
    entryOffsets.size = kept;
    entrySizes.size = kept;
    entryTypes.size = kept;

    RecompClasses();
    return true;
}

// Writes the magic and the body (header lists, then data) to f; false on any write error.
static bool localWritePackage(FILE* f, bool scramble, const uint8_t* header, int headerSize, const uint8_t* data,
                              int dataSize) {
    uint8_t magic[4 + PACKAGE_MAGIC_LEN + 1];
    int magicLen = PACKAGE_MAGIC_LEN + (scramble ? 1 : 0);
    fxPutLE32(magic, (uint32_t)magicLen);
    memcpy(magic + 4, PACKAGE_MAGIC "s", magicLen);
    if (fwrite(magic, 1, 4 + magicLen, f) != (size_t)(4 + magicLen)) {
        return false;
    }
    if (!scramble) {
        return fwrite(header, 1, headerSize, f) == (size_t)headerSize &&
               (dataSize == 0 || fwrite(data, 1, dataSize, f) == (size_t)dataSize);
    }
    int bodySize = headerSize + dataSize;
    uint8_t* body = (uint8_t*)malloc(bodySize);
    if (body == nullptr) {
        return false;
    }
    memcpy(body, header, headerSize);
    if (dataSize > 0) {
        memcpy(body + headerSize, data, dataSize);
    }
    fxTransposeBody(body, bodySize);
    bool ok = fwrite(body, 1, bodySize, f) == (size_t)bodySize;
    free(body);
    return ok;
}

// The package is written beside the target and renamed over it, so the target is either the
// old file or the complete new one, never half-written.
static bool localWritePackageFile(const char* path, bool scramble, const uint8_t* header, int headerSize,
                                  const uint8_t* data, int dataSize) {
    size_t pathLen = strlen(path);
    char* tmpPath = (char*)malloc(pathLen + 5);
    if (tmpPath == nullptr) {
        return false;
    }
    memcpy(tmpPath, path, pathLen);
    memcpy(tmpPath + pathLen, ".tmp", 5);
    FILE* f = fopen(tmpPath, "wb");
    if (f == nullptr) {
        err("FXPackage::Save: cannot create %s\n", tmpPath);
        free(tmpPath);
        return false;
    }
    bool ok = localWritePackage(f, scramble, header, headerSize, data, dataSize);
    ok = fxCloseWritten(f) && ok;
    if (!ok) {
        err("FXPackage::Save: cannot write %s\n", tmpPath);
    } else if (!fxReplaceFile(tmpPath, path)) {
        err("FXPackage::Save: cannot replace %s\n", path);
        ok = false;
    }
    if (!ok) {
        remove(tmpPath);
    }
    free(tmpPath);
    return ok;
}

// Length of a queued file, or -1 when it cannot be opened or read (a folder opens but cannot be read).
static int64_t localQueuedFileSize(const char* file) {
    FILE* src = file != nullptr ? fopen(file, "rb") : nullptr;
    if (src == nullptr) {
        return -1;
    }
    int64_t size = localFileSize(src);
    if (size >= 0 && (fgetc(src) == EOF && ferror(src) != 0)) {
        size = -1;
    }
    fclose(src);
    return size;
}

// Reads a queued file whole into dst; false unless it still has exactly size bytes to give.
static bool localReadQueuedFile(const char* file, uint8_t* dst, int size) {
    FILE* src = fopen(file, "rb");
    if (src == nullptr) {
        return false;
    }
    bool ok = size == 0 || fread(dst, 1, size, src) == (size_t)size;
    fclose(src);
    return ok;
}

bool FXPackage::Save(const char* path, int flags) {
    if (path == nullptr || *path == 0) {
        err("FXPackage::Save: no path\n");
        return false;
    }
    if (SaveEntries(path, flags)) {
        pendingIds.RemoveAll();
        pendingFiles.RemoveAll();
        pendingTypes.RemoveAll();
        RecompClasses();
        return true;
    }
    return false;
}

bool FXPackage::SaveEntries(const char* path, int flags) {
    const int oldCount = entryIds.size;
    const int queued = pendingIds.size < pendingFiles.size ? pendingIds.size : pendingFiles.size;
    int64_t next = dataSize;

    // Queued files are appended to the entry lists; any failure takes them off again, so a
    // failed Save leaves the package and its queue as they were.
    bool ok = true;
    if (entryOffsets.size != oldCount || entrySizes.size != oldCount || entryTypes.size != oldCount) {
        err("FXPackage::Save: the entry lists differ in length\n");
        return false;
    }
    for (int i = 0; i < queued && ok; i++) {
        const char* file = pendingFiles.elements[i];
        int64_t size = localQueuedFileSize(file);
        if (size < 0) {
            err("FXPackage::Save: cannot read queued file %s\n", file != nullptr ? file : "(null)");
            ok = false;
        } else if (next + size + 16 + 16 * ((int64_t)entryIds.size + 1) > INT32_MAX) {
            err("FXPackage::Save: %s does not fit the package\n", file);
            ok = false;
        } else {
            entryIds.PushInt(pendingIds.GetInt(i));
            entryOffsets.PushInt((int)next);
            entrySizes.PushInt((int)size);
            entryTypes.PushInt(i < pendingTypes.size ? pendingTypes.GetInt(i) : fxGetDataTypeFromPath(file));
            next += size;
        }
    }

    const int newCount = oldCount + queued;
    if (ok && (entryIds.size != newCount || entryOffsets.size != newCount || entrySizes.size != newCount ||
               entryTypes.size != newCount)) {
        err("FXPackage::Save: no memory for the entry lists\n");
        ok = false;
    }
    uint8_t* newBlock = nullptr;
    if (ok && queued > 0) {
        newBlock = (uint8_t*)malloc(next > 0 ? (size_t)next : 1);
        ok = newBlock != nullptr;
        if (ok && dataSize > 0) {
            memcpy(newBlock, dataBlock, dataSize);
        }
        for (int i = 0; i < queued && ok; i++) {
            const char* file = pendingFiles.elements[i];
            if (!localReadQueuedFile(file, newBlock + entryOffsets.GetInt(oldCount + i),
                                     entrySizes.GetInt(oldCount + i))) {
                err("FXPackage::Save: cannot read queued file %s\n", file);
                ok = false;
            }
        }
    }

    const int headerSize = 16 + 16 * entryIds.size;
    uint8_t* header = ok ? (uint8_t*)malloc(headerSize) : nullptr;
    if (ok && header == nullptr) {
        ok = false;
    }
    if (ok) {
        FXPackageData writer;
        writer.InitData(header, headerSize);
        writer.WriteArray(&entryIds);
        writer.WriteArray(&entryOffsets);
        writer.WriteArray(&entrySizes);
        writer.WriteArray(&entryTypes);
        const uint8_t* data = queued > 0 ? newBlock : dataBlock;
        ok = localWritePackageFile(path, (flags & FXPACKAGE_SCRAMBLE) != 0, header, headerSize, data, (int)next);
    }
    free(header);

    if (!ok) {
        free(newBlock);
        entryIds.size = oldCount;
        entryOffsets.size = oldCount;
        entrySizes.size = oldCount;
        entryTypes.size = oldCount;
        return false;
    }
    if (queued > 0) {
        free(dataAlloc);
        dataAlloc = newBlock;
        dataBlock = newBlock;
        dataSize = (int32_t)next;
    }
    return true;
}

bool FXPackage::SaveNames(const char* path) const {
    FILE* f = path != nullptr ? fopen(path, "wb") : nullptr;
    if (f == nullptr) {
        err("FXPackage::SaveNames: cannot create %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    nameServer.names.Save(f);
    bool ok = fxCloseWritten(f);
    if (!ok) {
        err("FXPackage::SaveNames: cannot write %s\n", path);
    }
    return ok;
}

bool FXPackage::LoadNames(const char* path) {
    FILE* f = path != nullptr ? fopen(path, "rb") : nullptr;
    if (f == nullptr) {
        err("FXPackage::LoadNames: cannot open %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    // Read whole and parsed with the bounded reader, so a damaged file cannot overrun anything.
    int64_t size = localFileSize(f);
    uint8_t* buf = size >= 0 && size <= INT32_MAX ? (uint8_t*)malloc(size > 0 ? (size_t)size : 1) : nullptr;
    bool ok = buf != nullptr && fread(buf, 1, (size_t)size, f) == (size_t)size;
    fclose(f);
    FXStrArray loaded;
    if (ok) {
        FXPackageData reader;
        reader.InitData(buf, (int)size);
        ok = localReadStringArray(&reader, &loaded);
    }
    free(buf);
    if (!ok) {
        err("FXPackage::LoadNames: %s is no names file\n", path);
        return false;
    }
    nameServer.names.RemoveAll();
    nameServer.names.Realloc(loaded.size);
    for (int i = 0; i < loaded.size; i++) {
        nameServer.names.Push(loaded.elements[i]);
    }
    return true;
}

bool FXPackage::SaveNamesCpp(const char* path) const {
    FILE* f = path != nullptr ? fopen(path, "wt") : nullptr;
    if (f == nullptr) {
        err("FXPackage::SaveNamesCpp: cannot create %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    FXStr define;
    for (int i = 0; i < nameServer.names.size; i++) {
        const char* name = nameServer.names.elements[i];
        // An empty name would give a bare FXNAME_ that every other empty name redefines.
        if (name == nullptr || *name == 0) {
            continue;
        }
        define.Set(fxGetFilename(name));
        define.ToUpper();
        for (const char* c = ".\\/ +-()[]"; *c != 0; c++) {
            define.ExchangeChars(*c, '_');
        }
        fprintf(f, "#define FXNAME_%s  %d\n", define.chars, i + nameServer.baseId);
    }
    bool ok = fxCloseWritten(f);
    if (!ok) {
        err("FXPackage::SaveNamesCpp: cannot write %s\n", path);
    }
    return ok;
}

bool fxParseId(const char* text, int* id) {
    if (text == nullptr) {
        return false;
    }
    const char* p = text;
    while (isspace((unsigned char)*p)) {
        p++;
    }
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        p++;
    }
    if (!isdigit((unsigned char)*p)) {
        return false;
    }
    int64_t v = 0;
    for (; isdigit((unsigned char)*p); p++) {
        v = v * 10 + (*p - '0');
        if (v > (int64_t)INT_MAX + 1) {
            return false;
        }
    }
    v = negative ? -v : v;
    if (v > INT_MAX || v < INT_MIN) {
        return false;
    }
    *id = (int)v;
    return true;
}
