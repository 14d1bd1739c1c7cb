#include "objects/scrpos01.h"

FXScrPos01::FXScrPos01()
    : screenW(0.0f), screenH(0.0f), itemW(0.0f), itemH(0.0f), posX(0.0f), posY(0.0f), relative(false) {
    placement.SetIdentity();
}

void FXScrPos01::Destroy() {}

void FXScrPos01::SetPos(float x, float y) {
    posX = x;
    posY = y;
    Update();
}

void FXScrPos01::ShiftPos(float fx, float fy) {
    posX += screenW * fx;
    posY += screenH * fy;
    Update();
}

static bool localSizesValid(const FXScrPos01* p) {
    return p->screenW > 0.0f && p->screenH > 0.0f && p->itemW > 0.0f && p->itemH > 0.0f;
}

void FXScrPos01::Update() {
    if (!localSizesValid(this)) {
        placement.SetIdentity();
        return;
    }
    FXMatrix scale, move;
    scale.SetScaleF(itemW / screenW, itemH / screenH, 1.0f);
    float dx = ((itemW - screenW) / 2.0f + posX) / screenW * 2.0f;
    float dy = ((itemH - screenH) / 2.0f + posY) / screenH * -2.0f;
    move.SetMoveF(dx, dy, 0.0f);
    placement.Multiply(&move, &scale);
}

void FXScrPos01::UpdateSize() {
    if (!localSizesValid(this)) {
        placement.SetIdentity();
        return;
    }
    placement.SetScaleF(itemW / screenW, itemH / screenH, 1.0f);
}

void FXScrPos01::UpdateAspectH1(int anchor, float w, float h) {
    float r = (h / screenH) / (w / screenW);
    if (!(r < 1.0f)) {
        return;
    }
    FXMatrix narrow, shift, step, result;
    narrow.SetScaleF(r, 1.0f, 1.0f);
    if (anchor == 0) {
        step.Copy(&narrow);
    } else {
        shift.SetMoveF(anchor == 1 ? 1.0f - r : r - 1.0f, 0.0f, 0.0f);
        step.Multiply(&shift, &narrow);
    }
    result.Multiply(&placement, &step);
    placement.Copy(&result);
}

void FXScrPos01::GetPixelRC(FXRect* rc, int w, int h) {
    rc->x1 = (int)((float)w * posX / screenW);
    rc->y1 = (int)((float)h * posY / screenH);
    rc->x2 = (int)((float)(int)(posX + itemW) * (float)w / screenW);
    rc->y2 = (int)((float)(int)(posY + itemH) * (float)h / screenH);
}

void FXScrPos01::OnRender(PEnv* env, double) {
    if (!relative) {
        env->ApplyMatrix(&placement);
        return;
    }
    FXMatrix combined;
    combined.Multiply(&env->curMatrix, &placement);
    env->ApplyMatrix(&combined);
}
