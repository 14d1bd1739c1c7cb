#include "io/package.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

struct HandEntry {
    int32_t id;
    int32_t type;
    FXBytes bytes;
};

// The body of a package as the file layout describes it: four counted int lists, then the data.
FXBytes HandBody(const std::vector<HandEntry>& entries) {
    FXBytes body;
    int32_t n = (int32_t)entries.size();
    fxTestPutI32(&body, n);
    for (const HandEntry& e : entries) {
        fxTestPutI32(&body, e.id);
    }
    fxTestPutI32(&body, n);
    int32_t offset = 0;
    for (const HandEntry& e : entries) {
        fxTestPutI32(&body, offset);
        offset += (int32_t)e.bytes.size();
    }
    fxTestPutI32(&body, n);
    for (const HandEntry& e : entries) {
        fxTestPutI32(&body, (int32_t)e.bytes.size());
    }
    fxTestPutI32(&body, n);
    for (const HandEntry& e : entries) {
        fxTestPutI32(&body, e.type);
    }
    for (const HandEntry& e : entries) {
        fxTestPutBytes(&body, e.bytes);
    }
    return body;
}

// Written out straight from the layout, independent of the engine's own transposition.
FXBytes NaiveTranspose(const FXBytes& in) {
    size_t n = 0;
    while ((n + 1) * (n + 1) <= in.size()) {
        n++;
    }
    FXBytes out = in;
    for (size_t r = 0; r < n; r++) {
        for (size_t c = 0; c < n; c++) {
            out[r * n + c] = in[c * n + r];
        }
    }
    return out;
}

FXBytes HandPackage(const FXBytes& body, const std::string& magic) {
    FXBytes file;
    fxTestPutStr(&file, magic);
    fxTestPutBytes(&file, body);
    return file;
}

FXBytes EntryBytes(FXPackage* pkg, int id) {
    FXPackageData* d = pkg->GetDataPtr(id);
    if (d == nullptr) {
        return FXBytes();
    }
    return FXBytes(d->start, d->start + d->total);
}

std::vector<HandEntry> SampleEntries() {
    return {
        {7, FXDATA_PNG, fxTestPattern(100, 1)},
        {3, FXDATA_OTHER, fxTestPattern(37, 2)},
        {12, FXDATA_JPG, fxTestPattern(1, 3)},
        {5, FXDATA_OTHER, FXBytes()},
    };
}

