#include <gtest/gtest.h>

#include <cstring>

#include "render/pixmap.h"

TEST(Colour, TheTwoPackingsOrderTheBytesDifferently) {
    float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    EXPECT_EQ(fxColToInt1(red), 0xFF0000FFu);
    EXPECT_EQ(fxColToInt(red), 0xFFFF0000u);
    float c[4] = {0x12 / 255.0f, 0x34 / 255.0f, 0x56 / 255.0f, 0x78 / 255.0f};
    EXPECT_EQ(fxColToInt(c), 0x78123456u);
    EXPECT_EQ(fxColToInt1(c), 0x78563412u);
    // The pixel packing is the memory order R, G, B, A.
    unsigned v = fxColToInt1(c);
    unsigned char bytes[4];
    memcpy(bytes, &v, 4);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x56);
    EXPECT_EQ(bytes[3], 0x78);
}

TEST(Colour, PackersTruncateAndDoNotClamp) {
    float half[4] = {0.5f, 0.999f, 0.0f, 0.0f};
    EXPECT_EQ(fxColToInt1(half), (254u << 8) + 127u);
    // 2.0 gives 510, which spills into the next byte up.
    float over[4] = {2.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(fxColToInt1(over), 510u);
    EXPECT_EQ(fxColToInt(over), 510u << 16);
    // -1/255 borrows from every byte above it.
    float under[4] = {-1.0f / 255.0f, 0.0f, 0.0f, 1.0f};
    EXPECT_EQ(fxColToInt1(under), 0xFF000000u - 1u);
    // Absurd values are held at the ends of the int range instead of overflowing the conversion.
    float wild[4] = {1e30f, -1e30f, 0.0f, 0.0f};
    EXPECT_EQ(fxColToInt1(wild), 0x7FFFFFFFu);
}

TEST(Colour, UnpackersInvertThePackersForEveryByte) {
    for (unsigned b = 0; b < 256; b++) {
        unsigned v = (b << 24) | ((255 - b) << 16) | (((b * 7) & 0xFF) << 8) | ((b * 13) & 0xFF);
        float c[4];
        fxColFromInt1(c, v);
        EXPECT_EQ(fxColToInt1(c), v);
        fxColFromInt(c, v);
        EXPECT_EQ(fxColToInt(c), v);
    }
    float c[4];
    fxColFromInt(c, 0x80FF4000u);
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 64 / 255.0f);
    EXPECT_FLOAT_EQ(c[2], 0.0f);
    EXPECT_FLOAT_EQ(c[3], 128 / 255.0f);
    fxColFromInt1(c, 0x80FF4000u);
    EXPECT_FLOAT_EQ(c[0], 0.0f);
    EXPECT_FLOAT_EQ(c[2], 1.0f);
}

TEST(Colour, CutRangeAndIsZero) {
    float c[4] = {-0.5f, 0.25f, 1.5f, 1.0f};
    fxColCutRange(c);
    EXPECT_EQ(c[0], 0.0f);
    EXPECT_EQ(c[1], 0.25f);
    EXPECT_EQ(c[2], 1.0f);
    EXPECT_EQ(c[3], 1.0f);
    EXPECT_FALSE(fxColIsZero(c));
    float z[4] = {0.0f, -0.0f, 0.0f, 0.0f};
    EXPECT_TRUE(fxColIsZero(z));
    z[3] = 1e-30f;
    EXPECT_FALSE(fxColIsZero(z));
}

TEST(Pixmap, ReallocRoundsTheAllocationUp) {
    FXPixmap p;
    ASSERT_TRUE(p.Realloc(100, 60));
    EXPECT_EQ(p.width, 100);
    EXPECT_EQ(p.height, 60);
    EXPECT_EQ(p.allocWidth, 128);
    EXPECT_EQ(p.allocHeight, 64);
    EXPECT_EQ(p.capacity, 128 * 64);
    ASSERT_NE(p.pixels, nullptr);
    // The whole allocation is writable.
    p.Clear(0xA1B2C3D4u);
    for (int i = 0; i < 128 * 64; i++) {
        ASSERT_EQ(p.pixels[i], 0xA1B2C3D4u) << i;
    }

    FXPixmap q;
    q.pow2 = false;
    ASSERT_TRUE(q.Realloc(100, 60));
    EXPECT_EQ(q.allocWidth, 100);
    EXPECT_EQ(q.allocHeight, 60);
    EXPECT_EQ(q.capacity, 6000);
}

TEST(Pixmap, ABlockThatIsBigEnoughStaysWithItsContents) {
    FXPixmap p;
    ASSERT_TRUE(p.Realloc(100, 60));
    p.Clear(0x11223344u);
    uint32_t* block = p.pixels;
    ASSERT_TRUE(p.Realloc(30, 20));
    EXPECT_EQ(p.pixels, block);
    EXPECT_EQ(p.capacity, 128 * 64);
    EXPECT_EQ(p.allocWidth, 32);
    EXPECT_EQ(p.allocHeight, 32);
    EXPECT_EQ(p.width, 30);
    EXPECT_EQ(p.pixels[32 * 32 - 1], 0x11223344u);
    // Same pixel count, other shape: still fits.
    ASSERT_TRUE(p.Realloc(256, 32));
    EXPECT_EQ(p.pixels, block);
    ASSERT_TRUE(p.Realloc(300, 60));
    EXPECT_EQ(p.capacity, 512 * 64);
    EXPECT_EQ(p.allocWidth, 512);
}

TEST(Pixmap, SizesThatCannotBeAllocatedAreRefused) {
    FXPixmap p;
    ASSERT_TRUE(p.Realloc(10, 10));
    // 2^20 x 2^20 pixels overflow a 32-bit count.
    EXPECT_FALSE(p.Realloc(1 << 20, 1 << 20));
    EXPECT_EQ(p.pixels, nullptr);
    EXPECT_EQ(p.capacity, 0);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.allocHeight, 0);
    // A side that fxPower2 could not round up.
    EXPECT_FALSE(p.Realloc((1 << 30) + 1, 1));
    EXPECT_FALSE(p.Realloc(-1, 5));
    EXPECT_EQ(p.pixels, nullptr);
    p.pow2 = false;
    EXPECT_FALSE(p.Realloc(65536, 32768));
    EXPECT_EQ(p.capacity, 0);
    // Still usable afterwards.
    EXPECT_TRUE(p.Realloc(3, 3));
    EXPECT_NE(p.pixels, nullptr);
}

TEST(Pixmap, DestroyEmptiesButKeepsPow2AndMayRepeat) {
    FXPixmap p;
    p.pow2 = false;
    ASSERT_TRUE(p.Realloc(5, 7));
    p.Destroy();
    EXPECT_EQ(p.pixels, nullptr);
    EXPECT_EQ(p.capacity, 0);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.height, 0);
    EXPECT_EQ(p.allocWidth, 0);
    EXPECT_EQ(p.allocHeight, 0);
    EXPECT_FALSE(p.pow2);
    p.Destroy();
    p.Clear(1); // nothing to clear: must not touch memory
    EXPECT_EQ(p.pixels, nullptr);
}
