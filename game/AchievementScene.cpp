#include "game/AchievementScene.h"

#include <cstdio>
#include <cstring>

#include "engine/FontShadow.h"
#include "game/GameData.h"
#include "game/GlyphRun.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

namespace {

int32_t written(int n, size_t size) {
    if (n < 0) return 0;
    return n < int(size) ? n : int(size) - 1;
}

}  // namespace

int32_t formatMedalCount(char* out, size_t size, uint32_t count) {
    if (!out || size == 0) return 0;
    // Compared unsigned: a word of 0x80000000 or more is a large count.
    if (count >= 9999) return written(std::snprintf(out, size, "9999"), size);
    return written(std::snprintf(out, size, "%u", unsigned(count)), size);
}

int32_t formatTotal(char* out, size_t size, uint32_t high, uint32_t low, uint32_t cents) {
    if (!out || size == 0) return 0;
    char grouped[32];
    formatWithCommas(grouped, sizeof grouped, uint64_t(moneyFromWords(high, low)));
    return written(std::snprintf(out, size, "$%s.%02u", grouped, unsigned(cents > 99 ? 99 : cents)), size);
}

int32_t GameScene_Achievement::init(Application* app) {
    offset = layoutOffset(app);
    loadBackScreen(app);
    loadAchievements(app);
    return 1;
}

bool GameScene_Achievement::draw(Application* app, Graphics* g) {
    drawAchievements(app, g);
    if (backButton) backButton->draw(g, 0, 0);
    return true;
}

SceneRef MekkoAchievement::create(Application* app, GameData* data) {
    if (app) app->setName("mekko");
    return makeRef<MekkoAchievement>(data);
}

int32_t MekkoAchievement::loadAchievements(Application* app) {
    offset = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    Graphics* g = graphics.get();
    font = FontShadow::create(app, "GenShinGothic-Medium.ttf", 40, 40);
    background = Image::load(g, "main_bg1.png");
    stage = Image::load(g, "main_stage.png");
    title = Image::load(g, "achievement_title.png");
    chest = Image::load(g, "main_treasure.png");
    medal3Image = Image::load(g, "medal/achievement_medal_3.png");
    medal1Image = Image::load(g, "medal/achievement_medal_1.png");
    medal2Image = Image::load(g, "medal/achievement_medal_2.png");
    loadGlyphs(g, GlyphSize::Medium, false, mediumGlyphs);
    for (int32_t i = 0; i < kLargeGlyphs; ++i) {
        static const char* const kNames[kLargeGlyphs] = {"0", "1", "2", "3", "4", "5", "6",
                                                         "7", "8", "9", "comma", "dollar", "period"};
        char path[48];
        std::snprintf(path, sizeof path, "num_l/num_l_%s.png", kNames[i]);
        largeGlyphs[i] = Image::load(g, path);
    }
    totalLabel = makeTextLabel(g, font.get(), "Total");

    const uint32_t* w = data ? data->words : nullptr;
    medal1Length = uint32_t(formatMedalCount(medal1Text, sizeof medal1Text, w ? w[kWordMedal1] : 0));
    medal2Length = uint32_t(formatMedalCount(medal2Text, sizeof medal2Text, w ? w[kWordMedal2] : 0));
    medal3Length = uint32_t(formatMedalCount(medal3Text, sizeof medal3Text, w ? w[kWordMedal3] : 0));
    totalLength = uint32_t(formatTotal(totalText, sizeof totalText, w ? w[kWordTotalHigh] : 0,
                                       w ? w[kWordTotalLow] : 0, w ? w[kWordTotalCents] : 0));
    return 1;
}

void MekkoAchievement::drawCount(Graphics* g, const char* text, int32_t y) const {
    // Right-aligned digit by digit; anything else takes no place.
    int32_t k = 0;
    for (size_t i = std::strlen(text); i-- > 0;) {
        const char c = text[i];
        if (c < '0' || c > '9') continue;
        if (const RefPtr<Image>& glyph = largeGlyphs[c - '0']) g->drawImage(offset + 350 - 21 * k, y, glyph);
        ++k;
    }
}

int32_t MekkoAchievement::drawAchievements(Application*, Graphics* g) {
    if (!g) return 1;
    if (background) g->drawImage(offset - 90, 0, background);
    if (stage) g->drawImage(offset + 60, 700, stage);
    if (chest) g->drawImage(offset + 204, 250, chest);
    g->setColor(0.1f, 0.1f, 0.1f, 0.4f);
    g->fillRect(0, 0, 640, 1000);
    if (title) g->drawImage(offset + 110, 120, title);
    if (totalLabel) g->drawImageScaled(offset + 220, 220, totalLabel);
    // The total is centred on the design whatever the offset is.
    drawGlyphRun(g, mediumGlyphs, false, totalText, centredRightEdge(totalText), 300);
    if (medal1Image) g->drawImage(offset + 120, 400, medal1Image);
    if (medal2Image) g->drawImage(offset + 120, 550, medal2Image);
    if (medal3Image) g->drawImage(offset + 120, 700, medal3Image);
    drawCount(g, medal1Text, 440);
    drawCount(g, medal2Text, 590);
    drawCount(g, medal3Text, 740);
    return 1;
}

}  // namespace mekko
