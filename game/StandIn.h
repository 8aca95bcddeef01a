// TEMPORARY: a plain screen standing in for a scene not written yet: a
// background, a caption and, on any tap, the next scene.
#pragma once

#include "engine/Application.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

using SceneFactory = SceneRef (*)(KelpaEngine::Application* app, GameData* data);

// With a start button (off and on images) the tap must hit the button.
SceneRef makeStandIn(KelpaEngine::Application* app, GameData* data, const char* caption, SceneFactory next,
                     const char* buttonOff = nullptr, const char* buttonOn = nullptr);

}  // namespace mekko
