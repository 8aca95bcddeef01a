// The game's two seams: the random source behind every draw of the rules
// (the C library's rand by default, seeded from the time or from the host's
// fixed seed) and the play clock of main play (the engine's monotonic clock
// by default, or the host's game clock). Tests install their own.
#pragma once

#include <cstdint>

#include "engine/FrameClock.h"

namespace mekko {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void seed(uint32_t seed) = 0;
    // A value from 0 to at least 32767, as rand() gives.
    virtual int32_t next() = 0;
};

// The production source: srand and rand.
class LibcRandom : public RandomSource {
public:
    void seed(uint32_t seed) override;
    int32_t next() override;
};

// The installed source (null puts the production one back). It must outlive
// its use.
void installRandomSource(RandomSource* source);
RandomSource& randomSource();

// rand() through the installed source.
inline int32_t gameRand() { return randomSource().next(); }
// gameRand() % n for n of 1 or more; 0 (and no draw) for n below 1, so that
// a table row that makes a range empty can never divide by zero.
int32_t gameRandBelow(int32_t n);

// Seeds the installed source: with the host's fixed seed when the run has
// one, else with the time of day.
void seedGameRandom();

// The clock main play measures with: the installed one, else the host's
// game clock, else the engine's monotonic clock. Never steps backwards.
void installPlayClock(KelpaEngine::FrameClock* clock);
KelpaEngine::FrameClock& playClock();

}  // namespace mekko
