// What the ranking and achievement screens share: their own audio with the
// menu tune and the tap, a back button to the title, and one update that
// keeps the tune playing through suspensions.
#pragma once

#include <cstdint>

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Sound.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

class BackScreen : public mekko_Scene {
public:
    explicit BackScreen(GameData* data) : data(data) {}

    // Leaves for the title on a click of the back button; otherwise pauses
    // while suspended, resumes 10 updates later only while music is on, and
    // in the active state starts a tune that is not playing.
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;

    SuspendWatch suspension;
    int32_t offset = 0;
    KelpaEngine::RefPtr<Button> backButton;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio;
    KelpaEngine::RefPtr<KelpaEngine::Sound> music;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tapSound;
    GameData* data;

protected:
    // The screen's audio, its two sounds and the back button, placed by `offset`.
    void loadBackScreen(KelpaEngine::Application* app);

private:
    TouchFrame touches_;
};

}  // namespace mekko
