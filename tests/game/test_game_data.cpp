// The spawn-table parser, the save file "mekko.sav" at its byte offsets and
// the record the game entry builds.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <climits>
#include <cfloat>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/Audio.h"
#include "game/GameData.h"
#include "tests/game/game_fixture.h"
#include "tests/game/scene_probe.h"
#include "tests/support/stderr_capture.h"

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

// A table that is missing, or too short for every level and bonus time, is
// said like any other broken asset.
TEST(SpawnTable, AMissingOrShortTableIsReportedAsABrokenAsset) {
    gametest::GameWorld world;
    std::string rows16;
    for (int r = 0; r < kBonusRow; ++r) rows16 += "1,0,0,1.0,2.0,0\n";
    gametest::AssetOverlay assets({"coin.txt"}, {{"dollar.txt", rows16 + "END"}, {"dumbbell.txt", ""}});
    testsupport::StderrCapture capture;
    world.start();
    const std::vector<std::string> lines = capture.lines();
    const struct {
        const char* name;
        const char* why;
    } cases[] = {{"coin.txt", "not found"},
                 {"dollar.txt", "16 complete rows, 17 needed"},
                 {"dumbbell.txt", "0 complete rows"}};
    for (const auto& c : cases) {
        const std::vector<std::string> said = testsupport::brokenAssetLines(lines, c.name);
        ASSERT_EQ(1u, said.size()) << c.name;
        EXPECT_NE(said[0].find(c.why), std::string::npos) << said[0];
    }
    EXPECT_EQ(0, world.data->coinRows);
    EXPECT_EQ(kBonusRow, world.data->dollarRows);
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

// --- a damaged, long or half-written save loses nothing ---

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The game's own lines of what was said on stderr (the audio library may
// say things of its own).
std::string gameLines(const std::string& said) {
    std::string out;
    for (size_t at = 0; at < said.size();) {
        size_t end = said.find('\n', at);
        end = end == std::string::npos ? said.size() : end + 1;
        if (said.compare(at, 7, "mekko: ") == 0) out += said.substr(at, end - at);
        at = end;
    }
    return out;
}

// Loads in a fresh record; the game's lines said on stderr.
std::string loadReport(gametest::GameWorld& world, GameData* into, int32_t* result) {
    testing::internal::CaptureStderr();
    *result = loadGameData(into, world.app.get());
    return gameLines(testing::internal::GetCapturedStderr());
}

}  // namespace

TEST(SaveFileTroubles, ADamagedFileIsSaidOnceAndKeptBeforeItIsSavedOver) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    const std::string path = world.docs.file(kSaveFileName);
    const std::string broken = world.docs.file("mekko.sav.broken");
    const std::vector<uint8_t> good = fileBytes(path);
    auto flipped = [&](size_t byte) {
        std::vector<uint8_t> b = good;
        b[byte] ^= 0x10;
        return b;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* why;
    } cases[] = {
        {"first magic", flipped(1), "wrong magic word at byte 0"},
        {"second magic", flipped(14), "wrong magic word at byte 12"},
        {"last magic", flipped(171), "wrong magic word at byte 168"},
        {"cut short", std::vector<uint8_t>(good.begin(), good.begin() + 100), "only 100 of its 172 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(broken.c_str());
        writeFile(path, c.bytes);
        GameData loaded;
        int32_t result = -1;
        const std::string said = loadReport(world, &loaded, &result);
        EXPECT_EQ(0, result);
        for (uint32_t w : loaded.words) EXPECT_EQ(0u, w);
        EXPECT_NE(said.find("mekko.sav is damaged"), std::string::npos) << said;
        EXPECT_NE(said.find(c.why), std::string::npos) << said;
        EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << said;
        EXPECT_FALSE(exists(broken)) << "nothing moves before a save";

        loaded.words[kWordLastLow] = 5;
        ASSERT_EQ(1, saveGameData(&loaded, world.app.get()));
        EXPECT_EQ(c.bytes, fileBytes(broken)) << "the damaged file is kept whole";
        const std::vector<uint8_t> saved = fileBytes(path);
        ASSERT_EQ(size_t(kSaveFileBytes), saved.size());
        EXPECT_EQ(5u, wordAt(saved, 140));
        // Later saves go over the new file only.
        loaded.words[kWordLastLow] = 6;
        ASSERT_EQ(1, saveGameData(&loaded, world.app.get()));
        EXPECT_EQ(c.bytes, fileBytes(broken));
        EXPECT_EQ(6u, wordAt(fileBytes(path), 140));
    }
}

