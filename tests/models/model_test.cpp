#include <gtest/gtest.h>

#include <limits>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "models/model.h"
#include "io/package.h"
#include "geometry/mesh.h"
#include "model_test_helpers.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/matlib.h"
#include "support/testdata.h"

namespace {

class ModelTest : public ModelFixture {
protected:
    // A library of the environment holding materials a (solid) and b (translucent).
    FXMatlib* Library() {
        std::string path = Write("lib.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 0 1\nd 0.5\n");
        return env.LoadMatlib(path.c_str());
    }

    FXBytes Bytes(const std::string& path) {
        FXBytes b;
        EXPECT_TRUE(fxTestReadFile(path, &b));
        return b;
    }
};

// A strip of n triangles over fresh vectors; seed tells meshes apart.
FXMesh* Strip(int n, float seed, FXMaterial* material = nullptr) {
    FXMesh* m = new FXMesh();
    m->Realloc(n + 2, 3 * n);
    for (int i = 0; i < n + 2; i++) {
        tagFXVertex* v = &m->vertices[i];
        v->position[0] = seed + (float)i;
        v->position[1] = (float)(i % 2);
        v->position[2] = seed * 0.5f;
        v->normal[2] = 1.0f;
        v->normal[0] = (float)i / 8.0f;
        v->texCoord[0] = (float)i * 0.25f;
        v->texCoord[1] = seed;
    }
    for (int t = 0; t < n; t++) {
        m->indices[3 * t] = t;
        m->indices[3 * t + 1] = t + 1;
        m->indices[3 * t + 2] = t + 2;
    }
    m->material = material;
    if (material != nullptr) {
        m->materialName = material->name;
    }
    return m;
}

// Equal as the vector map compares: zeros of either sign alike; NaN only matches NaN here.
bool SameFloats(const float* a, const float* b, int n) {
    for (int i = 0; i < n; i++) {
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) {
            return false;
        }
    }
    return true;
}

void ExpectSameGeometry(FXMesh* a, FXMesh* b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->indexCount, b->indexCount);
    EXPECT_EQ(a->renderClass, b->renderClass);
    EXPECT_EQ(a->colourMode, b->colourMode);
    for (int i = 0; i < a->indexCount; i++) {
        const tagFXVertex* x = &a->vertices[a->indices[i]];
        const tagFXVertex* y = &b->vertices[b->indices[i]];
        ASSERT_TRUE(SameFloats(x->position, y->position, 3)) << i;
        ASSERT_TRUE(SameFloats(x->normal, y->normal, 3)) << i;
        ASSERT_TRUE(SameFloats(x->texCoord, y->texCoord, 2)) << i;
    }
}

FXMesh* Work(FXModel* m, int i) {
    return m->EnumMeshes(i);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Files

TEST_F(ModelTest, SavedModelsLeaveDisabledMeshesOutAndLoadBack) {
    FXMatlib* lib = Library();
    FXModel model;
    model.name.Set("planet");
    model.matlibRef.Set(lib->name.chars);
    model.matlib = lib;
    model.workMeshes.Push(Strip(3, 1.0f, lib->FindMaterial("a")));
    model.workMeshes.Push(Strip(2, 2.0f));
    model.workMeshes.Push(Strip(4, 3.0f, lib->FindMaterial("b")));
    Work(&model, 2)->renderClass = 1;
    Work(&model, 2)->colourMode = 1;
    model.DisableMesh(1, true);
    std::string v3 = dir.File("m3.xm"), v2 = dir.File("m2.xm");
    ASSERT_TRUE(model.Save(v3.c_str()));
    FILE* f = fopen(v2.c_str(), "wb");
    ASSERT_TRUE(model.Save_v02(f));
    fclose(f);

    FXBytes bytes = Bytes(v3);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 8), "xm03");
    size_t countAt = 8 + 4 + 6 + 4 + lib->name.length;
    EXPECT_EQ(fxTestGetI32(bytes, countAt), 2);
    FXBytes old = Bytes(v2);
    ASSERT_GT(old.size(), 8u);
    EXPECT_EQ(std::string(old.begin() + 4, old.begin() + 8), "xm02");

    for (const std::string& path : {v3, v2}) {
        FXModel loaded;
        ASSERT_TRUE(loaded.Load(path.c_str())) << path;
        EXPECT_TRUE(loaded.name.Compare("planet"));
        EXPECT_EQ(loaded.matlib, lib);
        ASSERT_EQ(loaded.loadedMeshes.size, 2) << path;
        EXPECT_EQ(loaded.workMeshes.size, 0);
        ExpectSameGeometry(LoadedMesh(&loaded, 0), Work(&model, 0));
        ExpectSameGeometry(LoadedMesh(&loaded, 1), Work(&model, 2));
        EXPECT_EQ(LoadedMesh(&loaded, 1)->material, lib->FindMaterial("b"));
    }
    model.matlib = nullptr; // borrowed above, without a use of its own
    lib->Release();
}

