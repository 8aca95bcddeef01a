// test-links: kelpa_ios
// The application object, the frame pacer and the scene runner, driven by a
// fake clock, a fake host hook and fake platform objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/CounterTimer.h"
#include "engine/Pointing.h"
#include "engine/ios/CounterTimerImp.h"
#include "tests/engine/test_application_fakes.h"

using namespace KelpaEngine;
using apptest::FakeWorld;

namespace {

// ---- frame pacer ----------------------------------------------------------

// One frame step of a pacing script. The clock moves by `before` (the
// frame's work, or a step of the clock) before the call; the host sleeps
// what it is asked plus `over` (an oversleep). `wake` is the clock when the
// sleep is over, from the first call's start.
struct PacedFrame {
    int64_t before = 0;
    int32_t sleep = 0;
    int64_t wake = 0;
    int64_t over = 0;
    int32_t ms = 16;
    bool pace = true;
};

struct PaceScript {
    const char* what;
    std::vector<PacedFrame> frames;
};

TEST(FramePacer, SleepsToDeadlinesATargetApart) {
    const PaceScript scripts[] = {
        {"steady frames come every target whatever the work",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 3, .sleep = 13, .wake = 32},
          {.before = 3, .sleep = 13, .wake = 48},
          {.before = 10, .sleep = 6, .wake = 64},
          {.before = 0, .sleep = 16, .wake = 80}}},
        {"an oversleep is made up by the next sleep",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 3, .sleep = 13, .wake = 36, .over = 4},
          {.before = 3, .sleep = 9, .wake = 48},
          {.before = 3, .sleep = 13, .wake = 64}}},
        {"a slow frame sleeps the least and the next one catches up",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 3, .sleep = 13, .wake = 32},
          {.before = 20, .sleep = 1, .wake = 53},
          {.before = 3, .sleep = 8, .wake = 64},
          {.before = 3, .sleep = 13, .wake = 80}}},
        {"a frame just one frame late still catches up",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 3, .sleep = 13, .wake = 32},
          {.before = 32, .sleep = 1, .wake = 65},
          {.before = 0, .sleep = 1, .wake = 66},
          {.before = 0, .sleep = 14, .wake = 80}}},
        {"a stall re-anchors the deadlines instead of racing",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 3, .sleep = 13, .wake = 32},
          {.before = 500, .sleep = 1, .wake = 533},
          {.before = 3, .sleep = 13, .wake = 549},
          {.before = 3, .sleep = 13, .wake = 565}}},
        {"a gap past 32 bits is a stall too",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = int64_t(1) << 32, .sleep = 1, .wake = (int64_t(1) << 32) + 17},
          {.before = 0, .sleep = 16, .wake = (int64_t(1) << 32) + 33}}},
        {"a clock going back sleeps no more than the target",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 3, .sleep = 13, .wake = 32},
          {.before = -3600 * 1000, .sleep = 16, .wake = 48 - 3600 * 1000},
          {.before = 4, .sleep = 12, .wake = 64 - 3600 * 1000},
          {.before = -5, .sleep = 16, .wake = 75 - 3600 * 1000}}},
        {"a zero target only yields; pacing off sleeps the target and starts the next deadline",
         {{.before = 0, .sleep = 16, .wake = 16},
          {.before = 2, .sleep = 1, .wake = 19, .ms = 0},
          {.before = 3, .sleep = 10, .wake = 32},
          {.before = 3, .sleep = 16, .wake = 51, .pace = false},
          {.before = 30, .sleep = 16, .wake = 97, .pace = false},
          {.before = 3, .sleep = 13, .wake = 113}}},
        {"a first paced call sleeps the full target, at least 1 ms",
         {{.before = 0, .sleep = 1, .wake = 1, .ms = 0}, {.before = 0, .sleep = 16, .wake = 17}}},
    };
    for (const PaceScript& script : scripts) {
        FakeWorld w;
        const int64_t start = w.clock.t;
        int64_t over = 0;
        w.host.script = [&](int) { w.clock.t += over; };
        for (size_t i = 0; i < script.frames.size(); ++i) {
            const PacedFrame& f = script.frames[i];
            w.clock.t += f.before;
            over = f.over;
            w.host.sleeps.clear();
            EXPECT_EQ(w.app->frameStep(f.ms, f.pace), kStateActive);
            ASSERT_EQ(w.host.sleeps.size(), 1u) << script.what << ", frame " << i;
            EXPECT_EQ(w.host.sleeps[0], f.sleep) << script.what << ", frame " << i;
            EXPECT_EQ(w.clock.t - start, f.wake) << script.what << ", frame " << i;
        }
    }
}

