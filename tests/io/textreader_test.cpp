#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "io/textreader.h"
#include "support/test_files.h"

namespace {

TEST(FXTextReaderTest, TokensAndLinesAreCutToTheBufferAndConsumedWhole) {
    FXTextReader t;
    t.Borrow("  abcdefgh next\r\n0123456789\r\nlast");
    char buf[5];
    bool cut = false;
    ASSERT_TRUE(t.NextToken(buf, sizeof(buf), &cut));
    EXPECT_STREQ(buf, "abcd");
    EXPECT_TRUE(cut);
    ASSERT_TRUE(t.NextToken(buf, sizeof(buf), &cut));
    EXPECT_STREQ(buf, "next");
    EXPECT_FALSE(cut);
    // The rest of the line holds only "\r"; it goes with the line end.
    EXPECT_FALSE(t.RestOfLine(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(t.RestOfLine(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "0123");
    ASSERT_TRUE(t.NextToken(buf, sizeof(buf), nullptr));
    EXPECT_STREQ(buf, "last");
    EXPECT_FALSE(t.NextToken(buf, sizeof(buf), &cut));
    EXPECT_EQ(t.pos, t.size);
}

TEST(FXTextReaderTest, NumbersReadLikeScanf) {
    FXTextReader t;
    t.Borrow(" -12/+7 99999999999 -99999999999 x");
    int v = 0;
    ASSERT_TRUE(t.ReadInt(&v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(t.Match('/'));
    EXPECT_FALSE(t.Match('/'));
    ASSERT_TRUE(t.ReadInt(&v));
    EXPECT_EQ(v, 7);
    ASSERT_TRUE(t.ReadInt(&v));
    EXPECT_EQ(v, INT_MAX);
    ASSERT_TRUE(t.ReadInt(&v));
    EXPECT_EQ(v, INT_MIN);
    size_t before = t.pos;
    EXPECT_FALSE(t.ReadInt(&v));
    EXPECT_EQ(t.pos, before); // nothing consumed without a digit

    FXTextReader f;
    f.Borrow("1.5 \t\n 2.5e1 z");
    float x = 0.0f;
    ASSERT_TRUE(f.ReadLineFloat(&x));
    EXPECT_EQ(x, 1.5f);
    EXPECT_FALSE(f.ReadLineFloat(&x)); // stays on its line
    ASSERT_TRUE(f.ReadFloat(&x));      // crosses it
    EXPECT_EQ(x, 25.0f);
    EXPECT_FALSE(f.ReadFloat(&x));
    f.SkipLine();
    EXPECT_EQ(f.pos, f.size);
    EXPECT_FALSE(f.ReadFloat(&x));
}

TEST(FXTextReaderTest, LoadsLongStreamsWholeAndMarksReadErrors) {
    FXTestDir dir;
    std::string text;
    for (int i = 0; text.size() < 200000; i++) {
        text += "v " + std::to_string(i) + "\n";
    }
    ASSERT_TRUE(fxTestWriteText(dir.File("long.txt"), text));
    FILE* f = fopen(dir.File("long.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    FXTextReader t;
    ASSERT_TRUE(t.Load(f));
    EXPECT_EQ(ferror(f), 0);
    fclose(f);
    ASSERT_EQ(t.size, text.size());
    EXPECT_EQ(std::string(t.text), text);

    // A folder opens for reading on this platform but cannot be read: the text ends there.
    FILE* d = fopen(dir.path.c_str(), "rb");
    if (d != nullptr) {
        ASSERT_TRUE(t.Load(d));
        EXPECT_NE(ferror(d), 0);
        EXPECT_EQ(t.size, 0u);
        EXPECT_STREQ(t.text, "");
        fclose(d);
    }
    t.Destroy();
    EXPECT_EQ(t.text, nullptr);
    t.Destroy();
}

TEST(FXTextReaderTest, FirstWordIsBounded) {
    char word[4];
    fxFirstWord(" \t name rest", word, sizeof(word));
    EXPECT_STREQ(word, "nam");
    fxFirstWord("  ", word, sizeof(word));
    EXPECT_STREQ(word, "");
}

} // namespace
