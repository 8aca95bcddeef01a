#include "game/SceneAudio.h"

#include "engine/ios/AudioImp.h"

namespace mekko {

namespace {
SceneAudioMaker gMaker = nullptr;
void* gContext = nullptr;
}  // namespace

void installSceneAudioMaker(SceneAudioMaker maker, void* context) {
    gMaker = maker;
    gContext = maker ? context : nullptr;
}

KelpaEngine::RefPtr<KelpaEngine::Audio> makeSceneAudio(KelpaEngine::Application* app) {
    if (gMaker) return gMaker(app, gContext);
    return KelpaEngine::iOS::AudioImp::create(app);
}

}  // namespace mekko
