// test-links: PNG::PNG
// Checks the shipped asset bundle: every file the game loads is there, the
// images decode as 8-bit RGBA at the sizes the screens are laid out for, the
// sounds are PCM WAV the audio loader takes, and the spawn tables hold the
// rows main play indexes.

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kBundle = KELPA_SOURCE_DIR "/assets/Assets.bundle/";

std::vector<unsigned char> readFile(const std::string& name) {
    std::ifstream in(kBundle + name, std::ios::binary);
    if (!in) return {};
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& name) {
    std::FILE* f = std::fopen((kBundle + name).c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void addGlyphSet(std::vector<std::string>& out, const std::string& set, bool withColon) {
    for (int d = 0; d <= 9; ++d) out.push_back(set + "/" + set + "_" + std::to_string(d) + ".png");
    if (withColon) out.push_back(set + "/" + set + "_colon.png");
    for (const char* m : {"comma", "dollar", "period"}) out.push_back(set + "/" + set + "_" + m + ".png");
}

// Every asset file name the game and the interstitial view ask for.
std::vector<std::string> requiredImages() {
    std::vector<std::string> v = {
        "main_bg1.png", "main_bg2.png", "main_stage.png", "main_treasure.png",
        "main_coin.png", "main_doller.png", "main_jewel1.png", "main_jewel2.png", "main_jewel3.png",
        "main_dumbbell.png",
        "main_countdown_3.png", "main_countdown_2.png", "main_countdown_1.png", "main_countdown_go.png",
        "main_bonustime.png", "main_taptoturn.png", "hiscore_s.png",
        "main_btn_pause_off.png", "main_btn_pause_on.png", "bg_button.png",
        "btn_back_off.png", "btn_back_on.png", "btn_frame_m_off.png", "btn_frame_m_on.png",
        "btn_frame_l_off.png", "btn_frame_l_on.png", "btn_frame_xl_off.png", "btn_frame_xl_on.png",
        "title_btn_gamestart_off.png", "title_btn_gamestart_on.png",
        "title_btn_ranking_off.png", "title_btn_ranking_on.png",
        "title_btn_achievement_off.png", "title_btn_achievement_on.png",
        "title_btn_setting_off.png", "title_btn_setting_on.png",
        "title_btn_ruvo_off.png", "title_btn_ruvo_on.png",
        "button_twitter.png", "button_twitter_down.png", "button_facebook.png", "button_facebook_down.png",
        "title_logo.png", "pause_title.png", "result_title.png", "ranking_title.png", "config_title.png",
        "achievement_title.png", "adksinters_close.png",
    };
    for (int i = 1; i <= 4; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "main_player_walk_left_%02d.png", i);
        v.push_back(buf);
        std::snprintf(buf, sizeof buf, "main_player_walk_right_%02d.png", i);
        v.push_back(buf);
        v.push_back("eff_coin/eff_coin_" + std::to_string(i) + ".png");
        v.push_back("eff_doller/eff_doller_" + std::to_string(i) + ".png");
    }
    for (int i = 1; i <= 3; ++i) {
        v.push_back("medal/result_medal_" + std::to_string(i) + ".png");
        v.push_back("medal/achievement_medal_" + std::to_string(i) + ".png");
    }
    addGlyphSet(v, "num_m", true);
    addGlyphSet(v, "num_y_m", true);
    addGlyphSet(v, "num_s", false);
    addGlyphSet(v, "num_y_s", false);
    addGlyphSet(v, "num_l", false);
    return v;
}

const std::vector<std::string> kMusic = {"title", "menu", "gamemain", "result"};
const std::vector<std::string> kEffects = {"button_tap", "coin", "dollar", "dumbbell", "jewel1", "jewel2",
                                           "jewel3", "countdown", "gamestart", "treasure_open", "fall", "medal"};

std::vector<std::string> requiredFiles() {
    std::vector<std::string> v = requiredImages();
    for (const auto& m : kMusic) v.push_back("sound/" + m + ".wav");
    v.push_back("sound/bonus.wav");
    for (const auto& e : kEffects) v.push_back("sound/" + e + ".wav");
    for (const char* f : {"GenShinGothic-Medium.ttf", "coin.txt", "dollar.txt", "dumbbell.txt", "copyright.txt"})
        v.push_back(f);
    return v;
}

// ---------------------------------------------------------------------------
// PNG

struct Decoded {
    bool ok = false;
    std::string error;
    uint32_t width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

Decoded decodePng(const std::string& name) {
    Decoded d;
    std::vector<unsigned char> data = readFile(name);
    if (data.size() < 33) {
        d.error = "missing or too short";
        return d;
    }
    static const unsigned char sig[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    if (std::memcmp(data.data(), sig, 8) != 0 || std::memcmp(data.data() + 12, "IHDR", 4) != 0) {
        d.error = "not a PNG";
        return d;
    }
    // IHDR as stored: the engine expects 8-bit RGBA, not a palette or 16 bits.
    const unsigned bitDepth = data[24], colourType = data[25], interlace = data[28];
    if (bitDepth != 8 || colourType != 6 || interlace != 0) {
        d.error = "not 8-bit non-interlaced RGBA (depth " + std::to_string(bitDepth) + ", colour type " +
                  std::to_string(colourType) + ")";
        return d;
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, data.data(), data.size())) {
        d.error = std::string("libpng: ") + img.message;
        return d;
    }
    img.format = PNG_FORMAT_RGBA;
    d.width = img.width;
    d.height = img.height;
    d.rgba.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, d.rgba.data(), 0, nullptr)) {
        d.error = std::string("libpng: ") + img.message;
        png_image_free(&img);
        return d;
    }
    d.ok = true;
    return d;
}

