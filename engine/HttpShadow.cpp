#include "engine/HttpShadow.h"

#include <cstring>

#include "engine/TextUtil.h"

namespace KelpaEngine {

HttpShadow::RequestStatus::~RequestStatus() {
    engineFree(url);
    engineFree(received);
    engineFree(body);
    worker = nullptr;
}

void HttpShadow::RequestStatus::cancel() {
    // A callback that deletes its bridge or starts a new request on it
    // already holds the lock; taking it again would hang the worker.
    if (callbackThread.load(std::memory_order_acquire) == std::this_thread::get_id()) {
        cancelled.store(1, std::memory_order_release);
        return;
    }
    CriticalBlock hold(lock);
    cancelled.store(1, std::memory_order_release);
}

bool HttpShadow::RequestStatus::append(const void* bytes, uint64_t n) {
    if (isCancelled()) return false;
    if (n == 0) return true;
    if (n > limits.maxBodyBytes || receivedLength > limits.maxBodyBytes - n) return false;
    uint64_t needed = receivedLength + n + 1;  // and the NUL
    if (needed > receivedCapacity) {
        uint64_t grown = n + 2 * receivedCapacity + 16;
        uint64_t cap = limits.maxBodyBytes + 1;
        if (grown > cap) grown = cap;
        if (grown < needed) grown = needed;
        char* bigger = static_cast<char*>(engineAlloc(grown));
        if (!bigger) return false;
        if (received) std::memcpy(bigger, received, receivedLength);
        engineFree(received);
        received = bigger;
        receivedCapacity = grown;
    }
    std::memcpy(received + receivedLength, bytes, n);
    receivedLength += n;
    received[receivedLength] = '\0';
    return true;
}

void HttpShadow::RequestStatus::finish(bool succeeded, int32_t code) {
    CriticalBlock hold(lock);
    if (!isCancelled()) {
        Callback cb = succeeded ? success : failure;
        if (cb) {
            callbackThread.store(std::this_thread::get_id(), std::memory_order_release);
            cb(succeeded ? 200 : code, received, static_cast<int32_t>(receivedLength), context);
            callbackThread.store(std::thread::id(), std::memory_order_release);
        }
    }
    busy.store(0, std::memory_order_release);
}

HttpShadow::~HttpShadow() {
    if (current_) current_->cancel();
    current_ = nullptr;
}

bool HttpShadow::isBusy() { return current_ && current_->busy.load(std::memory_order_acquire) != 0; }

RefPtr<HttpShadow::RequestStatus> HttpShadow::beginRequest(int32_t method, const char* url, const char* body,
                                                           Callback success, Callback failure, void* context) {
    if (current_) current_->cancel();
    // The worker keeps its own reference to the old request.
    current_ = nullptr;

    RefPtr<RequestStatus> status;
    if (!url) return status;
    status = makeRef<RequestStatus>();
    if (!status) return status;
    status->method = method;
    status->url = engineStrdup(url);
    status->body = body ? engineStrdup(body) : nullptr;
    status->success = success;
    status->failure = failure;
    status->context = context;
    status->limits = limits_;
    if (!status->url || (body && !status->body)) return RefPtr<RequestStatus>();
    status->busy.store(1, std::memory_order_release);
    current_ = status;
    return status;
}

}  // namespace KelpaEngine
