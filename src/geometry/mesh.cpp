#include "geometry/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "io/data.h"
#include "io/package.h"
#include "base/env.h"
#include "base/other.h"
#include "base/stream.h"
#include "base/trace.h"
#include "io/input.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/matlib.h"

// Records converted per read or write batch.
#define LOCAL_RECORD_BATCH 64
// Records allocated at first when a stream cannot tell how much it still holds.
#define LOCAL_BLIND_RECORDS 4096

// ---------------------------------------------------------------------------------------------
// Stored records

// The record is 19 little-endian words: 15 floats, then tag and reserved.
static void localPackVertex(uint8_t* out, const tagFXVertex* v) {
    uint32_t words[FXVERTEX_SIZE / 4];
    memcpy(words, v, FXVERTEX_SIZE);
    for (int i = 0; i < FXVERTEX_SIZE / 4; i++) {
        fxPutLE32(out + i * 4, words[i]);
    }
}

static void localUnpackVertex(tagFXVertex* v, const uint8_t* in) {
    uint32_t words[FXVERTEX_SIZE / 4];
    for (int i = 0; i < FXVERTEX_SIZE / 4; i++) {
        words[i] = fxGetLE32(in + i * 4);
    }
    memcpy(v, words, FXVERTEX_SIZE);
}

// Reads count records of recordSize bytes into a new block, decoding each with unpack. Null,
// with an error trace, when the input cannot hold them; a stream that cannot tell its length
// gets a block that grows with what arrives.
static void* localReadRecords(FXInput* in, int count, int recordSize, void (*unpack)(void*, const uint8_t*),
                              const char* who) {
    int64_t left = in->BytesLeft();
    if (left >= 0 && (int64_t)count * recordSize > left) {
        err("%s: %d records of %d bytes do not fit in the %lld bytes left\n", who, count, recordSize, (long long)left);
        return nullptr;
    }
    int capacity = left >= 0 || count < LOCAL_BLIND_RECORDS ? count : LOCAL_BLIND_RECORDS;
    uint8_t* block = (uint8_t*)fxMalloc((size_t)capacity * recordSize);
    if (block == nullptr) {
        err("%s: out of memory for %d records\n", who, count);
        return nullptr;
    }
    uint8_t buffer[LOCAL_RECORD_BATCH * FXVERTEX_SIZE];
    int done = 0;
    while (done < count) {
        if (done == capacity) {
            int64_t target = (int64_t)capacity * 2 < count ? (int64_t)capacity * 2 : count;
            uint8_t* grown = (uint8_t*)realloc(block, (size_t)target * recordSize);
            if (grown == nullptr) {
                err("%s: out of memory for %d records\n", who, count);
                free(block);
                return nullptr;
            }
            block = grown;
            capacity = (int)target;
        }
        int n = count - done < LOCAL_RECORD_BATCH ? count - done : LOCAL_RECORD_BATCH;
        if (!in->ReadBytes(buffer, n * recordSize)) {
            err("%s: input ended after %d of %d records\n", who, done, count);
            free(block);
            return nullptr;
        }
        for (int i = 0; i < n; i++) {
            unpack(block + (size_t)(done + i) * recordSize, buffer + i * recordSize);
        }
        done += n;
    }
    return block;
}

static void localUnpackVertexRecord(void* dst, const uint8_t* in) {
    localUnpackVertex((tagFXVertex*)dst, in);
}

static void localUnpackIndexRecord(void* dst, const uint8_t* in) {
    int32_t v = (int32_t)fxGetLE32(in);
    memcpy(dst, &v, 4);
}

// Writes count records of recordSize bytes, encoding each with pack; false when a write failed.
static bool localWriteRecords(FILE* f, const void* records, int count, int recordSize,
                              void (*pack)(uint8_t*, const void*)) {
    uint8_t buffer[LOCAL_RECORD_BATCH * FXVERTEX_SIZE];
    const uint8_t* from = (const uint8_t*)records;
    bool ok = true;
    for (int done = 0; done < count;) {
        int n = count - done < LOCAL_RECORD_BATCH ? count - done : LOCAL_RECORD_BATCH;
        for (int i = 0; i < n; i++) {
            pack(buffer + i * recordSize, from + (size_t)(done + i) * recordSize);
        }
        ok = fwrite(buffer, (size_t)recordSize, (size_t)n, f) == (size_t)n && ok;
        done += n;
    }
    return ok;
}

static void localPackVertexRecord(uint8_t* out, const void* src) {
    localPackVertex(out, (const tagFXVertex*)src);
}

static void localPackIndexRecord(uint8_t* out, const void* src) {
    const int* index = (const int*)src;
    fxPutLE32(out, (uint32_t)index[0]);
}

