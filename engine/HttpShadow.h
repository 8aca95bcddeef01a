// The platform-neutral half of the HTTP bridge: the current request and its
// status, shared with the request's worker, and the receive buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "engine/Heap.h"
#include "engine/Http.h"
#include "engine/Thread.h"

namespace KelpaEngine {

class Application;

class HttpShadow : public Http {
public:
    // Bounds on every request, taken when it starts.
    struct Limits {
        int32_t connectTimeoutMs = 10000;
        int32_t totalTimeoutMs = 30000;
        int32_t maxRedirects = 10;
        // The callbacks take a 32-bit length, so larger bodies are refused.
        uint64_t maxBodyBytes = 0x7FFFFFFE;
    };

    // One request; shared by RefPtr between the HttpShadow and the worker.
    class RequestStatus {
    public:
        RequestStatus() = default;
        virtual ~RequestStatus();
        RequestStatus(const RequestStatus&) = delete;
        RequestStatus& operator=(const RequestStatus&) = delete;

        // Sets the cancelled flag under the lock: after it returns no
        // callback runs or will run. From inside this request's own
        // callback (which holds the lock) it only sets the flag.
        void cancel();
        bool isCancelled() const { return cancelled.load(std::memory_order_acquire) != 0; }
        // Appends received bytes; false (take nothing) when cancelled, over
        // the body limit or out of memory, which stops the transfer.
        bool append(const void* bytes, uint64_t n);
        // Ends the request: under the lock and unless cancelled, the success
        // callback (status 200) or the failure callback (code); then not busy.
        void finish(bool succeeded, int32_t code);

        CriticalSection lock;
        int32_t method = 0;
        // Read by the worker without the lock while it receives.
        std::atomic<uint8_t> cancelled{0};
        char* url = nullptr;
        char* body = nullptr;
        Callback success = nullptr;
        Callback failure = nullptr;
        void* context = nullptr;
        RefPtr<Thread> worker;
        uint64_t receivedLength = 0;
        uint64_t receivedCapacity = 0;
        char* received = nullptr;
        std::atomic<uint8_t> busy{0};
        Limits limits;
        // The thread running a callback of this request, while it runs.
        std::atomic<std::thread::id> callbackThread{};
    };

    explicit HttpShadow(Application* app) : app_(app) {}
    // Cancels the current request.
    ~HttpShadow() override;
    HttpShadow(const HttpShadow&) = delete;
    HttpShadow& operator=(const HttpShadow&) = delete;

    bool isBusy() override;
    void lock() override {}
    void unlock() override {}

    // Applies to requests started afterwards.
    void setLimits(const Limits& limits) { limits_ = limits; }
    const Limits& limits() const { return limits_; }
    Application* application() const { return app_; }

protected:
    // Cancels the current request and makes a new, busy one current. Null
    // (and no current request) when the URL is null or memory runs out.
    RefPtr<RequestStatus> beginRequest(int32_t method, const char* url, const char* body, Callback success,
                                       Callback failure, void* context);

    Application* app_;
    RefPtr<RequestStatus> current_;
    Limits limits_;
};

}  // namespace KelpaEngine
