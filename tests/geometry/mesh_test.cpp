#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "io/data.h"
#include "io/package.h"
#include "base/stream.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/matlib.h"
#include "support/stored_bytes.h"
#include "support/test_env.h"

static void AddFloatBits(Bytes* b, float v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    AddInt32(b, (int32_t)u);
}

static void AddName(Bytes* b, const char* s) {
    AddInt32(b, (int32_t)strlen(s));
    AddText(b, s);
}

// A vertex whose position, normal and texture coordinate differ from those of every other i.
static tagFXVertex Fresh(int i) {
    tagFXVertex v;
    memset(&v, 0, sizeof(v));
    v.position[0] = (float)i;
    v.position[1] = 10.0f + (float)i;
    v.normal[0] = (float)i;
    v.normal[1] = 1.0f;
    v.texCoord[0] = (float)i;
    v.texCoord[1] = 0.5f;
    return v;
}

static void SetPositions(FXMesh* m, const std::vector<std::vector<float>>& points, const std::vector<int>& idx) {
    ASSERT_TRUE(m->Realloc((int)points.size(), (int)idx.size()));
    memset(m->vertices, 0, points.size() * sizeof(tagFXVertex));
    for (size_t i = 0; i < points.size(); i++) {
        for (int a = 0; a < 3; a++) {
            m->vertices[i].position[a] = points[i][a];
        }
    }
    for (size_t i = 0; i < idx.size(); i++) {
        m->indices[i] = idx[i];
    }
}

static void SetFresh(FXMesh* m, int count, const std::vector<int>& idx) {
    ASSERT_TRUE(m->Realloc(count, (int)idx.size()));
    for (int i = 0; i < count; i++) {
        m->vertices[i] = Fresh(i);
    }
    for (size_t i = 0; i < idx.size(); i++) {
        m->indices[i] = idx[i];
    }
}

static Bytes PoolBytes(const FXNumPool& pool) {
    return Bytes(pool.bytes, pool.bytes + pool.used);
}

static void ExpectVec3(const float* v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v[0], x);
    EXPECT_FLOAT_EQ(v[1], y);
    EXPECT_FLOAT_EQ(v[2], z);
}

// ---------------------------------------------------------------------------------------------
// Life

class CountingEnv : public TestEnv {
public:
    int unprepared = 0;
    void UnprepareMesh(FXMesh*) override { unprepared++; }
};

TEST(MeshLife, DestroyTellsTheEnvironmentOnlyAboutBuiltMeshes) {
    CountingEnv env;
    fxSetEnv(&env);
    {
        FXMesh empty;
        empty.Destroy();
        EXPECT_EQ(env.unprepared, 0);
        FXMesh built;
        built.Realloc(3, 3);
        built.Destroy();
        built.Destroy();
        EXPECT_EQ(env.unprepared, 1);
        EXPECT_EQ(built.vertices, nullptr);
        EXPECT_EQ(built.vertexCapacity, 0);
        EXPECT_EQ(built.indexCount, 0);
        built.Realloc(1, 0);
    } // the destructor releases the second build
    EXPECT_EQ(env.unprepared, 2);
    fxSetEnv(nullptr);
}

TEST(MeshLife, ReallocKeepsLargeEnoughBlocks) {
    FXMesh m;
    ASSERT_TRUE(m.Realloc(4, 6));
    m.vertices[1].position[0] = 42.0f;
    m.indices[5] = 3;
    tagFXVertex* before = m.vertices;
    ASSERT_TRUE(m.Realloc(2, 6));
    EXPECT_EQ(m.vertices, before);
    EXPECT_EQ(m.vertexCount, 2);
    EXPECT_EQ(m.vertexCapacity, 4);
    EXPECT_EQ(m.vertices[1].position[0], 42.0f);
    EXPECT_EQ(m.indices[5], 3);
    ASSERT_TRUE(m.Realloc(5, -3));
    EXPECT_EQ(m.vertexCapacity, 5);
    EXPECT_EQ(m.vertexCount, 5);
    EXPECT_EQ(m.indexCount, 0);
}

TEST(MeshLife, IndicesAreValidOnlyWhenEveryOneNamesAHeldVertex) {
    // Long blocks, so that a bad index sits in every position a vectorised check handles.
    struct {
        int at;
        int value;
        bool valid;
    } cases[] = {{-1, 0, true},          {0, 5, false}, {37, -1, false}, {63, 1 << 30, false},
                 {64, INT32_MIN, false}, {99, 4, true}, {99, 5, false}};
    for (const auto& c : cases) {
        FXMesh m;
        std::vector<int> idx(100);
        for (size_t i = 0; i < idx.size(); i++) {
            idx[i] = (int)(i % 5);
        }
        if (c.at >= 0) {
            idx[(size_t)c.at] = c.value;
        }
        SetFresh(&m, 5, idx);
        EXPECT_EQ(c.valid, m.IndicesValid()) << "index " << c.at << " = " << c.value;
    }
    // More indices counted than the block holds; more vertices counted than it holds.
    FXMesh m;
    SetFresh(&m, 5, {0, 1, 2});
    m.indexCount = 6;
    EXPECT_FALSE(m.IndicesValid());
    FXMesh n;
    SetFresh(&n, 3, {0, 1, 2});
    n.vertexCount = 9;
    EXPECT_TRUE(n.IndicesValid());
    n.indices[2] = 4;
    EXPECT_FALSE(n.IndicesValid());
}

