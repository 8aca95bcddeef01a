// The copyright viewer: the notices of "copyright.txt" as small text lines,
// scrolled by dragging, with inertia after the finger lifts and a spring
// back past either end. Only the lines near the window hold images.
#pragma once

#include <cstdint>

#include "engine/Adsense.h"
#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "engine/TextUtil.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

// Turns the drag's y samples into a scrolling velocity.
struct ScrollInertia {
    static constexpr int32_t kHistory = 5;

    // Velocity, sample count and history to 0; the last position stays.
    void reset();
    // Takes a sample; returns its delta from the previous one (0 for the
    // first sample of a drag), which also becomes the velocity.
    int32_t addSample(int32_t y);
    // The finger lifted: the velocity becomes the mean of the recent
    // non-zero deltas. Returns it.
    int32_t release();
    // This frame's velocity; it then decays by 0.95.
    int32_t step();
    bool isTracking() const { return sampleCount > 0; }

    int32_t velocity = 0;  // units per frame, positive moves the text down
    int32_t last = 0;
    int32_t sampleCount = 0;
    int32_t history[kHistory] = {};  // index 0 the newest delta
};

class GameScene_Copyright : public mekko_Scene {
public:
    static constexpr int32_t kLineHeight = 14;
    // Line images rendered in one update at most.
    static constexpr int32_t kRenderPerUpdate = 16;
    // Lines kept rendered outside the window on each side.
    static constexpr int32_t kKeepMargin = 10;
    // Updates after the last touch-down before the spring back acts.
    static constexpr int32_t kSpringIdle = 11;

    explicit GameScene_Copyright(GameData* data) : data_(data) {}
    ~GameScene_Copyright() override;

    static SceneRef create(KelpaEngine::Application* app, GameData* data);

    int32_t init(KelpaEngine::Application* app) override;
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    int32_t scrollPosition() const { return scroll_; }
    void setScrollPosition(int32_t position) { scroll_ = position; }
    int32_t maxScroll() const { return maxScroll_; }
    int32_t firstVisible() const { return first_; }
    int32_t endVisible() const { return end_; }
    int32_t lineCount() const { return lines_.count; }
    const char* lineText(int32_t i) const { return i >= 0 && i < lines_.count ? lines_.lines[i] : nullptr; }
    bool hasLineImage(int32_t i) const;
    int32_t renderedLineCount() const;
    int32_t idleUpdates() const { return idle_; }
    ScrollInertia& inertia() { return inertia_; }
    KelpaEngine::Sound* tapSound() const { return tap_.get(); }

private:
    void updateWindow();
    void renderVisible();
    void releaseFarLines();

    int32_t offset_ = 0;
    int32_t scroll_ = 0;
    int32_t maxScroll_ = 0;
    int32_t lineHeight_ = kLineHeight;
    int32_t first_ = 0;
    int32_t end_ = 0;
    KelpaEngine::RefArray<KelpaEngine::RefPtr<KelpaEngine::Image>> lineImages_;
    int32_t idle_ = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> background_;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage_;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest_;
    KelpaEngine::RefPtr<Button> back_;
    KelpaEngine::LineList lines_;
    ScrollInertia inertia_;
    KelpaEngine::RefPtr<KelpaEngine::Font> font_;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tap_;
    KelpaEngine::RefPtr<KelpaEngine::Adsense> ads_;
    GameData* data_;
    KelpaEngine::RefPtr<KelpaEngine::Graphics> graphics_;
};

}  // namespace mekko
