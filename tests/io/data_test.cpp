#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "io/data.h"
#include "io/package.h"
#include "base/stream.h"
#include "geometry/mesh.h"
#include "support/stored_bytes.h"

static void AddFloatBits(Bytes* b, float v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    AddInt32(b, (int32_t)u);
}

static tagFXVertex VertexAt(float x, float y, float z) {
    tagFXVertex v;
    memset(&v, 0, sizeof(v));
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    return v;
}

// ---------------------------------------------------------------------------------------------
// FXNumPool

TEST(NumPool, ValuesAreLittleEndianAndReadBackInOrder) {
    FXNumPool pool;
    EXPECT_EQ(pool.PushByte(0xAB), 1);
    EXPECT_EQ(pool.PushWord(0x1234), 3);
    EXPECT_EQ(pool.PushInt(-2), 7);
    const uint8_t expected[] = {0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(pool.used, 7);
    EXPECT_EQ(memcmp(pool.bytes, expected, sizeof(expected)), 0);

    pool.Reseek();
    unsigned char b = 0;
    unsigned short w = 0;
    int i = 0;
    EXPECT_TRUE(pool.GetNextByte(&b));
    EXPECT_TRUE(pool.GetNextWord(&w));
    EXPECT_TRUE(pool.GetNextInt(&i));
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(pool.readPos, 7);
    EXPECT_EQ(pool.cursor, pool.bytes + 7);
    EXPECT_FALSE(pool.GetNextByte(&b));
}

TEST(NumPool, ReadsThatDoNotFitReadNothing) {
    FXNumPool pool;
    pool.PushByte(1);
    pool.PushByte(2);
    pool.PushByte(3);
    pool.Reseek();
    int i = 77;
    EXPECT_FALSE(pool.GetNextInt(&i));
    EXPECT_EQ(i, 77);
    EXPECT_EQ(pool.readPos, 0);
    unsigned short w = 0;
    EXPECT_TRUE(pool.GetNextWord(&w));
    EXPECT_EQ(w, 0x0201);
    EXPECT_FALSE(pool.GetNextWord(&w));
    EXPECT_EQ(pool.readPos, 2);

    FXNumPool empty;
    unsigned char b = 5;
    EXPECT_FALSE(empty.GetNextByte(&b));
    EXPECT_EQ(b, 5);
}

TEST(NumPool, GrowsInWholeStepsAndZeroFills) {
    FXNumPool pool(800000);
    pool.PushByte(9);
    EXPECT_EQ(pool.capacity, 800000);
    EXPECT_EQ(pool.bytes[799999], 0);
    EXPECT_TRUE(pool.Realloc(1600001));
    EXPECT_EQ(pool.capacity, 2400000);
    EXPECT_EQ(pool.bytes[0], 9);
    EXPECT_EQ(pool.bytes[2399999], 0);
    EXPECT_TRUE(pool.Realloc(5)); // never shrinks
    EXPECT_EQ(pool.capacity, 2400000);

    FXNumPool single;
    EXPECT_EQ(single.growStep, 1);
    single.PushInt(1);
    EXPECT_EQ(single.capacity, 4);
    pool.DestroyBuf();
    EXPECT_EQ(pool.bytes, nullptr);
    EXPECT_EQ(pool.used, 0);
    EXPECT_EQ(pool.capacity, 0);
}

class NumPoolFile : public ScratchFolderTest {};

TEST_F(NumPoolFile, StoredFormRoundTripsAndLoadKeepsTheReadPosition) {
    FXNumPool pool;
    pool.PushByte(7);
    pool.PushWord(0x0102);
    std::string path = PathOf("pool.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(pool.Save(f));
    fclose(f);
    Bytes expected;
    AddInt32(&expected, 3);
    expected.push_back(7);
    expected.push_back(2);
    expected.push_back(1);
    EXPECT_EQ(ReadAll(path), expected);

    FXNumPool back;
    back.PushInt(0x11223344);
    back.Reseek();
    unsigned char b;
    back.GetNextByte(&b);
    f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(back.Load(f));
    fclose(f);
    EXPECT_EQ(back.used, 3);
    EXPECT_EQ(back.capacity, 4); // never shrinks
    EXPECT_EQ(back.readPos, 1);  // not rewound
    unsigned short w;
    EXPECT_TRUE(back.GetNextWord(&w));
    EXPECT_EQ(w, 0x0102);
}

TEST_F(NumPoolFile, DamagedLengthsAreRefused) {
    Bytes huge;
    AddInt32(&huge, 0x7fffffff);
    huge.push_back(1);
    FXNumPool pool;
    FILE* f = OpenWithBytes(huge);
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(pool.Load(f));
    fclose(f);
    EXPECT_EQ(pool.used, 0);
    EXPECT_LE(pool.capacity, 4096);

    Bytes negative;
    AddInt32(&negative, -5);
    f = OpenWithBytes(negative);
    EXPECT_TRUE(pool.Load(f));
    fclose(f);
    EXPECT_EQ(pool.used, 0);

    // A stream that cannot tell its length: the bytes that arrive are all there is.
    Bytes truncated;
    AddInt32(&truncated, 10);
    AddText(&truncated, "abc");
    PipeFeed feed(truncated);
    ASSERT_NE(feed.stream, nullptr);
    EXPECT_FALSE(pool.Load(feed.stream));
    fclose(feed.stream);
    EXPECT_EQ(pool.used, 0);

    Bytes whole;
    AddInt32(&whole, 3);
    AddText(&whole, "xyz");
    PipeFeed good(whole);
    ASSERT_NE(good.stream, nullptr);
    EXPECT_TRUE(pool.Load(good.stream));
    fclose(good.stream);
    ASSERT_EQ(pool.used, 3);
    EXPECT_EQ(memcmp(pool.bytes, "xyz", 3), 0);
}

TEST(NumPool, PackageFormReadsAndRefusesTruncatedEntries) {
    Bytes entry;
    AddInt32(&entry, 2);
    entry.push_back(0x10);
    entry.push_back(0x20);
    entry.push_back(0x99); // the next record
    FXPackageData data;
    data.InitData(entry.data(), (int)entry.size());
    FXNumPool pool;
    ASSERT_TRUE(pool.LoadC(nullptr, &data));
    ASSERT_EQ(pool.used, 2);
    EXPECT_EQ(pool.bytes[0], 0x10);
    EXPECT_EQ(pool.bytes[1], 0x20);
    EXPECT_EQ(data.remaining, 1);

    Bytes cut;
    AddInt32(&cut, 5);
    cut.push_back(1);
    data.InitData(cut.data(), (int)cut.size());
    EXPECT_FALSE(pool.LoadC(nullptr, &data));
    EXPECT_EQ(pool.used, 0);
    EXPECT_EQ(data.remaining, 1);
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap matching

TEST(VectorMap, EqualVectorsShareAndZerosOfEitherSignMatch) {
    FXVectorMap map;
    tagFXVertex a = VertexAt(1.0f, 2.0f, 3.0f);
    tagFXVertex b = VertexAt(1.0f, 2.0f, 4.0f);
    tagFXVertex zero = VertexAt(0.0f, 0.0f, 0.0f);
    tagFXVertex negZero = VertexAt(-0.0f, 0.0f, -0.0f);
    EXPECT_EQ(map.PushVecPos(&a, nullptr, 0, 0), 0);
    EXPECT_EQ(map.PushVecPos(&b, nullptr, 0, 0), 1);
    EXPECT_EQ(map.PushVecPos(&a, nullptr, 0, 0), 0);
    EXPECT_EQ(map.PushVecPos(&zero, nullptr, 0, 0), 2);
    EXPECT_EQ(map.PushVecPos(&negZero, nullptr, 0, 0), 2);
    EXPECT_EQ(map.posCount, 3);
    EXPECT_EQ(map.positions.size, 9);
    // The three tables are separate.
    EXPECT_EQ(map.PushVecNorm(&a, nullptr, 0, 0), 0);
    EXPECT_EQ(map.PushVecTex(&b, nullptr, 0, 0), 0);
    EXPECT_EQ(map.PushVecTex(&a, nullptr, 0, 0), 0); // u, v equal: z does not count
    EXPECT_EQ(map.texCount, 1);
    float out[3] = {};
    map.GetVecPos(1, out);
    EXPECT_EQ(out[2], 4.0f);
}

TEST(VectorMap, NaNNeverMatches) {
    FXVectorMap map;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    tagFXVertex v = VertexAt(nan, 0.0f, 0.0f);
    EXPECT_EQ(map.PushVecPos(&v, nullptr, 0, 0), 0);
    EXPECT_EQ(map.PushVecPos(&v, nullptr, 0, 0), 1);
    EXPECT_EQ(map.FindVecPos(0, 0, &v, nullptr), -1);
    EXPECT_EQ(map.posCount, 2);
}

class RefuseOwnVertex : public PMeshSaveClb {
public:
    std::vector<std::vector<int>> calls;
    bool CanShare(int ownerA, int ownerB, int candidateOwnerA, int candidateOwnerB) override {
        calls.push_back({ownerA, ownerB, candidateOwnerA, candidateOwnerB});
        return candidateOwnerA != ownerA;
    }
};

TEST(VectorMap, CallbackDecidesAmongMatchesInTableOrder) {
    FXVectorMap map;
    RefuseOwnVertex clb;
    tagFXVertex v = VertexAt(5.0f, 5.0f, 5.0f);
    EXPECT_EQ(map.PushVecPos(&v, &clb, 1, 10), 0);
    // Owner 1 may not share with owner 1: a second copy is stored.
    EXPECT_EQ(map.PushVecPos(&v, &clb, 1, 11), 1);
    ASSERT_EQ(clb.calls.size(), 1u);
    EXPECT_EQ(clb.calls[0], (std::vector<int>{1, 11, 1, 10}));
    EXPECT_EQ(map.PushVecPos(&v, &clb, 2, 12), 0);
    clb.calls.clear();
    // Owner 1 again: the first copy is refused, the one stored by owner 1 too, so a third one.
    EXPECT_EQ(map.PushVecPos(&v, &clb, 1, 13), 2);
    EXPECT_EQ(clb.calls.size(), 2u);
    // Without a callback the first match wins.
    EXPECT_EQ(map.FindVecPos(1, 0, &v, nullptr), 0);
    EXPECT_EQ(map.posOwnerB.GetInt(2), 13);
}

// The matching must give exactly what a scan from the first vector gives, also after vectors
// are overwritten, transformed or loaded.
// The first stored position equal to the vertex's, found by a scan from the start; -1 for none.
static int FirstEqualPosition(const FXVectorMap& map, const tagFXVertex& v) {
    for (int i = 0; i < map.posCount; i++) {
        const float* p = map.positions.elements + i * 3;
        if (p[0] == v.position[0] && p[1] == v.position[1] && p[2] == v.position[2]) {
            return i;
        }
    }
    return -1;
}

TEST(VectorMap, MatchingAgreesWithAScanFromTheStart) {
    FXVectorMap map;
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, std::numeric_limits<float>::quiet_NaN()};
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % 6;
    };
    auto scan = [&map](const tagFXVertex& v) { return FirstEqualPosition(map, v); };
    for (int round = 0; round < 3000; round++) {
        tagFXVertex v = VertexAt(values[next()], values[next()], values[next()]);
        int expected = scan(v);
        if (round % 7 == 3 && map.posCount > 0) {
            // Overwrite a stored vector: it may now equal an earlier or later one.
            int at = (int)(next() * 1000u + round) % map.posCount;
            map.SetVecPos(&v, at);
            continue;
        }
        ASSERT_EQ(map.FindVecPos(0, 0, &v, nullptr), expected) << "round " << round;
        int pushed = map.PushVecPos(&v, nullptr, 0, 0);
        ASSERT_EQ(pushed, expected >= 0 ? expected : map.posCount - 1) << "round " << round;
    }
    map.ManglePos(true);
    tagFXVertex probe = VertexAt(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < map.posCount; i++) {
        map.GetVecPos(i, probe.position);
        ASSERT_EQ(map.FindVecPos(0, 0, &probe, nullptr), scan(probe));
    }
}

// A table of thousands of vectors, vertices pushed again and again (also after their values
// changed, or after a stored vector was overwritten): each push answers the first equal vector.
TEST(VectorMap, RepeatedVerticesOfALargeTableMatchAScan) {
    FXVectorMap map;
    std::vector<tagFXVertex> vertices(6000);
    uint32_t seed = 31337;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    auto refill = [&next](tagFXVertex* v) {
        *v = VertexAt((float)next(90), (float)next(90), next(4) == 0 ? -0.0f : 0.0f);
    };
    for (tagFXVertex& v : vertices) {
        refill(&v);
    }
    auto scan = [&map](const tagFXVertex& v) { return FirstEqualPosition(map, v); };
    for (int round = 0; round < 30000; round++) {
        tagFXVertex* v = &vertices[next((uint32_t)vertices.size())];
        if (round % 101 == 7) {
            refill(v);
        }
        if (round % 997 == 500 && map.posCount > 0) {
            tagFXVertex other = VertexAt((float)next(90), (float)next(90), 0.0f);
            map.SetVecPos(&other, (int)next((uint32_t)map.posCount));
            continue;
        }
        int expected = scan(*v);
        int pushed = map.PushVecPos(v, nullptr, 0, 0);
        ASSERT_EQ(pushed, expected >= 0 ? expected : map.posCount - 1) << "round " << round;
    }
    EXPECT_GT(map.posCount, 4096);
}

// A writer that reserves room up front gets the same answers and the same stored stream as one
// that lets the tables grow, also when it pushes more than it reserved.
TEST(VectorMap, ReservedTablesAndPoolsGiveTheSameResults) {
    for (int reserve : {0, 1, 40, 5000}) {
        FXVectorMap grown;
        FXVectorMap reserved;
        FXNumPool plain(16);
        FXNumPool ready(16);
        // A writer that records no owners (as the model save) gets the same answers too.
        reserved.recordOwners = reserve != 1;
        reserved.Reserve(reserve);
        if (reserve > 0) {
            EXPECT_TRUE(ready.Reserve(reserve));
        }
        uint32_t seed = 777;
        for (int i = 0; i < 2000; i++) {
            seed = seed * 1103515245u + 12345u;
            tagFXVertex v = VertexAt((float)((seed >> 16) % 50), 0.5f, (float)((seed >> 8) % 3));
            v.normal[1] = (float)(seed % 7);
            v.texCoord[0] = (float)((seed >> 4) % 11);
            int want[3] = {grown.PushVecPos(&v, nullptr, 0, 0), grown.PushVecNorm(&v, nullptr, 0, 0),
                           grown.PushVecTex(&v, nullptr, 0, 0)};
            int got[3] = {reserved.PushVecPos(&v, nullptr, 0, 0), reserved.PushVecNorm(&v, nullptr, 0, 0),
                          reserved.PushVecTex(&v, nullptr, 0, 0)};
            ASSERT_EQ(0, memcmp(want, got, sizeof(want))) << "reserve " << reserve << " push " << i;
            ASSERT_EQ(plain.PushInt(want[0] * 3 + want[2]), ready.PushInt(got[0] * 3 + got[2]));
        }
        ASSERT_EQ(plain.used, ready.used);
        EXPECT_EQ(0, memcmp(plain.bytes, ready.bytes, (size_t)plain.used)) << "reserve " << reserve;
        EXPECT_EQ(grown.posCount, reserved.posCount);
        EXPECT_EQ(0, memcmp(grown.positions.elements, reserved.positions.elements,
                            (size_t)grown.posCount * 3 * sizeof(float)));
        EXPECT_EQ(reserved.posOwnerA.size, reserved.recordOwners ? reserved.posCount : 0);
        EXPECT_EQ(reserved.texOwnerB.size, reserved.recordOwners ? reserved.texCount : 0);
        // Only an empty pool takes a reservation: one holding a stream keeps it.
        EXPECT_FALSE(ready.Reserve(1 << 20));
        EXPECT_EQ(plain.used, ready.used);
        EXPECT_EQ(0, memcmp(plain.bytes, ready.bytes, (size_t)plain.used));
    }
}

// Pushing all vertices at once must give the tables (bit for bit: the first of equal vectors is
// kept, zeros of either sign match) and the indices of pushing them one by one. Sizes reach past
// one bucket; the value sets range from few distinct values (long runs of equal vectors) to many.
TEST(VectorMap, PushAllGivesWhatPushingOneByOneGives) {
    uint32_t seed = 2024;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int count : {1, 2, 7, 1023, 1025, 5000, 40000}) {
        for (uint32_t spread : {2u, 9u, 1000u}) {
            std::vector<tagFXVertex> vertices((size_t)count);
            std::vector<const tagFXVertex*> order;
            for (tagFXVertex& v : vertices) {
                v = VertexAt((float)next(spread), next(3) == 0 ? -0.0f : 0.0f, (float)next(spread) * 0.25f);
                v.normal[0] = next(4) == 0 ? -0.0f : 0.0f;
                v.normal[2] = (float)next(spread / 2 + 1);
                v.texCoord[0] = (float)next(spread);
                v.texCoord[1] = next(5) == 0 ? -0.0f : (float)next(3);
                order.push_back(&v);
            }
            FXVectorMap one, all;
            std::vector<int32_t> want, got((size_t)count * 3, -1);
            for (tagFXVertex& v : vertices) {
                want.push_back(one.PushVecPos(&v, nullptr, 0, 0));
                want.push_back(one.PushVecNorm(&v, nullptr, 0, 0));
                want.push_back(one.PushVecTex(&v, nullptr, 0, 0));
            }
            ASSERT_TRUE(all.PushAll(order.data(), count, got.data())) << count << " " << spread;
            ASSERT_EQ(want, got) << count << " " << spread;
            const FXFloatArray* tables[2][3] = {{&one.positions, &one.normals, &one.texCoords},
                                                {&all.positions, &all.normals, &all.texCoords}};
            for (int t = 0; t < 3; t++) {
                ASSERT_EQ(tables[0][t]->size, tables[1][t]->size) << count << " " << spread << " table " << t;
                EXPECT_EQ(0, memcmp(tables[0][t]->elements, tables[1][t]->elements,
                                    (size_t)tables[0][t]->size * sizeof(float)));
            }
            EXPECT_EQ(one.posCount, all.posCount);
            EXPECT_EQ(one.normCount, all.normCount);
            EXPECT_EQ(one.texCount, all.texCount);
            // Look-ups afterwards see the tables PushAll filled.
            tagFXVertex probe = vertices[(size_t)next((uint32_t)count)];
            EXPECT_EQ(all.PushVecPos(&probe, nullptr, 0, 0), one.PushVecPos(&probe, nullptr, 0, 0));
            // A map holding vectors already, and vectors holding NaN, are refused and left as they are.
            EXPECT_FALSE(all.PushAll(order.data(), count, got.data()));
            EXPECT_EQ(one.posCount, all.posCount);
        }
    }
    std::vector<tagFXVertex> vertices = {VertexAt(1.0f, 2.0f, 3.0f), VertexAt(1.0f, 2.0f, 3.0f)};
    vertices[1].texCoord[1] = std::numeric_limits<float>::quiet_NaN();
    const tagFXVertex* order[2] = {&vertices[0], &vertices[1]};
    int32_t keys[6];
    FXVectorMap map;
    EXPECT_FALSE(map.PushAll(order, 2, keys));
    EXPECT_EQ(map.posCount + map.normCount + map.texCount, 0);
    EXPECT_TRUE(map.PushAll(order, 1, keys));
    EXPECT_EQ(map.posCount, 1);
}

