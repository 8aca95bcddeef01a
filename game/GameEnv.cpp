#include "game/GameEnv.h"

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "engine/HostBridge.h"

namespace mekko {

void LibcRandom::seed(uint32_t seed) { std::srand(seed); }
int32_t LibcRandom::next() { return int32_t(std::rand()); }

namespace {

LibcRandom& libcRandom() {
    static LibcRandom source;
    return source;
}

std::atomic<RandomSource*> installedRandom{nullptr};
std::atomic<KelpaEngine::FrameClock*> installedClock{nullptr};

}  // namespace

void installRandomSource(RandomSource* source) { installedRandom.store(source); }

RandomSource& randomSource() {
    RandomSource* s = installedRandom.load();
    return s ? *s : libcRandom();
}

int32_t gameRandBelow(int32_t n) {
    if (n < 1) return 0;
    return gameRand() % n;
}

void seedGameRandom() {
    int64_t fixed = KelpaEngine::installedHostBridge().randomSeed();
    randomSource().seed(fixed >= 0 ? uint32_t(fixed) : uint32_t(std::time(nullptr)));
}

void installPlayClock(KelpaEngine::FrameClock* clock) { installedClock.store(clock); }

KelpaEngine::FrameClock& playClock() {
    if (KelpaEngine::FrameClock* c = installedClock.load()) return *c;
    if (KelpaEngine::FrameClock* c = KelpaEngine::installedHostBridge().gameClock()) return *c;
    return KelpaEngine::monotonicClock();
}

}  // namespace mekko
