#include "base/arrays.h"

#include "support/stored_bytes.h"

#include <cmath>
#include <cstring>

namespace {

void* P(intptr_t v) {
    return (void*)v;
}

} // namespace

TEST(FXArrayTest, GrowthPolicy) {
    FXArray a;
    for (int i = 0; i < 5; i++) {
        a.PushInt(i * 10);
    }
    EXPECT_EQ(a.capacity, 5);
    EXPECT_EQ(a.GetInt(4), 40);

    FXArray b(16);
    b.Push(P(1));
    EXPECT_EQ(b.capacity, 16);
    b.Realloc(3); // never shrinks
    EXPECT_EQ(b.capacity, 16);

    // Insert into the middle of a full block takes one slot, not the step.
    FXArray c(16);
    c.Realloc(2);
    c.Push(P(10));
    c.Push(P(30));
    c.Insert(1, P(20));
    EXPECT_EQ(c.capacity, 3);
    EXPECT_EQ(c.elements[1], P(20));
    EXPECT_EQ(c.elements[2], P(30));

    // Growth keeps min(size, capacity) slots and zero-fills the rest, even with a size that
    // overstates the block.
    c.size = 100;
    c.Realloc(6);
    c.size = 3;
    EXPECT_EQ(c.elements[2], P(30));
    EXPECT_EQ(c.elements[5], nullptr);
    c.PushVoid();
    EXPECT_EQ(c.elements[3], nullptr);
    EXPECT_EQ(c.size, 4);

    // A step that could never make room still grows the block.
    FXArray d(0);
    d.Push(P(7));
    d.growStep = -3;
    d.Push(P(8));
    EXPECT_EQ(d.size, 2);
    EXPECT_EQ(d.Last(), P(8));
}

TEST(FXArrayTest, PositionsAndRemoval) {
    FXArray a;
    EXPECT_EQ(a.Pop(), nullptr);
    EXPECT_EQ(a.First(), nullptr);
    EXPECT_EQ(a.Last(), nullptr);
    a.Push(P(1));
    a.Insert(-1, P(2));
    a.Insert(a.size + 1, P(3));
    a.Insert(a.size, P(4));
    a.Insert(-5, P(5)); // outside the contract: appended, never written before the block
    ASSERT_EQ(a.size, 5);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(a.elements[i], P(i + 1));
    }

    a.MovePos(a.size - 1, +1);
    a.MovePos(0, -1);
    a.MovePos(0, +1);
    a.MovePos(4, -1);
    EXPECT_EQ(a.elements[0], P(2));
    EXPECT_EQ(a.elements[1], P(1));
    EXPECT_EQ(a.elements[3], P(5));

    a.Push(P(1));
    a.Remove(P(9));
    EXPECT_EQ(a.size, 6);
    a.Remove(P(1)); // only the first of two
    EXPECT_EQ(a.Findpos(P(1)), 4);
    a.RemovePos(-1);
    a.RemovePos(5);
    EXPECT_EQ(a.size, 5);
    EXPECT_EQ(a.Pop(), P(1));
    EXPECT_EQ(a.GetInt(4), 0); // outside the array, though the slot still holds a value

    int capacity = a.capacity;
    a.RemoveAll();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.capacity, capacity);
    a.DestroyBuf();
    a.DestroyBuf();
    EXPECT_EQ(a.elements, nullptr);
}

TEST(FXArrayTest, DoublingPushesKeepOrderAndGrowByDoubling) {
    FXArray a; // growStep 1: Push alone would grow one slot at a time
    for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(fxPushIntDoubling(&a, i - 5));
        if (i == 0) {
            EXPECT_EQ(a.capacity, 8);
        }
    }
    EXPECT_EQ(a.capacity, 32);
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(a.GetInt(i), i - 5);
    }
    ASSERT_TRUE(fxPushDoubling(&a, P(77)));
    EXPECT_EQ(a.Last(), P(77));

    // An empty text is stored as a null entry and still counts as appended.
    FXStrArray s;
    EXPECT_TRUE(fxPushDoubling(&s, "one"));
    EXPECT_TRUE(fxPushDoubling(&s, ""));
    ASSERT_EQ(s.size, 2);
    EXPECT_EQ(s.capacity, 8);
    EXPECT_STREQ(s.elements[0], "one");
    EXPECT_EQ(s.elements[1], nullptr);
}