// ---------------------------------------------------------------------------
// WAV, read the way the engine's loader reads it

struct Wav {
    bool ok = false;
    std::string error;
    unsigned channels = 0, bits = 0, rate = 0, blockAlign = 0;
    std::vector<unsigned char> pcm;
    double seconds() const { return blockAlign ? double(pcm.size()) / blockAlign / rate : 0.0; }
    int sample16(size_t frame) const {  // first channel
        const unsigned char* p = pcm.data() + frame * blockAlign;
        return bits == 16 ? int16_t(uint16_t(p[0] | (p[1] << 8))) : (int(p[0]) - 128) * 256;
    }
    size_t frames() const { return blockAlign ? pcm.size() / blockAlign : 0; }
};

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

Wav parseWav(const std::string& name) {
    Wav w;
    std::vector<unsigned char> d = readFile(name);
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 || std::memcmp(d.data() + 8, "WAVE", 4) != 0) {
        w.error = "not RIFF/WAVE";
        return w;
    }
    size_t pos = 12;
    bool haveFmt = false;
    while (pos + 8 <= d.size()) {
        const unsigned char* id = d.data() + pos;
        const uint32_t size = le32(d.data() + pos + 4);
        pos += 8;
        if (size > d.size() - pos) {
            w.error = "chunk runs past the end";
            return w;
        }
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (size < 16 || le16(d.data() + pos) != 1) {
                w.error = "not PCM";
                return w;
            }
            w.channels = le16(d.data() + pos + 2);
            w.rate = le32(d.data() + pos + 4);
            const uint32_t byteRate = le32(d.data() + pos + 8);
            w.blockAlign = le16(d.data() + pos + 12);
            w.bits = le16(d.data() + pos + 14);
            if (w.blockAlign != w.channels * w.bits / 8 || byteRate != w.rate * w.blockAlign) {
                w.error = "inconsistent fmt chunk";
                return w;
            }
            haveFmt = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFmt) {
                w.error = "data before fmt";
                return w;
            }
            w.pcm.assign(d.begin() + long(pos), d.begin() + long(pos + size));
            w.ok = true;
            return w;
        }
        pos += size;
    }
    w.error = "no data chunk";
    return w;
}

// ---------------------------------------------------------------------------
// Spawn tables: tokens split at ',' LF CR, runs of LF CR and space skipped
// after the separator, ending at a token that starts with "END".

std::vector<std::vector<std::string>> parseTable(const std::string& text, size_t columns, bool& sawEnd) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    sawEnd = false;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.compare(pos, 3, "END") == 0) {
            sawEnd = true;
            break;
        }
        size_t end = text.find_first_of(",\n\r", pos);
        if (end == std::string::npos) end = text.size();
        row.push_back(text.substr(pos, end - pos));
        if (row.size() == columns) {
            rows.push_back(row);
            row.clear();
        }
        pos = end < text.size() ? end + 1 : end;
        while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r' || text[pos] == ' ')) ++pos;
    }
    return rows;
}

std::string readText(const std::string& name) {
    std::vector<unsigned char> d = readFile(name);
    return std::string(d.begin(), d.end());
}

