// The spawn-table parser, the save file "mekko.sav" at its byte offsets and
// the record the game entry builds.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cfloat>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Audio.h"
#include "game/GameData.h"
#include "tests/game/game_fixture.h"

using namespace mekko;

namespace {

std::vector<CoinSpawnRow> coinRows(const std::string& text, int32_t* count, int32_t capacity = kTableCapacity) {
    std::vector<CoinSpawnRow> rows(size_t(capacity) + 1, CoinSpawnRow{-7, -7, -7, -7, -7});
    *count = parseCoinTable(text.data(), text.size(), rows.data(), capacity);
    return rows;
}

struct CoinCase {
    const char* text;
    int32_t rows;
    std::vector<int32_t> firstValues;  // the first values in row order, column by column
};

TEST(SpawnTable, CoinRowsFollowTheTokenOrder) {
    const CoinCase cases[] = {
        {"1,2,3,4,5\n6,7,8,9,10\nEND", 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"1,2,3\n4,5,6,7,8,9,10,END", 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"1,,3,4,5,END", 1, {1, 0, 3, 4, 5}},
        {"1,2,3,END", 0, {1, 2, 3}},
        {"END\n1,2,3,4,5", 0, {-7}},
        {"1,2,3,4,5\r\n  6,7,8,9,10\r\n\r\nEND\r\n", 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"1,2,3,4,5\n6,7,8,9,10\n", 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},  // no END: the data's end
        {"", 0, {-7}},
        {"99999999999,-99999999999,7,8,9,END", 1, {INT32_MAX, INT32_MIN, 7, 8, 9}},
    };
    for (const CoinCase& c : cases) {
        int32_t count = -1;
        std::vector<CoinSpawnRow> rows = coinRows(c.text, &count);
        EXPECT_EQ(c.rows, count) << c.text;
        const int32_t* flat = &rows[0].steadyRate;
        for (size_t i = 0; i < c.firstValues.size(); ++i) EXPECT_EQ(c.firstValues[i], flat[i]) << c.text << " value " << i;
    }
}

TEST(SpawnTable, StopsAtItsCapacity) {
    std::string text;
    for (int r = 0; r < 26; ++r) text += std::to_string(r) + ",1,2,3,4\n";
    text += "END";
    int32_t count = 0;
    std::vector<CoinSpawnRow> rows = coinRows(text, &count);
    EXPECT_EQ(kTableCapacity, count);
    EXPECT_EQ(24, rows[24].steadyRate);
    EXPECT_EQ(-7, rows[25].steadyRate) << "nothing written past the block";
}

TEST(SpawnTable, ItemColumnsFourAndFiveAreFloats) {
    const std::string text = "10,0,0,2.5,4.0,0\n9,1,nan,inf,-1e99,3\nEND";
    ItemSpawnRow rows[3] = {};
    ASSERT_EQ(2, parseItemTable(text.data(), text.size(), rows, 3));
    EXPECT_EQ(10, rows[0].weight1);
    EXPECT_FLOAT_EQ(2.5f, rows[0].minSec);
    EXPECT_FLOAT_EQ(4.0f, rows[0].maxSec);
    EXPECT_EQ(0, rows[1].weight3);
    EXPECT_EQ(0.0f, rows[1].minSec) << "a non-finite number stores 0";
    EXPECT_EQ(-FLT_MAX, rows[1].maxSec) << "out of range saturates";
    EXPECT_EQ(3, rows[1].extra);
}

TEST(SpawnTable, TheGamesOwnTablesHaveRowsForEveryLevelAndBonusTime) {
    gametest::GameWorld world;
    world.start();
    for (int32_t rows : {world.data->coinRows, world.data->dollarRows, world.data->dumbbellRows}) {
        EXPECT_GE(rows, kBonusRow + 1);
        EXPECT_LE(rows, kTableCapacity);
    }
    ASSERT_NE(nullptr, world.data->coinTable);
    EXPECT_GT(world.data->coinTable[kBonusRow].steadyRate, 0);
}

// The save file as bytes.
std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
uint32_t wordAt(const std::vector<uint8_t>& b, size_t offset) {
    return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
           uint32_t(b[offset + 3]) << 24;
}
void putWord(std::vector<uint8_t>* b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[offset + size_t(i)] = uint8_t(v >> (8 * i));
}
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A record whose words are their own numbers plus 1000 (switches 1 and 0).
void fillWords(GameData* d) {
    for (int32_t i = 0; i < kWordCount; ++i) d->words[i] = 1000u + uint32_t(i);
    d->words[kWordMusicOff] = 1;
    d->words[kWordEffectsOff] = 0;
}

TEST(SaveFile, WordsLandAtTheirOffsets) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    std::vector<uint8_t> b = fileBytes(world.docs.file(kSaveFileName));
    ASSERT_EQ(size_t(kSaveFileBytes), b.size());
    EXPECT_EQ(kSaveMagic, wordAt(b, 0));
    EXPECT_EQ(1u, wordAt(b, 4));
    EXPECT_EQ(0u, wordAt(b, 8));
    EXPECT_EQ(kSaveMagic, wordAt(b, 12));
    for (uint32_t r = 0; r < 10; ++r) {
        EXPECT_EQ(1002u + r, wordAt(b, 16 + 12 * r));
        EXPECT_EQ(1012u + r, wordAt(b, 20 + 12 * r));
        EXPECT_EQ(1022u + r, wordAt(b, 24 + 12 * r));
    }
    const std::pair<size_t, uint32_t> tail[] = {{136, 1032}, {140, 1033}, {144, 1035}, {148, 1036},
                                                {152, 1037}, {156, 1038}, {160, 1039}, {164, 1040}};
    for (auto [offset, value] : tail) EXPECT_EQ(value, wordAt(b, offset)) << offset;
    EXPECT_EQ(kSaveMagic, wordAt(b, 168));
    struct stat st {};
    ASSERT_EQ(0, ::stat(world.docs.file(kSaveFileName).c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777u);
}

TEST(SaveFile, RoundTripKeepsEveryWordButTheLastCents) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    GameData loaded;
    ASSERT_EQ(1, loadGameData(&loaded, world.app.get()));
    for (int32_t i = 0; i < kWordCount; ++i) {
        EXPECT_EQ(i == kWordLastCents ? 0u : world.data->words[i], loaded.words[i]) << "word " << i;
    }
    EXPECT_EQ(world.app->getAudio().get(), loaded.audio.get());
}

