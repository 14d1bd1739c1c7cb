#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io/package.h"
#include "base/arrays.h"
#include "base/trace.h"
#include "picture_helpers.h"
#include "support/test_files.h"
#include "render/canvas.h"

namespace {

class Canvas : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fxLoadDevil()); }
    static void TearDownTestSuite() { fxUnloadDevil(); }

    FXTestDir dir;

    // Saves src under name with the full-picture RGBA writer and loads it into out.
    void SaveAndLoad(FXCanvas* src, const char* name, FXCanvas* out) {
        std::string path = dir.File(name);
        ASSERT_TRUE(src->SaveToPict2(path.c_str(), 0, 0, src->GetWidth(), src->GetHeight()));
        ASSERT_TRUE(out->CreateFromPict(path.c_str())) << name;
    }
};

void ExpectPattern(const FXCanvas& c, int w, int h, bool varyAlpha, const char* what) {
    ASSERT_EQ(c.GetWidth(), w) << what;
    ASSERT_EQ(c.GetHeight(), h) << what;
    int bad = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            if (PixelAt(c, x, y) != PatternPixel(x, y, varyAlpha) && bad++ < 5) {
                ADD_FAILURE() << what << " pixel " << x << "," << y << " is " << std::hex << PixelAt(c, x, y) << " not "
                              << PatternPixel(x, y, varyAlpha);
            }
        }
    }
    EXPECT_EQ(bad, 0) << what;
}

// Width and height from a JPEG's frame header, read without the image library.
bool JpegSize(const char* path, int* w, int* h) {
    std::ifstream f(path, std::ios::binary);
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    for (size_t i = 2; i + 9 < d.size();) {
        if (d[i] != 0xFF) {
            return false;
        }
        unsigned marker = d[i + 1];
        size_t len = (size_t)d[i + 2] << 8 | d[i + 3];
        if (marker >= 0xC0 && marker <= 0xC2) {
            *h = d[i + 5] << 8 | d[i + 6];
            *w = d[i + 7] << 8 | d[i + 8];
            return true;
        }
        i += 2 + len;
    }
    return false;
}

TEST_F(Canvas, LosslessFormatsComeBackExactly) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 37, 23, true));
    // PNG and TGA keep the alpha channel.
    for (const char* name : {"a.png", "a.tga", "b.TGA"}) {
        FXCanvas c;
        SaveAndLoad(&src, name, &c);
        ExpectPattern(c, 37, 23, true, name);
        EXPECT_EQ(c.pixmap.allocWidth, 64) << name;
        EXPECT_EQ(c.pixmap.allocHeight, 32) << name;
        EXPECT_FALSE(c.opaque) << name;
    }
    // Opaque pictures in every lossless format the package knows, through the RGB writer.
    FXCanvas solid;
    ASSERT_TRUE(MakePattern(&solid, 37, 23, false));
    for (const char* name : {"s.png", "s.tga", "s.bmp"}) {
        ASSERT_TRUE(solid.SaveToPict(dir.File(name).c_str())) << name;
        FXCanvas c;
        ASSERT_TRUE(c.CreateFromPict(dir.File(name).c_str())) << name;
        ExpectPattern(c, 37, 23, false, name);
        EXPECT_TRUE(c.opaque) << name;
    }
}

TEST_F(Canvas, JpegComesBackClose) {
    FXCanvas src;
    ASSERT_TRUE(src.pixmap.Realloc(64, 48));
    for (int y = 0; y < 48; y++) {
        for (int x = 0; x < 64; x++) {
            SetPixel(&src, x, y, Rgba(x * 4, y * 5, 128, 255));
        }
    }
    FXCanvas::SetJpegQuality(95);
    std::string path = dir.File("g.jpg");
    ASSERT_TRUE(src.SaveToPict(path.c_str()));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(path.c_str()));
    ASSERT_EQ(c.GetWidth(), 64);
    ASSERT_EQ(c.GetHeight(), 48);
    EXPECT_TRUE(c.opaque);
    double sum = 0.0;
    int worst = 0;
    for (int y = 0; y < 48; y++) {
        for (int x = 0; x < 64; x++) {
            uint32_t a = PixelAt(src, x, y), b = PixelAt(c, x, y);
            ASSERT_EQ(b >> 24, 255u);
            for (int k = 0; k < 24; k += 8) {
                int d = std::abs((int)((a >> k) & 0xFF) - (int)((b >> k) & 0xFF));
                sum += d;
                worst = d > worst ? d : worst;
            }
        }
    }
    EXPECT_LT(sum / (64 * 48 * 3), 3.0);
    EXPECT_LT(worst, 24);
    // A flipped picture would be far off at the corners.
    EXPECT_NEAR((int)(PixelAt(c, 0, 47) >> 8 & 0xFF), 235, 12);
}

