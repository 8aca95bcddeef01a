// Main play frame by frame over the fake host: the countdown's pictures and
// sounds, turning (never during the countdown or right after a Resume), the
// stage edges, a suspension freezing the clocks, music that stays silent
// while it is off, the HUD, the end of a play with its saved result and the
// end delay, and the ad wishes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/HostBridge.h"
#include "game/MainScene.h"
#include "game/ResultScene.h"
#include "tests/game/play_fixture.h"

using namespace mekko;
using namespace KelpaEngine;
using gametest::PlayWorld;

namespace {

std::string countdownShown(const gametest::LoggingGraphics* g) {
    for (const char* name : {"main_countdown_3.png", "main_countdown_2.png", "main_countdown_1.png",
                             "main_countdown_go.png"}) {
        for (const auto& c : g->callsOf(name)) {
            if (c.x == 119 && c.y == 230) return name;
        }
    }
    return "";
}

TEST(MainPlay, TheCountdownShowsItsDigitsAndPlaysItsSoundsOnTheirFrames) {
    PlayWorld w;
    std::vector<std::string> shown;
    std::vector<int> countdownPlays, startPlays, tunePlays;
    for (int f = 1; f <= 201; ++f) {
        const size_t before = w.sounds.size();
        w.step();
        shown.push_back(countdownShown(w.graphics()));
        for (size_t i = before; i < w.sounds.size(); ++i) {
            if (w.sounds[i] == "countdown play 2 0") countdownPlays.push_back(f);
            if (w.sounds[i] == "start play 2 0") startPlays.push_back(f);
            if (w.sounds[i] == "main play 1 -1") tunePlays.push_back(f);
        }
        if (f < 179) {
            EXPECT_FALSE(w.graphics()->drew("main_btn_pause_off.png")) << f;
        }
    }
    auto at = [&](int f) { return shown[f - 1]; };
    EXPECT_EQ("main_countdown_3.png", at(1));
    EXPECT_EQ("main_countdown_3.png", at(59));
    EXPECT_EQ("main_countdown_2.png", at(60));
    EXPECT_EQ("main_countdown_1.png", at(120));
    EXPECT_EQ("main_countdown_1.png", at(178));
    EXPECT_EQ("main_countdown_go.png", at(179));
    EXPECT_EQ("main_countdown_go.png", at(199));
    EXPECT_EQ("", at(200));
    EXPECT_TRUE(w.graphics()->drew("main_btn_pause_off.png"));
    // The countdown on 1, 60 and 120, then "GO" and the tune on 179.
    EXPECT_EQ((std::vector<int>{1, 60, 120}), countdownPlays);
    EXPECT_EQ((std::vector<int>{179}), startPlays);
    EXPECT_EQ((std::vector<int>{179}), tunePlays);
    EXPECT_EQ(0, w.main()->countingDown);
    EXPECT_EQ(w.playClock.t - 16 * 22, w.main()->playStart) << "the play clock starts on frame 179";
}

TEST(MainPlay, SwitchedOffSoundsAndMusicStaySilent) {
    PlayWorld w("375x667@2", false, [](GameData* d) {
        d->words[kWordMusicOff] = 1;
        d->words[kWordEffectsOff] = 1;
    });
    w.drawFrames = false;
    w.playFor(30);
    EXPECT_EQ(0, w.count("countdown play 2 0"));
    EXPECT_EQ(0, w.count("start play 2 0"));
    EXPECT_EQ(0, w.count("main play 1 -1"));
    // A suspension pauses the tune; 10 frames after it, nothing resumes.
    w.host.suspend = true;
    w.step();
    w.host.suspend = false;
    w.run(30);
    EXPECT_GE(w.count("main pause"), 1);
    EXPECT_EQ(0, w.count("main resume"));
    EXPECT_EQ(0, w.main()->paused) << "the turn is free again";
    // Bonus time: its fanfare is the one tune that plays with music off; its
    // end and a suspension inside it resume nothing.
    w.main()->startBonusTime();
    w.host.suspend = true;
    w.step();
    w.host.suspend = false;
    w.playClock.t += MekkoMain::kBonusMs;
    w.run(12);
    EXPECT_EQ(1, w.count("bonus play 1 0"));
    EXPECT_EQ(1, w.count("bonus stop"));
    EXPECT_EQ(0, w.main()->bonusTime);
    EXPECT_EQ(0, w.count("main resume"));
    EXPECT_EQ(0, w.count("bonus resume"));
}

TEST(MainPlay, WithMusicOffTheBonusTuneStillResumesAfterAPause) {
    PlayWorld w("375x667@2", true, [](GameData* d) { d->words[kWordMusicOff] = 1; });
    w.drawFrames = false;
    w.playFor(30);
    w.main()->startBonusTime();
    EXPECT_EQ(1, w.count("bonus play 1 0")) << "the fanfare plays with music off";
    w.host.suspend = true;
    w.step();
    w.host.suspend = false;
    EXPECT_EQ(1, w.count("bonus pause"));
    w.run(12);
    ASSERT_EQ(1, w.main()->bonusTime);
    EXPECT_EQ(1, w.count("bonus resume"));
    EXPECT_EQ(0, w.count("main resume")) << "the muted main tune stays silent";
}

TEST(MainPlay, WithMusicOnTheTuneResumesTenFramesAfterASuspension) {
    PlayWorld w;
    w.drawFrames = false;
    w.playFor(30);
    w.host.suspend = true;
    w.step();
    w.host.suspend = false;
    EXPECT_EQ(1, w.main()->paused);
    EXPECT_EQ(1, w.data->interrupted == 0 ? 1 : 0) << "cleared when the panel returns";
    w.run(8);
    EXPECT_EQ(0, w.count("main resume"));
    w.step();
    EXPECT_EQ(1, w.count("main resume"));
    EXPECT_EQ(0, w.main()->paused);
}

TEST(MainPlay, ATapTurnsOnlyAfterTheCountdownAndNotRightAfterAResume) {
    PlayWorld w;
    MekkoMain& m = *w.main();
    w.drawFrames = false;
    w.run(100);
    w.tap(270, 850);  // during the countdown
    w.run(79 + 5);
    EXPECT_EQ(0, m.direction);
    EXPECT_EQ(0, m.player->direction);
    w.tap(270, 850);
    w.step();
    EXPECT_EQ(1, m.player->direction) << "a tap on the lower screen turns";
    const float x = m.player->x;
    w.step();
    EXPECT_FLOAT_EQ(x - 4.5f, m.player->x);

    // A Resume (here: a suspension ended) holds the turn for 10 frames, the
    // frame of the Resume included.
    w.host.suspend = true;
    w.step();
    w.host.suspend = false;
    for (int i = 1; i <= 8; ++i) {
        w.touch(270, 850, kPhaseBegan);
        w.step();
        w.touch(270, 850, kPhaseEnded);
        EXPECT_EQ(1, m.direction) << "frame " << i << " after the Resume";
    }
    w.touch(270, 850, kPhaseBegan);
    w.step();
    EXPECT_EQ(0, m.direction) << "the 9th frame after";
    w.touch(270, 850, kPhaseEnded);
    w.step();

    // The pause button: a click plays the tap sound and runs the pause.
    w.touch(61, 220, kPhaseBegan);
    w.step();
    w.touch(61, 220, kPhaseEnded);
    w.step();
    EXPECT_EQ(1, w.count("tap play 2 0"));
    EXPECT_EQ(1, m.paused);
    EXPECT_EQ(9, m.resume.counter());
    EXPECT_FALSE(w.host.terminate) << "Resume answered the panel";
}

TEST(MainPlay, APlayerWhoseFootReachesAnEdgeOfTheStageFallsOff) {
    struct Case {
        const char* profile;
        int32_t dir;
        float footAfterMove;  // relative to the offset
        bool fell;
    } cases[] = {
        {"375x667@2", 0, 490.0f, true},  {"375x667@2", 0, 489.5f, false}, {"375x667@2", 1, 50.0f, true},
        {"375x667@2", 1, 50.5f, false},  {"320x480@2", 0, 490.0f, true},  {"320x480@2", 1, 50.0f, true},
        {"768x1024@2", 0, 489.9f, false},
    };
    for (const Case& c : cases) {
        PlayWorld w(c.profile, true);
        MekkoMain& m = *w.main();
        w.drawFrames = false;
        w.playFor(2);
        m.direction = c.dir;
        m.player->setDirection(c.dir);
        const float move = c.dir ? -4.5f : 4.5f;
        m.player->x = float(m.offset) + c.footAfterMove - 20.0f - move;
        w.step();
        EXPECT_EQ(c.fell, m.fellOffStage == 1) << c.profile << " foot " << c.footAfterMove;
        EXPECT_EQ(c.fell, m.alive == 0) << c.profile;
    }
}

TEST(MainPlay, ASuspensionFreezesThePlayClockAndTheLevel) {
    PlayWorld w("375x667@2", true);
    MekkoMain& m = *w.main();
    w.drawFrames = false;
    w.playFor(40);
    const int64_t elapsed = m.playElapsed;
    EXPECT_EQ(40 * 16, elapsed);
    m.levelEnd = int32_t(elapsed + 100);
    // 200 suspended passes of the panel (3.2 s), then Resume.
    w.suspendedPasses = 200;
    w.host.suspend = true;
    w.step();
    EXPECT_GE(w.panelPasses, 202);
    EXPECT_EQ(elapsed, m.playElapsed);
    EXPECT_FALSE(w.host.terminate) << "the panel was answered, not ended";
    w.step();
    EXPECT_EQ(elapsed + 16, m.playElapsed) << "3.2 s of pause do not count";
    EXPECT_EQ(0, m.level);
}

TEST(MainPlay, TheHudShowsTheHighScoreFromTheSavedWordsBoundedAndTheMoney) {
    struct Case {
        uint32_t high, low, cents;
        const char* text;
    } cases[] = {
        {50000, 12345678, 5, "$5,000,012,345,678.05"},
        {0, 0, 0, "$0.00"},
        {0, 0, 4294967295u, "$0.99"},
        {4294967295u, 4294967295u, 4294967295u, "$999,999,999,999,999.99"},
    };
    for (const Case& c : cases) {
        PlayWorld w("375x667@2", true, [&](GameData* d) {
            d->words[kWordRankHigh] = c.high;
            d->words[kWordRankLow] = c.low;
            d->words[kWordRankCents] = c.cents;
        });
        w.step();
        EXPECT_STREQ(c.text, w.main()->highScoreText);
        // The label stands 126 left of the '$' glyph, at y 110.
        auto dollar = w.graphics()->callsOf("num_s/num_s_dollar.png");
        auto label = w.graphics()->callsOf("hiscore_s.png");
        ASSERT_EQ(1u, dollar.size());
        ASSERT_EQ(1u, label.size());
        EXPECT_EQ(dollar[0].x - 126, label[0].x);
        EXPECT_EQ(110, label[0].y);
    }
    // Money above the cap: the HUD is capped, in yellow for the new high
    // score, and no further jackpot is thrown.
    PlayWorld w("375x667@2", true);
    MekkoMain& m = *w.main();
    w.playFor(1);
    m.moneyDollars = MekkoMain::kMoneyCap + 1;
    m.addMoney(3);
    w.step();
    EXPECT_STREQ("$999,999,999,999,999.99", m.moneyText);
    EXPECT_EQ(1, m.jackpotPending);
    EXPECT_TRUE(w.graphics()->drew("num_y_m/num_y_m_dollar.png"));
    EXPECT_TRUE(w.graphics()->drew("num_y_s/num_y_s_dollar.png"));
    auto money = w.graphics()->callsOf("num_y_m/num_y_m_9.png");
    EXPECT_EQ(17u, money.size());
    m.jackpotPending = 0;
    w.step();
    EXPECT_EQ(1, m.jackpotPending) << "set again on every frame";
}

uint32_t fileWord(const std::string& path, long offset) {
    uint8_t b[4] = {0, 0, 0, 0};
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        if (std::fseek(f, offset, SEEK_SET) == 0 && std::fread(b, 1, 4, f) != 4) b[0] = b[1] = b[2] = b[3] = 0;
        std::fclose(f);
    }
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

TEST(MainPlay, AfterTheFallTheResultIsSavedAndTheResultScreenFollows801MsLater) {
    PlayWorld w("375x667@2", true);
    MekkoMain& m = *w.main();
    w.drawFrames = false;
    w.playFor(30);
    m.moneyDollars = 123456789012LL;
    m.moneyCents = 34;
    m.direction = 0;
    m.player->setDirection(0);
    m.player->x = float(m.offset) + 470.0f;  // walks off on the next frame
    int frame = 0, endDelayFrom = -1, fallSound = -1, stops = -1;
    bool changed = false;
    const std::string sav = w.docs.file("mekko.sav");
    // Each save is a new file renamed over the old: a new inode or change
    // time. Over the end delay there is one.
    std::set<std::pair<ino_t, int64_t>> saves;
    while (!changed && frame < 400) {
        changed = w.step();
        ++frame;
        struct stat st;
        if (!changed && w.main()->endRunning && stat(sav.c_str(), &st) == 0) {
            saves.insert({st.st_ino, int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec});
        }
        if (!changed) {
            if (endDelayFrom < 0 && w.main()->endRunning) endDelayFrom = frame;
            if (fallSound < 0 && w.count("fall play 2 0") > 0) fallSound = frame;
            if (stops < 0 && w.count("main stop") > 0) stops = frame;
        }
    }
    ASSERT_TRUE(changed);
    EXPECT_EQ(nullptr, dynamic_cast<MekkoMain*>(w.scene.get())) << "the result screen";
    EXPECT_EQ(1, stops) << "the tunes stop on the first game-over frame";
    EXPECT_EQ(32, fallSound) << "the fall sounds on the 32nd";
    ASSERT_GT(endDelayFrom, 32);
    EXPECT_EQ(51, frame - endDelayFrom) << "801 ms of 16 ms frames";
    EXPECT_EQ(1234u, w.data->words[kWordLastHigh]);
    EXPECT_EQ(56789012u, w.data->words[kWordLastLow]);
    EXPECT_EQ(34u, w.data->words[kWordLastCents]);
    EXPECT_EQ(1u, saves.size()) << "saved once, not on every frame of the end delay";
    EXPECT_EQ(1234u, fileWord(sav, 136));
    EXPECT_EQ(56789012u, fileWord(sav, 140));
    EXPECT_EQ(kSaveMagic, fileWord(sav, 168));
}

// A world whose record holds one ranked play of $500.00 and a lifetime
// total of $10.00, playing until it ends by walking off with
// $123,456,789,012.34.
struct EndingPlay {
    EndingPlay()
        : w("375x667@2", true, [](GameData* d) {
              d->words[kWordRankLow] = 500;
              d->words[kWordTotalLow] = 10;
          }) {
        w.drawFrames = false;
        w.playFor(30);
        MekkoMain& m = *w.main();
        m.moneyDollars = 123456789012LL;
        m.moneyCents = 34;
        m.direction = 0;
        m.player->setDirection(0);
        m.player->x = float(m.offset) + 470.0f;  // walks off on the next frame
    }
    // The words the save file holds now.
    std::vector<uint32_t> saved() const {
        std::vector<uint32_t> words(kWordCount, 0);
        EXPECT_TRUE(gametest::readSaveFile(w.savePath(), words.data()));
        return words;
    }
    // The pause panel, opened by a suspension on the next frame, is left by
    // the button at y.
    bool leaveByPanel(int32_t y) {
        int pass = -1;
        const int32_t x = layoutOffset(w.app.get()) + 270;
        w.host.script = [&, x, y](int) {
            if (w.hooksThisStep++ == 0) return;
            ++pass;
            w.playClock.t += 16;
            if (pass == 1) w.host.suspend = false;
            if (pass == 2) w.host.pending.publish({x, y, 1, kPhaseBegan});
            if (pass == 3) w.host.pending.publish({x, y, 1, kPhaseEnded});
        };
        w.host.suspend = true;
        const bool changed = w.step();
        w.host.script = nullptr;
        return changed;
    }
    gametest::PlayWorld w;
};

// The booked play: first in the ranking above the $500.00, in the total
// once, one second-band medal.
void expectBookedOnce(const std::vector<uint32_t>& words) {
    EXPECT_EQ(1234u, words[kWordRankHigh]);
    EXPECT_EQ(56789012u, words[kWordRankLow]);
    EXPECT_EQ(34u, words[kWordRankCents]);
    EXPECT_EQ(0u, words[kWordRankHigh + 1]);
    EXPECT_EQ(500u, words[kWordRankLow + 1]);
    EXPECT_EQ(0u, words[kWordRankLow + 2]) << "in the ranking once";
    EXPECT_EQ(1234u, words[kWordTotalHigh]);
    EXPECT_EQ(56789022u, words[kWordTotalLow]) << "in the total once";
    EXPECT_EQ(34u, words[kWordTotalCents]);
    EXPECT_EQ(1u, words[kWordMedal2]);
    EXPECT_EQ(0u, words[kWordMedal1] + words[kWordMedal3]);
    EXPECT_EQ(1234u, words[kWordLastHigh]);
    EXPECT_EQ(56789012u, words[kWordLastLow]);
}

TEST(MainPlay, APlaysResultIsBookedHoweverTheProgramEndsAfterTheFall) {
    enum Exit { Terminate, MainMenu, Restart };
    const struct {
        const char* what;
        bool inEndDelay;  // else during the fall, 5 frames after the end
        Exit exit;
    } cases[] = {
        {"terminated during the fall", false, Terminate},
        {"terminated during the end delay", true, Terminate},
        {"main menu from a suspension during the fall", false, MainMenu},
        {"restart from a suspension during the end delay", true, Restart},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EndingPlay play;
        gametest::PlayWorld& w = play.w;
        bool changed = false;
        if (c.inEndDelay) {
            for (int f = 0; f < 400 && !w.main()->endRunning; ++f) ASSERT_FALSE(w.step());
            changed = w.run(10);
        } else {
            changed = w.run(5);
            ASSERT_TRUE(w.main()->ended());
            ASSERT_TRUE(w.main()->player);
        }
        ASSERT_FALSE(changed);
        if (c.exit == Terminate) {
            w.scene.reset();  // the runner stops and lets the scene go
        } else {
            ASSERT_TRUE(play.leaveByPanel(c.exit == MainMenu ? 530 : 330));
            if (c.exit == Restart) {
                ASSERT_NE(nullptr, w.main()) << "a new play";
                w.run(60);
            }
        }
        expectBookedOnce(play.saved());
    }
}

TEST(MainPlay, APlayThatReachesTheResultScreenIsBookedOnce) {
    EndingPlay play;
    gametest::PlayWorld& w = play.w;
    ASSERT_TRUE(w.run(400));
    MekkoResult* r = dynamic_cast<MekkoResult*>(w.scene.get());
    ASSERT_NE(nullptr, r);
    w.run(80);
    expectBookedOnce(play.saved());
    const std::vector<uint32_t> inMemory(w.data->words, w.data->words + kWordCount);
    std::vector<uint32_t> want = play.saved();
    want[kWordLastCents] = 34;  // not in the file
    EXPECT_EQ(want, inMemory);
    EXPECT_EQ(0, r->rankIndex);
    EXPECT_EQ(1, r->rankIn);
    EXPECT_EQ(1, r->medal2);
    EXPECT_STREQ("$123,456,789,012.34", r->rowTexts[0]);
    EXPECT_STREQ("$500.00", r->rowTexts[1]);
}

TEST(MainPlay, AHitEndsThePlayWithTheShakeAndTheFall) {
    PlayWorld w("375x667@2", true);
    MekkoMain& m = *w.main();
    w.drawFrames = false;
    w.playFor(30);
    m.startBonusTime();
    m.player->x = 200.0f;
    m.dumbbells[0] = FallingDumbbell::create(w.app.get(), 0);
    m.dumbbells[0]->vy = 0.0f;
    m.dumbbells[0]->x = (m.player->x + 4.5f + 20.0f) - 34.0f;
    m.dumbbells[0]->y = m.player->y + 30.0f - 10.0f;
    w.step();
    EXPECT_EQ(1, m.hitByDumbbell);
    EXPECT_EQ(1, w.count("dumbbell play 2 0"));
    w.step();
    EXPECT_EQ(1, m.player->hit);
    EXPECT_EQ(0, m.turnEnabled);
    w.tap(270, 850);
    w.step();
    EXPECT_EQ(0, m.player->direction) << "no turn after the end";
    // Bonus time ending while the player falls does not bring the stopped tune back.
    w.playClock.t += MekkoMain::kBonusMs;
    w.step();
    EXPECT_EQ(0, m.bonusTime);
    EXPECT_EQ(1, w.count("main stop"));
    EXPECT_EQ(0, w.count("main resume"));
    EXPECT_TRUE(w.run(200));
}

TEST(MainPlay, HidesTheBottomBannerOnEveryFrameAndLeavesTheOtherWishes) {
    HostBridge& bridge = installedHostBridge();
    bridge.storeAdWish(kAdTopBanner, 1);
    bridge.storeAdWish(kAdBottomBanner, 1);
    bridge.storeAdWish(kAdInterstitial, 1);
    PlayWorld w;
    w.step();
    EXPECT_EQ(0, bridge.adWish(kAdBottomBanner));
    EXPECT_EQ(1, bridge.adWish(kAdTopBanner));
    EXPECT_EQ(1, bridge.adWish(kAdInterstitial));
    bridge.storeAdWish(kAdBottomBanner, 1);
    w.step();
    EXPECT_EQ(0, bridge.adWish(kAdBottomBanner));
    bridge.storeAdWish(kAdTopBanner, 0);
    bridge.storeAdWish(kAdInterstitial, 0);
}

}  // namespace
