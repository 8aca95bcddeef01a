#include "adkasa_sdk_ios/AdkasaManager.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <atomic>
#include <cassert>
#include <climits>

#include "adkasa_sdk_ios/ADKSReachability.h"
#include "adkasa_sdk_ios/AdkasaBaseView.h"
#include "platform/ns/NSNotificationCenter.h"

using namespace KelpaPlatform;

namespace {

constexpr const char* kNextUpdateDateKey = "AdkasaSDK_Next_Update_Date";
constexpr const char* kCacheFolder = "/Library/Adkasa";
constexpr const char* kCacheName = "cache.dat";

// Managers without a view still need names of their own; these never meet
// a view's token because they count down from the top.
uint64_t nextOwnToken() {
    static std::atomic<uint64_t> last{UINT64_MAX / 2};
    return ++last;
}

int32_t bump(int32_t n) { return n < INT32_MAX ? n + 1 : n; }

// A number below total. Totals past 32 bits take a second draw for the
// high word, so every ad of such a total stays reachable; smaller ones
// take one draw as always.
uint64_t drawBelow(uint64_t total) {
    auto random = AdkasaEnvironment::shared().random();
    if (total <= (uint64_t{1} << 32)) return random->next() % total;
    uint64_t high = random->next();
    return ((high << 32) | random->next()) % total;
}

}  // namespace

AdkasaManager::AdkasaManager() : clock_(AdkasaEnvironment::shared().clock), ownToken_(nextOwnToken()) {}

AdkasaManager::~AdkasaManager() {
    dropConnection();
    if (retryTimer_) retryTimer_->invalidate();
}

std::string AdkasaManager::appId() const { return view_ ? view_->getAppId() : std::string(); }

void AdkasaManager::registerFetchNotification(const void* observer, std::function<void()> handler) {
    NSNotificationCenter::defaultCenter().addObserver(observer, getNotificationAdName(),
                                                      [handler](const void*) { handler(); });
}

void AdkasaManager::registerFetchFailedNotification(const void* observer, std::function<void()> handler) {
    NSNotificationCenter::defaultCenter().addObserver(observer, getNotificationAdFailedName(),
                                                      [handler](const void*) { handler(); });
}

void AdkasaManager::unregisterFetchNotification(const void* observer) {
    NSNotificationCenter::defaultCenter().removeObserver(observer);
}

void AdkasaManager::unregisterFetchFailedNotification(const void* observer) {
    NSNotificationCenter::defaultCenter().removeObserver(observer);
}

std::string AdkasaManager::getNotificationAdName() const {
    return std::to_string(view_ ? view_->notificationToken() : ownToken_);
}

std::string AdkasaManager::getNotificationAdFailedName() const { return "Failed" + getNotificationAdName(); }

std::string AdkasaManager::getCacheNameKey() const {
    // The placement identifier becomes part of a file name.
    return std::string(kCacheName) + "_" + percentEscape(appId());
}

std::string AdkasaManager::getNextUpdateDateKey() const { return std::string(kNextUpdateDateKey) + "_" + appId(); }

std::string AdkasaManager::pathForCacheFile() const {
    std::string folder = AdkasaEnvironment::shared().home() + kCacheFolder;
    if (!g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) g_mkdir_with_parents(folder.c_str(), 0700);
    return folder + "/" + getCacheNameKey();
}

void AdkasaManager::post(const std::string& name) { NSNotificationCenter::defaultCenter().postNotificationName(name, nullptr); }

bool AdkasaManager::isAdFetched() const { return nextUpdateDate_ && clock_->now() < *nextUpdateDate_; }

bool AdkasaManager::isNetworkAvailable() const {
    // Without endpoints there is nothing to reach.
    if (!AdkasaEnvironment::shared().endpoints.configured()) return false;
    auto r = ADKSReachability::reachabilityForInternetConnection();
    return r && r->currentReachabilityStatus() != kADKSNotReachable;
}

void AdkasaManager::updateLocale() {
    auto languages = AdkasaEnvironment::shared().device()->preferredLanguages();
    adLocale_ = (!languages.empty() && languages.front() == "ja") ? 2 : 1;
}

std::string AdkasaManager::stringCurrentLocaleIdentifier() { return AdkasaEnvironment::shared().localeIdentifier(); }

std::string AdkasaManager::stringCurrentContryCode() { return AdkasaEnvironment::shared().countryCode(); }

std::string AdkasaManager::stringContryCodeFromLocaleType(int32_t localeType) { return localeType == 2 ? "ja" : "en"; }

