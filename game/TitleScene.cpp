// TEMPORARY stand-in: the title background and a start button.
#include "game/TitleScene.h"

#include "game/MainScene.h"
#include "game/StandIn.h"

namespace mekko {

SceneRef MekkoTitle::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "mekko", &MekkoMain::create, "title_btn_gamestart_off.png",
                       "title_btn_gamestart_on.png");
}

}  // namespace mekko
