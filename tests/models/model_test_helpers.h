#ifndef FX_TESTS_ASSETS_MODEL_TEST_HELPERS_H
#define FX_TESTS_ASSETS_MODEL_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "models/model.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "support/test_env.h"
#include "support/test_files.h"

// Model tests run against a recording environment in a fresh folder; the current folder, which
// library look-ups and Compile change, is put back afterwards.
class ModelFixture : public ::testing::Test {
protected:
    TestEnv env;
    FXTestDir dir;
    std::string startFolder;

    void SetUp() override {
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof(buf)), nullptr);
        startFolder = buf;
        fxSetEnv(&env);
    }

    void TearDown() override {
        fxSetEnv(nullptr);
        EXPECT_EQ(chdir(startFolder.c_str()), 0);
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir.File(name);
        EXPECT_TRUE(fxTestWriteText(path, text));
        return path;
    }

    // Traces written while f runs.
    template <class F> std::string Traced(F f) {
        std::string log = dir.File("trace.log");
        EXPECT_TRUE(fxOpenTraces(log.c_str()));
        f();
        fxCloseTraces();
        std::string text = fxTestReadTrace(log);
        remove(log.c_str());
        return text;
    }
};

inline FXMesh* LoadedMesh(FXModel* m, int i) {
    return i >= 0 && i < m->loadedMeshes.size ? (FXMesh*)m->loadedMeshes.elements[i] : nullptr;
}

inline int Triangles(FXArray* group) {
    int n = 0;
    for (int i = 0; i < group->size; i++) {
        FXMesh* mesh = (FXMesh*)group->elements[i];
        n += mesh != nullptr ? mesh->indexCount / 3 : 0;
    }
    return n;
}

inline int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        n++;
    }
    return n;
}

#endif
