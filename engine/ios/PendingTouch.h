// The one touch that the host's main thread hands to the game thread, and
// the mapping of a platform touch into the scene's coordinates.
//
// Main thread: mapTouchToScene, then publish (replaces a touch not yet
// taken). Game thread, in the host hook: take, then hand the touch to the
// application's touch input (deliverPendingTouch does both). The four values
// and the pending mark are written and taken as one unit, so a touch is never
// mixed from two callbacks and a touch published after a take is not lost.
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
    // Main thread: store the touch (data first, pending mark last).
    void publish(const TouchSample& touch);
    // Game thread: copy the pending touch out and clear the mark; false when
    // none is pending. Each published touch is taken at most once.
    bool take(TouchSample* out);
    bool isPending() const { return pending_.load(std::memory_order_acquire) != 0; }

private:
    std::mutex lock_;
    TouchSample touch_;
    std::atomic<uint8_t> pending_{0};
};

// Takes the pending touch, if any, and hands it to the application's touch
// input. Returns true when a touch was delivered.
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
