#include "game/MainScene.h"

#include <cstdio>

#include "engine/HostBridge.h"
#include "engine/ios/AdsenseImp.h"
#include "game/GameEnv.h"
#include "game/PausePanel.h"
#include "game/ResultScene.h"
#include "game/SceneAudio.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

// ---- the frame flow ----

int32_t GameScene_Main::init(Application* app) {
    pauseOffset = layoutOffset(app);
    seedGameRandom();
    load(app);
    RefPtr<Graphics> g = app->getGraphics();
    if (audio) tapSound = audio->createSound(1, "sound/button_tap.wav", 0, true);
    adsense = iOS::AdsenseImp::create(app);
    pauseButton = Button::create(g.get(), pauseOffset + 21, 220, "main_btn_pause_off.png", "main_btn_pause_on.png",
                                 Sprite2D::kMiddle);
    return 1;
}

RefPtr<Scene> GameScene_Main::pauseSequence(Application* app) {
    paused = 1;
    if (data) data->setInterrupted(1);
    if (bonusTune) bonusTune->pause();
    if (mainTune) mainTune->pause();
    const int32_t code = showPausePanel(app, data, this);
    if (data) data->clearInterrupted();
    if (code == kPauseMainMenu) return MekkoTitle::create(app, data);
    if (code == kPauseRestart) return MekkoMain::create(app, data);
    // Resume: the time the panel was open does not count.
    bonusNow = playNow = nowMs();
    bonusStart = bonusNow - bonusElapsed;
    playStart = playNow - playElapsed;
    resume.arm();
    return nullptr;
}

RefPtr<Scene> GameScene_Main::update(Application* app) {
    touches.read(app);
    if (endRunning) {
        endNow = nowMs();
        if (endNow - endStart >= kEndDelayMs) return MekkoResult::create(app, data, bookedResult());
    }
    if (!countingDown && alive && pauseButton && pauseButton->update(touches)) {
        playEffect(data, tapSound);
        if (RefPtr<Scene> next = pauseSequence(app)) return next;
    }
    if (app->getState() == kStatePaused) {
        if (RefPtr<Scene> next = pauseSequence(app)) return next;
    }
    frameLogic(app, touches);
    if (adsense) adsense->show(kAdBottomBanner, false);
    invalidate();
    return self();
}

bool GameScene_Main::draw(Application* app, Graphics* g) {
    drawPlay(app, g);
    if (!countingDown && alive && pauseButton) pauseButton->draw(g, 0, 0);
    return true;
}

void GameScene_Main::startEndDelay() {
    if (endRunning) return;
    endStart = endNow = nowMs();
    endRunning = 1;
}

// ---- the tap hint ----

RefPtr<TapHint> TapHint::create(Application* app) {
    RefPtr<TapHint> h = makeRef<TapHint>();
    if (!h) return nullptr;
    h->offset = layoutOffset(app);
    h->image = Image::load(app ? app->getGraphics() : RefPtr<Graphics>(), "main_taptoturn.png");
    return h;
}

void TapHint::update() {
    ++counter;
    if (visible) {
        if (counter % 30 == 0) {
            visible = 0;
            counter = 0;
        }
    } else if (counter % 15 == 0) {
        visible = 1;
        counter = 0;
    }
}

void TapHint::draw(Graphics* g) {
    if (g && visible && image) g->drawImage(offset + 110, 700, image);
}

// ---- the play ----

SceneRef MekkoMain::create(Application* app, GameData* data) {
    if (app) app->setName("mekko");
    return makeRef<MekkoMain>(data);
}

MekkoMain::MekkoMain(GameData* d) : GameScene_Main(d) {
    if (d) {
        coinTable = d->coinTable;
        dollarTable = d->dollarTable;
        dumbbellTable = d->dumbbellTable;
    }
}

int64_t MekkoMain::nowMs() { return playClock().nowMs(); }

