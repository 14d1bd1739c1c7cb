#include <gtest/gtest.h>

#include <atomic>

#include "base/other.h"
#include "base/thread.h"

namespace {

struct Gate {
    std::atomic<bool> open{false};
    std::atomic<int> ran{0};
    void* seenArg = nullptr;
};

void localGatedProc(void* arg) {
    Gate* g = (Gate*)arg;
    g->seenArg = arg;
    while (!g->open) {
        fxSleep(0.001);
    }
    g->ran++;
}

} // namespace

TEST(Threads, RunTheProcedureWithItsArgument) {
    Gate g;
    g.open = true;
    tagFXThread* t = fxCreateThread(localGatedProc, &g);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->arg, &g);
    EXPECT_NE(t->id, 0u);
    EXPECT_NE(t->id, fxGetThreadId());
    EXPECT_TRUE(fxWaitThread(t, 100000));
    EXPECT_EQ(g.ran.load(), 1);
    EXPECT_EQ(g.seenArg, &g);
    // Joined: the record holds no thread any more, a second wait returns at once.
    EXPECT_EQ(t->id, 0u);
    EXPECT_TRUE(fxWaitThread(t, 0.0));
    fxDestroyThread(t);
}

TEST(Threads, TimedWaitReportsATimeout) {
    Gate g;
    tagFXThread* t = fxCreateThread(localGatedProc, &g);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(fxWaitThread(t, 0.0));
    EXPECT_FALSE(fxWaitThread(t, 0.02));
    EXPECT_NE(t->id, 0u);
    g.open = true;
    EXPECT_TRUE(fxWaitThread(t, 10.0));
    EXPECT_EQ(g.ran.load(), 1);
    fxDestroyThread(t);
}

TEST(Threads, TerminatingARunningThreadAbandonsItSafely) {
    static Gate g; // outlives the record: the thread keeps running after it is abandoned
    g.open = false;
    g.ran = 0;
    tagFXThread* t = fxCreateThread(localGatedProc, &g);
    ASSERT_NE(t, nullptr);
    fxTerminateThread(t);
    EXPECT_EQ(t->handle, nullptr);
    EXPECT_EQ(t->id, 0u);
    EXPECT_TRUE(fxWaitThread(t, 0.0));
    fxDestroyThread(t);
    g.open = true;
    for (int i = 0; i < 5000 && g.ran == 0; i++) {
        fxSleep(0.001);
    }
    EXPECT_EQ(g.ran.load(), 1);
}

TEST(Threads, NullRecordsAreHarmless) {
    EXPECT_TRUE(fxWaitThread(nullptr, 1.0));
    fxTerminateThread(nullptr);
    fxDestroyThread(nullptr);
    fxSetThreadPriority(nullptr, 1);
}

TEST(Threads, PrioritiesAreBestEffort) {
    Gate g;
    tagFXThread* t = fxCreateThread(localGatedProc, &g);
    ASSERT_NE(t, nullptr);
    fxSetThreadPriority(t, -1);
    fxSetThreadPriority(t, 1);
    fxSetThreadPriority(t, 0);
    g.open = true;
    EXPECT_TRUE(fxWaitThread(t, 100000));
    EXPECT_EQ(g.ran.load(), 1);
    fxDestroyThread(t);
    fxSetAppPriority(0);
}

TEST(Mutex, IsRecursiveAndExcludesOtherThreads) {
    FXMUTEX m = fxCreateMutex();
    ASSERT_NE(m, nullptr);
    fxLock(m);
    EXPECT_TRUE(fxTryLock(m)); // same thread again
    struct Probe {
        FXMUTEX m;
        std::atomic<int> result{-1};
    } probe;
    probe.m = m;
    auto tryFromOther = [](void* arg) {
        Probe* p = (Probe*)arg;
        bool got = fxTryLock(p->m);
        if (got) {
            fxUnlock(p->m);
        }
        p->result = got ? 1 : 0;
    };
    tagFXThread* t = fxCreateThread(tryFromOther, &probe);
    ASSERT_TRUE(fxWaitThread(t, 100000));
    fxDestroyThread(t);
    EXPECT_EQ(probe.result.load(), 0);

    fxUnlock(m);
    fxUnlock(m);
    t = fxCreateThread(tryFromOther, &probe);
    ASSERT_TRUE(fxWaitThread(t, 100000));
    fxDestroyThread(t);
    EXPECT_EQ(probe.result.load(), 1);
    fxDestroyMutex(m);

    fxDestroyMutex(nullptr);
    fxLock(nullptr);
    fxUnlock(nullptr);
    EXPECT_FALSE(fxTryLock(nullptr));
}
