#ifndef FX_IO_DATA_H
#define FX_IO_DATA_H

#include <cstdint>
#include <cstdio>

#include "base/arrays.h"

class FXPackage;
class FXPackageData;
struct tagFXVertex;

// Growable byte stream of the compact model format: one per mesh, holding the coded indices of
// its corners into the model's shared vector tables. Values are little-endian, unaligned.
class FXNumPool {
public:
    uint8_t* bytes;
    uint8_t* cursor; // bytes + readPos
    int32_t readPos;
    int32_t used;
    int32_t capacity;
    int32_t growStep;

    FXNumPool();
    FXNumPool(int growStep);
    ~FXNumPool();
    FXNumPool(const FXNumPool&) = delete;
    FXNumPool& operator=(const FXNumPool&) = delete;

    // Grows by whole growth steps to at least n bytes, keeping the contents and zero-filling
    // the rest; false (with an error trace) when that does not fit in memory or in 32 bits.
    bool Realloc(int n);
    // Room for n bytes in one zeroed block taken up front, for a writer that knows its size; an
    // empty pool only, and only a hint: false leaves the pool to grow by steps.
    bool Reserve(int n);
    // Each answers the new length, or -1 when the stream cannot grow.
    int PushByte(unsigned char v);
    int PushWord(unsigned short v);
    int PushInt(int v);
    int PushBytes(const uint8_t* v, int n);
    void Reseek();
    // False, with nothing read, when fewer bytes than the value needs remain before `used`.
    bool GetNextByte(unsigned char* v);
    bool GetNextWord(unsigned short* v);
    bool GetNextInt(int* v);

    // Stored form: int32 length, then the bytes. The loaders do not rewind the read position;
    // a length beyond what the input holds is refused and leaves the stream empty.
    bool Save(FILE* f) const;
    bool Load(FILE* f);
    bool LoadC(FXPackage* package, FXPackageData* data);
    void DestroyBuf();
};

// Lets the writer of a map forbid sharing one stored vector between two corners.
class PMeshSaveClb {
public:
    virtual ~PMeshSaveClb() {}
    // ownerA/ownerB: the tags of the corner being added; candidate…: those of the stored match.
    virtual bool CanShare(int ownerA, int ownerB, int candidateOwnerA, int candidateOwnerB) = 0;
};

// Hash index over one vector table of a map. Vectors that compare equal component by component
// are chained in table order, so the head of a chain is what a scan from the start would find
// first. Zeros of either sign hash alike; a vector with a NaN component matches nothing and is
// never entered. The index follows its table lazily: look-ups first enter the vectors appended
// since the last one, and a table changed in place is marked stale and indexed again.
class FXVecIndex {
public:
    // A chain's first vector (-1: the slot is free) next to its hash, so a probe passing other
    // chains reads neither their vectors nor a second array.
    struct Slot {
        int32_t head;
        uint32_t hash;
    };
    Slot* slots;
    int32_t slotCount;
    int32_t chains;
    int32_t* next;        // per vector: the next equal vector, -1 at the end of its chain
    int32_t* tails;       // per vector heading a chain: the chain's last vector
    int32_t nextCapacity; // of next and tails
    int32_t indexed;      // vectors 0 .. indexed - 1 are entered
    bool stale;
    bool broken; // out of memory: look-ups scan the table instead

    FXVecIndex();
    ~FXVecIndex();
    FXVecIndex(const FXVecIndex&) = delete;
    FXVecIndex& operator=(const FXVecIndex&) = delete;

    // Enters vectors up to count of table (dim floats each); false when the index cannot be used.
    bool Update(const float* table, int dim, int count);
    // First vector equal to v, or -1. Call Update first.
    int Find(const float* table, int dim, const float* v) const;
    int Next(int vector) const { return next[vector]; }
    // Slots for that many vectors, so entering them never rehashes; with room to chain them too.
    bool Reserve(int vectors);
    // First vector equal to v, or -1 with *slot the free slot where v's chain would start; *hash
    // is v's. Call Update first; the index must have slots.
    int Probe(const float* table, int dim, const float* v, uint32_t* slot, uint32_t* hash) const;
    // Enters vector, just appended after a Probe for it that ended at the free slot, without
    // probing again. False, with nothing done, when anything changed since: Update enters it then.
    bool EnterAt(int vector, uint32_t slot, uint32_t hash);
    void Destroy();

private:
    bool Grow();
    void Enter(const float* table, int dim, int vector);
};

