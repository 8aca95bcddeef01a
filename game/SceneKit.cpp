#include "game/SceneKit.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/Texture.h"
#include "game/GameData.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

int32_t layoutOffset(int32_t screenWidth, int32_t screenHeight) {
    if (screenHeight < 568) return 50;
    if (screenHeight != 0 && float(screenWidth) / float(screenHeight) == 0.75f) return 50;
    return 0;
}

int32_t layoutOffset(const Application* app) {
    if (!app) return 0;
    return layoutOffset(app->getScreenWidth(), app->getScreenHeight());
}

void TouchFrame::read(Application* app) {
    count = 0;
    RefPtr<Pointing> pointing = app ? app->getPointing() : RefPtr<Pointing>();
    if (!pointing) return;
    int32_t n = pointing->getCount();
    if (n < 0) n = 0;
    if (n > kTouchRecordCapacity) n = kTouchRecordCapacity;
    if (n > 0 && pointing->getTouches(records, n)) count = n;
}

Button::Button(Graphics* graphics, int32_t x, int32_t y, const char* offImage, const char* onImage, uint32_t anchor)
    : offSprite(Sprite2D::create(graphics, x, y, offImage, anchor)),
      onSprite(Sprite2D::create(graphics, x, y, onImage, anchor)) {}

RefPtr<Button> Button::create(Graphics* graphics, int32_t x, int32_t y, const char* offImage, const char* onImage,
                              uint32_t anchor) {
    return makeRef<Button>(graphics, x, y, offImage, onImage, anchor);
}

bool Button::hit(const TouchRecord& r, int32_t dx, int32_t dy) const {
    if (!offSprite) return false;
    int64_t px = int64_t(r.x) - dx;
    int64_t py = int64_t(r.y) - dy;
    if (px < INT32_MIN || px > INT32_MAX || py < INT32_MIN || py > INT32_MAX) return false;
    return offSprite->hitTest(int32_t(px), int32_t(py));
}

int32_t Button::update(const TouchRecord* records, int32_t count, int32_t dx, int32_t dy) {
    bool clicked = false;
    for (int32_t i = 0; records && i < count; ++i) {
        const TouchRecord& r = records[i];
        if (r.flags & kTouchFlagNewDown) {
            if (hit(r, dx, dy)) {
                pressed = 1;
                inside = 1;
            }
        } else if (r.flags & kTouchFlagUp) {
            if (pressed && inside && hit(r, dx, dy)) clicked = true;
            pressed = 0;
        } else {
            inside = hit(r, dx, dy) ? 1 : 0;
        }
    }
    if (!clicked) return 0;
    pressed = 0;
    inside = 0;
    return 1;
}

int32_t Button::anyTouchInside(const TouchRecord* records, int32_t count, int32_t dx, int32_t dy) const {
    for (int32_t i = 0; records && i < count; ++i) {
        if ((records[i].flags & kTouchFlagNewDown) && hit(records[i], dx, dy)) return 1;
    }
    return 0;
}

void Button::draw(Graphics* graphics, int32_t dx, int32_t dy) {
    if (!graphics) return;
    Sprite2D* s = (pressed && inside && onSprite) ? onSprite.get() : offSprite.get();
    if (s) graphics->drawSpriteAt(dx, dy, s);
}

SceneRef leaveOnClick(Application* app, GameData* data, Button* button, const TouchFrame& touches, Sound* tap,
                     Sound* music, SceneFactory next) {
    if (!button || !button->update(touches)) return nullptr;
    if (music) music->stop();
    playEffect(data, tap);
    return next ? next(app, data) : MekkoTitle::create(app, data);
}

RefPtr<Image> makeTextLabel(Graphics* graphics, Font* font, const char* text) {
    if (!graphics || !font || !text) return nullptr;
    FontExtent extent{0, 0};
    font->measure(&extent, text, 1);
    if (extent.width < 1 || extent.height < 1) return nullptr;
    RefPtr<Texture> texture = Texture::create(graphics, extent.width, extent.height);
    if (!texture) return nullptr;
    RefPtr<Image> image = Image::fromTexture(texture);
    if (!image) return nullptr;
    uint64_t bytes = uint64_t(extent.width) * uint64_t(extent.height) * 4u;
    auto* buffer = new (std::nothrow) uint8_t[bytes]();
    if (!buffer) return nullptr;
    font->render(buffer, extent.width * 4, text, 0, 0, 1);
    texture->update(buffer);
    delete[] buffer;
    return image;
}

void startMusic(const GameData* data, Sound* music) {
    if (data && music && data->musicOn()) music->play(kSoundKindMusic, -1);
}

void playEffect(const GameData* data, Sound* effect) {
    if (!data || !effect || !data->effectsOn()) return;
    effect->stop();
    effect->play(kSoundKindEffect, 0);
}

void resumeMusic(const GameData* data, Sound* music) {
    if (data && music && data->musicOn()) music->resume();
}

bool SuspendWatch::noteSuspension(Application* app, GameData* data, Sound* music) {
    if (!app || app->getState() != kStatePaused) return false;
    if (data) data->setInterrupted(1);
    if (music) music->pause();
    arm();
    return true;
}

bool SuspendWatch::update(Application* app, GameData* data, Sound* music) {
    if (noteSuspension(app, data, music)) return true;
    // The interrupted flag is the scene's to clear (the result screen never does).
    if (countDown()) resumeMusic(data, music);
    return false;
}

}  // namespace mekko
