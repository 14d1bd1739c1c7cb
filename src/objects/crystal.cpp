#include "objects/crystal.h"

#include <GL/gl.h>

#include "base/other.h"
#include "base/trace.h"
#include "render/material.h"

FXCrystal::FXCrystal() : finished(false), restartPending(false), state(0), material(nullptr) {
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        tileMatrix[i].SetIdentity();
        spinXSign[i] = 1.0f;
        spinYSign[i] = 1.0f;
    }
}

FXCrystal::~FXCrystal() {
    Destroy();
}

void FXCrystal::Destroy() {
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        tiles[i].Destroy();
    }
}

// A looping turn, or the single run of a shrink, of r seconds; the first turn after a restart
// takes ten times as long.
static void localSetUpPhaser(FXPhaser* p, float r, bool loop) {
    p->duration = r;
    p->loop = loop;
    p->pingPong = false;
    p->smooth = false;
    p->semiSmooth = false;
    p->auxDuration = 10.0 * (double)r;
    p->nextDuration = r;
}

static float localRandomSign() {
    return fxGetRandom() > 0.5f ? 1.0f : -1.0f;
}

bool FXCrystal::Create(FXMaterial* m) {
    if (m == nullptr) {
        err("FXCrystal::Create: no material to cut into tiles\n");
        return false;
    }
    // Every frame scales the colours from these, so scaling never accumulates.
    m->PreserveCols();
    material = m;
    state = 0;
    restartPending = true;
    finished = false;

    phaser.duration = 7.0;
    phaser.loop = false;
    phaser.pingPong = false;
    phaser.smooth = false;
    phaser.semiSmooth = false;
    phaser.auxDuration = 7.0;
    phaser.nextDuration = 7.0;

    // Five draws per tile in this order; one seed gives one mosaic.
    for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
        localSetUpPhaser(&spinX[i], 1.0f + fxGetRandom(), true);
        spinXSign[i] = localRandomSign();
        localSetUpPhaser(&spinY[i], 1.0f + fxGetRandom(), true);
        spinYSign[i] = localRandomSign();
        localSetUpPhaser(&shrink[i], 1.0f + 3.0f * fxGetRandom(), false);
        tiles[i].Create(4, 4);
        tiles[i].SetMaterial(m);
    }

    // A tile's unit square shrinks to a square of side 1/6 centred on its own place in the
    // picture; together the tiles cover the screen square exactly.
    FXMatrix scale, origin, move, placed;
    scale.SetScaleF(1.0f / 12.0f, 1.0f / 12.0f, 1.0f / 6.0f);
    origin.SetMoveF(-11.0f / 12.0f, 11.0f / 12.0f, 0.0f);
    const float side = (float)FX_CRYSTAL_SIDE;
    for (int j = 0; j < FX_CRYSTAL_SIDE; j++) {
        for (int k = 0; k < FX_CRYSTAL_SIDE; k++) {
            const int i = j * FX_CRYSTAL_SIDE + k;
            tiles[i].UpdateTexRc((float)k / side, (float)j / side, (float)(k + 1) / side, (float)(j + 1) / side);
            move.SetMoveF((float)k / 6.0f, -(float)j / 6.0f, 0.0f);
            placed.Multiply(&origin, &move);
            tileMatrix[i].Multiply(&placed, &scale);
        }
    }
    return true;
}

void FXCrystal::Restart() {
    state = 0;
    restartPending = true;
    finished = false;
}

// Draws one tile under base * before * tileMatrix * Rx * Ry; `before` may be null.
static void localPlaceTile(PEnv* env, FXMatrix* base, FXMatrix* before, FXMatrix* tile, const FXPhaser* spinX,
                           float signX, const FXPhaser* spinY, float signY) {
    FXMatrix rx, ry;
    rx.SetRotateX(spinX->value * 360.0f * signX);
    ry.SetRotateY(spinY->value * 360.0f * signY);
    env->ApplyMatrix(base);
    if (before != nullptr) {
        env->MultiplyMatrix(before);
    }
    env->MultiplyMatrix(tile);
    env->MultiplyMatrix(&rx);
    env->MultiplyMatrix(&ry);
}

static void localTexGen(bool on) {
    if (on) {
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
    }
}

void FXCrystal::OnRender(PEnv* env, double time) {
    if (material == nullptr) {
        return;
    }
    FXMatrix base;
    base.Copy(&env->curMatrix);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);

    if (restartPending) {
        restartPending = false;
        state = 0;
        phaser.Restart(time);
        phaser.firstCycle = true;
        // The first turn is ten times slower than the later ones and eases in.
        for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
            spinX[i].Restart(time);
            spinY[i].Restart(time);
            spinX[i].firstCycle = true;
            spinY[i].firstCycle = true;
            spinX[i].duration = spinX[i].auxDuration;
            spinY[i].duration = spinY[i].auxDuration;
        }
    }

    if (state == 0) {
        phaser.OnRender(env, time);
        for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
            spinX[i].OnRender(env, time);
            spinY[i].OnRender(env, time);
            localPlaceTile(env, &base, nullptr, &tileMatrix[i], &spinX[i], spinXSign[i], &spinY[i], spinYSign[i]);
            tiles[i].OnRender(env, time);
        }
        if (phaser.value >= 1.0f) {
            state = 1;
            for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
                spinX[i].duration = spinX[i].auxDuration * 0.2;
                spinY[i].duration = spinY[i].auxDuration * 0.2;
                shrink[i].Restart(time);
                shrink[i].firstCycle = false;
                shrink[i].attack = true;
            }
        }
    } else if (state == 1) {
        const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        bool anyLeft = false;
        for (int i = 0; i < FX_CRYSTAL_TILES; i++) {
            spinX[i].OnRender(env, time);
            spinY[i].OnRender(env, time);
            shrink[i].OnRender(env, time);
            const float c = shrink[i].value;
            if (c < 1.0f) {
                anyLeft = true;
            }
            // Slow at first, then fast down to nothing; both pieces meet at 0.84.
            const float s = 1.0f - c;
            const float q = s > 0.6f ? 0.6f + 0.4f * s : s + 0.24f * (s / 0.6f);
            FXMatrix shrinkScale;
            shrinkScale.SetScaleF(q, q, q);
            localPlaceTile(env, &base, &shrinkScale, &tileMatrix[i], &spinX[i], spinXSign[i], &spinY[i], spinYSign[i]);
            if (c < 0.5f) {
                // The plain picture, then its shining copy fading in over it.
                localTexGen(false);
                material->MultiCols(white);
                tiles[i].OnRender(env, time);
                localTexGen(true);
                const float fade[4] = {1.0f, 1.0f, 1.0f, c / 0.5f};
                material->MultiCols(fade);
                tiles[i].OnRender(env, time);
            } else {
                localTexGen(true);
                material->MultiCols(white);
                tiles[i].OnRender(env, time);
            }
        }
        if (!anyLeft) {
            finished = true;
        }
        localTexGen(false);
        material->MultiCols(white);
    }
}
