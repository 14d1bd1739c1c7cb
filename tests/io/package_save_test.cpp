#include "io/package.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "support/test_files.h"

namespace {

FXBytes EntryBytes(FXPackage* pkg, int id) {
    FXPackageData* d = pkg->GetDataPtr(id);
    if (d == nullptr) {
        return FXBytes();
    }
    return FXBytes(d->start, d->start + d->total);
}

// Three source files of different kinds in a fresh folder.
struct Sources {
    FXTestDir dir;
    FXBytes jpg = fxTestPattern(300, 11);
    FXBytes tiff = fxTestPattern(17, 12);
    FXBytes empty;

    Sources() {
        fxTestWriteFile(dir.File("a.JPG"), jpg);
        fxTestWriteFile(dir.File("b.tiff"), tiff);
        fxTestWriteFile(dir.File("c.png"), empty);
    }
    void Queue(FXPackage* pkg) const {
        pkg->AddDataFile(20, dir.File("a.JPG").c_str());
        pkg->AddDataFile(4, dir.File("b.tiff").c_str());
        pkg->AddDataFile(9, dir.File("c.png").c_str());
    }
};

} // namespace

TEST(PackageSaveTest, WritesTheFileLayout) {
    Sources src;
    FXPackage pkg;
    src.Queue(&pkg);
    std::string out = src.dir.File("out.dat");
    ASSERT_TRUE(pkg.Save(out.c_str(), 0));

    FXBytes want;
    fxTestPutStr(&want, "pck01");
    const int32_t lists[4][3] = {{20, 4, 9}, {0, 300, 317}, {300, 17, 0}, {1061, -1, 1066}};
    for (const auto& list : lists) {
        fxTestPutI32(&want, 3);
        for (int32_t v : list) {
            fxTestPutI32(&want, v);
        }
    }
    fxTestPutBytes(&want, src.jpg);
    fxTestPutBytes(&want, src.tiff);
    FXBytes got;
    ASSERT_TRUE(fxTestReadFile(out, &got));
    EXPECT_EQ(got, want);
    // No temporary file is left beside it.
    for (const std::string& name : fxTestListDir(src.dir.path)) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
}

TEST(PackageSaveTest, SavedPackageIsServedAtOnceAndAfterLoading) {
    Sources src;
    FXPackage pkg;
    src.Queue(&pkg);
    std::string out = src.dir.File("out.dat");
    ASSERT_TRUE(pkg.Save(out.c_str(), 0));
    EXPECT_EQ(pkg.pendingIds.size, 0);
    EXPECT_EQ(pkg.pendingFiles.size, 0);
    EXPECT_EQ(EntryBytes(&pkg, 20), src.jpg);
    EXPECT_EQ(EntryBytes(&pkg, 4), src.tiff);
    EXPECT_EQ(pkg.GetDataType(20), 1061);
    EXPECT_EQ(pkg.GetDataType(4), -1);
    EXPECT_EQ(pkg.GetDataType(9), 1066);

    FXPackage back;
    ASSERT_TRUE(back.Load(out.c_str()));
    EXPECT_EQ(back.GetEntryCount(), 3);
    EXPECT_EQ(EntryBytes(&back, 20), src.jpg);
    EXPECT_EQ(EntryBytes(&back, 4), src.tiff);
    ASSERT_NE(back.GetDataPtr(9), nullptr);
    EXPECT_EQ(back.GetDataPtr(9)->total, 0);
    EXPECT_EQ(back.nameServer.baseId, 21);
}

