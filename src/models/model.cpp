#include "models/model.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <vector>

#include "io/data.h"
#include "io/package.h"
#include "base/other.h"
#include "base/paths.h"
#include "base/stream.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "io/input.h"
#include "render/material.h"
#include "render/matlib.h"

// Growth step of the per-mesh index streams while a model is written.
#define LOCAL_POOL_STEP 800000
// Fewest bytes a stored mesh can take: name length, two scales, render class, colour mode and
// two counts; an indexed mesh of "xm03" is followed by at least its stream's length.
#define LOCAL_MIN_MESH_V02 28
#define LOCAL_MIN_MESH_V03 32

// ---------------------------------------------------------------------------------------------
// Life

FXModel::FXModel() : matlib(nullptr), flipTexV(false) {}

FXModel::~FXModel() {
    Destroy();
}

void FXModel::DeleteMeshes(FXArray* group) {
    for (int i = 0; i < group->size; i++) {
        delete (FXMesh*)group->elements[i];
    }
    group->DestroyBuf();
}

void FXModel::Destroy() {
    name.Clear();
    matlibRef.Clear();
    flipTexV = false;
    if (matlib != nullptr) {
        // Libraries belong to the environment that handed them out; one that is gone (or was
        // replaced) has deleted them already, and a library it never listed is not ours to count.
        if (fxglobalEnv != nullptr && fxglobalEnv->matlibs.Findpos(matlib) >= 0) {
            matlib->Release();
        }
        matlib = nullptr;
    }
    DeleteMeshes(&loadedMeshes);
    DeleteMeshes(&workMeshes);
}

// ---------------------------------------------------------------------------------------------
// Writing

static bool localWriteHead(FILE* f, const char* magic, const FXStr* name, const FXStr* ref) {
    size_t n = strlen(magic);
    bool ok = fxWriteText(f, magic, n) == 4 + n;
    ok = fxWriteText(f, name->chars, (size_t)name->length) == 4 + (size_t)name->length && ok;
    ok = fxWriteText(f, ref->chars, (size_t)ref->length) == 4 + (size_t)ref->length && ok;
    return ok;
}

static bool localEnabled(FXMesh* m) {
    return m != nullptr && !m->disabled;
}

static int localCountEnabled(FXArray* group) {
    int n = 0;
    for (int i = 0; i < group->size; i++) {
        n += localEnabled((FXMesh*)group->elements[i]) ? 1 : 0;
    }
    return n;
}

