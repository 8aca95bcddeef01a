// test-links: platform_gl
// Whole frames of the result, ranking, achievement and pause screens drawn
// through the GL executor on the surfaceless context, on a 16:9 phone, a
// 3.5-inch phone and the pad, checked at a few points and written as PNG
// next to the build (screens/<profile>_<screen>.png) for looking at.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "game/AchievementScene.h"
#include "game/GameData.h"
#include "game/PausePanel.h"
#include "game/RankingScene.h"
#include "game/ResultScene.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"
#include "tests/game/game_fixture.h"

using namespace KelpaEngine;
using namespace mekko;

namespace {

struct Rgb {
    int r, g, b;
    int brightness() const { return r + g + b; }
};

class ScreenFrames : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { KelpaPlatform::setFramePresenter(&capture); }
    void TearDown() override { KelpaPlatform::setFramePresenter(nullptr); }

    void save(const char* screen) {
        std::string dir = std::string(KELPA_BINARY_DIR) + "/screens";
        std::filesystem::create_directories(dir);
        std::string name = std::string(GetParam()) + "_" + screen + ".png";
        for (char& c : name) {
            if (c == '@') c = '_';
        }
        EXPECT_TRUE(capture.writePNG((dir + "/" + name).c_str())) << name;
    }
    // The pixel under a point of the drawing space.
    Rgb at(const gametest::GameWorld& world, int vx, int vy) const {
        std::vector<uint8_t> rgba;
        int32_t w = 0, h = 0;
        if (!capture.latest(&rgba, &w, &h)) return {0, 0, 0};
        const int32_t px = int32_t(int64_t(vx) * w / world.app->getVirtualWidth());
        const int32_t py = int32_t(int64_t(vy) * h / world.app->getVirtualHeight());
        const uint32_t v = capture.pixel(px, py);
        return {int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF)};
    }

    KelpaPlatform::FrameCapture capture;
};

// Saved words with a full ranking, totals and medal counts.
void fillSave(uint32_t* w) {
    const int64_t rows[10] = {987654321012LL, 120000000, 5000000, 1234567, 99999, 5000, 1000, 999, 10, 1};
    for (int i = 0; i < 10; ++i) {
        moneyToWords(rows[i], &w[kWordRankHigh + i], &w[kWordRankLow + i]);
        w[kWordRankCents + i] = uint32_t(i * 11 % 100);
    }
    w[kWordTotalHigh] = 12;
    w[kWordTotalLow] = 34567890;
    w[kWordTotalCents] = 12;
    w[kWordMedal1] = 3;
    w[kWordMedal2] = 42;
    w[kWordMedal3] = 0x80000000u;
}

TEST_P(ScreenFrames, ResultRankingAchievementsAndPause) {
    gametest::GameWorld world(GetParam());
    uint32_t saved[kWordCount] = {};
    fillSave(saved);
    gametest::writeSaveFile(world.savePath(), saved);
    world.start();
    const int32_t off = layoutOffset(world.app.get());

    // The result of a play worth medal 3 that reaches row 2.
    moneyToWords(345678901, &world.data->words[kWordLastHigh], &world.data->words[kWordLastLow]);
    world.data->words[kWordLastCents] = 7;
    world.enter(MekkoResult::create(world.app.get(), world.data));
    world.runThenDraw(29);
    save("result_medal_growing");
    world.runThenDraw(30);
    save("result");
    // The dim-free result screen shows the background's sky at the top left.
    const Rgb sky = at(world, off + 10, 40);
    world.tap(off + 270, 900);
    ASSERT_TRUE(world.step()) << "Main Menu leaves the result";

    world.enter(MekkoRanking::create(world.app.get(), world.data));
    world.run(2);
    save("ranking");
    const Rgb dimmedSky = at(world, off + 10, 40);
    EXPECT_LT(dimmedSky.brightness(), sky.brightness()) << "the ranking's dim layer";

    world.enter(MekkoAchievement::create(world.app.get(), world.data));
    world.run(2);
    save("achievements");

    // The pause panel over a frozen result screen (standing in for play).
    world.enter(MekkoResult::create(world.app.get(), world.data));
    world.runThenDraw(60);
    const Rgb underPanel = at(world, off + 10, 40);
    const int base = int(world.host.sleeps.size());
    world.host.script = [&](int frame) {
        if (frame - base == 3) world.host.pending.publish({off + 270, 764, 1, kPhaseBegan});
    };
    EXPECT_EQ(kPauseResume, showPausePanel(world.app.get(), world.data, world.scene.get()));
    world.host.script = nullptr;
    save("pause");
    const Rgb dimmed = at(world, off + 10, 40);
    EXPECT_LT(dimmed.brightness(), underPanel.brightness() * 6 / 10) << "the panel's 0.6 black layer";
}

INSTANTIATE_TEST_SUITE_P(Profiles, ScreenFrames, ::testing::Values("375x667@2", "320x480@2", "768x1024@2"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 if (c == '@') c = '_';
                             }
                             return n;
                         });

}  // namespace
