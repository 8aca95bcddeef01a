// test-links: ZLIB::ZLIB
// Image decoding (PNG through libpng, 32-bit BMP) and the image registry,
// over texture pages that need no GL.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <sys/resource.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/ImageDecode.h"
#include "engine/Texture.h"
#include "tests/support/plain_page.h"
#include "tests/support/png_fixtures.h"

using namespace KelpaEngine;
using namespace testsupport;

namespace {

struct Rgba {
    uint8_t r, g, b, a;
    bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

struct ColourCase {
    const char* name;
    PngLayout layout;
    std::vector<Rgba> want;  // row by row
};

// A w x h image whose pixel (x, y) is some function of x and y in every
// type, written out as the samples of that type and the RGBA it must decode to.
ColourCase rgbCase(bool alpha, bool sixteen, bool interlaced, int w, int h) {
    ColourCase c{alpha ? "rgba" : "rgb", {w, h, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, sixteen ? 16 : 8,
                                         interlaced, {}, {}, {}, -1},
                 {}};
    int channels = alpha ? 4 : 3;
    for (int y = 0; y < h; ++y) {
        Bytes row;
        for (int x = 0; x < w; ++x) {
            uint8_t v[4] = {uint8_t(x * 17 + y), uint8_t(y * 29 + 3), uint8_t(x * y + 7), uint8_t(255 - x * 9 - y)};
            for (int k = 0; k < channels; ++k) {
                row.push_back(v[k]);
                // The low byte differs from the high one so that stripping shows.
                if (sixteen) row.push_back(uint8_t(0xFF - v[k]));
            }
            c.want.push_back({v[0], v[1], v[2], alpha ? v[3] : uint8_t(255)});
        }
        c.layout.rows.push_back(row);
    }
    return c;
}

std::vector<ColourCase> colourCases() {
    std::vector<ColourCase> cases;
    cases.push_back(rgbCase(false, false, false, 5, 3));
    cases.push_back(rgbCase(true, false, false, 4, 4));
    {
        ColourCase c = rgbCase(true, true, false, 3, 2);
        c.name = "rgba 16-bit";
        cases.push_back(c);
    }
    {
        ColourCase c = rgbCase(false, true, false, 2, 3);
        c.name = "rgb 16-bit";
        cases.push_back(c);
    }
    {
        // 13 x 11 spans all seven passes with partial blocks at the edges.
        ColourCase c = rgbCase(true, false, true, 13, 11);
        c.name = "rgba interlaced";
        cases.push_back(c);
    }
    {
        ColourCase c = rgbCase(false, true, true, 9, 9);
        c.name = "rgb 16-bit interlaced";
        cases.push_back(c);
    }
    {
        ColourCase c{"gray", {4, 2, PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, {}, -1}, {}};
        for (int y = 0; y < 2; ++y) {
            Bytes row;
            for (int x = 0; x < 4; ++x) {
                uint8_t v = uint8_t(x * 60 + y * 7);
                row.push_back(v);
                c.want.push_back({v, v, v, 255});
            }
            c.layout.rows.push_back(row);
        }
        cases.push_back(c);
    }
    {
        // 2-bit grey: four samples a byte, expanded to 0, 85, 170, 255.
        ColourCase c{"gray 2-bit", {5, 1, PNG_COLOR_TYPE_GRAY, 2, false, {{0x1B, 0x40}}, {}, {}, -1}, {}};
        const uint8_t levels[] = {0, 85, 170, 255, 85};
        for (uint8_t v : levels) c.want.push_back({v, v, v, 255});
        cases.push_back(c);
    }
    {
        ColourCase c{"gray with transparency", {3, 1, PNG_COLOR_TYPE_GRAY, 8, false, {{10, 20, 10}}, {}, {}, 10}, {}};
        c.want = {{10, 10, 10, 0}, {20, 20, 20, 255}, {10, 10, 10, 0}};
        cases.push_back(c);
    }
    {
        ColourCase c{"gray alpha", {2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {}, {}, {}, -1}, {}};
        c.layout.rows = {{10, 0, 20, 50}, {30, 128, 40, 255}};
        c.want = {{10, 10, 10, 0}, {20, 20, 20, 50}, {30, 30, 30, 128}, {40, 40, 40, 255}};
        cases.push_back(c);
    }
    {
        ColourCase c{"gray alpha 16-bit", {1, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {}, {}, {}, -1}, {}};
        c.layout.rows = {{0x12, 0x34, 0xAB, 0xCD}, {0xFF, 0x00, 0x01, 0xFF}};
        c.want = {{0x12, 0x12, 0x12, 0xAB}, {0xFF, 0xFF, 0xFF, 0x01}};
        cases.push_back(c);
    }
    {
        // Palette with transparency for its first two entries only.
        ColourCase c{"palette with transparency",
                     {4, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {{0, 1, 2, 1}}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
                      {0, 128}, -1},
                     {}};
        c.want = {{255, 0, 0, 0}, {0, 255, 0, 128}, {0, 0, 255, 255}, {0, 255, 0, 128}};
        cases.push_back(c);
    }
    {
        // 4-bit palette, no transparency: opaque.
        ColourCase c{"palette 4-bit",
                     {3, 1, PNG_COLOR_TYPE_PALETTE, 4, false, {{0x21, 0x00}}, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {}, -1},
                     {}};
        c.want = {{7, 8, 9, 255}, {4, 5, 6, 255}, {1, 2, 3, 255}};
        cases.push_back(c);
    }
    return cases;
}

// ---- BMP files made by hand ----

void putU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A 32-bit BMP; pixel(x, fileRow) gives blue, green, red, fourth byte.
Bytes makeBmp(uint32_t w, uint32_t h, size_t pixelBytes) {
    Bytes b(54 + pixelBytes, 0);
    b[0] = 'B';
    b[1] = 'M';
    putU32(b, 2, uint32_t(b.size()));
    putU32(b, 10, 54);
    putU32(b, 14, 40);
    putU32(b, 18, w);
    putU32(b, 22, h);
    b[26] = 1;
    b[28] = 32;
    return b;
}

// A PNG of one-bit grey zeros, written a row at a time so that even a huge
// one takes little memory to make; it compresses about a thousand to one.
Bytes zeroGrayPng(uint32_t w, uint32_t h) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes row((w + 7) / 8, 0);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendPngBytes, flushNothing);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, w, h, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < h; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The most this process has had resident so far, in bytes.
uint64_t peakResidentBytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return uint64_t(usage.ru_maxrss) * 1024;
}

