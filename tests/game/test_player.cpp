// The walking figure: its start, walking and turning, the shake after a
// hit, walking in place after walking off, the fall, pick-up effects and
// the value popups with their slots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/Player.h"
#include "tests/game/game_fixture.h"

using namespace mekko;
using namespace KelpaEngine;

namespace {

struct PlayerWorld {
    explicit PlayerWorld(const char* profile = "375x667@2") : world(profile) {
        world.start();
        player = Player::create(world.app.get(), world.data);
    }
    gametest::GameWorld world;
    RefPtr<Player> player;
};

std::string imageOf(const Player& p) {
    return p.sprite && p.sprite->image && p.sprite->image->getName() ? p.sprite->image->getName() : "";
}

TEST(Player, StartsHeldFacingRightAndWalksFourAndAHalfAFrame) {
    struct Case {
        const char* profile;
        float startX;
    } cases[] = {{"375x667@2", 170.0f}, {"320x480@2", 220.0f}};
    for (const Case& c : cases) {
        PlayerWorld w(c.profile);
        ASSERT_TRUE(w.player) << c.profile;
        Player& p = *w.player;
        EXPECT_EQ(c.startX, p.x) << c.profile;
        EXPECT_EQ(665.0f, p.y);
        EXPECT_EQ(0, p.direction);
        EXPECT_EQ(1, p.holding);
        // Held: nothing moves, the figure shows its right-facing pictures.
        for (int i = 0; i < 30; ++i) p.update();
        EXPECT_EQ(c.startX, p.x);
        EXPECT_EQ("main_player_walk_right_03.png", imageOf(p)) << "frames advance every 12 updates";

        p.setHold(0);
        for (int i = 0; i < 60; ++i) p.update();
        EXPECT_EQ(c.startX + 270.0f, p.x) << c.profile;
        p.setDirection(1);
        p.update();
        EXPECT_EQ(c.startX + 265.5f, p.x);
        EXPECT_NE(std::string::npos, imageOf(p).find("walk_left"));
    }
}

TEST(Player, DrawsFigureAndEffectsAtTheTruncatedPlace) {
    PlayerWorld w;
    Player& p = *w.player;
    p.x = 100.9f;
    p.y = 665.0f;
    p.startCoinEffect();
    gametest::LoggingGraphics* g = w.world.graphics();
    g->log.clear();
    p.draw(g);
    ASSERT_EQ(2u, g->log.size());
    EXPECT_EQ("sprite", g->log[0].op);
    EXPECT_EQ(100, g->log[0].x);
    EXPECT_EQ(665, g->log[0].y);
    EXPECT_EQ("eff_coin/eff_coin_1.png", g->log[1].image);
    EXPECT_EQ(67, g->log[1].x);  // trunc(x - 33)
}

TEST(Player, AHitShakesOnEvenTimerValuesThenFalls) {
    PlayerWorld w;
    Player& p = *w.player;
    p.setHold(0);
    p.update();
    const float s = p.x;
    p.knockDown();
    std::vector<float> xs;
    for (int i = 0; i < 29; ++i) {
        p.update();
        xs.push_back(p.x - s);
        EXPECT_EQ(0, p.falling) << "update " << i + 1;
        EXPECT_EQ(665.0f, p.y);
    }
    // x - saved x on the timer values 29, 28, ..., 1 (a step on 20, 18, ... 10).
    auto shake = [](int timer) {
        if (timer > 20 || timer < 11) return 0.0f;
        return ((20 - timer) / 2) % 2 == 0 ? 5.0f : -5.0f;
    };
    for (int timer = 29; timer >= 1; --timer) EXPECT_EQ(shake(timer), xs[29 - timer]) << "timer " << timer;
    p.update();  // the 30th
    EXPECT_EQ(1, p.falling);
    EXPECT_EQ(1, p.hit);
    // y = 665 + 0.25 n (n - 1) after n falling updates (the 30th is the first).
    for (int n = 2; n <= 40; ++n) {
        p.update();
        EXPECT_FLOAT_EQ(665.0f + 0.25f * n * (n - 1), p.y) << n;
    }
    EXPECT_EQ(s, p.x);
    EXPECT_NE(0.0f, p.sprite->rotation);
}

TEST(Player, WalkingOffWalksInPlaceWithFasterStepsThenFalls) {
    PlayerWorld w;
    Player& p = *w.player;
    p.setHold(0);
    p.setDirection(1);
    p.update();
    const float s = p.x;
    p.walkCounter = 0;
    p.walkFrame = 0;
    p.fallOff();
    std::vector<int> frames;
    for (int i = 0; i < 29; ++i) {
        p.update();
        frames.push_back(p.walkFrame);
        EXPECT_EQ(s, p.x);
        EXPECT_EQ(0, p.falling);
    }
    EXPECT_EQ(1, frames[4]) << "a step every 5 updates";
    EXPECT_EQ(0, frames[3]);
    EXPECT_EQ(2, frames[9]);
    p.update();
    EXPECT_EQ(1, p.falling);
    p.update();
    EXPECT_EQ(665.5f, p.y);
    EXPECT_LT(p.sprite->rotation, 0.0f) << "facing left turns the other way";
}

TEST(Player, EffectsShowFourPicturesFiveFramesEachInTheirSlots) {
    PlayerWorld w;
    Player& p = *w.player;
    p.startCoinEffect();
    p.startCoinEffect();
    p.startCoinEffect();  // both slots run: ignored
    EXPECT_TRUE(p.coinEffects[0].running && p.coinEffects[1].running);
    std::vector<std::string> pics;
    for (int i = 0; i < 20; ++i) {
        p.update();
        pics.push_back(p.coinEffects[0].sprite->image->getName());
    }
    EXPECT_EQ("eff_coin/eff_coin_1.png", pics[3]);
    EXPECT_EQ("eff_coin/eff_coin_2.png", pics[4]);
    EXPECT_EQ("eff_coin/eff_coin_4.png", pics[18]);
    EXPECT_EQ("eff_coin/eff_coin_1.png", pics[19]);
    EXPECT_FALSE(p.coinEffects[0].running) << "stops after 20 updates";
    EXPECT_FALSE(p.coinEffects[1].running);
}

TEST(Player, PopupsTakeTheFreeDollarEffectSlotAndRiseForThirtyFrames) {
    PlayerWorld w;
    Player& p = *w.player;
    struct Text {
        int64_t amount;
        const char* text;
    } texts[] = {{0, "$0.oo"},
                 {1000, "$1,000.oo"},
                 {1000000000000LL, "$1,000,000,000,000.oo"},
                 {INT64_MAX, "$9,223,372,036,854,775,807.oo"}};
    for (const Text& t : texts) {
        char out[48];
        formatPopupText(out, sizeof out, t.amount);
        EXPECT_STREQ(t.text, out);
    }
    char small[6];
    EXPECT_EQ(5, formatPopupText(small, sizeof small, 1000));
    EXPECT_STREQ("$1,00", small) << "bounded by the buffer";

    p.x = 200.0f;
    p.showValuePopup(1000);
    EXPECT_EQ(1, p.popups[0].shown);
    EXPECT_EQ(9, p.popups[0].length);
    EXPECT_EQ(220 - 9, p.popups[0].x);
    EXPECT_EQ(695 - 30, p.popups[0].y);
    ASSERT_TRUE(p.popups[0].text);
    p.showValuePopup(2000);
    p.showValuePopup(3000);
    p.showValuePopup(4000);  // all three dollar effects run: dropped
    EXPECT_EQ(3, int(p.popups[0].shown + p.popups[1].shown + p.popups[2].shown));
    EXPECT_EQ(9, p.popups[2].length);

    gametest::LoggingGraphics* g = w.world.graphics();
    g->log.clear();
    p.draw(g);
    int scaled = 0;
    for (const auto& c : g->log) scaled += c.op == "scaled";
    EXPECT_EQ(3, scaled);

    // After 20 updates the effects have stopped, the texts still rise.
    for (int i = 0; i < 20; ++i) p.update();
    EXPECT_EQ(665 - 20, p.popups[0].y);
    EXPECT_FALSE(p.dollarEffects[0].running);
    // Slot 1 is taken again while its old text shows: its count goes on.
    p.showValuePopup(5000);
    for (int i = 0; i < 9; ++i) p.update();
    EXPECT_EQ(1, p.popups[0].shown);
    p.update();
    EXPECT_EQ(0, p.popups[0].shown) << "hidden on the old count's 30th update";
    EXPECT_EQ(30, p.popups[0].remaining);
}

}  // namespace
