// Main play in the test world: the scene entered and reachable as
// MekkoMain, quiet spawn rows for tests that place items themselves, a log
// of what the tunes and effects are asked to do, and helpers that run the
// countdown and put items next to the player.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/Sound.h"
#include "game/MainScene.h"
#include "tests/game/game_fixture.h"
#include "tests/game/sound_log.h"

namespace gametest {

class PlayWorld : public GameWorld {
public:
    // prepare changes the record (saved words, tables) before the scene is made.
    explicit PlayWorld(const char* profile = "375x667@2", bool quietRows = false,
                       const std::function<void(mekko::GameData*)>& prepare = nullptr)
        : GameWorld(profile) {
        start();
        if (quietRows) quiet();
        if (prepare) prepare(data);
        enter(mekko::MekkoMain::create(app.get(), data));
        log();
        host.script = [this](int) { answerPanel(); };
    }

    // The pause panel, whenever it opens, runs suspendedPasses passes with
    // the application left as it was (a suspension stays on), then the
    // suspension ends and the next pass touches Resume. Each pass moves the
    // play clock on, as the real time would.
    int suspendedPasses = 1;
    int panelPasses = 0;       // passes of the latest opening
    int panelPassesTotal = 0;  // ... of all openings

    mekko::MekkoMain* main() const { return dynamic_cast<mekko::MekkoMain*>(scene.get()); }

    // Rows 0 to 16 of every table throw nothing.
    void quiet() {
        for (int r = 0; r <= mekko::kBonusRow; ++r) {
            data->coinTable[r] = mekko::CoinSpawnRow{};
            data->dollarTable[r] = mekko::ItemSpawnRow{};
            data->dumbbellTable[r] = mekko::ItemSpawnRow{};
        }
    }

    // Puts the scene's tunes and effects behind the log.
    void log() {
        mekko::MekkoMain* m = main();
        if (!m) return;
        auto wrap = [this](const char* name, KelpaEngine::RefPtr<KelpaEngine::Sound>& s) {
            std::string who = name;
            s = KelpaEngine::makeRef<LoggedSound>(s, [this, who](const std::string& op, int kind, int loop) {
                sounds.push_back(op == "play" ? who + " play " + std::to_string(kind) + " " + std::to_string(loop)
                                              : who + " " + op);
            });
        };
        wrap("main", m->mainTune);
        wrap("bonus", m->bonusTune);
        wrap("tap", m->tapSound);
        wrap("coin", m->coinSound);
        wrap("dollar", m->dollarSound);
        wrap("dumbbell", m->dumbbellSound);
        wrap("jewel1", m->jewel1Sound);
        wrap("jewel2", m->jewel2Sound);
        wrap("jewel3", m->jewel3Sound);
        wrap("countdown", m->countdownSound);
        wrap("start", m->startSound);
        wrap("treasure", m->treasureSound);
        wrap("fall", m->fallSound);
    }

    void answerPanel() {
        if (hooksThisStep++ == 0) {
            panelPasses = 0;
            return;
        }
        const int pass = panelPasses++;
        ++panelPassesTotal;
        playClock.t += 16;
        if (pass == suspendedPasses) host.suspend = false;
        if (pass == suspendedPasses + 1) {
            const int32_t x = mekko::layoutOffset(app.get()) + 270;
            host.pending.publish({x, 764, 1, KelpaEngine::kPhaseBegan});
        }
        if (pass == suspendedPasses + 2) host.pending.publish({0, 0, 1, KelpaEngine::kPhaseEnded});
    }

    // Runs through the countdown (179 frames) and n frames more.
    void playFor(int n) { run(mekko::MekkoMain::kCountdownEnd + n); }

    int count(const std::string& call) const {
        int n = 0;
        for (const std::string& s : sounds) n += s == call;
        return n;
    }

    std::vector<std::string> sounds;
};

// Occupied slots of an item array.
template <class T, size_t N>
int occupied(const KelpaEngine::RefPtr<T> (&slots)[N]) {
    int n = 0;
    for (const auto& s : slots) n += s ? 1 : 0;
    return n;
}

}  // namespace gametest
