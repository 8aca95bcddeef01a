// Where a screen's own audio object comes from: the platform's audio object
// by default; tests install a maker that watches what the screens play.
#pragma once

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Heap.h"

namespace mekko {

using SceneAudioMaker = KelpaEngine::RefPtr<KelpaEngine::Audio> (*)(KelpaEngine::Application* app, void* context);

// Null puts the platform's maker back. The context must outlive its use.
void installSceneAudioMaker(SceneAudioMaker maker, void* context);

// A new audio object with its own output; null only when memory runs out.
KelpaEngine::RefPtr<KelpaEngine::Audio> makeSceneAudio(KelpaEngine::Application* app);

}  // namespace mekko
