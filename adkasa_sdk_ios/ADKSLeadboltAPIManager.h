// Fills a Leadbolt ad ("1058", "1061"): reads the feed parameters from the
// ad's <leadbolt> block, GETs the ad feed and puts its answer (markup, or
// a row of icon links) in place of the block.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkasa_sdk_ios/ADKSIpApiManager.h"

class ADKSLeadboltAPIManager : public adks::APIRequest {
public:
    using Handler = std::function<void(ADKSLeadboltAPIManager*)>;

    ADKSLeadboltAPIManager();
    ~ADKSLeadboltAPIManager() override;

    void setFinishLoadHandler(const void* target, Handler handler);
    // Drops the handler and stops any load, so the manager can be reused.
    void cancel();
    void leadboltLoadApi();
    void finishIpManager(ADKSIpApiManager* ipManager);
    void finishLoad() override;
    // The page to show.
    std::string displayHTML() const;

    void setAdTag(const std::string& tag);
    void setUserAdId(const std::string& id) { userAdId_ = id; }
    const std::string& adTag() const { return adTag_; }
    const std::string& userAdId() const { return userAdId_; }
    const std::optional<std::string>& dataTag() const { return dataTag_; }
    const std::string& apiHtmlTag() const { return apiHtmlTag_; }
    bool iconFlg() const { return iconFlg_; }
    int32_t adsize() const { return adsize_; }
    void setAdsize(int32_t size) { adsize_ = size; }
    ADKSIpApiManager& ipManager() { return *ipManager_; }

    // The page for a feed answer to an ad with this HTML and block.
    static std::string pageForAnswer(const std::string& adTag, const std::optional<std::string>& dataTag, bool icons,
                                     const std::string& answer);
    // The feed keys read from the block, in the order they are sent.
    static const std::vector<std::string>& feedKeys();

private:
    void handleBody(const std::string& body) override;
    void fail(const std::string& reason);

    const void* handlerTarget_ = nullptr;
    Handler handler_;
    std::unique_ptr<ADKSIpApiManager> ipManager_;
    bool iconFlg_ = false;
    int32_t adsize_ = 15;
    std::string apiHtmlTag_;
    std::string userAdId_;
    std::string adTag_;
    std::optional<std::string> dataTag_;
};
