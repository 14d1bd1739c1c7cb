#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "io/package.h"
#include "base/paths.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/matlib.h"
#include "support/test_env.h"
#include "support/test_files.h"
#include "support/testdata.h"

namespace {

class MatlibTest : public ::testing::Test {
protected:
    TestEnv env;
    FXTestDir dir;

    void SetUp() override { fxSetEnv(&env); }
    void TearDown() override { fxSetEnv(nullptr); }

    // Writes an MTL text into the test folder and imports it into lib.
    bool Import(FXMatlib* lib, const std::string& text) {
        std::string path = dir.File("lib.mtl");
        EXPECT_TRUE(fxTestWriteText(path, text));
        return lib->LoadFromMtl(path.c_str());
    }
};

FXMaterial* At(FXMatlib* lib, int i) {
    return i >= 0 && i < lib->materials.size ? (FXMaterial*)lib->materials.elements[i] : nullptr;
}

void ExpectColour(const float* c, float r, float g, float b, float a) {
    EXPECT_EQ(c[0], r);
    EXPECT_EQ(c[1], g);
    EXPECT_EQ(c[2], b);
    EXPECT_EQ(c[3], a);
}

// An owned material whose every field follows from seed, so records can be told apart.
FXMaterial* MakeMaterial(const char* name, const char* texFile, float seed) {
    FXMaterial* m = new FXMaterial();
    m->libOwned = true;
    m->name.Set(name);
    m->texFile.Set(texFile);
    for (int i = 0; i < 4; i++) {
        m->ambient[i] = seed + 0.1f * (float)i;
        m->diffuse[i] = seed * 2.0f + 0.01f * (float)i;
        m->specular[i] = -seed - (float)i;
        m->emission[i] = seed / 3.0f + (float)i;
    }
    m->shininess = seed * 7.0f;
    return m;
}

void ExpectSameMaterials(FXMatlib* a, FXMatlib* b) {
    ASSERT_EQ(a->materials.size, b->materials.size);
    for (int i = 0; i < a->materials.size; i++) {
        FXMaterial* x = At(a, i);
        FXMaterial* y = At(b, i);
        EXPECT_STREQ(x->name.chars, y->name.chars);
        EXPECT_STREQ(x->texFile.chars, y->texFile.chars);
        EXPECT_EQ(memcmp(x->ambient, y->ambient, 16), 0);
        EXPECT_EQ(memcmp(x->diffuse, y->diffuse, 16), 0);
        EXPECT_EQ(memcmp(x->specular, y->specular, 16), 0);
        EXPECT_EQ(memcmp(x->emission, y->emission, 16), 0);
        EXPECT_EQ(x->shininess, y->shininess);
        EXPECT_TRUE(x->libOwned);
    }
}

// Materials an MTL text declares, counted the plain way: lines whose first word is newmtl.
int CountNewmtl(const std::string& path) {
    std::ifstream in(path);
    std::string line, first;
    int n = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        n += (words >> first && first == "newmtl") ? 1 : 0;
    }
    return n;
}

