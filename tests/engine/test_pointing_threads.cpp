// ctest-label: threads
// test-links: kelpa_ios
// The pending touches between the main thread (publish) and the game thread
// (take): never a touch mixed from two publishes, never one taken twice or
// out of order, every press taken with its end, and a press published when
// the queue has room is not lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/Pointing.h"
#include "engine/ios/PendingTouch.h"

using namespace KelpaEngine;

namespace {

// Touch number i: press i / 3, phase i % 3 (began, moved, ended).
iOS::TouchSample sampleFor(int32_t i) { return {i, i * 2 + 1, i % 7 + 1, i % 3}; }

TEST(PendingTouchThreads, EveryTakenTouchIsWholeInOrderAndPressesKeepTheirEnds) {
    constexpr int32_t kPresses = 7000;
    iOS::PendingTouch pending;
    std::atomic<bool> producerDone{false};

    std::thread mainThread([&] {
        for (int32_t i = 3; i < kPresses * 3; ++i) {
            pending.publish(sampleFor(i));
            if (i % 64 == 0) std::this_thread::yield();
        }
        // The last press comes when the queue is empty: it must arrive whole.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pending.isPending() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        for (int32_t i = kPresses * 3; i < kPresses * 3 + 3; ++i) pending.publish(sampleFor(i));
        producerDone = true;
    });

    int32_t last = 0, taken = 0, openPress = -1;
    bool mixed = false, unordered = false, unpaired = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (last != kPresses * 3 + 2 && std::chrono::steady_clock::now() < deadline) {
        iOS::TouchSample t;
        if (!pending.take(&t)) {
            if (producerDone.load() && !pending.isPending()) break;
            continue;
        }
        iOS::TouchSample want = sampleFor(t.x);
        if (t.y != want.y || t.count != want.count || t.phase != want.phase) mixed = true;
        if (t.x <= last) unordered = true;
        int32_t press = t.x / 3;
        if (t.phase == kPhaseBegan) {
            if (openPress >= 0) unpaired = true;
            openPress = press;
        } else if (t.phase == kPhaseEnded) {
            if (openPress != press) unpaired = true;
            openPress = -1;
        } else if (openPress != press) {
            unpaired = true;  // a move of a press whose began was dropped
        }
        last = t.x;
        ++taken;
    }
    mainThread.join();
    EXPECT_FALSE(mixed);
    EXPECT_FALSE(unordered);
    EXPECT_FALSE(unpaired);
    EXPECT_GT(taken, 0);
    EXPECT_EQ(last, kPresses * 3 + 2);
    EXPECT_EQ(openPress, -1);
    iOS::TouchSample t;
    EXPECT_FALSE(pending.take(&t));
}

}  // namespace