// Vertices the stored stream cannot tell apart (equal values, or used by no corner) are counted
// as the reader rebuilds them, so a loaded model saves back to the same bytes.
TEST_F(ModelTest, EqualAndUnusedVerticesSaveBackToTheSameBytes) {
    FXModel model;
    FXMesh* twins = Strip(2, 1.0f);
    twins->vertices[3] = twins->vertices[0]; // same position, normal and texture coordinate
    model.workMeshes.Push(twins);
    FXMesh* loose = new FXMesh();
    loose->Realloc(3, 0);
    model.workMeshes.Push(loose);
    model.workMeshes.Push(new FXMesh());
    std::string first = dir.File("a.xm"), second = dir.File("b.xm");
    ASSERT_TRUE(model.Save(first.c_str()));
    FXModel loaded;
    ASSERT_TRUE(loaded.Load(first.c_str()));
    ASSERT_EQ(loaded.loadedMeshes.size, 3);
    EXPECT_EQ(LoadedMesh(&loaded, 0)->vertexCount, 3);
    EXPECT_EQ(LoadedMesh(&loaded, 1)->vertexCount, 0);
    loaded.UpdateMeshes();
    ExpectSameGeometry(Work(&loaded, 0), Work(&model, 0));
    ASSERT_TRUE(loaded.Save(second.c_str()));
    EXPECT_EQ(Bytes(first), Bytes(second));
}

// The header's vertex count is found without decoding the stream: over many generated meshes
// whose vertices often hold equal vectors (zeros of either sign, NaN now and then), the loader
// must rebuild exactly that many vertices and the loaded model save back to the same bytes.
TEST_F(ModelTest, HeaderCountsMatchTheRebuiltVerticesOfGeneratedMeshes) {
    const float values[] = {0.0f, -0.0f, 1.0f, 0.5f, -2.0f, std::numeric_limits<float>::quiet_NaN()};
    uint32_t seed = 4242;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 40; round++) {
        FXModel model;
        for (int m = 0; m < 2; m++) {
            FXMesh* mesh = new FXMesh();
            int nv = 1 + (int)next(30);
            int ni = 3 * (1 + (int)next(20));
            ASSERT_TRUE(mesh->Realloc(nv, ni));
            // NaN in one round of four, so that most rounds take the counting path.
            uint32_t kinds = round % 4 == 0 ? 6 : 5;
            for (int i = 0; i < nv; i++) {
                float* fields[3] = {mesh->vertices[i].position, mesh->vertices[i].normal, mesh->vertices[i].texCoord};
                for (int k = 0; k < 8; k++) {
                    fields[k < 3   ? 0
                           : k < 6 ? 1
                                   : 2][k < 3   ? k
                                        : k < 6 ? k - 3
                                                : k - 6] = values[next(3) == 0 ? next(kinds) : next(2)];
                }
            }
            for (int i = 0; i < ni; i++) {
                mesh->indices[i] = (int)next((uint32_t)nv);
            }
            model.workMeshes.Push(mesh);
        }
        std::string first = dir.File("g1.xm"), second = dir.File("g2.xm");
        ASSERT_TRUE(model.Save(first.c_str()));
        FXModel loaded;
        ASSERT_TRUE(loaded.Load(first.c_str())) << "round " << round;
        ASSERT_EQ(loaded.loadedMeshes.size, 2) << "round " << round;
        for (int m = 0; m < 2; m++) {
            EXPECT_EQ(LoadedMesh(&loaded, m)->indexCount, Work(&model, m)->indexCount) << "round " << round;
        }
        loaded.UpdateMeshes();
        ASSERT_TRUE(loaded.Save(second.c_str()));
        ASSERT_EQ(Bytes(first), Bytes(second)) << "round " << round;
    }
}

