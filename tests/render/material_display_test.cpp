#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "render/canvas.h"
#include "render/material.h"
#include "support/gl_fixture.h"

namespace {

// The material tests' texture life, on the real device instead of the recording double.
class MaterialOnDevice : public GLFixture {
protected:
    std::string folder;

    void SetUp() override {
        GLFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(fxLoadDevil());
        char tmpl[] = "/tmp/vantrel-matdev-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + folder + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        fxUnloadDevil();
        GLFixture::TearDown();
    }

    // A 100 x 60 picture with one see-through pixel, saved as PNG.
    std::string WritePicture() {
        FXCanvas c;
        EXPECT_TRUE(c.pixmap.Realloc(100, 60));
        for (int i = 0; i < c.pixmap.allocWidth * c.pixmap.allocHeight; i++) {
            c.pixmap.pixels[i] = 0xff336699u;
        }
        c.pixmap.pixels[5] = 0x80336699u;
        std::string file = folder + "/picture.png";
        EXPECT_TRUE(c.SaveToPict2(file.c_str(), 0, 0, 100, 60));
        return file;
    }
};

GLint levelWidth(GLuint texture, int level) {
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glBindTexture(GL_TEXTURE_2D, 0);
    return w;
}

} // namespace

TEST_F(MaterialOnDevice, LoadedTexturesUploadWholeAllocationsWithMipmaps) {
    std::string file = WritePicture();
    FXMaterial m;
    ASSERT_TRUE(m.LoadTexture(file.c_str()));
    EXPECT_TRUE(m.hasTexture);
    ASSERT_NE(m.glTexture, 0u);
    EXPECT_TRUE(glIsTexture(m.glTexture));
    EXPECT_EQ(m.texScaleU, 0.78125f);
    EXPECT_EQ(m.texScaleV, 0.9375f);
    EXPECT_FALSE(m.IsSolid()); // the see-through pixel
    EXPECT_EQ(levelWidth(m.glTexture, 0), 128);
    EXPECT_EQ(levelWidth(m.glTexture, 1), 64); // mipmaps built

    // Reloading keeps the texture name; Destroy deletes it on the device.
    GLuint name = m.glTexture;
    ASSERT_TRUE(m.LoadTexture(file.c_str()));
    EXPECT_EQ(m.glTexture, name);
    m.Destroy();
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(m.glTexture, 0u);
}

TEST_F(MaterialOnDevice, WithoutMipmapsOnlyLevelZeroExists) {
    std::string file = WritePicture();
    FXMaterial m;
    m.mipmaps = false;
    ASSERT_TRUE(m.LoadTexture(file.c_str()));
    EXPECT_EQ(levelWidth(m.glTexture, 0), 128);
    EXPECT_EQ(levelWidth(m.glTexture, 1), 0);
    m.Destroy();
}

TEST_F(MaterialOnDevice, AFailedLoadReleasesTheEarlierTexture) {
    std::string file = WritePicture();
    FXMaterial m;
    ASSERT_TRUE(m.LoadTexture(file.c_str()));
    GLuint name = m.glTexture;
    std::string missing = folder + "/missing.png";
    EXPECT_FALSE(m.LoadTexture(missing.c_str()));
    EXPECT_FALSE(m.hasTexture);
    EXPECT_EQ(m.glTexture, 0u);
    EXPECT_FALSE(glIsTexture(name));
}
