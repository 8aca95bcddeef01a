// TEMPORARY stand-in: a caption and a tap back to the title.
#include "game/ConfigScene.h"

#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef GameScene_Config::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "settings", &MekkoTitle::create);
}

}  // namespace mekko