TEST_F(Canvas, GifLoadsWithItsPalette) {
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; i++) {
        palette[i * 3 + 0] = (uint8_t)i;
        palette[i * 3 + 1] = (uint8_t)(255 - i);
        palette[i * 3 + 2] = (uint8_t)(i * 37);
    }
    const int w = 41, h = 29; // more than 250 pixels: the writer resets its table on the way
    std::vector<uint8_t> indices;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            indices.push_back((uint8_t)(x * 5 + y * 17));
        }
    }
    std::string path = dir.File("p.gif");
    ASSERT_TRUE(WriteGif(path, w, h, indices, palette));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(path.c_str()));
    ASSERT_EQ(c.GetWidth(), w);
    ASSERT_EQ(c.GetHeight(), h);
    EXPECT_EQ(c.pixmap.allocWidth, 64);
    EXPECT_EQ(c.pixmap.allocHeight, 32);
    EXPECT_TRUE(c.opaque);
    int bad = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            int i = indices[(size_t)(y * w + x)];
            uint32_t want = Rgba(palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2], 255);
            bad += PixelAt(c, x, y) != want;
        }
    }
    EXPECT_EQ(bad, 0);
}

TEST_F(Canvas, APhotographLoads) {
    const char* earth = "/usr/share/xplanet/images/earth.jpg";
    int w = 0, h = 0;
    ASSERT_TRUE(JpegSize(earth, &w, &h)) << "scripts/setup.sh installs " << earth;
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(earth));
    EXPECT_EQ(c.GetWidth(), w);
    EXPECT_EQ(c.GetHeight(), h);
    EXPECT_EQ(c.pixmap.allocWidth, fxPower2(w));
    EXPECT_EQ(c.pixmap.allocHeight, fxPower2(h));
    EXPECT_TRUE(c.opaque);
    // A world map: blue ocean in the middle of the Pacific, far from uniform overall.
    float px[4] = {-1, -1, -1, -1};
    c.GetColor(0.03f, 0.5f, px);
    EXPECT_GT(px[2], px[0]);
    unsigned lo = 255, hi = 0;
    for (int y = 0; y < h; y += 7) {
        for (int x = 0; x < w; x += 7) {
            unsigned g = PixelAt(c, x, y) >> 8 & 0xFF;
            lo = g < lo ? g : lo;
            hi = g > hi ? g : hi;
        }
    }
    EXPECT_GT(hi - lo, 100u);
}

TEST_F(Canvas, AllocationIsRoundedUpUnlessPow2IsOff) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 100, 60, false));
    FXCanvas c;
    SaveAndLoad(&src, "p.png", &c);
    EXPECT_EQ(c.GetWidth(), 100);
    EXPECT_EQ(c.GetHeight(), 60);
    EXPECT_EQ(c.GetWidthF(), 100.0f);
    EXPECT_EQ(c.GetHeightF(), 60.0f);
    EXPECT_EQ(c.pixmap.allocWidth, 128);
    EXPECT_EQ(c.pixmap.allocHeight, 64);
    // What a material records as the covered fraction.
    EXPECT_EQ(c.GetWidthF() / c.pixmap.allocWidth, 0.78125f);
    EXPECT_EQ(c.GetHeightF() / c.pixmap.allocHeight, 0.9375f);

    FXCanvas exact;
    exact.pixmap.pow2 = false;
    ASSERT_TRUE(exact.CreateFromPict(dir.File("p.png").c_str()));
    EXPECT_EQ(exact.pixmap.allocWidth, 100);
    EXPECT_EQ(exact.pixmap.allocHeight, 60);
    ExpectPattern(exact, 100, 60, false, "pow2 off");
}

