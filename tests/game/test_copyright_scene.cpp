// The copyright viewer: the inertia tracker's tables, dragging and gliding
// through real touches, the spring back, the window of visible lines, the
// bound on line images rendered per update and kept around the window, a
// missing notice file, and the lines released however the viewer ends.
// And the staff roll beside it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Pointing.h"
#include "game/ConfigScene.h"
#include "game/CopyrightScene.h"
#include "game/CreditScene.h"
#include "game/GameData.h"
#include "tests/game/game_fixture.h"
#include "tests/game/scene_probe.h"
#include "tests/support/stderr_capture.h"

using namespace mekko;
using namespace KelpaEngine;

namespace {

const gametest::Point kBack = gametest::middleOf(25, 80, 70);

GameScene_Copyright* viewer(const SceneRef& s) { return dynamic_cast<GameScene_Copyright*>(s.get()); }

std::string numberedLines(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "line " + std::to_string(i) + "\n";
    return s;
}

TEST(ScrollInertia, ReleaseAveragesTheRecentNonZeroDeltas) {
    const struct {
        const char* what;
        std::vector<int32_t> samples;  // y of the touch-down, then of each move
        int32_t velocity;
    } cases[] = {
        {"moves of 6, 0 and 12", {100, 106, 106, 118}, 9},
        {"only the last five deltas count", {0, 100, 101, 102, 103, 104, 105}, 1},
        {"upwards, truncated toward zero", {50, 43, 35}, -7},
        {"a touch without moves", {70}, 0},
        {"no movement at all", {70, 70, 70}, 0},
    };
    for (const auto& c : cases) {
        ScrollInertia s;
        s.velocity = 33;
        for (int32_t y : c.samples) s.addSample(y);
        EXPECT_TRUE(s.isTracking());
        EXPECT_EQ(c.velocity, s.release()) << c.what;
        EXPECT_FALSE(s.isTracking()) << c.what;
    }
    // Without samples the velocity stays.
    ScrollInertia s;
    s.velocity = 12;
    EXPECT_EQ(12, s.release());
    // The first sample of a drag has no delta, whatever came before.
    s.addSample(500);
    s.release();
    EXPECT_EQ(0, s.addSample(900));
    EXPECT_EQ(-20, s.addSample(880));
    s.reset();
    EXPECT_EQ(0, s.velocity);
    EXPECT_FALSE(s.isTracking());
    EXPECT_EQ(880, s.last);
}

TEST(ScrollInertia, StepDecaysByNinetyFivePercentTruncated) {
    const struct {
        int32_t start;
        std::vector<int32_t> steps;
    } cases[] = {
        {10, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0}},
        {-10, {-10, -9, -8, -7, -6, -5, -4, -3, -2, -1, 0}},
        {100, {100, 95, 90, 85, 80, 76, 72}},
    };
    for (const auto& c : cases) {
        ScrollInertia s;
        s.velocity = c.start;
        for (size_t i = 0; i < c.steps.size(); ++i) EXPECT_EQ(c.steps[i], s.step()) << c.start << " step " << i;
    }
}

struct Viewer {
    // The world first: it points the engine at the real assets, the
    // overlay then at its own.
    gametest::GameWorld world;
    gametest::AssetOverlay assets;
    GameScene_Copyright* scene = nullptr;
    explicit Viewer(const std::string& text, bool withFile = true)
        : assets(withFile ? gametest::AssetOverlay({}, {{"copyright.txt", text}})
                          : gametest::AssetOverlay({"copyright.txt"})) {
        start();
    }
    // The real notice file.
    Viewer() : assets({}) { start(); }
    void start() {
        world.start();
        world.enter(GameScene_Copyright::create(world.app.get(), world.data));
        scene = viewer(world.scene);
    }
};

