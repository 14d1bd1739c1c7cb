#include <gtest/gtest.h>

#include <cstring>

#include "base/arrays.h"
#include "picture_helpers.h"
#include "render/canvas.h"
#include "render/font.h"

namespace {

class Text : public ::testing::Test {
protected:
    FXFontGDI font;
    FXFontGDI bold;

    void SetUp() override {
        ASSERT_TRUE(fxCreateFont("DejaVu Sans", 32, false, &font)) << "scripts/setup.sh installs fonts-dejavu-core";
        ASSERT_TRUE(fxCreateFont("DejaVu Sans", 32, true, &bold));
    }
    void TearDown() override {
        fxDestroyFont(&font);
        fxDestroyFont(&bold);
    }
};

// Largest alpha in a column range of the picture.
unsigned MaxAlpha(const FXCanvas& c, int x1, int x2, int y1, int y2) {
    unsigned m = 0;
    for (int y = y1; y < y2; y++) {
        for (int x = x1; x < x2; x++) {
            unsigned a = PixelAt(c, x, y) >> 24;
            m = a > m ? a : m;
        }
    }
    return m;
}

TEST_F(Text, FontsAreMadeAndReleased) {
    EXPECT_NE(font.handle, nullptr);
    FXFontGDI f;
    ASSERT_TRUE(fxCreateFont("no such family, surely", 12, false, &f)); // the closest match
    EXPECT_NE(f.handle, nullptr);
    fxDestroyFont(&f);
    EXPECT_EQ(f.handle, nullptr);
    fxDestroyFont(&f);
    EXPECT_FALSE(fxCreateFont("DejaVu Sans", 0, false, &f));
    EXPECT_EQ(f.handle, nullptr);
    EXPECT_FALSE(fxCreateFont("DejaVu Sans", -5, false, &f));
}

TEST_F(Text, CanvasSizeEqualsTheTextExtent) {
    int w = 0, h = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize("Hello, world", &font, &w, &h));
    // Line height of a 32-pixel font: ascent plus descent, a little above the em size.
    EXPECT_GE(h, 32);
    EXPECT_LE(h, 48);
    EXPECT_GT(w, 100);
    float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromText("Hello, world", &font, white));
    EXPECT_EQ(c.GetWidth(), w);
    EXPECT_EQ(c.GetHeight(), h);
    EXPECT_EQ(c.pixmap.allocWidth, fxPower2(w));
    EXPECT_EQ(c.pixmap.allocHeight, fxPower2(h));

    int ww = 0, wh = 0;
    ASSERT_TRUE(FXCanvas::GetTextWSize(L"Hello, world", &font, &ww, &wh));
    EXPECT_EQ(ww, w);
    EXPECT_EQ(wh, h);
}

TEST_F(Text, WidthIsTheSumOfAdvances) {
    int a = 0, b = 0, ab = 0, h = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize("Wa", &font, &a, &h));
    ASSERT_TRUE(FXCanvas::GetTextSize("ve", &font, &b, &h));
    ASSERT_TRUE(FXCanvas::GetTextSize("Wave", &font, &ab, &h));
    EXPECT_EQ(ab, a + b); // no kerning
    int one = 0, many = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize("i", &font, &one, &h));
    ASSERT_TRUE(FXCanvas::GetTextSize("iiiiiiiiii", &font, &many, &h));
    EXPECT_EQ(many, 10 * one);
    int e = -1, eh = -1;
    ASSERT_TRUE(FXCanvas::GetTextSize("", &font, &e, &eh));
    EXPECT_EQ(e, 0);
    EXPECT_EQ(eh, h);
    int bw = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize("Wave", &bold, &bw, &h));
    EXPECT_GT(bw, ab);
}

