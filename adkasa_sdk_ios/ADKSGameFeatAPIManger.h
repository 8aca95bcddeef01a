// Fills a GameFeat ad ("1065") from GameFeat's custom-ad API: one GET from
// the ad's parameters, the answer's link and image shown in a white page.
#pragma once

#include <cstdint>
#include <string>

#include "adkasa_sdk_ios/ADKSAPIRequest.h"

class ADKSGameFeatAPIManger : public adks::WithFinishHandler<ADKSGameFeatAPIManger, adks::NetworkAdRequest> {
public:
    ADKSGameFeatAPIManger() { adsize_ = 10; }

    void mmediaLoadApi();
    void load() override { mmediaLoadApi(); }

    int32_t adid() const { return adid_; }

    // The page for an answer body.
    static std::string pageForAnswer(const std::string& body);

private:
    void handleBody(const std::string& body) override;

    int32_t adid_ = 0;
};
