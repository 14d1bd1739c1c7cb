#include "io/package.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "base/trace.h"
#include "support/test_files.h"

namespace {

struct Entry {
    int32_t id;
    FXBytes bytes;
};

// A package body whose lists are given field by field, so that they can disagree.
FXBytes Body(const std::vector<int32_t>& ids, const std::vector<int32_t>& offsets, const std::vector<int32_t>& sizes,
             const std::vector<int32_t>& types, const FXBytes& data) {
    FXBytes body;
    for (const std::vector<int32_t>* list : {&ids, &offsets, &sizes, &types}) {
        fxTestPutI32(&body, (int32_t)list->size());
        for (int32_t v : *list) {
            fxTestPutI32(&body, v);
        }
    }
    fxTestPutBytes(&body, data);
    return body;
}

FXBytes File(const FXBytes& body) {
    FXBytes file;
    fxTestPutStr(&file, "pck01");
    fxTestPutBytes(&file, body);
    return file;
}

// Every reader must lie inside the data block, whatever the file said.
void ExpectReadersInside(const FXPackage& pkg) {
    ASSERT_EQ(pkg.readers.size, pkg.GetEntryCount());
    for (int i = 0; i < pkg.readers.size; i++) {
        const FXPackageData* d = (const FXPackageData*)pkg.readers.elements[i];
        ASSERT_GE(d->total, 0);
        if (d->total > 0) {
            ASSERT_GE(d->start, pkg.dataBlock);
            ASSERT_LE(d->start + d->total, pkg.dataBlock + pkg.dataSize);
        }
    }
}

class PackageDamageTest : public ::testing::Test {
protected:
    FXTestDir dir;
    std::vector<Entry> entries;
    FXBytes packageFile;

    void SetUp() override {
        FXPackage pkg;
        for (int i = 0; i < 5; i++) {
            entries.push_back({100 + i, fxTestPattern(10 + 7 * i, i)});
            std::string src = dir.File("src" + std::to_string(i) + ".bin");
            ASSERT_TRUE(fxTestWriteFile(src, entries.back().bytes));
            pkg.AddDataFile(100 + i, src.c_str());
        }
        ASSERT_TRUE(pkg.Save(dir.File("good.dat").c_str(), 0));
        ASSERT_TRUE(fxTestReadFile(dir.File("good.dat"), &packageFile));
    }

    const Entry* Find(int id) const {
        for (const Entry& e : entries) {
            if (e.id == id) {
                return &e;
            }
        }
        return nullptr;
    }

    // Loads the bytes; when the package is taken, every entry it serves must be a true one.
    bool LoadAndCheck(const FXBytes& file, FXPackage* pkg) {
        std::string path = dir.File("damaged.dat");
        EXPECT_TRUE(fxTestWriteFile(path, file));
        bool ok = pkg->Load(path.c_str());
        ExpectReadersInside(*pkg);
        if (!ok) {
            EXPECT_EQ(pkg->GetEntryCount(), 0);
        }
        return ok;
    }
};

} // namespace

TEST_F(PackageDamageTest, TruncatedAtEveryLengthKeepsOnlyWholeEntries) {
    const int headerEnd = 9 + 16 + 16 * 5;
    for (size_t cut = 0; cut < packageFile.size(); cut++) {
        FXPackage pkg;
        bool ok = LoadAndCheck(FXBytes(packageFile.begin(), packageFile.begin() + cut), &pkg);
        // The lists are whole from the end of the type list on; before that the package is refused.
        EXPECT_EQ(ok, (int)cut >= headerEnd) << cut;
        if (!ok) {
            continue;
        }
        EXPECT_EQ(pkg.GetEntryCount() + pkg.badEntries, 5) << cut;
        EXPECT_EQ(pkg.nameServer.baseId, 105);
        int lastWhole = -1;
        for (int i = 0; i < pkg.GetEntryCount(); i++) {
            int id = pkg.entryIds.GetInt(i);
            const Entry* e = Find(id);
            ASSERT_NE(e, nullptr);
            FXPackageData* d = pkg.GetDataPtr(id);
            EXPECT_EQ(FXBytes(d->start, d->start + d->total), e->bytes) << cut;
            EXPECT_EQ(id, 100 + lastWhole + 1); // the kept ones are the leading entries
            lastWhole = id - 100;
        }
    }
}

