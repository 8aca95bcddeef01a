// Fills a Millennial Media ad ("1060"): one GET to the ad server with the
// placement id, hashed advertising identifier, user agent and address; the
// answer is shown in a white page.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSIpApiManager.h"
#include "adkasa_sdk_ios/AdkasaData.h"

class ADKSMMediaAPIManager : public adks::APIRequest {
public:
    using Handler = std::function<void(ADKSMMediaAPIManager*)>;

    ADKSMMediaAPIManager();
    ~ADKSMMediaAPIManager() override;

    void setFinishLoadHandler(const void* target, Handler handler);
    // Drops the handler and stops any load, so the manager can be reused.
    void cancel();
    void mmediaLoadApi();
    void finishIpManager(ADKSIpApiManager* ipManager);
    void finishLoad() override;

    void setAdTag(const std::string& tag) { adTag_ = tag; }
    void setUserAdId(const std::string& id) { userAdId_ = id; }
    void setEntity(std::shared_ptr<ADKSJSAdEntity> entity) { entity_ = std::move(entity); }
    const std::shared_ptr<ADKSJSAdEntity>& entity() const { return entity_; }
    const std::string& adTag() const { return adTag_; }
    const std::string& userAdId() const { return userAdId_; }
    const std::string& apiHtmlTag() const { return apiHtmlTag_; }
    int32_t adsize() const { return adsize_; }
    void setAdsize(int32_t size) { adsize_ = size; }
    ADKSIpApiManager& ipManager() { return *ipManager_; }

    static std::string md5WithString(const std::string& text);
    static std::string sha1WithString(const std::string& text);
    // The placement id for this ad: the entity's, or from the tag when no
    // entity is set.
    std::optional<std::string> placementId() const;

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
    std::shared_ptr<ADKSJSAdEntity> entity_;
};
