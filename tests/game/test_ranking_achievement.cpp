// The ranking and achievement screens: their texts from crafted save files
// (whatever the words hold), the right-aligned and centred placing, the
// layout offset, Back, and the music around a suspension.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/HostBridge.h"
#include "game/AchievementScene.h"
#include "game/GameData.h"
#include "game/RankingScene.h"
#include "game/ResultScene.h"
#include "tests/game/game_fixture.h"
#include "tests/game/sound_log.h"

using namespace KelpaEngine;
using namespace mekko;

namespace {

// A world started from a save file holding `saved`.
struct SavedWorld {
    explicit SavedWorld(const uint32_t* saved, const char* profile = "375x667@2") : world(profile) {
        if (saved) gametest::writeSaveFile(world.savePath(), saved);
        world.start();
    }
    gametest::GameWorld world;
};

// Glyph draws at one y, in the order drawn (right to left).
std::vector<gametest::DrawCall> glyphsAt(const gametest::GameWorld& world, int y, const char* set = "num_m/") {
    std::vector<gametest::DrawCall> out;
    for (const gametest::DrawCall& d : world.graphics()->log) {
        if (d.y == y && d.image.rfind(set, 0) == 0) out.push_back(d);
    }
    return out;
}

TEST(RankingScene, RowsFromAnySavedWords) {
    const struct {
        uint32_t high, low, cents;
        const char* text;
    } rows[10] = {
        {UINT32_MAX, UINT32_MAX, UINT32_MAX, "$999,999,999,999,999.99"},
        {9999999, 99999999, 99, "$999,999,999,999,999.99"},
        {10000000, 0, 0, "$999,999,999,999,999.99"},  // one dollar past the cap's hundreds of millions
        {0, 1234567, 5, "$1,234,567.05"},
        {0, 1000, 0, "$1,000.00"},
        {0, 999, 10, "$999.10"},
        {0, 0x80000000u, 7, "$2,147,483,648.07"},
        {1, 0, 4294967295u, "$100,000,000.99"},
        {0, 1, 9, "$1.09"},
        {0, 0, 0, "$0.00"},
    };
    uint32_t saved[kWordCount] = {};
    for (int i = 0; i < 10; ++i) {
        saved[kWordRankHigh + i] = rows[i].high;
        saved[kWordRankLow + i] = rows[i].low;
        saved[kWordRankCents + i] = rows[i].cents;
    }
    SavedWorld sw(saved);
    sw.world.enter(MekkoRanking::create(sw.world.app.get(), sw.world.data));
    auto* r = dynamic_cast<MekkoRanking*>(sw.world.scene.get());
    ASSERT_TRUE(r);
    for (int i = 0; i < 10; ++i) {
        EXPECT_STREQ(rows[i].text, r->texts[i]) << "row " << i + 1;
        EXPECT_EQ(int32_t(std::string(rows[i].text).size()), r->textLengths[i]);
        EXPECT_EQ(std::to_string(i + 1) + ":", r->labels[i]);
    }
    sw.world.run(2);
    // Nothing of the ranking is written.
    uint32_t file[kWordCount];
    ASSERT_TRUE(gametest::readSaveFile(sw.world.savePath(), file));
    for (int w = 0; w < kWordCount; ++w) {
        if (w == kWordLastCents) continue;
        EXPECT_EQ(saved[w] & (w < 2 ? 1u : UINT32_MAX), file[w]) << "word " << w;
    }
}

TEST(RankingScene, AnEmptyRankingShowsTenRowsOfZeroRightAligned) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        SavedWorld sw(nullptr, profile);
        const int32_t off = layoutOffset(sw.world.app.get());
        sw.world.enter(MekkoRanking::create(sw.world.app.get(), sw.world.data));
        sw.world.run(1);
        for (int i = 0; i < 10; ++i) {
            const int y = 250 + 50 * i;
            std::vector<gametest::DrawCall> g = glyphsAt(sw.world, y);
            // "$0.00" right to left, then the label.
            const std::string label = std::to_string(i + 1) + ":";
            ASSERT_EQ(5u + label.size(), g.size()) << profile << " row " << i + 1;
            EXPECT_EQ("num_m/num_m_0.png", g[0].image);
            EXPECT_EQ(off + 521 - 21, g[0].x) << "money ends at off + 521";
            EXPECT_EQ("num_m/num_m_period.png", g[2].image);
            EXPECT_EQ(off + 521 - 42 - 11, g[2].x);
            EXPECT_EQ("num_m/num_m_dollar.png", g[4].image);
            EXPECT_EQ(off + 521 - 95, g[4].x);
            // Labels end at off + 71: "1:" is 32 wide, "10:" 53.
            EXPECT_EQ("num_m/num_m_colon.png", g[5].image);
            EXPECT_EQ(off + 71 - 11, g[5].x);
            EXPECT_EQ(off + 71 - (label.size() == 2 ? 32 : 53), g.back().x) << label;
        }
        gametest::LoggingGraphics* lg = sw.world.graphics();
        ASSERT_TRUE(lg->drew("ranking_title.png"));
        EXPECT_EQ(off + 110, lg->callsOf("ranking_title.png")[0].x);
        EXPECT_EQ(off + 25, lg->callsOf("btn_back_off.png")[0].x);
        EXPECT_EQ(off - 90, lg->callsOf("main_bg1.png")[0].x);
        for (const gametest::DrawCall& d : lg->log) {
            if (d.op != "fill") continue;
            EXPECT_EQ(0, d.x) << "the dim layer stays at the origin";
        }
    }
}

