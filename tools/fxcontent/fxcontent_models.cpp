// fxcontent: the globe's shells and the medallion, built as engine models with their libraries.

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "models/model.h"
#include "io/package.h"
#include "fxcontent.h"
#include "geometry/mesh.h"
#include "render/material.h"
#include "render/matlib.h"

namespace {

const float localPi = 3.14159265358979f;

struct Vec3 {
    float x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 Unit(Vec3 a) {
    float l = sqrtf(Dot(a, a));
    return l > 0.0f ? a * (1.0f / l) : a;
}

// A mesh being built: vertices and triangles, turned into an FXMesh at the end.
struct MeshBuild {
    std::vector<tagFXVertex> vertices;
    std::vector<int> indices;

    int Add(Vec3 p, Vec3 n, float u, float v) {
        tagFXVertex vx;
        memset(&vx, 0, sizeof(vx));
        vx.position[0] = p.x;
        vx.position[1] = p.y;
        vx.position[2] = p.z;
        vx.normal[0] = n.x;
        vx.normal[1] = n.y;
        vx.normal[2] = n.z;
        vx.texCoord[0] = u;
        vx.texCoord[1] = v;
        for (int i = 0; i < 4; i++) {
            vx.colour[i] = 1.0f;
        }
        vertices.push_back(vx);
        return (int)vertices.size() - 1;
    }

    Vec3 Pos(int i) const {
        const float* p = vertices[(size_t)i].position;
        return {p[0], p[1], p[2]};
    }

