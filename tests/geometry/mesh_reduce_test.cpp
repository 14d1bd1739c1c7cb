#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/trace.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/material.h"
#include "support/test_files.h"
#include "support/testdata.h"

struct Point {
    float x, y, z;
};

// A mesh of the given positions and triangles; texture coordinates follow x and y.
static void Build(FXMesh* m, const std::vector<Point>& points, const std::vector<int>& idx) {
    ASSERT_TRUE(m->Realloc((int)points.size(), (int)idx.size()));
    memset(m->vertices, 0, points.size() * sizeof(tagFXVertex));
    for (size_t i = 0; i < points.size(); i++) {
        m->vertices[i].position[0] = points[i].x;
        m->vertices[i].position[1] = points[i].y;
        m->vertices[i].position[2] = points[i].z;
        m->vertices[i].normal[2] = -1.0f;
        m->vertices[i].texCoord[0] = points[i].x;
        m->vertices[i].texCoord[1] = points[i].y;
    }
    for (size_t i = 0; i < idx.size(); i++) {
        m->indices[i] = idx[i];
    }
}

static std::vector<int> Indices(const FXMesh& m) {
    return std::vector<int>(m.indices, m.indices + m.indexCount);
}

static Point Pos(const FXMesh& m, int v) {
    return Point{m.vertices[v].position[0], m.vertices[v].position[1], m.vertices[v].position[2]};
}

// The triangles as lists of corner positions, for checks that do not care about numbering.
static std::vector<std::vector<float>> Corners(const FXMesh& m) {
    std::vector<std::vector<float>> out;
    for (int s = 0; s < m.indexCount / 3; s++) {
        std::vector<float> t;
        for (int k = 0; k < 3; k++) {
            Point p = Pos(m, m.indices[s * 3 + k]);
            t.push_back(p.x);
            t.push_back(p.y);
            t.push_back(p.z);
        }
        out.push_back(t);
    }
    return out;
}

// Twice the signed area in x and y: positive for corners that turn left.
static float Turn(const FXMesh& m, int s) {
    Point a = Pos(m, m.indices[s * 3]);
    Point b = Pos(m, m.indices[s * 3 + 1]);
    Point c = Pos(m, m.indices[s * 3 + 2]);
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

static double FlatArea(const FXMesh& m) {
    double sum = 0.0;
    for (int s = 0; s < m.indexCount / 3; s++) {
        sum += 0.5 * Turn(m, s);
    }
    return sum;
}

static std::vector<int> Tags(const FXMesh& m) {
    std::vector<int> out;
    for (int i = 0; i < m.vertexCount; i++) {
        out.push_back(m.vertices[i].tag);
    }
    return out;
}

// Whole-mesh equality: every byte of every vertex, every index, every dependency pair.
static void ExpectSameMesh(const FXMesh& a, const FXMesh& b, const std::string& what) {
    ASSERT_EQ(a.vertexCount, b.vertexCount) << what;
    ASSERT_EQ(a.indexCount, b.indexCount) << what;
    EXPECT_EQ(0, memcmp(a.vertices, b.vertices, (size_t)a.vertexCount * sizeof(tagFXVertex))) << what;
    EXPECT_EQ(Indices(a), Indices(b)) << what;
    ASSERT_EQ(a.reduceDepends.size, b.reduceDepends.size) << what;
    for (int i = 0; i < a.reduceDepends.size; i++) {
        EXPECT_EQ(a.reduceDepends.GetInt(i), b.reduceDepends.GetInt(i)) << what << " pair " << i;
        EXPECT_EQ(a.reduceTargets.GetInt(i), b.reduceTargets.GetInt(i)) << what << " pair " << i;
    }
}

static void ExpectValidIndices(const FXMesh& m, const std::string& what) {
    EXPECT_EQ(0, m.indexCount % 3) << what;
    for (int i = 0; i < m.indexCount; i++) {
        ASSERT_GE(m.indices[i], 0) << what << " index " << i;
        ASSERT_LT(m.indices[i], m.vertexCount) << what << " index " << i;
    }
}

// A flat grid of nx x ny quads over 0..1, two triangles per quad turning left. With alternate,
// neighbouring quads take opposite diagonals. With seam, the vertices of the middle column are
// doubled: quads to its right use copies that differ in colour only.
static void BuildGrid(FXMesh* m, int nx, int ny, bool alternate, bool seam) {
    int columns = nx + 1;
    int base = columns * (ny + 1);
    int seamColumn = nx / 2;
    int nv = base + (seam ? ny + 1 : 0);
    ASSERT_TRUE(m->Realloc(nv, nx * ny * 6));
    memset(m->vertices, 0, (size_t)nv * sizeof(tagFXVertex));
    for (int j = 0; j <= ny; j++) {
        for (int i = 0; i <= nx; i++) {
            tagFXVertex* v = &m->vertices[j * columns + i];
            v->position[0] = (float)i / (float)nx;
            v->position[1] = (float)j / (float)ny;
            v->normal[2] = -1.0f;
            v->texCoord[0] = v->position[0];
            v->texCoord[1] = v->position[1];
            v->colour[3] = 1.0f;
        }
    }
    if (seam) {
        for (int j = 0; j <= ny; j++) {
            m->vertices[base + j] = m->vertices[j * columns + seamColumn];
            m->vertices[base + j].colour[0] = 1.0f;
        }
    }
    int at = 0;
    for (int j = 0; j < ny; j++) {
        for (int i = 0; i < nx; i++) {
            int c[4] = {j * columns + i, j * columns + i + 1, (j + 1) * columns + i + 1, (j + 1) * columns + i};
            if (seam && i == seamColumn) {
                c[0] = base + j;
                c[3] = base + j + 1;
            }
            int tri[6];
            if (alternate && (i + j) % 2 == 1) {
                int t[6] = {c[0], c[1], c[3], c[1], c[2], c[3]};
                memcpy(tri, t, sizeof(t));
            } else {
                int t[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
                memcpy(tri, t, sizeof(t));
            }
            for (int k = 0; k < 6; k++) {
                m->indices[at++] = tri[k];
            }
        }
    }
}

// Reads the positions, texture coordinates and faces of a plain v/vt/f file; corners that share
// a position and a texture coordinate share a vertex. Faces of more corners become fans.
static bool ReadObj(const std::string& path, FXMesh* m) {
    FILE* f = fopen(path.c_str(), "rt");
    if (f == nullptr) {
        return false;
    }
    std::vector<Point> positions;
    std::vector<std::pair<float, float>> uvs;
    std::map<std::pair<int, int>, int> corners;
    std::vector<tagFXVertex> vertices;
    std::vector<int> idx;
    char line[1024];
    while (fgets(line, sizeof(line), f) != nullptr) {
        if (strncmp(line, "v ", 2) == 0) {
            Point p = {0, 0, 0};
            sscanf(line + 2, "%f %f %f", &p.x, &p.y, &p.z);
            positions.push_back(p);
        } else if (strncmp(line, "vt ", 3) == 0) {
            float u = 0, v = 0;
            sscanf(line + 3, "%f %f", &u, &v);
            uvs.push_back(std::make_pair(u, v));
        } else if (strncmp(line, "f ", 2) == 0) {
            std::vector<int> face;
            char* s = line + 2;
            int consumed = 0;
            int pi = 0;
            while (sscanf(s, " %d%n", &pi, &consumed) == 1) {
                s += consumed;
                int ti = 0;
                if (*s == '/') {
                    s++;
                    if (sscanf(s, "%d%n", &ti, &consumed) == 1) {
                        s += consumed;
                    }
                    while (*s != 0 && *s != ' ' && *s != '\t' && *s != '\n' && *s != '\r') {
                        s++;
                    }
                }
                if (pi < 1 || pi > (int)positions.size() || ti < 0 || ti > (int)uvs.size()) {
                    fclose(f);
                    return false;
                }
                std::pair<int, int> key(pi - 1, ti - 1);
                auto found = corners.find(key);
                if (found == corners.end()) {
                    tagFXVertex v;
                    memset(&v, 0, sizeof(v));
                    v.position[0] = positions[pi - 1].x;
                    v.position[1] = positions[pi - 1].y;
                    v.position[2] = positions[pi - 1].z;
                    if (ti > 0) {
                        v.texCoord[0] = uvs[ti - 1].first;
                        v.texCoord[1] = uvs[ti - 1].second;
                    }
                    found = corners.insert(std::make_pair(key, (int)vertices.size())).first;
                    vertices.push_back(v);
                }
                face.push_back(found->second);
            }
            for (size_t k = 2; k < face.size(); k++) {
                idx.push_back(face[0]);
                idx.push_back(face[k - 1]);
                idx.push_back(face[k]);
            }
        }
    }
    fclose(f);
    if (!m->Realloc((int)vertices.size(), (int)idx.size())) {
        return false;
    }
    memcpy(m->vertices, vertices.data(), vertices.size() * sizeof(tagFXVertex));
    memcpy(m->indices, idx.data(), idx.size() * sizeof(int));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Planes and predicates

TEST(MeshReducePlanes, FacePlaneFollowsTheFaceNormalsAndEdgePlaneStandsOnTheEdge) {
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {3, 4, 5}}, {0, 1, 2});
    float face[4];
    m.ComputeFormula(face, 0, 1, 2);
    EXPECT_FLOAT_EQ(0.0f, face[0]);
    EXPECT_FLOAT_EQ(0.0f, face[1]);
    EXPECT_FLOAT_EQ(-1.0f, face[2]);
    EXPECT_FLOAT_EQ(0.0f, face[3]);
    EXPECT_FLOAT_EQ(-5.0f, m.MultiVertexFormula(face, 3));
    float other[4];
    m.ComputeFormula(other, 0, 2, 1);
    EXPECT_FLOAT_EQ(1.0f, other[2]);

    // The edge 1-2 (x + y = 1): the plane holds both ends and separates corner 0 from (1,1,0).
    float edge[4];
    m.ComputeFormula1(edge, face, 1, 2);
    EXPECT_NEAR(0.0f, m.MultiVertexFormula(edge, 1), 1e-6f);
    EXPECT_NEAR(0.0f, m.MultiVertexFormula(edge, 2), 1e-6f);
    EXPECT_NEAR(1.0f, edge[0] * edge[0] + edge[1] * edge[1] + edge[2] * edge[2], 1e-6f);
    EXPECT_NEAR(0.0f, edge[2], 1e-7f);
    m.vertices[3].position[0] = 1.0f;
    m.vertices[3].position[1] = 1.0f;
    m.vertices[3].position[2] = 0.0f;
    float s0 = m.MultiVertexFormula(edge, 0);
    float s3 = m.MultiVertexFormula(edge, 3);
    EXPECT_LT(s0 * s3, 0.0f);
}

TEST(MeshReducePlanes, DegenerateTriangleGivesAPlaneNothingLiesOn) {
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 0}}, {0, 1, 2});
    float face[4];
    m.ComputeFormula(face, 0, 1, 2);
    m.reduceTolerance = 180.0f;
    EXPECT_FALSE(m.TestVertexOnFormula(face, 1, 0));
    EXPECT_FALSE(m.TestVertexOnFormula(face, 0, 3));
}

