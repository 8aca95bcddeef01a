// What every screen of the game shares: the scene base, the layout offset,
// the two-image touch button, text labels, the money text and the money
// drawn with picture glyphs, and the habits for music, effects and
// suspension.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Application.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Pointing.h"
#include "engine/Scene.h"
#include "engine/Sound.h"
#include "engine/Sprite2D.h"

namespace mekko {

class GameData;

// The base of every game scene; adds nothing.
class mekko_Scene : public KelpaEngine::Scene {};

// A scene factory's answer: the runner ends up holding the only reference.
using SceneRef = KelpaEngine::RefPtr<KelpaEngine::Scene>;

// 50 when the screen (in points) is below 568 high or exactly 4:3, else 0:
// the 540-wide design then stays centred in a 640-wide drawing space.
int32_t layoutOffset(int32_t screenWidth, int32_t screenHeight);
int32_t layoutOffset(const KelpaEngine::Application* app);

// The frame's touch records, read once per update.
struct TouchFrame {
    KelpaEngine::TouchRecord records[KelpaEngine::kTouchRecordCapacity];
    int32_t count = 0;
    // Reads (and so consumes) the application's records of this frame.
    void read(KelpaEngine::Application* app);
};

// A touch button of two images at one position: the off image, and the on
// image while a touch that went down on it is over it.
class Button {
public:
    Button(KelpaEngine::Graphics* graphics, int32_t x, int32_t y, const char* offImage, const char* onImage,
           uint32_t anchor);
    virtual ~Button() = default;
    Button(const Button&) = delete;
    Button& operator=(const Button&) = delete;

    static KelpaEngine::RefPtr<Button> create(KelpaEngine::Graphics* graphics, int32_t x, int32_t y,
                                              const char* offImage, const char* onImage, uint32_t anchor);

    // 1 when the button was clicked this frame (down on it, released on it).
    int32_t update(const KelpaEngine::TouchRecord* records, int32_t count, int32_t dx, int32_t dy);
    int32_t update(const TouchFrame& frame, int32_t dx = 0, int32_t dy = 0) {
        return update(frame.records, frame.count, dx, dy);
    }
    // 1 when a touch went down on the button this frame; changes nothing.
    int32_t anyTouchInside(const KelpaEngine::TouchRecord* records, int32_t count, int32_t dx, int32_t dy) const;
    int32_t anyTouchInside(const TouchFrame& frame, int32_t dx = 0, int32_t dy = 0) const {
        return anyTouchInside(frame.records, frame.count, dx, dy);
    }
    void draw(KelpaEngine::Graphics* graphics, int32_t dx, int32_t dy);

    uint8_t pressed = 0;
    uint8_t inside = 0;
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> offSprite;
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> onSprite;

private:
    bool hit(const KelpaEngine::TouchRecord& r, int32_t dx, int32_t dy) const;
};

// The text rendered with the font into a new image, 1.5 times its drawn size
// (draw it with drawImageScaled). Null when the text cannot be rendered.
KelpaEngine::RefPtr<KelpaEngine::Image> makeTextLabel(KelpaEngine::Graphics* graphics, KelpaEngine::Font* font,
                                                      const char* text);

// The longest money text, "$999,999,999,999,999.99", and its terminator.
constexpr size_t kMoneyTextSize = 24;

// Decimal digits of value with a comma before every group of three.
// Writes at most size bytes, always terminated; returns the length written.
int32_t formatWithCommas(char* out, size_t size, uint64_t value);

// "$1,234,567.05": dollars capped at 999,999,999,999,999 (the cents then
// show 99); negative dollars count as 0 and cents are kept within 0 to 99.
// Returns the length written (at most size - 1).
int32_t formatMoney(char* out, size_t size, int64_t dollars, int64_t cents);

// Picture glyph sets for money texts.
enum class GlyphSize { Medium, Small };
// Medium: 14 images a colour ('0'..'9', ':', ',', '$', '.'); small: 13
// ('0'..'9', ',', '$', '.'). With both colours the yellow set follows the
// white one.
constexpr int32_t kMediumGlyphs = 14;
constexpr int32_t kSmallGlyphs = 13;
// Loads the white set, then with withYellow the yellow one after it, into
// out (room for 28 medium or 26 small); returns the count loaded in place.
int32_t loadGlyphs(KelpaEngine::Graphics* graphics, GlyphSize size, bool withYellow,
                   KelpaEngine::RefPtr<KelpaEngine::Image>* out);

struct DigitLayout {
    int32_t digitStep;
    int32_t markStep;
    int32_t markShift;
};
constexpr DigitLayout kSmallDigits{13, 7, 6};
constexpr DigitLayout kMediumDigits{21, 11, 10};

// Draws text right-aligned at right with the glyph set (yellow adds the
// set's size to the index); characters without a glyph are skipped.
// Returns the x of the first character's glyph (right when none is drawn).
int32_t drawDigitString(KelpaEngine::Graphics* graphics, const KelpaEngine::RefPtr<KelpaEngine::Image>* glyphs,
                        GlyphSize size, bool yellow, const char* text, int32_t right, int32_t y,
                        const DigitLayout& layout);

// The sound habits: music (kind 1, looping forever) only while music is
// on, an effect (kind 2, once, restarted) only while effects are on.
void startMusic(const GameData* data, KelpaEngine::Sound* music);
void playEffect(const GameData* data, KelpaEngine::Sound* effect);
inline void startMusic(const GameData* data, const KelpaEngine::RefPtr<KelpaEngine::Sound>& music) {
    startMusic(data, music.get());
}
inline void playEffect(const GameData* data, const KelpaEngine::RefPtr<KelpaEngine::Sound>& effect) {
    playEffect(data, effect.get());
}

// The suspension habit of a scene's update: while the application state is
// 1 the interrupted flag is set, the music paused and a counter set to 10;
// 10 updates after the state is 0 again the music resumes (only while
// music is on, so a muted tune never sounds). Clearing the flag is left to
// the scene.
class SuspendWatch {
public:
    static constexpr int32_t kResumeFrames = 10;
    // True while the application is suspended.
    bool update(KelpaEngine::Application* app, GameData* data, KelpaEngine::Sound* music);
    bool update(KelpaEngine::Application* app, GameData* data, const KelpaEngine::RefPtr<KelpaEngine::Sound>& music) {
        return update(app, data, music.get());
    }
    int32_t counter() const { return counter_; }

private:
    int32_t counter_ = 0;
};

// Resumes a paused tune only while music is on.
void resumeMusic(const GameData* data, KelpaEngine::Sound* music);
inline void resumeMusic(const GameData* data, const KelpaEngine::RefPtr<KelpaEngine::Sound>& music) {
    resumeMusic(data, music.get());
}

}  // namespace mekko
