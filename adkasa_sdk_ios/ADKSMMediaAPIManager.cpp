#include "adkasa_sdk_ios/ADKSMMediaAPIManager.h"

#include "adkasa_sdk_ios/ADKSPatterns.h"

using namespace KelpaPlatform;

std::optional<std::string> ADKSMMediaAPIManager::placementId() const {
    if (entity_) return entity_->placementApid();
    std::string script = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.mmediaScript, "http");
    if (script.empty() || adTag_.find(script + "/mmadlib/v1/mmadlib.js") == std::string::npos) return std::nullopt;
    return adks::quotedValueForKey(adTag_, "apid");
}

void ADKSMMediaAPIManager::requestWithAddress(ADKSIpApiManager& ip) {
    auto placement = placementId();
    if (!placement) {
        fail("No Millennial Media placement id");
        return;
    }
    if (!usableAddress(ip)) return;
    auto ida = AdkasaEnvironment::shared().advertisingId();
    if (!ida) {
        fail("No advertising identifier");
        return;
    }
    std::string host = endpointOrFail(AdkasaEnvironment::shared().endpoints.mmediaAd, "No Millennial Media endpoint");
    if (host.empty()) return;
    std::string tracking = "&ate=true&mmdid=mmh_" + md5WithString(*ida) + "_" + sha1WithString(*ida);
    NSURLRequest request = networkRequest(host + "/getAd?apid=" + percentEscape(*placement) + tracking +
                                          "&ua=" + percentEscape(*ip.ua()) + "&uip=" + percentEscape(*ip.ip()));
    request.httpMethod = "GET";
    send(std::move(request));
}

void ADKSMMediaAPIManager::handleBody(const std::string& body) { apiHtmlTag_ = adks::whitePage(adks::utf8OrEmpty(body)); }