TEST(MeshReducePredicates, OnPlaneMeasuresTheAngleSeenFromTheReference) {
    FXMesh m;
    // Plane y = 0; (1, 0.1, 0) seen from the origin is 5.71 degrees off, from (1, -0.1, 0) it
    // stands straight above it.
    Build(&m, {{0, 0, 0}, {1, 0.1f, 0}, {1, -0.1f, 0}, {5, 0, 0}, {0, 0, 0}}, {0, 1, 2});
    float plane[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    m.reduceTolerance = 5.7f;
    EXPECT_FALSE(m.TestVertexOnFormula(plane, 0, 1));
    m.reduceTolerance = 5.72f;
    EXPECT_TRUE(m.TestVertexOnFormula(plane, 0, 1));
    EXPECT_FALSE(m.TestVertexOnFormula(plane, 2, 1));
    // Exactly on the plane passes even with no tolerance, seen from anywhere, itself included.
    m.reduceTolerance = 0.0f;
    EXPECT_TRUE(m.TestVertexOnFormula(plane, 1, 3));
    EXPECT_TRUE(m.TestVertexOnFormula(plane, 3, 3));
    // Off the plane and seen from a coincident point: no angle can be measured.
    m.reduceTolerance = 180.0f;
    EXPECT_FALSE(m.TestVertexOnFormula(plane, 1, 1));
}

TEST(MeshReducePredicates, DirectionUsesTheDominantAxisWithStrictSigns) {
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0.5f, 0}, {2, -5, 0}, {0.5f, 9, 0}, {1, 0.5f, 3}, {0, 1, 0}, {0, 2, 0}, {0, 3, 2}},
          {0, 1, 2});
    EXPECT_TRUE(m.TestVerticesDirection(0, 1, 2));  // x dominates; 2 lies further along x
    EXPECT_FALSE(m.TestVerticesDirection(0, 1, 3)); // back along x, whatever y does
    EXPECT_FALSE(m.TestVerticesDirection(0, 1, 4)); // no step along x at all
    EXPECT_TRUE(m.TestVerticesDirection(0, 5, 6));  // y dominates
    EXPECT_FALSE(m.TestVerticesDirection(5, 0, 6));
    EXPECT_FALSE(m.TestVerticesDirection(0, 0, 6)); // no direction
    // A tie between x and y goes to x, a tie between y and z to y.
    Build(&m, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {1, 2, 0}, {0, 1, 1}, {0, 2, 0}}, {0, 1, 2});
    EXPECT_TRUE(m.TestVerticesDirection(0, 1, 2));
    EXPECT_FALSE(m.TestVerticesDirection(0, 1, 3));
    EXPECT_TRUE(m.TestVerticesDirection(0, 4, 5));
}

TEST(MeshReducePredicates, SideFollowsTheSignOfTheReference) {
    FXMesh m;
    Build(&m, {{0, 1, 0}, {0, -1, 0}, {0, 0, 0}}, {0, 1, 2});
    m.edgePlane[0] = 0.0f;
    m.edgePlane[1] = 1.0f;
    m.edgePlane[2] = 0.0f;
    m.edgePlane[3] = 0.0f;
    m.sideRef = 2.0f;
    EXPECT_TRUE(m.TestVertexSide(0));
    EXPECT_FALSE(m.TestVertexSide(1));
    EXPECT_FALSE(m.TestVertexSide(2));
    m.sideRef = -0.5f;
    EXPECT_FALSE(m.TestVertexSide(0));
    EXPECT_TRUE(m.TestVertexSide(1));
    m.sideRef = 0.0f;
    EXPECT_FALSE(m.TestVertexSide(0));
    EXPECT_FALSE(m.TestVertexSide(1));
}

// ---------------------------------------------------------------------------------------------
// Moving, masks, slots, compaction

TEST(MeshReduceVertices, SeamCopiesMoveTogetherAndAreMaskedTogether) {
    FXMesh m;
    Build(&m, {{1, 0.25f, 0}, {1, 0.25f, 0}, {1, 0.2500001f, 0}, {4, 4, 0}}, {0, 1, 3});
    m.vertices[1].texCoord[0] = 7.0f; // a seam: same place, other texture coordinate
    float plane[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    m.PlaceVertexFormula(1, plane);
    EXPECT_EQ(0.0f, m.vertices[0].position[1]);
    EXPECT_EQ(0.0f, m.vertices[1].position[1]);
    EXPECT_EQ(1.0f, m.vertices[0].position[0]);
    EXPECT_EQ(0.2500001f, m.vertices[2].position[1]); // near is not coincident
    EXPECT_EQ(4.0f, m.vertices[3].position[1]);

    m.PlaceVertexFormula1(2, plane);
    EXPECT_EQ(0.0f, m.vertices[2].position[1]);

    m.vertices[3].tag = 2;
    m.SetVerticeMask(0, 1);
    EXPECT_EQ((std::vector<int>{1, 1, 1, 2}), Tags(m)); // vertex 2 now lies on 0 as well
    int list[1] = {3};
    m.SetVerticesMask(1, list, 1);
    EXPECT_EQ(3, m.vertices[3].tag);
    int free2[2] = {0, 3};
    EXPECT_FALSE(m.TestVerticesMask(2, free2));
    m.vertices[0].tag = 0;
    m.vertices[1].tag = 0;
    EXPECT_TRUE(m.TestVertices1Mask(0));
    EXPECT_TRUE(m.TestVertices2Mask(0, 1));
    EXPECT_FALSE(m.TestVertices3Mask(0, 1, 2));
}

TEST(MeshReduceVertices, PlacingOntoAPlaneOfADegenerateTriangleLeavesTheVertex) {
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0.5f, 0.5f, 0}}, {0, 1, 2});
    float face[4];
    m.ComputeFormula(face, 0, 1, 2);
    m.PlaceVertexFormula(3, face);
    m.PlaceVertexFormula1(3, face);
    EXPECT_EQ(0.5f, m.vertices[3].position[0]);
    EXPECT_EQ(0.5f, m.vertices[3].position[1]);
    EXPECT_EQ(0.0f, m.vertices[3].position[2]);
}

TEST(MeshReduceSlots, GroupsAreRemovedRefilledFromTheStartAndCompacted) {
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 0}}, {0, 1, 2, 1, 3, 2, 2, 3, 4, 0, 2, 4});
    int group[4] = {0, 1, 2, 1}; // duplicates allowed
    m.DiscardTrianglesGroup(4, group);
    EXPECT_EQ((std::vector<int>{-1, -1, -1, 1, 3, 2, 2, 3, 4, 0, 2, 4}), Indices(m));
    int group2[4] = {2, 3, 4, 0};
    m.DiscardTrianglesGroup(4, group2);
    EXPECT_EQ((std::vector<int>{-1, -1, -1, 1, 3, 2, -1, -1, -1, -1, -1, -1}), Indices(m));
    // Three new triangles for three removed slots, lowest first; a fourth finds no slot.
    int created[12] = {4, 3, 2, 0, 1, 4, 1, 2, 4, 0, 0, 0};
    m.CreateTrianglesGroup(12, created);
    EXPECT_EQ((std::vector<int>{4, 3, 2, 1, 3, 2, 0, 1, 4, 1, 2, 4}), Indices(m));
    m.DiscardProceed();
    EXPECT_EQ(12, m.indexCount); // nothing removed: nothing to compact
    int group3[3] = {1, 3, 2};
    m.DiscardTrianglesGroup(3, group3);
    m.DiscardProceed();
    EXPECT_EQ((std::vector<int>{4, 3, 2, 0, 1, 4, 1, 2, 4}), Indices(m));
    EXPECT_EQ(9, m.indexCapacity);
    int all[5] = {0, 1, 2, 3, 4};
    m.DiscardTrianglesGroup(5, all);
    m.DiscardProceed();
    EXPECT_EQ(0, m.indexCount);
    EXPECT_EQ(0, m.indexCapacity);
    EXPECT_EQ(nullptr, m.indices);
}

TEST(MeshReduceVertices, CompactionFollowsRemovedVerticesToTheirSeamCopies) {
    FXMesh m;
    // 1 and 4 share a place, as do 2 and 5; 6 lies elsewhere.
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 0, 0}, {2, 0, 0}, {5, 5, 0}}, {0, 4, 3, 3, 5, 6});
    m.PushReducDepend(0, 1); // 1 is gone but its copy 4 stays: kept as (0, 4)
    m.PushReducDepend(1, 1); // x is gone: dropped
    m.PushReducDepend(3, 6); // 6 stays: kept
    m.PushReducDepend(3, 2); // 2 gone, copy 5 stays
    m.PushReducDepend(6, 2);
    m.DiscardReducedVertices();
    // Kept: 0, 3, 4, 5, 6 -> 0, 1, 2, 3, 4.
    ASSERT_EQ(5, m.vertexCount);
    EXPECT_EQ(5, m.vertexCapacity);
    EXPECT_EQ((std::vector<int>{0, 2, 1, 1, 3, 4}), Indices(m));
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < m.reduceDepends.size; i++) {
        pairs.push_back(std::make_pair(m.reduceDepends.GetInt(i), m.reduceTargets.GetInt(i)));
    }
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 2}, {-1, -1}, {1, 4}, {1, 3}, {4, 3}}), pairs);
    EXPECT_EQ((std::vector<int>{1, 1, 0, 0, 1}), Tags(m));

    EXPECT_EQ(-1, m.FindOtherVertex(4));
    m.vertices[0].position[0] = 5.0f;
    m.vertices[0].position[1] = 5.0f;
    EXPECT_EQ(4, m.FindOtherVertex(0));
    EXPECT_EQ(0, m.FindOtherVertex(4));
    m.vertices[0].tag = -1;
    EXPECT_EQ(-1, m.FindOtherVertex(4));
}

// ---------------------------------------------------------------------------------------------
// Searches

