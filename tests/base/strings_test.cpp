#include "base/strings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// A fresh folder per test, removed with everything in it afterwards.
class StoredStrTest : public ::testing::Test {
protected:
    std::string folder;
    std::vector<std::string> files;

    void SetUp() override {
        char pattern[] = "/tmp/vantrel_strings_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
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

    FILE* OpenWithBytes(const Bytes& bytes) {
        std::string path = PathOf("in.bin");
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) {
            fwrite(bytes.data(), 1, bytes.size(), f);
        }
        fclose(f);
        return fopen(path.c_str(), "rb");
    }

    Bytes ReadAll(const std::string& path) {
        Bytes bytes;
        FILE* f = fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        int c;
        while ((c = fgetc(f)) != EOF) {
            bytes.push_back((uint8_t)c);
        }
        fclose(f);
        return bytes;
    }
};

void AddInt32(Bytes* b, int32_t v) {
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; i++) {
        b->push_back((uint8_t)(u >> (8 * i)));
    }
}

void AddText(Bytes* b, const std::string& s) {
    b->insert(b->end(), s.begin(), s.end());
}

// Invariant every operation must keep.
void ExpectWellFormed(const FXStr& s) {
    ASSERT_GE(s.length, 0);
    ASSERT_LE(s.length, 1023);
    EXPECT_EQ(s.chars[s.length], 0);
    EXPECT_EQ((int)strlen(s.chars), s.length);
}

} // namespace

TEST(FXStrTest, SetAndAppendCutAt1023Characters) {
    std::string longText(2000, 'q');
    longText[1022] = 'z';
    FXStr s;
    EXPECT_EQ(s.Set(longText.c_str()), 1023);
    ExpectWellFormed(s);
    EXPECT_EQ(s.chars[1022], 'z');

    std::string base(1020, 'a');
    s.Set(base.c_str());
    s.Append("xyzw");
    ExpectWellFormed(s);
    EXPECT_EQ(s.length, 1023);
    EXPECT_STREQ(s.chars + 1020, "xyz");

    s.Append("more");
    EXPECT_EQ(s.length, 1023);

    EXPECT_EQ(s.Set(nullptr), 0);
    ExpectWellFormed(s);
    s.Set("ab");
    s.Append(nullptr);
    s.Append("");
    EXPECT_STREQ(s.chars, "ab");

    FXStr fromCtor(longText.c_str());
    ExpectWellFormed(fromCtor);
    EXPECT_EQ(fromCtor.length, 1023);
}

TEST(FXStrTest, SetAndAppendFromOwnBuffer) {
    FXStr s("abcdef");
    s.Set(s.chars + 2);
    EXPECT_STREQ(s.chars, "cdef");
    s.Append(s.chars);
    EXPECT_STREQ(s.chars, "cdefcdef");
    EXPECT_EQ(s.length, 8);
}

TEST(FXStrTest, AppendCharAndInsertCharStopAtFullString) {
    FXStr s;
    std::string t(1022, 'a');
    s.Set(t.c_str());
    EXPECT_EQ(s.AppendChar('b'), 1023);
    EXPECT_EQ(s.chars[1022], 'b');
    EXPECT_EQ(s.AppendChar('c'), 1023);
    ExpectWellFormed(s);
    EXPECT_EQ(s.chars[1022], 'b');
    EXPECT_EQ(s.InsertChar('x'), 1023);
    EXPECT_EQ(s.chars[0], 'a');
    ExpectWellFormed(s);

    s.Set("abc");
    EXPECT_EQ(s.InsertChar('x'), 4);
    EXPECT_STREQ(s.chars, "xabc");
    // A zero character leaves the text as it was: the length is recounted.
    EXPECT_EQ(s.AppendChar(0), 4);
    EXPECT_STREQ(s.chars, "xabc");

    FXStr empty;
    EXPECT_EQ(empty.InsertChar('y'), 1);
    EXPECT_STREQ(empty.chars, "y");
}

