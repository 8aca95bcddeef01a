// The figure that walks to and fro on the stage of main play: walking,
// turning, the shake after a hit, walking in place after walking off, the
// fall, the pick-up effects and the value popups. Catches and hits are
// measured against its catch point (x + 20, y + 30).
#pragma once

#include <cstdint>

#include "engine/Application.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"

namespace mekko {

class GameData;

class Player {
public:
    static constexpr int32_t kDownFrames = 30;
    static constexpr int32_t kPopupFrames = 30;
    static constexpr int32_t kPopups = 3;
    static constexpr int32_t kCoinEffects = 2;
    static constexpr int32_t kDollarEffects = 3;

    // Null when the player's pictures cannot be loaded.
    static KelpaEngine::RefPtr<Player> create(KelpaEngine::Application* app, GameData* data);

    Player(KelpaEngine::Application* app, int32_t offset);
    virtual ~Player() = default;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void update();
    void draw(KelpaEngine::Graphics* graphics);

    void setDirection(int32_t dir) { direction = dir ? 1 : 0; }
    void setHold(uint8_t on) { holding = on ? 1 : 0; }
    void knockDown() { hit = 1; }
    void fallOff() { fellOff = 1; }
    void startCoinEffect();
    void showValuePopup(int64_t amount);

    // A pick-up effect: four pictures, five frames each.
    struct Effect {
        int32_t counter = 0;
        int32_t index = 0;
        uint8_t running = 0;
        KelpaEngine::RefPtr<KelpaEngine::Sprite2D> sprite;
    };
    struct Popup {
        int32_t length = 0;
        int32_t x = 0;
        int32_t y = 0;
        int32_t remaining = kPopupFrames;
        uint8_t shown = 0;
        KelpaEngine::RefPtr<KelpaEngine::Image> text;
    };

    int32_t offset;
    int32_t downTimer = kDownFrames;
    int32_t shakeStep = 0;
    float savedX = 0.0f;
    float vy = 0.0f;
    float x;
    float y = 665.0f;
    const float pi = 3.1415915f;
    float spin = 0.0f;
    int32_t direction = 0;  // 0 right, 1 left
    int32_t walkFrame = 0;
    int32_t walkCounter = 0;
    Effect coinEffects[kCoinEffects];
    Effect dollarEffects[kDollarEffects];
    Popup popups[kPopups];
    uint8_t holding = 1;
    uint8_t hit = 0;
    uint8_t fellOff = 0;
    uint8_t falling = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> walkLeft[4];
    KelpaEngine::RefPtr<KelpaEngine::Image> walkRight[4];
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> sprite;
    KelpaEngine::RefPtr<KelpaEngine::Image> coinImages[4];
    KelpaEngine::RefPtr<KelpaEngine::Image> dollarImages[4];
    KelpaEngine::Application* app;
    KelpaEngine::RefPtr<KelpaEngine::Graphics> graphics;
    KelpaEngine::RefPtr<KelpaEngine::Font> font;

private:
    void stepEffect(Effect& e, const KelpaEngine::RefPtr<KelpaEngine::Image>* images);
    void showWalkImage();
    void setRotation();
};

// Puts another picture into a sprite, keeping its position, anchor and
// rotation (the sizes and pivot follow the picture).
void showSpriteImage(KelpaEngine::Sprite2D* sprite, const KelpaEngine::RefPtr<KelpaEngine::Image>& image);

// "$1,000.oo": the popup text of a payment.
int32_t formatPopupText(char* out, size_t size, int64_t amount);

}  // namespace mekko
