// test-links: kelpa_ios
// Touch input: the record table, the event queues and the lock, the pending
// touches' hand-over and the mapping of platform touches into the scene.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "engine/Application.h"
#include "engine/Pointing.h"
#include "engine/ios/Factories.h"
#include "engine/ios/PendingTouch.h"
#include "engine/ios/PointingImp.h"

using namespace KelpaEngine;
using KelpaEngine::iOS::PointingImp;

namespace {

// A touch input as the scene runner leaves it after the first init.
struct Touch : ::testing::Test {
    RefPtr<PointingImp> p = makeRef<PointingImp>();
    void SetUp() override { p->reset(true); }

    std::vector<TouchRecord> read() {
        std::vector<TouchRecord> out(kTouchRecordCapacity);
        int32_t n = p->getCount();
        EXPECT_TRUE(p->getTouches(out.data(), n));
        out.resize(size_t(n));
        return out;
    }
    std::vector<TouchEvent> swapAndRead() {
        p->swapQueues();
        return std::vector<TouchEvent>(p->readEvents(), p->readEvents() + p->readCount());
    }
};

TEST_F(Touch, BeganMovedEndedOverThreeFrames) {
    p->intake(10, 20, 1, kPhaseBegan);
    auto r = read();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].flags, kTouchFlagsDown);
    EXPECT_EQ(r[0].valid, 1u);

    p->intake(15, 25, 1, kPhaseMoved);
    r = read();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].flags, kTouchFlagsMoved);
    EXPECT_EQ(r[0].x, 15);
    EXPECT_EQ(r[0].startX, 10);
    EXPECT_EQ(r[0].startY, 20);

    p->intake(30, 40, 1, kPhaseEnded);
    r = read();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].flags, kTouchFlagsUp);
    EXPECT_EQ(r[0].y, 40);
    EXPECT_EQ(r[0].startX, 10);

    EXPECT_EQ(p->getCount(), 0);  // read: nothing left for the next frame
}

TEST_F(Touch, ADownReadsAsNewOnceAndAsHeldAfterwards) {
    p->intake(1, 2, 1, kPhaseBegan);
    auto r = read();
    EXPECT_EQ(r[0].flags, 3);
    EXPECT_EQ(p->recordAt(0).flags, 2);
}

TEST_F(Touch, RepeatedBeganOrEndedIsIgnoredButEveryMoveCounts) {
    p->intake(1, 1, 1, kPhaseBegan);
    p->intake(2, 2, 1, kPhaseBegan);  // no event, no record
    p->intake(3, 3, 1, kPhaseMoved);
    p->intake(4, 4, 1, kPhaseMoved);
    p->intake(5, 5, 1, kPhaseEnded);
    p->intake(6, 6, 1, kPhaseEnded);
    EXPECT_EQ(p->getCount(), 4);
    auto e = swapAndRead();
    ASSERT_EQ(e.size(), 4u);
    const int32_t types[] = {kTouchDown, kTouchMoved, kTouchMoved, kTouchUp};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(e[i].type, types[i]) << i;
    EXPECT_EQ(e[0].x, 1);
    EXPECT_EQ(e[3].x, 5);

    // The last phase was "ended": a lone ended leaves no trace at all.
    read();
    p->intake(9, 9, 1, kPhaseEnded);
    EXPECT_EQ(p->getCount(), 0);
    EXPECT_EQ(swapAndRead().size(), 0u);
}

TEST_F(Touch, UnknownPhasesLeaveNoTrace) {
    p->intake(1, 1, 1, 7);
    p->intake(1, 1, 1, -1);
    EXPECT_EQ(p->getCount(), 0);
    EXPECT_EQ(swapAndRead().size(), 0u);
    p->intake(1, 1, 1, kPhaseBegan);  // the last phase is still "ended"
    EXPECT_EQ(p->getCount(), 1);
}

TEST_F(Touch, EventsCarryTheTouchCountAndSwapBetweenQueues) {
    p->intake(10, 20, 2, kPhaseBegan);
    p->intake(11, 21, 2, kPhaseMoved);
    EXPECT_EQ(p->writeCount(), 2);
    auto e = swapAndRead();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].id, 2);
    EXPECT_EQ(e[0].type, kTouchDown);
    EXPECT_EQ(e[1].x, 11);
    EXPECT_EQ(e[1].y, 21);
    EXPECT_EQ(p->writeCount(), 0);

    // The next frame writes into the old read array; the swap brings the new
    // events only.
    p->intake(12, 22, 2, kPhaseEnded);
    e = swapAndRead();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].type, kTouchUp);
    EXPECT_EQ(swapAndRead().size(), 0u);
}

