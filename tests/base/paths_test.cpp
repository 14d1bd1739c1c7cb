#include "base/paths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Cwd() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof(buf)) != nullptr ? std::string(buf) : std::string();
}

std::string Str(const char* s) {
    return s != nullptr ? std::string(s) : std::string("(null)");
}

// Each test runs in a fresh real folder (resolved, so getcwd reports the same text) and gets
// its current folder and type paths back afterwards.
class PathsTest : public ::testing::Test {
protected:
    std::string savedCwd;
    std::string root;

    void SetUp() override {
        savedCwd = Cwd();
        char tmpl[] = "/tmp/fxpathsXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        char resolved[PATH_MAX];
        ASSERT_NE(nullptr, realpath(tmpl, resolved));
        root = resolved;
        ASSERT_EQ(0, mkdir((root + "/sub").c_str(), 0700));
        FILE* f = fopen((root + "/sub/file.txt").c_str(), "w");
        ASSERT_NE(nullptr, f);
        fclose(f);
        fxInitPaths();
    }

    void TearDown() override {
        EXPECT_EQ(0, chdir(savedCwd.c_str()));
        unlink((root + "/sub/file.txt").c_str());
        rmdir((root + "/sub").c_str());
        rmdir(root.c_str());
        fxInitPaths();
    }
};

} // namespace

TEST_F(PathsTest, InitStoresCurrentAndFontsFolders) {
    EXPECT_EQ(Cwd() + "/", Str(fxGetTypePath(FXPATH_START)));
    struct stat st;
    const bool fonts = stat("/usr/share/fonts/", &st) == 0 && S_ISDIR(st.st_mode);
    EXPECT_EQ(fonts ? "/usr/share/fonts/" : "/", Str(fxGetTypePath(FXPATH_SYSFONTS)));
    EXPECT_EQ(nullptr, fxGetTypePath(0));
    EXPECT_EQ(nullptr, fxGetTypePath(3));
}

TEST_F(PathsTest, TypePathsGetAnEndingInTheirOwnStyle) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", "/"},         {"a/b", "a/b/"},  {"a\\b", "a\\b\\"},   {"a\\b/c", "a\\b/c/"},
        {"name", "name/"}, {"a/b/", "a/b/"}, {"a\\b\\", "a\\b\\"}, {"a/b\\", "a/b\\"},
    };
    for (const auto& c : cases) {
        fxSetTypePath(FXPATH_START, c.in);
        EXPECT_EQ(c.out, Str(fxGetTypePath(FXPATH_START))) << "in: " << c.in;
    }
    fxSetTypePath(FXPATH_SYSFONTS, "/fonts");
    EXPECT_EQ("/fonts/", Str(fxGetTypePath(FXPATH_SYSFONTS)));

    // Unknown types change nothing.
    fxSetTypePath(3, "/elsewhere");
    fxSetTypePath(0, "/elsewhere");
    EXPECT_EQ("a/b\\", Str(fxGetTypePath(FXPATH_START)));
    EXPECT_EQ("/fonts/", Str(fxGetTypePath(FXPATH_SYSFONTS)));

    // Only the first 259 characters are kept, then the ending is added.
    const std::string longPath(300, 'x');
    fxSetTypePath(FXPATH_START, longPath.c_str());
    EXPECT_EQ(std::string(259, 'x') + "/", Str(fxGetTypePath(FXPATH_START)));
}

TEST_F(PathsTest, SetPathChangesToTheTypeFolders) {
    fxSetTypePath(FXPATH_START, root.c_str());
    EXPECT_TRUE(fxSetPath(FXPATH_START));
    EXPECT_EQ(root, Cwd());
    EXPECT_EQ(root + "/", Str(fxGetActPath()));

    // No folder for an unknown type: fails, the current folder stays.
    EXPECT_FALSE(fxSetPath(7));
    EXPECT_EQ(root, Cwd());

    EXPECT_TRUE(fxSetSubPath(FXPATH_START, "sub"));
    EXPECT_EQ(root + "/sub", Cwd());
    EXPECT_EQ(root + "/sub/", Str(fxGetActPath()));

    // A leading separator does not send the sub folder to the root.
    ASSERT_EQ(0, chdir("/"));
    EXPECT_TRUE(fxSetSubPath(FXPATH_START, "/sub"));
    EXPECT_EQ(root + "/sub", Cwd());
    EXPECT_TRUE(fxSetSubPath(FXPATH_START, "sub/.."));
    EXPECT_EQ(root, Cwd());

    EXPECT_FALSE(fxSetSubPath(FXPATH_START, "missing"));
    EXPECT_EQ(root, Cwd());

    EXPECT_TRUE(fxSetActPath("sub"));
    EXPECT_EQ(root + "/sub", Cwd());
    EXPECT_FALSE(fxSetActPath("sub/file.txt"));
    EXPECT_FALSE(fxSetActPath(nullptr));
    EXPECT_EQ(root + "/sub", Cwd());

    // An empty start folder is the root once made current.
    fxSetTypePath(FXPATH_START, "");
    EXPECT_TRUE(fxSetPath(FXPATH_START));
    EXPECT_EQ("/", Cwd());
    EXPECT_EQ("/", Str(fxGetActPath()));
}

