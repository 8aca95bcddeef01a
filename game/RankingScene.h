// The ranking screen: the top-10 rows over the play-field background and a
// back button to the title. It only reads the game data.
#pragma once

#include <cstdint>

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "game/BackScreen.h"
#include "game/GameData.h"
#include "game/SceneKit.h"

namespace mekko {

class GameScene_Ranking : public BackScreen {
public:
    explicit GameScene_Ranking(GameData* data) : BackScreen(data) {}

    int32_t init(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    virtual int32_t buildRows(KelpaEngine::Application* app) = 0;
    virtual int32_t drawRanking(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) = 0;

    KelpaEngine::RefPtr<KelpaEngine::Image> title;
};

class MekkoRanking : public GameScene_Ranking {
public:
    static SceneRef create(KelpaEngine::Application* app, GameData* data);

    explicit MekkoRanking(GameData* data) : GameScene_Ranking(data), data(data) {}

    int32_t buildRows(KelpaEngine::Application* app) override;
    int32_t drawRanking(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    int32_t offset = 0;
    int32_t labelLengths[kRankingRows] = {};
    int32_t textLengths[kRankingRows] = {};
    char labels[kRankingRows][30] = {};
    char texts[kRankingRows][30] = {};
    KelpaEngine::RefPtr<KelpaEngine::Image> background;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest;
    KelpaEngine::RefPtr<KelpaEngine::Image> glyphs[kMediumGlyphs];
    GameData* data;
};

}  // namespace mekko