TEST(PackageSaveTest, ScrambledPackageLoadsToTheSameEntries) {
    Sources src;
    FXPackage plain, scrambled;
    src.Queue(&plain);
    src.Queue(&scrambled);
    std::string p = src.dir.File("p.dat"), s = src.dir.File("s.dat");
    ASSERT_TRUE(plain.Save(p.c_str(), 0));
    ASSERT_TRUE(scrambled.Save(s.c_str(), FXPACKAGE_SCRAMBLE));
    FXBytes pb, sb;
    ASSERT_TRUE(fxTestReadFile(p, &pb));
    ASSERT_TRUE(fxTestReadFile(s, &sb));
    ASSERT_EQ(sb.size(), pb.size() + 1);
    EXPECT_EQ(fxTestGetI32(sb, 0), 6);
    EXPECT_EQ(std::string(sb.begin() + 4, sb.begin() + 10), "pck01s");
    // The scrambled body is the transposed plain body.
    FXBytes body(pb.begin() + 9, pb.end());
    fxTransposeBody(body.data(), (int)body.size());
    EXPECT_EQ(FXBytes(sb.begin() + 10, sb.end()), body);
    EXPECT_NE(FXBytes(sb.begin() + 10, sb.end()), FXBytes(pb.begin() + 9, pb.end()));

    FXPackage a, b;
    ASSERT_TRUE(a.Load(p.c_str()));
    ASSERT_TRUE(b.Load(s.c_str()));
    ASSERT_EQ(a.GetEntryCount(), b.GetEntryCount());
    for (int i = 0; i < a.GetEntryCount(); i++) {
        int id = a.entryIds.GetInt(i);
        EXPECT_EQ(b.entryIds.GetInt(i), id);
        EXPECT_EQ(b.GetDataType(id), a.GetDataType(id));
        EXPECT_EQ(EntryBytes(&b, id), EntryBytes(&a, id));
    }
}

TEST(PackageSaveTest, SameInputsGiveTheSameBytes) {
    Sources src;
    FXBytes first, second;
    for (int round = 0; round < 2; round++) {
        FXPackage pkg;
        src.Queue(&pkg);
        std::string out = src.dir.File("r" + std::to_string(round) + ".dat");
        ASSERT_TRUE(pkg.Save(out.c_str(), FXPACKAGE_SCRAMBLE));
        ASSERT_TRUE(fxTestReadFile(out, round == 0 ? &first : &second));
    }
    EXPECT_EQ(first, second);
}

TEST(PackageSaveTest, QueuedFilesAreAppendedToALoadedPackage) {
    Sources src;
    FXPackage pkg;
    pkg.AddDataFile(20, src.dir.File("a.JPG").c_str());
    std::string one = src.dir.File("one.dat"), two = src.dir.File("two.dat"), same = src.dir.File("same.dat");
    ASSERT_TRUE(pkg.Save(one.c_str(), 0));

    FXPackage loaded;
    ASSERT_TRUE(loaded.Load(one.c_str()));
    ASSERT_TRUE(loaded.Save(same.c_str(), 0));
    FXBytes a, b;
    ASSERT_TRUE(fxTestReadFile(one, &a));
    ASSERT_TRUE(fxTestReadFile(same, &b));
    EXPECT_EQ(a, b);

    loaded.AddDataFile(4, src.dir.File("b.tiff").c_str());
    ASSERT_TRUE(loaded.Save(two.c_str(), 0));
    EXPECT_EQ(loaded.GetEntryCount(), 2);
    EXPECT_EQ(loaded.entryIds.GetInt(1), 4);
    EXPECT_EQ(loaded.entryOffsets.GetInt(1), 300);
    EXPECT_EQ(EntryBytes(&loaded, 20), src.jpg);
    EXPECT_EQ(EntryBytes(&loaded, 4), src.tiff);
    FXPackage back;
    ASSERT_TRUE(back.Load(two.c_str()));
    EXPECT_EQ(EntryBytes(&back, 20), src.jpg);
    EXPECT_EQ(EntryBytes(&back, 4), src.tiff);
}

