#include <gtest/gtest.h>

#include "objects/desk.h"
#include "objects/scrpos01.h"
#include "render/material.h"
#include "support/test_env.h"

namespace {

void expectXY(const tagFXVertex& v, float x, float y) {
    EXPECT_EQ(v.position[0], x);
    EXPECT_EQ(v.position[1], y);
    EXPECT_EQ(v.position[2], 0.0f);
}

} // namespace

TEST(Desk, OneByOneGridLayout) {
    FXDesk desk;
    desk.Create(1, 1);
    ASSERT_EQ(desk.mesh.vertexCount, 4);
    ASSERT_EQ(desk.mesh.indexCount, 6);
    expectXY(desk.mesh.vertices[0], -1.0f, 1.0f);
    expectXY(desk.mesh.vertices[1], 1.0f, 1.0f);
    expectXY(desk.mesh.vertices[2], -1.0f, -1.0f);
    expectXY(desk.mesh.vertices[3], 1.0f, -1.0f);
    const int indices[6] = {0, 2, 1, 2, 3, 1};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(desk.mesh.indices[i], indices[i]);
    }
    for (int i = 0; i < 4; i++) {
        const tagFXVertex& v = desk.mesh.vertices[i];
        EXPECT_EQ(v.normal[2], -1.0f);
        EXPECT_EQ(v.colour[0], 1.0f);
        EXPECT_EQ(v.colour[3], 1.0f);
        EXPECT_EQ(v.tag, 0);
        EXPECT_EQ(v.texCoord[0], 0.0f); // no material: every coordinate at 0
        EXPECT_EQ(v.texCoord[1], 0.0f);
    }
}

TEST(Desk, CellsOfALargerGrid) {
    FXDesk desk;
    desk.Create(3, 2);
    ASSERT_EQ(desk.mesh.vertexCount, 12);
    ASSERT_EQ(desk.mesh.indexCount, 36);
    // Cell (1, 2): upper-left vertex 1 * 4 + 2 = 6.
    const int* cell = desk.mesh.indices + (1 * 3 + 2) * 6;
    const int expected[6] = {6, 10, 7, 10, 11, 7};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(cell[i], expected[i]);
    }
    expectXY(desk.mesh.vertices[5], 2.0f * (1.0f / 3.0f) - 1.0f, 0.0f);
}

TEST(Desk, RecreatingWithTheSameSizeKeepsChangesAnotherSizeResets) {
    FXDesk desk;
    desk.Create(2, 2);
    desk.mesh.vertices[4].position[0] = 0.5f;
    desk.mesh.vertices[4].colour[1] = 0.25f;
    desk.Create(2, 2);
    EXPECT_EQ(desk.mesh.vertices[4].position[0], 0.5f);
    EXPECT_EQ(desk.mesh.vertices[4].colour[1], 0.25f);
    desk.Create(1, 2);
    desk.Create(2, 2);
    EXPECT_EQ(desk.mesh.vertices[4].position[0], 0.0f);
    EXPECT_EQ(desk.mesh.vertices[4].colour[1], 1.0f);
    desk.Destroy();
    EXPECT_EQ(desk.cols, 0);
    EXPECT_EQ(desk.mesh.vertexCount, 0);
    desk.Create(2, 2); // rebuilds after Destroy
    EXPECT_EQ(desk.mesh.vertexCount, 9);
}

TEST(Desk, TextureCoordinatesFollowTheMaterialAndTheFlip) {
    TestEnv env;
    fxSetEnv(&env);
    FXMaterial m;
    m.texScaleU = 0.78125f;
    m.texScaleV = 0.9375f;
    FXDesk desk;
    desk.Create(1, 1);
    desk.SetMaterial(&m);
    EXPECT_EQ(desk.mesh.vertices[3].texCoord[0], 0.78125f);
    EXPECT_EQ(desk.mesh.vertices[3].texCoord[1], 0.9375f);
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[1], 0.0f);

    desk.mesh.flipV = true;
    desk.UpdateTex();
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[0], 0.0f);
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[1], 0.9375f); // top left (0, V)
    EXPECT_EQ(desk.mesh.vertices[2].texCoord[1], 0.0f);    // bottom left (0, 0)

    desk.mesh.flipV = false;
    desk.UpdateTexRc(0.5f, 0.25f, 1.0f, 0.75f);
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[0], 0.5f * 0.78125f);
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[1], 0.25f * 0.9375f);
    EXPECT_EQ(desk.mesh.vertices[3].texCoord[1], 0.75f * 0.9375f);

    desk.UpdateTex1();
    EXPECT_EQ(desk.mesh.vertices[3].texCoord[0], 1.0f);
    EXPECT_EQ(desk.mesh.vertices[3].texCoord[1], 1.0f);

    desk.SetMaterial(nullptr);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(desk.mesh.vertices[i].texCoord[0], 0.0f);
        EXPECT_EQ(desk.mesh.vertices[i].texCoord[1], 0.0f);
    }
    desk.Destroy();
    fxSetEnv(nullptr);
}

