// test-links: kelpa_ios
// The pieces every screen shares: the button's touch rules, the money text,
// the layout offset, glyph strings, text labels and the suspension habit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Sound.h"
#include "engine/ios/AudioImp.h"
#include "game/GameData.h"
#include "game/SceneKit.h"
#include "tests/game/game_fixture.h"

using namespace mekko;
using namespace KelpaEngine;

namespace {

TouchRecord record(int32_t x, int32_t y, uint8_t flags) {
    TouchRecord r{};
    r.valid = 1;
    r.x = x;
    r.y = y;
    r.flags = flags;
    return r;
}
const uint8_t kDown = kTouchFlagsDown, kMove = kTouchFlagsMoved, kUp = kTouchFlagsUp;

// One frame's records: a list of (x, y, flags).
using Frame = std::vector<TouchRecord>;

struct ButtonCase {
    const char* what;
    std::vector<Frame> frames;
    std::vector<int32_t> clicks;   // update's answer per frame
    std::vector<bool> showsOn;     // the on image after each frame
};

TEST(Button, ClicksOnlyWhenPressedAndReleasedOnIt) {
    gametest::GameWorld world;
    world.start();
    // "btn_frame_l_off.png" at (100, 400), left edge at x, vertical middle at y.
    RefPtr<Button> probe = Button::create(world.data->graphics.get(), 100, 400, "btn_frame_l_off.png",
                                          "btn_frame_l_on.png", Sprite2D::kMiddle);
    ASSERT_TRUE(probe && probe->offSprite && probe->onSprite);
    const int32_t w = probe->offSprite->width;
    const int32_t in = 100 + w / 2, out = 100 + w + 40;
    const ButtonCase cases[] = {
        {"down and up inside", {{record(in, 400, kDown)}, {record(in, 400, kUp)}}, {0, 1}, {true, false}},
        {"down and up in one frame", {{record(in, 400, kDown), record(in, 400, kUp)}}, {1}, {false}},
        {"slide off and release",
         {{record(in, 400, kDown)}, {record(out, 400, kMove)}, {record(out, 400, kUp)}},
         {0, 0, 0},
         {true, false, false}},
        {"slide off, back on, release",
         {{record(in, 400, kDown)}, {record(out, 400, kMove)}, {record(in, 400, kMove)}, {record(in, 400, kUp)}},
         {0, 0, 0, 1},
         {true, false, true, false}},
        {"down outside, up inside", {{record(out, 400, kDown)}, {record(in, 400, kUp)}}, {0, 0}, {false, false}},
        {"a move elsewhere then a down on it", {{record(out, 400, kMove), record(in, 400, kDown)}}, {0}, {true}},
    };
    for (const ButtonCase& c : cases) {
        RefPtr<Button> b = Button::create(world.data->graphics.get(), 100, 400, "btn_frame_l_off.png",
                                          "btn_frame_l_on.png", Sprite2D::kMiddle);
        for (size_t f = 0; f < c.frames.size(); ++f) {
            const Frame& frame = c.frames[f];
            EXPECT_EQ(c.clicks[f], b->update(frame.data(), int32_t(frame.size()), 0, 0)) << c.what << " frame " << f;
            EXPECT_EQ(c.showsOn[f], b->pressed && b->inside) << c.what << " frame " << f;
        }
    }
}

TEST(Button, AnyTouchInsideSeesOnlyNewDownsAndChangesNothing) {
    gametest::GameWorld world;
    world.start();
    RefPtr<Button> b = Button::create(world.data->graphics.get(), 100, 400, "btn_frame_l_off.png",
                                      "btn_frame_l_on.png", Sprite2D::kMiddle);
    ASSERT_TRUE(b && b->offSprite);
    const int32_t in = 100 + b->offSprite->width / 2;
    Frame moveThenDown = {record(900, 900, kMove), record(in, 400, kDown)};
    EXPECT_EQ(1, b->anyTouchInside(moveThenDown.data(), 2, 0, 0));
    EXPECT_EQ(0, b->pressed);
    Frame moveInside = {record(in, 400, kMove)};
    EXPECT_EQ(0, b->anyTouchInside(moveInside.data(), 1, 0, 0));
    // The shift is taken off the touch point.
    Frame shifted = {record(in + 50, 400, kDown)};
    EXPECT_EQ(1, b->anyTouchInside(shifted.data(), 1, 50, 0));
    EXPECT_EQ(0, b->anyTouchInside(shifted.data(), 1, -2000, 0));
}

TEST(MoneyText, CommasCentsAndTheCap) {
    const struct {
        int64_t dollars, cents;
        const char* text;
    } cases[] = {
        {0, 0, "$0.00"},
        {100, 0, "$100.00"},
        {1000, 0, "$1,000.00"},
        {1234567, 5, "$1,234,567.05"},
        {999999999999999LL, 42, "$999,999,999,999,999.42"},
        {1000000000000000LL, 42, "$999,999,999,999,999.99"},
        {INT64_MAX, 0, "$999,999,999,999,999.99"},
        {-3, 7, "$0.07"},
        {12, 4294967295LL, "$12.99"},
    };
    for (const auto& c : cases) {
        char out[kMoneyTextSize];
        int32_t n = formatMoney(out, sizeof out, c.dollars, c.cents);
        EXPECT_STREQ(c.text, out);
        EXPECT_EQ(int32_t(std::string(c.text).size()), n);
    }
    char tiny[6];
    EXPECT_EQ(5, formatMoney(tiny, sizeof tiny, 1234567, 5));
    EXPECT_STREQ("$1,23", tiny) << "cut to the buffer, terminated";
}

TEST(LayoutOffset, FiftyOnShortAndFourByThreeScreens) {
    const struct {
        int32_t w, h, offset;
    } cases[] = {
        {320, 480, 50}, {320, 568, 0}, {375, 667, 0}, {414, 736, 0}, {768, 1024, 50}, {1536, 2048, 50}, {0, 0, 50},
    };
    for (const auto& c : cases) EXPECT_EQ(c.offset, layoutOffset(c.w, c.h)) << c.w << "x" << c.h;
}

TEST(DigitString, GlyphsStepRightToLeftWithMarksShifted) {
    gametest::GameWorld world;
    world.start();
    RefPtr<Image> small[26];
    ASSERT_EQ(26, loadGlyphs(world.data->graphics.get(), GlyphSize::Small, true, small));
    gametest::LoggingGraphics* g = world.graphics();
    g->log.clear();
    int32_t dollarX = drawDigitString(g, small, GlyphSize::Small, false, "$1,000.05", 500, 110, kSmallDigits);
    // From the right: 5, 0 (digits), '.', 0, 0, 0, ',', 1, '$'.
    const std::vector<std::pair<std::string, int>> expected = {
        {"num_s/num_s_5.png", 500},      {"num_s/num_s_0.png", 487},     {"num_s/num_s_period.png", 474 + 6},
        {"num_s/num_s_0.png", 467},      {"num_s/num_s_0.png", 454},     {"num_s/num_s_0.png", 441},
        {"num_s/num_s_comma.png", 428 + 6}, {"num_s/num_s_1.png", 421},  {"num_s/num_s_dollar.png", 408},
    };
    ASSERT_EQ(expected.size(), g->log.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, g->log[i].image) << i;
        EXPECT_EQ(expected[i].second, g->log[i].x) << i;
        EXPECT_EQ(110, g->log[i].y);
    }
    EXPECT_EQ(408, dollarX);
    g->log.clear();
    drawDigitString(g, small, GlyphSize::Small, true, "$7", 100, 0, kSmallDigits);
    ASSERT_EQ(2u, g->log.size());
    EXPECT_EQ("num_y_s/num_y_s_7.png", g->log[0].image);
    EXPECT_EQ("num_y_s/num_y_s_dollar.png", g->log[1].image);
}

