#include "adkasa_sdk_ios/ADKSAPIRequest.h"

#include <glib.h>

using namespace KelpaPlatform;

namespace adks {

std::string whitePage(const std::string& content) {
    return "<html><head><base target=\"_blank\">"
           "<meta http-equiv='Content-Type' content='text/html; charset=utf-8' /></head>"
           "<body style='text-align:center;padding:0;margin:0;overflow:hidden;background-color:#ffffff;'>"
           "<div style=\"text-align:center;\">" +
           content + "</div></body></html>";
}

std::string utf8OrEmpty(const std::string& bytes) {
    if (!g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return {};
    return bytes;
}

APIRequest::APIRequest() : clock_(AdkasaEnvironment::shared().clock) {}

APIRequest::~APIRequest() { dropConnection(); }

void APIRequest::setCompletion(const void* target, std::function<void()> completion) {
    handlerTarget_ = target;
    completion_ = std::move(completion);
}

NSURLRequest APIRequest::networkRequest(const std::string& url) {
    NSURLRequest request(url);
    request.cachePolicy = NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    request.timeoutInterval = kTimeoutSeconds;
    return request;
}

void APIRequest::send(NSURLRequest request) {
    dropConnection();
    bool fits = request.url.size() <= kMaxRequestLineBytes;
    for (const auto& header : request.headers) fits = fits && header.second.size() <= kMaxRequestLineBytes;
    if (!fits) {
        errorStr_ = "Request too long";
        finishLoad();
        return;
    }
    connection_.reset(new NSURLConnection(std::move(request), this, clock_));
    connection_->start();
}

void APIRequest::dropConnection() {
    if (connection_) connection_->cancel();
    connection_.reset();
    received_.clear();
}

void APIRequest::finishLoad() {
    loadCheckFlg_ = false;
    dropConnection();
    std::function<void()> completion = completion_;  // the completion may set a new one
    if (completion) completion();
}

void APIRequest::connectionDidReceiveResponse(NSURLConnection* c, int status) {
    if (c != connection_.get() || status == 200) return;
    errorStr_ = "Error Status:" + std::to_string(status);
    finishLoad();
}

void APIRequest::connectionDidReceiveData(NSURLConnection* c, const char* bytes, size_t n) {
    if (c == connection_.get()) received_.append(bytes, n);
}

void APIRequest::connectionDidFinishLoading(NSURLConnection* c) {
    if (c != connection_.get()) return;
    std::string body = std::move(received_);
    received_.clear();
    handleBody(body);
    finishLoad();
}

void APIRequest::connectionDidFailWithError(NSURLConnection* c, const std::string& error) {
    if (c != connection_.get()) return;
    errorStr_ = error;
    finishLoad();
}

void NetworkAdRequest::setFinishLoadHandler(const void* target, AnyHandler handler) {
    setCompletion(target, handler ? std::function<void()>([this, handler] { handler(this); }) : nullptr);
}

void NetworkAdRequest::cancel() {
    clearCompletion();
    dropConnection();
    loadCheckFlg_ = false;
}

std::string NetworkAdRequest::md5WithString(const std::string& text) { return md5Hex(text.c_str()); }
std::string NetworkAdRequest::sha1WithString(const std::string& text) { return sha1Hex(text); }

void NetworkAdRequest::beginLoad() {
    loadCheckFlg_ = true;
    apiHtmlTag_.clear();
    errorStr_.reset();
}

void NetworkAdRequest::fail(const std::string& reason) {
    errorStr_ = reason;
    apiHtmlTag_.clear();
    finishLoad();
}

std::string NetworkAdRequest::endpointOrFail(const std::string& endpoint, const char* failure) {
    std::string base = adkasaEndpointBase(endpoint, "http");
    if (base.empty()) fail(failure);
    return base;
}

}  // namespace adks
