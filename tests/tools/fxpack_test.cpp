#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include "io/package.h"
#include "support/test_files.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

class FxpackTest : public ::testing::Test {
protected:
    FXTestDir dir;

    // Runs the tool in the test's folder.
    FXTestRun Run(const std::vector<std::string>& args) { return fxTestRunTool(FXPACK_PATH, dir, args); }

    // Filler bytes that start with a picture signature.
    static FXBytes Picture(const char* magic, size_t magicSize, size_t size, uint32_t seed) {
        FXBytes bytes = fxTestPattern(size, seed);
        std::copy(magic, magic + magicSize, bytes.begin());
        return bytes;
    }

    // Sources of several kinds, one in a subfolder and one with a space in its name.
    FXBytes jpg = Picture("\xFF\xD8\xFF", 3, 5000, 1);
    FXBytes rec = fxTestPattern(77, 2);
    FXBytes png = Picture("\x89PNG\r\n\x1A\n", 8, 9, 3);
    FXBytes none;

    void WriteSources() {
        ASSERT_EQ(mkdir(dir.File("pics").c_str(), 0700), 0);
        ASSERT_TRUE(fxTestWriteFile(dir.File("pics/sky.JPG"), jpg));
        ASSERT_TRUE(fxTestWriteFile(dir.File("planet.xm"), rec));
        ASSERT_TRUE(fxTestWriteFile(dir.File("my label.png"), png));
        ASSERT_TRUE(fxTestWriteFile(dir.File("empty.bin"), none));
        ASSERT_TRUE(fxTestWriteText(dir.File("show.txt"), "# the show's assets\n"
                                                          "12 pics/sky.JPG\r\n"
                                                          "\n"
                                                          "3\tplanet.xm\n"
                                                          "  40   my label.png  \n"
                                                          "7 empty.bin"));
    }

    std::vector<std::string> Files() { return fxTestListDir(dir.path); }
};

} // namespace