TEST_F(Text, AlphaCarriesCoverageAndColourIsTheBase) {
    float colour[4] = {0.2f, 0.6f, 1.0f, 1.0f};
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromText("HI", &font, colour));
    int w = c.GetWidth(), h = c.GetHeight();
    unsigned base = fxColToInt1(colour) & 0x00FFFFFFu;
    unsigned inked = 0, full = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint32_t p = PixelAt(c, x, y);
            ASSERT_EQ(p & 0x00FFFFFFu, base) << x << "," << y;
            inked += (p >> 24) != 0;
            full += (p >> 24) >= 250;
        }
    }
    EXPECT_GT(full, 50u);                    // solid stems of H and I
    EXPECT_LT(inked, (unsigned)(w * h) / 2); // most of the box is empty
    EXPECT_FALSE(c.opaque);
    // Above the capitals and below the baseline there is no ink; the top row is empty too.
    int descentRows = h / 6;
    EXPECT_EQ(MaxAlpha(c, 0, w, 0, 2), 0u);
    EXPECT_EQ(MaxAlpha(c, 0, w, h - descentRows, h), 0u);
    // The left stem of the H sits near the left edge, across the middle rows.
    EXPECT_GE(MaxAlpha(c, 0, w / 4, h / 2 - 1, h / 2 + 1), 250u);
    // The margin of the allocation stays transparent.
    if (c.pixmap.allocWidth > w) {
        EXPECT_EQ(PixelAt(c, w, h / 2), 0u);
    }
}

TEST_F(Text, ColourAlphaScalesTheCoverageModulo256) {
    float opaqueWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float half[4] = {1.0f, 1.0f, 1.0f, 0.5f};
    float doubled[4] = {1.0f, 1.0f, 1.0f, 2.0f};
    FXCanvas ref, h, d;
    ASSERT_TRUE(ref.CreateFromText("Oq", &font, opaqueWhite));
    ASSERT_TRUE(h.CreateFromText("Oq", &font, half));
    ASSERT_TRUE(d.CreateFromText("Oq", &font, doubled));
    int checked = 0;
    for (int y = 0; y < ref.GetHeight(); y++) {
        for (int x = 0; x < ref.GetWidth(); x++) {
            unsigned cov = PixelAt(ref, x, y) >> 24;
            ASSERT_EQ(PixelAt(h, x, y) >> 24, (unsigned)(int)(cov * 0.5f));
            ASSERT_EQ(PixelAt(d, x, y) >> 24, (cov * 2u) & 0xFFu);
            checked += cov == 255;
        }
    }
    EXPECT_GT(checked, 0); // full coverage 255 doubled is 510, which wraps to 254
}

TEST_F(Text, NarrowAndWideTextDrawTheSame) {
    float colour[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    FXCanvas n, w;
    // "Grüße" in UTF-8 and as wide characters.
    ASSERT_TRUE(n.CreateFromText("Gr\xC3\xBC\xC3\x9F"
                                 "e",
                                 &font, colour));
    ASSERT_TRUE(w.CreateFromTextW(L"Gr\u00FC\u00DFe", &font, colour));
    ASSERT_EQ(n.GetWidth(), w.GetWidth());
    ASSERT_EQ(n.GetHeight(), w.GetHeight());
    for (int y = 0; y < n.GetHeight(); y++) {
        ASSERT_EQ(memcmp(n.pixmap.pixels + y * n.pixmap.allocWidth, w.pixmap.pixels + y * w.pixmap.allocWidth,
                         (size_t)n.GetWidth() * 4),
                  0)
            << y;
    }
    // A byte that starts no valid sequence stands for itself instead of being dropped.
    int a = 0, b = 0, h = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize("x\xFFx", &font, &a, &h));
    ASSERT_TRUE(FXCanvas::GetTextWSize(L"x\u00FFx", &font, &b, &h));
    EXPECT_EQ(a, b);
}

TEST_F(Text, NothingToDrawIsAFailure) {
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    FXCanvas c;
    EXPECT_FALSE(c.CreateFromText("", &font, colour));
    EXPECT_FALSE(c.CreateFromTextW(L"", &font, colour));
    EXPECT_FALSE(c.CreateFromText(nullptr, &font, colour));
    EXPECT_EQ(c.pixmap.pixels, nullptr);
    FXFontGDI none;
    none.handle = nullptr;
    EXPECT_FALSE(c.CreateFromText("x", &none, colour));
    EXPECT_FALSE(c.CreateFromText("x", nullptr, colour));
    int w = 0, h = 0;
    EXPECT_FALSE(FXCanvas::GetTextSize("x", nullptr, &w, &h));
    EXPECT_FALSE(FXCanvas::GetTextWSize(L"x", &none, &w, &h));
    // Only spaces: a width but no ink, so a canvas with every alpha 0.
    ASSERT_TRUE(c.CreateFromText("   ", &font, colour));
    EXPECT_GT(c.GetWidth(), 0);
    EXPECT_EQ(MaxAlpha(c, 0, c.GetWidth(), 0, c.GetHeight()), 0u);
    EXPECT_FALSE(c.opaque);
}

} // namespace
