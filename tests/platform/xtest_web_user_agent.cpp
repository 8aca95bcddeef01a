// With a display, the device's web user agent is WebKit's own.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

#include "platform/ns/NSDeviceFacts.h"

// GTK's start-up keeps a few allocations for the life of the process; they
// are not this program's leaks.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\nleak:libglib-2.0.so\n"; }

TEST(WebUserAgent, ComesFromWebKitOnceGtkHasADisplay) {
    setenv("NO_AT_BRIDGE", "1", 1);
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    std::string ua = KelpaPlatform::DeviceFacts().webUserAgent();
    EXPECT_NE(ua.find("AppleWebKit/"), std::string::npos) << ua;
    EXPECT_EQ(KelpaPlatform::defaultWebUserAgent(), ua);
}
