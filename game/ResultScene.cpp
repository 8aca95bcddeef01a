#include "game/ResultScene.h"

#include <cstdio>
#include <utility>

#include "engine/FontShadow.h"
#include "engine/SocialShare.h"
#include "engine/ios/SocialShareImp.h"
#include "game/GameData.h"
#include "game/GlyphRun.h"
#include "game/MainScene.h"
#include "game/SceneAudio.h"
#include "game/TitleScene.h"

namespace mekko {

using namespace KelpaEngine;

namespace {

constexpr uint32_t kMedalCountCap = 0x7FFFFFFF;
constexpr int64_t kMedal3Dollars = 100000000LL;
constexpr int64_t kMedal2Dollars = 100000000000LL;
constexpr int64_t kMedal1Dollars = 1000000000000LL;

constexpr char kIosStoreLink[] = "https://apps.apple.com/app/mekko";
constexpr char kAndroidStoreLink[] = "https://play.google.com/store/apps/details?id=jp.ruvo.mekko";

// A ranking row with the words it came from, so that moving it keeps them.
struct RankRow {
    int64_t money;
    int64_t cents;
    uint32_t high, low, centsWord;
    bool entry;
};

// a ranks above b: more money, or as much and more cents.
bool beats(const RankRow& a, const RankRow& b) {
    return a.money > b.money || (a.money == b.money && a.cents > b.cents);
}

// Counts the last result's medal and adds it to the lifetime totals; the medal.
int32_t countMedalAndTotal(uint32_t* w, int64_t dollars) {
    const int32_t medal = medalFor(dollars);
    switch (medal) {
        case 1: w[kWordMedal1] = addMedal(w[kWordMedal1]); break;
        case 2: w[kWordMedal2] = addMedal(w[kWordMedal2]); break;
        case 3: w[kWordMedal3] = addMedal(w[kWordMedal3]); break;
        default: break;
    }
    addToTotal(&w[kWordTotalHigh], &w[kWordTotalLow], &w[kWordTotalCents], w[kWordLastHigh], w[kWordLastLow],
               w[kWordLastCents]);
    return medal;
}

}  // namespace

uint32_t addMedal(uint32_t count) { return count >= kMedalCountCap ? kMedalCountCap : count + 1; }

void addToTotal(uint32_t* high, uint32_t* low, uint32_t* cents, uint32_t addHigh, uint32_t addLow,
                uint32_t addCents) {
    // Every sum in 64 bits: the words may hold anything a save file gave.
    int64_t c = int64_t(*cents) + int64_t(addCents);
    int64_t l = int64_t(*low) + int64_t(addLow) + c / 100;
    c %= 100;
    int64_t h = int64_t(*high) + int64_t(addHigh) + l / kMoneyHighUnit;
    l %= kMoneyHighUnit;
    if (h > int64_t(UINT32_MAX)) {
        h = UINT32_MAX;
        l = kMoneyHighUnit - 1;
        c = 99;
    }
    *high = uint32_t(h);
    *low = uint32_t(l);
    *cents = uint32_t(c);
}

int32_t medalFor(int64_t dollars) {
    if (dollars >= kMedal1Dollars) return 1;
    if (dollars >= kMedal2Dollars) return 2;
    if (dollars >= kMedal3Dollars) return 3;
    return 0;
}

int32_t buildShareText(char* out, size_t size, const char* moneyText) {
    if (!out || size == 0) return 0;
    int n = std::snprintf(out, size, "Reward:%s [iOS]%s [Android]%s #$1,000,000,000,000.00 #RUVO",
                          moneyText ? moneyText : "", kIosStoreLink, kAndroidStoreLink);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return n < int(size) ? n : int(size) - 1;
}

// --- GameScene_Result ---

int32_t GameScene_Result::init(Application* app) {
    RefPtr<Graphics> graphics = app->getGraphics();
    Graphics* g = graphics.get();
    offset = layoutOffset(app);
    prepareResults(app);

    audio = makeSceneAudio(app);
    if (audio) {
        music = audio->createSound(1, "sound/result.wav", 0, true);
        tapSound = audio->createSound(1, "sound/button_tap.wav", 0, true);
    }
    font = FontShadow::create(app, "GenShinGothic-Medium.ttf", 40, 40);

    restartButton = Button::create(g, offset + 70, 800, "btn_frame_l_off.png", "btn_frame_l_on.png", Sprite2D::kMiddle);
    mainMenuButton =
        Button::create(g, offset + 70, 900, "btn_frame_l_off.png", "btn_frame_l_on.png", Sprite2D::kMiddle);
    restartLabel = makeTextLabel(g, font.get(), "Restart");
    mainMenuLabel = makeTextLabel(g, font.get(), "Main Menu");
    twitterButton =
        Button::create(g, offset + 340, 130, "button_twitter.png", "button_twitter_down.png", Sprite2D::kMiddle);
    facebookButton =
        Button::create(g, offset + 440, 130, "button_facebook.png", "button_facebook_down.png", Sprite2D::kMiddle);
    if (font) font->setColor(255, 255, 255, 255);
    startMusic(data, music);
    return 1;
}

void GameScene_Result::share(Application* app, int32_t kind) {
    char text[kShareTextSize];
    buildShareText(text, sizeof text, resultText);
    // One bridge per share, let go as soon as the text is handed over.
    SocialShare* bridge = iOS::SocialShareImp::create(app, nullptr);
    if (!bridge) return;
    bridge->share(text, kind);
    delete bridge;
}

RefPtr<Scene> GameScene_Result::update(Application* app) {
    touches_.read(app);
    // Pauses the music while suspended and resumes it (only while music is
    // on) 10 updates after.
    suspension.update(app, data, music);

    // During the medal animation the touches are read and dropped.
    if (updateMedalAnimation(app)) {
        if (restartButton && restartButton->update(touches_)) {
            playEffect(data, tapSound);
            if (music) music->stop();
            return MekkoMain::create(app, data);
        }
        if (SceneRef next = leaveOnClick(app, data, mainMenuButton.get(), touches_, tapSound.get(), music.get())) {
            return next;
        }
        if (twitterButton && twitterButton->update(touches_)) {
            playEffect(data, tapSound);
            share(app, kShareTwitter);
        }
        if (facebookButton && facebookButton->update(touches_)) {
            playEffect(data, tapSound);
            share(app, kShareFacebook);
        }
    }
    invalidate();
    return self();
}

bool GameScene_Result::draw(Application* app, Graphics* g) {
    drawResults(app, g);
    if (mainMenuButton) mainMenuButton->draw(g, 0, 0);
    if (restartButton) restartButton->draw(g, 0, 0);
    if (restartLabel) g->drawImageScaled(offset + 190, 765, restartLabel);
    if (mainMenuLabel) g->drawImageScaled(offset + 170, 865, mainMenuLabel);
    if (twitterButton) twitterButton->draw(g, 0, 0);
    if (facebookButton) facebookButton->draw(g, 0, 0);
    return true;
}

// --- MekkoResult ---

SceneRef MekkoResult::create(Application* app, GameData* data) { return create(app, data, nullptr); }

SceneRef MekkoResult::create(Application* app, GameData* data, const BookedResult* booked) {
    if (app) app->setName("mekko");
    RefPtr<MekkoResult> scene = makeRef<MekkoResult>(data);
    if (scene && booked) {
        scene->booked_ = true;
        scene->booking_ = *booked;
    }
    return scene;
}

Sprite2D* MekkoResult::shownMedal() const {
    if (medal1) return medal1Sprite.get();
    if (medal2) return medal2Sprite.get();
    if (medal3) return medal3Sprite.get();
    return nullptr;
}

int32_t MekkoResult::prepareResults(Application* app) {
    offset = layoutOffset(app);
    RefPtr<Graphics> graphics = app->getGraphics();
    Graphics* g = graphics.get();
    medalAudio = makeSceneAudio(app);
    if (medalAudio) medalSound = medalAudio->createSound(1, "sound/medal.wav", 0, true);

    background = Image::load(g, "main_bg1.png");
    stage = Image::load(g, "main_stage.png");
    medal3Image = Image::load(g, "medal/result_medal_3.png");
    medal1Image = Image::load(g, "medal/result_medal_1.png");
    medal2Image = Image::load(g, "medal/result_medal_2.png");
    chest = Image::load(g, "main_treasure.png");
    title = Image::load(g, "result_title.png");
    const std::pair<RefPtr<Sprite2D>*, RefPtr<Image>*> sprites[] = {
        {&medal1Sprite, &medal1Image}, {&medal2Sprite, &medal2Image}, {&medal3Sprite, &medal3Image}};
    for (const auto& s : sprites) {
        if (!*s.second) continue;
        *s.first = makeRef<Sprite2D>(0, 0, *s.second, Sprite2D::kMiddle);
        if (*s.first) {
            (*s.first)->scaleX = medalScaleX;
            (*s.first)->scaleY = medalScaleY;
        }
    }
    loadGlyphs(g, GlyphSize::Medium, true, glyphs);

    if (!data) return 1;
    uint32_t* w = data->words;
    resultCents = w[kWordLastCents];
    resultDollars = moneyFromWords(w[kWordLastHigh], w[kWordLastLow]);
    if (!booked_) {
        booking_.medal = countMedalAndTotal(w, resultDollars);
        insertRanking(app);
    } else {
        rankIndex = booking_.rankIndex;
        rankIn = booking_.rankIn;
    }
    medal1 = booking_.medal == 1 ? 1 : 0;
    medal2 = booking_.medal == 2 ? 1 : 0;
    medal3 = booking_.medal == 3 ? 1 : 0;

    resultTextLength = formatMoney(resultText, sizeof resultText, resultDollars, resultCents);
    for (int32_t i = 0; i < kShownRows; ++i) {
        rowLabelLengths[i] = std::snprintf(rowLabels[i], sizeof rowLabels[i], "%d:", int(i + 1));
        rowTextLengths[i] = formatMoney(rowTexts[i], sizeof rowTexts[i],
                                        moneyFromWords(w[kWordRankHigh + i], w[kWordRankLow + i]),
                                        w[kWordRankCents + i]);
    }
    // A booking already in the file is not saved again.
    if (!booked_ || !booking_.saved) saveGameData(data, app);
    return 1;
}

void MekkoResult::insertRanking(Application* app) {
    rankIndex = insertIntoRanking(data->words, resultDollars, resultCents, &rankIn);
    saveGameData(data, app);
}

int32_t insertIntoRanking(uint32_t* w, int64_t dollars, int64_t cents, uint8_t* rankIn) {
    RankRow rows[kRankingRows];
    for (int32_t k = 0; k < kRankingRows; ++k) {
        const uint32_t high = w[kWordRankHigh + k], low = w[kWordRankLow + k], c = w[kWordRankCents + k];
        rows[k] = RankRow{moneyFromWords(high, low), int64_t(c), high, low, c, false};
    }
    const RankRow entry{dollars, cents, w[kWordLastHigh], w[kWordLastLow], w[kWordLastCents], true};
    // Ties stay below the row they equal.
    if (rankIn) *rankIn = beats(entry, rows[4]) ? 1 : 0;
    const bool entered = beats(entry, rows[kRankingRows - 1]);
    if (entered) rows[kRankingRows - 1] = entry;

    for (int32_t p = 0; p < kRankingRows - 1; ++p) {
        for (int32_t k = kRankingRows - 2; k >= p; --k) {
            if (beats(rows[k + 1], rows[k])) std::swap(rows[k], rows[k + 1]);
        }
    }
    // Follow the entry itself, so that rows out of order in the file cannot
    // move the highlight onto another row.
    int32_t reached = -1;
    for (int32_t k = 0; k < kRankingRows; ++k) {
        if (rows[k].entry) reached = k;
        // The rows keep their own words: a row is moved, never re-split.
        w[kWordRankHigh + k] = rows[k].high;
        w[kWordRankLow + k] = rows[k].low;
        w[kWordRankCents + k] = rows[k].centsWord;
    }
    return reached;
}

BookedResult bookResult(GameData* data, Application* app) {
    BookedResult booked;
    if (!data) return booked;
    uint32_t* w = data->words;
    const int64_t dollars = moneyFromWords(w[kWordLastHigh], w[kWordLastLow]);
    booked.medal = countMedalAndTotal(w, dollars);
    booked.rankIndex = insertIntoRanking(w, dollars, w[kWordLastCents], &booked.rankIn);
    booked.saved = saveGameData(data, app) == 1;
    return booked;
}

int32_t MekkoResult::updateMedalAnimation(Application*) {
    if (framesLeft <= 0) return 1;
    medalScaleX -= 0.15f;
    medalScaleY -= 0.15f;
    --framesLeft;
    if (framesLeft == 0) {
        if (resultDollars >= kMedal3Dollars) playEffect(data, medalSound);
        medalScaleX = 1.0f;
        medalScaleY = 1.0f;
    }
    if (Sprite2D* s = shownMedal()) {
        s->scaleX = medalScaleX;
        s->scaleY = medalScaleY;
    }
    return 0;
}

int32_t MekkoResult::drawResults(Application*, Graphics* g) {
    if (!g) return 1;
    if (background) g->drawImage(offset - 90, 0, background);
    if (chest) g->drawImage(offset + 204, 250, chest);
    if (stage) g->drawImage(offset + 60, 700, stage);
    if (title) g->drawImage(offset + 43, 180, title);

    // The result line is centred on the design whatever the offset is.
    const int32_t dollarLeft = drawGlyphRun(g, glyphs, false, resultText, centredRightEdge(resultText), 290);
    medalX = dollarLeft - 48;

    for (int32_t i = 0; i < kShownRows; ++i) {
        const int32_t y = 370 + 80 * i;
        const bool highlight = rankIn && i == rankIndex;
        drawGlyphRun(g, glyphs, highlight, rowTexts[i], offset + 510, y);
        drawGlyphRun(g, glyphs, false, rowLabels[i], offset + 71, y);
    }
    if (Sprite2D* medal = shownMedal()) g->drawSpriteAt(medalX, 306, medal);
    return 1;
}

}  // namespace mekko
