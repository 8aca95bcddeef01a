// The game's own frames as bench scenes: the title, and the busiest frames
// of main play, played by the real game code from a fixed seed on a clock
// that moves 16 ms a frame. The input comes from an autopilot that looks at
// the play and taps as a player would (turn, tap the chest); it reads the
// game's state and draws nothing at random, so every run of every bench
// plays the same frames, and the engine bench and its peers draw the same
// command streams.
//
// Each case is a window of frames: setUp plays (updates only, no drawing)
// up to ten frames before the window, the benches warm up on those ten and
// then time exactly the window's frames.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/scene.h"
#include "engine/FrameClock.h"
#include "engine/HostBridge.h"
#include "engine/Pointing.h"
#include "engine/ios/Paths.h"
#include "game/GameData.h"
#include "game/GameEnv.h"
#include "game/MainScene.h"
#include "game/MekkoGame.h"
#include "game/TitleScene.h"

namespace bench {

// rand()'s range from a seed of our own: nothing else in the process that
// calls rand() (a driver, a library) can move the game's draws.
class SeededRandom : public mekko::RandomSource {
public:
    void seed(uint32_t s) override { state_ = s; }
    int32_t next() override {
        state_ = state_ * 1103515245u + 12345u;
        return int32_t((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_ = 1;
};

// The game's clock in a seeded run: 16 ms a frame.
class SteppedClock : public KelpaEngine::FrameClock {
public:
    int64_t nowMs() override { return ms_; }
    void step() { ms_ += 16; }

private:
    int64_t ms_ = 1000000;
};

// Plays main play: looks ahead at where the player and everything thrown
// will be, and picks the turns that catch the most money without being hit
// or walking off the stage. The lookahead assumes each item's mean pull.
class Autopilot {
public:
    // True when the player should be turned on the coming frame.
    bool turn(const mekko::MekkoMain& m) {
        const mekko::Player* p = m.player.get();
        if (!p || m.countingDown || m.ended() || !m.turnEnabled) return false;
        predict(m);
        const float left = float(m.offset + 50), right = float(m.offset + 490);
        double best = -1e18;
        bool turnNow = false;
        // Plans: a first turn on frame a (0: none; 1 is the coming frame),
        // a second one d later.
        for (int a = 0; a <= kHorizon; a += a ? 3 : 1) {
            for (int d = 0; d <= (a ? 30 : 0); d += 6) {
                bool now = false;
                const double s = score(p->x, p->y + 30.0f, p->direction, left, right, a, a && d ? a + d : 0, &now);
                if (s > best) {
                    best = s;
                    turnNow = now;
                }
            }
        }
        return turnNow;
    }

private:
    static constexpr int kHorizon = 90;
    static constexpr float kStep = 4.5f;

    struct Track {
        float value;  // > 0 to catch, < 0 to dodge
        float dx, dy;  // the item's catch point from its x, y
        float reachX, reachY;
        float x[kHorizon + 1], y[kHorizon + 1];
    };

    void add(const mekko::ThrownItem* item, float value, float dx, float dy, float reachX, float reachY, float pull) {
        Track t;
        t.value = value;
        t.dx = dx;
        t.dy = dy;
        t.reachX = reachX;
        t.reachY = reachY;
        float x = item->x, y = item->y, vy = item->vy;
        for (int k = 0; k <= kHorizon; ++k) {
            t.x[k] = x;
            t.y[k] = y;
            x += item->vx;
            y += vy;
            vy += pull;
        }
        tracks_.push_back(t);
    }

    void predict(const mekko::MekkoMain& m) {
        tracks_.clear();
        // A catch needs both boxes; aim inside them by a margin for the
        // pulls the lookahead cannot know.
        for (const auto& c : m.coins)
            if (c) add(c.get(), 1.0f, 16, 18, 30, 26, 0.45f);
        for (const auto* set : {&m.dollars, &m.chestDollars}) {
            for (const auto& d : *set)
                if (d) add(d.get(), d->jewel ? 60.0f : 12.0f, 30, 35, 30, 26, 0.45f);
        }
        for (const auto& j : m.bonusJewels)
            if (j) add(j.get(), 8.0f, 28, 34, 30, 26, 0.45f);
        for (const auto* j : {&m.bigJewel, &m.jackpotJewel})
            if (*j) add(j->get(), 8.0f, 35, 32, 30, 34, 0.45f);
        // A hit is a catch point 0 to 20 above the dumbbell and within 20 of
        // its middle: kept clear by a wide margin.
        for (const auto* set : {&m.dumbbells, &m.chestDumbbells}) {
            for (const auto& d : *set)
                if (d) add(d.get(), -1000.0f, 34, 10, 36, 34, 0.225f);
        }
    }

    // The plan's worth: what it catches, soonest first, less what hits it.
    // Turns happen after the frame's walk, as the game turns; near an edge
    // the plan turns anyway, as the autopilot will when it gets there.
    double score(float x, float cy, int dir, float left, float right, int turnA, int turnB, bool* turnNow) {
        caught_.assign(tracks_.size(), 0);
        double s = 0;
        for (int k = 1; k <= kHorizon; ++k) {
            x += dir ? -kStep : kStep;
            const float foot = x + 20.0f;
            int next = (k == turnA || k == turnB) ? dir ^ 1 : dir;
            const float ahead = foot + (next ? -kStep : kStep);
            if (ahead <= left + 2.0f || ahead >= right - 2.0f) next ^= 1;
            if (next != dir && k == 1) *turnNow = true;
            dir = next;
            const float cx = x + 20.0f;
            for (size_t i = 0; i < tracks_.size(); ++i) {
                if (caught_[i]) continue;
                const Track& t = tracks_[i];
                if (std::fabs(cx - (t.x[k] + t.dx)) < t.reachX && std::fabs(cy - (t.y[k] + t.dy)) < t.reachY) {
                    caught_[i] = 1;
                    s += t.value / (1.0 + 0.01 * k);
                }
            }
        }
        // Fewer taps when it makes no difference.
        if (*turnNow) s -= 1e-3;
        return s;
    }

    std::vector<Track> tracks_;
    std::vector<uint8_t> caught_;
};

enum class GameFrame { Title, Bonus, Dumbbells };

class GameScene : public Scene {
public:
    // Frames each case times: the dumbbells' window ends before the first
    // of them comes down (about 88 frames after the taps, with the lead-in).
    static constexpr int window(GameFrame which) { return which == GameFrame::Dumbbells ? 60 : 240; }

    explicit GameScene(GameFrame which) : which_(which) {}

    ~GameScene() override {
        scene_.reset();
        if (data_) {
            data_->font.reset();
            data_->pointing.reset();
            data_->graphics.reset();
            data_->audio.reset();
            data_->application.reset();
            delete data_;
        }
        pointing_.reset();
        KelpaEngine::HostBridge& bridge = KelpaEngine::installedHostBridge();
        bridge.setRandomSeed(-1);
        bridge.setGameClock(nullptr);
        mekko::installRandomSource(nullptr);
        KelpaEngine::iOS::setDocumentsFolder(nullptr);
        if (!docs_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(docs_, ec);
        }
    }

    bool setUp(KelpaEngine::Application* app, KelpaEngine::Graphics*, std::string* why) override {
        using namespace KelpaEngine;
        app_ = app;
        char folder[] = "/tmp/mekko_bench_XXXXXX";
        if (!::mkdtemp(folder)) return fail(why, "no documents folder");
        docs_ = folder;
        iOS::setDocumentsFolder(docs_.c_str());
        mekko::installRandomSource(&random_);
        installedHostBridge().setRandomSeed(kSeed);
        installedHostBridge().setGameClock(&clock_);
        random_.seed(kSeed);

        RefPtr<Application> ref;
        ref.assign(app);
        data_ = new mekko::GameData();
        mekko::prepareGameData(data_, ref);
        pointing_ = app->getPointing();
        if (!pointing_) return fail(why, "no touch input");

        if (which_ == GameFrame::Title) {
            enter(mekko::MekkoTitle::create(app, data_));
            return play(30, why);
        }
        enter(mekko::MekkoMain::create(app, data_));
        main_ = dynamic_cast<mekko::MekkoMain*>(scene_.get());
        if (!main_) return fail(why, "no main play");
        for (int frame = 0; frame < kPlayLimit; ++frame) {
            if (main_->ended()) {
                return fail(why, "the autopilot's play ended on frame " + std::to_string(frame) + " at level " +
                                     std::to_string(main_->level));
            }
            if (windowAhead()) return true;
            if (!play(1, why)) return false;
        }
        return fail(why, "the play never came to the frames wanted");
    }

    void input() override {
        using namespace KelpaEngine;
        // A tap goes down on one frame and up on the next.
        if (down_) {
            pointing_->intake(downX_, downY_, 1, kPhaseEnded);
            down_ = false;
        }
        if (!main_ || main_ != scene_.get()) return;
        const int32_t off = main_->offset;
        if (pilot_.turn(*main_)) {
            tap(off + 270, 864);
        } else if (wantChest()) {
            tap(off + 270, 318);
            ++chestTaps_;
        }
    }

    void update() override {
        pointing_->swapQueues();
        clock_.step();
        mekko::SceneRef next = scene_->update(app_);
        if (next.get() != scene_.get()) {
            // The window's frames all belong to one scene; a bench whose
            // scene changed says so rather than time something else.
            changed_ = true;
            enter(std::move(next));
            main_ = nullptr;
        }
    }

    void record(KelpaEngine::Graphics* graphics) override {
        if (scene_->isDirty() && scene_->draw(app_, graphics)) scene_->clearDirty();
    }

    std::string trouble() const override {
        if (changed_) return "the scene changed within the window";
        if (main_ && main_->ended()) return "the play ended within the window";
        return "";
    }

    // Thrown items in the air, for the table.
    double items() const override {
        if (!main_) return 0;
        int n = 0;
        auto count = [&](const auto& slots) {
            for (const auto& s : slots) n += s ? 1 : 0;
        };
        count(main_->coins);
        count(main_->dollars);
        count(main_->chestDollars);
        count(main_->dumbbells);
        count(main_->chestDumbbells);
        count(main_->bonusJewels);
        n += main_->bigJewel ? 1 : 0;
        n += main_->jackpotJewel ? 1 : 0;
        return n;
    }

private:
    static constexpr uint32_t kSeed = 20240611;
    static constexpr int kPlayLimit = 60 * 60 * 5;
    static constexpr int kLeadIn = 10;  // the benches' warm-up frames

    static bool fail(std::string* why, const std::string& what) {
        *why = what;
        return false;
    }

    void enter(mekko::SceneRef next) {
        scene_ = std::move(next);
        if (pointing_) pointing_->reset(true);
        if (scene_) scene_->init(app_);
    }

    void tap(int32_t x, int32_t y) {
        pointing_->intake(x, y, 1, KelpaEngine::kPhaseBegan);
        down_ = true;
        downX_ = x;
        downY_ = y;
    }

    // Frames played without drawing, as the runner would play them.
    bool play(int frames, std::string* why) {
        for (int i = 0; i < frames; ++i) {
            input();
            update();
            if (changed_) return fail(why, "the scene changed while playing up to the window");
        }
        return true;
    }

    int freeChestSlots(const auto& slots) const {
        int n = 0;
        for (const auto& s : slots) n += s ? 0 : 1;
        return n;
    }

    // The chest throws five at a time: in bonus time bills, else dumbbells.
    bool wantChest() {
        if (main_->countingDown || main_->ended()) return false;
        if (which_ == GameFrame::Bonus) return main_->bonusTime && freeChestSlots(main_->chestDollars) >= 5;
        if (which_ == GameFrame::Dumbbells) {
            // Four taps fill the chest's twenty dumbbell slots at once; the
            // window is the frames before the first of them comes down.
            return main_->level >= kDumbbellLevel && chestTaps_ < 4;
        }
        return false;
    }

    // True when the window starts in kLeadIn frames.
    bool windowAhead() {
        if (which_ == GameFrame::Bonus) {
            if (!main_->bonusTime) return false;
            // Coins have piled up after two seconds; the window fits in
            // bonus time's 731 frames.
            return ++bonusFrames_ == 120 - kLeadIn;
        }
        return chestTaps_ == 4 && freeChestSlots(main_->chestDumbbells) == 0;
    }

    static constexpr int32_t kDumbbellLevel = 5;

    GameFrame which_;
    KelpaEngine::Application* app_ = nullptr;
    KelpaEngine::RefPtr<KelpaEngine::Pointing> pointing_;
    mekko::GameData* data_ = nullptr;
    mekko::SceneRef scene_;
    mekko::MekkoMain* main_ = nullptr;
    SeededRandom random_;
    SteppedClock clock_;
    Autopilot pilot_;
    std::string docs_;
    bool down_ = false;
    int32_t downX_ = 0, downY_ = 0;
    bool changed_ = false;
    int chestTaps_ = 0;
    int bonusFrames_ = 0;
};

}  // namespace bench
