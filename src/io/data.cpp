#include "io/data.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "io/package.h"
#include "base/stream.h"
#include "base/trace.h"
#include "base/other.h"
#include "io/vertex.h"

// Bytes or floats taken at a time from a stream that cannot tell how much it still holds, so a
// damaged count cannot make us allocate far more than actually arrives.
#define LOCAL_BLIND_CHUNK (1 << 20)
// Floats converted per write or read batch.
#define LOCAL_FLOAT_BATCH 1024
// Smallest hash table of a vector index.
#define LOCAL_MIN_SLOTS 1024

// ---------------------------------------------------------------------------------------------
// FXNumPool

FXNumPool::FXNumPool() : bytes(nullptr), cursor(nullptr), readPos(0), used(0), capacity(0), growStep(1) {}

FXNumPool::FXNumPool(int growStep)
    : bytes(nullptr), cursor(nullptr), readPos(0), used(0), capacity(0), growStep(growStep) {}

FXNumPool::~FXNumPool() {
    DestroyBuf();
}

void FXNumPool::DestroyBuf() {
    free(bytes);
    bytes = nullptr;
    cursor = nullptr;
    readPos = 0;
    used = 0;
    capacity = 0;
}

bool FXNumPool::Realloc(int n) {
    if (capacity >= n) {
        return true;
    }
    int64_t step = growStep > 0 ? growStep : 1;
    int64_t steps = ((int64_t)n - capacity + step - 1) / step;
    int64_t target = (int64_t)capacity + steps * step;
    if (target > INT32_MAX) {
        target = INT32_MAX;
    }
    uint8_t* grown = (uint8_t*)realloc(bytes, (size_t)target);
    if (grown == nullptr) {
        err("FXNumPool::Realloc: out of memory for %lld bytes\n", (long long)target);
        return false;
    }
    memset(grown + capacity, 0, (size_t)(target - capacity));
    bytes = grown;
    capacity = (int32_t)target;
    cursor = bytes + (readPos < capacity ? readPos : capacity);
    return true;
}

bool FXNumPool::Reserve(int n) {
    if (bytes != nullptr || n <= 0) {
        return false;
    }
    // Zeroed pages cost nothing until the stream reaches them.
    bytes = (uint8_t*)calloc((size_t)n, 1);
    if (bytes == nullptr) {
        return false;
    }
    fxAdviseLargePages(bytes, (size_t)n);
    capacity = n;
    cursor = bytes;
    return true;
}

// Room for n more bytes at the end of the stream.
static bool localPoolRoom(FXNumPool* pool, int n) {
    if (pool->used > INT32_MAX - n) {
        err("FXNumPool: stream longer than %d bytes\n", INT32_MAX);
        return false;
    }
    return pool->Realloc(pool->used + n);
}

int FXNumPool::PushByte(unsigned char v) {
    if (!localPoolRoom(this, 1)) {
        return -1;
    }
    bytes[used] = v;
    used += 1;
    return used;
}

int FXNumPool::PushWord(unsigned short v) {
    if (!localPoolRoom(this, 2)) {
        return -1;
    }
    bytes[used] = (uint8_t)v;
    bytes[used + 1] = (uint8_t)(v >> 8);
    used += 2;
    return used;
}

int FXNumPool::PushInt(int v) {
    if (!localPoolRoom(this, 4)) {
        return -1;
    }
    fxPutLE32(bytes + used, (uint32_t)v);
    used += 4;
    return used;
}

int FXNumPool::PushBytes(const uint8_t* v, int n) {
    if (n < 0 || !localPoolRoom(this, n)) {
        return -1;
    }
    memcpy(bytes + used, v, (size_t)n);
    used += n;
    return used;
}

void FXNumPool::Reseek() {
    cursor = bytes;
    readPos = 0;
}

// Bytes that can still be read; the read position can lie beyond a stream loaded shorter.
static bool localPoolHas(const FXNumPool* pool, int n) {
    return pool->bytes != nullptr && pool->readPos >= 0 && pool->readPos <= pool->used - n;
}

bool FXNumPool::GetNextByte(unsigned char* v) {
    if (!localPoolHas(this, 1)) {
        return false;
    }
    *v = bytes[readPos];
    readPos += 1;
    cursor = bytes + readPos;
    return true;
}

bool FXNumPool::GetNextWord(unsigned short* v) {
    if (!localPoolHas(this, 2)) {
        return false;
    }
    *v = (unsigned short)(bytes[readPos] | (bytes[readPos + 1] << 8));
    readPos += 2;
    cursor = bytes + readPos;
    return true;
}

bool FXNumPool::GetNextInt(int* v) {
    if (!localPoolHas(this, 4)) {
        return false;
    }
    *v = (int)(int32_t)fxGetLE32(bytes + readPos);
    readPos += 4;
    cursor = bytes + readPos;
    return true;
}

bool FXNumPool::Save(FILE* f) const {
    int32_t n = bytes != nullptr && used > 0 ? used : 0;
    bool ok = fxWriteInt32(f, n) == 4;
    if (n > 0) {
        ok = fwrite(bytes, 1, (size_t)n, f) == (size_t)n && ok;
    }
    return ok;
}

