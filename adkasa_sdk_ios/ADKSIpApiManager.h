// Learns the device's public address from the ad service's address relay
// and the user agent of a platform web view, once per manager; and the
// base of the network builders that need both before they can ask.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSAPIRequest.h"

class ADKSIpApiManager : public adks::WithFinishHandler<ADKSIpApiManager, adks::APIRequest> {
public:
    ADKSIpApiManager() = default;
    static ADKSIpApiManager& sharedManager();

    // Drops the handler; a lookup in flight goes on and reports to no one.
    void cancel() { clearCompletion(); }
    void loadIpAndUa();

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

    std::optional<std::string> ip_, ua_;
};

namespace adks {

// A network builder that asks only once its own lookup has given the
// device's address and user agent (looked up once per builder).
class AddressedRequest : public NetworkAdRequest {
public:
    ~AddressedRequest() override;
    void cancel() override;
    // The lookup has ended: after a failed one the load completes with no
    // page (and no failure of its own); else the network is asked.
    void finishIpManager(ADKSIpApiManager* ipManager);
    ADKSIpApiManager& ipManager() { return *ipManager_; }

protected:
    AddressedRequest();

    // Starts a load with the lookup (which may end on the spot); ignored
    // while a load runs.
    void loadWithAddress();
    virtual void requestWithAddress(ADKSIpApiManager& ip) = 0;
    // False, with the load failed, when the address or the user agent
    // reads "(null)"; an unknown one becomes empty.
    bool usableAddress(ADKSIpApiManager& ip);

private:
    std::unique_ptr<ADKSIpApiManager> ipManager_;
};

}  // namespace adks