TEST_F(Touch, TheQueueGrowsAndKeepsEveryEventInOrder) {
    p->intake(0, 0, 1, kPhaseBegan);
    for (int i = 1; i < 500; ++i) p->intake(i, i, 1, kPhaseMoved);
    auto e = swapAndRead();
    ASSERT_EQ(e.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(e[size_t(i)].x, i);
}

TEST_F(Touch, LockedInputDropsEventsButStillWritesRecords) {
    p->lock();
    p->intake(5, 6, 1, kPhaseBegan);
    EXPECT_EQ(swapAndRead().size(), 0u);
    EXPECT_EQ(p->getCount(), 1);
    EXPECT_FALSE(p->hasDownMark(1));

    // Unlocked without clearing: the dropped down left no mark, so its
    // move is dropped too.
    p->reset(false);
    p->intake(7, 8, 1, kPhaseMoved);
    EXPECT_EQ(swapAndRead().size(), 0u);
}

TEST_F(Touch, OnlyIdsWithADownMarkMoveOrGoUp) {
    p->intake(1, 1, 1, kPhaseBegan);
    p->intake(2, 2, 2, kPhaseMoved);  // id 2 never went down
    p->intake(3, 3, 1, kPhaseEnded);
    auto e = swapAndRead();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].type, kTouchDown);
    EXPECT_EQ(e[1].type, kTouchUp);

    // The marks outlive an unlock without clearing and die with a clearing one.
    p->reset(false);
    p->intake(4, 4, 1, kPhaseMoved);
    EXPECT_EQ(swapAndRead().size(), 1u);
    p->reset(true);
    p->intake(5, 5, 1, kPhaseMoved);
    EXPECT_EQ(swapAndRead().size(), 0u);
}

TEST_F(Touch, ResetWithClearingEmptiesThePendingEvents) {
    p->intake(1, 1, 1, kPhaseBegan);
    p->reset(true);
    EXPECT_EQ(swapAndRead().size(), 0u);
    EXPECT_FALSE(p->hasDownMark(1));
}

TEST_F(Touch, IdsBeyondTheMarksAreDroppedButRecorded) {
    for (int32_t id : {32, 100, -1}) {
        p->intake(1, 1, id, kPhaseBegan);
        p->intake(1, 1, id, kPhaseEnded);
    }
    EXPECT_EQ(swapAndRead().size(), 0u);
    EXPECT_EQ(p->getCount(), 6);
}

TEST_F(Touch, AtMost127RecordsCountAndTheRestLandInTheLast) {
    p->intake(0, 0, 1, kPhaseBegan);
    for (int i = 1; i < 300; ++i) p->intake(i, -i, 1, kPhaseMoved);
    EXPECT_EQ(p->getCount(), kTouchRecordsCounted);
    EXPECT_EQ(p->recordAt(126).x, 126);
    EXPECT_EQ(p->recordAt(127).x, 299);  // overwritten, not counted
    auto r = read();
    ASSERT_EQ(r.size(), 127u);
    EXPECT_EQ(r[0].flags, 3);
    EXPECT_EQ(r[126].x, 126);
}

TEST_F(Touch, GetTouchesNeverCopiesMoreThanTheTableHolds) {
    p->intake(0, 0, 1, kPhaseBegan);
    // Exactly as many records as the table holds: a larger n must not write
    // past them (ASan watches the heap block).
    auto* out = static_cast<TouchRecord*>(std::malloc(sizeof(TouchRecord) * kTouchRecordCapacity));
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(p->getTouches(out, 100000));
    EXPECT_EQ(out[0].flags, 3);
    EXPECT_EQ(p->getCount(), 0);
    std::free(out);

    p->intake(1, 1, 1, kPhaseMoved);
    EXPECT_TRUE(p->getTouches(nullptr, 5));
    EXPECT_EQ(p->getCount(), 0);
    p->intake(2, 2, 1, kPhaseMoved);
    TouchRecord one;
    EXPECT_TRUE(p->getTouches(&one, -3));
    EXPECT_EQ(p->getCount(), 0);
    // A short read still empties the table.
    p->intake(3, 3, 1, kPhaseMoved);
    p->intake(4, 4, 1, kPhaseMoved);
    EXPECT_TRUE(p->getTouches(&one, 1));
    EXPECT_EQ(one.x, 3);
    EXPECT_EQ(p->getCount(), 0);
}

