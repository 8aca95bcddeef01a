// The title: its ad wishes, the title music (never while music is off, also
// through a suspension), where each button leads, and the store link.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include "engine/HostBridge.h"
#include "game/AchievementScene.h"
#include "game/ConfigScene.h"
#include "game/GameData.h"
#include "game/MainScene.h"
#include "game/RankingScene.h"
#include "game/TitleScene.h"
#include "tests/game/game_fixture.h"
#include "tests/game/scene_probe.h"

using namespace mekko;
using namespace KelpaEngine;
using gametest::ProbeBridge;

namespace {

GameScene_Title* title(const SceneRef& s) { return dynamic_cast<GameScene_Title*>(s.get()); }

// Button middles in the design (no layout offset on 375 x 667).
const gametest::Point kGameStart = gametest::middleOf(5, 530, 540);
const gametest::Point kRanking = gametest::middleOf(30, 96, 760);
const gametest::Point kAchievement = gametest::middleOf(160, 96, 760);
const gametest::Point kSettings = gametest::middleOf(290, 96, 760);
const gametest::Point kStore = gametest::middleOf(420, 96, 760);

TEST(TitleScene, BannersEveryFrameInterstitialAndMusicOnTheSecondUpdate) {
    ProbeBridge bridge;
    gametest::GameWorld world;
    world.start();
    world.enter(MekkoTitle::create(world.app.get(), world.data));
    GameScene_Title* t = title(world.scene);
    ASSERT_TRUE(t);
    EXPECT_STREQ("mekko", world.app->getName());

    world.step();
    std::vector<ProbeBridge::Wish> first = bridge.take();
    EXPECT_TRUE(ProbeBridge::asked(first, kAdTopBanner, 1));
    EXPECT_TRUE(ProbeBridge::asked(first, kAdBottomBanner, 1));
    EXPECT_FALSE(ProbeBridge::asked(first, kAdInterstitial, 1));
    EXPECT_FALSE(t->titleMusic()->isPlaying());

    world.step();
    std::vector<ProbeBridge::Wish> second = bridge.take();
    EXPECT_TRUE(ProbeBridge::asked(second, kAdInterstitial, 1));
    EXPECT_TRUE(ProbeBridge::asked(second, kAdTopBanner, 1));
    EXPECT_TRUE(t->titleMusic()->isPlaying());
    EXPECT_TRUE(gametest::sounding(t->titleMusic()));

    for (int i = 0; i < 5; ++i) {
        world.step();
        std::vector<ProbeBridge::Wish> later = bridge.take();
        EXPECT_FALSE(ProbeBridge::asked(later, kAdInterstitial, 1)) << "once per visit";
        EXPECT_TRUE(ProbeBridge::asked(later, kAdBottomBanner, 1));
    }
    // The next visit asks again.
    world.enter(MekkoTitle::create(world.app.get(), world.data));
    world.run(2);
    EXPECT_TRUE(ProbeBridge::asked(bridge.take(), kAdInterstitial, 1));
}

TEST(TitleScene, StartUpWaitIsBoundedWhilePaused) {
    gametest::GameWorld world;
    world.start();
    world.enter(MekkoTitle::create(world.app.get(), world.data));
    world.step();  // drawn: the start-up step comes on the next update
    const size_t before = world.host.sleeps.size();
    world.host.suspend = true;
    world.step();
    // The runner's own frame step and at most 31 more.
    EXPECT_EQ(before + 1 + 31, world.host.sleeps.size());
}

TEST(TitleScene, DrawsTheLayoutShiftedOnShortAndFourByThreeScreens) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        gametest::GameWorld world(profile);
        world.start();
        const int32_t off = layoutOffset(world.app.get());
        EXPECT_EQ(std::string(profile) == "375x667@2" ? 0 : 50, off) << profile;
        world.enter(MekkoTitle::create(world.app.get(), world.data));
        world.step();
        gametest::LoggingGraphics* g = world.graphics();
        auto at = [&](const char* image) {
            std::vector<gametest::DrawCall> c = g->callsOf(image);
            return c.empty() ? -9999 : c.front().x;
        };
        EXPECT_EQ(off - 90, at("main_bg1.png")) << profile;
        EXPECT_EQ(off + 204, at("main_treasure.png"));
        EXPECT_EQ(off + 60, at("main_stage.png"));
        EXPECT_EQ(off, at("title_logo.png"));
        EXPECT_EQ(off + 5, at("title_btn_gamestart_off.png"));
        EXPECT_EQ(off + 420, at("title_btn_ruvo_off.png"));
        // The veil covers the whole drawing space, drawn before the logo.
        size_t fill = 0, logo = 0;
        for (size_t i = 0; i < g->log.size(); ++i) {
            if (g->log[i].op == "fill") fill = i;
            if (g->log[i].image == "title_logo.png") logo = i;
        }
        EXPECT_LT(fill, logo);
        // The version label stays whole on the screen.
        const int32_t x = title(world.scene)->versionLabelX();
        EXPECT_LE(x, off + 410);
        EXPECT_GE(x, off + 300);
    }
}

