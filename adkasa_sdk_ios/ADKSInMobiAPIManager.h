// Fills an InMobi ad ("1003"): finds the site id in the ad's tag, learns
// the address and user agent, POSTs a JSON ad request and hands the HTML
// answer to the web view that asked.
#pragma once

#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSIpApiManager.h"

class ADKSInMobiAPIManager : public adks::WithFinishHandler<ADKSInMobiAPIManager, adks::AddressedRequest> {
public:
    void inmobiLoadApi() { loadWithAddress(); }
    void load() override { inmobiLoadApi(); }

    // The site id in a tag, or none.
    static std::optional<std::string> siteIdInTag(const std::string& tag);
    // The request body for these values (JSON, keys in the order InMobi
    // documents them).
    static std::string requestBody(int32_t adsize, const std::string& siteId, const std::string& ip,
                                   const std::string& ua, const std::optional<std::string>& ida);

private:
    void requestWithAddress(ADKSIpApiManager& ip) override;
    void handleBody(const std::string& body) override;
};
