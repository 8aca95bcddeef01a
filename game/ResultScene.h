// The result screen after every play: the medal by money band, the lifetime
// totals, the top-10 ranking with the new entry, Restart, Main Menu and
// sharing the result.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "engine/Sprite2D.h"
#include "game/SceneKit.h"

namespace mekko {

class GameData;

// The result screen's bookkeeping rules.
// A medal counter word after one more medal: saturates at 2,147,483,647
// (a word already at or above it ends there).
uint32_t addMedal(uint32_t count);

// Adds a result to the lifetime total words (high, low, cents) with the
// carries from cents into dollars and from the low part into the high one,
// so that high x 100,000,000 + low dollars and the cents stay the sum. A
// total past what the words can hold stays at the largest they can.
void addToTotal(uint32_t* high, uint32_t* low, uint32_t* cents, uint32_t addHigh, uint32_t addLow,
                uint32_t addCents);

// The medal of a result in whole dollars: 1, 2, 3, or 0 for none.
int32_t medalFor(int64_t dollars);

// Puts a result into the ten ranking rows of the words when it beats row
// 10 (ties stay below the row they equal); the row it reached, or -1.
// rankIn tells whether it went above the old fifth row.
int32_t insertIntoRanking(uint32_t* words, int64_t dollars, int64_t cents, uint8_t* rankIn);

// What booking a play's result gave the result screen to show.
struct BookedResult {
    int32_t medal = 0;       // 1, 2, 3, or 0 for none
    int32_t rankIndex = -1;  // the ranking row reached, -1 when it stayed out
    uint8_t rankIn = 0;      // above the old fifth row
    bool saved = false;      // the booking is in the save file
};

// Books the last result (words 32 to 34) into the medal counts, the
// lifetime totals and the ranking, and saves: once for each play.
BookedResult bookResult(GameData* data, KelpaEngine::Application* app);

constexpr int32_t kShareTextSize = 1024;
// "Reward:$1,234.05 [iOS]... [Android]... #$1,000,000,000,000.00 #RUVO".
int32_t buildShareText(char* out, size_t size, const char* moneyText);

class GameScene_Result : public mekko_Scene {
public:
    explicit GameScene_Result(GameData* data) : data(data) {}

    int32_t init(KelpaEngine::Application* app) override;
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    // 1 once the medal animation is over, else 0.
    virtual int32_t updateMedalAnimation(KelpaEngine::Application* app) = 0;
    // The one-time bookkeeping; fills the result money text.
    virtual int32_t prepareResults(KelpaEngine::Application* app) = 0;
    virtual int32_t drawResults(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) = 0;

    char resultText[32] = "";
    int32_t offset = 0;
    SuspendWatch suspension;
    KelpaEngine::RefPtr<KelpaEngine::Image> restartLabel;
    KelpaEngine::RefPtr<KelpaEngine::Image> mainMenuLabel;
    KelpaEngine::RefPtr<KelpaEngine::Font> font;
    KelpaEngine::RefPtr<Button> mainMenuButton;
    KelpaEngine::RefPtr<Button> restartButton;
    KelpaEngine::RefPtr<Button> twitterButton;
    KelpaEngine::RefPtr<Button> facebookButton;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio;
    KelpaEngine::RefPtr<KelpaEngine::Sound> music;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tapSound;
    GameData* data;

private:
    void share(KelpaEngine::Application* app, int32_t kind);
    TouchFrame touches_;
};

class MekkoResult : public GameScene_Result {
public:
    // The screen books the last result itself.
    static SceneRef create(KelpaEngine::Application* app, GameData* data);
    // With booked, the play's result was booked when it ended (main play
    // does it then, so that no way out of the play loses it) and the screen
    // only shows it; without, as create.
    static SceneRef create(KelpaEngine::Application* app, GameData* data, const BookedResult* booked);

    explicit MekkoResult(GameData* data) : GameScene_Result(data), data(data) {}

    int32_t updateMedalAnimation(KelpaEngine::Application* app) override;
    int32_t prepareResults(KelpaEngine::Application* app) override;
    int32_t drawResults(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;
    // Puts the last result into the top-10 rows when it beats row 10.
    void insertRanking(KelpaEngine::Application* app);

    static constexpr int32_t kShownRows = 5;
    static constexpr int32_t kAnimationFrames = 60;

    int32_t offset = 0;
    int32_t resultTextLength = 0;
    int32_t rowTextLengths[kShownRows] = {};
    int32_t rowLabelLengths[kShownRows] = {};
    // The row the new entry reached; -1 when it stayed out.
    int32_t rankIndex = 9;
    int32_t framesLeft = kAnimationFrames;
    int64_t resultCents = 0;
    int64_t resultDollars = 0;
    float medalScaleX = 10.0f;
    float medalScaleY = 10.0f;
    int32_t medalX = 0;
    char rowLabels[kShownRows][30] = {};
    char rowTexts[kShownRows][30] = {};
    uint8_t rankIn = 0;
    uint8_t medal3 = 0;
    uint8_t medal1 = 0;
    uint8_t medal2 = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> background;
    KelpaEngine::RefPtr<KelpaEngine::Image> stage;
    KelpaEngine::RefPtr<KelpaEngine::Image> medal3Image;
    KelpaEngine::RefPtr<KelpaEngine::Image> medal1Image;
    KelpaEngine::RefPtr<KelpaEngine::Image> medal2Image;
    KelpaEngine::RefPtr<KelpaEngine::Image> chest;
    KelpaEngine::RefPtr<KelpaEngine::Image> title;
    KelpaEngine::RefPtr<KelpaEngine::Image> glyphs[2 * kMediumGlyphs];
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> medal1Sprite;
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> medal2Sprite;
    KelpaEngine::RefPtr<KelpaEngine::Sprite2D> medal3Sprite;
    KelpaEngine::RefPtr<KelpaEngine::Audio> medalAudio;
    KelpaEngine::RefPtr<KelpaEngine::Sound> medalSound;
    GameData* data;

private:
    KelpaEngine::Sprite2D* shownMedal() const;
    bool booked_ = false;
    BookedResult booking_;
};

}  // namespace mekko
