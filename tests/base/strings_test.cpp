#include "base/strings.h"

#include "support/stored_bytes.h"

#include <cstring>

namespace {

// The invariant every operation must keep.
void ExpectWellFormed(const FXStr& s) {
    ASSERT_GE(s.length, 0);
    ASSERT_LE(s.length, 1023);
    EXPECT_EQ((int)strlen(s.chars), s.length);
}

} // namespace

TEST(FXStrTest, WritesAreCutAt1023Characters) {
    std::string longText(2000, 'q');
    FXStr s;
    EXPECT_EQ(s.Set(longText.c_str()), 1023);
    ExpectWellFormed(s);

    s.Set(std::string(1020, 'a').c_str());
    s.Append("xyzw");
    EXPECT_EQ(s.length, 1023);
    EXPECT_STREQ(s.chars + 1020, "xyz");
    ExpectWellFormed(s);

    s.Set(std::string(1022, 'a').c_str());
    EXPECT_EQ(s.AppendChar('b'), 1023);
    EXPECT_EQ(s.AppendChar('c'), 1023);
    EXPECT_EQ(s.InsertChar('x'), 1023);
    EXPECT_EQ(s.chars[0], 'a');
    EXPECT_EQ(s.chars[1022], 'b');
    ExpectWellFormed(s);

    EXPECT_EQ(s.Format("%s!", longText.c_str()), 1023);
    ExpectWellFormed(s);
    // A wide character the default locale cannot encode makes the formatter fail.
    s.Format("%ls", L"\x4e2d");
    EXPECT_EQ(s.length, 0);
    ExpectWellFormed(s);
}

TEST(FXStrTest, EditingOperations) {
    FXStr s("abc");
    EXPECT_EQ(s.InsertChar('x'), 4);
    EXPECT_STREQ(s.chars, "xabc");
    EXPECT_EQ(s.AppendChar(0), 4); // the length is recounted: nothing appended
    s.RemoveLast();
    EXPECT_STREQ(s.chars, "xab");

    // Our own text as the source, for Set, Append and Format.
    s.Set(s.chars + 1);
    s.Append(s.chars);
    EXPECT_STREQ(s.chars, "abab");
    s.Format("%s/%d", s.chars, 7);
    EXPECT_STREQ(s.chars, "abab/7");
    EXPECT_EQ(s.length, 6);

    s.Set("Dir\\Name");
    s.ExchangeChars('\\', '/');
    s.ToUpper();
    EXPECT_STREQ(s.chars, "DIR/NAME");
}

TEST(FXStrTest, TrimSpaces) {
    FXStr s("  ab c \t");
    EXPECT_EQ(s.TrimSpaces(), 4);
    EXPECT_STREQ(s.chars, "ab c");
    s.Set("   ");
    EXPECT_EQ(s.TrimSpaces(), 0);
    EXPECT_STREQ(s.chars, "");
    // A length of 0 returns at once, whatever the buffer holds.
    s.Set("  z");
    s.length = 0;
    EXPECT_EQ(s.TrimSpaces(), 0);
    EXPECT_STREQ(s.chars, "  z");
}

TEST(FXStrTest, CompareFamilies) {
    FXStr empty;
    FXStr full("Pck01");
    EXPECT_TRUE(empty.Compare(nullptr));
    EXPECT_TRUE(empty.Compare(""));
    EXPECT_FALSE(full.Compare(nullptr));
    EXPECT_FALSE(full.Compare(""));
    EXPECT_FALSE(empty.Compare("a"));
    EXPECT_TRUE(full.Compare("Pck01"));
    EXPECT_FALSE(full.Compare("Pck012"));

    // An empty, non-null argument never matches; null matches only the empty string.
    EXPECT_FALSE(empty.iCompare(""));
    EXPECT_FALSE(full.iCompare(""));
    EXPECT_TRUE(empty.iCompare(nullptr));
    EXPECT_FALSE(full.iCompare(nullptr));
    EXPECT_TRUE(full.iCompare("pCK01"));
    EXPECT_FALSE(full.iCompare("pck0"));

    FXStr magic("pck01");
    EXPECT_TRUE(magic.nCompare("pck", 3));
    EXPECT_FALSE(magic.nCompare("pcx", 3));
    EXPECT_FALSE(empty.nCompare("pck", 3));
}