std::optional<std::string> AdkasaManager::stringAdvertisingId() { return AdkasaEnvironment::shared().advertisingId(); }

void AdkasaManager::updateUrlLocale(std::string& url) const {
    url += "/locale/" + percentEscape(stringCurrentLocaleIdentifier());
}

void AdkasaManager::updateUrlAppVersion(std::string& url) const { url += "/ver/" + std::string(kAdkasaClientVersion); }

void AdkasaManager::updateInvokerAppVersion(std::string& url) const {
    if (auto v = AdkasaEnvironment::shared().device()->bundleShortVersionString()) url += "/appver/" + percentEscape(*v);
}

std::string AdkasaManager::buildUrl(const std::string& endpoint, const std::string& id) const {
    std::string url = adkasaEndpointBase(endpoint, "https") + "/adkasa/api/getinfo/app_id/" + percentEscape(id);
    updateUrlLocale(url);
    updateUrlAppVersion(url);
    updateInvokerAppVersion(url);
    return url;
}

void AdkasaManager::updateUrlString() { urlString_ = buildUrl(AdkasaEnvironment::shared().endpoints.mainApi, appId()); }

void AdkasaManager::updateUrlStringCroudFront() { urlString_ = updateUrlStringByAppId(appId()); }

std::string AdkasaManager::updateUrlStringByAppId(const std::string& id) {
    return buildUrl(AdkasaEnvironment::shared().endpoints.contentDelivery, id);
}

void AdkasaManager::validateUrl() {
    assert(adLocale_ < 3 && "Locale is Unknown");
    updateUrlString();
}

void AdkasaManager::dropConnection() {
    if (getAdConnection_) getAdConnection_->cancel();
    getAdConnection_.reset();
    getAdReceivedData_.clear();
}

void AdkasaManager::cancelgetInfoRequest() {
    dropConnection();
    status_ = 0;
}

void AdkasaManager::cancelGetInfoRequest() {
    post(getNotificationAdFailedName());
    cancelgetInfoRequest();
}

void AdkasaManager::cancelRequest() {
    cancelgetInfoRequest();
    if (retryTimer_) retryTimer_->invalidate();
    retryTimer_.reset();
}

void AdkasaManager::didFailNotificationWithError(const std::string&) { status_ |= kAdkasaStatusFailed; }

void AdkasaManager::updateAd() {
    cancelRequest();
    updateLocale();
    // With no content-delivery endpoint every attempt goes to the main API.
    if (AdkasaEnvironment::shared().endpoints.contentDelivery.empty()) firstUrl_ = false;
    attemptOnContentDelivery_ = firstUrl_;
    if (firstUrl_) {
        updateUrlStringCroudFront();
    } else {
        validateUrl();
    }
    if (!isNetworkAvailable()) {
        int32_t n = networkRetryCount_;
        networkRetryCount_ = bump(n);
        if (n < kMaxNetworkRetries && httpRetryCount_ < 1) {
            prepareNetworkRetryTimer();
        } else {
            loadFromCache();
        }
        return;
    }
    networkRetryCount_ = 0;
    NSURLRequest request(urlString_);
    request.httpMethod = "GET";
    request.cachePolicy = NSURLRequestCachePolicy::UseProtocolCachePolicy;
    request.timeoutInterval = getinfoTimeOut_ > 0 ? getinfoTimeOut_ : 10;
    getAdConnection_.reset(new NSURLConnection(request, this, clock_));
    getAdConnection_->start();
    status_ = kAdkasaStatusStarted;
}

void AdkasaManager::connectionDidReceiveResponse(NSURLConnection* c, int statusCode) {
    if (c != getAdConnection_.get() || statusCode == 200) return;
    if (attemptOnContentDelivery_) {
        firstUrl_ = false;
        updateAd();  // once, on the main API
    } else {
        firstUrl_ = true;
        cancelGetInfoRequest();
    }
}

void AdkasaManager::connectionDidReceiveData(NSURLConnection* c, const char* bytes, size_t n) {
    if (c != getAdConnection_.get()) return;
    firstUrl_ = true;
    if (n > AdkasaData::kMaxAnswerBytes - getAdReceivedData_.size()) {
        // Too long to be a configuration: refused now, as it would be whole.
        status_ |= kAdkasaStatusFinished;
        dropConnection();
        prepareHttpRetryTimer();
        return;
    }
    getAdReceivedData_.append(bytes, n);
}

void AdkasaManager::connectionDidFinishLoading(NSURLConnection* c) {
    if (c != getAdConnection_.get()) return;
    status_ |= kAdkasaStatusFinished;
    didFinishNotification();
}

