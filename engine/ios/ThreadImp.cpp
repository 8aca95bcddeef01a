#include "engine/ios/ThreadImp.h"

#include <atomic>
#include <cerrno>

namespace KelpaEngine {
namespace iOS {
namespace {

std::atomic<ThreadImp::Starter> gStarter{nullptr};

}  // namespace

void ThreadImp::setStarter(Starter starter) { gStarter.store(starter); }

int32_t ThreadImp::start(Function function, void* argument) {
    if (started_) return EBUSY;
    pthread_attr_t attributes;
    int rc = pthread_attr_init(&attributes);
    if (rc != 0) return rc;
    rc = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (rc == 0) {
        Starter starter = gStarter.load();
        rc = starter ? starter(&handle_, &attributes, function, argument)
                     : pthread_create(&handle_, &attributes, function, argument);
    }
    pthread_attr_destroy(&attributes);
    if (rc != 0) return rc;
    started_ = true;
    detached_ = true;
    return 0;
}

int32_t ThreadImp::join() {
    if (!started_) return ESRCH;
    // A detached thread's handle may already name another thread.
    if (detached_) return EINVAL;
    return pthread_join(handle_, nullptr);
}

}  // namespace iOS

RefPtr<Thread> Thread::create(Function function, void* argument) {
    RefPtr<iOS::ThreadImp> thread = makeRef<iOS::ThreadImp>();
    if (!thread || !function) return RefPtr<Thread>();
    if (thread->start(function, argument) != 0) return RefPtr<Thread>();
    return thread;
}

}  // namespace KelpaEngine
