#ifndef FX_OBJECTS_PHASER_H
#define FX_OBJECTS_PHASER_H

#include <cstdio>

class PEnv;
class FXPackage;
class FXPackageData;

// Size of the stored record written by Save and read by Load.
#define FX_PHASER_RECORD_SIZE 18

// The time base of an animation: turns the show clock into a phase `value` in 0 ... 1 that rises
// over `duration` seconds, optionally shaped, reversed, looped or played back and forth.
// Owners set the fields directly, call Restart when the animation begins and OnRender once per
// frame before reading `value`.
class FXPhaser {
public:
    float value;
    bool active;
    bool reverse;
    bool loop;
    bool pingPong;
    bool cycled; // a cycle has ended since the last Restart
    double startTime;
    double duration;
    bool smooth;
    bool semiSmooth;
    bool firstCycle; // cubic ease-in; when the cycle ends, duration := nextDuration
    bool attack;
    double auxDuration; // kept by owners beside the phaser, never read by it
    double nextDuration;

    FXPhaser();

    // Same form as PRender::OnRender so owners advance phasers as they draw; env is not used.
    virtual void OnRender(PEnv* env, double time);
    void Restart(double time);
    // 1 up to a, falling linearly to 0 at b.
    float GetOnOff(float a, float b) const;

    bool Save(FILE* f) const;
    bool Load(FILE* f);
    // The same record from a package entry; the reader is left behind it. An entry too short
    // for the whole record is refused and nothing is read.
    bool LoadC(FXPackage* package, FXPackageData* data);
};

// Back and forth, then a rest of `pause` seconds at 0, then again, on its own (with autoRestart).
class FXPhaser1 : public FXPhaser {
public:
    bool autoRestart;
    double pause;

    FXPhaser1();

    void OnRender(PEnv* env, double time) override;
    void Restart(double time);
};

#endif