TEST(MeshReduceSearch, CandidatesComeOnePerCallXFirstThenY) {
    FXMesh m;
    // b = 1 at (1,0); a = 0 to its left. Slot 1 continues the line with corner 2 and the apex 3
    // (x, y order); slot 2 has the line corner second, so y is the partner there; slot 3 reaches
    // back to a; slot 4 bends out of the face.
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}, {3, 0, 0}, {2, 1, 0}, {2, 0.5f, 3}},
          {0, 1, 3, 1, 2, 3, 5, 1, 4, 0, 1, 5, 1, 2, 6});
    m.reduceTolerance = 1.0f;
    m.ComputeFormula(m.facePlane, 0, 1, 3);
    m.ComputeFormula1(m.edgePlane, m.facePlane, 0, 1);
    m.sideRef = m.MultiVertexFormula(m.edgePlane, 3);
    int cursor = -1, partner = 99, out = -1;
    ASSERT_TRUE(m.FindNextContiguouse(0, 1, 3, &cursor, &partner, &out));
    EXPECT_EQ(1, cursor);
    EXPECT_EQ(2, partner);
    EXPECT_EQ(3, out);
    ASSERT_TRUE(m.FindNextContiguouse(0, 1, 3, &cursor, &partner, &out));
    EXPECT_EQ(2, cursor);
    EXPECT_EQ(4, partner);
    EXPECT_EQ(5, out);
    EXPECT_FALSE(m.FindNextContiguouse(0, 1, 3, &cursor, &partner, &out));
    // A fresh start resets the partner and finds the first again.
    cursor = -1;
    ASSERT_TRUE(m.FindNextContiguouse(0, 1, 3, &cursor, &partner, &out));
    EXPECT_EQ(1, cursor);
    // The far side of the line: apex 3 on the other side of the reference fails the side test.
    m.sideRef = -m.sideRef;
    cursor = -1;
    EXPECT_FALSE(m.FindNextContiguouse(0, 1, 3, &cursor, &partner, &out));
}

TEST(MeshReduceSearch, FanSearchFindsTheCornerStraightBeyond) {
    FXMesh m;
    // Line q(0)-e(1) along y = 1; p = 2. Slot 0 has the wrong third corner, slot 1 the right one.
    Build(&m, {{0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {2, 1, 0}, {2, 0.5f, 0}}, {1, 2, 4, 1, 2, 3, 0, 1, 2});
    m.reduceTolerance = 1.0f;
    m.ComputeFormula(m.facePlane, 0, 1, 2);
    m.ComputeFormula1(m.edgePlane2, m.facePlane, 0, 1);
    int cursor = -1, g = -1;
    ASSERT_TRUE(m.FindNextContiguouse1(0, 1, 2, &cursor, &g));
    EXPECT_EQ(3, g);
    EXPECT_EQ(1, cursor);
    EXPECT_FALSE(m.FindNextContiguouse1(0, 1, 2, &cursor, &g));
    cursor = -1;
    EXPECT_FALSE(m.FindNextContiguouse1(0, 1, 4, &cursor, &g)); // the triangle with e and 4 ends off the line
}

// ---------------------------------------------------------------------------------------------
// The sweep on hand-made patterns

TEST(MeshReduceSweep, FlatStripBecomesOneTriangle) {
    FXTestDir dir;
    std::string log = dir.File("trace.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {0, 1, 2, 1, 3, 2});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    fxCloseTraces();
    ASSERT_EQ(3, m.indexCount);
    ASSERT_EQ(3, m.vertexCount);
    EXPECT_EQ((std::vector<std::vector<float>>{{0, 0, 0, 2, 0, 0, 0, 1, 0}}), Corners(m));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Tags(m));
    std::string text = fxTestReadTrace(log);
    EXPECT_NE(text.find("ReduceVertices (indices:6 vertices:4)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("reduced (indices:3 vertices:1)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("trc_totalmin: 10\n"), std::string::npos) << text;
}

TEST(MeshReduceSweep, BentStripNeedsTheToleranceOfItsBend) {
    for (int scans = 0; scans < 2; scans++) {
        FXMesh m;
        m.reduceScans = scans == 1;
        Build(&m, {{0, 0, 0}, {1, 0.1f, 0}, {0, 1, 0}, {2, 0, 0}}, {0, 1, 2, 1, 3, 2});
        ASSERT_TRUE(m.ReduceVertices(11.0f));
        EXPECT_EQ(6, m.indexCount);
        EXPECT_EQ(4, m.vertexCount);
        EXPECT_EQ(0.1f, m.vertices[1].position[1]);
        EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), Tags(m));
        ASSERT_TRUE(m.ReduceVertices(12.0f));
        EXPECT_EQ((std::vector<std::vector<float>>{{0, 0, 0, 2, 0, 0, 0, 1, 0}}), Corners(m));
        EXPECT_EQ(3, m.vertexCount);
    }
}

TEST(MeshReduceSweep, MeshWithoutStraightEdgeVerticesComesBackUnchanged) {
    FXTestDir dir;
    std::string log = dir.File("trace.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    // A square cut into four around an inner point that lies on neither diagonal.
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.3f, 0.6f, 0}}, {0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4});
    for (int i = 0; i < 5; i++) {
        m.vertices[i].tag = 7;
    }
    FXMesh before;
    before.Copy(&m);
    ASSERT_TRUE(m.ReduceVertices(5.0f));
    fxCloseTraces();
    EXPECT_EQ(Indices(before), Indices(m));
    ASSERT_EQ(5, m.vertexCount);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(0, memcmp(before.vertices[i].position, m.vertices[i].position, 12));
    }
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, 0}), Tags(m));
    std::string text = fxTestReadTrace(log);
    EXPECT_NE(text.find("ReduceVertices (indices:12 vertices:5)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("reduced (indices:0 vertices:0)\n"), std::string::npos) << text;
}

TEST(MeshReduceSweep, EmptyAndDamagedMeshesAreLeftAlone) {
    FXMesh empty;
    EXPECT_TRUE(empty.ReduceVertices(5.0f));
    EXPECT_EQ(0, empty.indexCount);
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {0, 1, 2, 1, 3, 9});
    EXPECT_FALSE(m.ReduceVertices(5.0f));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 1, 3, 9}), Indices(m));
}

TEST(MeshReduceSweep, ApexOnAStraightLineGoesWithTheVertex) {
    // Bottom line A(0) B(1) P(2), top line R(3) Q(4) S(5): B and Q leave together.
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}}, {0, 1, 4, 1, 2, 4, 0, 4, 3, 2, 5, 4});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(6, m.indexCount);
    ASSERT_EQ(4, m.vertexCount);
    // A, P, R, S keep their order: 0, 1, 2, 3.
    EXPECT_EQ((std::vector<int>{0, 1, 2, 2, 1, 3}), Indices(m));
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), Tags(m));
    EXPECT_GT(Turn(m, 0), 0.0f);
    EXPECT_GT(Turn(m, 1), 0.0f);
}

TEST(MeshReduceSweep, FanOfThreeTrianglesAroundTheVertex) {
    // A(0) B(1) P(2) on y = 0, Q(3) E(4) on y = 1: (A,B,Q), (B,E,Q), (B,P,E).
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {2, 1, 0}}, {0, 1, 3, 1, 4, 3, 1, 2, 4});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(6, m.indexCount);
    ASSERT_EQ(4, m.vertexCount);
    EXPECT_EQ((std::vector<std::vector<float>>{{0, 0, 0, 2, 0, 0, 0, 1, 0}, {0, 1, 0, 2, 0, 0, 2, 1, 0}}), Corners(m));
    EXPECT_FLOAT_EQ(2.0f, (float)FlatArea(m));
}

TEST(MeshReduceSweep, FanWithAStraightTopLineLosesTwoVertices) {
    // As the fan, with G(5) straight beyond E on the top line and the triangle (E, P, G).
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {2, 1, 0}, {3, 1, 0}}, {0, 1, 3, 1, 4, 3, 1, 2, 4, 4, 2, 5});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(6, m.indexCount);
    ASSERT_EQ(4, m.vertexCount);
    // A, P, Q, G: (A, P, G) and (Q, A, G).
    EXPECT_EQ((std::vector<int>{0, 1, 3, 2, 0, 3}), Indices(m));
    EXPECT_FLOAT_EQ(2.5f, (float)FlatArea(m));
    EXPECT_GT(Turn(m, 0), 0.0f);
    EXPECT_GT(Turn(m, 1), 0.0f);
}

TEST(MeshReduceSweep, FollowUpMergesTheOtherSideWithoutTestingItsPlane) {
    // A(0) B(1) P(2) on a line, Q(3) above in the plane z = 0, X(4) below and lifted out of it.
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}, {1, -1, 0.7f}}, {0, 1, 3, 1, 2, 3, 0, 4, 1, 1, 4, 2});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(4, m.vertexCount);
    ASSERT_EQ(6, m.indexCount);
    // Both new triangles keep the winding of the pair each replaces.
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 3, 1}), Indices(m));
}

TEST(MeshReduceSweep, SeamCopyOfARemovedVertexStaysAndMarksItsNeighbours) {
    // As the follow-up case, flat, but the lower triangles use a seam copy B'(5) of B.
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}, {1, -1, 0}, {1, 0, 0}},
          {0, 1, 3, 1, 2, 3, 0, 4, 5, 5, 4, 2});
    m.vertices[5].texCoord[0] = 9.0f;
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    // Above, B left; below, B' was masked with B and stays for the next sweep.
    ASSERT_EQ(9, m.indexCount);
    ASSERT_EQ(5, m.vertexCount);
    EXPECT_EQ(9.0f, m.vertices[4].texCoord[0]);
    EXPECT_EQ((std::vector<int>{1, 1, 0, 0, 0}), Tags(m)); // A and P wait on B'
    ASSERT_EQ(3, m.reduceDepends.size);
    EXPECT_EQ(0, m.reduceDepends.GetInt(0));
    EXPECT_EQ(4, m.reduceTargets.GetInt(0));
    EXPECT_EQ(-1, m.reduceDepends.GetInt(1));
    EXPECT_EQ(1, m.reduceDepends.GetInt(2));
    EXPECT_EQ(4, m.reduceTargets.GetInt(2));
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    EXPECT_EQ(6, m.indexCount);
    EXPECT_EQ(4, m.vertexCount);
    for (int s = 0; s < 2; s++) {
        EXPECT_GT(Turn(m, s), 0.0f);
    }
}

TEST(MeshReduceSweep, ReductionFoundFromTheFarEndKeepsTheWinding) {
    // The strip with its triangles in the other order: B is found from (B, P, Q).
    FXMesh m;
    Build(&m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {1, 3, 2, 0, 1, 2});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(3, m.indexCount);
    EXPECT_GT(Turn(m, 0), 0.0f);
    EXPECT_FLOAT_EQ(1.0f, (float)FlatArea(m));
}