TEST(AchievementScene, CountTextsStopAtTheirCap) {
    const struct {
        uint32_t count;
        const char* text;
    } cases[] = {{0, "0"}, {1, "1"}, {9998, "9998"}, {9999, "9999"}, {10000, "9999"},
                 {0x7FFFFFFF, "9999"}, {0x80000000u, "9999"}, {UINT32_MAX, "9999"}};
    for (const auto& c : cases) {
        char out[10];
        formatMedalCount(out, sizeof out, c.count);
        EXPECT_STREQ(c.text, out) << c.count;
    }
}

TEST(AchievementScene, TotalAndCountsFromCraftedSaves) {
    const struct {
        uint32_t high, low, cents, medal1, medal2, medal3;
        const char* total;
        const char* counts[3];  // medal 1, 2, 3
    } cases[] = {
        {0, 0, 0, 0, 0, 0, "$0.00", {"0", "0", "0"}},
        {0, 999, 9, 9998, 9999, 10000, "$999.09", {"9998", "9999", "9999"}},
        {0, 1000, 10, 0x80000000u, UINT32_MAX, 12, "$1,000.10", {"9999", "9999", "12"}},
        {UINT32_MAX, UINT32_MAX, UINT32_MAX, 1, 2, 3, "$429,496,733,794,967,295.99", {"1", "2", "3"}},
    };
    for (const auto& c : cases) {
        uint32_t saved[kWordCount] = {};
        saved[kWordTotalHigh] = c.high;
        saved[kWordTotalLow] = c.low;
        saved[kWordTotalCents] = c.cents;
        saved[kWordMedal1] = c.medal1;
        saved[kWordMedal2] = c.medal2;
        saved[kWordMedal3] = c.medal3;
        SavedWorld sw(saved);
        sw.world.enter(MekkoAchievement::create(sw.world.app.get(), sw.world.data));
        auto* a = dynamic_cast<MekkoAchievement*>(sw.world.scene.get());
        ASSERT_TRUE(a);
        EXPECT_STREQ(c.total, a->totalText);
        EXPECT_STREQ(c.counts[0], a->medal1Text);
        EXPECT_STREQ(c.counts[1], a->medal2Text);
        EXPECT_STREQ(c.counts[2], a->medal3Text);
        EXPECT_EQ(std::string(c.total).size(), a->totalLength);
        sw.world.run(1);
        // Counts: the k-th digit from the right at off + 350 - 21 k.
        const int ys[3] = {440, 590, 740};
        for (int m = 0; m < 3; ++m) {
            std::vector<gametest::DrawCall> g = glyphsAt(sw.world, ys[m], "num_l/");
            const std::string text = c.counts[m];
            ASSERT_EQ(text.size(), g.size()) << text;
            for (size_t k = 0; k < g.size(); ++k) {
                EXPECT_EQ(350 - 21 * int(k), g[k].x) << text << " digit " << k;
                EXPECT_EQ(std::string("num_l/num_l_") + text[text.size() - 1 - k] + ".png", g[k].image);
            }
        }
    }
}

