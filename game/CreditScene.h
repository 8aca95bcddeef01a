// TEMPORARY: the factory of a screen not written yet; it makes a stand-in.
#pragma once

#include "engine/Application.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

class MekkoCredit {
public:
    static SceneRef create(KelpaEngine::Application* app, GameData* data);
};

}  // namespace mekko
