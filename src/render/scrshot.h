#ifndef FX_RENDER_SCRSHOT_H
#define FX_RENDER_SCRSHOT_H

#include <cstdint>

#include "render/canvas.h"

// A picture of the whole primary screen, taken once at start-up so the show can play with the
// user's own desktop.
class FXScrShot {
public:
    FXCanvas canvas; // first member
    int shots;       // successful captures

    FXScrShot();
    ~FXScrShot();
    FXScrShot(const FXScrShot&) = delete;
    FXScrShot& operator=(const FXScrShot&) = delete;

    // Captures the screen into canvas: RGB with alpha 255, the rest of the allocation opaque
    // black. False (with an error trace) when the screen cannot be read.
    bool Update();
    // The desktop as a screen-saver manager saved it for window before it blanked the screen,
    // where the platform has such a thing; false (the caller then captures) where not.
    bool UpdateFromSaved(unsigned long window);
};

// Shared by the capture twins: where a colour channel lies in a pixel, from its mask, and a
// channel's value of that many bits scaled to 8.
void fxMaskShift(uint32_t mask, int* shift, int* bits);
uint32_t fxScaleChannel(uint32_t value, int bits);

#endif
