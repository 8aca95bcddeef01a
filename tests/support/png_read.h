// test-links: PNG::PNG
// Reads PNG files back (frames the code under test wrote, the game's own
// art) with libpng's simplified API, not with the engine's decoder.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// 8-bit RGBA rows, tightly packed, top row first; false when the file
// cannot be read as a PNG.
inline bool readPNG(const std::string& path, std::vector<uint8_t>* rgba, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = int(image.width);
    *height = int(image.height);
    return true;
}

struct Picture {
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    // 0xRRGGBB of a pixel (0 outside).
    uint32_t rgb(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        const uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
};

inline bool readPicture(const std::string& path, Picture* out) {
    return readPNG(path, &out->rgba, &out->width, &out->height);
}

// FNV-1a 64 over the RGBA bytes: a frame's pixels on record.
inline uint64_t pixelHash(const Picture& p) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : p.rgba) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

// Each channel of two 0xRRGGBB colours within tolerance.
inline bool near(uint32_t a, uint32_t b, int tolerance = 24) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int d = int((a >> shift) & 0xff) - int((b >> shift) & 0xff);
        if (d < -tolerance || d > tolerance) return false;
    }
    return true;
}

}  // namespace testsupport