TEST(MeshLife, CopyTakesGeometryAndMaterialButNotDrawingFlags) {
    FXMaterial mat;
    FXMesh src;
    SetFresh(&src, 3, {0, 1, 2});
    src.renderClass = 2;
    src.colourMode = 1;
    src.material = &mat;
    src.materialName.Set("glass");
    src.loadedU = 0.5f;
    src.loadedV = 0.25f;
    src.disabled = true;
    src.flipV = true;
    src.secondMesh = &src;
    FXMesh dst;
    ASSERT_TRUE(dst.Copy(&src));
    EXPECT_EQ(dst.renderClass, 2);
    EXPECT_EQ(dst.colourMode, 1);
    EXPECT_EQ(dst.material, &mat);
    EXPECT_STREQ(dst.materialName.chars, "glass");
    EXPECT_EQ(dst.loadedU, 0.5f);
    EXPECT_EQ(dst.loadedV, 0.25f);
    EXPECT_FALSE(dst.disabled);
    EXPECT_FALSE(dst.flipV);
    EXPECT_EQ(dst.secondMesh, nullptr);
    ASSERT_EQ(dst.vertexCount, 3);
    ASSERT_EQ(dst.indexCount, 3);
    EXPECT_EQ(memcmp(dst.vertices, src.vertices, 3 * sizeof(tagFXVertex)), 0);
    EXPECT_EQ(dst.indices[2], 2);

    FXMesh header;
    ASSERT_TRUE(header.CopyMeshI(&src));
    EXPECT_STREQ(header.materialName.chars, "glass");
    EXPECT_EQ(header.vertexCount, 3);
    EXPECT_EQ(header.indexCount, 3);
    EXPECT_NE(header.vertices, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Full record

class MeshFile : public ScratchFolderTest {
protected:
    FXMaterial stone;
    FXMatlib lib;

    void SetUp() override {
        ScratchFolderTest::SetUp();
        stone.name.Set("stone");
        stone.texScaleU = 0.75f;
        stone.texScaleV = 0.5f;
        lib.AddMaterial(&stone);
    }

    std::string SaveToFile(FXMesh* m, bool indexed) {
        std::string path = PathOf(indexed ? "header.bin" : "mesh.bin");
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        EXPECT_TRUE(indexed ? m->SaveMeshI(f) : m->SaveMesh(f));
        fclose(f);
        return path;
    }
};

// Every field of vertex i has its own value, so a swapped or shifted field shows.
static void FillRecord(tagFXVertex* v, int i) {
    float* floats[] = {v->position, v->normal, v->texCoord, v->colour, v->normalSum};
    const int widths[] = {3, 3, 2, 4, 3};
    int k = 0;
    for (int f = 0; f < 5; f++) {
        for (int c = 0; c < widths[f]; c++) {
            floats[f][c] = (float)(i * 100 + k) + 0.5f;
            k++;
        }
    }
    v->tag = -1 - i;
    v->reserved[0] = i;
    v->reserved[1] = 0x01020304;
    v->reserved[2] = -7;
}

static void AddRecord(Bytes* b, int i) {
    for (int k = 0; k < 15; k++) {
        AddFloatBits(b, (float)(i * 100 + k) + 0.5f);
    }
    AddInt32(b, -1 - i);
    AddInt32(b, i);
    AddInt32(b, 0x01020304);
    AddInt32(b, -7);
}

static Bytes TriangleRecord() {
    Bytes b;
    AddName(&b, "stone");
    AddFloatBits(&b, 0.75f);
    AddFloatBits(&b, 0.5f);
    AddInt32(&b, 1);
    AddInt32(&b, 1);
    AddInt32(&b, 3);
    for (int i = 0; i < 3; i++) {
        AddRecord(&b, i);
    }
    AddInt32(&b, 3);
    AddInt32(&b, 2);
    AddInt32(&b, 0);
    AddInt32(&b, 1);
    return b;
}

TEST_F(MeshFile, EmptyMeshWritesHeaderAndTwoZeroCounts) {
    FXMesh m;
    m.materialName.Set("rock");
    m.renderClass = 2;
    m.colourMode = 1;
    std::string path = SaveToFile(&m, false);
    Bytes expected;
    AddName(&expected, "rock");
    AddFloatBits(&expected, 0.0f);
    AddFloatBits(&expected, 0.0f);
    AddInt32(&expected, 2);
    AddInt32(&expected, 1);
    AddInt32(&expected, 0);
    AddInt32(&expected, 0);
    EXPECT_EQ(ReadAll(path), expected);
}

TEST_F(MeshFile, FullRecordIsFieldByFieldAndRoundTrips) {
    FXMesh m;
    ASSERT_TRUE(m.Realloc(3, 3));
    for (int i = 0; i < 3; i++) {
        FillRecord(&m.vertices[i], i);
    }
    m.indices[0] = 2;
    m.indices[1] = 0;
    m.indices[2] = 1;
    m.material = &stone;
    m.materialName.Set("stone");
    m.renderClass = 1;
    m.colourMode = 1;
    std::string path = SaveToFile(&m, false);
    EXPECT_EQ(ReadAll(path), TriangleRecord());

    FXMesh back;
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(back.LoadMesh(f, &lib));
    fclose(f);
    EXPECT_EQ(back.material, &stone);
    EXPECT_EQ(back.loadedU, 0.75f);
    EXPECT_EQ(back.loadedV, 0.5f);
    EXPECT_EQ(back.renderClass, 1);
    EXPECT_EQ(back.colourMode, 1);
    ASSERT_EQ(back.vertexCount, 3);
    ASSERT_EQ(back.indexCount, 3);
    EXPECT_EQ(memcmp(back.vertices, m.vertices, 3 * sizeof(tagFXVertex)), 0);
    EXPECT_EQ(memcmp(back.indices, m.indices, 3 * sizeof(int)), 0);

    // Saving what was loaded gives the same bytes.
    std::string again = SaveToFile(&back, false);
    EXPECT_EQ(ReadAll(again), TriangleRecord());
}

TEST_F(MeshFile, PackageRecordReadsTheSameBytesAndStopsBehindThem) {
    Bytes entry = TriangleRecord();
    entry.push_back(0x5A);
    FXPackageData data;
    data.InitData(entry.data(), (int)entry.size());
    FXMesh m;
    ASSERT_TRUE(m.LoadMeshC(nullptr, &data, &lib));
    EXPECT_EQ(data.remaining, 1);
    EXPECT_EQ(m.material, &stone);
    ASSERT_EQ(m.vertexCount, 3);
    EXPECT_EQ(m.vertices[2].reserved[0], 2);
    EXPECT_EQ(m.vertices[1].tag, -2);
    EXPECT_EQ(m.vertices[1].colour[3], 100.0f + 11.0f + 0.5f);
    EXPECT_EQ(m.indices[0], 2);

    // Unknown material names leave the material null.
    FXMatlib other;
    data.Reseek();
    ASSERT_TRUE(m.LoadMeshC(nullptr, &data, &other));
    EXPECT_EQ(m.material, nullptr);
    EXPECT_STREQ(m.materialName.chars, "stone");
}

TEST_F(MeshFile, DamagedRecordsAreRefusedAndLeaveAnEmptyMesh) {
    const int header = 4 + 5 + 8 + 4 + 4 + 4;
    Bytes whole = TriangleRecord();
    std::vector<Bytes> damaged;
    damaged.push_back(Bytes(whole.begin(), whole.begin() + header + 2 * 76 + 10)); // inside the vertices
    damaged.push_back(Bytes(whole.begin(), whole.end() - 2));                      // inside the indices
    Bytes hugeVertices(whole.begin(), whole.begin() + header - 4);
    AddInt32(&hugeVertices, 0x7fffffff);
    damaged.push_back(hugeVertices);
    Bytes hugeIndices(whole.begin(), whole.end() - 16);
    AddInt32(&hugeIndices, 0x40000000);
    damaged.push_back(hugeIndices);
    for (int bad : {3, -1}) {
        Bytes outside(whole.begin(), whole.end() - 4);
        AddInt32(&outside, bad);
        damaged.push_back(outside);
    }
    for (size_t i = 0; i < damaged.size(); i++) {
        FXMesh m;
        FILE* f = OpenWithBytes(damaged[i]);
        ASSERT_NE(f, nullptr);
        EXPECT_FALSE(m.LoadMesh(f, &lib)) << "case " << i;
        fclose(f);
        EXPECT_EQ(m.vertexCount, 0) << "case " << i;
        EXPECT_EQ(m.vertices, nullptr) << "case " << i;
        EXPECT_EQ(m.indexCount, 0) << "case " << i;

        FXPackageData data;
        data.InitData(damaged[i].data(), (int)damaged[i].size());
        EXPECT_FALSE(m.LoadMeshC(nullptr, &data, &lib)) << "case " << i;
        EXPECT_EQ(m.indices, nullptr) << "case " << i;
    }

    // Negative counts mean no data.
    Bytes negative;
    AddName(&negative, "");
    AddFloatBits(&negative, 0.0f);
    AddFloatBits(&negative, 0.0f);
    AddInt32(&negative, 0);
    AddInt32(&negative, 0);
    AddInt32(&negative, -4);
    AddInt32(&negative, -4);
    FXMesh m;
    FILE* f = OpenWithBytes(negative);
    EXPECT_TRUE(m.LoadMesh(f, &lib));
    fclose(f);
    EXPECT_EQ(m.vertexCount, 0);
}

TEST_F(MeshFile, StreamsThatCannotTellTheirLengthAreReadAsFarAsTheyGo) {
    // More vertices than the first block taken for a stream of unknown length.
    FXMesh big;
    const int n = 5000;
    std::vector<int> idx;
    for (int i = 0; i + 2 < n; i += 3) {
        idx.push_back(i);
        idx.push_back(i + 1);
        idx.push_back(i + 2);
    }
    SetFresh(&big, n, idx);
    std::string path = SaveToFile(&big, false);
    Bytes bytes = ReadAll(path);
    {
        PipeFeed feed(bytes);
        ASSERT_NE(feed.stream, nullptr);
        FXMesh m;
        EXPECT_TRUE(m.LoadMesh(feed.stream, &lib));
        fclose(feed.stream);
        ASSERT_EQ(m.vertexCount, n);
        EXPECT_EQ(memcmp(m.vertices, big.vertices, n * sizeof(tagFXVertex)), 0);
        EXPECT_EQ(m.indexCount, (int)idx.size());
    }
    {
        Bytes cut(bytes.begin(), bytes.begin() + bytes.size() / 2);
        PipeFeed feed(cut);
        ASSERT_NE(feed.stream, nullptr);
        FXMesh m;
        EXPECT_FALSE(m.LoadMesh(feed.stream, &lib));
        fclose(feed.stream);
        EXPECT_EQ(m.vertexCount, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Indexed header

TEST_F(MeshFile, IndexedHeaderFallsBackToTheLoadedScales) {
    FXMesh m;
    SetFresh(&m, 3, {0, 1, 2});
    m.materialName.Set("stone");
    m.renderClass = 1;
    m.loadedU = 0.25f;
    m.loadedV = 0.125f;
    stone.texScaleU = 0.0f; // a material without texture
    m.material = &stone;
    std::string path = SaveToFile(&m, true);
    Bytes expected;
    AddName(&expected, "stone");
    AddFloatBits(&expected, 0.25f);
    AddFloatBits(&expected, 0.5f);
    AddInt32(&expected, 1);
    AddInt32(&expected, 0);
    AddInt32(&expected, 3);
    AddInt32(&expected, 3);
    EXPECT_EQ(ReadAll(path), expected);

    m.material = nullptr;
    path = SaveToFile(&m, true);
    Bytes bare = ReadAll(path);
    ASSERT_EQ(bare.size(), expected.size());
    float v;
    memcpy(&v, &bare[13], 4);
    EXPECT_EQ(v, 0.125f);
}

static Bytes HeaderBytes(int nv, int ni, int following) {
    Bytes b;
    AddName(&b, "stone");
    AddFloatBits(&b, 0.5f);
    AddFloatBits(&b, 0.25f);
    AddInt32(&b, 0);
    AddInt32(&b, 1);
    AddInt32(&b, nv);
    AddInt32(&b, ni);
    b.resize(b.size() + following, 0);
    return b;
}

TEST_F(MeshFile, IndexedHeaderSizesTheBlocksForDecoding) {
    FXMesh m;
    FILE* f = OpenWithBytes(HeaderBytes(3, 6, 10));
    ASSERT_TRUE(m.LoadMeshI(f, &lib));
    fclose(f);
    EXPECT_EQ(m.material, &stone);
    EXPECT_EQ(m.loadedU, 0.5f);
    EXPECT_EQ(m.colourMode, 1);
    EXPECT_EQ(m.vertexCount, 3);
    EXPECT_EQ(m.indexCount, 6);
    EXPECT_GE(m.vertexCapacity, 3);
    EXPECT_GE(m.indexCapacity, 6);

    // Decoding never makes more vertices than corners.
    Bytes more = HeaderBytes(100, 6, 10);
    FXPackageData data;
    data.InitData(more.data(), (int)more.size());
    ASSERT_TRUE(m.LoadMeshIC(nullptr, &data, &lib));
    EXPECT_EQ(m.vertexCount, 6);
    EXPECT_EQ(data.remaining, 10);

    // Corners without vertices, and more corners than the bytes that could code them.
    for (const Bytes& bad : {HeaderBytes(0, 6, 10), HeaderBytes(3, 1000, 10), HeaderBytes(3, 0x7fffffff, 0)}) {
        f = OpenWithBytes(bad);
        EXPECT_FALSE(m.LoadMeshI(f, &lib));
        fclose(f);
        EXPECT_EQ(m.indexCount, 0);
        EXPECT_EQ(m.vertices, nullptr);
    }
}

// ---------------------------------------------------------------------------------------------
// Index stream coding

TEST(MeshCoding, FreshVectorsInOrderCostOneZeroBytePerCorner) {
    FXMesh m;
    SetFresh(&m, 3, {0, 1, 2});
    FXVectorMap map;
    FXNumPool pool;
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 0, nullptr));
    EXPECT_EQ(PoolBytes(pool), (Bytes{0, 0, 0}));
    EXPECT_EQ(map.posCount, 3);
    EXPECT_EQ(map.normCount, 3);
    EXPECT_EQ(map.texCount, 3);
}

TEST(MeshCoding, RepeatedVectorsUseBytePayloadsInFieldOrder) {
    FXMesh m;
    SetFresh(&m, 4, {0, 1, 2, 2, 1, 3});
    FXVectorMap map;
    FXNumPool pool;
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 0, nullptr));
    // Corner 3 goes back to vectors 2 (code 1 in all three fields: 1 + 4 + 16 = 0x15), corner 4
    // to 1, corner 5 on to 3, which does not follow 1.
    EXPECT_EQ(PoolBytes(pool), (Bytes{0, 0, 0, 0x15, 2, 2, 2, 0x15, 1, 1, 1, 0x15, 3, 3, 3}));

    // One normal for every corner: only the normal field (bits 2-3) carries a payload.
    FXMesh flat;
    SetFresh(&flat, 3, {0, 1, 2});
    for (int i = 0; i < 3; i++) {
        flat.vertices[i].normal[0] = 0.0f;
    }
    FXVectorMap map2;
    FXNumPool pool2;
    ASSERT_TRUE(flat.ToVMap(&map2, &pool2, nullptr, 0, nullptr));
    EXPECT_EQ(PoolBytes(pool2), (Bytes{0, 4, 0, 4, 0}));
    EXPECT_EQ(map2.normCount, 1);
}

// Generated meshes whose vertices share values (+0 and -0 among them, NaN now and then) code
// exactly as the same corners each with a vertex of its own (which push every corner anew).
TEST(MeshCoding, CornersOfOneVertexCodeAsIfEachHadItsOwn) {
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (int)((seed >> 16) % n);
    };
    const float values[] = {0.0f, -0.0f, 1.0f, 0.5f, NAN};
    // One map and pool a side for every round: later rounds code against vectors already there.
    FXVectorMap mapShared, mapFlat;
    FXNumPool poolShared, poolFlat;
    for (int round = 0; round < 120; round++) {
        const int count = 1 + next(40);
        const uint32_t kinds = round % 5 == 0 ? 5 : 4;
        std::vector<int> idx((size_t)(3 * (1 + next(60))));
        for (int& i : idx) {
            i = next((uint32_t)count);
        }
        FXMesh shared;
        SetFresh(&shared, count, idx);
        for (int i = 0; i < count; i++) {
            float* fields[3] = {shared.vertices[i].position, shared.vertices[i].normal, shared.vertices[i].texCoord};
            for (int j = 0; j < 3; j++) {
                for (int d = 0; d < (j == 2 ? 2 : 3); d++) {
                    fields[j][d] = values[next(kinds)];
                }
            }
        }
        std::vector<int> own(idx.size());
        for (size_t c = 0; c < idx.size(); c++) {
            own[c] = (int)c;
        }
        FXMesh flat;
        SetFresh(&flat, (int)idx.size(), own);
        for (size_t c = 0; c < idx.size(); c++) {
            flat.vertices[c] = shared.vertices[idx[c]];
        }
        ASSERT_TRUE(shared.ToVMap(&mapShared, &poolShared, nullptr, 0, nullptr));
        ASSERT_TRUE(flat.ToVMap(&mapFlat, &poolFlat, nullptr, 0, nullptr));
        ASSERT_EQ(PoolBytes(poolShared), PoolBytes(poolFlat)) << "round " << round;
        ASSERT_EQ(mapShared.posCount, mapFlat.posCount) << "round " << round;
        ASSERT_EQ(mapShared.normCount, mapFlat.normCount) << "round " << round;
        ASSERT_EQ(mapShared.texCount, mapFlat.texCount) << "round " << round;
    }
}

