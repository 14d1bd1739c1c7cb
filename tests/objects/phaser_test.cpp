#include "objects/phaser.h"

#include "io/package.h"

#include "support/stored_bytes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Advances a phaser to a clock value and returns its phase.
float At(FXPhaser* p, double time) {
    p->OnRender(nullptr, time);
    return p->value;
}

TEST(Phaser, CycleEnds) {
    // Default: looping one-second cycles.
    FXPhaser looping;
    looping.Restart(10.0);
    EXPECT_FLOAT_EQ(At(&looping, 10.25), 0.25f);
    EXPECT_FALSE(looping.cycled);
    EXPECT_EQ(At(&looping, 11.0), 0.0f);
    EXPECT_TRUE(looping.cycled);
    EXPECT_EQ(looping.startTime, 11.0);
    EXPECT_FLOAT_EQ(At(&looping, 11.5), 0.5f);

    FXPhaser once;
    once.loop = false;
    once.Restart(10.0);
    EXPECT_EQ(At(&once, 11.0), 1.0f);
    EXPECT_FALSE(once.active);
    EXPECT_EQ(At(&once, 500.0), 1.0f);

    FXPhaser pingPong;
    pingPong.pingPong = true;
    pingPong.Restart(10.0);
    EXPECT_EQ(At(&pingPong, 11.0), 1.0f);
    EXPECT_FLOAT_EQ(At(&pingPong, 11.25), 0.75f);
    EXPECT_EQ(At(&pingPong, 12.0), 0.0f);
    EXPECT_FLOAT_EQ(At(&pingPong, 12.5), 0.5f);

    FXPhaser backwards;
    backwards.loop = false;
    backwards.Restart(10.0);
    backwards.reverse = true;
    EXPECT_FLOAT_EQ(At(&backwards, 10.25), 0.75f);
    EXPECT_EQ(At(&backwards, 11.0), 0.0f);
    EXPECT_FALSE(backwards.active);
    EXPECT_EQ(At(&backwards, 20.0), 0.0f);

    // Before the start the phase stays at 0.
    FXPhaser early;
    early.Restart(10.0);
    EXPECT_EQ(At(&early, 9.0), 0.0f);
}

TEST(Phaser, CatchUpKeepsCadenceUnlessTwoCyclesLate) {
    // A fresh phaser first advanced long after its start time re-synchronises to now.
    FXPhaser fresh;
    fresh.duration = 4.0;
    EXPECT_EQ(At(&fresh, 100.0), 0.0f);
    EXPECT_EQ(fresh.startTime, 100.0);

    FXPhaser p;
    p.duration = 4.0;
    p.Restart(10.0);
    EXPECT_FLOAT_EQ(At(&p, 15.0), 0.25f);
    EXPECT_EQ(p.startTime, 14.0);
    // Exactly two cycles late still keeps the cadence.
    EXPECT_EQ(At(&p, 22.0), 1.0f);
    EXPECT_EQ(p.startTime, 18.0);
    // A stall of many cycles: start afresh from now.
    EXPECT_EQ(At(&p, 40.0), 0.0f);
    EXPECT_EQ(p.startTime, 40.0);
}

TEST(Phaser, FirstCycleEasesInThenTakesNextDuration) {
    FXPhaser p;
    p.firstCycle = true;
    p.duration = 10.0;
    p.nextDuration = 2.0;
    p.Restart(0.0);
    EXPECT_FLOAT_EQ(At(&p, 5.0), 0.125f);
    EXPECT_EQ(At(&p, 10.0), 0.0f);
    EXPECT_FALSE(p.firstCycle);
    EXPECT_EQ(p.duration, 2.0);
    EXPECT_FLOAT_EQ(At(&p, 11.0), 0.5f);
    EXPECT_EQ(At(&p, 12.0), 0.0f);
    EXPECT_FLOAT_EQ(At(&p, 13.5), 0.75f);
}