TEST(Desk, SkewAndPerspectiveLayouts) {
    FXDesk desk;
    desk.Create(1, 1);
    desk.UpdatePosSkew(true, true, 0.5f, 0.25f);
    expectXY(desk.mesh.vertices[0], -0.5f, 1.25f); // top left: full sx and full sy
    expectXY(desk.mesh.vertices[3], 1.0f, -1.0f);  // bottom right: none
    desk.UpdatePosSkew1(true, false, 0.5f, 0.25f);
    expectXY(desk.mesh.vertices[0], -1.0f, 1.0f);
    expectXY(desk.mesh.vertices[3], 1.5f, -0.75f);

    desk.mesh.vertices[1].normal[2] = 7.0f;
    desk.UpdatePosPerspective(0.0f);
    expectXY(desk.mesh.vertices[1], 1.0f, 1.0f);
    EXPECT_EQ(desk.mesh.vertices[1].normal[2], 7.0f); // normals untouched
    desk.UpdatePosPerspective(1.0f);
    expectXY(desk.mesh.vertices[0], -1.0f, 1.0f);
    expectXY(desk.mesh.vertices[3], 2.0f, -1.0f); // bottom edge twice as wide

    desk.UpdatePos(false, true);
    expectXY(desk.mesh.vertices[3], 2.0f, -1.0f); // positions not written
    EXPECT_EQ(desk.mesh.vertices[1].normal[2], -1.0f);
}

TEST(Desk, ColourGradientGrowsWithTheProductOfTheFractions) {
    FXDesk desk;
    desk.Create(2, 2);
    float lt[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float rb[4] = {1.0f, 0.5f, 0.25f, 1.0f};
    desk.UpdateCol_LT_RB(lt, rb);
    EXPECT_EQ(desk.mesh.vertices[4].colour[0], 0.25f); // centre: t = 0.5 * 0.5
    EXPECT_EQ(desk.mesh.vertices[4].colour[1], 0.125f);
    EXPECT_EQ(desk.mesh.vertices[2].colour[0], 0.0f); // top row
    EXPECT_EQ(desk.mesh.vertices[6].colour[0], 0.0f); // left column
    EXPECT_EQ(desk.mesh.vertices[8].colour[2], 0.25f);
}

TEST(Desk, CornerSettersAddressTheFourCornersClockwise) {
    FXDesk desk;
    desk.Create(1, 1);
    desk.SetVertexPos(3, 0.5f, -0.5f);
    expectXY(desk.mesh.vertices[3], 0.5f, -0.5f);
    desk.SetVertexPos(4, -0.25f, -0.75f);
    expectXY(desk.mesh.vertices[2], -0.25f, -0.75f);
    desk.SetVertexPos1(2, 300, 0, 400, 200);
    expectXY(desk.mesh.vertices[1], 0.5f, 1.0f);
    desk.SetTexelPos1(1, 50, 25, 100, 100);
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[0], 0.5f);
    EXPECT_EQ(desk.mesh.vertices[0].texCoord[1], 0.25f);

    FXDesk copy;
    copy.Create(1, 1);
    desk.SetVertexPos(5, 9.0f, 9.0f);
    desk.SetTexelPos(0, 9.0f, 9.0f);
    for (int i = 0; i < 4; i++) {
        EXPECT_NE(desk.mesh.vertices[i].position[0], 9.0f);
        EXPECT_NE(desk.mesh.vertices[i].texCoord[0], 9.0f);
    }
    FXDesk empty;
    empty.SetVertexPos(1, 1.0f, 1.0f); // nothing to write to: ignored
}

