#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "models/model.h"
#include "io/package.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/material.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace {

class FxpackModelTest : public ::testing::Test {
protected:
    FXTestDir dir;
    std::string tmp; // the tool's TMPDIR, to see what it leaves behind

    void SetUp() override {
        tmp = dir.File("tmp");
        ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(dir.File("src").c_str(), 0700), 0);
    }

    FXTestRun Run(const std::vector<std::string>& args) {
        return fxTestRunTool(FXPACK_PATH, dir, args, "TMPDIR='" + tmp + "' ");
    }

    // A textured square and a plain triangle in src/, with their library and picture.
    void WriteTexturedModel() {
        ASSERT_TRUE(fxLoadDevil());
        FXCanvas picture;
        ASSERT_TRUE(picture.pixmap.Realloc(5, 7));
        picture.pixmap.Clear(0xFF00FF00u);
        ASSERT_TRUE(picture.SaveToPict(dir.File("src/wood.png").c_str()));
        fxUnloadDevil();
        ASSERT_TRUE(fxTestWriteText(dir.File("src/box.mtl"), "newmtl wood\nmap_Kd wood.png\nnewmtl glass\nd 0.25\n"));
        ASSERT_TRUE(fxTestWriteText(dir.File("src/box.obj"),
                                    "mtllib box.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\n"
                                    "vt 0 1\nusemtl wood\nf 1/1 2/2 3/3 4/4\nusemtl glass\nf 1 3 4\n"));
    }
};

} // namespace