TEST(PackageSaveTest, UnreadableQueuedFileFailsAndLeavesEverythingAsItWas) {
    Sources src;
    std::string out = src.dir.File("out.dat");
    FXBytes old = fxTestPattern(64, 5);
    ASSERT_TRUE(fxTestWriteFile(out, old));

    FXPackage pkg;
    pkg.AddDataFile(1, src.dir.File("a.JPG").c_str());
    ASSERT_TRUE(pkg.Save(src.dir.File("base.dat").c_str(), 0));
    pkg.AddDataFile(2, src.dir.File("b.tiff").c_str());
    pkg.AddDataFile(3, src.dir.File("missing.png").c_str());
    EXPECT_FALSE(pkg.Save(out.c_str(), 0));
    FXPackage folder;
    folder.AddDataFile(4, src.dir.path.c_str()); // a folder opens but is no file to read
    EXPECT_FALSE(folder.Save(out.c_str(), 0));

    FXBytes got;
    ASSERT_TRUE(fxTestReadFile(out, &got));
    EXPECT_EQ(got, old);
    for (const std::string& name : fxTestListDir(src.dir.path)) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
    EXPECT_EQ(pkg.GetEntryCount(), 1);
    EXPECT_EQ(EntryBytes(&pkg, 1), src.jpg);
    EXPECT_EQ(pkg.pendingIds.size, 2);

    // Once the file is there, the same queue saves.
    pkg.pendingIds.RemoveAll();
    pkg.pendingFiles.RemoveAll();
    pkg.AddDataFile(2, src.dir.File("b.tiff").c_str());
    FXBytes late = fxTestPattern(9, 77);
    ASSERT_TRUE(fxTestWriteFile(src.dir.File("missing.png"), late));
    pkg.AddDataFile(3, src.dir.File("missing.png").c_str());
    ASSERT_TRUE(pkg.Save(out.c_str(), 0));
    FXPackage back;
    ASSERT_TRUE(back.Load(out.c_str()));
    EXPECT_EQ(back.GetEntryCount(), 3);
    EXPECT_EQ(EntryBytes(&back, 3), late);
    EXPECT_EQ(back.GetDataType(3), 1066);
}

TEST(PackageSaveTest, UnwritableTargetFails) {
    Sources src;
    FXPackage pkg;
    src.Queue(&pkg);
    EXPECT_FALSE(pkg.Save(src.dir.File("no/such/folder/out.dat").c_str(), 0));
    EXPECT_FALSE(pkg.Save("", 0));
    EXPECT_FALSE(pkg.Save(nullptr, 0));
    EXPECT_EQ(pkg.GetEntryCount(), 0);
    EXPECT_EQ(pkg.pendingIds.size, 3);
    // A folder in the way of the target is not replaced.
    ASSERT_EQ(mkdir(src.dir.File("taken").c_str(), 0700), 0);
    EXPECT_FALSE(pkg.Save(src.dir.File("taken").c_str(), 0));
    EXPECT_TRUE(fxTestFileExists(src.dir.File("taken")));
    EXPECT_FALSE(fxTestFileExists(src.dir.File("taken.tmp")));
}

