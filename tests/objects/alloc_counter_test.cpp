#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>

#include "support/alloc_counter.h"

namespace {
// Keeps the compiler from leaving out allocations whose results are never looked at.
void* volatile localSink;
} // namespace

// The counter is what the no-allocation tests of the objects rest on: it must see what it is
// meant to see, and nothing else.
TEST(AllocCounter, CountsTheCallingThreadBetweenStartAndStop) {
    fxTestAllocStart();
    EXPECT_EQ(fxTestAllocCount(), 0);
    std::unique_ptr<int> one(new int(1));
    std::unique_ptr<int[]> many(new int[16]);
    localSink = one.get();
    localSink = many.get();
    EXPECT_EQ(fxTestAllocStop(), 2);

    std::unique_ptr<int> after(new int(3)); // after the stop
    EXPECT_EQ(fxTestAllocCount(), 2);

    fxTestAllocStart(); // a new count starts from 0
    EXPECT_EQ(fxTestAllocStop(), 0);
}

TEST(AllocCounter, APauseLeavesItsScopeOutOfTheCount) {
    fxTestAllocStart();
    {
        FXTestAllocPause pause;
        std::unique_ptr<int> hidden(new int(1));
        localSink = hidden.get();
    }
    std::unique_ptr<int> seen(new int(2));
    localSink = seen.get();
    EXPECT_EQ(fxTestAllocStop(), 1);
    {
        FXTestAllocPause pause; // outside a count it does not start one
    }
    std::unique_ptr<int> after(new int(3));
    localSink = after.get();
    EXPECT_EQ(fxTestAllocCount(), 1);
}

TEST(AllocCounter, OtherThreadsAreNotCounted) {
    fxTestAllocStart();
    std::thread other([] {
        for (int i = 0; i < 10; i++) {
            std::unique_ptr<int> p(new int(i));
            localSink = p.get();
        }
    });
    int64_t beforeJoin = fxTestAllocCount();
    other.join();
    // Starting the thread allocates on this thread; the ten inside it must not show.
    EXPECT_EQ(fxTestAllocStop(), beforeJoin);
}

TEST(AllocCounter, SeesMallocUnderTheSanitizer) {
    if (!fxTestAllocSeesMalloc()) {
        GTEST_SKIP() << "only operator new is counted in this build";
    }
    fxTestAllocStart();
    void* p = malloc(32);
    void* q = calloc(4, 8);
    localSink = p;
    localSink = q;
    int64_t n = fxTestAllocStop();
    free(p);
    free(q);
    EXPECT_EQ(n, 2);
}
