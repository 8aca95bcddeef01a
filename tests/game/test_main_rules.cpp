// The rules of a play with fixed random values and a driven clock: the
// coin streams, the dollar and dumbbell timers from the table rows, the
// bonus-trigger jewel, bonus time, the chest and its jackpot, the catch
// and hit boxes, money in 64 bits, the level, and items freed after use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Heap.h"
#include "game/MainScene.h"
#include "tests/game/play_fixture.h"

using namespace mekko;
using namespace KelpaEngine;
using gametest::occupied;
using gametest::PlayWorld;

namespace {

// The world with quiet rows and the player far from anything thrown.
struct RulesWorld : PlayWorld {
    RulesWorld(const char* profile = "375x667@2") : PlayWorld(profile, true) {
        m = main();
        m->player->x = -1000.0f;
    }
    MekkoMain* m;
};

TEST(Coins, TheSteadyStreamThrowsAtTheRowsRateUntilTheSlotsAreFull) {
    RulesWorld w;
    w.data->coinTable[0] = CoinSpawnRow{30, 0, 0, 0, 0};
    // Random 0: coins fly up for ever (no pull), so none is lost.
    std::vector<int> counts;
    for (int f = 0; f < 200; ++f) {
        w.m->updateCoins(w.app.get());
        counts.push_back(occupied(w.m->coins));
    }
    EXPECT_EQ(0, counts[0]);
    EXPECT_EQ(1, counts[1]);
    EXPECT_EQ(1, counts[2]);
    EXPECT_EQ(2, counts[3]);
    EXPECT_EQ(90, counts[179]);
    EXPECT_EQ(90, counts[199]) << "no coin without a free slot";
    // Row 0 (5 or below): vx = (r % 41 - 20) * 0.1; x = off + 254 + (r % 31 - 15).
    EXPECT_FLOAT_EQ(-2.0f, w.m->coins[0]->vx);
    EXPECT_FLOAT_EQ(254.0f - 15.0f - 2.0f * 199, w.m->coins[0]->x);
}

TEST(Coins, TheBurstRateAndDirectionAreDrawnOnTheirPeriods) {
    struct Case {
        const char* what;
        CoinSpawnRow row;
        int32_t random;
        int frames;
        int32_t rate;
        int32_t mode;
    } cases[] = {
        {"drawn from min up to max every 60 frames", {0, 10, 20, 1, 1}, 5, 60, 15, 1},
        {"not yet drawn on frame 59", {0, 10, 20, 1, 1}, 5, 59, 0, 0},
        {"min below 1 draws r % max, every frame", {0, 0, 8, 0, 0}, 13, 1, 5, 1},
        {"mode 3 counts as slow left", {0, 0, 8, 0, 0}, 7, 1, 7, 1},
        {"mode 2: slow right", {0, 0, 8, 0, 0}, 6, 1, 6, 2},
        {"min not below max keeps the rate", {0, 9, 9, 0, 0}, 5, 3, 0, 0},
        {"a bound of 0 or less never divides by zero", {0, -5, 0, 0, 0}, 5, 3, 0, 0},
    };
    for (const Case& c : cases) {
        RulesWorld w;
        w.data->coinTable[0] = c.row;
        w.random.fixed = c.random;
        for (int f = 0; f < c.frames; ++f) w.m->updateCoins(w.app.get());
        EXPECT_EQ(c.rate, w.m->burstRate) << c.what;
        EXPECT_EQ(c.mode, w.m->burstMode) << c.what;
    }
    // A fast-left burst of 60 a second: a coin every frame at -(r % 16 + 15) * 0.1.
    RulesWorld w;
    w.data->coinTable[0] = CoinSpawnRow{0, 0, 0, 0, 100};
    w.m->burstRate = 60;
    w.m->burstMode = 0;
    w.random.fixed = 3;
    w.m->updateCoins(w.app.get());
    ASSERT_EQ(1, occupied(w.m->coins));
    EXPECT_FLOAT_EQ(-1.8f, w.m->coins[0]->vx);
}

// Frames from a fresh timer to each of the first spawn events of a row.
std::vector<int> dollarEvents(const ItemSpawnRow& row, int32_t random) {
    RulesWorld w;
    w.data->dollarTable[0] = row;
    w.random.fixed = random;
    std::vector<int> events;
    for (int f = 1; f <= 500 && events.size() < 3; ++f) {
        w.m->updateDollars(w.app.get());
        if (occupied(w.m->dollars) > 0) events.push_back(f);
        for (auto& d : w.m->dollars) d.reset();
    }
    return events;
}

TEST(Dollars, SpawnEventsComeEveryLoadedFramesFromTheRow) {
    struct Case {
        const char* what;
        ItemSpawnRow row;
        int32_t random;
        int gap;
    } cases[] = {
        {"1.0 to 2.0 s, the shortest", {1, 0, 0, 1.0f, 2.0f, 0}, 0, 60},
        {"1.0 to 2.0 s, the longest", {1, 0, 0, 1.0f, 2.0f, 0}, 59, 119},
        {"1.0 to 2.0 s wraps at 60", {1, 0, 0, 1.0f, 2.0f, 0}, 60, 60},
        // In float 1.4 x 60 is 84 (83.99... in double) and 2.3 x 60 is 138.
        {"1.4 to 2.3 s in float: from 84", {1, 0, 0, 1.4f, 2.3f, 0}, 0, 84},
        {"1.4 to 2.3 s in float: up to 137", {1, 0, 0, 1.4f, 2.3f, 0}, 53, 137},
        {"max 0.0: every frame", {1, 0, 0, 1.0f, 0.0f, 0}, 7, 1},
        {"an empty range draws nothing", {1, 0, 0, 2.0f, 2.0f, 0}, 7, 120},
        {"a reversed range draws nothing", {1, 0, 0, 2.0f, 1.0f, 0}, 7, 120},
    };
    for (const Case& c : cases) {
        std::vector<int> e = dollarEvents(c.row, c.random);
        ASSERT_EQ(3u, e.size()) << c.what;
        EXPECT_EQ(c.gap, e[0]) << c.what;
        EXPECT_EQ(c.gap, e[1] - e[0]) << c.what;
        EXPECT_EQ(c.gap, e[2] - e[1]) << c.what;
    }
}

TEST(Dollars, TheWeightsPickOneTwoOrThreeAndEmptyWeightsDrawNothing) {
    struct Case {
        ItemSpawnRow row;
        int32_t random;
        int thrown;
    } cases[] = {
        {{1, 2, 3, 0.0f, 0.0f, 0}, 0, 1}, {{1, 2, 3, 0.0f, 0.0f, 0}, 1, 2}, {{1, 2, 3, 0.0f, 0.0f, 0}, 2, 2},
        {{1, 2, 3, 0.0f, 0.0f, 0}, 3, 3}, {{1, 2, 3, 0.0f, 0.0f, 0}, 11, 3}, {{0, 0, 0, 0.0f, 0.0f, 0}, 5, 0},
        {{-3, 1, 1, 0.0f, 0.0f, 0}, 5, 0},
    };
    for (const Case& c : cases) {
        RulesWorld w;
        w.data->dollarTable[0] = c.row;
        w.random.fixed = c.random;
        const int64_t draws = w.random.draws;
        w.m->updateDollars(w.app.get());
        EXPECT_EQ(c.thrown, occupied(w.m->dollars)) << c.row.weight1 << " r " << c.random;
        if (c.thrown == 0) {
            EXPECT_EQ(draws, w.random.draws) << "no draw from an empty row";
        }
    }
    // A count left over for lack of slots is thrown on a later event.
    RulesWorld w;
    w.data->dollarTable[0] = ItemSpawnRow{0, 0, 1, 0.0f, 0.0f, 0};
    for (int i = 0; i < MekkoMain::kDollarSlots - 1; ++i) w.m->dollars[i] = FallingDollar::create(w.app.get(), 0, 0);
    w.m->updateDollars(w.app.get());
    EXPECT_EQ(2, w.m->dollarSpawner.toThrow);
    w.data->dollarTable[0] = ItemSpawnRow{};
    w.m->dollars[0].reset();
    w.m->dollars[1].reset();
    w.m->updateDollars(w.app.get());
    EXPECT_EQ(0, w.m->dollarSpawner.toThrow);
    EXPECT_EQ(MekkoMain::kDollarSlots, occupied(w.m->dollars));
}

// Puts an item still in the air so that, after its one move, its box
// stands (dx, dy) from the player's catch point.
template <class T>
void placeAt(const MekkoMain& m, T& item, float boxX, float boxY, float dx, float dy) {
    item.vx = 0.0f;
    item.vy = 0.0f;
    item.x = (m.player->x + 20.0f) - boxX - dx;
    item.y = (m.player->y + 30.0f) - boxY - dy;
}

TEST(Catching, TheBoxesMeasureFromTheCatchPointWithTruncation) {
    enum Kind { Coin, Dollar, BonusJewel, BigJewel, Dumbbell };
    struct Case {
        Kind kind;
        float dx, dy;
        bool caught;
    } cases[] = {
        {Coin, 0, 29.9f, true},      {Coin, 0, 30.0f, false},     {Coin, 0, -29.9f, true},
        {Coin, 39.9f, 0, true},      {Coin, 40.0f, 0, false},     {Coin, -40.0f, 0, false},
        {Dollar, 0, 29.9f, true},    {Dollar, 0, 30.0f, false},   {Dollar, 39.9f, 0, true},
        {Dollar, -40.0f, 0, false},  {BonusJewel, 0, 29.9f, true}, {BonusJewel, 0, -30.0f, false},
        {BonusJewel, 39.9f, 0, true}, {BonusJewel, 40.0f, 0, false}, {BigJewel, 0, 39.9f, true},
        {BigJewel, 0, 40.0f, false}, {BigJewel, -39.9f, 0, true}, {BigJewel, 40.0f, 0, false},
        // A dumbbell hits while it is between 0 and 20 above the catch point.
        {Dumbbell, 0, 0.0f, false},  {Dumbbell, 0, 0.5f, true},   {Dumbbell, 0, 19.5f, true},
        {Dumbbell, 0, 20.0f, false}, {Dumbbell, 19.9f, 10.0f, true}, {Dumbbell, -20.0f, 10.0f, false},
    };
    for (const Case& c : cases) {
        RulesWorld w;
        MekkoMain& m = *w.m;
        m.player->x = 200.0f;
        const int64_t before = m.moneyDollars * 100 + m.moneyCents;
        bool caught = false;
        switch (c.kind) {
            case Coin:
                m.coins[0] = FallingCoin::create(w.app.get(), 0, 0);
                placeAt(m, *m.coins[0], 16, 18, c.dx, c.dy);
                m.updateCoins(w.app.get());
                caught = !m.coins[0];
                break;
            case Dollar:
                m.dollars[0] = FallingDollar::create(w.app.get(), 0, 0);
                placeAt(m, *m.dollars[0], 30, 35, c.dx, c.dy);
                m.updateDollars(w.app.get());
                caught = !m.dollars[0];
                break;
            case BonusJewel:
                m.bonusJewels[0] = FallingJewel::create(w.app.get(), 0, 0);
                placeAt(m, *m.bonusJewels[0], 28, 34, c.dx, c.dy);
                m.updateBonusJewels(w.app.get());
                caught = !m.bonusJewels[0];
                break;
            case BigJewel:
                m.bigJewel = FallingJewel::create(w.app.get(), 1, 0);
                placeAt(m, *m.bigJewel, 35, 32, c.dx, c.dy);
                m.updateBigJewels();
                caught = !m.bigJewel;
                break;
            case Dumbbell:
                m.dumbbells[0] = FallingDumbbell::create(w.app.get(), 0);
                m.dumbbells[0]->vy = 0.0f;
                m.dumbbells[0]->x = (m.player->x + 20.0f) - 34.0f - c.dx;
                m.dumbbells[0]->y = (m.player->y + 30.0f) - c.dy;
                m.updateDumbbells(w.app.get());
                caught = !m.dumbbells[0];
                EXPECT_EQ(caught, m.hitByDumbbell != 0);
                EXPECT_EQ(caught, m.alive == 0);
                EXPECT_EQ(caught, m.turnEnabled == 0);
                break;
        }
        EXPECT_EQ(c.caught, caught) << int(c.kind) << " dx " << c.dx << " dy " << c.dy;
        if (c.kind != Dumbbell) {
            EXPECT_EQ(c.caught, m.moneyDollars * 100 + m.moneyCents != before);
        }
    }
}

// Catches one item of the dollar kind right at the catch point.
void catchDollar(RulesWorld& w, int32_t jewel) {
    auto& slot = w.m->dollars[0];
    slot = FallingDollar::create(w.app.get(), jewel, 0);
    placeAt(*w.m, *slot, 30, 35, 0, 0);
    w.m->updateDollars(w.app.get());
    ASSERT_FALSE(slot);
}

TEST(Money, CoinsBillsAndJewelsPayByTheCoinValueIn64Bits) {
    RulesWorld w;
    MekkoMain& m = *w.m;
    m.player->x = 200.0f;
    m.coinDollars = 0;
    m.coinCents = 95;
    w.random.fixed = 100;  // the coin value grows by 1.50
    m.addMoney(0);
    EXPECT_EQ(0, m.moneyDollars);
    EXPECT_EQ(95, m.moneyCents);
    EXPECT_EQ(2, m.coinDollars);
    EXPECT_EQ(45, m.coinCents);
    m.addMoney(0);  // 0.95 + 2.45 = 3.40
    EXPECT_EQ(3, m.moneyDollars);
    EXPECT_EQ(40, m.moneyCents);

    // A bill pays D x 1000 + K x 10 and raises D by 1000.
    m.addMoney(1);
    EXPECT_EQ(3 + 3950 + 0, m.moneyDollars - 0);  // 3 + (3 x 1000 + 95 x 10)
    EXPECT_EQ(1003, m.coinDollars);
    // Past 32 bits: D of 5,000,000 pays 5,000,000,000 for a bill and 5e12 for a jewel.
    m.coinDollars = 5000000;
    m.coinCents = 0;
    const int64_t was = m.moneyDollars;
    m.addMoney(1);
    EXPECT_EQ(was + 5000000000LL, m.moneyDollars);
    m.addMoney(2);
    EXPECT_EQ(was + 5000000000LL + 5001000LL * 1000000, m.moneyDollars);
    m.addMoney(3);
    EXPECT_EQ(was + 5000000000LL + 5001000LL * 1000000 + 1000000000000LL, m.moneyDollars);
    EXPECT_EQ(1, m.newHighScore);
    EXPECT_EQ(m.moneyDollars, m.highDollars);
    // Saturates instead of wrapping.
    m.coinDollars = INT64_MAX / 10;
    m.addMoney(2);
    m.addMoney(2);
    EXPECT_EQ(INT64_MAX, m.moneyDollars);
}

TEST(Money, TheStartingCoinValueIsNinetyCentsToADollar) {
    struct Case {
        int32_t random;
        int64_t dollars;
        int32_t cents;
    } cases[] = {{0, 0, 90}, {9, 0, 99}, {10, 1, 0}, {21, 1, 0}, {11, 0, 90}};
    for (const Case& c : cases) {
        gametest::GameWorld w;
        w.start();
        w.random.fixed = c.random;
        w.enter(MekkoMain::create(w.app.get(), w.data));
        auto* m = dynamic_cast<MekkoMain*>(w.scene.get());
        EXPECT_EQ(c.dollars, m->coinDollars) << c.random;
        EXPECT_EQ(c.cents, m->coinCents) << c.random;
    }
}

TEST(Dollars, TenBillsCaughtMakeTheNextDollarTheBonusTriggerJewel) {
    RulesWorld w;
    MekkoMain& m = *w.m;
    m.player->x = 200.0f;
    for (int i = 0; i < 10; ++i) catchDollar(w, 0);
    EXPECT_EQ(10, m.dollarsCaught);
    w.data->dollarTable[0] = ItemSpawnRow{1, 0, 0, 0.0f, 0.0f, 0};
    m.player->x = -1000.0f;
    m.updateDollars(w.app.get());
    ASSERT_TRUE(m.dollars[0]);
    EXPECT_EQ(1, m.dollars[0]->jewel);
    EXPECT_STREQ("main_jewel1.png", m.dollars[0]->image->getName());
    EXPECT_EQ(1, m.jewelInFlight);
    EXPECT_EQ(0, m.dollarsCaught);
    m.updateDollars(w.app.get());
    EXPECT_EQ(0, m.dollars[1]->jewel) << "the next one is a bill again";

    // Losing any dollar item while the jewel flies clears the flag and the count.
    m.dollarsCaught = 4;
    m.dollars[1]->y = 2000.0f;
    w.data->dollarTable[0] = ItemSpawnRow{};
    m.updateDollars(w.app.get());
    EXPECT_EQ(0, m.jewelInFlight);
    EXPECT_EQ(0, m.dollarsCaught);

    // Catching the jewel starts bonus time; bills caught in it do not count.
    m.player->x = 200.0f;
    m.dollars[0]->vx = m.dollars[0]->vy = 0.0f;
    placeAt(m, *m.dollars[0], 30, 35, 0, 0);
    m.updateDollars(w.app.get());
    EXPECT_EQ(1, m.bonusTime);
    EXPECT_EQ(1, w.count("jewel1 play 2 0"));
    EXPECT_EQ(1, w.count("main pause"));
    EXPECT_EQ(1, w.count("bonus play 1 0")) << "the fanfare once";
    catchDollar(w, 0);
    EXPECT_EQ(0, m.dollarsCaught);
}

TEST(Chest, ATapShakesItAndThrowsFiveLanesWithAJackpotOnCentsOfElevens) {
    struct Case {
        const char* what;
        int64_t dollars, cents;
        bool bonus;
        bool jackpot;
    } cases[] = {
        {"$12.22 throws a big jewel", 12, 22, false, true},
        {"$12.21 does not", 12, 21, false, false},
        {"$0.00 does not (under a dollar)", 0, 0, false, false},
        {"$1.99 does", 1, 99, false, true},
        {"bonus time: a big jewel and four bills", 5, 0, true, true},
        {"bonus time without: five bills", 5, 1, true, false},
    };
    for (const Case& c : cases) {
        RulesWorld w;
        MekkoMain& m = *w.m;
        m.moneyDollars = c.dollars;
        m.moneyCents = c.cents;
        m.bonusTime = c.bonus;
        w.random.fixed = 2;  // the jewel takes the middle lane
        m.tapTreasure(w.app.get());
        EXPECT_EQ(1, m.shaking) << c.what;
        EXPECT_EQ(c.jackpot, bool(m.jackpotJewel)) << c.what;
        EXPECT_EQ(c.jackpot, m.jackpotPending == 1) << c.what;
        EXPECT_EQ(c.jackpot ? 1 : 0, w.count("treasure play 2 0")) << c.what;
        std::vector<float> lanes;
        for (int i = 0; i < MekkoMain::kDollarSlots; ++i) {
            if (c.bonus && m.chestDollars[i]) lanes.push_back(m.chestDollars[i]->vx);
            if (!c.bonus && m.chestDumbbells[i]) lanes.push_back(m.chestDumbbells[i]->vx);
        }
        const std::vector<float> expected =
            c.jackpot ? std::vector<float>{-2.0f, -1.0f, 1.0f, 2.0f} : std::vector<float>{-2.0f, -1.0f, 0.0f, 1.0f, 2.0f};
        EXPECT_EQ(expected, lanes) << c.what;
        if (c.jackpot) {
            EXPECT_EQ(0.0f, m.jackpotJewel->vx);
            // A second tap while that jewel flies throws five.
            m.tapTreasure(w.app.get());
            EXPECT_EQ(9, c.bonus ? occupied(m.chestDollars) : occupied(m.chestDumbbells)) << c.what;
            EXPECT_EQ(1, w.count("treasure play 2 0"));
        }
    }
    // Five still flying in slots 1 to 5: the next five take slots 6 to 10 in lane order.
    RulesWorld w;
    w.m->tapTreasure(w.app.get());
    w.m->tapTreasure(w.app.get());
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(-2.0f + i, w.m->chestDumbbells[5 + i]->vx);
    // With fewer free slots, fewer are thrown.
    w.m->tapTreasure(w.app.get());
    w.m->tapTreasure(w.app.get());
    w.m->tapTreasure(w.app.get());
    EXPECT_EQ(20, occupied(w.m->chestDumbbells));
}

TEST(Chest, TheShakeStandsAt219Then189Then204) {
    for (const char* profile : {"375x667@2", "320x480@2"}) {
        RulesWorld w(profile);
        MekkoMain& m = *w.m;
        const int off = m.offset;
        EXPECT_EQ(off + 204, m.chestX);
        m.tapTreasure(w.app.get());
        std::vector<int> xs;
        for (int i = 0; i < 16; ++i) {
            m.shakeTreasure();
            xs.push_back(m.chestX - off);
        }
        EXPECT_EQ(204, xs[3]);
        EXPECT_EQ(219, xs[4]);
        EXPECT_EQ(219, xs[8]);
        EXPECT_EQ(189, xs[9]);
        EXPECT_EQ(204, xs[14]);
        EXPECT_EQ(0, m.shaking);
        EXPECT_EQ(204, xs[15]);
    }
}

TEST(Jewels, BonusJewelsComeEveryNinetyFramesAndTheSeventhCatchThrowsABigOne) {
    RulesWorld w;
    MekkoMain& m = *w.m;
    m.startBonusTime();
    std::vector<int> throws;
    for (int f = 1; f <= 300; ++f) {
        m.updateBonusJewels(w.app.get());
        if (occupied(m.bonusJewels) > 0) {
            throws.push_back(f);
            for (auto& j : m.bonusJewels) j.reset();
        }
    }
    EXPECT_EQ((std::vector<int>{90, 180, 270}), throws);

    m.player->x = 200.0f;
    m.bonusJewelsCaught = 6;
    m.bonusJewels[3] = FallingJewel::create(w.app.get(), 0, 0);
    placeAt(m, *m.bonusJewels[3], 28, 34, 0, 0);
    m.updateBonusJewels(w.app.get());
    ASSERT_TRUE(m.bigJewel);
    EXPECT_EQ(1, m.bigJewel->kind);
    EXPECT_EQ(0, m.bonusJewelsCaught);
    EXPECT_EQ(1, w.count("jewel2 play 2 0"));

    // The jackpot jewel, caught or lost, lets the next jackpot come.
    m.jackpotPending = 1;
    m.jackpotJewel = FallingJewel::create(w.app.get(), 1, 0);
    m.jackpotJewel->y = 2000.0f;
    m.bigJewel.reset();
    m.updateBigJewels();
    EXPECT_FALSE(m.jackpotJewel);
    EXPECT_EQ(0, m.jackpotPending);
}

TEST(Dumbbells, BonusTimeThrowsNoneAndUsesRow16) {
    RulesWorld w;
    MekkoMain& m = *w.m;
    w.data->dumbbellTable[0] = ItemSpawnRow{1, 0, 0, 0.0f, 0.0f, 0};
    w.data->dumbbellTable[kBonusRow] = ItemSpawnRow{0, 0, 1, 0.0f, 0.0f, 0};
    m.updateDumbbells(w.app.get());
    EXPECT_EQ(1, occupied(m.dumbbells));
    m.bonusTime = 1;
    m.updateDumbbells(w.app.get());
    EXPECT_EQ(1, occupied(m.dumbbells));
    EXPECT_EQ(3, m.dumbbellSpawner.weights[2] * 3) << "row 16's weights were used";
    EXPECT_EQ(0, m.dumbbellSpawner.toThrow) << "the count is spent on the free slots";
}

TEST(Level, RisesOnceAFrameWhenThePlayTimeReachesTheWindowsEnd) {
    RulesWorld w;
    MekkoMain& m = *w.m;
    // The play time standing on the window's start (first frame, a frozen clock).
    for (int i = 0; i < 30; ++i) m.stepLevel();
    EXPECT_EQ(0, m.level);
    struct Step {
        int64_t elapsed;
        int32_t level;
    } steps[] = {{4999, 0}, {5000, 1}, {5000, 1}, {9999, 1}, {10000, 2}, {40000, 3}, {40000, 4}, {40000, 5}};
    for (const Step& s : steps) {
        m.playElapsed = s.elapsed;
        m.stepLevel();
        EXPECT_EQ(s.level, m.level) << s.elapsed;
    }
    m.playElapsed = 1000000;
    for (int i = 0; i < 40; ++i) m.stepLevel();
    EXPECT_EQ(15, m.level);
    EXPECT_EQ(80000, m.levelEnd);
}

TEST(BonusTime, LastsItsBonusClockWithAPauseNotCountingAndHoldsTheLevel) {
    PlayWorld w("375x667@2", true);
    MekkoMain& m = *w.main();
    w.playFor(1);
    // Level 7 at a play time of 35,000 ms: bonus time starts on a window's start.
    m.level = 7;
    m.levelStart = 35000;
    m.levelEnd = 40000;
    w.playClock.t = m.playStart + 35000;
    m.playElapsed = 35000;
    m.startBonusTime();
    const int64_t t0 = w.playClock.t;
    int frames = 0;
    w.drawFrames = false;
    // At frame 300 a suspension opens the panel for 100 passes, then Resume.
    w.suspendedPasses = 100;
    while (m.bonusTime && frames < 2000) {
        m.player->x = 200.0f;  // stays on the stage
        if (frames == 300) w.host.suspend = true;
        w.step();
        ++frames;
        EXPECT_EQ(7, m.level);
        EXPECT_EQ(35000, m.playElapsed);
    }
    // The frame that opened the panel and the panel's passes (1,600 ms
    // suspended and two for the Resume) do not count: 11,701 ms of bonus
    // clock end it.
    const int64_t panelMs = int64_t(w.panelPassesTotal + 1) * 16;
    EXPECT_EQ(102, w.panelPassesTotal);
    EXPECT_GE(w.playClock.t - t0 - panelMs, MekkoMain::kBonusMs);
    EXPECT_LT(w.playClock.t - t0 - panelMs - 16, MekkoMain::kBonusMs);
    EXPECT_EQ(650.0f, m.bannerX);
    EXPECT_EQ(1, w.count("bonus stop"));
    EXPECT_EQ(1, w.count("main resume")) << "music is on";
    // The play clock goes on from where it stood.
    w.drawFrames = false;
    for (int i = 0; i < 312; ++i) {
        m.player->x = 200.0f;
        w.step();
    }
    EXPECT_EQ(7, m.level);
    w.step();
    EXPECT_EQ(8, m.level) << "5,000 ms of play after bonus time";
}

TEST(Heap, ItemsLostOrCaughtAreFreedSoALongPlayDoesNotGrow) {
    PlayWorld w("375x667@2", true);
    MekkoMain& m = *w.main();
    // A coin every frame, a dollar and a dumbbell event every 10 frames.
    for (int r = 0; r <= kBonusRow; ++r) {
        w.data->coinTable[r] = CoinSpawnRow{60, 0, 30, 1, 1};
        w.data->dollarTable[r] = ItemSpawnRow{1, 1, 1, 10.0f / 60, 11.0f / 60, 0};
    }
    w.random.fixed = 7;  // items fall back and leave the screen
    w.playFor(1);
    w.drawFrames = false;
    auto keepPlaying = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            // On the stage and never hit: the play goes on.
            m.player->x = 200.0f;
            m.hitByDumbbell = 0;
            m.alive = 1;
            w.step();
            if (i % 200 == 0) m.tapTreasure(w.app.get());
        }
    };
    keepPlaying(2000);
    const HeapCounters early = heapCounters();
    keepPlaying(10000);
    const HeapCounters late = heapCounters();
    EXPECT_GT(late.totalAllocations - early.totalAllocations, 10000u) << "items were made";
    EXPECT_LE(late.liveBlocks, early.liveBlocks + 200) << "and freed";
}

}  // namespace