TEST(FramePacer, OversleepsDoNotAddUpOverManyFrames) {
    FakeWorld w;
    // Every sleep runs 1 to 3 ms long and every frame works 2 to 9 ms.
    int64_t over = 0;
    w.host.script = [&](int frame) {
        over = 1 + frame % 3;
        w.clock.t += over;
    };
    const int64_t start = w.clock.t;
    constexpr int kFrames = 600;
    for (int i = 0; i < kFrames; ++i) {
        w.app->frameStep(16, true);
        if (i + 1 < kFrames) w.clock.t += 2 + (i * 7) % 8;
    }
    // The last frame is due at 600 targets, and woke at most its oversleep late.
    EXPECT_GE(w.clock.t - start, 16 * kFrames);
    EXPECT_LE(w.clock.t - start, 16 * kFrames + 3);
}

TEST(FramePacer, TheProductionClockIsMonotonicAndBoundsTheSleep) {
    apptest::FakeClock unused;
    apptest::FakeHost host(&unused);
    host.advanceClock = false;
    iOS::ApplicationSeams seams;
    seams.hook = &host;  // records only: no real sleep
    seams.platform = nullptr;
    RefPtr<iOS::ApplicationImp> app = makeRef<iOS::ApplicationImp>("mekko", seams);
    for (int i = 0; i < 50; ++i) app->frameStep(16, true);
    ASSERT_EQ(host.sleeps.size(), 50u);
    EXPECT_EQ(host.sleeps[0], 16);
    for (int32_t s : host.sleeps) {
        EXPECT_GE(s, 1);
        EXPECT_LE(s, 16);
    }
    FrameClock& clock = monotonicClock();
    int64_t a = clock.nowMs();
    sleepMilliseconds(2);
    EXPECT_GE(clock.nowMs() - a, 2);
}

// ---- state transitions ----------------------------------------------------

TEST(ApplicationState, PauseResumeAndTerminateActOnTheObjectsOnce) {
    FakeWorld w;
    ASSERT_TRUE(w.app->getGraphics());
    ASSERT_TRUE(w.app->getAudio());
    struct Step {
        bool suspend, terminate;
        int32_t state;
        uint32_t previous;
        std::vector<std::string> calls;
    };
    const Step steps[] = {
        {false, false, 0, 0, {}},
        {true, false, 1, 1, {"releaseGraphics", "pauseAudio"}},
        {true, false, 1, 1, {}},
        {false, false, 0, 0, {"restoreGraphics", "resumeAudio"}},
        {false, false, 0, 0, {}},
        {false, true, 3, 0, {}},
        {false, true, 3, 0, {}},
    };
    int i = 0;
    for (const Step& s : steps) {
        w.platform.log.clear();
        w.host.suspend = s.suspend;
        w.host.terminate = s.terminate;
        EXPECT_EQ(w.app->frameStep(16, true), s.state) << "step " << i;
        EXPECT_EQ(w.app->getState(), s.state) << "step " << i;
        EXPECT_EQ(w.app->previousState(), s.previous) << "step " << i;
        EXPECT_EQ(w.platform.log, s.calls) << "step " << i;
        ++i;
    }
}

TEST(ApplicationState, TerminatingWhilePausedResumesNothing) {
    FakeWorld w;
    w.app->getGraphics();
    w.app->getAudio();
    w.host.suspend = true;
    EXPECT_EQ(w.app->frameStep(16, true), kStatePaused);
    w.platform.log.clear();
    w.host.suspend = false;
    w.host.terminate = true;
    EXPECT_EQ(w.app->frameStep(16, true), kStateTerminating);
    EXPECT_TRUE(w.platform.log.empty());
    EXPECT_EQ(w.app->previousState(), uint32_t(kStatePaused));
}

