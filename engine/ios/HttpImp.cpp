#include "engine/ios/HttpImp.h"

#include <curl/curl.h>

#include <atomic>
#include <mutex>
#include <new>

#include "engine/HostBridge.h"

namespace KelpaEngine {
namespace iOS {
namespace {

using RequestStatus = HttpShadow::RequestStatus;

constexpr const char* kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 6_0 like Mac OS X) AppleWebKit/536.26 (KHTML, like Gecko) Version/6.0 "
    "Mobile/10A403 Safari/8536.25";
// Neither the first URL nor a redirect may lead anywhere but the web.
constexpr const char* kProtocols = "http,https";

std::atomic<int32_t> gLiveWorkers{0};

void initCurlOnce() {
    // curl_global_init is not safe to race; do it once before any worker.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t writeReceived(char* bytes, size_t size, size_t count, void* user) {
    auto* status = static_cast<RequestStatus*>(user);
    if (size != 0 && count > SIZE_MAX / size) return 0;
    size_t n = size * count;
    return status->append(bytes, n) ? n : 0;
}

// Ends a cancelled transfer at once instead of when the server is done.
int checkCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<RequestStatus*>(user)->isCancelled() ? 1 : 0;
}

// Sets every option; false when one the request relies on is refused.
bool configure(CURL* curl, RequestStatus* status) {
    bool ok = curl_easy_setopt(curl, CURLOPT_URL, status->url) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeReceived) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, status) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK;

    const HttpShadow::Limits& limits = status->limits;
    ok = ok && curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects)) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, kProtocols) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeoutMs)) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeoutMs)) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &checkCancelled) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFODATA, status) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;

    // Without fields libcurl would read the body from standard input, so a
    // request without a body sends an empty one.
    const char* fields = status->body ? status->body : "";
    switch (status->method) {
    case Http::kPost:
        ok = ok && curl_easy_setopt(curl, CURLOPT_POST, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_POSTFIELDS, fields) == CURLE_OK;
        break;
    case Http::kPut:
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT") == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_POST, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_POSTFIELDS, fields) == CURLE_OK;
        break;
    case Http::kDelete:
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "DELETE") == CURLE_OK;
        break;
    default:
        break;
    }
    return ok;
}

void runRequest(RequestStatus* status) {
    CURL* curl = curl_easy_init();
    if (!curl) {
        status->finish(false, -1);
        return;
    }
    if (!configure(curl, status)) {
        curl_easy_cleanup(curl);
        status->finish(false, -1);
        return;
    }
    CURLcode result = curl_easy_perform(curl);
    long code = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) code = 0;
    curl_easy_cleanup(curl);
    // A 200 whose transfer broke off, timed out or was refused while
    // receiving is a failure: the bytes are only part of the answer.
    status->finish(result == CURLE_OK && code == 200, static_cast<int32_t>(code));
}

void* worker(void* argument) {
    auto* handed = static_cast<RefPtr<RequestStatus>*>(argument);
    RefPtr<RequestStatus> status = *handed;
    delete handed;
    runRequest(status.get());
    status = nullptr;
    gLiveWorkers.fetch_sub(1, std::memory_order_acq_rel);
    return nullptr;
}

// Reports a request that never reached a worker.
void failAtOnce(Http::Callback failure, void* context) {
    if (failure) failure(-1, nullptr, 0, context);
}

}  // namespace

HttpImp* HttpImp::create(Application* app) {
    initCurlOnce();
    return new (std::nothrow) HttpImp(app);
}

HttpImp::HttpImp(Application* app) : HttpShadow(app) { pthread_mutex_init(&mutex_, nullptr); }

HttpImp::~HttpImp() { pthread_mutex_destroy(&mutex_); }

void HttpImp::request(int32_t method, const char* url, const char* body, Callback success, Callback failure,
                      void* context) {
    initCurlOnce();
    RefPtr<RequestStatus> status = beginRequest(method, url, body, success, failure, context);
    if (!status) {
        failAtOnce(failure, context);
        return;
    }
    auto* handed = new (std::nothrow) RefPtr<RequestStatus>(status);
    if (!handed) {
        status->finish(false, -1);
        return;
    }
    gLiveWorkers.fetch_add(1, std::memory_order_acq_rel);
    RefPtr<Thread> thread = Thread::create(&worker, handed);
    if (!thread) {
        gLiveWorkers.fetch_sub(1, std::memory_order_acq_rel);
        delete handed;
        status->finish(false, -1);
        return;
    }
    status->worker = thread;
}

void HttpImp::openURL(const char* url) {
    if (url) installedHostBridge().openURL(url);
}

void HttpImp::lock() { pthread_mutex_lock(&mutex_); }
void HttpImp::unlock() { pthread_mutex_unlock(&mutex_); }

int32_t HttpImp::liveWorkers() { return gLiveWorkers.load(std::memory_order_acquire); }

}  // namespace iOS
}  // namespace KelpaEngine