TEST(SaveFileTroubles, ANewOrEmptyFileIsNoTrouble) {
    gametest::GameWorld world;
    for (bool emptyFile : {false, true}) {
        if (emptyFile) writeFile(world.docs.file(kSaveFileName), {});
        GameData loaded;
        int32_t result = -1;
        EXPECT_EQ("", loadReport(world, &loaded, &result));
        EXPECT_EQ(0, result);
        testing::internal::CaptureStderr();
        EXPECT_EQ(1, saveGameData(&loaded, world.app.get()));
        EXPECT_EQ("", gameLines(testing::internal::GetCapturedStderr()));
        EXPECT_FALSE(exists(world.docs.file("mekko.sav.broken")));
        ::unlink(world.docs.file(kSaveFileName).c_str());
    }
}

TEST(SaveFileTroubles, AnUnreadableFileIsSaidWithWhyAndMovedAsideWhole) {
    gametest::GameWorld world;
    const std::string path = world.docs.file(kSaveFileName);
    ASSERT_EQ(0, ::mkdir(path.c_str(), 0700));
    writeFile(path + "/inside", {1, 2, 3});
    GameData loaded;
    int32_t result = -1;
    const std::string said = loadReport(world, &loaded, &result);
    EXPECT_EQ(0, result);
    EXPECT_NE(said.find("mekko.sav cannot be read (Is a directory)"), std::string::npos) << said;
    ASSERT_EQ(1, saveGameData(&loaded, world.app.get()));
    EXPECT_EQ(std::vector<uint8_t>({1, 2, 3}), fileBytes(world.docs.file("mekko.sav.broken") + "/inside"));
    EXPECT_EQ(size_t(kSaveFileBytes), fileBytes(path).size());
}

TEST(SaveFileTroubles, BytesAfterTheLayoutNeitherHideTheWordsNorStopSaves) {
    gametest::GameWorld world;
    fillWords(world.data);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    const std::string path = world.docs.file(kSaveFileName);
    const std::vector<uint8_t> good = fileBytes(path);
    for (size_t extra : {size_t(10), size_t(3) << 20}) {
        SCOPED_TRACE(extra);
        std::vector<uint8_t> longer = good;
        longer.resize(good.size() + extra, 0xEE);
        writeFile(path, longer);
        GameData loaded;
        int32_t result = -1;
        EXPECT_EQ("", loadReport(world, &loaded, &result));
        EXPECT_EQ(1, result);
        EXPECT_EQ(1032u, loaded.words[kWordLastHigh]);
        loaded.words[kWordLastHigh] = 77;
        ASSERT_EQ(1, saveGameData(&loaded, world.app.get()));
        const std::vector<uint8_t> saved = fileBytes(path);
        ASSERT_EQ(size_t(kSaveFileBytes), saved.size()) << "a whole new file";
        EXPECT_EQ(77u, wordAt(saved, 136));
        EXPECT_EQ(kSaveMagic, wordAt(saved, 168));
    }
}

// A writer killed between its temporary file and the rename leaves the
// temporary file; the next save removes it, but never one a live writer
// still holds, nor anything else in the folder.
TEST(SaveFileTroubles, LeftoversOfAKilledSaveGoWithTheNextSave) {
    gametest::GameWorld world;
    fillWords(world.data);
    const std::string leftover = world.docs.file(".mekko.sav.Ab3xZ9");
    writeFile(leftover, std::vector<uint8_t>(60, 0x8C));
    const std::string keep[] = {world.docs.file(".mekko.sav.Ab3-Z9"), world.docs.file(".mekko.sav.Ab3xZ"),
                                world.docs.file("mekko.sav.Ab3xZ9"), world.docs.file(".other.sav.Ab3xZ9")};
    for (const std::string& k : keep) writeFile(k, {1});
    // A writer in another process, mid-save: its file is held until it is
    // killed, as a save is until its rename.
    const std::string live = world.docs.file(".mekko.sav.Q1w2E3");
    writeFile(live, {2});
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        int fd = ::open(live.c_str(), O_RDONLY);
        char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 1 : 0;
        if (::write(ready[1], &ok, 1) != 1) _exit(1);
        ::alarm(60);  // bounded, should the test die first
        for (;;) ::pause();
    }
    char ok = 0;
    ASSERT_EQ(1, ::read(ready[0], &ok, 1));
    ASSERT_EQ(1, ok);

    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    EXPECT_FALSE(exists(leftover));
    EXPECT_TRUE(exists(live)) << "a live writer's file stays";
    for (const std::string& k : keep) EXPECT_TRUE(exists(k)) << k;

    ::kill(writer, SIGKILL);
    int status = 0;
    ASSERT_EQ(writer, ::waitpid(writer, &status, 0));
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
    EXPECT_FALSE(exists(live)) << "once its writer is killed";
    for (const std::string& k : keep) EXPECT_TRUE(exists(k)) << k;
}

