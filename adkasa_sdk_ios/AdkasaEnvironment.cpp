#include "adkasa_sdk_ios/AdkasaEnvironment.h"

#include <glib.h>

#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "platform/ui/UIApplication.h"

AdkasaEndpoints AdkasaEndpoints::localService(const std::string& origin) {
    AdkasaEndpoints e;
    e.contentDelivery = origin + "/cdn";
    e.mainApi = origin;
    e.impression = origin;
    e.siteRoot = origin;
    e.addressRelay = origin + "/relay";
    e.inmobiScript = origin + "/inmobi";
    e.inmobiApi = origin + "/inmobi";
    e.leadboltApi = origin + "/leadbolt";
    e.gamefeatApi = origin + "/gamefeat";
    e.mmediaScript = origin + "/mmedia";
    e.mmediaAd = origin + "/mmedia";
    return e;
}

std::string adkasaEndpointBase(const std::string& endpoint, const char* scheme) {
    if (endpoint.empty()) return {};
    std::string base = endpoint.find("://") != std::string::npos ? endpoint : std::string(scheme) + "://" + endpoint;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

AdkasaEnvironment& AdkasaEnvironment::shared() {
    static AdkasaEnvironment env;
    return env;
}

std::shared_ptr<KelpaPlatform::NSUserDefaults> AdkasaEnvironment::defaults() const {
    return userDefaults ? userDefaults : KelpaPlatform::NSUserDefaults::standardUserDefaults();
}

std::string AdkasaEnvironment::home() const {
    if (!homeDirectory.empty()) return homeDirectory;
    const char* name = g_get_prgname();
    return std::string(g_get_user_data_dir()) + "/" + (name && *name ? name : "mekko");
}

bool AdkasaEnvironment::openURL(const std::string& url) const {
    if (urlOpener) return urlOpener(url);
    KelpaPlatform::UIApplication* app = KelpaPlatform::UIApplication::shared();
    return app && app->openURL(url);
}

std::string AdkasaEnvironment::localeIdentifier() const {
    return adks::withoutAtSuffix(device()->currentLocaleIdentifier());
}

std::string AdkasaEnvironment::countryCode() const {
    return localeIdentifier().find("ja") != std::string::npos ? "ja" : "en";
}

std::optional<std::string> AdkasaEnvironment::advertisingId() const {
    auto facts = device();
    auto id = facts->advertisingIdentifier();
    if (!id || !facts->advertisingTrackingEnabled() || *id == "00000000-0000-0000-0000-000000000000") {
        return std::nullopt;
    }
    return KelpaPlatform::percentEscape(*id);
}
