#include "platform/ui/WebKitModule.h"

#include <dlfcn.h>
#include <gdk/gdk.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/StartupTimeline.h"
#include "platform/ns/NSDeviceFacts.h"
#include "platform/ui/UIApplication.h"

#ifndef KELPA_WEBKIT_MODULE
#define KELPA_WEBKIT_MODULE ""
#endif

namespace KelpaPlatform {

namespace {

constexpr const char* kModuleName = "libkelpa_webkit.so";

std::atomic<bool> gLoaded{false};

std::string besideExecutable() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string path(buf, size_t(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1) + kModuleName;
}

const WebKitModule* open() {
    // Beside the program first (a copied build), then where the build made it.
    std::string error;
    for (const std::string& path : {besideExecutable(), std::string(KELPA_WEBKIT_MODULE)}) {
        if (path.empty() || access(path.c_str(), R_OK) != 0) continue;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            error = why ? why : path;
            continue;
        }
        auto entry = reinterpret_cast<const WebKitModule* (*)()>(dlsym(handle, "kelpa_webkit_module"));
        if (entry && entry()) {
            markStartup("web engine loaded");
            return entry();
        }
        error = path + " has no web engine";
        dlclose(handle);
    }
    if (error.empty()) error = std::string(kModuleName) + " not found";
    std::fprintf(stderr, "web views: WebKit cannot be loaded (%s); pages are not rendered\n", error.c_str());
    return nullptr;
}

}  // namespace

const WebKitModule* webKitModule() {
    static const WebKitModule* module = [] {
        const WebKitModule* m = open();
        gLoaded.store(m != nullptr);
        return m;
    }();
    return module;
}

bool webKitModuleLoaded() { return gLoaded.load(); }

// Without a display there is nothing to render on, and WebKit stays unloaded.
std::unique_ptr<WebEngine> makeWebKitEngine() {
    if (!gdk_display_get_default()) return nullptr;
    const WebKitModule* module = webKitModule();
    if (!module) return nullptr;
    double scale = UIScreen::mainScreen().scale();
    return module->makeEngine(scale, defaultWebUserAgent());
}

std::string webKitDefaultUserAgent() {
    if (!gdk_display_get_default()) return "";
    const WebKitModule* module = webKitModule();
    return module ? module->defaultUserAgent() : std::string();
}

}  // namespace KelpaPlatform