TEST(MeshCoding, FarVectorsUseWordAndIntPayloads) {
    FXVectorMap map;
    for (int i = 0; i < 300; i++) {
        tagFXVertex v = Fresh(1000 + i);
        map.PushVecPos(&v, nullptr, 0, 0);
        map.PushVecNorm(&v, nullptr, 0, 0);
        map.PushVecTex(&v, nullptr, 0, 0);
    }
    FXMesh m;
    SetFresh(&m, 3, {0, 1, 2});
    FXNumPool pool;
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 0, nullptr));
    // 300 = 0x012C in all three fields: code 2 each, 2 + 8 + 32 = 0x2A.
    EXPECT_EQ(PoolBytes(pool), (Bytes{0x2A, 0x2C, 0x01, 0x2C, 0x01, 0x2C, 0x01, 0, 0}));

    FXVectorMap wide;
    for (int i = 0; i < 70000; i++) {
        tagFXVertex v = Fresh(1000 + i);
        wide.PushVecPos(&v, nullptr, 0, 0);
    }
    FXNumPool pool2;
    ASSERT_TRUE(m.ToVMap(&wide, &pool2, nullptr, 0, nullptr));
    // 70000 = 0x11170 needs an int; normals and texture coordinates start their tables.
    EXPECT_EQ(PoolBytes(pool2), (Bytes{0x03, 0x70, 0x11, 0x01, 0x00, 0, 0}));
}