TEST(MeshReduceSweep, FanIsSplitWhereItDoesNotFoldOver) {
    // E(4) lies behind the line Q-P: splitting the fan along Q-P, as found from A, would give an
    // overlapping triangle turned over. Found from P, the split runs along A-E and is sound.
    FXMesh m;
    Build(&m, {{3, 0, 0}, {3, 2, 0}, {3, 4, 0}, {0, 0, 0}, {1, 1, 0}}, {0, 1, 3, 1, 4, 3, 1, 2, 4});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(6, m.indexCount);
    ASSERT_EQ(4, m.vertexCount);
    EXPECT_EQ((std::vector<std::vector<float>>{{3, 4, 0, 1, 1, 0, 3, 0, 0}, {1, 1, 0, 0, 0, 0, 3, 0, 0}}), Corners(m));
    EXPECT_FLOAT_EQ(5.5f, (float)FlatArea(m));
}

TEST(MeshReduceSweep, TriangleBeyondTheLineWithCornersInThePatternStays) {
    // Stage with the apex: A(0) B(1) P(2) on a slope, R(3) Q(4) S(5) on y = 4. S also lies
    // beyond the line A-P, where the triangle (B, S, P) belongs to the far side.
    FXMesh m;
    Build(&m, {{0, 0, 0}, {2, 2, 0}, {3, 3, 0}, {0, 4, 0}, {2, 4, 0}, {6, 4, 0}},
          {0, 1, 4, 1, 2, 4, 0, 4, 3, 2, 5, 4, 1, 5, 2});
    ASSERT_TRUE(m.ReduceVertices(1.0f));
    ASSERT_EQ(9, m.indexCount);
    ASSERT_EQ(5, m.vertexCount); // Q left; B stays for its far-side triangle
    EXPECT_FLOAT_EQ(10.0f, (float)FlatArea(m));
    for (int s = 0; s < 3; s++) {
        EXPECT_GT(Turn(m, s), 0.0f);
    }
    EXPECT_EQ((std::vector<int>{1, 1, 1, 0, 0}), Tags(m)); // A, B, P wait on B
}

// ---------------------------------------------------------------------------------------------
// Grids and real meshes; plain scans against the index

// Whether some triangle covers (x, y), edges included.
static bool Covered(const FXMesh& m, float x, float y) {
    for (int s = 0; s < m.indexCount / 3; s++) {
        Point a = Pos(m, m.indices[s * 3]);
        Point b = Pos(m, m.indices[s * 3 + 1]);
        Point c = Pos(m, m.indices[s * 3 + 2]);
        float d1 = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        float d2 = (c.x - b.x) * (y - b.y) - (c.y - b.y) * (x - b.x);
        float d3 = (a.x - c.x) * (y - c.y) - (a.y - c.y) * (x - c.x);
        if ((d1 >= 0.0f && d2 >= 0.0f && d3 >= 0.0f) || (d1 <= 0.0f && d2 <= 0.0f && d3 <= 0.0f)) {
            return true;
        }
    }
    return false;
}

// The reduced grid still covers the square once over, every triangle turned the same way, and
// every vertex keeps the texture coordinate of its place, so every point still shows its part
// of the picture.
static void ExpectGridIntact(const FXMesh& m, const std::string& what) {
    ExpectValidIndices(m, what);
    EXPECT_NEAR(1.0, FlatArea(m), 1e-5) << what;
    for (int s = 0; s < m.indexCount / 3; s++) {
        EXPECT_GT(Turn(m, s), 0.0f) << what << " triangle " << s;
    }
    for (int i = 0; i < m.vertexCount; i++) {
        const tagFXVertex& v = m.vertices[i];
        EXPECT_NEAR(v.position[0], v.texCoord[0], 1e-6f) << what << " vertex " << i;
        EXPECT_NEAR(v.position[1], v.texCoord[1], 1e-6f) << what << " vertex " << i;
        EXPECT_EQ(0.0f, v.position[2]) << what;
    }
    for (int j = 0; j < 40; j++) {
        for (int i = 0; i < 40; i++) {
            float x = ((float)i + 0.37f) / 40.0f;
            float y = ((float)j + 0.61f) / 40.0f;
            ASSERT_TRUE(Covered(m, x, y)) << what << " at " << x << ", " << y;
        }
    }
}

TEST(MeshReduceGrid, FlatGridShrinksTowardsItsOutlineKeepingItsTextureMapping) {
    for (int variant = 0; variant < 3; variant++) {
        FXMesh m;
        BuildGrid(&m, 64, 64, variant == 1, variant == 2);
        std::vector<int> counts = {m.indexCount / 3};
        for (int sweep = 0; sweep < 40 && (counts.size() < 2 || counts.back() < counts[counts.size() - 2]); sweep++) {
            ASSERT_TRUE(m.ReduceVertices(0.5f));
            counts.push_back(m.indexCount / 3);
            ExpectGridIntact(m, "variant " + std::to_string(variant) + " sweep " + std::to_string(sweep));
            if (HasFatalFailure() || HasFailure()) {
                return;
            }
        }
        ASSERT_GE(counts.size(), 3u);
        EXPECT_LT(counts[1], counts[0] * 3 / 4) << "variant " << variant;
        EXPECT_LT(counts.back(), counts[0] / 12) << "variant " << variant;
        EXPECT_EQ(counts.back(), counts[counts.size() - 2]);
    }
}

// Runs sweeps on two copies, one through the index and one by plain scans, and compares them
// after every sweep.
static void ExpectScansMatchIndex(FXMesh* source, float tolerance, int sweeps, const std::string& what) {
    FXMesh indexed;
    FXMesh scanned;
    ASSERT_TRUE(indexed.Copy(source));
    ASSERT_TRUE(scanned.Copy(source));
    scanned.reduceScans = true;
    for (int sweep = 0; sweep < sweeps; sweep++) {
        int before = indexed.indexCount;
        ASSERT_TRUE(indexed.ReduceVertices(tolerance));
        ASSERT_TRUE(scanned.ReduceVertices(tolerance));
        std::string at = what + " tolerance " + std::to_string(tolerance) + " sweep " + std::to_string(sweep);
        ExpectSameMesh(indexed, scanned, at);
        ExpectValidIndices(indexed, at);
        if (::testing::Test::HasFailure() || indexed.indexCount == before) {
            return;
        }
    }
}

TEST(MeshReduceGrid, IndexGivesTheSameMeshAsPlainScans) {
    FXMesh grid;
    BuildGrid(&grid, 24, 20, true, true);
    ExpectScansMatchIndex(&grid, 0.5f, 30, "grid");
    // Lift and jitter the grid so that tolerances decide, and put some points exactly onto others.
    uint32_t seed = 12345;
    for (int i = 0; i < grid.vertexCount; i++) {
        seed = seed * 1664525u + 1013904223u;
        grid.vertices[i].position[2] = (float)(seed >> 8) / 16777216.0f * 0.02f;
        grid.vertices[i].position[1] += ((seed & 0xFF) < 40) ? 0.004f : 0.0f;
    }
    for (float tolerance : {0.5f, 3.0f, 20.0f}) {
        ExpectScansMatchIndex(&grid, tolerance, 30, "jittered grid");
    }
}

// The next number below n of a seeded sequence: generated trials are the same on every run.
static uint32_t NextBelow(uint32_t* seed, uint32_t n) {
    *seed = *seed * 1664525u + 1013904223u;
    return (*seed >> 8) % n;
}

// The index path refuses some stages before making them, where the made ones would be taken
// back; the scans make every one. Over generated grids of both layouts, with and without a seam,
// tilted, lifted in places and stretched, the two must give the same mesh after every sweep.
TEST(MeshReduceGrid, RefusingUnmadeStagesLeavesTheSameMeshAsMakingThem) {
    uint32_t seed = 2024;
    const float tolerances[3] = {0.5f, 1.0f, 4.0f};
    for (int trial = 0; trial < 40; trial++) {
        FXMesh grid;
        int nx = 4 + (int)NextBelow(&seed, 20);
        int ny = 4 + (int)NextBelow(&seed, 20);
        bool alternate = NextBelow(&seed, 2) == 1;
        bool seam = NextBelow(&seed, 2) == 1;
        BuildGrid(&grid, nx, ny, alternate, seam);
        float tilt[2] = {(float)NextBelow(&seed, 5) * 0.1f, (float)NextBelow(&seed, 5) * -0.07f};
        float stretch = 1.0f + (float)NextBelow(&seed, 4);
        for (int i = 0; i < grid.vertexCount; i++) {
            float* at = grid.vertices[i].position;
            at[0] *= stretch;
            at[2] = tilt[0] * at[0] + tilt[1] * at[1] + (NextBelow(&seed, 8) == 0 ? 0.003f : 0.0f);
        }
        float tolerance = tolerances[NextBelow(&seed, 3)];
        ExpectScansMatchIndex(&grid, tolerance, 12, "trial " + std::to_string(trial));
        if (HasFailure()) {
            return;
        }
    }
}

// A copy of a grid built by BuildGrid, and perhaps swept since, with extras among its triangles.
// Each extra copies a triangle of the grid: doubled as it is, doubled turned over, as a fin on its
// edge t[0]-t[1] reaching across to t[2] mirrored through that edge's midpoint, or spanning from
// that edge to a corner two cells away from t[0]. Cell is the grid's cell size before any sweep.
// The extras go anywhere among the others, as the walks go in slot order.
static void Decorate(const FXMesh& grid, const float* cell, int extras, uint32_t* seed, FXMesh* out) {
    std::map<std::pair<long, long>, int> at;
    for (int i = grid.vertexCount - 1; i >= 0; i--) {
        at[{lroundf(grid.vertices[i].position[0] / cell[0]), lroundf(grid.vertices[i].position[1] / cell[1])}] = i;
    }
    std::vector<int> source;
    std::vector<uint32_t> kind;
    std::vector<int> span;
    int fins = 0;
    for (int k = extras; k > 0; k--) {
        source.push_back((int)NextBelow(seed, (uint32_t)grid.indexCount / 3));
        kind.push_back(NextBelow(seed, 4));
        span.push_back(kind.back() == 3 ? (int)NextBelow(seed, 8) : -1);
        fins += kind.back() == 0 ? 1 : 0;
    }
    ASSERT_TRUE(out->Realloc(grid.vertexCount + fins, grid.indexCount + (int)source.size() * 3));
    memcpy(out->vertices, grid.vertices, (size_t)grid.vertexCount * sizeof(tagFXVertex));
    memcpy(out->indices, grid.indices, (size_t)grid.indexCount * sizeof(int));
    int v = grid.vertexCount;
    for (size_t k = 0; k < source.size(); k++) {
        const int* t = grid.indices + source[k] * 3;
        int* added = out->indices + grid.indexCount + k * 3;
        memcpy(added, t, 3 * sizeof(int));
        if (kind[k] == 2) {
            std::swap(added[1], added[2]);
        }
        if (span[k] != -1) {
            const int steps[8][2] = {{2, 0}, {2, 2}, {0, 2}, {-2, 2}, {-2, 0}, {-2, -2}, {0, -2}, {2, -2}};
            auto far = at.find({lroundf(grid.vertices[t[0]].position[0] / cell[0]) + steps[span[k]][0],
                                lroundf(grid.vertices[t[0]].position[1] / cell[1]) + steps[span[k]][1]});
            if (far != at.end() && far->second != t[1]) {
                added[2] = far->second;
            }
        }
        if (kind[k] == 0) {
            out->vertices[v] = grid.vertices[t[2]];
            for (int i = 0; i < 2; i++) {
                out->vertices[v].position[i] =
                    grid.vertices[t[0]].position[i] + grid.vertices[t[1]].position[i] - grid.vertices[t[2]].position[i];
            }
            added[2] = v++;
        }
    }
    int count = out->indexCount / 3;
    for (int i = count - 1; i > 0; i--) {
        int j = (int)NextBelow(seed, (uint32_t)i + 1);
        for (int k = 0; k < 3; k++) {
            std::swap(out->indices[i * 3 + k], out->indices[j * 3 + k]);
        }
    }
}

