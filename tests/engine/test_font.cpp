// test-links: kelpa_ios
// Text layout and rendering with the FreeType font over DejaVu Sans, and
// the platform-neutral layout over a scripted glyph source.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/FontShadow.h"
#include "engine/Heap.h"
#include "engine/ios/FontImp.h"
#include "engine/ios/Paths.h"
#include "engine/ios/ResourceImp.h"
#include "tests/support/stderr_capture.h"

#include <ft2build.h>
#include FT_FREETYPE_H

using namespace KelpaEngine;

namespace {

const char* const kFontDir = "/usr/share/fonts/truetype/dejavu";
const char* const kFontFile = "DejaVuSans.ttf";

std::string fontPath() { return std::string(kFontDir) + "/" + kFontFile; }

// The font's own glyph index of a code point, straight from FreeType.
uint32_t glyphIndexOf(uint32_t codePoint) {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    uint32_t index = 0;
    if (FT_Init_FreeType(&lib) != 0) return 0;
    if (FT_New_Face(lib, fontPath().c_str(), 0, &face) == 0) {
        index = FT_Get_Char_Index(face, codePoint);
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return index;
}

// A rendered text in a buffer of exactly the measured size, with guard
// bytes on both sides that must come back untouched.
struct Rendered {
    FontExtent size{0, 0};
    int32_t measured = 0;
    int32_t drawn = 0;
    std::vector<uint8_t> block;
    static constexpr size_t kGuard = 4096;
    static constexpr uint8_t kGuardByte = 0xA5;

    uint8_t* pixels() { return block.data() + kGuard; }
    const uint8_t* pixel(int32_t x, int32_t y) const {
        return block.data() + kGuard + (static_cast<size_t>(y) * size.width + x) * 4;
    }
    bool guardsIntact() const {
        const size_t n = static_cast<size_t>(size.width) * size.height * 4;
        for (size_t i = 0; i < kGuard; ++i) {
            if (block[i] != kGuardByte || block[kGuard + n + i] != kGuardByte) return false;
        }
        return true;
    }
    // Bounding box of the pixels with any alpha: {minX, minY, maxX + 1, maxY + 1}, or all 0.
    struct Ink {
        int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        bool any = false;
    };
    Ink ink() const {
        Ink k;
        k.x0 = size.width;
        k.y0 = size.height;
        for (int32_t y = 0; y < size.height; ++y) {
            for (int32_t x = 0; x < size.width; ++x) {
                if (pixel(x, y)[3] == 0) continue;
                k.any = true;
                k.x0 = std::min(k.x0, x);
                k.y0 = std::min(k.y0, y);
                k.x1 = std::max(k.x1, x + 1);
                k.y1 = std::max(k.y1, y + 1);
            }
        }
        if (!k.any) k = Ink{};
        return k;
    }
};

Rendered renderText(Font* font, const char* text, FontExtent bufferSize = {0, 0}) {
    Rendered r;
    r.measured = font->measure(&r.size, text, 1);
    if (bufferSize.width > 0) r.size = bufferSize;
    const size_t n = static_cast<size_t>(r.size.width) * r.size.height * 4;
    r.block.assign(n + 2 * Rendered::kGuard, Rendered::kGuardByte);
    std::fill(r.block.begin() + Rendered::kGuard, r.block.begin() + Rendered::kGuard + n, 0);
    r.drawn = font->render(r.pixels(), r.size.width * 4, text, 0, 0, 1);
    return r;
}

struct GlyphSeen {
    uint64_t codePoint;
    int32_t penX, penY;
    int32_t top, left, width, rows;
    std::vector<uint8_t> coverage;
};

int32_t recordGlyph(Font*, FontPen* pen, const GlyphRecord* g, void* context) {
    auto* seen = static_cast<std::vector<GlyphSeen>*>(context);
    GlyphSeen s{g->codePoint, pen->x, pen->y, g->top, g->left, g->width, g->rows, {}};
    if (g->coverage) s.coverage.assign(g->coverage, g->coverage + static_cast<size_t>(g->width) * g->rows);
    seen->push_back(std::move(s));
    return kGlyphDraw;
}

std::vector<GlyphSeen> walk(Font* font, const char* text) {
    std::vector<GlyphSeen> seen;
    font->walkText(text, &recordGlyph, &seen);
    return seen;
}

class DejaVuFont : public ::testing::Test {
protected:
    void SetUp() override {
        file = iOS::ResourceImp::loadPath(fontPath().c_str());
        ASSERT_TRUE(file) << "font file missing: " << fontPath();
        font = iOS::FontImp::createFromResource(file, 28, 28);
        ASSERT_TRUE(font);
    }
    RefPtr<Resource> file;
    RefPtr<Font> font;
};

// --- Measure and render agree ------------------------------------------------

TEST_F(DejaVuFont, RenderStaysInsideTheMeasuredBox) {
    const char* texts[] = {
        "A",
        "Hello, World!",
        "$1,234,567.89",
        "j starts left of the pen",              // negative left bearing at the start
        "\xE2\x96\x88",                          // full block, wider than its advance
        "\xE1\xBA\xAA\xE1\xBB\x96 tall",         // stacked accents above the ascent
        "x\xC6\x91y",                            // a negative bearing mid-line
        "A\xCC\x81\xCC\x81\xCC\x82",             // combining marks left of the pen
        "gjpqy\nline two\r\nthree\n\rfour",
        " ",
        "\n\n\n",
        "\xEE\x80\x80\xF4\x8F\xBF\xBF",          // not in the font
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        Rendered r = renderText(font.get(), text);
        EXPECT_GE(r.size.width, 1);
        EXPECT_GE(r.size.height, 1);
        EXPECT_TRUE(r.guardsIntact());
        EXPECT_EQ(r.drawn, r.measured);
        // In a roomier buffer all ink still lies inside the measured box.
        Rendered big = renderText(font.get(), text, FontExtent{r.size.width + 40, r.size.height + 40});
        EXPECT_TRUE(big.guardsIntact());
        Rendered::Ink k = big.ink();
        EXPECT_LE(k.x1, r.size.width);
        EXPECT_LE(k.y1, r.size.height);
        EXPECT_EQ(k.any, r.ink().any);
    }
}

TEST_F(DejaVuFont, InkThatStartsBeforeThePenIsShiftedIn) {
    // "j" has a negative left bearing and stacked accents rise above the
    // baseline margin; the box grows so that their ink is kept, not cut.
    struct Case {
        const char* text;
        bool leftOfPen;
        bool abovePen;
    } cases[] = {
        {"j", true, false},
        {"\xE2\x96\x88", true, false},
        {"\xE1\xBA\xAA", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<GlyphSeen> g = walk(font.get(), c.text);
        ASSERT_EQ(g.size(), 1u);
        // Precondition on the font: the glyph really starts before the pen.
        if (c.leftOfPen) { ASSERT_LT(g[0].left, 0); }
        if (c.abovePen) { ASSERT_LT(g[0].top, 0); }
        Rendered r = renderText(font.get(), c.text);
        EXPECT_TRUE(r.guardsIntact());
        EXPECT_EQ(r.size.width, std::max(1, g[0].width + std::max(0, g[0].left)) );
        EXPECT_EQ(r.size.height, std::max(1, g[0].rows + std::max(0, g[0].top)));
        // Every coverage pixel is in the buffer, shifted by the bearing.
        const int32_t dx = -std::min(0, g[0].left), dy = -std::min(0, g[0].top);
        for (int32_t y = 0; y < g[0].rows; ++y) {
            for (int32_t x = 0; x < g[0].width; ++x) {
                const uint8_t cov = g[0].coverage[static_cast<size_t>(y) * g[0].width + x];
                const uint8_t* p = r.pixel(g[0].left + dx + x, g[0].top + dy + y);
                ASSERT_EQ(p[3], cov) << "at " << x << "," << y;
            }
        }
    }
}

TEST_F(DejaVuFont, OverlappingGlyphBoxesKeepEarlierInk) {
    // Each glyph's box is written whole, also where its coverage is 0; a
    // later box must not erase what an earlier glyph drew there.
    const char* texts[] = {"fj", "A\xCC\x81", "To\xC6\x91j"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        std::vector<GlyphSeen> g = walk(font.get(), text);
        ASSERT_GE(g.size(), 2u);
        Rendered whole = renderText(font.get(), text);
        // Each glyph alone, at its place in the whole text's box.
        int32_t minX = 0, minY = 0;
        for (const GlyphSeen& s : g) {
            if (s.width > 0 && s.rows > 0) {
                minX = std::min(minX, s.penX + s.left);
                minY = std::min(minY, s.penY + s.top);
            }
        }
        bool overlapped = false;
        for (size_t i = 0; i < g.size(); ++i) {
            for (int32_t y = 0; y < g[i].rows; ++y) {
                for (int32_t x = 0; x < g[i].width; ++x) {
                    const uint8_t cov = g[i].coverage[static_cast<size_t>(y) * g[i].width + x];
                    const int32_t bx = g[i].penX + g[i].left + x - minX;
                    const int32_t by = g[i].penY + g[i].top + y - minY;
                    ASSERT_GE(whole.pixel(bx, by)[3], cov) << "glyph " << i << " at " << bx << "," << by;
                    for (size_t k = i + 1; k < g.size() && cov > 0; ++k) {
                        const int32_t kx = bx + minX - g[k].penX - g[k].left;
                        const int32_t ky = by + minY - g[k].penY - g[k].top;
                        if (kx >= 0 && ky >= 0 && kx < g[k].width && ky < g[k].rows) overlapped = true;
                    }
                }
            }
        }
        // Precondition on the font: an inked pixel lies in a later glyph's box.
        EXPECT_TRUE(overlapped);
    }
}

// --- Line breaks ------------------------------------------------------------

TEST_F(DejaVuFont, LineBreaks) {
    const int32_t size = font->getSize();
    struct Case {
        const char* text;
        std::vector<int32_t> penY;  // pen y of each glyph
    } cases[] = {
        {"A\r\nB", {0, size}},
        {"A\n\rB", {0, size}},
        {"A\nB", {0, size}},
        {"A\rB", {0, size}},
        {"A\n\nB", {0, 2 * size}},
        {"A\r\rB", {0, 2 * size}},
        {"A\r\n\r\nB", {0, 2 * size}},
        {"A\n\r\nB", {0, 2 * size}},
        {"\nA", {size}},
        {"AB\n", {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        std::vector<GlyphSeen> g = walk(font.get(), c.text);
        ASSERT_EQ(g.size(), c.penY.size());
        for (size_t i = 0; i < g.size(); ++i) EXPECT_EQ(g[i].penY, c.penY[i]) << i;
        // Each line starts again at the left edge.
        if (g.size() == 2 && c.penY[1] > 0) { EXPECT_EQ(g[1].penX, 0); }
        FontExtent e{0, 0};
        EXPECT_EQ(font->measure(&e, c.text), static_cast<int32_t>(c.penY.size()));
        EXPECT_EQ(font->countGlyphs(c.text), static_cast<int32_t>(c.penY.size()));
    }
}

TEST_F(DejaVuFont, EmptyTextMeasuresOneByOne) {
    FontExtent e{7, 7};
    EXPECT_EQ(font->measure(&e, "", 1), 0);
    EXPECT_EQ(e.width, 1);
    EXPECT_EQ(e.height, 1);
    uint8_t px[4] = {0, 0, 0, 0};
    EXPECT_EQ(font->render(px, 4, "", 0, 0, 1), 0);
    EXPECT_EQ(font->render(px, 4, nullptr, 0, 0, 1), 0);
    EXPECT_EQ(font->render(nullptr, 4, "A", 0, 0, 1), 0);
    EXPECT_EQ(font->measure(&e, nullptr), 0);
}

// --- Colour and coverage ----------------------------------------------------

TEST_F(DejaVuFont, PixelsTakeTheColourWithAlphaFromCoverage) {
    struct Colour {
        uint8_t r, g, b, a;
    } colours[] = {{255, 0, 0, 128}, {0, 0, 0, 255}, {12, 200, 99, 255}, {255, 255, 255, 0}};
    for (const Colour& c : colours) {
        SCOPED_TRACE(testing::Message() << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a));
        font->setColor(c.r, c.g, c.b, c.a);
        const char* text = "@";
        std::vector<GlyphSeen> g = walk(font.get(), text);
        ASSERT_EQ(g.size(), 1u);
        ASSERT_GE(g[0].top, 0);
        ASSERT_GE(g[0].left, 0);
        Rendered r = renderText(font.get(), text);
        bool full = false, partial = false;
        for (int32_t y = 0; y < g[0].rows; ++y) {
            for (int32_t x = 0; x < g[0].width; ++x) {
                const unsigned cov = g[0].coverage[static_cast<size_t>(y) * g[0].width + x];
                const uint8_t* p = r.pixel(g[0].left + x, g[0].top + y);
                ASSERT_EQ(p[0], c.r);
                ASSERT_EQ(p[1], c.g);
                ASSERT_EQ(p[2], c.b);
                ASSERT_EQ(p[3], cov * c.a / 255);
                full |= cov == 255;
                partial |= cov > 0 && cov < 255;
            }
        }
        EXPECT_TRUE(full);
        EXPECT_TRUE(partial);
    }
}

TEST_F(DejaVuFont, RendersAtOneAndAHalfTimesTheSize) {
    // Capital H of DejaVu Sans is 1493 / 2048 of the em.
    for (int32_t size : {10, 28, 40, 120}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(font->setSize(size), 0);
        EXPECT_EQ(font->getSize(), size);
        std::vector<GlyphSeen> g = walk(font.get(), "H");
        ASSERT_EQ(g.size(), 1u);
        EXPECT_NEAR(g[0].rows, size * 1.5 * 1493 / 2048, 1.5);
    }
}

TEST_F(DejaVuFont, InvalidSizeIsRefusedAndKeepsTheOldOne) {
    ASSERT_EQ(font->setSize(20), 0);
    for (int32_t bad : {0, -5, FontShadow::kMaxSize + 1, INT32_MAX, INT32_MIN}) {
        EXPECT_NE(font->setSize(bad), 0) << bad;
        EXPECT_EQ(font->getSize(), 20);
    }
    FontExtent e{0, 0};
    EXPECT_EQ(font->measure(&e, "Hi"), 2);
}

// --- Missing, broken and foreign input --------------------------------------

class FontFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kelpa_font_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        iOS::setAssetFolder(dir.c_str());
    }
    void TearDown() override {
        for (const std::string& f : files) unlink((dir + "/" + f).c_str());
        rmdir(dir.c_str());
        iOS::setAssetFolder(nullptr);
    }
    void write(const std::string& name, const std::vector<uint8_t>& bytes) {
        FILE* f = fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) { ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size()); }
        fclose(f);
        files.push_back(name);
    }
    std::vector<uint8_t> realFont() {
        std::vector<uint8_t> bytes;
        FILE* f = fopen(fontPath().c_str(), "rb");
        if (!f) return bytes;
        uint8_t buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        fclose(f);
        return bytes;
    }
    std::string dir;
    std::vector<std::string> files;
};