TEST_F(PathsTest, CombineJoinsAndResolvesDotSegments) {
    const struct {
        const char* folder;
        const char* file;
        const char* out;
    } cases[] = {
        {"a", "b", "a/b"},
        {"a/", "b", "a/b"},
        {"/x/y", "/f.txt", "/x/y/f.txt"}, // the leading separator is dropped
        {"/x/y/", "//f.txt", "/x/y/f.txt"},
        {"a\\b", "c\\d", "a/b/c/d"},
        {"/a/./b/", "./c/", "/a/b/c/"},
        {"/x/y/", "../z", "/x/z"},
        {"/x", "../../z", "/z"},
        {"/", "..", "/"},
        {"a", "../../b", "../b"},
        {"../a", "../..", "../.."},
        {"a/b", "..", "a"},
        {"a", "..", "."},
        {"", "f", "f"},
        {"", "/f", "f"},
        {"/x/", "", "/x/"},
        {"", "", "."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, Str(fxCombinePaths(c.folder, c.file))) << c.folder << " + " << c.file;
    }
    EXPECT_EQ("f", Str(fxCombinePaths(nullptr, "f")));
    EXPECT_EQ("/x/", Str(fxCombinePaths("/x/", nullptr)));

    // The previous result as input.
    const char* ab = fxCombinePaths("/a", "b");
    EXPECT_EQ("/a/b/c", Str(fxCombinePaths(ab, "c")));
    EXPECT_EQ("/a/b/c/d", Str(fxCombinePaths("/a", fxCombinePaths("b", "c/d"))));
}

TEST_F(PathsTest, CombineRefusesResultsOver259Characters) {
    const std::string folder = "/" + std::string(200, 'a');
    const std::string file57(57, 'b');
    const char* fits = fxCombinePaths(folder.c_str(), file57.c_str());
    ASSERT_NE(nullptr, fits);
    EXPECT_EQ(259u, strlen(fits));
    EXPECT_EQ(nullptr, fxCombinePaths(folder.c_str(), (file57 + "b").c_str()));

    // Long inputs are fine when the result is short.
    const std::string longFolder = "/" + std::string(400, 'a');
    EXPECT_EQ("/b", Str(fxCombinePaths(longFolder.c_str(), "../b")));
}

TEST_F(PathsTest, RelativePathsFromFoldersAndFiles) {
    const struct {
        const char* from;
        bool fromIsFile;
        const char* to;
        bool toIsFile;
        const char* out;
    } cases[] = {
        {"/a/b", false, "/a/b/c/d.txt", true, "./c/d.txt"}, // no trailing separator needed
        {"/a/b/", false, "/a/b/c/d.txt", true, "./c/d.txt"},
        {"/a/b/f.txt", true, "/a/b/g.txt", true, "./g.txt"},
        {"/a/b/f.txt", true, "/a/b/f.txt", true, "./f.txt"},
        {"/a/b", false, "/a/c/d", false, "../c/d"},
        {"/a/b/c", false, "/x", false, "../../../x"},
        {"/a/b", false, "/a/b", false, "."},
        {"/a/b/", false, "/a", false, ".."},
        {"/a/b/f.txt", true, "/a/b", false, "."},
        {"/a/B", false, "/a/b/x", true, "../b/x"}, // names are case-sensitive
        {"/a/b/../c", false, "/a/c/d", true, "./d"},
        {"/", false, "/a", true, "./a"},
        {"/a\\b", false, "/a/b/c", true, "./c"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, Str(fxBuildRelativePath(c.from, c.fromIsFile, c.to, c.toIsFile))) << c.from << " -> " << c.to;
    }
}

