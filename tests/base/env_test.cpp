#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "base/env.h"
#include "base/other.h"
#include "base/thread.h"
#include "support/test_env.h"

namespace {

// Records every frame: which thread drew it and whether the device was current.
class CountingTarget : public PRender {
public:
    std::atomic<int> frames{0};
    std::atomic<uint32_t> lastThread{0};
    std::atomic<bool> sawOtherThread{false};
    std::atomic<bool> drewWithoutContext{false};
    std::atomic<double> lastTime{0.0};
    TestEnv* env = nullptr;

    void OnRender(PEnv* e, double time) override {
        uint32_t id = fxGetThreadId();
        uint32_t prev = lastThread.exchange(id);
        if (prev != 0 && prev != id) {
            sawOtherThread = true;
        }
        if (e != env || env->actDepth != 1) {
            drewWithoutContext = true;
        }
        lastTime = time;
        frames++;
    }
};

// A frame that takes a while, so tests can stop the loop in the middle of it.
class SlowTarget : public PRender {
public:
    std::atomic<bool> inFrame{false};
    std::atomic<int> finished{0};
    double frameSeconds = 0.3;

    void OnRender(PEnv*, double) override {
        inFrame = true;
        fxSleep(frameSeconds);
        finished++;
        inFrame = false;
    }
};

bool waitFor(const std::atomic<int>& value, int atLeast) {
    for (int i = 0; i < 5000 && value < atLeast; i++) {
        fxSleep(0.001);
    }
    return value >= atLeast;
}

bool waitForFlag(const std::atomic<bool>& flag, bool state) {
    for (int i = 0; i < 5000 && flag != state; i++) {
        fxSleep(0.001);
    }
    return flag == state;
}

} // namespace

TEST(RenderLoop, OneThreadDrawsTheTargetUnderTheLock) {
    TestEnv env;
    CountingTarget target;
    target.env = &env;
    ASSERT_TRUE(env.StartLoop(&target));
    ASSERT_TRUE(waitFor(target.frames, 5));
    EXPECT_NE(target.lastThread.load(), fxGetThreadId());

    // While this thread holds the environment lock no frame can be drawn.
    env.Lock(true);
    fxSleep(0.01); // let a frame that had already begun finish
    int held = target.frames;
    fxSleep(0.1);
    EXPECT_EQ(target.frames.load(), held);
    env.Lock(false);
    EXPECT_TRUE(waitFor(target.frames, held + 3));

    env.StopLoop(100000);
    EXPECT_FALSE(env.loopRunning);
    EXPECT_EQ(env.thread, nullptr);
    EXPECT_EQ(env.render.load(), nullptr);
    EXPECT_FALSE(target.sawOtherThread);
    EXPECT_FALSE(target.drewWithoutContext);
    EXPECT_FALSE(env.actNested);
    EXPECT_EQ(env.actOn.load(), env.actOff.load());
    // The target gets the absolute clock, not a frame delta.
    EXPECT_GT(target.lastTime.load(), 0.0);
    EXPECT_LE(target.lastTime.load(), fxGetTime());
}

TEST(RenderLoop, StartOnARunningLoopSwitchesTargetWithoutASecondThread) {
    TestEnv env;
    CountingTarget a, b;
    a.env = b.env = &env;
    ASSERT_TRUE(env.StartLoop(&a));
    tagFXThread* first = env.thread;
    ASSERT_NE(first, nullptr);
    // Immediately again, before the thread has drawn anything.
    ASSERT_TRUE(env.StartLoop(&a));
    EXPECT_EQ(env.thread, first);
    ASSERT_TRUE(waitFor(a.frames, 3));

    ASSERT_TRUE(env.StartLoop(&b));
    EXPECT_EQ(env.thread, first);
    ASSERT_TRUE(waitFor(b.frames, 3));
    int aFrames = a.frames;
    fxSleep(0.05);
    EXPECT_EQ(a.frames.load(), aFrames);
    EXPECT_EQ(a.lastThread.load(), b.lastThread.load());
    env.StopLoop(100000);
}

TEST(RenderLoop, StopWithoutLimitWaitsForTheFrameInFlight) {
    TestEnv env;
    SlowTarget target;
    ASSERT_TRUE(env.StartLoop(&target));
    ASSERT_TRUE(waitForFlag(target.inFrame, true));
    int before = target.finished;
    env.StopLoop(100000);
    EXPECT_EQ(target.finished.load(), before + 1);
    EXPECT_FALSE(target.inFrame);
    EXPECT_FALSE(env.loopRunning);
    EXPECT_EQ(env.thread, nullptr);
}

