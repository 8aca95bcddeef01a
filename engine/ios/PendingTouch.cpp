#include "engine/ios/PendingTouch.h"

#include <cmath>

#include "engine/Application.h"
#include "engine/Pointing.h"

namespace KelpaEngine {
namespace iOS {

namespace {
constexpr int32_t kBegan = 0, kMoved = 1, kEnded = 2;
}

void PendingTouch::publish(const TouchSample& touch) {
    std::lock_guard<std::mutex> guard(lock_);
    auto at = [this](int i) -> TouchSample& { return queue_[(head_ + i) % kCapacity]; };
    if (touch.phase == kEnded) {
        if (droppingPress_) {
            droppingPress_ = false;
            return;
        }
        // The slot kept for it; a second ended in a row replaces the first.
        if (count_ < kCapacity) {
            at(count_++) = touch;
        } else {
            at(count_ - 1) = touch;
        }
    } else if (droppingPress_) {
        return;
    } else if (touch.phase == kMoved && count_ > 0 && at(count_ - 1).phase == kMoved) {
        at(count_ - 1) = touch;
    } else if (count_ + 2 <= kCapacity) {
        at(count_++) = touch;
    } else if (touch.phase == kBegan) {
        droppingPress_ = true;
        return;
    } else {
        return;  // a move that finds no room
    }
    pending_.store(1, std::memory_order_release);
}

bool PendingTouch::take(TouchSample* out) {
    if (!isPending()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == 0) return false;
    if (out) *out = queue_[head_];
    head_ = (head_ + 1) % kCapacity;
    --count_;
    pending_.store(count_ > 0 ? 1 : 0, std::memory_order_release);
    return true;
}

void PendingTouch::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    head_ = 0;
    count_ = 0;
    droppingPress_ = false;
    pending_.store(0, std::memory_order_release);
}

bool deliverPendingTouch(PendingTouch& pending, Application* app) {
    if (!app) return false;
    TouchSample t;
    if (!pending.take(&t)) return false;
    RefPtr<Pointing> pointing = app->getPointing();
    if (!pointing) return false;
    pointing->intake(t.x, t.y, t.count, t.phase);
    return true;
}

namespace {

// Truncation toward zero that stays defined for any finite input.
int32_t truncToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}

}  // namespace

ScenePoint mapTouchToScene(double lx, double ly, double screenW, double screenH, bool isPad) {
    if (!std::isfinite(lx) || !std::isfinite(ly) || !std::isfinite(screenW) || !std::isfinite(screenH) ||
        screenW <= 0.0 || screenH <= 0.0) {
        return ScenePoint{0, 0};
    }
    ScenePoint p;
    p.y = truncToInt(double(int64_t(truncToInt(ly)) * 960) / screenH);

    double gameW = screenH * 9.0 / 16.0;
    bool shifted = screenH < 568.0 || isPad;
    if (!shifted) {
        p.x = truncToInt(double(truncToInt(lx * 540.0 / gameW)) - double(truncToInt((screenW - gameW) / 2.0)));
        return p;
    }
    // Drawing stretches the whole 640 x 960 space over the whole screen on
    // these screens (the frame's viewport is the full screen), so x scales
    // with the width just as y scales with the height.
    p.x = truncToInt(lx * 640.0 / screenW);
    return p;
}

}  // namespace iOS
}  // namespace KelpaEngine
