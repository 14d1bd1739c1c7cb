#include "objects/fragmentdesk.h"

#include <cmath>
#include <cstring>

#include "base/other.h"
#include "base/trace.h"
#include "render/material.h"

FXFragmentDesk::FXFragmentDesk(int ringCount, double interval)
    : finished(false), spokes(4), scale(2.0f), gap(0.01f), baseSpeed(0.7f), timeUnit(90.0), lastTime(0.0),
      lastSpeedTime(0.0), beginTime(0.0), firstFrame(true), speedsDue(true), rings(ringCount), speedInterval(interval) {
}

FXFragmentDesk::~FXFragmentDesk() {
    Destroy();
}

void FXFragmentDesk::Destroy() {
    dirs.DestroyBuf();
    speeds.DestroyBuf();
    radii.DestroyBuf();
    desk.Destroy();
}

bool FXFragmentDesk::IsBuilt() const {
    return spokes >= FX_FRAGMENT_MIN_SPOKES && dirs.size == 2 * spokes && radii.size == rings * spokes &&
           speeds.size == rings * spokes && desk.cols == spokes && desk.mesh.vertices != nullptr;
}

// Sizes a float list to exactly n entries; false when the memory is not there.
static bool localSize(FXFloatArray* list, int n) {
    list->Realloc(n);
    if (list->capacity < n) {
        return false;
    }
    list->size = n;
    return true;
}

bool FXFragmentDesk::CreateBase(const char* who, int n, int deskRows) {
    Destroy();
    finished = false;
    firstFrame = true;
    speedsDue = true;
    if (n < FX_FRAGMENT_MIN_SPOKES || n % 2 != 0) {
        spokes = 0;
        err("%s: %d spokes refused: the count must be even and at least %d\n", who, n, FX_FRAGMENT_MIN_SPOKES);
        return false;
    }
    spokes = n;
    if (!localSize(&dirs, 2 * n) || !localSize(&speeds, rings * n) || !localSize(&radii, rings * n)) {
        err("%s: no memory for %d spokes\n", who, n);
        Destroy();
        spokes = 0;
        return false;
    }
    desk.Create(n, deskRows);
    if (desk.mesh.vertices == nullptr || desk.mesh.indices == nullptr) {
        err("%s: no memory for the mesh of %d spokes\n", who, n);
        Destroy();
        spokes = 0;
        return false;
    }
    desk.mesh.colourMode = 1;
    // Not quite a full turn: the constant is the one the effect was tuned with.
    const float step = 6.283f / (float)(n - 1);
    for (int i = 0; i < n; i++) {
        dirs.elements[2 * i] = sinf((float)i * step);
        dirs.elements[2 * i + 1] = cosf((float)i * step);
    }
    return true;
}

void FXFragmentDesk::ResetRun() {
    finished = false;
    firstFrame = true;
    speedsDue = true;
    for (int i = 0; i < speeds.size; i++) {
        speeds.elements[i] = 1.0f;
    }
}

void FXFragmentDesk::TexHalfExtents(float* cu, float* cv) const {
    *cu = 0.5f;
    *cv = 0.5f;
    const FXMaterial* m = desk.mesh.material;
    if (m != nullptr && m->hasTexture) {
        *cu = 0.5f * m->texScaleU;
        *cv = 0.5f * m->texScaleV;
    }
}

bool FXFragmentDesk::AdvanceClock(double time, float factor, float* e, float* k) {
    if (firstFrame) {
        firstFrame = false;
        lastTime = time;
        beginTime = time;
        return false;
    }
    *e = (float)(time - beginTime);
    // The outward speed grows with the square of the time since the start.
    *k = (float)((time - lastTime) / timeUnit) * *e * *e * scale * factor;
    lastTime = time;
    return true;
}

void FXFragmentDesk::UpdateSpeedsWhenDue(double time) {
    if (speedsDue) {
        speedsDue = false;
    } else if (time - lastSpeedTime <= speedInterval) {
        return;
    }
    lastSpeedTime = time;
    UpdateSpeeds1();
    UpdateSpeeds2();
    UpdateSpeeds3();
}

void FXFragmentDesk::AddHump(int ring, float lo, float h, bool replace) {
    if (!IsBuilt() || ring < 0 || ring >= rings) {
        return;
    }
    const int n = spokes;
    const int start = (int)(fxGetRandom() * (float)(n + 1));
    const int width = (int)((lo + lo * fxGetRandom()) * (float)(n + 1));
    const int end = start + width;
    const int half = width / 2;
    const int mid = start + half;
    if (half <= 0) {
        return; // cannot happen with the counts Create accepts
    }
    for (int c = start; c <= end; c++) {
        const int i = c < n ? c : c - n;
        const float t = c < mid ? (float)(c - start) / (float)half : (float)(end - c) / (float)half;
        const float amount = (2.0f + 0.01f * fxGetRandom()) * h * t;
        if (i < 0 || i >= n) {
            continue; // the hump wraps once at most; nothing beyond that is written
        }
        float& speed = SpeedRef(ring, i);
        speed = replace ? baseSpeed + amount : speed + amount;
    }
}

void FXFragmentDesk::UpdateSpeeds1() {
    fxResetRandom();
    for (int i = 0; i < speeds.size; i++) {
        speeds.elements[i] = baseSpeed;
    }
    for (int j = 0; j < rings; j++) {
        AddHump(j, 0.25f, 0.75f, true);
    }
}

void FXFragmentDesk::UpdateSpeeds2() {
    fxResetRandom();
    for (int pass = 0; pass < 3; pass++) {
        for (int j = 0; j < rings; j++) {
            AddHump(j, 0.125f, 0.5f, false);
        }
    }
}

void FXFragmentDesk::UpdateSpeeds3() {
    fxResetRandom();
    for (int pass = 0; pass < 10; pass++) {
        for (int j = 0; j < rings; j++) {
            AddHump(j, 0.05f, 0.25f, false);
        }
    }
}

bool FXFragmentDesk::PlaceVertex(FXDesk* mesh, int row, int column, const float* dir, float r, float cu, float cv) {
    const float x = dir[0] * r;
    const float y = dir[1] * r;
    PlaceVertexAt(mesh, row, column, x, y, cu, cv);
    return x >= -1.0f && x <= 1.0f && y >= -1.0f && y <= 1.0f;
}

void FXFragmentDesk::PlaceVertexAt(FXDesk* mesh, int row, int column, float x, float y, float cu, float cv) {
    tagFXVertex* v = Vertex(mesh, row, column);
    v->position[0] = x;
    v->position[1] = y;
    v->position[2] = 0.0f;
    // The picture stays where it is on the screen.
    v->texCoord[0] = cu * (x + 1.0f);
    v->texCoord[1] = cv * (1.0f - y);
}

void FXFragmentDesk::CopySeam(FXDesk* mesh, int first, int last) {
    for (int row = first; row <= last; row++) {
        const tagFXVertex* from = Vertex(mesh, row, 0);
        tagFXVertex* to = Vertex(mesh, row, mesh->cols);
        memcpy(to->position, from->position, sizeof(to->position));
        memcpy(to->texCoord, from->texCoord, sizeof(to->texCoord));
    }
}

void FXFragmentDesk::SetRowColour(FXDesk* mesh, int row, const float* rgba) {
    for (int column = 0; column <= mesh->cols; column++) {
        memcpy(Vertex(mesh, row, column)->colour, rgba, 4 * sizeof(float));
    }
}

void FXFragmentDesk::SetRowColours(const float rowColours[][4]) {
    for (int row = 0; row <= rings; row++) {
        SetRowColour(&desk, row, rowColours[row]);
    }
}