std::string Peer(const char* name) {
    return std::string(VANTREL_TESTDATA "/obj-peer/") + name;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// MTL import

TEST_F(MatlibTest, ImportReadsColoursShininessAndAlphaIntoPresetMaterials) {
    FXMatlib lib;
    ASSERT_TRUE(Import(&lib, "Kd 0.5 0.5 0.5\n"
                             "newmtl full\n"
                             "Ns 100\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\nKe 1 1 1\n"
                             "Ni 1.45\nillum 2\nd 0.25\nTr 0.5\nmap_Ks shine.png\n"
                             "newmtl half\nNs 50\n"));
    EXPECT_TRUE(lib.name.Compare(dir.File("lib.mtl").c_str()));
    ASSERT_EQ(lib.materials.size, 3);
    // The unnamed first material takes what comes before the first newmtl.
    EXPECT_TRUE(At(&lib, 0)->name.IsEmpty());
    ExpectColour(At(&lib, 0)->diffuse, 0.5f, 0.5f, 0.5f, 1.0f);
    FXMaterial* m = At(&lib, 1);
    EXPECT_TRUE(m->name.Compare("full"));
    EXPECT_FLOAT_EQ(m->shininess, 128.0f);
    ExpectColour(m->ambient, 0.1f, 0.2f, 0.3f, 0.0f);
    ExpectColour(m->diffuse, 0.4f, 0.5f, 0.6f, 0.25f);
    ExpectColour(m->specular, 0.7f, 0.8f, 0.9f, 1.0f);
    ExpectColour(m->emission, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(m->texFile.IsEmpty());
    // Untouched colours keep the import preset.
    m = At(&lib, 2);
    EXPECT_FLOAT_EQ(m->shininess, 64.0f);
    ExpectColour(m->ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    ExpectColour(m->diffuse, 0.2f, 0.2f, 0.2f, 1.0f);
    ExpectColour(m->specular, 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(m->libOwned);
}

TEST_F(MatlibTest, StatementsAreReadWhereverTheirTokensFall) {
    FXMatlib lib;
    ASSERT_TRUE(Import(&lib, "newmtl crlf\r\n"
                             "Kd 0.5 0.25 0.125 d 0.5 Ns 10\r\n" // several on one line
                             "Ka\n0.75\n0.5 0.25\n"              // numbers on the next lines
                             "Kd 1 0 0 newmtl hidden\n"          // a newmtl the line-wise count misses
                             "Ka 1 oops 3\n"                     // stops at what is no number
                             "Ns 50 newmtl hidden2 d 0.5\n"      // the name is the first word
                             "Kd\n"                              // no number: the next line is kept
                             "newmtl end\n"
                             "Ks 0.5"));
    ASSERT_EQ(lib.materials.size, 5);
    FXMaterial* m = At(&lib, 1);
    EXPECT_TRUE(m->name.Compare("crlf"));
    ExpectColour(m->diffuse, 1.0f, 0.0f, 0.0f, 0.5f);
    EXPECT_FLOAT_EQ(m->shininess, 12.8f);
    ExpectColour(m->ambient, 0.75f, 0.5f, 0.25f, 0.0f);
    m = At(&lib, 2);
    EXPECT_TRUE(m->name.Compare("hidden"));
    ExpectColour(m->ambient, 1.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(m->shininess, 64.0f);
    EXPECT_TRUE(At(&lib, 3)->name.Compare("hidden2"));
    EXPECT_EQ(At(&lib, 3)->diffuse[3], 1.0f);
    EXPECT_TRUE(At(&lib, 4)->name.Compare("end"));
    ExpectColour(At(&lib, 4)->specular, 0.5f, 1.0f, 1.0f, 1.0f);
}

TEST_F(MatlibTest, OverlongTokensAndLinesAreReadBounded) {
    std::string longWord(5000, 'x');
    std::string longName(2000, 'n');
    std::string longPath(3000, 'p');
    FXMatlib lib;
    ASSERT_TRUE(Import(&lib, "# " + longWord + "\n" +                 // comment
                                 "Ka" + longWord + " 0.5 0.5 0.5\n" + // over-long token: line rejected
                                 longWord + "\n" +                    //
                                 "newmtl " + longName + " extra\n" +  // name cut
                                 "Kd 0.1 0.2 0.3\n" +                 // still in step
                                 "map_Kd " + longPath + "\n" +        // texture path cut
                                 "newmtl " + std::string(1500, ' ') + "far\nNs 100\n"));
    ASSERT_EQ(lib.materials.size, 3);
    ExpectColour(At(&lib, 0)->ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    // The buffer takes the line from the blank behind the keyword: one character less for the text.
    FXMaterial* m = At(&lib, 1);
    EXPECT_EQ(std::string(m->name.chars), longName.substr(0, FXMTL_LINE - 2));
    ExpectColour(m->diffuse, 0.1f, 0.2f, 0.3f, 1.0f);
    EXPECT_EQ(std::string(m->texFile.chars), longPath.substr(0, FXMTL_LINE - 2));
    EXPECT_FALSE(m->hasTexture);
    EXPECT_TRUE(At(&lib, 2)->name.IsEmpty()); // its word lay beyond the buffer
    EXPECT_FLOAT_EQ(At(&lib, 2)->shininess, 128.0f);

    const char* odd[] = {"", "newmtl", "Ns", "Kd 1", "map_Kd", "d", "N\nK\nn\n", "Ka 1e40 -1e40 nan\nNs inf\n"};
    for (const char* text : odd) {
        EXPECT_TRUE(Import(&lib, text)) << text;
        EXPECT_GE(lib.materials.size, 1) << text;
    }
    std::string binary;
    for (int i = 0; i < 4096; i++) {
        binary.push_back((char)((i * 131 + 7) & 0xFF));
    }
    binary.append("\0newmtl z\n", 10);
    EXPECT_TRUE(Import(&lib, binary));
}

TEST_F(MatlibTest, ImportOfAMissingFileEmptiesTheLibraryAndKeepsItsName) {
    FXMatlib lib;
    ASSERT_TRUE(Import(&lib, "newmtl a\n"));
    EXPECT_FALSE(lib.LoadFromMtl(dir.File("missing.mtl").c_str()));
    EXPECT_EQ(lib.materials.size, 0);
    EXPECT_TRUE(lib.name.Compare(dir.File("lib.mtl").c_str()));
}

TEST_F(MatlibTest, EveryPeerMtlFileImportsWithTheValuesItWrites) {
    FX_REQUIRE_TESTDATA();
    int files = 0;
    for (const std::string& name : fxTestListDir(VANTREL_TESTDATA "/obj-peer")) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".mtl") {
            FXMatlib lib;
            EXPECT_TRUE(lib.LoadFromMtl(Peer(name.c_str()).c_str())) << name;
            EXPECT_EQ(lib.materials.size, 1 + CountNewmtl(Peer(name.c_str()))) << name;
            files++;
        }
    }
    EXPECT_GE(files, 20);

    FXMatlib box;
    ASSERT_TRUE(box.LoadFromMtl(Peer("cornell_box.mtl").c_str()));
    EXPECT_TRUE(At(&box, 2)->name.Compare("red"));
    ExpectColour(At(&box, 2)->diffuse, 1.0f, 0.0f, 0.0f, 1.0f);
    ExpectColour(At(&box, 2)->specular, 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectColour(box.FindMaterial("light")->ambient, 20.0f, 20.0f, 20.0f, 0.0f);
    FXMatlib indented; // Ns, Ni, Tr, Tf, illum, Ke, indented lines
    ASSERT_TRUE(indented.LoadFromMtl(Peer("issue-138.mtl").c_str()));
    EXPECT_FLOAT_EQ(indented.FindMaterial("test1")->shininess, 12.8f);
    ExpectColour(indented.FindMaterial("test2")->diffuse, 0.2f, 0.5f, 0.2f, 1.0f);
    ExpectColour(indented.FindMaterial("test2")->emission, 0.0f, 0.0f, 0.0f, 0.0f);
    FXMatlib alpha;
    ASSERT_TRUE(alpha.LoadFromMtl(Peer("tr-and-d-issue-43.mtl").c_str()));
    EXPECT_EQ(alpha.FindMaterial("Material.002")->diffuse[3], 0.75f);
    FXMatlib spaces;
    ASSERT_TRUE(spaces.LoadFromMtl(Peer("issue-356-leading-spaces-newmtl.mtl").c_str()));
    ExpectColour(spaces.FindMaterial("aaa")->ambient, 1.0f, 1.0f, 1.0f, 0.0f);
    // map_Kd keeps the rest of its line, trimmed; the pictures are not there.
    FXMatlib tex;
    ASSERT_TRUE(tex.LoadFromMtl(Peer("texture-filename-with-whitespace.mtl").c_str()));
    EXPECT_TRUE(tex.FindMaterial("white")->texFile.Compare("texture 01.png"));
    EXPECT_FALSE(tex.FindMaterial("white")->hasTexture);
    EXPECT_TRUE(tex.FindMaterial("red")->texFile.IsEmpty());
    FXMatlib options;
    ASSERT_TRUE(options.LoadFromMtl(Peer("texture-options-issue-85.mtl").c_str()));
    EXPECT_TRUE(options.FindMaterial("bm3")->texFile.Compare("-type sphere diffuse.jpg"));
    EXPECT_EQ(options.FindMaterial("bm3")->diffuse[3], 1.0f); // "disp" holds no number
}

// ---------------------------------------------------------------------------------------------
// The list

TEST_F(MatlibTest, FindMaterialAsksTheFallbackFirst) {
    FXMatlib base, lib;
    lib.fallback = &base;
    FXMaterial inBase, inLib, onlyLib, unnamed;
    inBase.name.Set("red");
    inLib.name.Set("red");
    onlyLib.name.Set("blue");
    base.AddMaterial(&inBase);
    lib.AddMaterial(&inLib);
    lib.AddMaterial(&onlyLib);
    EXPECT_EQ(lib.FindMaterial("red"), &inBase);
    EXPECT_EQ(lib.FindMaterial("blue"), &onlyLib);
    EXPECT_EQ(lib.FindMaterial("Blue"), nullptr);
    EXPECT_EQ(lib.FindMaterial(""), nullptr);
    lib.AddMaterial(&unnamed);
    EXPECT_EQ(lib.FindMaterial(nullptr), &unnamed);
}

TEST_F(MatlibTest, OnlyOwnedMaterialsAreDeletedAndTheLastReleaseDeletesTheLibrary) {
    FXCanvas picture;
    ASSERT_TRUE(picture.pixmap.Realloc(2, 2));
    picture.pixmap.Clear(0xFFFFFFFFu);
    FXMaterial mine;
    FXMatlib* lib = new FXMatlib();
    EXPECT_EQ(lib->AddMaterial(&mine), 0);
    FXMaterial* owned = MakeMaterial("owned", "", 1.0f);
    ASSERT_TRUE(owned->SetTexture(&picture));
    EXPECT_EQ(lib->AddMaterial(owned), 1);
    EXPECT_EQ(lib->AddMaterial(&mine), 0);
    EXPECT_EQ(lib->materials.size, 2);
    env.matlibs.Push(lib);

    lib->useCount = 2;
    lib->Release();
    EXPECT_EQ(lib->useCount, 1);
    EXPECT_EQ(env.matlibs.Findpos(lib), 0);
    lib->Release(); // the leak check reports the library or its material if they stay
    EXPECT_EQ(env.matlibs.size, 0);
    EXPECT_EQ(env.liveTextures, 0);
    mine.name.Set("alive"); // a use after free if the library had deleted it

    FXMatlib kept;
    kept.releaseDeletes = false;
    kept.AddMaterial(MakeMaterial("owned", "", 2.0f));
    kept.Release();
    EXPECT_EQ(kept.materials.size, 1);
}

// ---------------------------------------------------------------------------------------------
// Stored library

TEST_F(MatlibTest, StoredLibraryRoundTripsExactlyAndLoadAppends) {
    FXMatlib out;
    out.name.Set("models/ship.mtl");
    out.AddMaterial(MakeMaterial("hull", "", 0.5f));
    out.AddMaterial(MakeMaterial("", "/nonexistent/glass.png", -3.25f)); // the picture is not there
    out.AddMaterial(MakeMaterial("glass", "", 1.0f / 3.0f));
    std::string path = dir.File("ship.lib");
    ASSERT_TRUE(out.Save(path.c_str()));
    FXBytes bytes;
    ASSERT_TRUE(fxTestReadFile(path, &bytes));
    EXPECT_EQ(fxTestGetI32(bytes, 0), 15);
    EXPECT_EQ(fxTestGetI32(bytes, 19), 3);

    FXMatlib in;
    ASSERT_TRUE(in.Load(path.c_str()));
    EXPECT_TRUE(in.name.Compare("models/ship.mtl"));
    ExpectSameMaterials(&in, &out);
    EXPECT_FALSE(At(&in, 1)->hasTexture);
    ASSERT_TRUE(in.Load(path.c_str()));
    EXPECT_EQ(in.materials.size, 6);
}

TEST_F(MatlibTest, FilesThatCannotBeOpenedLeaveTheLibraryAlone) {
    FXMatlib lib;
    lib.name.Set("mine");
    lib.AddMaterial(MakeMaterial("a", "", 1.0f));
    EXPECT_FALSE(lib.Load(dir.File("missing.lib").c_str()));
    EXPECT_FALSE(lib.Load(nullptr));
    std::string unwritable = dir.File("no/such/folder/x.lib");
    EXPECT_FALSE(lib.Save(unwritable.c_str()));
    EXPECT_FALSE(fxTestFileExists(unwritable));
    EXPECT_TRUE(lib.name.Compare("mine"));
    ASSERT_EQ(lib.materials.size, 1);
    EXPECT_TRUE(At(&lib, 0)->name.Compare("a"));
}

TEST_F(MatlibTest, DamagedCountsReadOnlyTheRecordsThatAreThere) {
    const int32_t counts[] = {2000000000, 3, -5};
    const int expected[] = {1, 1, 0};
    for (int c = 0; c < 3; c++) {
        FXBytes file;
        fxTestPutStr(&file, "lib");
        fxTestPutI32(&file, counts[c]);
        fxTestPutStr(&file, "only");
        fxTestPutStr(&file, "");
        for (int i = 0; i < 17; i++) {
            fxTestPutF32(&file, 1.0f);
        }
        ASSERT_TRUE(fxTestWriteFile(dir.File("damaged.lib"), file));
        FXMatlib lib;
        EXPECT_TRUE(lib.Load(dir.File("damaged.lib").c_str()));
        EXPECT_EQ(lib.materials.size, expected[c]) << counts[c];
    }
}

// ---------------------------------------------------------------------------------------------
// Packages

TEST_F(MatlibTest, LoadCReadsTheStoredLibraryFromAPackageEntry) {
    FXMatlib out;
    out.name.Set("stored");
    out.AddMaterial(MakeMaterial("one", "", 1.5f));
    out.AddMaterial(MakeMaterial("two", "", 2.5f));
    ASSERT_TRUE(out.Save(dir.File("entry.lib").c_str()));
    FXBytes damaged; // a huge count and one cut record
    fxTestPutStr(&damaged, "damaged");
    fxTestPutI32(&damaged, 2000000000);
    fxTestPutStr(&damaged, "x");
    ASSERT_TRUE(fxTestWriteFile(dir.File("damaged.lib"), damaged));
    FXPackage build;
    build.AddDataFile(7, dir.File("entry.lib").c_str());
    build.AddDataFile(8, dir.File("damaged.lib").c_str());
    ASSERT_TRUE(build.Save(dir.File("test.dat").c_str(), 0));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("test.dat").c_str()));

    FXMatlib in;
    ASSERT_TRUE(in.LoadC(&pkg, "7"));
    EXPECT_TRUE(in.name.Compare("stored"));
    ExpectSameMaterials(&in, &out);
    FXMatlib bad;
    EXPECT_TRUE(bad.LoadC(&pkg, "8"));
    EXPECT_EQ(bad.materials.size, 1);

    FXMatlib none;
    for (const char* id : {"9", "seven", "", "99999999999999999999"}) {
        EXPECT_FALSE(none.LoadC(&pkg, id)) << id;
    }
    EXPECT_FALSE(none.LoadC(nullptr, "7"));
    EXPECT_EQ(none.materials.size, 0);
}

TEST_F(MatlibTest, CompileRegistersEachTextureFileOnceUnderItsId) {
    FXPackage pkg;
    pkg.workFolder.Set(dir.path.c_str());
    FXMatlib lib;
    lib.AddMaterial(MakeMaterial("a", "a.png", 1.0f));
    lib.AddMaterial(MakeMaterial("plain", "", 1.0f));
    lib.AddMaterial(MakeMaterial("b", "sub/b.png", 1.0f));
    lib.AddMaterial(MakeMaterial("a2", "a.png", 1.0f));
    lib.Compile(&pkg);
    std::string aPath = fxCombinePaths(dir.path.c_str(), "a.png");
    std::string bPath = fxCombinePaths(dir.path.c_str(), "sub/b.png");
    std::string aId = std::to_string(pkg.nameServer.FindId(aPath.c_str()));
    std::string bId = std::to_string(pkg.nameServer.FindId(bPath.c_str()));
    EXPECT_NE(aId, bId);
    EXPECT_EQ(At(&lib, 0)->texFile.chars, aId);
    EXPECT_TRUE(At(&lib, 1)->texFile.IsEmpty());
    EXPECT_EQ(At(&lib, 2)->texFile.chars, bId);
    EXPECT_EQ(At(&lib, 3)->texFile.chars, aId);
    ASSERT_EQ(pkg.pendingFiles.size, 2);
    EXPECT_EQ(pkg.pendingFiles.elements[1], bPath);
}

// The whole authoring road: MTL with a picture, compile into a package, read back from it.
TEST_F(MatlibTest, CompiledLibraryLoadsBackWithTexturesFromThePackage) {
    ASSERT_TRUE(fxLoadDevil());
    FXCanvas picture;
    ASSERT_TRUE(picture.pixmap.Realloc(3, 5));
    picture.pixmap.Clear(0x80402010u); // alpha 128
    ASSERT_TRUE(picture.SaveToPict2(dir.File("see.png").c_str(), 0, 0, 3, 5));

    FXMatlib mtl;
    ASSERT_TRUE(Import(&mtl, "newmtl glass\nKd 0.5 0.5 0.5\nmap_Kd " + dir.File("see.png") + "\nnewmtl plain\n"));
    FXMaterial* glass = mtl.FindMaterial("glass");
    EXPECT_TRUE(glass->hasTexture);
    EXPECT_FALSE(glass->IsSolid());

    glass->texFile.Set("see.png"); // relative to the work folder, as compilers take it
    FXPackage build;
    build.workFolder.Set(dir.path.c_str());
    mtl.Compile(&build);
    std::string libPath = dir.File("glass.lib");
    ASSERT_TRUE(mtl.Save(libPath.c_str()));
    build.AddTmpFile(libPath.c_str());
    FXStr libEntry(libPath.c_str());
    build.AddDataFile1(&libEntry);
    ASSERT_TRUE(build.Save(dir.File("glass.dat").c_str(), FXPACKAGE_SCRAMBLE));
    build.DeleteTmpFiles();

    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("glass.dat").c_str()));
    FXMatlib in;
    ASSERT_TRUE(in.LoadC(&pkg, libEntry.chars));
    ExpectSameMaterials(&in, &mtl);
    FXMaterial* back = in.FindMaterial("glass");
    EXPECT_TRUE(back->hasTexture);
    EXPECT_NE(back->glTexture, 0u);
    EXPECT_EQ(back->texture, &back->ownTexture);
    EXPECT_EQ(back->GetWidth(), 3);
    EXPECT_EQ(back->texScaleV, 0.625f);
    EXPECT_FALSE(back->IsSolid());
    EXPECT_FALSE(in.FindMaterial("plain")->hasTexture);
    fxUnloadDevil();
}