TEST_F(ModelTest, AModelWithoutEnabledMeshesIsHeadCountAndEmptyMap) {
    FXModel model;
    model.workMeshes.Push(Strip(1, 1.0f));
    model.DisableMesh(0, true);
    std::string path = dir.File("e.xm");
    ASSERT_TRUE(model.Save(path.c_str()));
    FXBytes want;
    fxTestPutStr(&want, "xm03");
    fxTestPutStr(&want, "");
    fxTestPutStr(&want, "");
    for (int i = 0; i < 4; i++) {
        fxTestPutI32(&want, 0); // the count, then three empty vector tables
    }
    EXPECT_EQ(Bytes(path), want);
    FXModel loaded;
    EXPECT_TRUE(loaded.Load(path.c_str()));
    EXPECT_EQ(loaded.loadedMeshes.size, 0);
    EXPECT_EQ(loaded.matlib, nullptr);
}

TEST_F(ModelTest, MissingFilesAnswerFalseOtherMagicsLoadNothing) {
    FXModel model;
    EXPECT_FALSE(model.Load(dir.File("none.xm").c_str()));
    EXPECT_FALSE(model.Save(dir.File("no/such/folder.xm").c_str()));
    FXBytes other;
    fxTestPutStr(&other, "xm04");
    fxTestPutStr(&other, "name");
    ASSERT_TRUE(fxTestWriteFile(dir.File("o.xm"), other));
    EXPECT_TRUE(model.Load(dir.File("o.xm").c_str()));
    EXPECT_EQ(model.loadedMeshes.size, 0);
    EXPECT_TRUE(model.name.IsEmpty());
    FXPackage pkg;
    EXPECT_FALSE(model.LoadCN(&pkg, 3));
    EXPECT_FALSE(model.LoadCN(nullptr, 3));
}

// Every cut of a valid file, and counts no file can hold, load without reading out of bounds.
TEST_F(ModelTest, CutAndDamagedFilesLoadWhatTheyHold) {
    FXModel model;
    model.workMeshes.Push(Strip(5, 1.0f));
    model.workMeshes.Push(Strip(3, 2.0f));
    for (int version = 2; version <= 3; version++) {
        std::string path = dir.File("whole.xm");
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_TRUE(version == 2 ? model.Save_v02(f) : model.Save_v03(f));
        fclose(f);
        FXBytes whole = Bytes(path);
        for (size_t cut = 0; cut < whole.size(); cut++) {
            ASSERT_TRUE(fxTestWriteFile(path, FXBytes(whole.begin(), whole.begin() + cut)));
            FXModel loaded;
            ASSERT_TRUE(loaded.Load(path.c_str()));
            // What loads is the stored mesh or, where the cut left only zeros, an empty one.
            ASSERT_LE(loaded.loadedMeshes.size, 2) << version << " cut at " << cut;
            for (int i = 0; i < loaded.loadedMeshes.size; i++) {
                FXMesh* m = LoadedMesh(&loaded, i);
                EXPECT_TRUE(m->IndicesValid());
                if (m->indexCount > 0) {
                    ExpectSameGeometry(m, Work(&model, i));
                }
            }
        }
        // A count of 2^31 - 1 meshes in a file of a few hundred bytes.
        FXBytes big = whole;
        size_t countAt = 8 + 4 + 4;
        big[countAt] = big[countAt + 1] = big[countAt + 2] = 0xFF;
        big[countAt + 3] = 0x7F;
        ASSERT_TRUE(fxTestWriteFile(path, big));
        FXModel loaded;
        std::string log = Traced([&] { EXPECT_TRUE(loaded.Load(path.c_str())); });
        EXPECT_EQ(loaded.loadedMeshes.size, 2) << version;
        EXPECT_NE(log.find("meshes announced"), std::string::npos) << log;
    }
}

