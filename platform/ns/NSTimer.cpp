#include "platform/ns/NSTimer.h"

namespace KelpaPlatform {

std::shared_ptr<NSTimer> NSTimer::scheduledTimer(std::shared_ptr<Clock> clock, double interval, Handler handler) {
    std::shared_ptr<NSTimer> timer(new NSTimer());
    timer->clock_ = std::move(clock);
    timer->handler_ = std::move(handler);
    timer->interval_ = interval;
    timer->fireDate_ = timer->clock_->now() + interval;
    timer->valid_ = true;
    std::weak_ptr<NSTimer> weak = timer;
    timer->id_ = timer->clock_->schedule(interval, [weak] {
        if (auto self = weak.lock()) self->fire();
    });
    return timer;
}

NSTimer::~NSTimer() { invalidate(); }

void NSTimer::invalidate() {
    if (!valid_) return;
    valid_ = false;
    handler_ = nullptr;
    if (clock_ && id_) clock_->cancel(id_);
    id_ = 0;
}

void NSTimer::fire() {
    if (!valid_) return;
    // The handler may drop the last reference to this timer.
    auto keep = shared_from_this();
    valid_ = false;
    id_ = 0;
    Handler handler = std::move(handler_);
    handler_ = nullptr;
    if (handler) handler(this);
}

}  // namespace KelpaPlatform