int32_t MekkoMain::load(Application* app) {
    alive = 1;
    offset = layoutOffset(app);
    chestX += offset;
    RefPtr<Graphics> g = app->getGraphics();

    audio = makeSceneAudio(app);
    if (audio) {
        auto make = [this](const char* name) { return audio->createSound(1, name, 0, true); };
        coinSound = make("sound/coin.wav");
        dollarSound = make("sound/dollar.wav");
        dumbbellSound = make("sound/dumbbell.wav");
        jewel1Sound = make("sound/jewel1.wav");
        jewel2Sound = make("sound/jewel2.wav");
        jewel3Sound = make("sound/jewel3.wav");
        countdownSound = make("sound/countdown.wav");
        startSound = make("sound/gamestart.wav");
        treasureSound = make("sound/treasure_open.wav");
        fallSound = make("sound/fall.wav");
        bonusTune = make("sound/bonus.wav");
        mainTune = make("sound/gamemain.wav");
    }

    player = Player::create(app, data);
    tapHint = TapHint::create(app);

    stageImage = Image::load(g, "main_stage.png");
    countdownImages[0] = Image::load(g, "main_countdown_go.png");
    countdownImages[1] = Image::load(g, "main_countdown_1.png");
    countdownImages[2] = Image::load(g, "main_countdown_2.png");
    countdownImages[3] = Image::load(g, "main_countdown_3.png");
    chestImage = Image::load(g, "main_treasure.png");
    bannerImage = Image::load(g, "main_bonustime.png");
    highScoreLabel = Image::load(g, "hiscore_s.png");
    loadGlyphs(g.get(), GlyphSize::Medium, true, mediumGlyphs);
    loadGlyphs(g.get(), GlyphSize::Small, true, smallGlyphs);

    if (data) {
        highDollars = moneyFromWords(data->words[kWordRankHigh], data->words[kWordRankLow]);
        highCents = data->words[kWordRankCents];
        if (highDollars < 1) highDollars = 0;
    }

    const int32_t r = gameRandBelow(11) + 90;
    coinDollars = r == 100 ? 1 : 0;
    coinCents = r == 100 ? 0 : r;

    moneyLength = formatMoney(moneyText, sizeof moneyText, moneyDollars, moneyCents);
    highScoreLength = formatMoney(highScoreText, sizeof highScoreText, highDollars, highCents);
    bg1Image = Image::load(g, "main_bg1.png");
    bg2Image = Image::load(g, "main_bg2.png");

    turnArea = Button::create(g.get(), offset - 90, 720, "bg_button.png", "bg_button.png", Sprite2D::kMiddle);
    chestButton = Button::create(g.get(), offset + 204, 318, "main_treasure.png", "main_treasure.png",
                                 Sprite2D::kMiddle);
    return 1;
}

void MekkoMain::frameLogic(Application* app, const TouchFrame& frame) {
    if (moneyDollars > kMoneyCap) jackpotPending = 1;
    moneyLength = formatMoney(moneyText, sizeof moneyText, moneyDollars, moneyCents);
    highScoreLength = formatMoney(highScoreText, sizeof highScoreText, highDollars, highCents);
    if (player) player->update();

    if (frameCounter <= kFrameCounterTop - 1) {
        if (tapHint) tapHint->update();
        ++frameCounter;
    }

    if (countingDown) {
        if (frameCounter == 1) {
            playEffect(data, countdownSound);
        } else if (frameCounter == 60 || frameCounter == 120) {
            playEffect(data, countdownSound);
            --countdownDigit;
        } else if (frameCounter == kCountdownEnd) {
            if (countdownSound) countdownSound->stop();
            playEffect(data, startSound);
            countdownDigit = 0;
            countingDown = 0;
            startMusic(data, mainTune);
            playStart = playNow = nowMs();
        }
        return;
    }

    if (!ended() && resume.countDown()) {
        // The bonus tune plays whatever the music switch says, and so
        // resumes; the main tune only while music is on.
        if (!bonusTime) {
            resumeMusic(data, mainTune);
        } else if (bonusTune) {
            bonusTune->resume();
        }
        paused = 0;
    }

    if (player) {
        if (!bonusTime) {
            playNow = nowMs();
            playElapsed = playNow - playStart;
        }
        stepLevel();
        if (player->holding) player->setHold(0);
        if (!ended()) {
            const float foot = player->x + 20.0f;
            if (float(offset + 50) < foot && foot < float(offset + 490)) {
                if (turnEnabled && !paused && turnArea && turnArea->anyTouchInside(frame)) {
                    direction ^= 1;
                    player->setDirection(direction);
                }
            } else {
                fellOffStage = 1;
                alive = 0;
            }
        }
        if (chestButton && chestButton->anyTouchInside(frame)) tapTreasure(app);
        if (bonusTime) stepBonusTime();
        if (frameCounter >= kItemsFrom) {
            if (ended()) {
                gameOverStep();
            } else {
                updateCoins(app);
                updateDollars(app);
                updateDumbbells(app);
                updateBonusJewels(app);
                updateBigJewels();
                shakeTreasure();
                updateTreasureItems();
            }
        }
        if (player && player->y + 30.0f > 960.0f) {
            player.reset();
            alive = 0;
        }
    }

    // Once the play has ended (its money can change no more after this
    // frame) its result is booked, whatever comes next.
    if (ended() && !resultBooked) bookPlay(app);
    if (!player) writeResult(app);
}

