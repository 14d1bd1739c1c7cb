#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/trace.h"

namespace {

std::vector<std::string> sunk;

void Sink(bool error, const char* text) {
    sunk.push_back(std::string(error ? "err " : "trc ") + text);
}

} // namespace

TEST(TraceSink, GetsEveryLineWithoutAFileAndStopsWhenCleared) {
    ASSERT_FALSE(fxTracesOpened());
    sunk.clear();
    trc("before %d\n", 0);
    fxSetTraceSink(Sink);
    trc("stamped %d\n", 1);
    trc1("plain %s\n", "two");
    err("broken %d\n", 3);
    fxSetTraceSink(nullptr);
    err("after\n");
    EXPECT_EQ(sunk, (std::vector<std::string>{"trc stamped 1\n", "trc plain two\n", "err broken 3\n"}));
    EXPECT_FALSE(fxTracesOpened());
}
