#ifndef FX_TESTS_GL_FIXTURE_H
#define FX_TESTS_GL_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/gl.h"
#include "render/window.h"

// A window of the given size with a device on it, current on the test's thread.
class GLFixture : public ::testing::Test {
protected:
    tagFXWindow window{};
    FXGL gl;
    int width = 64;
    int height = 48;
    bool createResult = false;

    void SetUp() override;
    void TearDown() override;

    // Reads the back buffer (what the frame drew before it is swapped), bottom row first.
    std::vector<uint32_t> ReadPixels();
    // The pixel at (x, y) counted from the top-left corner, as R | G << 8 | B << 16 | A << 24.
    uint32_t PixelAt(int x, int y);
};

// Packs bytes the way ReadPixels returns them.
inline uint32_t fxTestRGBA(int r, int g, int b, int a) {
    return (uint32_t)r | (uint32_t)g << 8 | (uint32_t)b << 16 | (uint32_t)a << 24;
}

#endif
