#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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

// "id kind" of each entry line of fxpack list.
std::vector<std::string> IdsAndKinds(const std::string& listed) {
    std::vector<std::string> rows;
    for (size_t at = listed.find('\n') + 1, end; (end = listed.find('\n', at)) != std::string::npos; at = end + 1) {
        int id = 0, offset = 0, size = 0, used = 0;
        std::string line = listed.substr(at, end - at);
        if (sscanf(line.c_str(), "%d %d %d %n", &id, &offset, &size, &used) == 3) {
            rows.push_back(std::to_string(id) + " " + line.substr((size_t)used));
        }
    }
    return rows;
}

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
    EXPECT_EQ(r.err, "fxpack: warning: src/cube.obj: 1 usemtl naming a material the library does not hold, drawn "
                     "plain (line 11)\n");

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
                     "library cube.mtl (3 materials)\n"
                     "meshes 3\n"
                     "materials used 2\n"
                     "vertices 10\n"
                     "triangles 4\n"
                     "meshes by drawing pass: 2 solid, 1 blended\n"
                     "mesh 0: white, 4 vertices, 2 triangles, solid\n"
                     "mesh 1: red, 3 vertices, 1 triangles, blended\n"
                     "mesh 2: (no material), 3 vertices, 1 triangles, solid\n");
    ASSERT_EQ(rename(dir.File("src/cube.xm").c_str(), dir.File("cube.xm").c_str()), 0);
    r = Run({"info", "cube.xm"});
    EXPECT_NE(r.out.find("library cube.mtl (not found)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("materials used 2 (2 not in the library)\n"), std::string::npos) << r.out;
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
    // What the build added is announced.
    EXPECT_NE(r.out.find("wrote a.dat: 4 entries"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("21  PNG              src/wood.png (added)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("22  material library src/box_20.matlib (added)"), std::string::npos) << r.out;
    r = Run({"list", "a.dat"});
    // The model keeps its place; the texture (a file of its own) and the library follow.
    EXPECT_EQ(IdsAndKinds(r.out), (std::vector<std::string>{"20 model", "3 PNG", "21 PNG", "22 material library"}));
    std::string header = fxTestReadText(dir.File("a.h"));
    EXPECT_NE(header.find("#define FXNAME_WOOD_PNG  21\n"), std::string::npos) << header;
    EXPECT_NE(header.find("#define FXNAME_BOX_20_MATLIB  22\n"), std::string::npos) << header;

    r = Run({"info", "a.dat", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("library 22 (3 materials)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mesh 0: wood, 4 vertices, 2 triangles, solid\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mesh 1: glass, 3 vertices, 1 triangles, blended\n"), std::string::npos) << r.out;
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
    // Names are relative to the manifest, so a build started elsewhere writes the same file.
    ASSERT_EQ(Run({"build", dir.File("show.txt"), "-o", "c.dat", "--names", "c.names"}).status, 0);
    EXPECT_EQ(fxTestReadText(dir.File("a.names")), fxTestReadText(dir.File("c.names")));
    EXPECT_NE(fxTestReadText(dir.File("a.names")).find("src/box_20.matlib"), std::string::npos);
    EXPECT_EQ(fxTestReadText(dir.File("a.names")).find(dir.path), std::string::npos);
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

TEST_F(FxpackModelTest, MissingTexturesAndLibrariesWarnAlikeAndFailUnderStrict) {
    WriteTexturedModel();
    ASSERT_EQ(remove(dir.File("src/wood.png").c_str()), 0);
    ASSERT_TRUE(fxTestWriteText(dir.File("src/bare.obj"), "mtllib gone.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    FXBytes old = fxTestPattern(16, 4);
    ASSERT_TRUE(fxTestWriteFile(dir.File("a.dat"), old));
    struct {
        const char* obj;
        const char* message;
    } cases[] = {
        {"src/box.obj", "texture wood.png of material 'wood' cannot be read"},
        {"src/bare.obj", "material library gone.mtl cannot be read"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), std::string("1 ") + c.obj + "\n"));
        for (const char* command : {"model", "build"}) {
            const char* out = strcmp(command, "model") == 0 ? "x.xm" : "x.dat";
            std::vector<std::string> args = {command, strcmp(command, "model") == 0 ? c.obj : "show.txt", "-o", out};
            FXTestRun r = Run(args);
            EXPECT_EQ(r.status, 0) << command << " " << c.obj << r.err;
            EXPECT_NE(r.err.find(std::string("warning: ") + c.obj + ": " + c.message), std::string::npos) << r.err;
            EXPECT_TRUE(fxTestFileExists(dir.File(out)));
            remove(dir.File(out).c_str());

            args.push_back("--strict");
            args[3] = "a.dat";
            r = Run(args);
            EXPECT_EQ(r.status, 1) << command << " " << c.obj;
            EXPECT_NE(r.err.find(std::string("fxpack: ") + c.obj + ": " + c.message), std::string::npos) << r.err;
            FXBytes now;
            ASSERT_TRUE(fxTestReadFile(dir.File("a.dat"), &now));
            EXPECT_EQ(now, old);
            EXPECT_TRUE(fxTestListDir(tmp).empty());
        }
    }
    // A build leaves out what is missing instead of storing an empty library or failing.
    ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), "1 src/bare.obj\n2 src/box.obj\n"));
    FXTestRun r = Run({"build", "show.txt", "-o", "b.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"list", "b.dat"});
    EXPECT_EQ(IdsAndKinds(r.out), (std::vector<std::string>{"1 model", "2 model", "3 material library"}));
    EXPECT_EQ(fxTestListDir(dir.File("src")), (std::vector<std::string>{"bare.obj", "box.mtl", "box.obj"}));
    EXPECT_TRUE(fxTestListDir(tmp).empty());
}
