// ctest-label: threads
// The pending touch between the main thread (publish) and the game thread
// (take): never a touch mixed from two publishes, never one taken twice, and
// the last one published is not lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/Pointing.h"
#include "engine/ios/PendingTouch.h"

using namespace KelpaEngine;

namespace {

iOS::TouchSample sampleFor(int32_t i) { return {i, i * 2 + 1, i % 7 + 1, i % 3}; }

TEST(PendingTouchThreads, EveryTakenTouchIsWholeNewAndTheLastArrives) {
    constexpr int32_t kTouches = 20000;
    iOS::PendingTouch pending;
    std::atomic<bool> producerDone{false};

    std::thread mainThread([&] {
        for (int32_t i = 1; i <= kTouches; ++i) {
            pending.publish(sampleFor(i));
            if (i % 64 == 0) std::this_thread::yield();
        }
        producerDone = true;
    });

    int32_t lastTaken = 0;
    int32_t taken = 0;
    bool mixed = false, repeated = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (lastTaken != kTouches && std::chrono::steady_clock::now() < deadline) {
        iOS::TouchSample t;
        if (!pending.take(&t)) {
            if (producerDone.load() && !pending.isPending()) break;
            continue;
        }
        iOS::TouchSample want = sampleFor(t.x);
        if (t.y != want.y || t.count != want.count || t.phase != want.phase) mixed = true;
        if (t.x <= lastTaken) repeated = true;
        lastTaken = t.x;
        ++taken;
    }
    mainThread.join();
    EXPECT_FALSE(mixed);
    EXPECT_FALSE(repeated);
    EXPECT_GT(taken, 0);
    EXPECT_EQ(lastTaken, kTouches);
    iOS::TouchSample t;
    EXPECT_FALSE(pending.take(&t));
}

}  // namespace
