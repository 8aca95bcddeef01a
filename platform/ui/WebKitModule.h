// WebKitGTK lives in a module of its own, opened when the first web view or
// user agent needs it (only with a display): linked into the program, its
// libraries (about 70 more) would be mapped, relocated and initialised at
// every start, runs without a display included. The module holds the
// WebKit engine; platform_ui opens it on first use.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/UIWebView.h"

namespace KelpaPlatform {

struct WebKitModule {
    // A page rendered at `scale` device pixels per point, with `userAgent`
    // (empty: WebKit's own).
    std::unique_ptr<WebEngine> (*makeEngine)(double scale, const std::string& userAgent);
    // WebKit's own user agent.
    std::string (*defaultUserAgent)();
};

// The module, opened on the first call; null when it cannot be
// (said once on the error stream).
const WebKitModule* webKitModule();
// Whether the module has been opened (by this process, so far).
bool webKitModuleLoaded();

}  // namespace KelpaPlatform

// The module's one entry point.
extern "C" const KelpaPlatform::WebKitModule* kelpa_webkit_module();
