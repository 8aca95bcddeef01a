// The settings screen: music and sound effects on or off (saved at once),
// and the way to the staff roll and the copyright viewer.
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

class GameScene_Config : public mekko_Scene {
public:
    explicit GameScene_Config(GameData* data) : data_(data) {}
    ~GameScene_Config() override = default;

    static SceneRef create(KelpaEngine::Application* app, GameData* data);

    int32_t init(KelpaEngine::Application* app) override;
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    int32_t resumeCounter() const { return resume_.counter(); }
    KelpaEngine::Sound* menuMusic() const { return music_.get(); }
    KelpaEngine::Sound* tapSound() const { return tap_.get(); }

private:
    void tapFeedback();

    SuspendWatch resume_;
    int32_t offset_ = 0;
    KelpaEngine::RefPtr<KelpaEngine::Font> font_;
    KelpaEngine::RefPtr<KelpaEngine::Image> background_;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage_;
    KelpaEngine::RefPtr<KelpaEngine::Image> title_;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest_;
    KelpaEngine::RefPtr<KelpaEngine::Image> onLabel_;
    KelpaEngine::RefPtr<KelpaEngine::Image> offLabel_;
    KelpaEngine::RefPtr<KelpaEngine::Image> creditLabel_;
    KelpaEngine::RefPtr<KelpaEngine::Image> copyrightLabel_;
    KelpaEngine::RefPtr<KelpaEngine::Image> bgmLabel_;
    KelpaEngine::RefPtr<KelpaEngine::Image> seLabel_;
    KelpaEngine::RefPtr<Button> back_;
    KelpaEngine::RefPtr<Button> copyright_;
    KelpaEngine::RefPtr<Button> credit_;
    // Index 0 is tested and drawn while the switch is on, 1 while it is off.
    KelpaEngine::RefPtr<Button> musicSwitch_[2];
    KelpaEngine::RefPtr<Button> effectsSwitch_[2];
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio_;
    KelpaEngine::RefPtr<KelpaEngine::Adsense> ads_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> music_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tap_;
    GameData* data_;
};

}  // namespace mekko