TEST(MeshCoding, PayloadWidthsChangeAt256And65536) {
    FXVectorMap map;
    for (int i = 0; i < 70000; i++) {
        tagFXVertex v = Fresh(1000 + i);
        map.PushVecPos(&v, nullptr, 0, 0);
    }
    FXMesh m;
    ASSERT_TRUE(m.Realloc(4, 4));
    const int targets[] = {256, 255, 65536, 65535};
    for (int i = 0; i < 4; i++) {
        m.vertices[i] = Fresh(1000 + targets[i]);
        m.indices[i] = i;
    }
    FXNumPool pool;
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 0, nullptr));
    EXPECT_EQ(PoolBytes(pool), (Bytes{0x02, 0x00, 0x01, 0x01, 0xFF, 0x03, 0x00, 0x00, 0x01, 0x00, 0x02, 0xFF, 0xFF}));

    FXMesh back;
    ASSERT_TRUE(back.Realloc(4, 4));
    ASSERT_TRUE(back.FromVMap(&map, &pool));
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(back.vertices[back.indices[i]].position[0], (float)(1000 + targets[i]));
    }
}

TEST(MeshCoding, UnusedVerticesAreDroppedBeforeCoding) {
    FXMesh m;
    SetFresh(&m, 4, {0, 2, 3});
    FXVectorMap map;
    FXNumPool pool;
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 7, nullptr));
    EXPECT_EQ(m.vertexCount, 3);
    EXPECT_EQ(m.indices[1], 1);
    EXPECT_EQ(m.vertices[1].position[0], 2.0f);
    EXPECT_EQ(PoolBytes(pool), (Bytes{0, 0, 0}));
    // Owner tags: the given owner and the corner's new vertex number.
    EXPECT_EQ(map.posOwnerA.GetInt(2), 7);
    EXPECT_EQ(map.posOwnerB.GetInt(1), 1);

    FXMesh broken;
    SetFresh(&broken, 3, {0, 1, 3});
    FXNumPool pool2;
    EXPECT_FALSE(broken.ToVMap(&map, &pool2, nullptr, 0, nullptr));
    EXPECT_EQ(pool2.used, 0);
}