TEST_F(PathsTest, RelativePathsResolveAgainstTheCurrentFolder) {
    ASSERT_EQ(0, chdir(root.c_str()));
    EXPECT_EQ("./sub/file.txt", Str(fxBuildRelativePath(".", false, "sub/file.txt", true)));
    EXPECT_EQ("./file.txt", Str(fxBuildRelativePath("sub", false, "sub/file.txt", true)));
    EXPECT_EQ("./file.txt", Str(fxBuildRelativePath((root + "/sub").c_str(), false, "sub/file.txt", true)));
    EXPECT_EQ("..", Str(fxBuildRelativePath("sub/file.txt", true, root.c_str(), false)));

    // Failures return to itself.
    const std::string longTo = "/" + std::string(300, 'z');
    EXPECT_EQ(longTo.c_str(), fxBuildRelativePath("/", false, longTo.c_str(), true));
    const std::string longFrom = "/" + std::string(300, 'z');
    const char* to = "/a/b";
    EXPECT_EQ(to, fxBuildRelativePath(longFrom.c_str(), false, to, true));
    EXPECT_EQ(nullptr, fxBuildRelativePath("/a", false, nullptr, true));

    // to held in the shared buffer survives a failure.
    const char* shared = fxCombinePaths("/a", "b");
    EXPECT_EQ("/a/b", Str(fxBuildRelativePath(longFrom.c_str(), false, shared, true)));
    EXPECT_EQ("./b", Str(fxBuildRelativePath("/a", false, fxCombinePaths("/a", "b"), true)));
}

TEST_F(PathsTest, FilenameIsThePartAfterTheLastSeparator) {
    const char* p = "dir/sub\\name.txt";
    EXPECT_EQ(p + 8, fxGetFilename(p));
    const char* q = "name";
    EXPECT_EQ(q, fxGetFilename(q));
    const char* r = "dir/";
    EXPECT_EQ(r + 4, fxGetFilename(r));
    EXPECT_EQ(nullptr, fxGetFilename(nullptr));
}

TEST_F(PathsTest, PathExistsChecksRealFiles) {
    EXPECT_TRUE(fxPathExists(root.c_str()));
    EXPECT_TRUE(fxPathExists((root + "/sub/file.txt").c_str()));
    EXPECT_FALSE(fxPathExists((root + "/sub/none.txt").c_str()));
    EXPECT_FALSE(fxPathExists(""));
    EXPECT_FALSE(fxPathExists(nullptr));
}