void ExpectEntries(FXPackage* pkg, const std::vector<HandEntry>& entries) {
    ASSERT_EQ(pkg->GetEntryCount(), (int)entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        EXPECT_EQ(pkg->entryIds.GetInt((int)i), entries[i].id);
        EXPECT_EQ(pkg->GetDataType(entries[i].id), entries[i].type) << "id " << entries[i].id;
        EXPECT_EQ(EntryBytes(pkg, entries[i].id), entries[i].bytes) << "id " << entries[i].id;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reader

TEST(PackageDataTest, ReadsLittleEndianValuesInOrder) {
    FXBytes b;
    fxTestPutI32(&b, -123456789);
    fxTestPutF32(&b, 1.5f);
    fxTestPutF64(&b, -2.25);
    b.push_back(1);
    b.push_back(2);
    fxTestPutF32(&b, 1.0f);
    fxTestPutF32(&b, 2.0f);
    fxTestPutF32(&b, 3.0f);
    fxTestPutF32(&b, 4.0f);
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    EXPECT_EQ(d.ReadInt(), -123456789);
    EXPECT_EQ(d.ReadFloat(), 1.5f);
    EXPECT_EQ(d.ReadDouble(), -2.25);
    EXPECT_TRUE(d.ReadBool());
    EXPECT_FALSE(d.ReadBool()); // only the byte 1 is true
    float f4[4] = {0, 0, 0, 0};
    d.ReadFloat4(f4);
    EXPECT_EQ(f4[0], 1.0f);
    EXPECT_EQ(f4[3], 4.0f);
    EXPECT_EQ(d.remaining, 0);
    d.Reseek();
    EXPECT_EQ(d.remaining, d.total);
    EXPECT_EQ(d.ReadInt(), -123456789);
}

TEST(PackageDataTest, ShortReadsAnswerNeutralValuesAndStayInPlace) {
    uint8_t b[3] = {1, 2, 3};
    FXPackageData d;
    d.InitData(b, 3);
    EXPECT_EQ(d.ReadInt(), 0);
    EXPECT_EQ(d.ReadFloat(), 0.0f);
    EXPECT_EQ(d.ReadDouble(), 0.0);
    float f4[4] = {9, 9, 9, 9};
    d.ReadFloat4(f4);
    EXPECT_EQ(f4[0], 9.0f);
    EXPECT_EQ(d.ReadBlc(4), nullptr);
    EXPECT_EQ(d.ReadBlc(-1), nullptr);
    EXPECT_EQ(d.ReadBlc(INT_MAX), nullptr);
    uint8_t dst[4] = {7, 7, 7, 7};
    EXPECT_EQ(d.ReadCopyBlc(dst, 4), nullptr);
    EXPECT_EQ(dst[0], 7);
    d.WriteInt(42);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(d.remaining, 3);
    EXPECT_EQ(d.cursor, b);
    // The three bytes are still there to read.
    EXPECT_EQ(d.ReadCopyBlc(dst, 3), (void*)b);
    EXPECT_EQ(dst[2], 3);
    EXPECT_FALSE(d.ReadBool());
}

TEST(PackageDataTest, WriteIntAndBlocks) {
    uint8_t b[8] = {0};
    FXPackageData d;
    d.InitData(b, 8);
    d.WriteInt(0x01020304);
    EXPECT_EQ(b[0], 4);
    EXPECT_EQ(b[3], 1);
    uint8_t* p = (uint8_t*)d.ReadBlc(4);
    EXPECT_EQ(p, b + 4);
    EXPECT_NE(d.ReadBlc(0), nullptr); // an empty block fits at the end
    d.InitData(nullptr, 5);
    EXPECT_EQ(d.total, 0);
    EXPECT_EQ(d.ReadBlc(0), nullptr);
}

TEST(PackageDataTest, StringsKeepTheStoredForm) {
    FXBytes b;
    fxTestPutStr(&b, "abc");
    fxTestPutStr(&b, "");
    fxTestPutI32(&b, -5); // negative length reads as empty
    fxTestPutStr(&b, std::string(2000, 'x'));
    fxTestPutI32(&b, 77);
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    FXStr s("old");
    d.ReadString(&s);
    EXPECT_STREQ(s.chars, "abc");
    EXPECT_EQ(s.length, 3);
    d.ReadString(&s);
    EXPECT_TRUE(s.IsEmpty());
    d.ReadString(&s);
    EXPECT_TRUE(s.IsEmpty());
    // Too long for the string: the first 1023 characters are kept, the record is skipped whole.
    d.ReadString(&s);
    EXPECT_EQ(s.length, 1023);
    EXPECT_EQ(strlen(s.chars), 1023u);
    EXPECT_EQ(d.ReadInt(), 77);
}

TEST(PackageDataTest, StringLongerThanWhatIsLeftReadsNothing) {
    FXBytes b;
    fxTestPutI32(&b, 10);
    b.push_back('a');
    b.push_back('b');
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    FXStr s("old");
    d.ReadString(&s);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(d.remaining, 6);
    fxTestPutI32(&b, 0);
    FXBytes huge;
    fxTestPutI32(&huge, INT_MAX);
    d.InitData(huge.data(), (int)huge.size());
    d.ReadString(&s);
    EXPECT_EQ(d.remaining, 4);
}

TEST(PackageDataTest, StringArrays) {
    FXBytes b;
    fxTestPutI32(&b, 3);
    fxTestPutStr(&b, "a");
    fxTestPutStr(&b, "");
    fxTestPutStr(&b, "bc");
    fxTestPutI32(&b, 99);
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    FXStrArray a;
    a.Push("stale");
    d.ReadStringArray(&a);
    ASSERT_EQ(a.size, 3);
    EXPECT_STREQ(a.elements[0], "a");
    EXPECT_EQ(a.elements[1], nullptr);
    EXPECT_STREQ(a.elements[2], "bc");
    EXPECT_EQ(d.ReadInt(), 99);
}

TEST(PackageDataTest, DamagedStringArrayIsReadWholeOrNotAtAll) {
    // A count that cannot fit: each entry needs at least its length field.
    FXBytes b;
    fxTestPutI32(&b, 3);
    fxTestPutStr(&b, "a");
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    FXStrArray a;
    a.Push("stale");
    d.ReadStringArray(&a);
    EXPECT_EQ(a.size, 0);
    EXPECT_EQ(d.remaining, (int)b.size());

    // The count fits, but the last string claims more bytes than are left.
    FXBytes c;
    fxTestPutI32(&c, 2);
    fxTestPutStr(&c, "ok");
    fxTestPutI32(&c, 50);
    fxTestPutI32(&c, 0);
    d.InitData(c.data(), (int)c.size());
    d.ReadStringArray(&a);
    EXPECT_EQ(a.size, 0);
    EXPECT_EQ(d.remaining, (int)c.size());
}

TEST(PackageDataTest, IntAndFloatArrays) {
    FXBytes b;
    fxTestPutI32(&b, 3);
    fxTestPutI32(&b, 10);
    fxTestPutI32(&b, -20);
    fxTestPutI32(&b, 30);
    fxTestPutI32(&b, 2);
    fxTestPutF32(&b, 0.5f);
    fxTestPutF32(&b, -8.0f);
    fxTestPutI32(&b, -4); // a negative count is an empty list
    FXPackageData d;
    d.InitData(b.data(), (int)b.size());
    FXArray a;
    d.ReadArray(&a);
    ASSERT_EQ(a.size, 3);
    EXPECT_EQ(a.GetInt(1), -20);
    FXFloatArray fa;
    d.ReadFloatArray(&fa);
    ASSERT_EQ(fa.size, 2);
    EXPECT_EQ(fa.elements[1], -8.0f);
    d.ReadArray(&a);
    EXPECT_EQ(a.size, 0);
    EXPECT_EQ(d.remaining, 0);
}

TEST(PackageDataTest, ArrayCountsBeyondTheBlockReadNothing) {
    const int32_t counts[] = {3, 1000, INT_MAX, 0x40000001}; // the last wraps to 4 when times 4
    for (int32_t count : counts) {
        FXBytes b;
        fxTestPutI32(&b, count);
        fxTestPutI32(&b, 1);
        fxTestPutI32(&b, 2);
        FXPackageData d;
        d.InitData(b.data(), (int)b.size());
        FXArray a;
        a.PushInt(5);
        d.ReadArray(&a);
        EXPECT_EQ(a.size, 0) << count;
        EXPECT_EQ(d.remaining, (int)b.size()) << count;
        FXFloatArray fa;
        d.ReadFloatArray(&fa);
        EXPECT_EQ(fa.size, 0) << count;
        EXPECT_EQ(d.remaining, (int)b.size()) << count;
    }
}

TEST(PackageDataTest, WriteArrayNeedsRoomForEveryValue) {
    FXArray a;
    a.PushInt(1);
    a.PushInt(-2);
    uint8_t b[12];
    memset(b, 0xee, sizeof(b));
    FXPackageData d;
    d.InitData(b, 11);
    d.WriteArray(&a);
    EXPECT_EQ(b[0], 0xee); // nothing written
    EXPECT_EQ(d.remaining, 11);
    d.InitData(b, 12);
    d.WriteArray(&a);
    EXPECT_EQ(d.remaining, 0);
    FXBytes got(b, b + 12);
    EXPECT_EQ(fxTestGetI32(got, 0), 2);
    EXPECT_EQ(fxTestGetI32(got, 4), 1);
    EXPECT_EQ(fxTestGetI32(got, 8), -2);
}

// ---------------------------------------------------------------------------------------------
// Name server

TEST(NameServerTest, IdsFollowPositionsFromTheBase) {
    FXNameServer ns;
    EXPECT_EQ(ns.FindId("a"), -1);
    EXPECT_EQ(ns.BuildId("a"), 0);
    EXPECT_EQ(ns.BuildId("b"), 1);
    EXPECT_EQ(ns.BuildId("a"), 0);
    EXPECT_EQ(ns.FindId("B"), -1); // case matters
    ns.baseId = 10;
    EXPECT_EQ(ns.FindId("b"), 11);
    EXPECT_EQ(ns.BuildId("c"), 12);
    EXPECT_EQ(ns.BuildId(""), 13);
    EXPECT_EQ(ns.FindId(nullptr), 13); // null and empty match each other
    ns.Destroy();
    EXPECT_EQ(ns.baseId, 0);
    EXPECT_EQ(ns.names.size, 0);
    ns.Destroy();
}

TEST(NameServerTest, NoIdBeyondTheLargestInteger) {
    FXNameServer ns;
    ns.baseId = INT_MAX;
    EXPECT_EQ(ns.BuildId("last"), INT_MAX);
    EXPECT_EQ(ns.BuildId("none"), -1);
    EXPECT_EQ(ns.names.size, 1);
}

// ---------------------------------------------------------------------------------------------
// Loading packages written from the layout

TEST(PackageLoadTest, HandMadePackageLoads) {
    FXTestDir dir;
    std::vector<HandEntry> entries = SampleEntries();
    ASSERT_TRUE(fxTestWriteFile(dir.File("p.dat"), HandPackage(HandBody(entries), "pck01")));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("p.dat").c_str()));
    ExpectEntries(&pkg, entries);
    EXPECT_EQ(pkg.nameServer.baseId, 13);
    EXPECT_EQ(pkg.nameServer.BuildId("new"), 13);
    EXPECT_EQ(pkg.nameServer.BuildId("newer"), 14);
    EXPECT_EQ(pkg.dataSize, 138);
    EXPECT_EQ(pkg.badEntries, 0);
    EXPECT_EQ(pkg.GetDataPtr(99), nullptr);
    EXPECT_EQ(pkg.GetDataType(99), -1);
}

