#include "game/BackScreen.h"

#include "engine/Sprite2D.h"
#include "game/GameData.h"
#include "game/SceneAudio.h"

namespace mekko {

using namespace KelpaEngine;

void BackScreen::loadBackScreen(Application* app) {
    RefPtr<Graphics> graphics = app->getGraphics();
    audio = makeSceneAudio(app);
    if (audio) {
        music = audio->createSound(1, "sound/menu.wav", 0, true);
        tapSound = audio->createSound(1, "sound/button_tap.wav", 0, true);
    }
    backButton = Button::create(graphics.get(), offset + 25, 170, "btn_back_off.png", "btn_back_on.png",
                                Sprite2D::kMiddle);
}

RefPtr<Scene> BackScreen::update(Application* app) {
    touches_.read(app);
    if (SceneRef next = leaveOnClick(app, data, backButton.get(), touches_, tapSound.get(), music.get())) return next;
    if (!suspension.update(app, data, music) && app->getState() == kStateActive) {
        if (data) data->setInterrupted(0);
        if (music && !music->isPlaying()) startMusic(data, music);
    }
    invalidate();
    return self();
}

}  // namespace mekko