TEST(CopyrightViewer, DraggingFollowsTheFingerThenGlidesAndDecays) {
    Viewer v(numberedLines(400));
    ASSERT_TRUE(v.scene);
    v.world.run(2);
    // Down at 600, then 10 units up per frame: the text follows the finger.
    v.world.touch(200, 600, kPhaseBegan);
    v.world.step();
    EXPECT_EQ(0, v.scene->scrollPosition());
    for (int i = 1; i <= 5; ++i) {
        v.world.touch(200, 600 - 10 * i, kPhaseMoved);
        v.world.step();
        EXPECT_EQ(10 * i, v.scene->scrollPosition()) << "move " << i;
    }
    v.world.touch(200, 550, kPhaseEnded);
    v.world.step();
    std::vector<int32_t> glide;
    int32_t last = v.scene->scrollPosition();
    EXPECT_EQ(60, last) << "the lift keeps the mean velocity of 10";
    for (int i = 0; i < 12; ++i) {
        v.world.step();
        glide.push_back(v.scene->scrollPosition() - last);
        last = v.scene->scrollPosition();
    }
    EXPECT_EQ((std::vector<int32_t>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0}), glide);

    // A touch-down while gliding stops the text on that frame.
    v.world.touch(200, 300, kPhaseBegan);
    v.world.step();
    v.world.touch(200, 200, kPhaseMoved);
    v.world.step();
    v.world.touch(200, 200, kPhaseEnded);
    v.world.step();
    const int32_t flung = v.scene->scrollPosition();
    v.world.step();
    EXPECT_GT(v.scene->scrollPosition(), flung);
    v.world.touch(200, 400, kPhaseBegan);
    v.world.step();
    const int32_t stopped = v.scene->scrollPosition();
    v.world.run(3);
    EXPECT_EQ(stopped, v.scene->scrollPosition());
}

TEST(CopyrightViewer, SpringBackHalvesTheOvershootFromTheEleventhIdleUpdate) {
    Viewer v(numberedLines(100));
    ASSERT_TRUE(v.scene);
    EXPECT_EQ(101 * 14 - 960, v.scene->maxScroll());
    // Not before 11 updates without a touch-down.
    v.scene->setScrollPosition(-100);
    v.world.run(10);
    EXPECT_EQ(-100, v.scene->scrollPosition());
    std::vector<int32_t> top;
    for (int i = 0; i < 8; ++i) {
        v.world.step();
        top.push_back(v.scene->scrollPosition());
    }
    EXPECT_EQ((std::vector<int32_t>{-50, -25, -12, -6, -3, -1, 0, 0}), top);

    v.scene->setScrollPosition(454 + 100);
    std::vector<int32_t> bottom;
    for (int i = 0; i < 8; ++i) {
        v.world.step();
        bottom.push_back(v.scene->scrollPosition());
    }
    EXPECT_EQ((std::vector<int32_t>{504, 479, 466, 460, 457, 455, 454, 454}), bottom);

    // A touch-down restarts the count of idle updates.
    v.world.touch(200, 500, kPhaseBegan);
    v.world.step();
    v.scene->setScrollPosition(-100);
    v.world.run(10);
    EXPECT_EQ(-100, v.scene->scrollPosition());
}

TEST(CopyrightViewer, VisibleWindowOfLines) {
    const struct {
        int32_t position, first, end;
    } cases[] = {
        {0, 0, 68},    {14, 1, 69},     {454, 32, 100}, {-13, 0, 68},   {-14, 0, 67},
        {-500, 0, 33}, {-2000, 0, 0},   {1400, 100, 100}, {5000, 100, 100},
    };
    for (const auto& c : cases) {
        Viewer v(numberedLines(100));
        ASSERT_TRUE(v.scene);
        v.scene->setScrollPosition(c.position);
        v.world.step();
        EXPECT_EQ(c.first, v.scene->firstVisible()) << c.position;
        EXPECT_EQ(c.end, v.scene->endVisible()) << c.position;
        // Only lines of the window are drawn, each at 14 * i - position.
        for (const gametest::DrawCall& d : v.world.graphics()->log) {
            if (d.op != "scaled") continue;
            const int32_t i = (d.y + c.position) / 14;
            EXPECT_EQ(i * 14 - c.position, d.y);
            EXPECT_GE(i, c.first);
            EXPECT_LT(i, c.end);
            EXPECT_EQ(2, d.x);
        }
    }
}