TEST_F(FontFiles, AssetFontOpensAtTheRequestedSize) {
    write("GenShinGothic-Medium.ttf", realFont());
    RefPtr<Font> font = FontShadow::create(nullptr, "GenShinGothic-Medium.ttf", 10, 10);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->getSize(), 10);
    EXPECT_EQ(font->setSize(28), 0);
    Rendered r = renderText(font.get(), "Main Menu");
    EXPECT_EQ(r.drawn, 9);  // the space is a glyph too
    EXPECT_TRUE(r.ink().any);
    // Opaque white until a colour is set.
    const Rendered::Ink k = r.ink();
    bool opaqueWhite = false;
    for (int32_t y = k.y0; y < k.y1; ++y) {
        for (int32_t x = k.x0; x < k.x1; ++x) {
            const uint8_t* p = r.pixel(x, y);
            if (p[3] > 0) { EXPECT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255); }
            opaqueWhite |= p[3] == 255;
        }
    }
    EXPECT_TRUE(opaqueWhite);
}

TEST_F(FontFiles, MissingOrBrokenFontGivesNullAndIsReportedOnce) {
    std::vector<uint8_t> real = realFont();
    ASSERT_GT(real.size(), 100000u);
    std::vector<uint8_t> garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7919 + 13);
    // A TrueType header whose table directory promises tables that are not there.
    std::vector<uint8_t> header(real.begin(), real.begin() + 300);
    write("empty.ttf", {});
    write("garbage.ttf", garbage);
    write("header.ttf", header);
    write("text.ttf", {'h', 'e', 'l', 'l', 'o', '\n'});
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"absent.ttf", "not found"},
        {"empty.ttf", "empty file"},
        {"garbage.ttf", "not a font"},
        {"header.ttf", "not a font"},
        {"text.ttf", "not a font"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::StderrCapture capture;
        EXPECT_FALSE(FontShadow::create(nullptr, c.name, 28, 28));
        EXPECT_FALSE(FontShadow::create(nullptr, c.name, 20, 20));
        std::vector<std::string> lines = capture.lines();
        std::vector<std::string> reports = testsupport::brokenAssetLines(lines, c.name);
        ASSERT_EQ(1u, reports.size()) << testing::PrintToString(lines);
        EXPECT_NE(std::string::npos, reports[0].find(c.reason)) << reports[0];
    }
    EXPECT_FALSE(FontShadow::create(nullptr, nullptr, 28, 28));
    EXPECT_FALSE(iOS::FontImp::createFromResource(nullptr, 28, 28));

    // A good font asked for at a size it cannot have is the caller's fault,
    // not the file's: nothing is reported.
    write("good.ttf", real);
    testsupport::StderrCapture capture;
    for (auto wh : {std::pair{0, 28}, std::pair{28, 0}, std::pair{-1, -1}, std::pair{28, 1 << 30}}) {
        EXPECT_FALSE(FontShadow::create(nullptr, "good.ttf", wh.first, wh.second)) << wh.first << "x" << wh.second;
    }
    EXPECT_TRUE(FontShadow::create(nullptr, "good.ttf", 28, 28));
    EXPECT_TRUE(testsupport::brokenAssetLines(capture.lines(), "good.ttf").empty());
}

