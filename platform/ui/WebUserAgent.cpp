#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <mutex>
#include <string>

#include "platform/ns/NSDeviceFacts.h"

namespace KelpaPlatform {

std::string defaultWebUserAgent() {
    // WebKit's settings need GTK's display; without one (headless) there
    // are no web views either, and no user agent to give.
    static std::mutex lock;
    static std::string agent;
    std::lock_guard<std::mutex> guard(lock);
    if (agent.empty() && gdk_display_get_default()) {
        WebKitSettings* settings = webkit_settings_new();
        const gchar* ua = webkit_settings_get_user_agent(settings);
        agent = ua ? ua : "";
        g_object_unref(settings);
    }
    return agent;
}

}  // namespace KelpaPlatform