// Texture scale of the material, 0 without one.
static void localMaterialScale(const FXMesh* mesh, float* su, float* sv) {
    *su = mesh->material != nullptr ? mesh->material->texScaleU : 0.0f;
    *sv = mesh->material != nullptr ? mesh->material->texScaleV : 0.0f;
}

// The start both stored forms share: material name, texture scale, render class, colour mode.
static bool localWriteHeader(FILE* f, const FXMesh* mesh, float su, float sv) {
    const FXStr* name = &mesh->materialName;
    bool ok = fxWriteText(f, name->chars, (size_t)name->length) == 4 + (size_t)name->length;
    ok = fxWriteFloat(f, su) == 4 && ok;
    ok = fxWriteFloat(f, sv) == 4 && ok;
    ok = fxWriteInt32(f, mesh->renderClass) == 4 && ok;
    ok = fxWriteInt32(f, mesh->colourMode) == 4 && ok;
    return ok;
}

static void localReadHeader(FXMesh* mesh, FXInput* in) {
    in->ReadString(&mesh->materialName);
    mesh->loadedU = in->ReadFloat();
    mesh->loadedV = in->ReadFloat();
    mesh->renderClass = in->ReadInt();
    mesh->colourMode = in->ReadInt();
}

// ---------------------------------------------------------------------------------------------
// Life

FXMesh::FXMesh()
    : disabled(false), renderClass(0), colourMode(0), flipV(false), secondMesh(nullptr), material(nullptr),
      loadedU(0.0f), loadedV(0.0f), vertexCapacity(0), vertexCount(0), vertices(nullptr), indexCapacity(0),
      indexCount(0), indices(nullptr), reduceTolerance(0.0f), sideRef(0.0f) {
    for (int i = 0; i < 4; i++) {
        facePlane[i] = 0.0f;
        edgePlane[i] = 0.0f;
        edgePlane2[i] = 0.0f;
    }
}

FXMesh::~FXMesh() {
    Destroy();
}

void FXMesh::Destroy() {
    if (fxglobalEnv != nullptr && vertices != nullptr) {
        fxglobalEnv->UnprepareMesh(this);
    }
    free(vertices);
    free(indices);
    vertices = nullptr;
    indices = nullptr;
    vertexCapacity = 0;
    vertexCount = 0;
    indexCapacity = 0;
    indexCount = 0;
    reduceDepends.DestroyBuf();
    reduceTargets.DestroyBuf();
    ForgetReduceMemory();
}

bool FXMesh::Realloc(int nVertices, int nIndices) {
    bool ok = true;
    nVertices = nVertices > 0 ? nVertices : 0;
    nIndices = nIndices > 0 ? nIndices : 0;
    if (vertices == nullptr || vertexCapacity < nVertices) {
        free(vertices);
        vertices = nullptr;
        vertexCapacity = 0;
        if (nVertices > 0) {
            vertices = (tagFXVertex*)fxMalloc((size_t)nVertices * sizeof(tagFXVertex));
            if (vertices == nullptr) {
                err("FXMesh::Realloc: out of memory for %d vertices\n", nVertices);
                nVertices = 0;
                ok = false;
            } else {
                vertexCapacity = nVertices;
            }
        }
    }
    vertexCount = nVertices;
    if (indices == nullptr || indexCapacity < nIndices) {
        free(indices);
        indices = nullptr;
        indexCapacity = 0;
        if (nIndices > 0) {
            indices = (int*)fxMalloc((size_t)nIndices * sizeof(int));
            if (indices == nullptr) {
                err("FXMesh::Realloc: out of memory for %d indices\n", nIndices);
                nIndices = 0;
                ok = false;
            } else {
                indexCapacity = nIndices;
            }
        }
    }
    indexCount = nIndices;
    return ok;
}

// Counts of src that its blocks actually hold.
static int localHeldVertices(const FXMesh* m) {
    if (m->vertices == nullptr || m->vertexCount <= 0) {
        return 0;
    }
    return m->vertexCount < m->vertexCapacity ? m->vertexCount : m->vertexCapacity;
}

static int localHeldIndices(const FXMesh* m) {
    if (m->indices == nullptr || m->indexCount <= 0) {
        return 0;
    }
    return m->indexCount < m->indexCapacity ? m->indexCount : m->indexCapacity;
}

static void localCopyHeader(FXMesh* dst, const FXMesh* src) {
    dst->renderClass = src->renderClass;
    dst->colourMode = src->colourMode;
    dst->material = src->material;
    dst->materialName.Set(src->materialName.chars);
    dst->loadedU = src->loadedU;
    dst->loadedV = src->loadedV;
}

