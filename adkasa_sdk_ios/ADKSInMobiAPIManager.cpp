#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"

#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "adkasa_sdk_ios/AdkasaManager.h"

using namespace KelpaPlatform;

ADKSInMobiAPIManager::ADKSInMobiAPIManager() : ipManager_(std::make_unique<ADKSIpApiManager>()) {}

ADKSInMobiAPIManager::~ADKSInMobiAPIManager() { ipManager_->cancel(); }

void ADKSInMobiAPIManager::setFinishLoadHandler(const void* target, Handler handler) {
    handlerTarget_ = target;
    handler_ = std::move(handler);
}

void ADKSInMobiAPIManager::cancel() {
    handlerTarget_ = nullptr;
    handler_ = nullptr;
    ipManager_->cancel();
    dropConnection();
    loadCheckFlg_ = false;
}

void ADKSInMobiAPIManager::inmobiLoadApi() {
    if (loadCheckFlg_) return;
    loadCheckFlg_ = true;
    // Cleared before the lookup, which may complete on the spot.
    apiHtmlTag_.clear();
    errorStr_.reset();
    ipManager_->setFinishLoadHandler(this, [this](ADKSIpApiManager* m) { finishIpManager(m); });
    ipManager_->loadIpAndUa();
}

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

void ADKSInMobiAPIManager::fail(const std::string& reason) {
    errorStr_ = reason;
    apiHtmlTag_.clear();
    finishLoad();
}

void ADKSInMobiAPIManager::finishIpManager(ADKSIpApiManager* ip) {
    // Whatever keeps the request from being made completes the load with an
    // empty answer, so the caller always hears back.
    if (ip->errorStr()) {
        apiHtmlTag_.clear();
        finishLoad();
        return;
    }
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
    if (ip->ip() == "(null)" || ip->ua() == "(null)") {
        fail("No address or user agent");
        return;
    }
    if (!ip->ip()) ip->setIp("");
    if (!ip->ua()) ip->setUa("");
    std::string api = adkasaEndpointBase(endpoints.inmobiApi, "http");
    if (api.empty()) {
        fail("No InMobi API endpoint");
        return;
    }
    NSURLRequest request(api + "/showad/v2");
    request.httpMethod = "POST";
    request.cachePolicy = NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    request.timeoutInterval = kTimeoutSeconds;
    request.setValueForHTTPHeaderField("application/json", "Content-Type");
    request.httpBody = requestBody(adsize_, *siteId, *ip->ip(), *ip->ua(), AdkasaManager::stringAdvertisingId());
    send(std::move(request));
}

void ADKSInMobiAPIManager::handleBody(const std::string& body) { apiHtmlTag_ = adks::utf8OrEmpty(body); }

void ADKSInMobiAPIManager::finishLoad() {
    loadCheckFlg_ = false;
    dropConnection();
    if (!handler_) return;
    Handler handler = handler_;
    handler(this);
}
