// Fills a Millennial Media ad ("1060"): one GET to the ad server with the
// placement id, hashed advertising identifier, user agent and address; the
// answer is shown in a white page.
#pragma once

#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSIpApiManager.h"

class ADKSMMediaAPIManager : public adks::WithFinishHandler<ADKSMMediaAPIManager, adks::AddressedRequest> {
public:
    void mmediaLoadApi() { loadWithAddress(); }
    void load() override { mmediaLoadApi(); }

    // The placement id for this ad: the entity's, or from the tag when no
    // entity is set.
    std::optional<std::string> placementId() const;

private:
    void requestWithAddress(ADKSIpApiManager& ip) override;
    void handleBody(const std::string& body) override;
};
