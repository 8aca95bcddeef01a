// A thread started and left to run on its own. Unlike a plain detached
// thread, the process can still wait for it to end at exit.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace KelpaPlatform {

class NSThread {
public:
    // Starts `body` on a new thread named `name` (at most 15 characters are
    // kept); null when the thread cannot be started.
    static std::shared_ptr<NSThread> detachNewThread(std::function<void()> body, const char* name = "worker");

    ~NSThread();
    NSThread(const NSThread&) = delete;
    NSThread& operator=(const NSThread&) = delete;

    bool isFinished() const;
    // Waits at most timeoutMs for the body to return; true when it has.
    bool waitUntilFinished(int timeoutMs);

private:
    NSThread() = default;

    mutable std::mutex lock_;
    std::condition_variable finishedCond_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace KelpaPlatform