TEST_F(FontFiles, TruncatedFontIsRefusedOrRenderedSafely) {
    std::vector<uint8_t> real = realFont();
    for (size_t keep : {real.size() / 2, real.size() * 3 / 4, real.size() - 1000}) {
        SCOPED_TRACE(keep);
        const std::string name = "cut" + std::to_string(keep) + ".ttf";
        write(name, std::vector<uint8_t>(real.begin(), real.begin() + static_cast<long>(keep)));
        RefPtr<Font> font = FontShadow::create(nullptr, name.c_str(), 28, 28);
        if (!font) continue;  // refusing it whole is fine
        std::string text;
        for (uint32_t c = 0x21; c < 0x7F; ++c) text.push_back(static_cast<char>(c));
        Rendered r = renderText(font.get(), text.c_str());
        EXPECT_TRUE(r.guardsIntact());
        EXPECT_EQ(r.drawn, r.measured);
    }
}

// Big-endian fields of a TrueType file.
uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
uint32_t be16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b[at]) << 8 | b[at + 1]; }

// Gives the outline of one glyph an impossible contour count, so that
// loading that glyph fails while the rest of the face is sound.
bool breakGlyph(std::vector<uint8_t>& font, uint32_t glyphIndex) {
    size_t head = 0, loca = 0, glyf = 0;
    const uint32_t tables = be16(font, 4);
    for (uint32_t i = 0; i < tables; ++i) {
        const size_t rec = 12 + 16 * i;
        const std::string tag(font.begin() + static_cast<long>(rec), font.begin() + static_cast<long>(rec) + 4);
        if (tag == "head") head = be32(font, rec + 8);
        if (tag == "loca") loca = be32(font, rec + 8);
        if (tag == "glyf") glyf = be32(font, rec + 8);
    }
    if (!head || !loca || !glyf) return false;
    const bool longOffsets = be16(font, head + 50) != 0;
    const size_t at = glyf + (longOffsets ? be32(font, loca + 4 * glyphIndex) : be16(font, loca + 2 * glyphIndex) * 2u);
    if (at + 2 > font.size()) return false;
    font[at] = 0x7F;
    font[at + 1] = 0xFE;
    return true;
}