TEST(FXStrTest, RemoveLastStopsAtEmpty) {
    FXStr s("ab");
    s.RemoveLast();
    EXPECT_STREQ(s.chars, "a");
    s.RemoveLast();
    s.RemoveLast();
    EXPECT_EQ(s.length, 0);
    ExpectWellFormed(s);
}

TEST(FXStrTest, FormatKeepsLengthInRange) {
    FXStr s("old text");
    EXPECT_EQ(s.Format("%s-%d", "mesh", 42), 7);
    EXPECT_STREQ(s.chars, "mesh-42");

    std::string big(2000, 'w');
    EXPECT_EQ(s.Format("%s!", big.c_str()), 1023);
    ExpectWellFormed(s);
    EXPECT_EQ(s.chars[1022], 'w');

    // Our own text may be an argument.
    s.Set("ab");
    s.Format("%s/%s", s.chars, s.chars);
    EXPECT_STREQ(s.chars, "ab/ab");

    // A wide character the default locale cannot encode makes the formatter fail.
    s.Set("before");
    int n = s.Format("%ls", L"\x4e2d");
    EXPECT_EQ(n, s.length);
    ExpectWellFormed(s);
    EXPECT_EQ(s.length, 0);

    s.Format("%s", "");
    EXPECT_EQ(s.length, 0);
    ExpectWellFormed(s);
}

TEST(FXStrTest, TrimSpaces) {
    FXStr s("  ab c \t");
    ASSERT_EQ(s.length, 8);
    EXPECT_EQ(s.TrimSpaces(), 4);
    EXPECT_STREQ(s.chars, "ab c");
    ExpectWellFormed(s);

    s.Set("   ");
    EXPECT_EQ(s.TrimSpaces(), 0);
    EXPECT_STREQ(s.chars, "");

    s.Set("\r\nx\v\f");
    EXPECT_EQ(s.TrimSpaces(), 1);
    EXPECT_STREQ(s.chars, "x");

    s.Set("tidy");
    EXPECT_EQ(s.TrimSpaces(), 4);
    EXPECT_STREQ(s.chars, "tidy");

    // A length of 0 returns at once, whatever the buffer holds.
    s.Set("  z");
    s.length = 0;
    EXPECT_EQ(s.TrimSpaces(), 0);
    EXPECT_STREQ(s.chars, "  z");
}

TEST(FXStrTest, CaseMappingAndExchangeTouchOnlyTheText) {
    FXStr s("MiXed 12\\Path");
    s.chars[s.length + 1] = 'Q'; // beyond the terminator: must stay
    s.ToLower();
    EXPECT_STREQ(s.chars, "mixed 12\\path");
    s.ToUpper();
    EXPECT_STREQ(s.chars, "MIXED 12\\PATH");
    s.ExchangeChars('\\', '/');
    EXPECT_STREQ(s.chars, "MIXED 12/PATH");
    EXPECT_EQ(s.chars[s.length + 1], 'Q');
}

TEST(FXStrTest, CompareFamiliesOnEmptyAndNullArguments) {
    FXStr empty;
    FXStr full("Pck01");
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(full.IsEmpty());

    EXPECT_TRUE(empty.Compare(nullptr));
    EXPECT_TRUE(empty.Compare(""));
    EXPECT_FALSE(full.Compare(nullptr));
    EXPECT_FALSE(full.Compare(""));
    EXPECT_FALSE(empty.Compare("a"));
    EXPECT_TRUE(full.Compare("Pck01"));
    EXPECT_FALSE(full.Compare("pck01"));
    EXPECT_FALSE(full.Compare("Pck0"));
    EXPECT_FALSE(full.Compare("Pck012"));

    // An empty, non-null argument never matches; null matches only the empty string.
    EXPECT_FALSE(empty.iCompare(""));
    EXPECT_FALSE(full.iCompare(""));
    EXPECT_TRUE(empty.iCompare(nullptr));
    EXPECT_FALSE(full.iCompare(nullptr));
    EXPECT_TRUE(full.iCompare("pCK01"));
    EXPECT_FALSE(full.iCompare("pck0"));
    EXPECT_FALSE(empty.iCompare("x"));

    FXStr magic("pck01");
    EXPECT_TRUE(magic.nCompare("pck", 3));
    EXPECT_FALSE(magic.nCompare("pcx", 3));
    EXPECT_FALSE(magic.nCompare("pck02", 5));
    EXPECT_TRUE(empty.nCompare(nullptr, 3));
    EXPECT_FALSE(empty.nCompare("pck", 3));
}

