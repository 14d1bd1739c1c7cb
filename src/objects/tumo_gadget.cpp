#include "objects/tumo_gadget.h"

#include "render/3dmath.h"

const double rotate_dur = 8.0;

// The gadget's translucency: label always, medallion in the file form.
static const float localVeil[4] = {1.0f, 1.0f, 1.0f, 0.4f};

FXTumoGadget::FXTumoGadget() : restartPending(false) {}

FXTumoGadget::~FXTumoGadget() {
    Destroy();
}

void FXTumoGadget::Destroy() {
    model.Destroy();
    label.Destroy();
    labelMat.Destroy();
}

bool FXTumoGadget::CreateLabel(bool modelLoaded, bool labelLoaded) {
    label.Create(1, 1);
    float veil[4] = {localVeil[0], localVeil[1], localVeil[2], localVeil[3]};
    label.UpdateColCol(veil);
    label.mesh.colourMode = 1;
    label.SetMaterial(&labelMat);
    spin.duration = rotate_dur;
    spin.loop = true;
    spin.pingPong = false;
    spin.smooth = false;
    spin.semiSmooth = false;
    spin.firstCycle = false;
    spin.attack = false;
    return modelLoaded && labelLoaded;
}

bool FXTumoGadget::CreateCN(FXPackage* pkg, int labelId, int modelId) {
    restartPending = true;
    bool modelLoaded = model.LoadCN(pkg, modelId);
    model.UpdateMeshes();
    bool labelLoaded = labelMat.LoadTextureCN(pkg, labelId);
    return CreateLabel(modelLoaded, labelLoaded);
}

bool FXTumoGadget::Create() {
    restartPending = true;
    bool modelLoaded = model.Load("tumo_medallion.xm");
    model.UpdateMeshes();
    model.UpdateColCol(localVeil);
    bool labelLoaded = labelMat.LoadTexture("label.png");
    return CreateLabel(modelLoaded, labelLoaded);
}

void FXTumoGadget::OnRender(PEnv* env, double time) {
    if (env == nullptr) {
        return;
    }
    if (restartPending) {
        spin.Restart(time);
        restartPending = false;
    }
    spin.OnRender(env, time);

    // 0.18 of the shorter half-side in both directions, so the medallion stays square on screen.
    float sx = 1.0f;
    float sy = 1.0f;
    float w = (float)env->width;
    float h = (float)env->height;
    if (w > 0.0f && h > 0.0f) {
        if (w > h) {
            sx = h / w;
        } else {
            sy = w / h;
        }
    }
    sx = 0.18f * sx;
    sy = 0.18f * sy;

    FXMatrix t, s, r, m;
    t.SetMoveF(0.9f - sx, sy - 0.85f, -1.0f);
    s.SetScaleF(sx, sy, 1.0f);
    r.SetRotateY(spin.value * 360.0f);

    env->ApplyMatrixIdentity();
    env->MultiplyMatrix(&t);
    env->MultiplyMatrix(&s);
    env->MultiplyMatrix(&r);
    env->EnableLights(true);
    env->EnableDepthTest(true);
    env->EnableDepthWrite(true);
    env->Clrscr(false, true, false);
    model.OnRender(env, time);
    env->EnableDepthTest(false);
    env->EnableDepthWrite(false);
    env->EnableLights(false);

    // A band 1.332 times the medallion's width and a third of its height, 0.25 below its centre.
    env->ApplyMatrixIdentity();
    env->MultiplyMatrix(&t);
    m.SetMoveF(0.0f, -0.25f, 0.0f);
    env->MultiplyMatrix(&m);
    env->MultiplyMatrix(&s);
    m.SetScaleF(1.332f, 0.333f, 1.0f);
    env->MultiplyMatrix(&m);
    label.OnRender(env, time);
}
