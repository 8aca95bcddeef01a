// The game's entry: builds the game data record, loads the save file and
// the spawn tables, and runs the scenes from the title until the
// application terminates.
#pragma once

#include "engine/Application.h"
#include "engine/Heap.h"

namespace mekko {
class GameData;

// Fills a new record the way the entry does (graphics, touch input, font,
// save file, tables), for the entry and for tests that run scenes.
void prepareGameData(GameData* data, const KelpaEngine::RefPtr<KelpaEngine::Application>& app);
}  // namespace mekko

// Runs once on the game thread; returns 0 when the scene runner has returned.
int mekkoGameEntry(KelpaEngine::RefPtr<KelpaEngine::Application> app);
