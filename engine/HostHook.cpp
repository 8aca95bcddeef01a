#include "engine/HostHook.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/FrameClock.h"

namespace KelpaEngine {

int64_t MonotonicClock::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

FrameClock& monotonicClock() {
    static MonotonicClock clock;
    return clock;
}

void sleepMilliseconds(int32_t ms) {
    if (ms < 1) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SleepingHostHook::frameHook(Application*, int32_t sleepMs) { sleepMilliseconds(sleepMs); }

namespace {

SleepingHostHook gSleepingHook;
std::atomic<HostHook*> gInstalledHook{nullptr};

}  // namespace

void installHostHook(HostHook* hook) { gInstalledHook.store(hook, std::memory_order_release); }

HostHook& installedHostHook() {
    HostHook* hook = gInstalledHook.load(std::memory_order_acquire);
    return hook ? *hook : gSleepingHook;
}

}  // namespace KelpaEngine
