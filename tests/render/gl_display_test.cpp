#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

#include "base/other.h"
#include "base/trace.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/light.h"
#include "render/material.h"
#include "render/window_x11.h"
#include "support/gl_fixture.h"

using GLDevice = GLFixture;

TEST_F(GLDevice, CreateChildSizesTheDeviceAndSetsTheFixedState) {
    EXPECT_EQ(gl.width, width);
    EXPECT_EQ(gl.height, height);
    EXPECT_GE(gl.screenWidth, width);
    EXPECT_GE(gl.screenHeight, height);
    EXPECT_EQ(gl.window, (void*)&window);
    EXPECT_NE(gl.mutex, nullptr);
    EXPECT_EQ(createResult, gl.extEdgeClamp);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], width);
    EXPECT_EQ(viewport[3], height);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLint func;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LEQUAL);
    GLfloat ref;
    glGetFloatv(GL_ALPHA_TEST_REF, &ref);
    EXPECT_FLOAT_EQ(ref, 2.0f / 255.0f);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    // Orthographic -1..1 with near 2 and far -2: z is scaled by +0.5.
    EXPECT_FLOAT_EQ(projection[0], 1.0f);
    EXPECT_FLOAT_EQ(projection[5], 1.0f);
    EXPECT_FLOAT_EQ(projection[10], 0.5f);
}

TEST_F(GLDevice, ClearColourReachesEveryPixel) {
    float colour[4] = {1.0f, 0.0f, 0.5f, 1.0f};
    gl.SetClrColor(colour);
    gl.Clrscr(true, true, false);
    std::vector<uint32_t> pixels = ReadPixels();
    uint32_t expected = fxTestRGBA(255, 0, 128, 255);
    size_t wrong = 0;
    for (uint32_t p : pixels) {
        // Within one step for the half channel.
        int b = (int)((p >> 16) & 255);
        wrong += (p & 0xffff) != (expected & 0xffff) || b < 127 || b > 128;
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(gl.clrColor[2], 0.5f);
}

TEST_F(GLDevice, DepthOnlyClearKeepsTheColourBuffer) {
    float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    gl.SetClrColor(red);
    gl.Clrscr(true, true, false);
    gl.SetClrColor(blue);
    gl.Clrscr(false, true, false);
    EXPECT_EQ(PixelAt(3, 3) & 0xffffff, fxTestRGBA(255, 0, 0, 0));
    gl.Clrscr(false, false, false); // clears nothing
    EXPECT_EQ(PixelAt(3, 3) & 0xffffff, fxTestRGBA(255, 0, 0, 0));
    gl.Clrscr(true, false, false);
    EXPECT_EQ(PixelAt(3, 3) & 0xffffff, fxTestRGBA(0, 0, 255, 0));
}

TEST_F(GLDevice, CullingModes) {
    GLint mode;
    gl.EnableCullface(true, true);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    glGetIntegerv(GL_CULL_FACE_MODE, &mode);
    EXPECT_EQ(mode, GL_BACK);
    gl.EnableCullface(true, false);
    glGetIntegerv(GL_CULL_FACE_MODE, &mode);
    EXPECT_EQ(mode, GL_FRONT);
    EXPECT_TRUE(gl.cullFront);
    EXPECT_FALSE(gl.cullBack);
    gl.EnableCullface(false, false);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
}

TEST_F(GLDevice, DepthStateFollowsTheFlags) {
    gl.EnableDepthTest(false);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(gl.depthTest);
    gl.EnableDepthWrite(false);
    GLboolean mask;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_FALSE(mask);
    EXPECT_FALSE(gl.depthWrite);
    gl.EnableDepthWrite(true);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
}

TEST_F(GLDevice, MatricesReachTheModelView) {
    FXMatrix move, scale, expected;
    move.SetMoveF(1.0f, 2.0f, 3.0f);
    scale.SetScaleF(2.0f, 2.0f, 2.0f);
    gl.ApplyMatrix(&move);
    gl.MultiplyMatrix(&scale);
    expected.Multiply(&move, &scale);
    EXPECT_TRUE(gl.curMatrix.Compare(&expected));
    GLfloat modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(modelView[i], expected.m[i]) << i;
    }
    gl.ApplyMatrixIdentity();
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    EXPECT_EQ(modelView[12], 0.0f);
    EXPECT_EQ(modelView[0], 1.0f);
}

