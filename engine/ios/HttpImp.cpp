#include "engine/ios/HttpImp.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
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

// libcurl is opened with the first request: linked, it and the libraries
// it brings (TLS, LDAP, SSH, IDN, ...) were mapped and relocated at every
// start, about 5 MiB, for a game that may make no request at all.
struct Curl {
    CURLcode (*globalInit)(long flags);
    CURL* (*easyInit)();
    CURLcode (*easySetopt)(CURL* curl, CURLoption option, ...);
    CURLcode (*easyPerform)(CURL* curl);
    CURLcode (*easyGetinfo)(CURL* curl, CURLINFO info, ...);
    void (*easyCleanup)(CURL* curl);
};

template <typename F>
bool bind(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(dlsym(library, name));
    return *out != nullptr;
}

const Curl* openCurl() {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        std::fprintf(stderr, "http: libcurl cannot be loaded (%s); requests fail\n", why ? why : "not found");
        return nullptr;
    }
    static Curl c;
    if (!bind(library, "curl_global_init", &c.globalInit) || !bind(library, "curl_easy_init", &c.easyInit) ||
        !bind(library, "curl_easy_setopt", &c.easySetopt) || !bind(library, "curl_easy_perform", &c.easyPerform) ||
        !bind(library, "curl_easy_getinfo", &c.easyGetinfo) || !bind(library, "curl_easy_cleanup", &c.easyCleanup)) {
        std::fprintf(stderr, "http: libcurl lacks a function; requests fail\n");
        return nullptr;
    }
    // curl_global_init is not safe to race: once, before any worker.
    c.globalInit(CURL_GLOBAL_DEFAULT);
    return &c;
}

// Null when libcurl cannot be had.
const Curl* curlLibrary() {
    static const Curl* opened = openCurl();
    return opened;
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
bool configure(const Curl& api, CURL* curl, RequestStatus* status) {
    bool ok = api.easySetopt(curl, CURLOPT_URL, status->url) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_WRITEFUNCTION, &writeReceived) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_WRITEDATA, status) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    api.easySetopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    ok = ok && api.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK;

    const HttpShadow::Limits& limits = status->limits;
    ok = ok && api.easySetopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects)) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_PROTOCOLS_STR, kProtocols) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeoutMs)) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeoutMs)) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_XFERINFOFUNCTION, &checkCancelled) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_XFERINFODATA, status) == CURLE_OK;
    ok = ok && api.easySetopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;

    // Without fields libcurl would read the body from standard input, so a
    // request without a body sends an empty one.
    const char* fields = status->body ? status->body : "";
    switch (status->method) {
    case Http::kPost:
        ok = ok && api.easySetopt(curl, CURLOPT_POST, 1L) == CURLE_OK;
        ok = ok && api.easySetopt(curl, CURLOPT_POSTFIELDS, fields) == CURLE_OK;
        break;
    case Http::kPut:
        ok = ok && api.easySetopt(curl, CURLOPT_CUSTOMREQUEST, "PUT") == CURLE_OK;
        ok = ok && api.easySetopt(curl, CURLOPT_POST, 1L) == CURLE_OK;
        ok = ok && api.easySetopt(curl, CURLOPT_POSTFIELDS, fields) == CURLE_OK;
        break;
    case Http::kDelete:
        ok = ok && api.easySetopt(curl, CURLOPT_CUSTOMREQUEST, "DELETE") == CURLE_OK;
        break;
    default:
        break;
    }
    return ok;
}

void runRequest(RequestStatus* status) {
    const Curl* lib = curlLibrary();
    CURL* curl = lib ? lib->easyInit() : nullptr;
    if (!curl) {
        status->finish(false, -1);
        return;
    }
    if (!configure(*lib, curl, status)) {
        lib->easyCleanup(curl);
        status->finish(false, -1);
        return;
    }
    CURLcode result = lib->easyPerform(curl);
    long code = 0;
    if (lib->easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) code = 0;
    lib->easyCleanup(curl);
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
    return new (std::nothrow) HttpImp(app);
}

HttpImp::HttpImp(Application* app) : HttpShadow(app) { pthread_mutex_init(&mutex_, nullptr); }

HttpImp::~HttpImp() { pthread_mutex_destroy(&mutex_); }

void HttpImp::request(int32_t method, const char* url, const char* body, Callback success, Callback failure,
                      void* context) {
    // Opened here, before the worker starts.
    curlLibrary();
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
