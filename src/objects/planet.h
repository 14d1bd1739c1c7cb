#ifndef FX_OBJECTS_PLANET_H
#define FX_OBJECTS_PLANET_H

#include "base/arrays.h"
#include "base/env.h"
#include "objects/phaser.h"
#include "render/3dmath.h"

class FXModel;
class FXPackage;

// Layers a planet can hold: the per-layer phasers are fixed arrays of this size.
#define FX_PLANET_MAX_LAYERS 10
// Bit of a layer's pulse flags that switches its transparency pulse on.
#define FX_PLANET_TRANSP 512

// The rotating globe: a stack of whole models drawn around one centre, each turning, pulsing in
// size and in transparency on its own phasers, so the shells drift against each other. The owner
// places the globe in the model-view matrix before OnRender.
class FXPlanet : public PRender {
public:
    bool useMatColors; // colour into the mesh materials instead of the vertex colours
    float color[4];    // applied to every layer; its alpha is modulated by the transparency pulse
    int count;
    int current;        // the layer the SetLayer operations change: the one added last; -1 without layers
    FXArray layers;     // owned FXModel*, in drawing order
    FXArray rotModes;   // int: 0 none, 1 about X, 2 about Y, 3 about X and Y
    FXArray pulseFlags; // int: bits 0-1 size-pulse axis (1 X, 2 Y, 3 Z), FX_PLANET_TRANSP
    FXArray fluid;      // int: 1 draws without depth writes
    FXPhaser rot1[FX_PLANET_MAX_LAYERS];
    FXPhaser rot2[FX_PLANET_MAX_LAYERS];
    FXPhaser pulse[FX_PLANET_MAX_LAYERS];
    int layerMatrixFirst; // layerMatrix applies to layers first ... last
    int layerMatrixLast;
    FXMatrix layerMatrix;

    FXPlanet();
    ~FXPlanet();
    FXPlanet(const FXPlanet&) = delete;
    FXPlanet& operator=(const FXPlanet&) = delete;

    // A layer is added whatever the load yields (a model that failed to load draws nothing);
    // false only when the planet already holds FX_PLANET_MAX_LAYERS layers and refuses it.
    bool AddLayer(const char* path);
    bool AddLayerCN(FXPackage* pkg, int id);
    // These change the current layer and do nothing without one.
    void SetLayerRot(int mode, double d1, double d2);
    void SetLayerTransp(int bits, double d);
    void SetLayerScale(int axis, double d);
    void SetLayerFluid(bool on);

    void OnRender(PEnv* env, double time) override;
    void Destroy();

private:
    FXModel* NewLayer(const char* what);
    void AppendLayer(FXModel* model);
    void ApplyColor(FXModel* model, const float* rgba);
};

#endif
