#include "base/arrays.h"

#include "base/other.h"
#include "base/paths.h"
#include "base/stream.h"
#include "base/trace.h"

#include <climits>
#include <cstdlib>
#include <cstring>

// Values read from a stream per batch when loading word lists.
#define LOCAL_WORD_BATCH 256
// Slots taken at a time when a stream cannot tell how much it still holds.
#define LOCAL_BLIND_CHUNK 4096

// ---------------------------------------------------------------------------------------------
// Stored-form helpers: explicit little-endian bytes, never a struct image.

// Reads n (at most LOCAL_WORD_BATCH) words; false when the stream ends first.
static bool localReadWords(FILE* f, uint32_t* words, int n) {
    uint8_t bytes[LOCAL_WORD_BATCH * 4];
    if (fread(bytes, 4, (size_t)n, f) != (size_t)n) {
        return false;
    }
    for (int i = 0; i < n; i++) {
        words[i] = fxGetLE32(bytes + i * 4);
    }
    return true;
}

// A count of 4-byte records that cannot fit in what the stream still holds is refused.
static bool localCountFits(int32_t count, int64_t left, const char* who) {
    if (left >= 0 && (int64_t)count * 4 > left) {
        err("%s: count %d does not fit in the %lld bytes left\n", who, (int)count, (long long)left);
        return false;
    }
    return true;
}

