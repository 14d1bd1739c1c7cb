#ifndef FX_OBJECTS_CRYSTAL_H
#define FX_OBJECTS_CRYSTAL_H

#include "base/env.h"
#include "objects/desk.h"
#include "objects/phaser.h"
#include "render/3dmath.h"

#define FX_CRYSTAL_SIDE 12
#define FX_CRYSTAL_TILES (FX_CRYSTAL_SIDE * FX_CRYSTAL_SIDE)

class FXMaterial;

// The picture cut into a 12 x 12 mosaic whose tiles first turn about their own axes for 7
// seconds (state 0), then spin faster, take on a sphere-mapped shine of the same picture and
// shrink towards the centre of the screen until nothing is left (state 1), which raises
// `finished`. Large: keep one, with static storage.
class FXCrystal : public PRender {
public:
    bool finished;
    bool restartPending;            // the next frame restarts the timers
    int state;                      // 0 turning, 1 dissolving
    FXMaterial* material;           // shared by all tiles; not owned
    FXPhaser phaser;                // the 7 seconds of state 0
    FXDesk tiles[FX_CRYSTAL_TILES]; // tile k of row j (row 0 at the top) is j * 12 + k
    FXMatrix tileMatrix[FX_CRYSTAL_TILES];
    FXPhaser spinX[FX_CRYSTAL_TILES];
    FXPhaser spinY[FX_CRYSTAL_TILES];
    FXPhaser shrink[FX_CRYSTAL_TILES];
    float spinXSign[FX_CRYSTAL_TILES];
    float spinYSign[FX_CRYSTAL_TILES];

    FXCrystal();
    ~FXCrystal();
    FXCrystal(const FXCrystal&) = delete;
    FXCrystal& operator=(const FXCrystal&) = delete;

    // Builds the mosaic over the material, drawing each tile's durations and directions from the
    // engine's random generator. False, with an error trace, without a material.
    bool Create(FXMaterial* m);
    // Plays the effect again from the unbroken picture, starting with the next frame.
    void Restart();
    void OnRender(PEnv* env, double time) override;
    void Destroy();
};

#endif