TEST(PackageLoadTest, EmptyPackage) {
    FXTestDir dir;
    ASSERT_TRUE(fxTestWriteFile(dir.File("p.dat"), HandPackage(HandBody({}), "pck01")));
    FXPackage pkg;
    pkg.nameServer.baseId = 40;
    ASSERT_TRUE(pkg.Load(dir.File("p.dat").c_str()));
    EXPECT_EQ(pkg.GetEntryCount(), 0);
    EXPECT_EQ(pkg.nameServer.baseId, 0);
    EXPECT_EQ(pkg.dataSize, 0);
    EXPECT_EQ(pkg.GetDataPtr(0), nullptr);
    EXPECT_EQ(pkg.GetDataType(0), -1);
}

TEST(PackageLoadTest, ScrambledHandMadePackageLoads) {
    FXTestDir dir;
    std::vector<HandEntry> entries = SampleEntries();
    ASSERT_TRUE(fxTestWriteFile(dir.File("s.dat"), HandPackage(NaiveTranspose(HandBody(entries)), "pck01s")));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("s.dat").c_str()));
    ExpectEntries(&pkg, entries);
    // Any s after the five magic letters marks a scrambled package.
    ASSERT_TRUE(fxTestWriteFile(dir.File("s2.dat"), HandPackage(NaiveTranspose(HandBody(entries)), "pck01xys")));
    ASSERT_TRUE(pkg.Load(dir.File("s2.dat").c_str()));
    ExpectEntries(&pkg, entries);
    ASSERT_TRUE(fxTestWriteFile(dir.File("p2.dat"), HandPackage(HandBody(entries), "pck01xy")));
    ASSERT_TRUE(pkg.Load(dir.File("p2.dat").c_str()));
    ExpectEntries(&pkg, entries);
}

