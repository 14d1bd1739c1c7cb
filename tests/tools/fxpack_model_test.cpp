#include <gtest/gtest.h>

#include <cmath>
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
#include "support/testdata.h"

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

// OBJ text of generated model kind 0 (a grid of shared corners, one normal for all) or 1 and 2
// (vectors from a few values, zeros of both signs, NaN in kind 2; groups, n-gons, negative
// indices). Numbers are written as integers and fixed words, so any writer makes the same text.
std::string GeneratedObj(int kind) {
    uint32_t seed = 17u + (uint32_t)kind;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (int)((seed >> 16) % n);
    };
    std::string s;
    char line[160];
    if (kind == 0) {
        const int side = 24;
        for (int i = 0; i < side * side; i++) {
            int z = next(3) - 1;
            snprintf(line, sizeof(line), "v %d %d %d\nvt %d.5 %d\n", i % side, i / side, z, i % side, i / side);
            s += line;
        }
        s += "vn 0 0 1\n";
        for (int y = 0; y + 1 < side; y++) {
            for (int x = 0; x + 1 < side; x++) {
                int a = y * side + x + 1, b = a + 1, c = a + side, d = c + 1;
                snprintf(line, sizeof(line), "f %d/%d/1 %d/%d/1 %d/%d/1\nf %d/%d/1 %d/%d/1 %d/%d/1\n", a, a, c, c, b, b,
                         b, b, c, c, d, d);
                s += line;
            }
        }
        return s;
    }
    const char* values[] = {"0", "-0", "1", "0.5", "2", "nan"};
    const uint32_t kinds = kind == 2 ? 6 : 5;
    const int count = 120;
    for (int i = 0; i < count; i++) {
        std::string v = "v";
        for (int k = 0; k < 3; k++) {
            v += std::string(" ") + values[next(kinds)];
        }
        std::string t = "vt";
        for (int k = 0; k < 2; k++) {
            t += std::string(" ") + values[next(kinds)];
        }
        s += v + "\n" + t + "\n";
    }
    for (int f = 0; f < 150; f++) {
        if (f % 40 == 0) {
            s += "g part" + std::to_string(f / 40) + "\n";
        }
        int corners = 3 + (next(4) == 0 ? next(3) : 0);
        s += "f";
        for (int c = 0; c < corners; c++) {
            int i = 1 + next(count);
            int written = next(5) == 0 ? i - count - 1 : i;
            s += " " + std::to_string(written) + "/" + std::to_string(written);
        }
        s += "\n";
    }
    return s;
}

uint64_t Fnv64(const FXBytes& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        h = (h ^ b) * 0x100000001b3ull;
    }
    return h;
}

