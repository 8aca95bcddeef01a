// The achievement screen: the lifetime total and how often each medal was
// won, with a back button to the title. It only reads the game data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "game/BackScreen.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

// A medal count as shown: "%d" below 9999, "9999" from there on (a word
// read from the file may hold anything up to 0xFFFFFFFF).
int32_t formatMedalCount(char* out, size_t size, uint32_t count);
// The lifetime total: "$" with grouped dollars (high x 100,000,000 + low)
// and two cent digits (cents past 99 show as 99).
int32_t formatTotal(char* out, size_t size, uint32_t high, uint32_t low, uint32_t cents);

class GameScene_Achievement : public BackScreen {
public:
    explicit GameScene_Achievement(GameData* data) : BackScreen(data) {}

    int32_t init(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    virtual int32_t loadAchievements(KelpaEngine::Application* app) = 0;
    virtual int32_t drawAchievements(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) = 0;

};

class MekkoAchievement : public GameScene_Achievement {
public:
    static SceneRef create(KelpaEngine::Application* app, GameData* data);

    explicit MekkoAchievement(GameData* data) : GameScene_Achievement(data), data(data) {}

    int32_t loadAchievements(KelpaEngine::Application* app) override;
    int32_t drawAchievements(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    static constexpr int32_t kLargeGlyphs = 13;  // '0'..'9', ',', '$', '.'

    int32_t offset = 0;
    uint32_t totalLength = 0;
    uint32_t medal1Length = 0;
    uint32_t medal2Length = 0;
    uint32_t medal3Length = 0;
    char totalText[30] = "";
    char medal3Text[10] = "";
    char medal1Text[10] = "";
    char medal2Text[10] = "";
    KelpaEngine::RefPtr<KelpaEngine::Image> background;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage;
    KelpaEngine::RefPtr<KelpaEngine::Image> title;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest;
    KelpaEngine::RefPtr<KelpaEngine::Image> totalLabel;
    KelpaEngine::RefPtr<KelpaEngine::Image> medal3Image;
    KelpaEngine::RefPtr<KelpaEngine::Image> medal1Image;
    KelpaEngine::RefPtr<KelpaEngine::Image> medal2Image;
    KelpaEngine::RefPtr<KelpaEngine::Image> mediumGlyphs[kMediumGlyphs];
    KelpaEngine::RefPtr<KelpaEngine::Image> largeGlyphs[kLargeGlyphs];
    KelpaEngine::RefPtr<KelpaEngine::Font> font;
    GameData* data;

private:
    void drawCount(KelpaEngine::Graphics* g, const char* text, int32_t y) const;
};

}  // namespace mekko