// The cell size of a grid built by BuildGrid: its first step in x, and in y.
static void GridCell(const FXMesh& grid, float* cell) {
    cell[0] = grid.vertices[1].position[0];
    cell[1] = 0.0f;
    for (int i = 1; i < grid.vertexCount && cell[1] == 0.0f; i++) {
        cell[1] = grid.vertices[i].position[1];
    }
}

// A grid of base to base + spread - 1 cells a side, its diagonals alternating or not, reduced
// once at 0.5 when asked, then decorated with 1 to extras fins, doubled and turned-over
// triangles and spans.
static void BuildDecoratedGrid(uint32_t* seed, int base, int spread, bool reduced, int extras, FXMesh* out) {
    FXMesh grid;
    BuildGrid(&grid, base + (int)NextBelow(seed, (uint32_t)spread), base + (int)NextBelow(seed, (uint32_t)spread),
              NextBelow(seed, 2) == 1, false);
    float cell[2];
    GridCell(grid, cell);
    if (reduced) {
        ASSERT_TRUE(grid.ReduceVertices(0.5f));
    }
    Decorate(grid, cell, 1 + (int)NextBelow(seed, (uint32_t)extras), seed, out);
}

// Edges named by three or four triangles give the searches several flat candidates where a
// sheet has one, and the walks that find them differ between the index and the scans: grids
// with fins (a flat triangle on an inner edge, its new corner in the plane) and doubled
// triangles, as they are or turned over, in shuffled slot order, must still reduce alike both
// ways. Half the grids have had a sweep first, whose lattice of centred cells is where the
// two-vertex stage is tried ahead.
TEST(MeshReduceGrid, FinsAndDoubledTrianglesReduceAlikeBothWays) {
    uint32_t seed = 77;
    for (int trial = 0; trial < 60; trial++) {
        FXMesh finned;
        BuildDecoratedGrid(&seed, 4, 10, trial % 2 == 1, 8, &finned);
        ASSERT_FALSE(HasFatalFailure());
        ExpectScansMatchIndex(&finned, NextBelow(&seed, 2) == 0 ? 0.5f : 4.0f, 12, "trial " + std::to_string(trial));
        if (HasFailure()) {
            return;
        }
    }
}

TEST(MeshReduceReal, SpotAndTeapotReduceAlikeBothWaysWithValidIndices) {
    FX_REQUIRE_TESTDATA();
    for (const char* name : {"spot.obj", "teapot.obj"}) {
        FXMesh m;
        std::string path = std::string(VANTREL_TESTDATA) + "/obj-real/" + name;
        ASSERT_TRUE(ReadObj(path, &m)) << path;
        ASSERT_GT(m.indexCount, 3000);
        for (float tolerance : {4.0f, 40.0f}) {
            ExpectScansMatchIndex(&m, tolerance, 2, name);
        }
    }
}

TEST(MeshReduceReal, SpotSurvivesManySweeps) {
    FX_REQUIRE_TESTDATA();
    FXMesh m;
    ASSERT_TRUE(ReadObj(std::string(VANTREL_TESTDATA) + "/obj-real/spot.obj", &m));
    ASSERT_EQ(5856 * 3, m.indexCount);
    int start = m.indexCount;
    for (int sweep = 0; sweep < 20; sweep++) {
        int before = m.indexCount;
        ASSERT_TRUE(m.ReduceVertices(30.0f));
        ExpectValidIndices(m, "sweep " + std::to_string(sweep));
        ASSERT_FALSE(HasFailure());
        for (int i = 0; i < m.vertexCount; i++) {
            for (int k = 0; k < 3; k++) {
                ASSERT_TRUE(std::isfinite(m.vertices[i].position[k]));
            }
            ASSERT_TRUE(m.vertices[i].tag == 0 || m.vertices[i].tag == 1);
        }
        if (m.indexCount == before) {
            break;
        }
    }
    EXPECT_LT(m.indexCount, start);
    EXPECT_GT(m.indexCount, 0);
}

// ---------------------------------------------------------------------------------------------
// Properties over many generated meshes: a sweep never tears, folds or flattens a surface

// A sheet of nx x ny quads over 0..1 in x and y, lifted to z = lift(x); two triangles per quad
// turning left, the diagonal picked by a hash of the quad. Every seamEvery-th column and row
// doubles its vertices, as texture seams do: quads on the far side use copies that differ in
// texture coordinate only.
static void BuildSheet(FXMesh* m, int nx, int ny, int seamEvery, uint32_t seed, float (*lift)(float),
                       bool uniform = false) {
    int columns = nx + 1;
    std::vector<tagFXVertex> vs;
    std::vector<int> idx;
    // (column, row, copy) -> vertex; copy 1 is across a vertical seam, 2 across a horizontal one.
    std::map<std::vector<int>, int> made;
    auto vertex = [&](int i, int j, int cx, int cy) {
        std::vector<int> key = {i, j, cx, cy};
        auto found = made.find(key);
        if (found != made.end()) {
            return found->second;
        }
        tagFXVertex v;
        memset(&v, 0, sizeof(v));
        v.position[0] = (float)i / (float)nx;
        v.position[1] = (float)j / (float)ny;
        v.position[2] = lift(v.position[0]);
        v.normal[2] = -1.0f;
        v.texCoord[0] = v.position[0] + (float)cx;
        v.texCoord[1] = v.position[1] + (float)cy;
        made[key] = (int)vs.size();
        vs.push_back(v);
        return (int)vs.size() - 1;
    };
    for (int j = 0; j < ny; j++) {
        for (int i = 0; i < nx; i++) {
            // A quad right of (above) a seam line takes the copies on that line.
            int cx = seamEvery > 0 && i % seamEvery == 0 ? 1 : 0;
            int cy = seamEvery > 0 && j % seamEvery == 0 ? 1 : 0;
            int c[4] = {vertex(i, j, cx, cy), vertex(i + 1, j, 0, cy), vertex(i + 1, j + 1, 0, 0),
                        vertex(i, j + 1, cx, 0)};
            seed = seed * 1664525u + 1013904223u;
            int t[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
            if (!uniform && ((seed >> 16) & 1)) {
                int u[6] = {c[0], c[1], c[3], c[1], c[2], c[3]};
                memcpy(t, u, sizeof(t));
            }
            idx.insert(idx.end(), t, t + 6);
        }
    }
    (void)columns;
    ASSERT_TRUE(m->Realloc((int)vs.size(), (int)idx.size()));
    memcpy(m->vertices, vs.data(), vs.size() * sizeof(tagFXVertex));
    memcpy(m->indices, idx.data(), idx.size() * sizeof(int));
}

// A flat unit square outlined by k points per side, in triangles turning left: with centre, a
// fan around a middle vertex; without, the fan of a polygon split from its first corner.
static void BuildSquareFan(FXMesh* m, int k, bool centre) {
    std::vector<Point> points;
    for (int side = 0; side < 4; side++) {
        for (int i = 0; i < k; i++) {
            float t = (float)i / (float)k;
            Point p[4] = {{t, 0, 0}, {1, t, 0}, {1 - t, 1, 0}, {0, 1 - t, 0}};
            points.push_back(p[side]);
        }
    }
    int n = (int)points.size();
    std::vector<int> idx;
    if (centre) {
        points.push_back(Point{0.37f, 0.55f, 0});
        for (int i = 0; i < n; i++) {
            idx.insert(idx.end(), {n, i, (i + 1) % n});
        }
    } else {
        // Corner 0 sees the two sides it lies on edge-on: start the fan where it does not.
        for (int i = 1; i + 1 < n; i++) {
            idx.insert(idx.end(), {0, i, i + 1});
        }
        for (size_t t = 0; t < idx.size(); t += 3) {
            bool straight = idx[t + 2] <= k || idx[t + 1] >= 3 * k;
            if (straight) {
                idx.erase(idx.begin() + (long)t, idx.begin() + (long)t + 3);
                t -= 3;
            }
        }
    }
    Build(m, points, idx);
}

typedef std::array<float, 3> PointKey;

static PointKey KeyOf(const FXMesh& m, int v) {
    const float* p = m.vertices[v].position;
    return PointKey{p[0] == 0.0f ? 0.0f : p[0], p[1] == 0.0f ? 0.0f : p[1], p[2] == 0.0f ? 0.0f : p[2]};
}

static void Sub(const PointKey& a, const PointKey& b, double* out) {
    for (int k = 0; k < 3; k++) {
        out[k] = (double)a[k] - (double)b[k];
    }
}

static void Cross(const double* u, const double* w, double* out) {
    out[0] = u[1] * w[2] - u[2] * w[1];
    out[1] = u[2] * w[0] - u[0] * w[2];
    out[2] = u[0] * w[1] - u[1] * w[0];
}

static double Dist(const PointKey& a, const PointKey& b) {
    double d[3];
    Sub(a, b, d);
    return sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// The surface as the sweep must keep it: triangles and edges between points, seam copies being
// one point.
struct SurfaceShape {
    std::vector<std::array<PointKey, 3>> triangles;
    std::map<PointKey, std::vector<int>> around; // triangles at each point
    std::vector<std::pair<PointKey, PointKey>> openEdges;
    int nonManifold = 0, degenerate = 0;
    int openByIndex = 0; // edges of vertex numbers named once: seams are open here
    double upArea = 0.0;
    int flipped = -1; // a triangle that faces down, seen from +z
};

static SurfaceShape ShapeOf(const FXMesh& m) {
    SurfaceShape shape;
    std::map<std::pair<PointKey, PointKey>, int> edges;
    std::map<std::pair<int, int>, int> numbered;
    for (int s = 0; s < m.indexCount / 3; s++) {
        for (int k = 0; k < 3; k++) {
            int a = m.indices[s * 3 + k];
            int b = m.indices[s * 3 + (k + 1) % 3];
            numbered[std::make_pair(std::min(a, b), std::max(a, b))]++;
        }
        std::array<PointKey, 3> t;
        for (int k = 0; k < 3; k++) {
            t[k] = KeyOf(m, m.indices[s * 3 + k]);
            shape.around[t[k]].push_back(s);
        }
        shape.triangles.push_back(t);
        double u[3], w[3], n[3];
        Sub(t[1], t[0], u);
        Sub(t[2], t[0], w);
        Cross(u, w, n);
        double area = 0.5 * sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        shape.upArea += 0.5 * n[2];
        if (!(n[2] > 0.0) && shape.flipped == -1) {
            shape.flipped = s;
        }
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2] || area == 0.0) {
            shape.degenerate++;
        }
        for (int k = 0; k < 3; k++) {
            PointKey a = t[k];
            PointKey b = t[(k + 1) % 3];
            edges[a < b ? std::make_pair(a, b) : std::make_pair(b, a)]++;
        }
    }
    for (const auto& e : numbered) {
        shape.openByIndex += e.second == 1 ? 1 : 0;
    }
    for (const auto& e : edges) {
        if (e.second == 1) {
            shape.openEdges.push_back(e.first);
        } else if (e.second > 2) {
            shape.nonManifold++;
        }
    }
    return shape;
}