// The skip summary of an OBJ text as a plain reading finds it, line by line, word by word: the
// warnings fxpack model prints for it (usemtl and mtllib left out).
std::string PlainSummary(const std::string& name, const std::string& text) {
    auto words = [](const std::string& line) {
        std::vector<std::string> w;
        size_t at = 0;
        while ((at = line.find_first_not_of(" \t\r\f\v", at)) != std::string::npos) {
            size_t end = line.find_first_of(" \t\r\f\v", at);
            end = end == std::string::npos ? line.size() : end;
            w.push_back(line.substr(at, end - at));
            at = end;
        }
        return w;
    };
    std::vector<std::vector<std::string>> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        lines.push_back(words(text.substr(at, end - at)));
        at = end + 1;
    }
    auto table = [](const std::string& k) { return k == "v" ? 0 : k == "vt" ? 1 : k == "vn" ? 2 : -1; };
    long long totals[3] = {0, 0, 0}, sofar[3] = {0, 0, 0};
    for (const auto& w : lines) {
        if (!w.empty() && table(w[0]) >= 0) {
            totals[table(w[0])]++;
        }
    }
    // Causes in the order of the summary: no statement, number, corner, index, too few, ignored.
    std::vector<int> found[6];
    const char* unused[] = {"o", "s", "vp", "p", "curv2", "lod"};
    for (size_t n = 0; n < lines.size(); n++) {
        const auto& w = lines[n];
        int line = (int)n + 1;
        if (w.empty() || w[0][0] == '#' || w[0] == "g") {
            continue;
        }
        int t = table(w[0]);
        if (t >= 0) {
            sofar[t]++;
            bool ok = w.size() > (t == 1 ? 1u : 3u);
            for (size_t i = 1; ok && i < w.size() && i <= 3; i++) {
                char* end = nullptr;
                float v = strtof(w[i].c_str(), &end);
                ok = end != w[i].c_str() && *end == 0 && std::isfinite(v);
            }
            if (!ok) {
                found[1].push_back(line);
            }
        } else if (w[0] == "f" || w[0] == "l") {
            bool cornersOk = true, indexOk = true;
            for (size_t i = 1; i < w.size(); i++) {
                size_t s1 = w[i].find('/');
                size_t s2 = s1 == std::string::npos ? s1 : w[i].find('/', s1 + 1);
                std::string parts[3] = {w[i].substr(0, s1), "", ""};
                if (s1 != std::string::npos) {
                    parts[1] = w[i].substr(s1 + 1, s2 == std::string::npos ? s2 : s2 - s1 - 1);
                    parts[2] = s2 == std::string::npos ? "" : w[i].substr(s2 + 1);
                }
                for (int p = 0; p < 3; p++) {
                    const std::string& d = parts[p];
                    size_t digits = d.find_first_not_of("+-") == 1 ? 1 : 0;
                    bool isIndex = d.size() > digits &&
                                   d.find_first_not_of("0123456789", digits) == std::string::npos &&
                                   (digits == 0 || d.size() > 1);
                    if (p > 0 && d.empty()) {
                        continue;
                    }
                    // Past 18 digits no table reaches: held there.
                    long long v = isIndex ? atoll(d.substr(0, digits + 18).c_str()) : 0;
                    if (v == 0) {
                        cornersOk = false;
                    } else if (v > 0 ? v > totals[p] : -v > sofar[p]) {
                        indexOk = false;
                    }
                }
            }
            if (!cornersOk) {
                found[2].push_back(line);
            } else if (w.size() - 1 < (w[0] == "f" ? 3u : 2u)) {
                found[4].push_back(line);
            } else if (!indexOk) {
                found[3].push_back(line);
            }
        } else {
            bool ignored = false;
            for (const char* u : unused) {
                ignored = ignored || w[0] == u;
            }
            found[ignored ? 5 : 0].push_back(line);
        }
    }
    const char* texts[6] = {"lines that are no statement, skipped",
                            "v, vn or vt lines with a missing, unreadable or infinite number, not read as written",
                            "faces or lines with a corner that is no index, skipped",
                            "faces or lines naming a vertex, texture coordinate or normal that does not exist, skipped",
                            "faces with fewer than 3 corners or lines with fewer than 2 points, skipped",
                            "statements the engine has no use for (o, s, ...), ignored"};
    std::string summary;
    for (int c = 0; c < 6; c++) {
        if (found[c].empty()) {
            continue;
        }
        summary += "fxpack: warning: " + name + ": " + std::to_string(found[c].size()) + " " + texts[c] + " (" +
                   (found[c].size() > 1 ? "lines " : "line ");
        for (size_t i = 0; i < found[c].size() && i < 5; i++) {
            summary += (i > 0 ? ", " : "") + std::to_string(found[c][i]);
        }
        summary += std::string(found[c].size() > 5 ? ", ..." : "") + ")\n";
    }
    return summary;
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
    // One line, and no trace of the text's first bytes read as a length.
    r = Run({"info", "src/a.obj"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fxpack: src/a.obj is not a model\n");
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

// The stored bytes of generated and real models, pinned: saving may get faster, never different.
TEST_F(FxpackModelTest, ModelsKeepTheirStoredBytes) {
    const uint64_t generated[] = {0x35e67473a6d39f35ull, 0x19197a67785844d9ull, 0x1948740910b4ef60ull};
    for (int kind = 0; kind < 3; kind++) {
        std::string name = "g" + std::to_string(kind) + ".obj";
        ASSERT_TRUE(fxTestWriteText(dir.File(name), GeneratedObj(kind)));
        FXTestRun r = Run({"model", name, "-o", "g.xm"});
        ASSERT_EQ(r.status, 0) << name << r.err;
        FXBytes bytes;
        ASSERT_TRUE(fxTestReadFile(dir.File("g.xm"), &bytes));
        EXPECT_EQ(Fnv64(bytes), generated[kind]) << name << " " << std::hex << Fnv64(bytes);
    }
    FX_REQUIRE_TESTDATA();
    const struct {
        const char* obj;
        uint64_t hash;
    } real[] = {{"obj-real/spot.obj", 0x57204849b14e0e50ull}, {"obj-real/teapot.obj", 0x80afc3f6f77f2d46ull}};
    for (const auto& c : real) {
        FXTestRun r = Run({"model", std::string(VANTREL_TESTDATA) + "/" + c.obj, "-o", "r.xm"});
        ASSERT_EQ(r.status, 0) << c.obj << r.err;
        FXBytes bytes;
        ASSERT_TRUE(fxTestReadFile(dir.File("r.xm"), &bytes));
        EXPECT_EQ(Fnv64(bytes), c.hash) << c.obj << " " << std::hex << Fnv64(bytes);
    }
}

// Generated files of odd statements, numbers and corners (some naming entries further on): the summary counts and the
// first lines of each cause are what a plain reading of the text finds. One file fills whole pages exactly.
TEST_F(FxpackModelTest, SkipSummaryAgreesWithAPlainReading) {
    const char* numbers[] = {"1",
                             "-2.5",
                             "+.5",
                             "5.",
                             ".",
                             "-",
                             "1e",
                             "1e+",
                             "1e5",
                             "1e38",
                             "3.4e38",
                             "3.5e38",
                             "1e39",
                             "1e-99999",
                             "inf",
                             "-INF",
                             "nan",
                             "0x1p3",
                             "1.2.3",
                             "abc",
                             "1E-5",
                             "1e00038",
                             "0.000001e40",
                             "9999999999999999999999999999999999999999",
                             "00000000000000000000000000000000000000001"};
    const char* indices[] = {"1",
                             "2",
                             "3",
                             "-1",
                             "-2",
                             "0",
                             "-0",
                             "+1",
                             "99",
                             "-99",
                             "",
                             "x",
                             "1x",
                             "+",
                             "99999999999999999999999",
                             "-99999999999999999999999",
                             "5",
                             "9"};
    const char* others[] = {"#x", "# c", "g a", "o x", "s 1", "vp 1", "foo",
                            "v1", "f1",  "",    "   ", "\r",  "p 1",  "curv2"};
    const char* spaces[] = {" ", "  ", "\t", " \r", "\v", "\f"};
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    std::string all;
    for (int file = 0; file < 12; file++) {
        std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
        for (int n = 0; n < 40; n++) {
            uint32_t what = next(10);
            std::string line;
            if (what < 4) {
                line = std::string(next(2) ? "  " : "") + (what == 0 ? "v" : what == 1 ? "vt" : "vn");
                for (uint32_t k = next(6); k > 0; k--) {
                    line += std::string(spaces[next(6)]) + numbers[next(25)];
                }
            } else if (what < 7) {
                line = next(2) ? "f" : "l";
                for (uint32_t k = next(6); k > 0; k--) {
                    std::string corner = indices[next(18)];
                    for (uint32_t slashes = next(5), i = 0; i < slashes && i < 3; i++) {
                        corner += std::string(i == 1 && next(2) ? "/" : "") + "/" + indices[next(18)];
                    }
                    line += std::string(spaces[next(6)]) + corner;
                }
            } else {
                line = others[next(14)];
            }
            text += line + (file % 2 ? "\r\n" : "\n");
        }
        if (file == 0) {
            // Whole pages: no byte past the end of the file to stand for a terminator.
            size_t pages = (text.size() + 2) / 4096 + 1;
            text += "#" + std::string(pages * 4096 - text.size() - 2, 'x') + "\n";
        }
        std::string name = "s" + std::to_string(file) + ".obj";
        ASSERT_TRUE(fxTestWriteText(dir.File(name), text));
        FXTestRun r = Run({"model", name, "-o", "s.xm"});
        EXPECT_EQ(r.status, 0) << name;
        std::string warnings;
        for (size_t at = 0, end; (end = r.err.find('\n', at)) != std::string::npos; at = end + 1) {
            std::string line = r.err.substr(at, end + 1 - at);
            warnings += line.find("warning: ") != std::string::npos ? line : "";
        }
        EXPECT_EQ(warnings, PlainSummary(name, text)) << name << "\n" << text;
        all += warnings;
    }
    // The files reach every cause.
    for (const char* cause :
         {"no statement", "infinite number", "no index", "does not exist", "fewer than 3", "no use for"}) {
        EXPECT_NE(all.find(cause), std::string::npos) << cause;
    }
}
