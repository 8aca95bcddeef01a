// The game's entry point, run once on the game thread with the application.
//
// TEMPORARY: until the game itself is written, this runs one placeholder
// scene (a clear colour, the title background and logo, and a marker where
// the screen was last touched) until the application terminates. The real
// game entry replaces this file.
#pragma once

#include <cstdint>

#include "engine/Application.h"
#include "engine/Heap.h"

namespace mekko {

int gameEntry(KelpaEngine::RefPtr<KelpaEngine::Application> app);

// The placeholder's colours, as 0xRRGGBB, for checks of what it shows.
constexpr uint32_t kPlaceholderClearColour = 0x1e3c78;
constexpr uint32_t kPlaceholderMarkerDown = 0xffd400;  // while held
constexpr uint32_t kPlaceholderMarkerUp = 0xff00ff;    // after the release
constexpr int32_t kPlaceholderMarkerSize = 40;         // design units a side

}  // namespace mekko
