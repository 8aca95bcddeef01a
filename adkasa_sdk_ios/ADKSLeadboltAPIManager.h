// Fills a Leadbolt ad ("1058", "1061"): reads the feed parameters from the
// ad's <leadbolt> block, GETs the ad feed and puts its answer (markup, or
// a row of icon links) in place of the block.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adkasa_sdk_ios/ADKSIpApiManager.h"

class ADKSLeadboltAPIManager : public adks::WithFinishHandler<ADKSLeadboltAPIManager, adks::AddressedRequest> {
public:
    void leadboltLoadApi();
    void load() override { leadboltLoadApi(); }
    // The page to show.
    std::string displayHTML() const override;

    void setAdTag(const std::string& tag) override;
    const std::optional<std::string>& dataTag() const { return dataTag_; }
    bool iconFlg() const { return iconFlg_; }

    // The page for a feed answer to an ad with this HTML and block.
    static std::string pageForAnswer(const std::string& adTag, const std::optional<std::string>& dataTag, bool icons,
                                     const std::string& answer);
    // The feed keys read from the block, in the order they are sent.
    static const std::vector<std::string>& feedKeys();

private:
    void requestWithAddress(ADKSIpApiManager& ip) override;
    void handleBody(const std::string& body) override;
    // The feed's query after "pf=1", or none when the block lacks a size.
    std::optional<std::string> feedQuery(ADKSIpApiManager& ip);

    bool iconFlg_ = false;
    std::optional<std::string> dataTag_;
};