class FXStrStoredTest : public ScratchFolderTest {};

TEST_F(FXStrStoredTest, SaveAndLoadRoundTrip) {
    std::string path = PathOf("out.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    FXStr().Save(f);
    std::string text(300, 'm'); // 0x12c: both low bytes of the length in use
    FXStr(text.c_str()).Save(f);
    fclose(f);

    Bytes expected = {0, 0, 0, 0, 0x2c, 0x01, 0, 0};
    AddText(&expected, text);
    EXPECT_EQ(ReadAll(path), expected);

    f = fopen(path.c_str(), "rb");
    FXStr back("stale");
    back.Load(f);
    EXPECT_EQ(ftell(f), 4);
    EXPECT_TRUE(back.IsEmpty());
    back.Load(f);
    EXPECT_TRUE(back.Compare(text.c_str()));
    EXPECT_EQ(back.length, 300);
    fclose(f);
}

TEST_F(FXStrStoredTest, DamagedLengthsStayInStepWithTheNextRecord) {
    Bytes b;
    AddInt32(&b, 1500);
    AddText(&b, std::string(1022, 'L') + "e" + std::string(477, 'L'));
    AddInt32(&b, -7); // reads nothing
    AddInt32(&b, 4);
    AddText(&b, "next");
    AddInt32(&b, 10); // cut short by the end of the file
    AddText(&b, "abcd");
    FILE* f = OpenWithBytes(b);
    ASSERT_NE(f, nullptr);

    FXStr s;
    s.Load(f);
    EXPECT_EQ(s.length, 1023);
    EXPECT_EQ(s.chars[1022], 'e');
    ExpectWellFormed(s);
    s.Load(f);
    EXPECT_TRUE(s.IsEmpty());
    s.Load(f);
    EXPECT_STREQ(s.chars, "next");
    s.Load(f);
    EXPECT_STREQ(s.chars, "abcd");
    EXPECT_EQ(s.length, 4);
    s.Load(f); // nothing left: a missing length reads as 0
    EXPECT_TRUE(s.IsEmpty());
    fclose(f);

    // The same skip on a stream that cannot seek.
    b.clear();
    AddInt32(&b, 2000);
    AddText(&b, std::string(2000, 'p'));
    AddInt32(&b, 3);
    AddText(&b, "end");
    PipeFeed feed(b);
    ASSERT_NE(feed.stream, nullptr);
    s.Load(feed.stream);
    EXPECT_EQ(s.length, 1023);
    s.Load(feed.stream);
    EXPECT_STREQ(s.chars, "end");
    fclose(feed.stream);
}

TEST_F(FXStrStoredTest, SaveShortPathStoresThePathRelativeToTheFolder) {
    std::string path = PathOf("short.bin");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
#if defined(_WIN32)
    FXStr("C:\\data\\models\\a.xm").SaveShortPath(f, "C:\\data");
    FXStr("C:\\other\\b.png").SaveShortPath(f, "C:\\data\\");
    const char* near = "models\\a.xm"; // the shell's form
    const char* far = "..\\other\\b.png";
#else
    FXStr("/data/models/a.xm").SaveShortPath(f, "/data");
    FXStr("/other/b.png").SaveShortPath(f, "/data/");
    const char* near = "./models/a.xm";
    const char* far = "../other/b.png";
#endif
    FXStr().SaveShortPath(f, "/data");
    fclose(f);

    Bytes expected;
    AddInt32(&expected, (int32_t)strlen(near));
    AddText(&expected, near);
    AddInt32(&expected, (int32_t)strlen(far));
    AddText(&expected, far);
    AddInt32(&expected, 0);
    EXPECT_EQ(ReadAll(path), expected);
}

TEST(FXLongStrTest, BuffersFitExactlyAndNeverShrink) {
    FXLongStr s;
    s.Set("");
    EXPECT_EQ(s.chars, nullptr);
    s.Set("abcdef");
    EXPECT_EQ(s.allocated, 7);
    s.Set("a");
    EXPECT_EQ(s.allocated, 7);
    s.Append("bcdefgh");
    EXPECT_EQ(s.allocated, 9);
    EXPECT_STREQ(s.chars, "abcdefgh");
    EXPECT_EQ(s.length, 8);

    s.Set(nullptr); // empties but keeps the buffer
    EXPECT_EQ(s.length, 0);
    ASSERT_NE(s.chars, nullptr);
    EXPECT_EQ(s.chars[0], 0);
    EXPECT_EQ(s.allocated, 9);
    EXPECT_TRUE(s.Compare(""));
    EXPECT_FALSE(s.Compare("x"));

    // Our own text as the source, while a bigger block is taken.
    s.Set("abc");
    s.Append(s.chars);
    s.Append(s.chars);
    EXPECT_STREQ(s.chars, "abcabcabcabc");
    EXPECT_EQ(s.allocated, 13);

    s.Clear();
    EXPECT_EQ(s.chars, nullptr);
    EXPECT_EQ(s.allocated, 0);
}

TEST(FXLongStrTest, CompareTrimAndLower) {
    FXLongStr none;
    EXPECT_FALSE(none.Compare("a")); // no buffer
    EXPECT_EQ(none.TrimSpaces(), 0);

    FXLongStr s(" \tHello World\n");
    EXPECT_EQ(s.TrimSpaces(), 11);
    EXPECT_FALSE(s.Compare("hello world"));
    EXPECT_TRUE(s.iCompare("hello WORLD"));
    s.ToLower();
    EXPECT_STREQ(s.chars, "hello world");
}

TEST(FXLongStrWTest, GrowthTrimAndCompare) {
    FXLongStrW s;
    s.AppendChar(L'a');
    EXPECT_EQ(s.allocated, 2);
    s.AppendChar(L'b');
    EXPECT_EQ(s.allocated, 3);
    s.Append(L"cd");
    EXPECT_EQ(s.allocated, 5);
    EXPECT_EQ(wcscmp(s.chars, L"abcd"), 0);
    s.RemoveLast();
    EXPECT_EQ(wcscmp(s.chars, L"abc"), 0);
    EXPECT_EQ(s.length, 3);

    // U+3000 is white space in Unicode but above 255, so it stays; 0x109 is not a tab either.
    FXLongStrW t(L" \t\x3000Wide\x109 \n");
    EXPECT_EQ(t.TrimSpaces(), 6);
    EXPECT_EQ(wcscmp(t.chars, L"\x3000Wide\x109"), 0);
    FXLongStrW blank(L"   ");
    EXPECT_EQ(blank.TrimSpaces(), 0);

    FXLongStrW w(L"MiXeD");
    w.ToLower();
    EXPECT_TRUE(w.Compare(L"mixed"));
    EXPECT_TRUE(w.iCompare(L"MIXED"));
    EXPECT_FALSE(w.iCompare(L"MIXEDs"));
    EXPECT_FALSE(w.Compare(L""));
    FXLongStrW empty(L"");
    EXPECT_TRUE(empty.iCompare(nullptr));
    EXPECT_FALSE(empty.iCompare(L"a"));
}

TEST(FXConvertTest, RoundTripAndFailures) {
    FXConvertW w("model.xm");
    ASSERT_NE(w.result, nullptr);
    EXPECT_EQ(w.length, 8);
    FXConvertC c(w.result);
    ASSERT_NE(c.result, nullptr);
    EXPECT_STREQ(c.result, "model.xm");
    EXPECT_EQ(c.length, 8);

    EXPECT_EQ(w.Convert(""), nullptr);
    EXPECT_EQ(w.result, nullptr);
    EXPECT_EQ(w.length, 0);
    EXPECT_EQ(w.Convert(nullptr), nullptr);
    // Not representable in the default locale: no result.
    EXPECT_EQ(c.Convert(L"a\x4e2d"), nullptr);
    EXPECT_EQ(c.length, 0);
}
