#include "render/light.h"

static void localSet4(float* dst, float r, float g, float b, float a) {
    dst[0] = r;
    dst[1] = g;
    dst[2] = b;
    dst[3] = a;
}

FXLight::FXLight() : glLight(0), off(false) {
    localSet4(position, 0.0f, 0.0f, -1.0f, 0.0f);
    localSet4(spotDirection, 0.0f, 0.0f, 1.0f, 0.0f);
    SetDefDiffuse(1.0f);
}

// Every preset writes all colours, the spot and the attenuation, and the w of the position.
static void localPreset(FXLight* l, float w, float amb, float dif, float spe, float a, float spotExponent,
                        float attenuation) {
    l->position[3] = w;
    localSet4(l->ambient, amb, amb, amb, a);
    localSet4(l->diffuse, dif, dif, dif, a);
    if (spe != 0.0f) {
        localSet4(l->specular, spe, spe, spe, a);
    } else {
        localSet4(l->specular, 0.0f, 0.0f, 0.0f, 0.0f);
    }
    l->spotExponent = spotExponent;
    l->spotCutoff = 180.0f;
    l->constantAttenuation = attenuation;
    l->linearAttenuation = attenuation;
    l->quadraticAttenuation = 0.0f;
}

void FXLight::SetDefDiffuse(float a) {
    localPreset(this, 0.0f, 0.2f, 1.0f, 0.0f, a, 0.0f, 0.0f);
}

void FXLight::SetDefault(float a) {
    SetDefDiffuse(a);
}

void FXLight::SetDefAmbient(float a) {
    localPreset(this, 0.0f, 1.0f, 0.0f, 0.0f, a, 0.0f, 0.0f);
    localSet4(diffuse, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXLight::SetDefSpecular(float a) {
    localPreset(this, 1.0f, 0.0f, 1.0f, 1.0f, a, 12.0f, 0.4f);
}

void FXLight::SetDiffuseDark(float v, float a) {
    localPreset(this, 0.0f, 0.0f, v, 0.0f, a, 0.0f, 0.0f);
}

void FXLight::MultiColorF(float r, float g, float b, float a) {
    float m[4] = {r, g, b, a};
    MultiColor(m);
}

void FXLight::MultiColor(const float* m) {
    for (int i = 0; i < 4; i++) {
        ambient[i] *= m[i];
        diffuse[i] *= m[i];
        specular[i] *= m[i];
    }
}
