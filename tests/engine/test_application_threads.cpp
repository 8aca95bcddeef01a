// ctest-label: threads
// test-links: kelpa_ios
// The game thread and a stand-in main thread meeting the way the host makes
// them meet: flags and the pending touch written on one side, the frame
// step acting on them on the other, the resign-active wait released by it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/Application.h"
#include "engine/Pointing.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/PendingTouch.h"
#include "tests/engine/test_application_fakes.h"

using namespace KelpaEngine;

namespace {

bool waitFor(const std::function<bool()>& cond, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The host's side: flags and the touch written by the main thread, copied
// into the application by the hook on the game thread.
struct ThreadedHost : HostHook {
    std::atomic<uint8_t> suspend{0};
    std::atomic<uint8_t> terminate{0};
    iOS::PendingTouch pending;
    void frameHook(Application* app, int32_t sleepMs) override {
        iOS::deliverPendingTouch(pending, app);
        auto* imp = static_cast<iOS::ApplicationImp*>(app);
        imp->setSuspended(suspend.load(std::memory_order_relaxed) != 0);
        imp->setTerminated(terminate.load(std::memory_order_relaxed) != 0);
        sleepMilliseconds(sleepMs);
    }
};

struct CountingPlatform : iOS::PlatformObjects {
    std::atomic<int> released{0}, restored{0}, paused{0}, resumed{0};
    RefPtr<Graphics> createGraphics(Application*) override {
        return adoptRef<apptest::FakeGraphics, Graphics>(new apptest::FakeGraphics(nullptr));
    }
    void releaseGraphics(Graphics*) override { ++released; }
    void restoreGraphics(Graphics*) override { ++restored; }
    RefPtr<Audio> createAudio() override {
        return adoptRef<apptest::FakeAudio, Audio>(new apptest::FakeAudio(nullptr));
    }
    void pauseAudio(Audio*) override { ++paused; }
    void resumeAudio(Audio*) override { ++resumed; }
};

struct TouchScene : Scene {
    std::atomic<int>* updates;
    std::atomic<int>* lastFlags;
    std::atomic<int>* lastX;
    std::atomic<bool>* stop;
    TouchScene(std::atomic<int>* u, std::atomic<int>* f, std::atomic<int>* x, std::atomic<bool>* s)
        : updates(u), lastFlags(f), lastX(x), stop(s) {}
    int32_t init(Application* app) override {
        app->getGraphics();
        app->getAudio();
        return 1;
    }
    RefPtr<Scene> update(Application* app) override {
        RefPtr<Pointing> p = app->getPointing();
        TouchRecord r[kTouchRecordCapacity];
        int32_t n = p->getCount();
        p->getTouches(r, n);
        if (n > 0) {
            lastX->store(r[n - 1].x);
            lastFlags->store(r[n - 1].flags);
        }
        updates->fetch_add(1);
        invalidate();
        if (stop->load()) return nullptr;
        return self();
    }
    bool draw(Application*, Graphics*) override { return true; }
};

TEST(GameThread, PauseResumeTouchesAndTerminateAcrossThreads) {
    ThreadedHost host;
    CountingPlatform platform;
    iOS::ApplicationSeams seams;
    seams.hook = &host;
    seams.platform = &platform;
    RefPtr<iOS::ApplicationImp> app = makeRef<iOS::ApplicationImp>("mekko", seams);
    iOS::ApplicationImp* known = app.get();

    std::atomic<int> updates{0}, lastFlags{0}, lastX{0};
    std::atomic<bool> stop{false}, finished{false};
    std::thread game([&] {
        runScenes(known, makeRef<TouchScene>(&updates, &lastFlags, &lastX, &stop));
        known->setTerminated(true);
        finished = true;
    });

    EXPECT_TRUE(waitFor([&] { return updates.load() >= 3; }));

    // A tap from the main thread reaches the scene as a down, then an up.
    host.pending.publish({123, 456, 1, kPhaseBegan});
    EXPECT_TRUE(waitFor([&] { return lastFlags.load() == kTouchFlagsDown; }));
    EXPECT_EQ(lastX.load(), 123);
    host.pending.publish({124, 457, 1, kPhaseEnded});
    EXPECT_TRUE(waitFor([&] { return lastFlags.load() == kTouchFlagsUp; }));

    // Resign active: the wait ends once the game thread has paused.
    host.suspend = 1;
    EXPECT_TRUE(waitFor([&] { return known->previousState() != 0; }));
    EXPECT_EQ(platform.released.load(), 1);
    EXPECT_EQ(platform.paused.load(), 1);
    // Resigning again while paused does not wait.
    EXPECT_NE(known->previousState(), 0u);
    int before = updates.load();
    EXPECT_TRUE(waitFor([&] { return updates.load() >= before + 2; }));  // updates go on

    // The previous state is stored after the restore and the resume, so
    // waiting on it sees both.
    host.suspend = 0;
    EXPECT_TRUE(waitFor([&] { return known->previousState() == 0; }));
    EXPECT_EQ(platform.restored.load(), 1);
    EXPECT_EQ(platform.resumed.load(), 1);

    host.terminate = 1;
    bool ended = waitFor([&] { return finished.load(); });
    EXPECT_TRUE(ended);
    if (!ended) stop = true;  // let the thread go so the test can end
    game.join();
    EXPECT_EQ(platform.released.load(), 1);
    EXPECT_EQ(platform.resumed.load(), 1);
    EXPECT_EQ(known->getState(), kStateTerminating);
}

}  // namespace
