#include "game/CreditScene.h"

#include "engine/FontShadow.h"
#include "engine/Sprite2D.h"
#include "engine/ios/AdsenseImp.h"
#include "game/ConfigScene.h"
#include "game/GameData.h"
#include "game/SceneAudio.h"

namespace mekko {

using namespace KelpaEngine;

namespace {
constexpr int32_t kHeading = 35;
constexpr int32_t kEntry = 25;
}  // namespace

const StaffRollLine kStaffRoll[kStaffRollLines] = {
    {"-Producer-", kHeading, 170, 110},
    {"Haruka Mori", kEntry, 170, 160},
    {"-Director/Planner-", kHeading, 115, 210},
    {"Kenji Asano", kEntry, 150, 260},
    {"-Programmer-", kHeading, 145, 310},
    {"Yuto Sakai", kEntry, 170, 360},
    {"-Graphic Artists-", kHeading, 130, 410},
    {"Mariko Tanabe", kEntry, 105, 460},
    {"Leon Hartmann", kEntry, 110, 490},
    {"-Sound-", kHeading, 190, 540},
    {"Ayumi Kobayashi", kEntry, 150, 590},
    {"-Special Thanks-", kHeading, 125, 640},
    {"DejaVu Fonts", kEntry, 175, 690},
    {"FreeType", kEntry, 185, 720},
    {"OpenAL Soft", kEntry, 160, 750},
    {"libpng", kEntry, 190, 780},
    {"libcurl", kEntry, 189, 810},
    {"zlib", kEntry, 195, 840},
};

int32_t GameScene_Credit::init(Application* app) {
    offset_ = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    audio_ = makeSceneAudio(app);
    ads_ = iOS::AdsenseImp::create(app);
    loadStaffRoll(app);
    if (audio_) tap_ = audio_->createSound(1, "sound/button_tap.wav", 0, true);
    font_ = FontShadow::create(app, "GenShinGothic-Medium.ttf", 25, 25);
    if (font_) {
        font_->setSize(60);
        staffLabel_ = makeTextLabel(graphics.get(), font_.get(), "STAFF");
    }
    back_ = Button::create(graphics.get(), offset_ + 25, 70, "btn_back_off.png", "btn_back_on.png",
                           Sprite2D::kMiddle);
    return 1;
}

RefPtr<Scene> GameScene_Credit::update(Application* app) {
    TouchFrame touches;
    touches.read(app);
    if (SceneRef next = leaveOnClick(app, data_, back_.get(), touches, tap_.get(), nullptr, &GameScene_Config::create)) {
        return next;
    }
    if (ads_) {
        ads_->show(kAdTopBanner, false);
        ads_->show(kAdBottomBanner, false);
    }
    invalidate();
    return self();
}

bool GameScene_Credit::draw(Application* app, Graphics* graphics) {
    drawStaffRoll(app, graphics);
    if (staffLabel_) graphics->drawImageScaled(offset_ + 170, 20, staffLabel_);
    if (back_) back_->draw(graphics, 0, 0);
    return true;
}

SceneRef MekkoCredit::create(Application* app, GameData* data) {
    if (app) app->setName("mekko");
    return makeRef<MekkoCredit>(data);
}

void MekkoCredit::loadStaffRoll(Application* app) {
    offset_ = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    font_ = FontShadow::create(app, "GenShinGothic-Medium.ttf", 25, 25);
    background_ = Image::load(graphics, "main_bg1.png");
    stage_ = Image::load(graphics, "main_stage.png");
    chest_ = Image::load(graphics, "main_treasure.png");
    if (!font_) return;
    // Headings first, then the entries, so the font changes size once.
    for (int32_t size : {kHeading, kEntry}) {
        font_->setSize(size);
        for (int32_t i = 0; i < kStaffRollLines; ++i) {
            if (kStaffRoll[i].size == size) roll_[i] = makeTextLabel(graphics.get(), font_.get(), kStaffRoll[i].text);
        }
    }
}

void MekkoCredit::drawStaffRoll(Application*, Graphics* graphics) {
    if (background_) graphics->drawImage(offset_ - 90, 0, background_);
    if (stage_) graphics->drawImage(offset_ + 60, 700, stage_);
    if (chest_) graphics->drawImage(offset_ + 204, 250, chest_);
    graphics->setColor(0.1f, 0.1f, 0.1f, 0.4f);
    graphics->fillRect(0, 0, 640, 1000);
    for (int32_t i = 0; i < kStaffRollLines; ++i) {
        if (roll_[i]) graphics->drawImageScaled(offset_ + kStaffRoll[i].x, kStaffRoll[i].y, roll_[i]);
    }
}

}  // namespace mekko
