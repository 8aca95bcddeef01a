// What every screen of the game shares: the scene base, the layout offset,
// the two-image touch button, the way back to the title, text labels, and
// the habits for music, effects and suspension; and, from MoneyText.h, the
// money text and the money drawn with picture glyphs.
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
#include "game/MoneyText.h"

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

// A screen factory, as every screen has one.
using SceneFactory = SceneRef (*)(KelpaEngine::Application* app, GameData* data);

// The way back out of a screen (its back button, the result's Main Menu):
// when the button reports a click, the screen's music stops, the tap
// sounds (while effects are on) and the next screen is made: the title,
// or what next makes. Null while there is no click.
SceneRef leaveOnClick(KelpaEngine::Application* app, GameData* data, Button* button, const TouchFrame& touches,
                      KelpaEngine::Sound* tap, KelpaEngine::Sound* music, SceneFactory next = nullptr);

// The text rendered with the font into a new image, 1.5 times its drawn size
// (draw it with drawImageScaled). Null when the text cannot be rendered.
KelpaEngine::RefPtr<KelpaEngine::Image> makeTextLabel(KelpaEngine::Graphics* graphics, KelpaEngine::Font* font,
                                                      const char* text);

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
// the scene. A scene that looks at the state and counts down at different
// points of its update uses the two halves, `noteSuspension` and `countDown`.
class SuspendWatch {
public:
    static constexpr int32_t kResumeFrames = 10;
    // True while the application is suspended.
    bool update(KelpaEngine::Application* app, GameData* data, KelpaEngine::Sound* music);
    bool update(KelpaEngine::Application* app, GameData* data, const KelpaEngine::RefPtr<KelpaEngine::Sound>& music) {
        return update(app, data, music.get());
    }
    // While the state is 1: the flag set, the music paused, the count
    // started again. True while the application is suspended.
    bool noteSuspension(KelpaEngine::Application* app, GameData* data, KelpaEngine::Sound* music);
    // Starts the count without a suspension (main play's pause panel).
    void arm() { counter_ = kResumeFrames; }
    // One update counted; true on the update the music is due to resume.
    bool countDown() { return counter_ > 0 && --counter_ == 0; }
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