TEST_F(FxpackTest, HelpAndUsage) {
    FXTestRun r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: fxpack list PACKAGE"), std::string::npos);
    EXPECT_NE(r.out.find("fxpack build MANIFEST -o PACKAGE [--scramble] [--names FILE] [--header FILE]"),
              std::string::npos);
    for (const char* command : {"list", "extract", "build"}) {
        r = Run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find("usage:"), std::string::npos) << command;
    }
    // Each command's own help, however it is asked for.
    for (const char* command : {"list", "extract", "build", "model", "info", "reduce"}) {
        FXTestRun viaHelp = Run({"help", command});
        FXTestRun viaOption = Run({command, "--help"});
        EXPECT_EQ(viaHelp.status, 0) << command;
        EXPECT_EQ(viaHelp.out, viaOption.out) << command;
        EXPECT_EQ(viaHelp.out.find(std::string("usage: fxpack ") + command), 0u) << viaHelp.out;
    }
    r = Run({"help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("fxpack help [COMMAND]"), std::string::npos);
    r = Run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("fxpack "), 0u);

    // A usage error is one line and where help is, never the whole help.
    struct {
        std::vector<std::string> args;
        const char* message;
    } wrong[] = {
        {{}, "fxpack: no command given\ntry 'fxpack --help'\n"},
        {{"pack", "x"}, "fxpack: unknown command 'pack'\ntry 'fxpack --help'\n"},
        {{"help", "pack"}, "fxpack: unknown command 'pack'\ntry 'fxpack --help'\n"},
        {{"list"}, "fxpack: list needs a package\ntry 'fxpack list --help'\n"},
        {{"extract", "a", "b"}, "fxpack: extract takes a package, an id and a file\ntry 'fxpack extract --help'\n"},
        {{"extract", "a", "x1", "c"}, "fxpack: 'x1' is not an id\ntry 'fxpack extract --help'\n"},
        {{"reduce", "a.xm", "-o", "b.xm"},
         "fxpack: reduce needs --tolerance DEGREES or --discard-transparent ALPHA\ntry 'fxpack reduce --help'\n"},
        {{"reduce", "a.xm", "-o", "b.xm", "--tolerance", "1e9"},
         "fxpack: --tolerance takes an angle from 0 to 180 degrees, not '1e9'\ntry 'fxpack reduce --help'\n"},
        {{"reduce", "a.xm", "-o", "b.xm", "--discard-transparent", "300"},
         "fxpack: --discard-transparent takes an alpha from 0 to 1, not '300'\ntry 'fxpack reduce --help'\n"},
        {{"reduce", "a.xm", "-o", "b.xm", "--tolerance", "nan"},
         "fxpack: --tolerance takes an angle from 0 to 180 degrees, not 'nan'\ntry 'fxpack reduce --help'\n"},
        {{"model", "a.obj", "-o", "b.xm", "--fast"}, "fxpack: unknown option '--fast'\ntry 'fxpack model --help'\n"},
    };
    for (const auto& w : wrong) {
        r = Run(w.args);
        EXPECT_EQ(r.status, 2) << w.message;
        EXPECT_EQ(r.err, w.message);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(FxpackTest, BuildListExtractGiveBackEverySource) {
    WriteSources();
    std::string pkgPath = dir.File("out.dat");
    FXTestRun r = Run({"build", dir.File("show.txt"), "-o", pkgPath});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out).size(), 5u) << r.out;
    EXPECT_EQ(Run({"build", "-q", dir.File("show.txt"), "-o", pkgPath}).out, "");

    r = Run({"list", pkgPath});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> want = {"        id     offset       size  kind", "        12          0       5000  JPEG",
                                     "         3       5000         77  data", "        40       5077          9  PNG",
                                     "         7       5086          0  data"};
    EXPECT_EQ(Lines(r.out), want);

    struct {
        const char* id;
        const FXBytes* bytes;
    } entries[] = {{"12", &jpg}, {"3", &rec}, {"40", &png}, {"7", &none}};
    for (const auto& e : entries) {
        std::string out = dir.File(std::string("x") + e.id);
        r = Run({"extract", pkgPath, e.id, out});
        ASSERT_EQ(r.status, 0) << r.err;
        FXBytes got;
        ASSERT_TRUE(fxTestReadFile(out, &got));
        EXPECT_EQ(got, *e.bytes) << e.id;
    }

    // Names relative to the current folder, with one-letter stems.
    ASSERT_TRUE(fxTestWriteFile(dir.File("a.png"), png));
    ASSERT_TRUE(fxTestWriteText(dir.File("short.txt"), "1 a.png\n"));
    r = Run({"build", "short.txt", "-o", "s.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"list", "s.dat"});
    EXPECT_EQ(Lines(r.out).back(), "         1          0          9  PNG");

    // The engine reads what the tool wrote.
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(pkgPath.c_str()));
    EXPECT_EQ(pkg.GetEntryCount(), 4);
    EXPECT_EQ(pkg.GetDataType(40), FXDATA_PNG);
    EXPECT_EQ(pkg.nameServer.baseId, 41);
}

TEST_F(FxpackTest, ScrambledBuildHoldsTheSameEntriesAndBuildsRepeatExactly) {
    WriteSources();
    ASSERT_EQ(Run({"build", dir.File("show.txt"), "-o", dir.File("p.dat")}).status, 0);
    ASSERT_EQ(Run({"build", "--scramble", dir.File("show.txt"), "-o", dir.File("s.dat")}).status, 0);
    ASSERT_EQ(Run({"build", dir.File("show.txt"), "--scramble", "-o", dir.File("s2.dat")}).status, 0);
    FXBytes p, s, s2;
    ASSERT_TRUE(fxTestReadFile(dir.File("p.dat"), &p));
    ASSERT_TRUE(fxTestReadFile(dir.File("s.dat"), &s));
    ASSERT_TRUE(fxTestReadFile(dir.File("s2.dat"), &s2));
    EXPECT_NE(p, s);
    EXPECT_EQ(s, s2);

    FXTestRun lp = Run({"list", dir.File("p.dat")});
    FXTestRun ls = Run({"list", dir.File("s.dat")});
    EXPECT_EQ(lp.status, 0);
    EXPECT_EQ(ls.out, lp.out);
    ASSERT_EQ(Run({"extract", dir.File("s.dat"), "12", dir.File("sky.out")}).status, 0);
    FXBytes got;
    ASSERT_TRUE(fxTestReadFile(dir.File("sky.out"), &got));
    EXPECT_EQ(got, jpg);
}

TEST_F(FxpackTest, NamesFileAndHeaderAreWritten) {
    WriteSources();
    FXTestRun r = Run({"build", dir.File("show.txt"), "-o", dir.File("p.dat"), "--names", dir.File("names.bin"),
                       "--header", dir.File("names.h")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Manifest entries keep their fixed ids and register no names; compilers add names later.
    FXBytes names;
    ASSERT_TRUE(fxTestReadFile(dir.File("names.bin"), &names));
    EXPECT_EQ(names, FXBytes(4, 0));
    EXPECT_TRUE(fxTestFileExists(dir.File("names.h")));
    EXPECT_EQ(fxTestReadText(dir.File("names.h")), "");
}

TEST_F(FxpackTest, BadManifestsWriteNothing) {
    WriteSources();
    FXBytes old = fxTestPattern(10, 9);
    std::string out = dir.File("out.dat");
    ASSERT_TRUE(fxTestWriteFile(out, old));
    struct {
        const char* manifest;
        const char* message;
    } cases[] = {
        {"1 planet.xm\n2 empty.bin\n1 pics/sky.JPG\n", "m.txt:3: id 1 is already given on line 1"},
        {"1 planet.xm\n2 missing.png\n", "m.txt:2: cannot read"},
        {"1 pics\n", "m.txt:1: "},
        {"abc planet.xm\n", "m.txt:1: 'abc' is not an id"},
        {"-1 planet.xm\n", "'-1' is not an id"},
        {"2147483647 planet.xm\n", "'2147483647' is not an id"},
        {"99999999999 planet.xm\n", "'99999999999' is not an id"},
        {"5\n", "m.txt:1: id 5 has no file"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(fxTestWriteText(dir.File("m.txt"), c.manifest));
        std::vector<std::string> before = Files();
        FXTestRun r = Run({"build", dir.File("m.txt"), "-o", out, "--names", dir.File("n.bin")});
        EXPECT_EQ(r.status, 1) << c.manifest;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        FXBytes got;
        ASSERT_TRUE(fxTestReadFile(out, &got));
        EXPECT_EQ(got, old) << c.manifest;
        EXPECT_EQ(Files(), before) << c.manifest;
    }
    FXTestRun r = Run({"build", dir.File("nothing.txt"), "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read " + dir.File("nothing.txt") + ": No such file"), std::string::npos) << r.err;
}

TEST_F(FxpackTest, BadBuildCommandLines) {
    WriteSources();
    std::vector<std::string> before = Files();
    const std::vector<std::vector<std::string>> lines = {
        {"build", dir.File("show.txt")},
        {"build", "-o", dir.File("a.dat")},
        {"build", dir.File("show.txt"), "-o"},
        {"build", dir.File("show.txt"), "-o", dir.File("a.dat"), "--fast"},
        {"build", dir.File("show.txt"), dir.File("show.txt"), "-o", dir.File("a.dat")},
        {"build", dir.File("show.txt"), "-o", dir.File("a.dat"), "-o", dir.File("b.dat")},
    };
    for (const auto& line : lines) {
        FXTestRun r = Run(line);
        EXPECT_EQ(r.status, 2) << line.size();
        EXPECT_NE(r.err.find("try 'fxpack build --help'"), std::string::npos);
    }
    FXTestRun r = Run({"build", dir.File("show.txt"), "-o", dir.File("no/such/out.dat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("there is no folder"), std::string::npos) << r.err;
    r = Run({"build", dir.File("show.txt"), "-o", dir.File("a.dat"), "--header", dir.File("no/such/n.h")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Files(), before);
}

TEST_F(FxpackTest, ListAndExtractFailures) {
    WriteSources();
    ASSERT_EQ(Run({"build", dir.File("show.txt"), "-o", dir.File("p.dat")}).status, 0);
    FXTestRun r = Run({"list", dir.File("missing.dat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos);
    r = Run({"list", dir.File("planet.xm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not a package"), std::string::npos);

    std::vector<std::string> before = Files();
    r = Run({"extract", dir.File("p.dat"), "5", dir.File("x.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no entry with id 5"), std::string::npos);
    r = Run({"extract", dir.File("p.dat"), "12x", dir.File("x.bin")});
    EXPECT_EQ(r.status, 2);
    r = Run({"extract", dir.File("p.dat"), "12", dir.File("no/such/x.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Files(), before);

    // A package whose last entry was cut off: the whole ones are listed, the damage is reported.
    FXBytes whole;
    ASSERT_TRUE(fxTestReadFile(dir.File("p.dat"), &whole));
    FXBytes cut(whole.begin(), whole.end() - 10);
    ASSERT_TRUE(fxTestWriteFile(dir.File("cut.dat"), cut));
    r = Run({"list", dir.File("cut.dat")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.out).back(), "        12          0       5000  JPEG");
    EXPECT_NE(r.err.find("3 damaged entries"), std::string::npos) << r.err;
    // An entry cut short is called damaged, not missing.
    r = Run({"extract", dir.File("cut.dat"), "40", dir.File("x.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is damaged: 3 entries reach past the end"), std::string::npos) << r.err;
}