static double DistToSegment(const PointKey& p, const PointKey& a, const PointKey& b) {
    double e[3], q[3];
    Sub(b, a, e);
    Sub(p, a, q);
    double ee = e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
    double f = ee > 0.0 ? std::max(0.0, std::min(1.0, (q[0] * e[0] + q[1] * e[1] + q[2] * e[2]) / ee)) : 0.0;
    double d[3] = {q[0] - f * e[0], q[1] - f * e[1], q[2] - f * e[2]};
    return sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// The open edges of after that are gaps: not along the outline the surface had before, nor
// closed by other open edges along the same line (a vertex left on its neighbour's straight
// edge, which draws without a crack).
static int Gaps(const SurfaceShape& before, const SurfaceShape& after, double slope) {
    int gaps = 0;
    for (size_t i = 0; i < after.openEdges.size(); i++) {
        const PointKey& a = after.openEdges[i].first;
        const PointKey& b = after.openEdges[i].second;
        double reach = slope * Dist(a, b) + 1e-6;
        bool closed = true;
        for (int k = 1; k < 8 && closed; k++) {
            double f = (double)k / 8.0;
            PointKey p = {(float)(a[0] + f * (b[0] - a[0])), (float)(a[1] + f * (b[1] - a[1])),
                          (float)(a[2] + f * (b[2] - a[2]))};
            closed = false;
            for (size_t j = 0; j < after.openEdges.size() && !closed; j++) {
                closed = j != i && DistToSegment(p, after.openEdges[j].first, after.openEdges[j].second) <= reach;
            }
            for (size_t j = 0; j < before.openEdges.size() && !closed; j++) {
                closed = DistToSegment(p, before.openEdges[j].first, before.openEdges[j].second) <= reach;
            }
        }
        gaps += closed ? 0 : 1;
    }
    return gaps;
}

static double DistToTriangle(const PointKey& p, const std::array<PointKey, 3>& t) {
    // Closest point by regions of the triangle (Voronoi regions of its corners and edges).
    double ab[3], ac[3], ap[3];
    Sub(t[1], t[0], ab);
    Sub(t[2], t[0], ac);
    Sub(p, t[0], ap);
    auto dot = [](const double* u, const double* w) { return u[0] * w[0] + u[1] * w[1] + u[2] * w[2]; };
    double n[3];
    Cross(ab, ac, n);
    double nn = dot(n, n);
    if (nn > 0.0) {
        double c1[3], c2[3], c3[3], bp[3], cp[3], bc[3], ca[3];
        Sub(p, t[1], bp);
        Sub(p, t[2], cp);
        Sub(t[2], t[1], bc);
        Sub(t[0], t[2], ca);
        Cross(ab, ap, c1);
        Cross(bc, bp, c2);
        Cross(ca, cp, c3);
        if (dot(c1, n) >= 0.0 && dot(c2, n) >= 0.0 && dot(c3, n) >= 0.0) {
            return fabs(dot(ap, n)) / sqrt(nn);
        }
    }
    double best = 1e300;
    for (int k = 0; k < 3; k++) {
        double e[3], q[3];
        Sub(t[(k + 1) % 3], t[k], e);
        Sub(p, t[k], q);
        double ee = dot(e, e);
        double f = ee > 0.0 ? std::max(0.0, std::min(1.0, dot(q, e) / ee)) : 0.0;
        double d[3] = {q[0] - f * e[0], q[1] - f * e[1], q[2] - f * e[2]};
        best = std::min(best, sqrt(dot(d, d)));
    }
    return best;
}

// One sweep's promises: nothing opens, folds or degenerates that was whole before; a flat
// surface (graph over x, y) keeps its area and outline with every triangle facing up; every point
// that went lay within the tolerance of the triangles now around its old neighbours.
static void ExpectSoundSweep(const SurfaceShape& before, const SurfaceShape& after, bool graph, float tolerance,
                             const std::string& what) {
    double slope = sin(std::min(2.0 * tolerance, 90.0) * M_PI / 180.0);
    EXPECT_LE(after.openByIndex, before.openByIndex) << what;
    EXPECT_EQ(0, Gaps(before, after, slope)) << what;
    EXPECT_LE(after.nonManifold, before.nonManifold) << what;
    EXPECT_LE(after.degenerate, before.degenerate) << what;
    if (graph) {
        EXPECT_NEAR(before.upArea, after.upArea, 1e-5 * before.upArea) << what;
        if (after.flipped != -1) {
            const auto& t = after.triangles[after.flipped];
            ADD_FAILURE() << what << ": triangle " << after.flipped << " faces down: " << t[0][0] << "," << t[0][1]
                          << "," << t[0][2] << " " << t[1][0] << "," << t[1][1] << "," << t[1][2] << " " << t[2][0]
                          << "," << t[2][1] << "," << t[2][2];
        }
    }
    for (const auto& point : before.around) {
        if (after.around.count(point.first) != 0) {
            continue;
        }
        double reach = 0.0;
        std::vector<int> near;
        for (int s : point.second) {
            for (const PointKey& q : before.triangles[s]) {
                reach = std::max(reach, Dist(point.first, q));
                auto found = after.around.find(q);
                if (found != after.around.end()) {
                    near.insert(near.end(), found->second.begin(), found->second.end());
                }
            }
        }
        if (near.empty()) {
            for (size_t s = 0; s < after.triangles.size(); s++) {
                near.push_back((int)s);
            }
        }
        double gap = 1e300;
        for (int s : near) {
            gap = std::min(gap, DistToTriangle(point.first, after.triangles[s]));
        }
        ASSERT_LE(gap, slope * reach + 1e-5 * reach)
            << what << ": point " << point.first[0] << ", " << point.first[1] << ", " << point.first[2];
    }
    // No triangle turns against the surface it replaced; with larger tolerances a triangle may
    // rightly span more bend than the triangles around its corners show.
    for (size_t s = 0; s < after.triangles.size() && tolerance <= 5.0f; s++) {
        const auto& t = after.triangles[s];
        double u[3], w[3], n[3], sum[3] = {0.0, 0.0, 0.0};
        Sub(t[1], t[0], u);
        Sub(t[2], t[0], w);
        Cross(u, w, n);
        for (const PointKey& corner : t) {
            auto found = before.around.find(corner);
            for (int old : found != before.around.end() ? found->second : std::vector<int>()) {
                double ou[3], ow[3], on[3];
                Sub(before.triangles[old][1], before.triangles[old][0], ou);
                Sub(before.triangles[old][2], before.triangles[old][0], ow);
                Cross(ou, ow, on);
                for (int k = 0; k < 3; k++) {
                    sum[k] += on[k];
                }
            }
        }
        ASSERT_GT(n[0] * sum[0] + n[1] * sum[1] + n[2] * sum[2], 0.0) << what << ": triangle " << s << " turned over";
    }
}

// Sweeps until nothing changes, checking every sweep; small meshes also compare the index with
// plain scans.
static void ExpectSoundReduction(FXMesh* m, float tolerance, bool graph, const std::string& what) {
    if (m->indexCount < 3 * 3000) {
        ExpectScansMatchIndex(m, tolerance, 4, what);
    }
    SurfaceShape before = ShapeOf(*m);
    for (int sweep = 0; sweep < 60; sweep++) {
        int count = m->indexCount;
        ASSERT_TRUE(m->ReduceVertices(tolerance));
        ExpectValidIndices(*m, what);
        SurfaceShape after = ShapeOf(*m);
        ExpectSoundSweep(before, after, graph, tolerance, what + " sweep " + std::to_string(sweep));
        if (::testing::Test::HasFailure() || m->indexCount == count) {
            return;
        }
        before = after;
    }
}

static float localFlat(float) {
    return 0.0f;
}
static float localCrease(float x) {
    return x < 0.5f ? 0.0f : (x - 0.5f) * 0.01f; // about 0.6 degrees at x = 0.5
}
static float localSteepCrease(float x) {
    return x < 0.5f ? 0.0f : (x - 0.5f) * 0.06f; // about 3.4 degrees
}
// A smooth wave of parabolic arcs, from arithmetic alone: the runtimes' sinf differ in the last
// place, and the recorded hashes need the same sheet on every platform.
static float localWave(float x) {
    const float t = 6.0f * x / 3.14159265f; // in half periods
    const float f = t - 2.0f * floorf(t * 0.5f);
    const float u = f < 1.0f ? f : f - 1.0f;
    const float bump = 4.0f * u * (1.0f - u);
    return 0.04f * (f < 1.0f ? bump : -bump);
}

TEST(MeshReduceProperty, FlatAndBentSheetsNeverTear) {
    struct Case {
        int nx, ny, seamEvery;
        float (*lift)(float);
        bool uniform = false; // every diagonal one way: the follow-ups chain across the sheet
    };
    // The two largest, which tore before, at the tolerance they tore with.
    const Case cases[] = {{2, 3, 0, localFlat},          {7, 5, 0, localFlat},   {20, 20, 0, localFlat},
                          {33, 17, 4, localFlat},        {64, 64, 0, localFlat}, {30, 12, 0, localCrease},
                          {41, 23, 0, localSteepCrease}, {48, 16, 0, localWave}, {64, 64, 16, localFlat},
                          {100, 100, 0, localFlat},
                          {40, 40, 0, localFlat, true},  {36, 30, 6, localFlat, true}, {48, 16, 0, localWave, true},
                          {41, 23, 0, localSteepCrease, true}};
    uint32_t seed = 7;
    for (const Case& c : cases) {
        for (float tolerance : {0.5f, 1.0f, 5.0f}) {
            if (c.nx > 64 && tolerance != 1.0f) {
                continue;
            }
            FXMesh m;
            seed = seed * 747796405u + 2891336453u;
            BuildSheet(&m, c.nx, c.ny, c.seamEvery, seed, c.lift, c.uniform);
            std::string what = std::to_string(c.nx) + "x" + std::to_string(c.ny) + " seams " +
                               std::to_string(c.seamEvery) + (c.uniform ? " uniform" : "") + " tolerance " +
                               std::to_string(tolerance);
            ExpectSoundReduction(&m, tolerance, true, what);
            ASSERT_FALSE(HasFailure());
        }
    }
}

TEST(MeshReduceProperty, FansNeverTear) {
    for (int k : {2, 5, 16, 64}) {
        for (bool centre : {true, false}) {
            FXMesh m;
            BuildSquareFan(&m, k, centre);
            ExpectSoundReduction(&m, 1.0f, true,
                                 "fan of " + std::to_string(k) + (centre ? " around" : " from a corner"));
            ASSERT_FALSE(HasFailure());
        }
    }
}

// Around a vertex of high valence the searches walk the shortest of several corner lists and skip
// partner searches whose finds would all be refused; the mesh must stay the one plain scans give.
TEST(MeshReduceProperty, HighValenceFansReduceAlikeBothWays) {
    for (int k : {97, 150}) {
        for (bool centre : {true, false}) {
            FXMesh m;
            BuildSquareFan(&m, k, centre);
            for (float tolerance : {0.5f, 1.0f, 5.0f}) {
                ExpectScansMatchIndex(&m, tolerance, 3,
                                      "fan of " + std::to_string(k) + (centre ? " around" : " from a corner"));
                ASSERT_FALSE(HasFailure());
            }
        }
    }
}

TEST(MeshReduceProperty, RealMeshesNeverTear) {
    for (const char* name : {"spot.obj", "teapot.obj"}) {
        for (float tolerance : {1.0f, 5.0f, 20.0f}) {
            FXMesh m;
            ASSERT_TRUE(ReadObj(std::string(VANTREL_TESTDATA) + "/obj-real/" + name, &m));
            ExpectSoundReduction(&m, tolerance, false, std::string(name) + " tolerance " + std::to_string(tolerance));
            ASSERT_FALSE(HasFailure());
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Transparent triangles

class MeshTranspTest : public ::testing::Test {
protected:
    FXCanvas picture;
    FXMaterial material;
    FXMesh mesh;

    // A 4 x 4 picture, opaque except for the alpha given for its right half.
    void SetUp() override {
        ASSERT_TRUE(picture.pixmap.Realloc(4, 4));
        picture.pixmap.Clear(0xFF808080u);
        material.hasTexture = true;
        material.texture = &picture;
        mesh.material = &material;
        // Two triangles on the left half of the picture, one on the right, sharing vertex 1.
        Build(&mesh,
              {{0.1f, 0.1f, 0}, {0.4f, 0.1f, 0}, {0.1f, 0.9f, 0}, {0.6f, 0.1f, 0}, {0.9f, 0.9f, 0}, {0.9f, 0.1f, 0}},
              {0, 1, 2, 3, 5, 4, 1, 0, 2});
    }
    void TearDown() override { material.texture = nullptr; }

    void RightHalfAlpha(uint32_t alpha) {
        for (int y = 0; y < 4; y++) {
            for (int x = 2; x < 4; x++) {
                picture.pixmap.pixels[y * picture.pixmap.allocWidth + x] = (alpha << 24) | 0x808080u;
            }
        }
    }
};

TEST_F(MeshTranspTest, OpaqueTextureKeepsEverythingAndSaysSo) {
    FXTestDir dir;
    std::string log = dir.File("trace.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    mesh.DiscardTrianglesTransp(0, 0.5f);
    fxCloseTraces();
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 5, 4, 1, 0, 2}), Indices(mesh));
    EXPECT_EQ(6, mesh.vertexCount);
    EXPECT_NE(fxTestReadTrace(log).find("DiscardTriangles (no effect) cnt:9\n"), std::string::npos)
        << fxTestReadTrace(log);
}

TEST_F(MeshTranspTest, ClearTrianglesGoWithTheirVertices) {
    FXTestDir dir;
    std::string log = dir.File("trace.log");
    RightHalfAlpha(0x40); // 0.25
    int tri[3] = {3, 5, 4};
    EXPECT_TRUE(mesh.TestTriangleTransp(0, tri, 0.2f));
    EXPECT_FALSE(mesh.TestTriangleTransp(0, tri, 0.3f));
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    mesh.DiscardTrianglesTransp(0, 0.3f);
    fxCloseTraces();
    EXPECT_EQ((std::vector<int>{0, 1, 2, 1, 0, 2}), Indices(mesh));
    EXPECT_EQ(9, mesh.indexCapacity);
    EXPECT_EQ(3, mesh.vertexCount);
    EXPECT_NE(fxTestReadTrace(log).find("DiscardTriangles from:9  to:6\n"), std::string::npos) << fxTestReadTrace(log);
}

TEST_F(MeshTranspTest, OneVisibleCornerKeepsATriangle) {
    RightHalfAlpha(0);
    mesh.vertices[4].texCoord[0] = 0.2f; // this corner now samples the opaque half
    mesh.DiscardTrianglesTransp(0, 0.5f);
    EXPECT_EQ(9, mesh.indexCount);
}

TEST_F(MeshTranspTest, WithoutATextureNothingHappens) {
    RightHalfAlpha(0);
    material.hasTexture = false;
    mesh.DiscardTrianglesTransp(0, 0.5f);
    EXPECT_EQ(9, mesh.indexCount);
    material.hasTexture = true;
    mesh.material = nullptr;
    mesh.DiscardTrianglesTransp(0, 0.5f);
    EXPECT_EQ(9, mesh.indexCount);
    mesh.material = &material;
    picture.pixmap.Destroy();
    mesh.DiscardTrianglesTransp(0, 0.5f);
    EXPECT_EQ(9, mesh.indexCount);
}

// ---------------------------------------------------------------------------------------------
// Exact results kept across changes to the sweep's speed

static uint64_t HashBytes(uint64_t h, const void* data, size_t n) {
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < n; i++) {
        h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

// Every byte of the vertices, every index and every dependency pair.
static uint64_t HashMesh(const FXMesh& m) {
    uint64_t h = 14695981039346656037ull;
    h = HashBytes(h, m.vertices, (size_t)m.vertexCount * sizeof(tagFXVertex));
    h = HashBytes(h, m.indices, (size_t)m.indexCount * sizeof(int));
    for (int i = 0; i < m.reduceDepends.size && i < m.reduceTargets.size; i++) {
        int pair[2] = {m.reduceDepends.GetInt(i), m.reduceTargets.GetInt(i)};
        h = HashBytes(h, pair, sizeof(pair));
    }
    return h;
}

// Adds spot and teapot, named, when the real-world files are there.
static void AddRealMeshes(std::vector<std::pair<std::string, FXMesh*>>* out) {
    for (const char* name : {"spot.obj", "teapot.obj"}) {
        FXMesh* m = new FXMesh();
        if (ReadObj(std::string(VANTREL_TESTDATA) + "/obj-real/" + name, m)) {
            out->push_back({name, m});
        } else {
            delete m;
        }
    }
}

// The meshes of the hash check: sheets with seams and bends, grids, fans, a jittered grid and the
// real meshes, each with a name.
static std::vector<std::pair<std::string, FXMesh*>> HashedMeshes() {
    std::vector<std::pair<std::string, FXMesh*>> out;
    struct Sheet {
        int nx, ny, seamEvery;
        float (*lift)(float);
        const char* name;
    };
    const Sheet sheets[] = {{7, 5, 0, localFlat, "flat"},       {20, 20, 0, localFlat, "flat"},
                            {33, 17, 4, localFlat, "flat"},     {48, 40, 16, localFlat, "flat"},
                            {30, 12, 0, localCrease, "crease"}, {41, 23, 0, localSteepCrease, "steep"},
                            {48, 16, 0, localWave, "wave"},     {40, 30, 3, localWave, "wave"},
                            {60, 60, 0, localFlat, "flat"},     {50, 40, 7, localCrease, "crease"}};
    uint32_t seed = 99;
    for (const Sheet& s : sheets) {
        FXMesh* m = new FXMesh();
        seed = seed * 747796405u + 2891336453u;
        BuildSheet(m, s.nx, s.ny, s.seamEvery, seed, s.lift);
        out.push_back({"sheet " + std::to_string(s.nx) + "x" + std::to_string(s.ny) + " seams " +
                           std::to_string(s.seamEvery) + " " + s.name,
                       m});
    }
    for (int variant = 0; variant < 3; variant++) {
        FXMesh* m = new FXMesh();
        BuildGrid(m, 40, 32, variant == 1, variant == 2);
        out.push_back({"grid variant " + std::to_string(variant), m});
    }
    // Decorated grids, where the outlines decide more stages than anywhere else.
    uint32_t decoration = 4242;
    for (int variant = 0; variant < 4; variant++) {
        FXMesh grid;
        BuildGrid(&grid, 24, 18, variant % 2 == 1, false);
        float cell[2];
        GridCell(grid, cell);
        if (variant >= 2) {
            grid.ReduceVertices(0.5f);
        }
        FXMesh* m = new FXMesh();
        Decorate(grid, cell, 60, &decoration, m);
        out.push_back({"decorated grid " + std::to_string(variant), m});
    }
    for (int k : {5, 16, 64, 120}) {
        for (bool centre : {true, false}) {
            FXMesh* m = new FXMesh();
            BuildSquareFan(m, k, centre);
            out.push_back({"fan " + std::to_string(k) + (centre ? " around" : " from a corner"), m});
        }
    }
    FXMesh* jittered = new FXMesh();
    BuildGrid(jittered, 30, 24, true, true);
    uint32_t jitter = 12345;
    for (int i = 0; i < jittered->vertexCount; i++) {
        jitter = jitter * 1664525u + 1013904223u;
        jittered->vertices[i].position[2] = (float)(jitter >> 8) / 16777216.0f * 0.02f;
        jittered->vertices[i].position[1] += ((jitter & 0xFF) < 40) ? 0.004f : 0.0f;
    }
    out.push_back({"jittered grid", jittered});
    AddRealMeshes(&out);
    return out;
}

// The mesh after every sweep, over many meshes and tolerances, hashes as the reduction gave it
// when the list was written (VANTREL_WRITE_REDUCE_HASHES=1 writes it anew): work on the sweep's
// speed must not change a single result.
TEST(MeshReduceProperty, ResultsHashAsRecorded) {
    FX_REQUIRE_TESTDATA();
    std::string path = std::string(VANTREL_SOURCE_DIR) + "/tests/geometry/mesh_reduce_hashes.txt";
    std::vector<std::string> lines;
    for (auto& named : HashedMeshes()) {
        for (float tolerance : {0.5f, 1.0f, 5.0f, 20.0f}) {
            FXMesh m;
            ASSERT_TRUE(m.Copy(named.second));
            for (int sweep = 1; sweep <= 10; sweep++) {
                int before = m.indexCount;
                ASSERT_TRUE(m.ReduceVertices(tolerance));
                char line[256];
                snprintf(line, sizeof(line), "%s tolerance %g sweep %d: %d triangles %016llx", named.first.c_str(),
                         tolerance, sweep, m.indexCount / 3, (unsigned long long)HashMesh(m));
                lines.push_back(line);
                if (m.indexCount == before) {
                    break;
                }
            }
        }
        delete named.second;
    }
    if (getenv("VANTREL_WRITE_REDUCE_HASHES") != nullptr) {
        FILE* f = fopen(path.c_str(), "wt");
        ASSERT_NE(nullptr, f) << path;
        for (const std::string& line : lines) {
            fprintf(f, "%s\n", line.c_str());
        }
        fclose(f);
        return;
    }
    std::vector<std::string> recorded;
    FILE* f = fopen(path.c_str(), "rt");
    ASSERT_NE(nullptr, f) << path;
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), f) != nullptr) {
        recorded.push_back(std::string(buffer, strcspn(buffer, "\n")));
    }
    fclose(f);
    ASSERT_EQ(recorded.size(), lines.size());
    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(recorded[i], lines[i]);
    }
}