// Reads length bytes into a new zero-terminated block, or null when the stream ends first.
// Without a known bound the block grows with what actually arrives, so a damaged length
// cannot make us allocate far more than the stream holds.
static char* localReadText(FILE* f, int32_t length, bool bounded) {
    size_t want = (size_t)length;
    size_t room = bounded || want < 65536 ? want : 65536;
    size_t have = 0;
    char* text = (char*)malloc(room + 1);
    while (text != nullptr) {
        have += fread(text + have, 1, room - have, f);
        if (have < room) {
            break;
        }
        if (have == want) {
            text[have] = 0;
            return text;
        }
        room = room > want / 2 ? want : room * 2;
        char* bigger = (char*)realloc(text, room + 1);
        if (bigger == nullptr) {
            break;
        }
        text = bigger;
    }
    free(text);
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Shared block handling

// Grows *block to n slots of slotSize bytes: copies the first min(size, capacity) slots into a
// new zero-filled block and releases the old one. Never shrinks; a byte count that would
// overflow, or a failed allocation, leaves everything as it was.
static void localRealloc(void** block, int32_t* capacity, int32_t size, int n, size_t slotSize, const char* who) {
    if (*capacity >= n || slotSize == 0) {
        return;
    }
    if ((size_t)n > SIZE_MAX / slotSize) {
        err("%s: %d slots of %zu bytes overflow\n", who, n, slotSize);
        return;
    }
    void* grown = fxMalloc((size_t)n * slotSize);
    if (grown == nullptr) {
        err("%s: out of memory for %d slots of %zu bytes\n", who, n, slotSize);
        return;
    }
    int32_t keep = size < *capacity ? size : *capacity;
    if (keep > 0 && *block != nullptr) {
        memcpy(grown, *block, (size_t)keep * slotSize);
    }
    free(*block);
    *block = grown;
    *capacity = n;
}

// Capacity after a Push into a full block. A step below one would never make room.
static int localGrowTarget(int32_t capacity, int32_t growStep) {
    int64_t step = growStep > 0 ? growStep : 1;
    int64_t target = (int64_t)capacity + step;
    return target > INT32_MAX ? INT32_MAX : (int)target;
}

// Capacity for the next slice of a load of count slots. A stream that cannot tell its length
// is taken in growing slices.
static int localLoadTarget(int32_t capacity, int32_t count, bool bounded) {
    if (bounded) {
        return count;
    }
    int64_t target = (int64_t)capacity + (capacity > LOCAL_BLIND_CHUNK ? capacity : LOCAL_BLIND_CHUNK);
    return target > count ? count : (int)target;
}

// Writes the stored count; an array without a block stores none.
static int32_t localWriteCount(FILE* f, const void* elements, int32_t size) {
    int32_t n = elements != nullptr && size > 0 ? size : 0;
    fxWriteInt32(f, n);
    return n;
}

// ---------------------------------------------------------------------------------------------
// Shared slot handling: the arrays differ only in what a slot holds.

// Room for one more slot, growing the array to target slots when it is full; false when it
// stays full.
template <typename A> static bool localMakeRoom(A* array, int target) {
    if (array->size >= array->capacity) {
        array->Realloc(target);
    }
    return array->size < array->capacity;
}

// Moves the slots from index on one place up; the caller fills slot index. The block has room.
template <typename T> static void localOpenSlot(T* elements, int32_t* size, int index) {
    memmove(elements + index + 1, elements + index, (size_t)(*size - index) * sizeof(T));
    (*size)++;
}

// Moves the slots after index one place down over it.
template <typename T> static void localCloseSlot(T* elements, int32_t* size, int index) {
    memmove(elements + index, elements + index + 1, (size_t)(*size - index - 1) * sizeof(T));
    (*size)--;
}

// Swaps slot index with its neighbour in direction dir; nothing at either end.
template <typename T> static void localMovePos(T* elements, int32_t size, int index, int dir) {
    int other;
    if (dir > 0 && index >= 0 && index < size - 1) {
        other = index + 1;
    } else if (dir < 0 && index > 0 && index < size) {
        other = index - 1;
    } else {
        return;
    }
    T v = elements[index];
    elements[index] = elements[other];
    elements[other] = v;
}

// Stored words to slots: an FXArray slot holds the int, an FXFloatArray slot the float's bits.
static void localStoreWords(void** slots, const uint32_t* words, int n) {
    for (int i = 0; i < n; i++) {
        slots[i] = (void*)(intptr_t)(int32_t)words[i];
    }
}

static void localStoreWords(float* slots, const uint32_t* words, int n) {
    memcpy(slots, words, (size_t)n * 4);
}

// Loads an FXArray or FXFloatArray: int32 count, then count 4-byte values. A count the stream
// cannot hold is refused; a stream that ends early leaves the array empty.
template <typename A> static void localLoadWords(A* array, FILE* f, const char* who) {
    int32_t count = fxReadInt32(f, nullptr);
    array->size = 0;
    if (count <= 0) {
        return;
    }
    int64_t left = fxStreamBytesLeft(f);
    if (!localCountFits(count, left, who)) {
        return;
    }
    uint32_t words[LOCAL_WORD_BATCH];
    while (array->size < count) {
        if (!localMakeRoom(array, localLoadTarget(array->capacity, count, left >= 0))) {
            array->size = 0;
            return;
        }
        int n = count - array->size;
        if (n > array->capacity - array->size) {
            n = array->capacity - array->size;
        }
        if (n > LOCAL_WORD_BATCH) {
            n = LOCAL_WORD_BATCH;
        }
        if (!localReadWords(f, words, n)) {
            err("%s: stream ended after %d of %d values\n", who, (int)array->size, (int)count);
            array->size = 0;
            return;
        }
        localStoreWords(array->elements + array->size, words, n);
        array->size += n;
    }
}

// ---------------------------------------------------------------------------------------------
// FXArray

FXArray::FXArray() : elements(nullptr), size(0), capacity(0), growStep(1) {}

FXArray::FXArray(int growStep) : elements(nullptr), size(0), capacity(0), growStep(growStep) {}

FXArray::~FXArray() {
    DestroyBuf();
}

void FXArray::DestroyBuf() {
    free(elements);
    elements = nullptr;
    size = 0;
    capacity = 0;
}

void FXArray::Realloc(int n) {
    void* block = elements;
    localRealloc(&block, &capacity, size, n, sizeof(void*), "FXArray::Realloc");
    elements = (void**)block;
}

void FXArray::Push(void* p) {
    if (!localMakeRoom(this, localGrowTarget(capacity, growStep))) {
        return;
    }
    elements[size] = p;
    size++;
}

void FXArray::PushInt(int v) {
    Push((void*)(intptr_t)v);
}

void FXArray::PushVoid() {
    if (!localMakeRoom(this, localGrowTarget(capacity, growStep))) {
        return;
    }
    size++;
}

void* FXArray::Pop() {
    if (size <= 0) {
        return nullptr;
    }
    size--;
    return elements[size];
}

void FXArray::Insert(int index, void* p) {
    // Negative positions other than -1 are outside the contract; appending is the harmless reading.
    if (index < 0 || index > size) {
        Push(p);
        return;
    }
    if (!localMakeRoom(this, size + 1)) {
        return;
    }
    localOpenSlot(elements, &size, index);
    elements[index] = p;
}

void* FXArray::First() const {
    return size > 0 ? elements[0] : nullptr;
}

void* FXArray::Last() const {
    return size > 0 ? elements[size - 1] : nullptr;
}

int FXArray::Findpos(void* p) const {
    for (int i = 0; i < size; i++) {
        if (elements[i] == p) {
            return i;
        }
    }
    return -1;
}

void FXArray::MovePos(int index, int dir) {
    localMovePos(elements, size, index, dir);
}

void FXArray::Remove(void* p) {
    RemovePos(Findpos(p));
}

void FXArray::RemovePos(int index) {
    if (index < 0 || index >= size) {
        return;
    }
    localCloseSlot(elements, &size, index);
}

void FXArray::RemoveAll() {
    size = 0;
}

bool FXArray::IsEmpty() const {
    return size <= 0;
}

int FXArray::GetInt(int index) const {
    if (index < 0 || index >= size) {
        return 0;
    }
    return (int)(intptr_t)elements[index];
}

void FXArray::Save(FILE* f) const {
    int32_t n = localWriteCount(f, elements, size);
    for (int32_t i = 0; i < n; i++) {
        fxWriteInt32(f, (int32_t)(intptr_t)elements[i]);
    }
}

void FXArray::Load(FILE* f) {
    localLoadWords(this, f, "FXArray::Load");
}

// ---------------------------------------------------------------------------------------------
// FXStrArray

// Empty texts are kept as null entries.
static char* localDuplicate(const char* s) {
    if (s == nullptr || s[0] == 0) {
        return nullptr;
    }
    char* copy = strdup(s);
    if (copy == nullptr) {
        err("FXStrArray: out of memory for a text of %zu characters\n", strlen(s));
    }
    return copy;
}

FXStrArray::FXStrArray() : elements(nullptr), size(0), capacity(0), growStep(1) {}

FXStrArray::FXStrArray(int growStep) : elements(nullptr), size(0), capacity(0), growStep(growStep) {}

FXStrArray::~FXStrArray() {
    DestroyBuf();
}

void FXStrArray::DestroyBuf() {
    RemoveAll();
    free(elements);
    elements = nullptr;
    capacity = 0;
}

void FXStrArray::Realloc(int n) {
    void* block = elements;
    localRealloc(&block, &capacity, size, n, sizeof(char*), "FXStrArray::Realloc");
    elements = (char**)block;
}

void FXStrArray::Push(const char* s) {
    if (!localMakeRoom(this, localGrowTarget(capacity, growStep))) {
        return;
    }
    elements[size] = localDuplicate(s);
    size++;
}

void FXStrArray::Pop() {
    if (size <= 0) {
        return;
    }
    size--;
    free(elements[size]);
    elements[size] = nullptr;
}

void FXStrArray::Insert(int index, const char* s) {
    if (index < 0 || index > size) {
        Push(s);
        return;
    }
    if (!localMakeRoom(this, size + 1)) {
        return;
    }
    // Copied before the move: s may be one of our own entries.
    char* copy = localDuplicate(s);
    localOpenSlot(elements, &size, index);
    elements[index] = copy;
}

const char* FXStrArray::First() const {
    return size > 0 ? elements[0] : nullptr;
}

const char* FXStrArray::Last() const {
    return size > 0 ? elements[size - 1] : nullptr;
}

int FXStrArray::Findpos(const char* s) const {
    bool emptyArg = s == nullptr || s[0] == 0;
    for (int i = 0; i < size; i++) {
        const char* e = elements[i];
        if (e == s) {
            return i;
        }
        if (e == nullptr || e[0] == 0) {
            if (emptyArg) {
                return i;
            }
        } else if (!emptyArg && strcmp(e, s) == 0) {
            return i;
        }
    }
    return -1;
}

void FXStrArray::MovePos(int index, int dir) {
    localMovePos(elements, size, index, dir);
}

void FXStrArray::Remove(const char* s) {
    RemovePos(Findpos(s));
}

void FXStrArray::RemovePos(int index) {
    if (index < 0 || index >= size) {
        return;
    }
    free(elements[index]);
    localCloseSlot(elements, &size, index);
    elements[size] = nullptr;
}

void FXStrArray::RemoveAll() {
    for (int i = 0; i < size; i++) {
        free(elements[i]);
        elements[i] = nullptr;
    }
    size = 0;
}

void FXStrArray::Change(int index, const char* s) {
    // Positions outside the array are outside the contract: ignored rather than written.
    if (index < 0 || index >= size) {
        return;
    }
    char* copy = localDuplicate(s);
    free(elements[index]);
    elements[index] = copy;
}

bool FXStrArray::IsEmpty() const {
    return size <= 0;
}

void FXStrArray::Save(FILE* f) const {
    int32_t n = localWriteCount(f, elements, size);
    for (int32_t i = 0; i < n; i++) {
        fxWriteText(f, elements[i], elements[i] != nullptr ? strlen(elements[i]) : 0);
    }
}

void FXStrArray::SaveShortPaths(FILE* f, const char* baseFolder) const {
    int32_t n = localWriteCount(f, elements, size);
    for (int32_t i = 0; i < n; i++) {
        const char* e = elements[i];
        if (e == nullptr || e[0] == 0) {
            fxWriteInt32(f, 0);
            continue;
        }
        const char* relative = fxBuildRelativePath(baseFolder, false, e, true);
        fxWriteText(f, relative, relative != nullptr ? strlen(relative) : 0);
    }
}

void FXStrArray::Load(FILE* f) {
    RemoveAll();
    int32_t count = fxReadInt32(f, nullptr);
    if (count <= 0) {
        return;
    }
    int64_t left = fxStreamBytesLeft(f);
    if (!localCountFits(count, left, "FXStrArray::Load")) {
        return;
    }
    bool bounded = left >= 0;
    while (size < count) {
        if (!localMakeRoom(this, localLoadTarget(capacity, count, bounded))) {
            RemoveAll();
            return;
        }
        bool complete = false;
        int32_t length = fxReadInt32(f, &complete);
        if (!complete) {
            err("FXStrArray::Load: stream ended after %d of %d entries\n", (int)size, (int)count);
            RemoveAll();
            return;
        }
        left -= 4;
        char* text = nullptr;
        if (length > 0) {
            if (bounded && length > left) {
                err("FXStrArray::Load: entry %d of %d bytes overruns the %lld bytes left\n", (int)size, (int)length,
                    (long long)left);
                RemoveAll();
                return;
            }
            text = localReadText(f, length, bounded);
            if (text == nullptr) {
                err("FXStrArray::Load: entry %d of %d bytes cannot be read\n", (int)size, (int)length);
                RemoveAll();
                return;
            }
            left -= length;
        }
        elements[size] = text;
        size++;
    }
}

// ---------------------------------------------------------------------------------------------
// FXFloatArray

FXFloatArray::FXFloatArray() : elements(nullptr), size(0), capacity(0), growStep(1) {}

FXFloatArray::FXFloatArray(int growStep) : elements(nullptr), size(0), capacity(0), growStep(growStep) {}

FXFloatArray::~FXFloatArray() {
    DestroyBuf();
}

void FXFloatArray::DestroyBuf() {
    free(elements);
    elements = nullptr;
    size = 0;
    capacity = 0;
}

void FXFloatArray::Realloc(int n) {
    void* block = elements;
    localRealloc(&block, &capacity, size, n, sizeof(float), "FXFloatArray::Realloc");
    elements = (float*)block;
}

void FXFloatArray::Push(float v) {
    if (!localMakeRoom(this, localGrowTarget(capacity, growStep))) {
        return;
    }
    elements[size] = v;
    size++;
}

float FXFloatArray::Pop() {
    if (size <= 0) {
        return 0.0f;
    }
    size--;
    return elements[size];
}

void FXFloatArray::Insert(int index, float v) {
    if (index < 0 || index > size) {
        Push(v);
        return;
    }
    if (!localMakeRoom(this, size + 1)) {
        return;
    }
    localOpenSlot(elements, &size, index);
    elements[index] = v;
}

float FXFloatArray::First() const {
    return size > 0 ? elements[0] : 0.0f;
}

float FXFloatArray::Last() const {
    return size > 0 ? elements[size - 1] : 0.0f;
}

void FXFloatArray::MovePos(int index, int dir) {
    localMovePos(elements, size, index, dir);
}

void FXFloatArray::RemovePos(int index) {
    if (index < 0 || index >= size) {
        return;
    }
    localCloseSlot(elements, &size, index);
}

void FXFloatArray::RemoveAll() {
    size = 0;
}

bool FXFloatArray::IsEmpty() const {
    return size <= 0;
}

void FXFloatArray::Save(FILE* f) const {
    int32_t n = localWriteCount(f, elements, size);
    for (int32_t i = 0; i < n; i++) {
        uint32_t bits;
        memcpy(&bits, &elements[i], 4);
        fxWriteInt32(f, (int32_t)bits);
    }
}

void FXFloatArray::Load(FILE* f) {
    localLoadWords(this, f, "FXFloatArray::Load");
}

// ---------------------------------------------------------------------------------------------
// FXMemory

FXMemory::FXMemory() : block(nullptr), size(0), capacity(0), itemSize(1) {}

FXMemory::FXMemory(int itemSize) : block(nullptr), size(0), capacity(0), itemSize(itemSize) {}

FXMemory::~FXMemory() {
    DestroyBuf();
}

void FXMemory::Realloc(int n) {
    if (itemSize <= 0) {
        err("FXMemory::Realloc: item size %d\n", (int)itemSize);
        return;
    }
    localRealloc(&block, &capacity, size, n, (size_t)itemSize, "FXMemory::Realloc");
}

void FXMemory::DestroyBuf() {
    free(block);
    block = nullptr;
    size = 0;
    capacity = 0;
}

void* FXMemory::GetItemPtr(int index) const {
    // size is set by the users of the block, so capacity bounds the answer as well.
    if (block == nullptr || index < 0 || index >= size || index >= capacity || itemSize <= 0) {
        return nullptr;
    }
    return (uint8_t*)block + (size_t)index * (size_t)itemSize;
}

// ---------------------------------------------------------------------------------------------
// FXRect

void FXRect::SetZero() {
    x1 = 0;
    y1 = 0;
    x2 = 0;
    y2 = 0;
}

void FXRect::Set(int x1, int y1, int x2, int y2) {
    this->x1 = x1;
    this->y1 = y1;
    this->x2 = x2;
    this->y2 = y2;
}

void FXRect::CombineOr(const FXRect* r) {
    if (r->x1 < x1) {
        x1 = r->x1;
    }
    if (r->y1 < y1) {
        y1 = r->y1;
    }
    if (r->x2 > x2) {
        x2 = r->x2;
    }
    if (r->y2 > y2) {
        y2 = r->y2;
    }
}

bool FXRect::CombineAnd(const FXRect* r) {
    if (r->x1 > x1) {
        x1 = r->x1;
    }
    if (r->y1 > y1) {
        y1 = r->y1;
    }
    if (r->x2 < x2) {
        x2 = r->x2;
    }
    if (r->y2 < y2) {
        y2 = r->y2;
    }
    return !IsEmpty();
}

bool FXRect::IsEmpty() const {
    return !(x1 < x2 && y1 < y2);
}

// ---------------------------------------------------------------------------------------------

// Room of a full array after a doubling push.
static int localDoubledCapacity(int32_t capacity) {
    int64_t target = capacity >= 8 ? (int64_t)capacity * 2 : 8;
    return target > INT32_MAX ? INT32_MAX : (int)target;
}

bool fxPushDoubling(FXArray* a, void* p) {
    if (a->size >= a->capacity) {
        a->Realloc(localDoubledCapacity(a->capacity));
    }
    int before = a->size;
    a->Push(p);
    return a->size > before;
}

bool fxPushIntDoubling(FXArray* a, int v) {
    return fxPushDoubling(a, (void*)(intptr_t)v);
}

bool fxPushDoubling(FXStrArray* a, const char* s) {
    if (a->size >= a->capacity) {
        a->Realloc(localDoubledCapacity(a->capacity));
    }
    int before = a->size;
    a->Push(s);
    return a->size > before;
}

bool fxIsPower2(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

int fxPower2(int n) {
    // Above 2^30 no int power of two is large enough: refuse rather than overflow.
    if (n > (1 << 30)) {
        err("fxPower2: %d has no power of two in range\n", n);
        return -1;
    }
    int p = 1;
    while (p < n) {
        p <<= 1;
    }
    return p;
}
