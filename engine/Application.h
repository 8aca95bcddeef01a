// The engine's root object: the application's name and geometry, its state
// (0 active, 1 paused, 3 terminating) and, made on first request, its
// graphics, audio and touch input objects.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/Heap.h"
#include "engine/Scene.h"

namespace KelpaEngine {

class Audio;
class CounterTimer;
class Graphics;
class Pointing;

constexpr int32_t kStateActive = 0;
constexpr int32_t kStatePaused = 1;
constexpr int32_t kStateTerminating = 3;

constexpr int32_t kDesignWidth = 540;
constexpr int32_t kDesignHeight = 960;

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The frame pacer: when pace is true, sleeps until this frame's
    // deadline, ms after the previous one (at least 1 ms), else sleeps ms;
    // lets the host do its frame work; acts on a change of state. Returns
    // the state.
    virtual int32_t frameStep(int32_t ms, bool pace) = 0;
    virtual int32_t getState() = 0;

    // Copies the name onto the engine heap and returns the copy (null when
    // name is null or the copy cannot be made).
    virtual const char* setName(const char* name);
    virtual const char* getName();

    // Made on first call and then shared; null when they cannot be made.
    virtual RefPtr<Audio> getAudio();
    virtual RefPtr<Graphics> getGraphics();
    virtual RefPtr<Pointing> getPointing();
    // A new frame timer for the scene runner; null when there is none.
    virtual RefPtr<CounterTimer> createTimer();

    // Each dimension takes the larger of its current value and the argument.
    void setScreenSize(int32_t w, int32_t h);
    int32_t getScreenWidth() const { return screenWidth_; }
    int32_t getScreenHeight() const { return screenHeight_; }

    // The drawing space: 540 x 960, or 640 x 960 as the graphics set-up decides.
    void setVirtualSize(int32_t w, int32_t h) {
        virtualWidth_ = w;
        virtualHeight_ = h;
    }
    int32_t getVirtualWidth() const { return virtualWidth_; }
    int32_t getVirtualHeight() const { return virtualHeight_; }

    // The letterbox offset in points, stored by the graphics set-up.
    void setViewportOffset(int32_t x, int32_t y) {
        viewportOffsetX_ = x;
        viewportOffsetY_ = y;
    }
    int32_t getViewportOffsetX() const { return viewportOffsetX_; }
    int32_t getViewportOffsetY() const { return viewportOffsetY_; }

    // A virtual position to points inside the letterbox.
    int32_t mapToScreenX(int32_t x) const;
    int32_t mapToScreenY(int32_t y) const;

private:
    char* name_ = nullptr;
    int32_t viewportOffsetX_ = 0;
    int32_t viewportOffsetY_ = 0;
    int32_t virtualWidth_ = kDesignWidth;
    int32_t virtualHeight_ = kDesignHeight;
    int32_t screenWidth_ = 320;
    int32_t screenHeight_ = 480;
};

// The main loop of the game thread: runs one scene at a time, frame by
// frame, until a scene hands over to no scene or the state becomes 3.
// The runner holds the scene references; pass the first scene by moving it
// in, so that each scene is destroyed as soon as the runner lets it go.
void runScenes(Application* app, RefPtr<Scene> first);

// For a first scene held as its own class: the caller's reference (often a
// temporary that would live until the runner returns) is dropped first.
template <class T, class = std::enable_if_t<std::is_convertible_v<T*, Scene*>>>
void runScenes(Application* app, RefPtr<T>&& first) {
    RefPtr<Scene> scene = first;
    first.reset();
    runScenes(app, std::move(scene));
}

}  // namespace KelpaEngine
