#include "game/TitleScene.h"

#include <memory>

#include "engine/FontShadow.h"
#include "engine/Sprite2D.h"
#include "engine/ios/AdsenseImp.h"
#include "engine/ios/HttpImp.h"
#include "game/AchievementScene.h"
#include "game/ConfigScene.h"
#include "game/GameData.h"
#include "game/MainScene.h"
#include "game/RankingScene.h"
#include "game/SceneAudio.h"

namespace mekko {

using namespace KelpaEngine;

const char kStoreURL[] = "https://apps.apple.com/developer/mekko-developers/id1704296358";
const char kTitleCopyrightLine[] = "\xC2\xA9 2026 the mekko developers";
const char kTitleVersionLine[] = "Version 1.0.0";

namespace {
// Frame steps of the start-up wait after the first one.
constexpr int32_t kStartUpWaitSteps = 30;
// Space kept between a label and the right edge of the design.
constexpr int32_t kLabelMargin = 10;
}  // namespace

int32_t GameScene_Title::init(Application* app) {
    RefPtr<Graphics> graphics = app->getGraphics();
    offset_ = layoutOffset(app);
    loadBackground(app);
    audio_ = makeSceneAudio(app);
    ads_ = iOS::AdsenseImp::create(app);
    if (audio_) {
        music_ = audio_->createSound(1, "sound/title.wav", 0, true);
        tap_ = audio_->createSound(1, "sound/button_tap.wav", 0, true);
    }
    font_ = FontShadow::create(app, "GenShinGothic-Medium.ttf", 120, 120);
    if (font_) {
        font_->setSize(20);
        copyrightLabel_ = makeTextLabel(graphics.get(), font_.get(), kTitleCopyrightLine);
        versionLabel_ = makeTextLabel(graphics.get(), font_.get(), kTitleVersionLine);
    }
    const uint32_t anchor = Sprite2D::kMiddle;
    achievement_ = Button::create(graphics.get(), offset_ + 160, 760, "title_btn_achievement_off.png",
                                  "title_btn_achievement_on.png", anchor);
    settings_ = Button::create(graphics.get(), offset_ + 290, 760, "title_btn_setting_off.png",
                               "title_btn_setting_on.png", anchor);
    store_ = Button::create(graphics.get(), offset_ + 420, 760, "title_btn_ruvo_off.png", "title_btn_ruvo_on.png",
                            anchor);
    ranking_ = Button::create(graphics.get(), offset_ + 30, 760, "title_btn_ranking_off.png",
                              "title_btn_ranking_on.png", anchor);
    gameStart_ = Button::create(graphics.get(), offset_ + 5, 540, "title_btn_gamestart_off.png",
                                "title_btn_gamestart_on.png", anchor);
    return 1;
}

int32_t GameScene_Title::versionLabelX() const {
    // Our typeface is wider than the one the layout was drawn for: the
    // label moves left as far as it must to stay whole on the screen.
    int32_t x = offset_ + 410;
    if (versionLabel_) {
        const int32_t width = int32_t(versionLabel_->getWidth() / 1.5f + 0.5f);
        const int32_t rightmost = offset_ + kDesignWidth - kLabelMargin - width;
        if (x > rightmost) x = rightmost;
    }
    return x;
}

void GameScene_Title::tapFeedback() { playEffect(data_, tap_); }

void GameScene_Title::stopMusic() {
    if (data_ && data_->musicOn() && music_) music_->stop();
}

void GameScene_Title::startUp(Application* app) {
    waitPending_ = 1;
    if (ads_) ads_->show(kAdInterstitial, true);
    // Lets the host hand the wish over; bounded, so a paused or terminating
    // application cannot hold the title here.
    int32_t left = kStartUpWaitSteps;
    while (app->frameStep(0, true) != kStateActive && left-- != 0) {
    }
    if (!musicStarted_) {
        musicStarted_ = 1;
        startMusic(data_, music_);
    }
}

RefPtr<Scene> GameScene_Title::update(Application* app) {
    if (!waitPending_) startUp(app);

    TouchFrame touches;
    touches.read(app);

    // A muted title never sounds: the resume waits for the music switch.
    if (resume_.countDown()) resumeMusic(data_, music_);

    if (gameStart_ && gameStart_->update(touches)) {
        tapFeedback();
        stopMusic();
        return MekkoMain::create(app, data_);
    }
    if (achievement_ && achievement_->update(touches)) {
        tapFeedback();
        stopMusic();
        return MekkoAchievement::create(app, data_);
    }
    if (ranking_ && ranking_->update(touches)) {
        tapFeedback();
        stopMusic();
        return MekkoRanking::create(app, data_);
    }
    if (store_ && store_->update(touches)) {
        tapFeedback();
        // One bridge per tap, gone once the page is asked for.
        std::unique_ptr<iOS::HttpImp> http(iOS::HttpImp::create(app));
        if (http) http->openURL(kStoreURL);
    }
    if (settings_ && settings_->update(touches)) {
        tapFeedback();
        stopMusic();
        return GameScene_Config::create(app, data_);
    }

    resume_.noteSuspension(app, data_, music_.get());
    if (ads_) {
        ads_->show(kAdTopBanner, true);
        ads_->show(kAdBottomBanner, true);
    }
    invalidate();
    return self();
}

bool GameScene_Title::draw(Application* app, Graphics* graphics) {
    drawBackground(app, graphics);
    if (waitPending_ == 1 && firstDrawDone_ == 0) {
        firstDrawDone_ = 1;
        waitPending_ = 0;
    }
    if (copyrightLabel_) graphics->drawImageScaled(offset_ + 180, 820, copyrightLabel_);
    if (versionLabel_) graphics->drawImageScaled(versionLabelX(), 100, versionLabel_);
    for (Button* b : {gameStart_.get(), achievement_.get(), ranking_.get(), store_.get(), settings_.get()}) {
        if (b) b->draw(graphics, 0, 0);
    }
    return true;
}

SceneRef MekkoTitle::create(Application* app, GameData* data) {
    if (app) app->setName("mekko");
    return makeRef<MekkoTitle>(data);
}

void MekkoTitle::loadBackground(Application* app) {
    RefPtr<Graphics> graphics = app->getGraphics();
    offset_ = layoutOffset(app);
    background_ = Image::load(graphics, "main_bg1.png");
    stage_ = Image::load(graphics, "main_stage.png");
    logo_ = Image::load(graphics, "title_logo.png");
    chest_ = Image::load(graphics, "main_treasure.png");
}

void MekkoTitle::drawBackground(Application*, Graphics* graphics) {
    if (background_) graphics->drawImage(offset_ - 90, 0, background_);
    if (chest_) graphics->drawImage(offset_ + 204, 250, chest_);
    if (stage_) graphics->drawImage(offset_ + 60, 700, stage_);
    graphics->setColor(0.1f, 0.1f, 0.1f, 0.4f);
    graphics->fillRect(0, 0, 640, 1000);
    if (logo_) graphics->drawImage(offset_, 200, logo_);
}

}  // namespace mekko
