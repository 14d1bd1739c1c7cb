#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "io/package.h"
#include "render/material.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace {

// Materials upload through fxglobalEnv: every test gets a recording environment behind it.
class MaterialTest : public ::testing::Test {
protected:
    TestEnv env;

    void SetUp() override { fxSetEnv(&env); }
    void TearDown() override { fxSetEnv(nullptr); }
};

void ExpectColour(const float* c, float r, float g, float b, float a) {
    EXPECT_EQ(c[0], r);
    EXPECT_EQ(c[1], g);
    EXPECT_EQ(c[2], b);
    EXPECT_EQ(c[3], a);
}

// A w x h picture in a power-of-two block, opaque white or half transparent.
void Paint(FXCanvas* c, int w, int h, bool opaque) {
    ASSERT_TRUE(c->pixmap.Realloc(w, h));
    c->pixmap.Clear(opaque ? 0xFFFFFFFFu : 0x80FFFFFFu);
    c->opaque = opaque;
}

} // namespace

TEST_F(MaterialTest, NewMaterialIsWhiteDiffuseSolidAndUntextured) {
    FXMaterial m;
    ExpectColour(m.ambient, 0.2f, 0.2f, 0.2f, 0.0f);
    ExpectColour(m.diffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    ExpectColour(m.specular, 0.0f, 0.0f, 0.0f, 0.0f);
    ExpectColour(m.emission, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(m.shininess, 0.0f);
    EXPECT_TRUE(m.mipmaps);
    EXPECT_TRUE(m.IsSolid());
    EXPECT_FALSE(m.hasTexture);
    EXPECT_EQ(m.glTexture, 0u);
    EXPECT_EQ(m.GetWidth(), 0);
}

TEST_F(MaterialTest, PresetsWriteEveryColourAndOnlySetDefSpecularTheShininess) {
    struct Preset {
        void (FXMaterial::*set)(float);
        float cols[16];  // ambient, diffuse, specular, emission; 9 stands for the alpha argument
        float shininess; // 7 = unchanged
    } presets[] = {
        {&FXMaterial::SetDefDiffuse, {.2f, .2f, .2f, 0, 1, 1, 1, 9, 0, 0, 0, 0, 0, 0, 0, 0}, 7},
        {&FXMaterial::SetDefault, {.2f, .2f, .2f, 0, 1, 1, 1, 9, 0, 0, 0, 0, 0, 0, 0, 0}, 7},
        {&FXMaterial::SetBlack, {0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0}, 7},
        {&FXMaterial::SetDefSpecular, {0, 0, 0, 0, .2f, .2f, .2f, 9, 1, 1, 1, 9, 0, 0, 0, 0}, 128},
        {&FXMaterial::SetDefSpecular1, {.2f, .2f, .2f, 9, 1, 1, 1, 9, 1, 1, 1, 9, 0, 0, 0, 0}, 7},
        {&FXMaterial::SetDefEmission, {0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 1, 1, 1, 9}, 7},
        {&FXMaterial::PrepareDarkDiffuse, {0, 0, 0, 9, 1, 1, 1, 9, 0, 0, 0, 0, 0, 0, 0, 0}, 7},
    };
    for (const Preset& p : presets) {
        FXMaterial m;
        float* cols[4] = {m.ambient, m.diffuse, m.specular, m.emission};
        for (int i = 0; i < 16; i++) {
            cols[i / 4][i % 4] = 5.0f;
        }
        m.shininess = 7.0f;
        (m.*p.set)(0.5f);
        for (int i = 0; i < 16; i++) {
            EXPECT_EQ(cols[i / 4][i % 4], p.cols[i] == 9 ? 0.5f : p.cols[i]) << &p - presets << " @" << i;
        }
        EXPECT_EQ(m.shininess, p.shininess) << &p - presets;
    }
}

TEST_F(MaterialTest, MultiColsScalesThePreservedColoursWithoutAccumulating) {
    FXMaterial m;
    m.SetDefSpecular1(0.8f);
    m.emission[0] = 0.6f;
    m.PreserveCols();
    const float half[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    m.MultiCols(half);
    m.MultiCols(half);
    ExpectColour(m.ambient, 0.1f, 0.1f, 0.1f, 0.8f);
    ExpectColour(m.diffuse, 0.5f, 0.5f, 0.5f, 0.8f);
    ExpectColour(m.emission, 0.3f, 0.0f, 0.0f, 0.0f);
    const float mixed[4] = {1.0f, 0.0f, 2.0f, 0.5f};
    m.MultiCols(mixed);
    ExpectColour(m.specular, 1.0f, 0.0f, 2.0f, 0.4f);
}

TEST_F(MaterialTest, AttachingAPictureUploadsItAndDecidesSolidity) {
    FXMaterial m;
    m.diffuse[3] = 0.999f;
    EXPECT_FALSE(m.IsSolid());
    m.diffuse[3] = 1.0f;

    FXCanvas c;
    Paint(&c, 3, 5, false); // held in a 4 x 8 block
    ASSERT_TRUE(m.SetTexture(&c));
    EXPECT_EQ(m.texScaleU, 0.75f);
    EXPECT_EQ(m.texScaleV, 0.625f);
    EXPECT_FALSE(m.texOpaque);
    EXPECT_FALSE(m.IsSolid());
    EXPECT_EQ(m.texture, &c);
    EXPECT_NE(m.glTexture, 0u);
    EXPECT_EQ(env.lastPrepared, &m);
    EXPECT_EQ(m.GetWidth(), 3);
    EXPECT_EQ(m.GetHeightF(), 5.0f);

    // Attaching again reuses the texture name.
    unsigned int name = m.glTexture;
    Paint(&c, 4, 4, true);
    ASSERT_TRUE(m.SetTexture(&c));
    EXPECT_EQ(m.glTexture, name);
    EXPECT_EQ(env.liveTextures, 1);
    EXPECT_TRUE(m.IsSolid());
}

TEST_F(MaterialTest, FailedUploadOrLoadDeletesTheEarlierTexture) {
    FXMaterial m;
    FXCanvas c;
    Paint(&c, 4, 4, true);
    ASSERT_TRUE(m.SetTexture(&c));
    env.failPrepare = true;
    EXPECT_FALSE(m.SetTexture(&c));
    EXPECT_FALSE(m.hasTexture);
    EXPECT_EQ(m.glTexture, 0u);
    EXPECT_EQ(env.liveTextures, 0);
    EXPECT_EQ(m.texture, &c); // the canvas stays attached

    env.failPrepare = false;
    ASSERT_TRUE(m.SetTexture(&c));
    m.texFile.Set("kept.png");
    EXPECT_FALSE(m.LoadTexture("/nonexistent/folder/picture.png"));
    EXPECT_FALSE(m.hasTexture);
    EXPECT_EQ(m.texture, nullptr);
    EXPECT_EQ(env.liveTextures, 0);
    EXPECT_TRUE(m.texFile.Compare("kept.png"));

    FXPackage empty;
    EXPECT_FALSE(m.LoadTextureCN(&empty, 3));
    EXPECT_FALSE(m.LoadTextureC(&empty, "not a number"));

    // Without an environment nothing can be uploaded.
    fxSetEnv(nullptr);
    EXPECT_FALSE(m.SetTexture(&c));
    EXPECT_FALSE(m.hasTexture);
}

TEST_F(MaterialTest, DestroyReleasesTheTextureAndKeepsColoursAndNames) {
    FXCanvas callers;
    Paint(&callers, 4, 4, true);
    {
        FXMaterial m;
        m.name.Set("stone");
        m.SetBlack(0.5f);
        ASSERT_TRUE(m.SetTexture(&callers));
        m.Destroy();
        m.Destroy();
        EXPECT_FALSE(m.hasTexture);
        EXPECT_EQ(m.texture, nullptr);
        EXPECT_EQ(env.liveTextures, 0);
        EXPECT_EQ(env.unprepareCalls, 1);
        EXPECT_TRUE(m.name.Compare("stone"));
        EXPECT_EQ(m.diffuse[3], 0.5f);
        ASSERT_TRUE(m.SetTexture(&callers)); // left for the destructor
    }
    EXPECT_EQ(env.liveTextures, 0);
    EXPECT_NE(callers.pixmap.pixels, nullptr); // not the material's to free
}

TEST_F(MaterialTest, RecordIsLittleEndianAndRoundTripsExactly) {
    FXMaterial out;
    out.name.Set("ab");
    out.texFile.Set(""); // loading must then leave the canvas alone
    const float odd[4] = {0.1f, 1.0f / 3.0f, -2.5f, -0.0f};
    for (int i = 0; i < 4; i++) {
        out.ambient[i] = odd[i];
        out.diffuse[i] = odd[3 - i];
        out.specular[i] = odd[i] * 2.0f;
        out.emission[i] = odd[i] + 1.0f;
    }
    out.shininess = 128.0f;
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(out.Save(f));
    ASSERT_TRUE(out.Save(f));
    ASSERT_EQ(ftell(f), 2 * (6 + 4 + 68));
    unsigned char head[18];
    rewind(f);
    ASSERT_EQ(fread(head, 1, sizeof(head), f), sizeof(head));
    EXPECT_EQ(memcmp(head,
                     "\x02\x00\x00\x00"
                     "ab"
                     "\x00\x00\x00\x00"
                     "\xCD\xCC\xCC\x3D",
                     14),
              0); // 0.1f
    rewind(f);
    for (int r = 0; r < 2; r++) { // the reader stops right behind each record
        FXMaterial in;
        EXPECT_TRUE(in.Load(f));
        EXPECT_TRUE(in.libOwned);
        EXPECT_TRUE(in.name.Compare("ab"));
        EXPECT_TRUE(in.texFile.IsEmpty());
        EXPECT_EQ(memcmp(in.ambient, out.ambient, 16), 0);
        EXPECT_EQ(memcmp(in.diffuse, out.diffuse, 16), 0);
        EXPECT_EQ(memcmp(in.specular, out.specular, 16), 0);
        EXPECT_EQ(memcmp(in.emission, out.emission, 16), 0);
        EXPECT_EQ(in.shininess, 128.0f);
        EXPECT_EQ(in.ownTexture.pixmap.pixels, nullptr);
    }
    EXPECT_EQ(getc(f), EOF);
    fclose(f);
    EXPECT_EQ(env.prepareCalls, 0);
}

TEST_F(MaterialTest, CutRecordsKeepThePresetColoursAndNoShininess) {
    FXBytes names;
    fxTestPutStr(&names, "cut");
    fxTestPutStr(&names, "");
    FXBytes cut = names;
    fxTestPutF32(&cut, 9.0f); // half a colour
    fxTestPutF32(&cut, 9.0f);
    FXBytes full = names;
    for (int i = 0; i < 17; i++) {
        fxTestPutF32(&full, (float)i);
    }
    FXBytes entry = full;
    fxTestPutBytes(&entry, cut);

    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    fwrite(cut.data(), 1, cut.size(), f);
    rewind(f);
    FXMaterial fromFile;
    EXPECT_TRUE(fromFile.Load(f));
    fclose(f);

    // Records follow one another in an entry; a cut one ends it.
    FXPackageData data;
    data.InitData(entry.data(), (int)entry.size());
    FXMaterial first, halfColour, onlyNames;
    EXPECT_TRUE(first.LoadC(nullptr, &data));
    ExpectColour(first.emission, 12.0f, 13.0f, 14.0f, 15.0f);
    EXPECT_EQ(first.shininess, 16.0f);
    EXPECT_TRUE(halfColour.LoadC(nullptr, &data));
    EXPECT_EQ(data.remaining, 0);
    data.InitData(names.data(), (int)names.size());
    EXPECT_TRUE(onlyNames.LoadC(nullptr, &data));

    for (FXMaterial* m : {&fromFile, &onlyNames, &halfColour}) {
        EXPECT_TRUE(m->name.Compare("cut"));
        ExpectColour(m->ambient, 0.0f, 0.0f, 0.0f, 0.0f);
        ExpectColour(m->diffuse, 0.2f, 0.2f, 0.2f, 1.0f);
        ExpectColour(m->specular, 1.0f, 1.0f, 1.0f, 1.0f);
        EXPECT_EQ(m->shininess, 0.0f);
        EXPECT_TRUE(m->libOwned);
    }
}

TEST_F(MaterialTest, ReloadingARecordDropsThePreviousTexture) {
    FXMaterial m;
    FXCanvas c;
    Paint(&c, 4, 4, false);
    ASSERT_TRUE(m.SetTexture(&c));
    FXBytes rec;
    fxTestPutStr(&rec, "plain");
    fxTestPutStr(&rec, "42"); // a package entry that is not there
    FXPackageData data;
    data.InitData(rec.data(), (int)rec.size());
    FXPackage pkg;
    EXPECT_FALSE(m.LoadC(&pkg, &data));
    EXPECT_TRUE(m.texFile.Compare("42"));
    EXPECT_FALSE(m.hasTexture);
    EXPECT_EQ(m.texture, nullptr);
    EXPECT_EQ(env.liveTextures, 0);
}
