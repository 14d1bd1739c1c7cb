#include "support/gl_fixture.h"

#include <GL/gl.h>

void GLFixture::SetUp() {
    ASSERT_TRUE(fxCreateWindow(&window, width, height, nullptr, 0, 0));
    createResult = gl.CreateChild(&window);
    ASSERT_NE(gl.hglrc, nullptr) << "no OpenGL context";
    fxSetEnv(&gl);
    gl.SetAct(true);
}

void GLFixture::TearDown() {
    gl.SetAct(false);
    fxSetEnv(nullptr);
    gl.Destroy();
    fxDestroyWindow(&window);
}

std::vector<uint32_t> GLFixture::ReadPixels() {
    std::vector<uint32_t> pixels((size_t)gl.width * (size_t)gl.height);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, gl.width, gl.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

uint32_t GLFixture::PixelAt(int x, int y) {
    std::vector<uint32_t> pixels = ReadPixels();
    return pixels[(size_t)(gl.height - 1 - y) * (size_t)gl.width + (size_t)x];
}