bool FXMesh::Copy(FXMesh* src) {
    if (src == nullptr) {
        return false;
    }
    if (src == this) {
        return true;
    }
    localCopyHeader(this, src);
    int nv = localHeldVertices(src);
    int ni = localHeldIndices(src);
    if (!Realloc(nv, ni)) {
        return false;
    }
    // Fresh blocks filled whole at once: large pages fault them in by the megabyte.
    if (nv > 0) {
        fxAdviseLargePages(vertices, (size_t)nv * sizeof(tagFXVertex));
        memcpy(vertices, src->vertices, (size_t)nv * sizeof(tagFXVertex));
    }
    if (ni > 0) {
        fxAdviseLargePages(indices, (size_t)ni * sizeof(int));
        memcpy(indices, src->indices, (size_t)ni * sizeof(int));
    }
    return true;
}

bool FXMesh::IndicesValid() const {
    int held = localHeldIndices(this);
    if (held < indexCount) {
        return false;
    }
    // One unsigned comparison per index and no early exit: the loop vectorises, and a valid block,
    // the usual case, is read through either way.
    unsigned nv = (unsigned)localHeldVertices(this);
    unsigned outside = 0;
    for (int i = 0; i < held; i++) {
        outside |= (unsigned)indices[i] >= nv ? 1u : 0u;
    }
    return outside == 0;
}

// ---------------------------------------------------------------------------------------------
// Full record and indexed header

void FXMesh::FinishLoad(FXMatlib* lib) {
    material = lib != nullptr ? lib->FindMaterial(materialName.chars) : nullptr;
}

bool FXMesh::SaveMesh(FILE* f) {
    float su, sv;
    localMaterialScale(this, &su, &sv);
    int nv = localHeldVertices(this);
    int ni = localHeldIndices(this);
    bool ok = localWriteHeader(f, this, su, sv);
    ok = fxWriteInt32(f, nv) == 4 && ok;
    ok = localWriteRecords(f, vertices, nv, FXVERTEX_SIZE, localPackVertexRecord) && ok;
    ok = fxWriteInt32(f, ni) == 4 && ok;
    ok = localWriteRecords(f, indices, ni, 4, localPackIndexRecord) && ok;
    return ok;
}

// Reads the full record from either input.
static bool localLoadMesh(FXMesh* mesh, FXInput* in, const char* who) {
    mesh->Destroy();
    localReadHeader(mesh, in);
    int nv = in->ReadInt();
    tagFXVertex* vertices = nullptr;
    if (nv > 0) {
        vertices = (tagFXVertex*)localReadRecords(in, nv, FXVERTEX_SIZE, localUnpackVertexRecord, who);
        if (vertices == nullptr) {
            return false;
        }
    } else {
        nv = 0;
    }
    int ni = in->ReadInt();
    int* indices = nullptr;
    if (ni > 0) {
        indices = (int*)localReadRecords(in, ni, 4, localUnpackIndexRecord, who);
        if (indices == nullptr) {
            free(vertices);
            return false;
        }
    } else {
        ni = 0;
    }
    for (int i = 0; i < ni; i++) {
        if (indices[i] < 0 || indices[i] >= nv) {
            err("%s: index %d at %d lies outside the %d vertices\n", who, indices[i], i, nv);
            free(vertices);
            free(indices);
            return false;
        }
    }
    mesh->vertices = vertices;
    mesh->vertexCapacity = nv;
    mesh->vertexCount = nv;
    mesh->indices = indices;
    mesh->indexCapacity = ni;
    mesh->indexCount = ni;
    return true;
}

bool FXMesh::LoadMesh(FXInput* in, FXMatlib* lib) {
    bool ok = in->IsOpen() && localLoadMesh(this, in, in->IsFile() ? "FXMesh::LoadMesh" : "FXMesh::LoadMeshC");
    FinishLoad(lib);
    return ok;
}

bool FXMesh::LoadMesh(FILE* f, FXMatlib* lib) {
    FXInput in(f);
    return LoadMesh(&in, lib);
}

bool FXMesh::LoadMeshC(FXPackage* package, FXPackageData* data, FXMatlib* lib) {
    FXInput in(package, data);
    return LoadMesh(&in, lib);
}

bool FXMesh::SaveMeshI(FILE* f) {
    float su, sv;
    localMaterialScale(this, &su, &sv);
    if (su == 0.0f) {
        su = loadedU;
        trc("save u from loaded_u (%g)\n", su);
    }
    if (sv == 0.0f) {
        sv = loadedV;
    }
    bool ok = localWriteHeader(f, this, su, sv);
    ok = fxWriteInt32(f, localHeldVertices(this)) == 4 && ok;
    ok = fxWriteInt32(f, localHeldIndices(this)) == 4 && ok;
    return ok;
}

