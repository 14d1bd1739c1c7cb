#ifndef FX_BASE_ARRAYS_H
#define FX_BASE_ARRAYS_H

#include <cstdint>
#include <cstdio>

// Growable list of untyped 32-bit-or-pointer values; never owns what they point to.
// Slots hold pointers; integers are stored through PushInt and read back with GetInt.
class FXArray {
public:
    void** elements;
    int32_t size;
    int32_t capacity;
    int32_t growStep;

    FXArray();
    FXArray(int growStep);
    ~FXArray();
    FXArray(const FXArray&) = delete;
    FXArray& operator=(const FXArray&) = delete;

    void DestroyBuf();
    void Realloc(int n);
    void Push(void* p);
    void PushInt(int v);
    void PushVoid();
    void* Pop();
    void Insert(int index, void* p);
    void* First() const;
    void* Last() const;
    int Findpos(void* p) const;
    void MovePos(int index, int dir);
    void Remove(void* p);
    void RemovePos(int index);
    void RemoveAll();
    bool IsEmpty() const;
    int GetInt(int index) const;

    // Stored form: int32 count, then one 32-bit value per slot (meaningful for integers only).
    void Save(FILE* f) const;
    void Load(FILE* f);
};

// Owns zero-terminated copies of its texts; empty texts are stored as null entries.
class FXStrArray {
public:
    char** elements;
    int32_t size;
    int32_t capacity;
    int32_t growStep;

    FXStrArray();
    FXStrArray(int growStep);
    ~FXStrArray();
    FXStrArray(const FXStrArray&) = delete;
    FXStrArray& operator=(const FXStrArray&) = delete;

    void DestroyBuf();
    void Realloc(int n);
    void Push(const char* s);
    void Pop();
    void Insert(int index, const char* s);
    const char* First() const;
    const char* Last() const;
    int Findpos(const char* s) const;
    void MovePos(int index, int dir);
    void Remove(const char* s);
    void RemovePos(int index);
    void RemoveAll();
    void Change(int index, const char* s);
    bool IsEmpty() const;

    void Save(FILE* f) const;
    void SaveShortPaths(FILE* f, const char* baseFolder) const;
    void Load(FILE* f);
};

class FXFloatArray {
public:
    float* elements;
    int32_t size;
    int32_t capacity;
    int32_t growStep;

    FXFloatArray();
    FXFloatArray(int growStep);
    ~FXFloatArray();
    FXFloatArray(const FXFloatArray&) = delete;
    FXFloatArray& operator=(const FXFloatArray&) = delete;

    void DestroyBuf();
    void Realloc(int n);
    void Push(float v);
    float Pop();
    void Insert(int index, float v);
    float First() const;
    float Last() const;
    void MovePos(int index, int dir);
    void RemovePos(int index);
    void RemoveAll();
    bool IsEmpty() const;

    void Save(FILE* f) const;
    void Load(FILE* f);
};

// Raw block of items of itemSize bytes; users fill it and set size themselves.
class FXMemory {
public:
    void* block;
    int32_t size;
    int32_t capacity;
    int32_t itemSize;

    FXMemory();
    FXMemory(int itemSize);
    ~FXMemory();
    FXMemory(const FXMemory&) = delete;
    FXMemory& operator=(const FXMemory&) = delete;

    void Realloc(int n);
    void DestroyBuf();
    void* GetItemPtr(int index) const;
};

// Integer rectangle; x2 and y2 are exclusive.
class FXRect {
public:
    int32_t x1, y1, x2, y2;

    void SetZero();
    void Set(int x1, int y1, int x2, int y2);
    void CombineOr(const FXRect* r);
    bool CombineAnd(const FXRect* r);
    bool IsEmpty() const;
};

// Append, doubling the room of a full array instead of growing it by growStep, so a long list is
// not copied on every push. False when memory ran out and nothing was appended.
bool fxPushDoubling(FXArray* a, void* p);
bool fxPushIntDoubling(FXArray* a, int v);
bool fxPushDoubling(FXStrArray* a, const char* s);

// Smallest power of two that is at least n (1 for n <= 1).
int fxPower2(int n);
// Whether n is a power of two (1 included).
bool fxIsPower2(int n);

#endif
