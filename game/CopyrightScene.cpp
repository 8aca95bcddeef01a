// TEMPORARY stand-in: a caption and a tap back to the title.
#include "game/CopyrightScene.h"

#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef GameScene_Copyright::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "copyright", &MekkoTitle::create);
}

}  // namespace mekko
