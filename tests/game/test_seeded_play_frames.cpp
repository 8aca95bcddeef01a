// A recorded play, frame by frame: the game binary runs headless with a
// seed and the demo script (title, countdown, a round with turns and chest
// taps through bonus time, a pause and Resume, the fall and the result, the
// title and the ranking), writes every fifth frame, and each one's pixels
// must hash to what is stored in seeded_play_frames.txt. Any change in what
// is drawn, by a pixel, shows here with the frames it touched. When a change
// of the picture is meant, KELPA_UPDATE_FRAMES=1 writes the file anew from
// this run.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/png_read.h"
#include "tests/support/program_run.h"

namespace {

// The whole demo; a fifth of its frames keeps the writing and reading of
// pictures within what a busy machine does in the time.
constexpr int kFrames = 3560;
constexpr int kEvery = 5;
constexpr int kRunSeconds = 400;
const char kReference[] = KELPA_SOURCE_DIR "/tests/game/seeded_play_frames.txt";

std::string hex(uint64_t v) {
    char s[17];
    std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(v));
    return s;
}

std::map<int, std::string> readReference() {
    std::map<int, std::string> frames;
    std::ifstream in(kReference);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int frame = 0;
        std::string hash;
        if (fields >> frame >> hash) frames[frame] = hash;
    }
    return frames;
}

bool writeReference(const std::map<int, std::string>& hashes) {
    std::ofstream out(kReference);
    out << "# Every fifth frame of the seeded play in test_seeded_play_frames.cpp: its number and\n"
           "# the FNV-1a 64 hash of its RGBA bytes, rows top first.\n";
    for (const auto& [frame, hash] : hashes) out << frame << ' ' << hash << '\n';
    return bool(out);
}

TEST(SeededPlayFrames, EveryFrameIsThePictureOnRecord) {
    char tmpl[] = "/tmp/mekko-seeded-play-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    const std::string dir = tmpl;
    // In a home of its own: the interstitial's request counters live there
    // and would change the frames from run to run.
    const int rc = testsupport::runProgram(
        dir,
        {KELPA_BINARY_DIR "/host/mekko", "--headless", "--profile", "375x667@2", "--seed", "1", "--script",
         KELPA_SOURCE_DIR "/tools/demo-play.txt", "--frames", std::to_string(kFrames), "--every",
         std::to_string(kEvery), "--shots", dir + "/shots", "--documents", dir + "/docs", "--timeout",
         std::to_string(kRunSeconds)},
        kRunSeconds + 30, dir + "/run.log");
    EXPECT_EQ(0, rc) << "see " << dir << "/run.log";

    std::map<int, std::string> hashes;
    for (int n = kEvery; n <= kFrames; n += kEvery) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06d.png", n);
        testsupport::Picture pic;
        if (!testsupport::readPicture(dir + "/shots" + name, &pic)) break;
        hashes[n] = hex(testsupport::pixelHash(pic));
    }
    ASSERT_EQ(size_t(kFrames / kEvery), hashes.size()) << "frames written, see " << dir;

    if (const char* update = std::getenv("KELPA_UPDATE_FRAMES"); update && std::string(update) == "1") {
        EXPECT_TRUE(writeReference(hashes)) << kReference;
        std::filesystem::remove_all(dir);
        return;
    }
    const std::map<int, std::string> reference = readReference();
    ASSERT_EQ(hashes.size(), reference.size()) << kReference;
    std::vector<int> differing;
    for (const auto& [frame, hash] : hashes) {
        auto it = reference.find(frame);
        if (it == reference.end() || it->second != hash) differing.push_back(frame);
    }
    std::string list;
    for (size_t i = 0; i < differing.size() && i < 20; ++i) list += " " + std::to_string(differing[i]);
    EXPECT_TRUE(differing.empty()) << differing.size() << " frames differ from the record, the first:" << list
                                   << "; the frames are in " << dir << "/shots";
    if (differing.empty()) std::filesystem::remove_all(dir);
}

}  // namespace
