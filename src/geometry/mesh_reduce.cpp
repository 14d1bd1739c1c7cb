// Mesh reduction: one greedy sweep that removes vertices lying on straight edges between flat
// triangles, and the filter that drops fully transparent triangles.
//
// Every search of the reduction is defined as a scan of the index block in slot order (and of
// the vertex block for coincident vertices). During ReduceVertices an adjacency index answers
// the same questions in the same order: per vertex the live slots that name it, sorted by slot;
// the removed slots, lowest first; and the vertices grouped by position. Nothing else differs
// between the two ways, so both give the same mesh.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "base/other.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "geometry/slotset.h"
#include "render/canvas.h"
#include "render/material.h"

// Degrees per radian as the tolerance has always been measured (a little above 180/pi).
#define LOCAL_DEGREES 57.29747f
// Triangles around a vertex above which the partner search narrows its walk.
#define LOCAL_WIDE_VERTEX 24
// Entries of the check's lists above which it searches them sorted instead of scanning: a stage
// mended by a chain of follow-ups across a wide sheet is judged together with all of it.
#define LOCAL_LONG_LIST 96

// ---------------------------------------------------------------------------------------------
// Adjacency index

struct tagFXReduceIndex {
    int slots;
    // The tables below live in two blocks, each under one large-page hint so that a large mesh
    // faults them in by the megabyte. The corner lists and the check's marks, most of the bytes,
    // have a block of their own that goes as soon as the stages are done: the dependency lists
    // are made next and take its pages while they are still mapped in.
    void* block;
    void* cornerBlock;
    // Corner c = 3 * slot + k is linked into the list of the vertex it names, sorted by c.
    int* vertexHead;
    int* cornerNext;
    int* cornerPrev;
    int* vertexUses; // length of each vertex's list, so a search can walk the shortest
    tagFXSlotSet removedSlots; // the removed slots, which new triangles take lowest first
    // Vertices chained by a hash of their position. Each link holds the whole hash of its
    // vertex's position: a walk reads the positions of only the vertices whose hash matches,
    // instead of those of every vertex in the chain, which lie anywhere in a large mesh.
    struct Link {
        int next;
        uint32_t key;
    };
    int bucketMask;
    int* bucketHead;
    Link* bucketLinks;
    // 1 for a vertex no other vertex shares its position with; 0 when unknown. Spares the walk
    // of a bucket, whose head lies anywhere in a large table, for the many vertices without
    // seam copies.
    unsigned char* alone;
    // Slots the running soundness check has among its changed ones: those whose entry equals
    // seenStamp, which each check raises.
    int* seenAt;
    int seenStamp;
    // While a sweep notes its refusals, the journal whose notes the walks add to; else null.
    tagFXReduceUndo* noting;
    uint64_t print; // of the mesh as the sweep found it
    // The positions and tags of the vertices while the stages run, 16 bytes each; the vertex
    // block gets them back when the stages are done (localLeavePoints). A vertex record holds its
    // position and tag 60 bytes apart, in two cache lines for most, and a large mesh's block is
    // far bigger than the cache.
    struct Point {
        float position[3];
        int32_t tag;
    };
    Point* points;
    // Per vertex, which of its neighbours another neighbour stands nearly opposite, by bit (a
    // hash of the neighbour's position % 63), bit 63 set once worked out (0: not yet, all set:
    // any may). A line from a neighbour through the vertex can be continued only by a vertex
    // nearly opposite it: a clear bit spares the search its walk. Worked out only where no stage
    // is running, on the mesh the kept changes left; a kept change clears the vertices around it
    // (localForgetOpposites).
    uint64_t* opposite;
    // The sine of the tolerance with the tests' own margin, below which the masks are worked out;
    // at and above it every search walks.
    double lineSine;
    // Sparing pays where most searches are spared. On a flat grid every vertex has neighbours
    // opposite each other, and working the masks out only costs: each window of asks decides
    // whether the searches walk without asking for the next several.
    int asks, spares, resting;
};

// Scratch lists of the stages and the check: growing one leaves what it adds unset, for every
// caller writes it before reading (a zero-filled resize per check cost more than the check's
// sums).
template <class T>
struct tagScratchAlloc : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = tagScratchAlloc<U>;
    };
    tagScratchAlloc() = default;
    template <class U>
    tagScratchAlloc(const tagScratchAlloc<U>&) noexcept {}
    template <class U>
    void construct(U* at) noexcept {
        ::new ((void*)at) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new ((void*)at) U(std::forward<Args>(args)...);
    }
};
template <class T>
using tagScratch = std::vector<T, tagScratchAlloc<T>>;

// One edge of the check's tally, its two vertices lower first, with how many of the replaced
// (side 0) and new (side 1) triangles run it from the lower to the higher (0) and back (1).
struct tagEdgeTally {
    uint64_t pair;
    uint32_t home; // its place in the hash table, cleared for the next check
    int runs[2][2];
};

// What the running stages changed, oldest first, so that a stage whose result would tear,
// fold or flatten the surface can be taken back as if it had never been tried.
struct tagFXReduceUndo {
    struct Move {
        int vertex;
        float position[3];
    };
    std::vector<int> slots; // per write: the slot, then its three indices before the write
    std::vector<int> tags;  // per write: the vertex, then its tag before the write
    std::vector<Move> moves;
    // Scratch of the soundness check, kept to spare allocations.
    tagScratch<int> seen, removed, created, edges, spliced, dropped, uses;
    tagScratch<int> outline;                   // directed edges of one side's outline
    tagScratch<uint64_t> keys, otherKeys;      // sorted searches of long lists
    tagScratch<int> wholeEdges, wholeUses;     // scratch of localWholeEdgesKept
    bool distinct = true;                      // the last check's triangles all had three distinct corners
    tagScratch<int> partnerSlots, partnerEnds; // scratch of the partner search
    tagScratch<tagEdgeTally> tally;
    tagScratch<int> tallyAt; // open addressing by a hash of the pair: 1 + entry of tally, or 0
    tagScratch<double> normals;
    tagScratch<int> removedUses, createdUses;
    tagScratch<int> owners, ownerGroup;
    tagScratch<int> patternSlots; // the slots of the pattern the running stage replaces
    // Tables per vertex of the checks of long patches. vertexMark is valid where it holds
    // vertexStamp or one more: the long outline test's kept and dropped vertices, and for the
    // edge count that vertexFirst holds the first of the edges a vertex walks for, chained on by
    // edgeNext.
    std::vector<int> vertexMark, vertexFirst;
    int vertexStamp = 0;
    tagScratch<int> edgeNext;
    // The two-vertex stage's search for B on A-P and Q as localDoomed ran it, kept for the one
    // stage that can ask the same before anything it reads has changed; any other stage drops it.
    struct Beyond {
        int a, b, p, q, r, s;
        bool valid;
    } beyond = {0, 0, 0, 0, -1, -1, false};
    // The sweep's dependency pairs (x, y), kept here while it runs: plain ints grow without
    // touching a block the size of the capacity, and a taken-back stage just shortens them.
    std::vector<int> depends;
    // The last check's change in open and crowded edges (known once it counted them), and the
    // changes of the stages kept since the journal began, added up: edge counts change by the
    // sum of what each change does to them.
    int openChange = 0;
    int crowdedChange = 0;
    bool changeKnown = false;
    int openSince = 0;
    int crowdedSince = 0;
    bool sinceKnown = true;
    // For the next sweep (index path only), about the running try: reads, the triangle's
    // corners and the vertices whose lists its searches walked; ownMax, the highest slot of a
    // triangle it removed that its stages took again (-1: none); foreignMax, the highest slot
    // removed before it that they took (-1: none), and how many such slots they hold, and held
    // at most at once. Per slot, the count of tried triangles when a stage last took it (takenAt)
    // and last removed a triangle standing there before the try (freedAt). reached: per vertex,
    // the count of tried triangles when a kept change last changed what a search walking it
    // reads (0: not this sweep); lasting: the same for the changes that outlast the sweep, which
    // are all but the marks. heldAt and held: this sweep's records, as in tagFXReduceMemory, each
    // led by the count of tried triangles at its try.
    bool noting = false;
    std::vector<int> reads;
    int ownMax = -1;
    int foreignMax = -1;
    int foreignHeld = 0;
    int foreignPeak = 0;
    std::vector<uint32_t> takenAt, freedAt;
    // Whether the try's outcome may hang on where its new triangles stood: a search that hands
    // out the first of several could have met one (orderSeen). Per vertex, how many of the try's
    // new triangles name it (made), valid while madeAt holds the count of tried triangles; a
    // stage taken back takes its own away.
    bool orderSeen = false;
    std::vector<uint32_t> madeAt;
    std::vector<int> made;
    std::vector<int> record; // scratch of localHoldTry
    std::vector<uint32_t> reached, lasting;
    bool sawMark = false; // the running try found a mark it did not set: the next sweep's is gone
    bool keptSome = false; // a stage of the running try was kept, if only until one around it was not
    uint32_t tried = 0;
    std::vector<int> heldAt, held;
};

// A sweep's record of the triangles whose every stage was refused or taken back, renumbered for
// the mesh it left. In the next sweep such a triangle tries the same again, and is refused again,
// while nothing its searches read has changed: the lists of the vertices they walked, the
// positions and marks of those vertices and their neighbours, and which removed slot its stages
// would take. So it is passed over. The marks all clear between sweeps: a try that found one it
// had not set itself is not held, and one that found none is not reached by marks set after it,
// nor, when none of its stages was kept even for a while, by marks the next sweep sets before it
// (LOCAL_RECORD_PLAIN).
//
// The removed slots a try takes decide where its new triangles stand among the others, which
// the searches walk in slot order. A new triangle takes the lowest removed slot: one removed
// before the try, or one of a triangle the try removed. Those removed before are taken lowest
// first and given back last first, so the try used the lowest need of them. A record holds a try
// whose such slots all lay below every slot of the lists it walked (below), with the highest slot
// of its own triangles it took (ownMax): the next try takes the same, in the same order among
// the triangles its searches walk, when its lowest need removed slots lie below that bound and
// the next one above ownMax. A try none of whose searches that hand out the first of several
// could meet one of its new triangles is held with neither (need 0, ownMax -1): where those
// stand then changes nothing, and it is refused again whatever slots are removed.
struct tagFXReduceMemory {
    uint64_t print; // of the indices and positions the sweep left
    float tolerance;
    std::vector<int> at;   // per slot: 1 + the start of its record in held, or 0
    // per record: ownMax, need (with LOCAL_RECORD_PLAIN), below (-1: none), the count of reads,
    // the reads
    std::vector<int> held;
    // Per vertex, its mask of opposite neighbours as the sweep left it (0: not worked out). A mask
    // reads only positions, which the sweep's end leaves as they were.
    std::vector<uint64_t> opposite;
};

// How far the journal had got when a stage began.
struct tagUndoMark {
    size_t slots, tags, moves, depends;
    float edgePlane2[4];
    int openSince, crowdedSince;
    bool sinceKnown;
};

static bool localLive(const int* t) {
    return t[0] != -1 && t[1] != -1 && t[2] != -1;
}

static bool localHas(const int* t, int v) {
    return t[0] == v || t[1] == v || t[2] == v;
}

static bool localDistinct(const int* t) {
    return t[0] != t[1] && t[1] != t[2] && t[0] != t[2];
}

// The first corner of t that is neither u nor w, or -1.
static int localOtherCorner(const int* t, int u, int w) {
    for (int k = 0; k < 3; k++) {
        if (t[k] != u && t[k] != w) {
            return t[k];
        }
    }
    return -1;
}

static bool localSamePosition(const float* p, const float* q) {
    return p[0] == q[0] && p[1] == q[1] && p[2] == q[2];
}

// Equal positions hash alike: -0 is hashed as 0.
static uint32_t localPositionHash(const float* p) {
    uint32_t h = 2166136261u;
    for (int k = 0; k < 3; k++) {
        float f = p[k] == 0.0f ? 0.0f : p[k];
        uint32_t u;
        memcpy(&u, &f, 4);
        h = (h ^ u) * 16777619u;
        h ^= h >> 13;
    }
    return h ^ (h >> 16);
}

// A fingerprint of what the stages read, the indices and the positions: any change to the mesh
// between two sweeps, by whatever means, drops the last sweep's memory. It adds up one term per
// index and per position, so the passes that read them anyway work it out, in any order.
static uint64_t localPrintStart(int indexCount, int vertexCount) {
    return 0x6a09e667f3bcc909ull ^ ((uint64_t)(uint32_t)indexCount << 32) ^ (uint32_t)vertexCount;
}

static uint64_t localPrintIndex(int i, int v) {
    return ((uint64_t)(uint32_t)v + 1) * (0x9e3779b97f4a7c15ull * (2 * (uint64_t)i + 1));
}

static uint64_t localPrintPosition(int v, const float* p) {
    uint32_t bits[3];
    memcpy(bits, p, sizeof(bits));
    uint64_t at = (3 * (uint64_t)v + 1) * 0x9e3779b97f4a7c15ull;
    return (bits[0] + 0x100000000ull) * (at ^ 0x5851f42d4c957f2dull) + (bits[1] + 1) * (at ^ 0x14057b7ef767814full) +
           (bits[2] + 1) * (at ^ 0x2545f4914f6cdd1dull);
}

static uint64_t localPrintEnd(uint64_t sum) {
    return sum ^ (sum >> 29);
}

// The corner lists and marks, which only the stages use.
static void localFreeCorners(tagFXReduceIndex* x) {
    if (x == nullptr) {
        return;
    }
    free(x->cornerBlock);
    x->cornerBlock = nullptr;
    x->cornerNext = nullptr;
    x->cornerPrev = nullptr;
    x->seenAt = nullptr;
}

static void localFreeIndex(tagFXReduceIndex* x) {
    if (x == nullptr) {
        return;
    }
    localFreeCorners(x);
    free(x->block);
    free(x);
}

// The lowest removed slot, taken out of the set; -1 when there is none.
static int localFreeTakeLowest(tagFXReduceIndex* x) {
    int slot = fxSlotSetLowest(&x->removedSlots);
    if (slot != -1) {
        fxSlotSetRemove(&x->removedSlots, slot);
    }
    return slot;
}

// Links corner c, which names v, into v's list. Its place is found two ways at once, stopping with
// the first to arrive: walking the list from its head (quick for a vertex of few triangles), and
// looking back through the corners before c for the nearest that names v (quick around a vertex
// of many, where a new triangle's slot lies among its others). Every corner before c that names v
// is linked already, so the corner found looking back is c's predecessor in the list.
static void localLinkCorner(tagFXReduceIndex* x, const int* indices, int v, int c) {
    int prev = -1;
    int at = x->vertexHead[v];
    int back = c - 1;
    for (;;) {
        if (at == -1 || at > c) {
            break;
        }
        prev = at;
        at = x->cornerNext[at];
        if (back < 0) {
            prev = -1;
            at = x->vertexHead[v];
            break;
        }
        if (indices[back] == v) {
            prev = back;
            at = x->cornerNext[back];
            break;
        }
        back--;
    }
    x->cornerNext[c] = at;
    x->cornerPrev[c] = prev;
    if (at != -1) {
        x->cornerPrev[at] = c;
    }
    if (prev != -1) {
        x->cornerNext[prev] = c;
    } else {
        x->vertexHead[v] = c;
    }
    x->vertexUses[v]++;
}

static void localUnlinkCorner(tagFXReduceIndex* x, int v, int c) {
    int prev = x->cornerPrev[c];
    int next = x->cornerNext[c];
    if (prev != -1) {
        x->cornerNext[prev] = next;
    } else {
        x->vertexHead[v] = next;
    }
    if (next != -1) {
        x->cornerPrev[next] = prev;
    }
    x->cornerNext[c] = -1;
    x->cornerPrev[c] = -1;
    x->vertexUses[v]--;
}

// Whether chained vertex i lies at the position at, whose hash is key.
static bool localAt(const tagFXReduceIndex* x, int i, uint32_t key, const float* at) {
    return x->bucketLinks[i].key == key && localSamePosition(x->points[i].position, at);
}

static void localBucketInsert(tagFXReduceIndex* x, int v) {
    uint32_t key = localPositionHash(x->points[v].position);
    int* head = &x->bucketHead[key & (uint32_t)x->bucketMask];
    x->bucketLinks[v] = {*head, key};
    *head = v;
}

static void localBucketRemove(tagFXReduceIndex* x, int v) {
    int* link = &x->bucketHead[localPositionHash(x->points[v].position) & (uint32_t)x->bucketMask];
    while (*link != -1 && *link != v) {
        link = &x->bucketLinks[*link].next;
    }
    if (*link == v) {
        *link = x->bucketLinks[v].next;
    }
    x->bucketLinks[v].next = -1;
}

// Sets the alone marks of the vertices at v's position: exact for that position from now on.
static void localSettleAlone(tagFXReduceIndex* x, int v) {
    const float* at = x->points[v].position;
    uint32_t key = localPositionHash(at);
    int first = x->bucketHead[key & (uint32_t)x->bucketMask];
    int count = 0;
    for (int i = first; i != -1; i = x->bucketLinks[i].next) {
        count += i == v || localAt(x, i, key, at) ? 1 : 0;
    }
    if (count == 1) {
        x->alone[v] = 1;
        return;
    }
    for (int i = first; i != -1; i = x->bucketLinks[i].next) {
        if (i == v || localAt(x, i, key, at)) {
            x->alone[i] = 0;
        }
    }
}

