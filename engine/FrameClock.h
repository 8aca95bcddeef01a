// The clock the frame pacer measures with. It must be monotonic: a step of
// the time of day must neither freeze the game (a long sleep) nor make it
// race (no sleep at all).
#pragma once

#include <cstdint>

namespace KelpaEngine {

class FrameClock {
public:
    virtual ~FrameClock() = default;
    // Milliseconds from an arbitrary fixed start; never decreases.
    virtual int64_t nowMs() = 0;
};

// The production clock (std::chrono::steady_clock).
class MonotonicClock : public FrameClock {
public:
    int64_t nowMs() override;
};

// One shared instance of the production clock.
FrameClock& monotonicClock();

}  // namespace KelpaEngine
