#ifndef FX_OBJECTS_TUMO_GADGET_H
#define FX_OBJECTS_TUMO_GADGET_H

#include "models/model.h"
#include "base/env.h"
#include "objects/desk.h"
#include "objects/phaser.h"
#include "render/material.h"

class FXPackage;

// Seconds the medallion takes for one turn.
extern const double rotate_dur;

// The maker's medallion: a model spinning about its vertical axis in the lower-right corner of
// the screen, square on screen whatever the window's shape, with a translucent label beneath it.
class FXTumoGadget : public PRender {
public:
    FXModel model;
    FXDesk label; // 1 x 1 grid, per-vertex colour
    FXMaterial labelMat;
    FXPhaser spin;
    bool restartPending; // restart spin at the next frame

    FXTumoGadget();
    ~FXTumoGadget();
    FXTumoGadget(const FXTumoGadget&) = delete;
    FXTumoGadget& operator=(const FXTumoGadget&) = delete;

    // The gadget is built in every case; false when the model or the label could not be loaded.
    bool CreateCN(FXPackage* pkg, int labelId, int modelId);
    // From "tumo_medallion.xm" and "label.png" in the current folder.
    bool Create();
    void Destroy();

    void OnRender(PEnv* env, double time) override;

private:
    bool CreateLabel(bool modelLoaded, bool labelLoaded);
};

#endif
