// Fuzz entry: "mekko.sav" as the game reads it at start-up, then every
// money text the screens make from its words. A file that is not whole and
// valid leaves every word 0; no text outgrows its buffer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/ios/Paths.h"
#include "game/GameData.h"
#include "game/SceneKit.h"

namespace {

const std::string& folder() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/fuzz-save-XXXXXX";
        const char* made = mkdtemp(tmpl);
        std::string d = made ? made : "/tmp";
        KelpaEngine::iOS::setDocumentsFolder(d.c_str());
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = folder() + "/mekko.sav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    mekko::GameData game;
    int32_t ok = mekko::loadGameData(&game, nullptr);
    if (ok != 0 && ok != 1) __builtin_trap();
    if (ok == 0) {
        for (uint32_t w : game.words) {
            if (w != 0) __builtin_trap();
        }
    }
    const uint32_t* w = game.words;
    auto money = [](uint32_t high, uint32_t low, uint32_t cents) {
        char text[64];
        std::memset(text, 0x5A, sizeof text);
        int32_t n = mekko::formatMoney(text, 48, mekko::moneyFromWords(high, low), int64_t(cents));
        if (n < 0 || n >= 48 || std::strlen(text) != size_t(n)) __builtin_trap();
        for (size_t i = 48; i < sizeof text; ++i) {
            if (static_cast<unsigned char>(text[i]) != 0x5A) __builtin_trap();
        }
    };
    for (int32_t r = 0; r < mekko::kRankingRows; ++r) {
        money(w[mekko::kWordRankHigh + r], w[mekko::kWordRankLow + r], w[mekko::kWordRankCents + r]);
    }
    money(w[mekko::kWordLastHigh], w[mekko::kWordLastLow], 0);
    money(w[mekko::kWordTotalHigh], w[mekko::kWordTotalLow], w[mekko::kWordTotalCents]);
    return 0;
}
