#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "models/model.h"
#include "geometry/mesh.h"
#include "support/test_env.h"
#include "support/test_files.h"
#include "support/testdata.h"

namespace {

// Two triangles whose shared corner (1, 0, 0) lies on the straight edge from (0,0,0) to (2,0,0).
const char* kStrip = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 2 0 0\nf 1 2 3\nf 2 4 3\n";

class FxpackReduceTest : public ::testing::Test {
protected:
    FXTestDir dir;

    FXTestRun Run(const std::vector<std::string>& args) { return fxTestRunTool(FXPACK_PATH, dir, args); }

    // Triangles of every mesh of a stored model, and whether every index is valid.
    int StoredTriangles(const std::string& path, bool* valid) {
        TestEnv env;
        fxSetEnv(&env);
        FXModel model;
        int triangles = -1;
        *valid = false;
        if (model.Load(path.c_str())) {
            triangles = 0;
            *valid = true;
            for (int i = 0; i < model.loadedMeshes.size; i++) {
                FXMesh* m = (FXMesh*)model.loadedMeshes.elements[i];
                triangles += m->indexCount / 3;
                *valid = *valid && m->IndicesValid();
            }
        }
        model.Destroy();
        fxSetEnv(nullptr);
        return triangles;
    }
};

} // namespace

TEST_F(FxpackReduceTest, SweepsUntilNothingChangesAndPrintsEachStep) {
    ASSERT_TRUE(fxTestWriteText(dir.File("strip.obj"), kStrip));
    ASSERT_EQ(Run({"model", "strip.obj", "-o", "strip.xm"}).status, 0);
    FXTestRun r = Run({"reduce", "strip.xm", "-o", "small.xm", "--tolerance", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "model: 2 triangles, 4 vertices\n"
                     "sweep 1: triangles 2 -> 1, vertices 4 -> 3\n"
                     "sweep 2: triangles 1 -> 1, vertices 3 -> 3\n"
                     "wrote small.xm: 1 meshes, 1 triangles\n");
    bool valid = false;
    EXPECT_EQ(StoredTriangles(dir.File("small.xm"), &valid), 1);
    EXPECT_TRUE(valid);

    r = Run({"reduce", "strip.xm", "-o", "one.xm", "--tolerance", "1", "--sweeps", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "model: 2 triangles, 4 vertices\nsweep 1: triangles 2 -> 1, vertices 4 -> 3\n"
                     "wrote one.xm: 1 meshes, 1 triangles\n");
    EXPECT_EQ(fxTestReadText(dir.File("one.xm")), fxTestReadText(dir.File("small.xm")));
}

TEST_F(FxpackReduceTest, RealModelReducesToValidTriangles) {
    FX_REQUIRE_TESTDATA();
    ASSERT_EQ(Run({"model", std::string(VANTREL_TESTDATA) + "/obj-real/spot.obj", "-o", "spot.xm"}).status, 0);
    FXTestRun r = Run({"reduce", "spot.xm", "-o", "spot_small.xm", "--tolerance", "20", "--sweeps", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("model: 5856 triangles"), 0u) << r.out;
    EXPECT_NE(r.out.find("sweep 3: triangles "), std::string::npos) << r.out;
    bool valid = false;
    int triangles = StoredTriangles(dir.File("spot_small.xm"), &valid);
    EXPECT_TRUE(valid);
    EXPECT_GT(triangles, 0);
    EXPECT_LT(triangles, 5856);
}

TEST_F(FxpackReduceTest, ReducesTheModelEntryOfAPackage) {
    ASSERT_EQ(mkdir(dir.File("src").c_str(), 0700), 0);
    ASSERT_TRUE(fxTestWriteText(dir.File("src/strip.obj"), kStrip));
    ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), "7 src/strip.obj\n"));
    ASSERT_EQ(Run({"build", "show.txt", "-o", "show.dat"}).status, 0);
    FXTestRun r = Run({"reduce", "show.dat", "7", "-o", "entry.xm", "--tolerance", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sweep 1: triangles 2 -> 1, vertices 4 -> 3\n"), std::string::npos) << r.out;
    bool valid = false;
    EXPECT_EQ(StoredTriangles(dir.File("entry.xm"), &valid), 1);
    EXPECT_EQ(Run({"reduce", "show.dat", "8", "-o", "none.xm", "--tolerance", "1"}).status, 1);
    EXPECT_FALSE(fxTestFileExists(dir.File("none.xm")));
}

TEST_F(FxpackReduceTest, AnEntryThatIsNoModelIsRefused) {
    ASSERT_TRUE(fxTestWriteText(dir.File("blob.bin"), "not a model"));
    ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), "3 blob.bin\n"));
    ASSERT_EQ(Run({"build", "show.txt", "-o", "show.dat"}).status, 0);
    FXTestRun r = Run({"reduce", "show.dat", "3", "-o", "blob.xm", "--tolerance", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("entry 3 of show.dat is not a model"), std::string::npos) << r.err;
    EXPECT_FALSE(fxTestFileExists(dir.File("blob.xm")));
}

