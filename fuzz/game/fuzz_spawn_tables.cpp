// Fuzz entry: the spawn tables' parser, as coin and as item rows, into a
// block with guard rows past its capacity that must stay untouched.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "game/GameData.h"

namespace {

template <class Row, class Parse>
void parseInto(const char* text, size_t size, Parse parse) {
    constexpr int32_t kGuard = 2;
    Row rows[mekko::kTableCapacity + kGuard];
    std::memset(rows, 0xA5, sizeof rows);
    int32_t n = parse(text, size, rows, mekko::kTableCapacity);
    if (n < 0 || n > mekko::kTableCapacity) __builtin_trap();
    const unsigned char* guard = reinterpret_cast<const unsigned char*>(rows + mekko::kTableCapacity);
    for (size_t i = 0; i < sizeof(Row) * kGuard; ++i) {
        if (guard[i] != 0xA5) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    parseInto<mekko::CoinSpawnRow>(text, size, mekko::parseCoinTable);
    parseInto<mekko::ItemSpawnRow>(text, size, mekko::parseItemTable);
    return 0;
}
