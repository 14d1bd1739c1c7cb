#include "shell/scene.h"

#include <GL/gl.h>
#include <chrono>

#include "base/other.h"
#include "base/paths.h"
#include "base/trace.h"
#include "render/canvas.h"
#include "render/scrshot.h"

bool isPreview = false;
FXPackage pck;
Scene sc;
FXGL gr;
FXLight light;
FXLight light1;
FXDesk preview;
FXMaterial preview_mat;
FXMaterial scr_mat;
FXFireDesk fire;
FXTechDesk tech;
int32_t stage = FXSTAGE_CRYSTAL;
FXPhaser delay_phaser;
FXPlanet planet;
FXDesk desk0;
FXMaterial desk0_mat;
FXDesk desk_lens;
FXMaterial desk_lens_mat;
FXPhaser phase_ea_rot;
FXDesk desk_hidder;
FXMaterial desk_hidder_mat;
FXDesk scr_desk;
FXPhaser scr_phaser;
FXDemoGadget demo;
FXTumoGadget gad;
bool hasError = false;
FXErrGadget err_gad;
FXCrystal crystal;

bool first = true;
bool keepFirstFrame = false;
std::atomic<int64_t> shownFrames(0);
int32_t fire_num = 1024;
int32_t reconstr_num = 256;

char tumoPath[520] = "";
const char* logsFile = "vantrel.log";
const char* scrFile = "vantrel.scr";
const char* scrRegName = "Software\\tumo3d\\Screensavers\\Terravane";

// Start-up is timed from here: static initialisation runs before main, a few ms after exec.
static const std::chrono::steady_clock::time_point localProcessStart = std::chrono::steady_clock::now();
static bool localStartupTraced = false;

static double localMsSince(std::chrono::steady_clock::time_point* last) {
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(now - *last).count();
    *last = now;
    return ms;
}

// One shell of the globe: the package entry, how it turns, and its base periods in seconds.
struct tagFXSceneLayer {
    int id;
    int rotMode;
    float rot1, rot2, transp;
};

// Layer 0 (entry 24) is the solid core and takes no setter calls; the rest turn and pulse.
static const tagFXSceneLayer localLayers[] = {
    {14, 1, 120.0f, 0.0f, 60.0f},   {14, 3, 120.0f, 120.0f, 35.0f}, {16, 2, 150.0f, 0.0f, 40.0f},
    {16, 3, 150.0f, 125.0f, 80.0f}, {18, 3, 100.0f, 90.0f, 70.0f},  {20, 2, 127.0f, 0.0f, 50.0f},
    {22, 3, 160.0f, 150.0f, 65.0f},
};

static void localSetPhaser(FXPhaser* phaser, double duration, bool loop) {
    phaser->duration = duration;
    phaser->loop = loop;
    phaser->pingPong = false;
    phaser->smooth = false;
    phaser->semiSmooth = false;
}

// A full-screen overlay over the whole device. Its picture is mostly see-through, and the
// rasterizer would still sample every discarded texel: a grid whose clear cells are left out
// draws the same pixels for a fraction of the work.
static void localCreateOverlay(FXDesk* desk, FXMaterial* m) {
    desk->Create(32, 24);
    desk->SetMaterial(m);
    if (gr.width > 0 && gr.height > 0) {
        // Twice the reduction at this size, for a window made smaller later.
        float shrinkX = m->GetWidthF() / (float)gr.width, shrinkY = m->GetHeightF() / (float)gr.height;
        desk->DropClearCells(2.0f * (shrinkX > shrinkY ? shrinkX : shrinkY));
    }
}

static void localBuildShow(FXCanvas* desktop) {
    scr_mat.SetTexture(desktop);
    scr_mat.SetDefDiffuse(1.0f);

    fire.Create(fire_num);
    fire.desk.SetMaterial(&scr_mat);
    tech.Create(reconstr_num);
    tech.desk.SetMaterial(&scr_mat);

    localSetPhaser(&delay_phaser, 20.0, false);
    localSetPhaser(&phase_ea_rot, 270.0, true);

    const float speed = 2.0f;
    const float transp = 0.5f;
    planet.AddLayerCN(&pck, 24);
    for (const tagFXSceneLayer& l : localLayers) {
        planet.AddLayerCN(&pck, l.id);
        planet.SetLayerRot(l.rotMode, speed * l.rot1, speed * l.rot2);
        planet.SetLayerTransp(FX_PLANET_TRANSP, transp * l.transp);
        planet.SetLayerFluid(true);
    }

    desk_hidder_mat.LoadTextureCN(&pck, 25);
    localCreateOverlay(&desk_hidder, &desk_hidder_mat);

    planet.layerMatrixFirst = 1;
    planet.layerMatrix.SetScaleF(1.005f, 1.005f, 1.005f);

    desk0_mat.SetDefDiffuse(1.0f);
    desk0_mat.LoadTextureCN(&pck, 26);
    desk0.Create(1, 1);
    desk0.SetMaterial(&desk0_mat);

    desk_lens_mat.SetDefDiffuse(1.0f);
    desk_lens_mat.LoadTextureCN(&pck, 27);
    localCreateOverlay(&desk_lens, &desk_lens_mat);

    light.SetDefDiffuse(1.0f);
    light.position[0] = 1.0f;
    light.position[1] = 1.0f;
    light.position[2] = 0.5f;
    light.spotDirection[0] = -1.0f;
    light.spotDirection[1] = -1.0f;
    light.spotDirection[2] = -0.5f;
    light.ambient[0] = light.ambient[1] = light.ambient[2] = 0.0f;

    scr_desk.Create(1, 1);
    scr_desk.SetMaterial(&scr_mat);
    scr_desk.mesh.colourMode = 1; // the fade sets the picture's alpha through vertex colours

    localSetPhaser(&scr_phaser, 2.0, false);

    crystal.Create(&scr_mat);

    gr.RegisterLight(&light);
    light1.SetDefDiffuse(1.0f);
    gr.RegisterLight(&light1);

    demo.CreateCN(&pck, 28, 29);
    gad.CreateCN(&pck, 5, 4);

    fxSetAppPriority(1);
}

