// The frames the benches draw. The engine bench and the peer bench make
// the same scene with the engine's pictures and record it with the engine's
// recorder, so both draw the same command stream from the same pixels.
//
// A scene is one more entry in benchCases() (bench/cases.h): a name, an
// argument and a factory. The game's frames (bench/game_scene.h) plug in
// the same way: setUp plays from a fixed seed up to the frames wanted,
// update() advances the game by one frame and record() draws it.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"

namespace bench {

class Scene {
public:
    virtual ~Scene() = default;
    // Builds what the frames draw; false (with a reason) when it cannot.
    virtual bool setUp(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics, std::string* why) = 0;
    // The input of the coming frame (not timed: a player's part).
    virtual void input() {}
    // The game's own work for one frame (timed as "update").
    virtual void update() {}
    // Records one frame.
    virtual void record(KelpaEngine::Graphics* graphics) = 0;
    // After the timed frames: why they were not the frames meant ("" when
    // they were).
    virtual std::string trouble() const { return ""; }
    // Things moving in the frame, for the table (0: not counted).
    virtual double items() const { return 0; }
};

// N rotated 64 x 64 sprites of four pictures sharing one page.
class SpritesScene : public Scene {
public:
    explicit SpritesScene(int count) : count_(count) {}

    bool setUp(KelpaEngine::Application*, KelpaEngine::Graphics* graphics, std::string* why) override {
        using namespace KelpaEngine;
        for (uint32_t k = 0; k < 4; ++k) {
            std::vector<uint8_t> px(64 * 64 * 4);
            for (int y = 0; y < 64; ++y) {
                for (int x = 0; x < 64; ++x) {
                    uint8_t* p = &px[size_t(y * 64 + x) * 4];
                    int dx = x - 32, dy = y - 32;
                    bool inside = dx * dx + dy * dy < 31 * 31;
                    p[0] = uint8_t(k * 60 + x * 2);
                    p[1] = uint8_t(255 - y * 3);
                    p[2] = uint8_t((x ^ y) * 4);
                    p[3] = inside ? 255 : (dx * dx + dy * dy < 32 * 32 ? 128 : 0);
                }
            }
            RefPtr<Texture> t = Texture::create(graphics, 64, 64);
            if (!t) {
                *why = "no texture page";
                return false;
            }
            t->update(px.data());
            pictures_.push_back(Image::fromTexture(t));
        }
        for (int i = 0; i < count_; ++i) {
            RefPtr<Sprite2D> s = makeRef<Sprite2D>((i * 37) % 540, (i * 53) % 960, pictures_[size_t(i % 4)], 0x11u);
            if (!s) {
                *why = "no sprite";
                return false;
            }
            s->rotation = float(i) * 0.1f;
            sprites_.push_back(s);
        }
        return true;
    }

    void update() override {
        // Every sprite turns a little each frame.
        for (auto& s : sprites_) s->rotation += 0.01f;
    }

    void record(KelpaEngine::Graphics* graphics) override {
        graphics->beginFrame();
        graphics->setLayer(0);
        for (auto& s : sprites_) graphics->drawSprite(s.get());
        graphics->endFrame();
    }

private:
    int count_;
    std::vector<KelpaEngine::RefPtr<KelpaEngine::Image>> pictures_;
    std::vector<KelpaEngine::RefPtr<KelpaEngine::Sprite2D>> sprites_;
};

struct SceneCase {
    std::string name;  // as it shows in the table
    std::unique_ptr<Scene> (*make)(int arg);
    int arg;
    int frames = 0;  // frames timed; 0 lets the benchmark library choose
};

// Frame size of every bench: the 375 x 667-point phone at two pixels a point.
constexpr int kFrameWidth = 750;
constexpr int kFrameHeight = 1334;

}  // namespace bench