TEST_F(FontFiles, GlyphThatFailsToLoadIsSkippedNotDrawnAsThePreviousOne) {
    std::vector<uint8_t> bytes = realFont();
    write("intact.ttf", bytes);
    {
        RefPtr<Font> intact = FontShadow::create(nullptr, "intact.ttf", 28, 28);
        ASSERT_TRUE(intact);
        ASSERT_EQ(intact->countGlyphs("ABA"), 3);
    }
    ASSERT_TRUE(breakGlyph(bytes, glyphIndexOf('B')));
    write("broken-b.ttf", bytes);
    RefPtr<Font> font = FontShadow::create(nullptr, "broken-b.ttf", 28, 28);
    ASSERT_TRUE(font);
    std::vector<GlyphSeen> withB = walk(font.get(), "ABA");
    std::vector<GlyphSeen> without = walk(font.get(), "AA");
    ASSERT_EQ(withB.size(), 2u);
    ASSERT_EQ(without.size(), 2u);
    EXPECT_EQ(withB[1].penX, without[1].penX);  // no advance for the broken glyph
    Rendered a = renderText(font.get(), "ABA");
    Rendered b = renderText(font.get(), "AA");
    EXPECT_EQ(a.drawn, 2);
    EXPECT_EQ(a.size.width, b.size.width);
    EXPECT_EQ(a.block, b.block);
}