TEST_F(Canvas, TranFilesLoadAsWhiteWithAlphaFromRed) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 20, 10, false));
    std::string path = dir.File("Glow_TRANSP.png");
    ASSERT_TRUE(src.SaveToPict(path.c_str()));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(path.c_str()));
    EXPECT_TRUE(c.transMode);
    EXPECT_FALSE(c.opaque);
    for (int y = 0; y < 10; y++) {
        for (int x = 0; x < 20; x++) {
            ASSERT_EQ(PixelAt(c, x, y), Rgba(255, 255, 255, PatternPixel(x, y, false) & 0xFF)) << x << "," << y;
        }
    }
    FXCanvas plain;
    plain.autoTrans = false;
    ASSERT_TRUE(plain.CreateFromPict(path.c_str()));
    EXPECT_FALSE(plain.transMode);
    EXPECT_TRUE(plain.opaque);
    ExpectPattern(plain, 20, 10, false, "autoTrans off");
    // The next file without "tran" in its name switches it off again.
    ASSERT_TRUE(c.CreateFromPict(dir.File("Glow_TRANSP.png").c_str()));
    ASSERT_TRUE(src.SaveToPict(dir.File("glow.png").c_str()));
    ASSERT_TRUE(c.CreateFromPict(dir.File("glow.png").c_str()));
    EXPECT_FALSE(c.transMode);
    ExpectPattern(c, 20, 10, false, "after a tran file");
}

TEST_F(Canvas, OneAlphaOf254MakesThePictureNotOpaque) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 16, 16, false));
    FXCanvas c;
    SaveAndLoad(&src, "full.png", &c);
    EXPECT_TRUE(c.opaque);
    SetPixel(&src, 9, 13, (PatternPixel(9, 13, false) & 0x00FFFFFFu) | (254u << 24));
    SaveAndLoad(&src, "one.png", &c);
    EXPECT_FALSE(c.opaque);
    EXPECT_EQ(PixelAt(c, 9, 13) >> 24, 254u);
}

TEST_F(Canvas, ASmallerReloadKeepsTheBlockAndClearsIt) {
    FXCanvas big, small;
    ASSERT_TRUE(MakePattern(&big, 100, 60, false));
    ASSERT_TRUE(MakePattern(&small, 30, 20, true));
    ASSERT_TRUE(big.SaveToPict(dir.File("big.png").c_str()));
    ASSERT_TRUE(small.SaveToPict2(dir.File("small.png").c_str(), 0, 0, 30, 20));
    FXCanvas c;
    c.background[0] = 1.0f;
    c.background[3] = 0.5f;
    ASSERT_TRUE(c.CreateFromPict(dir.File("big.png").c_str()));
    uint32_t* block = c.pixmap.pixels;
    ASSERT_TRUE(c.CreateFromPict(dir.File("small.png").c_str()));
    EXPECT_EQ(c.pixmap.pixels, block);
    EXPECT_EQ(c.pixmap.capacity, 128 * 64);
    EXPECT_EQ(c.pixmap.allocWidth, 32);
    EXPECT_EQ(c.pixmap.allocHeight, 32);
    ExpectPattern(c, 30, 20, true, "small");
    uint32_t bg = fxColToInt1(c.background);
    EXPECT_EQ(PixelAt(c, 30, 0), bg);
    EXPECT_EQ(PixelAt(c, 31, 31), bg);
    EXPECT_EQ(c.pixmap.pixels[128 * 64 - 1], bg); // the clear covers the whole block

    // Without clearOnLoad the old pixels stay around the new picture.
    c.clearOnLoad = false;
    c.pixmap.Clear(0x01020304u);
    ASSERT_TRUE(c.CreateFromPict(dir.File("small.png").c_str()));
    EXPECT_EQ(PixelAt(c, 31, 31), 0x01020304u);
    ExpectPattern(c, 30, 20, true, "no clear");
}

TEST_F(Canvas, GetColorSamplesTheNearestPixelInsideTheAllocation) {
    FXCanvas c;
    ASSERT_TRUE(MakePattern(&c, 100, 60, false));
    SetPixel(&c, 100, 60, Rgba(10, 20, 30, 40));
    SetPixel(&c, 127, 63, Rgba(1, 2, 3, 4));
    float out[4];
    c.GetColor(1.0f, 1.0f, out);
    EXPECT_EQ(fxColToInt1(out), Rgba(10, 20, 30, 40));
    c.GetColor(0.5f, 0.25f, out);
    EXPECT_EQ(fxColToInt1(out), PatternPixel(50, 15, false));
    c.GetColor(-3.0f, -0.001f, out);
    EXPECT_EQ(fxColToInt1(out), PatternPixel(0, 0, false));
    // Far outside, or not a number: held to the allocation.
    c.GetColor(1e9f, 2.0f, out);
    EXPECT_EQ(fxColToInt1(out), Rgba(1, 2, 3, 4));
    c.GetColor(NAN, NAN, out);
    EXPECT_EQ(fxColToInt1(out), PatternPixel(0, 0, false));

    FXCanvas empty;
    float untouched[4] = {0.25f, 0.25f, 0.25f, 0.25f};
    empty.GetColor(0.5f, 0.5f, untouched);
    EXPECT_EQ(untouched[0], 0.25f);
    EXPECT_EQ(untouched[3], 0.25f);
}