// The services tools and benchmarks use instead of calling the system themselves.
TEST_F(PathsTest, FileSizesFoldersAndTemporaryFolders) {
    const std::string file = root + "/sub/file.txt";
    EXPECT_EQ(fxGetFileSize(file.c_str()), 0);
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fputs("12345", f);
    fclose(f);
    EXPECT_EQ(fxGetFileSize(file.c_str()), 5);
    EXPECT_EQ(fxGetFileSize((root + "/sub").c_str()), -1);
    EXPECT_EQ(fxGetFileSize((root + "/none").c_str()), -1);
    EXPECT_EQ(fxGetFileSize(nullptr), -1);
    EXPECT_TRUE(fxIsFolder((root + "/sub").c_str()));
    EXPECT_FALSE(fxIsFolder(file.c_str()));
    EXPECT_FALSE(fxIsFolder(nullptr));

    // Each call makes a new folder; it is removed only while empty.
    const char* saved = getenv("TMPDIR");
    std::string savedTmp = saved != nullptr ? saved : "";
    setenv("TMPDIR", root.c_str(), 1);
    char a[FX_MAX_PATH], b[FX_MAX_PATH], tiny[8];
    bool madeA = fxCreateTempFolder("probe", a, sizeof(a));
    bool madeB = fxCreateTempFolder("probe", b, sizeof(b));
    bool madeTiny = fxCreateTempFolder("probe", tiny, sizeof(tiny));
    if (saved != nullptr) {
        setenv("TMPDIR", savedTmp.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    ASSERT_TRUE(madeA);
    ASSERT_TRUE(madeB);
    EXPECT_FALSE(madeTiny);
    EXPECT_STRNE(a, b);
    EXPECT_EQ(std::string(a).rfind(root + "/probe-", 0), 0u) << a;
    EXPECT_TRUE(fxIsFolder(a));
    const std::string inside = std::string(a) + "/x";
    f = fopen(inside.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fclose(f);
    EXPECT_FALSE(fxRemoveFolder(a));
    EXPECT_EQ(0, unlink(inside.c_str()));
    EXPECT_TRUE(fxRemoveFolder(a));
    EXPECT_TRUE(fxRemoveFolder(b));
    EXPECT_FALSE(fxIsFolder(a));
    EXPECT_FALSE(fxRemoveFolder(a));
}

TEST_F(PathsTest, ReplaceFileMovesTheFinishedFileOverTheOldOne) {
    const std::string target = root + "/sub/file.txt";
    const std::string tmp = target + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fputs("new", f);
    fclose(f);
    EXPECT_TRUE(fxReplaceFile(tmp.c_str(), target.c_str()));
    EXPECT_FALSE(fxPathExists(tmp.c_str()));
    char text[8] = {0};
    f = fopen(target.c_str(), "r");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(fread(text, 1, sizeof(text) - 1, f), 3u);
    fclose(f);
    EXPECT_STREQ(text, "new");

    // A folder in the way is not replaced; the finished file stays for the caller to remove.
    f = fopen(tmp.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fclose(f);
    EXPECT_FALSE(fxReplaceFile(tmp.c_str(), (root + "/sub").c_str()));
    EXPECT_TRUE(fxPathExists((root + "/sub").c_str()));
    EXPECT_TRUE(fxPathExists(tmp.c_str()));
    EXPECT_EQ(0, unlink(tmp.c_str()));
    EXPECT_FALSE(fxReplaceFile(nullptr, target.c_str()));
    EXPECT_FALSE(fxReplaceFile(tmp.c_str(), nullptr));
    EXPECT_TRUE(fxPathExists(target.c_str()));
}

TEST_F(PathsTest, ChangeExtReplacesTheLastExtensionOfTheName) {
    const struct {
        const char* path;
        const char* ext;
        const char* out;
    } cases[] = {
        {"a/b.txt", "bak", "a/b.bak"}, {"a/b.txt", ".bak", "a/b.bak"}, {"b", "txt", "b.txt"},
        {"a.d/b", "x", "a.d/b.x"},     {"b.tar.gz", "x", "b.tar.x"},   {"a\\b.txt", "png", "a\\b.png"},
        {"a/b.txt", "", "a/b"},        {".hidden", "x", ".x"},         {"dir/", "x", "dir/.x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, Str(fxChangeExt(c.path, c.ext))) << c.path << " " << c.ext;
    }
    EXPECT_EQ("a/b", Str(fxChangeExt("a/b.txt", nullptr)));
    EXPECT_EQ(nullptr, fxChangeExt(nullptr, "x"));

    // The result is limited to 259 characters, each piece to 255.
    const std::string name(250, 'n');
    EXPECT_EQ(name + ".abcdefgh", Str(fxChangeExt((name + ".txt").c_str(), "abcdefgh")));
    EXPECT_EQ(nullptr, fxChangeExt((name + ".txt").c_str(), "abcdefghi"));
    EXPECT_EQ(nullptr, fxChangeExt((std::string(256, 'd') + "/b.txt").c_str(), "x"));
    EXPECT_EQ(nullptr, fxChangeExt("b.txt", std::string(300, 'e').c_str()));
}

TEST_F(PathsTest, AppendGoesBeforeTheExtension) {
    EXPECT_EQ("a/b_x.txt", Str(fxAppenfFname("a/b.txt", "_x")));
    EXPECT_EQ("b_x", Str(fxAppenfFname("b", "_x")));
    EXPECT_EQ("a.d\\b_x", Str(fxAppenfFname("a.d\\b", "_x")));
    EXPECT_EQ("b.tar_x.gz", Str(fxAppenfFname("b.tar.gz", "_x")));
    EXPECT_EQ("a/b.txt", Str(fxAppenfFname("a/b.txt", nullptr)));
    EXPECT_EQ(nullptr, fxAppenfFname(nullptr, "_x"));

    // Chained through the shared buffer.
    EXPECT_EQ("a/b_x.png", Str(fxChangeExt(fxAppenfFname("a/b.txt", "_x"), "png")));
    EXPECT_EQ("a/b_x_y.txt", Str(fxAppenfFname(fxAppenfFname("a/b.txt", "_x"), "_y")));

    const std::string name(255, 'n');
    EXPECT_EQ(nullptr, fxAppenfFname((name + ".txt").c_str(), "_x"));
    EXPECT_EQ(nullptr, fxAppenfFname("b.txt", std::string(256, 's').c_str()));
}