TEST(Phaser, ShapingFirstSetFlagWinsThenReverse) {
    FXPhaser p;
    p.Restart(0.0);
    p.smooth = p.semiSmooth = p.firstCycle = p.attack = true;
    EXPECT_FLOAT_EQ(At(&p, 0.5), 0.5f);
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.15625f);
    p.smooth = false;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.203125f);
    p.semiSmooth = false;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 0.015625f);
    p.reverse = true;
    EXPECT_FLOAT_EQ(At(&p, 0.25), 1.0f - 0.015625f);
}

TEST(Phaser, AttackCurve) {
    FXPhaser p;
    p.attack = true;
    p.Restart(0.0);
    // Exactly 0 at 0: the knee and the curve use the same single-precision constant.
    EXPECT_EQ(At(&p, 0.0), 0.0f);
    // Steep start (slope 12 * 0.92^11), about a third within the first fifth.
    EXPECT_NEAR(At(&p, 0.001) / 0.001f, 12.0 * std::pow(0.92, 11.0), 0.05);
    EXPECT_NEAR(At(&p, 0.2), 0.348f, 0.002f);
    // Linear above the knee (0.92^12, about 0.3677).
    EXPECT_EQ(At(&p, 0.37), 0.37f);
    EXPECT_LT(At(&p, 0.36), 0.3677f);
    EXPECT_GT(p.value, 0.36f);
}

TEST(Phaser, RestartClearsRunStateKeepsSettings) {
    FXPhaser p;
    p.loop = false;
    p.pingPong = true;
    p.duration = 3.0;
    p.Restart(0.0);
    p.reverse = true;
    At(&p, 5.0);
    ASSERT_FALSE(p.active);
    p.Restart(20.0);
    EXPECT_TRUE(p.active);
    EXPECT_FALSE(p.cycled);
    EXPECT_FALSE(p.reverse);
    EXPECT_FALSE(p.loop);
    EXPECT_TRUE(p.pingPong);
    EXPECT_EQ(p.duration, 3.0);
    EXPECT_FLOAT_EQ(At(&p, 21.5), 0.5f);
}

TEST(Phaser, ZeroOrNegativeDurationHoldsTheEndOfTheCycle) {
    for (double d : {0.0, -1.0}) {
        FXPhaser looping;
        looping.duration = d;
        looping.Restart(10.0);
        EXPECT_EQ(At(&looping, 10.0), 1.0f) << d;
        EXPECT_EQ(At(&looping, 13.0), 1.0f) << d;
        EXPECT_EQ(At(&looping, 5.0), 1.0f) << d;
        EXPECT_TRUE(looping.active);

        FXPhaser backwards;
        backwards.duration = d;
        backwards.loop = false;
        backwards.Restart(10.0);
        backwards.reverse = true;
        EXPECT_EQ(At(&backwards, 10.5), 0.0f) << d;
        EXPECT_FALSE(backwards.active);
    }
}

TEST(Phaser, GetOnOffWindow) {
    FXPhaser p;
    const float values[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.9f};
    const float want[] = {1.0f, 1.0f, 0.5f, 0.0f, 0.0f};
    for (int i = 0; i < 5; i++) {
        p.value = values[i];
        EXPECT_FLOAT_EQ(p.GetOnOff(0.2f, 0.4f), want[i]) << values[i];
    }
    // An empty window is a step, not a division by zero.
    p.value = 0.3f;
    EXPECT_EQ(p.GetOnOff(0.3f, 0.3f), 1.0f);
    p.value = 0.31f;
    EXPECT_EQ(p.GetOnOff(0.3f, 0.3f), 0.0f);
}

