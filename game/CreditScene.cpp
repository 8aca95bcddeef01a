// TEMPORARY stand-in: a caption and a tap back to the title.
#include "game/CreditScene.h"

#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef MekkoCredit::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "staff", &MekkoTitle::create);
}

}  // namespace mekko
