#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "models/model.h"
#include "models/model_obj.h"
#include "geometry/mesh.h"
#include "model_test_helpers.h"
#include "render/material.h"
#include "render/matlib.h"
#include "support/testdata.h"

namespace {

class ObjTest : public ModelFixture {
protected:
    // Writes the text as an OBJ file in the test folder, which becomes the current folder so
    // that mtllib names resolve there.
    bool Parse(FXObjModel* obj, const std::string& text) {
        std::string path = Write("m.obj", text);
        EXPECT_EQ(chdir(dir.path.c_str()), 0);
        return obj->Load(path.c_str());
    }

    bool Import(FXModel* model, const std::string& text) {
        std::string path = Write("m.obj", text);
        EXPECT_EQ(chdir(dir.path.c_str()), 0);
        return model->ImportObj(path.c_str());
    }
};

MObjFace* Face(FXObjModel* obj, int i) {
    return i >= 0 && i < obj->faces.size ? (MObjFace*)obj->faces.elements[i] : nullptr;
}

MObjGroup* Group(FXObjModel* obj, int i) {
    return i >= 0 && i < obj->groups.size ? (MObjGroup*)obj->groups.elements[i] : nullptr;
}

const float* Entry(FXMemory* table, int i) {
    return (const float*)table->GetItemPtr(i);
}

void ExpectTriple(const int32_t* got, int a, int b, int c) {
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], b);
    EXPECT_EQ(got[2], c);
}

// The mesh's triangles as position-index triples, read back through the vertices' source indices.
std::vector<std::vector<int>> SourceTriangles(FXMesh* mesh) {
    std::vector<std::vector<int>> tris;
    for (int i = 0; i + 2 < mesh->indexCount; i += 3) {
        tris.push_back({mesh->vertices[mesh->indices[i]].reserved[0], mesh->vertices[mesh->indices[i + 1]].reserved[0],
                        mesh->vertices[mesh->indices[i + 2]].reserved[0]});
    }
    return tris;
}

const char* const kCube = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n";

} // namespace

// ---------------------------------------------------------------------------------------------
// Parsing

TEST_F(ObjTest, TablesAreFilledWithZNegatedForPositionsAndNormals) {
    FXObjModel obj;
    ASSERT_TRUE(Parse(&obj, "v 1 2 3\nvn 0 0 1\nvt 0.5 0.25\nv -1.5e1 .5 -0\n"));
    ASSERT_EQ(obj.positions.size, 2);
    ASSERT_EQ(obj.normals.size, 1);
    ASSERT_EQ(obj.texCoords.size, 1);
    const float* p = Entry(&obj.positions, 0);
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 2.0f);
    EXPECT_EQ(p[2], -3.0f);
    EXPECT_EQ(Entry(&obj.positions, 1)[0], -15.0f);
    EXPECT_EQ(Entry(&obj.positions, 1)[1], 0.5f);
    EXPECT_EQ(Entry(&obj.normals, 0)[2], -1.0f);
    EXPECT_EQ(Entry(&obj.texCoords, 0)[0], 0.5f);
    EXPECT_EQ(Entry(&obj.texCoords, 0)[1], 0.25f);
    EXPECT_EQ(obj.mtllibName, nullptr);
    EXPECT_EQ(obj.matlib, nullptr);

    // Without vt statements the texture table holds a zero entry per position.
    FXObjModel bare;
    ASSERT_TRUE(Parse(&bare, "v 1 1 1\nv 2 2 2\nv 3 3 3\n"));
    ASSERT_EQ(bare.texCoords.size, 3);
    EXPECT_EQ(Entry(&bare.texCoords, 2)[0], 0.0f);
}