TEST(FXStrTest, CompareLooksAtTheFirst1023Characters) {
    std::string longText(1500, 'k');
    FXStr s(longText.c_str());
    EXPECT_TRUE(s.Compare(longText.c_str()));
    EXPECT_TRUE(s.iCompare(std::string(1500, 'K').c_str()));
}

TEST_F(StoredStrTest, SaveWritesLittleEndianLengthAndBytes) {
    std::string path = PathOf("out.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    FXStr empty;
    empty.Save(f);
    std::string text(300, 'm'); // length 0x12c needs both low bytes
    FXStr s(text.c_str());
    s.Save(f);
    fclose(f);

    Bytes expected;
    AddInt32(&expected, 0);
    expected.push_back(0x2c);
    expected.push_back(0x01);
    expected.push_back(0);
    expected.push_back(0);
    AddText(&expected, text);
    EXPECT_EQ(ReadAll(path), expected);

    f = fopen(path.c_str(), "rb");
    FXStr back("stale");
    back.Load(f);
    EXPECT_EQ(ftell(f), 4); // the empty string is exactly four bytes
    EXPECT_EQ(back.length, 0);
    ExpectWellFormed(back);
    back.Load(f);
    EXPECT_TRUE(back.Compare(text.c_str()));
    EXPECT_EQ(back.length, 300);
    fclose(f);
}

TEST_F(StoredStrTest, LoadOfOverlongLengthStaysInStepWithTheNextRecord) {
    Bytes b;
    AddInt32(&b, 1500);
    std::string body(1500, 'L');
    body[1022] = 'e';
    AddText(&b, body);
    AddInt32(&b, 4);
    AddText(&b, "next");
    FILE* f = OpenWithBytes(b);
    ASSERT_NE(f, nullptr);

    FXStr s;
    s.Load(f);
    ExpectWellFormed(s);
    EXPECT_EQ(s.length, 1023);
    EXPECT_EQ(s.chars[1022], 'e');
    FXStr next;
    next.Load(f);
    EXPECT_STREQ(next.chars, "next");
    fclose(f);
}

TEST_F(StoredStrTest, LoadOfNegativeLengthReadsNothing) {
    Bytes b;
    AddInt32(&b, -7);
    AddInt32(&b, 2);
    AddText(&b, "ok");
    FILE* f = OpenWithBytes(b);
    FXStr s("stale");
    s.Load(f);
    EXPECT_EQ(s.length, 0);
    ExpectWellFormed(s);
    s.Load(f);
    EXPECT_STREQ(s.chars, "ok");
    fclose(f);
}

TEST_F(StoredStrTest, ShortReadsKeepWhatArrived) {
    Bytes b;
    AddInt32(&b, 10);
    AddText(&b, "abcd");
    FILE* f = OpenWithBytes(b);
    FXStr s;
    s.Load(f);
    EXPECT_STREQ(s.chars, "abcd");
    EXPECT_EQ(s.length, 4);
    // Nothing left: a missing length reads as 0.
    s.Load(f);
    EXPECT_EQ(s.length, 0);
    ExpectWellFormed(s);
    fclose(f);

    // An over-long record cut short by the end of the file.
    b.clear();
    AddInt32(&b, 5000);
    AddText(&b, std::string(1100, 'c'));
    f = OpenWithBytes(b);
    s.Load(f);
    EXPECT_EQ(s.length, 1023);
    ExpectWellFormed(s);
    s.Load(f);
    EXPECT_EQ(s.length, 0);
    fclose(f);
}

TEST(FXStrPipeTest, OverlongLengthIsSkippedOnStreamsThatCannotSeek) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Bytes b;
    AddInt32(&b, 2000);
    AddText(&b, std::string(2000, 'p'));
    AddInt32(&b, 3);
    AddText(&b, "end");
    ASSERT_EQ(write(fds[1], b.data(), b.size()), (ssize_t)b.size());
    close(fds[1]);
    FILE* f = fdopen(fds[0], "rb");
    ASSERT_NE(f, nullptr);
    FXStr s;
    s.Load(f);
    EXPECT_EQ(s.length, 1023);
    s.Load(f);
    EXPECT_STREQ(s.chars, "end");
    fclose(f);
}

