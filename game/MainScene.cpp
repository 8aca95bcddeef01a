// TEMPORARY stand-in: a caption and a tap back to the title.
#include "game/MainScene.h"

#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef MekkoMain::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "main play", &MekkoTitle::create);
}

}  // namespace mekko
