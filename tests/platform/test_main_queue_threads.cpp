// ctest-label: threads
// Main-queue blocks as ThreadSanitizer sees them. What a poster wrote before
// posting is seen by its block without a report; a block that races another
// thread is reported, with the GLib loop that ran it on its stack. The
// second one guards tools/tsan.supp: a suppression matching any frame of the
// loop (a whole GLib library, g_main_context_dispatch) would hide every race
// in our blocks, and this one with them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ns/MainQueue.h"

using namespace KelpaPlatform;

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif

int gShared = 0;

// Out of line, so that a report names them.
__attribute__((noinline)) void writeOnWorker(int v) { gShared = v; }
__attribute__((noinline)) int writeInBlock(int v) {
    int seen = gShared;
    gShared = v;
    return seen;
}

// Runs the main context until the block has run, at most 5 s. The flag is
// written by the block on this thread, so it needs no lock of its own.
bool drainUntil(const bool& ran) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ran && std::chrono::steady_clock::now() < until) {
        if (drainMainQueue(50) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ran;
}

TEST(MainQueueThreads, ABlockSeesWhatItsPosterWroteBeforePosting) {
    markMainThread();
    gShared = 0;
    bool ran = false;
    int seen = -1;
    std::thread worker([&] {
        writeOnWorker(1);
        dispatchAsyncMain([&] {
            seen = writeInBlock(2);
            ran = true;
        });
    });
    EXPECT_TRUE(drainUntil(ran));
    worker.join();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(gShared, 2);
}

// The worker's write and the block's are ordered by nothing ThreadSanitizer
// can see: the worker only sets a relaxed flag, which carries no order.
void blockRacingAWorker() {
    markMainThread();
    std::atomic<bool> written{false};
    std::thread worker([&] {
        writeOnWorker(1);
        written.store(true, std::memory_order_relaxed);
    });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!written.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool ran = false;
    dispatchAsyncMain([&] {
        writeInBlock(2);
        ran = true;
    });
    drainUntil(ran);
    worker.join();
}

TEST(MainQueueThreadsDeathTest, ARaceInABlockIsReported) {
    if (!kThreadSanitizer) GTEST_SKIP() << "only a ThreadSanitizer build reports races";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // With halt_on_error the report ends the process; without it, the
    // sanitizer's exit status says a report was made.
    EXPECT_DEATH(
        {
            blockRacingAWorker();
            _exit(0);
        },
        "ThreadSanitizer: data race.*writeInBlock.*queueDispatch.*g_main_context_dispatch.*writeOnWorker");
}

}  // namespace