TEST_F(PackageDamageTest, TruncatedScrambledPackageNeverReadsOutside) {
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("good.dat").c_str()));
    ASSERT_TRUE(pkg.Save(dir.File("s.dat").c_str(), FXPACKAGE_SCRAMBLE));
    FXBytes scrambled;
    ASSERT_TRUE(fxTestReadFile(dir.File("s.dat"), &scrambled));
    int taken = 0;
    for (size_t cut = 0; cut <= scrambled.size(); cut++) {
        FXPackage damaged;
        if (LoadAndCheck(FXBytes(scrambled.begin(), scrambled.begin() + cut), &damaged)) {
            taken++;
        }
    }
    EXPECT_GE(taken, 1); // at least the whole file
}

TEST_F(PackageDamageTest, ListThatDoesNotFitRefusesThePackage) {
    FXBytes data = fxTestPattern(20, 1);
    const int32_t tooMany[] = {3, 1000, INT_MAX, 0x40000001, 0x7ffffff0};
    for (int32_t count : tooMany) {
        FXBytes body = Body({1, 2}, {0, 10}, {10, 10}, {-1, -1}, data);
        // The count of each list in turn says more than the file holds.
        for (int list = 0; list < 4; list++) {
            FXBytes bad = body;
            size_t at = list * (4 + 4 * 2);
            FXBytes countBytes;
            fxTestPutI32(&countBytes, count);
            std::copy(countBytes.begin(), countBytes.end(), bad.begin() + at);
            FXPackage pkg;
            // A larger count may still fit by eating the data; then the counts disagree.
            EXPECT_FALSE(LoadAndCheck(File(bad), &pkg)) << count << " in list " << list;
        }
    }
}

TEST_F(PackageDamageTest, CountsThatDisagreeRefuseThePackage) {
    FXBytes data = fxTestPattern(20, 1);
    FXPackage pkg;
    EXPECT_FALSE(LoadAndCheck(File(Body({1, 2}, {0}, {10, 10}, {-1, -1}, data)), &pkg));
    EXPECT_FALSE(LoadAndCheck(File(Body({1}, {0, 10}, {10, 10}, {-1, -1}, data)), &pkg));
    EXPECT_FALSE(LoadAndCheck(File(Body({1, 2}, {0, 10}, {10, 10}, {-1}, data)), &pkg));
    EXPECT_TRUE(LoadAndCheck(File(Body({1, 2}, {0, 10}, {10, 10}, {-1, -1}, data)), &pkg));
    EXPECT_EQ(pkg.GetEntryCount(), 2);
}

TEST_F(PackageDamageTest, EntriesOutsideTheDataBlockAreDroppedOneByOne) {
    FXBytes data = fxTestPattern(20, 1);
    struct Case {
        int32_t offset, size;
    } bad[] = {
        {21, 0},           // offset beyond the end
        {15, 6},           // size beyond the end
        {-1, 4},           // negative offset
        {0, -1},           // negative size
        {INT_MAX - 2, 10}, // offset + size wraps
        {10, INT_MAX},     // size alone wraps
        {INT_MIN, INT_MIN},
    };
    for (const Case& c : bad) {
        FXPackage pkg;
        ASSERT_TRUE(
            LoadAndCheck(File(Body({1, 2, 3}, {0, c.offset, 10}, {10, c.size, 10}, {1066, 1061, -1}, data)), &pkg))
            << c.offset << " " << c.size;
        EXPECT_EQ(pkg.badEntries, 1);
        EXPECT_EQ(pkg.GetEntryCount(), 2);
        EXPECT_EQ(pkg.GetDataPtr(2), nullptr);
        EXPECT_EQ(pkg.GetDataType(2), -1);
        EXPECT_EQ(pkg.GetDataType(1), 1066);
        FXPackageData* d = pkg.GetDataPtr(3);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(FXBytes(d->start, d->start + d->total), FXBytes(data.begin() + 10, data.end()));
        // A refused id still counts for the ids given out later.
        EXPECT_EQ(pkg.nameServer.baseId, 4);
    }
    // Touching the end exactly is fine; so is an empty entry there.
    FXPackage pkg;
    ASSERT_TRUE(LoadAndCheck(File(Body({1, 2}, {10, 20}, {10, 0}, {-1, -1}, data)), &pkg));
    EXPECT_EQ(pkg.badEntries, 0);
    EXPECT_EQ(pkg.GetEntryCount(), 2);
}

