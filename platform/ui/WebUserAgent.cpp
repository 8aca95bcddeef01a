#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <mutex>
#include <string>

#include "platform/ns/NSDeviceFacts.h"

namespace KelpaPlatform {

namespace {
std::mutex gAgentLock;
std::string gAgent;
}  // namespace

void setDefaultWebUserAgent(const std::string& agent) {
    std::lock_guard<std::mutex> guard(gAgentLock);
    gAgent = agent;
}

std::string defaultWebUserAgent() {
    // WebKit's settings need GTK's display; without one (headless) there
    // are no web views either, and no user agent to give.
    std::lock_guard<std::mutex> guard(gAgentLock);
    std::string& agent = gAgent;
    if (agent.empty() && gdk_display_get_default()) {
        WebKitSettings* settings = webkit_settings_new();
        const gchar* ua = webkit_settings_get_user_agent(settings);
        agent = ua ? ua : "";
        g_object_unref(settings);
    }
    return agent;
}

}  // namespace KelpaPlatform
