// Main play: the countdown, then the player walks on the stage under the
// chest, turns on a tap of the lower screen and catches what the chest
// throws until a dumbbell hits or the player walks off; the money is then
// kept as the last result and, 801 ms after the player has left the
// screen, the result screen takes over. The pause button (and any
// suspension of the application) opens the pause panel.
#pragma once

#include <cstdint>

#include "engine/Adsense.h"
#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sound.h"
#include "game/GameData.h"
#include "game/Player.h"
#include "game/ResultScene.h"
#include "game/SceneKit.h"
#include "game/ThrownItems.h"

namespace mekko {

// The frame flow of main play: the pause button, the tunes, the clocks,
// the pause handling and the end delay. The play itself fills the hooks.
class GameScene_Main : public mekko_Scene {
public:
    static constexpr int64_t kEndDelayMs = 801;

    explicit GameScene_Main(GameData* data) : data(data) {}
    ~GameScene_Main() override = default;

    int32_t init(KelpaEngine::Application* app) override;
    KelpaEngine::RefPtr<KelpaEngine::Scene> update(KelpaEngine::Application* app) override;
    bool draw(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;

    virtual void frameLogic(KelpaEngine::Application* app, const TouchFrame& touches) = 0;
    virtual int32_t load(KelpaEngine::Application* app) = 0;
    virtual void drawPlay(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) = 0;
    virtual int64_t nowMs() = 0;

    void startEndDelay();

    SuspendWatch resume;  // counts the updates until the tunes resume after the pause panel
    int32_t pauseOffset = 0;
    int64_t bonusStart = 0, bonusElapsed = 0, bonusNow = 0;
    int64_t playStart = 0, playNow = 0, playElapsed = 0;
    uint8_t alive = 0;
    uint8_t countingDown = 1;
    uint8_t paused = 0;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio;
    KelpaEngine::RefPtr<KelpaEngine::Sound> bonusTune;
    KelpaEngine::RefPtr<KelpaEngine::Sound> mainTune;
    GameData* data;
    int64_t endStart = 0, endNow = 0;
    uint8_t endRunning = 0;
    KelpaEngine::RefPtr<Button> pauseButton;
    KelpaEngine::RefPtr<KelpaEngine::Sound> tapSound;
    KelpaEngine::RefPtr<KelpaEngine::Adsense> adsense;
    TouchFrame touches;

private:
    // Pauses the tunes and runs the pause panel; the next scene on Restart
    // or Main Menu, null on Resume.
    KelpaEngine::RefPtr<KelpaEngine::Scene> pauseSequence(KelpaEngine::Application* app);

protected:
    // The play's booking for the result screen; null before the play ended.
    virtual const BookedResult* bookedResult() const { return nullptr; }
};

// "Tap to turn", blinking 30 frames on and 15 off over the stage.
class TapHint {
public:
    static KelpaEngine::RefPtr<TapHint> create(KelpaEngine::Application* app);
    virtual ~TapHint() = default;
    void update();
    void draw(KelpaEngine::Graphics* graphics);

    int32_t offset = 0;
    KelpaEngine::RefPtr<KelpaEngine::Image> image;
    int32_t counter = 0;
    uint8_t visible = 1;
};

class MekkoMain : public GameScene_Main {
public:
    static SceneRef create(KelpaEngine::Application* app, GameData* data);

    static constexpr int32_t kCoinSlots = 90;
    static constexpr int32_t kDollarSlots = 20;
    static constexpr int32_t kDumbbellSlots = 20;
    static constexpr int32_t kBonusJewelSlots = 10;
    static constexpr int32_t kLevelMs = 5000;
    static constexpr int64_t kBonusMs = 11701;
    static constexpr int32_t kCountdownEnd = 179;
    static constexpr int32_t kItemsFrom = 199;
    static constexpr int32_t kFrameCounterTop = 500;
    static constexpr int64_t kMoneyCap = 999999999999999LL;

    explicit MekkoMain(GameData* data);
    ~MekkoMain() override = default;

    void frameLogic(KelpaEngine::Application* app, const TouchFrame& touches) override;
    int32_t load(KelpaEngine::Application* app) override;
    void drawPlay(KelpaEngine::Application* app, KelpaEngine::Graphics* graphics) override;
    int64_t nowMs() override;

    // The rules of a play.
    void stepLevel();
    void updateCoins(KelpaEngine::Application* app);
    void updateDollars(KelpaEngine::Application* app);
    void updateDumbbells(KelpaEngine::Application* app);
    // Moves the dumbbells of slots; one that comes down on the player ends the play.
    void updateDumbbellSlots(KelpaEngine::RefPtr<FallingDumbbell> (&slots)[kDumbbellSlots]);
    void updateBonusJewels(KelpaEngine::Application* app);
    void updateBigJewels();
    void shakeTreasure();
    void updateTreasureItems();
    void tapTreasure(KelpaEngine::Application* app);
    void openTreasure(KelpaEngine::Application* app, bool jackpot);
    void startBonusTime();
    void stepBonusTime();
    void addMoney(int32_t kind);
    // The row the spawners use: 16 in bonus time, else the level.
    int32_t spawnRow() const { return bonusTime ? kBonusRow : level; }
    bool ended() const { return hitByDumbbell || fellOffStage; }