// A map of two positions, one normal and two texture coordinates.
static void SmallMap(FXVectorMap* map) {
    tagFXVertex a = Fresh(0);
    tagFXVertex b = Fresh(1);
    a.position[0] = 0.0f;
    b.position[0] = 1.0f;
    a.texCoord[0] = 0.0f;
    a.texCoord[1] = 0.0f;
    b.texCoord[0] = 1.0f;
    b.texCoord[1] = 1.0f;
    map->PushVecPos(&a, nullptr, 0, 0);
    map->PushVecPos(&b, nullptr, 0, 0);
    map->PushVecNorm(&a, nullptr, 0, 0);
    map->PushVecTex(&a, nullptr, 0, 0);
    map->PushVecTex(&b, nullptr, 0, 0);
}

static void FillPool(FXNumPool* pool, const Bytes& bytes) {
    for (uint8_t b : bytes) {
        pool->PushByte(b);
    }
}

TEST(MeshDecoding, EqualTriplesShareOneVertex) {
    FXVectorMap map;
    SmallMap(&map);
    FXNumPool pool;
    // Corners (p, n, t): (0,0,0), (1,0,0), (0,0,1), (0,0,0).
    FillPool(&pool, {0x00, 0x14, 0, 0, 0x05, 0, 0, 0x15, 0, 0, 0});
    unsigned char skipped;
    pool.GetNextByte(&skipped); // decoding rewinds the stream
    FXMesh m;
    ASSERT_TRUE(m.Realloc(4, 4));
    ASSERT_TRUE(m.FromVMap(&map, &pool));
    ASSERT_EQ(m.vertexCount, 3);
    EXPECT_EQ(m.indices[0], 0);
    EXPECT_EQ(m.indices[1], 1);
    EXPECT_EQ(m.indices[2], 2);
    EXPECT_EQ(m.indices[3], 0);
    EXPECT_EQ(m.vertices[1].position[0], 1.0f);
    EXPECT_EQ(m.vertices[2].position[0], 0.0f);
    EXPECT_EQ(m.vertices[2].texCoord[1], 1.0f);
    EXPECT_EQ(m.vertices[0].normal[1], 1.0f);
    EXPECT_EQ(m.vertices[2].tag, 0);
}

TEST(MeshDecoding, DamagedStreamsAreRefused) {
    FXVectorMap map;
    SmallMap(&map);
    struct Case {
        int vertices;
        Bytes stream;
    };
    const Case cases[] = {{4, {0x00, 0x14, 0, 0, 0x05, 0, 0, 0x15, 0, 0}},       // ends inside the last corner
                          {4, {0x00, 0x00, 0x00, 0x00}},                         // position 2 of a table of 2
                          {2, {0x00, 0x14, 0, 0, 0x05, 0, 0, 0x15, 0, 0, 0}},    // three vertices, header says two
                          {4, {0x03, 0xff, 0xff, 0xff, 0x7f, 0, 0, 0, 0, 0, 0}}, // int payload far outside
                          {4, {0x01, 0x00, 0x02, 0xff, 0xff}}};                  // position word 0xffff far outside
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        FXNumPool pool;
        FillPool(&pool, cases[i].stream);
        FXMesh m;
        ASSERT_TRUE(m.Realloc(cases[i].vertices, 4));
        EXPECT_FALSE(m.FromVMap(&map, &pool)) << "case " << i;
        EXPECT_EQ(m.vertexCount, 0) << "case " << i;
        EXPECT_EQ(m.indexCount, 0) << "case " << i;
    }
}

TEST(MeshDecoding, RedirectRecordsCornersAndWritesThemBack) {
    FXVectorMap map;
    tagFXVertex shared = Fresh(1);
    map.PushVecPos(&shared, nullptr, 0, 0); // position of vertex 1 is vector 0
    FXMesh m;
    SetFresh(&m, 3, {0, 1, 2});
    FXArray pos, norm, tex;
    FXArray* redirect[3] = {&pos, &norm, &tex};
    FXNumPool pool;
    ASSERT_TRUE(m.ToVMap(&map, &pool, nullptr, 0, redirect));
    ASSERT_EQ(pos.size, 3);
    EXPECT_EQ(pos.GetInt(0), 1);
    EXPECT_EQ(pos.GetInt(1), 0);
    EXPECT_EQ(pos.GetInt(2), 2);
    EXPECT_EQ(norm.GetInt(2), 2);

    m.vertices[1].position[2] = 7.0f;
    m.vertices[2].normal[2] = -3.0f;
    m.ApplyRedir(&map, redirect);
    float p[3], n[3];
    map.GetVecPos(0, p);
    EXPECT_EQ(p[2], 7.0f);
    map.GetVecNorm(2, n);
    EXPECT_EQ(n[2], -3.0f);
    map.GetVecPos(1, p);
    EXPECT_EQ(p[0], 0.0f);
}

