#include "engine/ios/CounterTimerImp.h"

#include <sys/time.h>

namespace KelpaEngine {
namespace iOS {

RefPtr<CounterTimer> CounterTimerImp::create() { return adoptRef<CounterTimerImp, CounterTimer>(new (std::nothrow) CounterTimerImp()); }

double CounterTimerImp::now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1000000.0;
}

}  // namespace iOS
}  // namespace KelpaEngine
