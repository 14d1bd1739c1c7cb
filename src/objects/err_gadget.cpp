#include "objects/err_gadget.h"

FXErrGadget::FXErrGadget() : visible(false) {}

FXErrGadget::~FXErrGadget() {
    Destroy();
}

void FXErrGadget::Destroy() {
    desk.Destroy();
    material.Destroy();
}

bool FXErrGadget::Place(bool loaded) {
    desk.SetMaterial(&material);
    scrPos.itemW = (float)material.ownTexture.GetWidth();
    scrPos.itemH = (float)material.ownTexture.GetHeight();
    scrPos.screenW = fxglobalEnv != nullptr ? (float)fxglobalEnv->screenWidth : 0.0f;
    scrPos.screenH = fxglobalEnv != nullptr ? (float)fxglobalEnv->screenHeight : 0.0f;
    scrPos.SetPos(10.0f, 10.0f);
    scrPos.Update();
    return loaded;
}

bool FXErrGadget::CreateCN(FXPackage* pkg, int id) {
    desk.Create(1, 1);
    return Place(material.LoadTextureCN(pkg, id));
}

bool FXErrGadget::Create() {
    desk.Create(1, 1);
    return Place(material.LoadTexture("error_message.png"));
}

void FXErrGadget::OnRender(PEnv* env, double time) {
    if (!visible || env == nullptr) {
        return;
    }
    env->EnableDepthTest(false);
    env->EnableDepthWrite(false);
    env->EnableLights(false);
    scrPos.OnRender(env, time);
    desk.OnRender(env, time);
}
