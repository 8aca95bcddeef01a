// The pause panel: a modal loop of its own frames over the frozen play
// screen, with Restart, Main Menu and Resume.
#include "game/PausePanel.h"

#include "engine/Audio.h"
#include "engine/Font.h"
#include "engine/FontShadow.h"
#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "engine/Sprite2D.h"
#include "game/GameData.h"
#include "game/SceneAudio.h"
#include "game/SceneKit.h"

namespace mekko {

using namespace KelpaEngine;

int32_t showPausePanel(Application* app, GameData* data, Scene* caller) {
    if (!app) return kPauseResume;
    const int32_t off = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    Graphics* g = graphics.get();

    // Everything below is released on every return.
    RefPtr<Font> font = FontShadow::create(app, "GenShinGothic-Medium.ttf", 40, 40);
    RefPtr<Audio> audio = makeSceneAudio(app);
    RefPtr<Sound> tap = audio ? audio->createSound(1, "sound/button_tap.wav", 0, true) : RefPtr<Sound>();
    RefPtr<Button> restart =
        Button::create(g, off + 70, 330, "btn_frame_l_off.png", "btn_frame_l_on.png", Sprite2D::kMiddle);
    RefPtr<Button> mainMenu =
        Button::create(g, off + 70, 530, "btn_frame_l_off.png", "btn_frame_l_on.png", Sprite2D::kMiddle);
    RefPtr<Button> resume =
        Button::create(g, off + 70, 764, "btn_frame_xl_off.png", "btn_frame_xl_on.png", Sprite2D::kMiddle);
    if (font) font->setColor(255, 255, 255, 255);
    RefPtr<Image> mainMenuLabel = makeTextLabel(g, font.get(), "Main Menu");
    RefPtr<Image> resumeLabel = makeTextLabel(g, font.get(), "Resume");
    RefPtr<Image> restartLabel = makeTextLabel(g, font.get(), "Restart");
    RefPtr<Image> title = Image::load(g, "pause_title.png");

    TouchFrame touches;
    for (;;) {
        const int32_t state = app->frameStep(16, true);
        if (state == kStateTerminating) return kPauseResume;
        touches.read(app);

        if (mainMenu && mainMenu->update(touches)) {
            playEffect(data, tap);
            return kPauseMainMenu;
        }
        if (restart && restart->update(touches)) {
            playEffect(data, tap);
            return kPauseRestart;
        }
        if (resume && resume->anyTouchInside(touches)) return kPauseResume;

        // While suspended the frame step has let go of the drawing
        // resources: nothing to draw on until the state is 0 again.
        if (state == kStatePaused || !g) continue;
        g->beginFrame();
        if (caller) caller->draw(app, g);
        g->setColor(0.0f, 0.0f, 0.0f, 0.6f);
        g->fillRect(0, 0, 640, 1000);
        if (restart) restart->draw(g, 0, 0);
        if (restartLabel) g->drawImageScaled(off + 190, 295, restartLabel.get());
        if (mainMenu) mainMenu->draw(g, 0, 0);
        if (mainMenuLabel) g->drawImageScaled(off + 170, 495, mainMenuLabel.get());
        if (resume) resume->draw(g, 0, 0);
        if (resumeLabel) g->drawImageScaled(off + 190, 729, resumeLabel.get());
        if (title) g->drawImage(off + 135, 150, title.get());
        g->endFrame();
        g->present();
    }
}

}  // namespace mekko