void AdkasaManager::connectionDidFailWithError(NSURLConnection* c, const std::string&) {
    if (c != getAdConnection_.get()) return;
    // Decided by where this attempt went: bytes that arrived before the
    // failure must not turn a main-API failure into an immediate retry.
    if (attemptOnContentDelivery_) {
        firstUrl_ = false;
        updateAd();
    } else {
        firstUrl_ = true;
        dropConnection();
        status_ = 0;
        prepareHttpRetryTimer();
    }
}

void AdkasaManager::prepareNetworkRetryTimer() {
    if (retryTimer_) retryTimer_->invalidate();
    retryTimer_ = NSTimer::scheduledTimer(clock_, kNetworkRetrySeconds, [this](NSTimer*) { updateAd(); });
}

void AdkasaManager::prepareHttpRetryTimer() {
    int32_t n = httpRetryCount_;
    httpRetryCount_ = bump(n);
    if (retryTimer_) retryTimer_->invalidate();
    retryTimer_.reset();
    if (n >= kMaxHttpRetries) {
        loadFromCache();
        return;
    }
    retryTimer_ = NSTimer::scheduledTimer(clock_, kHttpRetrySeconds, [this](NSTimer*) { updateAd(); });
}

void AdkasaManager::configurationLoaded(std::shared_ptr<AdkasaData> data) {
    adData_ = std::move(data);
    httpRetryCount_ = 0;
    status_ |= kAdkasaStatusLoaded;
    nextUpdateDate_ = clock_->now() + kFreshSeconds;
    auto defaults = AdkasaEnvironment::shared().defaults();
    defaults->setDate(getNextUpdateDateKey(), *nextUpdateDate_);
    defaults->synchronize();
    post(getNotificationAdName());
}

void AdkasaManager::didFinishNotification() {
    auto data = std::make_shared<AdkasaData>();
    bool ok = data->parseJsonData(getAdReceivedData_);
    getAdConnection_.reset();
    getAdReceivedData_.clear();
    if (!ok) {
        prepareHttpRetryTimer();
        return;
    }
    // Written to a temporary file and renamed, so a crash leaves the old
    // cache or the new one, never a torn one. An archive the reader would
    // refuse is not written: the configuration is shown, the old cache stays.
    std::string bytes = data->archive();
    if (bytes.size() <= AdkasaData::kMaxArchiveBytes) {
        g_file_set_contents_full(pathForCacheFile().c_str(), bytes.data(), static_cast<gssize>(bytes.size()),
                                 G_FILE_SET_CONTENTS_CONSISTENT, 0600, nullptr);
    }
    configurationLoaded(std::move(data));
}

void AdkasaManager::loadFromCache() {
    std::string path = pathForCacheFile();
    std::shared_ptr<AdkasaData> data;
    GStatBuf st;
    if (g_stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= AdkasaData::kMaxArchiveBytes) {
        gchar* contents = nullptr;
        gsize length = 0;
        if (g_file_get_contents(path.c_str(), &contents, &length, nullptr)) {
            data = AdkasaData::unarchive(std::string(contents, length));
            g_free(contents);
        }
    }
    if (!data) {
        post(getNotificationAdFailedName());
        return;
    }
    configurationLoaded(std::move(data));
}

int32_t AdkasaManager::nextAdIndex() {
    if (!adData_ || adData_->adList.empty()) return -1;
    const auto& list = adData_->adList;
    // A missing, negative or unusable weight counts as 0; sums cannot wrap.
    std::vector<uint64_t> weights;
    uint64_t total = 0;
    for (const auto& e : list) {
        auto w = e->weightForLang(adLocale_);
        uint64_t v = 0;
        if (w && *w >= 1) v = *w >= 2147483647.0 ? 2147483647u : static_cast<uint64_t>(*w);
        weights.push_back(v);
        total += v;
    }
    if (total == 0) return -1;
    uint64_t r = drawBelow(total);
    uint64_t sum = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        sum += weights[i];
        if (sum > r) return static_cast<int32_t>(i);
    }
    return static_cast<int32_t>(list.size() - 1);
}

std::shared_ptr<ADKSJSAdEntity> AdkasaManager::nextAdEntity(int32_t* index) {
    if (!adData_) loadFromCache();
    if (!adData_ || adData_->adList.empty()) return nullptr;
    int32_t i = nextAdIndex();
    if (i < 0) return nullptr;
    if (index) *index = i;
    return adData_->adList[static_cast<size_t>(i)];
}