TEST_F(Canvas, GetBumpFlipsVAndReadsRed) {
    FXCanvas c;
    ASSERT_TRUE(MakePattern(&c, 8, 8, false));
    // v = 1 is the top row, v = 0 one past the bottom (held to the last row of the allocation).
    EXPECT_FLOAT_EQ(c.GetBump(0.5f, 1.0f), (PatternPixel(4, 0, false) & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(c.GetBump(0.5f, 0.0f), (PatternPixel(4, 7, false) & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(c.GetBump(0.25f, 0.75f), (PatternPixel(2, 2, false) & 0xFF) / 255.0f);
    FXCanvas empty;
    EXPECT_EQ(empty.GetBump(0.5f, 0.5f), 0.0f);
}

TEST_F(Canvas, SavingRegions) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 30, 20, true));
    // Empty regions write nothing.
    std::string none = dir.File("none.png");
    EXPECT_FALSE(src.SaveToPict1(none.c_str(), 10, 0, 10, 20));
    EXPECT_FALSE(src.SaveToPict1(none.c_str(), 12, 0, 5, 20));
    EXPECT_FALSE(src.SaveToPict2(none.c_str(), 0, 7, 30, 7));
    EXPECT_FALSE(src.SaveToMask1(none.c_str(), 40, 0, 50, 20)); // entirely outside the picture
    EXPECT_FALSE(src.SaveToPict(""));
    EXPECT_FALSE(fxTestFileExists(none));

    // A sub-rectangle keeps its orientation.
    std::string part = dir.File("part.png");
    ASSERT_TRUE(src.SaveToPict2(part.c_str(), 5, 3, 17, 11));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(part.c_str()));
    ASSERT_EQ(c.GetWidth(), 12);
    ASSERT_EQ(c.GetHeight(), 8);
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 12; x++) {
            ASSERT_EQ(PixelAt(c, x, y), PatternPixel(x + 5, y + 3, true)) << x << "," << y;
        }
    }
    // A region reaching outside the picture is cut to it, never read beyond it.
    std::string wide = dir.File("wide.tga");
    ASSERT_TRUE(src.SaveToPict2(wide.c_str(), -8, -8, 1000, 1000));
    ASSERT_TRUE(c.CreateFromPict(wide.c_str()));
    ExpectPattern(c, 30, 20, true, "clamped");

    // Without the library's writer for a format, the save is a failure.
    EXPECT_FALSE(src.SaveToPict(dir.File("x.gif").c_str()));
    EXPECT_FALSE(src.SaveToPict(dir.File("nofolder/x.png").c_str()));
}

TEST_F(Canvas, RgbWritersBlackenTransparentPixels) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 4, 4, false));
    SetPixel(&src, 1, 2, Rgba(200, 150, 100, 0));
    SetPixel(&src, 2, 2, Rgba(200, 150, 100, 1));
    std::string path = dir.File("rgb.png");
    ASSERT_TRUE(src.SaveToPict1(path.c_str(), 0, 0, 4, 4));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(path.c_str()));
    EXPECT_EQ(PixelAt(c, 1, 2), Rgba(0, 0, 0, 255));
    EXPECT_EQ(PixelAt(c, 2, 2), Rgba(200, 150, 100, 255));
    EXPECT_EQ(PixelAt(c, 3, 3), PatternPixel(3, 3, false));
    EXPECT_TRUE(c.opaque);
}

