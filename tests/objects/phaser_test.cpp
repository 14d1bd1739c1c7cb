#include "objects/phaser.h"

#include "support/stored_bytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

// Advances a phaser to a clock value and returns its phase.
float At(FXPhaser* p, double time) {
    p->OnRender(nullptr, time);
    return p->value;
}

TEST(Phaser, DefaultsRunLoopingOneSecondCycles) {
    FXPhaser p;
    EXPECT_EQ(p.value, 0.0f);
    EXPECT_TRUE(p.active);
    EXPECT_TRUE(p.loop);
    EXPECT_FALSE(p.reverse);
    EXPECT_FALSE(p.pingPong);
    EXPECT_FALSE(p.cycled);
    EXPECT_EQ(p.startTime, 0.0);
    EXPECT_EQ(p.duration, 1.0);
    EXPECT_FALSE(p.smooth || p.semiSmooth || p.firstCycle || p.attack);
    EXPECT_EQ(p.auxDuration, 0.0);
    EXPECT_EQ(p.nextDuration, 0.0);
}

TEST(Phaser, LoopingCycleEndsAndStartsTheNext) {
    FXPhaser p;
    p.Restart(10.0);
    EXPECT_FLOAT_EQ(At(&p, 10.25), 0.25f);
    EXPECT_FALSE(p.cycled);
    EXPECT_EQ(At(&p, 11.0), 0.0f);
    EXPECT_TRUE(p.cycled);
    EXPECT_TRUE(p.active);
    EXPECT_EQ(p.startTime, 11.0);
    EXPECT_FLOAT_EQ(At(&p, 11.5), 0.5f);
}

TEST(Phaser, NonLoopingCycleStopsAtOne) {
    FXPhaser p;
    p.loop = false;
    p.Restart(10.0);
    EXPECT_FLOAT_EQ(At(&p, 10.75), 0.75f);
    EXPECT_EQ(At(&p, 11.0), 1.0f);
    EXPECT_FALSE(p.active);
    EXPECT_TRUE(p.cycled);
    EXPECT_EQ(At(&p, 11.5), 1.0f);
    EXPECT_EQ(At(&p, 500.0), 1.0f);
}

TEST(Phaser, PingPongRisesThenFalls) {
    FXPhaser p;
    p.pingPong = true;
    p.Restart(10.0);
    EXPECT_FLOAT_EQ(At(&p, 10.5), 0.5f);
    EXPECT_EQ(At(&p, 11.0), 1.0f);
    EXPECT_TRUE(p.reverse);
    EXPECT_FLOAT_EQ(At(&p, 11.25), 0.75f);
    EXPECT_FLOAT_EQ(At(&p, 11.75), 0.25f);
    EXPECT_EQ(At(&p, 12.0), 0.0f);
    EXPECT_FALSE(p.reverse);
    EXPECT_FLOAT_EQ(At(&p, 12.5), 0.5f);
}

TEST(Phaser, ReversedNonLoopingFallsAndStopsAtZero) {
    FXPhaser p;
    p.loop = false;
    p.Restart(10.0);
    p.reverse = true;
    EXPECT_EQ(At(&p, 10.0), 1.0f);
    EXPECT_FLOAT_EQ(At(&p, 10.25), 0.75f);
    EXPECT_EQ(At(&p, 11.0), 0.0f);
    EXPECT_FALSE(p.active);
    EXPECT_EQ(At(&p, 20.0), 0.0f);
}

TEST(Phaser, CatchUpKeepsCadenceUnlessTwoCyclesLate) {
    // A fresh phaser first advanced long after its start time re-synchronises to now.
    FXPhaser fresh;
    fresh.duration = 4.0;
    EXPECT_EQ(At(&fresh, 100.0), 0.0f);
    EXPECT_EQ(fresh.startTime, 100.0);
    EXPECT_TRUE(fresh.cycled);

    FXPhaser p;
    p.duration = 4.0;
    p.Restart(10.0);
    // One cycle and a bit late: the next cycle starts where the last one should have ended.
    EXPECT_FLOAT_EQ(At(&p, 15.0), 0.25f);
    EXPECT_EQ(p.startTime, 14.0);
    // Exactly two cycles late still keeps the cadence.
    EXPECT_EQ(At(&p, 22.0), 1.0f);
    EXPECT_EQ(p.startTime, 18.0);
    // A stall of many cycles: start afresh from now.
    EXPECT_EQ(At(&p, 40.0), 0.0f);
    EXPECT_EQ(p.startTime, 40.0);
    EXPECT_FLOAT_EQ(At(&p, 41.0), 0.25f);
}

