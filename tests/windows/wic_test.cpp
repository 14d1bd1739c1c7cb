#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/trace.h"
#include "render/canvas.h"
#include "render/picture_helpers.h"
#include "support/test_files.h"

// Pictures through the Windows Imaging Component, where the image library's DLLs are absent (as
// they are in the test prefix): the same canvas operations, the same results.

namespace {

std::vector<std::string> localLines;
void localSink(bool, const char* text) {
    localLines.push_back(text);
}

class WicPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        localLines.clear();
        fxSetTraceSink(localSink);
        bool loaded = fxLoadDevil();
        fxSetTraceSink(nullptr);
        ASSERT_TRUE(loaded);
    }
    static void TearDownTestSuite() { fxUnloadDevil(); }

    FXTestDir dir;
};

TEST_F(WicPictures, TheLibrarysFailureIsTracedThenTheImagingComponentTakesOver) {
    std::vector<std::string> expected = {"loading devil\n", "failed to load devil.dll\n",
                                         "failed to load devil libraries\n", "unload devil\n",
                                         "pictures through the Windows Imaging Component\n"};
    ASSERT_EQ(localLines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        EXPECT_EQ(localLines[i], expected[i]);
    }
}

// Mean absolute difference of the colour channels of two equally sized pictures.
double localMeanError(const FXCanvas& a, const FXCanvas& b) {
    double sum = 0.0;
    for (int y = 0; y < a.GetHeight(); y++) {
        for (int x = 0; x < a.GetWidth(); x++) {
            uint32_t p = PixelAt(a, x, y), q = PixelAt(b, x, y);
            for (int shift = 0; shift < 24; shift += 8) {
                sum += std::fabs((double)((p >> shift) & 0xFF) - (double)((q >> shift) & 0xFF));
            }
        }
    }
    return sum / (a.GetWidth() * a.GetHeight() * 3.0);
}

TEST_F(WicPictures, JpegQualityIsHonouredOnSave) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 96, 64, false));
    std::vector<double> errors;
    std::vector<size_t> sizes;
    for (int q : {10, 50, 100}) {
        std::string path = dir.File("q" + std::to_string(q) + ".jpg");
        FXCanvas::SetJpegQuality(q);
        ASSERT_TRUE(src.SaveToPict(path.c_str())) << q;
        FXBytes bytes;
        ASSERT_TRUE(fxTestReadFile(path, &bytes));
        FXCanvas back;
        ASSERT_TRUE(back.CreateFromPict(path.c_str())) << q;
        ASSERT_EQ(back.GetWidth(), 96);
        ASSERT_EQ(back.GetHeight(), 64);
        EXPECT_TRUE(back.opaque);
        errors.push_back(localMeanError(src, back));
        sizes.push_back(bytes.size());
    }
    FXCanvas::SetJpegQuality(99);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (sizes[0] == sizes[2] && ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        GTEST_SKIP() << "Wine's JPEG encoder ignores the ImageQuality option";
    }
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[1], sizes[2]);
    EXPECT_GT(errors[0], errors[1]);
    EXPECT_GT(errors[1], errors[2]);
    EXPECT_LT(errors[2], 3.0);
}

// The pictures in the repository were written on Linux by the image library: they decode to the
// size their header gives, and come back bit for bit through the PNG writer.
TEST_F(WicPictures, LinuxWrittenPngsDecodeAndRoundTrip) {
    int checked = 0;
    for (const char* name : {"crystal.png", "pause.png"}) {
        std::string path = std::string(VANTREL_SOURCE_DIR) + "/docs/pictures/" + name;
        FXBytes bytes;
        if (!fxTestReadFile(path, &bytes) || bytes.size() < 24) {
            continue;
        }
        int w = bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19];
        int h = bytes[20] << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23];
        FXCanvas c;
        ASSERT_TRUE(c.CreateFromPict(path.c_str())) << name;
        ASSERT_EQ(c.GetWidth(), w) << name;
        ASSERT_EQ(c.GetHeight(), h) << name;
        std::string again = dir.File(std::string("again_") + name);
        ASSERT_TRUE(c.SaveToPict2(again.c_str(), 0, 0, w, h));
        FXCanvas d;
        ASSERT_TRUE(d.CreateFromPict(again.c_str()));
        ASSERT_EQ(d.GetWidth(), w);
        int differ = 0;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                differ += PixelAt(c, x, y) != PixelAt(d, x, y);
            }
        }
        EXPECT_EQ(differ, 0) << name;
        checked++;
    }
    if (checked == 0) {
        GTEST_SKIP() << "no pictures under docs/pictures";
    }
}

TEST_F(WicPictures, MasksAndRgbWritersKeepTheirChannels) {
    FXCanvas src;
    ASSERT_TRUE(MakePattern(&src, 20, 12, true));
    std::string mask = dir.File("m.png");
    ASSERT_TRUE(src.SaveToMask(mask.c_str()));
    // A one-channel picture reads back as grey: every colour byte is the saved alpha.
    FXCanvas m;
    ASSERT_TRUE(m.CreateFromPict(mask.c_str()));
    ASSERT_EQ(m.GetWidth(), 20);
    for (int y = 0; y < 12; y++) {
        for (int x = 0; x < 20; x++) {
            uint32_t a = PatternPixel(x, y, true) >> 24;
            ASSERT_EQ(PixelAt(m, x, y), Rgba(a, a, a, 255)) << x << "," << y;
        }
    }
    // The RGB writer drops alpha: an opaque picture of the same colours.
    std::string rgb = dir.File("c.bmp");
    ASSERT_TRUE(src.SaveToPict(rgb.c_str()));
    FXCanvas c;
    ASSERT_TRUE(c.CreateFromPict(rgb.c_str()));
    EXPECT_TRUE(c.opaque);
    for (int y = 0; y < 12; y++) {
        for (int x = 0; x < 20; x++) {
            ASSERT_EQ(PixelAt(c, x, y), PatternPixel(x, y, true) | 0xFF000000u) << x << "," << y;
        }
    }
}

} // namespace
