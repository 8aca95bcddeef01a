// What every outside-network request builder shares: one kept connection
// with its bytes, the failure text, the load flag and the completion
// handler (a target that is not retained and a function called with the
// builder); and, for the four ad networks, the ad being filled and the
// page its answer gives. A network's own file holds only its URL, its
// parameters and how it reads its answer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/AdkasaData.h"
#include "adkasa_sdk_ios/AdkasaEnvironment.h"
#include "platform/ns/NSURLConnection.h"

// What InMobi's answer holds when it has no ad for the slot.
inline constexpr const char* kInMobiNoAdMarker = "<!-- mKhoj: No advt for this position -->";

namespace adks {

// The white page the GameFeat and Millennial Media answers are shown in.
std::string whitePage(const std::string& content);

// Bytes as UTF-8 text, or empty when they are not.
std::string utf8OrEmpty(const std::string& bytes);

class APIRequest : protected KelpaPlatform::NSURLConnectionDelegate {
public:
    static constexpr double kTimeoutSeconds = 3.0;
    // The longest URL or header value a builder sends: far more than any
    // real parameter needs, and what outside servers commonly accept.
    static constexpr size_t kMaxRequestLineBytes = 8 * 1024;

    ~APIRequest() override;
    APIRequest(const APIRequest&) = delete;
    APIRequest& operator=(const APIRequest&) = delete;

    const std::optional<std::string>& errorStr() const { return errorStr_; }
    bool isLoading() const { return loadCheckFlg_; }
    // Ends the load: the connection goes, then the completion runs (it may
    // set a new one, or start the next load).
    virtual void finishLoad();

protected:
    APIRequest();

    void setCompletion(const void* target, std::function<void()> completion);
    void clearCompletion() { setCompletion(nullptr, nullptr); }
    // A request to an outside network: local caches ignored, the builders'
    // timeout.
    static KelpaPlatform::NSURLRequest networkRequest(const std::string& url);
    // Starts the request; one too long to send fails the load at once.
    void send(KelpaPlatform::NSURLRequest request);
    void dropConnection();
    // A 200 answer's whole body.
    virtual void handleBody(const std::string& body) = 0;

    std::optional<std::string> errorStr_;
    bool loadCheckFlg_ = false;
    std::shared_ptr<KelpaPlatform::Clock> clock_;

private:
    void connectionDidReceiveResponse(KelpaPlatform::NSURLConnection* c, int status) override;
    void connectionDidReceiveData(KelpaPlatform::NSURLConnection* c, const char* bytes, size_t n) override;
    void connectionDidFinishLoading(KelpaPlatform::NSURLConnection* c) override;
    void connectionDidFailWithError(KelpaPlatform::NSURLConnection* c, const std::string& error) override;

    std::unique_ptr<KelpaPlatform::NSURLConnection> connection_;
    std::string received_;
    const void* handlerTarget_ = nullptr;
    std::function<void()> completion_;
};

// A builder that fills one ad of an outside network. The slot that asks
// sets the ad's tag, entity and id and a completion, starts the load, and
// reads the page once the completion runs (on success and failure alike).
class NetworkAdRequest : public APIRequest {
public:
    using AnyHandler = std::function<void(NetworkAdRequest*)>;

    void setFinishLoadHandler(const void* target, AnyHandler handler);
    // Drops the handler and stops any load, so the builder can be reused.
    virtual void cancel();
    // Starts filling the ad; ignored while a load runs.
    virtual void load() = 0;
    // The page to show for the last answer.
    virtual std::string displayHTML() const { return apiHtmlTag_; }

    virtual void setAdTag(const std::string& tag) { adTag_ = tag; }
    void setUserAdId(const std::string& id) { userAdId_ = id; }
    void setEntity(std::shared_ptr<ADKSJSAdEntity> entity) { entity_ = std::move(entity); }
    const std::string& adTag() const { return adTag_; }
    const std::string& userAdId() const { return userAdId_; }
    const std::shared_ptr<ADKSJSAdEntity>& entity() const { return entity_; }
    const std::string& apiHtmlTag() const { return apiHtmlTag_; }
    int32_t adsize() const { return adsize_; }
    void setAdsize(int32_t size) { adsize_ = size; }

    // Lowercase hex digests of the advertising identifier's text.
    static std::string md5WithString(const std::string& text);
    static std::string sha1WithString(const std::string& text);

protected:
    NetworkAdRequest() = default;

    // Begins a load: flagged, with no answer and no failure yet.
    void beginLoad();
    // Completes the load at once with no page.
    void fail(const std::string& reason);
    // An outside endpoint's base URL; empty, with the load failed, when the
    // host set none.
    std::string endpointOrFail(const std::string& endpoint, const char* failure);

    int32_t adsize_ = 15;
    std::string apiHtmlTag_;
    std::string userAdId_;
    std::string adTag_;
    std::shared_ptr<ADKSJSAdEntity> entity_;
};

// Gives a builder its completion handler typed with its own class.
template <class Self, class Base>
class WithFinishHandler : public Base {
public:
    using Handler = std::function<void(Self*)>;

    // The target only identifies the handler; it is not retained.
    void setFinishLoadHandler(const void* target, Handler handler) {
        Self* self = static_cast<Self*>(this);
        this->setCompletion(target, handler ? std::function<void()>([self, handler] { handler(self); }) : nullptr);
    }

protected:
    WithFinishHandler() = default;
};

}  // namespace adks
