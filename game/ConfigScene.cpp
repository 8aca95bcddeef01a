#include "game/ConfigScene.h"

#include "engine/FontShadow.h"
#include "engine/Sprite2D.h"
#include "engine/ios/AdsenseImp.h"
#include "game/CopyrightScene.h"
#include "game/CreditScene.h"
#include "game/GameData.h"
#include "game/SceneAudio.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

SceneRef GameScene_Config::create(Application*, GameData* data) { return makeRef<GameScene_Config>(data); }

int32_t GameScene_Config::init(Application* app) {
    offset_ = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    audio_ = makeSceneAudio(app);
    ads_ = iOS::AdsenseImp::create(app);
    if (audio_) {
        music_ = audio_->createSound(1, "sound/menu.wav", 0, true);
        tap_ = audio_->createSound(1, "sound/button_tap.wav", 0, true);
    }
    background_ = Image::load(graphics, "main_bg1.png");
    stage_ = Image::load(graphics, "main_stage.png");
    title_ = Image::load(graphics, "config_title.png");
    chest_ = Image::load(graphics, "main_treasure.png");

    font_ = FontShadow::create(app, "GenShinGothic-Medium.ttf", 40, 40);
    if (font_) {
        onLabel_ = makeTextLabel(graphics.get(), font_.get(), "ON");
        offLabel_ = makeTextLabel(graphics.get(), font_.get(), "OFF");
        creditLabel_ = makeTextLabel(graphics.get(), font_.get(), "Credit");
        copyrightLabel_ = makeTextLabel(graphics.get(), font_.get(), "Copyright");
        font_->setSize(50);
        bgmLabel_ = makeTextLabel(graphics.get(), font_.get(), "BGM");
        seLabel_ = makeTextLabel(graphics.get(), font_.get(), "SE");
    }

    const uint32_t anchor = Sprite2D::kMiddle;
    back_ = Button::create(graphics.get(), offset_ + 25, 170, "btn_back_off.png", "btn_back_on.png", anchor);
    for (int i = 0; i < 2; ++i) {
        musicSwitch_[i] =
            Button::create(graphics.get(), offset_ + 270, 390, "btn_frame_m_off.png", "btn_frame_m_on.png", anchor);
        effectsSwitch_[i] =
            Button::create(graphics.get(), offset_ + 270, 510, "btn_frame_m_off.png", "btn_frame_m_on.png", anchor);
    }
    credit_ = Button::create(graphics.get(), offset_ + 70, 630, "btn_frame_l_off.png", "btn_frame_l_on.png", anchor);
    copyright_ =
        Button::create(graphics.get(), offset_ + 70, 750, "btn_frame_l_off.png", "btn_frame_l_on.png", anchor);

    startMusic(data_, music_);
    return 1;
}

void GameScene_Config::tapFeedback() { playEffect(data_, tap_); }

RefPtr<Scene> GameScene_Config::update(Application* app) {
    uint32_t* words = data_->words;
    TouchFrame touches;
    touches.read(app);

    // A tune switched off stays silent through a suspension.
    if (resume_.countDown()) resumeMusic(data_, music_);

    if (SceneRef next = leaveOnClick(app, data_, back_.get(), touches, tap_.get(), music_.get())) return next;

    if (Button* music = musicSwitch_[words[kWordMusicOff] & 1].get(); music && music->update(touches)) {
        tapFeedback();
        words[kWordMusicOff] = ~words[kWordMusicOff] & 1;
        saveGameData(data_, app);
    }
    if (Button* effects = effectsSwitch_[words[kWordEffectsOff] & 1].get(); effects && effects->update(touches)) {
        const uint32_t old = words[kWordEffectsOff];
        words[kWordEffectsOff] = ~old & 1;
        if (old & 1) playEffect(data_, tap_);
        saveGameData(data_, app);
    }
    if (credit_ && credit_->update(touches)) {
        if (music_) music_->stop();
        tapFeedback();
        return MekkoCredit::create(app, data_);
    }
    if (copyright_ && copyright_->update(touches)) {
        if (music_) music_->stop();
        tapFeedback();
        return GameScene_Copyright::create(app, data_);
    }

    if (words[kWordMusicOff] == 1 && music_) music_->stop();
    resume_.noteSuspension(app, data_, music_.get());
    if (app->getState() == kStateActive) {
        data_->setInterrupted(0);
        if (words[kWordMusicOff] == 0 && music_ && !music_->isPlaying()) startMusic(data_, music_);
    }
    if (ads_) {
        ads_->show(kAdTopBanner, true);
        ads_->show(kAdBottomBanner, true);
    }
    invalidate();
    return self();
}

bool GameScene_Config::draw(Application*, Graphics* graphics) {
    const uint32_t* words = data_->words;
    const int32_t o = offset_;
    if (background_) graphics->drawImage(o - 90, 0, background_);
    if (stage_) graphics->drawImage(o + 60, 700, stage_);
    if (chest_) graphics->drawImage(o + 204, 250, chest_);
    graphics->setColor(0.1f, 0.1f, 0.1f, 0.4f);
    graphics->fillRect(0, 0, 640, 1000);
    if (title_) graphics->drawImage(o + 90, 120, title_);
    if (back_) back_->draw(graphics, 0, 0);

    auto drawSwitch = [&](const RefPtr<Button>* pair, uint32_t word, int32_t y, const RefPtr<Image>& name,
                          int32_t nameY) {
        if (Button* b = pair[word & 1].get()) b->draw(graphics, 0, 0);
        if (word != 0) {
            if (offLabel_) graphics->drawImageScaled(o + 335, y, offLabel_);
        } else if (onLabel_) {
            graphics->drawImageScaled(o + 345, y, onLabel_);
        }
        if (name) graphics->drawImageScaled(o + 70, nameY, name);
    };
    drawSwitch(musicSwitch_, words[kWordMusicOff], 355, bgmLabel_, 345);
    drawSwitch(effectsSwitch_, words[kWordEffectsOff], 475, seLabel_, 465);

    if (credit_) credit_->draw(graphics, 0, 0);
    if (creditLabel_) graphics->drawImageScaled(o + 200, 595, creditLabel_);
    if (copyright_) copyright_->draw(graphics, 0, 0);
    if (copyrightLabel_) graphics->drawImageScaled(o + 170, 712, copyrightLabel_);
    return true;
}

}  // namespace mekko
