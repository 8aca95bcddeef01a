#include "adkasa_sdk_ios/ADKSMMediaAPIManager.h"

#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "adkasa_sdk_ios/AdkasaManager.h"

using namespace KelpaPlatform;

ADKSMMediaAPIManager::ADKSMMediaAPIManager() : ipManager_(std::make_unique<ADKSIpApiManager>()) {}

ADKSMMediaAPIManager::~ADKSMMediaAPIManager() { ipManager_->cancel(); }

void ADKSMMediaAPIManager::setFinishLoadHandler(const void* target, Handler handler) {
    handlerTarget_ = target;
    handler_ = std::move(handler);
}

void ADKSMMediaAPIManager::cancel() {
    handlerTarget_ = nullptr;
    handler_ = nullptr;
    ipManager_->cancel();
    dropConnection();
    loadCheckFlg_ = false;
}

std::string ADKSMMediaAPIManager::md5WithString(const std::string& text) { return md5Hex(text.c_str()); }
std::string ADKSMMediaAPIManager::sha1WithString(const std::string& text) { return sha1Hex(text); }

void ADKSMMediaAPIManager::mmediaLoadApi() {
    if (loadCheckFlg_) return;
    loadCheckFlg_ = true;
    apiHtmlTag_.clear();
    errorStr_.reset();
    ipManager_->setFinishLoadHandler(this, [this](ADKSIpApiManager* m) { finishIpManager(m); });
    ipManager_->loadIpAndUa();
}

std::optional<std::string> ADKSMMediaAPIManager::placementId() const {
    if (entity_) return entity_->placementApid();
    std::string script = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.mmediaScript, "http");
    if (script.empty() || adTag_.find(script + "/mmadlib/v1/mmadlib.js") == std::string::npos) return std::nullopt;
    return adks::quotedValueForKey(adTag_, "apid");
}

void ADKSMMediaAPIManager::fail(const std::string& reason) {
    errorStr_ = reason;
    apiHtmlTag_.clear();
    finishLoad();
}

void ADKSMMediaAPIManager::finishIpManager(ADKSIpApiManager* ip) {
    if (ip->errorStr()) {
        apiHtmlTag_.clear();
        finishLoad();
        return;
    }
    auto placement = placementId();
    if (!placement) {
        fail("No Millennial Media placement id");
        return;
    }
    if (ip->ip() == "(null)" || ip->ua() == "(null)") {
        fail("No address or user agent");
        return;
    }
    if (!ip->ip()) ip->setIp("");
    if (!ip->ua()) ip->setUa("");
    auto ida = AdkasaManager::stringAdvertisingId();
    if (!ida) {
        fail("No advertising identifier");
        return;
    }
    std::string host = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.mmediaAd, "http");
    if (host.empty()) {
        fail("No Millennial Media endpoint");
        return;
    }
    std::string tracking = "&ate=true&mmdid=mmh_" + md5WithString(*ida) + "_" + sha1WithString(*ida);
    NSURLRequest request(host + "/getAd?apid=" + percentEscape(*placement) + tracking +
                         "&ua=" + percentEscape(*ip->ua()) + "&uip=" + percentEscape(*ip->ip()));
    request.httpMethod = "GET";
    request.cachePolicy = NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    request.timeoutInterval = kTimeoutSeconds;
    send(std::move(request));
}

void ADKSMMediaAPIManager::handleBody(const std::string& body) { apiHtmlTag_ = adks::whitePage(adks::utf8OrEmpty(body)); }

void ADKSMMediaAPIManager::finishLoad() {
    loadCheckFlg_ = false;
    dropConnection();
    if (!handler_) return;
    Handler handler = handler_;
    handler(this);
}
