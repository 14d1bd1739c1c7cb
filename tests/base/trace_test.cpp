#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <unistd.h>

#include "base/other.h"
#include "base/thread.h"
#include "base/trace.h"

namespace {

std::string readFile(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        out.append(buf, n);
    }
    fclose(f);
    return out;
}

const std::string dashes(48, '-');

class Traces : public ::testing::Test {
protected:
    std::string folder;
    std::string log;

    void SetUp() override {
        char tmpl[] = "/tmp/vantrel-trace-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder = tmpl;
        log = folder + "/vantrel.log";
    }
    void TearDown() override {
        fxCloseTraces();
        std::string cmd = "rm -rf '" + folder + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
};

} // namespace

TEST_F(Traces, NothingIsWrittenWhileTheLogIsClosed) {
    EXPECT_FALSE(fxTracesOpened());
    trc("before %d\n", 1);
    err("before\n");
    trc1("before\n");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    EXPECT_TRUE(fxTracesOpened());
    fxCloseTraces();
    EXPECT_FALSE(fxTracesOpened());
    trc("after\n");
    std::string text = readFile(log);
    EXPECT_EQ(text.find("before"), std::string::npos);
    EXPECT_EQ(text.find("after"), std::string::npos);
}

TEST_F(Traces, BannersAndLineLayout) {
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    trc("hello %s\n", "world");
    err("broken %d\n", 7);
    trc1("plain\n");
    fxCloseTraces();

    std::string text = readFile(log);
    std::string open = dashes + "\n fxOpenTraces (filename:" + log + ")\n" + dashes + "\n\n";
    ASSERT_EQ(text.compare(0, open.size(), open), 0) << text;

    char id[16];
    snprintf(id, sizeof(id), "%08x", fxGetThreadId());
    std::string body = text.substr(open.size());
    std::regex lines(std::string("^") + id + R"(: \[\d+\.\d{3}\] hello world\n)" + "#ERROR: " + id +
                     R"(: \[\d+\.\d{3}\] broken 7\n)" + "plain\n" + "\n" + dashes + "\n end of traces\n" + dashes +
                     "\n\n$");
    EXPECT_TRUE(std::regex_match(body, lines)) << body;
}

TEST_F(Traces, TheTimeStampIsTheClockInSinglePrecision) {
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    double before = (float)fxGetTime();
    trc("x\n");
    double after = (float)fxGetTime();
    fxCloseTraces();
    std::string text = readFile(log);
    size_t at = text.find("[");
    ASSERT_NE(at, std::string::npos);
    double stamp = atof(text.c_str() + at + 1);
    EXPECT_GE(stamp, before - 0.0005);
    EXPECT_LE(stamp, after + 0.0005);
}

TEST_F(Traces, ASecondOpenIsRefusedAndLeavesAWarningInTheFirstLog) {
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    std::string other = folder + "/other.log";
    EXPECT_FALSE(fxOpenTraces(other.c_str()));
    trc("still here\n");
    fxCloseTraces();
    std::string text = readFile(log);
    std::string warning = dashes + "\nfxOpenTraces - attempt to open another traces\n" +
                          "               (filename:" + other + ")\n" + dashes + "\n\n";
    EXPECT_NE(text.find(warning), std::string::npos) << text;
    EXPECT_NE(text.find("still here"), std::string::npos);
    EXPECT_NE(access(other.c_str(), F_OK), 0);
}

TEST_F(Traces, AnUnwritableLogLeavesTracingOff) {
    std::string bad = folder + "/no/such/folder/x.log";
    EXPECT_FALSE(fxOpenTraces(bad.c_str()));
    EXPECT_FALSE(fxTracesOpened());
    trc("ignored\n");
}

TEST_F(Traces, LongMessagesAreCutAt4096Characters) {
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    std::string longText(6000, 'Q');
    trc1("%s", longText.c_str());
    trc1("|end\n");
    fxCloseTraces();
    std::string text = readFile(log);
    // The folder name in the banner may hold a Q of its own: look for the run itself.
    size_t run = text.find(std::string(4096, 'Q') + "|end\n");
    EXPECT_NE(run, std::string::npos);
    EXPECT_EQ(text.find(std::string(4097, 'Q')), std::string::npos);
}

TEST_F(Traces, ErrmsgWritesToTheLogAndReturns) {
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    testing::internal::CaptureStderr();
    int result = errmsg("cannot %s\n", "continue");
    std::string shown = testing::internal::GetCapturedStderr();
    fxCloseTraces();
    EXPECT_EQ(result, 1);
    EXPECT_NE(shown.find("cannot continue"), std::string::npos);
    std::string text = readFile(log);
    EXPECT_NE(text.find("#ERROR: "), std::string::npos);
    EXPECT_NE(text.find("cannot continue\n"), std::string::npos);

    // With the log closed only the message is shown.
    testing::internal::CaptureStderr();
    errmsg("only shown\n");
    shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("only shown"), std::string::npos);
}

TEST_F(Traces, ConcurrentWritersNeverInterleaveLines) {
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    auto writer = [](void* arg) {
        long tag = (long)(intptr_t)arg;
        for (int i = 0; i < 300; i++) {
            trc("writer %ld line %d end\n", tag, i);
        }
    };
    tagFXThread* a = fxCreateThread(writer, (void*)(intptr_t)1);
    tagFXThread* b = fxCreateThread(writer, (void*)(intptr_t)2);
    ASSERT_TRUE(fxWaitThread(a, 100000));
    ASSERT_TRUE(fxWaitThread(b, 100000));
    fxDestroyThread(a);
    fxDestroyThread(b);
    fxCloseTraces();

    std::string text = readFile(log);
    std::regex line(R"([0-9a-f]{8}: \[\d+\.\d{3}\] writer [12] line \d+ end)");
    int count = 0;
    size_t pos = 0;
    while ((pos = text.find("writer", pos)) != std::string::npos) {
        size_t start = text.rfind('\n', pos) + 1;
        size_t end = text.find('\n', pos);
        EXPECT_TRUE(std::regex_match(text.substr(start, end - start), line));
        count++;
        pos = end;
    }
    EXPECT_EQ(count, 600);
}
