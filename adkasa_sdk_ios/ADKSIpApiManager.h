// Learns the device's public address from the ad service's address relay
// and the user agent of a platform web view, once per manager.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSAPIRequest.h"

class ADKSIpApiManager : public adks::APIRequest {
public:
    using Handler = std::function<void(ADKSIpApiManager*)>;

    ADKSIpApiManager() = default;
    static ADKSIpApiManager& sharedManager();

    // The target only identifies the handler; it is not retained.
    void setFinishLoadHandler(const void* target, Handler handler);
    void cancel();
    void loadIpAndUa();
    void finishLoad() override;

    const std::optional<std::string>& ip() const { return ip_; }
    const std::optional<std::string>& ua() const { return ua_; }
    void setIp(std::optional<std::string> ip) { ip_ = std::move(ip); }
    void setUa(std::optional<std::string> ua) { ua_ = std::move(ua); }
    void setErrorStr(std::optional<std::string> e) { errorStr_ = std::move(e); }

    // What a relay answer gives: whether it is a JSON object, and the
    // address in it.
    static bool parseAnswer(const std::string& body, std::optional<std::string>* ip);

private:
    void handleBody(const std::string& body) override;

    const void* handlerTarget_ = nullptr;
    Handler handler_;
    std::optional<std::string> ip_, ua_;
};
