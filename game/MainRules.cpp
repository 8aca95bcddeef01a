// The rules of a play: the level, the spawners, the chest's throw, the
// motion of what is thrown, catching and hitting, bonus time and money.
#include <cmath>
#include <cstdint>

#include "game/GameEnv.h"
#include "game/MainScene.h"

namespace mekko {

using namespace KelpaEngine;

namespace {

// A table period in seconds as frames, kept in range.
int32_t periodFrames(int32_t seconds) {
    const int64_t f = int64_t(seconds) * 60;
    return f > INT32_MAX ? INT32_MAX : int32_t(f);
}

// The repeat rule of the coin streams' draws: true on the frames the draw
// happens (every period × 60 frames; every frame for a period of 0 or less).
bool repeatDue(int32_t& timer, int32_t seconds) {
    if (seconds <= 0) return true;
    if (timer <= 0) timer = periodFrames(seconds);
    return --timer == 0;
}

// |trunc(a - b)| < limit, as the catch boxes measure.
bool near(float a, float b, int32_t limit) {
    const float d = std::trunc(a - b);
    return std::fabs(d) < float(limit);
}

template <class T, size_t N>
int32_t firstEmptyIndex(const RefPtr<T> (&slots)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (!slots[i]) return int32_t(i);
    }
    return -1;
}

int64_t saturatingAdd(int64_t a, int64_t b) {
    if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
    if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
    return a + b;
}

int64_t saturatingMul(int64_t a, int64_t b) {
    if (a == 0 || b == 0) return 0;
    if (a > 0 && b > 0 && a > INT64_MAX / b) return INT64_MAX;
    return a * b;
}

}  // namespace

void MekkoMain::stepLevel() {
    // One level when the play time reaches the window's end, at most one a
    // frame (a play time standing on the window's start climbs nothing).
    if (level < kTopLevel && playElapsed >= levelEnd) {
        ++level;
        levelStart += kLevelMs;
        levelEnd += kLevelMs;
    }
}

void MekkoMain::updateCoins(Application* app) {
    const int32_t row = spawnRow();
    const CoinSpawnRow R = coinTable ? coinTable[row] : CoinSpawnRow{};

    const bool rateDue = repeatDue(burstRateTimer, R.burstRerollSec);
    if (rateDue && R.burstMin < R.burstMax) {
        if (R.burstMin < 1) {
            burstRate = gameRandBelow(R.burstMax);
        } else {
            const int64_t span = int64_t(R.burstMax) - R.burstMin;
            burstRate = R.burstMin + gameRandBelow(span > INT32_MAX ? INT32_MAX : int32_t(span));
        }
    }
    const bool modeDue = repeatDue(burstModeTimer, R.modeRerollSec);
    if (modeDue && burstRate != 0) {
        burstMode = gameRandBelow(4);
        if (burstMode == modeReplacedByOne) burstMode = 1;
    }

    auto throwCoin = [&](float vx) {
        for (auto& slot : coins) {
            if (!slot) {
                slot = FallingCoin::create(app, bonusTime, vx);
                return;
            }
        }
    };
    auto freeCoins = [&] { return firstEmptyIndex(coins) >= 0; };

    steadyPrev = steadyAccum;
    steadyAccum += float(R.steadyRate) / 60.0f;
    for (int64_t n = int64_t(truncToInt(steadyAccum)) - truncToInt(steadyPrev); n > 0 && freeCoins(); --n) {
        const float vx = row <= 5 ? float((gameRandBelow(41) - 20) * 0.1) : float((gameRandBelow(61) - 30) * 0.1);
        throwCoin(vx);
    }

    burstPrev = burstAccum;
    burstAccum += float(burstRate) / 60.0f;
    for (int64_t n = int64_t(truncToInt(burstAccum)) - truncToInt(burstPrev); n > 0 && freeCoins(); --n) {
        float vx = 0.0f;
        switch (burstMode) {
            case 0: vx = float(-(gameRandBelow(16) + 15) * 0.1); break;
            case 1: vx = float(-gameRandBelow(16) * 0.1); break;
            default: vx = float(gameRandBelow(16) * 0.1); break;
        }
        throwCoin(vx);
    }

    for (auto& coin : coins) {
        if (!coin) continue;
        coin->update();
        if (player && near(player->y + 30.0f, coin->y + 18.0f, 30) && near(player->x + 20.0f, coin->x + 16.0f, 40)) {
            playEffect(data, coinSound);
            addMoney(0);
            coin.reset();
        } else if (coin->y + 18.0f > 960.0f) {
            coin.reset();
        }
    }
}