// Pixel bytes after the decoded block's start, or an empty vector.
struct Decoded {
    bool ok;
    int32_t w, h;
    std::vector<Rgba> px;
};

Decoded decode(const Bytes& file) {
    RefPtr<ImageConverter> c = ImageConverter::convert(file.data(), file.size());
    if (!c) return {false, 0, 0, {}};
    Decoded d{true, c->getWidth(), c->getHeight(), {}};
    const uint8_t* p = c->getPixels();
    for (int32_t i = 0; i < c->getWidth() * c->getHeight(); ++i) d.px.push_back({p[4 * i], p[4 * i + 1], p[4 * i + 2], p[4 * i + 3]});
    return d;
}

// ---- texture pages without GL ----

RefPtr<Texture> makeNoTexture(void*, int32_t, int32_t) { return nullptr; }

const uint8_t kPixel[4] = {1, 2, 3, 4};

RefPtr<Image> registerNamed(const std::string& name) {
    return Image::fromPixels(name.c_str(), kPixel, 1, 1, &makePlainTexture, nullptr);
}

}  // namespace

// Kept first in the file: the registry starts empty in this process.
TEST(ImageRegistry, GrowsBy2NPlus16AndReusesFreedEntries) {
    ASSERT_EQ(Image::registryLength(), 0);
    std::vector<RefPtr<Image>> held;
    held.push_back(registerNamed("img0.png"));
    ASSERT_TRUE(held.back());
    EXPECT_EQ(Image::registryLength(), 16);
    for (int i = 1; i < 16; ++i) held.push_back(registerNamed("img" + std::to_string(i) + ".png"));
    EXPECT_EQ(Image::registryLength(), 16);
    EXPECT_EQ(Image::registeredCount(), 16);
    held.push_back(registerNamed("img16.png"));  // the 17th
    EXPECT_EQ(Image::registryLength(), 48);
    EXPECT_EQ(Image::registeredCount(), 17);

    // A dropped image leaves the registry (which does not shrink); with
    // the array full, its entry is the one a new image takes.
    for (int i = 17; i < 48; ++i) held.push_back(registerNamed("img" + std::to_string(i) + ".png"));
    ASSERT_EQ(Image::registeredCount(), 48);
    held[5] = nullptr;
    EXPECT_EQ(Image::findLoaded("img5.png"), nullptr);
    EXPECT_EQ(Image::registeredCount(), 47);
    EXPECT_EQ(Image::registryLength(), 48);
    held[5] = registerNamed("again.png");
    EXPECT_EQ(Image::findLoaded("again.png"), held[5].get());
    EXPECT_EQ(Image::registryLength(), 48) << "the freed entry was reused, not a grown array";
    EXPECT_EQ(Image::registeredCount(), 48);
    EXPECT_EQ(Image::findLoaded("img16.png"), held[16].get());
    EXPECT_STREQ(held[16]->getName(), "img16.png");
    held.clear();
    EXPECT_EQ(Image::registeredCount(), 0);
}

