// The touches that the host's main thread hands to the game thread, and
// the mapping of a platform touch into the scene's coordinates.
//
// Main thread: mapTouchToScene, then publish. Game thread, in the host
// hook: take the oldest, then hand it to the application's touch input
// (deliverPendingTouch does both), one a frame. A newer move replaces a
// move not yet taken, but a began or an ended is never replaced, so a
// press and release within one frame reach the game as a down on one
// frame and the up on the next. Each touch and the pending mark are
// written and taken as one unit, so a touch is never mixed from two
// callbacks and a touch published after a take is not lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace KelpaEngine {

class Application;

namespace iOS {

struct TouchSample {
    int32_t x = 0, y = 0;  // scene coordinates
    int32_t count = 0;     // touches in the platform event
    int32_t phase = 0;     // 0 began, 1 moved, 2 ended
};

class PendingTouch {
public:
    // Touches waiting at most; far more than one frame's worth. When full, a
    // new press is dropped whole (its began, moves and ended), so the game
    // never sees a down without its up; a slot is always kept for the ended
    // of a press already waiting.
    static constexpr int kCapacity = 16;

    // Main thread: queue the touch (data first, pending mark last).
    void publish(const TouchSample& touch);
    // Game thread: copy the oldest touch out; false when none is pending.
    // Each published touch is taken at most once, in order.
    bool take(TouchSample* out);
    bool isPending() const { return pending_.load(std::memory_order_acquire) != 0; }
    // Drops every waiting touch.
    void clear();

private:
    std::mutex lock_;
    TouchSample queue_[kCapacity];
    int head_ = 0, count_ = 0;
    bool droppingPress_ = false;  // a press that found no room, until its end
    std::atomic<uint8_t> pending_{0};
};

// Takes the oldest pending touch, if any, and hands it to the application's
// touch input. Returns true when a touch was delivered.
bool deliverPendingTouch(PendingTouch& pending, Application* app);

// A platform touch at (lx, ly) points in the root view of a screenW x
// screenH point screen, in the scene's coordinates: the 540 x 960 design
// space, or on pads and screens under 568 points high the 640 x 960 drawing
// space in which the design sits 50 units right, at the position where the
// frame's drawing (stretched over the whole screen) puts that point.
// Non-finite input maps to (0, 0).
struct ScenePoint {
    int32_t x, y;
};
ScenePoint mapTouchToScene(double lx, double ly, double screenW, double screenH, bool isPad);

}  // namespace iOS
}  // namespace KelpaEngine