bool FXNumPool::Load(FILE* f) {
    int32_t length = fxReadInt32(f);
    used = 0;
    if (length <= 0) {
        return true;
    }
    int64_t left = fxStreamBytesLeft(f);
    if (left >= 0) {
        if (length > left) {
            err("FXNumPool::Load: length %d does not fit in the %lld bytes left\n", (int)length, (long long)left);
            return false;
        }
        if (!Realloc(length)) {
            return false;
        }
        if (fread(bytes, 1, (size_t)length, f) != (size_t)length) {
            err("FXNumPool::Load: stream ended before %d bytes\n", (int)length);
            return false;
        }
        used = length;
        return true;
    }
    int32_t have = 0;
    while (have < length) {
        int32_t chunk = length - have < LOCAL_BLIND_CHUNK ? length - have : LOCAL_BLIND_CHUNK;
        if (!Realloc(have + chunk)) {
            return false;
        }
        size_t got = fread(bytes + have, 1, (size_t)chunk, f);
        have += (int32_t)got;
        if (got < (size_t)chunk) {
            err("FXNumPool::Load: stream ended after %d of %d bytes\n", (int)have, (int)length);
            return false;
        }
    }
    used = length;
    return true;
}

bool FXNumPool::LoadC(FXPackage*, FXPackageData* data) {
    used = 0;
    if (data == nullptr) {
        return false;
    }
    int length = data->ReadInt();
    if (length <= 0) {
        return true;
    }
    if (length > data->remaining) {
        err("FXNumPool::LoadC: length %d does not fit in the %d bytes left\n", length, (int)data->remaining);
        return false;
    }
    if (!Realloc(length)) {
        return false;
    }
    data->ReadCopyBlc(bytes, length);
    used = length;
    return true;
}

// ---------------------------------------------------------------------------------------------
// FXVecIndex

static bool localHasNaN(const float* v, int dim) {
    for (int i = 0; i < dim; i++) {
        if (v[i] != v[i]) {
            return true;
        }
    }
    return false;
}

static bool localVecEqual(const float* a, const float* b, int dim) {
    for (int i = 0; i < dim; i++) {
        if (!(a[i] == b[i])) {
            return false;
        }
    }
    return true;
}

