#include "objects/firedesk.h"

#include "base/other.h"

// Least and most room between ring j and ring j + 1, in units of gap.
static const float localSpacing[FX_FIREDESK_RINGS - 1][2] = {{1.0f, 2.0f},   {1.0f, 2.0f},   {0.01f, 0.01f},
                                                             {0.01f, 0.01f}, {0.99f, 0.99f}, {0.01f, 0.01f},
                                                             {3.0f, 6.0f},   {3.0f, 6.0f}};

FXFireDesk::FXFireDesk() : FXFragmentDesk(FX_FIREDESK_RINGS, 0.5) {}

bool FXFireDesk::Create(int n) {
    if (!CreateBase("FXFireDesk::Create", n, FX_FIREDESK_RINGS)) {
        return false;
    }
    static const float rowColours[FX_FIREDESK_RINGS + 1][4] = {{0.0f, 0.0f, 0.0f, 0.0f},
                                                               {0.0f, 0.0f, 0.0f, 1.0f},
                                                               {0.0f, 0.0f, 0.0f, 1.0f},
                                                               {1.0f, 0.0f, 0.0f, 1.0f},
                                                               {1.0f, 0.0f, 0.0f, 1.0f},
                                                               {128.0f / 255.0f, 99.0f / 255.0f, 68.0f / 255.0f, 1.0f},
                                                               {128.0f / 255.0f, 99.0f / 255.0f, 68.0f / 255.0f, 1.0f},
                                                               {0.7509804f, 0.6941176f, 0.6333333f, 1.0f},
                                                               {1.0f, 1.0f, 1.0f, 1.0f},
                                                               {1.0f, 1.0f, 1.0f, 1.0f}};
    SetRowColours(rowColours);
    ReCreate();
    return true;
}

void FXFireDesk::ReCreate() {
    ResetRun();
    if (!IsBuilt()) {
        return;
    }
    for (int j = 0; j < FX_FIREDESK_RINGS; j++) {
        for (int i = 0; i < spokes; i++) {
            RadiusRef(j, i) = (float)(j - 2) * gap;
        }
    }
}

void FXFireDesk::OnRender(PEnv* env, double time) {
    if (!IsBuilt()) {
        return;
    }
    UpdatePositions(time);
    desk.OnRender(env, time);
    UpdateSpeedsWhenDue(time);
}

void FXFireDesk::UpdatePositions(double time) {
    if (!IsBuilt()) {
        return;
    }
    const int n = spokes;
    float cu, cv;
    TexHalfExtents(&cu, &cv);

    float e, k;
    if (AdvanceClock(time, 0.05f, &e, &k)) {
        for (int j = 1; j < FX_FIREDESK_RINGS; j++) {
            for (int i = 0; i < n; i++) {
                RadiusRef(j, i) += Speed(j, i) * k;
            }
        }
        for (int i = 0; i < n; i++) {
            RadiusRef(0, i) = Radius(1, i) - gap;
        }
        for (int j = 0; j < FX_FIREDESK_RINGS - 1; j++) {
            const float least = localSpacing[j][0] * gap;
            const float most = localSpacing[j][1] * gap;
            for (int i = 0; i < n; i++) {
                const float inner = Radius(j, i);
                float& outer = RadiusRef(j + 1, i);
                if (inner + least > outer) {
                    outer = inner + least;
                } else if (outer > inner + most) {
                    outer = inner + most;
                }
            }
        }
    }

    bool inside = false;
    for (int j = 0; j < FX_FIREDESK_RINGS; j++) {
        for (int i = 0; i < n; i++) {
            inside |= PlaceVertex(&desk, j, i, &dirs.elements[2 * i], Radius(j, i), cu, cv);
        }
    }
    // The outer rim lies beyond the screen.
    for (int i = 0; i < n; i++) {
        PlaceVertex(&desk, FX_FIREDESK_RINGS, i, &dirs.elements[2 * i], scale, cu, cv);
    }
    CopySeam(&desk, 0, FX_FIREDESK_RINGS);
    AnimateGlow();
    if (!inside) {
        finished = true;
    }
}

// Faster spokes glow hotter. The slew limit keeps neighbours within 0.1 of each other along the
// processing order, and each frame moves only 3 % towards the target, so the glow flickers slowly.
void FXFireDesk::AnimateGlow() {
    static const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    static const float red[4] = {0.8f, 0.0f, 0.0f, 1.0f};
    static const float yellow[4] = {1.0f, 1.0f, 0.0f, 1.0f};
    float p = 0.0f;
    for (int i = 0; i < spokes; i++) {
        for (int row = 3; row <= 4; row++) {
            float q = (Speed(row, i) - baseSpeed) * 0.8f + 0.2f * fxGetRandom();
            q = q < 0.0f ? 0.0f : (q > 1.0f ? 1.0f : q);
            if (q > p + 0.1f) {
                q = p + 0.1f;
            } else if (p - 0.1f > q) {
                q = p - 0.1f;
            }
            p = q;
            float target[4];
            for (int c = 0; c < 4; c++) {
                target[c] = q > 0.5f ? red[c] + 2.0f * (q - 0.5f) * (yellow[c] - red[c])
                                     : black[c] + 2.0f * q * (red[c] - black[c]);
            }
            float* colour = Vertex(&desk, row, i)->colour;
            for (int c = 0; c < 4; c++) {
                colour[c] = (colour[c] * 97.0f + target[c] * 3.0f) * 0.01f;
            }
        }
    }
}
