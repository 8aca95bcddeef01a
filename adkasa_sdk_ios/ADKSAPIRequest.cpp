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

}  // namespace adks
