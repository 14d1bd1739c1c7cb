#include "render/headless.h"

#include "render/canvas.h"
#include "render/material.h"

FXHeadlessEnv::~FXHeadlessEnv() {
    Destroy();
}

bool FXHeadlessEnv::CreateChild(void*) {
    return true;
}

void FXHeadlessEnv::ClrParams() {}

void FXHeadlessEnv::SetAct(bool) {}

bool FXHeadlessEnv::RenderStart() {
    return true;
}

void FXHeadlessEnv::RenderEnd() {}

void FXHeadlessEnv::SetClrColor(float*) {}

void FXHeadlessEnv::Clrscr(bool, bool, bool) {}

void FXHeadlessEnv::Enlarge(bool) {}

void FXHeadlessEnv::UpdateLights() {}

void FXHeadlessEnv::ApplyMaterial(FXMaterial*) {}

void FXHeadlessEnv::ApplyMaterial2(FXMaterial*) {}

void FXHeadlessEnv::ApplyMatrix(FXMatrix*) {}

void FXHeadlessEnv::MultiplyMatrix(FXMatrix*) {}

void FXHeadlessEnv::ApplyMatrixIdentity() {}

void FXHeadlessEnv::EnableLights(bool) {}

void FXHeadlessEnv::EnableLight(bool, FXLight*) {}

void FXHeadlessEnv::DisableAllLights() {}

void FXHeadlessEnv::SetAmbient(float*) {}

void FXHeadlessEnv::EnableDepthTest(bool) {}

void FXHeadlessEnv::EnableDepthWrite(bool) {}

void FXHeadlessEnv::EnableCullface(bool, bool) {}

bool FXHeadlessEnv::PrepareTexture(FXMaterial* m) {
    return m != nullptr && m->texture != nullptr && m->texture->pixmap.pixels != nullptr;
}

bool FXHeadlessEnv::FastPrepareTexture(FXMaterial*, FXPixmap*) {
    return true;
}

bool FXHeadlessEnv::PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*) {
    return false;
}

void FXHeadlessEnv::UnprepareTexture(FXMaterial*) {}

bool FXHeadlessEnv::PrepareMesh(FXMesh*) {
    return true;
}

void FXHeadlessEnv::UnprepareMesh(FXMesh*) {}

void FXHeadlessEnv::RenderMesh(FXMesh*) {}