TEST(ImageRegistry, FailedStoreRegistersNothing) {
    int32_t before = Image::registeredCount();
    EXPECT_FALSE(Image::fromPixels("nothing.png", kPixel, 1, 1, &makeNoTexture, nullptr));
    EXPECT_FALSE(Image::fromPixels("zero.png", kPixel, 0, 5, &makePlainTexture, nullptr));
    EXPECT_EQ(Image::registeredCount(), before);
    EXPECT_EQ(Image::findLoaded("nothing.png"), nullptr);
}

TEST(ImageRegistry, FromTextureKeepsTheRequestedSizeAndStaysUnregistered) {
    RefPtr<Texture> t = makePlainTexture(nullptr, 13, 7);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->region->width, 16);
    int32_t before = Image::registeredCount();
    RefPtr<Image> im = Image::fromTexture(t);
    ASSERT_TRUE(im);
    EXPECT_EQ(im->getWidth(), 13);
    EXPECT_EQ(im->getHeight(), 7);
    EXPECT_EQ(im->getName(), nullptr);
    EXPECT_EQ(im->getTexture(), t.get());
    EXPECT_EQ(Image::registeredCount(), before);
    EXPECT_FALSE(Image::fromTexture(nullptr));
}

TEST(ImageRegistry, StoredPixelsReachThePage) {
    const uint8_t px[2 * 2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    RefPtr<Image> im = Image::fromPixels("four.png", px, 2, 2, &makePlainTexture, nullptr);
    ASSERT_TRUE(im);
    const TextureHandle* page = im->getTexture()->getPage();
    const uint8_t* row0 = page->getPixels() + (size_t(im->getTexture()->regionY()) * page->getWidth() + im->getTexture()->regionX()) * 4;
    const uint8_t* row1 = row0 + size_t(page->getWidth()) * 4;
    EXPECT_EQ(std::memcmp(row0, px, 8), 0);
    EXPECT_EQ(std::memcmp(row1, px + 8, 8), 0);
}

TEST(PngDecode, ColourTypesDecodeToRgba) {
    for (const ColourCase& c : colourCases()) {
        SCOPED_TRACE(c.name);
        Bytes file = encodePng(c.layout);
        ASSERT_FALSE(file.empty());
        Decoded d = decode(file);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.w, c.layout.width);
        EXPECT_EQ(d.h, c.layout.height);
        ASSERT_EQ(d.px.size(), c.want.size());
        for (size_t i = 0; i < c.want.size(); ++i) {
            const Rgba& g = d.px[i];
            const Rgba& w = c.want[i];
            EXPECT_TRUE(g == w) << "pixel " << i << ": got " << int(g.r) << "," << int(g.g) << "," << int(g.b) << ","
                                << int(g.a) << " want " << int(w.r) << "," << int(w.g) << "," << int(w.b) << ","
                                << int(w.a);
        }
    }
}