TEST(ApplicationState, TransitionsWithoutObjectsCallNothing) {
    FakeWorld w;
    w.host.suspend = true;
    EXPECT_EQ(w.app->frameStep(16, true), kStatePaused);
    w.host.suspend = false;
    EXPECT_EQ(w.app->frameStep(16, true), kStateActive);
    EXPECT_TRUE(w.platform.log.empty());
    EXPECT_EQ(w.platform.graphicsMade + w.platform.audioMade, 0);
}

TEST(ApplicationState, TerminatedFlagWinsOverSuspended) {
    FakeWorld w;
    w.app->setSuspended(true);
    EXPECT_EQ(w.app->getState(), kStatePaused);
    w.app->setTerminated(true);
    EXPECT_EQ(w.app->getState(), kStateTerminating);
}

// ---- the application object -----------------------------------------------

TEST(Application, ConstructionDefaultsAndName) {
    FakeWorld w;
    EXPECT_STREQ(w.app->getName(), "mekko");
    EXPECT_EQ(w.app->getVirtualWidth(), 540);
    EXPECT_EQ(w.app->getVirtualHeight(), 960);
    EXPECT_EQ(w.app->getScreenWidth(), 320);
    EXPECT_EQ(w.app->getScreenHeight(), 480);
    EXPECT_EQ(w.app->getState(), kStateActive);
    EXPECT_FALSE(w.app->isPad());

    char buf[16];
    std::strcpy(buf, "other");
    const char* copy = w.app->setName(buf);
    EXPECT_NE(copy, buf);
    buf[0] = 'X';
    EXPECT_STREQ(w.app->getName(), "other");
    EXPECT_EQ(w.app->setName(nullptr), nullptr);
    EXPECT_EQ(w.app->getName(), nullptr);
}

TEST(Application, ScreenSizeNeverShrinks) {
    struct Case {
        int32_t w, h, expectW, expectH;
    };
    const Case cases[] = {{375, 667, 375, 667}, {300, 400, 320, 480}, {768, 400, 768, 480}};
    for (const Case& c : cases) {
        FakeWorld w;
        w.app->setScreenSize(c.w, c.h);
        EXPECT_EQ(w.app->getScreenWidth(), c.expectW) << c.w << "x" << c.h;
        EXPECT_EQ(w.app->getScreenHeight(), c.expectH) << c.w << "x" << c.h;
    }
}

TEST(Application, MapsVirtualPositionsIntoTheLetterbox) {
    FakeWorld w;
    w.app->setScreenSize(768, 1024);
    w.app->setVirtualSize(640, 960);
    w.app->setViewportOffset(43, 0);
    EXPECT_EQ(w.app->mapToScreenX(0), 43);
    EXPECT_EQ(w.app->mapToScreenX(640), 43 + 682);
    EXPECT_EQ(w.app->mapToScreenX(320), 43 + 341);
    EXPECT_EQ(w.app->mapToScreenY(960), 1024);
    EXPECT_EQ(w.app->mapToScreenY(480), 512);
    w.app->setVirtualSize(0, 0);
    EXPECT_EQ(w.app->mapToScreenX(100), 43);
    EXPECT_EQ(w.app->mapToScreenY(100), 0);
}

TEST(Application, ObjectsAreMadeOnceAndShared) {
    FakeWorld w;
    Graphics* raw = nullptr;
    {
        RefPtr<Graphics> a = w.app->getGraphics();
        RefPtr<Graphics> b = w.app->getGraphics();
        ASSERT_TRUE(a);
        EXPECT_EQ(a.get(), b.get());
        raw = a.get();
        EXPECT_EQ(refCountOf(dynamic_cast<void*>(raw)), 3u);  // the application's + a + b
    }
    EXPECT_EQ(refCountOf(dynamic_cast<void*>(raw)), 1u);
    EXPECT_EQ(w.platform.graphicsMade, 1);
    EXPECT_EQ(w.app->getAudio().get(), w.app->getAudio().get());
    EXPECT_EQ(w.app->getPointing().get(), w.app->getPointing().get());
    EXPECT_EQ(w.platform.audioMade, 1);
    EXPECT_EQ(w.platform.pointingMade, 1);
}

