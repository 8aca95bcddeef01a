// A frame timer: elapsed time since its first update and a frames-per-second
// sample taken about once a second.
#pragma once

#include <cstdint>

namespace KelpaEngine {

class CounterTimer {
public:
    virtual ~CounterTimer() = default;
    // The current time in seconds.
    virtual double now() = 0;

    // One frame: elapsed time since the first update; the rate is sampled
    // when a second has gone by since the last sample, or when forced.
    void update(bool force) {
        double t = now();
        if (start_ == 0.0) start_ = t;
        previousElapsed_ = elapsed_;
        elapsed_ = t - start_;
        ++frames_;
        double span = elapsed_ - sampleStart_;
        if (span >= 1.0 || force) {
            // A forced sample over no time at all keeps the previous rate.
            if (span > 0.0) framesPerSecond_ = double(frames_) / span;
            sampleStart_ = elapsed_;
            frames_ = 0;
        }
    }

    double elapsed() const { return elapsed_; }
    double previousElapsed() const { return previousElapsed_; }
    double framesPerSecond() const { return framesPerSecond_; }
    uint32_t framesCounted() const { return frames_; }

private:
    double start_ = 0.0;
    double elapsed_ = 0.0;
    double previousElapsed_ = 0.0;
    double sampleStart_ = 0.0;
    double framesPerSecond_ = 0.0;
    uint32_t frames_ = 0;
};

}  // namespace KelpaEngine