TEST(CopyrightViewer, RendersAtMostSixteenLinesPerUpdateAndKeepsTenAroundTheWindow) {
    Viewer v(numberedLines(300));
    ASSERT_TRUE(v.scene);
    EXPECT_EQ(300, v.scene->lineCount());
    std::vector<int32_t> rendered;
    for (int i = 0; i < 6; ++i) {
        v.world.step();
        rendered.push_back(v.scene->renderedLineCount());
    }
    EXPECT_EQ((std::vector<int32_t>{16, 32, 48, 64, 68, 68}), rendered);
    EXPECT_STREQ("line 67", v.scene->lineText(67));

    // A jump of the window: lines more than 10 outside it go at once, the
    // new ones come 16 an update.
    v.scene->setScrollPosition(100 * 14);
    v.world.step();
    EXPECT_EQ(100, v.scene->firstVisible());
    EXPECT_FALSE(v.scene->hasLineImage(67)) << "more than 10 lines above the window";
    EXPECT_EQ(16, v.scene->renderedLineCount());
    v.scene->setScrollPosition(95 * 14);
    v.world.step();
    EXPECT_TRUE(v.scene->hasLineImage(100)) << "kept: inside the window again";
    v.world.run(6);
    for (int32_t i = 0; i < 300; ++i) {
        const bool near = i >= 95 - 10 && i <= 95 + 68 + 10;
        if (!near) {
            EXPECT_FALSE(v.scene->hasLineImage(i)) << i;
        }
        if (i >= 95 && i < 95 + 68) {
            EXPECT_TRUE(v.scene->hasLineImage(i)) << i;
        }
    }
}

TEST(CopyrightViewer, AFlingOverTheRealNoticesRendersABoundedNumberOfLines) {
    Viewer v;
    ASSERT_TRUE(v.scene);
    EXPECT_GT(v.scene->lineCount(), 200);
    v.world.run(6);
    // A fast fling upwards: 150 units a frame.
    v.world.touch(200, 900, kPhaseBegan);
    v.world.step();
    for (int y = 750; y >= 150; y -= 150) {
        v.world.touch(200, y, kPhaseMoved);
        v.world.step();
    }
    v.world.touch(200, 150, kPhaseEnded);
    int32_t peakRendered = 0;
    for (int i = 0; i < 120; ++i) {
        std::vector<bool> before(size_t(v.scene->lineCount()));
        for (int32_t l = 0; l < v.scene->lineCount(); ++l) before[size_t(l)] = v.scene->hasLineImage(l);
        v.world.step();
        int32_t fresh = 0;
        for (int32_t l = 0; l < v.scene->lineCount(); ++l) fresh += !before[size_t(l)] && v.scene->hasLineImage(l);
        EXPECT_LE(fresh, GameScene_Copyright::kRenderPerUpdate);
        peakRendered = std::max(peakRendered, v.scene->renderedLineCount());
    }
    EXPECT_LE(peakRendered, 68 + 2 * 10 + 1);
    EXPECT_GT(v.scene->scrollPosition(), 1000);
    EXPECT_LE(v.scene->scrollPosition(), v.scene->maxScroll());
}

TEST(CopyrightViewer, AMissingNoticeFileShowsAnEmptyViewer) {
    Viewer v("", false);
    ASSERT_TRUE(v.scene);
    EXPECT_EQ(0, v.scene->lineCount());
    v.world.run(30);
    EXPECT_EQ(0, v.scene->renderedLineCount());
    gametest::LoggingGraphics* g = v.world.graphics();
    EXPECT_TRUE(g->drew("main_bg1.png"));
    EXPECT_TRUE(g->drew("btn_back_off.png"));
    gametest::tapAt(v.world, kBack);
    ASSERT_TRUE(v.world.step());
    EXPECT_TRUE(dynamic_cast<GameScene_Config*>(v.world.scene.get()));
}

