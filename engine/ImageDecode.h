// Decodes a picture file held in memory (PNG through libpng, or an
// uncompressed 32-bit BMP) into 8-bit RGBA pixels, rows top to bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/Heap.h"

namespace KelpaEngine {

class ImageConverter {
public:
    // Null when the data is neither BMP nor PNG, is broken or truncated, is
    // of a layout not read here, could not fit a texture page, or the pixels
    // cannot be allocated; *why (when given) then says which.
    static RefPtr<ImageConverter> convert(const void* data, size_t size, std::string* why = nullptr);

    // Takes over pixels (an engine-heap block of w x h x 4 bytes).
    ImageConverter(uint8_t* pixels, int32_t w, int32_t h);
    virtual ~ImageConverter();
    ImageConverter(const ImageConverter&) = delete;
    ImageConverter& operator=(const ImageConverter&) = delete;

    const uint8_t* getPixels() const { return pixels; }
    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }

    uint8_t* pixels;
    int32_t width;
    int32_t height;
};

// The two decoders, each giving an engine-heap RGBA block, or null with the
// reason in *why (when given).
uint8_t* decodeBmp(const uint8_t* data, size_t size, int32_t* width, int32_t* height, std::string* why = nullptr);
uint8_t* decodePng(const uint8_t* data, size_t size, int32_t* width, int32_t* height, std::string* why = nullptr);

}  // namespace KelpaEngine
