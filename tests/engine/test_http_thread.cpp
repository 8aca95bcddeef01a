// ctest-label: threads
// test-links: kelpa_ios
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/Thread.h"
#include "engine/ios/HttpImp.h"
#include "engine/ios/ThreadImp.h"

using namespace KelpaEngine;

namespace {

struct Ran {
    std::mutex m;
    std::condition_variable cv;
    int times = 0;
    std::thread::id where;
};

void* noteRun(void* argument) {
    auto* ran = static_cast<Ran*>(argument);
    std::lock_guard<std::mutex> lock(ran->m);
    ++ran->times;
    ran->where = std::this_thread::get_id();
    ran->cv.notify_all();
    return nullptr;
}

int refuseToStart(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; }

// Puts the real thread start back however the test ends.
struct FailingStarts {
    FailingStarts() { iOS::ThreadImp::setStarter(&refuseToStart); }
    ~FailingStarts() { iOS::ThreadImp::setStarter(nullptr); }
};

TEST(Thread, RunsItsFunctionOnceOnADetachedThread) {
    Ran ran;
    RefPtr<Thread> t = Thread::create(&noteRun, &ran);
    ASSERT_TRUE(t);
    {
        std::unique_lock<std::mutex> lock(ran.m);
        ASSERT_TRUE(ran.cv.wait_for(lock, std::chrono::seconds(10), [&] { return ran.times == 1; }));
        EXPECT_NE(ran.where, std::this_thread::get_id());
    }
    // Nothing may wait for a detached thread: join reports an error at once.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t->join(), EINVAL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(ran.times, 1);
}

TEST(Thread, NeverStartedThreadsJoinWithAnError) {
    iOS::ThreadImp idle;
    EXPECT_NE(idle.join(), 0);
    EXPECT_TRUE(Thread::create(nullptr, nullptr) == nullptr);
}

TEST(Thread, AFailedStartGivesNullAndLeaksNothing) {
    FailingStarts failing;
    Ran ran;
    HeapCounters before = heapCounters();
    EXPECT_TRUE(Thread::create(&noteRun, &ran) == nullptr);
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
    EXPECT_EQ(ran.times, 0);
}

struct Result {
    int calls = 0;
    bool success = false;
    int32_t code = 0;
    const char* data = reinterpret_cast<const char*>(1);
    int32_t length = -7;
};

void recordSuccess(int32_t code, const char* data, int32_t length, void* context) {
    auto* r = static_cast<Result*>(context);
    *r = Result{r->calls + 1, true, code, data, length};
}
void recordFailure(int32_t code, const char* data, int32_t length, void* context) {
    auto* r = static_cast<Result*>(context);
    *r = Result{r->calls + 1, false, code, data, length};
}

TEST(Thread, ARequestWhoseWorkerCannotStartFailsAtOnce) {
    // Warm up the library once, so that the counters below see only the request.
    delete iOS::HttpImp::create(nullptr);
    FailingStarts failing;
    HeapCounters before = heapCounters();
    {
        std::unique_ptr<iOS::HttpImp> http(iOS::HttpImp::create(nullptr));
        ASSERT_TRUE(http);
        Result r;
        http->request(Http::kPost, "http://127.0.0.1:9/", "body", &recordSuccess, &recordFailure, &r);
        // Reported before request returns, as a failure without data.
        EXPECT_EQ(r.calls, 1);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.code, -1);
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(r.length, 0);
        EXPECT_FALSE(http->isBusy());
        EXPECT_EQ(iOS::HttpImp::liveWorkers(), 0);
    }
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
    EXPECT_EQ(heapCounters().bytesInUse, before.bytesInUse);
}

TEST(Thread, ARequestWithoutAUrlFailsAtOnce) {
    std::unique_ptr<iOS::HttpImp> http(iOS::HttpImp::create(nullptr));
    ASSERT_TRUE(http);
    Result r;
    http->request(Http::kGet, nullptr, nullptr, &recordSuccess, &recordFailure, &r);
    EXPECT_EQ(r.calls, 1);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.code, -1);
    EXPECT_FALSE(http->isBusy());
    EXPECT_EQ(iOS::HttpImp::liveWorkers(), 0);
}

}  // namespace