TEST(RenderLoop, StopBeforeTheThreadRunsIsSafeAndTheLoopCanStartAgain) {
    TestEnv env;
    CountingTarget target;
    target.env = &env;
    ASSERT_TRUE(env.StartLoop(&target));
    env.StopLoop(100000);
    EXPECT_EQ(target.frames.load(), 0);
    EXPECT_FALSE(env.loopRunning);
    EXPECT_EQ(env.render.load(), nullptr);

    ASSERT_TRUE(env.StartLoop(&target));
    EXPECT_TRUE(waitFor(target.frames, 2));
    env.StopLoop(100000);
}

TEST(RenderLoop, StopWithATimeoutAbandonsAFrameThatTakesTooLong) {
    TestEnv env;
    SlowTarget target;
    target.frameSeconds = 1.0;
    ASSERT_TRUE(env.StartLoop(&target));
    ASSERT_TRUE(waitForFlag(target.inFrame, true));
    env.StopLoop(0.05);
    // Returned before the frame ended; the record is gone and no target is set.
    EXPECT_EQ(target.finished.load(), 0);
    EXPECT_EQ(env.thread, nullptr);
    EXPECT_EQ(env.render.load(), nullptr);
    // The abandoned thread finishes its frame and leaves on its own.
    EXPECT_TRUE(waitForFlag(env.loopRunning, false));
    EXPECT_EQ(target.finished.load(), 1);
}

TEST(RenderLoop, StopWithNoLoopOnlyClearsTheTarget) {
    TestEnv env;
    CountingTarget target;
    env.render = &target;
    env.StopLoop(0.5);
    EXPECT_EQ(env.render.load(), nullptr);
    EXPECT_TRUE(env.loopStop);
    EXPECT_EQ(env.thread, nullptr);
}

TEST(RenderLoop, DestroyStopsTheLoopAndDropsTheLock) {
    TestEnv env;
    CountingTarget target;
    target.env = &env;
    ASSERT_TRUE(env.StartLoop(&target));
    ASSERT_TRUE(waitFor(target.frames, 1));
    env.Destroy();
    EXPECT_FALSE(env.loopRunning);
    EXPECT_EQ(env.mutex, nullptr);
    EXPECT_FALSE(env.loopStop);
    env.Lock(true); // no lock left: must not crash
    env.Lock(false);
    env.Destroy(); // twice in a row
    EXPECT_EQ(env.mutex, nullptr);
}

TEST(RenderLoop, LockIsRecursive) {
    TestEnv env;
    env.Lock(true);
    env.Lock(true);
    env.Lock(false);
    std::atomic<bool> otherGotIt{true};
    tagFXThread* t = fxCreateThread(
        [](void* arg) {
            auto* e = (std::pair<TestEnv*, std::atomic<bool>*>*)arg;
            *e->second = fxTryLock(e->first->mutex);
        },
        new std::pair<TestEnv*, std::atomic<bool>*>(&env, &otherGotIt));
    ASSERT_NE(t, nullptr);
    void* arg = t->arg;
    EXPECT_TRUE(fxWaitThread(t, 100000));
    fxDestroyThread(t);
    delete (std::pair<TestEnv*, std::atomic<bool>*>*)arg;
    EXPECT_FALSE(otherGotIt); // still held once by this thread
    env.Lock(false);
}

TEST(Lights, SlotsFillInOrderAndRefuseTheNinth) {
    TestEnv env;
    FXLight* l[9];
    for (int i = 0; i < 9; i++) {
        l[i] = (FXLight*)(intptr_t)(0x1000 + 16 * i);
    }
    for (int i = 0; i < 8; i++) {
        EXPECT_TRUE(env.RegisterLight(l[i]));
        EXPECT_EQ(env.lights[i], l[i]);
    }
    EXPECT_FALSE(env.RegisterLight(l[8]));
    EXPECT_TRUE(env.RegisterLight(l[3])); // already there, no change

    env.UnregisterLight(l[2]);
    EXPECT_EQ(env.lights[2], nullptr);
    env.UnregisterLight(l[8]); // never registered: no effect
    // A light at a later slot lands again in the freed earlier slot.
    EXPECT_TRUE(env.RegisterLight(l[5]));
    EXPECT_EQ(env.lights[2], l[5]);
    EXPECT_EQ(env.lights[5], l[5]);
}

TEST(Lights, RegisteringTwiceUsesOneSlot) {
    TestEnv env;
    FXLight* a = (FXLight*)(intptr_t)0x2000;
    EXPECT_TRUE(env.RegisterLight(a));
    EXPECT_TRUE(env.RegisterLight(a));
    EXPECT_EQ(env.lights[0], a);
    EXPECT_EQ(env.lights[1], nullptr);
}

TEST(GlobalEnv, SetEnvPublishesTheEnvironment) {
    TestEnv env;
    fxSetEnv(&env);
    EXPECT_EQ(fxglobalEnv, &env);
    fxSetEnv(nullptr);
    EXPECT_EQ(fxglobalEnv, nullptr);
}
