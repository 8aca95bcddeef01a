// HTTP requests over libcurl, one detached worker thread per request.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "engine/HttpShadow.h"

namespace KelpaEngine {
namespace iOS {

class HttpImp : public HttpShadow {
public:
    // A plain object (no heap deleter): the caller deletes it when done;
    // deleting it cancels the current request. Null when memory runs out.
    static HttpImp* create(Application* app);

    explicit HttpImp(Application* app);
    ~HttpImp() override;

    void request(int32_t method, const char* url, const char* body, Callback success, Callback failure,
                 void* context) override;
    void openURL(const char* url) override;
    void lock() override;
    void unlock() override;

    // Workers still running, over every HttpImp: lets a caller (a test, the
    // host at exit) wait until no request is left in flight.
    static int32_t liveWorkers();

private:
    pthread_mutex_t mutex_;
};

}  // namespace iOS
}  // namespace KelpaEngine