TEST_F(Canvas, MasksReplaceTheAlpha) {
    FXCanvas alphaSrc;
    ASSERT_TRUE(MakePattern(&alphaSrc, 12, 9, true));
    std::string full = dir.File("full_mask.png");
    std::string part = dir.File("part_mask.bmp");
    std::string big = dir.File("big_mask.png");
    ASSERT_TRUE(alphaSrc.SaveToMask(full.c_str()));
    ASSERT_TRUE(alphaSrc.SaveToMask1(part.c_str(), 0, 0, 7, 5));
    FXCanvas bigSrc;
    ASSERT_TRUE(MakePattern(&bigSrc, 13, 9, true));
    ASSERT_TRUE(bigSrc.SaveToMask(big.c_str()));

    FXCanvas c;
    ASSERT_TRUE(MakePattern(&c, 12, 9, false));
    ASSERT_TRUE(c.LoadMask(full.c_str()));
    EXPECT_FALSE(c.opaque);
    for (int y = 0; y < 9; y++) {
        for (int x = 0; x < 12; x++) {
            uint32_t want = (PatternPixel(x, y, false) & 0x00FFFFFFu) | (PatternPixel(x, y, true) & 0xFF000000u);
            ASSERT_EQ(PixelAt(c, x, y), want) << x << "," << y;
        }
    }

    // A smaller mask: alpha 0 to its right and below it.
    ASSERT_TRUE(MakePattern(&c, 12, 9, false));
    ASSERT_TRUE(c.LoadMask(part.c_str()));
    for (int y = 0; y < 9; y++) {
        for (int x = 0; x < 12; x++) {
            uint32_t a = (x < 7 && y < 5) ? PatternPixel(x, y, true) >> 24 : 0;
            ASSERT_EQ(PixelAt(c, x, y), (PatternPixel(x, y, false) & 0x00FFFFFFu) | (a << 24)) << x << "," << y;
        }
    }

    // A wider or taller mask is refused and changes nothing.
    ASSERT_TRUE(MakePattern(&c, 12, 9, false));
    EXPECT_FALSE(c.LoadMask(big.c_str()));
    ExpectPattern(c, 12, 9, false, "refused mask");
    FXCanvas empty;
    EXPECT_FALSE(empty.LoadMask(full.c_str()));

    // An all-255 mask leaves the picture opaque.
    FXCanvas white;
    ASSERT_TRUE(MakePattern(&white, 12, 9, false));
    std::string solid = dir.File("solid_mask.tga");
    ASSERT_TRUE(white.SaveToMask(solid.c_str()));
    c.opaque = false;
    ASSERT_TRUE(c.LoadMask(solid.c_str()));
    EXPECT_TRUE(c.opaque);
    EXPECT_FALSE(c.LoadMask(dir.File("missing.png").c_str()));
}

TEST_F(Canvas, FilesThatAreNotPicturesAreRefused) {
    FXCanvas c;
    EXPECT_FALSE(c.CreateFromPict(""));
    EXPECT_FALSE(c.CreateFromPict(nullptr));
    EXPECT_FALSE(c.CreateFromPict(dir.File("missing.png").c_str()));
    std::string junk = dir.File("junk.png");
    FILE* f = fopen(junk.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 4000; i++) {
        fputc((i * 131 + 7) & 0xFF, f);
    }
    fclose(f);
    EXPECT_FALSE(c.CreateFromPict(junk.c_str()));
    // Truncated files: the header survives, the pixels do not.
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 64, 64, false));
    for (const char* name : {"good.bmp", "good.tga"}) {
        std::string good = dir.File(name);
        ASSERT_TRUE(src.SaveToPict(good.c_str()));
        std::ifstream in(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string cut = dir.File((std::string("cut_") + name).c_str());
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        FXCanvas t;
        if (t.CreateFromPict(cut.c_str())) {
            EXPECT_EQ(t.GetWidth(), 64) << name;
            EXPECT_EQ(t.GetHeight(), 64) << name;
        } else {
            EXPECT_EQ(t.pixmap.pixels, nullptr) << name; // a refused load leaves the canvas as it was
        }
    }
}

TEST_F(Canvas, TruncatedPngFilesAndEntriesAreRefusedBeforeDecoding) {
    // The library can spin for minutes or leak on a cut PNG; every cut must be refused up front.
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 16, 16, true));
    std::string good = dir.File("good.png");
    ASSERT_TRUE(src.SaveToPict2(good.c_str(), 0, 0, 16, 16));
    std::ifstream in(good, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 60u);
    std::string cut = dir.File("cut.png");
    for (size_t length = 0; length < bytes.size(); length += 7) {
        std::ofstream(cut, std::ios::binary | std::ios::trunc) << bytes.substr(0, length);
        FXCanvas t;
        EXPECT_FALSE(t.CreateFromPict(cut.c_str())) << length;
        EXPECT_EQ(t.pixmap.pixels, nullptr) << length;
    }
    FXCanvas whole;
    EXPECT_TRUE(whole.CreateFromPict(good.c_str()));

    FXPackage pkg;
    std::string cutEntry = dir.File("cut_entry.png");
    std::ofstream(cutEntry, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() - 13);
    pkg.AddDataFile(1, good.c_str());
    pkg.AddDataFile(2, cutEntry.c_str());
    ASSERT_TRUE(pkg.Save(dir.File("p.dat").c_str(), 0));
    FXCanvas fromEntry;
    EXPECT_TRUE(fromEntry.CreateFromPictCN(&pkg, 1));
    EXPECT_FALSE(fromEntry.CreateFromPictCN(&pkg, 2));
}

