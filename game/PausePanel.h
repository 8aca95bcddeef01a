// The modal pause menu over main play.
#pragma once

#include <cstdint>

#include "engine/Application.h"
#include "engine/Scene.h"

namespace mekko {

class GameData;

constexpr int32_t kPauseRestart = 1;
constexpr int32_t kPauseMainMenu = 0;
constexpr int32_t kPauseResume = -1;

// Runs its own frames until a choice: 1 Restart, 0 Main Menu, -1 Resume
// (also when the application terminates). The calling scene is drawn under
// the panel.
int32_t showPausePanel(KelpaEngine::Application* app, GameData* data, KelpaEngine::Scene* caller);

}  // namespace mekko