TEST(ScrPos, PlacementOfAnItem) {
    FXScrPos01 pos;
    pos.screenW = 1024.0f;
    pos.screenH = 768.0f;
    pos.itemW = 200.0f;
    pos.itemH = 50.0f;
    pos.SetPos(10.0f, 10.0f);
    EXPECT_FLOAT_EQ(pos.placement.m[0], 0.1953125f);
    EXPECT_NEAR(pos.placement.m[5], 50.0f / 768.0f, 1e-7); // 0.0651042
    EXPECT_FLOAT_EQ(pos.placement.m[12], -0.78515625f);
    EXPECT_NEAR(pos.placement.m[13], 0.90885417f, 1e-6);
    // Corners of the unit quad land on pixels (10, 10) and (210, 60).
    float left = pos.placement.m[12] - pos.placement.m[0];
    float top = pos.placement.m[13] + pos.placement.m[5];
    EXPECT_NEAR((left + 1.0f) * 512.0f, 10.0f, 1e-3);
    EXPECT_NEAR((1.0f - top) * 384.0f, 10.0f, 1e-3);

    FXRect rc;
    pos.GetPixelRC(&rc, 512, 384);
    EXPECT_EQ(rc.x1, 5);
    EXPECT_EQ(rc.y1, 5);
    EXPECT_EQ(rc.x2, 105);
    EXPECT_EQ(rc.y2, 30);

    pos.ShiftPos(0.5f, 0.0f);
    EXPECT_EQ(pos.posX, 522.0f);
    EXPECT_FLOAT_EQ(pos.placement.m[12], -0.78515625f + 1.0f);
}

TEST(ScrPos, FullScreenItemsAndBadSizesGiveTheIdentity) {
    FXScrPos01 pos;
    FXMatrix identity;
    identity.SetIdentity();
    pos.screenW = pos.itemW = 640.0f;
    pos.screenH = pos.itemH = 480.0f;
    pos.SetPos(0.0f, 0.0f);
    EXPECT_TRUE(pos.placement.Compare(&identity));
    pos.itemW = 0.0f;
    pos.placement.SetScaleF(2.0f, 2.0f, 2.0f);
    pos.Update();
    EXPECT_TRUE(pos.placement.Compare(&identity));
    pos.UpdateSize();
    EXPECT_TRUE(pos.placement.Compare(&identity));
}

TEST(ScrPos, AspectNarrowing) {
    FXScrPos01 pos;
    pos.screenW = 1000.0f;
    pos.screenH = 500.0f;
    pos.itemW = 1000.0f;
    pos.itemH = 500.0f;
    pos.UpdateSize();
    FXMatrix before;
    before.Copy(&pos.placement);
    pos.UpdateAspectH1(0, 100.0f, 100.0f); // r = 2: unchanged
    EXPECT_TRUE(pos.placement.Compare(&before));
    pos.UpdateAspectH1(0, 200.0f, 50.0f); // r = 0.5 about the centre
    EXPECT_FLOAT_EQ(pos.placement.m[0], 0.5f);
    EXPECT_FLOAT_EQ(pos.placement.m[12], 0.0f);
    pos.UpdateSize();
    pos.UpdateAspectH1(1, 200.0f, 50.0f); // against the right edge
    EXPECT_FLOAT_EQ(pos.placement.m[12] + pos.placement.m[0], 1.0f);
    pos.UpdateSize();
    pos.UpdateAspectH1(2, 200.0f, 50.0f); // against the left edge
    EXPECT_FLOAT_EQ(pos.placement.m[12] - pos.placement.m[0], -1.0f);
}

TEST(ScrPos, RelativePlacementCombinesWithTheCurrentMatrix) {
    TestEnv env;
    FXScrPos01 pos;
    pos.placement.SetScaleF(0.5f, 0.5f, 1.0f);
    FXMatrix move;
    move.SetMoveF(0.25f, 0.0f, 0.0f);
    env.curMatrix.Copy(&move);
    pos.relative = true;
    pos.OnRender(&env, 0.0);
    ASSERT_NE(env.lastAppliedMatrix, nullptr);
    FXMatrix expected;
    expected.Multiply(&move, &pos.placement);
    EXPECT_TRUE(env.lastMatrix.Compare(&expected));
    pos.relative = false;
    pos.OnRender(&env, 0.0);
    EXPECT_TRUE(env.lastMatrix.Compare(&pos.placement));
}
