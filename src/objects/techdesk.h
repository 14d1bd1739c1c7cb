#ifndef FX_OBJECTS_TECHDESK_H
#define FX_OBJECTS_TECHDESK_H

#include "objects/fragmentdesk.h"

#define FX_TECHDESK_RINGS 4

// Colour of the wire web, RGB (23, 68, 93) / 255, opaque.
extern const float ccol[4];

// Brings the picture back as a ragged disc growing from the centre of the screen, with a
// luminous wire web at its edge. Spokes come in pairs that share one direction, so the opening
// edge advances sector by sector in visible steps; a leash keeps every ring near the slowest.
class FXTechDesk : public FXFragmentDesk {
public:
    FXDesk wire; // the web: spokes columns, 2 cells down, drawn as outlines

    FXTechDesk();
    ~FXTechDesk();

    // Builds everything for n spokes; the owner then gives `desk` the picture's material. Odd
    // counts and counts below 40 are refused (false, error trace, nothing built).
    bool Create(int n);
    // Starts the effect again without rebuilding.
    void ReCreate();
    void Destroy();
    virtual void OnRender(PEnv* env, double time);
    // Moves the rings and lays the meshes over them; called by OnRender.
    void UpdatePositions(double time);

private:
    void ResetWireColours();
};

#endif
