#include "engine/HostBridge.h"

namespace KelpaEngine {
namespace {

std::atomic<HostBridge*> gInstalled{nullptr};

HostBridge& defaultBridge() {
    // Never destroyed: workers and the host may still ask at process exit.
    static HostBridge* bridge = new HostBridge();
    return *bridge;
}

// Slot of an ad kind, or -1.
int slotOf(int32_t kind) { return (kind >= kAdTopBanner && kind <= kAdInterstitial) ? kind - 1 : -1; }

}  // namespace

void HostBridge::storeAdWish(int32_t kind, uint8_t wish) {
    int slot = slotOf(kind);
    if (slot < 0) return;
    wishes_[slot].store(wish ? 1 : 0, std::memory_order_relaxed);
}

uint8_t HostBridge::adWish(int32_t kind) const {
    int slot = slotOf(kind);
    return slot < 0 ? 0 : wishes_[slot].load(std::memory_order_relaxed);
}

void HostBridge::setRandomSeed(int64_t seed) { seed_.store(seed, std::memory_order_release); }
int64_t HostBridge::randomSeed() const { return seed_.load(std::memory_order_acquire); }
void HostBridge::setGameClock(FrameClock* clock) { clock_.store(clock, std::memory_order_release); }
FrameClock* HostBridge::gameClock() const { return clock_.load(std::memory_order_acquire); }

void HostBridge::shareTwitter(const char*) {}
void HostBridge::shareFacebook(const char*) {}
void HostBridge::openURL(const char*) {}

void installHostBridge(HostBridge* bridge) { gInstalled.store(bridge, std::memory_order_release); }

HostBridge& installedHostBridge() {
    HostBridge* b = gInstalled.load(std::memory_order_acquire);
    return b ? *b : defaultBridge();
}

}  // namespace KelpaEngine
