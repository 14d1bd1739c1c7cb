#ifndef FX_GEOMETRY_SLOTSET_H
#define FX_GEOMETRY_SLOTSET_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// A set of triangle slots as bits, with a bit per word that has any set and one per word of
// those: the lowest member, or the lowest at or above a slot, is found in a few steps, and the set
// of a large mesh stays in the cache. The words live in memory the caller owns.
struct tagFXSlotSet {
    uint64_t* bits[3];
    int words[3];
};

// The words a set of slots 0 to slots - 1 needs.
inline size_t fxSlotSetWords(int slots) {
    int w0 = slots / 64 + 1;
    int w1 = w0 / 64 + 1;
    int w2 = w1 / 64 + 1;
    return (size_t)w0 + (size_t)w1 + (size_t)w2;
}

// An empty set of slots 0 to slots - 1 in the fxSlotSetWords(slots) words at at.
inline void fxSlotSetPlace(tagFXSlotSet* set, int slots, uint64_t* at) {
    set->words[0] = slots / 64 + 1;
    set->words[1] = set->words[0] / 64 + 1;
    set->words[2] = set->words[1] / 64 + 1;
    set->bits[0] = at;
    set->bits[1] = at + set->words[0];
    set->bits[2] = set->bits[1] + set->words[1];
    memset(at, 0, fxSlotSetWords(slots) * sizeof(uint64_t));
}

inline void fxSlotSetAdd(tagFXSlotSet* set, int slot) {
    uint32_t at = (uint32_t)slot;
    for (int level = 0; level < 3; level++, at >>= 6) {
        set->bits[level][at >> 6] |= (uint64_t)1 << (at & 63);
    }
}

// Takes the slot out of the set wherever it stands.
inline void fxSlotSetRemove(tagFXSlotSet* set, int slot) {
    uint32_t at = (uint32_t)slot;
    for (int level = 0; level < 3; level++, at >>= 6) {
        uint64_t* word = &set->bits[level][at >> 6];
        *word &= ~((uint64_t)1 << (at & 63));
        if (*word != 0) {
            break;
        }
    }
}

// The lowest member at or above from; -1 when there is none.
inline int fxSlotSetFrom(const tagFXSlotSet* set, int from) {
    uint32_t at = (uint32_t)from;
    for (int level = 0; level < 3; level++) {
        uint32_t word = at >> 6;
        if (word >= (uint32_t)set->words[level]) {
            return -1;
        }
        uint64_t bits = set->bits[level][word] & (~0ull << (at & 63));
        // The top level has no level above to skip its empty words: it looks through them.
        while (bits == 0 && level == 2 && ++word < (uint32_t)set->words[2]) {
            bits = set->bits[2][word];
        }
        if (bits != 0) {
            at = word * 64 + (uint32_t)__builtin_ctzll(bits);
            for (int down = level - 1; down >= 0; down--) {
                at = at * 64 + (uint32_t)__builtin_ctzll(set->bits[down][at]);
            }
            return (int)at;
        }
        at = word + 1; // the next word of this level, as a bit of the level above
    }
    return -1;
}

// The lowest member; -1 when the set is empty.
inline int fxSlotSetLowest(const tagFXSlotSet* set) {
    return fxSlotSetFrom(set, 0);
}

#endif