// Reads the indexed header. Decoding never makes more vertices than corners, so a vertex count
// above the index count is cut to it; corners without any vertex cannot be decoded. The index
// stream that follows holds at least a byte per index.
static bool localLoadMeshI(FXMesh* mesh, FXInput* in, const char* who) {
    mesh->Destroy();
    localReadHeader(mesh, in);
    int nv = in->ReadInt();
    int ni = in->ReadInt();
    nv = nv > 0 ? nv : 0;
    ni = ni > 0 ? ni : 0;
    if (nv > ni) {
        nv = ni;
    }
    if (ni > 0 && nv == 0) {
        err("%s: %d indices without vertices\n", who, ni);
        return false;
    }
    int64_t left = in->BytesLeft();
    if (left >= 0 && ni > left) {
        err("%s: %d indices cannot be coded in the %lld bytes left\n", who, ni, (long long)left);
        return false;
    }
    if (!mesh->Realloc(nv, ni)) {
        mesh->Destroy();
        return false;
    }
    return true;
}

bool FXMesh::LoadMeshI(FXInput* in, FXMatlib* lib) {
    bool ok = in->IsOpen() && localLoadMeshI(this, in, in->IsFile() ? "FXMesh::LoadMeshI" : "FXMesh::LoadMeshIC");
    FinishLoad(lib);
    return ok;
}

bool FXMesh::LoadMeshI(FILE* f, FXMatlib* lib) {
    FXInput in(f);
    return LoadMeshI(&in, lib);
}

bool FXMesh::LoadMeshIC(FXPackage* package, FXPackageData* data, FXMatlib* lib) {
    FXInput in(package, data);
    return LoadMeshI(&in, lib);
}

bool FXMesh::CopyMeshI(FXMesh* src) {
    if (src == nullptr || src == this) {
        return src != nullptr;
    }
    localCopyHeader(this, src);
    return Realloc(localHeldVertices(src), localHeldIndices(src));
}

// ---------------------------------------------------------------------------------------------
// Vector map coding

// 0: the previous value + 1, no payload; 1: a byte; 2: a 16-bit word; 3: a 32-bit int.
static int localCode(int k, int previous) {
    if (k == previous + 1) {
        return 0;
    }
    if (k < 256) {
        return 1;
    }
    if (k > 65535) {
        return 3;
    }
    return 2;
}

// Writes the bytes of one corner's map indices after the previous corner's, which it then
// becomes; answers how many. Each payload is stored as four bytes, of which the next field or
// corner overwrites what the code does not keep: 13 bytes at bytes must be writable.
static int localCornerBytes(const int* k, int* previous, uint8_t* bytes) {
    static const int kept[4] = {0, 1, 2, 4};
    int n = 1;
    int control = 0;
    for (int j = 0; j < 3; j++) {
        int code = localCode(k[j], previous[j]);
        control += code << (2 * j);
        fxPutLE32(bytes + n, (uint32_t)k[j]);
        n += kept[code];
        previous[j] = k[j];
    }
    bytes[0] = (uint8_t)control;
    return n;
}

static bool localPushCorner(FXNumPool* pool, const int* k, int* previous) {
    uint8_t bytes[13];
    int n = localCornerBytes(k, previous, bytes);
    return pool->PushBytes(bytes, n) >= 0;
}

bool FXMesh::ToVMap(FXVectorMap* map, FXNumPool* pool, PMeshSaveClb* clb, int owner, FXArray** redirect) {
    if (map == nullptr || pool == nullptr) {
        return false;
    }
    if (localHeldIndices(this) <= 0 || localHeldVertices(this) <= 0) {
        return true;
    }
    if (!DiscardVertices()) {
        return false;
    }
    // Without a callback every corner of a vertex gets the keys its first corner got: the map
    // answers the first equal vector and so never adds a second one. A vector with NaN equals
    // nothing, so each of its corners pushes anew. Without room for the keys, every corner pushes.
    int32_t* keys = clb == nullptr ? (int32_t*)malloc((size_t)vertexCount * 3 * sizeof(int32_t)) : nullptr;
    if (keys != nullptr) {
        memset(keys, 0xff, (size_t)vertexCount * 3 * sizeof(int32_t));
    }
    int previous[3] = {-1, -1, -1};
    for (int i = 0; i < indexCount; i++) {
        tagFXVertex* v = &vertices[indices[i]];
        int32_t* known = keys != nullptr ? keys + (size_t)indices[i] * 3 : nullptr;
        int k[3];
        k[0] = known != nullptr && known[0] >= 0 ? known[0] : map->PushVecPos(v, clb, owner, indices[i]);
        k[1] = known != nullptr && known[1] >= 0 ? known[1] : map->PushVecNorm(v, clb, owner, indices[i]);
        k[2] = known != nullptr && known[2] >= 0 ? known[2] : map->PushVecTex(v, clb, owner, indices[i]);
        if (k[0] < 0 || k[1] < 0 || k[2] < 0) {
            err("FXMesh::ToVMap: the vector map cannot take corner %d\n", i);
            free(keys);
            return false;
        }
        if (known != nullptr) {
            const float* fields[3] = {v->position, v->normal, v->texCoord};
            const int dims[3] = {3, 3, 2};
            for (int j = 0; j < 3; j++) {
                bool nan = false;
                for (int d = 0; d < dims[j]; d++) {
                    nan = nan || std::isnan(fields[j][d]);
                }
                known[j] = nan ? -1 : k[j];
            }
        }
        if (redirect != nullptr) {
            for (int j = 0; j < 3; j++) {
                if (redirect[j] != nullptr) {
                    fxPushIntDoubling(redirect[j], k[j]);
                }
            }
        }
        if (!localPushCorner(pool, k, previous)) {
            err("FXMesh::ToVMap: the index stream cannot take corner %d\n", i);
            free(keys);
            return false;
        }
    }
    free(keys);
    return true;
}