    bool resultSaved = false;  // the play's result is in the save file
    bool resultBooked = false;  // ranking, totals and medals hold this play
    BookedResult booking;
    int32_t offset = 0;
    KelpaEngine::RefPtr<FallingCoin> coins[kCoinSlots];
    KelpaEngine::RefPtr<FallingDollar> dollars[kDollarSlots];
    KelpaEngine::RefPtr<FallingDollar> chestDollars[kDollarSlots];
    KelpaEngine::RefPtr<FallingDumbbell> dumbbells[kDumbbellSlots];
    KelpaEngine::RefPtr<FallingDumbbell> chestDumbbells[kDumbbellSlots];
    KelpaEngine::RefPtr<FallingJewel> bonusJewels[kBonusJewelSlots];
    KelpaEngine::RefPtr<FallingJewel> bigJewel;
    KelpaEngine::RefPtr<FallingJewel> jackpotJewel;
    KelpaEngine::RefPtr<Player> player;
    KelpaEngine::RefPtr<TapHint> tapHint;
    const CoinSpawnRow* coinTable = nullptr;
    const ItemSpawnRow* dollarTable = nullptr;
    const ItemSpawnRow* dumbbellTable = nullptr;
    int32_t level = 0;
    int32_t levelStart = 0;
    int32_t levelEnd = kLevelMs;
    int32_t countdownDigit = 3;
    char moneyText[kMoneyTextSize] = "";
    char highScoreText[kMoneyTextSize] = "";
    int32_t gameOverCounter = 0;

    // Coin streams.
    int32_t burstRate = 0;
    int32_t burstRateTimer = 0;
    int32_t burstModeTimer = 0;
    const int32_t modeReplacedByOne = 3;
    float steadyAccum = 0.0f, steadyPrev = 0.0f;
    float burstAccum = 0.0f, burstPrev = 0.0f;
    // Dollar and dumbbell spawners.
    struct ItemSpawner {
        int32_t timer = 0;
        int32_t weights[3] = {0, 0, 0};
        int32_t toThrow = 0;
    };
    ItemSpawner dollarSpawner;
    ItemSpawner dumbbellSpawner;
    int32_t bonusJewelTimer = 0;
    int32_t bonusJewelsToThrow = 0;
    int32_t bonusJewelsCaught = 0;

    int32_t chestX = 204;
    int32_t shakePhase = 0;
    uint8_t shaking = 0;
    int32_t shakeCounter = 0;
    uint8_t jackpotPending = 0;
    // The coin value: dollars and cents (it grows with every coin caught).
    int64_t coinDollars = 0;
    int32_t coinCents = 0;
    int32_t dollarsCaught = 0;
    int32_t frameCounter = 0;
    int32_t highScoreLength = 0;
    int32_t burstMode = 0;
    int32_t moneyLength = 0;
    int32_t direction = 0;  // 0 right, 1 left
    int32_t hudRight = 500;
    int32_t moneyY = 150;
    float bannerX = 650.0f;
    int64_t highDollars = 0, highCents = 0;
    int64_t moneyDollars = 0, moneyCents = 0;
    uint8_t turnEnabled = 1;
    uint8_t bonusTime = 0;
    uint8_t jewelInFlight = 0;
    uint8_t newHighScore = 0;
    uint8_t hitByDumbbell = 0;
    uint8_t fellOffStage = 0;

    KelpaEngine::RefPtr<KelpaEngine::Image> stageImage, bg1Image, bg2Image, bannerImage, chestImage, highScoreLabel;
    KelpaEngine::RefPtr<KelpaEngine::Image> countdownImages[4];  // "GO", 1, 2, 3
    KelpaEngine::RefPtr<KelpaEngine::Image> mediumGlyphs[2 * kMediumGlyphs];
    KelpaEngine::RefPtr<KelpaEngine::Image> smallGlyphs[2 * kSmallGlyphs];
    KelpaEngine::RefPtr<Button> turnArea;
    KelpaEngine::RefPtr<Button> chestButton;
    KelpaEngine::RefPtr<KelpaEngine::Sound> coinSound, dollarSound, dumbbellSound, jewel1Sound, jewel2Sound,
        jewel3Sound, countdownSound, startSound, treasureSound, fallSound;

protected:
    const BookedResult* bookedResult() const override { return resultBooked ? &booking : nullptr; }

private:
    void gameOverStep();
    void writeResult(KelpaEngine::Application* app);
    void bookPlay(KelpaEngine::Application* app);
    void checkHighScore();
};

}  // namespace mekko
