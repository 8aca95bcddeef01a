#include "host/HostServices.h"

#include <glib.h>

#include <cstdio>
#include <cstring>

#include "engine/HostBridge.h"
#include "host/HostState.h"
#include "host/ShownValue.h"
#include "host/ViewController.h"
#include "platform/ns/MainQueue.h"
#include "platform/ui/UIApplication.h"

namespace KelpaHost {

namespace {

// URLs longer than this are refused: no browser needs them, and a game
// never makes them.
constexpr size_t kMaxURLLength = 8192;

void printLine(const char* what, const std::string& text) {
    std::printf("%s: %s\n", what, shownWhole(text).c_str());
    std::fflush(stdout);
}

class HostServicesBridge : public KelpaEngine::HostBridge {
public:
    void shareTwitter(const char* text) override { hostShareTwitter(text); }
    void shareFacebook(const char* text) override { hostShareFacebook(text); }
    void openURL(const char* url) override { hostOpenURL(url); }
};

void share(ShareService service, const char* text) {
    std::string copy = text ? text : "";
    KelpaPlatform::dispatchAsyncMain([service, copy]() {
        ViewController* root = hostState().rootViewController.load(std::memory_order_acquire);
        if (!root) return;
        hostServices().presentShareSheet(service, copy, []() {
            // The root view shows again once the sheet is gone.
            if (ViewController* vc = hostState().rootViewController.load(std::memory_order_acquire)) {
                vc->viewDidAppear(true);
            }
        });
    });
}

}  // namespace

void HostServices::refusedURL(const std::string& url) {
    std::fprintf(stderr, "mekko: refused to open a URL that is not http or https: %s\n", shownWhole(url).c_str());
}

void PrintingServices::presentShareSheet(ShareService service, const std::string& text, std::function<void()> dismissed) {
    printLine(service == ShareService::Twitter ? "share twitter" : "share facebook", text);
    if (dismissed) dismissed();
}

void PrintingServices::openURL(const std::string& url) { printLine("open url", url); }

void PrintingServices::refusedURL(const std::string& url) { printLine("refused url", url); }

void DesktopServices::openURL(const std::string& url) {
    KelpaPlatform::UIApplication* app = KelpaPlatform::UIApplication::shared();
    if (!app || !app->openURL(url)) PrintingServices::openURL(url);
}

HostServices& hostServices() {
    static PrintingServices printing;
    static DesktopServices desktop;
    if (HostServices* seam = hostState().services) return *seam;
    KelpaPlatform::UIApplication* app = KelpaPlatform::UIApplication::shared();
    if (app && app->hasDisplay()) return desktop;
    return printing;
}

bool isWebURL(const char* url) {
    if (!url) return false;
    size_t n = std::strlen(url);
    if (n == 0 || n > kMaxURLLength) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(url[i]);
        if (c <= 0x20 || c == 0x7f) return false;
    }
    GError* error = nullptr;
    GUri* uri = g_uri_parse(url, G_URI_FLAGS_ENCODED, &error);
    if (!uri) {
        g_clear_error(&error);
        return false;
    }
    const char* scheme = g_uri_get_scheme(uri);  // always lower case
    const char* host = g_uri_get_host(uri);
    bool ok = scheme && (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0) && host && *host;
    g_uri_unref(uri);
    return ok;
}

std::string shareWebURL(ShareService service, const std::string& text) {
    char* escaped = g_uri_escape_string(text.c_str(), nullptr, FALSE);
    std::string url = service == ShareService::Twitter ? "https://twitter.com/intent/tweet?text="
                                                       : "https://www.facebook.com/sharer/sharer.php?quote=";
    url += escaped ? escaped : "";
    g_free(escaped);
    return url;
}

bool hostOpenURL(const char* url) {
    if (!isWebURL(url)) {
        hostServices().refusedURL(url ? url : "(null)");
        return false;
    }
    hostServices().openURL(url);
    return true;
}

void hostShareTwitter(const char* text) { share(ShareService::Twitter, text); }
void hostShareFacebook(const char* text) { share(ShareService::Facebook, text); }

void installHostServicesBridge() {
    static HostServicesBridge bridge;
    KelpaEngine::installHostBridge(&bridge);
}

}  // namespace KelpaHost
