// Time and delayed calls. The system clock reads the wall clock and runs
// delayed calls as GLib timeouts on the main context; tests put a clock of
// their own in its place and move time themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace KelpaPlatform {

class Clock {
public:
    using TimerId = uint64_t;

    virtual ~Clock() = default;
    // Seconds since the Unix epoch.
    virtual double now() const = 0;
    // Runs `fn` once, `seconds` from now (never on the spot); 0 is never a
    // valid id.
    virtual TimerId schedule(double seconds, std::function<void()> fn) = 0;
    // A call that already ran, or an unknown id, is ignored.
    virtual void cancel(TimerId id) = 0;

    // The one clock over the wall clock and the main GLib context.
    static std::shared_ptr<Clock> system();
};

}  // namespace KelpaPlatform
