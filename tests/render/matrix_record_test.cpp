#include "render/3dmath.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "io/package.h"
#include "support/test_files.h"

namespace {

void Fill(FXMatrix* m, float first) {
    for (int i = 0; i < 16; i++) {
        m->m[i] = first + 0.25f * i;
    }
}

bool IsIdentity(const FXMatrix& m) {
    for (int i = 0; i < 16; i++) {
        if (m.m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(MatrixRecordTest, LoadCReadsRecordsOneAfterAnother) {
    FXMatrix a, b;
    Fill(&a, 1.0f);
    Fill(&b, -7.5f);
    FXBytes entry;
    for (int i = 0; i < 16; i++) {
        fxTestPutF32(&entry, a.m[i]);
    }
    for (int i = 0; i < 16; i++) {
        fxTestPutF32(&entry, b.m[i]);
    }
    fxTestPutI32(&entry, 1234);
    FXPackageData d;
    d.InitData(entry.data(), (int)entry.size());
    FXMatrix got;
    got.LoadC(nullptr, &d);
    EXPECT_EQ(memcmp(got.m, a.m, sizeof(a.m)), 0);
    got.LoadC(nullptr, &d);
    EXPECT_EQ(memcmp(got.m, b.m, sizeof(b.m)), 0);
    EXPECT_EQ(d.ReadInt(), 1234);
}

TEST(MatrixRecordTest, LoadCOnAShortEntryGivesTheIdentity) {
    FXBytes entry = fxTestPattern(63, 3);
    FXPackageData d;
    d.InitData(entry.data(), 63);
    FXMatrix m;
    Fill(&m, 5.0f);
    m.LoadC(nullptr, &d);
    EXPECT_TRUE(IsIdentity(m));
    EXPECT_EQ(d.remaining, 63);
    EXPECT_EQ(d.cursor, entry.data());
    Fill(&m, 5.0f);
    m.LoadC(nullptr, nullptr);
    EXPECT_TRUE(IsIdentity(m));
}

TEST(MatrixRecordTest, LoadCFromAPackageEntry) {
    FXTestDir dir;
    FXMatrix a;
    Fill(&a, 2.0f);
    std::string src = dir.File("m.bin");
    FILE* f = fopen(src.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(a.Save(f), 1);
    fclose(f);
    FXPackage pkg;
    pkg.AddDataFile(8, src.c_str());
    ASSERT_TRUE(pkg.Save(dir.File("p.dat").c_str(), FXPACKAGE_SCRAMBLE));
    FXPackage back;
    ASSERT_TRUE(back.Load(dir.File("p.dat").c_str()));
    FXMatrix got;
    got.LoadC(&back, back.GetDataPtr(8));
    EXPECT_EQ(memcmp(got.m, a.m, sizeof(a.m)), 0);
}