void BuildScene(void* window, bool previewMode, FXCanvas* desktop) {
    isPreview = previewMode;

    fxInitPaths();
    fxSetTypePath(FXPATH_START, tumoPath);
    fxSetPath(FXPATH_START);

    if (!isPreview) {
        fxOpenTraces(logsFile);
    }
    fxLoadDevil();
    std::chrono::steady_clock::time_point clock = std::chrono::steady_clock::now();
    const double setupMs = std::chrono::duration<double, std::milli>(clock - localProcessStart).count();

    // Taken before the device draws into the window, so it shows the desktop as it was.
    FXScrShot capture;
    if (!isPreview) {
        if (desktop != nullptr) {
            capture.canvas.Copy(desktop);
        } else {
            capture.Update();
        }
    }

    const double captureMs = localMsSince(&clock);

    gr.CreateChild(window);
    if (!isPreview && !gr.TestGL(false)) {
        hasError = true;
    }
    fxSetEnv(&gr);
    gr.SetAct(true);

    const double deviceMs = localMsSince(&clock);

    pck.Load("vantrel.dat");
    const double packageMs = localMsSince(&clock);

    err_gad.CreateCN(&pck, 0);
    err_gad.visible = hasError;

    if (isPreview) {
        preview_mat.LoadTextureCN(&pck, 1);
        preview.Create(1, 1);
        preview.SetMaterial(&preview_mat);
    } else {
        localBuildShow(&capture.canvas);
    }
    gr.SetAct(false);
    const double objectsMs = localMsSince(&clock);
    trc("start-up: %.1f ms to here: set-up %.1f, capture %.1f, device %.1f, package %.1f, objects %.1f ms\n",
        std::chrono::duration<double, std::milli>(clock - localProcessStart).count(), setupMs, captureMs, deviceMs,
        packageMs, objectsMs);
    // The capture goes here: scr_mat lives on its uploaded texture from now on.
}

void InitScene(void* window, bool previewMode) {
    BuildScene(window, previewMode, nullptr);
    gr.StartLoop(&sc);
}

void DestroyScene() {
    gr.StopLoop(100000.0);
    preview.Destroy();
    preview_mat.Destroy();
    planet.Destroy();
    scr_mat.Destroy();
    scr_desk.Destroy();
    fire.Destroy();
    tech.Destroy();
    desk0_mat.Destroy();
    desk0.Destroy();
    desk_lens_mat.Destroy();
    desk_lens.Destroy();
    desk_hidder.Destroy();
    desk_hidder_mat.Destroy();
    crystal.Destroy();
    demo.Destroy();
    gad.Destroy();
    err_gad.Destroy();
    pck.Destroy();
    gr.Destroy();
    fxUnloadDevil();
}

void ClearSceneFrame() {
    gr.EnableDepthTest(true);
    gr.EnableDepthWrite(true);
    gr.Clrscr(true, true, false);
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(false);
    gr.EnableLights(false);
    gr.ApplyMatrixIdentity();
}

// Frame of the preview: the package picture over the whole window.
static void localRenderPreview(PEnv* env, double time) {
    ClearSceneFrame();
    gr.UpdateLights();
    if (!gr.RenderStart()) {
        return;
    }
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(false);
    gr.EnableLights(false);
    gr.ApplyMatrixIdentity();
    preview.OnRender(env, time);
    gr.RenderEnd();
    shownFrames++;
}