TEST_F(DejaVuFont, UndecodableBytesAndForeignCodePointsAreSafe) {
    struct Case {
        const char* text;
        int32_t glyphs;
    } cases[] = {
        {"\x80\xBF" "A", 1},                 // stray continuation bytes are skipped
        {"A\xE3\x81", 1},                    // sequence cut short by the end
        {"A\xE3", 1},
        {"\xF0\x9F", 0},
        {"\xF8\x88\x80\x80\x80" "B", 1},     // no 5-byte forms
        {"\xFF\xFE" "C", 1},
        {"\xE3\x81\x82", 1},                 // not in this font: its missing-glyph box
        {"\xEE\x80\x80", 1},                 // private use
        {"\xF4\x8F\xBF\xBF", 1},             // last code point
        {"\xF7\xBF\xBF\xBF", 1},             // beyond Unicode
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        Rendered r = renderText(font.get(), c.text);
        EXPECT_EQ(r.measured, c.glyphs);
        EXPECT_EQ(r.drawn, c.glyphs);
        EXPECT_TRUE(r.guardsIntact());
    }
}

TEST_F(DejaVuFont, LongAndOddTextsStayInsideTheBuffer) {
    std::string longLine;
    for (int i = 0; i < 400; ++i) longLine += "Wj\xC6\x91\xE1\xBA\xAA ";
    std::string manyLines;
    for (int i = 0; i < 200; ++i) manyLines += (i % 3 == 0) ? "\r\n" : (i % 3 == 1 ? "g\n\r" : "\xE2\x96\x88\r");
    std::string marks = "x";
    for (int i = 0; i < 300; ++i) marks += "\xCC\x81\xCD\x84";
    for (const std::string& text : {longLine, manyLines, marks}) {
        Rendered r = renderText(font.get(), text.c_str());
        EXPECT_TRUE(r.guardsIntact());
        EXPECT_EQ(r.drawn, r.measured);
        EXPECT_GT(r.drawn, 0);
    }
}