TEST(Application, AFailedObjectIsTriedAgainOnTheNextRequest) {
    FakeWorld w;
    w.platform.failGraphics = true;
    w.platform.failAudio = true;
    EXPECT_FALSE(w.app->getGraphics());
    EXPECT_FALSE(w.app->getAudio());
    w.platform.failGraphics = false;
    w.platform.failAudio = false;
    EXPECT_TRUE(w.app->getGraphics());
    EXPECT_TRUE(w.app->getAudio());
    EXPECT_EQ(w.platform.graphicsMade, 2);
    EXPECT_EQ(w.platform.audioMade, 2);
}

TEST(Application, DestroysTouchInputThenGraphicsThenAudio) {
    FakeWorld w;
    w.app->getAudio();
    w.app->getGraphics();
    w.app->getPointing();
    w.platform.log.clear();
    w.app.reset();
    EXPECT_EQ(w.platform.log, (std::vector<std::string>{"~pointing", "~graphics", "~audio"}));
}

TEST(Application, UsesTheInstalledHostHookWhenMadeWithout) {
    apptest::FakeClock clock;
    apptest::FakeHost host(&clock);
    installHostHook(&host);
    {
        iOS::ApplicationSeams seams;
        seams.clock = &clock;
        RefPtr<iOS::ApplicationImp> app = makeRef<iOS::ApplicationImp>("mekko", seams);
        app->frameStep(16, true);
        EXPECT_EQ(host.sleeps.size(), 1u);
        installHostHook(nullptr);
        EXPECT_NE(&installedHostHook(), &host);
        app->frameStep(1, false);  // the default hook sleeps 1 ms
        EXPECT_EQ(host.sleeps.size(), 1u);
    }
}

TEST(CounterTimer, ElapsedTimeAndOnceASecondRate) {
    struct ScriptedTimer : CounterTimer {
        std::vector<double> times;
        size_t i = 0;
        double now() override { return times[std::min(i++, times.size() - 1)]; }
    } t;
    t.times = {100.0, 100.5, 101.0, 101.25, 101.25};
    t.update(false);
    EXPECT_EQ(t.elapsed(), 0.0);
    t.update(false);
    EXPECT_EQ(t.elapsed(), 0.5);
    EXPECT_EQ(t.framesPerSecond(), 0.0);
    t.update(false);  // one second since the sample start: 3 frames over 1 s
    EXPECT_EQ(t.previousElapsed(), 0.5);
    EXPECT_EQ(t.framesPerSecond(), 3.0);
    EXPECT_EQ(t.framesCounted(), 0u);
    t.update(true);  // forced: 1 frame over 0.25 s
    EXPECT_EQ(t.framesPerSecond(), 4.0);
    t.update(true);  // forced over no time: the rate is kept
    EXPECT_EQ(t.framesPerSecond(), 4.0);

    RefPtr<CounterTimer> real = iOS::CounterTimerImp::create();
    ASSERT_TRUE(real);
    EXPECT_NEAR(real->now(), double(time(nullptr)), 2.0);
}

// ---- scene runner ---------------------------------------------------------

// A scene that logs what the runner does with it. update() stays until
// `switchAt` (then returns `next`, or null when there is none); draw answers
// `presentAnswer`; `invalidateEachFrame` marks it dirty in every update.
struct LogScene : Scene {
    LogScene(std::string n, std::vector<std::string>* l) : name(std::move(n)), log(l) {}
    ~LogScene() override { log->push_back("~" + name); }

    std::string name;
    std::vector<std::string>* log;
    int updates = 0;
    int draws = 0;
    int switchAt = -1;  // update number (from 1) that leaves
    RefPtr<Scene> next;
    bool presentAnswer = true;
    bool invalidateEachFrame = false;
    std::function<void(Application*)> onInit;
    std::function<void(Application*, int)> onUpdate;

