#include "game/ThrownItems.h"

#include "game/GameEnv.h"
#include "game/SceneKit.h"

namespace mekko {

using namespace KelpaEngine;

int32_t truncToInt(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483520.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return int32_t(v);
}

bool ThrownItem::setUp(Application* app, const char* imageName, float x0, float y0, float vy0, float vx0) {
    RefPtr<Graphics> g = app ? app->getGraphics() : RefPtr<Graphics>();
    image = Image::load(g, imageName);
    if (!image) return false;
    offset = layoutOffset(app);
    x = float(offset) + x0;
    y = y0;
    vy = vy0;
    vx = vx0;
    return true;
}

void ThrownItem::update() {
    x += vx;
    y += vy;
    vy = float(double(vy) + gameRandBelow(10) * 0.1);
}

void ThrownItem::draw(Graphics* g) {
    if (g && image) g->drawImage(truncToInt(x), truncToInt(y), image);
}

RefPtr<FallingCoin> FallingCoin::create(Application* app, uint8_t, float vx) {
    RefPtr<FallingCoin> c = makeRef<FallingCoin>();
    if (!c) return nullptr;
    const float spread = float(gameRandBelow(31) - 15);
    if (!c->setUp(app, "main_coin.png", 254.0f + spread, 300.0f, -10.0f, vx)) return nullptr;
    return c;
}

RefPtr<FallingDollar> FallingDollar::create(Application* app, int32_t jewel, float vx) {
    RefPtr<FallingDollar> d = makeRef<FallingDollar>();
    if (!d) return nullptr;
    d->jewel = jewel ? 1 : 0;
    if (!d->setUp(app, jewel ? "main_jewel1.png" : "main_doller.png", jewel ? 240.0f : 239.0f, 250.0f, -10.0f, vx)) {
        return nullptr;
    }
    return d;
}

RefPtr<FallingJewel> FallingJewel::create(Application* app, int32_t kind, float vx) {
    RefPtr<FallingJewel> j = makeRef<FallingJewel>();
    if (!j) return nullptr;
    j->kind = kind ? 1 : 0;
    if (!j->setUp(app, kind ? "main_jewel3.png" : "main_jewel2.png", kind ? 235.0f : 242.0f, 250.0f, -10.0f, vx)) {
        return nullptr;
    }
    return j;
}

RefPtr<FallingDumbbell> FallingDumbbell::create(Application* app, float vx) {
    RefPtr<FallingDumbbell> d = makeRef<FallingDumbbell>();
    if (!d) return nullptr;
    if (!d->setUp(app, "main_dumbbell.png", 236.0f, 250.0f, -5.0f, vx)) return nullptr;
    d->direction = gameRandBelow(2);
    d->angle = float(0.5 + gameRandBelow(10) * 0.1);
    // Drawn shifted to the item's place: left edge at x, vertical middle at y.
    d->sprite = makeRef<Sprite2D>(d->image, Sprite2D::kMiddle);
    if (!d->sprite) return nullptr;
    d->turnSprite();
    return d;
}

void FallingDumbbell::turnSprite() {
    const float r = angle * pi;
    sprite->rotation = direction == 1 ? -r : r;
}

void FallingDumbbell::update() {
    x += vx;
    y += vy;
    vy = float(double(vy) + gameRandBelow(10) * 0.05);
    angle = float(double(angle) + 0.05);
    turnSprite();
}

void FallingDumbbell::draw(Graphics* g) {
    if (g && sprite) g->drawSpriteAt(truncToInt(x), truncToInt(y), sprite);
}

}  // namespace mekko