// A sweep passes over the triangles the last one could not change while the mesh stays as that
// sweep left it. A mesh changed in between, or swept at another tolerance, must reduce exactly as
// a fresh copy of it does, and further than it had settled.
TEST(MeshReduceSweep, AChangedMeshOrToleranceSweepsAsAFreshCopy) {
    struct Case {
        const char* what;
        bool uniform;
        float next; // tolerance after the change
        bool flatten;
    } cases[] = {
        {"flattened, random diagonals", false, 0.5f, true},
        {"flattened, uniform diagonals", true, 0.5f, true},
        {"tolerance raised, random diagonals", false, 5.0f, false},
        {"tolerance raised, uniform diagonals", true, 5.0f, false},
    };
    for (const Case& c : cases) {
        FXMesh m;
        BuildSheet(&m, 30, 24, 0, 4242u, localSteepCrease, c.uniform);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        int settled = 0;
        for (int sweep = 0; sweep < 200 && settled != m.indexCount; sweep++) {
            settled = m.indexCount;
            ASSERT_TRUE(m.ReduceVertices(0.5f));
        }
        ASSERT_EQ(settled, m.indexCount) << c.what;
        if (c.flatten) {
            for (int v = 0; v < m.vertexCount; v++) {
                m.vertices[v].position[2] = 0.0f;
            }
        }
        for (int sweep = 0; sweep < 200; sweep++) {
            FXMesh fresh;
            ASSERT_TRUE(fresh.Copy(&m));
            int before = m.indexCount;
            ASSERT_TRUE(m.ReduceVertices(c.next));
            ASSERT_TRUE(fresh.ReduceVertices(c.next));
            ExpectSameMesh(m, fresh, std::string(c.what) + " sweep " + std::to_string(sweep));
            if (::testing::Test::HasFailure() || m.indexCount == before) {
                break;
            }
        }
        EXPECT_LT(m.indexCount, settled) << c.what;
    }
}

