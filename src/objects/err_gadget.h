#ifndef FX_OBJECTS_ERR_GADGET_H
#define FX_OBJECTS_ERR_GADGET_H

#include "base/env.h"
#include "objects/desk.h"
#include "objects/scrpos01.h"
#include "render/material.h"

class FXPackage;

// The error caption: a picture drawn at its own pixel size 10 pixels from the top-left corner of
// the screen while the owner keeps it visible.
class FXErrGadget : public PRender {
public:
    bool visible;
    FXDesk desk; // 1 x 1 grid
    FXMaterial material;
    FXScrPos01 scrPos;

    FXErrGadget();
    ~FXErrGadget();
    FXErrGadget(const FXErrGadget&) = delete;
    FXErrGadget& operator=(const FXErrGadget&) = delete;

    // Built in every case (the screen size comes from fxglobalEnv); false when the picture could
    // not be loaded.
    bool CreateCN(FXPackage* pkg, int id);
    // From "error_message.png" in the current folder.
    bool Create();
    void Destroy();

    void OnRender(PEnv* env, double time) override;

private:
    bool Place(bool loaded);
};

#endif
