#include <gtest/gtest.h>

#include "render/gl.h"

TEST(ExtensionString, MatchesWholeNamesOnly) {
    EXPECT_TRUE(FXGL::TestExtensionString("GL_EXT_bgra GL_ARB_multitexture", "EXT_bgra"));
    EXPECT_TRUE(FXGL::TestExtensionString("GL_ARB_multitexture GL_EXT_bgra", "EXT_bgra"));
    EXPECT_FALSE(FXGL::TestExtensionString("GL_EXT_bgra_extra", "EXT_bgra"));
    // A near miss before the real entry does not hide it.
    EXPECT_TRUE(FXGL::TestExtensionString("GL_EXT_bgra_extra GL_EXT_bgra", "EXT_bgra"));
    EXPECT_FALSE(FXGL::TestExtensionString("", "EXT_bgra"));
    EXPECT_FALSE(FXGL::TestExtensionString("GL_EXT_bgra", ""));
    EXPECT_FALSE(FXGL::TestExtensionString(nullptr, "EXT_bgra"));
    EXPECT_FALSE(FXGL::TestExtensionString("GL_ARB_multitexture", "EXT_bgra"));
}