TEST_F(GLDevice, LightsAreSentToTheirSlots) {
    FXLight a, b;
    b.SetDefSpecular(1.0f);
    b.position[0] = 5.0f;
    ASSERT_TRUE(gl.RegisterLight(&a));
    ASSERT_TRUE(gl.RegisterLight(&b));
    gl.ApplyMatrixIdentity();
    gl.UpdateLights();
    EXPECT_EQ(a.glLight, GL_LIGHT0);
    EXPECT_EQ(b.glLight, GL_LIGHT1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
    GLfloat v[4];
    glGetLightfv(GL_LIGHT1, GL_POSITION, v);
    EXPECT_EQ(v[0], 5.0f);
    EXPECT_EQ(v[3], 1.0f);
    glGetLightfv(GL_LIGHT1, GL_LINEAR_ATTENUATION, v);
    EXPECT_FLOAT_EQ(v[0], 0.4f);

    gl.EnableLight(false, &b);
    EXPECT_TRUE(b.off);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    gl.UpdateLights(); // switched-off lights stay dark
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));

    gl.DisableAllLights();
    EXPECT_TRUE(a.off);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));

    gl.EnableLights(true);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(gl.lightsOn);
    gl.EnableLights(false);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(GLDevice, MultitextureEntryPointsWhenTheDriverHasThem) {
    if (!gl.extMultitexture) {
        EXPECT_FALSE(gl.TestGL(false));
        GTEST_SKIP() << "driver without ARB_multitexture";
    }
    EXPECT_TRUE(gl.TestGL(false));
    EXPECT_NE(FXGL::glActiveTexture, nullptr);
    EXPECT_NE(FXGL::glMultiTexCoord2fv, nullptr);
}

namespace {

// Clears to a colour that changes with every frame and swaps.
class ClearTarget : public PRender {
public:
    std::atomic<int> frames{0};
    void OnRender(PEnv* env, double) override {
        float green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
        env->SetClrColor(green);
        env->Clrscr(true, true, false);
        env->RenderEnd();
        frames++;
    }
};

} // namespace

TEST(GLDeviceLoop, TheRenderThreadDrawsThroughTheDevice) {
    tagFXWindow window{};
    ASSERT_TRUE(fxCreateWindow(&window, 32, 32, nullptr, 0, 0));
    {
        FXGL gl;
        gl.CreateChild(&window);
        ASSERT_NE(gl.hglrc, nullptr);
        ClearTarget target;
        ASSERT_TRUE(gl.StartLoop(&target));
        for (int i = 0; i < 5000 && target.frames < 3; i++) {
            fxSleep(0.001);
        }
        gl.StopLoop(100000);
        EXPECT_GE(target.frames.load(), 3);
        // After the last swap the window itself shows the frame. The driver puts the image
        // through a connection of its own, which the server may not have handled yet.
        unsigned long pixel = 0;
        for (int i = 0; i < 200 && (pixel & 0xffffff) != 0x00ff00u; i++) {
            XImage* image = XGetImage(window.platform->display, window.platform->id, 5, 5, 1, 1, AllPlanes, ZPixmap);
            ASSERT_NE(image, nullptr);
            pixel = XGetPixel(image, 0, 0);
            XDestroyImage(image);
            if ((pixel & 0xffffff) != 0x00ff00u) {
                fxSleep(0.005);
            }
        }
        EXPECT_EQ(pixel & 0xffffff, 0x00ff00u);
    }
    fxDestroyWindow(&window);
}

TEST(GLDeviceCreate, ANullWindowFails) {
    FXGL gl;
    EXPECT_FALSE(gl.CreateChild(nullptr));
    EXPECT_EQ(gl.hglrc, nullptr);
    gl.SetAct(true); // nothing to make current: harmless
    gl.RenderEnd();
    gl.Destroy();
}

