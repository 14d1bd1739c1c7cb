#include "objects/demo_gadget.h"

#include <GL/gl.h>

#include "base/other.h"

// Points of the route, and how far they may lie from the screen centre.
static const int localRoutePoints = 20;
static const float localRouteReach = 0.7f;

static void localInitPhaser(FXPhaser* p, double duration, bool loop) {
    p->duration = duration;
    p->loop = loop;
    p->pingPong = false;
    p->smooth = false;
    p->semiSmooth = false;
    p->firstCycle = false;
    p->attack = false;
}

// The device has no operation for texture-coordinate generation: the cube switches the sphere
// map on and off itself around the faces.
static void localSphereMap(bool on) {
    if (on) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
}

FXDemoGadget::FXDemoGadget() : restartPending(false), delaying(false), fading(false) {
    for (int i = 0; i < 6; i++) {
        faceMatrix[i].SetIdentity();
    }
}

FXDemoGadget::~FXDemoGadget() {
    Destroy();
}

void FXDemoGadget::Destroy() {
    route.Destroy();
    faceMat.Destroy();
    shellMat.Destroy();
    for (int i = 0; i < 6; i++) {
        cubeFaces[i].Destroy();
        cubeShell[i].Destroy();
    }
}

void FXDemoGadget::CreateRoute() {
    route.Destroy();
    fxResetRandom();
    for (int i = 0; i < localRoutePoints; i++) {
        float x = (2.0f * fxGetRandom() - 1.0f) * localRouteReach;
        float y = (2.0f * fxGetRandom() - 1.0f) * localRouteReach;
        route.points.Push(x);
        route.points.Push(y);
        route.points.Push(0.0f);
    }
    route.closed = true;
    route.Precompute();
    route.PrecomputePhasesLenght();

    // One lap takes 640 s per unit of average chord: about eight minutes for this spread.
    localInitPhaser(&routePhaser, 2.0 * 320.0 * (double)route.averageLength, true);
    localInitPhaser(&rotX, 2.0 * 28.0, true);
    localInitPhaser(&rotY, 2.0 * 36.0, true);
}

bool FXDemoGadget::CreateCube(bool shellLoaded, bool faceLoaded) {
    shellMat.SetDefDiffuse(1.0f);
    shellMat.PreserveCols();
    faceMat.SetDefDiffuse(1.0f);
    faceMat.ChangeDarkDiffuse(0.5f);
    faceMat.PreserveCols();

    for (int i = 0; i < 6; i++) {
        cubeFaces[i].Create(1, 1);
        cubeFaces[i].SetMaterial(&faceMat);
        cubeShell[i].Create(1, 1);
        cubeShell[i].SetMaterial(&shellMat);
    }

    // The unit quad pushed to z = -1 and turned onto each side of the cube.
    FXMatrix push;
    push.SetMoveF(0.0f, 0.0f, -1.0f);
    faceMatrix[0].Copy(&push);
    FXMatrix turn;
    turn.SetRotateY(-90.0f);
    faceMatrix[1].Multiply(&turn, &push);
    turn.SetRotateY(90.0f);
    faceMatrix[2].Multiply(&turn, &push);
    turn.SetRotateX(-90.0f);
    faceMatrix[3].Multiply(&turn, &push);
    turn.SetRotateX(90.0f);
    faceMatrix[4].Multiply(&turn, &push);
    turn.SetRotateX(180.0f);
    faceMatrix[5].Multiply(&turn, &push);

    restartPending = true;
    delaying = true;
    fading = true;
    localInitPhaser(&delay, 15.0, false);
    localInitPhaser(&fade, 2.0, false);
    return shellLoaded && faceLoaded;
}

bool FXDemoGadget::CreateCN(FXPackage* pkg, int faceId, int shellId) {
    CreateRoute();
    bool shellLoaded = shellMat.LoadTextureCN(pkg, shellId);
    bool faceLoaded = faceMat.LoadTextureCN(pkg, faceId);
    return CreateCube(shellLoaded, faceLoaded);
}

bool FXDemoGadget::Create(const char* faceFile, const char* shellFile) {
    CreateRoute();
    bool shellLoaded = shellMat.LoadTexture(shellFile);
    bool faceLoaded = faceMat.LoadTexture(faceFile);
    return CreateCube(shellLoaded, faceLoaded);
}

void FXDemoGadget::OnRender(PEnv* env, double time) {
    // Never created: there is no route to follow.
    if (env == nullptr || route.GetCnt() < 1) {
        return;
    }
    if (restartPending) {
        delay.Restart(time);
        restartPending = false;
    }
    if (delaying) {
        delay.OnRender(env, time);
        if (delay.value >= 1.0f) {
            fade.Restart(time);
            delaying = false;
        }
        return;
    }
    if (fading) {
        fade.OnRender(env, time);
        if (fade.value >= 1.0f) {
            fading = false;
        }
        float alpha[4] = {1.0f, 1.0f, 1.0f, fade.value};
        faceMat.MultiCols(alpha);
        shellMat.MultiCols(alpha);
    }

    localSphereMap(true);

    routePhaser.OnRender(env, time);
    float p[3];
    route.GetAll(p, routePhaser.value);
    rotX.OnRender(env, time);
    rotY.OnRender(env, time);

    FXMatrix m;
    m.SetMoveF(p[0], p[1], p[2]);
    env->MultiplyMatrix(&m);
    m.SetScaleF(0.3f, 0.366f, 0.3f);
    env->MultiplyMatrix(&m);
    m.SetRotateX(rotX.value * 360.0f);
    env->MultiplyMatrix(&m);
    m.SetRotateY(rotY.value * 360.0f);
    env->MultiplyMatrix(&m);
    FXMatrix cube;
    cube.Copy(&env->curMatrix);

    for (int i = 0; i < 6; i++) {
        env->ApplyMatrix(&cube);
        env->MultiplyMatrix(&faceMatrix[i]);
        cubeFaces[i].OnRender(env, time);
    }

    localSphereMap(false);

    FXMatrix shell;
    m.SetScaleF(1.001f, 1.001f, 1.001f);
    shell.Multiply(&cube, &m);
    for (int i = 0; i < 6; i++) {
        env->ApplyMatrix(&shell);
        env->MultiplyMatrix(&faceMatrix[i]);
        cubeShell[i].OnRender(env, time);
    }
}