bool FXModel::Save(const char* path) {
    FILE* f = path != nullptr ? fopen(path, "wb") : nullptr;
    if (f == nullptr) {
        err("FXModel::Save -> cannot open %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    bool ok = Save_v03(f);
    ok = fxCloseWritten(f) && ok;
    if (!ok) {
        err("FXModel::Save -> writing %s failed\n", path);
    }
    return ok;
}

bool FXModel::Save_v02(FILE* f) {
    if (f == nullptr) {
        return false;
    }
    bool ok = localWriteHead(f, "xm02", &name, &matlibRef);
    ok = fxWriteInt32(f, localCountEnabled(&workMeshes)) == 4 && ok;
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (localEnabled(m)) {
            ok = m->SaveMesh(f) && ok;
        }
    }
    return ok && ferror(f) == 0;
}

// Writes the indexed header of a mesh whose corners are coded in pool. The vertex count written
// is the number of vertices the reader will rebuild from the stream: corners that name the same
// three vectors become one vertex there, so a mesh holding equal vertices would otherwise be
// stored with a larger count than its reloaded self and not save back to the same bytes.
static uint32_t localHashVertex(const float* v) {
    uint64_t h = 0x243F6A8885A308D3ull;
    for (int i = 0; i < 8; i++) {
        uint32_t u;
        memcpy(&u, &v[i], 4);
        if ((u << 1) == 0) {
            u = 0; // both zeros are one vector
        }
        h = (h ^ u) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return (uint32_t)(h ^ (h >> 32));
}

// Position, normal and texture coordinate of a vertex, as the vector map takes them.
static void localVectorsOf(const tagFXVertex* v, float* out) {
    memcpy(out, v->position, 3 * sizeof(float));
    memcpy(out + 3, v->normal, 3 * sizeof(float));
    memcpy(out + 6, v->texCoord, 2 * sizeof(float));
}

// The vertex count the reader rebuilds from a mesh ToVMap coded, found without rebuilding it:
// every vertex is named by a corner, and vertices of equal vectors (zeros of either sign alike)
// name the same three map entries, so they become one. -1 when only decoding can tell: a vector
// holding NaN equals nothing, not even itself, and each of its corners gets entries of its own.
static int localRebuiltVertices(const FXMesh* mesh) {
    int nv = mesh->vertexCount;
    if (mesh->vertices == nullptr || nv <= 0 || nv > mesh->vertexCapacity || nv > (1 << 29)) {
        return -1;
    }
    uint32_t slots = 1024;
    while (slots < (uint32_t)nv * 2) {
        slots *= 2;
    }
    std::vector<int32_t> table(slots, -1);
    int distinct = 0;
    for (int i = 0; i < nv; i++) {
        float v[8];
        localVectorsOf(&mesh->vertices[i], v);
        for (int k = 0; k < 8; k++) {
            if (v[k] != v[k]) {
                return -1;
            }
        }
        uint32_t s = localHashVertex(v) & (slots - 1);
        bool found = false;
        while (table[s] >= 0 && !found) {
            float w[8];
            localVectorsOf(&mesh->vertices[table[s]], w);
            found = true;
            for (int k = 0; k < 8 && found; k++) {
                found = v[k] == w[k];
            }
            s = found ? s : (s + 1) & (slots - 1);
        }
        if (!found) {
            table[s] = i;
            distinct++;
        }
    }
    return distinct;
}

// known: that count when the caller knows it already, else -1.
static bool localWriteHeader(FILE* f, FXMesh* mesh, FXVectorMap* map, FXNumPool* pool, int known) {
    if (mesh->indices != nullptr && mesh->indexCount > 0 && mesh->indexCount <= mesh->indexCapacity) {
        int count = known >= 0 ? known : localRebuiltVertices(mesh);
        if (count >= 0) {
            // The header is the mesh's own with that count in place of its vertex count.
            int held = mesh->vertexCount;
            mesh->vertexCount = count;
            bool ok = mesh->SaveMeshI(f);
            mesh->vertexCount = held;
            return ok;
        }
    }
    FXMesh rebuilt;
    if (!rebuilt.CopyMeshI(mesh)) {
        return false;
    }
    if (rebuilt.indexCount == 0) {
        rebuilt.Realloc(0, 0); // vertices no corner uses are not rebuilt either
    } else if (!rebuilt.Realloc(rebuilt.indexCount, rebuilt.indexCount) || !rebuilt.FromVMap(map, pool)) {
        // Room for a vertex per corner, as the reader allows: the corners of a vertex holding NaN
        // each decode to a vertex of their own.
        err("FXModel::Save_v03 -> cannot rebuild mesh %s from its stream\n", mesh->materialName.chars);
        return false;
    }
    // The copy has the mesh's name, material, scales and classes: only the count can differ.
    return rebuilt.SaveMeshI(f);
}

// Whether ToVMap codes any corner of the mesh.
static bool localHasCorners(const FXMesh* m) {
    return m->indices != nullptr && m->indexCount > 0 && m->indexCapacity > 0 && m->vertices != nullptr &&
           m->vertexCount > 0 && m->vertexCapacity > 0;
}

// Codes every mesh into the empty map and its pool as ToVMap codes them mesh after mesh, the
// vectors of all meshes matched at once instead of by a look-up each. rebuilt[i] receives the
// vertex count the reader rebuilds for mesh i where the codes tell it at no cost (the positions
// of the mesh all differ), else -1. False, with map and pools untouched, where that does not
// apply (an index outside the vertices, a vector holding NaN, too little memory): ToVMap codes
// them then. *ok turns false, with a trace, for a mesh whose stream cannot grow.
static bool localCodeAll(FXMesh** meshes, const int* workIndex, int count, FXVectorMap* map, FXNumPool** pools,
                         int* rebuilt, bool* ok) {
    std::vector<int64_t> base((size_t)count + 1, 0);
    int64_t total = 0;
    int64_t largest = 0;
    for (int m = 0; m < count; m++) {
        base[(size_t)m] = total;
        if (localHasCorners(meshes[m])) {
            // The vertices no corner names are dropped first, as ToVMap drops them.
            if (!meshes[m]->DiscardVertices()) {
                return false;
            }
            total += meshes[m]->vertexCount;
            largest = meshes[m]->vertexCount > largest ? meshes[m]->vertexCount : largest;
        }
        if (total > INT32_MAX / 3) {
            return false;
        }
    }
    base[(size_t)count] = total;
    if (total == 0) {
        return false;
    }
    // Everything is taken before the map is filled: past that point nothing may fall back. The
    // work room is filled whole before it is read: no zeroing, large pages.
    std::unique_ptr<const tagFXVertex*[], FXFreeBlock> order(
        (const tagFXVertex**)fxMallocLarge((size_t)total * sizeof(tagFXVertex*)));
    std::unique_ptr<int32_t[], FXFreeBlock> at((int32_t*)fxMallocLarge((size_t)total * sizeof(int32_t)));
    if (order == nullptr || at == nullptr) {
        return false;
    }
    std::fill(at.get(), at.get() + total, -1);
    // Vertices in the order ToVMap meets them: mesh by mesh, each at its first corner. Where that
    // is the vertex order (as imported), the keys need no reordering per mesh.
    int32_t pushed = 0;
    bool inOrder = true;
    for (int m = 0; m < count; m++) {
        FXMesh* mesh = meshes[m];
        if (base[(size_t)m + 1] == base[(size_t)m]) {
            continue;
        }
        int32_t* first = at.get() + base[(size_t)m];
        for (int i = 0; i < mesh->indexCount; i++) {
            int v = mesh->indices[i];
            if (first[v] < 0) {
                inOrder = inOrder && pushed == base[(size_t)m] + v;
                first[v] = pushed;
                order[(size_t)pushed++] = &mesh->vertices[v];
            }
        }
    }
    std::unique_ptr<int32_t[], FXFreeBlock> keys((int32_t*)fxMallocLarge((size_t)total * 3 * sizeof(int32_t)));
    std::unique_ptr<int32_t[], FXFreeBlock> vertexKeys(
        inOrder ? nullptr : (int32_t*)fxMallocLarge((size_t)largest * 3 * sizeof(int32_t)));
    // A bit per position while a mesh is checked.
    std::unique_ptr<uint64_t[], FXFreeBlock> seen((uint64_t*)calloc((size_t)total / 64 + 1, sizeof(uint64_t)));
    if (keys == nullptr || (!inOrder && vertexKeys == nullptr) || seen == nullptr || pushed != total ||
        !map->PushAll(order.get(), (int)total, keys.get())) {
        return false;
    }
    for (int m = 0; m < count; m++) {
        FXMesh* mesh = meshes[m];
        rebuilt[m] = -1;
        int nv = (int)(base[(size_t)m + 1] - base[(size_t)m]);
        if (nv == 0) {
            continue;
        }
        int32_t* meshKeys = keys.get() + (size_t)base[(size_t)m] * 3;
        if (!inOrder) {
            for (int v = 0; v < nv; v++) {
                memcpy(vertexKeys.get() + (size_t)v * 3, keys.get() + (size_t)at[(size_t)(base[(size_t)m] + v)] * 3,
                       3 * sizeof(int32_t));
            }
            meshKeys = vertexKeys.get();
        }
        bool distinct = nv <= (1 << 29);
        for (int v = 0; v < nv; v++) {
            uint32_t p = (uint32_t)meshKeys[(size_t)v * 3];
            distinct = distinct && (seen[p / 64] >> (p % 64) & 1) == 0;
            seen[p / 64] |= (uint64_t)1 << (p % 64);
        }
        for (int v = 0; v < nv; v++) {
            seen[(uint32_t)meshKeys[(size_t)v * 3] / 64] = 0;
        }
        rebuilt[m] = distinct ? nv : -1;
        if (!mesh->CodeCorners(pools[m], meshKeys)) {
            err("FXModel::Save_v03 -> cannot code mesh %d (%s)\n", workIndex[m], mesh->materialName.chars);
            *ok = false;
        }
    }
    return true;
}

bool FXModel::Save_v03(FILE* f) {
    if (f == nullptr) {
        return false;
    }
    int count = localCountEnabled(&workMeshes);
    bool ok = localWriteHead(f, "xm03", &name, &matlibRef);
    ok = fxWriteInt32(f, count) == 4 && ok;

    // Every mesh codes its corners into the one shared map.
    FXVectorMap map;
    map.recordOwners = false; // no callback ever reads them
    std::vector<FXNumPool*> pools;
    std::vector<FXMesh*> meshes;
    std::vector<int> workIndex;
    for (int i = 0; i < workMeshes.size && (int)meshes.size() < count; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (!localEnabled(m)) {
            continue;
        }
        FXNumPool* pool = new FXNumPool(LOCAL_POOL_STEP);
        // A corner takes at most a control byte and three ints: the stream never grows step by step.
        if (m->indexCount > 0 && m->indexCount < INT32_MAX / 13) {
            pool->Reserve(m->indexCount * 13);
        }
        pools.push_back(pool);
        meshes.push_back(m);
        workIndex.push_back(i);
    }
    int made = (int)meshes.size();
    std::vector<int> rebuilt((size_t)made, -1);
    if (!localCodeAll(meshes.data(), workIndex.data(), made, &map, pools.data(), rebuilt.data(), &ok)) {
        // One look-up per vector, the tables sized up front so that none grows vector by vector.
        int64_t vectors = 0;
        for (FXMesh* m : meshes) {
            vectors += m->vertexCount > 0 ? m->vertexCount : 0;
        }
        map.Reserve(vectors < INT32_MAX ? (int)vectors : INT32_MAX);
        for (int i = 0; i < made; i++) {
            if (!meshes[(size_t)i]->ToVMap(&map, pools[(size_t)i], nullptr, 0, nullptr)) {
                err("FXModel::Save_v03 -> cannot code mesh %d (%s)\n", workIndex[(size_t)i],
                    meshes[(size_t)i]->materialName.chars);
                ok = false;
            }
        }
    }
    ok = map.Save(f) && ok;
    for (int i = 0; i < made; i++) {
        if (ok) {
            ok = localWriteHeader(f, meshes[(size_t)i], &map, pools[(size_t)i], rebuilt[(size_t)i]);
            ok = ok && pools[(size_t)i]->Save(f);
        }
        delete pools[(size_t)i];
    }
    return ok && ferror(f) == 0;
}

// ---------------------------------------------------------------------------------------------
// Reading

// The stored mesh count, held to what the bytes left can carry.
static int localBoundCount(FXInput* in, int stored, int minBytes, const char* who) {
    if (stored < 0) {
        err("%s -> negative mesh count %d\n", who, stored);
        return 0;
    }
    int64_t left = in->BytesLeft();
    if (left >= 0 && (int64_t)stored > left / minBytes) {
        err("%s -> %d meshes announced, room for %lld at most\n", who, stored, (long long)(left / minBytes));
        return (int)(left / minBytes);
    }
    return stored;
}

void FXModel::TakeLibrary(bool fromPackage, FXPackage* pkg) {
    // An empty reference names no library (an OBJ file without one): the meshes stay without
    // material, as they were imported.
    if (matlibRef.IsEmpty()) {
        return;
    }
    if (fxglobalEnv == nullptr) {
        err("FXModel -> no render environment to load library %s\n", matlibRef.chars);
        return;
    }
    matlib = fromPackage ? fxglobalEnv->LoadMatlibC(pkg, matlibRef.chars) : fxglobalEnv->LoadMatlib(matlibRef.chars);
}

// A mesh without a material name has no material, whatever the library holds under "".
static void localNoNameNoMaterial(FXMesh* mesh) {
    if (mesh->materialName.IsEmpty()) {
        mesh->material = nullptr;
    }
}

static void localLoadV02(FXModel* model, FXInput* in) {
    const char* who = in->IsFile() ? "FXModel::Load_v02" : "FXModel::Load_v02CN";
    int count = localBoundCount(in, in->ReadInt(), LOCAL_MIN_MESH_V02, who);
    model->loadedMeshes.Realloc(model->loadedMeshes.size + (in->BytesLeft() >= 0 ? count : 0));
    for (int i = 0; i < count; i++) {
        if (!in->More()) {
            err("%s -> the model ends after %d of %d meshes\n", who, i, count);
            return;
        }
        FXMesh* mesh = new FXMesh();
        bool ok = mesh->LoadMesh(in, model->matlib);
        if (!ok) {
            err("%s -> mesh %d of %d is damaged; the rest is left out\n", who, i, count);
            delete mesh;
            return;
        }
        localNoNameNoMaterial(mesh);
        fxPushDoubling(&model->loadedMeshes, mesh);
    }
}

static void localLoadV03(FXModel* model, FXInput* in) {
    const char* who = in->IsFile() ? "FXModel::Load_v03" : "FXModel::Load_v03CN";
    int stored = in->ReadInt();
    FXVectorMap map;
    bool mapOk = in->IsFile() ? map.Load(in->f) : map.LoadC(in->package, in->data);
    if (!mapOk) {
        err("%s -> the vector map is damaged\n", who);
        return;
    }
    int count = localBoundCount(in, stored, LOCAL_MIN_MESH_V03, who);
    model->loadedMeshes.Realloc(model->loadedMeshes.size + (in->BytesLeft() >= 0 ? count : 0));
    FXNumPool pool;
    for (int i = 0; i < count; i++) {
        if (!in->More()) {
            err("%s -> the model ends after %d of %d meshes\n", who, i, count);
            return;
        }
        FXMesh* mesh = new FXMesh();
        bool ok = mesh->LoadMeshI(in, model->matlib);
        ok = ok && (in->IsFile() ? pool.Load(in->f) : pool.LoadC(in->package, in->data));
        ok = ok && mesh->FromVMap(&map, &pool);
        if (!ok) {
            err("%s -> mesh %d of %d is damaged; the rest is left out\n", who, i, count);
            delete mesh;
            return;
        }
        localNoNameNoMaterial(mesh);
        fxPushDoubling(&model->loadedMeshes, mesh);
    }
}

void FXModel::LoadFrom(FXInput* in, bool indexed) {
    if (!in->IsOpen()) {
        return;
    }
    in->ReadString(&name);
    in->ReadString(&matlibRef);
    TakeLibrary(!in->IsFile(), in->package);
    if (indexed) {
        localLoadV03(this, in);
    } else {
        localLoadV02(this, in);
    }
}

void FXModel::Load_v02(FILE* f) {
    FXInput in(f);
    LoadFrom(&in, false);
}

void FXModel::Load_v03(FILE* f) {
    FXInput in(f);
    LoadFrom(&in, true);
}

void FXModel::Load_v02CN(FXPackage* pkg, FXPackageData* data) {
    FXInput in(pkg, data);
    LoadFrom(&in, false);
}

void FXModel::Load_v03CN(FXPackage* pkg, FXPackageData* data) {
    FXInput in(pkg, data);
    LoadFrom(&in, true);
}

bool FXModel::Load(const char* path) {
    Destroy();
    FILE* f = path != nullptr ? fopen(path, "rb") : nullptr;
    if (f == nullptr) {
        err("FXModel::Load -> cannot open %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    FXStr magic;
    magic.Load(f);
    if (magic.Compare("xm02")) {
        Load_v02(f);
    } else if (magic.Compare("xm03")) {
        Load_v03(f);
    } else {
        err("FXModel::Load -> %s is no model (magic %s)\n", path, magic.chars);
    }
    fclose(f);
    return true;
}

bool FXModel::LoadCN(FXPackage* pkg, int id) {
    Destroy();
    FXPackageData* data = pkg != nullptr ? pkg->GetDataPtr(id) : nullptr;
    if (data == nullptr) {
        err("FXModel::LoadCN -> no entry %d\n", id);
        return false;
    }
    FXStr magic;
    data->ReadString(&magic);
    if (magic.Compare("xm02")) {
        Load_v02CN(pkg, data);
    } else if (magic.Compare("xm03")) {
        Load_v03CN(pkg, data);
    } else {
        err("FXModel::LoadCN -> entry %d is no model (magic %s)\n", id, magic.chars);
        return true;
    }
    // The readers' own traces say what is damaged but not where.
    if (loadedMeshes.size == 0) {
        err("FXModel::LoadCN -> entry %d gave no mesh\n", id);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Packaging

// Creates a file of a new name in folder and answers its path (in fxCombinePaths' buffer), or
// null. Names are tried in order, so a build that starts from the same folder picks the same one;
// the exclusive open keeps two builds from sharing one.
static const char* localFreshFile(const char* folder) {
    for (int i = 0; i < 100000; i++) {
        FXStr leaf;
        leaf.Format("fxlib%d.tmp", i);
        const char* path = fxCombinePaths(folder, leaf.chars);
        if (path == nullptr) {
            return nullptr;
        }
        FILE* f = fopen(path, "wbx");
        if (f != nullptr) {
            fclose(f);
            return path;
        }
        if (fxPathExists(path)) {
            continue;
        }
        return nullptr; // the folder itself cannot take files
    }
    return nullptr;
}

bool FXModel::Compile(FXPackage* pkg) {
    if (matlib == nullptr) {
        return true;
    }
    if (pkg == nullptr) {
        return false;
    }
    matlib->Compile(pkg);
    fxSetActPath(pkg->workFolder.chars);
    const char* fresh = localFreshFile(pkg->workFolder.chars);
    if (fresh == nullptr) {
        err("FXModel::Compile -> no temporary file in %s\n", pkg->workFolder.chars);
        return false;
    }
    FXStr path(fresh);
    if (!matlib->Save(path.chars)) {
        remove(path.chars);
        return false;
    }
    pkg->AddTmpFile(path.chars);
    FXStr entry(path.chars);
    pkg->AddDataFile1(&entry);
    if (entry.Compare(path.chars)) {
        err("FXModel::Compile -> the package has no id left for library %s\n", matlib->name.chars);
        return false;
    }
    matlibRef = entry;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Groups and editing

// Fills the empty list to with a copy of every mesh of from; a null slot stays null.
static void localCopyMeshes(FXArray* to, const FXArray* from) {
    to->Realloc(from->size);
    for (int i = 0; i < from->size; i++) {
        FXMesh* src = (FXMesh*)from->elements[i];
        FXMesh* copy = nullptr;
        if (src != nullptr) {
            copy = new FXMesh();
            copy->Copy(src);
        }
        to->Push(copy);
    }
}

void FXModel::UpdateMeshes() {
    DeleteMeshes(&workMeshes);
    localCopyMeshes(&workMeshes, &loadedMeshes);
}

void FXModel::TakeLoadedMeshes() {
    DeleteMeshes(&workMeshes);
    for (int i = 0; i < loadedMeshes.size; i++) {
        FXMesh* m = (FXMesh*)loadedMeshes.elements[i];
        if (m != nullptr) {
            // What a copy leaves behind.
            m->disabled = false;
            m->flipV = false;
            m->secondMesh = nullptr;
        }
    }
    // The list itself changes hands, so nothing here can fail.
    workMeshes.elements = loadedMeshes.elements;
    workMeshes.size = loadedMeshes.size;
    workMeshes.capacity = loadedMeshes.capacity;
    loadedMeshes.elements = nullptr;
    loadedMeshes.size = 0;
    loadedMeshes.capacity = 0;
}

void FXModel::Copy(FXModel* other) {
    if (other == nullptr || other == this) {
        return;
    }
    Destroy();
    flipTexV = other->flipTexV;
    matlibRef = other->matlibRef;
    matlib = other->matlib;
    if (matlib != nullptr) {
        matlib->useCount++;
    }
    localCopyMeshes(&workMeshes, &other->workMeshes);
}

int FXModel::GetTotalVertices() {
    int total = 0;
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            total += m->vertexCount;
        }
    }
    return total;
}

FXMesh* FXModel::EnumMeshes(int i) {
    if (i < 0 || i >= workMeshes.size) {
        return nullptr;
    }
    return (FXMesh*)workMeshes.elements[i];
}

const char* FXModel::EnumMeshNames(int i) {
    FXMesh* m = EnumMeshes(i);
    if (m == nullptr || m->material == nullptr) {
        return nullptr;
    }
    return m->material->name.chars;
}

FXMesh* FXModel::FindMesh(const char* meshName) {
    if (meshName == nullptr) {
        return nullptr;
    }
    for (int i = 0;; i++) {
        const char* n = EnumMeshNames(i);
        if (n == nullptr) {
            return nullptr;
        }
        if (strcmp(n, meshName) == 0) {
            return EnumMeshes(i);
        }
    }
}

void FXModel::DisableMesh(int i, bool disabled) {
    FXMesh* m = EnumMeshes(i);
    if (m != nullptr) {
        m->disabled = disabled;
    }
}

void FXModel::RemoveMesh(FXMesh* m) {
    if (m == nullptr) {
        return;
    }
    if (workMeshes.Findpos(m) >= 0) {
        workMeshes.Remove(m);
    } else {
        loadedMeshes.Remove(m);
    }
}

FXMesh* FXModel::DoubleMesh(const char* newName, const char* sourceName) {
    FXMesh* source = FindMesh(sourceName);
    if (source == nullptr) {
        return nullptr;
    }
    FXMesh* mesh = FindMesh(newName);
    if (mesh != nullptr) {
        RemoveMesh(mesh);
    } else {
        mesh = new FXMesh();
    }
    FXMaterial* material = matlib != nullptr && newName != nullptr ? matlib->FindMaterial(newName) : nullptr;
    if (material == nullptr) {
        delete mesh;
        return nullptr;
    }
    fxPushDoubling(&workMeshes, mesh);
    mesh->Copy(source);
    mesh->material = material;
    mesh->materialName.Set(newName);
    return mesh;
}

void FXModel::Normalize(bool onlyTagged) {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->Normalize(onlyTagged);
        }
    }
}

void FXModel::FlipHoriz() {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->FlipHoriz();
        }
    }
}

void FXModel::ComputeFrontTexCoords(int i) {
    if (i != -1) {
        FXMesh* m = EnumMeshes(i);
        if (m != nullptr) {
            m->ComputeFrontTexCoords();
        }
        return;
    }
    for (int k = 0; k < workMeshes.size; k++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[k];
        if (m != nullptr) {
            m->ComputeFrontTexCoords();
        }
    }
}

void FXModel::ResizeTextCoords() {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->flipV = flipTexV;
            m->ResizeTexCoords();
        }
    }
}