// Builds the index of a mesh whose indices are all valid, clearing every vertex's tag; null when
// memory runs out (tags untouched), and the reduction then scans.
static tagFXReduceIndex* localBuildIndex(FXMesh* m) {
    int slots = m->indexCount / 3;
    int nv = m->vertexCount;
    int buckets = 16;
    while (buckets < 2 * nv && buckets < (1 << 28)) {
        buckets *= 2;
    }
    tagFXReduceIndex* x = (tagFXReduceIndex*)fxMalloc(sizeof(tagFXReduceIndex));
    if (x == nullptr) {
        return nullptr;
    }
    x->slots = slots;
    size_t words = fxSlotSetWords(slots);
    size_t links = (size_t)nv + 1;
    size_t ints = 2 * ((size_t)nv + 1) + (size_t)buckets;
    size_t bytes = (words + (size_t)nv + 1) * sizeof(uint64_t) +
                   ((size_t)nv + 1) * sizeof(tagFXReduceIndex::Point) + links * sizeof(tagFXReduceIndex::Link) +
                   ints * sizeof(int) + (size_t)nv + 1;
    size_t cornerBytes = (2 * ((size_t)slots * 3 + 1) + (size_t)slots + 1) * sizeof(int);
    x->block = malloc(bytes);
    x->cornerBlock = malloc(cornerBytes);
    if (x->block == nullptr || x->cornerBlock == nullptr) {
        localFreeIndex(x);
        return nullptr;
    }
    fxAdviseLargePages(x->block, bytes);
    fxAdviseLargePages(x->cornerBlock, cornerBytes);
    // Not zero-filled: every entry is written below, and filling a block of this size first
    // would touch every page twice.
    // The points first, where the block's alignment keeps each within one cache line.
    x->points = (tagFXReduceIndex::Point*)x->block;
    uint64_t* removedWords = (uint64_t*)(x->points + nv + 1);
    fxSlotSetPlace(&x->removedSlots, slots, removedWords);
    x->opposite = removedWords + words;
    x->bucketLinks = (tagFXReduceIndex::Link*)(x->opposite + nv + 1);
    int* at = (int*)(x->bucketLinks + links);
    x->vertexHead = at;
    x->vertexUses = (at += nv + 1);
    x->bucketHead = (at += nv + 1);
    x->alone = (unsigned char*)(at + buckets);
    x->cornerNext = (int*)x->cornerBlock;
    x->cornerPrev = x->cornerNext + slots * 3 + 1;
    x->seenAt = x->cornerPrev + slots * 3 + 1;
    x->bucketMask = buckets - 1;
    memset(x->seenAt, 0, ((size_t)slots + 1) * sizeof(int));
    x->seenStamp = 0;
    x->noting = nullptr;
    memset(x->opposite, 0, ((size_t)nv + 1) * sizeof(uint64_t));
    x->asks = 0;
    x->spares = 0;
    x->resting = 0;
    double tolerance = m->reduceTolerance;
    x->lineSine = tolerance >= 0.0 && tolerance < 80.0 ? sin(tolerance / (double)LOCAL_DEGREES) * (1.0 + 1e-4) : 2.0;
    for (int v = 0; v < nv; v++) {
        x->vertexHead[v] = -1;
        x->vertexUses[v] = 0;
    }
    uint64_t print = localPrintStart(m->indexCount, nv);
    for (int c = slots * 3; c < m->indexCount; c++) {
        print += localPrintIndex(c, m->indices[c]);
    }
    // Prepending from the last corner down leaves every list sorted.
    for (int c = slots * 3 - 1; c >= 0; c--) {
        int v = m->indices[c];
        print += localPrintIndex(c, v);
        x->cornerPrev[c] = -1;
        x->cornerNext[c] = x->vertexHead[v];
        if (x->vertexHead[v] != -1) {
            x->cornerPrev[x->vertexHead[v]] = c;
        }
        x->vertexHead[v] = c;
        x->vertexUses[v]++;
    }
    for (int b = 0; b < buckets; b++) {
        x->bucketHead[b] = -1;
    }
    // A bucket's head lies anywhere in a table of megabytes, and so does the link of the vertex
    // it names: asked for a few vertices ahead, the head has come in when the link is asked for,
    // and the link when its vertex is filed.
    const int ahead = 16;
    for (int v = nv - 1; v >= 0; v--) {
        if (v >= ahead) {
            uint32_t next = localPositionHash(m->vertices[v - ahead].position);
            __builtin_prefetch(&x->bucketHead[next & (uint32_t)x->bucketMask]);
        }
        if (v >= ahead / 2) {
            int first = x->bucketHead[localPositionHash(m->vertices[v - ahead / 2].position) & (uint32_t)x->bucketMask];
            if (first != -1) {
                __builtin_prefetch(&x->bucketLinks[first]);
            }
        }
        const float* at = m->vertices[v].position;
        print += localPrintPosition(v, at);
        m->vertices[v].tag = 0; // the sweep starts with every tag clear: here, in the same pass
        x->points[v] = {{at[0], at[1], at[2]}, 0};
        uint32_t key = localPositionHash(at);
        int* head = &x->bucketHead[key & (uint32_t)x->bucketMask];
        x->alone[v] = 1;
        for (int i = *head; i != -1; i = x->bucketLinks[i].next) {
            if (localAt(x, i, key, at)) {
                x->alone[i] = 0;
                x->alone[v] = 0;
            }
        }
        x->bucketLinks[v] = {*head, key};
        *head = v;
    }
    x->print = localPrintEnd(print);
    return x;
}

// ---------------------------------------------------------------------------------------------
// Walking the live slots that name one vertex, in slot order

// Kept out of line: most sweeps note nothing, and the walks are the stages' most common step.
// The reads are a set, and most walks are of the try's own corners, which lead it: a record kept
// short is quicker to check and to carry.
__attribute__((noinline)) static void localNoteWalk(tagFXReduceUndo* u, int v) {
    const std::vector<int>& r = u->reads;
    if (r.size() >= 3 && (v == r[0] || v == r[1] || v == r[2] || v == r.back())) {
        return;
    }
    u->reads.push_back(v);
}

// The check's walks, of the patch's own vertices, most of which the searches walked already. A
// kept change reaches the corners of the triangles it wrote but not their neighbours, so a list
// the check counts in must be among the reads.
__attribute__((noinline)) static void localNoteRead(tagFXReduceUndo* u, int v) {
    if (std::find(u->reads.begin(), u->reads.end(), v) == u->reads.end()) {
        u->reads.push_back(v);
    }
}

static inline void localNoteCheckWalk(const tagFXReduceIndex* x, int v) {
    if (__builtin_expect(x->noting != nullptr, 0)) {
        localNoteRead(x->noting, v);
    }
}

static bool localMade(const tagFXReduceUndo* u, int v) {
    return u->madeAt[(size_t)v] == u->tried && u->made[(size_t)v] > 0;
}

static void localCountMade(tagFXReduceUndo* u, const int* t, int by) {
    for (int k = 0; k < 3; k++) {
        size_t v = (size_t)t[k];
        if (u->madeAt[v] != u->tried) {
            u->madeAt[v] = u->tried;
            u->made[v] = 0;
        }
        u->made[v] += by;
    }
}

// An ordered walk meets a new triangle of the running try only when every vertex it names is
// a corner of one. Most walks come before the try makes any (no slot taken yet).
static void localNoteOrder(tagFXReduceUndo* u, int v, int nOthers, const int* others) {
    if (u->ownMax == -1 && u->foreignMax == -1) {
        return;
    }
    bool met = localMade(u, v);
    for (int i = 0; i < nOthers && met; i++) {
        met = localMade(u, others[i]);
    }
    u->orderSeen = u->orderSeen || met;
}

namespace {

class FXSlotWalk {
public:
    // Walks the slots from first on. A live slot at or before first that names the vertex (near)
    // lets the walk start there instead of at the head of a long list. A walk whose use of the
    // slots does not hang on their order (it takes them all, or asks only whether there is one)
    // is not ordered.
    FXSlotWalk(FXMesh* mesh, int vertex, int first, int near = -1, bool ordered = true)
        : m(mesh), v(vertex), slot(first), corner(-1), nOthers(0), others{-1, -1} {
        if (m->reduceIndex == nullptr) {
            return;
        }
        Note(m->reduceIndex, ordered);
        corner = m->reduceIndex->vertexHead[v];
        for (int s : {first, near}) {
            const int* t = s >= 0 && s <= first && s < m->indexCount / 3 ? m->indices + s * 3 : nullptr;
            if (t != nullptr && localLive(t) && localHas(t, v)) {
                corner = s * 3 + (t[0] == v ? 0 : t[1] == v ? 1 : 2);
                return;
            }
        }
    }

    // Walks the slots naming all n (1 to 3) vertices along the shortest of their lists: every
    // list is in slot order, so each gives the same slots in the same order.
    FXSlotWalk(FXMesh* mesh, int n, const int* all, bool ordered = true)
        : m(mesh), v(all[0]), slot(0), corner(-1), nOthers(0), others{-1, -1} {
        tagFXReduceIndex* x = m->reduceIndex;
        for (int i = 1; i < n; i++) {
            if (x != nullptr && x->vertexUses[all[i]] < x->vertexUses[v]) {
                others[nOthers++] = v;
                v = all[i];
            } else {
                others[nOthers++] = all[i];
            }
        }
        if (x != nullptr) {
            Note(x, ordered);
            corner = x->vertexHead[v];
        }
    }

    // The next slot, or -1 at the end.
    int Next() {
        for (;;) {
            int s = NextNaming();
            if (s == -1 || NamesOthers(s)) {
                return s;
            }
        }
    }

private:
    FXMesh* m;
    int v;
    int slot;
    int corner;
    int nOthers;
    int others[2];

    void Note(tagFXReduceIndex* x, bool ordered) const {
        if (__builtin_expect(x->noting != nullptr, 0)) {
            localNoteWalk(x->noting, v);
            if (ordered) {
                localNoteOrder(x->noting, v, nOthers, others);
            }
        }
    }

    bool NamesOthers(int s) const {
        const int* t = m->indices + s * 3;
        for (int i = 0; i < nOthers; i++) {
            if (!localHas(t, others[i])) {
                return false;
            }
        }
        return true;
    }

