// test-links: PNG::PNG
// Reads PNG files back for the host's end-to-end checks.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hosttest {

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
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out->rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr)) return false;
    out->width = int(image.width);
    out->height = int(image.height);
    return true;
}

// Each channel within tolerance.
inline bool near(uint32_t a, uint32_t b, int tolerance = 24) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int d = int((a >> shift) & 0xff) - int((b >> shift) & 0xff);
        if (d < -tolerance || d > tolerance) return false;
    }
    return true;
}

}  // namespace hosttest
