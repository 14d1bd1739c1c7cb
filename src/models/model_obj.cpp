#include "models/model_obj.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "models/model.h"
#include "base/other.h"
#include "io/textreader.h"
#include "base/env.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "render/material.h"
#include "render/matlib.h"

// First size of a mesh's vertex and index blocks while faces are converted.
#define LOCAL_FIRST_BLOCK 500
// Largest table the reader takes: every count must stay a positive int with room to spare.
#define LOCAL_MAX_ITEMS (INT_MAX / 2)

// ---------------------------------------------------------------------------------------------
// Text

static bool localReadText(const char* path, FXTextReader* t) {
    FILE* f = fopen(path, "rt");
    if (f == nullptr) {
        return false;
    }
    bool ok = t->Load(f) && ferror(f) == 0;
    fclose(f);
    if (!ok) {
        err("FXObjModel::Load -> cannot read %s\n", path);
        t->Destroy();
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Corners

// Corner shapes, chosen by the first corner of a statement.
enum { LOCAL_SHAPE_VN = 1, LOCAL_SHAPE_VTN, LOCAL_SHAPE_VT, LOCAL_SHAPE_V };

struct tagObjCorner {
    int v, t, n;
    bool hasT, hasN;
};

// Reads one corner of the shape as scanf would read its pattern; answers the values assigned.
static int localReadCorner(FXTextReader* t, int shape, tagObjCorner* c) {
    c->hasT = false;
    c->hasN = false;
    c->t = 0;
    c->n = 0;
    if (!t->ReadInt(&c->v)) {
        return 0;
    }
    switch (shape) {
        case LOCAL_SHAPE_VN:
            if (!t->Match('/') || !t->Match('/') || !t->ReadInt(&c->n)) {
                return 1;
            }
            c->hasN = true;
            return 2;
        case LOCAL_SHAPE_VTN:
            if (!t->Match('/') || !t->ReadInt(&c->t)) {
                return 1;
            }
            c->hasT = true;
            if (!t->Match('/') || !t->ReadInt(&c->n)) {
                return 2;
            }
            c->hasN = true;
            return 3;
        case LOCAL_SHAPE_VT:
            if (!t->Match('/') || !t->ReadInt(&c->t)) {
                return 1;
            }
            c->hasT = true;
            return 2;
        default:
            return 1;
    }
}

// The first corner of a statement, read from the token that holds it (as scanf reads a
// string), which also sets the statement's shape. 0 when the token starts no corner.
static int localFirstCorner(const char* tok, size_t length, int* shape, tagObjCorner* c) {
    // A string ends at a zero byte.
    const char* zero = (const char*)memchr(tok, 0, length);
    length = zero != nullptr ? (size_t)(zero - tok) : length;
    FXTextReader t;
    t.View(tok, length);
    for (size_t i = 0; i + 1 < length; i++) {
        if (tok[i] == '/' && tok[i + 1] == '/') {
            *shape = LOCAL_SHAPE_VN;
            return localReadCorner(&t, LOCAL_SHAPE_VN, c);
        }
    }
    // Read as v/t/n, a token tells its own shape: v/t reads alike as far as it goes, and v alone
    // stops before the first slash either way.
    int got = localReadCorner(&t, LOCAL_SHAPE_VTN, c);
    *shape = got == 3 ? LOCAL_SHAPE_VTN : got == 2 ? LOCAL_SHAPE_VT : LOCAL_SHAPE_V;
    return got;
}

// ---------------------------------------------------------------------------------------------
// Parsing

// State shared by both passes. The passes consume the text statement by statement in the same
// way, so the second meets exactly the statements the first counted.
struct tagObjParse {
    FXObjModel* obj;
    bool counting; // first pass
    tagObjCorner* corners;
    int cornerCapacity;
    // First pass: counts; second pass: entries filled so far.
    int64_t positions, normals, texCoords, faces, usemtls;
    int64_t* groupFaces; // first pass: faces per group
    int groupCapacity;
    std::unordered_map<std::string, int> groupIds;
    std::unordered_map<std::string, int> materialIds;
    MObjGroup* group;
    int groupIndex;
    int material;
    bool failed; // out of memory in the first pass
};

static MObjGroup* localGroupAt(FXObjModel* obj, int i) {
    return i >= 0 && i < obj->groups.size ? (MObjGroup*)obj->groups.elements[i] : nullptr;
}

// First pass: the group of that name (group 0 for none); -1 when there is none yet.
static int localFindGroup1(tagObjParse* p, const char* name) {
    if (name == nullptr || name[0] == 0) {
        return 0;
    }
    auto found = p->groupIds.find(name);
    return found != p->groupIds.end() ? found->second : -1;
}

// Second pass: as localFindGroup1, but a name no group has gives the last group.
static int localFindGroup(tagObjParse* p, const char* name) {
    int i = localFindGroup1(p, name);
    return i >= 0 ? i : p->obj->groups.size - 1;
}

static int localNewGroup(tagObjParse* p, const char* name) {
    FXObjModel* obj = p->obj;
    if (obj->groups.size >= p->groupCapacity) {
        int capacity = p->groupCapacity > 0 ? p->groupCapacity * 2 : 16;
        int64_t* grown = (int64_t*)realloc(p->groupFaces, (size_t)capacity * sizeof(int64_t));
        if (grown == nullptr) {
            return -1;
        }
        memset(grown + p->groupCapacity, 0, (size_t)(capacity - p->groupCapacity) * sizeof(int64_t));
        p->groupFaces = grown;
        p->groupCapacity = capacity;
    }
    MObjGroup* g = new MObjGroup();
    g->name.Set(name);
    if (!fxPushDoubling(&obj->groups, g)) {
        delete g;
        return -1;
    }
    int id = obj->groups.size - 1;
    if (id > 0) {
        p->groupIds.emplace(g->name.chars, id);
    }
    return id;
}

// The material's id: -1 for no name, else the position of its first usemtl, new names appended.
static int localMaterialID(tagObjParse* p, const char* name) {
    if (name == nullptr || name[0] == 0) {
        return -1;
    }
    auto found = p->materialIds.find(name);
    if (found != p->materialIds.end()) {
        return found->second;
    }
    FXStrArray* names = &p->obj->materialNames;
    if (!fxPushDoubling(names, name)) {
        return -1;
    }
    int id = names->size - 1;
    p->materialIds.emplace(name, id);
    return id;
}

// The name of a g statement: the rest of the line, trimmed.
static void localGroupName(FXTextReader* t, FXStr* name) {
    char line[FXOBJ_LINE];
    t->RestOfLine(line, FXOBJ_LINE);
    name->Set(line);
    name->TrimSpaces();
}

// 0-based position in a table of total entries for an OBJ index; negative indices count back
// from the read entries before the statement. -1 when the index names no entry.
static int localResolve(int index, int64_t read, int64_t total) {
    int64_t r;
    if (index > 0) {
        r = (int64_t)index - 1;
    } else if (index < 0) {
        r = read + index;
    } else {
        return -1;
    }
    return r >= 0 && r < total ? (int)r : -1;
}

// Reads the corners of an f or l statement; answers their count.
static int localReadCorners(FXTextReader* t, tagObjParse* p) {
    size_t before = t->pos;
    size_t length = 0;
    const char* tok = t->TokenAt(&length);
    if (tok == nullptr) {
        return 0;
    }
    // Read where it stands, but only as far as a token read into a statement's buffer would go.
    int shape;
    tagObjCorner c;
    if (localFirstCorner(tok, length < FXOBJ_LINE ? length : FXOBJ_LINE - 1, &shape, &c) == 0) {
        // No corner at all: the token is left for the statement reader.
        t->pos = before;
        return 0;
    }
    int count = 0;
    for (;;) {
        if (count >= p->cornerCapacity) {
            // The first pass sizes the buffer for the longest statement; the second never grows it.
            int capacity = p->cornerCapacity > 0 ? p->cornerCapacity * 2 : 64;
            tagObjCorner* grown = p->counting && capacity > 0
                                      ? (tagObjCorner*)realloc(p->corners, (size_t)capacity * sizeof(c))
                                      : nullptr;
            if (grown == nullptr) {
                p->failed = true;
                return count;
            }
            p->corners = grown;
            p->cornerCapacity = capacity;
        }
        p->corners[count++] = c;
        if (localReadCorner(t, shape, &c) == 0) {
            return count;
        }
    }
}

// Stores one triangle or segment as the next face of the current group (second pass).
static void localStoreFace(tagObjParse* p, bool isLine, const int* v, const int* n, const int* t) {
    FXObjModel* obj = p->obj;
    MObjGroup* g = p->group;
    if (p->faces >= obj->faces.size || g == nullptr || g->Filled() >= g->faceIds.size) {
        err("localLoadModel -> a face the first pass did not count is left out\n");
        return;
    }
    MObjFace* face = (MObjFace*)obj->faces.elements[p->faces];
    face->isLine = isLine;
    int corners = isLine ? 2 : 3;
    for (int i = 0; i < corners; i++) {
        face->v[i] = v[i];
        face->n[i] = n[i];
        face->t[i] = t[i];
    }
    face->material = p->material;
    *g->writeCursor++ = (int32_t)p->faces;
    p->faces++;
}

static void localFaceStatement(FXTextReader* t, tagObjParse* p, bool isLine) {
    FXObjModel* obj = p->obj;
    int k = localReadCorners(t, p);
    int made = isLine ? (k >= 2 ? k - 1 : 0) : (k >= 3 ? k - 2 : 0);
    if (made == 0) {
        if (p->counting && !p->failed) {
            err("localPrepareModel -> %s statement with %d %s is left out\n", isLine ? "l" : "f", k,
                isLine ? "points" : "corners");
        }
        return;
    }
    if (p->counting) {
        p->faces += made;
        p->groupFaces[p->groupIndex] += made;
        return;
    }
    // Every corner must name entries of the tables, or the whole statement is left out.
    for (int i = 0; i < k; i++) {
        tagObjCorner* c = &p->corners[i];
        int v = localResolve(c->v, p->positions, obj->positions.size);
        int tt = c->hasT ? localResolve(c->t, p->texCoords, obj->texCoords.size) : -1;
        int n = c->hasN ? localResolve(c->n, p->normals, obj->normals.size) : -1;
        if (v < 0 || (c->hasT && tt < 0) || (c->hasN && n < 0)) {
            err("localLoadModel -> %s statement left out: corner %d (%d/%d/%d) names no entry of the %d positions, "
                "%d texture coordinates and %d normals\n",
                isLine ? "l" : "f", i + 1, c->v, c->hasT ? c->t : 0, c->hasN ? c->n : 0, (int)obj->positions.size,
                (int)obj->texCoords.size, (int)obj->normals.size);
            return;
        }
        c->v = v;
        c->t = tt;
        c->n = n;
    }
    for (int i = 0; i < made; i++) {
        // Polygons become fans around the first corner; lines become chains of segments.
        const tagObjCorner* a = isLine ? &p->corners[i] : &p->corners[0];
        const tagObjCorner* b = &p->corners[i + 1];
        const tagObjCorner* c = isLine ? b : &p->corners[i + 2];
        int v[3] = {a->v, b->v, c->v};
        int n[3] = {a->n, b->n, c->n};
        int tt[3] = {a->t, b->t, c->t};
        if (isLine) {
            v[2] = n[2] = tt[2] = 0;
        }
        localStoreFace(p, isLine, v, n, tt);
    }
}

// Reads up to dim floats of a table entry from its line, then drops the rest of the line.
static void localReadEntry(FXTextReader* t, FXMemory* table, int64_t* filled, int dim, bool negateZ) {
    float values[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < dim; i++) {
        if (!t->ReadLineFloat(&values[i])) {
            break;
        }
    }
    t->SkipLine();
    if (*filled >= table->size) {
        return;
    }
    float* entry = (float*)table->block + *filled * dim;
    for (int i = 0; i < dim; i++) {
        entry[i] = values[i];
    }
    if (negateZ) {
        entry[2] = -entry[2];
    }
    (*filled)++;
}

// One pass over the statements: counting (localPrepareModel) or filling (localLoadModel).
static void localParse(FXTextReader* t, tagObjParse* p) {
    FXObjModel* obj = p->obj;
    char tok[FXOBJ_LINE];
    char line[FXOBJ_LINE];
    char word[FXOBJ_LINE];
    t->pos = 0;
    p->groupIndex = 0;
    p->group = localGroupAt(obj, 0);
    p->material = 0;
    while (!p->failed && t->NextToken(tok, FXOBJ_LINE, nullptr)) {
        switch (tok[0]) {
            case '#':
                t->SkipLine();
                break;
            case 'v':
                if (tok[1] == 0 || tok[1] == 'n' || tok[1] == 't') {
                    if (p->counting) {
                        (tok[1] == 0 ? p->positions : tok[1] == 'n' ? p->normals : p->texCoords)++;
                        t->SkipLine();
                    } else if (tok[1] == 0) {
                        localReadEntry(t, &obj->positions, &p->positions, 3, true);
                    } else if (tok[1] == 'n') {
                        localReadEntry(t, &obj->normals, &p->normals, 3, true);
                    } else {
                        localReadEntry(t, &obj->texCoords, &p->texCoords, 2, false);
                    }
                } else if (p->counting) {
                    err("localPrepareModel -> unknown token(0): %s\n", tok);
                }
                break;
            case 'f':
            case 'l':
                localFaceStatement(t, p, tok[0] == 'l');
                break;
            case 'g': {
                FXStr name;
                localGroupName(t, &name);
                if (p->counting) {
                    int id = localFindGroup1(p, name.chars);
                    if (id < 0) {
                        id = localNewGroup(p, name.chars);
                        if (id < 0) {
                            p->failed = true;
                            break;
                        }
                    }
                    p->groupIndex = id;
                } else {
                    p->groupIndex = localFindGroup(p, name.chars);
                }
                p->group = localGroupAt(obj, p->groupIndex);
                break;
            }
            case 'm':
                if (strncmp(tok, "mtllib", 6) != 0) {
                    err("localPrepareModel -> unknown token(1): %s\n", tok);
                } else if (p->counting) {
                    t->SkipLine();
                } else {
                    t->RestOfLine(line, FXOBJ_LINE);
                    fxFirstWord(line, word, FXOBJ_LINE);
                    FXStr libName(word);
                    libName.TrimSpaces();
                    free(obj->mtllibName);
                    obj->mtllibName = libName.IsEmpty() ? nullptr : strdup(libName.chars);
                }
                break;
            case 'u':
                if (strncmp(tok, "usemtl", 6) != 0) {
                    err("localPrepareModel -> unknown token(2): %s\n", tok);
                } else if (p->counting) {
                    p->usemtls++;
                    t->SkipLine();
                } else {
                    t->RestOfLine(line, FXOBJ_LINE);
                    fxFirstWord(line, word, FXOBJ_LINE);
                    FXStr materialName(word);
                    materialName.TrimSpaces();
                    // A usemtl without a name keeps the faces in the material they are in.
                    int id = localMaterialID(p, materialName.chars);
                    if (id >= 0) {
                        p->material = id;
                    }
                }
                break;
            default:
                if (p->counting) {
                    t->RestOfLine(line, FXOBJ_LINE);
                    err("localPrepareModel -> unknown token(3): %s%s\n", tok, line);
                } else {
                    t->SkipLine();
                }
                break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// FXObjModel

int MObjGroup::Filled() const {
    return writeCursor != nullptr ? (int)(writeCursor - (int32_t*)faceIds.block) : 0;
}

FXObjModel::FXObjModel()
    : path(nullptr), mtllibName(nullptr), matlib(nullptr), positions(12), normals(12), texCoords(8),
      faceBlock(nullptr) {}

FXObjModel::~FXObjModel() {
    Destroy();
}

void FXObjModel::Destroy() {
    free(path);
    path = nullptr;
    free(mtllibName);
    mtllibName = nullptr;
    if (matlib != nullptr) {
        // As with models: only a library the current environment still lists is counted down.
        if (fxglobalEnv != nullptr && fxglobalEnv->matlibs.Findpos(matlib) >= 0) {
            matlib->Release();
        }
        matlib = nullptr;
    }
    materialNames.DestroyBuf();
    materialMeshes.DestroyBuf();
    positions.DestroyBuf();
    normals.DestroyBuf();
    texCoords.DestroyBuf();
    faces.DestroyBuf();
    free(faceBlock);
    faceBlock = nullptr;
    for (int i = 0; i < groups.size; i++) {
        delete (MObjGroup*)groups.elements[i];
    }
    groups.DestroyBuf();
}

// Sizes a table to count entries, all zero.
static bool localSizeTable(FXMemory* table, int64_t count) {
    if (count <= 0) {
        return true;
    }
    table->Realloc((int)count);
    if (table->capacity < count) {
        return false;
    }
    fxAdviseLargePages(table->block, (size_t)count * (size_t)table->itemSize);
    memset(table->block, 0, (size_t)count * (size_t)table->itemSize);
    table->size = (int32_t)count;
    return true;
}

// Sizes every table to the counts of the first pass.
static bool localSizeTables(FXObjModel* obj, tagObjParse* p) {
    if (p->positions > LOCAL_MAX_ITEMS || p->normals > LOCAL_MAX_ITEMS || p->texCoords > LOCAL_MAX_ITEMS ||
        p->faces > LOCAL_MAX_ITEMS) {
        err("FXObjModel::Load -> %s holds more entries than a model can take\n", obj->path);
        return false;
    }
    int64_t texCount = p->texCoords > 0 ? p->texCoords : p->positions;
    bool ok = localSizeTable(&obj->positions, p->positions) && localSizeTable(&obj->normals, p->normals) &&
              localSizeTable(&obj->texCoords, texCount);
    if (ok && p->faces > 0) {
        obj->faceBlock = (MObjFace*)calloc((size_t)p->faces, sizeof(MObjFace));
        fxAdviseLargePages(obj->faceBlock, (size_t)p->faces * sizeof(MObjFace));
        obj->faces.Realloc((int)p->faces);
        ok = obj->faceBlock != nullptr && obj->faces.capacity >= p->faces;
        for (int64_t i = 0; ok && i < p->faces; i++) {
            obj->faces.Push(&obj->faceBlock[i]);
        }
    }
    for (int i = 0; ok && i < obj->groups.size; i++) {
        MObjGroup* g = localGroupAt(obj, i);
        ok = localSizeTable(&g->faceIds, p->groupFaces[i]);
        g->writeCursor = (int32_t*)g->faceIds.block;
    }
    if (ok && p->usemtls > 0) {
        // Room for every usemtl naming a new material, so the list never grows one by one.
        obj->materialNames.Realloc((int)(p->usemtls < 4096 ? p->usemtls : 4096));
    }
    if (!ok) {
        err("FXObjModel::Load -> out of memory for the tables of %s\n", obj->path);
    }
    return ok;
}

bool FXObjModel::Load(const char* objPath, const char* given) {
    Destroy();
    if (objPath == nullptr) {
        return false;
    }
    FXTextReader text;
    if (given != nullptr) {
        text.Borrow(given);
    } else if (!localReadText(objPath, &text)) {
        err("FXObjModel::Load -> cannot open %s\n", objPath);
        return false;
    }
    path = strdup(objPath);

    tagObjParse p;
    p.obj = this;
    p.corners = nullptr;
    p.cornerCapacity = 0;
    p.positions = p.normals = p.texCoords = p.faces = p.usemtls = 0;
    p.groupFaces = nullptr;
    p.groupCapacity = 0;
    p.group = nullptr;
    p.groupIndex = 0;
    p.material = 0;
    p.failed = false;

    // First pass: group 0, the counts, then every table at its final size.
    p.counting = true;
    bool ok = localNewGroup(&p, "") == 0;
    if (ok) {
        localParse(&text, &p);
        ok = !p.failed && localSizeTables(this, &p);
    }
    if (ok) {
        p.counting = false;
        p.positions = p.normals = p.texCoords = p.faces = 0;
        localParse(&text, &p);
        // Left-out statements leave the face list shorter than counted.
        faces.size = (int32_t)p.faces;
    }
    free(p.corners);
    free(p.groupFaces);
    text.Destroy();
    if (!ok) {
        if (p.failed) {
            err("FXObjModel::Load -> out of memory reading %s\n", objPath);
        }
        Destroy();
        return false;
    }
    if (mtllibName != nullptr) {
        if (fxglobalEnv != nullptr) {
            matlib = fxglobalEnv->LoadMatlib(mtllibName);
        } else {
            err("FXObjModel::Load -> no render environment to load %s\n", mtllibName);
        }
    }
    materialMeshes.Realloc(materialNames.size);
    for (int i = 0; i < materialNames.size; i++) {
        materialMeshes.Push(nullptr);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Conversion

// Per mesh: the vertex of each source triple (position, normal, texture coordinate), so a corner
// finds the vertex a scan from the first would find without the scan. Open addressing; slots
// hold vertex numbers, -1 when free.
struct tagObjVertexIndex {
    int32_t* slots;
    uint32_t mask;
    int32_t entries;
};

static uint32_t localHashTriple(int v, int n, int t) {
    uint32_t h = (uint32_t)v * 0x9E3779B1u;
    h ^= (uint32_t)n * 0x85EBCA77u + (h << 6) + (h >> 2);
    h ^= (uint32_t)t * 0xC2B2AE3Du + (h << 6) + (h >> 2);
    h ^= h >> 15;
    return h;
}

static bool localIndexGrow(tagObjVertexIndex* index, const tagFXVertex* vertices, uint32_t atLeast = 1024) {
    uint32_t slotCount = index->slots != nullptr ? (index->mask + 1) * 2 : atLeast;
    if (slotCount == 0 || slotCount > (1u << 30)) {
        return false;
    }
    int32_t* slots = (int32_t*)malloc((size_t)slotCount * sizeof(int32_t));
    if (slots == nullptr) {
        return false;
    }
    fxAdviseLargePages(slots, (size_t)slotCount * sizeof(int32_t));
    memset(slots, 0xFF, (size_t)slotCount * sizeof(int32_t));
    uint32_t mask = slotCount - 1;
    if (index->slots != nullptr) {
        for (uint32_t i = 0; i <= index->mask; i++) {
            int32_t vertex = index->slots[i];
            if (vertex < 0) {
                continue;
            }
            const int32_t* key = vertices[vertex].reserved;
            uint32_t s = localHashTriple(key[0], key[1], key[2]) & mask;
            while (slots[s] >= 0) {
                s = (s + 1) & mask;
            }
            slots[s] = vertex;
        }
    }
    free(index->slots);
    index->slots = slots;
    index->mask = mask;
    return true;
}

// Makes room for one more vertex or index, doubling the block: steps of a fixed size would copy
// a large mesh's block over and over. New records are zero.
static bool localGrowBlock(void** block, int* capacity, int count, size_t recordSize) {
    if (count < *capacity) {
        return true;
    }
    int64_t target = *capacity > 0 ? (int64_t)*capacity * 2 : LOCAL_FIRST_BLOCK;
    if (target > INT_MAX) {
        target = INT_MAX;
    }
    if (target <= count) {
        return false;
    }
    void* grown = realloc(*block, (size_t)target * recordSize);
    if (grown == nullptr) {
        return false;
    }
    memset((uint8_t*)grown + (size_t)*capacity * recordSize, 0, (size_t)(target - *capacity) * recordSize);
    *block = grown;
    *capacity = (int)target;
    return true;
}

static const float* localEntry(const FXMemory* table, int i, int dim) {
    return i >= 0 && i < table->size ? (const float*)table->block + (size_t)i * dim : nullptr;
}

// The mesh vertex made from the source triple (v, n, t), made on first use; -1 when the mesh
// cannot grow.
static int localFindCreateObjVertex(FXMesh* mesh, tagObjVertexIndex* index, FXObjModel* obj, int v, int n, int t) {
    if (index->slots == nullptr || (uint32_t)(index->entries + 1) * 2 > index->mask + 1) {
        if (!localIndexGrow(index, mesh->vertices)) {
            err("localImportObj -> out of memory for the vertex index\n");
            return -1;
        }
    }
    uint32_t s = localHashTriple(v, n, t) & index->mask;
    while (index->slots[s] >= 0) {
        const int32_t* key = mesh->vertices[index->slots[s]].reserved;
        if (key[0] == v && key[1] == n && key[2] == t) {
            return index->slots[s];
        }
        s = (s + 1) & index->mask;
    }
    if (!localGrowBlock((void**)&mesh->vertices, &mesh->vertexCapacity, mesh->vertexCount, sizeof(tagFXVertex))) {
        err("localImportObj -> out of memory for %d vertices\n", mesh->vertexCount + 1);
        return -1;
    }
    int vertex = mesh->vertexCount++;
    tagFXVertex* x = &mesh->vertices[vertex];
    memset(x, 0, sizeof(*x));
    const float* p = localEntry(&obj->positions, v, 3);
    const float* nn = localEntry(&obj->normals, n, 3);
    const float* tt = localEntry(&obj->texCoords, t, 2);
    for (int i = 0; i < 3; i++) {
        x->position[i] = p != nullptr ? p[i] : 0.0f;
        x->normal[i] = nn != nullptr ? nn[i] : 0.0f;
    }
    x->texCoord[0] = tt != nullptr ? tt[0] : 0.0f;
    x->texCoord[1] = tt != nullptr ? tt[1] : 0.0f;
    for (int i = 0; i < 4; i++) {
        x->colour[i] = 1.0f;
    }
    x->reserved[0] = v;
    x->reserved[1] = n;
    x->reserved[2] = t;
    index->slots[s] = vertex;
    index->entries++;
    return vertex;
}

static bool localPushIndice(FXMesh* mesh, int vertex) {
    if (!localGrowBlock((void**)&mesh->indices, &mesh->indexCapacity, mesh->indexCount, sizeof(int))) {
        err("localImportObj -> out of memory for %d indices\n", mesh->indexCount + 1);
        return false;
    }
    mesh->indices[mesh->indexCount++] = vertex;
    return true;
}

// Sizes a mesh for its faces before they are converted: the index block exactly, the vertex block
// and its index for as many vertices as the largest table has entries (never more than corners),
// so that a large mesh is not copied block by block as it grows. Zeroed blocks cost no page until
// they are written. Without memory the blocks simply grow as before.
static void localReserveMesh(FXMesh* mesh, tagObjVertexIndex* index, FXObjModel* obj, int64_t faces) {
    if (faces <= 0 || faces > LOCAL_MAX_ITEMS / 3) {
        return;
    }
    int64_t vertices = obj->positions.size;
    vertices = obj->normals.size > vertices ? obj->normals.size : vertices;
    vertices = obj->texCoords.size > vertices ? obj->texCoords.size : vertices;
    vertices = vertices < faces * 3 ? vertices : faces * 3;
    int* indices = (int*)calloc((size_t)faces * 3, sizeof(int));
    tagFXVertex* block = vertices > 0 ? (tagFXVertex*)calloc((size_t)vertices, sizeof(tagFXVertex)) : nullptr;
    if (indices == nullptr || block == nullptr) {
        free(indices);
        free(block);
        return;
    }
    fxAdviseLargePages(indices, (size_t)faces * 3 * sizeof(int));
    fxAdviseLargePages(block, (size_t)vertices * sizeof(tagFXVertex));
    free(mesh->indices);
    mesh->indices = indices;
    mesh->indexCapacity = (int)(faces * 3);
    free(mesh->vertices);
    mesh->vertices = block;
    mesh->vertexCapacity = (int)vertices;
    uint32_t slots = 1024;
    while ((int64_t)slots < vertices * 2 && slots < (1u << 30)) {
        slots *= 2;
    }
    localIndexGrow(index, mesh->vertices, slots);
}

// Gives back what the reservation held beyond the vertices made.
static void localFitMesh(FXMesh* mesh) {
    if (mesh->vertexCount > 0 && mesh->vertexCount < mesh->vertexCapacity) {
        tagFXVertex* fitted = (tagFXVertex*)realloc(mesh->vertices, (size_t)mesh->vertexCount * sizeof(tagFXVertex));
        if (fitted != nullptr) {
            mesh->vertices = fitted;
            mesh->vertexCapacity = mesh->vertexCount;
        }
    }
}

static bool localHasTriangles(FXObjModel* obj) {
    for (int i = 0; i < obj->faces.size; i++) {
        if (!((MObjFace*)obj->faces.elements[i])->isLine) {
            return true;
        }
    }
    return false;
}

static void localImportObj(FXModel* model, FXObjModel* obj) {
    model->matlibRef.Set(obj->mtllibName != nullptr ? obj->mtllibName : "");
    model->matlib = obj->matlib;
    if (model->matlib != nullptr) {
        model->matlib->useCount++;
    }
    // Faces before any usemtl, in a file that has none, still make a mesh: one without material.
    int meshCount = obj->materialNames.size;
    if (meshCount == 0 && localHasTriangles(obj)) {
        meshCount = 1;
    }
    if (meshCount == 0) {
        return;
    }
    obj->materialMeshes.RemoveAll();
    obj->materialMeshes.Realloc(meshCount);
    model->loadedMeshes.Realloc(model->loadedMeshes.size + meshCount);
    FXMesh** meshes = new FXMesh*[meshCount];
    tagObjVertexIndex* indexes = new tagObjVertexIndex[meshCount];
    for (int i = 0; i < meshCount; i++) {
        FXMesh* mesh = new FXMesh();
        const char* materialName = i < obj->materialNames.size ? obj->materialNames.elements[i] : nullptr;
        FXMaterial* material =
            model->matlib != nullptr && materialName != nullptr ? model->matlib->FindMaterial(materialName) : nullptr;
        mesh->material = material;
        if (material != nullptr) {
            mesh->materialName = material->name;
            mesh->renderClass = material->IsSolid() ? 0 : 1;
        }
        model->loadedMeshes.Push(mesh);
        obj->materialMeshes.Push(mesh);
        meshes[i] = mesh;
        indexes[i].slots = nullptr;
        indexes[i].mask = 0;
        indexes[i].entries = 0;
    }
    std::vector<int64_t> meshFaces((size_t)meshCount, 0);
    for (int i = 0; i < obj->faces.size; i++) {
        const MObjFace* face = (const MObjFace*)obj->faces.elements[i];
        if (!face->isLine && face->material >= 0 && face->material < meshCount) {
            meshFaces[(size_t)face->material]++;
        }
    }
    for (int i = 0; i < meshCount; i++) {
        localReserveMesh(meshes[i], &indexes[i], obj, meshFaces[(size_t)i]);
    }
    // Group by group, each group's faces in file order.
    for (int g = 0; g < obj->groups.size; g++) {
        MObjGroup* group = (MObjGroup*)obj->groups.elements[g];
        const int32_t* ids = (const int32_t*)group->faceIds.block;
        int filled = group->Filled();
        for (int k = 0; k < filled; k++) {
            int id = ids[k];
            if (id < 0 || id >= obj->faces.size) {
                continue;
            }
            MObjFace* face = (MObjFace*)obj->faces.elements[id];
            if (face->isLine || face->material < 0 || face->material >= meshCount) {
                continue;
            }
            FXMesh* mesh = meshes[face->material];
            int corner[3];
            bool ok = true;
            for (int c = 0; c < 3 && ok; c++) {
                corner[c] =
                    localFindCreateObjVertex(mesh, &indexes[face->material], obj, face->v[c], face->n[c], face->t[c]);
                ok = corner[c] >= 0;
            }
            for (int c = 0; c < 3 && ok; c++) {
                ok = localPushIndice(mesh, corner[c]);
            }
            if (!ok) {
                // Out of memory: keep whole triangles only.
                mesh->indexCount -= mesh->indexCount % 3;
            }
        }
    }
    for (int i = 0; i < meshCount; i++) {
        localFitMesh(meshes[i]);
        free(indexes[i].slots);
    }
    delete[] indexes;
    delete[] meshes;
}

bool FXModel::ImportObj(const char* objPath, const char* text) {
    FXObjModel* obj = new FXObjModel();
    bool ok = obj->Load(objPath, text);
    if (ok) {
        localImportObj(this, obj);
    }
    delete obj;
    return ok;
}