TEST_F(Canvas, CopyTakesThePictureAndOnlyClearsOpaque) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 20, 12, false));
    FXCanvas dst;
    EXPECT_TRUE(dst.opaque);
    dst.Copy(&src);
    ExpectPattern(dst, 20, 12, false, "copy");
    EXPECT_EQ(dst.pixmap.allocWidth, 32);
    EXPECT_TRUE(dst.opaque);
    SetPixel(&src, 19, 11, Rgba(1, 2, 3, 200));
    dst.Copy(&src);
    EXPECT_FALSE(dst.opaque);
    ASSERT_TRUE(MakePattern(&src, 20, 12, false));
    dst.Copy(&src);
    EXPECT_FALSE(dst.opaque); // Copy never sets it back
}

TEST_F(Canvas, ClearAndDestroy) {
    FXCanvas c;
    ASSERT_TRUE(MakePattern(&c, 5, 3, false));
    float col[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    c.Clear(col);
    for (int i = 0; i < c.pixmap.allocWidth * c.pixmap.allocHeight; i++) {
        ASSERT_EQ(c.pixmap.pixels[i], Rgba(255, 127, 0, 255));
    }
    c.transMode = true;
    c.opaque = false;
    c.Destroy();
    EXPECT_EQ(c.pixmap.pixels, nullptr);
    EXPECT_TRUE(c.opaque);
    EXPECT_FALSE(c.transMode);
    c.Destroy();
    c.Clear(col);
    c.ExtendEdges();
    c.MixColorLayer(col);
    EXPECT_EQ(c.GetWidth(), 0);
}

TEST_F(Canvas, MixColorLayerBlendsOverThePicture) {
    FXCanvas c;
    ASSERT_TRUE(c.pixmap.Realloc(3, 2));
    c.pixmap.Clear(Rgba(9, 9, 9, 9));
    for (int y = 0; y < 2; y++) {
        for (int x = 0; x < 3; x++) {
            SetPixel(&c, x, y, Rgba(200, 100, 50, 77));
        }
    }
    SetPixel(&c, 2, 1, Rgba(255, 0, 255, 255));
    float layer[4] = {0.0f, 0.0f, 1.0f, 0.5f};
    c.MixColorLayer(layer);
    // Premultiplied in the caller's array.
    EXPECT_EQ(layer[2], 0.5f);
    EXPECT_EQ(layer[3], 0.5f);
    // 200 * 0.5 = 100; 50 * 0.5 + 127.5 = 152.5, truncated.
    EXPECT_EQ(PixelAt(c, 0, 0), Rgba(100, 50, 152, 77));
    EXPECT_EQ(PixelAt(c, 2, 1), Rgba(127, 0, 255, 255));
    EXPECT_EQ(PixelAt(c, 3, 0), Rgba(9, 9, 9, 9)); // outside the picture
    EXPECT_EQ(PixelAt(c, 3, 1), Rgba(9, 9, 9, 9));

    // A transparent layer changes nothing.
    float none[4] = {0.3f, 0.6f, 0.9f, 0.0f};
    c.MixColorLayer(none);
    EXPECT_EQ(PixelAt(c, 0, 0), Rgba(100, 50, 152, 77));
    EXPECT_EQ(PixelAt(c, 2, 1), Rgba(127, 0, 255, 255));
}

TEST_F(Canvas, ExtendEdgesCopiesTheBorderIntoTheMargin) {
    FXCanvas c;
    ASSERT_TRUE(MakePattern(&c, 5, 3, false));
    c.ExtendEdges();
    ASSERT_EQ(c.pixmap.allocWidth, 8);
    ASSERT_EQ(c.pixmap.allocHeight, 4);
    for (int y = 0; y < 4; y++) {
        for (int x = 0; x < 8; x++) {
            int sx = x < 5 ? x : 4;
            int sy = y < 3 ? y : 2;
            ASSERT_EQ(PixelAt(c, x, y), PatternPixel(sx, sy, false)) << x << "," << y;
        }
    }
}

TEST_F(Canvas, RgbaTransparencyRoundTripsThroughTgaAndPngSaves) {
    // An RGBA save keeps colour under alpha 0, unlike the RGB writer.
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 6, 6, true));
    SetPixel(&src, 2, 3, Rgba(11, 22, 33, 0));
    for (const char* name : {"t.png", "t.tga"}) {
        FXCanvas c;
        SaveAndLoad(&src, name, &c);
        EXPECT_EQ(PixelAt(c, 2, 3), Rgba(11, 22, 33, 0)) << name;
    }
}

