#include "game/Player.h"

#include <cmath>
#include <cstdio>

#include "engine/FontShadow.h"
#include "game/SceneKit.h"
#include "game/ThrownItems.h"

namespace mekko {

using namespace KelpaEngine;

void showSpriteImage(Sprite2D* sprite, const RefPtr<Image>& image) {
    if (!sprite || !image || sprite->image.get() == image.get()) return;
    sprite->image = image;
    sprite->width = sprite->srcWidth = image->getWidth();
    sprite->height = sprite->srcHeight = image->getHeight();
    sprite->pivotX = sprite->width / 2;
    sprite->pivotY = sprite->height / 2;
}

int32_t formatPopupText(char* out, size_t size, int64_t amount) {
    if (!out || size == 0) return 0;
    char digits[32];
    formatWithCommas(digits, sizeof digits, amount < 0 ? 0u : uint64_t(amount));
    int n = std::snprintf(out, size, "$%s.oo", digits);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return n < int(size) ? n : int(size) - 1;
}

Player::Player(Application* application, int32_t off) : offset(off), x(float(off + 170)), app(application) {}

RefPtr<Player> Player::create(Application* app, GameData*) {
    if (!app) return nullptr;
    RefPtr<Player> p = makeRef<Player>(app, layoutOffset(app));
    if (!p) return nullptr;
    p->graphics = app->getGraphics();
    Graphics* g = p->graphics.get();
    for (int i = 0; i < 4; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "main_player_walk_left_%02d.png", i + 1);
        p->walkLeft[i] = Image::load(g, name);
        std::snprintf(name, sizeof name, "main_player_walk_right_%02d.png", i + 1);
        p->walkRight[i] = Image::load(g, name);
        std::snprintf(name, sizeof name, "eff_coin/eff_coin_%d.png", i + 1);
        p->coinImages[i] = Image::load(g, name);
        std::snprintf(name, sizeof name, "eff_doller/eff_doller_%d.png", i + 1);
        p->dollarImages[i] = Image::load(g, name);
    }
    // Sprites sit at (0, 0) and are drawn shifted to the figure's place.
    if (p->walkLeft[0]) p->sprite = makeRef<Sprite2D>(p->walkLeft[0], Sprite2D::kMiddle);
    if (p->coinImages[0]) p->coinEffects[0].sprite = makeRef<Sprite2D>(p->coinImages[0], Sprite2D::kMiddle);
    if (p->dollarImages[0]) p->dollarEffects[0].sprite = makeRef<Sprite2D>(p->dollarImages[0], Sprite2D::kMiddle);
    p->font = FontShadow::create(app, "GenShinGothic-Medium.ttf", 25, 25);
    if (!p->sprite) return nullptr;
    return p;
}

void Player::showWalkImage() {
    const RefPtr<Image>* set = direction == 1 ? walkLeft : walkRight;
    showSpriteImage(sprite.get(), set[walkFrame & 3]);
}

void Player::setRotation() {
    if (!sprite) return;
    float r = spin * pi;
    sprite->rotation = direction == 1 ? -r : r;
}

void Player::update() {
    ++walkCounter;
    bool fall = false;
    if (holding) {
        showSpriteImage(sprite.get(), walkRight[walkFrame & 3]);
    } else if (hit) {
        if (savedX == 0.0f) savedX = x;
        const int32_t before = downTimer--;
        if (downTimer == 0) falling = 1;
        else if (before <= 21 && downTimer % 2 == 0) {
            static constexpr float kShake[5] = {5.0f, -10.0f, 10.0f, -10.0f, 10.0f};
            if (shakeStep < 5) {
                x += kShake[shakeStep];
            } else {
                x = savedX;
            }
            if (shakeStep < 1000) ++shakeStep;
        }
        fall = true;
    } else if (!fellOff) {
        showWalkImage();
        x += direction == 1 ? -4.5f : 4.5f;
    } else {
        if (--downTimer == 0) {
            falling = 1;
        } else {
            showWalkImage();
            setRotation();
        }
        fall = true;
    }
    if (fall && falling) {
        setRotation();
        spin = float(double(spin) + 0.09);
        y += vy;
        vy += 0.5f;
    }
    // The timer only needs to pass 0 once; keep it from running away.
    if (downTimer < -1000) downTimer = -1000;

    if (walkCounter % (fellOff ? 5 : 12) == 0) {
        walkFrame = (walkFrame + 1) % 4;
        walkCounter = 0;
    }

    for (Effect& e : coinEffects) stepEffect(e, coinImages);
    for (Effect& e : dollarEffects) stepEffect(e, dollarImages);

    for (Popup& p : popups) {
        if (!p.shown) continue;
        if (--p.remaining != 0) {
            --p.y;
        } else {
            p.remaining = kPopupFrames;
            p.shown = 0;
        }
    }
}

void Player::stepEffect(Effect& e, const RefPtr<Image>* images) {
    if (!e.running) return;
    if (++e.counter % 5 == 0) {
        if (e.index == 3) {
            e.index = 0;
            e.running = 0;
        } else {
            ++e.index;
        }
        e.counter = 0;
    }
    showSpriteImage(e.sprite.get(), images[e.index]);
}

void Player::draw(Graphics* g) {
    if (!g) return;
    const int px = truncToInt(x), py = truncToInt(y);
    if (sprite) g->drawSpriteAt(px, py, sprite);
    const int ex = truncToInt(x - 33.0f);
    for (Effect& e : coinEffects) {
        if (e.running && e.sprite) g->drawSpriteAt(ex, py, e.sprite);
    }
    for (Effect& e : dollarEffects) {
        if (e.running && e.sprite) g->drawSpriteAt(ex, py, e.sprite);
    }
    for (Popup& p : popups) {
        if (p.shown && p.text) g->drawImageScaled(p.x, p.y, p.text);
    }
}

void Player::startCoinEffect() {
    if (!coinEffects[0].running) {
        coinEffects[0].running = 1;
    } else if (!coinEffects[1].running) {
        if (coinImages[0]) coinEffects[1].sprite = makeRef<Sprite2D>(coinImages[0], Sprite2D::kMiddle);
        coinEffects[1].running = 1;
    }
}

void Player::showValuePopup(int64_t amount) {
    int slot = -1;
    for (int i = 0; i < kDollarEffects && slot < 0; ++i) {
        if (!dollarEffects[i].running) slot = i;
    }
    if (slot < 0) return;
    char text[48];
    const int32_t length = formatPopupText(text, sizeof text, amount);
    Popup& p = popups[slot];
    p.text = makeTextLabel(graphics.get(), font.get(), text);
    p.length = length;
    p.x = truncToInt(x + 20.0f) - length;
    p.y = truncToInt(y + 30.0f) - 30;
    Effect& e = dollarEffects[slot];
    if (slot > 0 && dollarImages[0]) e.sprite = makeRef<Sprite2D>(dollarImages[0], Sprite2D::kMiddle);
    e.running = 1;
    p.shown = 1;
}

}  // namespace mekko
