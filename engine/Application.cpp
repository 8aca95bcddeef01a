#include "engine/Application.h"

#include <cstring>

#include "engine/Audio.h"
#include "engine/CounterTimer.h"
#include "engine/Graphics.h"
#include "engine/Pointing.h"

namespace KelpaEngine {

Application::Application() = default;

Application::~Application() {
    engineFree(name_);
    name_ = nullptr;
}

const char* Application::setName(const char* name) {
    char* copy = nullptr;
    if (name) {
        size_t n = std::strlen(name) + 1;
        copy = static_cast<char*>(engineAlloc(n));
        if (copy) std::memcpy(copy, name, n);
    }
    engineFree(name_);
    name_ = copy;
    return name_;
}

const char* Application::getName() { return name_; }

RefPtr<Audio> Application::getAudio() { return nullptr; }
RefPtr<Graphics> Application::getGraphics() { return nullptr; }
RefPtr<Pointing> Application::getPointing() { return nullptr; }
RefPtr<CounterTimer> Application::createTimer() { return nullptr; }

void Application::setScreenSize(int32_t w, int32_t h) {
    if (w > screenWidth_) screenWidth_ = w;
    if (h > screenHeight_) screenHeight_ = h;
}

namespace {

int32_t mapAxis(int32_t offset, int32_t screen, int32_t virtualSize, int32_t v) {
    if (virtualSize == 0) return offset;
    int64_t term = (int64_t(screen) - 2 * int64_t(offset)) * int64_t(v) / int64_t(virtualSize);
    return int32_t(int64_t(offset) + term);
}

}  // namespace

int32_t Application::mapToScreenX(int32_t x) const {
    return mapAxis(viewportOffsetX_, screenWidth_, virtualWidth_, x);
}

int32_t Application::mapToScreenY(int32_t y) const {
    return mapAxis(viewportOffsetY_, screenHeight_, virtualHeight_, y);
}

void runScenes(Application* app, RefPtr<Scene> first) {
    RefPtr<Scene> scene = std::move(first);
    if (!app || !scene) return;
    // The first frame compares with the state at the start: every scene
    // starts dirty, so it is drawn anyway.
    int32_t lastFrameState = app->getState();

    while (scene) {
        if (app->getState() == kStateTerminating) break;
        RefPtr<CounterTimer> timer = app->createTimer();
        scene->init(app);
        if (RefPtr<Pointing> pointing = app->getPointing()) pointing->reset(true);

        for (;;) {
            if (app->frameStep(16, true) == kStateTerminating) {
                timer.reset();
                // Terminating: the current scene is let go on the way out.
                scene.reset();
                break;
            }
            RefPtr<Pointing> pointing = app->getPointing();
            if (pointing) pointing->swapQueues();
            if (timer) timer->update(false);

            RefPtr<Scene> next = scene->update(app);
            if (next.get() != scene.get()) {
                if (pointing) pointing->lock();
                // The old scene goes now, before the next one's init.
                scene = std::move(next);
                timer.reset();
                break;
            }
            next.reset();

            int32_t state = app->getState();
            if (state != kStatePaused && (scene->isDirty() || state != lastFrameState)) {
                // No graphics object, nothing to draw on.
                if (RefPtr<Graphics> graphics = app->getGraphics()) {
                    if (scene->draw(app, graphics.get())) {
                        graphics->present();
                        scene->clearDirty();
                    }
                }
            }
            lastFrameState = app->getState();
        }
    }
}

}  // namespace KelpaEngine
