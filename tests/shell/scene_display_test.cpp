#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "objects/object_test_helpers.h"
#include "render/window_x11.h"
#include "shell/scene.h"
#include "support/alloc_counter.h"
#include "support/test_files.h"
#include "shell/scene_data.h"

namespace {

SceneData* localData = nullptr;

class SceneDisplay : public ::testing::Test {
protected:
    tagFXWindow window{};
    FXCanvas desktop; // a plain magenta desktop stands in for the capture
    std::string cwd;

    static void SetUpTestSuite() { localData = new SceneData(); }
    static void TearDownTestSuite() {
        delete localData;
        localData = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(localData->ok) << "the test package could not be made";
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof(buf)), nullptr);
        cwd = buf;
        snprintf(tumoPath, sizeof(tumoPath), "%s", localData->dir.path.c_str());
        first = true;
        stage = FXSTAGE_CRYSTAL;
        hasError = false;
        ASSERT_TRUE(desktop.pixmap.Realloc(64, 48));
        desktop.pixmap.Clear(kMagenta);
        ASSERT_TRUE(fxCreateWindow(&window, 160, 120, nullptr, 0, 0));
    }
    void TearDown() override {
        DestroyScene();
        fxSetEnv(nullptr);
        fxDestroyWindow(&window);
        fxCloseTraces();
        if (!cwd.empty()) {
            EXPECT_EQ(chdir(cwd.c_str()), 0);
        }
    }

    // What the window shows on the screen, top row first, as R | G << 8 | B << 16.
    std::vector<uint32_t> Shown() {
        glFinish();
        Display* dpy = window.platform->display;
        XSync(dpy, False);
        int w = gr.width, h = gr.height;
        std::vector<uint32_t> px((size_t)w * (size_t)h, 0xDEADu);
        XImage* img = XGetImage(dpy, window.platform->id, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (img == nullptr) {
            ADD_FAILURE() << "cannot read the window";
            return px;
        }
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                unsigned long p = XGetPixel(img, x, y);
                px[(size_t)y * w + x] =
                    (uint32_t)((p >> 16) & 255) | (uint32_t)((p >> 8) & 255) << 8 | (uint32_t)(p & 255) << 16;
            }
        }
        XDestroyImage(img);
        return px;
    }
    static int Count(const std::vector<uint32_t>& px, uint32_t rgb) {
        int n = 0;
        for (uint32_t p : px) {
            n += p == rgb ? 1 : 0;
        }
        return n;
    }
};

TEST_F(SceneDisplay, DestroyWithoutBuildIsHarmless) {
    DestroyScene();
    DestroyScene();
    EXPECT_FALSE(gr.loopRunning);
    EXPECT_EQ(gr.hglrc, nullptr);
    EXPECT_EQ(pck.GetEntryCount(), 0);
    EXPECT_EQ(planet.count, 0);
}

TEST_F(SceneDisplay, BuildsEveryObjectFromThePackage) {
    InitScene(&window, false);
    gr.StopLoop(100000.0);
    EXPECT_EQ(planet.count, 8);
    EXPECT_EQ(planet.layerMatrixFirst, 1);
    EXPECT_FLOAT_EQ(planet.layerMatrix.m[0], 1.005f);
    EXPECT_TRUE(tech.IsBuilt());
    EXPECT_EQ(tech.spokes, 256);
    EXPECT_EQ(fire.spokes, 1024);
    EXPECT_EQ(crystal.material, &scr_mat);
    EXPECT_EQ(scr_desk.mesh.colourMode, 1);
    EXPECT_EQ(gr.lights[0], &light);
    EXPECT_EQ(gr.lights[1], &light1);
    EXPECT_FALSE(err_gad.visible); // the software renderer has multitexturing
    // The trace file of the full-screen show lies in the data folder.
    EXPECT_NE(fxTestReadText(localData->dir.File("vantrel.log")).find("OpenGL info"), std::string::npos);
}

TEST_F(SceneDisplay, FirstFrameIsDrawnButNotShown) {
    BuildScene(&window, false, &desktop);
    gr.SetAct(true);
    sc.OnRender(&gr, 1000.0);
    EXPECT_FALSE(first);
    EXPECT_EQ(Count(Shown(), 0xFF00FFu), 0) << "the first frame reached the screen";
    sc.OnRender(&gr, 1000.03125);
    // The crystal's tiles still cover most of the window with the desktop picture.
    std::vector<uint32_t> shown = Shown();
    EXPECT_GT(Count(shown, 0xFF00FFu), (int)shown.size() / 4);
    gr.SetAct(false);
}

