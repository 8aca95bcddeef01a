// The game's one record for the whole run: the saved words (switches,
// top-10 ranking, last result, lifetime totals, medal counts), the shared
// engine objects and the three spawn tables; and the save file "mekko.sav".
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/Font.h"
#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Pointing.h"

namespace mekko {

// A row of "coin.txt"; the row index is the difficulty level (row 16 bonus time).
struct CoinSpawnRow {
    int32_t steadyRate;      // coins per second of the steady stream
    int32_t burstMin;        // lowest burst rate, coins per second
    int32_t burstMax;        // burst rate bound (drawn below it)
    int32_t burstRerollSec;  // seconds between draws of the burst rate
    int32_t modeRerollSec;   // seconds between draws of the burst direction
};

// A row of "dollar.txt" or "dumbbell.txt".
struct ItemSpawnRow {
    int32_t weight1;  // weight of one item per spawn event
    int32_t weight2;  // ... of two
    int32_t weight3;  // ... of three
    float minSec;     // shortest time between spawn events
    float maxSec;     // bound of that time; 0 means an event on every frame
    int32_t extra;    // stored, read by nobody
};

constexpr int32_t kTableCapacity = 25;  // rows in each table's block
constexpr int32_t kTopLevel = 15;       // levels 0 to 15
constexpr int32_t kBonusRow = 16;       // the row of bonus time
constexpr int32_t kCoinColumns = 5;
constexpr int32_t kItemColumns = 6;

constexpr uint32_t kSaveMagic = 0x4129A28C;
constexpr char kSaveFileName[] = "mekko.sav";
// A damaged save file is kept under this name before it is saved over.
constexpr char kBrokenSaveFileName[] = "mekko.sav.broken";
constexpr int32_t kSaveFileBytes = 172;  // 43 little-endian words
constexpr int64_t kMoneyHighUnit = 100000000;  // dollars = high * unit + low

// Word numbers.
enum : int32_t {
    kWordMusicOff = 0,   // 0 on, 1 off
    kWordEffectsOff = 1,
    kWordRankHigh = 2,   // rows 1 to 10: 2..11
    kWordRankLow = 12,   // 12..21
    kWordRankCents = 22, // 22..31
    kWordLastHigh = 32,
    kWordLastLow = 33,
    kWordLastCents = 34,  // not in the file
    kWordTotalHigh = 35,
    kWordTotalLow = 36,
    kWordTotalCents = 37,
    kWordMedal3 = 38,
    kWordMedal1 = 39,
    kWordMedal2 = 40,
    kWordCount = 41,
};
constexpr int32_t kRankingRows = 10;

class GameData {
public:
    GameData() = default;
    ~GameData();
    GameData(const GameData&) = delete;
    GameData& operator=(const GameData&) = delete;

    void setInterrupted(uint8_t flag) { interrupted = flag ? 1 : 0; }
    void clearInterrupted() { interrupted = 0; }

    // Music (kind 1) starts only while music is on; effects likewise.
    bool musicOn() const { return words[kWordMusicOff] == 0; }
    bool effectsOn() const { return words[kWordEffectsOff] == 0; }

    uint32_t words[kWordCount] = {};
    KelpaEngine::RefPtr<KelpaEngine::Application> application;
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio;
    KelpaEngine::RefPtr<KelpaEngine::Graphics> graphics;
    KelpaEngine::RefPtr<KelpaEngine::Pointing> pointing;
    KelpaEngine::RefPtr<KelpaEngine::Font> font;
    // Blocks of kTableCapacity zeroed rows (owned by the record), and the
    // number of rows the files gave.
    CoinSpawnRow* coinTable = nullptr;
    int32_t coinRows = 0;
    ItemSpawnRow* dollarTable = nullptr;
    int32_t dollarRows = 0;
    ItemSpawnRow* dumbbellTable = nullptr;
    int32_t dumbbellRows = 0;
    uint8_t interrupted = 0;
    // The save file's troubles in this run: the file loaded was damaged (it
    // is kept aside before the first save over it; 2 once a failure to keep
    // it has been said), and a failed save has been reported (only the first
    // is; a save that cannot be written is said at the load).
    uint8_t keepDamagedSave = 0;
    uint8_t saveFailureReported = 0;
};

// A saved amount's dollars from its high and low words, in 64 bits.
inline int64_t moneyFromWords(uint32_t high, uint32_t low) {
    return int64_t(high) * kMoneyHighUnit + int64_t(low);
}
// The high and low words of a dollar count (negative counts as 0; a high
// part beyond 32 bits saturates).
void moneyToWords(int64_t dollars, uint32_t* high, uint32_t* low);

// Fills the words from the first 172 bytes of "mekko.sav" and sets the
// record's audio reference; 1 when they were read whole and valid, else 0
// with every word 0 (the switches, once read, stay applied to the
// application's audio object). The file is only read, so a read-only one
// loads. A file that is there but damaged or unreadable is said on stderr,
// and marked to be kept aside; a file or folder a save cannot write is said
// once.
int32_t loadGameData(GameData* data, KelpaEngine::Application* app);
// Writes the 43 words as the whole of "mekko.sav"; 1 when the new content
// is in the file, else 0 (the old content then stays whole). A damaged file
// loaded before is first kept as "mekko.sav.broken", or "mekko.sav.broken-2"
// and so on when that name is taken (a copy that cannot be kept is said and
// the save goes on); the first failure of a run is said on stderr.
int32_t saveGameData(GameData* data, KelpaEngine::Application* app);

// The table parser over size bytes (the data may hold a NUL anywhere): rows
// and columns follow the order of the tokens, commas and line breaks are
// interchangeable, "END" at the start of a token ends the table. Stores at
// most capacity rows; returns the count of complete rows.
int32_t parseCoinTable(const char* text, size_t size, CoinSpawnRow* rows, int32_t capacity);
int32_t parseItemTable(const char* text, size_t size, ItemSpawnRow* rows, int32_t capacity);

// Loads the three tables from the assets into the record (blocks of
// kTableCapacity rows; a missing file leaves a zeroed block of 0 rows).
void loadSpawnTables(GameData* data, KelpaEngine::Application* app);

}  // namespace mekko