TEST_F(DejaVuFont, NarrowerBufferClipsToItsPitch) {
    // A buffer narrower than the text gets only its own columns.
    FontExtent full{0, 0};
    font->measure(&full, "Wide text here");
    Rendered r = renderText(font.get(), "Wide text here", FontExtent{full.width / 3, full.height});
    EXPECT_TRUE(r.guardsIntact());
    EXPECT_TRUE(r.ink().any);
}

TEST_F(DejaVuFont, DestroyingTheFontReleasesItsFile) {
    EXPECT_EQ(refCountOf(file.get()), 2u);
    font = nullptr;
    EXPECT_EQ(refCountOf(file.get()), 1u);
}

// --- Layout over a scripted glyph source ------------------------------------

// Glyphs described by a table: each code point has a box, a bearing and an
// advance; 'X' fails to load.
class ScriptedFont : public FontShadow {
public:
    struct Glyph {
        uint32_t cp;
        int32_t left, top, width, rows, advance;
        uint8_t value;
    };
    ScriptedFont(int32_t size, std::vector<Glyph> glyphs, double asc)
        : FontShadow(size), glyphs_(std::move(glyphs)), ascent_(asc) {}
    int32_t setSize(int32_t size) override {
        size_ = size;
        return 0;
    }
    int walks = 0;

protected:
    void beginWalk() override { ++walks; }
    bool loadGlyph(uint32_t cp, GlyphBitmap* out) override {
        for (const Glyph& g : glyphs_) {
            if (g.cp != cp) continue;
            buffer_.assign(static_cast<size_t>(g.width) * g.rows, g.value);
            *out = GlyphBitmap{g.left, g.top, g.width, g.rows, buffer_.empty() ? nullptr : buffer_.data(), g.advance};
            return true;
        }
        return false;
    }
    double ascent() override { return ascent_; }

private:
    std::vector<Glyph> glyphs_;
    std::vector<uint8_t> buffer_;
    double ascent_;
};

