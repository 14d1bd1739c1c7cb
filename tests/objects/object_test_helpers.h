#ifndef FX_TESTS_OBJECTS_OBJECT_TEST_HELPERS_H
#define FX_TESTS_OBJECTS_OBJECT_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "models/model.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "render/3dmath.h"
#include "render/canvas.h"
#include "support/test_env.h"
#include "support/test_files.h"

// What the device was in when a mesh was drawn.
struct tagDrawnMesh {
    FXMesh* mesh;
    FXMatrix matrix;
    bool lightsOn;
    bool depthTest;
    bool depthWrite;
};

// A device double that keeps the current matrix as the device does and writes down, in order,
// the state calls an object makes ("identity", "apply", "multiply", "lights 1", "depthtest 0",
// "depthwrite 1", "cull 1 0", "clear 0 1 0", "mesh") and the state under which each mesh was drawn.
class RecordingEnv : public TestEnv {
public:
    std::vector<std::string> calls;
    std::vector<tagDrawnMesh> drawn;

    RecordingEnv() {
        curMatrix.SetIdentity();
        depthWrite = true;
    }

    void Forget() {
        calls.clear();
        drawn.clear();
    }
    void ApplyMatrix(FXMatrix* m) override {
        TestEnv::ApplyMatrix(m);
        calls.push_back("apply");
    }
    void MultiplyMatrix(FXMatrix* m) override {
        FXMatrix r;
        r.Multiply(&curMatrix, m);
        curMatrix.Copy(&r);
        calls.push_back("multiply");
    }
    void ApplyMatrixIdentity() override {
        curMatrix.SetIdentity();
        calls.push_back("identity");
    }
    void EnableLights(bool on) override {
        lightsOn = on;
        calls.push_back(on ? "lights 1" : "lights 0");
    }
    void EnableDepthTest(bool on) override {
        depthTest = on;
        calls.push_back(on ? "depthtest 1" : "depthtest 0");
    }
    void EnableDepthWrite(bool on) override {
        depthWrite = on;
        calls.push_back(on ? "depthwrite 1" : "depthwrite 0");
    }
    void EnableCullface(bool front, bool back) override {
        calls.push_back(std::string("cull ") + (front ? "1" : "0") + (back ? " 1" : " 0"));
    }
    void Clrscr(bool colour, bool depth, bool stencil) override {
        calls.push_back(std::string("clear ") + (colour ? "1" : "0") + (depth ? " 1" : " 0") + (stencil ? " 1" : " 0"));
    }
    void RenderMesh(FXMesh* mesh) override {
        calls.push_back("mesh");
        tagDrawnMesh d;
        d.mesh = mesh;
        d.matrix.Copy(&curMatrix);
        d.lightsOn = lightsOn;
        d.depthTest = depthTest;
        d.depthWrite = depthWrite;
        drawn.push_back(d);
    }
};

// m applied to the point (x, y, z, 1).
inline std::vector<float> Transform(const FXMatrix& m, float x, float y, float z) {
    std::vector<float> out(3);
    for (int r = 0; r < 3; r++) {
        out[r] = m.m[r] * x + m.m[4 + r] * y + m.m[8 + r] * z + m.m[12 + r];
    }
    return out;
}

// m applied to the direction (x, y, z, 0).
inline std::vector<float> TransformDir(const FXMatrix& m, float x, float y, float z) {
    std::vector<float> out(3);
    for (int r = 0; r < 3; r++) {
        out[r] = m.m[r] * x + m.m[4 + r] * y + m.m[8 + r] * z;
    }
    return out;
}

// v within tol of (x, y, z) in every coordinate.
inline ::testing::AssertionResult Near3(const std::vector<float>& v, float x, float y, float z, float tol) {
    const float want[3] = {x, y, z};
    for (int i = 0; i < 3; i++) {
        float d = v[i] - want[i];
        if (!(d <= tol && d >= -tol)) {
            return ::testing::AssertionFailure()
                   << "(" << v[0] << ", " << v[1] << ", " << v[2] << ") is not (" << x << ", " << y << ", " << z << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// A model file of one rectangular mesh over x0 ... x1, y0 ... y1 at depth z, facing the viewer
// (normals (0, 0, -1)), with the given vertex colour and colour mode.
inline bool WriteSquareModel(const std::string& path, float z, float x0 = -1.0f, float x1 = 1.0f,
                             const float* colour = nullptr, int colourMode = 0, float y0 = -1.0f, float y1 = 1.0f) {
    FXModel model;
    FXMesh* mesh = new FXMesh();
    if (!mesh->Realloc(4, 6)) {
        delete mesh;
        return false;
    }
    const float corners[4][2] = {{x0, y1}, {x1, y1}, {x0, y0}, {x1, y0}};
    for (int i = 0; i < 4; i++) {
        tagFXVertex* v = &mesh->vertices[i];
        v->position[0] = corners[i][0];
        v->position[1] = corners[i][1];
        v->position[2] = z;
        v->normal[2] = -1.0f;
        v->texCoord[0] = i % 2 == 1 ? 1.0f : 0.0f;
        v->texCoord[1] = i >= 2 ? 1.0f : 0.0f;
        for (int k = 0; k < 4; k++) {
            v->colour[k] = colour != nullptr ? colour[k] : 1.0f;
        }
    }
    const int indices[6] = {0, 2, 1, 2, 3, 1};
    for (int i = 0; i < 6; i++) {
        mesh->indices[i] = indices[i];
    }
    mesh->colourMode = colourMode;
    model.loadedMeshes.Push(mesh);
    model.UpdateMeshes();
    return model.Save(path.c_str());
}

// A picture file of w x h pixels: four blocks (top left, top right, bottom left, bottom right).
inline bool WriteQuadrantPicture(const std::string& path, int w, int h, uint32_t tl, uint32_t tr, uint32_t bl,
                                 uint32_t br) {
    FXCanvas canvas;
    if (!canvas.pixmap.Realloc(w, h)) {
        return false;
    }
    canvas.pixmap.Clear(0);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint32_t c = y < h / 2 ? (x < w / 2 ? tl : tr) : (x < w / 2 ? bl : br);
            canvas.pixmap.pixels[(size_t)y * (size_t)canvas.pixmap.allocWidth + (size_t)x] = c;
        }
    }
    return canvas.SaveToPict2(path.c_str(), 0, 0, w, h); // with its alpha
}

inline bool WriteSolidPicture(const std::string& path, int w, int h, uint32_t c) {
    return WriteQuadrantPicture(path, w, h, c, c, c, c);
}

// Runs the test body in a fresh folder that is the current folder meanwhile.
class InFolder {
public:
    FXTestDir dir;
    std::string before;

    InFolder() {
        char buf[4096];
        if (getcwd(buf, sizeof(buf)) != nullptr) {
            before = buf;
        }
        EXPECT_EQ(chdir(dir.path.c_str()), 0);
    }
    ~InFolder() { EXPECT_EQ(chdir(before.c_str()), 0); }
};

// The trace lines written while f runs, through a trace file in folder.
template <class F> std::string TracedIn(const FXTestDir& dir, F f) {
    std::string log = dir.File("trace.log");
    EXPECT_TRUE(fxOpenTraces(log.c_str()));
    f();
    fxCloseTraces();
    std::string text = fxTestReadTrace(log);
    remove(log.c_str());
    return text;
}

#endif