TEST(PackageSaveTest, AddDataFile1QueuesEachNameOnce) {
    FXPackage pkg;
    pkg.nameServer.baseId = 30;
    FXStr a("textures/earth.png");
    FXStr b("textures/earth.png");
    FXStr c("models/ship.xm");
    pkg.AddDataFile1(&a);
    pkg.AddDataFile1(&b);
    pkg.AddDataFile1(&c);
    EXPECT_STREQ(a.chars, "30");
    EXPECT_STREQ(b.chars, "30");
    EXPECT_STREQ(c.chars, "31");
    ASSERT_EQ(pkg.pendingIds.size, 2);
    EXPECT_EQ(pkg.pendingIds.GetInt(0), 30);
    EXPECT_STREQ(pkg.pendingFiles.elements[0], "textures/earth.png");
    EXPECT_EQ(pkg.pendingIds.GetInt(1), 31);
    FXStr empty;
    pkg.AddDataFile1(&empty);
    pkg.AddDataFile1(nullptr);
    EXPECT_EQ(pkg.pendingIds.size, 2);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(PackageSaveTest, TemporaryFilesAreRemovedOnRequest) {
    FXTestDir dir;
    ASSERT_TRUE(fxTestWriteText(dir.File("t1"), "x"));
    ASSERT_TRUE(fxTestWriteText(dir.File("t2"), "y"));
    FXPackage pkg;
    pkg.AddTmpFile(dir.File("t1").c_str());
    pkg.AddTmpFile(dir.File("gone").c_str()); // failures are ignored
    pkg.AddTmpFile(dir.File("t2").c_str());
    pkg.DeleteTmpFiles();
    EXPECT_FALSE(fxTestFileExists(dir.File("t1")));
    EXPECT_FALSE(fxTestFileExists(dir.File("t2")));
    EXPECT_EQ(pkg.tmpFiles.size, 0);
}

// ---------------------------------------------------------------------------------------------
// Names file and names header

TEST(PackageNamesTest, NamesFileRoundTrip) {
    FXTestDir dir;
    FXPackage pkg;
    pkg.nameServer.BuildId("a");
    pkg.nameServer.BuildId("");
    pkg.nameServer.BuildId("bc");
    std::string path = dir.File("names.bin");
    ASSERT_TRUE(pkg.SaveNames(path.c_str()));
    FXBytes want;
    fxTestPutI32(&want, 3);
    fxTestPutStr(&want, "a");
    fxTestPutStr(&want, "");
    fxTestPutStr(&want, "bc");
    FXBytes got;
    ASSERT_TRUE(fxTestReadFile(path, &got));
    EXPECT_EQ(got, want);

    FXPackage other;
    other.nameServer.baseId = 8;
    other.nameServer.BuildId("replaced");
    ASSERT_TRUE(other.LoadNames(path.c_str()));
    EXPECT_EQ(other.nameServer.baseId, 8);
    ASSERT_EQ(other.nameServer.names.size, 3);
    EXPECT_EQ(other.nameServer.FindId("bc"), 10);
    EXPECT_EQ(other.nameServer.FindId("replaced"), -1);
}

TEST(PackageNamesTest, DamagedNamesFileChangesNothing) {
    FXTestDir dir;
    FXBytes good;
    fxTestPutI32(&good, 2);
    fxTestPutStr(&good, "first");
    fxTestPutStr(&good, "second");
    FXPackage pkg;
    pkg.nameServer.BuildId("mine");
    for (size_t cut = 0; cut < good.size(); cut++) {
        ASSERT_TRUE(fxTestWriteFile(dir.File("n.bin"), FXBytes(good.begin(), good.begin() + cut)));
        EXPECT_FALSE(pkg.LoadNames(dir.File("n.bin").c_str())) << cut;
        ASSERT_EQ(pkg.nameServer.names.size, 1);
        EXPECT_STREQ(pkg.nameServer.names.elements[0], "mine");
    }
    FXBytes huge;
    fxTestPutI32(&huge, 1);
    fxTestPutI32(&huge, 0x7fffffff);
    ASSERT_TRUE(fxTestWriteFile(dir.File("n.bin"), huge));
    EXPECT_FALSE(pkg.LoadNames(dir.File("n.bin").c_str()));
    EXPECT_FALSE(pkg.LoadNames(dir.File("missing").c_str()));
    EXPECT_EQ(pkg.nameServer.names.size, 1);
}

TEST(PackageNamesTest, HeaderLines) {
    FXTestDir dir;
    FXPackage pkg;
    pkg.nameServer.baseId = 3;
    pkg.nameServer.BuildId("models/ship-1.xm");
    pkg.nameServer.BuildId("textures\\earth map(1).png");
    pkg.nameServer.BuildId("");
    pkg.nameServer.BuildId("x+y [z].Tga");
    std::string path = dir.File("names.h");
    ASSERT_TRUE(pkg.SaveNamesCpp(path.c_str()));
    FXBytes got;
    ASSERT_TRUE(fxTestReadFile(path, &got));
    EXPECT_EQ(std::string(got.begin(), got.end()), "#define FXNAME_SHIP_1_XM  3\n"
                                                   "#define FXNAME_EARTH_MAP_1__PNG  4\n"
                                                   "#define FXNAME_X_Y__Z__TGA  6\n");
    EXPECT_FALSE(pkg.SaveNamesCpp(dir.File("no/such/names.h").c_str()));
    EXPECT_FALSE(pkg.SaveNames(dir.File("no/such/names.bin").c_str()));
}
