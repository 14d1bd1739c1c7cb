#include "objects/techdesk.h"

#include <GL/gl.h>
#include <cmath>

#include "base/trace.h"

const float ccol[4] = {0.09019608f, 0.26666668f, 0.3647059f, 1.0f};

FXTechDesk::FXTechDesk() : FXFragmentDesk(FX_TECHDESK_RINGS, 0.2) {}

FXTechDesk::~FXTechDesk() {
    FXTechDesk::Destroy();
}

void FXTechDesk::Destroy() {
    FXFragmentDesk::Destroy();
    wire.Destroy();
}

bool FXTechDesk::Create(int n) {
    wire.Destroy();
    if (!CreateBase("FXTechDesk::Create", n, FX_TECHDESK_RINGS)) {
        return false;
    }
    // Sectors of two spokes: spoke 2q looks along spoke 2q - 1, so both edges of a sector share
    // the radius of its even spoke.
    for (int q = 1; q < n / 2; q++) {
        dirs.elements[2 * (2 * q)] = dirs.elements[2 * (2 * q - 1)];
        dirs.elements[2 * (2 * q) + 1] = dirs.elements[2 * (2 * q - 1) + 1];
    }
    wire.Create(n, 2);
    if (wire.mesh.vertices == nullptr || wire.mesh.indices == nullptr) {
        err("FXTechDesk::Create: no memory for the wire of %d spokes\n", n);
        Destroy();
        spokes = 0;
        return false;
    }
    wire.mesh.colourMode = 1;
    ResetWireColours();
    // Opaque at the centre, fading out towards the outer ring.
    static const float rowColours[FX_TECHDESK_RINGS + 1][4] = {{1.0f, 1.0f, 1.0f, 1.0f},
                                                               {1.0f, 1.0f, 1.0f, 0.5f},
                                                               {1.0f, 1.0f, 1.0f, 0.2f},
                                                               {1.0f, 1.0f, 1.0f, 0.0f},
                                                               {0.0f, 0.0f, 0.0f, 0.0f}};
    SetRowColours(rowColours);
    ReCreate();
    return true;
}

void FXTechDesk::ResetWireColours() {
    if (wire.mesh.vertices == nullptr) {
        return;
    }
    // Bright along the middle row only, so every strand fades out towards its ends.
    float colour[4] = {ccol[0], ccol[1], ccol[2], 0.0f};
    SetRowColour(&wire, 0, colour);
    SetRowColour(&wire, 2, colour);
    colour[3] = 1.0f;
    SetRowColour(&wire, 1, colour);
}

void FXTechDesk::ReCreate() {
    ResetRun();
    ResetWireColours();
    for (int i = 0; i < radii.size; i++) {
        radii.elements[i] = 0.0f;
    }
}

void FXTechDesk::OnRender(PEnv* env, double time) {
    if (!IsBuilt()) {
        return;
    }
    UpdatePositions(time);
    desk.OnRender(env, time);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    wire.OnRender(env, time);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    UpdateSpeedsWhenDue(time);
}

void FXTechDesk::UpdatePositions(double time) {
    if (!IsBuilt() || wire.cols != spokes) {
        return;
    }
    const int n = spokes;
    float cu, cv;
    TexHalfExtents(&cu, &cv);

    float e, k;
    if (AdvanceClock(time, 0.2f, &e, &k)) {
        for (int i = 0; i < radii.size; i++) {
            radii.elements[i] += speeds.elements[i] * k;
        }
        float minGap = 4.0f * gap;
        const float ramp = (float)(0.05 * timeUnit);
        if (e < ramp) {
            minGap = minGap * e / ramp;
        }
        const float maxGap = 8.0f * gap;
        // The leash: nothing runs further than two wide gaps ahead of the slowest inner ring.
        float slowest = 1000.0f;
        for (int i = 0; i < n; i++) {
            slowest = fminf(slowest, Radius(0, i));
        }
        const float limit = slowest + 2.0f * maxGap;
        for (int i = 0; i < radii.size; i++) {
            if (radii.elements[i] > limit) {
                radii.elements[i] = limit;
            }
        }
        for (int j = 1; j < FX_TECHDESK_RINGS; j++) {
            for (int i = 0; i < n; i++) {
                const float inner = Radius(j - 1, i);
                float& r = RadiusRef(j, i);
                if (r > inner + maxGap) {
                    r = inner + maxGap;
                }
                if (inner + minGap > r) {
                    r = inner + minGap;
                }
            }
        }
    }

    for (int column = 0; column <= n; column++) {
        PlaceVertexAt(&desk, 0, column, 0.0f, 0.0f, cu, cv);
    }
    bool inside = false;
    for (int j = 1; j < FX_TECHDESK_RINGS; j++) {
        for (int s = 0; s < n; s += 2) {
            // Steps of 0.05, the sector's radius taken from its even spoke.
            const float r = floorf(Radius(j, s) * 20.0f) * 0.05f;
            inside |= PlaceVertex(&desk, j, s, &dirs.elements[2 * s], r, cu, cv);
            PlaceVertex(&desk, j, s + 1, &dirs.elements[2 * (s + 1)], r, cu, cv);
        }
    }
    // The rim follows every spoke's outer ring on its own, in steps of 0.1.
    for (int i = 0; i < n; i++) {
        const float r = floorf(Radius(FX_TECHDESK_RINGS - 1, i) * 10.0f) * 0.1f;
        PlaceVertex(&desk, FX_TECHDESK_RINGS, i, &dirs.elements[2 * i], r, cu, cv);
    }
    CopySeam(&desk, 1, FX_TECHDESK_RINGS);
    for (int row = 0; row <= 2; row++) {
        for (int column = 0; column <= n; column++) {
            const tagFXVertex* from = Vertex(&desk, row + 1, column);
            tagFXVertex* to = Vertex(&wire, row, column);
            for (int c = 0; c < 3; c++) {
                to->position[c] = from->position[c];
            }
            to->texCoord[0] = from->texCoord[0];
            to->texCoord[1] = from->texCoord[1];
        }
    }
    if (!inside) {
        finished = true;
    }
}
