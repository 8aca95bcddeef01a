// TEMPORARY stand-in: a caption and a tap back to the title.
#include "game/AchievementScene.h"

#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef MekkoAchievement::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "achievements", &MekkoTitle::create);
}

}  // namespace mekko