// Two meshes through one map and per-mesh pools, written and read back as a compact model is.
TEST_F(MeshFile, MeshesSurviveTheVectorMapRoundTrip) {
    FXMesh quad;
    SetFresh(&quad, 4, {0, 1, 2, 0, 2, 3});
    for (int i = 0; i < 4; i++) {
        quad.vertices[i].normal[0] = 0.0f; // one normal
    }
    quad.material = &stone;
    quad.materialName.Set("stone");
    FXMesh seam;
    SetFresh(&seam, 4, {0, 1, 2, 2, 1, 3});
    seam.vertices[3] = seam.vertices[2];
    seam.vertices[3].texCoord[0] = 9.0f; // same position, other texture coordinate
    seam.renderClass = 2;
    FXMesh twin;
    SetFresh(&twin, 3, {0, 1, 2});
    twin.vertices[1] = twin.vertices[0]; // equal triples become one vertex

    FXMesh* meshes[] = {&quad, &seam, &twin};
    FXVectorMap map;
    FXNumPool pools[3] = {FXNumPool(800000), FXNumPool(800000), FXNumPool(800000)};
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(meshes[i]->ToVMap(&map, &pools[i], nullptr, 0, nullptr));
    }
    EXPECT_EQ(map.normCount, 3); // the quad's one normal, two more from the seam, none from the twin
    std::string path = PathOf("model.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(map.Save(f));
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(meshes[i]->SaveMeshI(f));
        ASSERT_TRUE(pools[i].Save(f));
    }
    fclose(f);

    f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    FXVectorMap back;
    ASSERT_TRUE(back.Load(f));
    FXNumPool pool;
    FXMesh loaded[3];
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(loaded[i].LoadMeshI(f, &lib));
        ASSERT_TRUE(pool.Load(f));
        ASSERT_TRUE(loaded[i].FromVMap(&back, &pool));
    }
    EXPECT_EQ(fxStreamBytesLeft(f), 0);
    fclose(f);

    EXPECT_EQ(loaded[0].material, &stone);
    EXPECT_EQ(loaded[1].renderClass, 2);
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(loaded[i].vertexCount, meshes[i]->vertexCount);
        ASSERT_EQ(loaded[i].indexCount, meshes[i]->indexCount);
        for (int k = 0; k < loaded[i].indexCount; k++) {
            EXPECT_EQ(loaded[i].indices[k], meshes[i]->indices[k]);
        }
        for (int k = 0; k < loaded[i].vertexCount; k++) {
            const tagFXVertex& a = loaded[i].vertices[k];
            const tagFXVertex& b = meshes[i]->vertices[k];
            EXPECT_EQ(memcmp(a.position, b.position, 32), 0) << "mesh " << i << " vertex " << k;
        }
    }
    ASSERT_EQ(loaded[2].vertexCount, 2);
    EXPECT_EQ(loaded[2].indices[0], 0);
    EXPECT_EQ(loaded[2].indices[1], 0);
    EXPECT_EQ(loaded[2].indices[2], 1);
}

// ---------------------------------------------------------------------------------------------
// Geometry

TEST(MeshGeometry, DiscardVerticesRenumbersTheUsedOnes) {
    FXMesh all;
    SetFresh(&all, 3, {2, 0, 1});
    ASSERT_TRUE(all.DiscardVertices());
    EXPECT_EQ(all.vertexCount, 3);
    EXPECT_EQ(all.indices[0], 2);
    EXPECT_EQ(all.vertices[2].position[0], 2.0f);
    EXPECT_EQ(all.vertices[2].tag, 2);

    FXMesh gaps;
    SetFresh(&gaps, 6, {5, 1, 3, 3, 1, 5});
    ASSERT_TRUE(gaps.DiscardVertices());
    ASSERT_EQ(gaps.vertexCount, 3);
    EXPECT_EQ(gaps.vertexCapacity, 3);
    const int expected[] = {2, 0, 1, 1, 0, 2};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(gaps.indices[i], expected[i]);
    }
    EXPECT_EQ(gaps.vertices[0].position[0], 1.0f);
    EXPECT_EQ(gaps.vertices[2].position[0], 5.0f);

    FXMesh bad;
    SetFresh(&bad, 2, {0, 1, 2});
    EXPECT_FALSE(bad.DiscardVertices());
    EXPECT_EQ(bad.vertexCount, 2);
}

TEST(MeshGeometry, FaceNormalsFollowTheWinding) {
    FXMesh m;
    SetPositions(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    m.ComputeNormals(false);
    for (int i = 0; i < 3; i++) {
        ExpectVec3(m.vertices[i].normal, 0.0f, 0.0f, -1.0f);
        EXPECT_EQ(m.vertices[i].tag, 1);
    }
    SetPositions(&m, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 1, 2});
    m.ComputeNormals(false);
    ExpectVec3(m.vertices[1].normal, 0.0f, 0.0f, 1.0f);
}

TEST(MeshGeometry, SmoothNormalsWeighEveryTriangleAlike) {
    FXMesh m;
    // The second triangle is five times larger and stands at a right angle to the first.
    SetPositions(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 5}}, {0, 1, 2, 0, 2, 3});
    m.ComputeNormals(false);
    const float h = 1.0f / sqrtf(2.0f);
    ExpectVec3(m.vertices[0].normal, -h, 0.0f, -h);
    ExpectVec3(m.vertices[2].normal, -h, 0.0f, -h);
    ExpectVec3(m.vertices[1].normal, 0.0f, 0.0f, -1.0f);
    ExpectVec3(m.vertices[3].normal, -1.0f, 0.0f, 0.0f);
}