namespace {

// The spawn timer of dollars and dumbbells; true on a spawn event.
bool spawnDue(int32_t& timer, const ItemSpawnRow& R) {
    if (timer == 0) {
        if (R.maxSec == 0.0f) {
            timer = 0;
        } else {
            const float lo = R.minSec * 60;
            const float hi = R.maxSec * 60;
            timer = truncToInt(lo) + gameRandBelow(truncToInt(hi - lo));
        }
    }
    if (timer >= 1) return --timer == 0;
    return true;
}

// How many items a spawn event adds by the row's weights (none when they
// sum to nothing, so an empty row never divides by zero).
void drawCount(int32_t& toThrow, int32_t (&weights)[3], const ItemSpawnRow& R) {
    weights[0] = R.weight1;
    weights[1] = R.weight2;
    weights[2] = R.weight3;
    const int64_t sum = int64_t(weights[0]) + weights[1] + weights[2];
    if (sum < 1) return;
    const int64_t r = gameRandBelow(sum > INT32_MAX ? INT32_MAX : int32_t(sum));
    if (r < weights[0]) {
        toThrow = 1;
    } else if (r < int64_t(weights[0]) + weights[1]) {
        toThrow = 2;
    } else {
        toThrow = 3;
    }
}

}  // namespace

void MekkoMain::updateDollars(Application* app) {
    const int32_t row = spawnRow();
    const ItemSpawnRow R = dollarTable ? dollarTable[row] : ItemSpawnRow{};
    if (spawnDue(dollarSpawner.timer, R)) {
        drawCount(dollarSpawner.toThrow, dollarSpawner.weights, R);
        for (auto& slot : dollars) {
            if (dollarSpawner.toThrow <= 0) break;
            if (slot) continue;
            const float vx =
                row <= 5 ? float((gameRandBelow(41) - 20) * 0.1) : float((gameRandBelow(51) - 25) * 0.1);
            int32_t jewel = 0;
            if (dollarsCaught >= 10) {
                jewel = 1;
                jewelInFlight = 1;
                dollarsCaught = 0;
            }
            slot = FallingDollar::create(app, jewel, vx);
            --dollarSpawner.toThrow;
        }
    }

    for (auto& d : dollars) {
        if (!d) continue;
        d->update();
        if (player && near(player->y + 30.0f, d->y + 35.0f, 30) && near(player->x + 20.0f, d->x + 30.0f, 40)) {
            if (d->jewel) {
                if (jewel1Sound && data && data->effectsOn()) jewel1Sound->play(kSoundKindEffect, 0);
                startBonusTime();
                addMoney(2);
            } else {
                playEffect(data, dollarSound);
                if (!bonusTime && dollarsCaught < INT32_MAX) ++dollarsCaught;
                addMoney(1);
            }
            d.reset();
        } else if (d->y + 35.0f > 960.0f) {
            d.reset();
            if (jewelInFlight) {
                jewelInFlight = 0;
                dollarsCaught = 0;
            }
        }
    }
}

namespace {

// A dumbbell hits when it comes down onto the player's catch point.
bool hits(const Player& p, const FallingDumbbell& d) {
    const float dy = (p.y + 30.0f) - d.y;
    return 0.0f < dy && dy < 20.0f && near(p.x + 20.0f, d.x + 34.0f, 20);
}

}  // namespace

