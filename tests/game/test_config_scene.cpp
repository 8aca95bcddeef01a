// The settings screen: each switch changes its word, the save file and the
// music on the same frame; the tap effect sounds only when effects go on;
// the choice survives a restart; the menu music never sounds while off,
// suspension or not; the three ways out and the ad wishes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/HostBridge.h"
#include "game/ConfigScene.h"
#include "game/CopyrightScene.h"
#include "game/CreditScene.h"
#include "game/GameData.h"
#include "game/TitleScene.h"
#include "tests/game/game_fixture.h"
#include "tests/game/scene_probe.h"

using namespace mekko;
using namespace KelpaEngine;
using gametest::ProbeBridge;

namespace {

const gametest::Point kBack = gametest::middleOf(25, 80, 170);
const gametest::Point kMusicSwitch = gametest::middleOf(270, 200, 390);
const gametest::Point kEffectsSwitch = gametest::middleOf(270, 200, 510);
const gametest::Point kCredit = gametest::middleOf(70, 400, 630);
const gametest::Point kCopyright = gametest::middleOf(70, 400, 750);

// Byte offsets of the two switches in "mekko.sav".
constexpr std::streamoff kMusicOffset = 4;
constexpr std::streamoff kEffectsOffset = 8;

GameScene_Config* config(const SceneRef& s) { return dynamic_cast<GameScene_Config*>(s.get()); }

struct Settings {
    gametest::GameWorld world;
    GameScene_Config* scene = nullptr;
    Settings(uint32_t musicOff, uint32_t effectsOff, const char* profile = "375x667@2") : world(profile) {
        world.start();
        world.data->words[kWordMusicOff] = musicOff;
        world.data->words[kWordEffectsOff] = effectsOff;
        world.enter(GameScene_Config::create(world.app.get(), world.data));
        scene = config(world.scene);
        world.step();
    }
    std::string saveFile() const { return world.docs.file(kSaveFileName); }
    // Down on one frame, released (and acted on) on the next.
    void click(gametest::Point p) {
        gametest::tapAt(world, p);
        world.step();
    }
};

TEST(ConfigScene, EachSwitchChangesWordFileAndMusicOnTheSameFrame) {
    const struct {
        const char* what;
        uint32_t musicOff, effectsOff;
        gametest::Point button;
        int32_t word;
        std::streamoff offset;
        uint32_t after;
        bool musicAfter, tapAfter;
    } cases[] = {
        {"music off", 0, 0, kMusicSwitch, kWordMusicOff, kMusicOffset, 1, false, true},
        {"music on", 1, 0, kMusicSwitch, kWordMusicOff, kMusicOffset, 0, true, true},
        {"music off, effects off", 0, 1, kMusicSwitch, kWordMusicOff, kMusicOffset, 1, false, false},
        {"effects off", 0, 0, kEffectsSwitch, kWordEffectsOff, kEffectsOffset, 1, true, false},
        {"effects on", 0, 1, kEffectsSwitch, kWordEffectsOff, kEffectsOffset, 0, true, true},
    };
    for (const auto& c : cases) {
        Settings s(c.musicOff, c.effectsOff);
        ASSERT_TRUE(s.scene);
        EXPECT_EQ(c.musicOff == 0, gametest::sounding(s.scene->menuMusic())) << c.what << ": before";
        s.click(c.button);
        EXPECT_EQ(s.scene, config(s.world.scene)) << c.what << ": stays";
        EXPECT_EQ(c.after, s.world.data->words[c.word]) << c.what;
        EXPECT_EQ(c.after, gametest::fileWordAt(s.saveFile(), c.offset)) << c.what;
        EXPECT_EQ(kSaveMagic, gametest::fileWordAt(s.saveFile(), 0)) << c.what;
        EXPECT_EQ(c.musicAfter, gametest::sounding(s.scene->menuMusic())) << c.what;
        EXPECT_EQ(c.tapAfter, s.scene->tapSound()->isPlaying()) << c.what;
        // The switch drawn is the one now selected, so a second click flips back.
        s.click(c.button);
        EXPECT_EQ(c.after ^ 1u, s.world.data->words[c.word]) << c.what;
        EXPECT_EQ(c.after ^ 1u, gametest::fileWordAt(s.saveFile(), c.offset)) << c.what;
    }
}

TEST(ConfigScene, TheChoiceSurvivesARestart) {
    gametest::TempFolder kept;
    {
        Settings s(0, 0);
        s.click(kMusicSwitch);
        s.click(kEffectsSwitch);
        std::filesystem::copy_file(s.saveFile(), kept.file(kSaveFileName));
    }
    // The next run finds the same file in its documents folder.
    gametest::GameWorld world;
    std::filesystem::copy_file(kept.file(kSaveFileName), world.docs.file(kSaveFileName));
    world.start();
    EXPECT_EQ(1u, world.data->words[kWordMusicOff]);
    EXPECT_EQ(1u, world.data->words[kWordEffectsOff]);
    world.enter(GameScene_Config::create(world.app.get(), world.data));
    GameScene_Config* scene = config(world.scene);
    world.run(3);
    EXPECT_FALSE(scene->menuMusic()->isPlaying());
    EXPECT_FALSE(gametest::sounding(scene->menuMusic()));
}

TEST(ConfigScene, MenuMusicNeverSoundsWhileOffThroughASuspension) {
    for (bool musicOn : {true, false}) {
        Settings s(musicOn ? 0 : 1, 0);
        s.world.host.suspend = true;
        s.world.run(3);
        EXPECT_EQ(1, s.world.data->interrupted);
        EXPECT_FALSE(gametest::sounding(s.scene->menuMusic()));
        s.world.host.suspend = false;
        s.world.run(9);
        EXPECT_EQ(0, s.world.data->interrupted) << "cleared on every active frame";
        EXPECT_FALSE(gametest::sounding(s.scene->menuMusic())) << "paused until the counter runs out";
        s.world.step();
        EXPECT_EQ(musicOn, gametest::sounding(s.scene->menuMusic())) << "music on: " << musicOn;
        s.world.run(15);
        EXPECT_EQ(musicOn, gametest::sounding(s.scene->menuMusic())) << "music on: " << musicOn;
    }
}

TEST(ConfigScene, MusicSwitchedDuringTheResumeCountdownHasTheLastWord) {
    // Off during the countdown: the resume that follows must not bring it back.
    {
        Settings s(0, 1);
        s.world.host.suspend = true;
        s.world.run(2);
        s.world.host.suspend = false;
        s.world.run(2);
        s.click(kMusicSwitch);
        EXPECT_FALSE(gametest::sounding(s.scene->menuMusic()));
        s.world.run(20);
        EXPECT_EQ(0, s.scene->resumeCounter());
        EXPECT_FALSE(gametest::sounding(s.scene->menuMusic()));
    }
    // Off, then on again during the countdown: it plays, and keeps playing.
    {
        Settings s(0, 1);
        s.world.host.suspend = true;
        s.world.run(2);
        s.world.host.suspend = false;
        s.world.step();
        s.click(kMusicSwitch);
        s.click(kMusicSwitch);
        EXPECT_TRUE(gametest::sounding(s.scene->menuMusic()));
        s.world.run(20);
        EXPECT_TRUE(gametest::sounding(s.scene->menuMusic()));
        // And off once more stops it for good.
        s.click(kMusicSwitch);
        s.world.run(5);
        EXPECT_FALSE(gametest::sounding(s.scene->menuMusic()));
    }
}

TEST(ConfigScene, WaysOutStopTheMusicAndTapOnlyWhileEffectsAreOn) {
    const struct {
        const char* what;
        gametest::Point button;
        bool (*is)(Scene*);
    } routes[] = {
        {"back", kBack, [](Scene* s) { return dynamic_cast<MekkoTitle*>(s) != nullptr; }},
        {"credit", kCredit, [](Scene* s) { return dynamic_cast<MekkoCredit*>(s) != nullptr; }},
        {"copyright", kCopyright, [](Scene* s) { return dynamic_cast<GameScene_Copyright*>(s) != nullptr; }},
    };
    for (const auto& r : routes) {
        for (bool effectsOn : {true, false}) {
            Settings s(0, effectsOn ? 0 : 1);
            RefPtr<Scene> old = s.world.scene;
            EXPECT_TRUE(gametest::sounding(s.scene->menuMusic()));
            gametest::tapAt(s.world, r.button);
            ASSERT_TRUE(s.world.step()) << r.what;
            EXPECT_TRUE(r.is(s.world.scene.get())) << r.what;
            EXPECT_FALSE(gametest::sounding(s.scene->menuMusic())) << r.what;
            EXPECT_EQ(effectsOn, s.scene->tapSound()->isPlaying()) << r.what;
        }
    }
}

TEST(ConfigScene, AsksForBothBannersOnEveryFrameAndTheRollHidesThem) {
    ProbeBridge bridge;
    Settings s(1, 1);
    for (int i = 0; i < 3; ++i) {
        bridge.take();
        s.world.step();
        std::vector<ProbeBridge::Wish> frame = bridge.take();
        EXPECT_TRUE(ProbeBridge::asked(frame, kAdTopBanner, 1));
        EXPECT_TRUE(ProbeBridge::asked(frame, kAdBottomBanner, 1));
    }
    for (gametest::Point way : {kCredit, kCopyright}) {
        Settings t(1, 1);
        gametest::tapAt(t.world, way);
        ASSERT_TRUE(t.world.step());
        for (int i = 0; i < 3; ++i) {
            bridge.take();
            t.world.step();
            std::vector<ProbeBridge::Wish> frame = bridge.take();
            EXPECT_TRUE(ProbeBridge::asked(frame, kAdTopBanner, 0));
            EXPECT_TRUE(ProbeBridge::asked(frame, kAdBottomBanner, 0));
            EXPECT_FALSE(ProbeBridge::asked(frame, kAdTopBanner, 1));
        }
        EXPECT_EQ(0, installedHostBridge().adWish(kAdTopBanner));
        EXPECT_EQ(0, installedHostBridge().adWish(kAdBottomBanner));
    }
}

TEST(ConfigScene, LayoutShiftsOnShortAndFourByThreeScreens) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        Settings s(0, 0, profile);
        const int32_t off = layoutOffset(s.world.app.get());
        s.world.step();
        gametest::LoggingGraphics* g = s.world.graphics();
        std::vector<gametest::DrawCall> frames = g->callsOf("btn_frame_m_off.png");
        ASSERT_EQ(2u, frames.size()) << "one button of each switch is drawn";
        EXPECT_EQ(off + 270, frames[0].x);
        EXPECT_EQ(off + 90, g->callsOf("config_title.png").at(0).x);
        EXPECT_EQ(off + 25, g->callsOf("btn_back_off.png").at(0).x);
        // A tap at the shifted place works.
        s.click({kMusicSwitch.x + off, kMusicSwitch.y});
        EXPECT_EQ(1u, s.world.data->words[kWordMusicOff]) << profile;
    }
}

}  // namespace