TEST(AchievementScene, TheTotalIsCentredWhateverTheOffset) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        uint32_t saved[kWordCount] = {};
        saved[kWordTotalLow] = 1000;
        saved[kWordTotalCents] = 10;
        SavedWorld sw(saved, profile);
        const int32_t off = layoutOffset(sw.world.app.get());
        sw.world.enter(MekkoAchievement::create(sw.world.app.get(), sw.world.data));
        sw.world.run(1);
        // "$1,000.10" is 169 wide: right edge 169 + 371 / 2 = 354.
        std::vector<gametest::DrawCall> g = glyphsAt(sw.world, 300);
        ASSERT_EQ(9u, g.size()) << profile;
        EXPECT_EQ(354 - 21, g.front().x) << profile;
        EXPECT_EQ("num_m/num_m_dollar.png", g.back().image);
        EXPECT_EQ(354 - 169, g.back().x) << profile;
        EXPECT_EQ(185, g.back().x) << "185 units free on the left, 186 on the right";
        gametest::LoggingGraphics* lg = sw.world.graphics();
        const struct {
            const char* image;
            int x, y;
        } places[] = {{"main_bg1.png", off - 90, 0},           {"main_stage.png", off + 60, 700},
                      {"main_treasure.png", off + 204, 250},   {"achievement_title.png", off + 110, 120},
                      {"medal/achievement_medal_1.png", off + 120, 400},
                      {"medal/achievement_medal_2.png", off + 120, 550},
                      {"medal/achievement_medal_3.png", off + 120, 700}, {"btn_back_off.png", off + 25, 170}};
        for (const auto& p : places) {
            ASSERT_TRUE(lg->drew(p.image)) << p.image;
            EXPECT_EQ(p.x, lg->callsOf(p.image)[0].x) << profile << " " << p.image;
        }
        std::vector<gametest::DrawCall> counts = glyphsAt(sw.world, 440, "num_l/");
        ASSERT_EQ(1u, counts.size());
        EXPECT_EQ(off + 350, counts[0].x);
    }
}

// The three screens that only play their own music: menu music or the
// result tune, paused while suspended and resumed ten updates after, never
// while music is off; Back (or Main Menu) plays the tap only with effects on.
TEST(MenuScreenSound, MusicAndEffectsFollowTheSwitchesThroughASuspension) {
    using Factory = SceneRef (*)(Application*, GameData*);
    const struct {
        const char* name;
        Factory create;
        const char* music;
        int leaveX, leaveY;
        int updatesBeforeButtons;
    } screens[] = {
        {"ranking", &MekkoRanking::create, "sound/menu.wav", 25 + 40, 170, 0},
        {"achievements", &MekkoAchievement::create, "sound/menu.wav", 25 + 40, 170, 0},
        {"result", &MekkoResult::create, "sound/result.wav", 270, 900, 60},
    };
    for (const auto& s : screens) {
        for (bool on : {true, false}) {
            uint32_t saved[kWordCount] = {};
            saved[kWordMusicOff] = on ? 0 : 1;
            saved[kWordEffectsOff] = on ? 0 : 1;
            SavedWorld sw(saved);
            sw.world.drawFrames = false;
            HostBridge& bridge = installedHostBridge();
            bridge.storeAdWish(kAdTopBanner, 1);
            bridge.storeAdWish(kAdBottomBanner, 0);
            gametest::SoundLog sounds;
            sw.world.enter(s.create(sw.world.app.get(), sw.world.data));
            sw.world.run(2);
            EXPECT_EQ(on, sounds.audible(s.music)) << s.name << " starts its music";
            sw.world.host.suspend = true;
            sw.world.run(4);
            EXPECT_FALSE(sounds.audible(s.music)) << s.name;
            EXPECT_EQ(1, sw.world.data->interrupted) << s.name;
            sw.world.host.suspend = false;
            sw.world.run(9);
            EXPECT_FALSE(sounds.audible(s.music)) << s.name << ": not before the tenth update";
            sw.world.run(1);
            EXPECT_EQ(on, sounds.audible(s.music)) << s.name << ": " << sounds.describe();
            // Ranking and achievements clear it once active; the result screen never does.
            EXPECT_EQ(std::string(s.name) == "result" ? 1 : 0, sw.world.data->interrupted) << s.name;
            sw.world.run(s.updatesBeforeButtons);
            sw.world.tap(s.leaveX, s.leaveY);
            ASSERT_TRUE(sw.world.step()) << s.name << " leaves";
            EXPECT_FALSE(sounds.audible(s.music)) << s.name << ": the music is stopped on leaving";
            EXPECT_EQ(on ? 1 : 0, sounds.count("sound/button_tap.wav", "play")) << s.name;
            if (!on) {
                EXPECT_FALSE(sounds.anySound()) << s.name << ": " << sounds.describe();
            }
            EXPECT_EQ(1, bridge.adWish(kAdTopBanner)) << s.name << " raises no ad wish";
            EXPECT_EQ(0, bridge.adWish(kAdBottomBanner)) << s.name;
            bridge.storeAdWish(kAdTopBanner, 0);
        }
    }
}

}  // namespace