struct Route {
    const char* what;
    gametest::Point button;
    SceneRef (*factory)(Application*, GameData*);
};

TEST(TitleScene, EachButtonLeadsToItsScreenAndStopsTheMusic) {
    const Route routes[] = {
        {"game start", kGameStart, &MekkoMain::create},
        {"ranking", kRanking, &MekkoRanking::create},
        {"achievement", kAchievement, &MekkoAchievement::create},
        {"settings", kSettings, &GameScene_Config::create},
    };
    for (bool musicOn : {true, false}) {
        for (const Route& r : routes) {
            gametest::GameWorld world;
            world.start();
            world.data->words[kWordMusicOff] = musicOn ? 0 : 1;
            world.enter(MekkoTitle::create(world.app.get(), world.data));
            world.run(3);
            RefPtr<Scene> old = world.scene;
            GameScene_Title* t = title(old);
            ASSERT_TRUE(t);
            EXPECT_EQ(musicOn, t->titleMusic()->isPlaying()) << r.what;
            gametest::tapAt(world, r.button);
            ASSERT_TRUE(world.step()) << r.what;
            SceneRef expected = r.factory(world.app.get(), world.data);
            ASSERT_TRUE(expected && world.scene);
            const Scene& made = *expected;
            const Scene& now = *world.scene;
            EXPECT_EQ(typeid(made), typeid(now)) << r.what;
            EXPECT_FALSE(t->titleMusic()->isPlaying()) << r.what;
            EXPECT_FALSE(gametest::sounding(t->titleMusic())) << r.what;
            EXPECT_TRUE(t->tapSound()->isPlaying()) << r.what << ": the tap sounds";
        }
    }
    // Settings is ours: a real settings scene.
    gametest::GameWorld world;
    world.start();
    world.enter(MekkoTitle::create(world.app.get(), world.data));
    world.run(2);
    gametest::tapAt(world, kSettings);
    ASSERT_TRUE(world.step());
    EXPECT_TRUE(dynamic_cast<GameScene_Config*>(world.scene.get()));
}

TEST(TitleScene, StoreLinkOpensTheStorePageAndKeepsTheTitle) {
    ProbeBridge bridge;
    for (bool effectsOn : {true, false}) {
        gametest::GameWorld world;
        world.start();
        world.data->words[kWordEffectsOff] = effectsOn ? 0 : 1;
        world.enter(MekkoTitle::create(world.app.get(), world.data));
        world.run(3);
        SceneRef before = world.scene;
        const int32_t urls = bridge.urlCount;
        gametest::tapAt(world, kStore);
        EXPECT_FALSE(world.step());
        EXPECT_EQ(before.get(), world.scene.get());
        EXPECT_EQ(urls + 1, bridge.urlCount);
        EXPECT_EQ(std::string(kStoreURL), bridge.lastURL);
        EXPECT_EQ(0u, bridge.lastURL.rfind("https://", 0));
        EXPECT_EQ(effectsOn, title(world.scene)->tapSound()->isPlaying());
    }
}

TEST(TitleScene, StoreTapsDoNotGrowTheHeap) {
    ProbeBridge bridge;
    gametest::GameWorld world;
    world.start();
    world.data->words[kWordEffectsOff] = 1;
    world.enter(MekkoTitle::create(world.app.get(), world.data));
    world.run(3);
    // Warm up, then many taps: a bridge kept per tap would add a block each.
    for (int i = 0; i < 3; ++i) {
        gametest::tapAt(world, kStore);
        world.step();
    }
    const uint32_t before = gametest::liveHeapBlocks();
    constexpr int kTaps = 40;
    for (int i = 0; i < kTaps; ++i) {
        gametest::tapAt(world, kStore);
        world.step();
    }
    EXPECT_EQ(3 + kTaps, bridge.urlCount);
    EXPECT_LT(gametest::liveHeapBlocks(), before + kTaps / 2);
}

TEST(TitleScene, MusicResumesTenUpdatesAfterASuspensionOnlyWhileOn) {
    for (bool musicOn : {true, false}) {
        gametest::GameWorld world;
        world.start();
        world.data->words[kWordMusicOff] = musicOn ? 0 : 1;
        world.enter(MekkoTitle::create(world.app.get(), world.data));
        world.run(3);
        GameScene_Title* t = title(world.scene);
        world.host.suspend = true;
        world.run(4);
        EXPECT_EQ(1, world.data->interrupted);
        EXPECT_EQ(10, t->resumeCounter());
        EXPECT_FALSE(gametest::sounding(t->titleMusic()));
        world.host.suspend = false;
        world.run(9);
        EXPECT_FALSE(gametest::sounding(t->titleMusic())) << "not before the tenth update";
        world.step();
        EXPECT_EQ(0, t->resumeCounter());
        EXPECT_EQ(musicOn, gametest::sounding(t->titleMusic())) << "music on: " << musicOn;
        world.run(20);
        EXPECT_EQ(musicOn, gametest::sounding(t->titleMusic())) << "music on: " << musicOn;
    }
}

}  // namespace