bool isNumber(const std::string& s, bool allowFraction) {
    if (s.empty()) return false;
    size_t i = s[0] == '-' ? 1 : 0;
    bool digits = false, dot = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            digits = true;
        } else if (s[i] == '.' && allowFraction && !dot) {
            dot = true;
        } else {
            return false;
        }
    }
    return digits;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(AssetBundle, HoldsEveryFileTheGameLoads) {
    std::vector<std::string> missing;
    for (const auto& f : requiredFiles())
        if (!exists(f)) missing.push_back(f);
    std::string list;
    for (const auto& m : missing) list += " " + m;
    EXPECT_TRUE(missing.empty()) << "missing:" << list;
}

TEST(AssetBundle, EveryImageDecodesAsRgba8) {
    for (const auto& name : requiredImages()) {
        Decoded d = decodePng(name);
        EXPECT_TRUE(d.ok) << name << ": " << d.error;
        if (d.ok) {
            EXPECT_EQ(d.rgba.size(), size_t(d.width) * d.height * 4) << name;
        }
    }
}

// Sizes follow from where the screens draw and hit-test each picture.
TEST(AssetBundle, ImagesHaveTheirLayoutSizes) {
    struct Case {
        const char* name;
        uint32_t w, h;  // 0 = not checked
    };
    const Case cases[] = {
        {"main_bg1.png", 720, 960},  // drawn at offset - 90 across the 640-wide space
        {"main_bg2.png", 720, 960},
        {"main_stage.png", 420, 0},  // the player falls off at 50 and 490
        {"main_treasure.png", 132, 136},  // chest button middle at y 318 from top 250
        {"main_coin.png", 32, 36},
        {"main_doller.png", 60, 70},
        {"main_jewel1.png", 60, 70},
        {"main_jewel2.png", 56, 68},
        {"main_jewel3.png", 70, 64},
        {"main_dumbbell.png", 68, 0},
        {"main_countdown_3.png", 302, 0},
        {"main_countdown_go.png", 302, 0},
        {"bg_button.png", 720, 480},  // middle at y 720: covers the lower half
        {"btn_frame_m_off.png", 200, 0},
        {"btn_frame_l_off.png", 400, 0},
        {"btn_frame_xl_off.png", 400, 0},
        {"title_logo.png", 540, 0},
        {"eff_coin/eff_coin_1.png", 106, 0},
        {"eff_doller/eff_doller_1.png", 106, 0},
        {"main_player_walk_left_01.png", 40, 70},
        {"main_player_walk_right_04.png", 40, 70},
        {"adksinters_close.png", 37, 33},
    };
    for (const Case& c : cases) {
        Decoded d = decodePng(c.name);
        ASSERT_TRUE(d.ok) << c.name << ": " << d.error;
        if (c.w) {
            EXPECT_EQ(d.width, c.w) << c.name;
        }
        if (c.h) {
            EXPECT_EQ(d.height, c.h) << c.name;
        }
    }
    // Frame buttons under 100 high stack 100 apart on the result screen.
    EXPECT_LT(decodePng("btn_frame_l_off.png").height, 100u);
    EXPECT_GT(decodePng("btn_frame_xl_off.png").height, decodePng("btn_frame_l_off.png").height);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_LE(decodePng("medal/result_medal_" + std::to_string(i) + ".png").width, 48u);
        EXPECT_LE(decodePng("medal/achievement_medal_" + std::to_string(i) + ".png").height, 150u);
    }
    // Two share buttons sit 100 apart, ending before the design's right edge.
    EXPECT_LT(decodePng("button_twitter.png").width, 100u);
    EXPECT_LT(decodePng("button_facebook.png").width, 100u);
}

TEST(AssetBundle, OnAndOffImagesOfAButtonMatchInSize) {
    const std::pair<const char*, const char*> pairs[] = {
        {"main_btn_pause_off.png", "main_btn_pause_on.png"}, {"btn_back_off.png", "btn_back_on.png"},
        {"btn_frame_m_off.png", "btn_frame_m_on.png"}, {"btn_frame_l_off.png", "btn_frame_l_on.png"},
        {"btn_frame_xl_off.png", "btn_frame_xl_on.png"},
        {"title_btn_gamestart_off.png", "title_btn_gamestart_on.png"},
        {"title_btn_ranking_off.png", "title_btn_ranking_on.png"},
        {"title_btn_achievement_off.png", "title_btn_achievement_on.png"},
        {"title_btn_setting_off.png", "title_btn_setting_on.png"},
        {"title_btn_ruvo_off.png", "title_btn_ruvo_on.png"},
        {"button_twitter.png", "button_twitter_down.png"}, {"button_facebook.png", "button_facebook_down.png"},
    };
    for (const auto& [off, on] : pairs) {
        Decoded a = decodePng(off), b = decodePng(on);
        ASSERT_TRUE(a.ok && b.ok) << off;
        EXPECT_EQ(a.width, b.width) << off;
        EXPECT_EQ(a.height, b.height) << off;
    }
}