TEST(Phaser, FirstCycleEasesInThenTakesNextDuration) {
    FXPhaser p;
    p.firstCycle = true;
    p.duration = 10.0;
    p.nextDuration = 2.0;
    p.Restart(0.0);
    EXPECT_FLOAT_EQ(At(&p, 5.0), 0.125f);
    EXPECT_FLOAT_EQ(At(&p, 9.0), 0.729f);
    EXPECT_EQ(At(&p, 10.0), 0.0f);
    EXPECT_FALSE(p.firstCycle);
    EXPECT_EQ(p.duration, 2.0);
    EXPECT_EQ(p.startTime, 10.0);
    // Later cycles: 2 s each, linear.
    EXPECT_FLOAT_EQ(At(&p, 11.0), 0.5f);
    EXPECT_EQ(At(&p, 12.0), 0.0f);
    EXPECT_FLOAT_EQ(At(&p, 13.5), 0.75f);
    EXPECT_EQ(p.duration, 2.0);
}

TEST(Phaser, ShapingCurves) {
    FXPhaser p;
    p.Restart(0.0);
    p.smooth = true;
    EXPECT_FLOAT_EQ(At(&p, 0.5), 0.5f);
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.15625f);
    p.smooth = false;
    p.semiSmooth = true;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.203125f);
    EXPECT_FLOAT_EQ(At(&p, 0.5), 0.5f);
    p.semiSmooth = false;
    p.firstCycle = true;
    EXPECT_FLOAT_EQ(At(&p, 0.5), 0.125f);
}

TEST(Phaser, FirstSetShapingFlagWins) {
    FXPhaser p;
    p.Restart(0.0);
    p.smooth = p.semiSmooth = p.firstCycle = p.attack = true;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.15625f);
    p.smooth = false;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.203125f);
    p.semiSmooth = false;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.015625f);
}

TEST(Phaser, AttackCurve) {
    FXPhaser p;
    p.attack = true;
    p.Restart(0.0);
    // Leaves 0 exactly at 0, so the knee and the curve use the same constant.
    EXPECT_EQ(At(&p, 0.0), 0.0f);
    // Steep start, about a third within the first fifth.
    const float early = At(&p, 0.001);
    EXPECT_NEAR(early / 0.001f, 12.0 * std::pow(0.92, 11.0), 0.05);
    EXPECT_NEAR(At(&p, 0.2), 0.348f, 0.002f);
    // Above the knee (0.92^12, about 0.3677) the phase is linear.
    EXPECT_EQ(At(&p, 0.5), 0.5f);
    EXPECT_EQ(At(&p, 0.37), 0.37f);
    EXPECT_LT(At(&p, 0.36), 0.3677f);
    EXPECT_GT(p.value, 0.36f);
    EXPECT_EQ(At(&p, 0.99), 0.99f);
}

TEST(Phaser, ReverseAppliesAfterShaping) {
    FXPhaser p;
    p.smooth = true;
    p.Restart(0.0);
    p.reverse = true;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 1.0f - 0.15625f);
}

TEST(Phaser, PhaseIsClampedBeforeTheStart) {
    FXPhaser p;
    p.Restart(10.0);
    EXPECT_EQ(At(&p, 9.0), 0.0f);
    EXPECT_TRUE(p.active);
}

TEST(Phaser, RestartClearsRunStateKeepsSettings) {
    FXPhaser p;
    p.loop = false;
    p.pingPong = true;
    p.smooth = true;
    p.duration = 3.0;
    p.nextDuration = 7.0;
    p.auxDuration = 9.0;
    p.Restart(0.0);
    p.reverse = true;
    At(&p, 5.0);
    ASSERT_FALSE(p.active);
    ASSERT_TRUE(p.cycled);
    p.Restart(20.0);
    EXPECT_EQ(p.startTime, 20.0);
    EXPECT_EQ(p.value, 0.0f);
    EXPECT_TRUE(p.active);
    EXPECT_FALSE(p.cycled);
    EXPECT_FALSE(p.reverse);
    EXPECT_FALSE(p.loop);
    EXPECT_TRUE(p.pingPong);
    EXPECT_TRUE(p.smooth);
    EXPECT_EQ(p.duration, 3.0);
    EXPECT_EQ(p.nextDuration, 7.0);
    EXPECT_EQ(p.auxDuration, 9.0);
    // Runs forward again.
    EXPECT_FLOAT_EQ(At(&p, 21.5), 0.5f);
}