void FXModel::ResizeTextCoords1() {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->flipV = flipTexV;
            m->ResizeTexCoords1();
        }
    }
}

void FXModel::CopyTexCoords(int i, FXModel* other) {
    if (other == nullptr || other->workMeshes.size != workMeshes.size) {
        return;
    }
    for (int k = 0; k < workMeshes.size; k++) {
        if (i != -1 && k != i) {
            continue;
        }
        FXMesh* m = (FXMesh*)workMeshes.elements[k];
        FXMesh* src = (FXMesh*)other->workMeshes.elements[k];
        if (m != nullptr && src != nullptr) {
            m->CopyTexCoords(src);
        }
    }
}

void FXModel::FindMaxims(float* box) {
    bool first = true;
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->FindMultiMaxims(&first, box);
        }
    }
}

void FXModel::UnitizeMaxims(float* box) {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->UnitizeMaxims(box);
        }
    }
}

void FXModel::UnitizeMaximsStretch(float* box) {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->UnitizeMaximsStretch(box);
        }
    }
}

void FXModel::UnitizeMaximsStretch1(float* box) {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->UnitizeMaximsStretch1(box);
        }
    }
}

void FXModel::Unitize() {
    float box[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    FindMaxims(box);
    UnitizeMaxims(box);
}

void FXModel::UnitizeStretch() {
    float box[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    FindMaxims(box);
    UnitizeMaximsStretch(box);
}

void FXModel::UnitizeStretch1() {
    float box[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    FindMaxims(box);
    UnitizeMaximsStretch1(box);
}

void FXModel::Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ) {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->Transform(ix, iy, iz, negX, negY, negZ);
        }
    }
}