TEST_F(SceneDisplay, StagesFollowTheClock) {
    BuildScene(&window, false, &desktop);
    gr.SetAct(true);
    const double step = 1.0 / 32.0; // exact in binary, so differences of frame times are exact
    double t = 1000.0;
    // Crystal: the pause starts in the very frame in which the crystal finishes, on its time.
    for (; stage == FXSTAGE_CRYSTAL && t < 1100.0; t += step) {
        sc.OnRender(&gr, t);
        if (crystal.finished) {
            ASSERT_EQ(stage, FXSTAGE_PAUSE);
            EXPECT_EQ(delay_phaser.startTime, t);
            break;
        }
    }
    ASSERT_EQ(stage, FXSTAGE_PAUSE);
    const double pauseStart = t;
    // The pause lasts 20 s, then the tech desk begins.
    sc.OnRender(&gr, pauseStart + 19.96875);
    EXPECT_EQ(stage, FXSTAGE_PAUSE);
    sc.OnRender(&gr, pauseStart + 20.0);
    ASSERT_EQ(stage, FXSTAGE_TECH);
    // The tech desk runs until it reports finished; the fade starts in that frame.
    for (t = pauseStart + 20.0 + step; stage == FXSTAGE_TECH && t < pauseStart + 200.0; t += step) {
        sc.OnRender(&gr, t);
        if (tech.finished) {
            ASSERT_EQ(stage, FXSTAGE_FADE);
            EXPECT_EQ(scr_phaser.startTime, t);
            break;
        }
    }
    ASSERT_EQ(stage, FXSTAGE_FADE);
    const double fadeStart = t;
    sc.OnRender(&gr, fadeStart + 1.0);
    EXPECT_EQ(stage, FXSTAGE_FADE);
    EXPECT_NEAR(scr_desk.mesh.vertices[0].colour[3], 0.5f, 1e-6f);
    sc.OnRender(&gr, fadeStart + 1.96875);
    EXPECT_EQ(stage, FXSTAGE_FADE);
    // The frame in which 2 s have passed ends the fade, drawing the picture fully opaque.
    sc.OnRender(&gr, fadeStart + 2.0);
    EXPECT_EQ(stage, FXSTAGE_CRYSTAL);
    EXPECT_EQ(scr_desk.mesh.vertices[0].colour[3], 1.0f);
    std::vector<uint32_t> shown = Shown();
    EXPECT_EQ(shown[(size_t)(gr.height / 2) * gr.width + gr.width / 2], 0xFF00FFu);
    EXPECT_TRUE(crystal.restartPending);
    gr.SetAct(false);
}

TEST_F(SceneDisplay, PreviewShowsPictureOneOverTheWindow) {
    BuildScene(&window, true, nullptr);
    EXPECT_EQ(planet.count, 0); // only the caption and the preview are built
    gr.SetAct(true);
    sc.OnRender(&gr, 1.0);
    EXPECT_TRUE(first); // preview never clears it
    std::vector<uint32_t> shown = Shown();
    int w = gr.width, h = gr.height;
    EXPECT_EQ(shown[0], kRed & 0xFFFFFFu);
    EXPECT_EQ(shown[(size_t)w - 1], kGreen & 0xFFFFFFu);
    EXPECT_EQ(shown[(size_t)(h - 1) * w], kBlue & 0xFFFFFFu);
    EXPECT_EQ(shown[(size_t)h * w - 1], kWhite & 0xFFFFFFu);
    EXPECT_EQ(Count(shown, 0), 0) << "the picture leaves part of the window uncovered";
    gr.SetAct(false);
}

TEST_F(SceneDisplay, FramesAfterTheFirstDoNotAllocate) {
    BuildScene(&window, false, &desktop);
    gr.SetAct(true);
    double t = 1000.0;
    sc.OnRender(&gr, t);
    // Every stage in turn; the driver's own allocations inside its calls are not the show's.
    const int stages[] = {FXSTAGE_CRYSTAL, FXSTAGE_PAUSE, FXSTAGE_TECH, FXSTAGE_FADE};
    int64_t counted = 0;
    for (int s : stages) {
        stage = s;
        if (s == FXSTAGE_TECH) {
            tech.ReCreate();
        }
        sc.OnRender(&gr, t += 0.05); // a stage's own first frame may set up
        fxTestAllocStartOwn();
        for (int i = 0; i < 75; i++) {
            stage = s;
            sc.OnRender(&gr, t += 0.05);
        }
        counted += fxTestAllocStop();
        EXPECT_EQ(counted, 0) << "in stage " << s;
    }
    // The filter that leaves the driver out still sees the show's own allocations.
    fxTestAllocStartOwn();
    void* volatile own = malloc(64);
    free(own);
    EXPECT_EQ(fxTestAllocStop(), 1);
    gr.SetAct(false);
}

} // namespace