// Bytes changed at random in a stored model: what loads is always a consistent mesh.
TEST_F(ModelTest, DamagedBytesNeverLoadBrokenMeshes) {
    FXModel model;
    model.workMeshes.Push(Strip(40, 1.0f));
    model.workMeshes.Push(Strip(300, 2.0f));
    std::string path = dir.File("whole.xm");
    ASSERT_TRUE(model.Save(path.c_str()));
    FXBytes whole = Bytes(path);
    std::mt19937 rng(5);
    for (int round = 0; round < 400; round++) {
        FXBytes damaged = whole;
        for (int k = 0; k < 1 + round % 4; k++) {
            damaged[rng() % damaged.size()] = (uint8_t)rng();
        }
        ASSERT_TRUE(fxTestWriteFile(path, damaged));
        FXModel loaded;
        ASSERT_TRUE(loaded.Load(path.c_str()));
        for (int i = 0; i < loaded.loadedMeshes.size; i++) {
            FXMesh* m = LoadedMesh(&loaded, i);
            ASSERT_TRUE(m->IndicesValid()) << round;
            ASSERT_LE(m->vertexCount, m->vertexCapacity) << round;
        }
    }
}

TEST_F(ModelTest, CompiledModelsLoadFromThePackageWithMaterialsAndTextures) {
    ASSERT_TRUE(fxLoadDevil());
    FXCanvas picture;
    ASSERT_TRUE(picture.pixmap.Realloc(6, 3));
    picture.pixmap.Clear(0xFF3366CCu);
    ASSERT_TRUE(picture.SaveToPict(dir.File("skin.png").c_str()));
    Write("m.mtl", "newmtl skin\nmap_Kd skin.png\nnewmtl plain\nKd 0 1 0\n");
    std::string obj = Write("m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                     "usemtl skin\nf 1/1 2/2 3/3\nusemtl plain\nf 2 4 3\n");
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    FXModel model;
    ASSERT_TRUE(model.ImportObj(obj.c_str()));
    model.UpdateMeshes();
    FXMaterial* skin = Work(&model, 0)->material;
    ASSERT_NE(skin, nullptr);
    ASSERT_TRUE(skin->hasTexture);

    FXPackage pkg;
    pkg.workFolder.Set(dir.path.c_str());
    pkg.nameServer.baseId = 10;
    ASSERT_TRUE(model.Compile(&pkg));
    // The texture took id 10, the library 11; the model refers to the library by its id.
    EXPECT_STREQ(skin->texFile.chars, "10");
    EXPECT_STREQ(model.matlibRef.chars, "11");
    std::string xm = dir.File("m.xm");
    ASSERT_TRUE(model.Save(xm.c_str()));
    pkg.AddDataFile(4, xm.c_str());
    std::string dat = dir.File("m.dat");
    ASSERT_TRUE(pkg.Save(dat.c_str(), 0));
    pkg.DeleteTmpFiles();
    EXPECT_EQ(fxTestListDir(dir.path), (std::vector<std::string>{"m.dat", "m.mtl", "m.obj", "m.xm", "skin.png"}));

    FXPackage loadedPkg;
    ASSERT_TRUE(loadedPkg.Load(dat.c_str()));
    FXModel loaded;
    ASSERT_TRUE(loaded.LoadCN(&loadedPkg, 4));
    EXPECT_STREQ(loaded.matlibRef.chars, "11");
    ASSERT_NE(loaded.matlib, nullptr);
    EXPECT_NE(loaded.matlib, model.matlib);
    ASSERT_EQ(loaded.loadedMeshes.size, 2);
    FXMaterial* m = LoadedMesh(&loaded, 0)->material;
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->name.Compare("skin"));
    EXPECT_TRUE(m->hasTexture);
    EXPECT_EQ(m->GetWidth(), 6);
    EXPECT_EQ(m->GetHeight(), 3);
    EXPECT_EQ(m->texScaleU, skin->texScaleU);
    ASSERT_NE(LoadedMesh(&loaded, 1)->material, nullptr);
    EXPECT_EQ(LoadedMesh(&loaded, 1)->material->diffuse[1], 1.0f);
    loaded.UpdateMeshes();
    ExpectSameGeometry(Work(&loaded, 0), Work(&model, 0));
    ExpectSameGeometry(Work(&loaded, 1), Work(&model, 1));
    loaded.Destroy();
    model.Destroy();
    fxUnloadDevil();
}