class StoredArrayTest : public ScratchFolderTest {};

TEST_F(StoredArrayTest, ArrayRoundTripSignExtends) {
    FXArray a;
    a.PushInt(-5);
    a.PushInt(0x12345678);
    std::string path = PathOf("a.bin");
    FILE* f = fopen(path.c_str(), "wb");
    a.Save(f);
    fclose(f);
    Bytes expected;
    AddInt32(&expected, 2);
    AddInt32(&expected, -5);
    expected.insert(expected.end(), {0x78, 0x56, 0x34, 0x12});
    EXPECT_EQ(ReadAll(path), expected);

    f = fopen(path.c_str(), "rb");
    FXArray back;
    back.Load(f);
    fclose(f);
    ASSERT_EQ(back.size, 2);
    EXPECT_EQ(back.capacity, 2);
    EXPECT_EQ(back.elements[0], P(-5));
    EXPECT_EQ(back.GetInt(1), 0x12345678);

    // A count of 0 empties the array and leaves the block alone.
    void** block = back.elements;
    f = OpenWithBytes(Bytes{0, 0, 0, 0});
    back.Load(f);
    fclose(f);
    EXPECT_EQ(back.size, 0);
    EXPECT_EQ(back.elements, block);
    EXPECT_EQ(back.elements[0], P(-5));
}

TEST_F(StoredArrayTest, DamagedCountsAreRefused) {
    Bytes huge;
    AddInt32(&huge, 0x7fffffff);
    AddInt32(&huge, 1);
    Bytes negative;
    AddInt32(&negative, -4);
    AddInt32(&negative, 1);
    Bytes truncated; // one value short
    AddInt32(&truncated, 3);
    AddInt32(&truncated, 1);
    AddInt32(&truncated, 2);

    for (const Bytes* input : {&huge, &negative, &truncated}) {
        FXArray a;
        a.PushInt(5);
        FILE* f = OpenWithBytes(*input);
        a.Load(f);
        fclose(f);
        EXPECT_EQ(a.size, 0);
        EXPECT_EQ(a.capacity, 1);

        FXFloatArray fa;
        f = OpenWithBytes(*input);
        fa.Load(f);
        fclose(f);
        EXPECT_EQ(fa.size, 0);
        EXPECT_EQ(fa.capacity, 0);

        FXStrArray sa;
        f = OpenWithBytes(*input);
        sa.Load(f);
        fclose(f);
        EXPECT_EQ(sa.size, 0);
        EXPECT_EQ(sa.capacity, 0);
    }
}

TEST(FXArrayPipeTest, LoadWithoutKnownLength) {
    Bytes good;
    AddInt32(&good, 5000);
    for (int i = 0; i < 5000; i++) {
        AddInt32(&good, i - 2500);
    }
    FXArray a;
    {
        PipeFeed feed(good);
        ASSERT_NE(feed.stream, nullptr);
        a.Load(feed.stream);
        fclose(feed.stream);
    }
    ASSERT_EQ(a.size, 5000);
    EXPECT_EQ(a.GetInt(0), -2500);
    EXPECT_EQ(a.GetInt(4999), 2499);

    // Growth follows what arrives, so a damaged count costs no absurd block.
    Bytes huge;
    AddInt32(&huge, 0x7fffffff);
    AddInt32(&huge, 1);
    FXFloatArray b;
    {
        PipeFeed feed(huge);
        ASSERT_NE(feed.stream, nullptr);
        b.Load(feed.stream);
        fclose(feed.stream);
    }
    EXPECT_EQ(b.size, 0);
    EXPECT_LT(b.capacity, 1 << 20);
}

