#include "objects/planet.h"

#include <cstdint>

#include "models/model.h"
#include "base/trace.h"

// Size pulse: the layer stretches by up to a along its axis and thins by up to b across it.
static const float localStretch = 0.7f;
static const float localThin = 0.9f;

static void localSetInt(FXArray* a, int i, int v) {
    if (i >= 0 && i < a->size) {
        a->elements[i] = (void*)(intptr_t)v;
    }
}

static void localInitPhaser(FXPhaser* p, double duration) {
    p->duration = duration;
    p->active = true;
    p->loop = true;
    p->pingPong = false;
    p->smooth = false;
    p->semiSmooth = false;
    p->firstCycle = false;
    p->attack = false;
}

FXPlanet::FXPlanet() : useMatColors(false), count(0), current(-1), layerMatrixFirst(1000), layerMatrixLast(1000) {
    color[0] = color[1] = color[2] = color[3] = 1.0f;
    for (int i = 0; i < FX_PLANET_MAX_LAYERS; i++) {
        localInitPhaser(&rot1[i], 10.0);
        localInitPhaser(&rot2[i], 12.0);
        localInitPhaser(&pulse[i], 4.0);
    }
    layerMatrix.SetIdentity();
}

FXPlanet::~FXPlanet() {
    Destroy();
}

void FXPlanet::Destroy() {
    for (int i = 0; i < layers.size; i++) {
        delete (FXModel*)layers.elements[i];
    }
    layers.DestroyBuf();
    rotModes.DestroyBuf();
    pulseFlags.DestroyBuf();
    fluid.DestroyBuf();
    count = 0;
    current = -1;
}

FXModel* FXPlanet::NewLayer(const char* what) {
    // The per-layer phasers cannot hold more: an eleventh layer is refused rather than drawn
    // with another layer's timers.
    if (count >= FX_PLANET_MAX_LAYERS) {
        err("FXPlanet::%s -> no room for layer %d, the planet holds %d\n", what, count + 1, FX_PLANET_MAX_LAYERS);
        return nullptr;
    }
    return new FXModel();
}

void FXPlanet::AppendLayer(FXModel* model) {
    model->UpdateMeshes();
    model->PreserveColMat();
    layers.Push(model);
    rotModes.PushInt(0);
    pulseFlags.PushInt(0);
    fluid.PushInt(0);
    current = layers.size - 1;
    count = layers.size;
    ApplyColor(model, color);
}

bool FXPlanet::AddLayer(const char* path) {
    FXModel* model = NewLayer("AddLayer");
    if (model == nullptr) {
        return false;
    }
    model->Load(path);
    AppendLayer(model);
    return true;
}

bool FXPlanet::AddLayerCN(FXPackage* pkg, int id) {
    FXModel* model = NewLayer("AddLayerCN");
    if (model == nullptr) {
        return false;
    }
    model->LoadCN(pkg, id);
    AppendLayer(model);
    return true;
}

void FXPlanet::ApplyColor(FXModel* model, const float* rgba) {
    if (useMatColors) {
        model->UpdateColMat(rgba);
    } else {
        model->UpdateColCol(rgba);
    }
}

void FXPlanet::SetLayerRot(int mode, double d1, double d2) {
    if (current < 0) {
        return;
    }
    localSetInt(&rotModes, current, mode);
    rot1[current].duration = d1;
    rot2[current].duration = d2;
}

void FXPlanet::SetLayerTransp(int bits, double d) {
    if (current < 0) {
        return;
    }
    localSetInt(&pulseFlags, current, (pulseFlags.GetInt(current) & ~FX_PLANET_TRANSP) | bits);
    pulse[current].duration = d;
}

void FXPlanet::SetLayerScale(int axis, double d) {
    if (current < 0) {
        return;
    }
    localSetInt(&pulseFlags, current, (pulseFlags.GetInt(current) & ~3) | axis);
    pulse[current].duration = d;
}

void FXPlanet::SetLayerFluid(bool on) {
    if (current < 0) {
        return;
    }
    localSetInt(&fluid, current, on ? 1 : 0);
}

void FXPlanet::OnRender(PEnv* env, double time) {
    if (env == nullptr) {
        return;
    }
    FXMatrix base;
    base.Copy(&env->curMatrix);
    FXMatrix m;
    for (int i = 0; i < count && i < layers.size; i++) {
        env->ApplyMatrix(&base);
        if (layerMatrixFirst <= i && i <= layerMatrixLast) {
            env->MultiplyMatrix(&layerMatrix);
        }
        // Neighbouring layers turn against each other: (-, -), (+, -), (-, +), (+, +), repeating.
        float sx = (i & 1) != 0 ? 1.0f : -1.0f;
        float sy = (i & 2) != 0 ? 1.0f : -1.0f;
        switch (rotModes.GetInt(i)) {
            case 1:
                rot1[i].OnRender(env, time);
                m.SetRotateX(rot1[i].value * 360.0f * sx);
                env->MultiplyMatrix(&m);
                break;
            case 2:
                rot1[i].OnRender(env, time);
                m.SetRotateY(rot1[i].value * 360.0f * sx);
                env->MultiplyMatrix(&m);
                break;
            case 3:
                rot1[i].OnRender(env, time);
                rot2[i].OnRender(env, time);
                m.SetRotateX(rot1[i].value * 360.0f * sx);
                env->MultiplyMatrix(&m);
                m.SetRotateY(rot2[i].value * 360.0f * sy);
                env->MultiplyMatrix(&m);
                break;
            default:
                break;
        }

        FXModel* model = (FXModel*)layers.elements[i];
        int flags = pulseFlags.GetInt(i);
        float p = 0.0f;
        if (flags != 0) {
            pulse[i].OnRender(env, time);
            p = pulse[i].value;
        }
        float grow = 1.0f + localStretch * p;
        float shrink = 1.0f - localThin * p;
        switch (flags & 3) {
            case 1:
                m.SetScaleF(grow, shrink, shrink);
                env->MultiplyMatrix(&m);
                break;
            case 2:
                m.SetScaleF(shrink, grow, shrink);
                env->MultiplyMatrix(&m);
                break;
            case 3:
                m.SetScaleF(shrink, shrink, grow);
                env->MultiplyMatrix(&m);
                break;
            default:
                break;
        }
        if ((flags & FX_PLANET_TRANSP) != 0 && model != nullptr) {
            float w = p < 0.5f ? 2.0f * p : 2.0f * (1.0f - p);
            float c[4] = {color[0], color[1], color[2], color[3] * w};
            ApplyColor(model, c);
        }

        env->EnableDepthWrite(fluid.GetInt(i) == 0);
        if (model != nullptr) {
            model->OnRender(env, time);
        }
    }
}