    int32_t init(Application* app) override {
        log->push_back("init " + name);
        if (onInit) onInit(app);
        return 1;
    }
    RefPtr<Scene> update(Application* app) override {
        ++updates;
        log->push_back("update " + name);
        if (onUpdate) onUpdate(app, updates);
        if (invalidateEachFrame) invalidate();
        if (updates == switchAt) {
            RefPtr<Scene> n = std::move(next);
            return n;
        }
        return self();
    }
    bool draw(Application*, Graphics* g) override {
        EXPECT_NE(g, nullptr);
        ++draws;
        log->push_back("draw " + name);
        return presentAnswer;
    }
};

RefPtr<LogScene> makeScene(const char* name, std::vector<std::string>* log) {
    return makeRef<LogScene>(name, log);
}

int countOf(const std::vector<std::string>& log, const std::string& what) {
    return int(std::count(log.begin(), log.end(), what));
}

TEST(SceneRunner, InitOnceThenUpdateEveryFrameUntilNull) {
    FakeWorld w;
    std::vector<std::string> log;
    RefPtr<LogScene> a = makeScene("A", &log);
    a->switchAt = 4;  // no next scene: the runner stops
    a->invalidateEachFrame = true;
    runScenes(w.app.get(), std::move(a));
    EXPECT_FALSE(w.host.safetyHit);
    EXPECT_EQ(countOf(log, "init A"), 1);
    EXPECT_EQ(countOf(log, "update A"), 4);
    EXPECT_EQ(countOf(log, "draw A"), 3);  // the fourth update left
    EXPECT_EQ(log.back(), "~A");
    EXPECT_EQ(w.host.sleeps.size(), 4u);
}

TEST(SceneRunner, AnotherSceneReplacesTheOldOneBeforeItsInitAndInputIsLockedUntilThen) {
    FakeWorld w;
    std::vector<std::string> log;
    RefPtr<LogScene> a = makeScene("A", &log);
    RefPtr<LogScene> b = makeScene("B", &log);
    a->switchAt = 2;
    a->next = b;
    b->switchAt = 3;
    bool lockedDuringInit = false;
    b->onInit = [&](Application* app) {
        auto* p = static_cast<iOS::PointingImp*>(app->getPointing().get());
        lockedDuringInit = p->isLocked();
        // An event arriving between the switch and the init is dropped.
        p->intake(10, 20, 1, kPhaseBegan);
    };
    int eventsSeenByB = -1;
    bool lockedInB = true;
    b->onUpdate = [&](Application* app, int n) {
        auto* p = static_cast<iOS::PointingImp*>(app->getPointing().get());
        if (n == 1) {
            eventsSeenByB = p->readCount();
            lockedInB = p->isLocked();
        }
    };
    b.reset();
    runScenes(w.app.get(), std::move(a));

    auto at = [&](const std::string& s) { return std::find(log.begin(), log.end(), s) - log.begin(); };
    EXPECT_LT(at("~A"), at("init B"));
    EXPECT_TRUE(lockedDuringInit);
    EXPECT_FALSE(lockedInB);
    EXPECT_EQ(eventsSeenByB, 0);
    EXPECT_EQ(countOf(log, "init B"), 1);
    EXPECT_EQ(countOf(log, "update B"), 3);
    EXPECT_EQ(log.back(), "~B");
}

TEST(SceneRunner, ATouchReachesTheSceneThroughTheHostHook) {
    FakeWorld w;
    std::vector<std::string> log;
    RefPtr<LogScene> a = makeScene("A", &log);
    a->switchAt = 3;
    std::vector<uint8_t> flags;
    w.host.script = [&](int frame) {
        if (frame == 1) w.host.pending.publish({100, 200, 1, kPhaseBegan});
    };
    a->onUpdate = [&](Application* app, int) {
        RefPtr<Pointing> p = app->getPointing();
        TouchRecord r[kTouchRecordCapacity];
        int32_t n = p->getCount();
        p->getTouches(r, n);
        for (int32_t i = 0; i < n; ++i) flags.push_back(r[i].flags);
        auto* imp = static_cast<iOS::PointingImp*>(p.get());
        if (imp->readCount() == 1) {
            EXPECT_EQ(imp->readEvents()[0].type, kTouchDown);
            EXPECT_EQ(imp->readEvents()[0].x, 100);
        }
    };
    runScenes(w.app.get(), std::move(a));
    EXPECT_EQ(flags, (std::vector<uint8_t>{3}));
}