TEST(FXStrArrayTest, OwnershipAndFindpos) {
    FXStrArray a(4);
    char text[] = "alpha";
    a.Push(text);
    text[0] = 'X';
    EXPECT_STREQ(a.First(), "alpha");
    a.Push("");
    a.Push(nullptr);
    EXPECT_EQ(a.elements[1], nullptr);
    EXPECT_EQ(a.Findpos(""), 1);
    EXPECT_EQ(a.Findpos(nullptr), 1);
    EXPECT_EQ(a.Findpos(a.elements[0]), 0);
    EXPECT_EQ(a.Findpos("Alpha"), -1);

    a.Change(0, "b");
    a.Change(1, "c");
    a.Change(2, "b");
    a.Change(7, "ignored");
    a.Insert(1, a.elements[0]); // our own entry as the source
    EXPECT_NE(a.elements[0], a.elements[1]);
    a.Remove("b"); // the first only
    ASSERT_EQ(a.size, 3);
    EXPECT_STREQ(a.elements[0], "b");
    EXPECT_STREQ(a.elements[1], "c");
    EXPECT_STREQ(a.elements[2], "b");
    EXPECT_EQ(a.elements[3], nullptr); // freed slots are cleared
    a.Pop();
    EXPECT_EQ(a.elements[2], nullptr);
    EXPECT_STREQ(a.Last(), "c");

    a.RemoveAll();
    EXPECT_EQ(a.elements[0], nullptr);
    EXPECT_EQ(a.First(), nullptr);
    a.Push("again");
    a.DestroyBuf();
    EXPECT_EQ(a.elements, nullptr);
}

TEST_F(StoredArrayTest, StrArrayRoundTripKeepsNullEntries) {
    FXStrArray a;
    a.Push("a");
    a.Push(nullptr);
    a.Push("bc");
    std::string path = PathOf("s.bin");
    FILE* f = fopen(path.c_str(), "wb");
    a.Save(f);
    fclose(f);
    Bytes expected;
    AddInt32(&expected, 3);
    AddInt32(&expected, 1);
    AddText(&expected, "a");
    AddInt32(&expected, 0);
    AddInt32(&expected, 2);
    AddText(&expected, "bc");
    EXPECT_EQ(ReadAll(path), expected);

    f = fopen(path.c_str(), "rb");
    FXStrArray back;
    back.Push("stale"); // released by Load
    back.Load(f);
    fclose(f);
    ASSERT_EQ(back.size, 3);
    EXPECT_STREQ(back.elements[0], "a");
    EXPECT_EQ(back.elements[1], nullptr);
    EXPECT_STREQ(back.elements[2], "bc");
}

TEST_F(StoredArrayTest, StrArraySaveShortPaths) {
    FXStrArray a;
#if defined(_WIN32)
    a.Push("C:\\data\\tex\\a.png");
    a.Push(nullptr);
    a.Push("C:\\b.png");
    const char* folder = "C:\\data";
    const char* near = "tex\\a.png"; // the shell's form
    const char* far = "..\\b.png";
#else
    a.Push("/data/tex/a.png");
    a.Push(nullptr);
    a.Push("/b.png");
    const char* folder = "/data";
    const char* near = "./tex/a.png";
    const char* far = "../b.png";
#endif
    std::string path = PathOf("short.bin");
    FILE* f = fopen(path.c_str(), "wb");
    a.SaveShortPaths(f, folder);
    fclose(f);
    Bytes expected;
    AddInt32(&expected, 3);
    AddInt32(&expected, (int32_t)strlen(near));
    AddText(&expected, near);
    AddInt32(&expected, 0);
    AddInt32(&expected, (int32_t)strlen(far));
    AddText(&expected, far);
    EXPECT_EQ(ReadAll(path), expected);
}

TEST_F(StoredArrayTest, StrArrayRefusesDamagedEntries) {
    Bytes longEntry; // the second entry claims more than remains
    AddInt32(&longEntry, 2);
    AddInt32(&longEntry, 3);
    AddText(&longEntry, "abc");
    AddInt32(&longEntry, 0x7ffffff0);
    AddText(&longEntry, "de");
    Bytes cut; // entry text cut short
    AddInt32(&cut, 1);
    AddInt32(&cut, 6);
    AddText(&cut, "abc");
    Bytes missing; // the count fits, the second length arrives only in part
    AddInt32(&missing, 2);
    AddInt32(&missing, 2);
    AddText(&missing, "ab");
    missing.push_back(1);
    missing.push_back(0);

    for (const Bytes* input : {&longEntry, &cut, &missing}) {
        FXStrArray a;
        a.Push("old");
        FILE* f = OpenWithBytes(*input);
        a.Load(f);
        fclose(f);
        EXPECT_EQ(a.size, 0);
        PipeFeed feed(*input);
        ASSERT_NE(feed.stream, nullptr);
        a.Push("old");
        a.Load(feed.stream);
        fclose(feed.stream);
        EXPECT_EQ(a.size, 0);
    }

    // A negative entry length is a null entry; the next entry still reads.
    Bytes negative;
    AddInt32(&negative, 2);
    AddInt32(&negative, -9);
    AddInt32(&negative, 2);
    AddText(&negative, "ok");
    FXStrArray a;
    FILE* f = OpenWithBytes(negative);
    a.Load(f);
    fclose(f);
    ASSERT_EQ(a.size, 2);
    EXPECT_EQ(a.elements[0], nullptr);
    EXPECT_STREQ(a.elements[1], "ok");

    // A long entry through a pipe arrives whole.
    Bytes big;
    AddInt32(&big, 1);
    AddInt32(&big, 200000);
    AddText(&big, std::string(199999, 't') + "Z");
    PipeFeed feed(big);
    ASSERT_NE(feed.stream, nullptr);
    a.Load(feed.stream);
    fclose(feed.stream);
    ASSERT_EQ(a.size, 1);
    EXPECT_EQ(strlen(a.elements[0]), 200000u);
    EXPECT_EQ(a.elements[0][199999], 'Z');
}