TEST(TextLabel, RendersAtOneAndAHalfTimesItsDrawnSize) {
    gametest::GameWorld world;
    world.start();
    RefPtr<Image> label = makeTextLabel(world.data->graphics.get(), world.data->font.get(), "Resume");
    ASSERT_TRUE(label);
    EXPECT_GT(label->getWidth(), 28 * 3);
    EXPECT_GE(label->getHeight(), 28);
    EXPECT_FALSE(makeTextLabel(world.data->graphics.get(), nullptr, "x"));
}

TEST(SuspendWatch, ResumesTenUpdatesLaterAndNeverWhileMusicIsOff) {
    for (bool musicOn : {true, false}) {
        gametest::GameWorld world;
        world.start();
        world.data->words[kWordMusicOff] = musicOn ? 0 : 1;
        RefPtr<Audio> audio = iOS::AudioImp::create(world.app.get());
        ASSERT_TRUE(audio);
        RefPtr<Sound> tune = audio->createSound(1, "sound/gamemain.wav", 0, true);
        ASSERT_TRUE(tune);
        startMusic(world.data, tune);
        EXPECT_EQ(musicOn, tune->isPlaying());
        SuspendWatch watch;
        world.host.suspend = true;
        world.app->frameStep(16, false);
        EXPECT_TRUE(watch.update(world.app.get(), world.data, tune));
        EXPECT_EQ(1, world.data->interrupted);
        world.host.suspend = false;
        world.app->frameStep(16, false);
        for (int i = 0; i < SuspendWatch::kResumeFrames - 1; ++i) EXPECT_FALSE(watch.update(world.app.get(), world.data, tune));
        EXPECT_EQ(1, world.data->interrupted);
        EXPECT_FALSE(watch.update(world.app.get(), world.data, tune));
        EXPECT_EQ(1, world.data->interrupted) << "clearing it is the scene's";
        EXPECT_EQ(musicOn, tune->isPlaying()) << "music on: " << musicOn;
    }
}

}  // namespace