TEST(Phaser1, PingPongRestsThenRestartsByItself) {
    FXPhaser1 p1;
    p1.pingPong = true;
    p1.autoRestart = true;
    p1.pause = 2.0;
    p1.loop = false;
    p1.Restart(0.0);
    EXPECT_TRUE(p1.loop);
    // Advanced through the base class, as owners do.
    FXPhaser* p = &p1;
    EXPECT_EQ(At(p, 1.0), 1.0f);
    EXPECT_FLOAT_EQ(At(p, 1.5), 0.5f);
    EXPECT_EQ(At(p, 2.0), 0.0f);
    EXPECT_FALSE(p1.active);
    // The rest is measured from the end of the fall.
    EXPECT_EQ(At(p, 3.99), 0.0f);
    EXPECT_FALSE(p1.active);
    EXPECT_EQ(At(p, 4.0), 0.0f);
    EXPECT_TRUE(p1.active);
    EXPECT_TRUE(p1.loop);
    EXPECT_FLOAT_EQ(At(p, 4.25), 0.25f);
    EXPECT_EQ(At(p, 5.0), 1.0f);
    EXPECT_FLOAT_EQ(At(p, 5.75), 0.25f);

    // Without ping-pong it simply loops.
    FXPhaser1 plain;
    plain.autoRestart = true;
    plain.Restart(0.0);
    EXPECT_EQ(At(&plain, 1.0), 0.0f);
    EXPECT_FLOAT_EQ(At(&plain, 1.25), 0.25f);
}

typedef ScratchFolderTest PhaserFile;

TEST_F(PhaserFile, RecordLayoutAndRoundTrip) {
    FXPhaser a;
    a.value = 0.5f;
    a.duration = 2.5;
    a.loop = false;
    a.pingPong = true;
    a.semiSmooth = true;
    const std::string path = PathOf("rec.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(a.Save(f));
    fclose(f);
    const Bytes want = {0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40, 1, 0, 0, 1, 0, 1};
    EXPECT_EQ(ReadAll(path), want);

    // Fields outside the record stay as they were.
    FXPhaser b;
    b.startTime = 3.0;
    b.attack = true;
    b.nextDuration = 4.0;
    f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(b.Load(f));
    fclose(f);
    EXPECT_EQ(b.value, 0.5f);
    EXPECT_EQ(b.duration, 2.5);
    EXPECT_TRUE(b.active);
    EXPECT_FALSE(b.loop);
    EXPECT_TRUE(b.pingPong);
    EXPECT_TRUE(b.semiSmooth);
    EXPECT_EQ(b.startTime, 3.0);
    EXPECT_TRUE(b.attack);
    EXPECT_EQ(b.nextDuration, 4.0);
}

TEST_F(PhaserFile, OnlyTheByteOneIsTrue) {
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
    FXPhaser p;
    FILE* f = OpenWithBytes({0, 0, 0x80, 0x3e, 0xff, 0xff, 0xff, 0xff}); // value 0.25, half a duration
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

TEST(Phaser, LoadCReadsRecordsOneAfterAnother) {
    Bytes block = {0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40, 1, 0, 0, 1, 0, 2};
    const Bytes second = {0x00, 0x00, 0x80, 0x3e, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x40, 0, 1, 1, 0, 1, 1};
    block.insert(block.end(), second.begin(), second.end());
    block.push_back(7);
    FXPackageData data;
    data.InitData(block.data(), (int)block.size());
    FXPhaser p;
    p.startTime = 5.0;
    EXPECT_TRUE(p.LoadC(nullptr, &data));
    EXPECT_EQ(p.value, 0.5f);
    EXPECT_EQ(p.duration, 2.5);
    EXPECT_TRUE(p.active);
    EXPECT_FALSE(p.loop);
    EXPECT_TRUE(p.pingPong);
    EXPECT_FALSE(p.semiSmooth);
    EXPECT_EQ(p.startTime, 5.0);
    EXPECT_TRUE(p.LoadC(nullptr, &data));
    EXPECT_EQ(p.value, 0.25f);
    EXPECT_EQ(p.duration, 8.0);
    EXPECT_FALSE(p.active);
    EXPECT_TRUE(p.reverse);
    EXPECT_TRUE(p.loop);
    EXPECT_FALSE(p.pingPong);
    EXPECT_TRUE(p.smooth);
    EXPECT_TRUE(p.semiSmooth);
    EXPECT_EQ(data.remaining, 1);

    // What is left is too short: refused, nothing read.
    EXPECT_FALSE(p.LoadC(nullptr, &data));
    EXPECT_EQ(data.remaining, 1);
    EXPECT_EQ(p.value, 0.25f);
    EXPECT_FALSE(p.LoadC(nullptr, nullptr));
}

} // namespace