TEST(PackageLoadTest, DuplicateIdsServeTheFirstEntry) {
    FXTestDir dir;
    std::vector<HandEntry> entries = {{4, FXDATA_PNG, fxTestPattern(8, 1)}, {4, FXDATA_BMP, fxTestPattern(9, 2)}};
    ASSERT_TRUE(fxTestWriteFile(dir.File("p.dat"), HandPackage(HandBody(entries), "pck01")));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("p.dat").c_str()));
    EXPECT_EQ(pkg.GetEntryCount(), 2);
    EXPECT_EQ(pkg.GetDataType(4), FXDATA_PNG);
    EXPECT_EQ(EntryBytes(&pkg, 4), entries[0].bytes);
}

TEST(PackageLoadTest, ReaderIsRewoundOnEveryLookup) {
    FXTestDir dir;
    FXBytes rec;
    fxTestPutI32(&rec, 11);
    fxTestPutI32(&rec, 22);
    ASSERT_TRUE(fxTestWriteFile(dir.File("p.dat"), HandPackage(HandBody({{1, -1, rec}}), "pck01")));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("p.dat").c_str()));
    FXPackageData* d = pkg.GetDataPtr(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ReadInt(), 11);
    EXPECT_EQ(d->ReadInt(), 22);
    EXPECT_EQ(d->ReadInt(), 0);
    d = pkg.GetDataPtr(1);
    EXPECT_EQ(d->ReadInt(), 11);
    // Entries are served in place from the data block.
    EXPECT_EQ(d->start, pkg.dataBlock);
}