TEST_F(PackageDamageTest, LargestIdKeepsTheBaseInRange) {
    FXPackage pkg;
    ASSERT_TRUE(LoadAndCheck(File(Body({INT_MAX}, {0}, {1}, {-1}, FXBytes(1, 7))), &pkg));
    EXPECT_EQ(pkg.nameServer.baseId, INT_MAX);
}

TEST_F(PackageDamageTest, RandomCorruptionNeverReadsOutside) {
    // Bytes flipped all over the lists and the magic: whatever is taken must lie in the block.
    uint32_t x = 12345;
    int taken = 0;
    for (int round = 0; round < 600; round++) {
        FXBytes bad = packageFile;
        int flips = 1 + round % 4;
        for (int k = 0; k < flips; k++) {
            x = x * 1103515245u + 12345u;
            size_t at = (x >> 8) % (9 + 16 + 16 * 5 + 8);
            x = x * 1103515245u + 12345u;
            bad[at] = (uint8_t)(x >> 16);
        }
        FXPackage pkg;
        if (LoadAndCheck(bad, &pkg)) {
            taken++;
        }
    }
    EXPECT_GT(taken, 0);
    EXPECT_LT(taken, 600);
}

TEST_F(PackageDamageTest, TamperedListsGiveEmptyReaders) {
    FXPackage pkg;
    ASSERT_TRUE(pkg.Load(dir.File("good.dat").c_str()));
    std::vector<int> sizes, offsets;
    for (int i = 0; i < pkg.GetEntryCount(); i++) {
        sizes.push_back(pkg.entrySizes.GetInt(i));
        offsets.push_back(pkg.entryOffsets.GetInt(i));
    }
    sizes[1] = 1000000;
    offsets[2] = -5;
    pkg.entrySizes.RemoveAll();
    pkg.entryOffsets.RemoveAll();
    for (size_t i = 0; i < sizes.size(); i++) {
        pkg.entrySizes.PushInt(sizes[i]);
        pkg.entryOffsets.PushInt(offsets[i]);
    }
    pkg.RecompClasses();
    ExpectReadersInside(pkg);
    EXPECT_EQ(pkg.GetDataPtr(101)->total, 0);
    EXPECT_EQ(pkg.GetDataPtr(102)->total, 0);
    EXPECT_EQ(pkg.GetDataPtr(103)->total, (int)entries[3].bytes.size());
}

TEST_F(PackageDamageTest, CausesAreTraced) {
    std::string log = dir.File("trace.log");
    ASSERT_TRUE(fxOpenTraces(log.c_str()));
    FXBytes data = fxTestPattern(20, 1);
    FXPackage pkg;
    LoadAndCheck(File(Body({1, 2}, {0, 15}, {10, 10}, {-1, -1}, data)), &pkg);
    LoadAndCheck(File(Body({1, 2}, {0}, {10, 10}, {-1, -1}, data)), &pkg);
    fxCloseTraces();
    FXBytes text;
    ASSERT_TRUE(fxTestReadFile(log, &text));
    std::string s(text.begin(), text.end());
    EXPECT_NE(s.find("#ERROR: "), std::string::npos) << s;
    EXPECT_NE(s.find("entry 2 (offset 15, size 10) lies outside the 20 data bytes"), std::string::npos) << s;
    EXPECT_NE(s.find("damaged entry lists (2 ids, 1 offsets"), std::string::npos) << s;
}
