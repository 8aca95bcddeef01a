#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"

#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSPatterns.h"

using namespace KelpaPlatform;

std::optional<std::string> ADKSInMobiAPIManager::siteIdInTag(const std::string& tag) {
    return adks::quotedValueForKey(tag, "siteid");
}

std::string ADKSInMobiAPIManager::requestBody(int32_t adsize, const std::string& siteId, const std::string& ip,
                                              const std::string& ua, const std::optional<std::string>& ida) {
    nlohmann::ordered_json device{{"ip", ip}, {"ua", ua}};
    if (ida) device["ida"] = *ida;
    nlohmann::ordered_json body{
        {"responseformat", "html"},
        {"imp", nlohmann::ordered_json::array(
                    {{{"displaymanager", "s_vantirol"}, {"ads", 1}, {"banner", {{"adsize", adsize}}}}})},
        {"site", {{"id", siteId}}},
        {"device", device},
    };
    // Every value is escaped; bytes that are not UTF-8 are replaced.
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void ADKSInMobiAPIManager::requestWithAddress(ADKSIpApiManager& ip) {
    const auto& endpoints = AdkasaEnvironment::shared().endpoints;
    std::string script = adkasaEndpointBase(endpoints.inmobiScript, "http");
    if (script.empty() || adTag_.find(script + "/ad/inmobi.js") == std::string::npos) {
        fail("No InMobi ad script in the tag");
        return;
    }
    auto siteId = siteIdInTag(adTag_);
    if (!siteId) {
        fail("No InMobi site id in the tag");
        return;
    }
    if (!usableAddress(ip)) return;
    std::string api = endpointOrFail(endpoints.inmobiApi, "No InMobi API endpoint");
    if (api.empty()) return;
    NSURLRequest request = networkRequest(api + "/showad/v2");
    request.httpMethod = "POST";
    request.setValueForHTTPHeaderField("application/json", "Content-Type");
    request.httpBody = requestBody(adsize_, *siteId, *ip.ip(), *ip.ua(), AdkasaEnvironment::shared().advertisingId());
    send(std::move(request));
}

void ADKSInMobiAPIManager::handleBody(const std::string& body) { apiHtmlTag_ = adks::utf8OrEmpty(body); }
