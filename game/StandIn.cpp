// TEMPORARY: see StandIn.h.
#include "game/StandIn.h"

#include "engine/Font.h"
#include "engine/FontShadow.h"
#include "game/GameData.h"

#include <string>

namespace mekko {

using namespace KelpaEngine;

namespace {

class StandInScene : public mekko_Scene {
public:
    StandInScene(GameData* data, const char* caption, SceneFactory next, const char* off, const char* on)
        : data_(data), caption_(caption), next_(next), off_(off), on_(on) {}

    int32_t init(Application* app) override {
        offset_ = layoutOffset(app);
        RefPtr<Graphics> g = app->getGraphics();
        background_ = Image::load(g, "main_bg1.png");
        if (data_ && data_->font) label_ = makeTextLabel(g.get(), data_->font.get(), caption_.c_str());
        if (off_) button_ = Button::create(g.get(), offset_ + 70, 700, off_, on_, Sprite2D::kMiddle);
        return 1;
    }

    RefPtr<Scene> update(Application* app) override {
        touches_.read(app);
        bool go = false;
        if (button_) {
            go = button_->update(touches_) != 0;
        } else {
            for (int32_t i = 0; i < touches_.count; ++i) go = go || (touches_.records[i].flags & kTouchFlagUp);
        }
        if (go && next_) return next_(app, data_);
        invalidate();
        return self();
    }

    bool draw(Application*, Graphics* g) override {
        g->setClearColor(0, 0, 0, 1);
        if (background_) g->drawImage(offset_ - 90, 0, background_);
        if (label_) g->drawImageScaled(offset_ + 40, 300, label_);
        if (button_) button_->draw(g, 0, 0);
        return true;
    }

private:
    GameData* data_;
    std::string caption_;
    SceneFactory next_;
    const char* off_;
    const char* on_;
    int32_t offset_ = 0;
    TouchFrame touches_;
    RefPtr<Image> background_;
    RefPtr<Image> label_;
    RefPtr<Button> button_;
};

}  // namespace

SceneRef makeStandIn(Application* app, GameData* data, const char* caption, SceneFactory next, const char* off,
                     const char* on) {
    if (app) app->setName("mekko");
    return makeRef<StandInScene>(data, caption, next, off, on);
}

}  // namespace mekko
