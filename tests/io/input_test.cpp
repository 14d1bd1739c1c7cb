#include <gtest/gtest.h>

#include <cstring>

#include "base/strings.h"
#include "io/input.h"
#include "io/package.h"
#include "support/stored_bytes.h"

namespace {

class InputTest : public ScratchFolderTest {};

// One record read the same way from a file, a pipe and a package entry, cut after each of its
// values: the three sources must agree on every value, on what is left and on where the input
// ends. (Inside a value they differ, as their readers always have: a stream keeps the bytes
// that are there, an entry reads nothing.)
TEST_F(InputTest, FilesPipesAndEntriesReadAlikeWhereverTheRecordEnds) {
    Bytes whole;
    AddInt32(&whole, -7);
    uint32_t half = 0x3f000000u; // 0.5f
    AddInt32(&whole, (int32_t)half);
    AddInt32(&whole, 3);
    AddText(&whole, "abc");
    AddText(&whole, "wxyz");
    for (size_t cut : {0, 4, 8, 15, 19}) {
        Bytes bytes;
        bytes.reserve(whole.size()); // a real pointer even for no bytes
        bytes.assign(whole.begin(), whole.begin() + (long)cut);
        FILE* f = OpenWithBytes(bytes);
        ASSERT_NE(f, nullptr);
        PipeFeed pipe(bytes);
        ASSERT_NE(pipe.stream, nullptr);
        Bytes block = bytes;
        block.push_back(0); // room for an empty entry's pointer
        FXPackageData data;
        data.InitData(block.data(), (int)cut);

        FXInput file(f), stream(pipe.stream), entry(nullptr, &data);
        FXInput* inputs[3] = {&file, &stream, &entry};
        EXPECT_EQ(file.BytesLeft(), (int64_t)cut) << cut;
        EXPECT_EQ(entry.BytesLeft(), (int64_t)cut) << cut;
        EXPECT_EQ(stream.BytesLeft(), -1) << cut;
        int ints[3];
        float floats[3];
        std::string names[3];
        bool got[3];
        char tail[3][5];
        bool more[3];
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(inputs[i]->More(), cut > 0) << cut << " source " << i;
            ints[i] = inputs[i]->ReadInt();
            floats[i] = inputs[i]->ReadFloat();
            FXStr s;
            inputs[i]->ReadString(&s);
            names[i] = s.chars;
            memset(tail[i], 0, sizeof(tail[i]));
            got[i] = inputs[i]->ReadBytes(tail[i], 4);
            more[i] = inputs[i]->More();
        }
        for (int i = 1; i < 3; i++) {
            EXPECT_EQ(ints[i], ints[0]) << cut << " source " << i;
            EXPECT_EQ(floats[i], floats[0]) << cut << " source " << i;
            EXPECT_EQ(names[i], names[0]) << cut << " source " << i;
            EXPECT_EQ(got[i], got[0]) << cut << " source " << i;
            EXPECT_FALSE(more[i]) << cut << " source " << i;
        }
        if (cut == whole.size()) {
            EXPECT_EQ(ints[0], -7);
            EXPECT_EQ(floats[0], 0.5f);
            EXPECT_EQ(names[0], "abc");
            EXPECT_TRUE(got[0]);
            EXPECT_STREQ(tail[0], "wxyz");
            EXPECT_STREQ(tail[2], "wxyz");
        } else {
            EXPECT_FALSE(got[0]) << cut;
        }
        fclose(f);
        fclose(pipe.stream);
    }
}

TEST(Input, WithoutASourceNothingIsOpen) {
    FXInput none(nullptr);
    EXPECT_FALSE(none.IsOpen());
    FXPackageData data;
    FXInput entry(nullptr, &data);
    EXPECT_TRUE(entry.IsOpen());
    EXPECT_FALSE(entry.IsFile());
}

} // namespace