// Equal vectors must hash alike: both zeros hash as +0. NaN never reaches here.
static uint32_t localHashVec(const float* v, int dim) {
    uint64_t h = 0x243F6A8885A308D3ull;
    for (int i = 0; i < dim; i++) {
        uint32_t u;
        memcpy(&u, &v[i], 4);
        if ((u << 1) == 0) {
            u = 0;
        }
        h = (h ^ u) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return (uint32_t)(h ^ (h >> 32));
}

FXVecIndex::FXVecIndex()
    : slots(nullptr), slotCount(0), chains(0), next(nullptr), tails(nullptr), nextCapacity(0), indexed(0), stale(false),
      broken(false) {}

FXVecIndex::~FXVecIndex() {
    Destroy();
}

void FXVecIndex::Destroy() {
    free(slots);
    free(next);
    free(tails);
    slots = nullptr;
    next = nullptr;
    tails = nullptr;
    slotCount = 0;
    chains = 0;
    nextCapacity = 0;
    indexed = 0;
    stale = false;
    broken = false;
}

static void localClearSlots(FXVecIndex::Slot* slots, int32_t count) {
    for (int32_t s = 0; s < count; s++) {
        slots[s].head = -1;
        slots[s].hash = 0;
    }
}

bool FXVecIndex::Grow() {
    if (slotCount >= (1 << 29)) {
        return false;
    }
    int32_t count = slotCount > 0 ? slotCount * 2 : LOCAL_MIN_SLOTS;
    Slot* grown = (Slot*)malloc((size_t)count * sizeof(Slot));
    if (grown == nullptr) {
        return false;
    }
    // Slots are read at random: large pages spare a page walk per look-up.
    fxAdviseLargePages(grown, (size_t)count * sizeof(Slot));
    localClearSlots(grown, count);
    uint32_t mask = (uint32_t)count - 1;
    for (int32_t s = 0; s < slotCount; s++) {
        if (slots[s].head < 0) {
            continue;
        }
        uint32_t h = slots[s].hash & mask;
        while (grown[h].head >= 0) {
            h = (h + 1) & mask;
        }
        grown[h] = slots[s];
    }
    free(slots);
    slots = grown;
    slotCount = count;
    return true;
}

// The slot of the chain of vectors equal to v, or the free slot where that chain would start.
// The index must have slots.
static uint32_t localProbe(const FXVecIndex* index, const float* table, int dim, const float* v, uint32_t hash) {
    uint32_t mask = (uint32_t)index->slotCount - 1;
    uint32_t h = hash & mask;
    for (;;) {
        const FXVecIndex::Slot& s = index->slots[h];
        if (s.head < 0 || (s.hash == hash && localVecEqual(table + (size_t)s.head * dim, v, dim))) {
            return h;
        }
        h = (h + 1) & mask;
    }
}

void FXVecIndex::Enter(const float* table, int dim, int vector) {
    const float* v = table + (size_t)vector * dim;
    next[vector] = -1;
    if (localHasNaN(v, dim)) {
        return;
    }
    uint32_t hash = localHashVec(v, dim);
    uint32_t h = localProbe(this, table, dim, v, hash);
    if (slots[h].head >= 0) {
        int32_t head = slots[h].head;
        next[tails[head]] = vector;
        tails[head] = vector;
        return;
    }
    slots[h].head = vector;
    slots[h].hash = hash;
    tails[vector] = vector;
    chains++;
}

// Out of memory: the index is dropped for good, and its users scan the table instead.
static bool localGiveUp(FXVecIndex* index) {
    err("FXVecIndex: out of memory, matching falls back to scanning\n");
    index->Destroy();
    index->broken = true;
    return false;
}

// Room in next and tails for count vectors.
static bool localVectorRoom(FXVecIndex* index, int64_t count) {
    if (count <= index->nextCapacity) {
        return true;
    }
    int32_t* next = (int32_t*)realloc(index->next, (size_t)count * sizeof(int32_t));
    if (next != nullptr) {
        index->next = next;
    }
    int32_t* tails = next != nullptr ? (int32_t*)realloc(index->tails, (size_t)count * sizeof(int32_t)) : nullptr;
    if (tails == nullptr) {
        return false;
    }
    index->tails = tails;
    index->nextCapacity = (int32_t)count;
    return true;
}

bool FXVecIndex::Update(const float* table, int dim, int count) {
    if (broken) {
        return false;
    }
    if (stale || count < indexed) {
        if (slots != nullptr) {
            localClearSlots(slots, slotCount);
        }
        chains = 0;
        indexed = 0;
        stale = false;
    }
    if (count > nextCapacity) {
        int64_t target = (int64_t)nextCapacity * 2;
        target = target < count ? count : target;
        target = target > INT32_MAX ? INT32_MAX : target;
        if (!localVectorRoom(this, target)) {
            return localGiveUp(this);
        }
    }
    for (int32_t i = indexed; i < count; i++) {
        if ((int64_t)(chains + 1) * 2 > slotCount && !Grow()) {
            return localGiveUp(this);
        }
        Enter(table, dim, i);
    }
    indexed = count;
    return true;
}

bool FXVecIndex::Reserve(int vectors) {
    while (!broken && (int64_t)vectors * 2 > slotCount) {
        if (!Grow()) {
            return false;
        }
    }
    if (!broken) {
        localVectorRoom(this, vectors); // only a hint: Update grows them as it goes
    }
    return !broken;
}

int FXVecIndex::Probe(const float* table, int dim, const float* v, uint32_t* slot, uint32_t* hash) const {
    *hash = localHashVec(v, dim);
    *slot = localProbe(this, table, dim, v, *hash);
    return slots[*slot].head;
}

bool FXVecIndex::EnterAt(int vector, uint32_t slot, uint32_t hash) {
    bool unchanged = !broken && !stale && indexed == vector && vector < nextCapacity && slot < (uint32_t)slotCount &&
                     slots[slot].head < 0 && (int64_t)(chains + 1) * 2 <= slotCount;
    if (!unchanged) {
        return false;
    }
    next[vector] = -1;
    tails[vector] = vector;
    slots[slot].head = vector;
    slots[slot].hash = hash;
    chains++;
    indexed = vector + 1;
    return true;
}

int FXVecIndex::Find(const float* table, int dim, const float* v) const {
    if (slotCount == 0 || localHasNaN(v, dim)) {
        return -1;
    }
    // A free slot's head is -1.
    return slots[localProbe(this, table, dim, v, localHashVec(v, dim))].head;
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap: one table's operations, shared by positions, normals and texture coordinates

// The owner tag of vector j; lists not recorded (null) or lagging read as 0.
static int localOwner(const FXArray* owners, int j) {
    return owners != nullptr ? owners->GetInt(j) : 0;
}

static int localFindVec(FXVecIndex* index, const FXFloatArray* table, int dim, int count, const float* v,
                        PMeshSaveClb* clb, int ownerA, int ownerB, const FXArray* ownersA, const FXArray* ownersB) {
    if (count <= 0 || table->elements == nullptr) {
        return -1;
    }
    if (index->Update(table->elements, dim, count)) {
        int first = index->Find(table->elements, dim, v);
        if (clb == nullptr) {
            return first;
        }
        for (int j = first; j >= 0; j = index->Next(j)) {
            if (clb->CanShare(ownerA, ownerB, localOwner(ownersA, j), localOwner(ownersB, j))) {
                return j;
            }
        }
        return -1;
    }
    for (int j = 0; j < count; j++) {
        if (localVecEqual(table->elements + (size_t)j * dim, v, dim) &&
            (clb == nullptr || clb->CanShare(ownerA, ownerB, localOwner(ownersA, j), localOwner(ownersB, j)))) {
            return j;
        }
    }
    return -1;
}

// Owner tags are not stored: after a load the owner lists lag behind and are padded with 0.
// Afterwards the list holds count tags unless memory ran out.
static void localFitOwners(FXArray* owners, int count) {
    while (owners->size < count && fxPushIntDoubling(owners, 0)) {
    }
    owners->size = owners->size > count ? count : owners->size;
}

// ownersA/ownersB: null when the owners are not recorded.
static int localPushVec(FXVecIndex* index, FXFloatArray* table, int dim, int32_t* count, const float* v,
                        PMeshSaveClb* clb, int ownerA, int ownerB, FXArray* ownersA, FXArray* ownersB) {
    // Without a callback the first equal vector is the answer, and a failed look-up ends at the
    // free slot where the appended vector goes: it is entered there, not probed for again.
    bool direct = clb == nullptr && *count > 0 && table->elements != nullptr && !localHasNaN(v, dim) &&
                  index->Update(table->elements, dim, *count) && index->slotCount > 0;
    uint32_t slot = 0, hash = 0;
    int found = direct ? index->Probe(table->elements, dim, v, &slot, &hash)
                       : localFindVec(index, table, dim, *count, v, clb, ownerA, ownerB, ownersA, ownersB);
    if (found >= 0) {
        return found;
    }
    if (*count > INT32_MAX / dim - 1) {
        err("FXVectorMap: table full\n");
        return -1;
    }
    if (table->elements != nullptr && table->capacity / dim > *count) {
        memcpy(table->elements + (size_t)*count * dim, v, (size_t)dim * sizeof(float));
        table->size = (*count + 1) * dim;
    } else {
        table->size = *count * dim;
        for (int i = 0; i < dim; i++) {
            table->Push(v[i]);
        }
    }
    bool ok = table->size == (*count + 1) * dim;
    if (ownersA != nullptr && ownersB != nullptr) {
        localFitOwners(ownersA, *count);
        localFitOwners(ownersB, *count);
        ok = ok && ownersA->size == *count && ownersB->size == *count && fxPushIntDoubling(ownersA, ownerA) &&
             fxPushIntDoubling(ownersB, ownerB);
    }
    if (!ok) {
        err("FXVectorMap: out of memory for vector %d\n", (int)*count);
        table->size = *count * dim;
        return -1;
    }
    int added = *count;
    *count += 1;
    if (direct) {
        index->EnterAt(added, slot, hash);
    }
    return added;
}

static void localSetVec(FXVecIndex* index, FXFloatArray* table, int dim, int count, const float* v, int at) {
    if (at < 0 || at >= count || table->elements == nullptr) {
        return;
    }
    memcpy(table->elements + (size_t)at * dim, v, (size_t)dim * sizeof(float));
    index->stale = true;
}

static void localGetVec(const FXFloatArray* table, int dim, int count, int at, float* out) {
    if (at < 0 || at >= count || table->elements == nullptr) {
        return;
    }
    memcpy(out, table->elements + (size_t)at * dim, (size_t)dim * sizeof(float));
}

FXVectorMap::FXVectorMap()
    : positions(3000000), normals(3000000), texCoords(2000000), posCount(0), normCount(0), texCount(0),
      recordOwners(true), usedNorm(nullptr), usedTex(nullptr), usedVertices(0), usedCapacity(0), usedInOrder(true) {}

FXVectorMap::~FXVectorMap() {
    Destroy();
}

int FXVectorMap::PushVecPos(tagFXVertex* v, PMeshSaveClb* clb, int ownerA, int ownerB) {
    if (v == nullptr) {
        return -1;
    }
    return localPushVec(&posIndex, &positions, 3, &posCount, v->position, clb, ownerA, ownerB,
                        recordOwners ? &posOwnerA : nullptr, recordOwners ? &posOwnerB : nullptr);
}

int FXVectorMap::PushVecNorm(tagFXVertex* v, PMeshSaveClb* clb, int ownerA, int ownerB) {
    if (v == nullptr) {
        return -1;
    }
    return localPushVec(&normIndex, &normals, 3, &normCount, v->normal, clb, ownerA, ownerB,
                        recordOwners ? &normOwnerA : nullptr, recordOwners ? &normOwnerB : nullptr);
}

int FXVectorMap::PushVecTex(tagFXVertex* v, PMeshSaveClb* clb, int ownerA, int ownerB) {
    if (v == nullptr) {
        return -1;
    }
    return localPushVec(&texIndex, &texCoords, 2, &texCount, v->texCoord, clb, ownerA, ownerB,
                        recordOwners ? &texOwnerA : nullptr, recordOwners ? &texOwnerB : nullptr);
}

int FXVectorMap::FindVecPos(int ownerA, int ownerB, tagFXVertex* v, PMeshSaveClb* clb) {
    if (v == nullptr) {
        return -1;
    }
    return localFindVec(&posIndex, &positions, 3, posCount, v->position, clb, ownerA, ownerB, &posOwnerA, &posOwnerB);
}

int FXVectorMap::FindVecNorm(int ownerA, int ownerB, tagFXVertex* v, PMeshSaveClb* clb) {
    if (v == nullptr) {
        return -1;
    }
    return localFindVec(&normIndex, &normals, 3, normCount, v->normal, clb, ownerA, ownerB, &normOwnerA, &normOwnerB);
}

int FXVectorMap::FindVecTex(int ownerA, int ownerB, tagFXVertex* v, PMeshSaveClb* clb) {
    if (v == nullptr) {
        return -1;
    }
    return localFindVec(&texIndex, &texCoords, 2, texCount, v->texCoord, clb, ownerA, ownerB, &texOwnerA, &texOwnerB);
}

void FXVectorMap::SetVecPos(tagFXVertex* v, int index) {
    if (v != nullptr) {
        localSetVec(&posIndex, &positions, 3, posCount, v->position, index);
    }
}

void FXVectorMap::SetVecNorm(tagFXVertex* v, int index) {
    if (v != nullptr) {
        localSetVec(&normIndex, &normals, 3, normCount, v->normal, index);
    }
}

void FXVectorMap::SetVecTex(tagFXVertex* v, int index) {
    if (v != nullptr) {
        localSetVec(&texIndex, &texCoords, 2, texCount, v->texCoord, index);
    }
}

void FXVectorMap::GetVecPos(int index, float* out) const {
    localGetVec(&positions, 3, posCount, index, out);
}

void FXVectorMap::GetVecNorm(int index, float* out) const {
    localGetVec(&normals, 3, normCount, index, out);
}

void FXVectorMap::GetVecTex(int index, float* out) const {
    localGetVec(&texCoords, 2, texCount, index, out);
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap: user tables

// A vector index that both its table and its user table hold.
static bool localUserIndexValid(const FXArray* user, int count, int at) {
    return at >= 0 && at < count && at < user->size;
}

static void localPushUser(FXArray* user, FXArray* users, FXArray* touched, int at, int vertex) {
    int first = user->GetInt(at);
    if (first == -1) {
        user->elements[at] = (void*)(intptr_t)vertex;
        fxPushIntDoubling(touched, at);
        return;
    }
    FXArray* list = (FXArray*)users->elements[at];
    if (list == nullptr) {
        list = new FXArray();
        fxPushIntDoubling(list, first);
        users->elements[at] = list;
    }
    fxPushIntDoubling(list, vertex);
}

// Whether vertex is among the users of one vector.
static bool localIsUser(const FXArray* user, const FXArray* users, int at, int vertex) {
    const FXArray* list = (const FXArray*)users->elements[at];
    if (list == nullptr) {
        return user->GetInt(at) == vertex;
    }
    for (int i = 0; i < list->size; i++) {
        if (list->GetInt(i) == vertex) {
            return true;
        }
    }
    return false;
}

void FXVectorMap::PushUsed(int pos, int norm, int tex, int vertex) {
    if (!localUserIndexValid(&posUser, posCount, pos) || !localUserIndexValid(&normUser, normCount, norm) ||
        !localUserIndexValid(&texUser, texCount, tex)) {
        return;
    }
    localPushUser(&posUser, &posUsers, &posTouched, pos, vertex);
    localPushUser(&normUser, &normUsers, &normTouched, norm, vertex);
    localPushUser(&texUser, &texUsers, &texTouched, tex, vertex);
    if (!usedInOrder) {
        return;
    }
    if (vertex != usedVertices || vertex == INT32_MAX) {
        usedInOrder = false;
        return;
    }
    if (usedVertices >= usedCapacity) {
        int64_t target = usedCapacity > 0 ? (int64_t)usedCapacity * 2 : 1024;
        if (target > INT32_MAX) {
            target = INT32_MAX;
        }
        int32_t* norms = (int32_t*)realloc(usedNorm, (size_t)target * sizeof(int32_t));
        if (norms != nullptr) {
            usedNorm = norms;
        }
        int32_t* texs = (int32_t*)realloc(usedTex, (size_t)target * sizeof(int32_t));
        if (texs != nullptr) {
            usedTex = texs;
        }
        if (norms == nullptr || texs == nullptr) {
            usedInOrder = false;
            return;
        }
        usedCapacity = (int32_t)target;
    }
    usedNorm[usedVertices] = norm;
    usedTex[usedVertices] = tex;
    usedVertices++;
}

int FXVectorMap::GetUsed1(int vertex, int norm, int tex) const {
    if (!localUserIndexValid(&normUser, normCount, norm) || !localUserIndexValid(&texUser, texCount, tex)) {
        return -1;
    }
    if (usedInOrder) {
        // Every recorded vertex came once, so it is a user of exactly one normal and one texture
        // coordinate; a vertex never recorded is nobody's user.
        if (vertex < 0 || vertex >= usedVertices) {
            return -1;
        }
        return usedNorm[vertex] == norm && usedTex[vertex] == tex ? vertex : -1;
    }
    if (localIsUser(&normUser, &normUsers, norm, vertex) && localIsUser(&texUser, &texUsers, tex, vertex)) {
        return vertex;
    }
    return -1;
}

int FXVectorMap::GetUsed(int pos, int norm, int tex) const {
    if (!localUserIndexValid(&posUser, posCount, pos)) {
        return -1;
    }
    const FXArray* list = (const FXArray*)posUsers.elements[pos];
    if (list == nullptr) {
        int vertex = posUser.GetInt(pos);
        if (vertex == -1) {
            return -1;
        }
        return GetUsed1(vertex, norm, tex);
    }
    for (int i = 0; i < list->size; i++) {
        int found = GetUsed1(list->GetInt(i), norm, tex);
        if (found != -1) {
            return found;
        }
    }
    return -1;
}

static void localDropUserLists(FXArray* users) {
    for (int i = 0; i < users->size; i++) {
        delete (FXArray*)users->elements[i];
        users->elements[i] = nullptr;
    }
}

// Resets one user table; only the entries written since the last reset need it when the table
// already has its size.
static void localClearUsers(FXArray* user, FXArray* users, FXArray* touched, int floats) {
    if (floats < 0) {
        floats = 0;
    }
    if (user->size == floats && users->size == floats) {
        for (int i = 0; i < touched->size; i++) {
            int at = touched->GetInt(i);
            delete (FXArray*)users->elements[at];
            users->elements[at] = nullptr;
            user->elements[at] = (void*)(intptr_t)-1;
        }
        touched->size = 0;
        return;
    }
    localDropUserLists(users);
    user->size = 0;
    users->size = 0;
    touched->size = 0;
    user->Realloc(floats);
    users->Realloc(floats);
    if (user->capacity < floats || users->capacity < floats) {
        err("FXVectorMap::ClearUsed: out of memory for %d users\n", floats);
        return;
    }
    for (int i = 0; i < floats; i++) {
        user->elements[i] = (void*)(intptr_t)-1;
        users->elements[i] = nullptr;
    }
    user->size = floats;
    users->size = floats;
}

void FXVectorMap::ClearUsed() {
    localClearUsers(&posUser, &posUsers, &posTouched, positions.size);
    localClearUsers(&normUser, &normUsers, &normTouched, normals.size);
    localClearUsers(&texUser, &texUsers, &texTouched, texCoords.size);
    usedVertices = 0;
    usedInOrder = true;
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap: many vertices at once

// Vectors per bucket the matching aims at: its table then stays in the cache.
#define LOCAL_BUCKET_VECTORS 1024

static const float* localField(const tagFXVertex* v, size_t offset) {
    return (const float*)((const char*)v + offset);
}

// Room the matching of one field works in, kept for the next field.
struct tagPushAllWork {
    std::unique_ptr<uint64_t[], FXFreeBlock> sorted;
    std::unique_ptr<int32_t[], FXFreeBlock> first;
    std::unique_ptr<uint64_t[], FXFreeBlock> slots; // room for the largest bucket there can be
    std::vector<int32_t> starts;
};

// One field of the vertices, hashed already, into table. The vectors are spread over buckets by
// the top bits of their hashes, keeping push order within a bucket; each bucket is then matched
// in a table of its own, so the first of equal vectors is met first, as pushing one by one meets
// it. key (stride 3) receives each vector's index.
static bool localPushAllField(const tagFXVertex* const* vertices, const uint32_t* hashes, int count, size_t offset,
                              int dim, tagPushAllWork* w, FXFloatArray* table, int32_t* tableCount, int32_t* key) {
    int bits = 0;
    while (bits < 16 && (count >> bits) > LOCAL_BUCKET_VECTORS) {
        bits++;
    }
    const int buckets = 1 << bits;
    const int shift = 32 - bits;
    auto bucketOf = [bits, shift](uint32_t hash) { return bits > 0 ? hash >> shift : 0u; };
    w->starts.assign((size_t)buckets + 1, 0);
    for (int i = 0; i < count; i++) {
        w->starts[(size_t)bucketOf(hashes[i]) + 1]++;
    }
    for (int b = 0; b < buckets; b++) {
        w->starts[(size_t)b + 1] += w->starts[(size_t)b];
    }
    // hash << 32 | push position, bucket by bucket
    for (int i = 0; i < count; i++) {
        w->sorted[(size_t)w->starts[(size_t)bucketOf(hashes[i])]++] = (uint64_t)hashes[i] << 32 | (uint32_t)i;
    }
    const uint64_t freeSlot = ~(uint64_t)0;
    // The fill moved each start to the next bucket's.
    for (int b = 0, begin = 0; b < buckets; b++) {
        int end = w->starts[(size_t)b];
        size_t mask = 16;
        while (mask < (size_t)(end - begin) * 2) {
            mask *= 2;
        }
        mask--;
        std::fill(w->slots.get(), w->slots.get() + mask + 1, freeSlot);
        for (int j = begin; j < end; j++) {
            uint64_t item = w->sorted[(size_t)j];
            uint32_t hash = (uint32_t)(item >> 32);
            int32_t at = (int32_t)(uint32_t)item;
            // The top bits are the bucket's own: the low ones spread the slots.
            size_t slot = (size_t)hash & mask;
            for (;;) {
                uint64_t held = w->slots[slot];
                if (held == freeSlot) {
                    w->slots[slot] = item;
                    w->first[(size_t)at] = at;
                    break;
                }
                int32_t other = (int32_t)(uint32_t)held;
                if ((uint32_t)(held >> 32) == hash &&
                    localVecEqual(localField(vertices[other], offset), localField(vertices[at], offset), dim)) {
                    w->first[(size_t)at] = other;
                    break;
                }
                slot = (slot + 1) & mask;
            }
        }
        begin = end;
    }
    int32_t distinct = 0;
    for (int i = 0; i < count; i++) {
        distinct += w->first[(size_t)i] == i ? 1 : 0;
    }
    // The table is written whole below: a fresh block, unzeroed, replaces the empty one.
    float* elements = (float*)fxMallocLarge((size_t)distinct * dim * sizeof(float));
    if (elements == nullptr) {
        return false;
    }
    table->DestroyBuf();
    table->elements = elements;
    table->capacity = distinct * dim;
    // The first of equal vectors comes before the others: its index is known when they meet it.
    int32_t n = 0;
    for (int i = 0; i < count; i++) {
        int32_t f = w->first[(size_t)i];
        if (f == i) {
            memcpy(table->elements + (size_t)n * dim, localField(vertices[i], offset), (size_t)dim * sizeof(float));
            key[(size_t)i * 3] = n++;
        } else {
            key[(size_t)i * 3] = key[(size_t)f * 3];
        }
    }
    table->size = n * dim;
    *tableCount = n;
    return true;
}

bool FXVectorMap::PushAll(const tagFXVertex* const* vertices, int count, int32_t* keys) {
    if (vertices == nullptr || keys == nullptr || count <= 0 || count > INT32_MAX / 3 || posCount != 0 ||
        normCount != 0 || texCount != 0) {
        return false;
    }
    // Work room filled whole before it is read: no zeroing, large pages.
    std::unique_ptr<uint32_t[], FXFreeBlock> hashes((uint32_t*)fxMallocLarge((size_t)count * 3 * sizeof(uint32_t)));
    tagPushAllWork w;
    w.sorted.reset((uint64_t*)fxMallocLarge((size_t)count * sizeof(uint64_t)));
    w.first.reset((int32_t*)fxMallocLarge((size_t)count * sizeof(int32_t)));
    size_t slotCount = 16;
    while (slotCount < (size_t)count * 2) {
        slotCount *= 2;
    }
    w.slots.reset((uint64_t*)fxMallocLarge(slotCount * sizeof(uint64_t)));
    if (hashes == nullptr || w.sorted == nullptr || w.first == nullptr || w.slots == nullptr) {
        return false;
    }
    // One pass over the vertices for all three fields.
    uint32_t* h[3] = {hashes.get(), hashes.get() + count, hashes.get() + (size_t)count * 2};
    for (int i = 0; i < count; i++) {
        const tagFXVertex* v = vertices[i];
        if (localHasNaN(v->position, 3) || localHasNaN(v->normal, 3) || localHasNaN(v->texCoord, 2)) {
            return false;
        }
        h[0][i] = localHashVec(v->position, 3);
        h[1][i] = localHashVec(v->normal, 3);
        h[2][i] = localHashVec(v->texCoord, 2);
    }
    bool ok =
        localPushAllField(vertices, h[0], count, offsetof(tagFXVertex, position), 3, &w, &positions, &posCount, keys) &&
        localPushAllField(vertices, h[1], count, offsetof(tagFXVertex, normal), 3, &w, &normals, &normCount,
                          keys + 1) &&
        localPushAllField(vertices, h[2], count, offsetof(tagFXVertex, texCoord), 2, &w, &texCoords, &texCount,
                          keys + 2);
    if (!ok) {
        err("FXVectorMap::PushAll: out of memory for %d vertices\n", count);
        positions.size = normals.size = texCoords.size = 0;
        posCount = normCount = texCount = 0;
        return false;
    }
    // The indexes follow the tables lazily: they enter the vectors on the next look-up.
    return true;
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap: stored form

static bool localSaveFloats(FILE* f, const FXFloatArray* table, int floats) {
    if (table->elements == nullptr || floats < 0) {
        floats = 0;
    }
    bool ok = fxWriteInt32(f, floats) == 4;
    uint8_t buffer[LOCAL_FLOAT_BATCH * 4];
    for (int done = 0; done < floats;) {
        int n = floats - done < LOCAL_FLOAT_BATCH ? floats - done : LOCAL_FLOAT_BATCH;
        for (int i = 0; i < n; i++) {
            uint32_t u;
            memcpy(&u, &table->elements[done + i], 4);
            fxPutLE32(buffer + i * 4, u);
        }
        ok = fwrite(buffer, 4, (size_t)n, f) == (size_t)n && ok;
        done += n;
    }
    return ok;
}

static void localDecodeFloats(float* out, const uint8_t* bytes, int n) {
    for (int i = 0; i < n; i++) {
        uint32_t u = fxGetLE32(bytes + i * 4);
        memcpy(&out[i], &u, 4);
    }
}

// One table: count, then the floats. Only whole vectors are kept.
static bool localLoadFloats(FILE* f, FXFloatArray* table, int dim, int32_t* count) {
    table->size = 0;
    *count = 0;
    int32_t floats = fxReadInt32(f);
    if (floats <= 0) {
        return true;
    }
    int64_t left = fxStreamBytesLeft(f);
    if (left >= 0 && (int64_t)floats * 4 > left) {
        err("FXVectorMap::Load: %d floats do not fit in the %lld bytes left\n", (int)floats, (long long)left);
        return false;
    }
    uint8_t buffer[LOCAL_FLOAT_BATCH * 4];
    while (table->size < floats) {
        if (table->size >= table->capacity) {
            int64_t target = left >= 0 ? floats : (int64_t)table->capacity + LOCAL_BLIND_CHUNK;
            table->Realloc(target > floats ? floats : (int)target);
            if (table->size >= table->capacity) {
                table->size = 0;
                return false;
            }
        }
        int n = floats - table->size;
        if (n > table->capacity - table->size) {
            n = table->capacity - table->size;
        }
        if (n > LOCAL_FLOAT_BATCH) {
            n = LOCAL_FLOAT_BATCH;
        }
        if (fread(buffer, 4, (size_t)n, f) != (size_t)n) {
            err("FXVectorMap::Load: stream ended after %d of %d floats\n", (int)table->size, (int)floats);
            table->size = 0;
            return false;
        }
        localDecodeFloats(table->elements + table->size, buffer, n);
        table->size += n;
    }
    *count = floats / dim;
    table->size = *count * dim;
    return true;
}

static bool localLoadFloatsC(FXPackageData* data, FXFloatArray* table, int dim, int32_t* count) {
    table->size = 0;
    *count = 0;
    int floats = data->ReadInt();
    if (floats <= 0) {
        return true;
    }
    if (floats > data->remaining / 4) {
        err("FXVectorMap::LoadC: %d floats do not fit in the %d bytes left\n", floats, (int)data->remaining);
        return false;
    }
    table->Realloc(floats);
    if (table->capacity < floats) {
        return false;
    }
    const uint8_t* bytes = (const uint8_t*)data->ReadBlc(floats * 4);
    if (bytes == nullptr) {
        return false;
    }
    localDecodeFloats(table->elements, bytes, floats);
    *count = floats / dim;
    table->size = *count * dim;
    return true;
}

bool FXVectorMap::Save(FILE* f) const {
    bool ok = localSaveFloats(f, &positions, posCount * 3);
    ok = localSaveFloats(f, &normals, normCount * 3) && ok;
    ok = localSaveFloats(f, &texCoords, texCount * 2) && ok;
    return ok;
}

bool FXVectorMap::Load(FILE* f) {
    Destroy();
    if (!localLoadFloats(f, &positions, 3, &posCount) || !localLoadFloats(f, &normals, 3, &normCount) ||
        !localLoadFloats(f, &texCoords, 2, &texCount)) {
        Destroy();
        return false;
    }
    ClearUsed();
    return true;
}

bool FXVectorMap::LoadC(FXPackage*, FXPackageData* data) {
    Destroy();
    if (data == nullptr) {
        return false;
    }
    if (!localLoadFloatsC(data, &positions, 3, &posCount) || !localLoadFloatsC(data, &normals, 3, &normCount) ||
        !localLoadFloatsC(data, &texCoords, 2, &texCount)) {
        Destroy();
        return false;
    }
    ClearUsed();
    return true;
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap: delta transforms

static void localMangle(FXVecIndex* index, FXFloatArray* table, int dim, int count, bool encode) {
    float* f = table->elements;
    if (f == nullptr || count <= 0) {
        return;
    }
    int floats = count * dim;
    if (encode) {
        for (int i = 0; i < count - 1; i++) {
            for (int c = 0; c < dim; c++) {
                f[i * dim + c] = (float)((double)f[i * dim + c] - (double)f[(i + 1) * dim + c]);
            }
        }
        for (int j = 0; j < floats - 1; j++) {
            f[j] = (float)((double)f[j] - (double)f[j + 1]);
        }
    } else {
        for (int j = floats - 2; j >= 0; j--) {
            f[j] = (float)((double)f[j] + (double)f[j + 1]);
        }
        for (int i = count - 2; i >= 0; i--) {
            for (int c = 0; c < dim; c++) {
                f[i * dim + c] = (float)((double)f[i * dim + c] + (double)f[(i + 1) * dim + c]);
            }
        }
    }
    index->stale = true;
}

void FXVectorMap::Reserve(int vectors) {
    if (vectors <= 0 || vectors > INT32_MAX / 4) {
        return;
    }
    posIndex.Reserve(vectors);
    normIndex.Reserve(vectors);
    texIndex.Reserve(vectors);
    if (positions.capacity < vectors * 3) {
        positions.Realloc(vectors * 3);
    }
    if (normals.capacity < vectors * 3) {
        normals.Realloc(vectors * 3);
    }
    if (texCoords.capacity < vectors * 2) {
        texCoords.Realloc(vectors * 2);
    }
    // The tables fill front to back: large pages fault them in by the megabyte.
    FXFloatArray* tables[] = {&positions, &normals, &texCoords};
    for (FXFloatArray* table : tables) {
        fxAdviseLargePages(table->elements + table->size, (size_t)(table->capacity - table->size) * sizeof(float));
    }
    FXArray* owners[] = {&posOwnerA, &posOwnerB, &normOwnerA, &normOwnerB, &texOwnerA, &texOwnerB};
    for (FXArray* list : owners) {
        if (recordOwners && list->capacity < vectors) {
            list->Realloc(vectors);
        }
    }
}

void FXVectorMap::ManglePos(bool encode) {
    localMangle(&posIndex, &positions, 3, posCount, encode);
}

void FXVectorMap::MangleNorm(bool encode) {
    localMangle(&normIndex, &normals, 3, normCount, encode);
}

void FXVectorMap::MangleTex(bool encode) {
    localMangle(&texIndex, &texCoords, 2, texCount, encode);
}

void FXVectorMap::Destroy() {
    localDropUserLists(&posUsers);
    localDropUserLists(&normUsers);
    localDropUserLists(&texUsers);
    FXArray* lists[] = {&posOwnerA, &posOwnerB, &normOwnerA, &normOwnerB,  &texOwnerA,
                        &texOwnerB, &posUser,   &normUser,   &texUser,     &posUsers,
                        &normUsers, &texUsers,  &posTouched, &normTouched, &texTouched};
    for (FXArray* list : lists) {
        list->DestroyBuf();
    }
    positions.DestroyBuf();
    normals.DestroyBuf();
    texCoords.DestroyBuf();
    posCount = 0;
    normCount = 0;
    texCount = 0;
    posIndex.Destroy();
    normIndex.Destroy();
    texIndex.Destroy();
    free(usedNorm);
    free(usedTex);
    usedNorm = nullptr;
    usedTex = nullptr;
    usedVertices = 0;
    usedCapacity = 0;
    usedInOrder = true;
}