void MekkoMain::updateDumbbells(Application* app) {
    const int32_t row = spawnRow();
    const ItemSpawnRow R = dumbbellTable ? dumbbellTable[row] : ItemSpawnRow{};
    if (spawnDue(dumbbellSpawner.timer, R)) {
        drawCount(dumbbellSpawner.toThrow, dumbbellSpawner.weights, R);
        for (auto& slot : dumbbells) {
            if (dumbbellSpawner.toThrow <= 0) break;
            if (slot) continue;
            // Bonus time throws none: the count is spent on the free slots.
            if (!bonusTime) slot = FallingDumbbell::create(app, float((gameRandBelow(51) - 25) * 0.1));
            --dumbbellSpawner.toThrow;
        }
    }
    updateDumbbellSlots(dumbbells);
}

void MekkoMain::updateDumbbellSlots(RefPtr<FallingDumbbell> (&slots)[kDumbbellSlots]) {
    for (auto& d : slots) {
        if (!d) continue;
        d->update();
        if (player && hits(*player, *d)) {
            playEffect(data, dumbbellSound);
            d.reset();
            alive = 0;
            turnEnabled = 0;
            hitByDumbbell = 1;
        } else if (d->y > 960.0f) {
            d.reset();
        }
    }
}

void MekkoMain::updateBonusJewels(Application* app) {
    if (bonusTime) {
        if (bonusJewelTimer == 0) {
            bonusJewelTimer = 89;
        } else if (--bonusJewelTimer == 0) {
            const float vx = float((gameRandBelow(51) - 25) * 0.1);
            for (auto& slot : bonusJewels) {
                if (!slot) {
                    slot = FallingJewel::create(app, 0, vx);
                    break;
                }
            }
        }
    }
    for (auto& j : bonusJewels) {
        if (!j) continue;
        j->update();
        if (player && near(player->y + 30.0f, j->y + 34.0f, 30) && near(player->x + 20.0f, j->x + 28.0f, 40)) {
            playEffect(data, jewel2Sound);
            addMoney(2);
            j.reset();
            if (bonusJewelsCaught++ >= 6) {
                bigJewel = FallingJewel::create(app, 1, float((gameRandBelow(51) - 25) * 0.1));
                bonusJewelsCaught = 0;
            }
        } else if (j->y + 34.0f > 960.0f) {
            j.reset();
        }
    }
}

void MekkoMain::updateBigJewels() {
    RefPtr<FallingJewel>* slots[2] = {&bigJewel, &jackpotJewel};
    for (int i = 0; i < 2; ++i) {
        RefPtr<FallingJewel>& j = *slots[i];
        if (!j) continue;
        j->update();
        bool gone = false;
        if (player && near(player->y + 30.0f, j->y + 32.0f, 40) && near(player->x + 20.0f, j->x + 35.0f, 40)) {
            playEffect(data, jewel3Sound);
            addMoney(3);
            gone = true;
        } else if (j->y + 32.0f > 960.0f) {
            gone = true;
        }
        if (gone) {
            j.reset();
            if (i == 1) jackpotPending = 0;
        }
    }
}

void MekkoMain::tapTreasure(Application* app) {
    shaking = 1;
    if (moneyDollars >= 1 && moneyCents % 11 == 0 && !jackpotPending) {
        if (treasureSound && data && data->effectsOn()) treasureSound->play(kSoundKindEffect, 0);
        jackpotPending = 1;
        openTreasure(app, true);
    } else {
        openTreasure(app, false);
    }
}

void MekkoMain::openTreasure(Application* app, bool jackpot) {
    static constexpr int32_t kLanes[5] = {-20, -10, 0, 10, 20};
    int32_t jewelLane = -1;
    if (jackpot) {
        jewelLane = gameRandBelow(5);
        jackpotJewel = FallingJewel::create(app, 1, float(kLanes[jewelLane] * 0.1));
    }
    for (int32_t lane = 0; lane < 5; ++lane) {
        if (lane == jewelLane) continue;
        const float vx = float(kLanes[lane] * 0.1);
        if (bonusTime) {
            const int32_t i = firstEmptyIndex(chestDollars);
            if (i < 0) break;
            chestDollars[i] = FallingDollar::create(app, 0, vx);
        } else {
            const int32_t i = firstEmptyIndex(chestDumbbells);
            if (i < 0) break;
            chestDumbbells[i] = FallingDumbbell::create(app, vx);
        }
    }
}

