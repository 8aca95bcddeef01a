// The frame timer over the time of day.
#pragma once

#include "engine/CounterTimer.h"
#include "engine/Heap.h"

namespace KelpaEngine {
namespace iOS {

class CounterTimerImp : public CounterTimer {
public:
    static RefPtr<CounterTimer> create();
    // Seconds and microseconds of the time of day, in seconds.
    double now() override;
};

}  // namespace iOS
}  // namespace KelpaEngine