// The globe in the lower left, turned twice per cycle of phase_ea_rot, then its overlays.
static void localRenderGlobe(PEnv* env, double time) {
    FXMatrix m;
    m.SetMoveF(-0.6f, -0.6f, 0.0f);
    gr.ApplyMatrix(&m);
    m.SetScaleF(0.98f, 1.2f, 1.2f);
    gr.MultiplyMatrix(&m);
    m.SetRotateZ(-10.0f);
    gr.MultiplyMatrix(&m);
    phase_ea_rot.OnRender(env, time);
    m.SetRotateY(phase_ea_rot.value * 360.0f * 2.0f);
    gr.MultiplyMatrix(&m);
    m.SetRotateX(90.0f);
    gr.MultiplyMatrix(&m);

    gr.EnableLights(true);
    gr.EnableLight(true, &light);
    gr.EnableLight(false, &light1);
    gr.EnableDepthTest(true);
    gr.EnableDepthWrite(true);
    planet.OnRender(env, time);

    gr.ApplyMatrixIdentity();
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(true);
    gr.EnableLights(false);
    desk_hidder.OnRender(env, time);

    gr.EnableDepthWrite(false);
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(false);
    gr.EnableLights(false);
    desk_lens.OnRender(env, time);

    gr.EnableLight(false, &light);
    gr.EnableLight(true, &light1);
    gad.OnRender(env, time);
}

// The stage slot: draws the current stage and moves to the next one when it is over. The new
// stage is first drawn in the next frame.
static void localRenderStage(PEnv* env, double time) {
    switch (stage) {
        case FXSTAGE_CRYSTAL:
            gr.EnableDepthTest(false);
            gr.EnableDepthWrite(false);
            gr.EnableLights(true);
            gr.EnableLight(false, &light);
            gr.EnableLight(true, &light1);
            gr.ApplyMatrixIdentity();
            crystal.OnRender(env, time);
            gr.EnableLights(false);
            if (crystal.finished) {
                stage = FXSTAGE_PAUSE;
                delay_phaser.Restart(time);
            }
            break;
        case FXSTAGE_PAUSE:
            delay_phaser.OnRender(env, time);
            if (delay_phaser.value >= 1.0f) {
                stage = FXSTAGE_TECH;
                tech.ReCreate();
                tech.desk.SetMaterial(&scr_mat);
            }
            break;
        case FXSTAGE_TECH:
            tech.OnRender(env, time);
            if (tech.finished) {
                stage = FXSTAGE_FADE;
                scr_phaser.Restart(time);
            }
            break;
        case FXSTAGE_FADE: {
            tech.OnRender(env, time);
            gr.EnableDepthTest(false);
            gr.EnableDepthWrite(false);
            gr.EnableLights(false);
            scr_phaser.OnRender(env, time);
            float rgba[4] = {1.0f, 1.0f, 1.0f, scr_phaser.value};
            scr_desk.UpdateColCol(rgba);
            scr_desk.OnRender(env, time);
            if (scr_phaser.value >= 1.0f) {
                stage = FXSTAGE_CRYSTAL;
                crystal.Restart();
            }
            break;
        }
        default:
            break;
    }
}

void Scene::OnRender(PEnv* env, double time) {
    if (isPreview) {
        localRenderPreview(env, time);
        return;
    }
    // The first frame runs every object once (textures, timers) and is never shown.
    std::chrono::steady_clock::time_point firstStart;
    if (first && !localStartupTraced) {
        firstStart = std::chrono::steady_clock::now();
    }
    if (!first) {
        if (!gr.RenderStart()) {
            return;
        }
        ClearSceneFrame();
    } else if (!keepFirstFrame) {
        // Its pixels are cleared before anything is shown: an empty scissor box spares a
        // software rasterizer a whole frame of fill, and the objects still run.
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 0, 0);
    }
    gr.UpdateLights();
    glEnable(GL_NORMALIZE); // the globe is drawn under a non-uniform scale
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(false);
    gr.EnableLights(false);

    localRenderGlobe(env, time);

    gr.EnableLight(true, &light);
    gr.EnableLight(true, &light1);
    gr.EnableDepthTest(false);
    gr.EnableDepthWrite(false);
    gr.EnableLights(false);
    gr.ApplyMatrixIdentity();
    localRenderStage(env, time);

    // Depth only, so the captions are never hidden by the scene below them.
    gr.ApplyMatrixIdentity();
    gr.EnableLights(true);
    gr.EnableDepthTest(true);
    gr.EnableDepthWrite(true);
    gr.Clrscr(false, true, false);
    demo.OnRender(env, time);
    gr.ApplyMatrixIdentity();
    err_gad.OnRender(env, time);

    if (!first) {
        gr.RenderEnd();
        shownFrames++;
        if (!localStartupTraced) {
            localStartupTraced = true;
            trc("start-up: first frame shown %.1f ms after start\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - localProcessStart)
                    .count());
        }
    } else {
        glDisable(GL_SCISSOR_TEST);
        if (!localStartupTraced) {
            trc("start-up: hidden first frame (texture uploads) %.1f ms\n", localMsSince(&firstStart));
        }
    }
    first = false;
}