TEST(MeshGeometry, DegenerateAndUntaggedTrianglesChangeNothing) {
    FXMesh m;
    SetPositions(&m, {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {0, 1, 2});
    for (int i = 0; i < 3; i++) {
        m.vertices[i].normal[0] = 0.6f;
        m.vertices[i].normal[1] = 0.8f;
    }
    m.ComputeNormals(false);
    ExpectVec3(m.vertices[0].normal, 0.6f, 0.8f, 0.0f);
    EXPECT_EQ(m.vertices[0].tag, 0);

    SetPositions(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    m.vertices[1].normal[1] = 1.0f;
    m.ComputeNormals(true);
    ExpectVec3(m.vertices[1].normal, 0.0f, 1.0f, 0.0f);
}

TEST(MeshGeometry, TagsSetEarlierInAPassSelectLaterTriangles) {
    FXMesh m;
    SetPositions(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {5, 5, 0}, {6, 5, 0}, {5, 6, 0}},
                 {0, 1, 2, 2, 1, 3, 5, 6, 7});
    m.vertices[0].tag = 1;
    m.vertices[5].normal[0] = 1.0f;
    m.ComputeNormals(true);
    ExpectVec3(m.vertices[3].normal, 0.0f, 0.0f, -1.0f); // second triangle reached through vertex 2
    ExpectVec3(m.vertices[5].normal, 1.0f, 0.0f, 0.0f);  // third one untouched
    EXPECT_EQ(m.vertices[6].tag, 0);
}

TEST(MeshGeometry, ZScaleScalesOnlyTheEdgeDepth) {
    FXMesh m;
    SetPositions(&m, {{0, 0, 0}, {1, 0, 1}, {0, 1, 0}}, {0, 1, 2});
    m.ComputeNormalsZ(false, 1.0f);
    const float h = 1.0f / sqrtf(2.0f);
    ExpectVec3(m.vertices[0].normal, h, 0.0f, -h);
    m.ComputeNormalsZ(false, 0.0f);
    ExpectVec3(m.vertices[0].normal, 0.0f, 0.0f, -1.0f);
}

TEST(MeshGeometry, NormalizeLeavesZeroSums) {
    FXMesh m;
    SetFresh(&m, 3, {0, 1, 2});
    m.vertices[0].normalSum[0] = 3.0f;
    m.vertices[0].normalSum[2] = 4.0f;
    m.vertices[0].tag = 1;
    m.vertices[1].normalSum[1] = 2.0f; // tag 0: skipped when only tagged ones count
    m.vertices[2].normal[2] = 0.5f;
    m.Normalize(true);
    ExpectVec3(m.vertices[0].normal, 0.6f, 0.0f, 0.8f);
    ExpectVec3(m.vertices[1].normal, 1.0f, 1.0f, 0.0f);
    m.Normalize(false);
    ExpectVec3(m.vertices[1].normal, 0.0f, 1.0f, 0.0f);
    ExpectVec3(m.vertices[2].normal, 2.0f, 1.0f, 0.5f);
}

TEST(MeshGeometry, TextureCoordinatesFitTheMaterialScales) {
    FXMaterial mat;
    mat.texScaleU = 0.5f;
    mat.texScaleV = 0.25f;
    FXMesh m;
    SetFresh(&m, 1, {});
    m.vertices[0].texCoord[0] = 0.5f;
    m.vertices[0].texCoord[1] = 0.4f;
    m.ResizeTexCoords(); // no material: nothing
    EXPECT_EQ(m.vertices[0].texCoord[0], 0.5f);

    m.material = &mat;
    m.loadedU = 0.25f; // su = 0.5 / 0.25; v has no recorded scale
    m.ResizeTexCoords();
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[0], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[1], 0.1f);

    m.vertices[0].texCoord[0] = 0.5f;
    m.vertices[0].texCoord[1] = 0.4f;
    m.flipV = true;
    m.ResizeTexCoords1();
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[0], 0.25f);
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[1], (1.0f - 0.4f) * 0.25f);

    mat.texScaleV = 0.0f;
    m.ResizeTexCoords();
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[0], 0.25f);
}

TEST(MeshGeometry, FrontAndCopiedTextureCoordinates) {
    FXMesh m;
    SetPositions(&m, {{-0.5f, 0.5f, 0}, {1, -1, 0}}, {});
    m.ComputeFrontTexCoords();
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[0], 0.25f);
    EXPECT_FLOAT_EQ(m.vertices[0].texCoord[1], 0.25f);
    EXPECT_FLOAT_EQ(m.vertices[1].texCoord[0], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[1].texCoord[1], 1.0f);

    FXMesh src;
    SetFresh(&src, 1, {});
    m.CopyTexCoords(&src); // the source has one vertex: the second keeps its own
    EXPECT_EQ(m.vertices[0].texCoord[0], 0.0f);
    EXPECT_EQ(m.vertices[0].texCoord[1], 0.5f);
    EXPECT_EQ(m.vertices[1].texCoord[0], 1.0f);
}

TEST(MeshGeometry, BoxesSpanOneOrSeveralMeshes) {
    FXMesh a, b, empty;
    SetPositions(&a, {{1, -2, 3}, {-1, 5, 0}}, {});
    SetPositions(&b, {{0, 0, -4}}, {});
    float box[6];
    a.FindMaxims(box);
    const float expected[] = {-1, 1, -2, 5, 0, 3};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(box[i], expected[i]);
    }
    empty.FindMaxims(box);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(box[i], 0.0f);
    }
    bool first = true;
    float all[6] = {99, 99, 99, 99, 99, 99};
    empty.FindMultiMaxims(&first, all);
    EXPECT_TRUE(first);
    b.FindMultiMaxims(&first, all);
    EXPECT_FALSE(first);
    a.FindMultiMaxims(&first, all);
    const float both[] = {-1, 1, -2, 5, -4, 3};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(all[i], both[i]);
    }
}