bool FXMesh::CodeCorners(FXNumPool* pool, const int32_t* keys) {
    if (pool == nullptr || keys == nullptr) {
        return false;
    }
    int ni = localHeldIndices(this);
    int previous[3] = {-1, -1, -1};
    for (int i = 0; i < ni; i++) {
        const int32_t* known = keys + (size_t)indices[i] * 3;
        int k[3] = {known[0], known[1], known[2]};
        // Within a reservation the bytes go straight into the stream.
        if (pool->capacity - pool->used >= 13) {
            pool->used += localCornerBytes(k, previous, pool->bytes + pool->used);
        } else if (!localPushCorner(pool, k, previous)) {
            err("FXMesh::CodeCorners: the index stream cannot take corner %d\n", i);
            return false;
        }
    }
    // The stream past its end stays zero, as it grows.
    int tail = pool->capacity - pool->used < 13 ? pool->capacity - pool->used : 13;
    if (tail > 0) {
        memset(pool->bytes + pool->used, 0, (size_t)tail);
    }
    return true;
}

static bool localReadField(FXNumPool* pool, int code, int previous, int* k) {
    switch (code) {
        case 0:
            *k = previous + 1;
            return true;
        case 1: {
            unsigned char b;
            if (!pool->GetNextByte(&b)) {
                return false;
            }
            *k = b;
            return true;
        }
        case 2: {
            unsigned short w;
            if (!pool->GetNextWord(&w)) {
                return false;
            }
            *k = w;
            return true;
        }
        default:
            return pool->GetNextInt(k);
    }
}

bool FXMesh::FromVMap(FXVectorMap* map, FXNumPool* pool) {
    if (map == nullptr || pool == nullptr) {
        return false;
    }
    if (indexCount <= 0) {
        return true;
    }
    if (vertexCount <= 0 || vertices == nullptr || indices == nullptr || vertexCapacity < vertexCount ||
        indexCapacity < indexCount) {
        err("FXMesh::FromVMap: no room for %d vertices and %d indices\n", vertexCount, indexCount);
        Destroy();
        return false;
    }
    const int limit = vertexCount;
    const int counts[3] = {map->posCount, map->normCount, map->texCount};
    map->ClearUsed();
    vertexCount = 0;
    int previous[3] = {-1, -1, -1};
    pool->Reseek();
    for (int i = 0; i < indexCount; i++) {
        unsigned char control;
        int k[3];
        bool ok = pool->GetNextByte(&control);
        for (int j = 0; j < 3 && ok; j++) {
            ok = localReadField(pool, (control >> (2 * j)) & 3, previous[j], &k[j]);
            if (ok && (k[j] < 0 || k[j] >= counts[j])) {
                err("FXMesh::FromVMap: corner %d names vector %d of a table of %d\n", i, k[j], counts[j]);
                Destroy();
                return false;
            }
        }
        if (!ok) {
            err("FXMesh::FromVMap: the index stream ends at corner %d of %d\n", i, indexCount);
            Destroy();
            return false;
        }
        int vertex = map->GetUsed(k[0], k[1], k[2]);
        if (vertex == -1) {
            if (vertexCount >= limit) {
                err("FXMesh::FromVMap: corner %d needs more than the %d vertices of the header\n", i, limit);
                Destroy();
                return false;
            }
            vertex = vertexCount;
            map->PushUsed(k[0], k[1], k[2], vertex);
            tagFXVertex* v = &vertices[vertex];
            map->GetVecPos(k[0], v->position);
            map->GetVecNorm(k[1], v->normal);
            map->GetVecTex(k[2], v->texCoord);
            v->normalSum[0] = 0.0f;
            v->normalSum[1] = 0.0f;
            v->normalSum[2] = 0.0f;
            v->tag = 0;
            vertexCount++;
        }
        indices[i] = vertex;
        for (int j = 0; j < 3; j++) {
            previous[j] = k[j];
        }
    }
    return true;
}

