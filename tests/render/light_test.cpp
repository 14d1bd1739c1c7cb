#include <gtest/gtest.h>

#include "render/light.h"

namespace {

void expect4(const float* v, float a, float b, float c, float d) {
    EXPECT_EQ(v[0], a);
    EXPECT_EQ(v[1], b);
    EXPECT_EQ(v[2], c);
    EXPECT_EQ(v[3], d);
}

} // namespace

TEST(Light, ConstructionGivesAWhiteDirectionalLight) {
    FXLight l;
    EXPECT_EQ(l.glLight, 0);
    EXPECT_FALSE(l.off);
    expect4(l.position, 0.0f, 0.0f, -1.0f, 0.0f);
    expect4(l.spotDirection, 0.0f, 0.0f, 1.0f, 0.0f);
    expect4(l.ambient, 0.2f, 0.2f, 0.2f, 1.0f);
    expect4(l.diffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    expect4(l.specular, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(l.spotExponent, 0.0f);
    EXPECT_EQ(l.spotCutoff, 180.0f);
    EXPECT_EQ(l.constantAttenuation, 0.0f);
    EXPECT_EQ(l.linearAttenuation, 0.0f);
    EXPECT_EQ(l.quadraticAttenuation, 0.0f);
}

TEST(Light, PresetsWriteEveryColourAndNeverMoveTheLight) {
    FXLight l;
    l.position[0] = 3.0f;
    l.position[1] = 4.0f;
    l.position[2] = 5.0f;
    l.spotDirection[0] = 0.5f;

    l.SetDefSpecular(0.5f);
    EXPECT_EQ(l.position[3], 1.0f); // positional
    expect4(l.ambient, 0.0f, 0.0f, 0.0f, 0.5f);
    expect4(l.diffuse, 1.0f, 1.0f, 1.0f, 0.5f);
    expect4(l.specular, 1.0f, 1.0f, 1.0f, 0.5f);
    EXPECT_EQ(l.spotExponent, 12.0f);
    EXPECT_EQ(l.spotCutoff, 180.0f);
    EXPECT_EQ(l.constantAttenuation, 0.4f);
    EXPECT_EQ(l.linearAttenuation, 0.4f);
    EXPECT_EQ(l.quadraticAttenuation, 0.0f);

    l.SetDefAmbient(0.25f);
    EXPECT_EQ(l.position[3], 0.0f);
    expect4(l.ambient, 1.0f, 1.0f, 1.0f, 0.25f);
    expect4(l.diffuse, 0.0f, 0.0f, 0.0f, 0.0f);
    expect4(l.specular, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(l.spotExponent, 0.0f);
    EXPECT_EQ(l.constantAttenuation, 0.0f);

    l.SetDiffuseDark(0.3f, 0.75f);
    expect4(l.ambient, 0.0f, 0.0f, 0.0f, 0.75f);
    expect4(l.diffuse, 0.3f, 0.3f, 0.3f, 0.75f);
    expect4(l.specular, 0.0f, 0.0f, 0.0f, 0.0f);

    l.SetDefault(0.5f);
    expect4(l.ambient, 0.2f, 0.2f, 0.2f, 0.5f);
    expect4(l.diffuse, 1.0f, 1.0f, 1.0f, 0.5f);

    EXPECT_EQ(l.position[0], 3.0f);
    EXPECT_EQ(l.position[1], 4.0f);
    EXPECT_EQ(l.position[2], 5.0f);
    EXPECT_EQ(l.spotDirection[0], 0.5f);
}

TEST(Light, MultiColorScalesAmbientDiffuseAndSpecularInPlace) {
    FXLight l;
    l.SetDefSpecular(1.0f);
    l.ambient[0] = 0.5f;
    l.MultiColorF(0.5f, 0.25f, 2.0f, 0.5f);
    expect4(l.ambient, 0.25f, 0.0f, 0.0f, 0.5f);
    expect4(l.diffuse, 0.5f, 0.25f, 2.0f, 0.5f);
    expect4(l.specular, 0.5f, 0.25f, 2.0f, 0.5f);
    const float m[4] = {2.0f, 4.0f, 0.5f, 2.0f};
    l.MultiColor(m);
    expect4(l.diffuse, 1.0f, 1.0f, 1.0f, 1.0f);
}