TEST(PackageLoadTest, WhatIsNoPackageLeavesItEmpty) {
    FXTestDir dir;
    FXPackage pkg;
    EXPECT_FALSE(pkg.Load(dir.File("missing.dat").c_str()));
    EXPECT_FALSE(pkg.Load(nullptr));
    FXBytes body = HandBody(SampleEntries());
    const char* magics[] = {"pck02", "PCK01", "pck0", "", "xpck01"};
    for (const char* magic : magics) {
        ASSERT_TRUE(fxTestWriteFile(dir.File("p.dat"), HandPackage(body, magic)));
        EXPECT_FALSE(pkg.Load(dir.File("p.dat").c_str())) << magic;
        EXPECT_EQ(pkg.GetEntryCount(), 0);
    }
    // Magic lengths that do not fit the file or the string.
    const int32_t lengths[] = {-1, 0, 4, 1024, INT_MAX};
    for (int32_t len : lengths) {
        FXBytes file;
        fxTestPutI32(&file, len);
        fxTestPutBytes(&file, FXBytes({'p', 'c', 'k', '0', '1'}));
        fxTestPutBytes(&file, body);
        ASSERT_TRUE(fxTestWriteFile(dir.File("p.dat"), file));
        EXPECT_FALSE(pkg.Load(dir.File("p.dat").c_str())) << len;
    }
    ASSERT_TRUE(fxTestWriteFile(dir.File("empty.dat"), FXBytes()));
    EXPECT_FALSE(pkg.Load(dir.File("empty.dat").c_str()));
    EXPECT_FALSE(pkg.Load(dir.path.c_str())); // a folder
}