// Every triangle a sweep passes over on its memory's word, tried all the same, changes nothing,
// every partner search it spares, walked all the same, finds nothing, and every verdict worked out
// from a common patch's corners is the general one: over decorated grids, sheets with seams,
// bends and uniform diagonals, and the real meshes.
TEST(MeshReduceProperty, PassedOverTrianglesAndSparedSearchesWouldFindNothing) {
    std::vector<std::pair<std::string, FXMesh*>> meshes;
    uint32_t seed = 901;
    for (int trial = 0; trial < 40; trial++) {
        FXMesh* decorated = new FXMesh();
        meshes.push_back({"decorated grid " + std::to_string(trial), decorated});
        BuildDecoratedGrid(&seed, 6, 14, false, 40, decorated);
    }
    float (*lifts[])(float) = {localFlat, localCrease, localSteepCrease, localWave};
    for (int i = 0; i < 8; i++) {
        FXMesh* sheet = new FXMesh();
        BuildSheet(sheet, 24 + 4 * i, 20, i % 3 == 0 ? 0 : 5, 77u + (uint32_t)i, lifts[i % 4], i % 2 == 0);
        meshes.push_back({"sheet " + std::to_string(i), sheet});
    }
    AddRealMeshes(&meshes);
    ASSERT_FALSE(HasFatalFailure());
    int retried = 0;
    int spared = 0;
    int verdicts = 0;
    for (auto& named : meshes) {
        for (float tolerance : {0.5f, 5.0f}) {
            FXMesh m;
            ASSERT_TRUE(m.Copy(named.second));
            m.reduceRetryRemembered = true;
            m.reduceCheckSpared = true;
            m.reduceCheckVerdicts = true;
            for (int sweep = 0, before = -1; sweep < 100 && before != m.indexCount; sweep++) {
                before = m.indexCount;
                ASSERT_TRUE(m.ReduceVertices(tolerance));
            }
            EXPECT_EQ(0, m.reduceRetryChanged) << named.first << " at tolerance " << tolerance;
            EXPECT_EQ(0, m.reduceSparedWrong) << named.first << " at tolerance " << tolerance;
            EXPECT_EQ(0, m.reduceVerdictsWrong) << named.first << " at tolerance " << tolerance;
            retried += m.reduceRetried;
            spared += m.reduceSpared;
            verdicts += m.reduceVerdicts;
        }
        delete named.second;
    }
    EXPECT_GT(retried, 10000);
    EXPECT_GT(spared, 10000);
    EXPECT_GT(verdicts, 10000);
}

// The sweep that finds nothing more passes over nearly every triangle: what the sweep before it
// took back is refused again, wherever that sweep's changes left removed slots for the new
// triangles of its tries, and the slots all close up between the two.
TEST(MeshReduceProperty, LastSweepPassesOverWhatTheOneBeforeTookBack) {
    FX_REQUIRE_TESTDATA();
    for (const char* name : {"spot.obj", "teapot.obj"}) {
        FXMesh source;
        ASSERT_TRUE(ReadObj(std::string(VANTREL_TESTDATA) + "/obj-real/" + name, &source));
        for (float tolerance : {5.0f, 30.0f}) {
            FXMesh m;
            ASSERT_TRUE(m.Copy(&source));
            m.reduceRetryRemembered = true;
            int last = 0;
            for (int sweep = 0, before = -1; sweep < 100 && before != m.indexCount; sweep++) {
                before = m.indexCount;
                int retried = m.reduceRetried;
                ASSERT_TRUE(m.ReduceVertices(tolerance));
                last = m.reduceRetried - retried;
            }
            EXPECT_EQ(0, m.reduceRetryChanged) << name << " at tolerance " << tolerance;
            EXPECT_GE(last * 10, m.indexCount / 3 * 9) << name << " at tolerance " << tolerance << ": " << last
                                                       << " of " << m.indexCount / 3 << " passed over";
        }
    }
}

// The first sweep with a memory passes over what the sweep before took back, although changes
// in either sweep marked vertices around it: the marks are gone by the next sweep, and a try none
// of whose stages was kept is refused again with more of them.
TEST(MeshReduceProperty, MarksAroundARefusedTryDoNotCostTheNextSweepItsMemory) {
    FX_REQUIRE_TESTDATA();
    const struct {
        const char* name;
        float tolerance;
        int percent; // passed over, at least
    } cases[] = {{"spot.obj", 2.0f, 84}, {"spot.obj", 5.0f, 46}, {"teapot.obj", 2.0f, 86}, {"teapot.obj", 5.0f, 63}};
    for (const auto& c : cases) {
        FXMesh m;
        ASSERT_TRUE(ReadObj(std::string(VANTREL_TESTDATA) + "/obj-real/" + c.name, &m));
        m.reduceRetryRemembered = true;
        for (int sweep = 0; sweep < 2; sweep++) {
            ASSERT_TRUE(m.ReduceVertices(c.tolerance));
        }
        int triangles = m.indexCount / 3;
        ASSERT_EQ(0, m.reduceRetried) << c.name; // the first two sweeps have nothing to go by
        ASSERT_TRUE(m.ReduceVertices(c.tolerance));
        EXPECT_EQ(0, m.reduceRetryChanged) << c.name << " at tolerance " << c.tolerance;
        EXPECT_GE(m.reduceRetried * 100, triangles * c.percent)
            << c.name << " at tolerance " << c.tolerance << ": " << m.reduceRetried << " of " << triangles;
    }
}

// Far from the origin a float position carries more rounding than the edges around it are long:
// the searches spared there must still be ones that would find nothing. The real meshes moved
// and scaled, each reduced until it settles with every spared search walked all the same.
TEST(MeshReduceProperty, SparedSearchesHoldFarFromTheOriginAndAtAnyScale) {
    FX_REQUIRE_TESTDATA();
    std::vector<std::pair<std::string, FXMesh*>> meshes;
    AddRealMeshes(&meshes);
    ASSERT_EQ(2u, meshes.size());
    const struct {
        float offset, scale;
    } places[] = {{1000.0f, 1e-3f}, {-37.5f, 1e-3f}, {-37.5f, 1.0f}, {0.0f, 250.0f}};
    int spared = 0;
    for (auto& named : meshes) {
        for (const auto& place : places) {
            for (float tolerance : {0.5f, 4.0f}) {
                FXMesh m;
                ASSERT_TRUE(m.Copy(named.second));
                for (int v = 0; v < m.vertexCount; v++) {
                    for (int k = 0; k < 3; k++) {
                        m.vertices[v].position[k] = m.vertices[v].position[k] * place.scale + place.offset;
                    }
                }
                m.reduceCheckSpared = true;
                for (int sweep = 0, before = -1; sweep < 100 && before != m.indexCount; sweep++) {
                    before = m.indexCount;
                    ASSERT_TRUE(m.ReduceVertices(tolerance));
                }
                EXPECT_EQ(0, m.reduceSparedWrong) << named.first << " moved by " << place.offset << ", scaled by "
                                                  << place.scale << ", at tolerance " << tolerance;
                spared += m.reduceSpared;
            }
        }
        delete named.second;
    }
    EXPECT_GT(spared, 10000);
}