TEST(DevilBinding, LoadsAndSavesFailWhileTheLibraryIsNotBound) {
    FXTestDir dir;
    fxUnloadDevil();
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 8, 8, false));
    std::string path = dir.File("x.png");
    EXPECT_FALSE(src.SaveToPict(path.c_str()));
    EXPECT_FALSE(src.SaveToPict2(path.c_str(), 0, 0, 8, 8));
    EXPECT_FALSE(src.SaveToMask(path.c_str()));
    EXPECT_FALSE(fxTestFileExists(path));
    FXCanvas::SetJpegQuality(80);

    ASSERT_TRUE(fxLoadDevil());
    ASSERT_TRUE(src.SaveToPict(path.c_str()));
    fxUnloadDevil();
    fxUnloadDevil(); // twice is harmless
    FXCanvas c;
    EXPECT_FALSE(c.CreateFromPict(path.c_str()));
    EXPECT_FALSE(c.LoadMask(path.c_str()));
    EXPECT_EQ(c.pixmap.pixels, nullptr);

    ASSERT_TRUE(fxLoadDevil());
    EXPECT_TRUE(fxLoadDevil()); // already bound
    EXPECT_TRUE(c.CreateFromPict(path.c_str()));
    fxUnloadDevil();
}

TEST(DevilBinding, WritesItsTraceLines) {
    FXTestDir dir;
    std::string log = dir.File("trace.log");
    if (!fxOpenTraces(log.c_str())) {
        GTEST_SKIP() << "another trace file is open";
    }
    ASSERT_TRUE(fxLoadDevil());
    fxUnloadDevil();
    fxCloseTraces();
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    size_t a = s.find("loading devil\n");
    size_t b = s.find("loading ok\n");
    size_t c = s.find("unload devil\n");
    ASSERT_NE(a, std::string::npos) << s;
    ASSERT_NE(b, std::string::npos) << s;
    ASSERT_NE(c, std::string::npos) << s;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(s.find("#ERROR"), std::string::npos) << s;
}

// ---------------------------------------------------------------------------------------------
// Pictures from package entries

class CanvasPackage : public Canvas {
protected:
    FXPackage pkg;

    // A package with one picture of every type it knows, a text entry and a broken picture.
    void SetUp() override {
        FXCanvas alpha, solid;
        ASSERT_TRUE(MakePattern(&alpha, 24, 18, true));
        ASSERT_TRUE(MakePattern(&solid, 24, 18, false));
        ASSERT_TRUE(alpha.SaveToPict2(dir.File("a.png").c_str(), 0, 0, 24, 18));
        ASSERT_TRUE(alpha.SaveToPict2(dir.File("a.tga").c_str(), 0, 0, 24, 18));
        ASSERT_TRUE(solid.SaveToPict(dir.File("s.bmp").c_str()));
        FXCanvas::SetJpegQuality(95);
        ASSERT_TRUE(solid.SaveToPict(dir.File("s.jpg").c_str()));
        ASSERT_TRUE(alpha.SaveToMask(dir.File("m_tran.png").c_str()));
        uint8_t palette[256 * 3];
        std::vector<uint8_t> indices;
        for (int i = 0; i < 256; i++) {
            palette[i * 3] = (uint8_t)i;
            palette[i * 3 + 1] = (uint8_t)(i ^ 0x5A);
            palette[i * 3 + 2] = (uint8_t)(255 - i);
        }
        for (int i = 0; i < 24 * 18; i++) {
            indices.push_back((uint8_t)(i * 3));
        }
        ASSERT_TRUE(WriteGif(dir.File("p.gif"), 24, 18, indices, palette));
        ASSERT_TRUE(fxTestWriteText(dir.File("notes.txt"), "not a picture"));
        ASSERT_TRUE(fxTestWriteText(dir.File("broken.png"), "not a picture either"));

        FXPackage build;
        build.AddDataFile(10, dir.File("a.png").c_str());
        build.AddDataFile(11, dir.File("a.tga").c_str());
        build.AddDataFile(12, dir.File("s.bmp").c_str());
        build.AddDataFile(13, dir.File("s.jpg").c_str());
        build.AddDataFile(14, dir.File("p.gif").c_str());
        build.AddDataFile(15, dir.File("m_tran.png").c_str());
        build.AddDataFile(20, dir.File("notes.txt").c_str());
        build.AddDataFile(21, dir.File("broken.png").c_str());
        ASSERT_TRUE(build.Save(dir.File("p.dat").c_str(), FXPACKAGE_SCRAMBLE));
        ASSERT_TRUE(pkg.Load(dir.File("p.dat").c_str()));
        ASSERT_EQ(pkg.GetDataType(13), FXDATA_JPG);
    }
};

