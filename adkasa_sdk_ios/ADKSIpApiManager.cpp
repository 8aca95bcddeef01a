#include "adkasa_sdk_ios/ADKSIpApiManager.h"

#include <nlohmann/json.hpp>

using namespace KelpaPlatform;

ADKSIpApiManager& ADKSIpApiManager::sharedManager() {
    static ADKSIpApiManager* shared = new ADKSIpApiManager();
    return *shared;
}

void ADKSIpApiManager::setFinishLoadHandler(const void* target, Handler handler) {
    handlerTarget_ = target;
    handler_ = std::move(handler);
}

void ADKSIpApiManager::cancel() {
    handlerTarget_ = nullptr;
    handler_ = nullptr;
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

void ADKSIpApiManager::finishLoad() {
    dropConnection();
    if (!handler_) return;
    Handler handler = handler_;  // the handler may set a new one
    handler(this);
}