// ---------------------------------------------------------------------------------------------
// FXVectorMap stored form and user tables

class VectorMapFile : public ScratchFolderTest {};

TEST_F(VectorMapFile, StoredFormIsThreeFloatTables) {
    FXVectorMap map;
    tagFXVertex v = VertexAt(1.0f, -2.0f, 0.5f);
    v.normal[2] = 1.0f;
    map.PushVecPos(&v, nullptr, 0, 0);
    map.PushVecNorm(&v, nullptr, 0, 0);
    std::string path = PathOf("map.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(map.Save(f));
    fclose(f);
    Bytes expected;
    AddInt32(&expected, 3);
    AddFloatBits(&expected, 1.0f);
    AddFloatBits(&expected, -2.0f);
    AddFloatBits(&expected, 0.5f);
    AddInt32(&expected, 3);
    AddFloatBits(&expected, 0.0f);
    AddFloatBits(&expected, 0.0f);
    AddFloatBits(&expected, 1.0f);
    AddInt32(&expected, 0); // no texture coordinates: nothing follows
    EXPECT_EQ(ReadAll(path), expected);

    FXVectorMap back;
    f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(back.Load(f));
    fclose(f);
    EXPECT_EQ(back.posCount, 1);
    EXPECT_EQ(back.normCount, 1);
    EXPECT_EQ(back.texCount, 0);
    EXPECT_EQ(back.FindVecPos(0, 0, &v, nullptr), 0);
    // User tables are sized to the float counts and empty.
    EXPECT_EQ(back.posUser.size, 3);
    EXPECT_EQ(back.posUser.GetInt(2), -1);
    EXPECT_EQ(back.posUsers.size, 3);
    // Pushing after a load appends behind the loaded vectors.
    tagFXVertex w = VertexAt(9.0f, 9.0f, 9.0f);
    EXPECT_EQ(back.PushVecPos(&w, nullptr, 4, 5), 1);
    EXPECT_EQ(back.posOwnerA.GetInt(1), 4);
}

TEST_F(VectorMapFile, PartialVectorsAreReadAndDropped) {
    Bytes bytes;
    AddInt32(&bytes, 7);
    for (int i = 0; i < 7; i++) {
        AddFloatBits(&bytes, (float)i);
    }
    AddInt32(&bytes, 0);
    AddInt32(&bytes, 2);
    AddFloatBits(&bytes, 0.25f);
    AddFloatBits(&bytes, 0.75f);
    FILE* f = OpenWithBytes(bytes);
    ASSERT_NE(f, nullptr);
    FXVectorMap map;
    ASSERT_TRUE(map.Load(f));
    EXPECT_EQ(fxStreamBytesLeft(f), 0);
    fclose(f);
    EXPECT_EQ(map.posCount, 2);
    EXPECT_EQ(map.texCount, 1);
    float uv[2];
    map.GetVecTex(0, uv);
    EXPECT_EQ(uv[1], 0.75f);
    // A new position goes right behind the second one, not behind the stray float.
    tagFXVertex v = VertexAt(-1.0f, -1.0f, -1.0f);
    EXPECT_EQ(map.PushVecPos(&v, nullptr, 0, 0), 2);
    float p[3];
    map.GetVecPos(2, p);
    EXPECT_EQ(p[0], -1.0f);
}

TEST_F(VectorMapFile, DamagedCountsAreRefused) {
    Bytes bytes;
    AddInt32(&bytes, 3);
    AddFloatBits(&bytes, 1.0f);
    AddFloatBits(&bytes, 2.0f);
    AddFloatBits(&bytes, 3.0f);
    AddInt32(&bytes, 0x40000000); // normals far beyond the file
    AddFloatBits(&bytes, 1.0f);
    FILE* f = OpenWithBytes(bytes);
    ASSERT_NE(f, nullptr);
    FXVectorMap map;
    EXPECT_FALSE(map.Load(f));
    fclose(f);
    EXPECT_EQ(map.posCount, 0);
    EXPECT_EQ(map.normCount, 0);

    FXPackageData data;
    data.InitData(bytes.data(), (int)bytes.size());
    EXPECT_FALSE(map.LoadC(nullptr, &data));
    EXPECT_EQ(map.posCount, 0);

    Bytes cut(bytes.begin(), bytes.begin() + 10);
    PipeFeed feed(cut);
    ASSERT_NE(feed.stream, nullptr);
    EXPECT_FALSE(map.Load(feed.stream));
    fclose(feed.stream);
    EXPECT_EQ(map.posCount, 0);
}

TEST(VectorMap, PackageFormMatchesTheFileForm) {
    Bytes bytes;
    AddInt32(&bytes, 3);
    AddFloatBits(&bytes, 1.0f);
    AddFloatBits(&bytes, 2.0f);
    AddFloatBits(&bytes, 3.0f);
    AddInt32(&bytes, 0);
    AddInt32(&bytes, 4);
    for (int i = 0; i < 4; i++) {
        AddFloatBits(&bytes, 0.5f * (float)i);
    }
    bytes.push_back(0x42);
    FXPackageData data;
    data.InitData(bytes.data(), (int)bytes.size());
    FXVectorMap map;
    ASSERT_TRUE(map.LoadC(nullptr, &data));
    EXPECT_EQ(data.remaining, 1);
    EXPECT_EQ(map.posCount, 1);
    EXPECT_EQ(map.normCount, 0);
    EXPECT_EQ(map.texCount, 2);
    EXPECT_EQ(map.texUser.size, 4);
    float uv[2];
    map.GetVecTex(1, uv);
    EXPECT_EQ(uv[0], 1.0f);
    EXPECT_EQ(uv[1], 1.5f);
}

// A map with 10 vectors in each table, read back as after loading.
static void FillTen(FXVectorMap* map) {
    for (int i = 0; i < 10; i++) {
        tagFXVertex v = VertexAt((float)i, 0.0f, 0.0f);
        v.normal[0] = (float)i;
        v.texCoord[0] = (float)i;
        map->PushVecPos(&v, nullptr, 0, 0);
        map->PushVecNorm(&v, nullptr, 0, 0);
        map->PushVecTex(&v, nullptr, 0, 0);
    }
    map->ClearUsed();
}

TEST(VectorMapUsers, TriplesFindTheirVertex) {
    FXVectorMap map;
    FillTen(&map);
    map.PushUsed(5, 2, 9, 0);
    map.PushUsed(5, 3, 9, 1);
    EXPECT_EQ(map.GetUsed(5, 2, 9), 0);
    EXPECT_EQ(map.GetUsed(5, 3, 9), 1);
    EXPECT_EQ(map.GetUsed(5, 2, 8), -1);
    EXPECT_EQ(map.GetUsed(4, 2, 9), -1);
    EXPECT_EQ(map.GetUsed1(1, 3, 9), 1);
    EXPECT_EQ(map.GetUsed1(1, 2, 9), -1);
    ASSERT_NE(map.posUsers.elements[5], nullptr);
    EXPECT_EQ(((FXArray*)map.posUsers.elements[5])->size, 2);
    EXPECT_EQ(map.texUser.GetInt(9), 0);
    // Indices outside the tables answer -1 and record nothing.
    EXPECT_EQ(map.GetUsed(-1, 0, 0), -1);
    EXPECT_EQ(map.GetUsed(5, 10, 9), -1);
    map.PushUsed(10, 0, 0, 2);

    map.ClearUsed();
    EXPECT_EQ(map.GetUsed(5, 2, 9), -1);
    EXPECT_EQ(map.posUsers.elements[5], nullptr);
    EXPECT_EQ(map.posUser.GetInt(5), -1);
}

// Vertices recorded out of order or twice take the path through the user lists; the answers
// must be the same as for vertices recorded in order.
TEST(VectorMapUsers, AnyRecordingOrderGivesTheSameAnswers) {
    FXVectorMap map;
    FillTen(&map);
    map.PushUsed(5, 3, 9, 1);
    map.PushUsed(5, 2, 9, 0);
    map.PushUsed(7, 2, 9, 0); // vertex 0 recorded again with another position
    EXPECT_EQ(map.GetUsed(5, 2, 9), 0);
    EXPECT_EQ(map.GetUsed(5, 3, 9), 1);
    EXPECT_EQ(map.GetUsed(7, 2, 9), 0);
    EXPECT_EQ(map.GetUsed(7, 3, 9), -1);
    EXPECT_EQ(map.GetUsed(5, 2, 8), -1);
    map.ClearUsed();
    map.PushUsed(1, 1, 1, 0);
    map.PushUsed(1, 1, 2, 1);
    EXPECT_EQ(map.GetUsed(1, 1, 2), 1);
    EXPECT_EQ(map.GetUsed(1, 2, 1), -1);
}

TEST(VectorMap, DeltaTransformsEncodeAndUndo) {
    FXVectorMap map;
    tagFXVertex a = VertexAt(0.0f, 0.0f, 0.0f);
    a.texCoord[0] = 1.0f;
    a.texCoord[1] = 2.0f;
    tagFXVertex b = a;
    b.texCoord[0] = 4.0f;
    b.texCoord[1] = 8.0f;
    map.PushVecTex(&a, nullptr, 0, 0);
    map.PushVecTex(&b, nullptr, 0, 0);
    map.MangleTex(true);
    // Vectors: (1,2)-(4,8) = (-3,-6), (4,8); then floats: -3-(-6), -6-4, 4-8, 8.
    const float encoded[] = {3.0f, -10.0f, -4.0f, 8.0f};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(map.texCoords.elements[i], encoded[i]) << i;
    }
    tagFXVertex probe = a;
    probe.texCoord[0] = 3.0f;
    probe.texCoord[1] = -10.0f;
    EXPECT_EQ(map.FindVecTex(0, 0, &probe, nullptr), 0);
    map.MangleTex(false);
    EXPECT_EQ(map.FindVecTex(0, 0, &a, nullptr), 0);
    EXPECT_EQ(map.FindVecTex(0, 0, &b, nullptr), 1);
    EXPECT_EQ(map.FindVecTex(0, 0, &probe, nullptr), -1);
}
