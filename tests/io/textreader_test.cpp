#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

    // A file read from part way, or one that grew after it was sized, is read to its end.
    for (long skip : {0L, 1L, 12345L, (long)text.size() - 1, (long)text.size()}) {
        f = fopen(dir.File("long.txt").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseek(f, skip, SEEK_SET), 0);
        ASSERT_TRUE(t.Load(f)) << skip;
        fclose(f);
        EXPECT_EQ(std::string(t.text, t.size), text.substr((size_t)skip)) << skip;
    }
    f = fopen(dir.File("long.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    FILE* more = fopen(dir.File("long.txt").c_str(), "ab");
    ASSERT_NE(more, nullptr);
    fputs("vt 1 2\n", more);
    fclose(more);
    ASSERT_TRUE(t.Load(f));
    fclose(f);
    EXPECT_EQ(std::string(t.text, t.size), text + "vt 1 2\n");

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

// Every spelling of a number an exporter might write reads to the same float, and ends at the
// same character, as strtof reads it.
TEST(FXTextReaderTest, FloatsMatchStrtofBitForBit) {
    std::vector<std::string> texts = {
        "0",      "-0",    "+1.5", ".5",   "-.25e3", "1e", "1.e5", "7.",   "1e-50", "3e40",
        "1e-40",  "0x1p3", "inf",  "-nan", "1.5f",   "-",  ".",    "-.e1", "00012", "123456789012345678901234567890",
        "2.5E+07", "16777216", "16777217", "1677721.7", "0.0000000001", "0.00000000015", "999999999",
        "7.5.5",   "0.1",      "-0.000"};
    uint32_t seed = 99;
    for (int i = 0; i < 20000; i++) {
        seed = seed * 1664525u + 1013904223u;
        char buffer[64];
        int digits = 1 + (int)(seed >> 28);
        snprintf(buffer, sizeof(buffer), "%s%.*f", (seed & 1) ? "-" : "", digits,
                 (double)(seed >> 4) / (double)(1u << (seed % 23)));
        texts.push_back(buffer);
        snprintf(buffer, sizeof(buffer), "%.*e", digits, (double)(seed >> 8) * 1e-9 * (double)((seed >> 3) & 7));
        texts.push_back(buffer);
        // Short decimals as exporters write them, some of whose digits pass 2^24.
        snprintf(buffer, sizeof(buffer), "%s%.*f", (seed & 2) ? "-" : "", (int)(seed % 7),
                 (double)(seed >> 8) / 1000.0);
        texts.push_back(buffer);
    }
    for (const std::string& text : texts) {
        std::string line = text + " x";
        FXTextReader reader;
        reader.Borrow(line.c_str());
        float got = -123.0f;
        char* end = nullptr;
        float want = strtof(line.c_str(), &end);
        bool read = reader.ReadFloat(&got);
        ASSERT_EQ(end != line.c_str(), read) << text;
        if (read) {
            ASSERT_EQ((size_t)(end - line.c_str()), reader.pos) << text;
            ASSERT_EQ(0, memcmp(&got, &want, sizeof(float))) << text << ": " << got << " vs " << want;
        }
    }
}
