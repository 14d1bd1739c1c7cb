#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/host.h"
#include "shell/scene.h"
#include "shell/scrnsave.h"
#include "support/test_files.h"

namespace {

TEST(SaverCommand, FirstModeLetterDecides) {
    struct Case {
        const char* line;
        int mode;
        bool hasNumber;
        uint32_t window;
    } cases[] = {
        {"", FXSAVER_CONFIGURE, false, 0},
        {nullptr, FXSAVER_CONFIGURE, false, 0},
        {"/s", FXSAVER_SHOW, false, 0},
        {"-S", FXSAVER_SHOW, false, 0},
        {"s", FXSAVER_SHOW, false, 0},
        {"/c:1234", FXSAVER_CONFIGURE, false, 0},
        {"/C /s", FXSAVER_CONFIGURE, false, 0},
        {"/p", FXSAVER_PREVIEW, false, 0},
        {"/p 1234", FXSAVER_PREVIEW, true, 1234},
        {"/P1234", FXSAVER_PREVIEW, true, 1234},
        {"/p \t 77abc 9", FXSAVER_PREVIEW, true, 77},
        {"/p:1234", FXSAVER_PREVIEW, false, 0},
        {"/p 0", FXSAVER_PREVIEW, true, 0},
        {"/x /p 10", FXSAVER_PREVIEW, true, 10},
        {"/p 4294967297", FXSAVER_PREVIEW, true, 1}, // wraps in 32 bits
        {"/a", FXSAVER_PASSWORD, false, 0},
        {"/A 99", FXSAVER_PASSWORD, true, 99},
        {"register_scrsaver", FXSAVER_SHOW, false, 0}, // r, e, g, i are skipped; the fifth letter is s
        {"/x /y 12 /z", FXSAVER_CONFIGURE, false, 0},
        {"9 /S", FXSAVER_SHOW, false, 0},
    };
    for (const Case& c : cases) {
        tagFXSaverCommand cmd = fxScanSaverCommand(c.line);
        SCOPED_TRACE(c.line != nullptr ? c.line : "(null)");
        EXPECT_EQ(cmd.mode, c.mode);
        EXPECT_EQ(cmd.hasNumber, c.hasNumber);
        EXPECT_EQ(cmd.window, c.window);
    }
}

// One close rule scenario: events at chosen times on a fake clock, with the show built at 10 s
// and the cursor first at (100, 200).
struct CloseStep {
    char event;  // k key, b button, m cursor at (x, y), r close request
    double time; // seconds on the fake clock
    int x, y;
    bool ends;
};

void RunClose(bool preview, const std::vector<CloseStep>& steps) {
    FXSaverClose close;
    close.OnCreate(preview, 100, 200);
    close.OnStarted(10.0);
    for (const CloseStep& s : steps) {
        bool ends = false;
        switch (s.event) {
            case 'k':
                ends = close.OnKey();
                break;
            case 'b':
                ends = close.OnButton(s.time);
                break;
            case 'm':
                ends = close.OnCursor(s.x, s.y, s.time);
                break;
            default:
                ends = close.OnCloseRequest(s.time);
                break;
        }
        EXPECT_EQ(ends, s.ends) << "event " << s.event << " at " << s.time;
    }
}

TEST(SaverClose, GracePeriodAndInputs) {
    // A key ends the show at once, inside the grace period too.
    RunClose(false, {{'k', 10.5, 0, 0, true}});
    // Button and movement inside the grace period are dropped, not deferred; after it they end.
    RunClose(
        false,
        {{'b', 10.5, 0, 0, false}, {'m', 12.0, 101, 200, false}, {'r', 14.0, 0, 0, false}, {'b', 14.01, 0, 0, true}});
    RunClose(false, {{'m', 14.5, 100, 201, true}});
    // The cursor where it stood is no movement, however late and however often.
    RunClose(false, {{'m', 20.0, 100, 200, false}, {'m', 30.0, 100, 200, false}, {'m', 31.0, 99, 200, true}});
    // Preview: any close request ends it, mouse input does not.
    RunClose(true, {{'b', 30.0, 0, 0, false}, {'m', 30.0, 5, 5, false}, {'r', 10.1, 0, 0, true}});
}

TEST(SaverClose, NothingEndsBeforeTheSceneIsBuilt) {
    FXSaverClose close;
    close.OnCreate(false, 0, 0);
    EXPECT_FALSE(close.OnCloseRequest(1000.0));
    EXPECT_FALSE(close.OnButton(1000.0));
    EXPECT_FALSE(close.OnCursor(5, 5, 1000.0));
    EXPECT_TRUE(close.OnKey());
    EXPECT_TRUE(close.OnCloseRequest(0.0)); // a key has been hit: the window goes
}

TEST(HostArgs, OptionsAndModeWords) {
    struct Case {
        std::vector<const char*> args;
        std::string scan, data, error;
        bool help, version, window;
        int width, height;
    } cases[] = {
        {{}, "", "", "", false, false, false, 0, 0},
        {{"/p", "123"}, "/p 123", "", "", false, false, false, 0, 0},
        {{"-S"}, "-S", "", "", false, false, false, 0, 0},
        {{"--help"}, "", "", "", true, false, false, 0, 0},
        {{"--version", "/s"}, "/s", "", "", false, true, false, 0, 0},
        {{"--data", "/d", "/s"}, "/s", "/d", "", false, false, false, 0, 0},
        {{"--data=/e"}, "", "/e", "", false, false, false, 0, 0},
        {{"-window", "-geometry", "800x600+10+10"}, "", "", "", false, false, true, 800, 600},
        {{"--data"}, "", "", "--data needs a folder", false, false, false, 0, 0},
        {{"-geometry", "800"},
         "",
         "",
         "-geometry needs a size WxH between 16x16 and 16384x16384",
         false,
         false,
         false,
         0,
         0},
        {{"-geometry", "8x8"},
         "",
         "",
         "-geometry needs a size WxH between 16x16 and 16384x16384",
         false,
         false,
         false,
         0,
         0},
        {{"--frobnicate"}, "", "", "unknown option --frobnicate", false, false, false, 0, 0},
        {{"--max-fps", "-1"},
         "",
         "",
         "--max-fps needs a whole number of frames per second from 0 (no limit) to 1000",
         false,
         false,
         false,
         0,
         0},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv = {(char*)"vantrel"};
        for (const char* a : c.args) {
            argv.push_back((char*)a);
        }
        tagFXHostOptions o = fxParseHostArgs((int)argv.size(), argv.data());
        SCOPED_TRACE(c.scan + "|" + c.error);
        EXPECT_EQ(o.scan, c.scan);
        EXPECT_EQ(o.data, c.data);
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.help, c.help);
        EXPECT_EQ(o.version, c.version);
        EXPECT_EQ(o.window, c.window);
        EXPECT_EQ(o.width, c.width);
        EXPECT_EQ(o.height, c.height);
    }
}

