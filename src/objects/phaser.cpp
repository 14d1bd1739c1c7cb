#include "objects/phaser.h"

#include "io/package.h"
#include "base/stream.h"
#include "base/trace.h"

// The attack curve's base; its twelfth power, taken by repeated single-precision products, is
// where the curve meets the straight line.
static const float localAttackBase = 0.92f;

static float localPower12(float x) {
    float r = x;
    for (int i = 0; i < 11; i++) {
        r *= x;
    }
    return r;
}

FXPhaser::FXPhaser()
    : value(0.0f), active(true), reverse(false), loop(true), pingPong(false), cycled(false), startTime(0.0),
      duration(1.0), smooth(false), semiSmooth(false), firstCycle(false), attack(false), auxDuration(0.0),
      nextDuration(0.0) {}

void FXPhaser::OnRender(PEnv* env, double time) {
    (void)env;
    if (active && time - startTime >= duration) {
        if (firstCycle) {
            firstCycle = false;
            duration = nextDuration;
        }
        if (!reverse) {
            if (!loop) {
                active = false;
                value = 1.0f;
            } else if (pingPong) {
                reverse = true;
            }
        } else {
            if (!loop) {
                active = false;
                value = 0.0f;
            } else if (pingPong) {
                reverse = false;
            }
        }
        cycled = true;
        // Less than two cycles late keeps the cadence; further behind (a stalled frame, the first
        // frame after construction) starts afresh instead of racing through the missed cycles.
        const float late = (float)(time - startTime);
        const double d = duration;
        if (d == 0.0 && late > 2.0f) {
            startTime = time;
        } else if (late > 2.0 * d) {
            startTime = time;
        } else {
            startTime += d;
        }
    }
    if (!active) {
        return;
    }
    float v;
    if (duration > 0.0) {
        v = (float)((time - startTime) / duration);
        if (v < 0.0f) {
            v = 0.0f;
        }
        if (v > 1.0f) {
            v = 1.0f;
        }
    } else {
        // A cycle without length has always just ended.
        v = 1.0f;
    }
    if (smooth) {
        v = 3.0f * v * v - 2.0f * v * v * v;
    } else if (semiSmooth) {
        v = (v + 3.0f * v * v - 2.0f * v * v * v) * 0.5f;
    } else if (firstCycle) {
        v = v * v * v;
    } else if (attack) {
        const float knee = localPower12(localAttackBase);
        if (v < knee) {
            v = knee - localPower12(localAttackBase - v);
        }
    }
    if (reverse) {
        v = 1.0f - v;
    }
    value = v;
}

void FXPhaser::Restart(double time) {
    startTime = time;
    value = 0.0f;
    active = true;
    cycled = false;
    reverse = false;
}

float FXPhaser::GetOnOff(float a, float b) const {
    if (value <= a) {
        return 1.0f;
    }
    if (value >= b) {
        return 0.0f;
    }
    // Here a < value < b, so b - a is positive.
    return (b - value) / (b - a);
}

bool FXPhaser::Save(FILE* f) const {
    if (f == nullptr) {
        err("FXPhaser::Save: no file\n");
        return false;
    }
    size_t written = fxWriteFloat(f, value);
    written += fxWriteDouble(f, duration);
    written += fxWriteBool(f, active);
    written += fxWriteBool(f, reverse);
    written += fxWriteBool(f, loop);
    written += fxWriteBool(f, pingPong);
    written += fxWriteBool(f, smooth);
    written += fxWriteBool(f, semiSmooth);
    if (written != FX_PHASER_RECORD_SIZE) {
        err("FXPhaser::Save: write failed\n");
        return false;
    }
    return true;
}

bool FXPhaser::Load(FILE* f) {
    if (f == nullptr) {
        err("FXPhaser::Load: no file\n");
        return false;
    }
    // A short record reads as zeros, but is reported.
    bool complete = false;
    value = fxReadFloat(f);
    duration = fxReadDouble(f);
    active = fxReadBool(f);
    reverse = fxReadBool(f);
    loop = fxReadBool(f);
    pingPong = fxReadBool(f);
    smooth = fxReadBool(f);
    semiSmooth = fxReadBool(f, &complete);
    if (!complete) {
        err("FXPhaser::Load: record cut short\n");
        return false;
    }
    return true;
}

bool FXPhaser::LoadC(FXPackage* package, FXPackageData* data) {
    (void)package;
    if (data == nullptr) {
        err("FXPhaser::LoadC: no entry\n");
        return false;
    }
    // Each read that does not fit would be skipped on its own and shift the later fields.
    if (data->remaining < FX_PHASER_RECORD_SIZE) {
        err("FXPhaser::LoadC: entry has %d bytes left, the record needs %d\n", (int)data->remaining,
            FX_PHASER_RECORD_SIZE);
        return false;
    }
    value = data->ReadFloat();
    duration = data->ReadDouble();
    active = data->ReadBool();
    reverse = data->ReadBool();
    loop = data->ReadBool();
    pingPong = data->ReadBool();
    smooth = data->ReadBool();
    semiSmooth = data->ReadBool();
    return true;
}

FXPhaser1::FXPhaser1() : autoRestart(false), pause(0.0) {}

void FXPhaser1::OnRender(PEnv* env, double time) {
    if (autoRestart) {
        if (active) {
            // The backward half of a back-and-forth cycle is the last one before the rest.
            if (reverse) {
                loop = false;
            }
        } else if (time - startTime >= pause) {
            Restart(time);
        }
    }
    FXPhaser::OnRender(env, time);
}

void FXPhaser1::Restart(double time) {
    FXPhaser::Restart(time);
    loop = true;
}