TEST(Phaser, ZeroOrNegativeDurationHoldsTheEndOfTheCycle) {
    for (double d : {0.0, -1.0}) {
        FXPhaser looping;
        looping.duration = d;
        looping.Restart(10.0);
        EXPECT_EQ(At(&looping, 10.0), 1.0f) << d;
        EXPECT_EQ(At(&looping, 10.5), 1.0f) << d;
        EXPECT_EQ(At(&looping, 13.0), 1.0f) << d;
        EXPECT_EQ(At(&looping, 5.0), 1.0f) << d;
        EXPECT_TRUE(looping.active);
        EXPECT_TRUE(looping.cycled);

        FXPhaser once;
        once.duration = d;
        once.loop = false;
        once.Restart(10.0);
        EXPECT_EQ(At(&once, 10.5), 1.0f) << d;
        EXPECT_FALSE(once.active);

        FXPhaser backwards;
        backwards.duration = d;
        backwards.attack = true;
        backwards.Restart(10.0);
        backwards.reverse = true;
        EXPECT_EQ(At(&backwards, 9.0), 0.0f) << d;
    }
}

TEST(Phaser, GetOnOffWindow) {
    FXPhaser p;
    p.value = 0.1f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.4f), 1.0f);
    p.value = 0.2f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.4f), 1.0f);
    p.value = 0.3f;
    EXPECT_FLOAT_EQ(p.GetOnOff(0.2f, 0.4f), 0.5f);
    p.value = 0.4f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.4f), 0.0f);
    p.value = 0.9f;
    EXPECT_EQ(p.GetOnOff(0.2f, 0.4f), 0.0f);
    // An empty or inverted window is a step, never a division by zero.
    p.value = 0.3f;
    EXPECT_EQ(p.GetOnOff(0.3f, 0.3f), 1.0f);
    p.value = 0.31f;
    EXPECT_EQ(p.GetOnOff(0.3f, 0.3f), 0.0f);
    EXPECT_EQ(p.GetOnOff(0.4f, 0.2f), 1.0f);
    p.value = 0.5f;
    EXPECT_EQ(p.GetOnOff(0.4f, 0.2f), 0.0f);
}

TEST(Phaser1, PingPongRestsThenRestartsByItself) {
    FXPhaser1 p;
    p.pingPong = true;
    p.autoRestart = true;
    p.pause = 2.0;
    p.Restart(0.0);
    EXPECT_TRUE(p.loop);
    EXPECT_FLOAT_EQ(At(&p, 0.5), 0.5f);
    EXPECT_EQ(At(&p, 1.0), 1.0f);
    EXPECT_FLOAT_EQ(At(&p, 1.5), 0.5f);
    EXPECT_FALSE(p.loop);
    EXPECT_EQ(At(&p, 2.0), 0.0f);
    EXPECT_FALSE(p.active);
    // Rest measured from the end of the fall.
    EXPECT_EQ(At(&p, 3.0), 0.0f);
    EXPECT_EQ(At(&p, 3.99), 0.0f);
    EXPECT_FALSE(p.active);
    EXPECT_EQ(At(&p, 4.0), 0.0f);
    EXPECT_TRUE(p.active);
    EXPECT_TRUE(p.loop);
    EXPECT_FALSE(p.cycled);
    EXPECT_EQ(p.startTime, 4.0);
    EXPECT_FLOAT_EQ(At(&p, 4.25), 0.25f);
    EXPECT_EQ(At(&p, 5.0), 1.0f);
    EXPECT_FLOAT_EQ(At(&p, 5.75), 0.25f);
}