TEST_F(CanvasPackage, EveryPictureTypeLoadsFromItsEntry) {
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 10));
    ExpectPattern(c, 24, 18, true, "png entry");
    EXPECT_FALSE(c.opaque);
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 11));
    ExpectPattern(c, 24, 18, true, "tga entry");
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 12));
    ExpectPattern(c, 24, 18, false, "bmp entry");
    EXPECT_TRUE(c.opaque);
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 14));
    EXPECT_EQ(c.GetWidth(), 24);
    EXPECT_EQ(PixelAt(c, 5, 2),
              Rgba((2 * 24 + 5) * 3 & 0xFF, ((2 * 24 + 5) * 3 & 0xFF) ^ 0x5A, 255 - ((2 * 24 + 5) * 3 & 0xFF), 255));
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 13));
    ASSERT_EQ(c.GetWidth(), 24);
    ASSERT_EQ(c.GetHeight(), 18);
    EXPECT_EQ(c.pixmap.allocWidth, 32);
    EXPECT_TRUE(c.opaque);
}

TEST_F(CanvasPackage, EntriesThatAreNoPicturesAreRefused) {
    FXCanvas c;
    EXPECT_FALSE(c.CreateFromPictCN(&pkg, 99)); // missing
    EXPECT_FALSE(c.CreateFromPictCN(&pkg, 20)); // not a picture type
    EXPECT_FALSE(c.CreateFromPictCN(&pkg, 21)); // picture type, bytes of something else
    EXPECT_FALSE(c.CreateFromPictCN(nullptr, 10));
    EXPECT_EQ(c.pixmap.pixels, nullptr);
    EXPECT_FALSE(c.LoadMaskCN(&pkg, 20));
    FXPackage empty;
    EXPECT_FALSE(c.CreateFromPictCN(&empty, 10));
}

TEST_F(CanvasPackage, IdTextIsReadAsADecimalNumber) {
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictC(&pkg, "10"));
    ExpectPattern(c, 24, 18, true, "\"10\"");
    c.Destroy();
    EXPECT_TRUE(c.CreateFromPictC(&pkg, " 12"));
    EXPECT_TRUE(c.CreateFromPictC(&pkg, "+11 and more")); // like %d, what follows the number is left
    for (const char* bad : {"", "x10", "-", "99999999999", "4294967306"}) {
        c.Destroy();
        EXPECT_FALSE(c.CreateFromPictC(&pkg, bad)) << bad;
        EXPECT_EQ(c.pixmap.pixels, nullptr) << bad;
    }
    EXPECT_FALSE(c.CreateFromPictC(&pkg, nullptr));
    EXPECT_FALSE(c.CreateFromPictC(&pkg, "-10"));
}

TEST_F(CanvasPackage, EntryNamesDoNotChangeTransMode) {
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 15)); // from m_tran.png
    EXPECT_FALSE(c.transMode);
    c.transMode = true;
    ASSERT_TRUE(c.CreateFromPictCN(&pkg, 10));
    EXPECT_TRUE(c.transMode);
    EXPECT_FALSE(c.opaque);
    EXPECT_EQ(PixelAt(c, 3, 4), Rgba(255, 255, 255, PatternPixel(3, 4, true) & 0xFF));
}

TEST_F(CanvasPackage, MasksFromEntries) {
    FXCanvas c;
    ASSERT_TRUE(MakePattern(&c, 24, 18, false));
    ASSERT_TRUE(c.LoadMaskCN(&pkg, 15));
    EXPECT_FALSE(c.opaque);
    for (int y = 0; y < 18; y++) {
        for (int x = 0; x < 24; x++) {
            uint32_t want = (PatternPixel(x, y, false) & 0x00FFFFFFu) | (PatternPixel(x, y, true) & 0xFF000000u);
            ASSERT_EQ(PixelAt(c, x, y), want) << x << "," << y;
        }
    }
    FXCanvas small;
    ASSERT_TRUE(MakePattern(&small, 20, 18, false));
    EXPECT_FALSE(small.LoadMaskC(&pkg, "15")); // the mask is wider than the picture
    ExpectPattern(small, 20, 18, false, "refused");
    ASSERT_TRUE(MakePattern(&c, 24, 18, false));
    EXPECT_TRUE(c.LoadMaskC(&pkg, "15"));
    EXPECT_FALSE(c.LoadMaskC(&pkg, "fifteen"));
}

} // namespace