TEST(BmpDecode, BottomRowFirstAndBgrToRgb) {
    // 3 x 2: file row 0 is the bottom row of the picture.
    Bytes f = makeBmp(3, 2, 3 * 2 * 4);
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 3; ++x) {
            uint8_t* p = &f[54 + size_t(row * 3 + x) * 4];
            p[0] = uint8_t(10 * row + x);        // blue
            p[1] = uint8_t(100 + 10 * row + x);  // green
            p[2] = uint8_t(200 + 10 * row + x);  // red
            p[3] = 7;                            // not used
        }
    Decoded d = decode(f);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.w, 3);
    EXPECT_EQ(d.h, 2);
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 3; ++x) {
            int fileRow = 1 - r;
            Rgba want{uint8_t(200 + 10 * fileRow + x), uint8_t(100 + 10 * fileRow + x), uint8_t(10 * fileRow + x), 255};
            EXPECT_TRUE(d.px[size_t(r * 3 + x)] == want) << r << "," << x;
        }
}

TEST(ImageDecode, BrokenAndTruncatedFilesAreRefusedWithoutLeaks) {
    ColourCase rgba = rgbCase(true, false, false, 8, 8);
    const Bytes png = encodePng(rgba.layout);
    ColourCase inter = rgbCase(false, false, true, 9, 7);
    const Bytes interlaced = encodePng(inter.layout);
    ASSERT_FALSE(png.empty());

    std::vector<std::pair<std::string, Bytes>> bad;
    bad.push_back({"empty", {}});
    bad.push_back({"one byte", {'B'}});
    bad.push_back({"neither format", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}});
    bad.push_back({"signature only", Bytes(png.begin(), png.begin() + 8)});
    // Every cut of a good file ends before its pixels are all there.
    for (size_t cut = 9; cut < png.size() - 12; cut += 3) bad.push_back({"png cut at " + std::to_string(cut), Bytes(png.begin(), png.begin() + long(cut))});
    for (size_t cut = 9; cut < interlaced.size() - 12; cut += 7)
        bad.push_back({"interlaced cut at " + std::to_string(cut), Bytes(interlaced.begin(), interlaced.begin() + long(cut))});
    {
        Bytes crc = png;
        crc[20] ^= 0x40;  // inside the header chunk: its CRC no longer matches
        bad.push_back({"header crc", crc});
    }
    {
        // A header promising 60000 x 60000 over a few bytes of data.
        PngLayout s{1, 1, PNG_COLOR_TYPE_RGBA, 8, false, {{1, 2, 3, 4}}, {}, {}, -1};
        Bytes bomb = encodePng(s);
        bomb[16] = 0, bomb[17] = 0, bomb[18] = 0xEA, bomb[19] = 0x60;  // width, big-endian
        bomb[20] = 0, bomb[21] = 0, bomb[22] = 0xEA, bomb[23] = 0x60;  // height
        uint32_t c = uint32_t(crc32(0, bomb.data() + 12, 17));
        bomb[29] = uint8_t(c >> 24), bomb[30] = uint8_t(c >> 16), bomb[31] = uint8_t(c >> 8), bomb[32] = uint8_t(c);
        bad.push_back({"png header larger than its data", bomb});
    }
    {
        // A whole, well-formed file whose header promises twice the rows
        // that its image data holds.
        Bytes tall = png;
        tall[23] = uint8_t(tall[23] * 2);  // height 8 -> 16, big-endian
        uint32_t c = uint32_t(crc32(0, tall.data() + 12, 17));
        tall[29] = uint8_t(c >> 24), tall[30] = uint8_t(c >> 16), tall[31] = uint8_t(c >> 8), tall[32] = uint8_t(c);
        bad.push_back({"png taller than its image data", tall});
    }
    {
        Bytes shortHeader = makeBmp(1, 1, 0);
        shortHeader.pop_back();
        bad.push_back({"bmp header cut short", shortHeader});
    }
    bad.push_back({"bmp one pixel short", makeBmp(3, 2, 3 * 2 * 4 - 1)});
    bad.push_back({"bmp taller than its data", makeBmp(2, 1000, 64)});
    bad.push_back({"bmp size overflows 32 bits", makeBmp(0x10000, 0x10000, 16)});
    bad.push_back({"bmp size overflows 64 bits", makeBmp(0xFFFFFFFFu, 0xFFFFFFFFu, 16)});
    bad.push_back({"bmp top-down (negative height)", makeBmp(1, uint32_t(-1), 4)});
    bad.push_back({"bmp zero width", makeBmp(0, 5, 16)});

    for (const auto& [name, data] : bad) {
        SCOPED_TRACE(name);
        HeapCounters before = heapCounters();
        RefPtr<ImageConverter> c = ImageConverter::convert(data.data(), data.size());
        EXPECT_FALSE(c);
        HeapCounters after = heapCounters();
        EXPECT_EQ(after.liveBlocks, before.liveBlocks);
        EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    }
    // The uncut files are fine, and decoding them leaves nothing behind either.
    HeapCounters before = heapCounters();
    EXPECT_TRUE(decode(png).ok);
    EXPECT_TRUE(decode(interlaced).ok);
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
    EXPECT_FALSE(ImageConverter::convert(nullptr, 100));
}