TEST(AssetBundle, TurnAreaIsInvisible) {
    Decoded d = decodePng("bg_button.png");
    ASSERT_TRUE(d.ok) << d.error;
    for (size_t i = 3; i < d.rgba.size(); i += 4) ASSERT_EQ(d.rgba[i], 0) << "visible pixel at byte " << i;
}

// A money text is drawn glyph by glyph with fixed steps: each set needs one
// height and the widths the steps assume.
TEST(AssetBundle, GlyphSetsShareHeightAndStepWidths) {
    struct Set {
        const char* name;
        uint32_t wide, narrow;
        bool colon;
        uint32_t maxHeight;
    };
    const Set sets[] = {
        {"num_m", 21, 11, true, 40}, {"num_y_m", 21, 11, true, 40}, {"num_s", 13, 7, false, 40},
        {"num_y_s", 13, 7, false, 40}, {"num_l", 21, 11, false, 60},
    };
    uint32_t smallHeight = 0, mediumHeight = 0;
    for (const Set& s : sets) {
        std::vector<std::string> names;
        addGlyphSet(names, s.name, s.colon);
        uint32_t height = 0;
        for (const auto& n : names) {
            Decoded d = decodePng(n);
            ASSERT_TRUE(d.ok) << n << ": " << d.error;
            const bool wide = n.find("_dollar") != std::string::npos || (n[n.size() - 5] >= '0' && n[n.size() - 5] <= '9');
            EXPECT_EQ(d.width, wide ? s.wide : s.narrow) << n;
            if (!height) height = d.height;
            EXPECT_EQ(d.height, height) << n;
        }
        EXPECT_LT(height, s.maxHeight) << s.name;
        if (std::string(s.name) == "num_s") smallHeight = height;
        if (std::string(s.name) == "num_m") mediumHeight = height;
    }
    EXPECT_EQ(decodePng("num_y_s/num_y_s_0.png").height, smallHeight);
    EXPECT_EQ(decodePng("num_y_m/num_y_m_0.png").height, mediumHeight);
    // The "HI SCORE" label sits on the small digits' line, 126 left of the '$'.
    Decoded label = decodePng("hiscore_s.png");
    ASSERT_TRUE(label.ok);
    EXPECT_EQ(label.height, smallHeight);
    EXPECT_LE(label.width, 126u);
}

TEST(AssetBundle, SoundsArePcmTheEngineCanQueue) {
    std::vector<std::string> all = kMusic;
    all.push_back("bonus");
    all.insert(all.end(), kEffects.begin(), kEffects.end());
    for (const auto& s : all) {
        const std::string name = "sound/" + s + ".wav";
        Wav w = parseWav(name);
        ASSERT_TRUE(w.ok) << name << ": " << w.error;
        EXPECT_TRUE(w.channels == 1 || w.channels == 2) << name;
        EXPECT_TRUE(w.bits == 8 || w.bits == 16) << name;
        EXPECT_TRUE(w.rate == 22050 || w.rate == 44100) << name;
        ASSERT_GT(w.blockAlign, 0u) << name;
        EXPECT_EQ(w.pcm.size() % w.blockAlign, 0u) << name;
        EXPECT_GT(w.frames(), 0u) << name;
    }
}

TEST(AssetBundle, SoundLengthsFitHowTheyArePlayed) {
    for (const auto& e : kEffects) {
        Wav w = parseWav("sound/" + e + ".wav");
        ASSERT_TRUE(w.ok) << e;
        EXPECT_LT(w.seconds(), 3.0) << e;
    }
    // Replayed every second during the countdown.
    EXPECT_LT(parseWav("sound/countdown.wav").seconds(), 1.0);
    // Played once and stopped after 11.7 s of bonus time.
    EXPECT_GE(parseWav("sound/bonus.wav").seconds(), 11.7);
    for (const auto& m : kMusic) {
        Wav w = parseWav("sound/" + m + ".wav");
        ASSERT_TRUE(w.ok) << m;
        EXPECT_GE(w.seconds(), 8.0) << m;
        EXPECT_LE(w.seconds(), 30.0) << m;
        // Looped forever: the step from the last sample back to the first
        // must not be a click.
        const int seam = std::abs(w.sample16(w.frames() - 1) - w.sample16(0));
        EXPECT_LT(seam, 4096) << m;
    }
}