// The shared vector tables of a compact model: distinct positions, normals and texture
// coordinates, matched by exact float equality, plus the "used" tables that let corners naming
// the same three vectors share one mesh vertex again when meshes are rebuilt.
class FXVectorMap {
public:
    FXArray posOwnerA, posOwnerB;
    FXArray normOwnerA, normOwnerB;
    FXArray texOwnerA, texOwnerB;
    FXFloatArray positions;
    FXFloatArray normals;
    FXFloatArray texCoords;
    FXArray posUser, normUser, texUser;
    FXArray posUsers, normUsers, texUsers; // owned FXArray* per vector, or null
    int32_t posCount, normCount, texCount;
    // False: pushes leave the owner lists behind, as a loaded map has them (they read as 0), for a
    // writer that never asks a callback. Not reset by Destroy.
    bool recordOwners;

    FXVectorMap();
    ~FXVectorMap();
    FXVectorMap(const FXVectorMap&) = delete;
    FXVectorMap& operator=(const FXVectorMap&) = delete;

    // The index of an equal stored vector the callback (if any) lets us share, else of the
    // vector appended; -1 only when the table cannot grow.
    int PushVecPos(tagFXVertex* v, PMeshSaveClb* clb, int ownerA, int ownerB);
    int PushVecNorm(tagFXVertex* v, PMeshSaveClb* clb, int ownerA, int ownerB);
    int PushVecTex(tagFXVertex* v, PMeshSaveClb* clb, int ownerA, int ownerB);
    // Pushes the position, normal and texture coordinate of every vertex, in this order, into an
    // empty map and answers their indices in keys (three per vertex): the tables and indices that
    // pushing them one by one without a callback gives, found without a look-up per vector. The
    // owner lists are left behind, as recordOwners false leaves them. False, with the map
    // untouched, when a vector holds NaN, the map is not empty or memory runs short.
    bool PushAll(const tagFXVertex* const* vertices, int count, int32_t* keys);
    int FindVecPos(int ownerA, int ownerB, tagFXVertex* v, PMeshSaveClb* clb);
    int FindVecNorm(int ownerA, int ownerB, tagFXVertex* v, PMeshSaveClb* clb);
    int FindVecTex(int ownerA, int ownerB, tagFXVertex* v, PMeshSaveClb* clb);
    // Indices outside the table are ignored (Set) or leave out untouched (Get).
    void SetVecPos(tagFXVertex* v, int index);
    void SetVecNorm(tagFXVertex* v, int index);
    void SetVecTex(tagFXVertex* v, int index);
    void GetVecPos(int index, float* out) const;
    void GetVecNorm(int index, float* out) const;
    void GetVecTex(int index, float* out) const;

    // Vector indices outside their tables are ignored by PushUsed and answer -1 in the look-ups.
    void PushUsed(int pos, int norm, int tex, int vertex);
    int GetUsed(int pos, int norm, int tex) const;
    int GetUsed1(int vertex, int norm, int tex) const;
    // Also sizes the user tables to the float tables, so a map built by pushes can be read back.
    void ClearUsed();

    // Stored form: the three float tables. A table whose count does not fit in the input is
    // refused: the map is then empty and the loader answers false.
    bool Save(FILE* f) const;
    bool Load(FILE* f);
    bool LoadC(FXPackage* package, FXPackageData* data);

    // Delta transforms of the float tables; no stored form applies them.
    // Room for that many vectors per table, for a writer that knows how many it will push at most.
    void Reserve(int vectors);

    void ManglePos(bool encode);
    void MangleNorm(bool encode);
    void MangleTex(bool encode);

    void Destroy();

private:
    FXVecIndex posIndex, normIndex, texIndex;
    // Vertices recorded by PushUsed when they came as 0, 1, 2 … each once (as FromVMap records
    // them): then GetUsed1 compares with the one normal and texture coordinate recorded instead
    // of scanning the user lists. Any other order switches back to the lists until ClearUsed.
    int32_t* usedNorm;
    int32_t* usedTex;
    int32_t usedVertices;
    int32_t usedCapacity;
    bool usedInOrder;
    // Vectors whose user entries were written since the last ClearUsed.
    FXArray posTouched, normTouched, texTouched;
};

#endif
