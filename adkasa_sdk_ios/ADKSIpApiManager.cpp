#include "adkasa_sdk_ios/ADKSIpApiManager.h"

#include <nlohmann/json.hpp>

using namespace KelpaPlatform;

ADKSIpApiManager& ADKSIpApiManager::sharedManager() {
    static ADKSIpApiManager* shared = new ADKSIpApiManager();
    return *shared;
}

void ADKSIpApiManager::loadIpAndUa() {
    if (ip_) {
        finishLoad();
        return;
    }
    ip_.reset();
    ua_.reset();
    errorStr_.reset();
    std::string base = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.addressRelay, "http");
    if (base.empty()) {
        errorStr_ = "No address relay";
        finishLoad();
        return;
    }
    NSURLRequest request(base + "/ua.php");
    request.cachePolicy = NSURLRequestCachePolicy::UseProtocolCachePolicy;
    request.timeoutInterval = kTimeoutSeconds;
    send(std::move(request));
}

bool ADKSIpApiManager::parseAnswer(const std::string& body, std::optional<std::string>* ip) {
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    ip->reset();
    if (!answer.is_object()) return false;
    auto it = answer.find("ip");
    // An object without a usable address counts as no address.
    if (it != answer.end() && it->is_string()) *ip = it->get<std::string>();
    return true;
}

void ADKSIpApiManager::handleBody(const std::string& body) {
    if (parseAnswer(body, &ip_)) {
        ua_ = AdkasaEnvironment::shared().device()->webUserAgent();
    } else {
        ua_.reset();
    }
}

namespace adks {

AddressedRequest::AddressedRequest() : ipManager_(std::make_unique<ADKSIpApiManager>()) {}

AddressedRequest::~AddressedRequest() { ipManager_->cancel(); }

void AddressedRequest::cancel() {
    ipManager_->cancel();
    NetworkAdRequest::cancel();
}

void AddressedRequest::loadWithAddress() {
    if (loadCheckFlg_) return;
    // Begun before the lookup, which may end on the spot.
    beginLoad();
    ipManager_->setFinishLoadHandler(this, [this](ADKSIpApiManager* m) { finishIpManager(m); });
    ipManager_->loadIpAndUa();
}

void AddressedRequest::finishIpManager(ADKSIpApiManager* ip) {
    // Whatever keeps the request from being made completes the load with an
    // empty answer, so the caller always hears back.
    if (!ip || ip->errorStr()) {
        apiHtmlTag_.clear();
        finishLoad();
        return;
    }
    requestWithAddress(*ip);
}

bool AddressedRequest::usableAddress(ADKSIpApiManager& ip) {
    if (ip.ip() == "(null)" || ip.ua() == "(null)") {
        fail("No address or user agent");
        return false;
    }
    if (!ip.ip()) ip.setIp("");
    if (!ip.ua()) ip.setUa("");
    return true;
}

}  // namespace adks
