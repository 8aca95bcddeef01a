#include "game/SceneKit.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/Texture.h"
#include "game/GameData.h"

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

int32_t formatWithCommas(char* out, size_t size, uint64_t value) {
    if (!out || size == 0) return 0;
    char digits[24];
    int n = std::snprintf(digits, sizeof digits, "%" PRIu64, value);
    char grouped[32];
    int g = 0;
    for (int i = 0; i < n; ++i) {
        grouped[g++] = digits[i];
        int rest = n - 1 - i;
        if (rest > 0 && rest % 3 == 0) grouped[g++] = ',';
    }
    grouped[g] = '\0';
    int written = std::snprintf(out, size, "%s", grouped);
    return written < int(size) ? written : int(size) - 1;
}

int32_t formatMoney(char* out, size_t size, int64_t dollars, int64_t cents) {
    if (!out || size == 0) return 0;
    constexpr int64_t kCap = 999999999999999LL;
    if (dollars < 0) dollars = 0;
    if (cents < 0) cents = 0;
    if (cents > 99) cents = 99;
    if (dollars > kCap) {
        dollars = kCap;
        cents = 99;
    }
    char grouped[32];
    formatWithCommas(grouped, sizeof grouped, uint64_t(dollars));
    int written = std::snprintf(out, size, "$%s.%02d", grouped, int(cents));
    if (written < 0) {
        out[0] = '\0';
        return 0;
    }
    return written < int(size) ? written : int(size) - 1;
}

namespace {

const char* const kMediumNames[kMediumGlyphs] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                                 "colon", "comma", "dollar", "period"};
const char* const kSmallNames[kSmallGlyphs] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                               "comma", "dollar", "period"};

int32_t glyphIndex(GlyphSize size, char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (size == GlyphSize::Medium) {
        switch (c) {
            case ':': return 10;
            case ',': return 11;
            case '$': return 12;
            case '.': return 13;
            default: return -1;
        }
    }
    switch (c) {
        case ',': return 10;
        case '$': return 11;
        case '.': return 12;
        default: return -1;
    }
}

}  // namespace

int32_t loadGlyphs(Graphics* graphics, GlyphSize size, bool withYellow, RefPtr<Image>* out) {
    if (!out) return 0;
    const bool medium = size == GlyphSize::Medium;
    const int32_t n = medium ? kMediumGlyphs : kSmallGlyphs;
    const char* const* names = medium ? kMediumNames : kSmallNames;
    const char* sets[2] = {medium ? "num_m" : "num_s", medium ? "num_y_m" : "num_y_s"};
    int32_t loaded = 0;
    for (int32_t set = 0; set < (withYellow ? 2 : 1); ++set) {
        for (int32_t i = 0; i < n; ++i) {
            char path[64];
            std::snprintf(path, sizeof path, "%s/%s_%s.png", sets[set], sets[set], names[i]);
            out[set * n + i] = Image::load(graphics, path);
            if (out[set * n + i]) ++loaded;
        }
    }
    return loaded;
}

int32_t drawDigitString(Graphics* graphics, const RefPtr<Image>* glyphs, GlyphSize size, bool yellow,
                        const char* text, int32_t right, int32_t y, const DigitLayout& layout) {
    if (!graphics || !glyphs || !text) return right;
    const int32_t setSize = size == GlyphSize::Medium ? kMediumGlyphs : kSmallGlyphs;
    int64_t digits = 0;
    int64_t marks = 0;
    int32_t firstX = right;
    for (size_t i = std::strlen(text); i-- > 0;) {
        char c = text[i];
        int32_t index = glyphIndex(size, c);
        if (index < 0) continue;
        bool digit = c >= '0' && c <= '9';
        int64_t x = int64_t(right) - layout.digitStep * digits - layout.markStep * marks;
        firstX = int32_t(x);
        int64_t drawX = (digit || c == '$') ? x : x + layout.markShift;
        const RefPtr<Image>& glyph = glyphs[index + (yellow ? setSize : 0)];
        if (glyph) graphics->drawImage(int(drawX), y, glyph);
        if (digit) {
            ++digits;
        } else {
            ++marks;
        }
    }
    return firstX;
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

bool SuspendWatch::update(Application* app, GameData* data, Sound* music) {
    if (app && app->getState() == kStatePaused) {
        if (data) data->setInterrupted(1);
        if (music) music->pause();
        counter_ = kResumeFrames;
        return true;
    }
    // The interrupted flag is the scene's to clear (the result screen never does).
    if (counter_ > 0 && --counter_ == 0) resumeMusic(data, music);
    return false;
}

}  // namespace mekko
