// Fills an InMobi ad ("1003"): finds the site id in the ad's tag, learns
// the address and user agent, POSTs a JSON ad request and hands the HTML
// answer to the web view that asked.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "adkasa_sdk_ios/ADKSIpApiManager.h"

inline constexpr const char* kInMobiNoAdMarker = "<!-- mKhoj: No advt for this position -->";

class ADKSInMobiAPIManager : public adks::APIRequest {
public:
    using Handler = std::function<void(ADKSInMobiAPIManager*)>;

    ADKSInMobiAPIManager();
    ~ADKSInMobiAPIManager() override;

    void setFinishLoadHandler(const void* target, Handler handler);
    // Drops the handler and stops any load, so the manager can be reused.
    void cancel();
    void inmobiLoadApi();
    void finishIpManager(ADKSIpApiManager* ipManager);
    void finishLoad() override;

    void setAdTag(const std::string& tag) { adTag_ = tag; }
    void setUserAdId(const std::string& id) { userAdId_ = id; }
    const std::string& adTag() const { return adTag_; }
    const std::string& userAdId() const { return userAdId_; }
    const std::string& apiHtmlTag() const { return apiHtmlTag_; }
    int32_t adsize() const { return adsize_; }
    void setAdsize(int32_t size) { adsize_ = size; }
    ADKSIpApiManager& ipManager() { return *ipManager_; }

    // The site id in a tag, or none.
    static std::optional<std::string> siteIdInTag(const std::string& tag);
    // The request body for these values (JSON, keys in the order InMobi
    // documents them).
    static std::string requestBody(int32_t adsize, const std::string& siteId, const std::string& ip,
                                   const std::string& ua, const std::optional<std::string>& ida);

private:
    void handleBody(const std::string& body) override;
    void fail(const std::string& reason);

    const void* handlerTarget_ = nullptr;
    Handler handler_;
    std::unique_ptr<ADKSIpApiManager> ipManager_;
    int32_t adsize_ = 15;
    std::string apiHtmlTag_;
    std::string userAdId_;
    std::string adTag_;
};
