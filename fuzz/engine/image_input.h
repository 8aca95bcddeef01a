// Shared by the PNG and BMP targets: an image file as the image loader
// meets it, decoded into RGBA or refused.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "engine/Heap.h"
#include "engine/ImageDecode.h"

namespace fuzzsupport {

inline bool looksLikeBmp(const uint8_t* data, size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

inline void decodeImage(const uint8_t* data, size_t size) {
    using namespace KelpaEngine;
    RefPtr<ImageConverter> image = ImageConverter::convert(data, size);
    if (!image) return;
    const int32_t w = image->getWidth();
    const int32_t h = image->getHeight();
    if (w <= 0 || h <= 0 || !image->getPixels()) std::abort();
    // The pixel block holds exactly w x h RGBA pixels; the address checker
    // sees the last byte read.
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * 4;
    HeapBlockHeader* block = findHeader(image->getPixels());
    if (!block || block->size != bytes) std::abort();
    volatile uint8_t last = image->getPixels()[bytes - 1];
    (void)last;
}

}  // namespace fuzzsupport
