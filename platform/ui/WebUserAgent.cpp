#include <webkit2/webkit2.h>

#include <mutex>
#include <string>

#include "platform/ns/NSDeviceFacts.h"

namespace KelpaPlatform {

std::string defaultWebUserAgent() {
    // Settings need no display, unlike a web view; WebKit gives every new
    // web view the user agent its settings hold.
    static std::once_flag once;
    static std::string agent;
    std::call_once(once, [] {
        WebKitSettings* settings = webkit_settings_new();
        const gchar* ua = webkit_settings_get_user_agent(settings);
        agent = ua ? ua : "";
        g_object_unref(settings);
    });
    return agent;
}

}  // namespace KelpaPlatform
