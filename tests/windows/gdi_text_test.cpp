#include <gtest/gtest.h>

#include <windows.h>

#include "render/canvas.h"
#include "render/font.h"
#include "render/picture_helpers.h"

// Canvas text through GDI: what the Windows twin adds beyond the portable text tests.

namespace {

class GdiText : public ::testing::Test {
protected:
    FXFontGDI font{};
    FXFontGDI big{};

    void SetUp() override {
        ASSERT_TRUE(fxCreateFont("Tahoma", 20, false, &font));
        ASSERT_TRUE(fxCreateFont("Tahoma", 40, false, &big));
    }
    void TearDown() override {
        fxDestroyFont(&font);
        fxDestroyFont(&big);
    }
};

// Narrow text is in the system's ANSI code page, so it reads as the wide text it converts to.
TEST_F(GdiText, NarrowTextIsInTheAnsiCodePage) {
    const char narrow[] = "Caf\xe9 \xc0 la cr\xe8me";
    wchar_t wide[64] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, 64), 0);
    int wa = 0, ha = 0, ww = 0, hw = 0;
    ASSERT_TRUE(FXCanvas::GetTextSize(narrow, &font, &wa, &ha));
    ASSERT_TRUE(FXCanvas::GetTextWSize(wide, &font, &ww, &hw));
    EXPECT_EQ(wa, ww);
    EXPECT_EQ(ha, hw);
    float colour[4] = {1.0f, 0.5f, 0.25f, 1.0f};
    FXCanvas a, w;
    ASSERT_TRUE(a.CreateFromText(narrow, &font, colour));
    ASSERT_TRUE(w.CreateFromTextW(wide, &font, colour));
    int differ = 0;
    for (int y = 0; y < ha; y++) {
        for (int x = 0; x < wa; x++) {
            differ += PixelAt(a, x, y) != PixelAt(w, x, y);
        }
    }
    EXPECT_EQ(differ, 0);
}

// Extents scale with the font and the string; the ink fills the measured box and stays in it.
TEST_F(GdiText, ExtentsAndInkFollowTheFontAndTheString) {
    struct Case {
        const char* text;
    } cases[] = {{"i"}, {"Hello"}, {"Hello, world"}, {"WWWWWWWWWWWWWWWWWWWW"}};
    int lastWidth = 0;
    for (const Case& c : cases) {
        int w = 0, h = 0, bw = 0, bh = 0;
        ASSERT_TRUE(FXCanvas::GetTextSize(c.text, &font, &w, &h)) << c.text;
        ASSERT_TRUE(FXCanvas::GetTextSize(c.text, &big, &bw, &bh)) << c.text;
        EXPECT_GT(w, lastWidth) << c.text;
        lastWidth = w;
        // Line height: ascent plus descent, a little above the character height.
        EXPECT_GE(h, 20) << c.text;
        EXPECT_LE(h, 30) << c.text;
        EXPECT_NEAR((double)bw / w, 2.0, 0.35) << c.text;
        EXPECT_NEAR((double)bh / h, 2.0, 0.2) << c.text;

        float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        FXCanvas canvas;
        ASSERT_TRUE(canvas.CreateFromText(c.text, &font, white)) << c.text;
        ASSERT_EQ(canvas.GetWidth(), w);
        ASSERT_EQ(canvas.GetHeight(), h);
        int first = w, last = -1;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                if (PixelAt(canvas, x, y) >> 24 != 0) {
                    first = x < first ? x : first;
                    last = x > last ? x : last;
                }
            }
        }
        ASSERT_GE(last, 0) << c.text << ": no ink";
        EXPECT_LE(first, w / 3 + 2) << c.text;
        EXPECT_GE(last, w * 2 / 3 - 2) << c.text;
        // The margin of the allocation stays transparent.
        for (int x = w; x < canvas.pixmap.allocWidth; x++) {
            ASSERT_EQ(PixelAt(canvas, x, 0), 0u) << c.text;
        }
    }
}

} // namespace
