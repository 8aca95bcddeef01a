#include <mutex>
#include <string>

#include "platform/ns/NSDeviceFacts.h"

namespace KelpaPlatform {

std::string webKitDefaultUserAgent();  // WebKitModule.cpp

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
    if (agent.empty()) agent = webKitDefaultUserAgent();
    return agent;
}

}  // namespace KelpaPlatform
