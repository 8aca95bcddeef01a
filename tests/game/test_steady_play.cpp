// Main play allocates only when something happens: over 600 frames of a
// play with coins and bills thrown and caught (no dumbbells, the player
// kept on the stage), every frame on which no item was thrown, caught or
// lost and the money stood still (walking, falling, the HUD, the effects)
// is updated, recorded, drawn and presented without one allocation.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Heap.h"
#include "tests/game/play_fixture.h"

using namespace gametest;

namespace {

// Every item slot's occupant, in one list: a change is a throw, a catch
// or an item gone.
template <class T, size_t N>
void addSlots(std::vector<const void*>* out, const KelpaEngine::RefPtr<T> (&slots)[N]) {
    for (const auto& s : slots) out->push_back(s.get());
}

std::vector<const void*> items(const mekko::MekkoMain* m) {
    std::vector<const void*> out;
    out.reserve(256);
    addSlots(&out, m->coins);
    addSlots(&out, m->dollars);
    addSlots(&out, m->chestDollars);
    addSlots(&out, m->dumbbells);
    addSlots(&out, m->chestDumbbells);
    addSlots(&out, m->bonusJewels);
    out.push_back(m->bigJewel.get());
    out.push_back(m->jackpotJewel.get());
    return out;
}

TEST(SteadyPlay, FramesWhereNothingIsThrownOrCaughtAllocateNothing) {
    PlayWorld w("375x667@2", false, [](mekko::GameData* data) {
        for (int r = 0; r <= mekko::kBonusRow; ++r) data->dumbbellTable[r] = mekko::ItemSpawnRow{};
    });
    ASSERT_TRUE(w.graphics());
    w.graphics()->logging = false;
    // The test host's own records stay out of the count.
    w.host.safetyFrames = 4000;
    w.host.sleeps.reserve(4096);
    w.run(mekko::MekkoMain::kCountdownEnd);
    mekko::MekkoMain* m = w.main();
    ASSERT_TRUE(m);

    int steady = 0, events = 0, allocatingSteady = 0;
    std::vector<const void*> before, after;
    before.reserve(256);
    after.reserve(256);
    for (int frame = -120; frame < 600; ++frame) {  // 120 frames to warm pages and labels
        // To and fro about the middle of the stage: the play never ends.
        if ((frame + 120) % 40 == 20) w.tap(270, 850);
        before = items(m);
        int64_t dollars = m->moneyDollars, cents = m->moneyCents;
        uint32_t allocated = KelpaEngine::heapCounters().totalAllocations;
        ASSERT_FALSE(w.step()) << "the play ended at frame " << frame;
        uint32_t made = KelpaEngine::heapCounters().totalAllocations - allocated;
        after = items(m);
        bool happened = after != before || m->moneyDollars != dollars || m->moneyCents != cents;
        if (frame < 0) continue;
        if (happened) {
            ++events;
        } else {
            ++steady;
            if (made) ++allocatingSteady;
            EXPECT_EQ(made, 0u) << "frame " << frame;
        }
    }
    EXPECT_GT(events, 20);   // things were thrown and caught
    EXPECT_GT(steady, 200);  // and most frames were steady
    EXPECT_EQ(allocatingSteady, 0);
}

}  // namespace
