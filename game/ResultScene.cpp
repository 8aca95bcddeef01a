// TEMPORARY stand-in: the last result's money and a tap back to the title.
#include "game/ResultScene.h"

#include "game/GameData.h"
#include "game/StandIn.h"
#include "game/TitleScene.h"

namespace mekko {

SceneRef MekkoResult::create(KelpaEngine::Application* app, GameData* data) {
    char money[kMoneyTextSize] = "";
    if (data) {
        formatMoney(money, sizeof money, moneyFromWords(data->words[kWordLastHigh], data->words[kWordLastLow]),
                    data->words[kWordLastCents]);
    }
    return makeStandIn(app, data, money, &MekkoTitle::create);
}

}  // namespace mekko
