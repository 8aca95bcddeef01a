#include "engine/ImageDecode.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace KelpaEngine {

namespace {

constexpr uint8_t kPngSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
constexpr size_t kBmpPixelOffset = 54;

uint32_t readU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Where the PNG read callback takes its bytes from.
struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t position;
};

void pngRead(png_structp png, png_bytep out, size_t length) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->size - src->position) png_error(png, "read past the end of the data");
    std::memcpy(out, src->data + src->position, length);
    src->position += length;
}

[[noreturn]] void pngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarn(png_structp, png_const_charp) {}

// libpng's own blocks come from the engine heap too, so they are counted.
png_voidp pngAlloc(png_structp, png_alloc_size_t size) { return engineAlloc(size); }
void pngFree(png_structp, png_voidp p) { engineFree(p); }

// Deflate cannot shrink data by more than about 1032 to 1, so a header that
// asks for more raw bytes than that from the file it came in is a lie; it is
// refused before anything as large is allocated.
bool rawSizePlausible(png_uint_32 w, png_uint_32 h, int bitDepth, int channels, size_t fileSize) {
    uint64_t rowBits = uint64_t(w) * uint64_t(bitDepth) * uint64_t(channels);
    uint64_t raw = uint64_t(h) * (1 + (rowBits + 7) / 8);
    uint64_t limit = uint64_t(fileSize) * 1040 + 65536;
    return raw <= limit;
}

// Kept free of objects with destructors: libpng leaves it by longjmp.
struct PngState {
    png_structp png;
    png_infop info;
    uint8_t* pixels;
    int32_t width;
    int32_t height;
};

bool decodePngInto(PngState* st, PngSource* src) {
    if (setjmp(png_jmpbuf(st->png))) return false;

    png_set_read_fn(st->png, src, pngRead);
    png_read_info(st->png, st->info);

    png_uint_32 w = 0, h = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(st->png, st->info, &w, &h, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return false;
    if (!rawSizePlausible(w, h, bitDepth, png_get_channels(st->png, st->info), src->size)) return false;

    png_set_gray_to_rgb(st->png);
    png_set_expand(st->png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(st->png, st->info, PNG_INFO_tRNS))
        png_set_filler(st->png, 0xFF, PNG_FILLER_AFTER);
    png_set_strip_16(st->png);
    int passes = png_set_interlace_handling(st->png);
    png_read_update_info(st->png, st->info);

    w = png_get_image_width(st->png, st->info);
    h = png_get_image_height(st->png, st->info);
    // Anything but 8-bit RGBA rows would overrun the buffer below.
    if (png_get_rowbytes(st->png, st->info) != size_t(w) * 4) return false;

    uint64_t bytes = uint64_t(w) * uint64_t(h) * 4;
    st->pixels = static_cast<uint8_t*>(engineAlloc(bytes));
    if (!st->pixels) return false;
    // Passes of an interlaced file fill in only their own pixels of a row.
    std::memset(st->pixels, 0, size_t(bytes));
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y) png_read_row(st->png, st->pixels + size_t(y) * w * 4, nullptr);
    }
    st->width = int32_t(w);
    st->height = int32_t(h);
    return true;
}

}  // namespace

uint8_t* decodeBmp(const uint8_t* data, size_t size, int32_t* width, int32_t* height) {
    if (!data || size < kBmpPixelOffset || data[0] != 'B' || data[1] != 'M') return nullptr;
    uint32_t w = readU32LE(data + 18);
    uint32_t h = readU32LE(data + 22);
    // Also refuses top-down files, whose negative height reads as huge.
    if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return nullptr;
    uint64_t rowBytes = uint64_t(w) * 4;
    // Both below 2^31, so the product cannot wrap in 64 bits.
    uint64_t bytes = rowBytes * h;
    if (bytes > uint64_t(size - kBmpPixelOffset)) return nullptr;
    auto* out = static_cast<uint8_t*>(engineAlloc(bytes));
    if (!out) return nullptr;
    for (uint32_t r = 0; r < h; ++r) {
        const uint8_t* in = data + kBmpPixelOffset + size_t(h - 1 - r) * rowBytes;
        uint8_t* o = out + size_t(r) * rowBytes;
        for (uint32_t x = 0; x < w; ++x, in += 4, o += 4) {
            o[0] = in[2];
            o[1] = in[1];
            o[2] = in[0];
            o[3] = 255;
        }
    }
    *width = int32_t(w);
    *height = int32_t(h);
    return out;
}

uint8_t* decodePng(const uint8_t* data, size_t size, int32_t* width, int32_t* height) {
    if (!data || size < sizeof(kPngSignature) || std::memcmp(data, kPngSignature, sizeof(kPngSignature)) != 0)
        return nullptr;
    PngState st{};
    st.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngWarn, nullptr, pngAlloc,
                                      pngFree);
    if (!st.png) return nullptr;
    st.info = png_create_info_struct(st.png);
    if (!st.info) {
        png_destroy_read_struct(&st.png, nullptr, nullptr);
        return nullptr;
    }
    PngSource src{data, size, 0};
    bool ok = decodePngInto(&st, &src);
    png_destroy_read_struct(&st.png, &st.info, nullptr);
    if (!ok) {
        engineFree(st.pixels);
        return nullptr;
    }
    *width = st.width;
    *height = st.height;
    return st.pixels;
}

ImageConverter::ImageConverter(uint8_t* p, int32_t w, int32_t h) : pixels(p), width(w), height(h) {}

ImageConverter::~ImageConverter() {
    engineFree(pixels);
    pixels = nullptr;
}

RefPtr<ImageConverter> ImageConverter::convert(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!bytes || size < 2) return nullptr;
    int32_t w = 0, h = 0;
    uint8_t* pixels = nullptr;
    if (bytes[0] == 'B' && bytes[1] == 'M') {
        pixels = decodeBmp(bytes, size, &w, &h);
    } else {
        pixels = decodePng(bytes, size, &w, &h);
    }
    if (!pixels) return nullptr;
    RefPtr<ImageConverter> c = makeRef<ImageConverter>(pixels, w, h);
    if (!c) engineFree(pixels);
    return c;
}

}  // namespace KelpaEngine
