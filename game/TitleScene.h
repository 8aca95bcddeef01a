// The title screen: the hub of the game. Five buttons (start, ranking,
// achievements, settings, the store page of the maker's apps), the title
// music, both banners on every frame and the interstitial once per visit.
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

// The app store's page that lists the maker's apps.
extern const char kStoreURL[];
// The maker's copyright line under the menu.
extern const char kTitleCopyrightLine[];
extern const char kTitleVersionLine[];

class GameScene_Title : public mekko_Scene {
public:
    explicit GameScene_Title(GameData* data) : data_(data) {}
    ~GameScene_Title() override = default;

    int32_t init(KelpaEngine::Application* app) override;
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    // Updates left until the paused title music resumes.
    int32_t resumeCounter() const { return resume_.counter(); }
    bool musicStarted() const { return musicStarted_ != 0; }
    KelpaEngine::Sound* titleMusic() const { return music_.get(); }
    KelpaEngine::Sound* tapSound() const { return tap_.get(); }
    // Where the version label is drawn.
    int32_t versionLabelX() const;

protected:
    virtual void loadBackground(KelpaEngine::Application* app) = 0;
    virtual void drawBackground(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) = 0;

private:
    void tapFeedback();
    void stopMusic();
    // The one-time step on the first update after the first draw.
    void startUp(KelpaEngine::Application* app);

    SuspendWatch resume_;
    int32_t offset_ = 0;
    uint32_t firstDrawDone_ = 0;
    uint8_t waitPending_ = 1;
    uint8_t musicStarted_ = 0;
    KelpaEngine::RefPtr<KelpaEngine::Font> font_;
    KelpaEngine::RefPtr<KelpaEngine::Image> versionLabel_;
    KelpaEngine::RefPtr<KelpaEngine::Image> copyrightLabel_;
    KelpaEngine::RefPtr<Button> achievement_;
    KelpaEngine::RefPtr<Button> settings_;
    KelpaEngine::RefPtr<Button> store_;
    KelpaEngine::RefPtr<Button> ranking_;
    KelpaEngine::RefPtr<Button> gameStart_;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> music_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tap_;
    KelpaEngine::RefPtr<KelpaEngine::Adsense> ads_;
    GameData* data_;
};

// The title with the game's stage behind a dark veil.
class MekkoTitle : public GameScene_Title {
public:
    explicit MekkoTitle(GameData* data) : GameScene_Title(data) {}
    ~MekkoTitle() override = default;

    static SceneRef create(KelpaEngine::Application* app, GameData* data);

protected:
    void loadBackground(KelpaEngine::Application* app) override;
    void drawBackground(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

private:
    int32_t offset_ = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> background_;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage_;
    KelpaEngine::RefPtr<KelpaEngine::Image> logo_;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest_;
};

}  // namespace mekko