TEST_F(FxpackModelTest, ModelWritesWhatTheEngineWritesAndInfoDescribesIt) {
    ASSERT_TRUE(fxTestWriteText(dir.File("src/cube.mtl"), "newmtl white\nnewmtl red\nd 0.5\n"));
    ASSERT_TRUE(fxTestWriteText(dir.File("src/cube.obj"), "mtllib cube.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                                          "v 0 0 1\nusemtl white\nf 1 2 3 4\nusemtl red\nf 1 2 5\n"
                                                          "usemtl none\nf 2 3 5\n"));
    FXTestRun r = Run({"model", "src/cube.obj", "-o", "cube.xm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // The engine's own import and save, from the OBJ's folder.
    {
        TestEnv env;
        fxSetEnv(&env);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        ASSERT_EQ(chdir(dir.File("src").c_str()), 0);
        FXModel model;
        ASSERT_TRUE(model.ImportObj("cube.obj"));
        model.UpdateMeshes();
        ASSERT_TRUE(model.Save(dir.File("engine.xm").c_str()));
        model.Destroy();
        ASSERT_EQ(chdir(cwd), 0);
        fxSetEnv(nullptr);
    }
    FXBytes tool, engine;
    ASSERT_TRUE(fxTestReadFile(dir.File("cube.xm"), &tool));
    ASSERT_TRUE(fxTestReadFile(dir.File("engine.xm"), &engine));
    EXPECT_EQ(tool, engine);

    // The library path is read relative to the model's folder.
    ASSERT_EQ(rename(dir.File("cube.xm").c_str(), dir.File("src/cube.xm").c_str()), 0);
    r = Run({"info", "src/cube.xm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "format xm03\n"
                     "name \n"
                     "library cube.mtl (3 materials)\n"
                     "meshes 3\n"
                     "materials 2\n"
                     "vertices 10\n"
                     "triangles 4\n"
                     "render classes 0:2 1:1 2:0\n"
                     "mesh 0: white, 4 vertices, 2 triangles, render class 0\n"
                     "mesh 1: red, 3 vertices, 1 triangles, render class 1\n"
                     "mesh 2: (no material), 3 vertices, 1 triangles, render class 0\n");
    ASSERT_EQ(rename(dir.File("src/cube.xm").c_str(), dir.File("cube.xm").c_str()), 0);
    r = Run({"info", "cube.xm"});
    EXPECT_NE(r.out.find("library cube.mtl (not found)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("materials 2 (2 not in the library)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mesh 1: red (not in the library), 3 vertices"), std::string::npos) << r.out;
}

TEST_F(FxpackModelTest, WrongUseAndMissingInputWriteNothing) {
    ASSERT_TRUE(fxTestWriteText(dir.File("src/a.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    EXPECT_EQ(Run({"model", "src/a.obj"}).status, 2);
    EXPECT_EQ(Run({"model", "-o", "x.xm"}).status, 2);
    EXPECT_EQ(Run({"model", "src/a.obj", "src/a.obj", "-o", "x.xm"}).status, 2);
    EXPECT_EQ(Run({"model", "src/a.obj", "-o", "x.xm", "--fast"}).status, 2);
    FXTestRun r = Run({"model", "src/none.obj", "-o", "x.xm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read src/none.obj"), std::string::npos) << r.err;
    r = Run({"model", "src/a.obj", "-o", "no/folder/x.xm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(fxTestListDir(dir.path), (std::vector<std::string>{"src", "tmp"}));

    EXPECT_EQ(Run({"info"}).status, 2);
    EXPECT_EQ(Run({"info", "a", "b", "c"}).status, 2);
    r = Run({"info", "src/a.obj"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("src/a.obj is not a model"), std::string::npos) << r.err;
    r = Run({"--help"});
    EXPECT_NE(r.out.find("fxpack model OBJ -o MODEL"), std::string::npos);
    EXPECT_NE(r.out.find("fxpack info MODEL | PACKAGE ID"), std::string::npos);
}

TEST_F(FxpackModelTest, BuildStoresModelsWithTheirLibrariesAndTexturesAboveTheFixedIds) {
    WriteTexturedModel();
    ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), "20 src/box.obj\n3 src/wood.png\n"));
    FXTestRun r = Run({"build", "show.txt", "-o", "a.dat", "--names", "a.names", "--header", "a.h"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    r = Run({"list", "a.dat"});
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = r.out.substr(at, end - at);
        lines.push_back(line.substr(0, line.find(' ')) + line.substr(line.rfind(' ')));
    }
    // The model keeps its place; the texture (a file of its own) and the library follow.
    EXPECT_EQ(lines, (std::vector<std::string>{"20 data", "3 png", "21 png", "22 data"}));
    std::string header = fxTestReadText(dir.File("a.h"));
    EXPECT_NE(header.find("#define FXNAME_WOOD_PNG  21\n"), std::string::npos) << header;
    EXPECT_NE(header.find("#define FXNAME_BOX_20_MATLIB  22\n"), std::string::npos) << header;

    r = Run({"info", "a.dat", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("library 22 (3 materials)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mesh 0: wood, 4 vertices, 2 triangles, render class 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mesh 1: glass, 3 vertices, 1 triangles, render class 1\n"), std::string::npos) << r.out;
    r = Run({"info", "a.dat", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("entry 3 of a.dat is not a model"), std::string::npos);
    EXPECT_EQ(Run({"info", "a.dat", "99"}).status, 1);

    // The same build again gives the same bytes; nothing is left in the sources or TMPDIR.
    ASSERT_EQ(Run({"build", "show.txt", "-o", "b.dat", "--names", "b.names"}).status, 0);
    FXBytes a, b;
    ASSERT_TRUE(fxTestReadFile(dir.File("a.dat"), &a));
    ASSERT_TRUE(fxTestReadFile(dir.File("b.dat"), &b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(fxTestReadText(dir.File("a.names")), fxTestReadText(dir.File("b.names")));
    EXPECT_EQ(fxTestListDir(dir.File("src")), (std::vector<std::string>{"box.mtl", "box.obj", "wood.png"}));
    EXPECT_TRUE(fxTestListDir(tmp).empty());

    // The engine draws the packaged model with its texture from the package.
    ASSERT_TRUE(fxLoadDevil());
    {
        TestEnv env;
        fxSetEnv(&env);
        FXPackage pkg;
        ASSERT_TRUE(pkg.Load(dir.File("a.dat").c_str()));
        FXModel model;
        ASSERT_TRUE(model.LoadCN(&pkg, 20));
        ASSERT_EQ(model.loadedMeshes.size, 2);
        FXMaterial* wood = ((FXMesh*)model.loadedMeshes.elements[0])->material;
        ASSERT_NE(wood, nullptr);
        EXPECT_TRUE(wood->hasTexture);
        EXPECT_EQ(wood->GetWidth(), 5);
        EXPECT_EQ(wood->GetHeight(), 7);
        EXPECT_STREQ(wood->texFile.chars, "21");
        model.Destroy();
        fxSetEnv(nullptr);
    }
    fxUnloadDevil();
}

TEST_F(FxpackModelTest, ABuildWhoseModelCannotBeMadeWritesNothing) {
    WriteTexturedModel();
    ASSERT_EQ(remove(dir.File("src/wood.png").c_str()), 0);
    FXBytes old = fxTestPattern(16, 4);
    ASSERT_TRUE(fxTestWriteFile(dir.File("a.dat"), old));
    ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), "1 src/box.obj\n"));
    FXTestRun r = Run({"build", "show.txt", "-o", "a.dat", "--names", "a.names"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("texture wood.png of material 'wood'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("show.txt:1: no model could be made of ./src/box.obj"), std::string::npos) << r.err;
    FXBytes now;
    ASSERT_TRUE(fxTestReadFile(dir.File("a.dat"), &now));
    EXPECT_EQ(now, old);
    EXPECT_FALSE(fxTestFileExists(dir.File("a.names")));
    EXPECT_EQ(fxTestListDir(dir.File("src")), (std::vector<std::string>{"box.mtl", "box.obj"}));
    EXPECT_TRUE(fxTestListDir(tmp).empty());

    // The stand-alone model only warns: the library stays a file beside it.
    r = Run({"model", "src/box.obj", "-o", "box.xm"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning"), std::string::npos);
}
