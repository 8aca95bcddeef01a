// TEMPORARY stand-in: a caption and a tap back to the title.
#include "game/RankingScene.h"

#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef MekkoRanking::create(KelpaEngine::Application* app, GameData* data) {
    return makeStandIn(app, data, "ranking", &MekkoTitle::create);
}

}  // namespace mekko