    int NextNaming() {
        tagFXReduceIndex* x = m->reduceIndex;
        if (x == nullptr) {
            int slots = m->indexCount / 3;
            for (; slot < slots; slot++) {
                const int* t = m->indices + slot * 3;
                if (localHas(t, v) && localLive(t)) {
                    return slot++;
                }
            }
            return -1;
        }
        for (; corner != -1; corner = x->cornerNext[corner]) {
            int s = (int)((unsigned)corner / 3u);
            if (s >= slot) {
                // Past every corner of s, so that removing s leaves the walk intact (and s comes
                // but once); the list is sorted, so those are the ones below the next slot's first.
                int end = s * 3 + 3;
                do {
                    corner = x->cornerNext[corner];
                } while (corner != -1 && corner < end);
                return s;
            }
        }
        return -1;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Planes and predicates

// Where a vertex stands, and its tag: from the index's points while there are any.
static inline const float* localPosition(const FXMesh* m, int v) {
    return m->reduceIndex != nullptr ? m->reduceIndex->points[v].position : m->vertices[v].position;
}

// The same position, to move the vertex.
static inline float* localPlace(FXMesh* m, int v) {
    return m->reduceIndex != nullptr ? m->reduceIndex->points[v].position : m->vertices[v].position;
}

static inline int localTag(const FXMesh* m, int v) {
    return m->reduceIndex != nullptr ? m->reduceIndex->points[v].tag : m->vertices[v].tag;
}

// A mark the mask tests found set while a sweep notes: one the running try set itself comes back
// with it in the next sweep; any other is gone by then.
__attribute__((noinline)) static void localNoteMark(const FXMesh* m, int v) {
    tagFXReduceUndo* u = m->reduceIndex->noting;
    for (size_t i = 0; i < u->tags.size(); i += 2) {
        if (u->tags[i] == v) {
            return;
        }
    }
    u->sawMark = true;
}

// Whether v is unmarked.
static inline bool localClear(const FXMesh* m, int v) {
    if (localTag(m, v) == 0) {
        return true;
    }
    if (m->reduceIndex != nullptr && m->reduceIndex->noting != nullptr) {
        localNoteMark(m, v);
    }
    return false;
}

// The end of the stages: the vertex block takes the positions and tags they left.
static void localLeavePoints(FXMesh* m) {
    const tagFXReduceIndex::Point* points = m->reduceIndex->points;
    for (int v = 0; v < m->vertexCount; v++) {
        memcpy(m->vertices[v].position, points[v].position, sizeof(points[v].position));
        m->vertices[v].tag = points[v].tag;
    }
}

void FXMesh::ComputeFormula(float* out, int i, int j, int k) {
    const float* p = localPosition(this, i);
    const float* pj = localPosition(this, j);
    const float* pk = localPosition(this, k);
    float e1[3] = {p[0] - pk[0], p[1] - pk[1], p[2] - pk[2]};
    float e2[3] = {p[0] - pj[0], p[1] - pj[1], p[2] - pj[2]};
    float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    float s = 1.0f / sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    out[0] = n[0] * s;
    out[1] = n[1] * s;
    out[2] = n[2] * s;
    out[3] = -(out[0] * p[0] + out[1] * p[1] + out[2] * p[2]);
}

void FXMesh::ComputeFormula1(float* out, float* plane, int i, int j) {
    const float* p = localPosition(this, i);
    const float* pj = localPosition(this, j);
    float e[3] = {p[0] - pj[0], p[1] - pj[1], p[2] - pj[2]};
    float n[3] = {plane[1] * e[2] - plane[2] * e[1], plane[2] * e[0] - plane[0] * e[2],
                  plane[0] * e[1] - plane[1] * e[0]};
    float s = 1.0f / sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    out[0] = n[0] * s;
    out[1] = n[1] * s;
    out[2] = n[2] * s;
    out[3] = -(out[0] * p[0] + out[1] * p[1] + out[2] * p[2]);
}

float FXMesh::MultiVertexFormula(float* plane, int v) {
    const float* p = localPosition(this, v);
    return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
}

bool FXMesh::TestVertexOnFormula(float* plane, int from, int v) {
    float f = MultiVertexFormula(plane, v);
    if (f == 0.0f) {
        return true;
    }
    const float* p = localPosition(this, v);
    const float* w = localPosition(this, from);
    float d[3] = {p[0] - w[0], p[1] - w[1], p[2] - w[2]};
    if (angleBoundsFor != reduceTolerance) {
        // The margins dwarf the rounding of the float path below, so both decide alike.
        double s = sin((double)reduceTolerance / (double)LOCAL_DEGREES);
        double below = reduceTolerance > 0.0f && reduceTolerance < 80.0f ? s * (1.0 - 1e-4) : 0.0;
        double above = reduceTolerance > 0.0f && reduceTolerance < 80.0f ? s * (1.0 + 1e-4) : 1e30;
        sinBelow2 = below * below;
        sinAbove2 = above * above;
        angleBoundsFor = reduceTolerance;
    }
    double f2 = (double)f * (double)f;
    double length2 = (double)d[0] * d[0] + (double)d[1] * d[1] + (double)d[2] * d[2];
    // Lengths whose float squares would overflow or vanish go the exact way.
    if (length2 > 1e-30 && length2 < 1e30) {
        if (f2 < sinBelow2 * length2) {
            return true;
        }
        if (f2 > sinAbove2 * length2) {
            return false;
        }
    }
    float length = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    float angle = asinf(fabsf(f) / length) * LOCAL_DEGREES;
    return reduceTolerance >= angle; // false for NaN
}

bool FXMesh::TestVerticesDirection(int a, int b, int g) {
    const float* pa = localPosition(this, a);
    const float* pb = localPosition(this, b);
    const float* pg = localPosition(this, g);
    float d[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    float ax = fabsf(d[0]);
    float ay = fabsf(d[1]);
    float az = fabsf(d[2]);
    int axis = 2;
    if (ay > ax && ay >= az) {
        axis = 1;
    } else if (ax >= ay && ax >= az) {
        axis = 0;
    }
    float e = pg[axis] - pb[axis];
    return (d[axis] > 0.0f && e > 0.0f) || (d[axis] < 0.0f && e < 0.0f);
}

bool FXMesh::TestVertexSide(int v) {
    float s = MultiVertexFormula(edgePlane, v);
    return (sideRef < 0.0f && s < 0.0f) || (sideRef > 0.0f && s > 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Moving vertices and masks

static void localLogMove(FXMesh* m, int v) {
    if (m->reduceUndo != nullptr) {
        const float* p = localPosition(m, v);
        m->reduceUndo->moves.push_back(tagFXReduceUndo::Move{v, {p[0], p[1], p[2]}});
    }
}

// A move by a non-finite amount (a plane of a degenerate triangle) would destroy the position;
// the vertex then stays where it is.
void FXMesh::PlaceVertexFormula(int v, float* plane) {
    float t = -MultiVertexFormula(plane, v);
    if (t == 0.0f || !std::isfinite(t)) {
        return;
    }
    float move[3] = {t * plane[0], t * plane[1], t * plane[2]};
    if (!std::isfinite(move[0]) || !std::isfinite(move[1]) || !std::isfinite(move[2])) {
        return;
    }
    const float* was = localPosition(this, v);
    float from[3] = {was[0], was[1], was[2]};
    tagFXReduceIndex* x = reduceIndex;
    if (x == nullptr) {
        for (int i = 0; i < vertexCount; i++) {
            float* p = vertices[i].position;
            if (i == v || localSamePosition(p, from)) {
                localLogMove(this, i);
                p[0] += move[0];
                p[1] += move[1];
                p[2] += move[2];
            }
        }
        return;
    }
    // Take the group out of its bucket, move it, and file it under its new position.
    uint32_t fromKey = localPositionHash(from);
    int* link = &x->bucketHead[fromKey & (uint32_t)x->bucketMask];
    int moved = -1;
    bool alone = x->alone[v] != 0;
    while (*link != -1) {
        int i = *link;
        if (i == v || (!alone && localAt(x, i, fromKey, from))) {
            *link = x->bucketLinks[i].next;
            x->bucketLinks[i].next = moved;
            moved = i;
            if (alone) {
                break;
            }
        } else {
            link = &x->bucketLinks[i].next;
        }
    }
    while (moved != -1) {
        int i = moved;
        moved = x->bucketLinks[i].next;
        localLogMove(this, i);
        float* p = x->points[i].position;
        p[0] += move[0];
        p[1] += move[1];
        p[2] += move[2];
        localBucketInsert(x, i);
    }
    localSettleAlone(x, v);
}

void FXMesh::PlaceVertexFormula1(int v, float* plane) {
    float t = -MultiVertexFormula(plane, v);
    if (t == 0.0f || !std::isfinite(t)) {
        return;
    }
    float move[3] = {t * plane[0], t * plane[1], t * plane[2]};
    if (!std::isfinite(move[0]) || !std::isfinite(move[1]) || !std::isfinite(move[2])) {
        return;
    }
    if (reduceIndex != nullptr) {
        localBucketRemove(reduceIndex, v);
    }
    localLogMove(this, v);
    float* p = localPlace(this, v);
    p[0] += move[0];
    p[1] += move[1];
    p[2] += move[2];
    if (reduceIndex != nullptr) {
        localBucketInsert(reduceIndex, v);
        localSettleAlone(reduceIndex, v);
    }
}

static void localLogTag(FXMesh* m, int v) {
    if (m->reduceUndo != nullptr) {
        m->reduceUndo->tags.push_back(v);
        m->reduceUndo->tags.push_back(localTag(m, v));
    }
}

void FXMesh::SetVerticeMask(int v, int bits) {
    const float* at = localPosition(this, v);
    tagFXReduceIndex* x = reduceIndex;
    if (x == nullptr) {
        for (int i = 0; i < vertexCount; i++) {
            if ((i == v || localSamePosition(vertices[i].position, at)) && (vertices[i].tag & bits) != bits) {
                localLogTag(this, i);
                vertices[i].tag |= bits;
            }
        }
        return;
    }
    if (x->alone[v] != 0) {
        if ((x->points[v].tag & bits) != bits) {
            localLogTag(this, v);
            x->points[v].tag |= bits;
        }
        return;
    }
    uint32_t key = localPositionHash(at);
    for (int i = x->bucketHead[key & (uint32_t)x->bucketMask]; i != -1; i = x->bucketLinks[i].next) {
        if ((i == v || localAt(x, i, key, at)) && (x->points[i].tag & bits) != bits) {
            localLogTag(this, i);
            x->points[i].tag |= bits;
        }
    }
}

void FXMesh::SetVerticesMask(int n, int* list, int bits) {
    for (int i = 0; i < n; i++) {
        SetVerticeMask(list[i], bits);
    }
}

bool FXMesh::TestVerticesMask(int n, int* list) {
    for (int i = 0; i < n; i++) {
        if (!localClear(this, list[i])) {
            return false;
        }
    }
    return true;
}

bool FXMesh::TestVertices1Mask(int a) {
    return localClear(this, a);
}

bool FXMesh::TestVertices2Mask(int a, int b) {
    return localClear(this, a) && localClear(this, b);
}

bool FXMesh::TestVertices3Mask(int a, int b, int q) {
    return localClear(this, a) && localClear(this, b) && localClear(this, q);
}

// ---------------------------------------------------------------------------------------------
// Triangle slots

static bool localInList(int v, int n, const int* list) {
    for (int i = 0; i < n; i++) {
        if (list[i] == v) {
            return true;
        }
    }
    return false;
}

static void localLogSlot(FXMesh* m, int s) {
    if (m->reduceUndo != nullptr) {
        const int* t = m->indices + s * 3;
        std::vector<int>& log = m->reduceUndo->slots;
        log.push_back(s);
        log.push_back(t[0]);
        log.push_back(t[1]);
        log.push_back(t[2]);
    }
}

static void localRemoveSlot(FXMesh* m, int s) {
    localLogSlot(m, s);
    int* t = m->indices + s * 3;
    tagFXReduceIndex* x = m->reduceIndex;
    if (x != nullptr) {
        for (int k = 0; k < 3; k++) {
            localUnlinkCorner(x, t[k], s * 3 + k);
        }
        fxSlotSetAdd(&x->removedSlots, s);
        tagFXReduceUndo* u = x->noting;
        if (u != nullptr && u->takenAt[(size_t)s] != u->tried) {
            u->freedAt[(size_t)s] = u->tried;
        }
    }
    t[0] = -1;
    t[1] = -1;
    t[2] = -1;
}

void FXMesh::DiscardTrianglesGroup(int n, int* list) {
    if (reduceIndex == nullptr) {
        int slots = indexCount / 3;
        for (int s = 0; s < slots; s++) {
            const int* t = indices + s * 3;
            if (localLive(t) && localInList(t[0], n, list) && localInList(t[1], n, list) &&
                localInList(t[2], n, list)) {
                localRemoveSlot(this, s);
            }
        }
        return;
    }
    // Such a triangle names every listed vertex it holds, so walking each listed vertex finds it.
    // The walk steps past a slot before handing it out, so removing it leaves the walk intact.
    for (int i = 0; i < n; i++) {
        FXSlotWalk walk(this, list[i], 0);
        for (int s = walk.Next(); s != -1; s = walk.Next()) {
            const int* t = indices + s * 3;
            if (localInList(t[0], n, list) && localInList(t[1], n, list) && localInList(t[2], n, list)) {
                localRemoveSlot(this, s);
            }
        }
    }
}

// The triangles a stage replaces. Each names one of the removed vertices (B, and the apex Q or
// the second line vertex M of the two-vertex stages), has all its corners in the group, and
// names one of that removed vertex's keys: the apexes on this side of its line for B, the line
// ends A and P for the second vertex. Corners merely lying in the group are not enough: a
// triangle beyond the line, or one a stage made earlier in the sweep, can have them too and
// must stay, or the mesh gets a hole.
struct tagReducePattern {
    int nGroup;
    int group[6];
    int nRemoved;
    int removed[2];
    int nKeys[2];
    int keys[2][3];
};

static bool localInPattern(const tagReducePattern* pat, int i, const int* t) {
    for (int j = 0; j < i; j++) {
        if (localHas(t, pat->removed[j])) {
            return false; // belongs to an earlier removed vertex
        }
    }
    // The key goes first: it is the cheaper test, and most triangles around the vertex lack it.
    bool keyed = false;
    for (int k = 0; k < pat->nKeys[i] && !keyed; k++) {
        keyed = localHas(t, pat->keys[i][k]);
    }
    return keyed && localInList(t[0], pat->nGroup, pat->group) && localInList(t[1], pat->nGroup, pat->group) &&
           localInList(t[2], pat->nGroup, pat->group);
}

// The stages settle their vertices between finding the pattern and discarding it, which moves
// and marks vertices but changes no slot: the slots localPrepareCreated found are the ones a new
// walk would find, in the same order.
static void localDiscardPattern(FXMesh* m, const tagReducePattern* pat) {
    if (m->reduceUndo != nullptr) {
        for (int s : m->reduceUndo->patternSlots) {
            localRemoveSlot(m, s);
        }
        return;
    }
    for (int i = 0; i < pat->nRemoved; i++) {
        FXSlotWalk walk(m, pat->removed[i], 0);
        for (int s = walk.Next(); s != -1; s = walk.Next()) {
            if (localInPattern(pat, i, m->indices + s * 3)) {
                localRemoveSlot(m, s);
            }
        }
    }
}

void FXMesh::CreateTrianglesGroup(int n, int* corners) {
    int count = n / 3;
    int slots = indexCount / 3;
    int s = 0;
    for (int i = 0; i < count; i++) {
        if (reduceIndex != nullptr) {
            s = localFreeTakeLowest(reduceIndex);
            if (s == -1) {
                return;
            }
            tagFXReduceUndo* u = reduceIndex->noting;
            if (u != nullptr) {
                localCountMade(u, corners + i * 3, 1);
                if (u->freedAt[(size_t)s] == u->tried) {
                    u->ownMax = s > u->ownMax ? s : u->ownMax;
                } else {
                    u->foreignMax = s > u->foreignMax ? s : u->foreignMax;
                    u->foreignHeld++;
                    u->foreignPeak = u->foreignHeld > u->foreignPeak ? u->foreignHeld : u->foreignPeak;
                }
                u->takenAt[(size_t)s] = u->tried;
            }
        } else {
            while (s < slots && localLive(indices + s * 3)) {
                s++;
            }
            if (s >= slots) {
                return;
            }
        }
        localLogSlot(this, s);
        int* t = indices + s * 3;
        for (int k = 0; k < 3; k++) {
            t[k] = corners[i * 3 + k];
            if (reduceIndex != nullptr) {
                localLinkCorner(reduceIndex, indices, t[k], s * 3 + k);
            }
        }
    }
}

void FXMesh::DiscardProceed() {
    int slots = indexCount / 3;
    // The live triangles close up in the block, which then shrinks: a new block would cost a
    // page fault per page. Up to the first removed slot nothing moves.
    int at = 0;
    for (int s = 0; s < slots; s++) {
        const int* t = indices + s * 3;
        if (localLive(t)) {
            if (at != s * 3) {
                indices[at] = t[0];
                indices[at + 1] = t[1];
                indices[at + 2] = t[2];
            }
            at += 3;
        }
    }
    int live = at / 3;
    if (live == slots) {
        return;
    }
    if (live == 0) {
        free(indices);
        indices = nullptr;
        indexCapacity = 0;
    } else {
        int* shrunk = (int*)realloc(indices, (size_t)live * 3 * sizeof(int));
        if (shrunk != nullptr) {
            indices = shrunk;
            indexCapacity = live * 3;
        }
    }
    indexCount = live * 3;
}

// ---------------------------------------------------------------------------------------------
// Vertices

void FXMesh::PushReducDepend(int x, int y) {
    if (reduceUndo != nullptr) {
        reduceUndo->depends.push_back(x);
        reduceUndo->depends.push_back(y);
        return;
    }
    // Millions of pairs on a large mesh: growing by a fixed step would copy them over and over.
    fxPushIntDoubling(&reduceDepends, x);
    fxPushIntDoubling(&reduceTargets, y);
    // A push that found no memory must not leave the two lists out of step.
    while (reduceDepends.size > reduceTargets.size) {
        reduceDepends.Pop();
    }
    while (reduceTargets.size > reduceDepends.size) {
        reduceTargets.Pop();
    }
}

// The lowest-numbered vertex other than v at v's position that is still named: by its tag, or
// by its entry in number when that is given.
static int localOtherVertex(FXMesh* m, int v, const int* number) {
    const float* at = m->vertices[v].position;
    auto named = [&](int i) { return (number != nullptr ? number[i] : m->vertices[i].tag) != -1; };
    tagFXReduceIndex* x = m->reduceIndex;
    if (x == nullptr) {
        for (int i = 0; i < m->vertexCount; i++) {
            if (i != v && named(i) && localSamePosition(m->vertices[i].position, at)) {
                return i;
            }
        }
        return -1;
    }
    if (x->alone[v] != 0) {
        return -1;
    }
    int best = -1;
    uint32_t key = localPositionHash(at);
    for (int i = x->bucketHead[key & (uint32_t)x->bucketMask]; i != -1; i = x->bucketLinks[i].next) {
        if (i != v && named(i) && localAt(x, i, key, at) && (best == -1 || i < best)) {
            best = i;
        }
    }
    return best;
}

int FXMesh::FindOtherVertex(int v) {
    return localOtherVertex(this, v, nullptr);
}

void FXMesh::DiscardReducedVertices() {
    int nv = vertexCount;
    if (vertices == nullptr || nv <= 0) {
        return;
    }
    // The numbers go in the tags, or, when the index is there, in its list heads, which the
    // stages no longer need: on a large mesh a pass over one int per vertex is several times
    // quicker than one over the records.
    int* number = reduceIndex != nullptr ? reduceIndex->vertexHead : nullptr;
    auto get = [&](int v) { return number != nullptr ? number[v] : vertices[v].tag; };
    auto set = [&](int v, int n) {
        if (number != nullptr) {
            number[v] = n;
        } else {
            vertices[v].tag = n;
        }
    };
    for (int i = 0; i < nv; i++) {
        set(i, -1);
    }
    for (int i = 0; i < indexCount; i++) {
        if (indices[i] >= 0 && indices[i] < nv) {
            set(indices[i], 0);
        }
    }
    int pairs = reduceDepends.size < reduceTargets.size ? reduceDepends.size : reduceTargets.size;
    void** xs = reduceDepends.elements;
    void** ys = reduceTargets.elements;
    for (int i = 0; i < pairs; i++) {
        int x = (int)(intptr_t)xs[i];
        int y = (int)(intptr_t)ys[i];
        if (x < 0 || x >= nv || y < 0 || y >= nv) {
            xs[i] = (void*)(intptr_t)-1;
            ys[i] = (void*)(intptr_t)-1;
            continue;
        }
        if (get(y) != -1) {
            continue;
        }
        int other = localOtherVertex(this, y, number);
        xs[i] = (void*)(intptr_t)(other == -1 ? -1 : x);
        ys[i] = (void*)(intptr_t)other;
    }
    int used = 0;
    for (int i = 0; i < nv; i++) {
        if (get(i) != -1) {
            set(i, used);
            used++;
        }
    }
    for (int i = 0; i < pairs; i++) {
        int x = (int)(intptr_t)xs[i];
        if (x == -1) {
            continue;
        }
        int y = (int)(intptr_t)ys[i];
        int nx = get(x);
        xs[i] = (void*)(intptr_t)nx;
        ys[i] = (void*)(intptr_t)(nx == -1 ? -1 : get(y));
    }
    for (int i = 0; i < indexCount; i++) {
        if (indices[i] >= 0 && indices[i] < nv) {
            indices[i] = get(indices[i]);
        }
    }
    // Closed up in place, then shrunk, as the indices are; every kept tag starts again from 0.
    int at = 0;
    for (int i = 0; i < nv; i++) {
        if (get(i) != -1) {
            if (at != i) {
                vertices[at] = vertices[i];
            }
            vertices[at].tag = 0;
            at++;
        }
    }
    if (used == 0) {
        free(vertices);
        vertices = nullptr;
        vertexCapacity = 0;
    } else {
        tagFXVertex* shrunk = (tagFXVertex*)realloc(vertices, (size_t)used * sizeof(tagFXVertex));
        if (shrunk != nullptr) {
            vertices = shrunk;
            vertexCapacity = used;
        }
    }
    vertexCount = used;
    for (int i = 0; i < pairs; i++) {
        int x = (int)(intptr_t)xs[i];
        if (x != -1) {
            vertices[x].tag = 1;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Searches

// Whether slot s is a triangle beyond b that does not reach back to a, flat with the examined
// face as seen from b; x and y are its corners other than b, in corner order.
static bool localContiguous(FXMesh* m, int s, int a, int b, int* x, int* y) {
    const int* t = m->indices + s * 3;
    if (!localLive(t) || !localDistinct(t) || !localHas(t, b) || localHas(t, a)) {
        return false;
    }
    int k = t[0] == b ? 1 : 0;
    *x = t[k];
    *y = t[0] == b || t[1] == b ? t[2] : t[1];
    return m->TestVertexOnFormula(m->facePlane, b, *x) && m->TestVertexOnFormula(m->facePlane, b, *y);
}

// Whether x continues the line a-b beyond b with y on the examined triangle's side.
static bool localPartner(FXMesh* m, int a, int b, int x, int y) {
    return m->TestVertexOnFormula(m->edgePlane, b, x) && m->TestVerticesDirection(a, b, x) && m->TestVertexSide(y);
}

bool FXMesh::FindNextContiguouse(int a, int b, int, int* cursor, int* partner, int* out) {
    int first = 0;
    bool resumed = false;
    if (*cursor < 0) {
        *partner = -1;
    } else {
        first = *cursor;
        resumed = true;
    }
    FXSlotWalk walk(this, b, first);
    for (int s = walk.Next(); s != -1; s = walk.Next()) {
        int x, y;
        bool again = resumed && s == *cursor;
        resumed = false;
        if (!localContiguous(this, s, a, b, &x, &y)) {
            continue;
        }
        // Back at the triangle last returned: only y is left to try there, and only when x
        // was the partner.
        if (again && *partner != x) {
            continue;
        }
        if (!again && localPartner(this, a, b, x, y)) {
            *out = y;
            *partner = x;
            *cursor = s;
            return true;
        }
        if (localPartner(this, a, b, y, x)) {
            *out = x;
            *partner = y;
            *cursor = s;
            return true;
        }
    }
    return false;
}

bool FXMesh::FindNextContiguouse1(int q, int e, int p, int* cursor, int* out) {
    FXSlotWalk walk(this, e, *cursor < 0 ? 0 : *cursor + 1, *cursor);
    for (int s = walk.Next(); s != -1; s = walk.Next()) {
        const int* t = indices + s * 3;
        if (!localLive(t) || !localDistinct(t) || !localHas(t, e) || localHas(t, q) || !localHas(t, p)) {
            continue;
        }
        int g = localOtherCorner(t, e, p);
        if (!TestVertexOnFormula(facePlane, e, g)) {
            continue;
        }
        *cursor = s;
        if (TestVertexOnFormula(edgePlane2, e, g) && TestVerticesDirection(q, e, g)) {
            *out = g;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Taking back a stage that would tear the surface

static tagUndoMark localMark(FXMesh* m) {
    tagUndoMark mark = {0, 0, 0, 0, {0.0f, 0.0f, 0.0f, 0.0f}, 0, 0, false};
    memcpy(mark.edgePlane2, m->edgePlane2, sizeof(mark.edgePlane2));
    if (m->reduceUndo != nullptr) {
        mark.depends = m->reduceUndo->depends.size();
        mark.slots = m->reduceUndo->slots.size();
        mark.tags = m->reduceUndo->tags.size();
        mark.moves = m->reduceUndo->moves.size();
        mark.openSince = m->reduceUndo->openSince;
        mark.crowdedSince = m->reduceUndo->crowdedSince;
        mark.sinceKnown = m->reduceUndo->sinceKnown;
    }
    return mark;
}

static void localRollback(FXMesh* m, const tagUndoMark& mark) {
    tagFXReduceUndo* u = m->reduceUndo;
    tagFXReduceIndex* x = m->reduceIndex;
    while (u->slots.size() > mark.slots) {
        const int* entry = &u->slots[u->slots.size() - 4];
        int s = entry[0];
        int* t = m->indices + s * 3;
        if (x != nullptr) {
            bool live = localLive(t);
            if (live) {
                for (int k = 0; k < 3; k++) {
                    localUnlinkCorner(x, t[k], s * 3 + k);
                }
            } else {
                fxSlotSetRemove(&x->removedSlots, s);
            }
            // Taken back last first, a new triangle stands as it was made when its making is.
            if (x->noting != nullptr && live && !localLive(entry + 1)) {
                localCountMade(x->noting, t, -1);
            }
        }
        t[0] = entry[1];
        t[1] = entry[2];
        t[2] = entry[3];
        if (x != nullptr) {
            if (localLive(t)) {
                for (int k = 0; k < 3; k++) {
                    localLinkCorner(x, m->indices, t[k], s * 3 + k);
                }
            } else {
                fxSlotSetAdd(&x->removedSlots, s);
                tagFXReduceUndo* n = x->noting;
                if (n != nullptr && n->takenAt[(size_t)s] == n->tried && n->freedAt[(size_t)s] != n->tried) {
                    n->foreignHeld--;
                }
            }
        }
        u->slots.resize(u->slots.size() - 4);
    }
    while (u->moves.size() > mark.moves) {
        const tagFXReduceUndo::Move& move = u->moves.back();
        if (x != nullptr) {
            localBucketRemove(x, move.vertex);
        }
        memcpy(localPlace(m, move.vertex), move.position, sizeof(move.position));
        if (x != nullptr) {
            localBucketInsert(x, move.vertex);
            localSettleAlone(x, move.vertex);
        }
        u->moves.pop_back();
    }
    while (u->tags.size() > mark.tags) {
        int v = u->tags[u->tags.size() - 2];
        if (x != nullptr) {
            x->points[v].tag = u->tags.back();
        } else {
            m->vertices[v].tag = u->tags.back();
        }
        u->tags.resize(u->tags.size() - 2);
    }
    u->depends.resize(mark.depends);
    memcpy(m->edgePlane2, mark.edgePlane2, sizeof(mark.edgePlane2));
    u->openSince = mark.openSince;
    u->crowdedSince = mark.crowdedSince;
    u->sinceKnown = mark.sinceKnown;
}

// Keys of directed edges (from, to) that sort by from.
static uint64_t localEdgeKey(int from, int to) {
    return (uint64_t)(uint32_t)from << 32 | (uint32_t)to;
}

// Where the tally's hash table looks first for a key.
static uint32_t localPairHome(uint64_t pair, uint32_t mask) {
    return (uint32_t)((pair * 0x9E3779B97F4A7C15ull) >> 40) & mask;
}

// Tallies the directed edges of the replaced and the new triangles by the pair of vertices
// they join, in the order first met; the verdict reads only the counts, never that order. A
// patch has a few dozen edges: a small hash table, emptied entry by entry, beats sorting them.
static void localTallyEdges(tagFXReduceUndo* u) {
    int* at = u->tallyAt.data();
    for (const tagEdgeTally& e : u->tally) {
        at[e.home] = 0;
    }
    size_t bound = u->removed.size() + u->created.size();
    if (u->tallyAt.size() < bound * 2) {
        size_t n = 64;
        while (n < bound * 2) {
            n *= 2;
        }
        u->tallyAt.assign(n, 0);
        at = u->tallyAt.data();
    }
    uint32_t mask = (uint32_t)u->tallyAt.size() - 1;
    u->tally.resize(bound);
    tagEdgeTally* entries = u->tally.data();
    int count = 0;
    const tagScratch<int>* sides[2] = {&u->removed, &u->created};
    for (int side = 0; side < 2; side++) {
        const int* t = sides[side]->data();
        const int* end = t + sides[side]->size() / 3 * 3;
        for (; t != end; t += 3) {
            uint32_t corners[4] = {(uint32_t)t[0], (uint32_t)t[1], (uint32_t)t[2], (uint32_t)t[0]};
            for (int k = 0; k < 3; k++) {
                uint32_t from = corners[k];
                uint32_t to = corners[k + 1];
                int back = from > to ? 1 : 0;
                uint64_t pair = back != 0 ? (uint64_t)to << 32 | from : (uint64_t)from << 32 | to;
                uint32_t h = localPairHome(pair, mask);
                int e = at[h];
                while (e != 0 && entries[e - 1].pair != pair) {
                    h = (h + 1) & mask;
                    e = at[h];
                }
                if (e == 0) {
                    e = ++count;
                    at[h] = e;
                    tagEdgeTally* added = &entries[e - 1];
                    added->pair = pair;
                    added->home = h;
                    memset(added->runs, 0, sizeof(added->runs));
                }
                entries[e - 1].runs[side][back]++;
            }
        }
    }
    u->tally.resize((size_t)count);
}

// The tally's entry for the pair of vertices (lower first), or null.
static const tagEdgeTally* localTallyFind(const tagFXReduceUndo* u, uint64_t pair) {
    if (u->tallyAt.empty()) {
        return nullptr;
    }
    uint32_t mask = (uint32_t)u->tallyAt.size() - 1;
    uint32_t h = localPairHome(pair, mask);
    for (int e = u->tallyAt[h]; e != 0; h = (h + 1) & mask, e = u->tallyAt[h]) {
        if (u->tally[(size_t)e - 1].pair == pair) {
            return &u->tally[(size_t)e - 1];
        }
    }
    return nullptr;
}

// Sets out to the directed edges that bound one side's triangles: an edge inside meets its
// reverse and both go, so of the edges between two vertices the surplus of one direction over the
// other is left (of an edge from a vertex to itself, one when it occurs an odd number of times).
// Callers take the edges as a set; their order carries nothing.
static void localBoundary(const tagScratch<tagEdgeTally>& tally, int side, size_t runs, tagScratch<int>* out) {
    // At most every run of the side, one per corner of its triangles, is left.
    out->resize(runs * 2);
    int* at = out->data();
    for (const tagEdgeTally& e : tally) {
        int lo = (int)(e.pair >> 32);
        int hi = (int)(e.pair & 0xFFFFFFFFu);
        int surplus = lo == hi ? e.runs[side][0] % 2 : e.runs[side][0] - e.runs[side][1];
        for (; surplus > 0; surplus--) {
            *at++ = lo;
            *at++ = hi;
        }
        for (; surplus < 0; surplus++) {
            *at++ = hi;
            *at++ = lo;
        }
    }
    out->resize((size_t)(at - out->data()));
}

static bool localContains(const tagScratch<int>& list, int v) {
    const int* at = list.data();
    const int* end = at + list.size();
    for (; at != end; at++) {
        if (*at == v) {
            return true;
        }
    }
    return false;
}

static void localAddNormal(FXMesh* m, int a, int b, int c, double* sum);

// fmax without the call: NaN on either side gives the other.
static double localMax(double a, double b) {
    return b > a || a != a ? b : a;
}

// Angle in radians between two directions; 0 when either has no length.
static double localAngle(const double* u, const double* w) {
    double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    if (!(uu > 0.0) || !(ww > 0.0)) {
        return 0.0;
    }
    double c = (u[0] * w[0] + u[1] * w[1] + u[2] * w[2]) / sqrt(uu * ww);
    // Clamped as fmax(-1, fmin(1, c)) would, NaN to 1, without the calls.
    double k = c > 1.0 || c != c ? 1.0 : c < -1.0 ? -1.0 : c;
    return k == 1.0 ? 0.0 : acos(k); // acos(1) is +0 exactly
}

// Whether sqrt(square) > length, compared squared where the margin dwarfs any rounding.
static bool localLonger(double square, double length) {
    double length2 = length * length;
    if (length2 > 1e-290 && length2 < 1e290) {
        if (square > length2 * (1.0 + 1e-9)) {
            return true;
        }
        if (square < length2 * (1.0 - 1e-9)) {
            return false;
        }
    }
    return sqrt(square) > length;
}

// Whether two directions that face alike lie clearly closer than the 1e-3 radians every allowance
// of the soundness check exceeds: the sine of their angle below 5e-4, so far inside that
// rounding, here or in localAngle, cannot tip it. Lengths near the ends of the double range
// are left to localAngle.
static bool localClearlyNear(const double* u, const double* w) {
    double c[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    double limit = 2.5e-7 * uu * ww;
    return limit > 1e-280 && limit < 1e300 && c[0] * c[0] + c[1] * c[1] + c[2] * c[2] <= limit;
}

// The per-vertex marks of the checks of long patches, sized to the mesh, with a fresh pair of
// stamps (vertexStamp and one more).
static int* localVertexMarks(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    if (u->vertexMark.size() < (size_t)m->vertexCount || u->vertexStamp > INT32_MAX - 2) {
        u->vertexMark.assign((size_t)m->vertexCount, 0);
        u->vertexFirst.resize((size_t)m->vertexCount);
        u->vertexStamp = 0;
    }
    u->vertexStamp += 2;
    return u->vertexMark.data();
}

// For each edge (u, w) of the list, how many live triangles outside the given slots name it,
// counting extra (when not null) as one more such triangle.
static void localEdgeUses(FXMesh* m, const tagScratch<int>& edges, const tagScratch<int>& slots, const int* extra,
                          tagScratch<int>* uses) {
    uses->assign(edges.size() / 2, 0);
    if (extra != nullptr) {
        for (size_t i = 0; i < edges.size(); i += 2) {
            (*uses)[i / 2] += localHas(extra, edges[i]) && localHas(extra, edges[i + 1]) ? 1 : 0;
        }
    }
    if (m->reduceIndex == nullptr) {
        int count = m->indexCount / 3;
        for (int s = 0; s < count; s++) {
            const int* t = m->indices + s * 3;
            if (!localLive(t) || localContains(slots, s)) {
                continue;
            }
            for (size_t i = 0; i < edges.size(); i += 2) {
                (*uses)[i / 2] += localHas(t, edges[i]) && localHas(t, edges[i + 1]) ? 1 : 0;
            }
        }
        return;
    }
    // Each edge is counted walking the shorter list of its two ends; the edges one vertex walks
    // for share one walk.
    tagFXReduceIndex* x = m->reduceIndex;
    tagScratch<int>& owners = m->reduceUndo->owners;
    size_t n = edges.size() / 2;
    owners.resize(n);
    const int* e = edges.data();
    int* own = owners.data();
    int* use = uses->data();
    for (size_t i = 0; i < n; i++) {
        own[i] = x->vertexUses[e[i * 2 + 1]] < x->vertexUses[e[i * 2]] ? e[i * 2 + 1] : e[i * 2];
    }
    // The edges of one owner, gathered before its walk; an edge gathered is marked done (-1). A
    // long list is gathered from its edges chained by owner.
    tagScratch<int>& group = m->reduceUndo->ownerGroup;
    group.resize(n * 2);
    tagFXReduceUndo* u = m->reduceUndo;
    bool chained = n * 2 > LOCAL_LONG_LIST;
    if (chained) {
        // Chained from the last edge down, so that each owner's edges come in order.
        int* mark = localVertexMarks(m);
        int* first = u->vertexFirst.data();
        u->edgeNext.resize(n);
        for (size_t i = n; i-- > 0;) {
            int owner = own[i];
            if (mark[owner] != u->vertexStamp) {
                mark[owner] = u->vertexStamp;
                first[owner] = -1;
            }
            u->edgeNext[i] = first[owner];
            first[owner] = (int)i;
        }
    }
    for (size_t i = 0; i < n; i++) {
        int owner = own[i];
        if (owner == -1) {
            continue;
        }
        int* g = group.data();
        int k = 0;
        auto gather = [&](size_t j) {
            g[k * 2] = (int)j;
            g[k * 2 + 1] = e[j * 2] == owner ? e[j * 2 + 1] : e[j * 2];
            own[j] = -1;
            k++;
        };
        if (chained) {
            for (int j = u->vertexFirst[(size_t)owner]; j != -1; j = u->edgeNext[(size_t)j]) {
                gather((size_t)j);
            }
        } else {
            for (size_t j = i; j < n; j++) {
                if (own[j] == owner) {
                    gather(j);
                }
            }
        }
        int last = -1;
        localNoteCheckWalk(x, owner);
        for (int c = x->vertexHead[owner]; c != -1; c = x->cornerNext[c]) {
            int s = c / 3;
            if (s == last) {
                continue;
            }
            last = s;
            if (x->seenAt[s] == x->seenStamp) {
                continue;
            }
            const int* t = m->indices + s * 3;
            for (int j = 0; j < k; j++) {
                use[g[j * 2]] += localHas(t, g[j * 2 + 1]) ? 1 : 0;
            }
        }
    }
}

static int localCountEdge(const tagScratch<int>& tris, int u, int w) {
    int n = 0;
    for (size_t i = 0; i < tris.size(); i += 3) {
        const int* t = &tris[i];
        n += localHas(t, u) && localHas(t, w) ? 1 : 0;
    }
    return n;
}

// Open edges (named by one triangle) and crowded ones (by three or more) before and after a
// patch, added up edge by edge from the triangles outside it and the patch's own before and after.
struct tagEdgeCounts {
    int openBefore = 0;
    int openAfter = 0;
    int crowdedBefore = 0;
    int crowdedAfter = 0;

    void Add(int outside, int before, int after) {
        before += outside;
        after += outside;
        openBefore += before == 1 ? 1 : 0;
        openAfter += after == 1 ? 1 : 0;
        crowdedBefore += before > 2 ? 1 : 0;
        crowdedAfter += after > 2 ? 1 : 0;
    }
    bool Kept() const { return openAfter <= openBefore && crowdedAfter <= crowdedBefore; }
    // Kept, noting the change for the running sums.
    bool Note(tagFXReduceUndo* u) const {
        u->openChange = openAfter - openBefore;
        u->crowdedChange = crowdedAfter - crowdedBefore;
        u->changeKnown = true;
        return Kept();
    }
};

// Whether the patch leaves no more open edges (named by one triangle) and no more edges named by
// three or more than there were: a vertex left behind on the far side of its line must not make
// a crack that only its position closes.
static bool localEdgesKept(FXMesh* m, const int* extra) {
    tagFXReduceUndo* u = m->reduceUndo;
    // Each edge once, from the tally of both sides, with how many removed and created triangles
    // hold it: a triangle of three distinct corners holds each of its edges once.
    bool distinct = true;
    for (const tagScratch<int>* tris : {&u->removed, &u->created}) {
        for (size_t i = 0; i < tris->size() && distinct; i += 3) {
            distinct = localDistinct(&(*tris)[i]);
        }
    }
    u->edges.clear();
    u->removedUses.clear();
    u->createdUses.clear();
    for (const tagEdgeTally& e : u->tally) {
        int a = (int)(e.pair >> 32);
        int b = (int)(e.pair & 0xFFFFFFFFu);
        // A triangle with a corner twice names an edge of it twice, or names both ends of an
        // edge it does not have: such patches count by the triangles naming both ends.
        int removedUses = distinct ? e.runs[0][0] + e.runs[0][1] : localCountEdge(u->removed, a, b);
        int createdUses = distinct ? e.runs[1][0] + e.runs[1][1] : localCountEdge(u->created, a, b);
        // An edge the patch names as often after as before adds alike to both sides of each
        // comparison below, whatever names it outside: only the others are counted.
        if (removedUses != createdUses) {
            u->edges.push_back(a);
            u->edges.push_back(b);
            u->removedUses.push_back(removedUses);
            u->createdUses.push_back(createdUses);
        }
    }
    u->distinct = distinct;
    localEdgeUses(m, u->edges, u->seen, extra, &u->uses);
    tagEdgeCounts counts;
    for (size_t i = 0; i < u->uses.size(); i++) {
        counts.Add(u->uses[i], u->removedUses[i], u->createdUses[i]);
    }
    return extra != nullptr ? counts.Kept() : counts.Note(u);
}

// Whether a live triangle outside the given slots names v.
static bool localNamedOutside(FXMesh* m, int v, const tagScratch<int>& slots) {
    FXSlotWalk walk(m, v, 0, -1, false);
    for (int s = walk.Next(); s != -1; s = walk.Next()) {
        if (m->reduceIndex != nullptr ? m->reduceIndex->seenAt[s] != m->reduceIndex->seenStamp
                                      : !localContains(slots, s)) {
            return true;
        }
    }
    return false;
}

// The three patches most of a sweep's checks judge: two triangles across an edge replaced by one
// without one end of that edge, and an open fan of three or a closed one of four around a vertex
// replaced by two across a diagonal of their outline. For them localJudge's tally, edge list and
// outline splice come to a few known edges, so their verdict on edges and outlines is worked out
// from the corners; any other patch, or one of these in an unexpected turn, goes to the tally.

// For each of the n vertices in others, how many live triangles outside the patch (slots marked
// with the running stamp) name it and v, walking v's list once.
static void localUsesAround(FXMesh* m, int v, int n, const int* others, int* uses) {
    tagFXReduceIndex* x = m->reduceIndex;
    for (int i = 0; i < n; i++) {
        uses[i] = 0;
    }
    int last = -1;
    localNoteCheckWalk(x, v);
    for (int c = x->vertexHead[v]; c != -1; c = x->cornerNext[c]) {
        int s = c / 3;
        if (s == last || x->seenAt[s] == x->seenStamp) {
            last = s;
            continue;
        }
        last = s;
        const int* t = m->indices + s * 3;
        for (int i = 0; i < n; i++) {
            uses[i] += localHas(t, others[i]) ? 1 : 0;
        }
    }
}

// localUsesAround for the one edge (v, w), walking the shorter list.
static int localUsesOfEdge(FXMesh* m, int v, int w) {
    int uses = 0;
    if (m->reduceIndex->vertexUses[w] < m->reduceIndex->vertexUses[v]) {
        localUsesAround(m, w, 1, &v, &uses);
    } else {
        localUsesAround(m, v, 1, &w, &uses);
    }
    return uses;
}

// Whether t holds the corners (a, b, c) in this turn, starting anywhere.
static bool localTurnOf(const int* t, int a, int b, int c) {
    return (t[0] == a && t[1] == b && t[2] == c) || (t[0] == b && t[1] == c && t[2] == a) ||
           (t[0] == c && t[1] == a && t[2] == b);
}

// Two triangles meeting along (p0, p1) in opposite turns, with apexes a and b, replaced by one
// without p0 or p1. The dropped end d has edges to the kept end and to a and b that go; the
// new edge (a, b) comes. With d spliced out the outline is one turn of the kept end, a and b.
static int localTwoForOne(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    const int* t1 = u->removed.data();
    const int* t2 = t1 + 3;
    const int* c = u->created.data();
    if (!localDistinct(t1) || !localDistinct(t2) || !localDistinct(c)) {
        return -1;
    }
    int p0 = -1;
    int p1 = -1;
    int a = -1;
    for (int k = 0; k < 3 && p0 == -1; k++) {
        int from = t1[k];
        int to = t1[(k + 1) % 3];
        if (localTurnOf(t2, to, from, localOtherCorner(t2, from, to))) {
            p0 = from;
            p1 = to;
            a = t1[(k + 2) % 3];
        }
    }
    if (p0 == -1) {
        return -1;
    }
    int b = localOtherCorner(t2, p0, p1);
    if (b == a || !localHas(c, a) || !localHas(c, b)) {
        return -1;
    }
    int d;
    int kept;
    bool turned;
    if (localHas(c, p0) && !localHas(c, p1)) {
        d = p1;
        kept = p0;
        turned = localTurnOf(c, p0, b, a);
    } else if (localHas(c, p1) && !localHas(c, p0)) {
        d = p0;
        kept = p1;
        turned = localTurnOf(c, p1, a, b);
    } else {
        return -1;
    }
    if (!turned) {
        return -1; // the stages turn their new triangles to the old: left to the tally
    }
    int ends[3] = {kept, a, b};
    int outside[3];
    localUsesAround(m, d, 3, ends, outside);
    tagEdgeCounts counts;
    counts.Add(outside[0], 2, 0);
    counts.Add(outside[1], 1, 0);
    counts.Add(outside[2], 1, 0);
    counts.Add(localUsesOfEdge(m, a, b), 0, 1);
    return counts.Note(u) ? 1 : 0;
}

// The first corner of t's first triangle that each of the n triangles from t names, or -1.
static int localCornerOfAll(const int* t, int n) {
    for (int k = 0; k < 3; k++) {
        int i = 1;
        while (i < n && localHas(t + i * 3, t[k])) {
            i++;
        }
        if (i == n) {
            return t[k];
        }
    }
    return -1;
}

// Each of the n triangles from t turned to start at v: from[i] to to[i] is its edge across from
// v. False when one names a corner twice.
static bool localTurnedAt(const int* t, int n, int v, int* from, int* to) {
    for (int i = 0; i < n; i++) {
        const int* ti = t + i * 3;
        if (!localDistinct(ti)) {
            return false;
        }
        int k = ti[0] == v ? 0 : ti[1] == v ? 1 : 2;
        from[i] = ti[(k + 1) % 3];
        to[i] = ti[(k + 2) % 3];
    }
    return true;
}

// The verdict for a fan around v whose outline, with v spliced out, is the quadrilateral
// ring[0..3], replaced by the two triangles at c across one of its diagonals in the ring's turn.
// removedUses[i] fan triangles named the edge (v, ring[i]); an open fan's outline gains the
// closing edge (ring[3], ring[0]). -1 when the ring repeats a corner or c is not such a pair.
static int localQuadVerdict(FXMesh* m, int v, const int* ring, const int* c, const int* removedUses, bool open) {
    if (ring[0] == ring[2] || ring[0] == ring[3] || ring[1] == ring[3]) {
        return -1;
    }
    int j = -1;
    for (int k = 0; k < 2 && j == -1; k++) {
        int r0 = ring[k];
        int r1 = ring[k + 1];
        int r2 = ring[k + 2];
        int r3 = ring[(k + 3) % 4];
        if ((localTurnOf(c, r0, r1, r2) && localTurnOf(c + 3, r2, r3, r0)) ||
            (localTurnOf(c + 3, r0, r1, r2) && localTurnOf(c, r2, r3, r0))) {
            j = k;
        }
    }
    if (j == -1) {
        return -1;
    }
    int outside[4];
    localUsesAround(m, v, 4, ring, outside);
    tagEdgeCounts counts;
    for (int i = 0; i < 4; i++) {
        counts.Add(outside[i], removedUses[i], 0);
    }
    if (open) {
        counts.Add(localUsesOfEdge(m, ring[3], ring[0]), 0, 1);
    }
    counts.Add(localUsesOfEdge(m, ring[j], ring[j + 2]), 0, 2);
    return counts.Note(m->reduceUndo) ? 1 : 0;
}

// The four triangles (v, r[i], r[i + 1]) around v, replaced by two across the diagonal from r[j]
// to r[j + 2]: the edges from v go, the diagonal comes, the ring is the outline before and after.
static int localFourForTwo(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    const int* t = u->removed.data();
    const int* c = u->created.data();
    int v = localCornerOfAll(t, 4);
    if (v == -1) {
        return -1;
    }
    // Each triangle turned to start at v: from[i] to to[i] is its edge on the ring.
    int from[4];
    int to[4];
    if (!localTurnedAt(t, 4, v, from, to)) {
        return -1;
    }
    int ring[4] = {from[0], to[0], -1, -1};
    for (int n = 1; n < 4; n++) {
        int i = 0;
        while (i < 4 && from[i] != ring[n]) {
            i++;
        }
        if (i == 4) {
            return -1;
        }
        if (n < 3) {
            ring[n + 1] = to[i];
        } else if (to[i] != ring[0]) {
            return -1;
        }
    }
    const int removedUses[4] = {2, 2, 2, 2};
    return localQuadVerdict(m, v, ring, c, removedUses, false);
}

// The open fan (v, r[i], r[i + 1]) for i = 0, 1, 2 around v, replaced by two triangles across the
// quadrilateral r[0..3]: the edges from v go, the closing edge (r[3], r[0]) and a diagonal come.
// With v spliced out the old outline is the quadrilateral, which is the new one.
static int localOpenFan(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    const int* t = u->removed.data();
    const int* c = u->created.data();
    int v = localCornerOfAll(t, 3);
    if (v == -1 || localHas(c, v) || localHas(c + 3, v)) {
        return -1;
    }
    int from[3];
    int to[3];
    if (!localTurnedAt(t, 3, v, from, to)) {
        return -1;
    }
    // The fan starts at the one triangle no other leads into, and runs on through all three.
    int first = -1;
    for (int i = 0; i < 3; i++) {
        if (from[i] != to[0] && from[i] != to[1] && from[i] != to[2]) {
            if (first != -1) {
                return -1;
            }
            first = i;
        }
    }
    if (first == -1) {
        return -1;
    }
    int ring[4] = {from[first], to[first], -1, -1};
    int used = 1 << first;
    for (int n = 1; n < 3; n++) {
        int i = 0;
        while (i < 3 && (((used >> i) & 1) != 0 || from[i] != ring[n])) {
            i++;
        }
        if (i == 3) {
            return -1;
        }
        used |= 1 << i;
        ring[n + 1] = to[i];
    }
    const int removedUses[4] = {1, 2, 2, 1};
    return localQuadVerdict(m, v, ring, c, removedUses, true);
}

// localJudge's verdict on edges and outlines for the common patches: 1 both kept, 0 not, -1 for a
// patch of another kind. Needs the index, whose stamp marks the patch's slots.
static int localCommonPatch(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    if (u->removed.size() == 6 && u->created.size() == 3) {
        return localTwoForOne(m);
    }
    if (u->removed.size() == 9 && u->created.size() == 6) {
        return localOpenFan(m);
    }
    if (u->removed.size() == 12 && u->created.size() == 6) {
        return localFourForTwo(m);
    }
    return -1;
}

// How many of the sorted keys lie in [low, high], and the last of them.
static size_t localKeysBetween(const tagScratch<uint64_t>& keys, uint64_t low, uint64_t high, uint64_t* last) {
    auto begin = std::lower_bound(keys.begin(), keys.end(), low);
    auto end = std::upper_bound(begin, keys.end(), high);
    if (end != begin) {
        *last = *(end - 1);
    }
    return (size_t)(end - begin);
}

// The old outline, in u->outline, with the dropped vertices spliced out into u->spliced: an edge
// from a kept vertex runs on through dropped ones, each of which must have the one edge out that
// onward takes and one edge in, to the next kept vertex. Then u->outline becomes the new outline.
// False when a dropped vertex breaks that, an edge closes on itself, or the two outlines differ
// in length.
template <class Dropped, class Onward>
static bool localSpliceOutlines(tagFXReduceUndo* u, Dropped isDropped, Onward onward) {
    u->spliced.clear();
    for (size_t i = 0; i < u->outline.size(); i += 2) {
        int from = u->outline[i];
        if (isDropped(from)) {
            continue;
        }
        int to = u->outline[i + 1];
        for (int steps = 0; isDropped(to); steps++) {
            if (!onward(&to) || steps > 8) {
                return false;
            }
        }
        if (to == from) {
            return false;
        }
        u->spliced.push_back(from);
        u->spliced.push_back(to);
    }
    localBoundary(u->tally, 1, u->created.size(), &u->outline);
    return u->outline.size() == u->spliced.size();
}

// localJudge's outline test for a long patch, with the lists marked or sorted instead of
// scanned: the dropped vertices by a mark per vertex, the old outline by its edges' starts and
// ends, and both outlines compared as sorted sets of edges.
static bool localLongOutlinesAgree(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    int* mark = localVertexMarks(m);
    const int kept = u->vertexStamp;
    const int gone = kept + 1;
    for (int v : u->created) {
        mark[v] = kept;
    }
    for (int v : u->removed) {
        mark[v] = mark[v] == kept ? kept : gone;
    }
    auto isDropped = [mark, gone](int v) { return mark[v] == gone; };
    localBoundary(u->tally, 0, u->removed.size(), &u->outline);
    tagScratch<uint64_t>& byStart = u->keys;
    tagScratch<uint64_t>& byEnd = u->otherKeys;
    byStart.resize(u->outline.size() / 2);
    byEnd.resize(u->outline.size() / 2);
    for (size_t i = 0; i < u->outline.size(); i += 2) {
        byStart[i / 2] = localEdgeKey(u->outline[i], u->outline[i + 1]);
        byEnd[i / 2] = localEdgeKey(u->outline[i + 1], u->outline[i]);
    }
    std::sort(byStart.begin(), byStart.end());
    std::sort(byEnd.begin(), byEnd.end());
    auto onward = [&byStart, &byEnd](int* to) {
        uint64_t low = localEdgeKey(*to, 0);
        uint64_t high = localEdgeKey(*to, -1);
        uint64_t next = 0;
        uint64_t ignored = 0;
        bool one = localKeysBetween(byStart, low, high, &next) == 1 && localKeysBetween(byEnd, low, high, &ignored) == 1;
        *to = (int)(uint32_t)next;
        return one;
    };
    if (!localSpliceOutlines(u, isDropped, onward)) {
        return false;
    }
    byStart.resize(u->outline.size() / 2);
    byEnd.resize(u->outline.size() / 2);
    for (size_t i = 0; i < u->outline.size(); i += 2) {
        byStart[i / 2] = localEdgeKey(u->outline[i], u->outline[i + 1]);
        byEnd[i / 2] = localEdgeKey(u->spliced[i], u->spliced[i + 1]);
    }
    std::sort(byStart.begin(), byStart.end());
    std::sort(byEnd.begin(), byEnd.end());
    return byStart == byEnd;
}

static bool localJudge(FXMesh* m, size_t movesFrom, const int* extra);
static bool localMovesAndFacing(FXMesh* m, size_t movesFrom);

// For tests: a worked-out verdict, judged again by the tally, which must agree with it and with
// the edge changes it noted. What it noted stands, so the check changes nothing.
static void localCheckVerdict(FXMesh* m, const tagUndoMark& mark, bool sound) {
    tagFXReduceUndo* u = m->reduceUndo;
    int open = u->openChange;
    int crowded = u->crowdedChange;
    bool known = u->changeKnown;
    bool tallied = localJudge(m, mark.moves, nullptr);
    m->reduceVerdicts++;
    bool differ = tallied != sound || u->changeKnown != known ||
                  (known && (u->openChange != open || u->crowdedChange != crowded));
    m->reduceVerdictsWrong += differ ? 1 : 0;
    u->openChange = open;
    u->crowdedChange = crowded;
    u->changeKnown = known;
}

// Whether the changes since the mark replaced triangles by ones covering the same patch: the
// new outline is the old one with the removed vertices (which the stages put on straight lines)
// left out, and every new triangle faces the way the replaced ones face together. A vertex may
// stay behind in triangles outside the patch; the surface then meets it along a straight line.
static bool localSound(FXMesh* m, const tagUndoMark& mark) {
    tagFXReduceUndo* u = m->reduceUndo;
    if (u == nullptr) {
        return true;
    }
    tagFXReduceIndex* x = m->reduceIndex;
    if (x != nullptr) {
        x->seenStamp++;
    }
    u->changeKnown = false;
    // Sized for every write to be a slot of its own, and cut to what was found.
    size_t writes = (u->slots.size() - mark.slots) / 4;
    u->seen.resize(writes);
    u->removed.resize(writes * 3);
    u->created.resize(writes * 3);
    int* seen = u->seen.data();
    int* removed = u->removed.data();
    int* created = u->created.data();
    size_t nSeen = 0;
    const int* entry = u->slots.data() + mark.slots;
    const int* entryEnd = u->slots.data() + u->slots.size();
    for (; entry != entryEnd; entry += 4) {
        int s = entry[0];
        if (x != nullptr) {
            if (x->seenAt[s] == x->seenStamp) {
                continue;
            }
            x->seenAt[s] = x->seenStamp;
        } else if (std::find(seen, seen + nSeen, s) != seen + nSeen) {
            continue;
        }
        seen[nSeen++] = s;
        const int* before = entry + 1;
        const int* now = m->indices + s * 3;
        if (before[0] == now[0] && before[1] == now[1] && before[2] == now[2]) {
            continue;
        }
        if (localLive(before)) {
            removed[0] = before[0];
            removed[1] = before[1];
            removed[2] = before[2];
            removed += 3;
        }
        if (localLive(now)) {
            created[0] = now[0];
            created[1] = now[1];
            created[2] = now[2];
            created += 3;
        }
    }
    u->seen.resize(nSeen);
    u->removed.resize((size_t)(removed - u->removed.data()));
    u->created.resize((size_t)(created - u->created.data()));
    int common = x != nullptr ? localCommonPatch(m) : -1;
    if (common != -1) {
        bool sound = common == 1 && localMovesAndFacing(m, mark.moves);
        if (m->reduceCheckVerdicts) {
            localCheckVerdict(m, mark, sound);
        }
        return sound;
    }
    return localJudge(m, mark.moves, nullptr);
}

// The verdict of localSound on the lists it gathered: the replaced triangles in the order they
// were first written, the new ones, and the slots of both, marked with the running seenStamp
// when the index exists. Outside them the mesh counts as it stands, plus extra (when not null)
// as one more live triangle; the moves from movesFrom on are the patch's.
static bool localJudge(FXMesh* m, size_t movesFrom, const int* extra) {
    tagFXReduceUndo* u = m->reduceUndo;
    if (u->removed.empty()) {
        u->openChange = 0;
        u->crowdedChange = 0;
        u->changeKnown = u->created.empty();
        return u->created.empty();
    }
    // Both sides' edges tallied, for the count of open edges and for the outlines. The count
    // goes first: of the checks (which all must pass) it is the one a refused patch fails most
    // often, and the outlines cost more.
    localTallyEdges(u);
    if (!localEdgesKept(m, extra)) {
        return false;
    }
    // The outlines of a long patch are searched sorted; the verdicts are the same.
    if (u->removed.size() > LOCAL_LONG_LIST) {
        return localLongOutlinesAgree(m) && localMovesAndFacing(m, movesFrom);
    }
    // A bit per new corner, by its low bits, spares the search of the new triangles for most
    // of the corners they do not keep.
    uint64_t made = 0;
    for (int v : u->created) {
        made |= (uint64_t)1 << ((uint32_t)v & 63);
    }
    u->dropped.clear();
    for (int v : u->removed) {
        bool kept = ((made >> ((uint32_t)v & 63)) & 1) != 0 && localContains(u->created, v);
        if (!kept && !localContains(u->dropped, v)) {
            u->dropped.push_back(v);
        }
    }
    // The old outline with the dropped vertices spliced out, against the new one.
    localBoundary(u->tally, 0, u->removed.size(), &u->outline);
    auto isDropped = [u](int v) { return localContains(u->dropped, v); };
    auto onward = [u](int* to) {
        int next = -1;
        int outgoing = 0;
        int incoming = 0;
        for (size_t j = 0; j < u->outline.size(); j += 2) {
            if (u->outline[j] == *to) {
                next = u->outline[j + 1];
                outgoing++;
            }
            incoming += u->outline[j + 1] == *to ? 1 : 0;
        }
        *to = next;
        return outgoing == 1 && incoming == 1;
    };
    if (!localSpliceOutlines(u, isDropped, onward)) {
        return false;
    }
    for (size_t i = 0; i < u->outline.size(); i += 2) {
        size_t j = 0;
        while (j < u->spliced.size() && (u->spliced[j] != u->outline[i] || u->spliced[j + 1] != u->outline[i + 1])) {
            j += 2;
        }
        if (j == u->spliced.size()) {
            return false;
        }
        u->spliced[j] = -1; // used up
        u->spliced[j + 1] = -1;
    }
    return localMovesAndFacing(m, movesFrom);
}

// The rest of localJudge, which reads the lists but not the tally: the moves from movesFrom on,
// and how the new triangles face.
static bool localMovesAndFacing(FXMesh* m, size_t movesFrom) {
    tagFXReduceUndo* u = m->reduceUndo;
    // A vertex moved onto a line must not drag triangles outside the patch with it: they were
    // never tested against the line, and on an outline or a crack the move opens the surface.
    for (size_t i = movesFrom; i < u->moves.size(); i++) {
        const tagFXReduceUndo::Move& move = u->moves[i];
        const float* now = localPosition(m, move.vertex);
        float reach = 1e-6f * (float)localMax(localMax(fabsf(move.position[0]), fabsf(move.position[1])),
                                              fabsf(move.position[2]));
        if (fabsf(now[0] - move.position[0]) <= reach && fabsf(now[1] - move.position[1]) <= reach &&
            fabsf(now[2] - move.position[2]) <= reach) {
            continue;
        }
        if (localNamedOutside(m, move.vertex, u->seen)) {
            return false;
        }
    }
    // Every new triangle faces the way the replaced ones face together, turned from that no
    // further than the most turned of them plus the tolerance: a triangle standing on edge
    // across a slight bend covers nothing.
    // Adding each normal made from zero is adding its terms: the sum is the same to the bit.
    tagScratch<double>& normals = u->normals;
    normals.resize(u->removed.size());
    double facing[3] = {0.0, 0.0, 0.0};
    for (size_t i = 0; i < u->removed.size(); i += 3) {
        double* normal = &normals[i];
        normal[0] = 0.0;
        normal[1] = 0.0;
        normal[2] = 0.0;
        localAddNormal(m, u->removed[i], u->removed[i + 1], u->removed[i + 2], normal);
        facing[0] += normal[0];
        facing[1] += normal[1];
        facing[2] += normal[2];
    }
    // The allowance is only worked out for a new triangle not clearly within it.
    double allowed = -1.0;
    for (size_t i = 0; i < u->created.size(); i += 3) {
        double normal[3] = {0.0, 0.0, 0.0};
        localAddNormal(m, u->created[i], u->created[i + 1], u->created[i + 2], normal);
        if (!(normal[0] * facing[0] + normal[1] * facing[1] + normal[2] * facing[2] > 0.0)) {
            return false;
        }
        if (!localClearlyNear(normal, facing)) {
            if (allowed < 0.0) {
                double widest = 0.0;
                for (size_t j = 0; j < u->removed.size(); j += 3) {
                    widest = localMax(widest, localAngle(&normals[j], facing));
                }
                allowed = widest + localMax((double)m->reduceTolerance, 0.0) / (double)LOCAL_DEGREES + 1e-3;
            }
            if (!(localAngle(normal, facing) <= allowed)) {
                return false;
            }
        }
        // Corners in one line (an outline corner that was itself left on a straight edge) give
        // a triangle of no area that only rounding turns either way.
        double longest = 0.0;
        const int corners[4] = {u->created[i], u->created[i + 1], u->created[i + 2], u->created[i]};
        for (int k = 0; k < 3; k++) {
            const float* p = localPosition(m, corners[k]);
            const float* q = localPosition(m, corners[k + 1]);
            double d[3] = {(double)p[0] - q[0], (double)p[1] - q[1], (double)p[2] - q[2]};
            longest = localMax(longest, d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        }
        if (!localLonger(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2], 1e-5 * longest)) {
            return false;
        }
    }
    return true;
}

// After a check of the changes since the mark: the running sums of edge changes then stand at
// the mark's plus what the check counted.
static void localAddChange(FXMesh* m, const tagUndoMark& mark) {
    tagFXReduceUndo* u = m->reduceUndo;
    u->openSince = mark.openSince + u->openChange;
    u->crowdedSince = mark.crowdedSince + u->crowdedChange;
    u->sinceKnown = mark.sinceKnown && u->changeKnown;
}

// The end of a stage that changed the mesh: true when the change is sound, else it is taken back.
static bool localKeepIfSound(FXMesh* m, const tagUndoMark& mark) {
    bool ok = localSound(m, mark);
    if (ok) {
        if (m->reduceUndo != nullptr) {
            localAddChange(m, mark);
            m->reduceUndo->keptSome = true;
        }
        return true;
    }
    localRollback(m, mark);
    return false;
}

// The end of a stage whose own change, up to own, was judged before its follow-ups ran. A sound
// one keeps whichever follow-ups were themselves kept, as the sweep keeps one sound stage after
// another: each was judged on the mesh it changed. An unsound one stands only when its follow-ups
// mend it, judged together with them.
static bool localKeepAfterFollowUps(FXMesh* m, const tagUndoMark& mark, const tagUndoMark& own, bool ownSound) {
    tagFXReduceUndo* u = m->reduceUndo;
    if (u == nullptr) {
        return true;
    }
    if (ownSound) {
        u->keptSome = true;
        return true;
    }
    // The whole's edge verdict is already known from the sums: most mended stages that fail,
    // fail on it, after a long chain of follow-ups.
    if (u->sinceKnown && (u->openSince > mark.openSince || u->crowdedSince > mark.crowdedSince)) {
        localRollback(m, mark);
        return false;
    }
    if (u->slots.size() != own.slots || u->moves.size() != own.moves || u->tags.size() != own.tags) {
        return localKeepIfSound(m, mark);
    }
    localRollback(m, mark);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Stages. B is the vertex to remove, on the straight line A-B-P; Q is the third corner of the
// examined triangle (A, B, Q); E is the third corner of the triangle across B-P.

// Places v onto the face plane of (i, j, k), then onto the edge plane of (u, w) in it.
static void localPlaceOnLine(FXMesh* m, int v, int i, int j, int k, int u, int w) {
    float face[4];
    float edge[4];
    m->ComputeFormula(face, i, j, k);
    m->ComputeFormula1(edge, face, u, w);
    m->PlaceVertexFormula(v, face);
    m->PlaceVertexFormula(v, edge);
}

// Removes B from the line A-B-P: moves it onto the line A-P in the plane of (A, P, far), marks
// the three as touched, and records that A, P and B itself depend on B.
static void localSettleOnLine(FXMesh* m, int a, int b, int p, int far) {
    localPlaceOnLine(m, b, a, p, far, a, p);
    int mask[3] = {a, b, p};
    m->SetVerticesMask(3, mask, 1);
    m->PushReducDepend(a, b);
    m->PushReducDepend(b, b);
    m->PushReducDepend(p, b);
}

// Whether the first live triangle naming a, b and one of the apexes runs from a to b in its
// corner order. The created triangles list A before P; when the pattern was found the other way
// round (from the far end of the line, or on the far side of it) they must be turned to keep
// the winding of the triangles they replace.
static bool localRunsForward(FXMesh* m, int a, int b, int n, const int* apexes) {
    for (int i = 0; i < n; i++) {
        int named[3] = {b, a, apexes[i]};
        FXSlotWalk walk(m, 3, named);
        int s = walk.Next();
        if (s != -1) {
            const int* t = m->indices + s * 3;
            return (t[0] == a && t[1] == b) || (t[1] == a && t[2] == b) || (t[2] == a && t[0] == b);
        }
    }
    return true;
}

// Face normal of corners a, b, c as drawn: along (c - a) x (b - a).
static void localAddNormal(FXMesh* m, int a, int b, int c, double* sum) {
    const float* pa = localPosition(m, a);
    const float* pb = localPosition(m, b);
    const float* pc = localPosition(m, c);
    double u[3] = {(double)pc[0] - pa[0], (double)pc[1] - pa[1], (double)pc[2] - pa[2]};
    double w[3] = {(double)pb[0] - pa[0], (double)pb[1] - pa[1], (double)pb[2] - pa[2]};
    sum[0] += u[1] * w[2] - u[2] * w[1];
    sum[1] += u[2] * w[0] - u[0] * w[2];
    sum[2] += u[0] * w[1] - u[1] * w[0];
}

// Prepares a stage's new triangles (corner triples listing A before P as the stage builds them):
// turns them to the winding of the triangles they replace, and tells whether they may replace
// them. Every new triangle must face the way the replaced ones face together; a fan whose far
// corner lies behind the line Q-P, or new corners in one line, would turn a triangle over or
// flatten it, and the pattern is then left alone.
static bool localPrepareCreated(FXMesh* m, int a, int b, int nApexes, const int* apexes, const tagReducePattern* pat,
                                int n, int* created) {
    if (!localRunsForward(m, a, b, nApexes, apexes)) {
        for (int i = 0; i + 2 < n; i += 3) {
            int swap = created[i + 1];
            created[i + 1] = created[i + 2];
            created[i + 2] = swap;
        }
    }
    double facing[3] = {0.0, 0.0, 0.0};
    int replaced = 0;
    if (m->reduceUndo != nullptr) {
        m->reduceUndo->patternSlots.clear();
    }
    // Which triangles make the pattern does not hang on their order, but the order they are
    // removed in does: the check's sums follow it.
    tagFXReduceUndo* noting = m->reduceIndex != nullptr ? m->reduceIndex->noting : nullptr;
    for (int i = 0; i < pat->nRemoved; i++) {
        FXSlotWalk walk(m, pat->removed[i], 0, -1, false);
        for (int s = walk.Next(); s != -1; s = walk.Next()) {
            const int* t = m->indices + s * 3;
            if (localInPattern(pat, i, t)) {
                localAddNormal(m, t[0], t[1], t[2], facing);
                replaced++;
                if (m->reduceUndo != nullptr) {
                    m->reduceUndo->patternSlots.push_back(s);
                }
                if (noting != nullptr) {
                    localNoteOrder(noting, t[0], 2, t + 1);
                }
            }
        }
    }
    // Fewer old triangles than new ones would leave a new one without a slot.
    if (replaced < n / 3) {
        return false;
    }
    for (int i = 0; i + 2 < n; i += 3) {
        double normal[3] = {0.0, 0.0, 0.0};
        localAddNormal(m, created[i], created[i + 1], created[i + 2], normal);
        if (!(normal[0] * facing[0] + normal[1] * facing[1] + normal[2] * facing[2] > 0.0)) {
            return false;
        }
    }
    return true;
}

// ReduceStage1's search for the line a-b-p with the adjacency index, without walking all of b's
// triangles. ReduceStage2 refuses a find whose E is neither Q nor a corner of a triangle naming B
// and Q (ReduceStage4 asks for that triangle before anything else), and a refusal changes
// nothing. So only the triangles naming B and such an E can give a find that is not refused, and
// trying their finds in slot order, as FindNextContiguouse hands them out, gives the same stage.
static bool localTryPartners(FXMesh* m, int a, int b, int q) {
    tagScratch<int>& allowed = m->reduceUndo->partnerEnds;
    allowed.assign(1, q);
    int named[2] = {b, q};
    FXSlotWalk around(m, 2, named);
    for (int s = around.Next(); s != -1; s = around.Next()) {
        for (int k = 0; k < 3; k++) {
            int v = m->indices[s * 3 + k];
            if (v != b && !localContains(allowed, v)) {
                allowed.push_back(v);
            }
        }
    }
    tagScratch<int>& slots = m->reduceUndo->partnerSlots;
    slots.clear();
    for (int end : allowed) {
        int pair[2] = {b, end};
        FXSlotWalk walk(m, 2, pair);
        for (int s = walk.Next(); s != -1; s = walk.Next()) {
            slots.push_back(s);
        }
    }
    std::sort(slots.begin(), slots.end());
    slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
    // The list stays right: a stage that is refused, or taken back, leaves the mesh as it was.
    for (size_t i = 0; i < slots.size() && m->TestVertices1Mask(b); i++) {
        int x, y;
        if (!localContiguous(m, slots[i], a, b, &x, &y)) {
            continue;
        }
        if (localPartner(m, a, b, x, y) && localContains(allowed, y) && m->ReduceStage2(a, b, x, q, y)) {
            return true;
        }
        if (localPartner(m, a, b, y, x) && localContains(allowed, x) && m->ReduceStage2(a, b, y, q, x)) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Sparing the partner searches of a curved surface
//
// A partner beyond B on the line A-B lies within the tolerance of the face plane and of the plane
// upright on it through the line, both seen from B: nearly along the line, beyond B, and so
// nearly opposite A among B's neighbours. Where none is, the search's walk would find nothing.

#define LOCAL_OPPOSITE_KNOWN ((uint64_t)1 << 63)
#define LOCAL_SPARE_WINDOW 4096

// By position, not number, from the hash the position buckets keep: the masks then hold as the
// sweep's end renumbers the vertices, and the next sweep starts from them (tagFXReduceMemory).
static uint64_t localOppositeBit(const FXMesh* m, int v) {
    return (uint64_t)1 << (m->reduceIndex->bucketLinks[v].key % 63u);
}

// The largest of a position's coordinates, by size.
static double localReachOf(const float* p) {
    return localMax(fabs(p[0]), localMax(fabs(p[1]), fabs(p[2])));
}

// What float rounding can add to a plane's distance for coordinates up to reach, with room.
static double localRounding(double reach) {
    return 64.0 * reach * 0x1p-24;
}

// b's mask of the neighbours another neighbour stands nearly opposite, worked out on first use.
// The bound takes the tests' margin and the rounding of both planes, so that it never spares a
// walk that would find a partner; a neighbour too near b for that makes every one a maybe.
static uint64_t localOpposites(FXMesh* m, int b) {
    tagFXReduceIndex* x = m->reduceIndex;
    if (x->opposite[b] != 0) {
        uint64_t known = x->opposite[b];
        if (m->reduceCheckSpared) {
            x->opposite[b] = 0;
            m->reduceSparedWrong += localOpposites(m, b) != known ? 1 : 0;
            x->opposite[b] = known;
        }
        return known;
    }
    const uint64_t any = ~(uint64_t)0;
    if (!(x->lineSine < 0.25)) {
        x->opposite[b] = any;
        return any;
    }
    int near[32];
    int n = 0;
    bool few = true;
    int last = -1;
    for (int c = x->vertexHead[b]; c != -1 && few; c = x->cornerNext[c]) {
        int s = c / 3;
        if (s == last) {
            continue;
        }
        last = s;
        const int* t = m->indices + s * 3;
        for (int k = 0; k < 3 && few; k++) {
            if (t[k] != b && !localInList(t[k], n, near)) {
                few = n < 32;
                if (few) {
                    near[n++] = t[k];
                }
            }
        }
    }
    if (!few) {
        x->opposite[b] = any;
        return any;
    }
    const float* pb = localPosition(m, b);
    double reach = localReachOf(pb);
    double dir[32][3];
    double length[32];
    for (int i = 0; i < n; i++) {
        const float* p = localPosition(m, near[i]);
        double d[3] = {(double)p[0] - pb[0], (double)p[1] - pb[1], (double)p[2] - pb[2]};
        length[i] = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        reach = localMax(reach, localReachOf(p));
        for (int k = 0; k < 3; k++) {
            dir[i][k] = d[k] / length[i];
        }
    }
    double rounding = localRounding(reach);
    uint64_t mask = LOCAL_OPPOSITE_KNOWN;
    for (int i = 0; i < n; i++) {
        for (int j = i + 1; j < n; j++) {
            // Off the line by at most this sine in each of the two planes' directions.
            double sine = x->lineSine + 4.0 * rounding / length[i] + 4.0 * rounding / length[j] + 1e-3;
            bool opposite = !(sine < 0.3); // also for a length of 0 or not finite
            if (!opposite) {
                double cosine = sqrt(1.0 - 2.0 * sine * sine) - 1e-3;
                double dot = dir[i][0] * dir[j][0] + dir[i][1] * dir[j][1] + dir[i][2] * dir[j][2];
                opposite = !(dot > -cosine);
            }
            if (opposite) {
                mask |= localOppositeBit(m, near[i]) | localOppositeBit(m, near[j]);
            }
        }
    }
    x->opposite[b] = mask;
    return mask;
}

// Whether the search along the line from a through b, on the examined face, may find a partner
// beyond b. The bound holds for a face whose plane holds the line and b, as any but a sliver's
// does; the search of another walks.
static bool localMayContinue(FXMesh* m, int a, int b) {
    tagFXReduceIndex* x = m->reduceIndex;
    if (x == nullptr) {
        return true;
    }
    if (x->resting > 0) {
        x->resting--;
        return true;
    }
    if (++x->asks == LOCAL_SPARE_WINDOW) {
        x->resting = x->spares * 4 < x->asks ? 64 * LOCAL_SPARE_WINDOW : 0;
        x->asks = 0;
        x->spares = 0;
    }
    if ((localOpposites(m, b) & localOppositeBit(m, a)) != 0) {
        return true;
    }
    const float* pa = localPosition(m, a);
    const float* pb = localPosition(m, b);
    const float* n = m->facePlane;
    double d[3] = {(double)pb[0] - pa[0], (double)pb[1] - pa[1], (double)pb[2] - pa[2]};
    double length = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double across = fabs((double)n[0] * d[0] + (double)n[1] * d[1] + (double)n[2] * d[2]) / length;
    double off = fabs((double)n[0] * pb[0] + (double)n[1] * pb[1] + (double)n[2] * pb[2] + (double)n[3]);
    double unit = (double)n[0] * n[0] + (double)n[1] * n[1] + (double)n[2] * n[2];
    double reach = localMax(localReachOf(pa), localReachOf(pb));
    if (!(across < 1e-4 && off <= localRounding(reach) && fabs(unit - 1.0) < 1e-4)) {
        return true;
    }
    x->spares++;
    if (m->reduceCheckSpared) {
        tagFXReduceUndo* noting = x->noting;
        x->noting = nullptr;
        int cursor = -1;
        int partner = -1;
        int other = -1;
        m->reduceSpared++;
        m->reduceSparedWrong += m->FindNextContiguouse(a, b, -1, &cursor, &partner, &other) ? 1 : 0;
        x->noting = noting;
    }
    return false;
}

// The vertices a kept change touched, from its journal: corner(v) for each corner of a slot it
// wrote, as the slot was and is, and moved(v) for each vertex it moved.
template <class Corner, class Moved>
static void localKeptVertices(FXMesh* m, Corner corner, Moved moved) {
    tagFXReduceUndo* u = m->reduceUndo;
    for (size_t i = 0; i < u->slots.size(); i += 4) {
        const int* t = m->indices + u->slots[i] * 3;
        for (int k = 0; k < 3; k++) {
            if (u->slots[i + 1 + k] >= 0) {
                corner(u->slots[i + 1 + k]);
            }
            if (t[k] >= 0) {
                corner(t[k]);
            }
        }
    }
    for (const tagFXReduceUndo::Move& move : u->moves) {
        moved(move.vertex);
    }
}

// After a kept change: the vertices whose neighbours it changed, and those around a vertex it
// moved, work their masks out again when next asked.
static void localForgetOpposites(FXMesh* m) {
    tagFXReduceIndex* x = m->reduceIndex;
    localKeptVertices(
        m, [x](int v) { x->opposite[v] = 0; },
        [m, x](int v) {
            x->opposite[v] = 0;
            for (int c = x->vertexHead[v]; c != -1; c = x->cornerNext[c]) {
                const int* t = m->indices + c / 3 * 3;
                x->opposite[t[0]] = 0;
                x->opposite[t[1]] = 0;
                x->opposite[t[2]] = 0;
            }
        });
}

bool FXMesh::ReduceStage1(int a, int b, int q) {
    // ReduceStage2 refuses a marked middle vertex or apex before it looks at anything else, and a
    // stage it refuses changes nothing: a search whose every find would be refused is skipped,
    // and so is the whole when both line ends are marked, for each end searches only unmarked.
    if (!TestVertices1Mask(q) || (!TestVertices1Mask(a) && !TestVertices1Mask(b))) {
        return false;
    }
    ComputeFormula1(edgePlane, facePlane, a, b);
    sideRef = MultiVertexFormula(edgePlane, q);
    // Around a vertex of many triangles the search keeps to the few that can matter; elsewhere
    // walking the vertex's own short list is quicker.
    bool narrowB = reduceIndex != nullptr && reduceUndo != nullptr && reduceIndex->vertexUses[b] > LOCAL_WIDE_VERTEX;
    bool narrowA = reduceIndex != nullptr && reduceUndo != nullptr && reduceIndex->vertexUses[a] > LOCAL_WIDE_VERTEX;
    int cursor = -1;
    int partner = -1;
    int e = -1;
    if (narrowB) {
        if (localTryPartners(this, a, b, q)) {
            return true;
        }
    } else if (localMayContinue(this, a, b)) {
        while (TestVertices1Mask(b) && FindNextContiguouse(a, b, q, &cursor, &partner, &e)) {
            if (ReduceStage2(a, b, partner, q, e)) {
                return true;
            }
        }
    }
    if (narrowA) {
        return TestVertices1Mask(a) && localTryPartners(this, b, a, q);
    }
    if (!localMayContinue(this, b, a)) {
        return false;
    }
    cursor = -1;
    while (TestVertices1Mask(a) && FindNextContiguouse(b, a, q, &cursor, &partner, &e)) {
        if (ReduceStage2(b, a, partner, q, e)) {
            return true;
        }
    }
    return false;
}

bool FXMesh::ReduceStage2(int a, int b, int p, int q, int e) {
    if (!TestVertices3Mask(b, q, e)) {
        return false;
    }
    return ReduceStage22(a, b, p, q, e);
}

bool FXMesh::ReduceStage22(int a, int b, int p, int q, int e) {
    if (q == e) {
        return ReduceStage3(a, b, p, q, q) || ReduceStage3a(a, b, p, q, q);
    }
    return ReduceStage4(a, b, p, q, e);
}

// The two-vertex stage's search: R, the first flat triangle around Q naming A, and S, a later
// one naming P, straight beyond R. Reads slots and positions only.
static bool localFindBeyond(FXMesh* m, int a, int b, int p, int q, int* rOut, int* sOut) {
    int r = -1;
    int s = -1;
    int rSlot = -1;
    float edgeRQ[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool edgeReady = false; // worked out for the first candidate S: most searches find none
    // Whether the slot (which names q) names around too, with a third corner that can be R or S.
    auto candidate = [&](int slot, int around, int* third) {
        const int* t = m->indices + slot * 3;
        if (!localHas(t, around)) {
            return false;
        }
        *third = localOtherCorner(t, around, q);
        return *third != -1 && *third != a && *third != b && *third != p &&
               m->TestVertexOnFormula(m->facePlane, q, *third);
    };
    // Whether a candidate S lies straight beyond R, through Q.
    auto beyond = [&](int third) {
        if (third == r) {
            return false;
        }
        if (!edgeReady) {
            m->ComputeFormula1(edgeRQ, m->facePlane, r, q);
            edgeReady = true;
        }
        return m->TestVertexOnFormula(edgeRQ, q, third) && m->TestVerticesDirection(r, q, third);
    };
    tagFXReduceIndex* x = m->reduceIndex;
    if (x != nullptr && x->vertexUses[q] <= x->vertexUses[a] + x->vertexUses[p]) {
        // One walk of Q's triangles finds both: S only counts after R, in slot order.
        FXSlotWalk walk(m, q, 0);
        for (int slot = walk.Next(); slot != -1 && s == -1; slot = walk.Next()) {
            int third = -1;
            if (r == -1) {
                if (candidate(slot, a, &third)) {
                    r = third;
                    rSlot = slot;
                }
            } else if (candidate(slot, p, &third) && beyond(third)) {
                s = third;
            }
        }
    } else {
        for (int around : {a, p}) {
            int named[2] = {q, around};
            FXSlotWalk walk(m, 2, named);
            for (int slot = walk.Next(); slot != -1 && (around == a ? r == -1 : s == -1); slot = walk.Next()) {
                int third = -1;
                if (slot <= rSlot || !candidate(slot, around, &third)) {
                    continue;
                }
                if (around == a) {
                    r = third;
                    rSlot = slot;
                } else if (beyond(third)) {
                    s = third;
                }
            }
            if (r == -1) {
                break;
            }
        }
    }
    *rOut = r;
    *sOut = s;
    return r != -1 && s != -1;
}

// The two-vertex stage's pattern and new triangles, for B on the line A-P and Q on R-S.
static void localBeyondPattern(int a, int b, int p, int q, int r, int s, tagReducePattern* pat, int* created) {
    *pat = {6, {a, b, p, r, q, s}, 2, {b, q}, {1, 2}, {{q}, {a, p}}};
    int made[6] = {a, p, r, r, p, s};
    memcpy(created, made, sizeof(made));
}

// The two-vertex stage's moves: B onto A-P in the plane of (A, P, R), Q onto R-S.
static void localSettleBeyond(FXMesh* m, int a, int b, int p, int q, int r, int s) {
    localSettleOnLine(m, a, b, p, r);
    localPlaceOnLine(m, q, r, p, s, r, s);
}

bool FXMesh::ReduceStage3(int a, int b, int p, int q, int) {
    int r = -1;
    int s = -1;
    tagFXReduceUndo::Beyond* known = reduceUndo != nullptr ? &reduceUndo->beyond : nullptr;
    bool found = false;
    if (known != nullptr && known->valid && known->a == a && known->b == b && known->p == p && known->q == q) {
        r = known->r;
        s = known->s;
        found = r != -1 && s != -1;
    } else {
        found = localFindBeyond(this, a, b, p, q, &r, &s);
    }
    if (known != nullptr) {
        known->valid = false;
    }
    if (!found) {
        return false;
    }
    tagUndoMark mark = localMark(this);
    tagReducePattern pat;
    int created[6];
    localBeyondPattern(a, b, p, q, r, s, &pat, created);
    if (!localPrepareCreated(this, a, b, 1, &q, &pat, 6, created)) {
        return false;
    }
    localSettleBeyond(this, a, b, p, q, r, s);
    int mask[3] = {r, q, s};
    SetVerticesMask(3, mask, 1);
    for (int i = 0; i < 4; i++) {
        PushReducDepend(q, q);
    }
    PushReducDepend(r, q);
    PushReducDepend(s, q);
    PushReducDepend(r, q);
    PushReducDepend(s, q);
    localDiscardPattern(this, &pat);
    CreateTrianglesGroup(6, created);
    ReduceStage2a(a, b, p, q, q);
    return localKeepIfSound(this, mark);
}

// Fills the check's lists with the triangles in the given slots as replaced ones, in that order,
// and the given corner triples as new ones; marks the first nMarked slots as the patch's.
static void localVirtualPatch(FXMesh* m, int nSlots, const int* slots, int nMarked, const int* marked, int nCreated,
                              const int* created) {
    tagFXReduceUndo* u = m->reduceUndo;
    tagFXReduceIndex* x = m->reduceIndex;
    x->seenStamp++;
    u->seen.resize((size_t)nMarked);
    u->removed.resize((size_t)nSlots * 3);
    for (int i = 0; i < nMarked; i++) {
        u->seen[(size_t)i] = marked[i];
        x->seenAt[marked[i]] = x->seenStamp;
    }
    for (int i = 0; i < nSlots; i++) {
        memcpy(&u->removed[(size_t)i * 3], m->indices + slots[i] * 3, 3 * sizeof(int));
    }
    u->created.assign(created, created + nCreated);
}

// localEdgesKept of the two stages together, worked out from what the two-vertex stage's own
// check left behind (its tally, and its changed edges with their counts, the outside ones
// including the first stage's new triangle) and the first stage's triangles: the replaced ones
// in slotsO, as the mesh still holds them, and createdO. The two checks mark the same slots, so
// an edge's outside count differs only by that new triangle; the few edges only the first stage
// changes are counted afresh. 1 kept, 0 not, -1 when a triangle has a corner twice (then the
// counts go by triangles, not edges, and the whole check must run).
static int localWholeEdgesKept(FXMesh* m, const int* slotsO, const int* createdO) {
    tagFXReduceUndo* u = m->reduceUndo;
    const int* first[3] = {m->indices + slotsO[0] * 3, m->indices + slotsO[1] * 3, createdO};
    if (!u->distinct || !localDistinct(first[0]) || !localDistinct(first[1]) || !localDistinct(createdO)) {
        return -1;
    }
    // The first stage's edges, each pair once, with how many of its replaced and new triangles
    // hold it, and whether the second stage changed it too.
    struct {
        uint64_t pair;
        int removed, created;
        bool second;
    } own[9];
    int nOwn = 0;
    for (int i = 0; i < 3; i++) {
        for (int k = 0; k < 3; k++) {
            uint32_t from = (uint32_t)first[i][k];
            uint32_t to = (uint32_t)first[i][(k + 1) % 3];
            uint64_t pair = from < to ? (uint64_t)from << 32 | to : (uint64_t)to << 32 | from;
            int j = 0;
            while (j < nOwn && own[j].pair != pair) {
                j++;
            }
            if (j == nOwn) {
                own[nOwn++] = {pair, 0, 0, false};
            }
            (i < 2 ? own[j].removed : own[j].created)++;
        }
    }
    tagEdgeCounts counts;
    const tagScratch<int>& edges = u->edges;
    for (size_t i = 0; i < edges.size(); i += 2) {
        uint64_t pair = (uint64_t)(uint32_t)edges[i] << 32 | (uint32_t)edges[i + 1];
        int removed = u->removedUses[i / 2];
        int created = u->createdUses[i / 2];
        int outside = u->uses[i / 2];
        for (int j = 0; j < nOwn; j++) {
            if (own[j].pair == pair) {
                removed += own[j].removed;
                created += own[j].created;
                outside -= own[j].created;
                own[j].second = true;
                break;
            }
        }
        if (removed != created) {
            counts.Add(outside, removed, created);
        }
    }
    // The first stage's changed edges the second left as they were: as many new as replaced.
    tagScratch<int>& more = u->wholeEdges;
    more.clear();
    int which[9];
    int nMore = 0;
    for (int j = 0; j < nOwn; j++) {
        if (!own[j].second && own[j].removed != own[j].created) {
            more.push_back((int)(own[j].pair >> 32));
            more.push_back((int)(own[j].pair & 0xFFFFFFFFu));
            which[nMore++] = j;
        }
    }
    localEdgeUses(m, more, u->seen, nullptr, &u->wholeUses);
    for (int i = 0; i < nMore; i++) {
        const tagEdgeTally* e = localTallyFind(u, own[which[i]].pair);
        int second = e == nullptr ? 0 : e->runs[0][0] + e->runs[0][1];
        counts.Add(u->wholeUses[(size_t)i], second + own[which[i]].removed, second + own[which[i]].created);
    }
    return counts.Kept() ? 1 : 0;
}

// localDoomed's two edge verdicts, the follow-up's own and the whole's, for the case a sheet
// gives nearly always: seven distinct corners, the first stage's triangles (Q, A, B) and
// (Q, B, P) for (A, P, Q), and the follow-up's (X, S, P), (X, P, B), (X, B, A), (X, A, R) for
// (A, R, P) and (R, S, P), all in one turn or all in the other. Their outlines then agree, and
// the edges that change are known; only their uses outside the patch are counted. Returns the
// follow-up's verdict and sets whole, or -1 for any other patch. The slots are the first stage's
// two, then the follow-up's.
static int localBeyondEdges(FXMesh* m, const int* corners, const int* slots, int nSlots, const int* createdO,
                            const int* createdN, int* whole) {
    const int a = corners[0], b = corners[1], p = corners[2], q = corners[3], x = corners[4], r = corners[5],
              s = corners[6];
    if (nSlots != 6 || m->reduceIndex->vertexUses[b] != 4) {
        return -1;
    }
    for (int i = 0; i < 7; i++) {
        for (int j = i + 1; j < 7; j++) {
            if (corners[i] == corners[j]) {
                return -1;
            }
        }
    }
    bool forward = localTurnOf(createdO, a, p, q);
    if (!forward && !localTurnOf(createdO, a, q, p)) {
        return -1;
    }
    auto turn = [forward](const int* t, int i, int j, int k) {
        return forward ? localTurnOf(t, i, j, k) : localTurnOf(t, i, k, j);
    };
    const int* o1 = m->indices + slots[0] * 3;
    const int* o2 = m->indices + slots[1] * 3;
    if (!(turn(o1, q, a, b) && turn(o2, q, b, p)) && !(turn(o2, q, a, b) && turn(o1, q, b, p))) {
        return -1;
    }
    int met = 0;
    for (int i = 2; i < 6; i++) {
        const int* t = m->indices + slots[i] * 3;
        int bit = turn(t, x, s, p) ? 1 : turn(t, x, p, b) ? 2 : turn(t, x, b, a) ? 4 : turn(t, x, a, r) ? 8 : 0;
        if (bit == 0 || (met & bit) != 0) {
            return -1;
        }
        met |= bit;
    }
    const int* n1 = createdN;
    const int* n2 = createdN + 3;
    if (!(turn(n1, a, r, p) && turn(n2, r, s, p)) && !(turn(n2, a, r, p) && turn(n1, r, s, p))) {
        return -1;
    }
    int aroundX[5] = {s, p, b, a, r};
    int usesX[5];
    localUsesAround(m, x, 5, aroundX, usesX);
    int usesRP = localUsesOfEdge(m, r, p);
    int usesPA = localUsesOfEdge(m, p, a);
    int usesRS = localUsesOfEdge(m, r, s);
    // Each changed edge with its uses outside, before and after: the follow-up counts the first
    // stage's new triangle as outside, the whole counts the first stage's triangles as its own.
    tagEdgeCounts followUp;
    tagEdgeCounts both;
    const int fromX[5] = {1, 2, 2, 2, 1};
    for (int i = 0; i < 5; i++) {
        followUp.Add(usesX[i], fromX[i], 0);
        both.Add(usesX[i], fromX[i], 0);
    }
    // The four triangles naming B are all in the patch: without the first stage's two, B-P and
    // B-A are open before the follow-up and gone after; in the whole they and B-Q go from two
    // triangles to none, which counts for nothing.
    followUp.Add(0, 1, 0);
    followUp.Add(0, 1, 0);
    followUp.Add(usesRP, 0, 2);
    both.Add(usesRP, 0, 2);
    followUp.Add(usesPA + 1, 0, 1);
    both.Add(usesPA, 0, 2);
    followUp.Add(usesRS, 0, 1);
    both.Add(usesRS, 0, 1);
    *whole = both.Kept() ? 1 : 0;
    return followUp.Kept() ? 1 : 0;
}

// Whether the one-vertex stage about to replace B's triangles (A, B, Q) and (B, P, Q) by
// createdO, tried at the top of a search, is sure to be taken back; worked out with the moves
// and marks the stages would make but no slot changed, and everything undone after.
//
// The case: B has two more triangles, across the line, with one apex X, and the follow-up is
// the two-vertex stage that removes B and X together. When that passes its own check but the
// two stages together fail the first one's, the whole is taken back; on a flat grid a third of
// the stages tried end so. The slots the made stages would look at are the ones here: the
// first stage's triangles name Q, which the follow-up's searches and pattern leave out, and its
// new one names neither B nor X. The checks are given the lists the made stages would write,
// with the first stage's triangles gone and its new one counted for the follow-up's own check.
// Any other case is left to the stages.
static bool localDoomed(FXMesh* m, int a, int b, int p, int q, const int* createdO) {
    tagFXReduceIndex* x = m->reduceIndex;
    tagFXReduceUndo* u = m->reduceUndo;
    if (x == nullptr || u == nullptr || x->vertexUses[b] != 4 || u->patternSlots.size() != 2) {
        return false;
    }
    int slotsO[2] = {u->patternSlots[0], u->patternSlots[1]};
    int far = -1;
    int across = 0;
    localNoteCheckWalk(x, b);
    for (int c = x->vertexHead[b]; c != -1; c = x->cornerNext[c]) {
        int slot = c / 3;
        const int* t = m->indices + slot * 3;
        if (slot == slotsO[0] || slot == slotsO[1]) {
            continue;
        }
        int end = localHas(t, a) ? a : localHas(t, p) ? p : -1;
        int apex = end == -1 ? -1 : localOtherCorner(t, b, end);
        if (!localDistinct(t) || apex == -1 || (far != -1 && apex != far) || localHas(t, q)) {
            return false;
        }
        far = apex;
        across += end == a ? 1 : 2; // 3 for one triangle across B-A and one across B-P
    }
    // The follow-up's search reads no marks and no position the first stage moves (B alone at
    // its position moves, and B is no corner it looks at): it goes before the moves.
    if (across != 3 || far == a || far == p || far == q || x->alone[b] == 0) {
        return false;
    }
    // When the refusal lets the stage through, that stage's follow-up asks the same.
    int r = -1;
    int s = -1;
    bool found = localFindBeyond(m, a, b, p, far, &r, &s);
    u->beyond = {a, b, p, far, r, s, true};
    if (!found || r == q || s == q) {
        return false;
    }
    tagUndoMark mark = localMark(m);
    localSettleOnLine(m, a, b, p, q);
    bool doomed = false;
    if (m->TestVertices1Mask(far)) {
        tagReducePattern patN;
        int createdN[6];
        localBeyondPattern(a, b, p, far, r, s, &patN, createdN);
        if (localPrepareCreated(m, a, b, 1, &far, &patN, 6, createdN) && u->patternSlots.size() <= 8) {
            int slots[10] = {slotsO[0], slotsO[1]};
            int n = 2;
            for (int slot : u->patternSlots) {
                slots[n++] = slot;
            }
            size_t movesN = u->moves.size();
            localSettleBeyond(m, a, b, p, far, r, s);
            int createdAll[9] = {createdO[0], createdO[1], createdO[2]};
            memcpy(createdAll + 3, createdN, sizeof(createdN));
            // The follow-up's own check first: when it fails, the stages go on and nothing is
            // doomed. When it passes, the whole fails in most cases on its edges alone, which
            // that check's counts give; otherwise the whole check decides.
            localVirtualPatch(m, n - 2, slots + 2, n, slots, 6, createdN);
            const int corners[7] = {a, b, p, q, far, r, s};
            int wholeKept = -1;
            int followUp = localBeyondEdges(m, corners, slots, n, createdO, createdN, &wholeKept);
            if (followUp == -1 ? localJudge(m, movesN, createdO) : followUp == 1 && localMovesAndFacing(m, movesN)) {
                int kept = followUp == -1 ? localWholeEdgesKept(m, slotsO, createdO) : wholeKept;
                if (kept == 0) {
                    doomed = true;
                } else {
                    localVirtualPatch(m, n, slots, n, slots, 9, createdAll);
                    doomed = !localJudge(m, mark.moves, nullptr);
                }
            }
        }
    }
    localRollback(m, mark);
    u->patternSlots.assign(slotsO, slotsO + 2);
    return doomed;
}

bool FXMesh::ReduceStage3a(int a, int b, int p, int q, int) {
    tagUndoMark mark = localMark(this);
    tagReducePattern pat = {4, {a, b, p, q}, 1, {b}, {1}, {{q}}};
    int created[3] = {a, p, q};
    if (!localPrepareCreated(this, a, b, 1, &q, &pat, 3, created)) {
        return false;
    }
    if (mark.slots == 0 && localDoomed(this, a, b, p, q, created)) {
        reduceUndo->beyond.valid = false;
        return false;
    }
    localSettleOnLine(this, a, b, p, q);
    localDiscardPattern(this, &pat);
    CreateTrianglesGroup(3, created);
    ReduceStage2a(a, b, p, q, q);
    if (reduceUndo != nullptr) {
        reduceUndo->beyond.valid = false;
    }
    return localKeepIfSound(this, mark);
}

bool FXMesh::ReduceStage4(int a, int b, int p, int q, int e) {
    if (reduceUndo != nullptr) {
        reduceUndo->beyond.valid = false; // what follows changes slots before any search
    }
    int named[3] = {b, q, e};
    FXSlotWalk walk(this, 3, named, false);
    if (walk.Next() == -1) {
        return false;
    }
    if (ReduceStage4a(a, b, p, q, e)) {
        return true;
    }
    tagUndoMark mark = localMark(this);
    tagReducePattern pat = {5, {a, b, p, q, e}, 1, {b}, {2}, {{q, e}}};
    int created[6] = {a, p, q, q, p, e};
    if (!localPrepareCreated(this, a, b, 1, &q, &pat, 6, created)) {
        return false;
    }
    localSettleOnLine(this, a, b, p, q);
    localDiscardPattern(this, &pat);
    CreateTrianglesGroup(6, created);
    ReduceStage2a(a, b, p, q, e);
    return localKeepIfSound(this, mark);
}

bool FXMesh::ReduceStage4a(int a, int b, int p, int q, int e) {
    ComputeFormula1(edgePlane2, facePlane, q, e);
    int cursor = -1;
    int g = -1;
    // The fan's own triangle (B, P, E), or (A, B, Q) from the other end, offers B itself when the
    // fan is flat along Q-E; B is the vertex being removed, so it cannot stand for G.
    while (TestVertices1Mask(e) && FindNextContiguouse1(q, e, p, &cursor, &g)) {
        if (g != b && ReduceStage4aa(a, b, p, q, e, g)) {
            return true;
        }
    }
    cursor = -1;
    while (TestVertices1Mask(q) && FindNextContiguouse1(e, q, a, &cursor, &g)) {
        if (g != b && ReduceStage4aa(a, b, p, g, q, e)) {
            return true;
        }
    }
    return false;
}

// The follow-ups find this stage again one step further on a grid whose diagonals all run one
// way: a chain across the grid. Judged with everything below it, each level would cost what the
// whole rest of the chain changed; its own change is judged first, before the follow-ups run.
bool FXMesh::ReduceStage4aa(int a, int b, int p, int d, int m, int g) {
    tagUndoMark mark = localMark(this);
    int apexes[2] = {d, m};
    tagReducePattern pat = {6, {a, b, p, d, m, g}, 2, {b, m}, {3, 2}, {{d, m, g}, {a, p}}};
    int created[6] = {a, p, g, d, a, g};
    if (!localPrepareCreated(this, a, b, 2, apexes, &pat, 6, created)) {
        return false;
    }
    localSettleOnLine(this, a, b, p, g);
    localPlaceOnLine(this, m, d, p, g, d, g);
    int mask[3] = {d, m, g};
    SetVerticesMask(3, mask, 1);
    PushReducDepend(d, m);
    PushReducDepend(m, m);
    PushReducDepend(g, m);
    localDiscardPattern(this, &pat);
    CreateTrianglesGroup(6, created);
    bool ownSound = localSound(this, mark);
    if (reduceUndo != nullptr) {
        localAddChange(this, mark);
    }
    tagUndoMark own = localMark(this);
    ReduceStage2aa(a, b, p, d, m, g);
    ReduceStage2aa(d, m, g, a, b, p);
    return localKeepAfterFollowUps(this, mark, own, ownSound);
}

// The first live triangle naming u and w but none of the excluded vertices; its corner other
// than u and w, or -1.
static int localFirstBeside(FXMesh* m, int u, int w, int n, const int* excluded) {
    int named[2] = {w, u};
    FXSlotWalk walk(m, 2, named);
    for (int s = walk.Next(); s != -1; s = walk.Next()) {
        const int* t = m->indices + s * 3;
        bool clear = true;
        for (int i = 0; i < n && clear; i++) {
            clear = !localHas(t, excluded[i]);
        }
        if (clear) {
            return localOtherCorner(t, u, w);
        }
    }
    return -1;
}

bool FXMesh::ReduceStage2a(int a, int b, int p, int q, int e) {
    int x = localFirstBeside(this, a, b, 1, &q);
    int y = localFirstBeside(this, p, b, 1, &e);
    if (x == -1 || y == -1 || !TestVertices2Mask(x, y)) {
        return false;
    }
    return ReduceStage22(a, b, p, x, y);
}

bool FXMesh::ReduceStage2aa(int a, int b, int p, int q, int e, int g) {
    int excluded[3] = {q, e, g};
    int x = localFirstBeside(this, a, b, 3, excluded);
    int y = localFirstBeside(this, p, b, 3, excluded);
    if (x == -1 || y == -1) {
        return false;
    }
    return ReduceStage22(a, b, p, x, y);
}

// ---------------------------------------------------------------------------------------------
// The sweep

// Hands the sweep's dependency pairs over to reduceDepends and reduceTargets.
static void localTakeDepends(FXMesh* m) {
    const std::vector<int>& pairs = m->reduceUndo->depends;
    int n = (int)(pairs.size() / 2);
    m->reduceDepends.RemoveAll();
    m->reduceTargets.RemoveAll();
    m->reduceDepends.Realloc(n);
    m->reduceTargets.Realloc(n);
    if (m->reduceDepends.capacity < n || m->reduceTargets.capacity < n) {
        n = 0; // out of memory: no pairs rather than lists out of step
    }
    fxAdviseLargePages(m->reduceDepends.elements, (size_t)n * sizeof(void*));
    fxAdviseLargePages(m->reduceTargets.elements, (size_t)n * sizeof(void*));
    for (int i = 0; i < n; i++) {
        m->reduceDepends.elements[i] = (void*)(intptr_t)pairs[(size_t)i * 2];
        m->reduceTargets.elements[i] = (void*)(intptr_t)pairs[(size_t)i * 2 + 1];
    }
    m->reduceDepends.size = n;
    m->reduceTargets.size = n;
}

// ---------------------------------------------------------------------------------------------
// Remembering refusals from one sweep to the next

void FXMesh::ForgetReduceMemory() {
    delete reduceMemory;
    reduceMemory = nullptr;
}

// A kept change moved or marked v, which a search that walked v or any neighbour of v read; a
// move lasts, a mark clears with the sweep.
static void localReach(FXMesh* m, int v, bool lasts) {
    tagFXReduceUndo* u = m->reduceUndo;
    uint32_t* reached = u->reached.data();
    uint32_t* lasting = lasts ? u->lasting.data() : reached;
    reached[v] = lasting[v] = u->tried;
    FXSlotWalk walk(m, v, 0);
    for (int s = walk.Next(); s != -1; s = walk.Next()) {
        const int* t = m->indices + s * 3;
        for (int k = 0; k < 3; k++) {
            reached[t[k]] = lasting[t[k]] = u->tried;
        }
    }
}

// After a kept change, from its journal. A vertex of a triangle it wrote has another list, which
// only a search that walked it read: a search walking a neighbour meets the triangle only when
// it names the neighbour too. A record of a slot it wrote needs no clearing: the record's reads
// hold the old triangle's corners, which this reaches.
static void localReachKept(FXMesh* m) {
    tagFXReduceUndo* u = m->reduceUndo;
    m->reduceIndex->noting = nullptr;
    localKeptVertices(
        m,
        [u](int v) {
            u->reached[v] = u->tried;
            u->lasting[v] = u->tried;
        },
        [m](int v) { localReach(m, v, true); });
    for (size_t i = 0; i < u->tags.size(); i += 2) {
        localReach(m, u->tags[i], false);
    }
    m->reduceIndex->noting = u;
}

// Set in a record's need when no stage of its try was kept, not even for a while. Such a try is
// refused again with more marks: a mark only spares stages it would have tried and taken back,
// and the stages it does try find the same. A stage kept for a while could have turned another's
// verdict, so there a mark set since may change the outcome.
#define LOCAL_RECORD_PLAIN (1 << 30)

// Whether the last sweep's record says slot s would be refused again now.
static bool localStillRefused(FXMesh* m, const tagFXReduceMemory* before, int s) {
    tagFXReduceUndo* u = m->reduceUndo;
    tagFXReduceIndex* x = m->reduceIndex;
    const int* r = before->held.data() + before->at[s] - 1;
    const uint32_t* reached = (r[1] & LOCAL_RECORD_PLAIN) != 0 ? u->lasting.data() : u->reached.data();
    for (int i = 0; i < r[3]; i++) {
        if (reached[r[4 + i]] != 0) {
            return false;
        }
    }
    int free = fxSlotSetLowest(&x->removedSlots);
    for (int i = 0; i < (r[1] & ~LOCAL_RECORD_PLAIN); i++, free = fxSlotSetFrom(&x->removedSlots, free + 1)) {
        if (free == -1 || (r[2] != -1 && free >= r[2])) {
            return false;
        }
    }
    return free == -1 || free > r[0];
}

// Records slot s as refused at this try: r holds a record as in tagFXReduceMemory.
static void localHold(FXMesh* m, int s, const int* r) {
    tagFXReduceUndo* u = m->reduceUndo;
    u->heldAt[s] = 1 + (int)u->held.size();
    u->held.push_back((int)u->tried);
    u->held.insert(u->held.end(), r, r + 4 + r[3]);
}

// The end of a try that changed nothing: its record, when its takes allow one.
static void localHoldTry(FXMesh* m, int s) {
    tagFXReduceUndo* u = m->reduceUndo;
    tagFXReduceIndex* x = m->reduceIndex;
    if (u->sawMark) {
        return; // unmarked, the next sweep's searches go on where this one's stopped
    }
    std::vector<int>& r = u->record;
    r.assign({u->ownMax, u->foreignPeak, -1, (int)u->reads.size()});
    if (!u->orderSeen) {
        // Wherever its new triangles stand, the try walks the same; and every stage removes at
        // least as many triangles as it makes before it makes them (localPrepareCreated), so
        // each finds a slot with no other removed slot around. It is refused again.
        r[0] = -1;
        r[1] = 0;
    } else if (u->foreignPeak > 0) {
        // Taken back, the walked lists and the removed slots are as they were when it began.
        int below = -1;
        for (int v : u->reads) {
            int c = x->vertexHead[v];
            below = c != -1 && (below == -1 || c / 3 < below) ? c / 3 : below;
        }
        int free = fxSlotSetLowest(&x->removedSlots);
        for (int i = 0; i < u->foreignPeak && free != -1; i++) {
            free = fxSlotSetFrom(&x->removedSlots, free + 1);
        }
        if ((below != -1 && u->foreignMax >= below) || (free != -1 && free <= u->foreignMax)) {
            return;
        }
        r[2] = below;
    }
    if (!u->keptSome) {
        r[1] |= LOCAL_RECORD_PLAIN;
    }
    r.insert(r.end(), u->reads.begin(), u->reads.end());
    localHold(m, s, r.data());
}

// The memory the last sweep left, when the mesh is as it left it and the tolerance the same;
// with it, this sweep notes its own.
static tagFXReduceMemory* localBeginNoting(FXMesh* m, float tolerance) {
    tagFXReduceUndo* u = m->reduceUndo;
    tagFXReduceMemory* before = m->reduceMemory;
    m->reduceMemory = nullptr;
    if (before != nullptr &&
        (m->reduceIndex == nullptr || before->tolerance != tolerance || before->print != m->reduceIndex->print)) {
        delete before;
        before = nullptr;
    }
    if (before == nullptr) {
        return nullptr;
    }
    size_t slots = (size_t)(m->indexCount / 3);
    if (before->at.size() != slots) {
        before->at.clear(); // the last sweep noted nothing
    }
    if (before->opposite.size() == (size_t)m->vertexCount) {
        memcpy(m->reduceIndex->opposite, before->opposite.data(), before->opposite.size() * sizeof(uint64_t));
    }
    u->noting = true;
    m->reduceIndex->noting = u;
    u->reached.assign((size_t)m->vertexCount, 0);
    u->lasting.assign((size_t)m->vertexCount, 0);
    u->heldAt.assign(slots, 0);
    // Most records come back: grown by doubling, the store would be copied over and over.
    u->held.reserve(before->held.size() + before->held.size() / 4 + slots);
    u->takenAt.assign(slots, 0);
    u->freedAt.assign(slots, 0);
    u->madeAt.assign((size_t)m->vertexCount, 0);
    u->made.assign((size_t)m->vertexCount, 0);
    return before;
}

// The end of a sweep's tries: slotTo gets where each live slot goes when the slots close up (only
// after a change).
static void localEndNoting(FXMesh* m, bool changed, std::vector<int>* slotTo) {
    tagFXReduceUndo* u = m->reduceUndo;
    if (!u->noting) {
        return;
    }
    u->tried++;
    m->reduceIndex->noting = nullptr;
    u->noting = false;
    int slots = m->indexCount / 3;
    slotTo->assign((size_t)slots, -1);
    int live = 0;
    for (int s = 0; s < slots; s++) {
        if (localLive(m->indices + s * 3)) {
            (*slotTo)[(size_t)s] = changed ? live++ : s;
        }
    }
}

// The end of a sweep: its records whose reads no later kept change reached, renumbered for the
// mesh the sweep leaves, and its masks. slotTo maps the old slots (none when nothing was noted),
// vertexTo (or none) the old vertices, of which there were the given count.
static tagFXReduceMemory* localLeaveMemory(FXMesh* m, const std::vector<int>& slotTo, int vertices,
                                          const int* vertexTo, float tolerance) {
    tagFXReduceUndo* u = m->reduceUndo;
    tagFXReduceMemory* memory = new tagFXReduceMemory();
    memory->tolerance = tolerance;
    auto renumber = [&](int v) { return vertexTo != nullptr ? vertexTo[v] : v; };
    memory->opposite.assign((size_t)m->vertexCount, 0);
    // The positions from the index's points, a quarter of the bytes of the vertex records.
    uint64_t print = localPrintStart(m->indexCount, m->vertexCount);
    for (int i = 0; i < m->indexCount; i++) {
        print += localPrintIndex(i, m->indices[i]);
    }
    for (int v = 0; v < vertices; v++) {
        int to = renumber(v);
        if (to != -1) {
            memory->opposite[(size_t)to] = m->reduceIndex->opposite[v];
            print += localPrintPosition(to, m->reduceIndex->points[v].position);
        }
    }
    memory->print = localPrintEnd(print);
    // The records close up in the sweep's own stores, in slot order: each is read whole before it
    // is written, one int shorter and no further on, so nothing unread is written over.
    std::vector<int>& held = u->held;
    std::vector<int>& at = u->heldAt;
    size_t out = 0;
    for (size_t s = 0; s < slotTo.size(); s++) {
        if (slotTo[s] == -1) {
            continue;
        }
        int entry = 0;
        if (at[s] != 0) {
            const int* r = held.data() + at[s] - 1;
            int ownMax = r[1];
            int need = r[2];
            int below = r[3];
            int n = r[4];
            // The slots a record names hold triangles no later kept change removed: all are live.
            bool clean = (ownMax == -1 || slotTo[(size_t)ownMax] != -1) && (below == -1 || slotTo[(size_t)below] != -1);
            for (int i = 0; i < n && clean; i++) {
                clean = u->lasting[r[5 + i]] < (uint32_t)r[0] && renumber(r[5 + i]) != -1;
            }
            if (clean) {
                int* w = held.data() + out;
                entry = 1 + (int)out;
                w[0] = ownMax == -1 ? -1 : slotTo[(size_t)ownMax];
                w[1] = need;
                w[2] = below == -1 ? -1 : slotTo[(size_t)below];
                w[3] = n;
                for (int i = 0; i < n; i++) {
                    w[4 + i] = renumber(r[5 + i]);
                }
                out += 4 + (size_t)n;
            }
        }
        at[(size_t)slotTo[s]] = entry;
    }
    held.resize(out);
    at.resize(slotTo.empty() ? 0 : (size_t)(m->indexCount / 3));
    memory->held = std::move(held);
    memory->at = std::move(at);
    return memory;
}

bool FXMesh::ReduceVertices(float toleranceDeg) {
    if (indices == nullptr || indexCount <= 0) {
        return true;
    }
    if (!IndicesValid()) {
        err("FXMesh::ReduceVertices: an index lies outside the %d vertices\n", vertexCount);
        return false;
    }
    reduceDepends.RemoveAll();
    reduceTargets.RemoveAll();
    reduceTolerance = toleranceDeg;
    trc("ReduceVertices (indices:%d vertices:%d)\n", indexCount, vertexCount);
    int startIndices = indexCount;
    int startVertices = vertexCount;
    reduceIndex = reduceScans ? nullptr : localBuildIndex(this);
    if (reduceIndex == nullptr) {
        for (int i = 0; i < vertexCount; i++) {
            vertices[i].tag = 0;
        }
    }
    reduceUndo = new tagFXReduceUndo();
    int slots = indexCount / 3;
    // A flat grid ends a sweep with three ints per slot; reserved address space is only touched
    // as it fills.
    reduceUndo->depends.reserve((size_t)slots * 4 + 64);
    fxAdviseLargePages(reduceUndo->depends.data(), reduceUndo->depends.capacity() * sizeof(int));
    tagFXReduceUndo* u = reduceUndo;
    tagFXReduceMemory* before = localBeginNoting(this, toleranceDeg);
    bool changed = false;
    for (int s = 0; s < slots; s++) {
        const int* t = indices + s * 3;
        if (!localLive(t)) {
            continue;
        }
        u->tried++;
        bool remembered = u->noting && !before->at.empty() && before->at[s] != 0 && localStillRefused(this, before, s);
        if (remembered && !reduceRetryRemembered) {
            localHold(this, s, before->held.data() + before->at[s] - 1);
            continue;
        }
        reduceRetried += remembered ? 1 : 0;
        int t0 = t[0];
        int t1 = t[1];
        int t2 = t[2];
        if (u->noting) {
            u->reads.assign({t0, t1, t2});
            u->ownMax = -1;
            u->foreignMax = -1;
            u->foreignHeld = 0;
            u->foreignPeak = 0;
            u->orderSeen = false;
            u->sawMark = false;
            u->keptSome = false;
        }
        ComputeFormula(facePlane, t0, t1, t2);
        if (ReduceStage1(t0, t1, t2) || ReduceStage1(t1, t2, t0) || ReduceStage1(t2, t0, t1)) {
            changed = true;
            reduceRetryChanged += remembered ? 1 : 0;
            if (reduceIndex != nullptr) {
                localForgetOpposites(this);
            }
            if (u->noting) {
                localReachKept(this);
            }
        } else if (u->noting) {
            localHoldTry(this, s);
        }
        // What is kept stays; only the running stages ever look back.
        u->slots.clear();
        u->tags.clear();
        u->moves.clear();
        u->sinceKnown = true;
    }
    delete before;
    if (reduceIndex != nullptr) {
        localLeavePoints(this);
    }
    std::vector<int> slotTo;
    localEndNoting(this, changed, &slotTo);
    localFreeCorners(reduceIndex);
    localTakeDepends(this);
    if (changed) {
        DiscardProceed();
        DiscardReducedVertices();
    }
    // Noting costs every try a little, and pays once a sweep changes little of the mesh: so the
    // sweep after one that removed under a quarter of the triangles notes.
    if (reduceIndex != nullptr && (int64_t)(slots - indexCount / 3) * 4 < (int64_t)slots) {
        // DiscardReducedVertices leaves the new vertex numbers in the index's list heads.
        reduceMemory = localLeaveMemory(this, slotTo, startVertices, changed ? reduceIndex->vertexHead : nullptr,
                                        toleranceDeg);
    }
    localFreeIndex(reduceIndex);
    reduceIndex = nullptr;
    delete reduceUndo;
    reduceUndo = nullptr;
    trc("reduced (indices:%d vertices:%d)\n", startIndices - indexCount, startVertices - vertexCount);
    trc("trc_totalmin: %g\n", 10.0);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Transparent triangles

// The material's texture picture, or null when the mesh draws without one.
static FXCanvas* localTexture(FXMesh* m) {
    if (m->material == nullptr || !m->material->hasTexture || m->material->texture == nullptr ||
        m->material->texture->pixmap.pixels == nullptr) {
        return nullptr;
    }
    return m->material->texture;
}

bool FXMesh::TestTriangleTransp(int, int* tri, float alphaMin) {
    FXCanvas* texture = localTexture(this);
    if (texture == nullptr) {
        return true;
    }
    for (int k = 0; k < 3; k++) {
        if (tri[k] < 0 || tri[k] >= vertexCount) {
            continue;
        }
        float colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        texture->GetColor(vertices[tri[k]].texCoord[0], vertices[tri[k]].texCoord[1], colour);
        if (colour[3] > alphaMin) {
            return true;
        }
    }
    return false;
}

void FXMesh::DiscardTrianglesTransp(int ignored, float alphaMin) {
    if (indices == nullptr || indexCount <= 0 || localTexture(this) == nullptr) {
        return;
    }
    if (!IndicesValid()) {
        err("FXMesh::DiscardTrianglesTransp: an index lies outside the %d vertices\n", vertexCount);
        return;
    }
    int* kept = (int*)fxMalloc((size_t)indexCount * sizeof(int));
    if (kept == nullptr) {
        err("FXMesh::DiscardTrianglesTransp: out of memory for %d indices\n", indexCount);
        return;
    }
    int slots = indexCount / 3;
    int at = 0;
    for (int s = 0; s < slots; s++) {
        int* t = indices + s * 3;
        if (TestTriangleTransp(ignored, t, alphaMin)) {
            kept[at] = t[0];
            kept[at + 1] = t[1];
            kept[at + 2] = t[2];
            at += 3;
        }
    }
    if (at == slots * 3) {
        trc("DiscardTriangles (no effect) cnt:%d\n", indexCount);
        free(kept);
        return;
    }
    trc("DiscardTriangles from:%d  to:%d\n", indexCount, at);
    free(indices);
    indexCapacity = indexCount;
    indexCount = at;
    indices = kept;
    DiscardVertices();
}