TEST(FXLongStrTest, BuffersFitExactlyAndNeverShrink) {
    FXLongStr s;
    EXPECT_EQ(s.chars, nullptr);
    EXPECT_EQ(s.allocated, 0);
    s.Set("");
    EXPECT_EQ(s.chars, nullptr);

    s.Set("abc");
    EXPECT_EQ(s.allocated, 4);
    EXPECT_EQ(s.length, 3);
    s.Set("a");
    EXPECT_EQ(s.allocated, 4);
    EXPECT_STREQ(s.chars, "a");
    s.Set("abcdef");
    EXPECT_EQ(s.allocated, 7);
    s.Append("gh");
    EXPECT_EQ(s.allocated, 9);
    EXPECT_STREQ(s.chars, "abcdefgh");
    EXPECT_EQ(s.length, 8);
    s.Set("xy");
    s.Append("z");
    EXPECT_EQ(s.allocated, 9);
    EXPECT_STREQ(s.chars, "xyz");

    // Emptying keeps the buffer.
    s.Set(nullptr);
    EXPECT_EQ(s.length, 0);
    EXPECT_NE(s.chars, nullptr);
    EXPECT_EQ(s.chars[0], 0);
    EXPECT_EQ(s.allocated, 9);

    s.Clear();
    EXPECT_EQ(s.chars, nullptr);
    EXPECT_EQ(s.allocated, 0);
    s.Append("new");
    EXPECT_EQ(s.allocated, 4);
    EXPECT_STREQ(s.chars, "new");

    s.Set("kept");
    s.ClearBuf();
    EXPECT_EQ(s.chars, nullptr);
    EXPECT_EQ(s.allocated, 0);
    EXPECT_EQ(s.length, 4);
}

TEST(FXLongStrTest, SetAndAppendFromOwnBuffer) {
    FXLongStr s("abc");
    s.Append(s.chars); // needs a bigger block while reading the old one
    EXPECT_STREQ(s.chars, "abcabc");
    s.Set(s.chars + 3);
    EXPECT_STREQ(s.chars, "abc");

    std::string longText(5000, 'r');
    FXLongStr big(longText.c_str());
    EXPECT_EQ(big.length, 5000);
    big.Append(big.chars);
    EXPECT_EQ(big.length, 10000);
    EXPECT_EQ(big.chars[9999], 'r');
}

TEST(FXLongStrTest, CompareTrimAndLower) {
    FXLongStr none;
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_TRUE(none.Compare(nullptr));
    EXPECT_TRUE(none.Compare(""));
    EXPECT_TRUE(none.iCompare(""));
    EXPECT_FALSE(none.Compare("a"));
    EXPECT_FALSE(none.iCompare("a"));
    EXPECT_EQ(none.TrimSpaces(), 0);
    none.ToLower();

    FXLongStr s(" \tHello World\n");
    EXPECT_EQ(s.TrimSpaces(), 11);
    EXPECT_EQ(s.length, 11);
    EXPECT_TRUE(s.Compare("Hello World"));
    EXPECT_FALSE(s.Compare("hello world"));
    EXPECT_TRUE(s.iCompare("hello WORLD"));
    EXPECT_FALSE(s.iCompare("hello"));
    EXPECT_FALSE(s.Compare(""));
    s.ToLower();
    EXPECT_STREQ(s.chars, "hello world");

    // Emptied but with a buffer.
    s.Set("");
    EXPECT_TRUE(s.Compare(nullptr));
    EXPECT_FALSE(s.Compare("x"));
}

