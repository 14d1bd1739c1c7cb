// The folder functions as Windows has them: backslash endings, drive roots, the shell's combiner
// and relative paths.
#include "base/paths.h"

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

TEST(PathsW32, EndingsCombinationsAndRelativePaths) {
    struct Ending {
        const char* stored;
        const char* expected;
    };
    const Ending endings[] = {
        {"", "\\"},                     // the root of the current drive once made current
        {"C:\\Data", "C:\\Data\\"},     // backslashes keep backslashes
        {"C:/Data/Show", "C:/Data/Show/"}, // forward slashes keep forward slashes
        {"C:\\Data/Show", "C:\\Data/Show\\"}, // mixed: the platform's own
        {"Data", "Data\\"},             // none: the platform's own
        {"C:\\", "C:\\"},
    };
    for (const Ending& e : endings) {
        fxSetTypePath(FXPATH_START, e.stored);
        EXPECT_STREQ(fxGetTypePath(FXPATH_START), e.expected) << e.stored;
    }

    struct Join {
        const char* folder;
        const char* file;
        const char* expected;
    };
    const Join joins[] = {
        {"C:\\Data\\", "pack.dat", "C:\\Data\\pack.dat"},
        {"C:\\Data", "\\pack.dat", "C:\\Data\\pack.dat"}, // a leading separator stays inside
        {"C:\\Data\\Show\\", "..\\pack.dat", "C:\\Data\\pack.dat"},
        {"C:\\Data\\", ".\\sub\\.\\pack.dat", "C:\\Data\\sub\\pack.dat"},
        {"C:\\", "..\\pack.dat", "C:\\pack.dat"}, // nothing above the drive's root
    };
    for (const Join& j : joins) {
        const char* got = fxCombinePaths(j.folder, j.file);
        ASSERT_NE(got, nullptr) << j.folder << " + " << j.file;
        EXPECT_STREQ(got, j.expected) << j.folder << " + " << j.file;
    }
    EXPECT_EQ(fxCombinePaths("C:\\Data", std::string(300, 'x').c_str()), nullptr);

    struct Relative {
        const char* from;
        bool fromIsFile;
        const char* to;
        const char* expected;
    };
    const Relative relatives[] = {
        // The shell answers "\Show\pack.dat" from a folder with its ending; one leading separator goes.
        {"C:\\Data", false, "C:\\Data\\Show\\pack.dat", "Show\\pack.dat"},
        {"C:\\Data\\", false, "C:\\Data\\Show\\pack.dat", "Show\\pack.dat"},
        {"C:\\Data\\Show\\", false, "C:\\Data\\pack.dat", "..\\pack.dat"},
        {"C:\\Data\\lib.mtl", true, "C:\\Data\\tex\\a.png", ".\\tex\\a.png"},
        {"C:\\Data\\", false, "D:\\Other\\a.png", "D:\\Other\\a.png"}, // other drive: unchanged
    };
    for (const Relative& r : relatives) {
        EXPECT_STREQ(fxBuildRelativePath(r.from, r.fromIsFile, r.to, true), r.expected) << r.from << " -> " << r.to;
    }
}