TEST(SaveFileTroubles, OnlyTheFirstFailedSaveOfARunIsSaid) {
    gametest::GameWorld world;
    fillWords(world.data);
    int out[2];
    ASSERT_EQ(0, ::pipe(out));
    // In a child whose files may not grow past 100 bytes, every save fails.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(77);
        ::dup2(out[1], 2);
        int failed = 0;
        for (int i = 0; i < 3; ++i) failed += saveGameData(world.data, world.app.get()) == 0;
        _exit(failed);
    }
    ::close(out[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no file size limit here";
    EXPECT_EQ(3, WEXITSTATUS(status));
    EXPECT_EQ("mekko: mekko.sav could not be saved: File too large\n", gameLines(said));
}

// --- however the save folder looks, a round's result is saved when the
// folder can be written, and no file already there is lost ---

namespace {

struct FolderRun {
    int load = -1;  // loadGameData's result
    int save = -1;  // the first saveGameData's result
    bool skipped = false;
    uint32_t loadedLastHigh = 0;
    std::string said;  // the game's lines on stderr
};

// Loads, plays a round (its result in word 33) and saves twice, in a child
// that runs as another user when we are root, so that permission bits bite.
FolderRun runInFolder(gametest::GameWorld& world) {
    FolderRun run;
    int out[2];
    if (::pipe(out) != 0) return run;
    pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
        ::close(out[0]);
        ::alarm(30);  // bounded, should anything hang
        if (::geteuid() == 0) {
            const std::string folder = world.docs.path;
            if (::lchown(folder.c_str(), 65534, 65534) != 0) _exit(77);
            for (const auto& e : std::filesystem::directory_iterator(folder)) {
                if (::lchown(e.path().c_str(), 65534, 65534) != 0) _exit(77);
            }
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(77);
        }
        ::dup2(out[1], 2);
        GameData d;
        const int load = loadGameData(&d, world.app.get());
        const uint32_t last = d.words[kWordLastHigh];
        d.words[kWordLastLow] = 4242;
        const int save = saveGameData(&d, world.app.get());
        d.words[kWordLastLow] = 4243;
        saveGameData(&d, world.app.get());
        // The first saved result stands for the round; its load shows in the exit code.
        const char line[] = "mekko: run done\n";
        (void)!::write(2, line, sizeof line - 1);
        _exit(load * 2 + save + (last == 1032 ? 4 : 0));
    }
    ::close(out[1]);
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) run.said.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return run;
    const int code = WEXITSTATUS(status);
    if (code == 77) {
        run.skipped = true;
        return run;
    }
    run.load = code & 2 ? 1 : 0;
    run.save = code & 1;
    run.loadedLastHigh = code & 4 ? 1032 : 0;
    run.said = gameLines(run.said);
    const std::string done = "mekko: run done\n";
    if (run.said.size() >= done.size() && run.said.compare(run.said.size() - done.size(), done.size(), done) == 0) {
        run.said.resize(run.said.size() - done.size());
    }
    return run;
}

// A symbolic link's target ("" when it is not a link).
std::string linkTarget(const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? "" : std::string(buf, size_t(n));
}

}  // namespace

