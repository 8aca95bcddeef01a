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

namespace gametest {

// A sound that writes each call into a shared log, then passes it on.
class LoggedSound : public KelpaEngine::Sound {
public:
    LoggedSound(std::string name, KelpaEngine::RefPtr<KelpaEngine::Sound> real, std::vector<std::string>* log)
        : name_(std::move(name)), real_(std::move(real)), log_(log) {}
    int play(int kind, int loop) override {
        log_->push_back(name_ + " play " + std::to_string(kind) + " " + std::to_string(loop));
        return real_ ? real_->play(kind, loop) : 0;
    }
    bool isPlaying() override { return real_ && real_->isPlaying(); }
    void pause() override {
        log_->push_back(name_ + " pause");
        if (real_) real_->pause();
    }
    void resume() override {
        log_->push_back(name_ + " resume");
        if (real_) real_->resume();
    }
    void stop() override {
        log_->push_back(name_ + " stop");
        if (real_) real_->stop();
    }
    void systemPause() override {
        if (real_) real_->systemPause();
    }
    bool isMemory() override { return false; }

private:
    std::string name_;
    KelpaEngine::RefPtr<KelpaEngine::Sound> real_;
    std::vector<std::string>* log_;
};

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
            s = KelpaEngine::makeRef<LoggedSound>(name, s, &sounds);
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