TEST(PackageLoadTest, LoadReplacesWhatWasThere) {
    FXTestDir dir;
    ASSERT_TRUE(fxTestWriteFile(dir.File("a.dat"), HandPackage(HandBody(SampleEntries()), "pck01")));
    ASSERT_TRUE(fxTestWriteFile(dir.File("b.dat"), HandPackage(HandBody({{2, -1, fxTestPattern(5, 9)}}), "pck01")));
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("a.dat").c_str()));
    pkg.AddDataFile(50, "x");
    pkg.AddTmpFile("y");
    pkg.nameServer.BuildId("kept");
    ASSERT_TRUE(pkg.Load(dir.File("b.dat").c_str()));
    EXPECT_EQ(pkg.GetEntryCount(), 1);
    EXPECT_EQ(pkg.GetDataPtr(7), nullptr);
    EXPECT_EQ(pkg.pendingIds.size, 0);
    EXPECT_EQ(pkg.tmpFiles.size, 0);
    EXPECT_EQ(pkg.nameServer.FindId("kept"), 3); // the names stay, under the new base
    pkg.Destroy();
    pkg.Destroy();
    EXPECT_EQ(pkg.GetEntryCount(), 0);
    EXPECT_EQ(pkg.dataBlock, nullptr);
    EXPECT_EQ(pkg.nameServer.names.size, 1);
}

// ---------------------------------------------------------------------------------------------
// Transposition

TEST(PackageTransposeTest, SquarePartIsTransposedAndTheRestKept) {
    FXBytes b = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    fxTransposeBody(b.data(), 10);
    EXPECT_EQ(b, FXBytes({0, 3, 6, 1, 4, 7, 2, 5, 8, 9}));
    uint8_t one = 42;
    fxTransposeBody(&one, 1);
    EXPECT_EQ(one, 42);
    fxTransposeBody(&one, 0);
    fxTransposeBody(nullptr, 5);
    EXPECT_EQ(one, 42);
}

TEST(PackageTransposeTest, MatchesTheLayoutOnSizesAcrossTiles) {
    const int sizes[] = {3, 4, 15, 16, 17, 255 * 255, 256 * 256 + 1, 257 * 257 - 1, 520 * 520 + 519, 600 * 600 + 7};
    for (int size : sizes) {
        FXBytes in = fxTestPattern(size, size);
        FXBytes got = in;
        fxTransposeBody(got.data(), size);
        EXPECT_EQ(got, NaiveTranspose(in)) << size;
        fxTransposeBody(got.data(), size);
        EXPECT_EQ(got, in) << size;
    }
}

// ---------------------------------------------------------------------------------------------
// Type codes

TEST(PackageTypeTest, ExtensionGivesThePictureCode) {
    EXPECT_EQ(fxGetDataTypeFromPath("/x/a.JPG"), 1061);
    EXPECT_EQ(fxGetDataTypeFromPath("/x/a.jpg"), 1061);
    EXPECT_EQ(fxGetDataTypeFromPath("/x/b.tiff"), -1);
    EXPECT_EQ(fxGetDataTypeFromPath("c:\\t\\earth.Png"), 1066);
    EXPECT_EQ(fxGetDataTypeFromPath("pic.tga"), 1069);
    EXPECT_EQ(fxGetDataTypeFromPath("pic.bmp"), 1056);
    EXPECT_EQ(fxGetDataTypeFromPath("pic.gif"), 1078);
    EXPECT_EQ(fxGetDataTypeFromPath("pic.jpeg"), -1);
    EXPECT_EQ(fxGetDataTypeFromPath("pic."), -1);
    EXPECT_EQ(fxGetDataTypeFromPath("picture"), -1);
    EXPECT_EQ(fxGetDataTypeFromPath("a.png.xm"), -1); // only the last extension counts
    EXPECT_EQ(fxGetDataTypeFromPath(""), -1);
    EXPECT_EQ(fxGetDataTypeFromPath(nullptr), -1);
    // Bare names keep their type; dots in folder names never count.
    EXPECT_EQ(fxGetDataTypeFromPath("a.JPG"), 1061);
    EXPECT_EQ(fxGetDataTypeFromPath("a.png"), 1066);
    EXPECT_EQ(fxGetDataTypeFromPath("pictures.png/earth"), -1);
    EXPECT_EQ(fxGetDataTypeFromPath("c:\\pics.gif\\earth"), -1);
}