TEST_F(FxpackReduceTest, DiscardsTrianglesThatShowOnlyTransparentTexels) {
    // A picture opaque on its left half, clear on its right; one triangle on each half. Written
    // by hand as an uncompressed 32-bit targa (top row first) so that its alpha is exact.
    FXBytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 0x28};
    for (int y = 0; y < 4; y++) {
        for (int x = 0; x < 4; x++) {
            FXBytes bgra = {0x20, 0x40, 0xA0, (uint8_t)(x < 2 ? 0xFF : 0x00)};
            tga.insert(tga.end(), bgra.begin(), bgra.end());
        }
    }
    ASSERT_TRUE(fxTestWriteFile(dir.File("half.tga"), tga));
    ASSERT_TRUE(fxTestWriteText(dir.File("half.mtl"), "newmtl half\nmap_Kd half.tga\n"));
    ASSERT_TRUE(fxTestWriteText(dir.File("half.obj"), "mtllib half.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 0 0\nv 6 0 0\n"
                                                      "v 5 1 0\nvt 0.1 0.1\nvt 0.4 0.1\nvt 0.1 0.9\nvt 0.6 0.1\n"
                                                      "vt 0.9 0.1\nvt 0.6 0.9\nusemtl half\nf 1/1 2/2 3/3\n"
                                                      "f 4/4 5/5 6/6\n"));
    ASSERT_EQ(Run({"model", "half.obj", "-o", "half.xm"}).status, 0);
    FXTestRun r = Run({"reduce", "half.xm", "-o", "kept.xm", "--discard-transparent", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "model: 2 triangles, 6 vertices\n"
                     "transparent (alpha <= 0.5, 1 textured meshes): triangles 2 -> 1, vertices 6 -> 3\n"
                     "wrote kept.xm: 1 meshes, 1 triangles\n");
    bool valid = false;
    EXPECT_EQ(StoredTriangles(dir.File("kept.xm"), &valid), 1);
    EXPECT_TRUE(valid);
}

TEST_F(FxpackReduceTest, WrongUseWritesNothing) {
    ASSERT_TRUE(fxTestWriteText(dir.File("strip.obj"), kStrip));
    ASSERT_EQ(Run({"model", "strip.obj", "-o", "strip.xm"}).status, 0);
    EXPECT_EQ(Run({"reduce", "strip.xm", "-o", "x.xm"}).status, 2);
    EXPECT_EQ(Run({"reduce", "strip.xm", "--tolerance", "1"}).status, 2);
    EXPECT_EQ(Run({"reduce", "strip.xm", "-o", "x.xm", "--tolerance", "-1"}).status, 2);
    EXPECT_EQ(Run({"reduce", "strip.xm", "-o", "x.xm", "--tolerance", "1", "--sweeps", "0"}).status, 2);
    EXPECT_EQ(Run({"reduce", "strip.xm", "-o", "x.xm", "--discard-transparent", "half"}).status, 2);
    EXPECT_EQ(Run({"reduce", "strip.obj", "-o", "x.xm", "--tolerance", "1"}).status, 1);
    EXPECT_EQ(Run({"reduce", "missing.xm", "-o", "x.xm", "--tolerance", "1"}).status, 1);
    EXPECT_FALSE(fxTestFileExists(dir.File("x.xm")));
}