TEST(MeshGeometry, UnitizingMapsTheBoxIntoTheUnitCube) {
    FXMesh m;
    float box[6] = {0, 4, 0, 2, 0, 1};
    SetPositions(&m, {{0, 0, 0}, {4, 2, 1}}, {});
    m.UnitizeMaxims(box);
    ExpectVec3(m.vertices[0].position, -1.0f, -0.5f, -0.25f);
    ExpectVec3(m.vertices[1].position, 1.0f, 0.5f, 0.25f);

    SetPositions(&m, {{0, 0, 0}, {4, 2, 1}}, {});
    m.UnitizeMaximsStretch(box);
    ExpectVec3(m.vertices[0].position, -1.0f, -1.0f, -1.0f);
    ExpectVec3(m.vertices[1].position, 1.0f, 1.0f, 1.0f);

    SetPositions(&m, {{0, 0, 0}, {4, 2, 1}}, {});
    m.UnitizeMaximsStretch1(box);
    ExpectVec3(m.vertices[0].position, -1.0f, -1.0f, -0.5f);

    // A flat axis keeps its scale; a box without extent only moves the points to its centre.
    float flat[6] = {0, 4, 0, 2, 3, 3};
    SetPositions(&m, {{0, 0, 3}, {4, 2, 3}}, {});
    m.UnitizeMaximsStretch(flat);
    ExpectVec3(m.vertices[1].position, 1.0f, 1.0f, 0.0f);
    SetPositions(&m, {{2, 2, 2}, {2, 2, 2}}, {});
    m.Unitize();
    ExpectVec3(m.vertices[0].position, 0.0f, 0.0f, 0.0f);

    SetPositions(&m, {{-3, 1, 1}, {1, 3, 2}}, {});
    m.Unitize();
    ExpectVec3(m.vertices[0].position, -1.0f, -0.5f, -0.25f);
}

TEST(MeshGeometry, PositionEdits) {
    FXMesh m;
    SetPositions(&m, {{1, 2, 3}}, {});
    m.vertices[0].normal[0] = 0.1f;
    m.vertices[0].normal[1] = 0.2f;
    m.vertices[0].normal[2] = 0.3f;
    m.FlipHoriz();
    ExpectVec3(m.vertices[0].position, -1.0f, 2.0f, 3.0f);
    ExpectVec3(m.vertices[0].normal, 0.1f, 0.2f, 0.3f);
    m.ExtendPositions(10.0f);
    ExpectVec3(m.vertices[0].position, 0.0f, 4.0f, 6.0f);
    EXPECT_EQ(m.vertices[0].tag, 1);

    m.Transform(2, 0, 1, true, false, false);
    ExpectVec3(m.vertices[0].position, -6.0f, 0.0f, 4.0f);
    ExpectVec3(m.vertices[0].normal, -0.3f, 0.1f, 0.2f);
    m.Transform(3, 0, 1, false, false, false);
    ExpectVec3(m.vertices[0].position, -6.0f, 0.0f, 4.0f);

    EXPECT_EQ(FXMesh::TextToIndi("x"), 0);
    EXPECT_EQ(FXMesh::TextToIndi("yes"), 1);
    EXPECT_EQ(FXMesh::TextToIndi("z"), 2);
    EXPECT_EQ(FXMesh::TextToIndi("w"), -1);
    EXPECT_EQ(FXMesh::TextToIndi(""), -1);
    EXPECT_EQ(FXMesh::TextToIndi(nullptr), -1);
}

// 2 x 2 picture: top left white, top right black, bottom left red 51, bottom right clear.
static void MakeCanvas(FXCanvas* c) {
    ASSERT_TRUE(c->pixmap.Realloc(2, 2));
    c->pixmap.pixels[0] = 0xFF00FFFFu; // R 255, G 255, B 0, A 255
    c->pixmap.pixels[1] = 0xFF000000u;
    c->pixmap.pixels[c->pixmap.allocWidth] = 0x80000033u;
    c->pixmap.pixels[c->pixmap.allocWidth + 1] = 0x00000000u;
}

TEST(MeshGeometry, BumpMapsMoveBrightVerticesAlongTheirNormals) {
    FXCanvas c;
    MakeCanvas(&c);
    FXMesh m;
    SetPositions(&m, {{0, 0, 0}, {0, 0, 0}}, {});
    for (int i = 0; i < 2; i++) {
        m.vertices[i].normal[2] = 1.0f;
        m.vertices[i].texCoord[1] = 0.25f;
        m.vertices[i].tag = 1;
    }
    m.vertices[0].texCoord[0] = 0.25f;
    m.vertices[1].texCoord[0] = 0.75f;
    m.ApplyBumpMap(&c, 2.0f);
    ExpectVec3(m.vertices[0].position, 0.0f, 0.0f, 2.0f);
    EXPECT_EQ(m.vertices[0].tag, 1);
    ExpectVec3(m.vertices[1].position, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(m.vertices[1].tag, 0);

    m.flipV = true; // samples the bottom row
    m.ApplyBumpMap(&c, 1.0f);
    EXPECT_NEAR(m.vertices[0].position[2], 2.2f, 1e-6f);
    m.ApplyBumpMap(&c, -1.0f);
    EXPECT_EQ(m.vertices[0].tag, 0);
}

TEST(MeshGeometry, ColourMapsMultiplyTheSample) {
    FXCanvas c;
    MakeCanvas(&c);
    FXMesh m;
    SetPositions(&m, {{-0.5f, -0.5f, 0}}, {});
    m.vertices[0].texCoord[0] = 0.25f;
    m.vertices[0].texCoord[1] = 0.25f;
    float mul[4] = {1.0f, 0.5f, 1.0f, 0.5f};
    m.ApplyColorMap(&c, mul);
    EXPECT_FLOAT_EQ(m.vertices[0].colour[0], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[0].colour[1], 0.5f);
    EXPECT_FLOAT_EQ(m.vertices[0].colour[2], 0.0f);
    EXPECT_FLOAT_EQ(m.vertices[0].colour[3], 0.5f);
    m.flipV = true;
    m.ApplyColorMap(&c, mul);
    EXPECT_FLOAT_EQ(m.vertices[0].colour[0], 0.2f);
    // Front projection: (x, y) = (-0.5, -0.5) lies at (0.25, 0.75), the bottom row.
    float one[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    m.ApplyFrontColorMap(&c, one);
    EXPECT_FLOAT_EQ(m.vertices[0].colour[0], 0.2f);
    EXPECT_NEAR(m.vertices[0].colour[3], 128.0f / 255.0f, 1e-6f);

    float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    m.SetVerticesCol(grey);
    EXPECT_EQ(m.vertices[0].colour[2], 0.5f);
}