TEST(FXLongStrWTest, GrowthAppendCharAndRemoveLast) {
    FXLongStrW s;
    s.AppendChar(L'a');
    EXPECT_EQ(s.allocated, 2);
    EXPECT_EQ(s.length, 1);
    s.AppendChar(L'b');
    EXPECT_EQ(s.allocated, 3);
    EXPECT_EQ(wcscmp(s.chars, L"ab"), 0);
    s.Append(L"cd");
    EXPECT_EQ(s.allocated, 5);
    EXPECT_EQ(wcscmp(s.chars, L"abcd"), 0);
    s.Set(L"x");
    EXPECT_EQ(s.allocated, 5);
    s.Append(s.chars);
    EXPECT_EQ(wcscmp(s.chars, L"xx"), 0);
    s.RemoveLast();
    s.RemoveLast();
    s.RemoveLast();
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.chars[0], 0);

    s.Set(L"123456");
    EXPECT_EQ(s.allocated, 7);
    s.Set(nullptr);
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.allocated, 7);
    s.Clear();
    EXPECT_EQ(s.chars, nullptr);
    s.RemoveLast();
    EXPECT_EQ(s.length, 0);
}

TEST(FXLongStrWTest, TrimLowerAndCompare) {
    // U+3000 is white space in Unicode but above 255, so it stays.
    FXLongStrW s(L" \t\x3000Wide\x3000 \n");
    EXPECT_EQ(s.TrimSpaces(), 6);
    EXPECT_EQ(wcscmp(s.chars, L"\x3000Wide\x3000"), 0);

    // 0x120 has 0x20 (a space) in its low byte: only the whole unit counts.
    FXLongStrW t(L"\x120x\x109");
    EXPECT_EQ(t.TrimSpaces(), 3);

    FXLongStrW u(L"   ");
    EXPECT_EQ(u.TrimSpaces(), 0);
    EXPECT_EQ(u.chars[0], 0);

    FXLongStrW w(L"MiXeD");
    w.ToLower();
    EXPECT_EQ(wcscmp(w.chars, L"mixed"), 0);
    EXPECT_TRUE(w.Compare(L"mixed"));
    EXPECT_FALSE(w.Compare(L"mixe"));
    EXPECT_TRUE(w.iCompare(L"MIXED"));
    EXPECT_FALSE(w.iCompare(L"MIXEDs"));
    EXPECT_FALSE(w.Compare(L""));
    EXPECT_FALSE(w.iCompare(nullptr));

    FXLongStrW empty;
    EXPECT_TRUE(empty.Compare(nullptr));
    EXPECT_TRUE(empty.iCompare(L""));
    EXPECT_FALSE(empty.Compare(L"a"));
    empty.Set(L"");
    EXPECT_FALSE(empty.iCompare(L"a"));
}

TEST(FXConvertTest, RoundTripAndFailures) {
    FXConvertW w("model.xm");
    ASSERT_NE(w.result, nullptr);
    EXPECT_EQ(w.length, 8);
    EXPECT_EQ(wcscmp(w.result, L"model.xm"), 0);

    FXConvertC c(w.result);
    ASSERT_NE(c.result, nullptr);
    EXPECT_EQ(c.length, 8);
    EXPECT_STREQ(c.result, "model.xm");

    // A new conversion replaces the old result.
    EXPECT_NE(w.Convert("ab"), nullptr);
    EXPECT_EQ(w.length, 2);

    EXPECT_EQ(w.Convert(""), nullptr);
    EXPECT_EQ(w.result, nullptr);
    EXPECT_EQ(w.length, 0);
    EXPECT_EQ(w.Convert(nullptr), nullptr);
    EXPECT_EQ(c.Convert(L""), nullptr);
    EXPECT_EQ(c.length, 0);

    // Not representable in the default locale: rejected, no result.
    EXPECT_EQ(c.Convert(L"a\x4e2d"), nullptr);
    EXPECT_EQ(c.result, nullptr);
    EXPECT_EQ(c.length, 0);

    FXConvertW none;
    EXPECT_EQ(none.result, nullptr);
    EXPECT_EQ(none.length, 0);
}