TEST(GLDeviceCreate, ExtensionsAreTraced) {
    char folder[] = "/tmp/vantrel-gl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string log = std::string(folder) + "/gl.log";
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    tagFXWindow window{};
    ASSERT_TRUE(fxCreateWindow(&window, 16, 16, nullptr, 0, 0));
    {
        FXGL gl;
        gl.CreateChild(&window);
    }
    fxDestroyWindow(&window);
    fxCloseTraces();
    FILE* f = fopen(log.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string text(65536, 0);
    text.resize(fread(&text[0], 1, text.size(), f));
    fclose(f);
    unlink(log.c_str());
    rmdir(folder);
    EXPECT_NE(text.find("] OpenGL info:\n"), std::string::npos);
    EXPECT_NE(text.find("] vendor: "), std::string::npos);
    EXPECT_NE(text.find("] renderer: "), std::string::npos);
    EXPECT_NE(text.find("] version: "), std::string::npos);
}

TEST(GLDeviceEnlarge, LiftsAChildToFullScreenAndPutsItBack) {
    tagFXWindow parent{}, child{};
    ASSERT_TRUE(fxCreateWindow(&parent, 200, 150, nullptr, 0, 0));
    ASSERT_TRUE(fxCreateWindow(&child, 80, 60, &parent, 10, 20));
    {
        FXGL gl;
        gl.CreateChild(&child);
        ASSERT_NE(gl.hglrc, nullptr);
        fxSetEnv(&gl);
        gl.Enlarge(true);
        EXPECT_TRUE(gl.enlarged);
        EXPECT_EQ(gl.width, gl.screenWidth);
        EXPECT_EQ(gl.height, gl.screenHeight);
        EXPECT_EQ(gl.savedRect[0], 10);
        EXPECT_EQ(gl.savedRect[1], 20);
        EXPECT_EQ(gl.savedRect[2], 90);
        EXPECT_EQ(gl.savedRect[3], 80);
        EXPECT_EQ(gl.hdc->savedParent, parent.platform->id);
        gl.Enlarge(false);
        EXPECT_FALSE(gl.enlarged);
        EXPECT_EQ(gl.width, 80);
        EXPECT_EQ(gl.height, 60);
        EXPECT_EQ(gl.hdc->savedParent, 0u);
        fxSetEnv(nullptr);
    }
    fxDestroyWindow(&child);
    fxDestroyWindow(&parent);
}

namespace {

// The bytes of one mipmap level of the bound 2D texture.
std::vector<uint8_t> textureLevel(GLuint texture, int level) {
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    std::vector<uint8_t> bytes((size_t)w * (size_t)h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!bytes.empty()) {
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return bytes;
}

} // namespace

// The device builds mipmaps itself for power-of-two pictures; every level must hold exactly
// what GLU's builder makes from the same pixels, other sizes still go to GLU.
TEST_F(GLDevice, MipmapLevelsAreThoseOfGLUsBuilder) {
    const int sizes[][2] = {{64, 32}, {16, 16}, {1, 32}, {32, 1}, {2, 1}, {1, 1}, {8, 128}, {48, 20}};
    unsigned seed = 7;
    for (const auto& size : sizes) {
        FXCanvas canvas;
        ASSERT_TRUE(canvas.pixmap.Realloc(size[0], size[1]));
        const FXPixmap& p = canvas.pixmap;
        for (int i = 0; i < p.allocWidth * p.allocHeight; i++) {
            seed = seed * 1103515245u + 12345u;
            p.pixels[i] = seed ^ (seed >> 16);
        }
        FXMaterial m;
        m.texture = &canvas;
        m.mipmaps = true;
        ASSERT_TRUE(gl.PrepareTexture(&m));

        GLuint reference = 0;
        glGenTextures(1, &reference);
        glBindTexture(GL_TEXTURE_2D, reference);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, p.allocWidth, p.allocHeight, GL_RGBA, GL_UNSIGNED_BYTE, p.pixels);
        glBindTexture(GL_TEXTURE_2D, 0);

        SCOPED_TRACE(std::to_string(p.allocWidth) + "x" + std::to_string(p.allocHeight));
        int levels = 0;
        for (int level = 0; level < 16; level++) {
            std::vector<uint8_t> ours = textureLevel(m.glTexture, level);
            std::vector<uint8_t> theirs = textureLevel(reference, level);
            ASSERT_EQ(ours.size(), theirs.size()) << "level " << level;
            EXPECT_TRUE(ours == theirs) << "level " << level;
            levels += !ours.empty();
        }
        int expected = 1;
        for (int w = p.allocWidth, h = p.allocHeight; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) {
            expected++;
        }
        if (p.allocWidth == 64) {
            EXPECT_EQ(levels, expected); // the full chain down to 1 x 1
        }
        gl.UnprepareTexture(&m);
        glDeleteTextures(1, &reference);
        m.texture = nullptr;
    }
}

namespace {

float unitRandom(unsigned* seed) {
    *seed = *seed * 1103515245u + 12345u;
    return (float)((*seed >> 8) & 0xffff) / 65535.0f;
}

// A random triangle soup over shared vertices, every attribute filled.
void randomMesh(FXMesh* mesh, unsigned* seed, int vertices, int triangles) {
    ASSERT_TRUE(mesh->Realloc(vertices, triangles * 3));
    for (int i = 0; i < vertices; i++) {
        tagFXVertex& v = mesh->vertices[i];
        for (int k = 0; k < 3; k++) {
            v.position[k] = unitRandom(seed) * 1.8f - 0.9f;
            v.normal[k] = unitRandom(seed) * 2.0f - 1.0f;
        }
        v.texCoord[0] = unitRandom(seed);
        v.texCoord[1] = unitRandom(seed);
        for (int k = 0; k < 4; k++) {
            v.colour[k] = unitRandom(seed);
        }
    }
    for (int i = 0; i < triangles * 3; i++) {
        mesh->indices[i] = (int)(unitRandom(seed) * (float)(vertices - 1) + 0.5f);
    }
}

} // namespace

// The device hands well-formed meshes to the driver as arrays; a mesh with a damaged index
// still goes through the immediate-mode routine, which skips it. An out-of-range index after
// the last whole triangle changes no triangle, so both routes must draw the same pixels, under
// every combination of vertex colours, lighting and texturing.
TEST_F(GLDevice, ArrayDrawingGivesTheImmediateModePixels) {
    FXLight light;
    light.SetDefDiffuse(1.0f);
    light.position[0] = 0.3f;
    light.position[1] = 0.5f;
    light.position[2] = -1.0f;
    ASSERT_TRUE(gl.RegisterLight(&light));
    gl.UpdateLights();

    FXCanvas picture;
    ASSERT_TRUE(picture.pixmap.Realloc(16, 16));
    unsigned seed = 11;
    for (int i = 0; i < 16 * 16; i++) {
        picture.pixmap.pixels[i] = (unsigned)(unitRandom(&seed) * 16777215.0f) | 0xC0000000u;
    }
    FXMaterial textured;
    textured.texture = &picture;
    textured.hasTexture = true;
    textured.mipmaps = false;
    ASSERT_TRUE(gl.PrepareTexture(&textured));
    FXMaterial plain;
    plain.SetDefDiffuse(0.8f);

    for (int round = 0; round < 8; round++) {
        const bool colours = (round & 1) != 0, lights = (round & 2) != 0, texture = (round & 4) != 0;
        SCOPED_TRACE("colours " + std::to_string(colours) + " lights " + std::to_string(lights) + " texture " +
                     std::to_string(texture));
        FXMesh mesh, damaged;
        randomMesh(&mesh, &seed, 40, 60);
        mesh.colourMode = colours ? 1 : 0;
        mesh.material = texture ? &textured : &plain;
        ASSERT_TRUE(damaged.Copy(&mesh));
        ASSERT_TRUE(damaged.Realloc(mesh.vertexCount, mesh.indexCount + 1));
        for (int i = 0; i < mesh.indexCount; i++) {
            damaged.indices[i] = mesh.indices[i];
        }
        damaged.indices[mesh.indexCount] = mesh.vertexCount; // one past the table

        std::vector<uint32_t> drawn[2];
        FXMesh* routes[2] = {&mesh, &damaged};
        for (int r = 0; r < 2; r++) {
            gl.Clrscr(true, true, false);
            gl.EnableLights(lights);
            gl.EnableDepthTest(true);
            gl.EnableDepthWrite(true);
            gl.RenderMesh(routes[r]);
            gl.RenderMesh(routes[r]); // again over its own depth: LEQUAL lets it blend once more
            drawn[r] = ReadPixels();
        }
        size_t lit = 0, differ = 0;
        for (size_t i = 0; i < drawn[0].size(); i++) {
            lit += (drawn[0][i] & 0xffffff) != 0;
            differ += drawn[0][i] != drawn[1][i];
        }
        EXPECT_GT(lit, drawn[0].size() / 4); // the soup covers the window
        EXPECT_EQ(differ, 0u);
        mesh.material = damaged.material = nullptr;
    }
    gl.EnableLights(false);
    gl.UnprepareTexture(&textured);
    textured.texture = nullptr;
}

// Triangles that can only sample texels of alpha 0, or that the driver would cull, are left out.
// Under every scale (from
// magnified to far below a texel per pixel, so that coarse mipmap levels are read), turn and
// tilt, the window must hold exactly the pixels (and depths) of drawing every triangle, with and
// without mipmaps; and the selection must really leave triangles out.
TEST_F(GLDevice, LeavingOutClearTrianglesChangesNoPixel) {
    FXCanvas picture;
    ASSERT_TRUE(picture.pixmap.Realloc(64, 64));
    unsigned seed = 23;
    FXPixmap& p = picture.pixmap;
    for (int i = 0; i < 64 * 64; i++) {
        p.pixels[i] = 0x00ffffffu; // white, alpha 0: only the alpha decides
    }
    // Blots of every alpha, the faintest just above and below the alpha test's threshold.
    const unsigned alphas[] = {1, 2, 3, 40, 255};
    for (int b = 0; b < 14; b++) {
        const int x0 = (int)(unitRandom(&seed) * 60.0f), y0 = (int)(unitRandom(&seed) * 60.0f);
        const int w = 1 + (int)(unitRandom(&seed) * 4.0f), h = 1 + (int)(unitRandom(&seed) * 4.0f);
        for (int y = y0; y < y0 + h; y++) {
            for (int x = x0; x < x0 + w; x++) {
                p.pixels[y * 64 + x] = (alphas[b % 5] << 24) | 0x4080ffu;
            }
        }
    }
    FXMaterial m;
    m.texture = &picture;
    m.hasTexture = true;
    gl.EnableDepthTest(true);
    gl.EnableDepthWrite(true);

    int offered = 0, shown = 0;
    for (int round = 0; round < 32; round++) {
        m.mipmaps = round % 4 != 3;
        ASSERT_TRUE(gl.PrepareTexture(&m));
        ASSERT_EQ(gl.clearMaps.count(m.glTexture), 1u);
        FXMesh mesh;
        const int triangles = 200;
        ASSERT_TRUE(mesh.Realloc(triangles * 3, triangles * 3));
        mesh.material = &m;
        for (int t = 0; t < triangles; t++) {
            const float cx = unitRandom(&seed) * 1.6f - 0.8f, cy = unitRandom(&seed) * 1.6f - 0.8f;
            const float size = 0.02f + unitRandom(&seed) * 0.3f;
            const float cu = unitRandom(&seed), cv = unitRandom(&seed), reach = 0.01f + unitRandom(&seed) * 0.25f;
            for (int k = 0; k < 3; k++) {
                tagFXVertex& v = mesh.vertices[t * 3 + k];
                v.position[0] = cx + (unitRandom(&seed) - 0.5f) * size;
                v.position[1] = cy + (unitRandom(&seed) - 0.5f) * size;
                v.position[2] = unitRandom(&seed) - 0.5f;
                // Some coordinates run off the picture, where the edge texels repeat.
                v.texCoord[0] = cu + (unitRandom(&seed) - 0.5f) * reach * 1.4f;
                v.texCoord[1] = cv + (unitRandom(&seed) - 0.5f) * reach * 1.4f;
                mesh.indices[t * 3 + k] = t * 3 + k;
            }
        }
        FXMatrix matrix, scaled, turned, tilt;
        const float scale = powf(2.0f, unitRandom(&seed) * 7.0f - 5.0f);
        scaled.SetScaleF(scale, scale * (0.2f + unitRandom(&seed)), scale);
        turned.SetRotateZ(unitRandom(&seed) * 360.0f);
        tilt.SetRotateX(unitRandom(&seed) * 80.0f);
        matrix.Multiply(&turned, &scaled);
        scaled.Copy(&matrix);
        matrix.Multiply(&tilt, &scaled);

        std::vector<uint32_t> drawn[2];
        std::vector<float> depths[2];
        // Triangles the driver culls are left out too: none, the front or the back culled.
        gl.EnableCullface(round % 3 == 1, round % 3 == 2);
        for (int r = 0; r < 2; r++) {
            gl.skipClearTriangles = r == 0;
            gl.Clrscr(true, true, false);
            gl.ApplyMatrix(&matrix);
            gl.RenderMesh(&mesh);
            drawn[r] = ReadPixels();
            depths[r].resize((size_t)width * height);
            glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depths[r].data());
        }
        gl.skipClearTriangles = true;
        gl.EnableCullface(false, false);
        SCOPED_TRACE("round " + std::to_string(round) + " scale " + std::to_string(scale));
        EXPECT_TRUE(drawn[0] == drawn[1]);
        EXPECT_TRUE(depths[0] == depths[1]);
        std::vector<int> out(mesh.indexCount);
        std::vector<float> xy(mesh.vertexCount * 2);
        shown += fxSelectShownTriangles(&gl.clearMaps[m.glTexture], mesh.vertices, mesh.vertexCount, mesh.indices,
                                        mesh.indexCount, gl.curMatrix.m, width, height, 0, xy.data(), out.data());
        offered += mesh.indexCount;
        mesh.material = nullptr;
        const unsigned int name = m.glTexture;
        gl.UnprepareTexture(&m);
        EXPECT_EQ(gl.clearMaps.count(name), 0u);
    }
    gl.ApplyMatrixIdentity();
    m.texture = nullptr;
    EXPECT_GT(shown, offered / 20);
    EXPECT_LT(shown, offered - offered / 5); // a fifth or more left out
}