    // The engine takes (c - a) x (b - a) as a triangle's front; the corners are ordered so that
    // it points along outward. Triangles without area (the poles' slivers) are left out.
    void Triangle(int a, int b, int c, Vec3 outward) {
        Vec3 n = Cross(Pos(c) - Pos(a), Pos(b) - Pos(a));
        if (Dot(n, n) < 1e-14f) {
            return;
        }
        if (Dot(n, outward) < 0.0f) {
            std::swap(b, c);
        }
        indices.push_back(a);
        indices.push_back(b);
        indices.push_back(c);
    }
};

// A textured surface of the model: one mesh with its own material.
struct Surface {
    std::string material;
    std::string texture; // file in the work folder; empty for none
    float emission;
    float diffuse[4];
    int renderClass;
    MeshBuild mesh;
};

Vec3 SpherePoint(float u, float v) {
    float p[3];
    fxContentSpherePoint(u, v, p);
    return {p[0], p[1], p[2]};
}

void BuildSphere(MeshBuild* m, float radius, int slices, int stacks, bool normalsInward) {
    int base = (int)m->vertices.size();
    for (int j = 0; j <= stacks; j++) {
        for (int i = 0; i <= slices; i++) {
            float u = (float)i / (float)slices, v = (float)j / (float)stacks;
            Vec3 d = SpherePoint(u, v);
            m->Add(d * radius, normalsInward ? d * -1.0f : d, u, v);
        }
    }
    for (int j = 0; j < stacks; j++) {
        for (int i = 0; i < slices; i++) {
            int a = base + j * (slices + 1) + i;
            int b = a + 1, c = a + slices + 1, d = c + 1;
            Vec3 centre = m->Pos(a) + m->Pos(d);
            m->Triangle(a, b, c, centre);
            m->Triangle(b, d, c, centre);
        }
    }
}

// A geodesic web: the edges of a subdivided icosahedron as glowing strands on the sphere, and
// a small disc at every node.
void BuildWeb(MeshBuild* strands, MeshBuild* nodes, float radius, int frequency) {
    const float t = (1.0f + sqrtf(5.0f)) * 0.5f;
    const Vec3 corners[12] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                              {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    const int faces[20][3] = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                              {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                              {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    // Nodes are found again by their rounded position, so shared edges are made once.
    std::map<std::tuple<int, int, int>, int> nodeIds;
    std::vector<Vec3> nodeDirs;
    auto nodeOf = [&](Vec3 p) {
        p = Unit(p);
        auto key =
            std::make_tuple((int)lroundf(p.x * 10000.0f), (int)lroundf(p.y * 10000.0f), (int)lroundf(p.z * 10000.0f));
        auto it = nodeIds.find(key);
        if (it != nodeIds.end()) {
            return it->second;
        }
        nodeDirs.push_back(p);
        nodeIds[key] = (int)nodeDirs.size() - 1;
        return (int)nodeDirs.size() - 1;
    };
    std::map<std::pair<int, int>, bool> edges;
    std::vector<std::pair<int, int>> edgeList;
    auto addEdge = [&](int a, int b) {
        std::pair<int, int> key(a < b ? a : b, a < b ? b : a);
        if (a != b && !edges[key]) {
            edges[key] = true;
            edgeList.push_back(key);
        }
    };
    for (const auto& f : faces) {
        Vec3 A = corners[f[0]], B = corners[f[1]], C = corners[f[2]];
        auto at = [&](int i, int j) {
            return nodeOf(A + (B - A) * ((float)i / (float)frequency) + (C - A) * ((float)j / (float)frequency));
        };
        for (int i = 0; i < frequency; i++) {
            for (int j = 0; i + j < frequency; j++) {
                int p = at(i, j), q = at(i + 1, j), r = at(i, j + 1);
                addEdge(p, q);
                addEdge(p, r);
                addEdge(q, r);
            }
        }
    }
    const int segments = 4;
    const float halfWidth = 0.006f;
    for (const auto& e : edgeList) {
        Vec3 a = nodeDirs[(size_t)e.first], b = nodeDirs[(size_t)e.second];
        int prevL = -1, prevR = -1;
        for (int s = 0; s <= segments; s++) {
            float f = (float)s / (float)segments;
            Vec3 p = Unit(a + (b - a) * f);
            Vec3 side = Unit(Cross(p, b - a)) * halfWidth;
            int l = strands->Add(p * radius + side, p, f, 0.0f);
            int r = strands->Add(p * radius - side, p, f, 1.0f);
            if (s > 0) {
                strands->Triangle(prevL, prevR, l, p);
                strands->Triangle(prevR, r, l, p);
            }
            prevL = l;
            prevR = r;
        }
    }
    const float nodeSize = 0.016f;
    for (const Vec3& p : nodeDirs) {
        Vec3 e1 = Unit(Cross(p, fabsf(p.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0}));
        Vec3 e2 = Cross(p, e1);
        Vec3 c = p * (radius * 1.001f);
        int q0 = nodes->Add(c - e1 * nodeSize - e2 * nodeSize, p, 0.0f, 0.0f);
        int q1 = nodes->Add(c + e1 * nodeSize - e2 * nodeSize, p, 1.0f, 0.0f);
        int q2 = nodes->Add(c + e1 * nodeSize + e2 * nodeSize, p, 1.0f, 1.0f);
        int q3 = nodes->Add(c - e1 * nodeSize + e2 * nodeSize, p, 0.0f, 1.0f);
        nodes->Triangle(q0, q1, q2, p);
        nodes->Triangle(q0, q2, q3, p);
    }
}

// A coin facing -Z (the viewer) in the unit square: two picture faces and a rim.
void BuildCoin(MeshBuild* faces, MeshBuild* rim, float thickness, int segments) {
    const float h = thickness * 0.5f;
    for (int side = 0; side < 2; side++) {
        float z = side == 0 ? -h : h;
        Vec3 n = {0.0f, 0.0f, side == 0 ? -1.0f : 1.0f};
        // The back is seen after half a turn about Y, which mirrors x: flip u to keep it readable.
        float flip = side == 0 ? 1.0f : -1.0f;
        int centre = faces->Add({0.0f, 0.0f, z}, n, 0.5f, 0.5f);
        int first = (int)faces->vertices.size();
        for (int i = 0; i <= segments; i++) {
            float a = (float)i / (float)segments * 2.0f * localPi;
            float x = cosf(a), y = sinf(a);
            faces->Add({x, y, z}, n, 0.5f + 0.5f * x * flip, 0.5f - 0.5f * y);
        }
        for (int i = 0; i < segments; i++) {
            faces->Triangle(centre, first + i, first + i + 1, n);
        }
    }
    for (int i = 0; i <= segments; i++) {
        float a = (float)i / (float)segments * 2.0f * localPi;
        Vec3 n = {cosf(a), sinf(a), 0.0f};
        rim->Add({n.x, n.y, -h}, n, 0.0f, 0.0f);
        rim->Add({n.x, n.y, h}, n, 0.0f, 0.0f);
    }
    for (int i = 0; i < segments; i++) {
        int a = 2 * i, b = a + 1, c = a + 2, d = a + 3;
        Vec3 out = rim->Pos(a) + rim->Pos(d);
        out.z = 0.0f;
        rim->Triangle(a, b, c, out);
        rim->Triangle(b, d, c, out);
    }
}

bool CopyMesh(const MeshBuild& from, FXMesh* to) {
    if (!to->Realloc((int)from.vertices.size(), (int)from.indices.size())) {
        return false;
    }
    memcpy(to->vertices, from.vertices.data(), from.vertices.size() * sizeof(tagFXVertex));
    memcpy(to->indices, from.indices.data(), from.indices.size() * sizeof(int));
    return true;
}

// Writes the model with its library (queued under the package's next free ids) and queues the
// model under the job's id.
bool SaveModel(tagContentJob* job, const std::string& name, std::vector<Surface>* surfaces) {
    FXMatlib lib;
    // The stored library name must not depend on the work folder, or two builds would differ.
    lib.name.Set((name + ".matlib").c_str());
    FXModel model;
    model.name.Set(name.c_str());
    bool ok = true;
    for (Surface& s : *surfaces) {
        FXMaterial* m = new FXMaterial();
        m->libOwned = true;
        m->name.Set(s.material.c_str());
        m->SetDefDiffuse(1.0f);
        for (int i = 0; i < 4; i++) {
            m->diffuse[i] = s.diffuse[i];
            m->ambient[i] = s.diffuse[i];
            m->emission[i] = i < 3 ? s.emission : 1.0f;
        }
        if (!s.texture.empty()) {
            m->texFile.Set(s.texture.c_str());
        }
        lib.AddMaterial(m);
        FXMesh* mesh = new FXMesh();
        mesh->materialName.Set(s.material.c_str());
        mesh->material = m;
        mesh->renderClass = s.renderClass;
        ok = CopyMesh(s.mesh, mesh) && ok;
        model.workMeshes.Push(mesh);
    }
    model.matlib = &lib;
    job->pkg->workFolder.Set(job->work.c_str());
    ok = ok && model.Compile(job->pkg);
    std::string path = job->work + "/" + std::to_string(job->id) + "-" + name + ".xm";
    ok = ok && model.Save(path.c_str());
    model.matlib = nullptr;
    if (!ok) {
        fxcontentError("cannot write the model %s", path.c_str());
        return false;
    }
    job->made = path;
    job->pkg->AddDataFile(job->id, path.c_str());
    return true;
}

Surface MakeSurface(const char* material, const std::string& texture, float emission, float alpha, int renderClass) {
    Surface s;
    s.material = material;
    s.texture = texture;
    s.emission = emission;
    for (int i = 0; i < 4; i++) {
        s.diffuse[i] = i < 3 ? 1.0f : alpha;
    }
    s.renderClass = renderClass;
    return s;
}

// Saves a texture and answers its file name in the work folder, or empty.
std::string Texture(const tagContentJob* job, const FXContentPicture& pic, const char* name) {
    std::string path = fxContentSave(job, pic, name);
    return path.empty() ? path : std::string(name);
}

} // namespace

void fxContentSpherePoint(float u, float v, float* p) {
    float lon = u * 2.0f * localPi - localPi;
    float lat = localPi * 0.5f - v * localPi;
    p[0] = cosf(lat) * sinf(lon);
    p[1] = -cosf(lat) * cosf(lon);
    p[2] = -sinf(lat);
}

static const char* const localModelRecipes[] = {"earth", "clouds", "lattice", "orbits", "haze", "web", "medallion"};
static const char* const localPictureRecipes[] = {"caption", "preview", "label",      "backdrop",
                                                  "tile",    "lens",    "reflection", "cubeshell"};

bool fxContentIsModel(const std::string& recipe) {
    for (const char* r : localModelRecipes) {
        if (recipe == r) {
            return true;
        }
    }
    return false;
}

bool fxContentKnown(const std::string& recipe) {
    for (const char* r : localPictureRecipes) {
        if (recipe == r) {
            return true;
        }
    }
    return fxContentIsModel(recipe);
}

// Shells that are one textured sphere: what they show, how much they glow on their own and how
// far out they sit, in Earth radii.
struct tagSphereShell {
    const char* recipe;
    void (*draw)(FXContentPicture*);
    const char* material;
    float emission;
    float radius;
};

static const tagSphereShell localSphereShells[] = {
    {"clouds", fxContentClouds, "clouds", 0.4f, 1.012f},
    {"haze", fxContentHaze, "haze", 0.5f, 1.03f},
    {"lattice", fxContentGraticule, "graticule", 1.0f, 1.05f},
    {"orbits", fxContentOrbits, "orbits", 1.0f, 1.08f},
};

bool fxContentModel(tagContentJob* job) {
    const std::string& r = job->recipe;
    const float R = FXCONTENT_EARTH_RADIUS;
    std::vector<Surface> surfaces;
    FXContentPicture pic;
    const tagSphereShell* shell = nullptr;
    for (const tagSphereShell& s : localSphereShells) {
        shell = r == s.recipe ? &s : shell;
    }
    if (shell != nullptr) {
        shell->draw(&pic);
        std::string t = Texture(job, pic, (std::string(shell->material) + ".png").c_str());
        if (t.empty()) {
            return false;
        }
        surfaces.push_back(MakeSurface(shell->material, t, shell->emission, 1.0f, 1));
        BuildSphere(&surfaces.back().mesh, R * shell->radius, 72, 36, false);
    } else if (r == "earth") {
        if (!fxContentEarthDay(job, &pic)) {
            return false;
        }
        std::string day = Texture(job, pic, "earth-day.jpg");
        if (day.empty() || !fxContentEarthNight(job, &pic)) {
            return false;
        }
        std::string night = Texture(job, pic, "earth-night.png");
        if (night.empty()) {
            return false;
        }
        // The key light comes from behind the globe: the day side glows on its own, and the
        // city lights, whose normals point inwards, light up exactly where the sun does not.
        surfaces.push_back(MakeSurface("earth.day", day, 0.4f, 1.0f, 0));
        BuildSphere(&surfaces.back().mesh, R, 96, 48, false);
        surfaces.push_back(MakeSurface("earth.night", night, 0.3f, 1.0f, 1));
        BuildSphere(&surfaces.back().mesh, R * 1.002f, 96, 48, true);
    } else if (r == "web") {
        fxContentStrand(&pic);
        std::string strand = Texture(job, pic, "strand.png");
        fxContentNode(&pic);
        std::string node = Texture(job, pic, "node.png");
        if (strand.empty() || node.empty()) {
            return false;
        }
        surfaces.push_back(MakeSurface("web.strand", strand, 1.0f, 1.0f, 1));
        surfaces.push_back(MakeSurface("web.node", node, 1.0f, 1.0f, 1));
        BuildWeb(&surfaces[0].mesh, &surfaces[1].mesh, FXCONTENT_OUTER_RADIUS, 3);
    } else if (r == "medallion") {
        if (!fxContentEmblem(&pic)) {
            return false;
        }
        std::string t = Texture(job, pic, "emblem.png");
        if (t.empty()) {
            return false;
        }
        surfaces.push_back(MakeSurface("medallion.face", t, 0.15f, 1.0f, 0));
        for (int i = 0; i < 3; i++) {
            surfaces.back().diffuse[i] = 0.75f;
        }
        surfaces.push_back(MakeSurface("medallion.rim", std::string(), 0.12f, 1.0f, 0));
        surfaces.back().diffuse[0] = 0.9f;
        surfaces.back().diffuse[1] = 0.68f;
        surfaces.back().diffuse[2] = 0.3f;
        BuildCoin(&surfaces[0].mesh, &surfaces[1].mesh, 0.16f, 64);
    } else {
        fxcontentError("no model recipe '%s'", r.c_str());
        return false;
    }
    return SaveModel(job, r, &surfaces);
}