void MekkoMain::shakeTreasure() {
    if (!shaking) return;
    if (++shakeCounter % 5 != 0) return;
    if (shakePhase < 2) {
        if (chestX == offset + 204) {
            chestX = offset + 219;
        } else if (chestX == offset + 219) {
            chestX = offset + 189;
        }
        ++shakePhase;
    } else {
        chestX = offset + 204;
        shakePhase = 0;
        shakeCounter = 0;
        shaking = 0;
    }
}

void MekkoMain::updateTreasureItems() {
    for (auto& d : chestDollars) {
        if (!d) continue;
        d->update();
        if (player && near(player->y + 30.0f, d->y + 35.0f, 30) && near(player->x + 20.0f, d->x + 30.0f, 40)) {
            playEffect(data, dollarSound);
            addMoney(1);
            d.reset();
        } else if (d->y + 35.0f > 960.0f) {
            d.reset();
            if (jewelInFlight) {
                jewelInFlight = 0;
                dollarsCaught = 0;
            }
        }
    }
    updateDumbbellSlots(chestDumbbells);
}

void MekkoMain::startBonusTime() {
    bonusJewelsCaught = 0;
    dollarsCaught = 0;
    bonusJewelTimer = 0;
    bonusTime = 1;
    jewelInFlight = 0;
    bonusStart = bonusNow = nowMs();
    bonusElapsed = 0;
    if (mainTune) mainTune->pause();
    // The bonus fanfare sounds once, whatever the music switch says.
    if (bonusTune) bonusTune->play(kSoundKindMusic, 0);
}

void MekkoMain::stepBonusTime() {
    bonusNow = nowMs();
    bonusElapsed = bonusNow - bonusStart;
    if (bannerX > float(-600 - offset)) bannerX -= 10.0f;
    if (bonusElapsed >= kBonusMs) {
        bonusTime = 0;
        bannerX = 650.0f;
        if (bonusTune) bonusTune->stop();
        // After the end of a play the tune has been stopped for good.
        if (!ended()) resumeMusic(data, mainTune);
        playStart = bonusNow - playElapsed;
    }
}

void MekkoMain::checkHighScore() {
    if (moneyDollars > highDollars || (moneyDollars == highDollars && moneyCents > highCents)) {
        highDollars = moneyDollars;
        highCents = moneyCents;
        newHighScore = 1;
    }
}

void MekkoMain::addMoney(int32_t kind) {
    switch (kind) {
        case 0: {
            moneyCents += coinCents;
            if (moneyCents > 99) {
                moneyCents -= 100;
                moneyDollars = saturatingAdd(moneyDollars, 1);
            }
            moneyDollars = saturatingAdd(moneyDollars, coinDollars);
            const int32_t grow = gameRandBelow(101) + 50;
            const int64_t cents = int64_t(coinCents) + grow;
            coinDollars = saturatingAdd(coinDollars, cents / 100);
            coinCents = int32_t(cents % 100);
            if (player) player->startCoinEffect();
            break;
        }
        case 1: {
            const int64_t a = saturatingAdd(saturatingMul(coinDollars, 1000), int64_t(coinCents) * 10);
            moneyDollars = saturatingAdd(moneyDollars, a);
            if (player) player->showValuePopup(a);
            coinDollars = saturatingAdd(coinDollars, 1000);
            break;
        }
        case 2: {
            const int64_t a = saturatingAdd(saturatingMul(coinDollars, 1000000), int64_t(coinCents) * 10000);
            moneyDollars = saturatingAdd(moneyDollars, a);
            if (player) player->showValuePopup(a);
            break;
        }
        case 3: {
            const int64_t a = 1000000000000LL;
            moneyDollars = saturatingAdd(moneyDollars, a);
            if (player) player->showValuePopup(a);
            break;
        }
        default: return;
    }
    checkHighScore();
}

}  // namespace mekko
