#include <gtest/gtest.h>

#include "render/clearmap.h"
#include "render/pixmap.h"

// Any rectangle, clamped to the picture, is clear exactly when no texel in it has alpha, for
// pictures with and without mipmaps, in cells that do not divide the sides.
TEST(ClearMap, RectanglesAnswerAsTheTexelsDo) {
    unsigned seed = 5;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return (int)((seed >> 8) % (unsigned)n);
    };
    const int sizes[][3] = {{64, 32, 1}, {30, 18, 0}, {1, 16, 1}}; // width, height, mipmaps
    for (const auto& size : sizes) {
        FXPixmap p;
        p.pow2 = size[2] != 0;
        ASSERT_TRUE(p.Realloc(size[0], size[1]));
        const int w = p.allocWidth, h = p.allocHeight;
        for (int i = 0; i < w * h; i++) {
            p.pixels[i] = 0x00ffffffu;
        }
        for (int d = 0; d < 6; d++) {
            p.pixels[next(h) * w + next(w)] = 0x01000000u;
        }
        FXClearMap map;
        ASSERT_TRUE(map.Build(&p, size[2] != 0));
        for (int q = 0; q < 400; q++) {
            const int x0 = next(w + 8) - 4, y0 = next(h + 8) - 4;
            const int x1 = x0 + next(w), y1 = y0 + next(h);
            bool clear = true, cellsClear = true;
            const int cx0 = x0 < 0 ? 0 : (x0 > w - 1 ? w - 1 : x0), cy0 = y0 < 0 ? 0 : (y0 > h - 1 ? h - 1 : y0);
            const int cx1 = x1 < cx0 + 1 ? cx0 + 1 : (x1 > w ? w : x1),
                      cy1 = y1 < cy0 + 1 ? cy0 + 1 : (y1 > h ? h : y1);
            for (int y = cy0; y < cy1; y++) {
                for (int x = cx0; x < cx1; x++) {
                    clear = clear && (p.pixels[y * w + x] >> 24) == 0;
                }
            }
            // Whole cells around the rectangle: a texel there may count, one inside must.
            for (int y = cy0 / 4 * 4; y < (cy1 + 3) / 4 * 4 && y < h; y++) {
                for (int x = cx0 / 4 * 4; x < (cx1 + 3) / 4 * 4 && x < w; x++) {
                    cellsClear = cellsClear && (p.pixels[y * w + x] >> 24) == 0;
                }
            }
            const bool answer = map.IsClear(x0, y0, x1, y1);
            EXPECT_TRUE(clear || !answer) << x0 << "," << y0 << " " << x1 << "," << y1;
            EXPECT_TRUE(!cellsClear || answer) << x0 << "," << y0 << " " << x1 << "," << y1;
        }
    }
}

TEST(ClearMap, NoMapWhereNothingIsClearOrLevelsAreRescaled) {
    FXPixmap opaque, odd;
    ASSERT_TRUE(opaque.Realloc(16, 16));
    for (int i = 0; i < 16 * 16; i++) {
        opaque.pixels[i] = 0xff000000u;
    }
    odd.pow2 = false;
    ASSERT_TRUE(odd.Realloc(12, 10));
    for (int i = 0; i < odd.allocWidth * odd.allocHeight; i++) {
        odd.pixels[i] = 0;
    }
    FXClearMap map;
    EXPECT_FALSE(map.Build(&opaque, true));
    EXPECT_FALSE(map.IsClear(0, 0, 4, 4));
    EXPECT_FALSE(map.Build(&odd, true)); // mipmaps of other sizes are rescaled pictures
    EXPECT_TRUE(map.Build(&odd, false));
    EXPECT_TRUE(map.IsClear(-5, -5, 100, 100));
    EXPECT_FALSE(map.Build(nullptr, false));
}
