#include "game/CopyrightScene.h"

#include <cstdint>
#include <string>

#include "engine/AssetReport.h"
#include "engine/FontShadow.h"
#include "engine/Resource.h"
#include "engine/Sprite2D.h"
#include "engine/ios/AdsenseImp.h"
#include "engine/ios/ResourceImp.h"
#include "game/ConfigScene.h"
#include "game/GameData.h"
#include "game/SceneAudio.h"

namespace mekko {

using namespace KelpaEngine;

namespace {

constexpr char kCopyrightFile[] = "copyright.txt";

int32_t clampToInt32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

}  // namespace

void ScrollInertia::reset() {
    velocity = 0;
    sampleCount = 0;
    for (int32_t& h : history) h = 0;
}

int32_t ScrollInertia::addSample(int32_t y) {
    if (sampleCount == 0) last = y;
    for (int32_t i = kHistory - 1; i > 0; --i) history[i] = history[i - 1];
    const int32_t delta = clampToInt32(int64_t(y) - last);
    history[0] = delta;
    if (sampleCount < INT32_MAX) ++sampleCount;
    velocity = delta;
    last = y;
    return delta;
}

int32_t ScrollInertia::release() {
    if (sampleCount >= 1) {
        const int32_t n = sampleCount < kHistory ? sampleCount : kHistory;
        int64_t sum = 0;
        int32_t nonZero = 0;
        for (int32_t i = 0; i < n; ++i) {
            sum += history[i];
            if (history[i] != 0) ++nonZero;
        }
        velocity = nonZero ? clampToInt32(sum / nonZero) : 0;
    }
    sampleCount = 0;
    return velocity;
}

int32_t ScrollInertia::step() {
    const int32_t now = velocity;
    velocity = int32_t(float(velocity) * 0.95f);
    return now;
}

GameScene_Copyright::~GameScene_Copyright() {
    // The lines are the scene's own whichever way it ends (back button or
    // the application terminating on this screen).
    freeLines(&lines_);
}

SceneRef GameScene_Copyright::create(Application*, GameData* data) { return makeRef<GameScene_Copyright>(data); }

int32_t GameScene_Copyright::init(Application* app) {
    offset_ = layoutOffset(app);
    graphics_ = app->getGraphics();
    audio_ = makeSceneAudio(app);
    ads_ = iOS::AdsenseImp::create(app);
    if (audio_) tap_ = audio_->createSound(1, "sound/button_tap.wav", 0, true);
    background_ = Image::load(graphics_, "main_bg1.png");
    stage_ = Image::load(graphics_, "main_stage.png");
    chest_ = Image::load(graphics_, "main_treasure.png");
    font_ = FontShadow::create(app, "GenShinGothic-Medium.ttf", 13, 13);
    back_ = Button::create(graphics_.get(), offset_ + 25, 70, "btn_back_off.png", "btn_back_on.png",
                           Sprite2D::kMiddle);

    // A missing or unreadable notice file leaves an empty viewer, said like any broken asset.
    freeLines(&lines_);
    std::string why;
    if (RefPtr<Resource> text = iOS::ResourceImp::load(app, kCopyrightFile, &why)) {
        if (text->getSize() == 0) {
            reportBrokenAsset(kCopyrightFile, "empty file");
        } else if (splitLines(&lines_, reinterpret_cast<const char*>(text->getData())) < 0) {
            freeLines(&lines_);
            reportBrokenAsset(kCopyrightFile, "out of memory for its lines");
        }
    } else {
        reportBrokenAsset(kCopyrightFile, why.c_str());
    }
    lineImages_ = RefArray<RefPtr<Image>>::make(size_t(lines_.count));
    if (!lineImages_ && lines_.count > 0) freeLines(&lines_);
    maxScroll_ = clampToInt32((int64_t(lines_.count) + 1) * lineHeight_ - kDesignHeight);
    return 1;
}

bool GameScene_Copyright::hasLineImage(int32_t i) const {
    return lineImages_ && i >= 0 && i < lines_.count && lineImages_[size_t(i)];
}

int32_t GameScene_Copyright::renderedLineCount() const {
    int32_t n = 0;
    for (int32_t i = 0; i < lines_.count; ++i) n += hasLineImage(i) ? 1 : 0;
    return n;
}

void GameScene_Copyright::updateWindow() {
    const int32_t count = lines_.count;
    int32_t first = scroll_ / lineHeight_;
    int32_t end = first + kDesignHeight / lineHeight_;
    if (scroll_ < -(lineHeight_ - 1)) first = 0;
    if (first > count) first = count;
    if (end < 0) end = 0;
    if (end > count) end = count;
    first_ = first;
    end_ = end;
}

void GameScene_Copyright::renderVisible() {
    if (!lineImages_ || !font_) return;
    int32_t tries = 0;
    for (int32_t i = first_; i < end_ && tries < kRenderPerUpdate; ++i) {
        RefPtr<Image>& slot = lineImages_[size_t(i)];
        if (slot) continue;
        ++tries;
        slot = makeTextLabel(graphics_.get(), font_.get(), lines_.lines[i]);
    }
}

void GameScene_Copyright::releaseFarLines() {
    if (!lineImages_) return;
    const int64_t low = int64_t(first_) - kKeepMargin;
    const int64_t high = int64_t(end_) + kKeepMargin;
    for (int32_t i = 0; i < lines_.count; ++i) {
        if (i < low || i > high) lineImages_[size_t(i)].reset();
    }
}

RefPtr<Scene> GameScene_Copyright::update(Application* app) {
    TouchFrame touches;
    touches.read(app);
    bool sawDown = false;
    for (int32_t i = 0; i < touches.count; ++i) {
        const TouchRecord& r = touches.records[i];
        if (r.flags & kTouchFlagNewDown) {
            if (r.startY >= 0) inertia_.addSample(r.startY);
            idle_ = 0;
            sawDown = true;
        } else if (r.flags & kTouchFlagMoved) {
            if (inertia_.isTracking()) inertia_.addSample(r.y);
        } else {
            inertia_.release();
        }
    }
    if (!sawDown && idle_ < INT32_MAX) ++idle_;

    scroll_ = clampToInt32(int64_t(scroll_) - inertia_.step());

    if (idle_ >= kSpringIdle) {
        if (scroll_ < 0) scroll_ /= 2;
        if (scroll_ > maxScroll_) scroll_ = clampToInt32(int64_t(maxScroll_) + (int64_t(scroll_) - maxScroll_) / 2);
    }

    updateWindow();
    renderVisible();
    releaseFarLines();

    if (SceneRef next = leaveOnClick(app, data_, back_.get(), touches, tap_.get(), nullptr, &GameScene_Config::create)) {
        freeLines(&lines_);
        return next;
    }
    if (ads_) {
        ads_->show(kAdTopBanner, false);
        ads_->show(kAdBottomBanner, false);
    }
    invalidate();
    return self();
}

bool GameScene_Copyright::draw(Application*, Graphics* graphics) {
    if (background_) graphics->drawImage(offset_ - 90, 0, background_);
    if (stage_) graphics->drawImage(offset_ + 60, 700, stage_);
    if (chest_) graphics->drawImage(offset_ + 204, 250, chest_);
    graphics->setColor(0.1f, 0.1f, 0.1f, 0.4f);
    graphics->fillRect(0, 0, 640, 1000);
    for (int32_t i = first_; i < end_; ++i) {
        if (!hasLineImage(i)) continue;
        const int32_t y = clampToInt32(int64_t(lineHeight_) * i - scroll_);
        graphics->drawImageScaled(offset_ + 2, y, lineImages_[size_t(i)]);
    }
    if (back_) back_->draw(graphics, 0, 0);
    return true;
}

}  // namespace mekko
