#include "platform/ns/NSThread.h"

#include <pthread.h>

#include <chrono>
#include <string>
#include <system_error>

namespace KelpaPlatform {

std::shared_ptr<NSThread> NSThread::detachNewThread(std::function<void()> body, const char* name) {
    std::shared_ptr<NSThread> t(new NSThread());
    std::string threadName = name ? std::string(name).substr(0, 15) : std::string("worker");
    // The thread holds its own reference, so the object outlives the body.
    std::shared_ptr<NSThread> self = t;
    try {
        t->thread_ = std::thread([self, threadName, body = std::move(body)]() mutable {
            pthread_setname_np(pthread_self(), threadName.c_str());
            body();
            body = nullptr;
            {
                std::lock_guard<std::mutex> guard(self->lock_);
                self->finished_ = true;
            }
            self->finishedCond_.notify_all();
            self.reset();
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return t;
}

NSThread::~NSThread() {
    // The last reference may go on the thread itself; never join from there.
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else if (isFinished()) {
            thread_.join();
        } else {
            thread_.detach();
        }
    }
}

bool NSThread::isFinished() const {
    std::lock_guard<std::mutex> guard(lock_);
    return finished_;
}

bool NSThread::waitUntilFinished(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!finishedCond_.wait_for(guard, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                [this] { return finished_; })) {
        return false;
    }
    guard.unlock();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    return true;
}

}  // namespace KelpaPlatform
