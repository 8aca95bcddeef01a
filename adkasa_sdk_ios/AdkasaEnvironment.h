// Where the ad client's services live and what it stands on. The host sets
// the endpoints once at start-up; with none set the client acts as though
// the device were offline. Each endpoint is a host name (the scheme the
// request needs is put in front) or a base URL with its own scheme and an
// optional path prefix, such as http://127.0.0.1:8080/cdn.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ns/NSClock.h"
#include "platform/ns/NSDeviceFacts.h"
#include "platform/ns/NSUserDefaults.h"

struct AdkasaEndpoints {
    std::string contentDelivery;  // getinfo, tried first
    std::string mainApi;          // getinfo fallback, click reports
    std::string impression;       // impression reports
    std::string siteRoot;         // base URL of every ad page
    std::string addressRelay;     // /ua.php
    std::string inmobiScript;
    std::string inmobiApi;
    std::string leadboltApi;
    std::string gamefeatApi;
    std::string mmediaScript;
    std::string mmediaAd;

    bool configured() const { return !contentDelivery.empty() || !mainApi.empty(); }

    // Every endpoint on one ad service of ours at `origin` (as the local
    // ad service lays them out).
    static AdkasaEndpoints localService(const std::string& origin);
};

// "scheme://host" for a bare host, the endpoint itself when it has a
// scheme; empty for an empty endpoint.
std::string adkasaEndpointBase(const std::string& endpoint, const char* scheme);

class AdkasaEnvironment {
public:
    static AdkasaEnvironment& shared();

    AdkasaEndpoints endpoints;
    std::shared_ptr<KelpaPlatform::Clock> clock = KelpaPlatform::Clock::system();
    // Null: the platform's standard ones.
    std::shared_ptr<KelpaPlatform::NSUserDefaults> userDefaults;
    // Empty: the user's data folder for this program.
    std::string homeDirectory;

    std::shared_ptr<KelpaPlatform::NSUserDefaults> defaults() const;
    std::string home() const;
    // Opens a link outside the app (the system's browser); null: the
    // running application's.
    std::function<bool(const std::string& url)> urlOpener;
    bool openURL(const std::string& url) const;
    std::shared_ptr<KelpaPlatform::DeviceFacts> device() const { return KelpaPlatform::DeviceFacts::current(); }
    std::shared_ptr<KelpaPlatform::RandomSource> random() const { return KelpaPlatform::RandomSource::current(); }

    // The device's locale identifier without its "@..." keywords.
    std::string localeIdentifier() const;
    // The country code the ads' weights and reports use: "ja" for a
    // Japanese locale, else "en".
    std::string countryCode() const;
    // The advertising identifier, percent-escaped; none when there is none,
    // tracking is off or it is all zeros.
    std::optional<std::string> advertisingId() const;
};