TEST(Phaser1, ThroughTheBaseClassAndWithoutPingPong) {
    FXPhaser1 p1;
    p1.autoRestart = true;
    p1.pause = 5.0;
    p1.Restart(0.0);
    FXPhaser* p = &p1;
    // Without ping-pong it simply loops.
    EXPECT_FLOAT_EQ(At(p, 0.5), 0.5f);
    EXPECT_EQ(At(p, 1.0), 0.0f);
    EXPECT_FLOAT_EQ(At(p, 1.25), 0.25f);
    EXPECT_TRUE(p1.active);

    // Without autoRestart a stopped phaser stays stopped.
    FXPhaser1 q;
    q.pause = 1.0;
    q.loop = false;
    q.Restart(0.0);
    EXPECT_TRUE(q.loop);
    q.loop = false;
    EXPECT_EQ(At(&q, 1.0), 1.0f);
    EXPECT_EQ(At(&q, 10.0), 1.0f);
    EXPECT_FALSE(q.active);
    q.loop = false;
    q.Restart(20.0);
    EXPECT_TRUE(q.loop);
    EXPECT_TRUE(q.active);
}

typedef ScratchFolderTest PhaserFile;

TEST_F(PhaserFile, SaveWritesTheEighteenByteRecord) {
    FXPhaser p;
    p.value = 0.5f;
    p.duration = 2.5;
    p.active = true;
    p.reverse = false;
    p.loop = false;
    p.pingPong = true;
    p.smooth = false;
    p.semiSmooth = true;
    const std::string path = PathOf("rec.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(p.Save(f));
    fclose(f);
    const Bytes want = {0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40, 1, 0, 0, 1, 0, 1};
    EXPECT_EQ(ReadAll(path), want);
}

TEST_F(PhaserFile, LoadReadsStoredFieldsOnly) {
    FXPhaser a;
    a.value = 0.75f;
    a.duration = 12.125;
    a.active = false;
    a.reverse = true;
    a.loop = false;
    a.pingPong = true;
    a.smooth = true;
    a.semiSmooth = false;
    const std::string path = PathOf("rec.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(a.Save(f));
    fclose(f);

    FXPhaser b;
    b.startTime = 3.0;
    b.firstCycle = true;
    b.attack = true;
    b.nextDuration = 4.0;
    b.auxDuration = 5.0;
    b.semiSmooth = true;
    f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(b.Load(f));
    fclose(f);
    EXPECT_EQ(b.value, 0.75f);
    EXPECT_EQ(b.duration, 12.125);
    EXPECT_FALSE(b.active);
    EXPECT_TRUE(b.reverse);
    EXPECT_FALSE(b.loop);
    EXPECT_TRUE(b.pingPong);
    EXPECT_TRUE(b.smooth);
    EXPECT_FALSE(b.semiSmooth);
    EXPECT_EQ(b.startTime, 3.0);
    EXPECT_TRUE(b.firstCycle);
    EXPECT_TRUE(b.attack);
    EXPECT_EQ(b.nextDuration, 4.0);
    EXPECT_EQ(b.auxDuration, 5.0);
}

TEST_F(PhaserFile, LoadTakesOnlyOneAsTrue) {
    FXPhaser p;
    FILE* f = OpenWithBytes({0, 0, 0x80, 0x3f, 0, 0, 0, 0, 0, 0, 0xf0, 0x3f, 2, 0xff, 1, 0, 1, 0x10});
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(p.Load(f));
    fclose(f);
    EXPECT_EQ(p.value, 1.0f);
    EXPECT_EQ(p.duration, 1.0);
    EXPECT_FALSE(p.active);
    EXPECT_FALSE(p.reverse);
    EXPECT_TRUE(p.loop);
    EXPECT_FALSE(p.pingPong);
    EXPECT_TRUE(p.smooth);
    EXPECT_FALSE(p.semiSmooth);
}

TEST_F(PhaserFile, ShortRecordReadsAsZerosAndFails) {
    // value 0.25 and half of the duration.
    FXPhaser p;
    FILE* f = OpenWithBytes({0, 0, 0x80, 0x3e, 0xff, 0xff, 0xff, 0xff});
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(p.Load(f));
    fclose(f);
    EXPECT_EQ(p.value, 0.25f);
    EXPECT_FALSE(std::isnan(p.duration));
    EXPECT_FALSE(p.active);
    EXPECT_FALSE(p.loop);

    EXPECT_FALSE(p.Load(nullptr));
    EXPECT_FALSE(p.Save(nullptr));
}

} // namespace
