// The configuration client of one ad view: fetches the view's configuration
// (content delivery first, then the main API), keeps it for 15 minutes,
// caches it per placement, retries on failures and while offline, and
// picks the next ad by weighted random choice for the user's country.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/AdkasaData.h"
#include "adkasa_sdk_ios/AdkasaEnvironment.h"
#include "platform/ns/NSTimer.h"
#include "platform/ns/NSURLConnection.h"

class AdkasaBaseView;

inline constexpr const char* kAdkasaClientVersion = "2.6.1";

// Bits of the manager's status.
constexpr int32_t kAdkasaStatusStarted = 1;
constexpr int32_t kAdkasaStatusFinished = 2;
constexpr int32_t kAdkasaStatusLoaded = 4;
constexpr int32_t kAdkasaStatusFailed = 8;

class AdkasaManager : private KelpaPlatform::NSURLConnectionDelegate {
public:
    static constexpr double kFreshSeconds = 900.0;
    static constexpr double kNetworkRetrySeconds = 0.25;
    static constexpr double kHttpRetrySeconds = 10.0;
    static constexpr int32_t kMaxNetworkRetries = 64;
    static constexpr int32_t kMaxHttpRetries = 24;

    AdkasaManager();
    ~AdkasaManager() override;
    AdkasaManager(const AdkasaManager&) = delete;
    AdkasaManager& operator=(const AdkasaManager&) = delete;

    // The owning view (not retained: the view owns the manager).
    void setView(AdkasaBaseView* view) { view_ = view; }
    AdkasaBaseView* view() const { return view_; }

    void registerFetchNotification(const void* observer, std::function<void()> handler);
    void registerFetchFailedNotification(const void* observer, std::function<void()> handler);
    void unregisterFetchNotification(const void* observer);
    void unregisterFetchFailedNotification(const void* observer);

    void updateAd();
    bool isAdFetched() const;
    // Null when there is no ad to show; otherwise stores the index.
    std::shared_ptr<ADKSJSAdEntity> nextAdEntity(int32_t* index);
    int32_t nextAdIndex();
    void loadFromCache();

    std::string pathForCacheFile() const;
    std::string getCacheNameKey() const;
    std::string getNextUpdateDateKey() const;
    std::string getNotificationAdName() const;
    std::string getNotificationAdFailedName() const;

    void cancelRequest();
    void cancelgetInfoRequest();
    void cancelGetInfoRequest();
    void didFailNotificationWithError(const std::string& error);
    bool isNetworkAvailable() const;
    void updateLocale();
    void updateUrlString();
    void updateUrlStringCroudFront();
    std::string updateUrlStringByAppId(const std::string& appId);
    void validateUrl();
    void prepareNetworkRetryTimer();
    void prepareHttpRetryTimer();
    void didFinishNotification();

    std::shared_ptr<AdkasaData> adData() const { return adData_; }
    void setAdData(std::shared_ptr<AdkasaData> data) { adData_ = std::move(data); }
    std::optional<double> nextUpdateDate() const { return nextUpdateDate_; }
    int32_t httpRetryCount() const { return httpRetryCount_; }
    void setHttpRetryCount(int32_t n) { httpRetryCount_ = n; }
    int32_t getinfoTimeOut() const { return getinfoTimeOut_; }
    void setGetinfoTimeOut(int32_t seconds) { getinfoTimeOut_ = seconds; }
    int32_t networkRetryCount() const { return networkRetryCount_; }
    int32_t adLocale() const { return adLocale_; }
    int32_t status() const { return status_; }
    bool firstUrl() const { return firstUrl_; }
    const std::string& urlString() const { return urlString_; }
    bool hasRetryTimer() const { return retryTimer_ && retryTimer_->isValid(); }

    static std::string stringCurrentLocaleIdentifier();
    static std::string stringCurrentContryCode();
    static std::string stringContryCodeFromLocaleType(int32_t localeType);
    static std::optional<std::string> stringAdvertisingId();

private:
    void connectionDidReceiveResponse(KelpaPlatform::NSURLConnection* c, int status) override;
    void connectionDidReceiveData(KelpaPlatform::NSURLConnection* c, const char* bytes, size_t n) override;
    void connectionDidFinishLoading(KelpaPlatform::NSURLConnection* c) override;
    void connectionDidFailWithError(KelpaPlatform::NSURLConnection* c, const std::string& error) override;

    std::string appId() const;
    std::string buildUrl(const std::string& endpoint, const std::string& appId) const;
    void updateUrlLocale(std::string& url) const;
    void updateUrlAppVersion(std::string& url) const;
    void updateInvokerAppVersion(std::string& url) const;
    void configurationLoaded(std::shared_ptr<AdkasaData> data);
    void dropConnection();
    void post(const std::string& name);

    std::shared_ptr<KelpaPlatform::Clock> clock_;
    std::shared_ptr<AdkasaData> adData_;
    std::optional<double> nextUpdateDate_;
    int32_t adLocale_ = 0;
    std::string urlString_;
    std::unique_ptr<KelpaPlatform::NSURLConnection> getAdConnection_;
    std::string getAdReceivedData_;
    int32_t status_ = 0;
    std::shared_ptr<KelpaPlatform::NSTimer> retryTimer_;
    int32_t networkRetryCount_ = 0;
    int32_t httpRetryCount_ = 0;
    bool firstUrl_ = true;
    bool attemptOnContentDelivery_ = true;  // where the request in flight went
    AdkasaBaseView* view_ = nullptr;
    int32_t getinfoTimeOut_ = 10;
    uint64_t ownToken_;
};
