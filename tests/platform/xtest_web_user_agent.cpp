// With a display, the device's web user agent is WebKit's own.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

#include "platform/ns/NSDeviceFacts.h"

TEST(WebUserAgent, ComesFromWebKitOnceGtkHasADisplay) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    std::string ua = KelpaPlatform::DeviceFacts().webUserAgent();
    EXPECT_NE(ua.find("AppleWebKit/"), std::string::npos) << ua;
    EXPECT_EQ(KelpaPlatform::defaultWebUserAgent(), ua);
}
