#include "game/MekkoGame.h"

#include <new>

#include "engine/FontShadow.h"
#include "game/GameData.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

void prepareGameData(GameData* data, const RefPtr<Application>& app) {
    data->application = app;
    // The first request for the graphics object sets up GL on this thread.
    data->graphics = app->getGraphics();
    data->pointing = app->getPointing();
    data->font = FontShadow::create(app, "GenShinGothic-Medium.ttf", 10, 10);
    if (data->font) {
        data->font->setColor(0, 0, 0, 255);
        data->font->setSize(28);
    }
    loadGameData(data, app.get());
    data->clearInterrupted();
    loadSpawnTables(data, app.get());
}

}  // namespace mekko

int mekkoGameEntry(KelpaEngine::RefPtr<KelpaEngine::Application> app) {
    using namespace mekko;
    if (!app) return 0;
    auto* data = new (std::nothrow) GameData();
    if (!data) return 0;
    prepareGameData(data, app);
    if (SceneRef first = MekkoTitle::create(app.get(), data)) KelpaEngine::runScenes(app.get(), std::move(first));
    // Release in the record's order of dependence: font, touch, graphics, audio, application.
    data->font.reset();
    data->pointing.reset();
    data->graphics.reset();
    data->audio.reset();
    data->application.reset();
    delete data;
    return 0;
}