// A missing or empty notice file is said like any other broken asset (each
// case in a fresh process: a name is reported once per process), the real
// one is not.
TEST(CopyrightViewer, AMissingOrEmptyNoticeFileIsReportedAsABrokenAsset) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* what;
        bool withFile;
        const char* said;
    } cases[] = {{"missing", false, "broken asset \"copyright.txt\": not found"},
                 {"empty", true, "broken asset \"copyright.txt\": empty file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(
            {
                Viewer v("", c.withFile);
                std::exit(v.scene ? 0 : 1);
            },
            testing::ExitedWithCode(0), c.said);
    }
    testsupport::StderrCapture capture;
    Viewer v;
    ASSERT_TRUE(v.scene);
    EXPECT_TRUE(testsupport::brokenAssetLines(capture.lines(), "copyright.txt").empty());
}

TEST(CopyrightViewer, LinesAreReleasedWhenLeavingAndWhenTerminatingOnIt) {
    Viewer v(numberedLines(500));
    // Ended without its back button (the application terminating on it):
    // the second round must give back what it took. The first warms every
    // cache the engine keeps.
    for (int round = 0; round < 2; ++round) {
        const uint32_t before = gametest::liveHeapBlocks();
        {
            SceneRef s = GameScene_Copyright::create(v.world.app.get(), v.world.data);
            s->init(v.world.app.get());
            EXPECT_EQ(500, viewer(s)->lineCount());
            for (int i = 0; i < 8; ++i) s->update(v.world.app.get());
        }
        if (round == 1) {
            EXPECT_LE(gametest::liveHeapBlocks(), before + 20);
        }
    }
}

TEST(CopyrightViewer, LeavingByTheBackButtonReleasesTheLines) {
    Viewer v(numberedLines(500));
    v.world.run(3);
    gametest::tapAt(v.world, kBack);
    ASSERT_TRUE(v.world.step());
    const uint32_t afterFirst = gametest::liveHeapBlocks();
    for (int i = 0; i < 3; ++i) {
        gametest::tapAt(v.world, gametest::middleOf(70, 400, 750));  // settings: copyright
        ASSERT_TRUE(v.world.step());
        ASSERT_TRUE(viewer(v.world.scene));
        v.world.run(3);
        gametest::tapAt(v.world, kBack);
        ASSERT_TRUE(v.world.step());
    }
    EXPECT_LE(gametest::liveHeapBlocks(), afterFirst + 20);
}

TEST(StaffRoll, ShowsTheRollAndGoesBackSilentlyWhileEffectsAreOff) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        for (bool effectsOn : {true, false}) {
            gametest::ProbeBridge bridge;
            gametest::GameWorld world(profile);
            world.start();
            world.data->words[kWordEffectsOff] = effectsOn ? 0 : 1;
            world.enter(MekkoCredit::create(world.app.get(), world.data));
            RefPtr<Scene> kept = world.scene;
            auto* roll = dynamic_cast<GameScene_Credit*>(kept.get());
            ASSERT_TRUE(roll);
            const int32_t off = layoutOffset(world.app.get());
            world.step();
            gametest::LoggingGraphics* g = world.graphics();
            EXPECT_EQ(off - 90, g->callsOf("main_bg1.png").at(0).x);
            EXPECT_EQ(off + 25, g->callsOf("btn_back_off.png").at(0).x);
            // "STAFF" and the 18 roll lines.
            std::vector<gametest::DrawCall> labels;
            for (const gametest::DrawCall& d : g->log) {
                if (d.op == "scaled") labels.push_back(d);
            }
            ASSERT_EQ(size_t(1 + kStaffRollLines), labels.size());
            for (int32_t i = 0; i < kStaffRollLines; ++i) {
                EXPECT_EQ(off + kStaffRoll[i].x, labels[size_t(i)].x) << i;
                EXPECT_EQ(kStaffRoll[i].y, labels[size_t(i)].y) << i;
            }
            EXPECT_EQ(off + 170, labels.back().x);
            EXPECT_TRUE(gametest::ProbeBridge::asked(bridge.take(), kAdTopBanner, 0));
            gametest::tapAt(world, {kBack.x + off, kBack.y});
            ASSERT_TRUE(world.step());
            EXPECT_TRUE(dynamic_cast<GameScene_Config*>(world.scene.get()));
            EXPECT_EQ(effectsOn, roll->tapSound()->isPlaying());
        }
    }
}

}  // namespace
