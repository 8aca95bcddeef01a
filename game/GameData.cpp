#include "game/GameData.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/Resource.h"
#include "engine/SaveData.h"
#include "engine/ios/ResourceImp.h"
#include "engine/ios/SaveDataImp.h"

namespace mekko {

using namespace KelpaEngine;

GameData::~GameData() {
    delete[] coinTable;
    delete[] dollarTable;
    delete[] dumbbellTable;
}

void moneyToWords(int64_t dollars, uint32_t* high, uint32_t* low) {
    if (dollars < 0) dollars = 0;
    int64_t h = dollars / kMoneyHighUnit;
    if (h > int64_t(UINT32_MAX)) {
        *high = UINT32_MAX;
        *low = uint32_t(kMoneyHighUnit - 1);
        return;
    }
    *high = uint32_t(h);
    *low = uint32_t(dollars % kMoneyHighUnit);
}

int32_t loadGameData(GameData* data, Application* app) {
    if (!data) return 0;
    data->audio = app ? app->getAudio() : RefPtr<Audio>();
    std::memset(data->words, 0, sizeof data->words);
    RefPtr<SaveData> file = iOS::SaveDataImp::open(app, kSaveFileName);
    if (!file) return 0;
    auto fail = [data]() {
        std::memset(data->words, 0, sizeof data->words);
        return 0;
    };
    file->seek(0, 0);
    if (SaveData::readU32LE(file) != kSaveMagic) return fail();
    uint32_t* w = data->words;
    w[kWordMusicOff] = SaveData::readU32LE(file) & 1u;
    w[kWordEffectsOff] = SaveData::readU32LE(file) & 1u;
    if (SaveData::readU32LE(file) != kSaveMagic) return fail();
    if (data->audio) {
        data->audio->setBGMOff(int(w[kWordMusicOff]));
        data->audio->setSEOff(int(w[kWordEffectsOff]));
    }
    for (int32_t r = 0; r < kRankingRows; ++r) {
        w[kWordRankHigh + r] = SaveData::readU32LE(file);
        w[kWordRankLow + r] = SaveData::readU32LE(file);
        w[kWordRankCents + r] = SaveData::readU32LE(file);
    }
    for (int32_t i : {kWordLastHigh, kWordLastLow, kWordTotalHigh, kWordTotalLow, kWordTotalCents, kWordMedal3,
                      kWordMedal1, kWordMedal2}) {
        w[i] = SaveData::readU32LE(file);
    }
    if (SaveData::readU32LE(file) != kSaveMagic) return fail();
    return 1;
}

int32_t saveGameData(GameData* data, Application* app) {
    if (!data) return 0;
    RefPtr<SaveData> file = iOS::SaveDataImp::open(app, kSaveFileName);
    if (!file) return 0;
    if (file->seek(0, 0) != 0) return 0;
    const uint32_t* w = data->words;
    uint32_t out[kSaveFileBytes / 4];
    int32_t n = 0;
    out[n++] = kSaveMagic;
    out[n++] = w[kWordMusicOff];
    out[n++] = w[kWordEffectsOff];
    out[n++] = kSaveMagic;
    for (int32_t r = 0; r < kRankingRows; ++r) {
        out[n++] = w[kWordRankHigh + r];
        out[n++] = w[kWordRankLow + r];
        out[n++] = w[kWordRankCents + r];
    }
    for (int32_t i : {kWordLastHigh, kWordLastLow, kWordTotalHigh, kWordTotalLow, kWordTotalCents, kWordMedal3,
                      kWordMedal1, kWordMedal2}) {
        out[n++] = w[i];
    }
    out[n++] = kSaveMagic;
    bool ok = true;
    for (int32_t i = 0; i < n && ok; ++i) ok = SaveData::writeU32LE(file, out[i]) == 4;
    // Only a flushed save is in the file; a failed one leaves the old content whole.
    return ok && file->flush() == 0 ? 1 : 0;
}

namespace {

bool isSeparator(char c) { return c == ',' || c == '\n' || c == '\r'; }

// The token's text as a C string for the conversions; a token longer than
// any number is cut (its tail could not change the value atoi would give
// beyond saturation).
void tokenText(const char* begin, const char* end, char* out, size_t outSize) {
    size_t n = size_t(end - begin);
    if (n >= outSize) n = outSize - 1;
    std::memcpy(out, begin, n);
    out[n] = '\0';
}

int32_t toInt(const char* text) {
    errno = 0;
    long long v = std::strtoll(text, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

float toFloat(const char* text) {
    double v = std::strtod(text, nullptr);
    if (!std::isfinite(v)) return 0.0f;
    if (v > double(FLT_MAX)) return FLT_MAX;
    if (v < -double(FLT_MAX)) return -FLT_MAX;
    return float(v);
}

// Walks the tokens, handing (row, column, text) to store; returns the
// complete rows.
template <class Store>
int32_t parseTable(const char* text, size_t size, int32_t columns, int32_t capacity, Store store) {
    if (!text || capacity <= 0) return 0;
    size_t pos = 0;
    int32_t row = 0;
    int32_t column = 0;
    char token[64];
    while (pos < size && row < capacity) {
        if (size - pos >= 3 && std::memcmp(text + pos, "END", 3) == 0) break;
        size_t start = pos;
        while (pos < size && !isSeparator(text[pos])) ++pos;
        tokenText(text + start, text + pos, token, sizeof token);
        store(row, column, token);
        if (++column == columns) {
            column = 0;
            ++row;
        }
        if (pos < size) ++pos;  // the one separator
        while (pos < size && (text[pos] == '\n' || text[pos] == '\r' || text[pos] == ' ')) ++pos;
    }
    return row;
}

}  // namespace

int32_t parseCoinTable(const char* text, size_t size, CoinSpawnRow* rows, int32_t capacity) {
    if (!rows) return 0;
    return parseTable(text, size, kCoinColumns, capacity, [rows](int32_t r, int32_t c, const char* t) {
        int32_t v = toInt(t);
        CoinSpawnRow& row = rows[r];
        switch (c) {
            case 0: row.steadyRate = v; break;
            case 1: row.burstMin = v; break;
            case 2: row.burstMax = v; break;
            case 3: row.burstRerollSec = v; break;
            default: row.modeRerollSec = v; break;
        }
    });
}

int32_t parseItemTable(const char* text, size_t size, ItemSpawnRow* rows, int32_t capacity) {
    if (!rows) return 0;
    return parseTable(text, size, kItemColumns, capacity, [rows](int32_t r, int32_t c, const char* t) {
        ItemSpawnRow& row = rows[r];
        switch (c) {
            case 0: row.weight1 = toInt(t); break;
            case 1: row.weight2 = toInt(t); break;
            case 2: row.weight3 = toInt(t); break;
            case 3: row.minSec = toFloat(t); break;
            case 4: row.maxSec = toFloat(t); break;
            default: row.extra = toInt(t); break;
        }
    });
}

namespace {

template <class Row, class Parse>
Row* loadTable(Application* app, const char* fileName, int32_t* count, Parse parse) {
    *count = 0;
    Row* rows = new (std::nothrow) Row[kTableCapacity]();
    if (!rows) return nullptr;
    RefPtr<Resource> file = iOS::ResourceImp::load(app, fileName);
    if (file) {
        *count = parse(reinterpret_cast<const char*>(file->getData()), file->getSize(), rows, kTableCapacity);
    }
    return rows;
}

}  // namespace

void loadSpawnTables(GameData* data, Application* app) {
    if (!data) return;
    delete[] data->coinTable;
    delete[] data->dollarTable;
    delete[] data->dumbbellTable;
    data->coinTable = loadTable<CoinSpawnRow>(app, "coin.txt", &data->coinRows, parseCoinTable);
    data->dollarTable = loadTable<ItemSpawnRow>(app, "dollar.txt", &data->dollarRows, parseItemTable);
    data->dumbbellTable = loadTable<ItemSpawnRow>(app, "dumbbell.txt", &data->dumbbellRows, parseItemTable);
}

}  // namespace mekko
