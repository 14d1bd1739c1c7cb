#ifndef VANTREL_TESTS_STORED_BYTES_H
#define VANTREL_TESTS_STORED_BYTES_H

// Helpers for tests of stored forms: building input bytes, reading output files, and streams
// that cannot seek.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include "base/outfile.h"
#endif

typedef std::vector<uint8_t> Bytes;

inline void AddInt32(Bytes* b, int32_t v) {
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; i++) {
        b->push_back((uint8_t)(u >> (8 * i)));
    }
}

inline void AddText(Bytes* b, const std::string& s) {
    b->insert(b->end(), s.begin(), s.end());
}

// A fresh folder per test, removed with the files made through PathOf afterwards.
class ScratchFolderTest : public ::testing::Test {
protected:
    std::string folder;
    std::vector<std::string> files;

    void SetUp() override {
#if defined(_WIN32)
        ASSERT_TRUE(fxMakeTempFolder("vantrel_test_", &folder));
#else
        char pattern[] = "/tmp/vantrel_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
#endif
    }

    void TearDown() override {
        for (const std::string& f : files) {
            unlink(f.c_str());
        }
        rmdir(folder.c_str());
    }

    std::string PathOf(const char* name) {
        std::string path = folder + "/" + name;
        files.push_back(path);
        return path;
    }

    // A file holding bytes, opened for reading.
    FILE* OpenWithBytes(const Bytes& bytes) {
        std::string path = PathOf("input.bin");
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f == nullptr) {
            return nullptr;
        }
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return fopen(path.c_str(), "rb");
    }

    Bytes ReadAll(const std::string& path) {
        Bytes bytes;
        FILE* f = fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        if (f == nullptr) {
            return bytes;
        }
        int c;
        while ((c = fgetc(f)) != EOF) {
            bytes.push_back((uint8_t)c);
        }
        fclose(f);
        return bytes;
    }
};

// The read end of a pipe fed by a writer thread: a stream that can neither seek nor tell its
// length. Close `stream` before the feed goes out of scope.
class PipeFeed {
public:
    FILE* stream = nullptr;

    explicit PipeFeed(const Bytes& bytes) : data(bytes) {
        int fds[2];
#if defined(_WIN32)
        if (_pipe(fds, 1 << 16, _O_BINARY) != 0) {
            return;
        }
#else
        signal(SIGPIPE, SIG_IGN); // a reader that stops early must not kill the test
        if (pipe(fds) != 0) {
            return;
        }
#endif
        stream = fdopen(fds[0], "rb");
        int out = fds[1];
        writer = std::thread([this, out] {
            size_t done = 0;
            while (done < data.size()) {
                ssize_t n = write(out, data.data() + done, data.size() - done);
                if (n <= 0) {
                    break;
                }
                done += (size_t)n;
            }
            close(out);
        });
    }

    ~PipeFeed() {
        if (writer.joinable()) {
            writer.join();
        }
    }

private:
    Bytes data;
    std::thread writer;
};

#endif