TEST(SceneRunner, DrawsOnlyWhenDirtyAndClearsDirtOnlyWhenPresented) {
    struct Case {
        const char* what;
        bool invalidateEachFrame, presentAnswer;
        int draws, presents;
    };
    const Case cases[] = {
        {"clean scene: only its first frame", false, true, 1, 1},
        {"a draw that declines stays dirty", false, false, 5, 0},
        {"dirty every frame", true, true, 5, 5},
    };
    for (const Case& c : cases) {
        FakeWorld w;
        std::vector<std::string> log;
        RefPtr<LogScene> a = makeScene("A", &log);
        a->switchAt = 6;
        a->invalidateEachFrame = c.invalidateEachFrame;
        a->presentAnswer = c.presentAnswer;
        runScenes(w.app.get(), std::move(a));
        EXPECT_EQ(countOf(log, "draw A"), c.draws) << c.what;
        EXPECT_EQ(countOf(w.platform.log, "present"), c.presents) << c.what;
    }
}

TEST(SceneRunner, PausedFramesUpdateButDrawNothingAndTheReturnIsDrawn) {
    FakeWorld w;
    std::vector<std::string> log;
    RefPtr<LogScene> a = makeScene("A", &log);
    a->switchAt = 8;  // a clean scene after its first frame
    std::vector<int> drawnAt;  // update numbers after which a draw happened
    w.host.script = [&](int frame) { w.host.suspend = (frame >= 2 && frame <= 4); };
    int lastDraws = 0;
    LogScene* raw = a.get();
    a->onUpdate = [&](Application*, int n) {
        if (raw->draws != lastDraws) drawnAt.push_back(n - 1);
        lastDraws = raw->draws;
    };
    runScenes(w.app.get(), std::move(a));
    // Paused during updates 3-5: drawn after update 1 (dirty at start) and
    // after update 6 (the first active frame after the pause).
    EXPECT_EQ(drawnAt, (std::vector<int>{1, 6}));
    EXPECT_EQ(countOf(log, "update A"), 8);
    EXPECT_EQ(countOf(w.platform.log, "releaseGraphics"), 1);
    EXPECT_EQ(countOf(w.platform.log, "restoreGraphics"), 1);
}

TEST(SceneRunner, TerminatingEndsTheRunnerWithinAFrame) {
    FakeWorld w;
    std::vector<std::string> log;
    RefPtr<LogScene> a = makeScene("A", &log);
    a->invalidateEachFrame = true;  // never leaves on its own
    w.host.script = [&](int frame) {
        if (frame == 5) w.host.terminate = true;
    };
    runScenes(w.app.get(), std::move(a));
    EXPECT_FALSE(w.host.safetyHit);
    EXPECT_EQ(w.host.sleeps.size(), 6u);
    EXPECT_EQ(countOf(log, "update A"), 5);
    EXPECT_EQ(log.back(), "~A");
}

TEST(SceneRunner, TerminatedBeforeTheStartRunsNothing) {
    FakeWorld w;
    std::vector<std::string> log;
    w.app->setTerminated(true);
    runScenes(w.app.get(), makeScene("A", &log));
    EXPECT_EQ(log, (std::vector<std::string>{"~A"}));
    runScenes(w.app.get(), nullptr);
    runScenes(nullptr, makeScene("B", &log));
    EXPECT_EQ(log.back(), "~B");
}

TEST(SceneRunner, WithoutGraphicsNothingIsDrawn) {
    FakeWorld w;
    w.platform.failGraphics = true;
    std::vector<std::string> log;
    RefPtr<LogScene> a = makeScene("A", &log);
    a->switchAt = 3;
    a->invalidateEachFrame = true;
    runScenes(w.app.get(), std::move(a));
    EXPECT_EQ(countOf(log, "update A"), 3);
    EXPECT_EQ(countOf(log, "draw A"), 0);
}

}  // namespace