TEST(TouchQueue, AFailedGrowthDropsThatEventOnly) {
    struct Failing : PointingImp {
        bool fail = false;
        void* allocateEvents(uint64_t bytes) override { return fail ? nullptr : PointingImp::allocateEvents(bytes); }
    };
    RefPtr<Failing> p = makeRef<Failing>();
    p->reset(true);
    p->intake(0, 0, 1, kPhaseBegan);  // first growth: 32 events
    for (int i = 1; i < 32; ++i) p->intake(i, 0, 1, kPhaseMoved);
    p->fail = true;
    p->intake(32, 0, 1, kPhaseMoved);  // would need a 96-event array
    EXPECT_EQ(p->writeCount(), 32);
    EXPECT_EQ(p->recordAt(32).x, 32);
    p->fail = false;
    p->intake(33, 0, 1, kPhaseMoved);
    ASSERT_EQ(p->writeCount(), 33);
    EXPECT_EQ(p->writeEvents()[32].x, 33);
}

TEST(TouchInput, MadeLocked) {
    RefPtr<Pointing> p = iOS::createPointingImp();
    ASSERT_TRUE(p);
    auto* imp = static_cast<PointingImp*>(p.get());
    EXPECT_TRUE(imp->isLocked());
    p->intake(1, 1, 1, kPhaseBegan);
    imp->swapQueues();
    EXPECT_EQ(imp->readCount(), 0);
    EXPECT_EQ(p->getCount(), 1);
}

// ---- pending touch --------------------------------------------------------

// What take hands out after the given publishes (x identifies a touch).
std::vector<int32_t> takenAfter(iOS::PendingTouch& pending, const std::vector<std::pair<int32_t, int32_t>>& published) {
    for (auto [x, phase] : published) pending.publish({x, x * 2, 1, phase});
    std::vector<int32_t> taken;
    iOS::TouchSample t;
    while (pending.take(&t)) {
        EXPECT_EQ(t.y, t.x * 2);
        taken.push_back(t.x);
    }
    EXPECT_FALSE(pending.isPending());
    return taken;
}

