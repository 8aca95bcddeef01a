// The staff roll: a still screen of the game's credits under "STAFF".
#pragma once

#include <cstdint>

#include "engine/Adsense.h"
#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

class GameScene_Credit : public mekko_Scene {
public:
    explicit GameScene_Credit(GameData* data) : data_(data) {}
    ~GameScene_Credit() override = default;

    int32_t init(KelpaEngine::Application* app) override;
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    KelpaEngine::Sound* tapSound() const { return tap_.get(); }

protected:
    virtual void loadStaffRoll(KelpaEngine::Application* app) = 0;
    virtual void drawStaffRoll(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) = 0;

private:
    int32_t offset_ = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> staffLabel_;
    KelpaEngine::RefPtr<Button> back_;
    KelpaEngine::RefPtr<KelpaEngine::Font> font_;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tap_;
    KelpaEngine::RefPtr<KelpaEngine::Adsense> ads_;
    GameData* data_;
};

// One line of the roll: its text, its size and its place (x from the left
// edge of the design, before the layout offset).
struct StaffRollLine {
    const char* text;
    int32_t size;
    int32_t x;
    int32_t y;
};
constexpr int32_t kStaffRollLines = 18;
extern const StaffRollLine kStaffRoll[kStaffRollLines];

class MekkoCredit : public GameScene_Credit {
public:
    explicit MekkoCredit(GameData* data) : GameScene_Credit(data) {}
    ~MekkoCredit() override = default;

    static SceneRef create(KelpaEngine::Application* app, GameData* data);

protected:
    void loadStaffRoll(KelpaEngine::Application* app) override;
    void drawStaffRoll(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

private:
    int32_t offset_ = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> background_;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage_;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest_;
    KelpaEngine::RefPtr<KelpaEngine::Image> roll_[kStaffRollLines];
    KelpaEngine::RefPtr<KelpaEngine::Font> font_;
};

}  // namespace mekko
