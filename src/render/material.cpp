#include "render/material.h"

#include <cstdint>
#include <cstring>

#include "io/package.h"
#include "base/env.h"
#include "base/stream.h"

static void localSet4(float* c, float r, float g, float b, float a) {
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

static bool localWriteColour(FILE* f, const float* c) {
    size_t written = 0;
    for (int i = 0; i < 4; i++) {
        written += fxWriteFloat(f, c[i]);
    }
    return written == 16;
}

// Takes the colour only when all of it is there, so a cut record keeps the preset values.
static void localReadColour(FILE* f, float* c) {
    float v[4];
    bool whole = true;
    for (int i = 0; i < 4; i++) {
        bool complete = false;
        v[i] = fxReadFloat(f, &complete);
        whole = whole && complete;
    }
    if (whole) {
        memcpy(c, v, sizeof(v));
    }
}

FXMaterial::FXMaterial()
    : libOwned(false), shininess(0.0f), hasTexture(false), glTexture(0), texScaleU(1.0f), texScaleV(1.0f),
      texOpaque(true), mipmaps(true), texture(nullptr) {
    memset(preservedCols, 0, sizeof(preservedCols));
    SetDefDiffuse(1.0f);
}

FXMaterial::~FXMaterial() {
    Destroy();
}

void FXMaterial::SetDefDiffuse(float a) {
    localSet4(ambient, 0.2f, 0.2f, 0.2f, 0.0f);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::SetDefault(float a) {
    SetDefDiffuse(a);
}

void FXMaterial::SetBlack(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(diffuse, 0.0f, 0.0f, 0.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::SetDefSpecular(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(diffuse, 0.2f, 0.2f, 0.2f, a);
    localSet4(specular, 1.0f, 1.0f, 1.0f, a);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
    shininess = 128.0f;
}

void FXMaterial::SetDefSpecular1(float a) {
    localSet4(ambient, 0.2f, 0.2f, 0.2f, a);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 1.0f, 1.0f, 1.0f, a);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::SetDefEmission(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(diffuse, 0.0f, 0.0f, 0.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 1.0f, 1.0f, 1.0f, a);
}

void FXMaterial::PrepareDarkDiffuse(float a) {
    localSet4(ambient, 0.0f, 0.0f, 0.0f, a);
    localSet4(diffuse, 1.0f, 1.0f, 1.0f, a);
    localSet4(specular, 0.0f, 0.0f, 0.0f, 0.0f);
    localSet4(emission, 0.0f, 0.0f, 0.0f, 0.0f);
}

void FXMaterial::ChangeDarkDiffuse(float v) {
    diffuse[0] = v;
    diffuse[1] = v;
    diffuse[2] = v;
}

void FXMaterial::PreserveCols() {
    memcpy(preservedCols[0], ambient, sizeof(ambient));
    memcpy(preservedCols[1], diffuse, sizeof(diffuse));
    memcpy(preservedCols[2], specular, sizeof(specular));
    memcpy(preservedCols[3], emission, sizeof(emission));
}

void FXMaterial::MultiCols(const float* m) {
    float* cols[4] = {ambient, diffuse, specular, emission};
    for (int c = 0; c < 4; c++) {
        for (int i = 0; i < 4; i++) {
            cols[c][i] = preservedCols[c][i] * m[i];
        }
    }
}

bool FXMaterial::IsSolid() const {
    if (hasTexture && !texOpaque) {
        return false;
    }
    return diffuse[3] == 1.0f;
}

// Deletes the uploaded texture name, if any; the device zeroes glTexture.
void FXMaterial::ReleaseTexture() {
    if (glTexture != 0) {
        if (fxglobalEnv != nullptr) {
            fxglobalEnv->UnprepareTexture(this);
        }
        // Without an environment there is no context left to delete the name from.
        glTexture = 0;
    }
}

bool FXMaterial::SetTexture(FXCanvas* canvas) {
    if (canvas == nullptr) {
        ReleaseTexture();
        hasTexture = false;
        return false;
    }
    const FXPixmap* p = &canvas->pixmap;
    texScaleU = p->allocWidth > 0 ? (float)p->width / (float)p->allocWidth : 0.0f;
    texScaleV = p->allocHeight > 0 ? (float)p->height / (float)p->allocHeight : 0.0f;
    texOpaque = canvas->opaque;
    hasTexture = true;
    texture = canvas;
    if (fxglobalEnv != nullptr && fxglobalEnv->PrepareTexture(this)) {
        return true;
    }
    ReleaseTexture();
    hasTexture = false;
    return false;
}

bool FXMaterial::AttachLoaded(bool loaded) {
    if (loaded) {
        return SetTexture(&ownTexture);
    }
    // A texture uploaded earlier for this material must not outlive the failed reload.
    ReleaseTexture();
    hasTexture = false;
    return false;
}

bool FXMaterial::LoadTexture(const char* file) {
    texture = nullptr;
    return AttachLoaded(file != nullptr && ownTexture.CreateFromPict(file));
}

bool FXMaterial::LoadTextureCN(FXPackage* pkg, int id) {
    texture = nullptr;
    return AttachLoaded(pkg != nullptr && ownTexture.CreateFromPictCN(pkg, id));
}

bool FXMaterial::LoadTextureC(FXPackage* pkg, const char* idText) {
    texture = nullptr;
    return AttachLoaded(pkg != nullptr && idText != nullptr && ownTexture.CreateFromPictC(pkg, idText));
}

int FXMaterial::GetWidth() const {
    return texture != nullptr ? texture->GetWidth() : 0;
}

int FXMaterial::GetHeight() const {
    return texture != nullptr ? texture->GetHeight() : 0;
}

float FXMaterial::GetWidthF() const {
    return texture != nullptr ? texture->GetWidthF() : 0.0f;
}

float FXMaterial::GetHeightF() const {
    return texture != nullptr ? texture->GetHeightF() : 0.0f;
}

void FXMaterial::Destroy() {
    ReleaseTexture();
    hasTexture = false;
    ownTexture.Destroy();
    texture = nullptr;
}

bool FXMaterial::Save(FILE* f) const {
    if (f == nullptr) {
        return false;
    }
    name.Save(f);
    texFile.Save(f);
    bool ok = localWriteColour(f, ambient);
    ok = localWriteColour(f, diffuse) && ok;
    ok = localWriteColour(f, specular) && ok;
    ok = localWriteColour(f, emission) && ok;
    ok = fxWriteFloat(f, shininess) == 4 && ok;
    return ok && ferror(f) == 0;
}

bool FXMaterial::Load(FILE* f) {
    if (f == nullptr) {
        return false;
    }
    // A reloaded material must not keep the texture of its previous record.
    Destroy();
    SetDefSpecular(1.0f);
    name.Load(f);
    texFile.Load(f);
    localReadColour(f, ambient);
    localReadColour(f, diffuse);
    localReadColour(f, specular);
    localReadColour(f, emission);
    bool complete = false;
    shininess = fxReadFloat(f, &complete);
    if (!complete) {
        shininess = 0.0f;
    }
    libOwned = true;
    if (texFile.IsEmpty()) {
        return true;
    }
    return LoadTexture(texFile.chars);
}

bool FXMaterial::LoadC(FXPackage* pkg, FXPackageData* data) {
    if (data == nullptr) {
        return false;
    }
    Destroy();
    SetDefSpecular(1.0f);
    data->ReadString(&name);
    data->ReadString(&texFile);
    float* cols[4] = {ambient, diffuse, specular, emission};
    shininess = 0.0f;
    bool whole = true;
    for (int i = 0; i < 4 && whole; i++) {
        whole = data->remaining >= 16;
        if (whole) {
            data->ReadFloat4(cols[i]);
        }
    }
    if (whole) {
        shininess = data->ReadFloat();
    } else {
        // A cut record is the last one: its stray bytes are not the start of another, nor the
        // shininess. The file form ends the same way, at the end of the file.
        data->ReadBlc(data->remaining);
    }
    libOwned = true;
    if (texFile.IsEmpty()) {
        return true;
    }
    return LoadTextureC(pkg, texFile.chars);
}