TEST_F(StoredArrayTest, FloatArraySlotsAndBitExactRoundTrip) {
    FXFloatArray a;
    EXPECT_EQ(a.Pop(), 0.0f);
    a.Push(1.0f);
    a.Push(3.14159f);
    a.Insert(1, -0.0f);

    std::string path = PathOf("f.bin");
    FILE* f = fopen(path.c_str(), "wb");
    a.Save(f);
    fclose(f);
    Bytes expected;
    AddInt32(&expected, 3);
    expected.insert(expected.end(), {0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x00, 0x80});
    float pi = 3.14159f;
    uint32_t bits;
    memcpy(&bits, &pi, 4);
    AddInt32(&expected, (int32_t)bits);
    EXPECT_EQ(ReadAll(path), expected);

    f = fopen(path.c_str(), "rb");
    FXFloatArray back;
    back.Load(f);
    fclose(f);
    ASSERT_EQ(back.size, 3);
    EXPECT_TRUE(std::signbit(back.elements[1]));
    EXPECT_EQ(back.elements[2], 3.14159f);
}

TEST(FXMemoryTest, ItemPointersStayInsideTheUsedItems) {
    FXMemory v(12);
    v.Realloc(4);
    EXPECT_EQ(v.GetItemPtr(0), nullptr); // nothing in use yet
    v.size = 2;
    uint8_t* base = (uint8_t*)v.block;
    EXPECT_EQ(v.GetItemPtr(1), base + 12);
    EXPECT_EQ(v.GetItemPtr(2), nullptr);
    memset(base, 0xab, 24);

    v.Realloc(10);
    base = (uint8_t*)v.block;
    EXPECT_EQ(base[23], 0xab);
    EXPECT_EQ(base[24], 0);
    EXPECT_EQ(base[119], 0);
    v.size = 50; // overstated by its user: no pointer past the block
    EXPECT_EQ(v.GetItemPtr(10), nullptr);

    FXMemory bad(0);
    bad.Realloc(5);
    EXPECT_EQ(bad.block, nullptr);
}

TEST(FXRectTest, UnionAndIntersection) {
    FXRect a;
    a.Set(0, 0, 10, 10);
    FXRect b;
    b.Set(10, 0, 20, 10); // touches a on its right edge
    FXRect t = a;
    EXPECT_FALSE(t.CombineAnd(&b));

    b.Set(5, -5, 15, 5);
    t = a;
    EXPECT_TRUE(t.CombineAnd(&b));
    EXPECT_EQ(t.x1, 5);
    EXPECT_EQ(t.y1, 0);
    EXPECT_EQ(t.x2, 10);
    EXPECT_EQ(t.y2, 5);
    t = a;
    t.CombineOr(&b);
    EXPECT_EQ(t.y1, -5);
    EXPECT_EQ(t.x2, 15);
}

TEST(FxPower2Test, SmallestPowerAtLeastN) {
    EXPECT_EQ(fxPower2(0), 1);
    EXPECT_EQ(fxPower2(1), 1);
    EXPECT_EQ(fxPower2(5), 8);
    EXPECT_EQ(fxPower2(8), 8);
    EXPECT_EQ(fxPower2(1 << 30), 1 << 30);
    // No int power of two is large enough: refused rather than overflowed.
    EXPECT_EQ(fxPower2((1 << 30) + 1), -1);
}
