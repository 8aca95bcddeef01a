#include "game/GameData.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "engine/AssetReport.h"
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

namespace {

// The save file's troubles are said on stderr, one line each; nothing
// else of the game writes a log.
void reportSave(const char* line) { std::fprintf(stderr, "mekko: %s\n", line); }

uint32_t wordAt(const uint8_t* bytes, int32_t offset) {
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 | uint32_t(bytes[offset + 2]) << 16 |
           uint32_t(bytes[offset + 3]) << 24;
}

constexpr int32_t kTailWords[] = {kWordLastHigh, kWordLastLow, kWordTotalHigh, kWordTotalLow,
                                  kWordTotalCents, kWordMedal3, kWordMedal1, kWordMedal2};

// Reads the words from the file's first 172 bytes (zeros past its end) in
// the layout's order; the byte offset of the first wrong magic word, or -1.
int32_t readWords(GameData* data, const uint8_t* bytes) {
    uint32_t* w = data->words;
    if (wordAt(bytes, 0) != kSaveMagic) return 0;
    w[kWordMusicOff] = wordAt(bytes, 4) & 1u;
    w[kWordEffectsOff] = wordAt(bytes, 8) & 1u;
    if (wordAt(bytes, 12) != kSaveMagic) return 12;
    if (data->audio) {
        data->audio->setBGMOff(int(w[kWordMusicOff]));
        data->audio->setSEOff(int(w[kWordEffectsOff]));
    }
    int32_t at = 16;
    for (int32_t r = 0; r < kRankingRows; ++r, at += 12) {
        w[kWordRankHigh + r] = wordAt(bytes, at);
        w[kWordRankLow + r] = wordAt(bytes, at + 4);
        w[kWordRankCents + r] = wordAt(bytes, at + 8);
    }
    for (int32_t i : kTailWords) {
        w[i] = wordAt(bytes, at);
        at += 4;
    }
    return wordAt(bytes, at) == kSaveMagic ? -1 : at;
}

int32_t saveFailed(GameData* data, const char* why) {
    if (!data->saveFailureReported) {
        data->saveFailureReported = 1;
        char line[256];
        std::snprintf(line, sizeof line, "%s could not be saved: %s", kSaveFileName, why);
        reportSave(line);
    }
    return 0;
}

// A save will not go through: said now, once for the run.
void reportUnwritable(GameData* data, const iOS::SaveDataImp::WriteCheck& check, bool fileThere) {
    char line[256];
    if (check.fileError != 0) {
        std::snprintf(line, sizeof line,
                      "%s cannot be written (%s): it is left as it is and this run's results are not saved",
                      kSaveFileName, std::strerror(check.fileError));
    } else if (check.folderError != 0) {
        std::snprintf(line, sizeof line, "the folder of %s cannot be written (%s): this run's results are not saved%s",
                      kSaveFileName, std::strerror(check.folderError),
                      fileThere ? " and the file is left as it is" : "");
    } else {
        return;
    }
    reportSave(line);
    data->saveFailureReported = 1;
}

}  // namespace

int32_t loadGameData(GameData* data, Application* app) {
    if (!data) return 0;
    data->audio = app ? app->getAudio() : RefPtr<Audio>();
    std::memset(data->words, 0, sizeof data->words);
    // Read only: a file the user made read-only still loads.
    iOS::SaveDataImp::WriteCheck check;
    RefPtr<SaveData> file = iOS::SaveDataImp::openToRead(app, kSaveFileName, kSaveFileBytes, &check);
    if (!file) {
        if (errno == ENOENT) {  // no save yet
            reportUnwritable(data, check, false);
            return 0;
        }
        char line[256];
        std::snprintf(line, sizeof line, "%s cannot be read (%s): the game starts from an empty record",
                      kSaveFileName, std::strerror(errno));
        reportSave(line);
        data->keepDamagedSave = 1;
        return 0;
    }
    uint8_t bytes[kSaveFileBytes] = {};
    file->seek(0, 0);
    const int32_t n = file->read(bytes, kSaveFileBytes);
    if (n == 0) {  // a new save file, still empty
        reportUnwritable(data, check, true);
        return 0;
    }
    const int32_t wrongMagic = readWords(data, bytes);
    if (wrongMagic < 0) {
        reportUnwritable(data, check, true);
        return 1;
    }
    std::memset(data->words, 0, sizeof data->words);
    char why[96];
    if (n < kSaveFileBytes) {
        std::snprintf(why, sizeof why, "only %d of its %d bytes", int(n), int(kSaveFileBytes));
    } else {
        std::snprintf(why, sizeof why, "a wrong magic word at byte %d", int(wrongMagic));
    }
    char line[256];
    std::snprintf(line, sizeof line, "%s is damaged (%s): the game starts from an empty record and keeps it aside",
                  kSaveFileName, why);
    reportSave(line);
    // Nothing is saved over a file that cannot be written, so it stays where it is.
    data->keepDamagedSave = check.fileError == 0 && check.folderError == 0 ? 1 : 0;
    reportUnwritable(data, check, true);
    return 0;
}

int32_t saveGameData(GameData* data, Application* app) {
    if (!data) return 0;
    if (data->keepDamagedSave) {
        // Each damaged file under a name of its own; one that cannot be kept
        // does not stop the save.
        std::string keptAs;
        char line[256];
        if (iOS::SaveDataImp::keepCopy(app, kSaveFileName, kBrokenSaveFileName, &keptAs) == 0) {
            if (!keptAs.empty()) {
                std::snprintf(line, sizeof line, "the damaged %s is kept as %s", kSaveFileName, keptAs.c_str());
                reportSave(line);
            }
            data->keepDamagedSave = 0;
        } else if (data->keepDamagedSave == 1) {
            std::snprintf(line, sizeof line, "the damaged %s could not be kept as %s (%s): it is saved over",
                          kSaveFileName, kBrokenSaveFileName, std::strerror(errno));
            reportSave(line);
            data->keepDamagedSave = 2;  // said; tried again at each save until one goes through
        }
    }
    // The layout's 172 bytes replace the whole file, whatever it held after them.
    RefPtr<SaveData> file = iOS::SaveDataImp::open(app, kSaveFileName, kSaveFileBytes);
    if (!file) return saveFailed(data, std::strerror(errno));
    if (file->seek(0, 0) != 0) return saveFailed(data, "cannot seek");
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
    for (int32_t i : kTailWords) out[n++] = w[i];
    out[n++] = kSaveMagic;
    bool ok = true;
    for (int32_t i = 0; i < n && ok; ++i) ok = SaveData::writeU32LE(file, out[i]) == 4;
    if (!ok) return saveFailed(data, "the words could not be written");
    // Only a flushed save is in the file; a failed one leaves the old content whole.
    if (file->flush() != 0) return saveFailed(data, std::strerror(errno));
    data->keepDamagedSave = 0;
    return 1;
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
    std::string why;
    RefPtr<Resource> file = iOS::ResourceImp::load(app, fileName, &why);
    if (!file) {
        reportBrokenAsset(fileName, why.c_str());
        return rows;
    }
    *count = parse(reinterpret_cast<const char*>(file->getData()), file->getSize(), rows, kTableCapacity);
    // Every level and bonus time has a row of its own.
    if (*count < kBonusRow + 1) {
        char reason[96];
        std::snprintf(reason, sizeof reason, "%d complete rows, %d needed (levels 0 to %d and bonus time)",
                      int(*count), int(kBonusRow + 1), int(kTopLevel));
        reportBrokenAsset(fileName, reason);
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
