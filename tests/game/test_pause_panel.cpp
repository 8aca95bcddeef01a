// The pause panel's modal loop: its three answers, termination, a
// suspension inside it, silence with effects off and its layout offset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/GameData.h"
#include "game/PausePanel.h"
#include "tests/game/game_fixture.h"
#include "tests/game/sound_log.h"

using namespace KelpaEngine;

namespace {

// The frozen play screen under the panel.
class FrozenPlay : public mekko::mekko_Scene {
public:
    int32_t init(Application*) override { return 1; }
    RefPtr<Scene> update(Application*) override { return self(); }
    bool draw(Application*, Graphics* g) override {
        ++draws;
        g->drawImage(0, 0, nullptr);
        return true;
    }
    int draws = 0;
};

// What the host does on a pass of the panel (passes count from 0).
struct HostEvent {
    enum What { Down, Move, Up, Suspend, Active, Terminate } what;
    int pass;
    int x = 0, y = 0;
};

struct PanelRun {
    int32_t code = 99;
    int passes = 0;
    std::vector<int> drawsAtPass;  // the caller's draw count seen at each pass's hook
};

PanelRun runPanel(gametest::GameWorld& world, FrozenPlay* caller, const std::vector<HostEvent>& events) {
    const int base = int(world.host.sleeps.size());
    PanelRun run;
    world.host.script = [&](int frame) {
        const int pass = frame - base;
        run.drawsAtPass.push_back(caller->draws);
        for (const HostEvent& e : events) {
            if (e.pass != pass) continue;
            switch (e.what) {
                case HostEvent::Down: world.host.pending.publish({e.x, e.y, 1, kPhaseBegan}); break;
                case HostEvent::Move: world.host.pending.publish({e.x, e.y, 1, kPhaseMoved}); break;
                case HostEvent::Up: world.host.pending.publish({e.x, e.y, 1, kPhaseEnded}); break;
                case HostEvent::Suspend: world.host.suspend = true; break;
                case HostEvent::Active: world.host.suspend = false; break;
                case HostEvent::Terminate: world.host.terminate = true; break;
            }
        }
    };
    world.host.safetyFrames = base + 200;
    run.code = mekko::showPausePanel(world.app.get(), world.data, caller);
    run.passes = int(world.host.sleeps.size()) - base;
    world.host.script = nullptr;
    return run;
}

// Button centres (left edge at off + 70, 400 wide).
struct Centres {
    explicit Centres(int32_t off) : x(off + 270) {}
    int32_t x;
    int32_t restart = 330, mainMenu = 530, resume = 764;
};

TEST(PausePanel, AnswersRestartMainMenuAndResume) {
    const Centres c(0);
    const int32_t outside = 980 - 60;  // below every button
    const struct Case {
        const char* what;
        std::vector<HostEvent> events;
        int32_t code;
        int passes;
        bool tap;
    } cases[] = {
        {"restart released inside", {{HostEvent::Down, 1, c.x, c.restart}, {HostEvent::Up, 3, c.x, c.restart}},
         mekko::kPauseRestart, 4, true},
        {"main menu released inside", {{HostEvent::Down, 2, c.x, c.mainMenu}, {HostEvent::Up, 4, c.x, c.mainMenu}},
         mekko::kPauseMainMenu, 5, true},
        {"resume on the touch-down, no sound", {{HostEvent::Down, 2, c.x, c.resume}}, mekko::kPauseResume, 3, false},
        {"restart slid off and released outside does nothing",
         {{HostEvent::Down, 1, c.x, c.restart},
          {HostEvent::Move, 2, c.x, outside},
          {HostEvent::Up, 3, c.x, outside},
          {HostEvent::Down, 6, c.x, c.resume}},
         mekko::kPauseResume, 7, false},
        {"terminating returns -1 before input", {{HostEvent::Terminate, 2}, {HostEvent::Down, 2, c.x, c.resume}},
         mekko::kPauseResume, 3, false},
    };
    for (bool effectsOn : {true, false}) {
        for (const Case& k : cases) {
            gametest::GameWorld world;
            world.start();
            world.data->words[mekko::kWordEffectsOff] = effectsOn ? 0 : 1;
            gametest::SoundLog sounds;
            RefPtr<FrozenPlay> caller = makeRef<FrozenPlay>();
            PanelRun run = runPanel(world, caller.get(), k.events);
            EXPECT_EQ(k.code, run.code) << k.what;
            EXPECT_EQ(k.passes, run.passes) << k.what;
            EXPECT_EQ(k.tap && effectsOn, sounds.count("sound/button_tap.wav", "play") == 1)
                << k.what << " effects on " << effectsOn << ": " << sounds.describe();
            if (!effectsOn) {
                EXPECT_FALSE(sounds.anySound()) << k.what << ": " << sounds.describe();
            }
            EXPECT_FALSE(world.host.safetyHit) << k.what;
        }
    }
}

TEST(PausePanel, StaysOpenThroughASuspensionAndDrawsOnlyWhileActive) {
    gametest::GameWorld world;
    world.start();
    RefPtr<FrozenPlay> caller = makeRef<FrozenPlay>();
    const Centres c(0);
    PanelRun run = runPanel(world, caller.get(),
                            {{HostEvent::Suspend, 3}, {HostEvent::Active, 20}, {HostEvent::Down, 30, c.x, c.resume}});
    EXPECT_EQ(mekko::kPauseResume, run.code);
    EXPECT_EQ(31, run.passes) << "still open after the suspension, until the tap";
    ASSERT_GE(run.drawsAtPass.size(), 31u);
    EXPECT_EQ(3, run.drawsAtPass[3]) << "three frames drawn before the suspension";
    EXPECT_EQ(run.drawsAtPass[4], run.drawsAtPass[20]) << "nothing drawn while suspended";
    EXPECT_GT(run.drawsAtPass[30], run.drawsAtPass[20]) << "drawn again once active";
}

TEST(PausePanel, EverythingButTheDimLayerMovesWithTheLayoutOffset) {
    for (const char* profile : {"375x667@2", "320x480@2", "768x1024@2"}) {
        gametest::GameWorld world(profile);
        world.start();
        const int32_t off = mekko::layoutOffset(world.app.get());
        EXPECT_EQ(std::string(profile) == "375x667@2" ? 0 : 50, off) << profile;
        RefPtr<FrozenPlay> caller = makeRef<FrozenPlay>();
        const Centres c(off);
        world.graphics()->log.clear();
        PanelRun run = runPanel(world, caller.get(), {{HostEvent::Down, 2, c.x, c.resume}});
        ASSERT_EQ(mekko::kPauseResume, run.code) << profile << ": the resume button is where the offset puts it";
        const std::vector<gametest::DrawCall>& log = world.graphics()->log;
        std::vector<gametest::DrawCall> sprites, labels, fills;
        for (const gametest::DrawCall& d : log) {
            if (d.op == "sprite") sprites.push_back(d);
            if (d.op == "scaled") labels.push_back(d);
            if (d.op == "fill") fills.push_back(d);
        }
        // Two frames drawn (passes 0 and 1), the same each time.
        ASSERT_EQ(6u, sprites.size()) << profile;
        const int frame1[][2] = {{off + 70, 330}, {off + 70, 530}, {off + 70, 764}};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(frame1[i][0], sprites[i].x) << profile << " button " << i;
            EXPECT_EQ(frame1[i][1], sprites[i].y) << profile << " button " << i;
        }
        ASSERT_EQ(6u, labels.size()) << profile;
        const int labelAt[][2] = {{off + 190, 295}, {off + 170, 495}, {off + 190, 729}};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(labelAt[i][0], labels[i].x) << profile << " label " << i;
            EXPECT_EQ(labelAt[i][1], labels[i].y) << profile << " label " << i;
        }
        ASSERT_EQ(2u, fills.size());
        EXPECT_EQ(0, fills[0].x);
        EXPECT_EQ(0, fills[0].y);
        std::vector<gametest::DrawCall> title = world.graphics()->callsOf("pause_title.png");
        ASSERT_EQ(2u, title.size());
        EXPECT_EQ(off + 135, title[0].x);
        EXPECT_EQ(150, title[0].y);
        EXPECT_EQ(2, caller->draws) << "the play screen drawn under each panel frame";
    }
}

}  // namespace
