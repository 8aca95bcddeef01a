// One-shot timers on a clock: the target's handler runs once at the fire
// date unless the timer was invalidated before.
#pragma once

#include <functional>
#include <memory>

#include "platform/ns/NSClock.h"

namespace KelpaPlatform {

class NSTimer : public std::enable_shared_from_this<NSTimer> {
public:
    using Handler = std::function<void(NSTimer*)>;

    static std::shared_ptr<NSTimer> scheduledTimer(std::shared_ptr<Clock> clock, double interval, Handler handler);
    ~NSTimer();
    NSTimer(const NSTimer&) = delete;
    NSTimer& operator=(const NSTimer&) = delete;

    void invalidate();
    bool isValid() const { return valid_; }
    double fireDate() const { return fireDate_; }
    double timeInterval() const { return interval_; }

private:
    NSTimer() = default;
    void fire();

    std::shared_ptr<Clock> clock_;
    Clock::TimerId id_ = 0;
    Handler handler_;
    double interval_ = 0;
    double fireDate_ = 0;
    bool valid_ = false;
};

}  // namespace KelpaPlatform
