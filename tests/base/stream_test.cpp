#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/stream.h"

TEST(Stream, FieldsAreLittleEndianAndRoundTrip) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    fxWriteInt32(f, -2);
    fxWriteFloat(f, 1.5f);
    fxWriteDouble(f, -0.25);
    fxWriteBool(f, true);
    fxWriteText(f, "ab", 2);
    fxWriteText(f, nullptr, 5);
    rewind(f);
    uint8_t bytes[32] = {};
    ASSERT_EQ(fread(bytes, 1, sizeof(bytes), f), 4u + 4u + 8u + 1u + 6u + 4u);
    const uint8_t expected[] = {0xfe, 0xff, 0xff, 0xff, 0x00, 0x00, 0xc0, 0x3f, 0,   0, 0, 0, 0, 0,
                                0xd0, 0xbf, 1,    2,    0,    0,    0,    'a',  'b', 0, 0, 0, 0};
    EXPECT_EQ(memcmp(bytes, expected, sizeof(expected)), 0);

    rewind(f);
    bool complete = false;
    EXPECT_EQ(fxReadInt32(f, &complete), -2);
    EXPECT_TRUE(complete);
    EXPECT_EQ(fxReadFloat(f), 1.5f);
    EXPECT_EQ(fxReadDouble(f), -0.25);
    EXPECT_TRUE(fxReadBool(f));
    EXPECT_EQ(fxStreamBytesLeft(f), 10);
    fxSkipBytes(f, 6);
    EXPECT_EQ(fxReadInt32(f), 0);
    // Past the end: zeros, and the caller is told.
    EXPECT_EQ(fxReadInt32(f, &complete), 0);
    EXPECT_FALSE(complete);
    EXPECT_EQ(fxStreamBytesLeft(f), 0);
    fclose(f);
}

TEST(Stream, ShortFieldsReadAsZerosAndBoolsOnlyForOne) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    const uint8_t data[] = {2, 0x34, 0x12};
    fwrite(data, 1, sizeof(data), f);
    rewind(f);
    bool complete = true;
    EXPECT_FALSE(fxReadBool(f, &complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(fxReadInt32(f, &complete), 0x1234);
    EXPECT_FALSE(complete);
    fclose(f);
}

TEST(Stream, CloseWrittenReportsWritesThatFailedBeforeOrAtTheClose) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fxWriteInt32(f, 1), 4u);
    EXPECT_TRUE(fxCloseWritten(f));

    // A stream opened for reading refuses the write and keeps the error.
#if defined(_WIN32)
    FILE* r = fopen("NUL", "rb");
#else
    FILE* r = fopen("/dev/null", "rb");
#endif
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(fputc('x', r), EOF);
    EXPECT_FALSE(fxCloseWritten(r));

#if !defined(_WIN32)
    // A full device takes the bytes into the buffer and refuses them when the close flushes it.
    FILE* full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(fxWriteInt32(full, 1), 4u);
    EXPECT_FALSE(fxCloseWritten(full));
#endif
}
