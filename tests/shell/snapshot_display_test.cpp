#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "render/canvas.h"
#include "shell/scene_data.h"
#include "shell/snapshot.h"
#include "support/test_files.h"

namespace {

TEST(SnapshotTimes, ParsedSortedAndBounded) {
    std::vector<double> t;
    ASSERT_TRUE(fxParseSnapshotTimes("30,0.5,2", &t));
    EXPECT_EQ(t, (std::vector<double>{0.5, 2.0, 30.0}));
    const char* bad[] = {"", "1,,2", "-1", "1;2", "abc", "1e9", "nan", "2,"};
    for (const char* b : bad) {
        EXPECT_FALSE(fxParseSnapshotTimes(b, &t)) << b;
        EXPECT_TRUE(t.empty()) << b;
    }
    EXPECT_EQ(fxSnapshotName(2.5), "frame-2.5.png");
    EXPECT_EQ(fxSnapshotName(40.0), "frame-40.png");
}

// Share of the picture's pixels within a small distance of magenta.
double MagentaShare(const std::string& path, bool centreOnly) {
    FXCanvas c;
    if (!c.CreateFromPict(path.c_str())) {
        ADD_FAILURE() << "cannot read " << path;
        return -1.0;
    }
    int w = c.pixmap.width, h = c.pixmap.height, n = 0, all = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            if (centreOnly && (std::abs(x - w / 2) > w / 10 || std::abs(y - h / 2) > h / 10)) {
                continue;
            }
            uint32_t p = c.pixmap.pixels[(size_t)y * c.pixmap.allocWidth + x];
            int r = (int)(p & 255), g = (int)((p >> 8) & 255), b = (int)((p >> 16) & 255);
            n += r > 200 && g < 60 && b > 200 ? 1 : 0;
            all++;
        }
    }
    return all > 0 ? (double)n / all : 0.0;
}

// The real program through a whole cycle on a plain magenta desktop, one frame a second.
TEST(SnapshotDisplay, EveryStageShowsWhatItMust) {
    SceneData data;
    ASSERT_TRUE(data.ok);
    FXTestDir out, again;
    std::string desktop = data.dir.File("desktop.png");
    ASSERT_TRUE(WriteSolidPicture(desktop, 64, 48, kMagenta));
    std::string times;
    for (int t = 0; t <= 60; t++) {
        times += (t > 0 ? "," : "") + std::to_string(t);
    }
    std::vector<std::string> common = {"--data", data.dir.path, "--size", "96x72", "--desktop", desktop, "--seed", "5"};
    std::vector<std::string> args = {"--snapshot", out.path, "--times", times};
    args.insert(args.end(), common.begin(), common.end());
    FXTestRun run = fxTestRunTool(VANTREL_PATH, data.dir, args);
    ASSERT_EQ(run.status, 0) << run.err;

    // Each line: the file, then "stage N name" of the stage that frame drew.
    std::map<int, std::vector<std::string>> byStage;
    std::istringstream lines(run.out);
    std::string file, word;
    int stage = -1;
    while (lines >> file >> word >> stage && std::getline(lines, word)) {
        byStage[stage].push_back(file);
    }
    for (int s = 0; s < 4; s++) {
        ASSERT_FALSE(byStage[s].empty()) << "no frame of stage " << s << " in a minute of show:\n" << run.out;
    }
    // The mosaic's first frames are the desktop's tiles; the pause leaves the centre to the globe
    // and backdrop; the fade ends on the whole picture.
    EXPECT_GT(MagentaShare(byStage[0][1], false), 0.5);
    EXPECT_EQ(MagentaShare(byStage[1][0], true), 0.0);
    EXPECT_GT(MagentaShare(byStage[3].back(), false), MagentaShare(byStage[1][0], false));

    // The same seed, size and renderer give the same bytes.
    std::string some = "1," + std::to_string(60);
    std::vector<std::string> args2 = {"--snapshot", again.path, "--times", some};
    args2.insert(args2.end(), common.begin(), common.end());
    FXTestRun run2 = fxTestRunTool(VANTREL_PATH, data.dir, args2);
    ASSERT_EQ(run2.status, 0) << run2.err;
    for (const char* name : {"frame-1.png", "frame-60.png"}) {
        FXBytes a, b;
        ASSERT_TRUE(fxTestReadFile(out.File(name), &a));
        ASSERT_TRUE(fxTestReadFile(again.File(name), &b));
        EXPECT_TRUE(a == b) << name << " differs between two runs with one seed";
    }
}

TEST(SnapshotDisplay, MistakesAreReported) {
    SceneData data;
    ASSERT_TRUE(data.ok);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--snapshot", data.dir.path}, 2, "--snapshot needs --times"},
        {{"--snapshot", data.dir.path, "--times", "1,x"}, 2, "--times needs seconds"},
        {{"--snapshot", data.dir.File("missing"), "--times", "1"}, 2, "does not exist"},
        {{"--snapshot", data.dir.path, "--times", "1", "--desktop", data.dir.File("no.png")}, 2, "does not exist"},
        {{"--times", "1"}, 2, "go with --snapshot"},
    };
    for (const Case& c : cases) {
        FXTestRun run = fxTestRunTool(VANTREL_PATH, data.dir, c.args);
        EXPECT_EQ(run.status, c.status) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

} // namespace
