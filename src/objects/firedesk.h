#ifndef FX_OBJECTS_FIREDESK_H
#define FX_OBJECTS_FIREDESK_H

#include "objects/fragmentdesk.h"

#define FX_FIREDESK_RINGS 9

// A ragged hole that burns into the picture from the centre with a glowing edge: nine rings per
// spoke, every spoke on its own, and the two glowing rows coloured by the speed of their rings.
class FXFireDesk : public FXFragmentDesk {
public:
    FXFireDesk();
    ~FXFireDesk() = default;

    // Builds everything for n spokes; the owner then gives `desk` the picture's material. Odd
    // counts and counts below 40 are refused (false, error trace, nothing built).
    bool Create(int n);
    // Starts the effect again without rebuilding; the glow keeps its colours.
    void ReCreate();
    virtual void OnRender(PEnv* env, double time);
    // Moves the rings, lays the mesh over them and animates the glow; called by OnRender.
    void UpdatePositions(double time);

private:
    void AnimateGlow();
};

#endif