TEST_F(ObjTest, CornerShapesAndFans) {
    FXObjModel obj;
    std::string text = std::string(kCube) + "v 2 2 2\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 2 2\nvt 3 3\n" +
                       "vn 1 0 0\nvn 0 1 0\nvn 0 0 1\nvn 1 1 0\nvn 0 1 1\nvn 1 0 1\nvn 1 1 1\nvn 2 0 0\nvn 0 2 0\n" +
                       "f 1 2 3 4\n"
                       "f 1/4/7 2/5/8 3/6/9\n"
                       "f 1//2 3//4 5//6\n"
                       "f 1/1 2/2 3\n"; // a corner that lacks what the first had
    ASSERT_TRUE(Parse(&obj, text));
    ASSERT_EQ(obj.faces.size, 5);
    ExpectTriple(Face(&obj, 0)->v, 0, 1, 2);
    ExpectTriple(Face(&obj, 1)->v, 0, 2, 3);
    ExpectTriple(Face(&obj, 1)->n, -1, -1, -1);
    ExpectTriple(Face(&obj, 1)->t, -1, -1, -1);
    ExpectTriple(Face(&obj, 2)->v, 0, 1, 2);
    ExpectTriple(Face(&obj, 2)->t, 3, 4, 5);
    ExpectTriple(Face(&obj, 2)->n, 6, 7, 8);
    ExpectTriple(Face(&obj, 3)->v, 0, 2, 4);
    ExpectTriple(Face(&obj, 3)->n, 1, 3, 5);
    ExpectTriple(Face(&obj, 3)->t, -1, -1, -1);
    ExpectTriple(Face(&obj, 4)->t, 0, 1, -1);
    EXPECT_FALSE(Face(&obj, 4)->isLine);
}

TEST_F(ObjTest, LinesAreKeptAndCountedButMakeNoGeometry) {
    FXModel model;
    ASSERT_TRUE(Import(&model, std::string(kCube) + "l 1 2 3\nf 1 2 3\n"));
    FXObjModel obj;
    ASSERT_TRUE(Parse(&obj, std::string(kCube) + "l 1 2 3\nf 1 2 3\n"));
    ASSERT_EQ(obj.faces.size, 3);
    EXPECT_TRUE(Face(&obj, 0)->isLine);
    EXPECT_TRUE(Face(&obj, 1)->isLine);
    EXPECT_EQ(Face(&obj, 0)->v[0], 0);
    EXPECT_EQ(Face(&obj, 0)->v[1], 1);
    EXPECT_EQ(Face(&obj, 1)->v[0], 1);
    EXPECT_EQ(Face(&obj, 1)->v[1], 2);
    EXPECT_EQ(Group(&obj, 0)->Filled(), 3);
    EXPECT_EQ(Triangles(&model.loadedMeshes), 1);
    EXPECT_EQ(LoadedMesh(&model, 0)->vertexCount, 3);
}

TEST_F(ObjTest, GroupsAreFoundByTrimmedNameAndOrderTheTriangles) {
    FXObjModel obj;
    std::string text =
        std::string(kCube) + "f 1 2 3\ng  wall  \nf 2 3 4\ng roof\nf 3 4 5\ng wall\nf 4 5 6\ng\nf 5 6 7\n";
    ASSERT_TRUE(Parse(&obj, text));
    ASSERT_EQ(obj.groups.size, 3);
    EXPECT_TRUE(Group(&obj, 1)->name.Compare("wall"));
    EXPECT_TRUE(Group(&obj, 2)->name.Compare("roof"));
    EXPECT_EQ(Group(&obj, 0)->Filled(), 2);
    EXPECT_EQ(Group(&obj, 1)->Filled(), 2);
    EXPECT_EQ(((int32_t*)Group(&obj, 1)->faceIds.block)[1], 3);

    // Triangles come group by group: the default group, then wall, then roof.
    FXModel model;
    ASSERT_TRUE(Import(&model, text));
    std::vector<std::vector<int>> want = {{0, 1, 2}, {4, 5, 6}, {1, 2, 3}, {3, 4, 5}, {2, 3, 4}};
    EXPECT_EQ(SourceTriangles(LoadedMesh(&model, 0)), want);
}