TEST(SaveFolderShapes, TheResultIsSavedWheneverTheFolderCanBeWrittenAndNoFileIsLost) {
    // A good save from an earlier run, and a damaged one.
    std::vector<uint8_t> good;
    {
        gametest::GameWorld world;
        fillWords(world.data);
        ASSERT_EQ(1, saveGameData(world.data, world.app.get()));
        good = fileBytes(world.docs.file(kSaveFileName));
    }
    ASSERT_EQ(size_t(kSaveFileBytes), good.size());
    std::vector<uint8_t> damaged = good;
    damaged[14] ^= 0x10;
    const std::vector<uint8_t> older = {'o', 'l', 'd', 'e', 'r'};

    struct Shape {
        const char* what;
        std::function<void(const std::string& folder)> make;
        int load;                  // loadGameData's result
        bool saved;                // the round's result is in mekko.sav
        const char* said;          // the game's lines ("" for none); "*" starts a substring to find
        std::function<void(const std::string& folder)> check;  // what must still be there
    };
    auto put = [](const std::string& path, const std::vector<uint8_t>& bytes, mode_t mode) {
        writeFile(path, bytes);
        ::chmod(path.c_str(), mode);
    };
    const Shape shapes[] = {
        {"a read-only good save",
         [&](const std::string& f) { put(f + "/mekko.sav", good, 0400); }, 1, false,
         "mekko: mekko.sav cannot be written (Permission denied): it is left as it is and this run's results are "
         "not saved\n",
         [&](const std::string& f) {
             EXPECT_EQ(good, fileBytes(f + "/mekko.sav")) << "left untouched";
             EXPECT_FALSE(exists(f + "/mekko.sav.broken")) << "nothing kept aside";
         }},
        {"a dangling link into a folder that is gone",
         [&](const std::string& f) { ASSERT_EQ(0, ::symlink("gone/mekko.sav", (f + "/mekko.sav").c_str())); }, 0,
         true, "",
         [&](const std::string& f) {
             EXPECT_EQ("", linkTarget(f + "/mekko.sav")) << "the link is replaced by the file";
             EXPECT_FALSE(exists(f + "/gone"));
         }},
        {"a dangling link to a file not made yet",
         [&](const std::string& f) { ASSERT_EQ(0, ::symlink("real.sav", (f + "/mekko.sav").c_str())); }, 0, true,
         "",
         [&](const std::string& f) {
             EXPECT_EQ("real.sav", linkTarget(f + "/mekko.sav")) << "saved where the name leads";
             EXPECT_EQ(size_t(kSaveFileBytes), fileBytes(f + "/real.sav").size());
         }},
        {"a folder named mekko.sav.broken beside a damaged save",
         [&](const std::string& f) {
             put(f + "/mekko.sav", damaged, 0600);
             ASSERT_EQ(0, ::mkdir((f + "/mekko.sav.broken").c_str(), 0700));
             writeFile(f + "/mekko.sav.broken/inside", older);
         },
         0, true, "*kept as mekko.sav.broken-2",
         [&](const std::string& f) {
             EXPECT_EQ(older, fileBytes(f + "/mekko.sav.broken/inside"));
             EXPECT_EQ(damaged, fileBytes(f + "/mekko.sav.broken-2"));
         }},
        {"older kept copies beside a damaged save",
         [&](const std::string& f) {
             put(f + "/mekko.sav", damaged, 0600);
             put(f + "/mekko.sav.broken", older, 0600);
             put(f + "/mekko.sav.broken-2", good, 0600);
         },
         0, true, "*kept as mekko.sav.broken-3",
         [&](const std::string& f) {
             EXPECT_EQ(older, fileBytes(f + "/mekko.sav.broken")) << "an older copy is never replaced";
             EXPECT_EQ(good, fileBytes(f + "/mekko.sav.broken-2"));
             EXPECT_EQ(damaged, fileBytes(f + "/mekko.sav.broken-3"));
         }},
        {"a folder that cannot be written, with no save yet",
         [&](const std::string& f) { ASSERT_EQ(0, ::chmod(f.c_str(), 0500)); }, 0, false,
         "mekko: the folder of mekko.sav cannot be written (Permission denied): this run's results are not saved\n",
         [&](const std::string& f) { EXPECT_FALSE(exists(f + "/mekko.sav")); }},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.what);
        gametest::GameWorld world;
        const std::string folder = world.docs.path;
        s.make(folder);
        const FolderRun run = runInFolder(world);
        ::chmod(folder.c_str(), 0700);
        if (run.skipped) GTEST_SKIP() << "running as root and cannot run the folder's shapes as another user";
        EXPECT_EQ(s.load, run.load);
        EXPECT_EQ(s.saved ? 1 : 0, run.save);
        if (s.load == 1) {
            EXPECT_EQ(1032u, run.loadedLastHigh) << "the saved words are loaded";
        }
        if (s.said[0] == '*') {
            EXPECT_NE(run.said.find(s.said + 1), std::string::npos) << run.said;
        } else {
            EXPECT_EQ(s.said, run.said);
        }
        if (s.saved) {
            const std::vector<uint8_t> saved = fileBytes(folder + "/mekko.sav");
            EXPECT_EQ(size_t(kSaveFileBytes), saved.size());
            if (saved.size() == size_t(kSaveFileBytes)) {
                EXPECT_EQ(4243u, wordAt(saved, 140)) << "each save goes through";
            }
        }
        s.check(folder);
    }
}
