// What the chest throws: coins, dollar bills (and the bonus-trigger
// jewel), jewels and dumbbells. Each flies from its start place with its
// own horizontal speed and falls with a random pull each frame.
#pragma once

#include <cstdint>

#include "engine/Application.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"

namespace mekko {

class ThrownItem {
public:
    virtual ~ThrownItem() = default;
    ThrownItem(const ThrownItem&) = delete;
    ThrownItem& operator=(const ThrownItem&) = delete;

    virtual void update();
    virtual void draw(KelpaEngine::Graphics* graphics);

    int32_t offset = 0;
    float x = 0.0f;
    float y = 0.0f;
    float vy = 0.0f;
    float vx = 0.0f;
    KelpaEngine::RefPtr<KelpaEngine::Image> image;

protected:
    ThrownItem() = default;
    // Loads the picture and places the item; false without the picture.
    bool setUp(KelpaEngine::Application* app, const char* imageName, float x, float y, float vy, float vx);
};

class FallingCoin : public ThrownItem {
public:
    static KelpaEngine::RefPtr<FallingCoin> create(KelpaEngine::Application* app, uint8_t bonus, float vx);
};

class FallingDollar : public ThrownItem {
public:
    static KelpaEngine::RefPtr<FallingDollar> create(KelpaEngine::Application* app, int32_t jewel, float vx);
    int32_t jewel = 0;  // 0 a bill, 1 the bonus-trigger jewel
};

class FallingJewel : public ThrownItem {
public:
    static KelpaEngine::RefPtr<FallingJewel> create(KelpaEngine::Application* app, int32_t kind, float vx);
    int32_t kind = 0;  // 0 a bonus jewel, 1 a big jewel
};

class FallingDumbbell : public ThrownItem {
public:
    static KelpaEngine::RefPtr<FallingDumbbell> create(KelpaEngine::Application* app, float vx);
    void update() override;
    void draw(KelpaEngine::Graphics* graphics) override;

    const float pi = 3.14159f;
    float angle = 0.0f;  // in half turns
    int32_t direction = 0;
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> sprite;

private:
    void turnSprite();
};

// x or y as a draw call takes it: truncated, kept in range.
int32_t truncToInt(float v);

}  // namespace mekko
