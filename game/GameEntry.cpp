// TEMPORARY placeholder scene; see GameEntry.h.
#include "game/GameEntry.h"

#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/Pointing.h"
#include "engine/Scene.h"

namespace mekko {

namespace {

using namespace KelpaEngine;

float channel(uint32_t rgb, int shift) { return float((rgb >> shift) & 0xff) / 255.0f; }

class PlaceholderScene : public Scene {
public:
    int32_t init(Application* app) override {
        RefPtr<Graphics> graphics = app->getGraphics();
        if (graphics) {
            background_ = Image::load(graphics.get(), "main_bg1.png");
            logo_ = Image::load(graphics.get(), "title_logo.png");
        }
        return 0;
    }

    RefPtr<Scene> update(Application* app) override {
        if (RefPtr<Pointing> pointing = app->getPointing()) {
            TouchRecord records[kTouchRecordCapacity];
            int32_t n = pointing->getCount();
            if (n > kTouchRecordCapacity) n = kTouchRecordCapacity;
            if (n > 0 && pointing->getTouches(records, n)) {
                const TouchRecord& r = records[n - 1];
                markerX_ = r.x;
                markerY_ = r.y;
                marker_ = true;
                held_ = (r.flags & kTouchFlagUp) == 0;
            }
        }
        invalidate();
        return self();
    }

    bool draw(Application*, Graphics* g) override {
        g->setClearColor(channel(kPlaceholderClearColour, 16), channel(kPlaceholderClearColour, 8),
                         channel(kPlaceholderClearColour, 0), 1.0f);
        // The 540-wide design sits centred in a wider drawing space.
        int32_t shift = (g->getVirtualWidth() - kDesignWidth) / 2;
        if (background_) g->drawImage((g->getVirtualWidth() - background_->getWidth()) / 2, 0, background_);
        if (logo_) g->drawImage(shift + (kDesignWidth - logo_->getWidth()) / 2, 160, logo_);
        if (marker_) {
            uint32_t c = held_ ? kPlaceholderMarkerDown : kPlaceholderMarkerUp;
            g->setColor(channel(c, 16), channel(c, 8), channel(c, 0), 1.0f);
            g->fillRect(markerX_ - kPlaceholderMarkerSize / 2, markerY_ - kPlaceholderMarkerSize / 2,
                        kPlaceholderMarkerSize, kPlaceholderMarkerSize);
        }
        return true;
    }

private:
    RefPtr<Image> background_;
    RefPtr<Image> logo_;
    bool marker_ = false;
    bool held_ = false;
    int32_t markerX_ = 0, markerY_ = 0;
};

}  // namespace

int gameEntry(RefPtr<Application> app) {
    if (!app) return 0;
    RefPtr<Scene> first = makeRef<PlaceholderScene>();
    if (!first) return 0;
    runScenes(app.get(), std::move(first));
    return 0;
}

}  // namespace mekko