// OBJ -> "xm03" -> load -> "xm03" gives the same bytes, and "xm02" gives the same meshes.
TEST_F(ModelTest, ImportedModelsRoundTrip) {
    FX_REQUIRE_TESTDATA();
    const char* files[] = {VANTREL_TESTDATA "/obj-real/spot.obj", VANTREL_TESTDATA "/obj-real/teapot.obj",
                           VANTREL_TESTDATA "/obj-peer/cornell_box.obj", VANTREL_TESTDATA "/obj-peer/test-nan.obj",
                           VANTREL_TESTDATA "/obj-peer/issue-138.obj"};
    ASSERT_EQ(chdir(VANTREL_TESTDATA "/obj-peer"), 0);
    for (const char* file : files) {
        FXModel model;
        ASSERT_TRUE(model.ImportObj(file)) << file;
        model.UpdateMeshes();
        std::string first = dir.File("first.xm"), second = dir.File("second.xm"), old = dir.File("old.xm");
        ASSERT_TRUE(model.Save(first.c_str()));
        FILE* f = fopen(old.c_str(), "wb");
        ASSERT_TRUE(model.Save_v02(f));
        fclose(f);

        FXModel loaded;
        ASSERT_TRUE(loaded.Load(first.c_str()));
        loaded.UpdateMeshes();
        ASSERT_TRUE(loaded.Save(second.c_str()));
        EXPECT_EQ(Bytes(first), Bytes(second)) << file;
        EXPECT_LE(loaded.GetTotalVertices(), model.GetTotalVertices()) << file;
        for (int i = 0; i < loaded.workMeshes.size; i++) {
            EXPECT_STREQ(Work(&loaded, i)->materialName.chars, Work(&model, i)->materialName.chars) << file;
        }

        FXModel older;
        ASSERT_TRUE(older.Load(old.c_str()));
        ASSERT_EQ(older.loadedMeshes.size, loaded.loadedMeshes.size) << file;
        for (int i = 0; i < older.loadedMeshes.size; i++) {
            SCOPED_TRACE(file);
            ExpectSameGeometry(LoadedMesh(&older, i), LoadedMesh(&loaded, i));
            EXPECT_EQ(LoadedMesh(&older, i)->material, LoadedMesh(&loaded, i)->material);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Groups and editing

TEST_F(ModelTest, WorkingCopiesAreDeepAndCopiesShareTheLibrary) {
    FXMatlib* lib = Library();
    FXModel model;
    model.matlib = lib; // the model's use
    model.matlibRef = lib->name;
    model.loadedMeshes.Push(Strip(2, 1.0f, lib->FindMaterial("a")));
    model.loadedMeshes.Push(nullptr);
    EXPECT_EQ(model.GetTotalVertices(), 0);
    model.UpdateMeshes();
    ASSERT_EQ(model.workMeshes.size, 2);
    EXPECT_EQ(Work(&model, 1), nullptr);
    EXPECT_NE(Work(&model, 0), LoadedMesh(&model, 0));
    EXPECT_EQ(model.GetTotalVertices(), 4);
    Work(&model, 0)->vertices[0].position[0] = 99.0f;
    model.UpdateMeshes();
    EXPECT_EQ(Work(&model, 0)->vertices[0].position[0], 1.0f);

    model.flipTexV = true;
    model.name.Set("kept");
    FXModel copy;
    copy.Copy(&model);
    EXPECT_EQ(lib->useCount, 2);
    EXPECT_TRUE(copy.flipTexV);
    EXPECT_TRUE(copy.name.IsEmpty());
    EXPECT_EQ(copy.loadedMeshes.size, 0);
    ASSERT_EQ(copy.workMeshes.size, 2);
    EXPECT_NE(Work(&copy, 0), Work(&model, 0));
    ExpectSameGeometry(Work(&copy, 0), Work(&model, 0));
    copy.Destroy();
    EXPECT_EQ(lib->useCount, 1);
    EXPECT_FALSE(copy.flipTexV);
    model.Destroy();
    EXPECT_EQ(env.matlibs.size, 0);
}

TEST_F(ModelTest, MeshesAreFoundByMaterialNameUntilTheFirstMeshWithout) {
    FXMatlib* lib = Library();
    FXModel model;
    model.matlib = lib;
    model.workMeshes.Push(Strip(1, 1.0f, lib->FindMaterial("a")));
    model.workMeshes.Push(Strip(1, 2.0f, lib->FindMaterial("b")));
    EXPECT_STREQ(model.EnumMeshNames(1), "b");
    EXPECT_EQ(model.EnumMeshNames(2), nullptr);
    EXPECT_EQ(model.EnumMeshNames(-1), nullptr);
    EXPECT_EQ(model.FindMesh("b"), Work(&model, 1));
    EXPECT_EQ(model.FindMesh("c"), nullptr);
    Work(&model, 0)->material = nullptr;
    EXPECT_EQ(model.FindMesh("b"), nullptr);
    model.Destroy();
}

TEST_F(ModelTest, DoubleMeshCopiesIntoALibraryMaterialOrDropsTheName) {
    FXMatlib* lib = Library();
    FXModel model;
    model.matlib = lib;
    model.workMeshes.Push(Strip(3, 1.0f, lib->FindMaterial("a")));
    FXMesh* twin = model.DoubleMesh("b", "a");
    ASSERT_NE(twin, nullptr);
    ASSERT_EQ(model.workMeshes.size, 2);
    EXPECT_EQ(Work(&model, 1), twin);
    EXPECT_EQ(twin->material, lib->FindMaterial("b"));
    EXPECT_TRUE(twin->materialName.Compare("b"));
    ExpectSameGeometry(twin, Work(&model, 0));
    // Doubling again replaces the mesh of that name instead of adding one.
    EXPECT_NE(model.DoubleMesh("b", "a"), nullptr);
    EXPECT_EQ(model.workMeshes.size, 2);
    EXPECT_EQ(model.DoubleMesh("b", "nothing"), nullptr);
    // A name the library lacks: the mesh that had it is gone, and nothing is added.
    FXMaterial stray;
    stray.name.Set("c");
    model.workMeshes.Push(Strip(1, 4.0f, &stray));
    EXPECT_EQ(model.DoubleMesh("c", "a"), nullptr);
    EXPECT_EQ(model.workMeshes.size, 2);
    EXPECT_EQ(model.FindMesh("c"), nullptr);
    model.Destroy();
}

TEST_F(ModelTest, EditingOperationsReachEveryWorkingMesh) {
    FXModel model;
    model.workMeshes.Push(Strip(2, 1.0f));
    model.workMeshes.Push(nullptr);
    model.workMeshes.Push(Strip(2, 5.0f));
    float box[6];
    model.FindMaxims(box);
    EXPECT_EQ(box[0], 1.0f);
    EXPECT_EQ(box[1], 8.0f);
    EXPECT_EQ(box[5], 2.5f);
    model.Unitize();
    model.FindMaxims(box);
    EXPECT_FLOAT_EQ(box[0], -1.0f);
    EXPECT_FLOAT_EQ(box[1], 1.0f);

    const float red[4] = {1.0f, 0.0f, 0.0f, 0.5f};
    model.UpdateColCol(red);
    EXPECT_EQ(Work(&model, 2)->colourMode, 1);
    EXPECT_EQ(Work(&model, 2)->vertices[3].colour[3], 0.5f);

    model.flipTexV = true;
    model.ResizeTextCoords();
    EXPECT_TRUE(Work(&model, 0)->flipV);

    // Texture coordinates pass only between groups of the same size.
    FXModel other;
    other.workMeshes.Push(Strip(2, 7.0f));
    other.workMeshes.Push(nullptr);
    model.CopyTexCoords(-1, &other);
    EXPECT_EQ(Work(&model, 0)->vertices[0].texCoord[1], 1.0f);
    other.workMeshes.Push(Strip(2, 9.0f));
    model.CopyTexCoords(2, &other);
    EXPECT_EQ(Work(&model, 0)->vertices[0].texCoord[1], 1.0f);
    EXPECT_EQ(Work(&model, 2)->vertices[0].texCoord[1], 9.0f);

    FXMesh* first = Work(&model, 0);
    model.RemoveMesh(first);
    EXPECT_EQ(model.workMeshes.size, 2);
    delete first;
}

TEST_F(ModelTest, MaterialColoursArePreservedAndScaled) {
    FXMatlib* lib = Library();
    FXModel model;
    model.matlib = lib;
    FXMaterial* a = lib->FindMaterial("a");
    model.workMeshes.Push(Strip(1, 1.0f, a));
    model.PreserveColMat();
    const float half[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    model.UpdateColMat(half);
    model.UpdateColMat(half);
    EXPECT_EQ(a->diffuse[0], 0.5f);
    model.Destroy();
}

// ---------------------------------------------------------------------------------------------
// Drawing

TEST_F(ModelTest, RenderClassesDrawInTheirPasses) {
    FXModel model;
    int classes[5] = {1, 0, 2, 1, 0};
    for (int c : classes) {
        FXMesh* m = Strip(1, 1.0f);
        m->renderClass = c;
        model.loadedMeshes.Push(m);
    }
    env.recordDraws = true;
    model.OnRender(&env, 0.0);
    // Loaded meshes alone are not drawn.
    EXPECT_EQ(std::count(env.draws.begin(), env.draws.end(), "mesh"), 0);
    model.UpdateMeshes();
    model.workMeshes.Insert(2, nullptr);
    env.draws.clear();
    model.OnRender(&env, 1.0);
    std::vector<std::string> want = {"mesh", "mesh",     "cull 1 0",     "mesh", "mesh",         "cull 0 1", "mesh",
                                     "mesh", "cull 0 0", "depthwrite 0", "mesh", "depthwrite 1", "mesh"};
    EXPECT_EQ(env.draws, want);
    std::vector<FXMesh*> meshes = {Work(&model, 1), Work(&model, 5), Work(&model, 4), Work(&model, 0),
                                   Work(&model, 0), Work(&model, 4), Work(&model, 3), Work(&model, 3)};
    EXPECT_EQ(env.drawnMeshes, meshes);
}