TEST(HostSettings, FileOfTheProductKey) {
    EXPECT_EQ(fxSettingsRelativePath(scrRegName), "tumo3d/Screensavers/Terravane");
    std::string v;
    EXPECT_TRUE(fxFindSetting("# data\n  path = /srv/saver data \r\nother=1\n", "path", &v));
    EXPECT_EQ(v, "/srv/saver data");
    EXPECT_TRUE(fxFindSetting("path=/a\npath=/b", "path", &v));
    EXPECT_EQ(v, "/b");
    EXPECT_TRUE(fxFindSetting("path=\n", "path", &v));
    EXPECT_EQ(v, "");
    EXPECT_FALSE(fxFindSetting("#path=/x\npaths=/y\npath /z\n", "path", &v));
    EXPECT_EQ(fxChooseMaxFps(-1, "maxfps=30\n"), 30);
    EXPECT_EQ(fxChooseMaxFps(0, "maxfps=30\n"), 0);   // no limit asked for on the command line
    EXPECT_EQ(fxChooseMaxFps(60, "maxfps=30\n"), 60); // the option wins
    EXPECT_EQ(fxChooseMaxFps(-1, "maxfps=3000\nmaxfps = x\n"), 0);
    EXPECT_EQ(fxChooseMaxFps(-1, ""), 0);
}

TEST(HostSettings, DataFolderSearchOrder) {
    FXTestDir program, installed;
    int origin = -1;
    // Nothing holds the package: the program's own folder, where the trace says it looked.
    EXPECT_EQ(fxChooseDataFolder("", "", program.path, installed.path, &origin), program.path);
    EXPECT_EQ(origin, FXDATA_BESIDE_PROGRAM);
    ASSERT_TRUE(fxTestWriteText(installed.File("vantrel.dat"), "x"));
    EXPECT_EQ(fxChooseDataFolder("", "", program.path, installed.path, &origin), installed.path);
    EXPECT_EQ(origin, FXDATA_INSTALLED);
    ASSERT_TRUE(fxTestWriteText(program.File("vantrel.dat"), "x"));
    EXPECT_EQ(fxChooseDataFolder("", "", program.path, installed.path, &origin), program.path);
    EXPECT_EQ(origin, FXDATA_BESIDE_PROGRAM);
    EXPECT_EQ(fxChooseDataFolder("", "/set", program.path, installed.path, &origin), "/set");
    EXPECT_EQ(origin, FXDATA_FROM_SETTING);
    EXPECT_EQ(fxChooseDataFolder("/opt", "/set", program.path, installed.path, &origin), "/opt");
    EXPECT_EQ(origin, FXDATA_FROM_OPTION);
}

} // namespace
