// The result screen: medals by band, saturated counts, the carries of the
// lifetime total, the ranking insertion, the button rules, sharing, the
// music after a suspension and the layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/HostBridge.h"
#include "game/GameData.h"
#include "game/ResultScene.h"
#include "tests/game/game_fixture.h"
#include "tests/game/sound_log.h"

using namespace KelpaEngine;
using namespace mekko;

namespace {

// Keeps the shares the host is handed, without allocating per share.
struct ShareRecorder : HostBridge {
    ShareRecorder() { installHostBridge(this); }
    ~ShareRecorder() override { installHostBridge(nullptr); }
    void shareTwitter(const char* text) override { keep(0, text); }
    void shareFacebook(const char* text) override { keep(1, text); }
    void keep(int kind, const char* text) {
        ++counts[kind];
        std::snprintf(last[kind], sizeof last[kind], "%s", text);
    }
    int counts[2] = {0, 0};
    char last[2][1024] = {};
};

// Dollars as the high and low words.
void putMoney(uint32_t* words, int highWord, int lowWord, int64_t dollars) {
    moneyToWords(dollars, &words[highWord], &words[lowWord]);
}

void putRow(uint32_t* words, int row, int64_t dollars, uint32_t cents) {
    putMoney(words, kWordRankHigh + row, kWordRankLow + row, dollars);
    words[kWordRankCents + row] = cents;
}

// A world whose save file holds `saved`, with a play of `dollars` and
// `cents` just ended (main play leaves them in words 32 to 34).
struct ResultWorld {
    explicit ResultWorld(const uint32_t* saved, int64_t dollars, uint32_t cents, const char* profile = "375x667@2")
        : world(profile) {
        if (saved) gametest::writeSaveFile(world.savePath(), saved);
        world.start();
        putMoney(world.data->words, kWordLastHigh, kWordLastLow, dollars);
        world.data->words[kWordLastCents] = cents;
    }
    MekkoResult* enter() {
        world.enter(MekkoResult::create(world.app.get(), world.data));
        return result();
    }
    MekkoResult* result() const { return dynamic_cast<MekkoResult*>(world.scene.get()); }
    uint32_t* words() const { return world.data->words; }
    gametest::GameWorld world;
};

TEST(ResultBookkeeping, MedalBandsAtTheirEdges) {
    const struct {
        int64_t dollars;
        int32_t medal;
    } cases[] = {
        {0, 0}, {99999999, 0}, {100000000, 3}, {99999999999LL, 3}, {100000000000LL, 2},
        {999999999999LL, 2}, {1000000000000LL, 1}, {moneyFromWords(UINT32_MAX, UINT32_MAX), 1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.medal, medalFor(c.dollars)) << c.dollars;
}

TEST(ResultBookkeeping, MedalCountsSaturate) {
    const struct {
        uint32_t before, after;
    } cases[] = {{0, 1}, {41, 42}, {0x7FFFFFFE, 0x7FFFFFFF}, {0x7FFFFFFF, 0x7FFFFFFF}, {0x80000000, 0x7FFFFFFF},
                 {UINT32_MAX, 0x7FFFFFFF}};
    for (const auto& c : cases) EXPECT_EQ(c.after, addMedal(c.before)) << c.before;
}

TEST(ResultBookkeeping, TotalsCarryCentsIntoDollarsAndLowIntoHigh) {
    const struct {
        const char* what;
        uint32_t total[3], add[3], sum[3];
    } cases[] = {
        {"0.60 + 0.40 is one whole dollar", {0, 0, 60}, {0, 0, 40}, {0, 1, 0}},
        {"a low sum of exactly 100,000,000 carries into the high part", {2, 60000000, 0}, {0, 40000000, 0}, {3, 0, 0}},
        {"the cents carry makes the low part reach 100,000,000", {0, 99999999, 50}, {0, 0, 50}, {1, 0, 0}},
        {"both carries and a high part", {7, 99999999, 99}, {1, 99999999, 99}, {9, 99999999, 98}},
        {"words past their ranges still sum right", {0, 4294967295u, 4294967295u}, {0, 0, 1},
         {43, 37916967, 96}},
        {"beyond the words the total stays at the largest", {UINT32_MAX, 99999999, 99}, {0, 0, 1},
         {UINT32_MAX, 99999999, 99}},
    };
    for (const auto& c : cases) {
        uint32_t h = c.total[0], l = c.total[1], ct = c.total[2];
        addToTotal(&h, &l, &ct, c.add[0], c.add[1], c.add[2]);
        EXPECT_EQ(c.sum[0], h) << c.what;
        EXPECT_EQ(c.sum[1], l) << c.what;
        EXPECT_EQ(c.sum[2], ct) << c.what;
        if (c.sum[0] != UINT32_MAX) {
            // The value is the exact sum of the two.
            const __int128 before = __int128(moneyFromWords(c.total[0], c.total[1])) * 100 + c.total[2];
            const __int128 added = __int128(moneyFromWords(c.add[0], c.add[1])) * 100 + c.add[2];
            EXPECT_TRUE(__int128(moneyFromWords(h, l)) * 100 + ct == before + added) << c.what;
        }
    }
}

TEST(ResultScene, CountsTheMedalAddsTheTotalAndSavesOnce) {
    const struct {
        int64_t dollars;
        int medal;  // 0 none
        uint32_t count3, count1, count2;
    } cases[] = {
        {99999999, 0, 5, 6, 7},
        {100000000, 3, 5, 6, 7},
        {100000000000LL, 2, 5, 6, 7},
        {1000000000000LL, 1, 5, 6, 7},
        {1000000000000LL, 1, 5, 0x7FFFFFFF, 7},  // saturated: stays
        {100000000, 3, 0x80000000, 6, 7},         // past the cap: ends at it
    };
    for (const auto& c : cases) {
        uint32_t saved[kWordCount] = {};
        saved[kWordMedal3] = c.count3;
        saved[kWordMedal1] = c.count1;
        saved[kWordMedal2] = c.count2;
        saved[kWordTotalHigh] = 1;
        saved[kWordTotalLow] = 99999999;
        saved[kWordTotalCents] = 70;
        ResultWorld rw(saved, c.dollars, 45);
        rw.world.drawFrames = false;
        gametest::SoundLog sounds;
        MekkoResult* r = rw.enter();
        ASSERT_TRUE(r);
        EXPECT_EQ(c.medal == 3, r->medal3 == 1) << c.dollars;
        EXPECT_EQ(c.medal == 1, r->medal1 == 1) << c.dollars;
        EXPECT_EQ(c.medal == 2, r->medal2 == 1) << c.dollars;
        EXPECT_EQ(c.medal == 3 ? addMedal(c.count3) : c.count3, rw.words()[kWordMedal3]);
        EXPECT_EQ(c.medal == 1 ? addMedal(c.count1) : c.count1, rw.words()[kWordMedal1]);
        EXPECT_EQ(c.medal == 2 ? addMedal(c.count2) : c.count2, rw.words()[kWordMedal2]);
        // 1 x 10^8 + 99,999,999.70 + the result .45
        const int64_t total = 199999999 + c.dollars + 1;
        EXPECT_EQ(total, moneyFromWords(rw.words()[kWordTotalHigh], rw.words()[kWordTotalLow])) << c.dollars;
        EXPECT_EQ(15u, rw.words()[kWordTotalCents]);
        uint32_t file[kWordCount];
        ASSERT_TRUE(gametest::readSaveFile(rw.world.savePath(), file));
        for (int w = 2; w < kWordCount; ++w) {
            if (w == kWordLastCents) continue;
            EXPECT_EQ(rw.words()[w], file[w]) << "word " << w;
        }
        // The medal sound comes with the 60th update, only with a medal.
        rw.world.run(59);
        EXPECT_EQ(0, sounds.count("sound/medal.wav", "play"));
        rw.world.run(1);
        EXPECT_EQ(c.medal ? 1 : 0, sounds.count("sound/medal.wav", "play")) << c.dollars;
        EXPECT_FLOAT_EQ(1.0f, r->medalScaleX);
    }
}

TEST(ResultScene, TheRankingTakesTheResultOnlyWhenItBeatsRowTen) {
    const struct {
        const char* what;
        int64_t dollars;
        uint32_t cents;
        int32_t rankIndex;  // -1: stays out
        bool rankIn;
    } cases[] = {
        {"equal to row 10 stays out", 1000, 10, -1, false},
        {"one cent more than row 10 replaces it", 1000, 11, 9, false},
        {"equal to row 5 enters below it, not highlighted", 5000, 50, 5, false},
        {"one cent more than row 5 takes its place, highlighted", 5000, 51, 4, true},
        {"above row 1", 99999999999LL, 0, 0, true},
    };
    for (const auto& c : cases) {
        uint32_t saved[kWordCount] = {};
        // Rows 1 to 10: 10,000.00 down to 1,000.10 (row 5 is 5,000.50).
        const int64_t rows[10] = {10000, 9000, 8000, 7000, 5000, 4000, 3000, 2000, 1500, 1000};
        const uint32_t cents[10] = {0, 0, 0, 0, 50, 0, 0, 0, 0, 10};
        for (int i = 0; i < 10; ++i) putRow(saved, i, rows[i], cents[i]);
        ResultWorld rw(saved, c.dollars, c.cents);
        MekkoResult* r = rw.enter();
        ASSERT_TRUE(r);
        EXPECT_EQ(c.rankIndex, r->rankIndex) << c.what;
        EXPECT_EQ(c.rankIn, r->rankIn == 1) << c.what;
        // The rows stay in order and hold the entry where it went.
        std::vector<std::pair<int64_t, uint32_t>> want;
        for (int i = 0; i < 10; ++i) want.push_back({rows[i], cents[i]});
        if (c.rankIndex >= 0) {
            want.pop_back();
            want.insert(want.begin() + c.rankIndex, {c.dollars, c.cents});
        }
        uint32_t file[kWordCount];
        ASSERT_TRUE(gametest::readSaveFile(rw.world.savePath(), file));
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(want[size_t(i)].first, moneyFromWords(file[kWordRankHigh + i], file[kWordRankLow + i]))
                << c.what << " row " << i + 1;
            EXPECT_EQ(want[size_t(i)].second, file[kWordRankCents + i]) << c.what << " row " << i + 1;
        }
        // Only a highlighted row among the five shown is drawn yellow.
        rw.world.step();
        bool yellow = false;
        for (const gametest::DrawCall& d : rw.world.graphics()->log) yellow = yellow || d.image.find("num_y_m") == 0;
        EXPECT_EQ(c.rankIn, yellow) << c.what;
    }
}

TEST(ResultScene, AnEmptyRankingShowsFiveRowsOfZero) {
    ResultWorld rw(nullptr, 0, 0);
    MekkoResult* r = rw.enter();
    ASSERT_TRUE(r);
    EXPECT_EQ(-1, r->rankIndex) << "0.00 does not beat an empty row 10";
    EXPECT_STREQ("$0.00", r->resultText);
    for (int i = 0; i < MekkoResult::kShownRows; ++i) {
        EXPECT_STREQ("$0.00", r->rowTexts[i]);
        EXPECT_EQ(std::to_string(i + 1) + ":", r->rowLabels[i]);
    }
}

TEST(ResultScene, TextsFromAnyWordsStayInsideTheirBuffers) {
    uint32_t saved[kWordCount];
    for (uint32_t& w : saved) w = UINT32_MAX;
    saved[kWordMusicOff] = 1;
    saved[kWordEffectsOff] = 1;
    ResultWorld rw(saved, moneyFromWords(UINT32_MAX, UINT32_MAX), UINT32_MAX);
    rw.words()[kWordLastHigh] = UINT32_MAX;
    rw.words()[kWordLastLow] = UINT32_MAX;
    MekkoResult* r = rw.enter();
    ASSERT_TRUE(r);
    EXPECT_STREQ("$999,999,999,999,999.99", r->resultText);
    for (int i = 0; i < MekkoResult::kShownRows; ++i) EXPECT_STREQ("$999,999,999,999,999.99", r->rowTexts[i]);
    EXPECT_EQ(0x7FFFFFFFu, rw.words()[kWordMedal1]);
    EXPECT_EQ(UINT32_MAX, rw.words()[kWordTotalHigh]);
    rw.world.run(3);
}

TEST(ResultScene, ButtonsWaitForTheMedalAnimation) {
    ResultWorld rw(nullptr, 1234, 5);
    rw.world.drawFrames = false;
    ASSERT_TRUE(rw.enter());
    const int32_t x = 270, restartY = 800;
    int updates = 0;
    // A whole tap: down on one update, up on the next.
    auto tap = [&] {
        rw.world.tap(x, restartY);
        bool left = rw.world.step();
        updates += 2;
        return left;
    };
    while (updates < 58) ASSERT_FALSE(tap()) << "update " << updates;
    ASSERT_FALSE(rw.world.step());
    ++updates;
    ASSERT_EQ(59, updates);
    EXPECT_FALSE(tap()) << "pressed on the 60th update, released on the 61st: the press was dropped";
    ASSERT_TRUE(rw.result());
    EXPECT_TRUE(tap()) << "a whole tap after the animation restarts";
    EXPECT_FALSE(rw.result());
}

TEST(ResultScene, RestartAndMainMenuLeaveWithTheTapAndTheMusicStopped) {
    for (bool restart : {true, false}) {
        for (bool soundsOn : {true, false}) {
            uint32_t saved[kWordCount] = {};
            saved[kWordMusicOff] = soundsOn ? 0 : 1;
            saved[kWordEffectsOff] = soundsOn ? 0 : 1;
            ResultWorld rw(saved, 10, 0);
            rw.world.drawFrames = false;
            gametest::SoundLog sounds;
            ASSERT_TRUE(rw.enter());
            EXPECT_EQ(soundsOn, sounds.audible("sound/result.wav"));
            rw.world.run(60);
            rw.world.tap(270, restart ? 800 : 900);
            ASSERT_TRUE(rw.world.step());
            EXPECT_FALSE(sounds.audible("sound/result.wav"));
            EXPECT_EQ(soundsOn ? 1 : 0, sounds.count("sound/button_tap.wav", "play"));
            if (!soundsOn) {
                EXPECT_FALSE(sounds.anySound()) << sounds.describe();
            }
        }
    }
}

TEST(ResultScene, SharingSendsTheSameTextEachTimeAndStays) {
    ShareRecorder shares;
    ResultWorld rw(nullptr, 1234, 5);
    rw.world.drawFrames = false;
    MekkoResult* r = rw.enter();
    ASSERT_TRUE(r);
    rw.world.run(60);
    const int32_t twitterX = 340 + 45, facebookX = 440 + 45, y = 130;
    rw.world.tap(twitterX, y);
    ASSERT_FALSE(rw.world.step());
    rw.world.run(2);
    const HeapCounters before = heapCounters();
    rw.world.tap(twitterX, y);
    ASSERT_FALSE(rw.world.step());
    rw.world.tap(facebookX, y);
    ASSERT_FALSE(rw.world.step());
    rw.world.run(2);
    EXPECT_EQ(before.liveBlocks, heapCounters().liveBlocks) << "each share bridge is let go after its share";
    EXPECT_EQ(2, shares.counts[0]);
    EXPECT_EQ(1, shares.counts[1]);
    const std::string text = shares.last[0];
    EXPECT_EQ(0u, text.find("Reward:$1,234.05 [iOS]")) << text;
    EXPECT_NE(std::string::npos, text.find(" [Android]"));
    EXPECT_EQ(text.size() - std::strlen(" #$1,000,000,000,000.00 #RUVO"), text.find(" #$1,000,000,000,000.00 #RUVO"));
    EXPECT_EQ(text, std::string(shares.last[1]));
    char again[kShareTextSize];
    buildShareText(again, sizeof again, r->resultText);
    EXPECT_EQ(text, again);
    EXPECT_TRUE(rw.result()) << "sharing keeps the scene";
}

TEST(ResultScene, MusicComesBackAfterASuspensionOnlyWhileMusicIsOn) {
    for (bool musicOn : {true, false}) {
        uint32_t saved[kWordCount] = {};
        saved[kWordMusicOff] = musicOn ? 0 : 1;
        ResultWorld rw(saved, 10, 0);
        rw.world.drawFrames = false;
        gametest::SoundLog sounds;
        ASSERT_TRUE(rw.enter());
        rw.world.run(3);
        rw.world.host.suspend = true;
        rw.world.run(5);
        EXPECT_FALSE(sounds.audible("sound/result.wav"));
        EXPECT_EQ(1, rw.world.data->interrupted);
        rw.world.host.suspend = false;
        rw.world.run(9);
        EXPECT_FALSE(sounds.audible("sound/result.wav")) << "not before the tenth update";
        rw.world.run(1);
        EXPECT_EQ(musicOn, sounds.audible("sound/result.wav")) << sounds.describe();
        EXPECT_EQ(musicOn ? 1 : 0, sounds.count("sound/result.wav", "resume"));
        EXPECT_EQ(1, rw.world.data->interrupted) << "the result screen never clears it";
        rw.world.run(20);
        EXPECT_EQ(musicOn, sounds.audible("sound/result.wav"));
    }
}

TEST(ResultScene, EverythingButTheResultLineMovesWithTheOffset) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        uint32_t saved[kWordCount] = {};
        putRow(saved, 0, 123456789012LL, 5);
        ResultWorld rw(saved, 100000000, 5, profile);
        const int32_t off = std::string(profile) == "375x667@2" ? 0 : 50;
        ASSERT_TRUE(rw.enter());
        rw.world.runThenDraw(60);
        const std::vector<gametest::DrawCall>& log = rw.world.graphics()->log;
        auto first = [&](const std::string& op, const std::string& image, int y) {
            for (const gametest::DrawCall& d : log) {
                if (d.op == op && (image.empty() || d.image == image) && (y < 0 || d.y == y)) return d;
            }
            return gametest::DrawCall{"none", "", -9999, -9999};
        };
        const struct {
            const char* op;
            const char* image;
            int x, y;
        } places[] = {
            {"image", "main_bg1.png", off - 90, 0},
            {"image", "main_treasure.png", off + 204, 250},
            {"image", "main_stage.png", off + 60, 700},
            {"image", "result_title.png", off + 43, 180},
            {"sprite", "btn_frame_l_off.png", off + 70, 900},  // Main Menu is drawn first
            {"sprite", "button_twitter.png", off + 340, 130},
            {"sprite", "button_facebook.png", off + 440, 130},
            // $100,000,000.05 is 285 wide: its right edge is 285 + 255 / 2.
            {"image", "num_m/num_m_5.png", 412 - 21, 290},
            {"image", "num_m/num_m_dollar.png", 412 - 285, 290},
            {"sprite", "medal/result_medal_3.png", 412 - 285 - 48, 306},
            // Row 1, $123,456,789,012.05, right edge off + 510; its label "1:" right edge off + 71.
            {"image", "num_m/num_m_5.png", off + 510 - 21, 370},
            {"image", "num_m/num_m_colon.png", off + 71 - 11, 370},
            {"image", "num_m/num_m_1.png", off + 71 - 11 - 21, 370},
        };
        for (const auto& p : places) {
            gametest::DrawCall d = first(p.op, p.image, p.y);
            if (std::string(p.image) == "num_m/num_m_1.png") {
                // The label's '1' is the last '1' drawn on the row.
                for (const gametest::DrawCall& c : log) {
                    if (c.image == p.image && c.y == p.y) d = c;
                }
            }
            EXPECT_EQ(p.x, d.x) << profile << " " << p.image << " at y " << p.y;
            EXPECT_EQ(p.y, d.y) << profile << " " << p.image;
        }
        std::vector<gametest::DrawCall> labels;
        for (const gametest::DrawCall& d : log) {
            if (d.op == "scaled") labels.push_back(d);
        }
        ASSERT_EQ(2u, labels.size());
        EXPECT_EQ(off + 190, labels[0].x);
        EXPECT_EQ(765, labels[0].y);
        EXPECT_EQ(off + 170, labels[1].x);
        EXPECT_EQ(865, labels[1].y);
    }
}

}  // namespace