TEST(FontLayout, GlyphThatFailsToLoadIsSkipped) {
    ScriptedFont font(10, {{'a', 0, 7, 4, 4, 5, 255}, {'b', 0, 7, 4, 4, 6, 200}}, 7.9);
    std::vector<GlyphSeen> g = walk(&font, "aXbX\xE2\x82\xAC" "a");
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0].codePoint, uint64_t('a'));
    EXPECT_EQ(g[1].codePoint, uint64_t('b'));
    EXPECT_EQ(g[1].penX, 5);   // no advance for the failed glyph
    EXPECT_EQ(g[2].penX, 11);
    // top = truncated ascent + 3 - bitmap top
    EXPECT_EQ(g[0].top, 7 + 3 - 7);
    Rendered r = renderText(&font, "aXbX");
    EXPECT_EQ(r.drawn, 2);
    EXPECT_EQ(r.size.width, 5 + 4);
    // Nothing of a stale glyph where the failed ones would be.
    EXPECT_EQ(r.pixel(4, 3)[3], 0);
    EXPECT_EQ(r.pixel(5, 3)[3], 200);
}

TEST(FontLayout, CallbackCanStopOrSkip) {
    ScriptedFont font(10, {{'a', 0, 7, 2, 2, 5, 255}, {'s', 0, 7, 2, 2, 5, 255}, {'q', 0, 7, 2, 2, 5, 255}}, 7);
    auto cb = [](Font*, FontPen* pen, const GlyphRecord* g, void* ctx) -> int32_t {
        static_cast<std::vector<int32_t>*>(ctx)->push_back(pen->x);
        if (g->codePoint == 's') return kGlyphSkip;
        if (g->codePoint == 'q') return kGlyphStop;
        return kGlyphDraw;
    };
    std::vector<int32_t> pens;
    EXPECT_EQ(font.walkText("asaqa", cb, &pens), 2);
    EXPECT_EQ(pens, (std::vector<int32_t>{0, 5, 5, 10}));
}