TEST(BmpDecode, HeadersOfAnotherLayoutAreRefused) {
    // Only the uncompressed 32-bit layout with a 40-byte header and the
    // pixels right after it is read; any other would decode to wrong pixels.
    struct Case {
        const char* name;
        size_t at;
        uint32_t value;
        int bytes;
    } cases[] = {
        {"24 bits a pixel", 28, 24, 2}, {"8 bits a pixel", 28, 8, 2},
        {"bit fields", 30, 3, 4},       {"run-length", 30, 1, 4},
        {"124-byte header", 14, 124, 4}, {"12-byte header", 14, 12, 4},
        {"pixels further on", 10, 138, 4}, {"no planes", 26, 0, 2},
        {"two planes", 26, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f = makeBmp(2, 2, 2 * 2 * 4 + 256);
        for (int i = 0; i < c.bytes; ++i) f[c.at + size_t(i)] = uint8_t(c.value >> (8 * i));
        EXPECT_FALSE(decode(f).ok);
    }
    EXPECT_TRUE(decode(makeBmp(2, 2, 2 * 2 * 4)).ok);
}

TEST(ImageDecode, PicturesLargerThanATexturePageAreRefusedBeforeTheirPixelsAreMade) {
    const int32_t side = TextureHandle::kMaxPageSide;
    struct Case {
        uint32_t w, h;
        bool ok;
    } cases[] = {{uint32_t(side), 1, true}, {uint32_t(side) + 1, 1, false}, {1, uint32_t(side) + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        Bytes png = zeroGrayPng(c.w, c.h);
        ASSERT_FALSE(png.empty());
        EXPECT_EQ(c.ok, decode(png).ok);
        Bytes bmp = makeBmp(c.w, c.h, size_t(c.w) * c.h * 4);
        EXPECT_EQ(c.ok, decode(bmp).ok);
    }
    // About 65 KB that would unpack to 2 GiB of RGBA.
    Bytes bomb = zeroGrayPng(32768, 16384);
    ASSERT_FALSE(bomb.empty());
    EXPECT_LT(bomb.size(), size_t(100000));
    uint64_t peak = peakResidentBytes();
    EXPECT_FALSE(ImageConverter::convert(bomb.data(), bomb.size()));
    EXPECT_LT(peakResidentBytes(), peak + (uint64_t(256) << 20));
}

TEST(ImageDecode, TrailingBytesAfterTheImageAreIgnored) {
    Bytes f = makeBmp(1, 1, 4);
    f[54] = 1, f[55] = 2, f[56] = 3;
    f.insert(f.end(), 100, 0xEE);
    Decoded d = decode(f);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.px[0] == (Rgba{3, 2, 1, 255}));
}

// A chunk's length comes from the file: a small file whose text chunk claims
// 1.5 GiB must be refused without that much being allocated and cleared.
TEST(ImageDecodeDeathTest, ChunkLongerThanTheFileIsRefusedWithoutItsAllocation) {
    Bytes f = encodePng(rgbCase(true, false, false, 4, 4).layout);
    ASSERT_GT(f.size(), 33u);
    const uint8_t text[] = {0x60, 0x00, 0x00, 0x00, 't', 'E', 'X', 't', 'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
    f.insert(f.begin() + 33, text, text + sizeof text);  // just behind the header chunk
    EXPECT_EXIT(
        {
            RefPtr<ImageConverter> c = ImageConverter::convert(f.data(), f.size());
            rusage use{};
            getrusage(RUSAGE_SELF, &use);
            std::_Exit(!c && use.ru_maxrss < 512 * 1024 ? 0 : 1);  // kilobytes
        },
        testing::ExitedWithCode(0), "");
}
