#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "models/model.h"
#include "io/package.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/matlib.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace {

// What the scene loads from each id of the default package.
struct tagExpected {
    int id;
    int type;   // FXDATA_OTHER for models
    bool alpha; // the picture must keep transparency (PNG)
};

const tagExpected localExpected[] = {
    {0, FXDATA_PNG, true},     {1, FXDATA_JPG, false},    {4, FXDATA_OTHER, false},  {5, FXDATA_PNG, true},
    {14, FXDATA_OTHER, false}, {16, FXDATA_OTHER, false}, {18, FXDATA_OTHER, false}, {20, FXDATA_OTHER, false},
    {22, FXDATA_OTHER, false}, {24, FXDATA_OTHER, false}, {25, FXDATA_PNG, true},    {26, FXDATA_PNG, false},
    {27, FXDATA_PNG, true},    {28, FXDATA_JPG, false},   {29, FXDATA_PNG, true},
};

class DefaultPackage : public ::testing::Test {
protected:
    static FXPackage pkg;
    static bool loaded;
    TestEnv env;

    static void SetUpTestSuite() {
        fxLoadDevil();
        loaded = pkg.Load(VANTREL_PACKAGE_PATH);
    }
    static void TearDownTestSuite() {
        pkg.Destroy();
        fxUnloadDevil();
    }
    void SetUp() override {
        ASSERT_TRUE(loaded) << VANTREL_PACKAGE_PATH;
        fxSetEnv(&env);
    }
    void TearDown() override { fxSetEnv(nullptr); }

    FXMesh* Mesh(FXModel* m, int i) { return (FXMesh*)m->workMeshes.elements[i]; }

    // Alpha of the picture at a point given in texture space (u right, v down).
    static float AlphaAt(FXCanvas* c, float u, float v) {
        int x = (int)(u * (float)c->GetWidth()), y = (int)(v * (float)c->GetHeight());
        return (float)(c->pixmap.pixels[(size_t)y * (size_t)c->pixmap.allocWidth + (size_t)x] >> 24) / 255.0f;
    }
};

FXPackage DefaultPackage::pkg;
bool DefaultPackage::loaded = false;

} // namespace

TEST_F(DefaultPackage, EveryIdHoldsWhatItsObjectLoads) {
    for (const tagExpected& e : localExpected) {
        SCOPED_TRACE("id " + std::to_string(e.id));
        ASSERT_GE(pkg.FindEntry(e.id), 0);
        EXPECT_EQ(pkg.GetDataType(e.id), e.type);
        if (e.type != FXDATA_OTHER) {
            FXCanvas c;
            ASSERT_TRUE(c.CreateFromPictCN(&pkg, e.id));
            EXPECT_GT(c.GetWidth(), 0);
            EXPECT_GT(c.GetHeight(), 0);
            if (e.alpha) {
                EXPECT_FALSE(c.opaque) << "a picture drawn over the show needs transparent parts";
            }
        }
    }
    FXTestDir dir;
    FXBytes bytes;
    ASSERT_TRUE(fxTestReadFile(VANTREL_PACKAGE_PATH, &bytes));
    EXPECT_LT(bytes.size(), 8u * 1024u * 1024u);
}

// Every model loads with its library, each mesh finds its material and every material that
// names a picture has its pixels; the indices stay inside the vertex tables.
TEST_F(DefaultPackage, ModelsLoadWithMaterialsAndTextures) {
    for (const tagExpected& e : localExpected) {
        if (e.type != FXDATA_OTHER) {
            continue;
        }
        SCOPED_TRACE("model " + std::to_string(e.id));
        FXModel model;
        ASSERT_TRUE(model.LoadCN(&pkg, e.id));
        model.UpdateMeshes();
        ASSERT_NE(model.matlib, nullptr);
        ASSERT_GT(model.workMeshes.size, 0);
        for (int i = 0; i < model.workMeshes.size; i++) {
            FXMesh* m = Mesh(&model, i);
            ASSERT_NE(m, nullptr);
            EXPECT_GT(m->indexCount, 0);
            EXPECT_EQ(m->indexCount % 3, 0);
            EXPECT_TRUE(m->IndicesValid());
            ASSERT_NE(m->material, nullptr) << m->materialName.chars;
            if (!m->material->texFile.IsEmpty()) {
                ASSERT_NE(m->material->texture, nullptr) << m->materialName.chars;
                int w = m->material->GetWidth(), h = m->material->GetHeight();
                EXPECT_GT(w, 0);
                // Sphere coordinates run 0 ... 1 over the picture: only whole blocks keep them so.
                EXPECT_EQ(w & (w - 1), 0) << w;
                EXPECT_EQ(h & (h - 1), 0) << h;
            }
        }
    }
}

