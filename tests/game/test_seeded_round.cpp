// A seeded round of the real game, end to end through the program itself:
// the title, a play with turns and chest taps, the result, the title again
// and the ranking, then the end of the run. The save file it leaves is
// checked byte for byte and chosen frames against their hashes, so that a
// change in the order of the random draws, in the seeded clock or in the
// path from the play to the ranking shows here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game/GameData.h"
#include "tests/game/game_fixture.h"
#include "tests/support/png_read.h"
#include "tests/support/program_run.h"

namespace {

using namespace mekko;
using testsupport::Picture;
using testsupport::pixelHash;
using testsupport::readPicture;
using testsupport::runProgram;

// Times in ms after the first frame, on the 375 x 667 point screen.
constexpr char kRound[] =
    "800 tap 187 375\n"      // GAME START
    "4200 tap 187 600\n"     // turns keep the player on the stage
    "5000 tap 187 600\n"
    "5800 tap 187 600\n"
    "6000 tap 208 221\n"     // the chest
    "6600 tap 187 600\n"
    "7000 tap 208 221\n"
    "7400 tap 187 600\n"
    "8200 tap 187 600\n"     // the last turn: the player walks off
    "13500 tap 187 625\n"    // Main Menu on the result screen
    "14500 tap 52 528\n"     // the ranking button on the title
    "16000 terminate\n";

// The seeded round brings $11.83.
constexpr int64_t kRoundDollars = 11;
constexpr uint32_t kRoundCents = 83;

// The chosen frames: main play, the result screen, the ranking.
const struct {
    const char* name;
    uint64_t hash;
} kFrames[] = {
    {"frame-000425.png", 0x63f4da75fd71f80dull},
    {"frame-000825.png", 0xc0c5b27d7403e19eull},
    {"frame-000975.png", 0x947f89d766363c74ull},
};

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void putRow(uint32_t* words, int row, int64_t dollars, uint32_t cents) {
    moneyToWords(dollars, &words[kWordRankHigh + row], &words[kWordRankLow + row]);
    words[kWordRankCents + row] = cents;
}

TEST(SeededRound, TheRealGameFromTheTitleToTheRankingSavesAndDrawsTheSameRound) {
    gametest::TempFolder dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string docs = dir.file("docs"), shots = dir.file("shots"), script = dir.file("round.txt");
    ASSERT_EQ(0, ::mkdir(docs.c_str(), 0700));
    ASSERT_EQ(0, ::mkdir(shots.c_str(), 0700));
    {
        std::ofstream out(script);
        out << kRound;
    }
    // A player with three rows, a lifetime total and two medals.
    uint32_t before[kWordCount] = {};
    putRow(before, 0, 50, 0);
    putRow(before, 1, 5, 0);
    putRow(before, 2, 1, 0);
    before[kWordTotalLow] = 100;
    before[kWordTotalCents] = 25;
    before[kWordMedal3] = 2;
    ASSERT_TRUE(gametest::writeSaveFile(docs + "/mekko.sav", before));

    const int rc = runProgram(dir.path, {KELPA_BINARY_DIR "/host/mekko", "--headless", "--profile", "375x667@2",
                                      "--assets", gametest::kAssets, "--documents", docs, "--seed", "1",
                                      "--script", script, "--frames", "2000", "--shots", shots, "--every", "25",
                                      "--timeout", "200"}, 240);
    ASSERT_EQ(0, rc);

    // Second in the ranking, in the total once, no medal.
    uint32_t after[kWordCount] = {};
    std::copy(before, before + kWordCount, after);
    putRow(after, 1, kRoundDollars, kRoundCents);
    putRow(after, 2, 5, 0);
    putRow(after, 3, 1, 0);
    moneyToWords(kRoundDollars, &after[kWordLastHigh], &after[kWordLastLow]);
    after[kWordTotalLow] = 100 + uint32_t(kRoundDollars) + 1;
    after[kWordTotalCents] = 25 + kRoundCents - 100;
    const std::string want = dir.file("want.sav");
    ASSERT_TRUE(gametest::writeSaveFile(want, after));
    EXPECT_EQ(fileBytes(want), fileBytes(docs + "/mekko.sav"));

    for (const auto& f : kFrames) {
        Picture p;
        ASSERT_TRUE(readPicture(shots + "/" + f.name, &p)) << f.name;
        char got[32];
        std::snprintf(got, sizeof got, "0x%016llx", static_cast<unsigned long long>(pixelHash(p)));
        EXPECT_EQ(f.hash, pixelHash(p)) << f.name << " hashes to " << got;
    }
}

}  // namespace