TEST(PendingTouch, BeganAndEndedAreKeptInOrderAndAMoveReplacesOnlyAMove) {
    const struct {
        const char* what;
        std::vector<std::pair<int32_t, int32_t>> published;
        std::vector<int32_t> taken;
    } cases[] = {
        {"click", {{1, kPhaseBegan}, {2, kPhaseEnded}}, {1, 2}},
        {"drag", {{1, kPhaseBegan}, {2, kPhaseMoved}, {3, kPhaseMoved}, {4, kPhaseEnded}}, {1, 3, 4}},
        {"moves", {{1, kPhaseMoved}, {2, kPhaseMoved}, {3, kPhaseMoved}}, {3}},
        {"two clicks", {{1, kPhaseBegan}, {2, kPhaseEnded}, {3, kPhaseBegan}, {4, kPhaseEnded}}, {1, 2, 3, 4}},
        {"move after end", {{1, kPhaseEnded}, {2, kPhaseMoved}, {3, kPhaseBegan}}, {1, 2, 3}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        iOS::PendingTouch pending;
        EXPECT_EQ(takenAfter(pending, c.published), c.taken) << c.what;
    }
}

TEST(PendingTouch, WhenFullANewPressIsDroppedWholeAndAWaitingOneKeepsItsEnd) {
    iOS::PendingTouch pending;
    std::vector<std::pair<int32_t, int32_t>> published;
    std::vector<int32_t> want;
    // Presses fill the queue; the next one is dropped with its move and end.
    for (int32_t i = 0; i < iOS::PendingTouch::kCapacity / 2; ++i) {
        published.push_back({10 * i + 1, kPhaseBegan});
        published.push_back({10 * i + 2, kPhaseEnded});
        want.push_back(10 * i + 1);
        want.push_back(10 * i + 2);
    }
    published.insert(published.end(), {{500, kPhaseBegan}, {501, kPhaseMoved}, {502, kPhaseEnded}});
    EXPECT_EQ(takenAfter(pending, published), want);
    // Room again: a press gets through.
    EXPECT_EQ(takenAfter(pending, {{600, kPhaseBegan}, {601, kPhaseEnded}}), (std::vector<int32_t>{600, 601}));

    // A press waiting in the last free slots loses its move, never its end.
    published.clear();
    want.clear();
    for (int32_t i = 0; i < iOS::PendingTouch::kCapacity / 2 - 1; ++i) {
        published.push_back({10 * i + 1, kPhaseBegan});
        published.push_back({10 * i + 2, kPhaseEnded});
        want.push_back(10 * i + 1);
        want.push_back(10 * i + 2);
    }
    published.insert(published.end(), {{700, kPhaseBegan}, {701, kPhaseMoved}, {702, kPhaseEnded}});
    want.insert(want.end(), {700, 702});
    EXPECT_EQ(takenAfter(pending, published), want);

    pending.publish({1, 2, 1, kPhaseBegan});
    pending.clear();
    iOS::TouchSample t;
    EXPECT_FALSE(pending.take(&t));
}

TEST_F(Touch, AClickWithinOneFrameReadsAsADownThenAnUp) {
    iOS::PendingTouch pending;
    pending.publish({5, 6, 1, kPhaseBegan});
    pending.publish({5, 6, 1, kPhaseEnded});
    std::vector<uint8_t> flags;
    for (int frame = 0; frame < 3; ++frame) {
        iOS::TouchSample t;
        if (pending.take(&t)) p->intake(t.x, t.y, t.count, t.phase);
        std::vector<TouchEvent> events = swapAndRead();
        for (const TouchRecord& r : read()) flags.push_back(r.flags);
        if (frame < 2) {
            ASSERT_EQ(events.size(), 1u) << frame;
            EXPECT_EQ(events[0].type, frame == 0 ? 1 : 2);
        }
    }
    EXPECT_EQ(flags, (std::vector<uint8_t>{3, 4}));
}

// ---- capture mapping ------------------------------------------------------

struct MapCase {
    double w, h;
    bool pad;
    double lx, ly;
    int32_t x, y;
};

TEST(CaptureMapping, PointsToSceneCoordinatesPerScreen) {
    const MapCase cases[] = {
        // 16:9 phones: the 540 x 960 design fills the screen.
        {320, 568, false, 160, 284, 270, 480},
        {320, 568, false, 0, 0, 0, 0},
        {320, 568, false, 319, 567.9, 539, 958},
        {375, 667, false, 187.5, 333.5, 269, 479},
        {414, 736, false, 207, 368, 270, 480},
        // 3:2 phone: 640 x 960 drawing space, point x at 2 x.
        {320, 480, false, 0, 0, 0, 0},
        {320, 480, false, 160, 240, 320, 480},
        {320, 480, false, 25, 10, 50, 20},
        {320, 480, false, 319.9, 479.9, 639, 958},
        // Pad: the 640 x 960 space stretched over the whole screen.
        {768, 1024, true, 0, 0, 0, 0},
        {768, 1024, true, 43, 10, 35, 9},
        {768, 1024, true, 384, 512, 320, 480},
        {768, 1024, true, 767.9, 1023.9, 639, 959},
        {1024, 1366, true, 512, 683, 320, 480},
        // A pad whose screen is 16:9 is still shifted.
        {320, 568, true, 160, 284, 320, 480},
        // Bad input stays bounded.
        {0, 0, false, 10, 10, 0, 0},
        {320, 568, false, std::nan(""), 10, 0, 0},
        {320, 568, false, 10, std::numeric_limits<double>::infinity(), 0, 0},
    };
    for (const MapCase& c : cases) {
        iOS::ScenePoint p = iOS::mapTouchToScene(c.lx, c.ly, c.w, c.h, c.pad);
        EXPECT_EQ(p.x, c.x) << c.w << "x" << c.h << " at " << c.lx << "," << c.ly;
        EXPECT_EQ(p.y, c.y) << c.w << "x" << c.h << " at " << c.lx << "," << c.ly;
    }
    iOS::ScenePoint far = iOS::mapTouchToScene(1e300, -1e300, 320, 568, false);
    EXPECT_GT(far.x, 0);
    EXPECT_LT(far.y, 0);
}

// A touch lands where the drawing puts that point. Each frame the drawing
// sets the full-screen viewport and stretches the virtual space over it; on
// 16:9 phones that viewport starts at B = (W - H * 9 / 16) / 2 points (0 on
// these screens). Mapping the touch's scene position back through that
// placement gives the touched point again, to within the rounding.
TEST(CaptureMapping, RoundTripsThroughTheFrameDrawing) {
    struct Screen {
        int32_t w, h;
        bool pad;
        int32_t vw;
    };
    const Screen screens[] = {{320, 568, false, 540}, {375, 667, false, 540}, {414, 736, false, 540},
                              {320, 480, false, 640}, {768, 1024, true, 640}, {1024, 1366, true, 640}};
    for (const Screen& s : screens) {
        bool shifted = s.h < 568 || s.pad;
        int32_t b = shifted ? 0 : (s.w - (s.h * 9) / 16) / 2;
        for (int32_t lx = 0; lx < s.w; lx += 7) {
            for (int32_t ly : {0, 100, s.h - 1}) {
                iOS::ScenePoint p = iOS::mapTouchToScene(lx, ly, s.w, s.h, s.pad);
                EXPECT_NEAR(b + double(p.x) * s.w / s.vw, lx, 2) << s.w << "x" << s.h << " lx " << lx;
                EXPECT_NEAR(double(p.y) * s.h / 960, ly, 2) << s.w << "x" << s.h << " ly " << ly;
                EXPECT_GE(p.x, 0);
                EXPECT_LT(p.x, s.vw);
            }
        }
    }
}

}  // namespace