// The engine takes texture rows top first and (c - a) x (b - a) as a triangle's outside; a
// globe made the other way shows the Earth upside down, or its shells' back halves in front.
TEST_F(DefaultPackage, GlobeShellsFaceOutAndKeepNorthOnTop) {
    const int shells[] = {24, 14, 16, 18, 20, 22};
    for (int id : shells) {
        SCOPED_TRACE("shell " + std::to_string(id));
        FXModel model;
        ASSERT_TRUE(model.LoadCN(&pkg, id));
        model.UpdateMeshes();
        int checked = 0;
        for (int i = 0; i < model.workMeshes.size; i++) {
            FXMesh* m = Mesh(&model, i);
            for (int t = 0; t + 2 < m->indexCount; t += 3) {
                const float* a = m->vertices[m->indices[t]].position;
                const float* b = m->vertices[m->indices[t + 1]].position;
                const float* c = m->vertices[m->indices[t + 2]].position;
                float ca[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
                float ba[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
                float n[3] = {ca[1] * ba[2] - ca[2] * ba[1], ca[2] * ba[0] - ca[0] * ba[2],
                              ca[0] * ba[1] - ca[1] * ba[0]};
                float centre[3] = {a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]};
                ASSERT_GT(n[0] * centre[0] + n[1] * centre[1] + n[2] * centre[2], 0.0f) << "triangle " << t / 3;
                checked++;
            }
            // Latitude textures (the Earth, the clouds): v is 0 at the north pole, which the scene
            // turns to the top of the screen (model -Z).
            if (id == 24 || id == 14) {
                for (int v = 0; v < m->vertexCount; v++) {
                    const float* p = m->vertices[v].position;
                    float r = sqrtf(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
                    float polar = acosf(fmaxf(-1.0f, fminf(1.0f, -p[2] / r)));
                    ASSERT_NEAR(m->vertices[v].texCoord[1], polar / 3.14159265f, 1e-3f) << "vertex " << v;
                }
            }
        }
        EXPECT_GT(checked, 100);
    }
}

// The medallion's face reads upright from the front: its top edge samples the picture's first rows.
TEST_F(DefaultPackage, MedallionFaceIsUpright) {
    FXModel model;
    ASSERT_TRUE(model.LoadCN(&pkg, 4));
    model.UpdateMeshes();
    int seen = 0;
    for (int i = 0; i < model.workMeshes.size; i++) {
        FXMesh* m = Mesh(&model, i);
        for (int v = 0; v < m->vertexCount; v++) {
            const tagFXVertex& vx = m->vertices[v];
            if (m->material->texFile.IsEmpty() || vx.normal[2] > -0.5f) {
                continue; // only the textured face towards the viewer (-Z)
            }
            EXPECT_NEAR(vx.texCoord[1], 0.5f - 0.5f * vx.position[1], 1e-4f);
            EXPECT_NEAR(vx.texCoord[0], 0.5f + 0.5f * vx.position[0], 1e-4f);
            seen++;
        }
    }
    EXPECT_GT(seen, 10);
}

// Shell pictures wrap around a sphere: their left and right edges meet at one meridian and each
// of their top and bottom rows shrinks to a pole, so a texel there must match its neighbours
// across the seam or around the pole; a picture drawn in flat picture space shows a seam line
// and a pinched star at the poles.
TEST_F(DefaultPackage, ShellPicturesJoinAtTheSeamAndThePoles) {
    const int shells[] = {14, 16, 18, 20};
    for (int id : shells) {
        SCOPED_TRACE("shell " + std::to_string(id));
        FXModel model;
        ASSERT_TRUE(model.LoadCN(&pkg, id));
        model.UpdateMeshes();
        FXCanvas* c = Mesh(&model, 0)->material->texture;
        ASSERT_NE(c, nullptr);
        const int w = c->GetWidth(), h = c->GetHeight();
        auto channel = [&](int x, int y, int k) {
            return (float)((c->pixmap.pixels[(size_t)y * (size_t)c->pixmap.allocWidth + (size_t)x] >> (8 * k)) & 0xFF) /
                   255.0f;
        };
        float seam = 0.0f;
        for (int y = 0; y < h; y++) {
            for (int k = 0; k < 4; k++) {
                seam += fabsf(channel(0, y, k) - channel(w - 1, y, k));
            }
        }
        EXPECT_LT(seam / (float)(4 * h), 0.03f);
        // Alpha around the poles: the rows nearest them vary little from texel to texel.
        for (int y : {0, h - 1}) {
            float lo = 1.0f, hi = 0.0f;
            for (int x = 0; x < w; x++) {
                lo = fminf(lo, channel(x, y, 3));
                hi = fmaxf(hi, channel(x, y, 3));
            }
            EXPECT_LT(hi - lo, 0.25f) << "row " << y;
        }
    }
}

// The overlays are drawn over the globe: clear where it sits, covering elsewhere.
TEST_F(DefaultPackage, OverlaysLeaveTheGlobeVisible) {
    FXCanvas backdrop, lens;
    ASSERT_TRUE(backdrop.CreateFromPictCN(&pkg, 25));
    ASSERT_TRUE(lens.CreateFromPictCN(&pkg, 27));
    // The globe's centre is at screen (-0.6, -0.6): u 0.2, v 0.8.
    EXPECT_LT(AlphaAt(&backdrop, 0.2f, 0.8f), 0.02f);
    EXPECT_LT(AlphaAt(&lens, 0.2f, 0.8f), 0.02f);
    EXPECT_LT(AlphaAt(&backdrop, 0.35f, 0.7f), 0.02f);
    EXPECT_GT(AlphaAt(&backdrop, 0.8f, 0.2f), 0.9f);
}

namespace {

class FxcontentTool : public ::testing::Test {
protected:
    FXTestDir dir;
    FXTestRun Run(const std::vector<std::string>& args) { return fxTestRunTool(FXCONTENT_PATH, dir, args); }
};

} // namespace

TEST_F(FxcontentTool, TwoBuildsGiveTheSameBytes) {
    const std::string manifest = std::string(VANTREL_SOURCE_DIR) + "/assets/vantrel.manifest";
    FXTestRun first = Run({manifest, "-o", "a.dat"});
    ASSERT_EQ(first.status, 0) << first.err;
    FXTestRun second = Run({manifest, "-o", "b.dat"});
    ASSERT_EQ(second.status, 0) << second.err;
    FXBytes a, b;
    ASSERT_TRUE(fxTestReadFile(dir.File("a.dat"), &a));
    ASSERT_TRUE(fxTestReadFile(dir.File("b.dat"), &b));
    EXPECT_GT(a.size(), 100000u);
    EXPECT_TRUE(a == b);
    // Nothing but the packages is left behind.
    EXPECT_EQ(fxTestListDir(dir.path), (std::vector<std::string>{"a.dat", "b.dat"}));
}

// Bad manifests are refused with the line at fault, before anything is drawn or written.
TEST_F(FxcontentTool, RefusesBadManifests) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"1 tile\nx2 tile\n", "m.txt:2: 'x2' is not an id"},
        {"1 tile\n2 teapot\n", "m.txt:2: 'teapot' is no recipe"},
        {"7 tile\n# note\n7 lens\n", "m.txt:3: id 7 is already made on line 1"},
        {"-3 tile\n", "m.txt:1: '-3' is not an id"},
        {"9\n", "m.txt:1: '' is no recipe"},
        {"# nothing\n\n", "names nothing to make"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(fxTestWriteText(dir.File("m.txt"), c.text));
        FXTestRun r = Run({"m.txt", "-o", "out.dat"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fxTestFileExists(dir.File("out.dat")));
    }
    FXTestRun folder = Run({".", "-o", "out.dat"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("cannot read the manifest ."), std::string::npos) << folder.err;
    FXTestRun help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: fxcontent"), std::string::npos);
    EXPECT_EQ(Run({"m.txt"}).status, 2);
    EXPECT_EQ(Run({"m.txt", "-o"}).status, 2);
}

// A missing source picture fails the build and leaves no package.
TEST_F(FxcontentTool, MissingEarthPictureFails) {
    ASSERT_TRUE(fxTestWriteText(dir.File("m.txt"), "26 tile\n24 earth\n"));
    FXTestRun r = Run({"m.txt", "-o", "out.dat", "--earth", "nowhere.jpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nowhere.jpg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("m.txt:2: id 24 (earth) could not be made"), std::string::npos) << r.err;
    EXPECT_EQ(fxTestListDir(dir.path), (std::vector<std::string>{"m.txt"}));
}
