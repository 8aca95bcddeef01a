// The cases every frame bench runs, engine and peers alike.
#pragma once

#include <memory>
#include <vector>

#include "bench/game_scene.h"
#include "bench/scene.h"

namespace bench {

inline std::vector<SceneCase> benchCases() {
    auto sprites = [](int n) -> std::unique_ptr<Scene> { return std::make_unique<SpritesScene>(n); };
    auto game = [](int which) -> std::unique_ptr<Scene> { return std::make_unique<GameScene>(GameFrame(which)); };
    return {
        {"sprites/200", sprites, 200},
        {"sprites/2000", sprites, 2000},
        {"sprites/10000", sprites, 10000},
        {"game/title", game, int(GameFrame::Title), GameScene::window(GameFrame::Title)},
        {"game/bonus", game, int(GameFrame::Bonus), GameScene::window(GameFrame::Bonus)},
        {"game/dumbbells", game, int(GameFrame::Dumbbells), GameScene::window(GameFrame::Dumbbells)},
    };
}

}  // namespace bench