void MekkoMain::bookPlay(Application* app) {
    resultBooked = true;
    if (!data) return;
    moneyToWords(moneyDollars, &data->words[kWordLastHigh], &data->words[kWordLastLow]);
    data->words[kWordLastCents] = uint32_t(moneyCents);
    booking = bookResult(data, app);
    resultSaved = booking.saved;
}

void MekkoMain::gameOverStep() {
    if (gameOverCounter == 0) {
        if (bonusTime && bonusTune) bonusTune->stop();
        for (Sound* s : {mainTune.get(), coinSound.get(), jewel1Sound.get(), jewel2Sound.get(), jewel3Sound.get(),
                         dollarSound.get()}) {
            if (s) s->stop();
        }
    }
    if (gameOverCounter == 31) playEffect(data, fallSound);
    if (hitByDumbbell) {
        player->knockDown();
    } else {
        player->fallOff();
    }
    if (gameOverCounter < INT32_MAX) ++gameOverCounter;
}

void MekkoMain::writeResult(Application* app) {
    if (data) {
        moneyToWords(moneyDollars, &data->words[kWordLastHigh], &data->words[kWordLastLow]);
        data->words[kWordLastCents] = uint32_t(moneyCents);
        // Every frame of the end delay writes the same words; the file (a
        // crash-safe save, flushed to disk) was written when the play was
        // booked, and is written again only should that save have failed.
        if (!resultSaved) resultSaved = saveGameData(data, app) == 1;
        booking.saved = resultSaved;
    }
    startEndDelay();
}

void MekkoMain::drawPlay(Application*, Graphics* g) {
    if (!g) return;
    g->drawImage(offset - 90, 0, bg1Image);
    if (bonusTime) g->drawImage(offset - 90, 0, bg2Image);
    g->drawImage(chestX, 250, chestImage);
    if (frameCounter < 200) {
        const int32_t digit = countdownDigit >= 0 && countdownDigit <= 3 ? countdownDigit : 0;
        g->drawImage(offset + 119, 230, countdownImages[digit]);
    }
    if (!countingDown) {
        for (auto& c : coins) if (c) c->draw(g);
        for (auto& d : chestDollars) if (d) d->draw(g);
        for (auto& d : dollars) if (d) d->draw(g);
        for (auto& j : bonusJewels) if (j) j->draw(g);
        if (bigJewel) bigJewel->draw(g);
        if (jackpotJewel) jackpotJewel->draw(g);
        for (auto& d : dumbbells) if (d) d->draw(g);
        for (auto& d : chestDumbbells) if (d) d->draw(g);
        if (bonusTime) g->drawImage(truncToInt(bannerX), 300, bannerImage);
    }
    g->drawImage(offset + 60, 700, stageImage);
    if (player) player->draw(g);
    if (frameCounter < kFrameCounterTop && tapHint) tapHint->draw(g);
    const int32_t dollarX = drawDigitString(g, smallGlyphs, GlyphSize::Small, newHighScore != 0, highScoreText,
                                            offset + hudRight, 110, kSmallDigits);
    g->drawImage(dollarX - 126, 110, highScoreLabel);
    drawDigitString(g, mediumGlyphs, GlyphSize::Medium, newHighScore != 0, moneyText, offset + hudRight, moneyY,
                    kMediumDigits);
}

}  // namespace mekko
