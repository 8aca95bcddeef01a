#include "game/GameEnv.h"

#include <atomic>
#include <cstdlib>
#include <ctime>

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

void seedGameRandom() { randomSource().seed(uint32_t(std::time(nullptr))); }

void installPlayClock(KelpaEngine::FrameClock* clock) { installedClock.store(clock); }

KelpaEngine::FrameClock& playClock() {
    KelpaEngine::FrameClock* c = installedClock.load();
    return c ? *c : KelpaEngine::monotonicClock();
}

}  // namespace mekko
