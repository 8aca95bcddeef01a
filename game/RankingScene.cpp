#include "game/RankingScene.h"

#include <cstdio>

#include "game/GlyphRun.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

int32_t GameScene_Ranking::init(Application* app) {
    offset = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    loadBackScreen(app);
    title = Image::load(graphics, "ranking_title.png");
    buildRows(app);
    return 1;
}

bool GameScene_Ranking::draw(Application* app, Graphics* g) {
    drawRanking(app, g);
    if (backButton) backButton->draw(g, 0, 0);
    if (title) g->drawImage(offset + 110, 120, title);
    return true;
}

SceneRef MekkoRanking::create(Application* app, GameData* data) {
    if (app) app->setName("mekko");
    return makeRef<MekkoRanking>(data);
}

int32_t MekkoRanking::buildRows(Application* app) {
    offset = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    background = Image::load(graphics, "main_bg1.png");
    stage = Image::load(graphics, "main_stage.png");
    chest = Image::load(graphics, "main_treasure.png");
    loadGlyphs(graphics.get(), GlyphSize::Medium, false, glyphs);
    for (int32_t i = 0; i < kRankingRows; ++i) {
        labelLengths[i] = std::snprintf(labels[i], sizeof labels[i], "%d:", int(i + 1));
        uint32_t high = 0, low = 0, cents = 0;
        if (data) {
            high = data->words[kWordRankHigh + i];
            low = data->words[kWordRankLow + i];
            cents = data->words[kWordRankCents + i];
        }
        textLengths[i] = formatMoney(texts[i], sizeof texts[i], moneyFromWords(high, low), cents);
    }
    return 1;
}

int32_t MekkoRanking::drawRanking(Application*, Graphics* g) {
    if (!g) return 1;
    if (background) g->drawImage(offset - 90, 0, background);
    if (chest) g->drawImage(offset + 204, 250, chest);
    if (stage) g->drawImage(offset + 60, 700, stage);
    g->setColor(0.1f, 0.1f, 0.1f, 0.4f);
    g->fillRect(0, 0, 720, 1000);
    for (int32_t i = 0; i < kRankingRows; ++i) {
        const int32_t y = 250 + 50 * i;
        drawGlyphRun(g, glyphs, false, texts[i], offset + 521, y);
        drawGlyphRun(g, glyphs, false, labels[i], offset + 71, y);
    }
    return 1;
}

}  // namespace mekko
