#include <gtest/gtest.h>

#include "render/window_x11.h"

// The record a window gets, what an adopted window owns, and that releasing is idempotent.
TEST(WindowRecord, CreatedAndAdoptedWindowsOwnWhatTheyMade) {
    tagFXWindow made{};
    ASSERT_TRUE(fxCreateWindow(&made, 40, 30, nullptr, 0, 0));
    ASSERT_NE(made.platform, nullptr);
    EXPECT_TRUE(made.platform->ownsWindow);
    int w = 0, h = 0;
    EXPECT_TRUE(fxGetWindowSize(&made, &w, &h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);

    // An adopted window is the same server window, but releasing it leaves the window alive.
    tagFXWindow adopted{};
    ASSERT_TRUE(fxAttachWindow(&adopted, DisplayString(made.platform->display), made.platform->id));
    ASSERT_NE(adopted.platform, nullptr);
    EXPECT_EQ(adopted.platform->id, made.platform->id);
    EXPECT_FALSE(adopted.platform->ownsWindow);
    fxDestroyWindow(&adopted);
    EXPECT_EQ(adopted.platform, nullptr);
    fxDestroyWindow(&adopted);
    EXPECT_TRUE(fxGetWindowSize(&made, &w, &h));

    // Refused windows get no record, and every query on them fails.
    tagFXWindow none{};
    EXPECT_FALSE(fxAttachWindow(&none, DisplayString(made.platform->display), 0));
    EXPECT_EQ(none.platform, nullptr);
    EXPECT_FALSE(fxCreateWindow(&none, 0, 10, nullptr, 0, 0));
    EXPECT_EQ(none.platform, nullptr);
    EXPECT_FALSE(fxGetWindowSize(&none, &w, &h));
    EXPECT_FALSE(fxGetScreenSize(&none, &w, &h));
    fxDestroyWindow(&none);

    fxDestroyWindow(&made);
    EXPECT_EQ(made.platform, nullptr);
    EXPECT_FALSE(fxGetWindowSize(&made, &w, &h));
}