TEST(FontLayout, CoverageAndColourExactly) {
    // A fully covered pixel keeps the colour's alpha, coverage 128 gives 64.
    ScriptedFont font(10, {{'F', 0, 7, 2, 2, 3, 255}, {'H', 0, 7, 2, 2, 3, 128}}, 7);
    font.setColor(255, 0, 0, 128);
    Rendered r = renderText(&font, "FH");
    const uint8_t* f = r.pixel(0, 3);
    const uint8_t* h = r.pixel(3, 3);
    EXPECT_EQ(std::vector<int>(f, f + 4), (std::vector<int>{255, 0, 0, 128}));
    EXPECT_EQ(std::vector<int>(h, h + 4), (std::vector<int>{255, 0, 0, 64}));
}

TEST(FontLayout, GlyphsPastTheTopLeftAreShiftedNotWrittenOutside) {
    // A glyph 6 to the left of the pen and 20 rows above the line top.
    ScriptedFont font(10, {{'L', -6, 30, 8, 40, 4, 255}, {'n', 0, 7, 3, 3, 4, 255}}, 7);
    const char* text = "nL\nLn";
    FontExtent e{0, 0};
    ASSERT_EQ(font.measure(&e, text), 4);
    // Line 1: n at x 0..3, L at x -2..6 and y -20..20; line 2 (pen y 10):
    // L at x -6..2 and y -10..30, n at x 4..7. The box is -6..7 x -20..30.
    EXPECT_EQ(e.width, 7 + 6);
    EXPECT_EQ(e.height, 30 + 20);
    Rendered r = renderText(&font, text);
    EXPECT_TRUE(r.guardsIntact());
    Rendered::Ink k = r.ink();
    EXPECT_EQ(k.x0, 0);
    EXPECT_EQ(k.y0, 0);
    EXPECT_EQ(k.x1, e.width);
    EXPECT_EQ(k.y1, e.height);
    // The second line's "L" sits at pen (0, 10): its columns -6..1 land at 0..7.
    EXPECT_EQ(r.pixel(0, 29)[3], 255);
}

TEST(FontLayout, HugeAdvancesStopTheWalkInsteadOfOverflowing) {
    ScriptedFont font(2048, {{'w', 0, 7, 1, 1, 1 << 27, 255}}, 7);
    std::string text(100, 'w');
    text += "\n";
    for (int i = 0; i < 200000; ++i) text += "\n";
    FontExtent e{0, 0};
    const int32_t n = font.measure(&e, text.c_str());
    EXPECT_LT(n, 100);
    EXPECT_GT(e.width, 0);
    EXPECT_GT(e.height, 0);
}

// Two tiny fonts with the same outlines, one over a 1000-unit em and one
// over a 16-unit em, where every outline is dozens of ems large. Such a glyph
// is skipped, not rendered into a bitmap of that size.
TEST(FontOutlines, GlyphsFarLargerThanTheirEmAreSkipped) {
    const std::string dir = std::string(KELPA_SOURCE_DIR) + "/fuzz/corpus/font/";
    RefPtr<Resource> normal = iOS::ResourceImp::loadPath((dir + "tiny_cmap4.ttf").c_str());
    RefPtr<Resource> huge = iOS::ResourceImp::loadPath((dir + "tiny_units_16.ttf").c_str());
    ASSERT_TRUE(normal && huge);
    RefPtr<Font> ok = iOS::FontImp::createFromResource(normal, 12, 12);
    RefPtr<Font> bad = iOS::FontImp::createFromResource(huge, 12, 12);
    ASSERT_TRUE(ok && bad);
    EXPECT_EQ(ok->countGlyphs("AB"), 2);
    EXPECT_EQ(bad->countGlyphs("AB"), 0);
    EXPECT_EQ(bad->countGlyphs("A A"), 1);  // the space has no outline and stays
    FontExtent e{0, 0};
    bad->measure(&e, "AB");
    EXPECT_LE(e.width, 1);
    EXPECT_LE(e.height, 1);
}

}  // namespace
