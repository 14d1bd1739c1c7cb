#ifndef FX_SHELL_SCENE_H
#define FX_SHELL_SCENE_H

#include <atomic>
#include <cstdint>

#include "io/package.h"
#include "base/env.h"
#include "objects/crystal.h"
#include "objects/demo_gadget.h"
#include "objects/desk.h"
#include "objects/err_gadget.h"
#include "objects/firedesk.h"
#include "objects/phaser.h"
#include "objects/planet.h"
#include "objects/techdesk.h"
#include "objects/tumo_gadget.h"
#include "render/gl.h"
#include "render/light.h"
#include "render/material.h"

class FXCanvas;

// The show: every object of it as a process-wide global, built on the main thread by InitScene
// before the render loop starts and released by DestroyScene after the loop has ended. While the
// loop runs only the render thread touches them.

// The render target of the loop: draws one frame of the show and moves it from stage to stage.
class Scene : public PRender {
public:
    void OnRender(PEnv* env, double time) override;
};

// Stages of the cycle over the desktop picture, the values of `stage`.
enum {
    FXSTAGE_CRYSTAL = 0, // the mosaic turns and dissolves
    FXSTAGE_PAUSE = 1,   // 20 s of the globe alone
    FXSTAGE_TECH = 2,    // the picture grows back as a ragged disc
    FXSTAGE_FADE = 3,    // 2 s fade to the whole picture
};

// In declaration order, which is also the order of construction.
extern bool isPreview;
extern FXPackage pck; // "vantrel.dat"
extern Scene sc;
extern FXGL gr; // the device on the host window; fxglobalEnv while the scene is built
extern FXLight light;
extern FXLight light1;
extern FXDesk preview;
extern FXMaterial preview_mat;
extern FXMaterial scr_mat; // the captured desktop picture
extern FXFireDesk fire;    // built and released, never drawn
extern FXTechDesk tech;
extern int32_t stage;
extern FXPhaser delay_phaser;
extern FXPlanet planet;
extern FXDesk desk0; // built and released, never drawn
extern FXMaterial desk0_mat;
extern FXDesk desk_lens;
extern FXMaterial desk_lens_mat;
extern FXPhaser phase_ea_rot;
extern FXDesk desk_hidder;
extern FXMaterial desk_hidder_mat;
extern FXDesk scr_desk;
extern FXPhaser scr_phaser;
extern FXDemoGadget demo;
extern FXTumoGadget gad;
extern bool hasError; // the adapter lacks multitexturing: the error caption shows
extern FXErrGadget err_gad;
extern FXCrystal crystal;

extern bool first;          // the next full-screen frame is the hidden first one
extern bool keepFirstFrame; // draw the hidden first frame's pixels too (snapshots read them)
// Frames swapped onto the screen since start; written by the render thread, read by the host
// for the frame rate it reports.
extern std::atomic<int64_t> shownFrames;
extern int32_t fire_num;
extern int32_t reconstr_num;

// Data of the host that the scene reads.
extern char tumoPath[520];     // data folder; empty when not configured
extern const char* logsFile;   // "vantrel.log"
extern const char* scrFile;    // "vantrel.scr"
extern const char* scrRegName; // where the data folder setting lives

// Builds the show on the host window (a tagFXWindow*) and starts the render loop.
void InitScene(void* window, bool previewMode);
// The same without starting the loop, for callers that draw the frames on a clock of their own
// (sc.OnRender(&gr, t) with the context current). desktop, when not null, stands in for the
// capture of the screen.
void BuildScene(void* window, bool previewMode, FXCanvas* desktop);
// The clear every shown frame starts with: colour and depth, then depth test, depth write and
// lights off and the identity matrix. On the render thread, or with the context current.
void ClearSceneFrame();
// Stops the loop, waiting for the frame in progress, and releases everything. Harmless when
// nothing was built.
void DestroyScene();

#endif