void FXModel::UpdateColCol(const float* rgba) {
    if (rgba == nullptr) {
        return;
    }
    float c[4] = {rgba[0], rgba[1], rgba[2], rgba[3]};
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr) {
            m->SetVerticesCol(c);
            m->colourMode = 1;
        }
    }
}

void FXModel::UpdateColMat(const float* factors) {
    if (factors == nullptr) {
        return;
    }
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr && m->material != nullptr) {
            m->material->MultiCols(factors);
        }
    }
}

void FXModel::PreserveColMat() {
    for (int i = 0; i < workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)workMeshes.elements[i];
        if (m != nullptr && m->material != nullptr) {
            m->material->PreserveCols();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void FXModel::OnRender(PEnv* env, double) {
    if (env == nullptr) {
        return;
    }
    const int n = workMeshes.size;
    FXMesh** meshes = (FXMesh**)workMeshes.elements;
    for (int i = 0; i < n; i++) {
        if (meshes[i] != nullptr && meshes[i]->renderClass == 0) {
            env->RenderMesh(meshes[i]);
        }
    }
    // Translucent shells: the inside first, from the last mesh to the first, then the outside.
    env->EnableCullface(true, false);
    for (int i = n - 1; i >= 0; i--) {
        if (meshes[i] != nullptr && meshes[i]->renderClass == 1) {
            env->RenderMesh(meshes[i]);
        }
    }
    env->EnableCullface(false, true);
    for (int i = 0; i < n; i++) {
        if (meshes[i] != nullptr && meshes[i]->renderClass == 1) {
            env->RenderMesh(meshes[i]);
        }
    }
    env->EnableCullface(false, false);
    env->EnableDepthWrite(false);
    for (int i = 0; i < n; i++) {
        if (meshes[i] != nullptr && meshes[i]->renderClass == 2) {
            env->RenderMesh(meshes[i]);
        }
    }
    env->EnableDepthWrite(true);
    for (int i = 0; i < n; i++) {
        if (meshes[i] != nullptr && meshes[i]->renderClass == 2) {
            env->RenderMesh(meshes[i]);
        }
    }
}
