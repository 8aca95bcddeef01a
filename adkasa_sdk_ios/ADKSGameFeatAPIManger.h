// Fills a GameFeat ad ("1065") from GameFeat's custom-ad API: one GET from
// the ad's parameters, the answer's link and image shown in a white page.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "adkasa_sdk_ios/ADKSAPIRequest.h"
#include "adkasa_sdk_ios/AdkasaData.h"

class ADKSGameFeatAPIManger : public adks::APIRequest {
public:
    using Handler = std::function<void(ADKSGameFeatAPIManger*)>;

    ADKSGameFeatAPIManger() = default;

    void setFinishLoadHandler(const void* target, Handler handler);
    // Drops the handler and stops any load, so the manager can be reused.
    void cancel();
    void mmediaLoadApi();
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
    int32_t adid() const { return adid_; }

    static std::string md5WithString(const std::string& text);
    static std::string sha1WithString(const std::string& text);
    // The page for an answer body.
    static std::string pageForAnswer(const std::string& body);

private:
    void handleBody(const std::string& body) override;

    const void* handlerTarget_ = nullptr;
    Handler handler_;
    int32_t adsize_ = 10;
    int32_t adid_ = 0;
    std::string apiHtmlTag_;
    std::string userAdId_;
    std::string adTag_;
    std::shared_ptr<ADKSJSAdEntity> entity_;
};
