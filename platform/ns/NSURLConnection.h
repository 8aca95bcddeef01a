// Asynchronous URL requests over libsoup on the main GLib context. The
// delegate hears, on the main context: the response status once the head
// arrives, the body in pieces, then either the finish or one failure. Once
// cancelled, a connection says nothing more. The timeout runs on the given
// clock and bounds the whole transfer; bodies are bounded in size too.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ns/NSClock.h"

namespace KelpaPlatform {

enum class NSURLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
};

struct NSURLRequest {
    NSURLRequest() = default;
    explicit NSURLRequest(std::string u) : url(std::move(u)) {}

    std::string url;
    std::string httpMethod = "GET";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string httpBody;
    double timeoutInterval = 60.0;
    NSURLRequestCachePolicy cachePolicy = NSURLRequestCachePolicy::UseProtocolCachePolicy;

    void setValueForHTTPHeaderField(const std::string& value, const std::string& field);
};

class NSURLConnection;

// Every method is optional.
class NSURLConnectionDelegate {
public:
    virtual ~NSURLConnectionDelegate() = default;
    virtual void connectionDidReceiveResponse(NSURLConnection* connection, int statusCode) {
        (void)connection;
        (void)statusCode;
    }
    virtual void connectionDidReceiveData(NSURLConnection* connection, const char* bytes, size_t length) {
        (void)connection;
        (void)bytes;
        (void)length;
    }
    virtual void connectionDidFinishLoading(NSURLConnection* connection) { (void)connection; }
    virtual void connectionDidFailWithError(NSURLConnection* connection, const std::string& localizedDescription) {
        (void)connection;
        (void)localizedDescription;
    }
};

class NSURLConnection {
public:
    // Bodies past this many bytes fail the transfer.
    static constexpr size_t kMaxBodyBytes = 8u << 20;

    // The delegate is not retained and must outlive the connection or
    // cancel it first.
    NSURLConnection(NSURLRequest request, NSURLConnectionDelegate* delegate,
                    std::shared_ptr<Clock> clock = Clock::system());
    ~NSURLConnection();  // cancels
    NSURLConnection(const NSURLConnection&) = delete;
    NSURLConnection& operator=(const NSURLConnection&) = delete;

    void start();
    // Safe from inside a delegate call, including for this connection.
    void cancel();
    const NSURLRequest& originalRequest() const { return request_; }

    // Sends a request nobody listens to; it keeps itself alive until done.
    static void sendWithoutDelegate(NSURLRequest request, std::shared_ptr<Clock> clock = Clock::system());

    struct Transfer;

private:
    NSURLRequest request_;
    NSURLConnectionDelegate* delegate_;
    std::shared_ptr<Clock> clock_;
    std::shared_ptr<Transfer> transfer_;
};

}  // namespace KelpaPlatform
