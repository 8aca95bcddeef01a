// test-links: PNG::PNG
// PNG files for tests, written in memory with libpng's write side.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

struct PngLayout {
    int width;
    int height;
    int colorType;
    int bitDepth;
    bool interlaced = false;
    // Raw samples, rows packed as libpng expects them for the type and depth.
    std::vector<Bytes> rows;
    std::vector<png_color> palette;
    Bytes paletteAlpha;        // tRNS for palette images
    int transparentGray = -1;  // tRNS for gray images
};

inline void appendPngBytes(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
inline void flushNothing(png_structp) {}

// Empty on failure.
inline Bytes encodePng(const PngLayout& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendPngBytes, flushNothing);
    png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), int(s.paletteAlpha.size()), nullptr);
    if (s.transparentGray >= 0) {
        png_color_16 c{};
        c.gray = png_uint_16(s.transparentGray);
        png_set_tRNS(png, info, nullptr, 0, &c);
    }
    std::vector<png_bytep> rows;
    for (const Bytes& r : s.rows) rows.push_back(const_cast<png_bytep>(r.data()));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An 8-bit RGBA PNG of tightly packed rows.
inline Bytes encodeRgbaPng(int w, int h, const Bytes& rgba) {
    PngLayout s{w, h, PNG_COLOR_TYPE_RGBA, 8, false, {}, {}, {}, -1};
    for (int y = 0; y < h; ++y)
        s.rows.emplace_back(rgba.begin() + ptrdiff_t(y) * w * 4, rgba.begin() + ptrdiff_t(y + 1) * w * 4);
    return encodePng(s);
}

}  // namespace testsupport
