#include <gtest/gtest.h>

#include <string>

#include "io/package.h"
#include "base/env.h"
#include "render/material.h"
#include "render/matlib.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace {

class EnvMaterialsTest : public ::testing::Test {
protected:
    TestEnv env;
    FXTestDir dir;

    void SetUp() override { fxSetEnv(&env); }
    void TearDown() override { fxSetEnv(nullptr); }

    std::string WriteMtl(const char* name, const std::string& text) {
        std::string path = dir.File(name);
        EXPECT_TRUE(fxTestWriteText(path, text));
        return path;
    }
};

} // namespace

TEST_F(EnvMaterialsTest, NewEnvironmentHoldsTheDefaultMaterialInTheDefaultLibrary) {
    EXPECT_EQ(env.GetDefaultMaterial(), &env.defMaterial);
    EXPECT_EQ(env.GetDefaultMatlib(), &env.defMatlib);
    EXPECT_EQ(env.defMaterial.diffuse[3], 1.0f);
    ASSERT_EQ(env.defMatlib.materials.size, 1);
    EXPECT_EQ(env.defMatlib.materials.elements[0], (void*)&env.defMaterial);
    EXPECT_EQ(env.matlibs.size, 0);
    EXPECT_FALSE(env.testingMaterial);
    // A stray last release must not delete the embedded library.
    env.defMatlib.Release();
    EXPECT_EQ(env.defMatlib.FindMaterial(""), &env.defMaterial);
}

TEST_F(EnvMaterialsTest, SameNameGivesTheSameLibraryUntilItsLastRelease) {
    std::string path = WriteMtl("a.mtl", "newmtl red\nKd 1 0 0\n");
    FXMatlib* first = env.LoadMatlib(path.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->fallback, &env.defMatlib);
    EXPECT_EQ(env.LoadMatlib(path.c_str()), first);
    EXPECT_EQ(first->useCount, 2);
    FXMatlib* other = env.LoadMatlib(WriteMtl("b.mtl", "newmtl red\n").c_str());
    EXPECT_NE(other, first);
    EXPECT_EQ(env.matlibs.size, 2);

    first->Release();
    EXPECT_EQ(env.matlibs.Findpos(first), 0);
    first->Release();
    ASSERT_EQ(env.matlibs.size, 1);
    EXPECT_EQ(env.matlibs.elements[0], (void*)other);

    // A file that is not there still gives a listed, empty library.
    FXMatlib* missing = env.LoadMatlib(dir.File("missing.mtl").c_str());
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->materials.size, 0);
    EXPECT_EQ(env.matlibs.Findpos(missing), 1);
}

TEST_F(EnvMaterialsTest, DefaultLibraryAnswersFirst) {
    FXMaterial shared;
    shared.name.Set("red");
    env.AddMaterial(&shared);
    env.AddMaterial(&shared);
    EXPECT_EQ(env.defMatlib.materials.size, 2);
    FXMatlib* lib = env.LoadMatlib(WriteMtl("c.mtl", "newmtl red\nnewmtl blue\n").c_str());
    ASSERT_EQ(lib->materials.size, 3);
    EXPECT_EQ(lib->FindMaterial("red"), &shared);
    EXPECT_EQ(lib->FindMaterial("blue"), (FXMaterial*)lib->materials.elements[2]);
    EXPECT_EQ(lib->FindMaterial(""), &env.defMaterial);
    env.defMatlib.RemoveMaterial(&shared);
}

TEST_F(EnvMaterialsTest, RemoveMatlibTakesOnlyListedLibrariesOff) {
    FXMatlib* a = env.LoadMatlib(WriteMtl("a.mtl", "").c_str());
    FXMatlib* b = env.LoadMatlib(WriteMtl("b.mtl", "").c_str());
    FXMatlib stranger;
    env.RemoveMatlib(&stranger);
    env.RemoveMatlib(nullptr);
    ASSERT_EQ(env.matlibs.size, 2);
    env.RemoveMatlib(a);
    ASSERT_EQ(env.matlibs.size, 1);
    EXPECT_EQ(env.matlibs.elements[0], (void*)b);
    delete a; // no longer the environment's
}

TEST_F(EnvMaterialsTest, PackageLibrariesLoadByEntryId) {
    FXMatlib stored;
    FXMaterial* gold = new FXMaterial();
    gold->libOwned = true;
    gold->name.Set("gold");
    gold->diffuse[0] = 0.75f;
    stored.AddMaterial(gold);
    ASSERT_TRUE(stored.Save(dir.File("gold.lib").c_str()));
    FXPackage build;
    build.AddDataFile(12, dir.File("gold.lib").c_str());
    ASSERT_TRUE(build.Save(dir.File("gold.dat").c_str(), 0));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("gold.dat").c_str()));

    FXMatlib* lib = env.LoadMatlibCN(&pkg, 12);
    EXPECT_EQ(lib->fallback, &env.defMatlib);
    ASSERT_NE(lib->FindMaterial("gold"), nullptr);
    EXPECT_EQ(lib->FindMaterial("gold")->diffuse[0], 0.75f);
    FXMatlib* absent = env.LoadMatlibC(&pkg, "13");
    ASSERT_NE(absent, nullptr);
    EXPECT_EQ(absent->materials.size, 0);
    EXPECT_EQ(env.matlibs.size, 2);

    // Asking for the same entry again shares the library instead of loading a copy.
    int uses = lib->useCount;
    EXPECT_EQ(env.LoadMatlibCN(&pkg, 12), lib);
    EXPECT_EQ(lib->useCount, uses + 1);
    EXPECT_EQ(env.matlibs.size, 2);
}

TEST_F(EnvMaterialsTest, DestroyReleasesLibrariesDefaultsAndTheirTextures) {
    FXCanvas picture;
    ASSERT_TRUE(picture.pixmap.Realloc(2, 2));
    picture.pixmap.Clear(0xFFFFFFFFu);
    ASSERT_TRUE(env.defMaterial.SetTexture(&picture));
    FXMatlib* lib = env.LoadMatlib(WriteMtl("d.mtl", "newmtl t\n").c_str());
    ASSERT_TRUE(lib->FindMaterial("t")->SetTexture(&picture));
    env.LoadMatlib(WriteMtl("e.mtl", "newmtl u\n").c_str());
    ASSERT_EQ(env.liveTextures, 2);

    env.Destroy(); // the leak check reports the libraries if they stay
    EXPECT_EQ(env.matlibs.size, 0);
    EXPECT_EQ(env.defMatlib.materials.size, 0);
    EXPECT_FALSE(env.defMaterial.hasTexture);
    EXPECT_EQ(env.liveTextures, 0);
    env.Destroy();
}

TEST_F(EnvMaterialsTest, DefaultMaterialIsAppliedUnlessMaterialsAreUnderTest) {
    env.ApplyDefaultMaterial();
    EXPECT_EQ(env.applyCalls, 1);
    EXPECT_EQ(env.lastApplied, &env.defMaterial);
    env.EnableTestingMaterial(true);
    env.ApplyDefaultMaterial();
    EXPECT_EQ(env.applyCalls, 1);
    env.EnableTestingMaterial(false);
    EXPECT_FALSE(env.testingMaterial);
}
