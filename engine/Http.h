// The engine's HTTP bridge: opening a URL in the system, and HTTP requests
// that report to a success or a failure callback from a worker thread.
#pragma once

#include <cstdint>

namespace KelpaEngine {

class Http {
public:
    enum Method : int32_t {
        kGet = 1,
        kPost = 2,
        kPut = 3,
        kDelete = 4,
    };

    // code: the HTTP status (0 when there was no answer, -1 when the request
    // could not be run); data: the received bytes, NUL-terminated, or null
    // when none arrived; length: their count. Runs on the worker thread with
    // the request's lock held. It may delete the object or start a new
    // request on it, as long as no other thread uses the object meanwhile.
    using Callback = void (*)(int32_t code, const char* data, int32_t length, void* context);

    // Starts a request and cancels the current one (which then calls no
    // callback). Success is status 200 with a whole transfer; anything else
    // goes to failure. body may be null; GET and DELETE send none.
    virtual void request(int32_t method, const char* url, const char* body, Callback success, Callback failure,
                         void* context) = 0;
    // Opens url with the system, on the calling thread.
    virtual void openURL(const char* url) = 0;
    // True while the current request has not reported.
    virtual bool isBusy() = 0;
    virtual ~Http() = default;
    // For callers that share the object between threads; the engine itself
    // does not take it.
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

}  // namespace KelpaEngine