void FXMesh::ApplyRedir(FXVectorMap* map, FXArray** redirect) {
    if (map == nullptr || redirect == nullptr) {
        return;
    }
    int nv = localHeldVertices(this);
    int ni = localHeldIndices(this);
    for (int i = 0; i < ni; i++) {
        int k = indices[i];
        if (k < 0 || k >= nv) {
            continue;
        }
        tagFXVertex* v = &vertices[k];
        if (redirect[0] != nullptr && i < redirect[0]->size) {
            map->SetVecPos(v, redirect[0]->GetInt(i));
        }
        if (redirect[1] != nullptr && i < redirect[1]->size) {
            map->SetVecNorm(v, redirect[1]->GetInt(i));
        }
        if (redirect[2] != nullptr && i < redirect[2]->size) {
            map->SetVecTex(v, redirect[2]->GetInt(i));
        }
    }
}

// Copies the vertices of src not tagged -1 to dst, in order; dst may be src.
static void localKeepUsed(tagFXVertex* dst, const tagFXVertex* src, int nv) {
    int at = 0;
    for (int i = 0; i < nv; i++) {
        if (src[i].tag != -1) {
            dst[at] = src[i];
            at++;
        }
    }
}

bool FXMesh::DiscardVertices() {
    int nv = localHeldVertices(this);
    if (nv <= 0) {
        return true;
    }
    if (!IndicesValid()) {
        err("FXMesh::DiscardVertices: an index lies outside the %d vertices\n", nv);
        return false;
    }
    int ni = localHeldIndices(this);
    for (int i = 0; i < nv; i++) {
        vertices[i].tag = -1;
    }
    for (int i = 0; i < ni; i++) {
        vertices[indices[i]].tag = 0;
    }
    int used = 0;
    for (int i = 0; i < nv; i++) {
        if (vertices[i].tag != -1) {
            vertices[i].tag = used;
            used++;
        }
    }
    if (used == nv && vertexCapacity == nv) {
        return true; // every vertex is used: the numbers and the block stay as they are
    }
    for (int i = 0; i < ni; i++) {
        indices[i] = vertices[indices[i]].tag;
    }
    tagFXVertex* kept = nullptr;
    if (used > 0) {
        kept = (tagFXVertex*)fxMalloc((size_t)used * sizeof(tagFXVertex));
        if (kept == nullptr) {
            // Compact in place instead: the used vertices keep their order.
            localKeepUsed(vertices, vertices, nv);
            vertexCount = used;
            return true;
        }
        localKeepUsed(kept, vertices, nv);
    }
    free(vertices);
    vertices = kept;
    vertexCapacity = used;
    vertexCount = used;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Normals

void FXMesh::ComputeNormals(bool onlyTagged) {
    ComputeNormalsZ(onlyTagged, 1.0f);
}

void FXMesh::ComputeNormalsZ(bool onlyTagged, float zScale) {
    int nv = localHeldVertices(this);
    int triangles = localHeldIndices(this) / 3;
    if (triangles < 1 || nv < 1) {
        return;
    }
    for (int i = 0; i < nv; i++) {
        vertices[i].normalSum[0] = 0.0f;
        vertices[i].normalSum[1] = 0.0f;
        vertices[i].normalSum[2] = 0.0f;
    }
    for (int t = 0; t < triangles; t++) {
        const int* tri = indices + t * 3;
        if (tri[0] < 0 || tri[0] >= nv || tri[1] < 0 || tri[1] >= nv || tri[2] < 0 || tri[2] >= nv) {
            continue;
        }
        tagFXVertex* a = &vertices[tri[0]];
        tagFXVertex* b = &vertices[tri[1]];
        tagFXVertex* c = &vertices[tri[2]];
        if (onlyTagged && a->tag == 0 && b->tag == 0 && c->tag == 0) {
            continue;
        }
        float e1x = a->position[0] - b->position[0];
        float e1y = a->position[1] - b->position[1];
        float e1z = (a->position[2] - b->position[2]) * zScale;
        float e2x = a->position[0] - c->position[0];
        float e2y = a->position[1] - c->position[1];
        float e2z = (a->position[2] - c->position[2]) * zScale;
        float nx = e2y * e1z - e2z * e1y;
        float ny = e2z * e1x - e2x * e1z;
        float nz = e2x * e1y - e2y * e1x;
        float len = sqrtf(nx * nx + ny * ny + nz * nz);
        if (len == 0.0f) {
            continue;
        }
        float inv = 1.0f / len;
        nx *= inv;
        ny *= inv;
        nz *= inv;
        tagFXVertex* corners[3] = {a, b, c};
        for (tagFXVertex* v : corners) {
            v->normalSum[0] += nx;
            v->normalSum[1] += ny;
            v->normalSum[2] += nz;
            v->tag = 1;
        }
    }
    Normalize(onlyTagged);
}

void FXMesh::Normalize(bool onlyTagged) {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        tagFXVertex* v = &vertices[i];
        if (onlyTagged && v->tag == 0) {
            continue;
        }
        float len = sqrtf(v->normalSum[0] * v->normalSum[0] + v->normalSum[1] * v->normalSum[1] +
                          v->normalSum[2] * v->normalSum[2]);
        if (len != 0.0f) {
            v->normal[0] = v->normalSum[0] / len;
            v->normal[1] = v->normalSum[1] / len;
            v->normal[2] = v->normalSum[2] / len;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Texture coordinates

void FXMesh::ResizeTexCoordsBy(float su, float sv) {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        float* uv = vertices[i].texCoord;
        uv[0] = uv[0] * su;
        uv[1] = flipV ? (1.0f - uv[1]) * sv : uv[1] * sv;
    }
}

void FXMesh::ResizeTexCoords() {
    float su, sv;
    localMaterialScale(this, &su, &sv);
    if (su <= 0.0f || sv <= 0.0f) {
        return;
    }
    if (loadedU > 0.0f) {
        su = su / loadedU;
    }
    if (loadedV > 0.0f) {
        sv = sv / loadedV;
    }
    ResizeTexCoordsBy(su, sv);
}

void FXMesh::ResizeTexCoords1() {
    float su, sv;
    localMaterialScale(this, &su, &sv);
    if (su <= 0.0f || sv <= 0.0f) {
        return;
    }
    ResizeTexCoordsBy(su, sv);
}

void FXMesh::ComputeFrontTexCoords() {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        tagFXVertex* v = &vertices[i];
        v->texCoord[0] = (v->position[0] + 1.0f) * 0.5f;
        v->texCoord[1] = (1.0f - v->position[1]) * 0.5f;
    }
}

void FXMesh::CopyTexCoords(FXMesh* src) {
    if (src == nullptr || src == this) {
        return;
    }
    int nv = localHeldVertices(this);
    int ns = localHeldVertices(src);
    int n = nv < ns ? nv : ns;
    for (int i = 0; i < n; i++) {
        vertices[i].texCoord[0] = src->vertices[i].texCoord[0];
        vertices[i].texCoord[1] = src->vertices[i].texCoord[1];
    }
}

// ---------------------------------------------------------------------------------------------
// Bounds and placement

void FXMesh::FindMaxims(float* box) {
    for (int i = 0; i < 6; i++) {
        box[i] = 0.0f;
    }
    bool first = true;
    FindMultiMaxims(&first, box);
}

void FXMesh::FindMultiMaxims(bool* first, float* box) {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        const float* p = vertices[i].position;
        if (*first) {
            for (int a = 0; a < 3; a++) {
                box[a * 2] = p[a];
                box[a * 2 + 1] = p[a];
            }
            *first = false;
            continue;
        }
        for (int a = 0; a < 3; a++) {
            if (p[a] < box[a * 2]) {
                box[a * 2] = p[a];
            }
            if (p[a] > box[a * 2 + 1]) {
                box[a * 2 + 1] = p[a];
            }
        }
    }
}

