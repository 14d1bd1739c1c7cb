#ifndef FX_OBJECTS_DEMO_GADGET_H
#define FX_OBJECTS_DEMO_GADGET_H

#include "base/env.h"
#include "geometry/bezierspline.h"
#include "objects/desk.h"
#include "objects/phaser.h"
#include "render/3dmath.h"
#include "render/material.h"

class FXPackage;

// A small textured cube tumbling along a random closed route across the screen. It stays
// invisible for 15 s after its first frame and then fades in over 2 s. Its faces show the first
// picture as a darkened reflection under the second picture laid on a slightly larger shell.
class FXDemoGadget : public PRender {
public:
    FXDesk cubeFaces[6]; // drawn with sphere-mapped texture coordinates
    FXDesk cubeShell[6];
    FXMaterial faceMat;
    FXMaterial shellMat;
    FXMatrix faceMatrix[6]; // placement of each face on the cube of half-size 1
    FXPhaser rotX, rotY;
    FXBezierSpline route; // closed path of the cube's centre
    FXPhaser routePhaser;
    bool restartPending, delaying, fading;
    FXPhaser delay;
    FXPhaser fade;

    FXDemoGadget();
    ~FXDemoGadget();
    FXDemoGadget(const FXDemoGadget&) = delete;
    FXDemoGadget& operator=(const FXDemoGadget&) = delete;

    // The cube is built in every case; false when a picture could not be loaded (its faces are
    // then drawn untextured).
    bool CreateCN(FXPackage* pkg, int faceId, int shellId);
    bool Create(const char* faceFile, const char* shellFile);
    void Destroy();

    void OnRender(PEnv* env, double time) override;

private:
    void CreateRoute();
    bool CreateCube(bool shellLoaded, bool faceLoaded);
};

#endif
