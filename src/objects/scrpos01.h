#ifndef FX_OBJECTS_SCRPOS01_H
#define FX_OBJECTS_SCRPOS01_H

#include "base/arrays.h"
#include "base/env.h"
#include "render/3dmath.h"

// Places a desk over a pixel rectangle of the screen (pixels from the top-left corner, y down),
// so an overlay picture is drawn at its own size whatever the resolution.
class FXScrPos01 : public PRender {
public:
    float screenW, screenH;
    float itemW, itemH;
    float posX, posY;
    FXMatrix placement;
    bool relative; // combine with the matrix already applied instead of replacing it

    FXScrPos01();

    void OnRender(PEnv* env, double time) override;
    virtual void Destroy();

    void SetPos(float x, float y);
    void ShiftPos(float fx, float fy);
    void Update();
    void UpdateSize();
    void UpdateAspectH1(int anchor, float w, float h);
    void GetPixelRC(FXRect* rc, int w, int h);
};

#endif