// position := (position - centre) * scale on each axis.
static void localPlace(FXMesh* mesh, const float* centre, const float* scale) {
    int nv = localHeldVertices(mesh);
    for (int i = 0; i < nv; i++) {
        float* p = mesh->vertices[i].position;
        for (int a = 0; a < 3; a++) {
            p[a] = (p[a] - centre[a]) * scale[a];
        }
    }
}

static void localBoxCentre(const float* box, float* centre, float* extent) {
    for (int a = 0; a < 3; a++) {
        centre[a] = (box[a * 2] + box[a * 2 + 1]) * 0.5f;
        extent[a] = box[a * 2 + 1] - box[a * 2];
    }
}

void FXMesh::UnitizeMaxims(float* box) {
    float centre[3], extent[3];
    localBoxCentre(box, centre, extent);
    float largest = extent[1] > extent[0] ? extent[1] : extent[0];
    largest = extent[2] > largest ? extent[2] : largest;
    // A box of no extent would divide by zero: its points only move to the centre.
    float s = largest > 0.0f ? 2.0f / largest : 1.0f;
    float scale[3] = {s, s, s};
    localPlace(this, centre, scale);
}

void FXMesh::UnitizeMaximsStretch(float* box) {
    float centre[3], extent[3], scale[3];
    localBoxCentre(box, centre, extent);
    for (int a = 0; a < 3; a++) {
        scale[a] = 2.0f / (extent[a] == 0.0f ? 2.0f : extent[a]);
    }
    localPlace(this, centre, scale);
}