TEST(AssetBundle, CoinTableHasALevelRowForEachLevelAndBonus) {
    bool sawEnd = false;
    auto rows = parseTable(readText("coin.txt"), 5, sawEnd);
    EXPECT_TRUE(sawEnd);
    ASSERT_EQ(rows.size(), 17u);  // levels 0-15 and bonus time
    for (size_t r = 0; r < rows.size(); ++r) {
        for (const auto& cell : rows[r]) ASSERT_TRUE(isNumber(cell, false)) << "row " << r << ": " << cell;
        const int steady = std::atoi(rows[r][0].c_str());
        const int burstMin = std::atoi(rows[r][1].c_str());
        const int burstMax = std::atoi(rows[r][2].c_str());
        EXPECT_GE(steady, 0) << r;
        EXPECT_GT(burstMax, 0) << r;  // the burst rate is drawn modulo it
        EXPECT_GT(burstMax, burstMin) << r;
    }
}

TEST(AssetBundle, ItemTablesGiveValidSpawnTimers) {
    for (const char* file : {"dollar.txt", "dumbbell.txt"}) {
        bool sawEnd = false;
        auto rows = parseTable(readText(file), 6, sawEnd);
        EXPECT_TRUE(sawEnd) << file;
        ASSERT_EQ(rows.size(), 17u) << file;
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < 6; ++c)
                ASSERT_TRUE(isNumber(rows[r][c], c == 3 || c == 4)) << file << " row " << r << ": " << rows[r][c];
            const int w1 = std::atoi(rows[r][0].c_str()), w2 = std::atoi(rows[r][1].c_str()),
                      w3 = std::atoi(rows[r][2].c_str());
            const float minSec = float(std::atof(rows[r][3].c_str()));
            const float maxSec = float(std::atof(rows[r][4].c_str()));
            EXPECT_TRUE(w1 >= 0 && w2 >= 0 && w3 >= 0) << file << " row " << r;
            // The timer draws rand() % trunc(maxSec * 60 - minSec * 60).
            if (maxSec != 0.0f) {
                EXPECT_GE(int(maxSec * 60.0f - minSec * 60.0f), 1) << file << " row " << r;
            }
            if (r < 16) {
                EXPECT_GT(w1 + w2 + w3, 0) << file << " level " << r << " throws nothing";
            }
        }
    }
}

TEST(AssetBundle, CopyrightTextIsPlainUtf8Lines) {
    const std::string t = readText("copyright.txt");
    ASSERT_FALSE(t.empty());
    // The line splitter drops text after the last line break.
    EXPECT_EQ(t.back(), '\n');
    size_t lineLen = 0, longest = 0;
    for (size_t i = 0; i < t.size();) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        ASSERT_NE(n, 0u) << "bad UTF-8 lead byte at " << i;
        ASSERT_LE(i + n, t.size());
        for (size_t k = 1; k < n; ++k) ASSERT_EQ(static_cast<unsigned char>(t[i + k]) >> 6, 2) << "at " << i;
        ASSERT_NE(c, '\r') << "CR at " << i;
        ASSERT_NE(c, '\t') << "tab at " << i;
        if (c == '\n') {
            longest = std::max(longest, lineLen);
            lineLen = 0;
        } else {
            ++lineLen;
        }
        i += n;
    }
    // 13-unit text from x 2 across the 540-unit design.
    EXPECT_LE(longest, 80u);
    for (const char* must : {"mekko", "copyright \u00a9 2022 The FreeType Project", "(www.freetype.org)", "Bitstream", "libpng", "zlib",
                             "OpenAL Soft", "Lesser General Public License", "curl", "OpenSSL", "Apache License"})
        EXPECT_NE(t.find(must), std::string::npos) << must;
}

TEST(AssetBundle, FontIsATrueTypeFile) {
    std::vector<unsigned char> f = readFile("GenShinGothic-Medium.ttf");
    ASSERT_GT(f.size(), 12u);
    EXPECT_EQ(le32(f.data()), 0x00000100u);  // sfnt version 1.0, big-endian
    const unsigned tables = (f[4] << 8) | f[5];
    ASSERT_GE(f.size(), 12 + 16 * size_t(tables));
    std::set<std::string> tags;
    for (unsigned i = 0; i < tables; ++i) tags.insert(std::string(reinterpret_cast<const char*>(f.data() + 12 + 16 * i), 4));
    for (const char* t : {"cmap", "glyf", "head", "hmtx", "loca"}) EXPECT_TRUE(tags.count(t)) << t;
}