TEST(SaveFile, BrokenFilesLoadAsZeros) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    const std::vector<uint8_t> good = fileBytes(world.docs.file(kSaveFileName));
    const std::string path = world.docs.file(kSaveFileName);

    std::vector<uint8_t> shortFile(good.begin(), good.end() - 1);
    std::vector<uint8_t> badHead = good;
    putWord(&badHead, 0, 0);
    std::vector<uint8_t> badMiddle = good;
    putWord(&badMiddle, 12, 1);
    for (const auto& bytes : {shortFile, badHead, badMiddle, std::vector<uint8_t>()}) {
        writeFile(path, bytes);
        GameData loaded;
        loaded.words[5] = 77;
        EXPECT_EQ(0, loadGameData(&loaded, world.app.get()));
        for (uint32_t w : loaded.words) EXPECT_EQ(0u, w);
    }
}

TEST(SaveFile, SwitchesApplyBeforeTheTrailingMagicIsChecked) {
    gametest::GameWorld world;
    fillWords(world.data);
    world.data->words[kWordMusicOff] = 3;  // stored as 3, read as its lowest bit
    world.data->words[kWordEffectsOff] = 1;
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    const std::string path = world.docs.file(kSaveFileName);
    std::vector<uint8_t> b = fileBytes(path);
    EXPECT_EQ(3u, wordAt(b, 4));
    {
        GameData loaded;
        ASSERT_EQ(1, loadGameData(&loaded, world.app.get()));
        EXPECT_EQ(1u, loaded.words[kWordMusicOff]);
    }
    putWord(&b, 168, 0);
    writeFile(path, b);
    KelpaEngine::RefPtr<KelpaEngine::Audio> audio = world.app->getAudio();
    ASSERT_TRUE(audio);
    audio->setBGMOff(0);
    audio->setSEOff(0);
    GameData loaded;
    EXPECT_EQ(0, loadGameData(&loaded, world.app.get()));
    EXPECT_EQ(0u, loaded.words[kWordMusicOff]);
    EXPECT_EQ(1, audio->setBGMOff(0)) << "music switch was applied";
    EXPECT_EQ(1, audio->setSEOff(0)) << "effects switch was applied";
}

TEST(SaveFile, NoFolderMeansNothingLoadedOrSaved) {
    gametest::GameWorld world;
    KelpaEngine::iOS::setDocumentsFolder((world.docs.path + "/missing/deeper").c_str());
    fillWords(world.data);
    EXPECT_EQ(0, saveGameData(world.data, world.app.get()));
    GameData loaded;
    EXPECT_EQ(0, loadGameData(&loaded, world.app.get()));
}

TEST(SaveFile, AFailedSaveIsReportedAndKeepsTheOldFile) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    const std::vector<uint8_t> before = fileBytes(world.docs.file(kSaveFileName));
    world.data->words[kWordLastLow] = 424242;
    // In a child whose files may not grow past 100 bytes: the new content
    // cannot be written whole.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(77);
        _exit(saveGameData(world.data, world.app.get()) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no file size limit here";
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the failure is reported";
    EXPECT_EQ(before, fileBytes(world.docs.file(kSaveFileName)));
}

TEST(SaveFile, MoneyWordsSplitAndJoinIn64Bits) {
    uint32_t high = 0, low = 0;
    moneyToWords(123456789012345LL, &high, &low);
    EXPECT_EQ(1234567u, high);
    EXPECT_EQ(89012345u, low);
    EXPECT_EQ(123456789012345LL, moneyFromWords(high, low));
    EXPECT_EQ(int64_t(UINT32_MAX) * 100000000 + UINT32_MAX, moneyFromWords(UINT32_MAX, UINT32_MAX));
    moneyToWords(-5, &high, &low);
    EXPECT_EQ(0u, high);
    EXPECT_EQ(0u, low);
}

TEST(GameEntry, TheRecordHoldsTheSharedObjectsAndTheSavedWords) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    std::memset(world.data->words, 0, sizeof world.data->words);
    world.start();
    EXPECT_TRUE(world.data->graphics);
    EXPECT_TRUE(world.data->pointing);
    EXPECT_TRUE(world.data->font);
    EXPECT_TRUE(world.data->audio);
    EXPECT_EQ(28, world.data->font->getSize());
    EXPECT_EQ(1032u, world.data->words[kWordLastHigh]);
    EXPECT_EQ(0u, world.data->interrupted);
}

}  // namespace