TEST_F(ObjTest, UnknownStatementsAreReportedWithTheirMessages) {
    FXObjModel obj;
    std::string log = Traced([&] {
        ASSERT_TRUE(Parse(&obj, std::string(kCube) + "s 1\nvp 1 2\nmaplib x\nusemap y\no f 1 2 3\nf 1 2 3\n"));
    });
    EXPECT_NE(log.find("localPrepareModel -> unknown token(3): s 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("localPrepareModel -> unknown token(0): vp\n"), std::string::npos) << log;
    EXPECT_NE(log.find("localPrepareModel -> unknown token(3): o f 1 2 3\n"), std::string::npos) << log;
    // Both passes report tokens that only look like mtllib and usemtl.
    EXPECT_EQ(Occurrences(log, "localPrepareModel -> unknown token(1): maplib\n"), 2) << log;
    EXPECT_EQ(Occurrences(log, "localPrepareModel -> unknown token(2): usemap\n"), 2) << log;
    // The skipped line of an unknown statement hides its f; the numbers after vp are no statement.
    EXPECT_EQ(obj.faces.size, 1);
}

TEST_F(ObjTest, MaterialsAreNumberedByFirstUseAndMakeOneMeshEach) {
    Write("m.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 1 0\nd 0.5\n");
    FXModel model;
    ASSERT_TRUE(Import(&model, std::string(kCube) + "mtllib m.mtl\nf 1 2 3\nusemtl b\nf 2 3 4\nusemtl a\nf 3 4 5\n"
                                                    "usemtl b\nf 4 5 6\nusemtl\nf 5 6 7\nusemtl nowhere\nf 6 7 8\n"));
    ASSERT_EQ(model.loadedMeshes.size, 3);
    FXMesh* b = LoadedMesh(&model, 0);
    FXMesh* a = LoadedMesh(&model, 1);
    FXMesh* nowhere = LoadedMesh(&model, 2);
    EXPECT_TRUE(b->materialName.Compare("b"));
    EXPECT_EQ(b->renderClass, 1); // d 0.5: translucent
    EXPECT_TRUE(a->materialName.Compare("a"));
    EXPECT_EQ(a->renderClass, 0);
    ASSERT_NE(a->material, nullptr);
    EXPECT_EQ(a->material->diffuse[0], 1.0f);
    EXPECT_EQ(nowhere->material, nullptr);
    EXPECT_TRUE(nowhere->materialName.IsEmpty());
    // Faces before the first usemtl belong to material 0; a usemtl without a name keeps the
    // current one.
    EXPECT_EQ(b->indexCount / 3, 4);
    EXPECT_EQ(a->indexCount / 3, 1);
    EXPECT_EQ(nowhere->indexCount / 3, 1);
    EXPECT_TRUE(model.matlibRef.Compare("m.mtl"));
    ASSERT_NE(model.matlib, nullptr);
    // The model holds one use; the parser's own use went with it.
    EXPECT_EQ(model.matlib->useCount, 1);
    model.Destroy();
    EXPECT_EQ(env.matlibs.size, 0);
}

TEST_F(ObjTest, FacesWithoutAnyUsemtlMakeOneMeshWithoutMaterial) {
    FXModel model;
    ASSERT_TRUE(Import(&model, std::string(kCube) + "f 1 2 3 4\n"));
    ASSERT_EQ(model.loadedMeshes.size, 1);
    EXPECT_EQ(LoadedMesh(&model, 0)->material, nullptr);
    EXPECT_EQ(LoadedMesh(&model, 0)->renderClass, 0);
    EXPECT_EQ(Triangles(&model.loadedMeshes), 2);
    EXPECT_EQ(model.matlib, nullptr);

    FXModel lines;
    ASSERT_TRUE(Import(&lines, std::string(kCube) + "l 1 2\n"));
    EXPECT_EQ(lines.loadedMeshes.size, 0);
}

TEST_F(ObjTest, CornersMergeOnlyWhenAllThreeIndicesAgree) {
    FXModel model;
    ASSERT_TRUE(Import(&model, std::string(kCube) + "vn 0 0 1\nvn 0 1 0\nvt 0.5 0.25\n"
                                                    "f 1//1 2//1 3//1\nf 1//1 3//1 4//1\nf 1//2 2//1 4//1\n"));
    FXMesh* mesh = LoadedMesh(&model, 0);
    ASSERT_EQ(mesh->indexCount, 9);
    EXPECT_EQ(mesh->vertexCount, 5);
    int want[9] = {0, 1, 2, 0, 2, 3, 4, 1, 3};
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(mesh->indices[i], want[i]) << i;
    }
    tagFXVertex* v = &mesh->vertices[1];
    EXPECT_EQ(v->position[0], 1.0f);
    EXPECT_EQ(v->normal[2], -1.0f);
    EXPECT_EQ(v->colour[3], 1.0f);
    EXPECT_EQ(v->texCoord[0], 0.0f); // no texture index: zeros
    ExpectTriple(v->reserved, 1, 0, -1);
    ExpectTriple(mesh->vertices[4].reserved, 0, 1, -1);
}

// The hashed merge must give what a scan from the first vertex gives: vertices in order of first
// use, each corner pointing at the first vertex with its source triple.
TEST_F(ObjTest, MergingMatchesAFirstMatchScan) {
    std::mt19937 rng(7);
    std::string text;
    for (int i = 0; i < 40; i++) {
        text += "v " + std::to_string(i) + " 0 0\nvn 0 " + std::to_string(i) + " 1\nvt 0." + std::to_string(i) + " 0\n";
    }
    std::vector<std::tuple<int, int, int>> corners;
    for (int f = 0; f < 3000; f++) {
        text += "f";
        for (int c = 0; c < 3; c++) {
            int v = (int)(rng() % 40), t = (int)(rng() % 3), n = (int)(rng() % 2);
            corners.emplace_back(v, n, t);
            text += " " + std::to_string(v + 1) + "/" + std::to_string(t + 1) + "/" + std::to_string(n + 1);
        }
        text += "\n";
    }
    FXModel model;
    ASSERT_TRUE(Import(&model, text));
    FXMesh* mesh = LoadedMesh(&model, 0);
    std::vector<std::tuple<int, int, int>> scanned;
    ASSERT_EQ(mesh->indexCount, (int)corners.size());
    for (size_t i = 0; i < corners.size(); i++) {
        size_t k = 0;
        while (k < scanned.size() && scanned[k] != corners[i]) {
            k++;
        }
        if (k == scanned.size()) {
            scanned.push_back(corners[i]);
        }
        ASSERT_EQ(mesh->indices[i], (int)k) << i;
    }
    ASSERT_EQ(mesh->vertexCount, (int)scanned.size());
    for (size_t k = 0; k < scanned.size(); k++) {
        ExpectTriple(mesh->vertices[k].reserved, std::get<0>(scanned[k]), std::get<1>(scanned[k]),
                     std::get<2>(scanned[k]));
    }
}

// ---------------------------------------------------------------------------------------------
// Indices the tables do not hold

TEST_F(ObjTest, NegativeIndicesCountBackFromTheEntriesReadSoFar) {
    FXObjModel obj;
    ASSERT_TRUE(Parse(&obj, "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf -3/-1 -2/-1 -1/-1\n"
                            "v 5 5 5\nv 6 6 6\nv 7 7 7\nf -3 -2 -1\nf 1 -1 2\n"));
    ASSERT_EQ(obj.faces.size, 3);
    ExpectTriple(Face(&obj, 0)->v, 0, 1, 2);
    ExpectTriple(Face(&obj, 0)->t, 0, 0, 0);
    ExpectTriple(Face(&obj, 1)->v, 3, 4, 5);
    ExpectTriple(Face(&obj, 2)->v, 0, 5, 1);
}

// The first corner sets the statement's shape as scanf's patterns read it: tried on generated
// tokens, each followed by three corners of the shape the C library's own sscanf gives it.
TEST_F(ObjTest, FirstCornerReadsAsScanfOverGeneratedTokens) {
    struct Expected {
        std::string tok;
        int got, x[3];
        bool hasT, hasN;
    };
    const char* pieces[] = {"1", "2", "-1", "+3", "/", "//", "x", "0"};
    const char* follow[] = {" 4 5 6", " 4/4 5/5 6/6", " 4//4 5//5 6//6", " 4/4/4 5/5/5 6/6/6"};
    std::string text;
    for (int i = 0; i < 9; i++) {
        text += "v 0 0 0\nvt 0 0\nvn 0 0 1\n";
    }
    std::mt19937 rng(5);
    std::vector<Expected> cases;
    for (int i = 0; i < 600; i++) {
        Expected e = {"", 0, {0, 0, 0}, false, false};
        for (int n = 1 + (int)(rng() % 5); n > 0; n--) {
            e.tok += pieces[rng() % 8];
        }
        const char* t = e.tok.c_str();
        int shape;
        if (strstr(t, "//") != nullptr) {
            e.got = sscanf(t, "%d//%d", &e.x[0], &e.x[2]);
            e.hasN = e.got == 2;
            shape = 2;
        } else if (sscanf(t, "%d/%d/%d", &e.x[0], &e.x[1], &e.x[2]) == 3) {
            e.got = 3;
            e.hasT = e.hasN = true;
            shape = 3;
        } else if ((e.got = sscanf(t, "%d/%d", &e.x[0], &e.x[1])) == 2) {
            e.hasT = true;
            shape = 1;
        } else {
            e.got = sscanf(t, "%d", &e.x[0]);
            shape = 0;
        }
        cases.push_back(e);
        text += "f " + e.tok + follow[shape] + "\n";
    }
    FXObjModel obj;
    ASSERT_TRUE(Parse(&obj, text));
    auto resolve = [](int i) { return i > 0 && i <= 9 ? i - 1 : i < 0 && i >= -9 ? 9 + i : -2; };
    int face = 0;
    for (const Expected& e : cases) {
        // No corner, or one that names no entry: the statement makes nothing.
        if (e.got < 1 || resolve(e.x[0]) < 0 || (e.hasT && resolve(e.x[1]) < 0) || (e.hasN && resolve(e.x[2]) < 0)) {
            continue;
        }
        ASSERT_LT(face + 1, obj.faces.size) << e.tok;
        const MObjFace* f = Face(&obj, face);
        const MObjFace* g = Face(&obj, face + 1);
        EXPECT_EQ(f->v[0], resolve(e.x[0])) << e.tok;
        EXPECT_EQ(f->t[0], e.hasT ? resolve(e.x[1]) : -1) << e.tok;
        EXPECT_EQ(f->n[0], e.hasN ? resolve(e.x[2]) : -1) << e.tok;
        // The corners after it read whole in the same shape.
        EXPECT_EQ(g->v[2], 5) << e.tok;
        EXPECT_EQ(g->t[2], e.hasT ? 5 : -1) << e.tok;
        EXPECT_EQ(g->n[2], strstr(e.tok.c_str(), "//") != nullptr || e.got == 3 ? 5 : -1) << e.tok;
        face += 2;
    }
    EXPECT_EQ(face, obj.faces.size);
    EXPECT_GT(face, 200); // the generated tokens reach every shape and many failures
}

TEST_F(ObjTest, IndicesOutsideTheirTablesDropTheStatement) {
    FXModel model;
    std::string log = Traced([&] {
        ASSERT_TRUE(Import(&model, std::string(kCube) + "vn 0 0 1\n"
                                                        "f 1 2 3\n"
                                                        "f 0 1 2\n"          // zero
                                                        "f 1 2 9\n"          // past the positions
                                                        "f 1 2 3 -9\n"       // before the first position
                                                        "f 1//1 2//2 3//1\n" // past the normals
                                                        "f 99999999999 1 2\nf -2147483648 1 2\n"
                                                        "f 2 3 4\n"));
    });
    EXPECT_EQ(Triangles(&model.loadedMeshes), 2);
    EXPECT_EQ(Occurrences(log, "statement left out"), 6) << log;
    EXPECT_NE(log.find("#ERROR: "), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Text the statements do not expect

TEST_F(ObjTest, LineEndsLongLinesAndShortStatementsAreHandled) {
    std::string longComment = "#" + std::string(3000, 'x') + " f 1 2 3\n";
    std::string longName(1500, 'n');
    Write("m.mtl", "newmtl a\n");
    FXModel model;
    ASSERT_TRUE(Import(&model, std::string("mtllib m.mtl\r\n") + kCube + longComment + "usemtl a\r\n" + "g " +
                                   longName + "\nf 1 2\nf 1\nf x\nl 1\nf 1 2 3\r\nf 4 5 6"));
    ASSERT_EQ(model.loadedMeshes.size, 1);
    EXPECT_TRUE(LoadedMesh(&model, 0)->materialName.Compare("a"));
    EXPECT_EQ(Triangles(&model.loadedMeshes), 2);

    FXObjModel obj;
    ASSERT_TRUE(Parse(&obj, std::string(kCube) + "g " + longName + "\nf 1 2 3\n"));
    // The first 1023 characters of the rest of the line (the space after g among them), trimmed.
    ASSERT_EQ(obj.groups.size, 2);
    EXPECT_EQ(std::string(Group(&obj, 1)->name.chars), std::string(FXOBJ_LINE - 2, 'n'));
}

TEST_F(ObjTest, MissingFilesAndEmptyFiles) {
    FXModel model;
    EXPECT_FALSE(model.ImportObj(dir.File("none.obj").c_str()));
    EXPECT_FALSE(model.ImportObj(nullptr));
    EXPECT_EQ(model.loadedMeshes.size, 0);
    EXPECT_TRUE(Import(&model, ""));
    EXPECT_EQ(model.loadedMeshes.size, 0);
    // A library that cannot be read comes back empty: the meshes keep no material.
    EXPECT_TRUE(Import(&model, std::string(kCube) + "mtllib gone.mtl\nusemtl a\nf 1 2 3\n"));
    ASSERT_EQ(model.loadedMeshes.size, 1);
    EXPECT_EQ(LoadedMesh(&model, 0)->material, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Files written by others

// Triangles a reader of each file expects: polygons become fans, and a face naming a position,
// texture coordinate or normal the file does not have is left out.
TEST_F(ObjTest, EveryPeerAndRealFileImportsWithTheExpectedTriangles) {
    FX_REQUIRE_TESTDATA();
    const std::map<std::string, int> expected = {
        {"catmark_torus_creases0.obj", 0}, // names normals, has none
        {"colorspace-issue-184.obj", 1},
        {"cornell_box.obj", 36},
        {"cornell_box_multimaterial.obj", 36},
        {"cube-vertex-w-component.obj", 12},
        {"cube-vertexcol.obj", 12},
        {"cube.obj", 12},
        {"invalid-face-definition.obj", 0},
        {"invalid-relative-texture-index.obj", 0},
        {"invalid-relative-vertex-index.obj", 0},
        {"issue-138.obj", 12},
        {"issue-140-zero-face-idx.obj", 0},
        {"issue-161-inconsistent-f.obj", 12},
        {"issue-162-smoothing-group.obj", 12},
        {"issue-235-usemtl-then-o.obj", 2},
        {"issue-244-mtl-searchpaths.obj", 2},
        {"issue-246-usemtl-whitespace.obj", 1},
        {"issue-248-texres-texopt.obj", 12},
        {"issue-295-trianguation-failure.obj", 28},
        {"issue-319-002.obj", 14},
        {"issue-319-003.obj", 8},
        {"issue-330.obj", 3},
        {"issue-356-leading-spaces-newmtl.obj", 0},
        {"issue-92.obj", 1},
        {"issue-95-2.obj", 1},
        {"issue-95.obj", 1},
        {"leading-decimal-dot-issue-201.obj", 1},
        {"leading-zero-in-exponent-notation-issue-210.obj", 1},
        {"line-prim.obj", 0},
        {"map-bump.obj", 400},
        {"missing_material_file.obj", 36},
        {"mtl filename with whitespace issue46.obj", 12},
        {"mtllib-multiple-files-issue-112.obj", 1},
        {"no_material.obj", 36},
        {"norm-texopt.obj", 1},
        {"pbr-mat-ext.obj", 2},
        {"points-prim.obj", 0},
        {"refl.obj", 12},
        {"skin-weight.obj", 12},
        {"smoothing-group-two-squares.obj", 0}, // names normals, has none
        {"smoothing-normal.obj", 6},
        {"test-nan.obj", 36},
        {"texture-filename-with-whitespace.obj", 12},
        {"texture-options-issue-85.obj", 1},
        {"tr-and-d-issue-43.obj", 400},
        {"usemtl-issue-104.obj", 6},
        {"usemtl-issue-68.obj", 400},
    };
    std::vector<std::string> files = fxTestListDir(VANTREL_TESTDATA "/obj-peer");
    int seen = 0;
    ASSERT_EQ(chdir(VANTREL_TESTDATA "/obj-peer"), 0);
    for (const std::string& name : files) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".obj") != 0) {
            continue;
        }
        auto want = expected.find(name);
        ASSERT_NE(want, expected.end()) << "no expectation for " << name;
        FXModel model;
        ASSERT_TRUE(model.ImportObj(name.c_str())) << name;
        EXPECT_EQ(Triangles(&model.loadedMeshes), want->second) << name;
        for (int i = 0; i < model.loadedMeshes.size; i++) {
            EXPECT_TRUE(LoadedMesh(&model, i)->IndicesValid()) << name;
        }
        seen++;
    }
    EXPECT_EQ(seen, (int)expected.size());

    FXModel spot, teapot;
    ASSERT_TRUE(spot.ImportObj(VANTREL_TESTDATA "/obj-real/spot.obj"));
    EXPECT_EQ(Triangles(&spot.loadedMeshes), 5856);
    ASSERT_TRUE(teapot.ImportObj(VANTREL_TESTDATA "/obj-real/teapot.obj"));
    EXPECT_EQ(Triangles(&teapot.loadedMeshes), 6320);
}

TEST_F(ObjTest, PeerFilesKeepTheirMaterials) {
    FX_REQUIRE_TESTDATA();
    ASSERT_EQ(chdir(VANTREL_TESTDATA "/obj-peer"), 0);
    FXModel cube;
    ASSERT_TRUE(cube.ImportObj("cube.obj"));
    // usemtl white, red, white, green, white: three materials in order of first use.
    ASSERT_EQ(cube.loadedMeshes.size, 3);
    const char* names[3] = {"white", "red", "green"};
    int triangles[3] = {8, 2, 2};
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(LoadedMesh(&cube, i)->materialName.Compare(names[i])) << i;
        EXPECT_NE(LoadedMesh(&cube, i)->material, nullptr) << i;
        EXPECT_EQ(LoadedMesh(&cube, i)->indexCount / 3, triangles[i]) << i;
    }
    // "usemtl  1" names the material "1".
    FXModel ws;
    ASSERT_TRUE(ws.ImportObj("issue-246-usemtl-whitespace.obj"));
    ASSERT_EQ(ws.loadedMeshes.size, 1);
    EXPECT_TRUE(LoadedMesh(&ws, 0)->materialName.Compare("1"));
}

// Statements cut and mixed at random: whatever is read, every mesh names only its own vertices.
TEST_F(ObjTest, RandomStatementSoupNeverLeavesTheTables) {
    const char* words[] = {"v",        "vn", "vt",   "f",           "l",  "g",     "usemtl", "mtllib", "#",    "s",
                           "o",        "1",  "2",    "-1",          "-3", "0",     "7",      "1/1",    "2//2", "3/3/3",
                           "-1/-1/-1", "//", "/",    "a",           "b",  "1.5e3", "nan",    "-0",     "vp",   "\n",
                           "\n",       "\n", "\r\n", "99999999999", "2/", "/2",    "f\n"};
    const int count = (int)(sizeof(words) / sizeof(words[0]));
    std::mt19937 rng(11);
    for (int doc = 0; doc < 300; doc++) {
        std::string text;
        int n = 20 + (int)(rng() % 200);
        for (int i = 0; i < n; i++) {
            text += words[rng() % count];
            text += (rng() % 4 == 0) ? "" : " ";
        }
        FXModel model;
        ASSERT_TRUE(Import(&model, text)) << text;
        for (int i = 0; i < model.loadedMeshes.size; i++) {
            FXMesh* mesh = LoadedMesh(&model, i);
            ASSERT_TRUE(mesh->IndicesValid()) << text;
            ASSERT_EQ(mesh->indexCount % 3, 0) << text;
        }
    }
}