void FXMesh::UnitizeMaximsStretch1(float* box) {
    float centre[3], extent[3], scale[3];
    localBoxCentre(box, centre, extent);
    for (int a = 0; a < 2; a++) {
        scale[a] = 2.0f / (extent[a] == 0.0f ? 2.0f : extent[a]);
    }
    scale[2] = 1.0f;
    localPlace(this, centre, scale);
}

void FXMesh::Unitize() {
    float box[6];
    FindMaxims(box);
    UnitizeMaxims(box);
}

void FXMesh::FlipHoriz() {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        vertices[i].position[0] = -vertices[i].position[0];
    }
}

void FXMesh::ExtendPositions(float d) {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        tagFXVertex* v = &vertices[i];
        for (int a = 0; a < 3; a++) {
            v->position[a] += d * v->normal[a];
        }
        v->tag = 1;
    }
}

void FXMesh::Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ) {
    if (ix < 0 || ix > 2 || iy < 0 || iy > 2 || iz < 0 || iz > 2) {
        err("FXMesh::Transform: axes %d %d %d outside 0..2\n", ix, iy, iz);
        return;
    }
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        tagFXVertex* v = &vertices[i];
        float p[3] = {v->position[ix], v->position[iy], v->position[iz]};
        float n[3] = {v->normal[ix], v->normal[iy], v->normal[iz]};
        const bool neg[3] = {negX, negY, negZ};
        for (int a = 0; a < 3; a++) {
            v->position[a] = neg[a] ? -p[a] : p[a];
            v->normal[a] = neg[a] ? -n[a] : n[a];
        }
    }
}

int FXMesh::TextToIndi(const char* s) {
    if (s == nullptr) {
        return -1;
    }
    switch (s[0]) {
        case 'x':
            return 0;
        case 'y':
            return 1;
        case 'z':
            return 2;
        default:
            return -1;
    }
}

// ---------------------------------------------------------------------------------------------
// Pictures and colours

// A canvas without pixels leaves the sample at zero.
static void localSample(FXCanvas* c, float u, float v, float* out) {
    out[0] = 0.0f;
    out[1] = 0.0f;
    out[2] = 0.0f;
    out[3] = 0.0f;
    c->GetColor(u, v, out);
}

void FXMesh::ApplyBumpMap(FXCanvas* c, float height) {
    if (c == nullptr) {
        return;
    }
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        tagFXVertex* v = &vertices[i];
        float sample[4];
        localSample(c, v->texCoord[0], flipV ? 1.0f - v->texCoord[1] : v->texCoord[1], sample);
        float h = height * sample[0];
        if (h > 0.0f) {
            for (int a = 0; a < 3; a++) {
                v->position[a] += h * v->normal[a];
            }
            v->tag = 1;
        } else {
            v->tag = 0;
        }
    }
}

// Vertex colours := mul times the canvas, sampled at each vertex's texture coordinates or, for
// front, where its position falls seen from the front.
static void localApplyColorMap(FXMesh* mesh, FXCanvas* c, const float* mul, bool front) {
    if (c == nullptr) {
        return;
    }
    int nv = localHeldVertices(mesh);
    for (int i = 0; i < nv; i++) {
        tagFXVertex* v = &mesh->vertices[i];
        float sample[4];
        if (front) {
            localSample(c, (v->position[0] + 1.0f) * 0.5f, (1.0f - v->position[1]) * 0.5f, sample);
        } else {
            localSample(c, v->texCoord[0], mesh->flipV ? 1.0f - v->texCoord[1] : v->texCoord[1], sample);
        }
        for (int k = 0; k < 4; k++) {
            v->colour[k] = sample[k] * mul[k];
        }
    }
}

void FXMesh::ApplyColorMap(FXCanvas* c, float* mul) {
    localApplyColorMap(this, c, mul, false);
}

void FXMesh::ApplyFrontColorMap(FXCanvas* c, float* mul) {
    localApplyColorMap(this, c, mul, true);
}

void FXMesh::SetVerticesCol(float* c) {
    int nv = localHeldVertices(this);
    for (int i = 0; i < nv; i++) {
        for (int k = 0; k < 4; k++) {
            vertices[i].colour[k] = c[k];
        }
    }
}
