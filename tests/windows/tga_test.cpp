#include <gtest/gtest.h>

#include <string>

#include "render/canvas.h"
#include "render/picture_helpers.h"
#include "support/test_files.h"

// TGA files the library read and the Imaging Component does not: run-length coded, either row
// order, grey; and what must be refused.

namespace {

class TgaPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fxLoadDevil()); }
    static void TearDownTestSuite() { fxUnloadDevil(); }

    FXTestDir dir;

    bool Load(const FXBytes& bytes, FXCanvas* c) {
        std::string path = dir.File("t.tga");
        return fxTestWriteFile(path, bytes) && c->CreateFromPict(path.c_str());
    }
};

FXBytes localHeader(int type, int w, int h, int bits, int descriptor) {
    return {0,
            0,
            (uint8_t)type,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            (uint8_t)w,
            0,
            (uint8_t)h,
            0,
            (uint8_t)bits,
            (uint8_t)descriptor};
}

TEST_F(TgaPictures, RunLengthRowOrderAndGreyDecode) {
    // 3 x 2, 32 bits, top row first: a run of three red pixels, then three raw ones.
    FXBytes rle = localHeader(10, 3, 2, 32, 0x28);
    FXBytes tail = {0x82, 0, 0, 255, 255, 0x02, 255, 0, 0, 128, 0, 255, 0, 255, 1, 2, 3, 4};
    rle.insert(rle.end(), tail.begin(), tail.end());
    FXCanvas c;
    ASSERT_TRUE(Load(rle, &c));
    ASSERT_EQ(c.GetWidth(), 3);
    ASSERT_EQ(c.GetHeight(), 2);
    for (int x = 0; x < 3; x++) {
        EXPECT_EQ(PixelAt(c, x, 0), Rgba(255, 0, 0, 255)) << x;
    }
    EXPECT_EQ(PixelAt(c, 0, 1), Rgba(0, 0, 255, 128));
    EXPECT_EQ(PixelAt(c, 1, 1), Rgba(0, 255, 0, 255));
    EXPECT_EQ(PixelAt(c, 2, 1), Rgba(3, 2, 1, 4));
    EXPECT_FALSE(c.opaque);

    // 2 x 2 grey, bottom row first (the default origin).
    FXBytes grey = localHeader(3, 2, 2, 8, 0);
    FXBytes pixels = {10, 20, 30, 40};
    grey.insert(grey.end(), pixels.begin(), pixels.end());
    ASSERT_TRUE(Load(grey, &c));
    EXPECT_EQ(PixelAt(c, 0, 0), Rgba(30, 30, 30, 255));
    EXPECT_EQ(PixelAt(c, 1, 1), Rgba(20, 20, 20, 255));
    EXPECT_TRUE(c.opaque);
}

TEST_F(TgaPictures, DamagedFilesAreRefused) {
    struct Case {
        const char* what;
        FXBytes bytes;
    } cases[] = {
        {"header cut short", {0, 0, 2, 0, 0}},       {"colour-mapped", localHeader(1, 2, 2, 8, 0)},
        {"16 bits", localHeader(2, 2, 2, 16, 0)},    {"no pixels", localHeader(2, 2, 2, 24, 0)},
        {"zero width", localHeader(2, 0, 2, 24, 0)},
    };
    for (const Case& k : cases) {
        FXCanvas c;
        EXPECT_FALSE(Load(k.bytes, &c)) << k.what;
        EXPECT_EQ(c.pixmap.pixels, nullptr) << k.what;
    }
    // A run that would write past the last pixel.
    FXBytes over = localHeader(10, 2, 1, 24, 0);
    FXBytes tail = {0x85, 1, 2, 3};
    over.insert(over.end(), tail.begin(), tail.end());
    FXCanvas c;
    EXPECT_FALSE(Load(over, &c));
}

} // namespace
