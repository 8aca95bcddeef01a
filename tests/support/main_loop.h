// test-links: platform_ui
// Helpers for tests that run the main GLib context themselves, and a clock
// that only moves when a test moves it.
#pragma once

#include <glib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <tuple>

#include "platform/ns/NSClock.h"

namespace testloop {

// Runs the main context until `done` holds or `ms` of real time passed.
// True when `done` held.
inline bool pumpUntil(const std::function<bool()>& done, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // A tick so that a blocking iteration comes back to look at `done`.
    guint tick = g_timeout_add(5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    bool ok = false;
    for (;;) {
        if (done()) {
            ok = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) break;
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
    return ok;
}

// Runs the main context for `ms` of real time.
inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

class ManualClock final : public KelpaPlatform::Clock {
public:
    explicit ManualClock(double start = 1.8e9) : now_(start) {}

    double now() const override { return now_; }
    TimerId schedule(double seconds, std::function<void()> fn) override {
        if (!(seconds > 0)) seconds = 0;
        TimerId id = ++lastId_;
        timers_[{now_ + seconds, id}] = std::move(fn);
        return id;
    }
    void cancel(TimerId id) override {
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (std::get<1>(it->first) == id) {
                timers_.erase(it);
                return;
            }
        }
    }

    // Moves time on, running every call that falls due on the way (also
    // those scheduled meanwhile), each at its own time.
    void advance(double seconds) {
        double end = now_ + seconds;
        while (!timers_.empty() && std::get<0>(timers_.begin()->first) <= end) {
            auto it = timers_.begin();
            now_ = std::max(now_, std::get<0>(it->first));
            auto fn = std::move(it->second);
            timers_.erase(it);
            if (fn) fn();
        }
        now_ = end;
    }
    // Seconds until the next call falls due, or -1 when none is waiting.
    double nextDue() const { return timers_.empty() ? -1 : std::get<0>(timers_.begin()->first) - now_; }
    size_t pending() const { return timers_.size(); }

private:
    double now_;
    TimerId lastId_ = 0;
    std::map<std::tuple<double, TimerId>, std::function<void()>> timers_;
};

}  // namespace testloop
