// What every outside-network request builder shares: one kept connection
// with its bytes, the failure text, and the completion handler (a target
// that is not retained and a function called with the builder).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/AdkasaEnvironment.h"
#include "platform/ns/NSURLConnection.h"

namespace adks {

// The white page the GameFeat and Millennial Media answers are shown in.
std::string whitePage(const std::string& content);

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

protected:
    APIRequest();

    // Starts the request; one too long to send fails the load at once.
    void send(KelpaPlatform::NSURLRequest request);
    void dropConnection();
    // A 200 answer's whole body.
    virtual void handleBody(const std::string& body) = 0;
    virtual void finishLoad() = 0;

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
};

// Bytes as UTF-8 text, or empty when they are not.
std::string utf8OrEmpty(const std::string& bytes);

}  // namespace adks
