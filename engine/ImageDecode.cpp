#include "engine/ImageDecode.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "engine/Texture.h"

namespace KelpaEngine {

namespace {

constexpr uint8_t kPngSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
constexpr size_t kBmpPixelOffset = 54;
constexpr uint32_t kBmpInfoHeaderSize = 40;

void setWhy(std::string* why, const char* text) {
    if (why) *why = text;
}

// Nothing larger than one texture page can be stored, so nothing larger is
// worth the memory of its pixels.
bool fitsAPage(uint64_t w, uint64_t h) {
    return w <= uint64_t(TextureHandle::kMaxPageSide) && h <= uint64_t(TextureHandle::kMaxPageSide);
}

void setTooLarge(std::string* why, const char* format, uint64_t w, uint64_t h) {
    if (!why) return;
    char text[128];
    std::snprintf(text, sizeof text, "%s of %llu x %llu pixels is larger than a texture page (%d a side)", format,
                  static_cast<unsigned long long>(w), static_cast<unsigned long long>(h),
                  int(TextureHandle::kMaxPageSide));
    *why = text;
}

uint32_t readU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t readU16LE(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

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

// libpng's message is kept (in the error pointer's buffer) for the report.
constexpr size_t kPngMessageSize = 160;
[[noreturn]] void pngFail(png_structp png, png_const_charp message) {
    if (auto* text = static_cast<char*>(png_get_error_ptr(png))) {
        std::snprintf(text, kPngMessageSize, "PNG data broken or cut short (%s)", message ? message : "?");
    }
    png_longjmp(png, 1);
}
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
    char why[kPngMessageSize];
};

void pngWhy(PngState* st, const char* text) { std::snprintf(st->why, sizeof st->why, "%s", text); }

bool decodePngInto(PngState* st, PngSource* src) {
    if (setjmp(png_jmpbuf(st->png))) return false;

    png_set_read_fn(st->png, src, pngRead);
    png_read_info(st->png, st->info);

    png_uint_32 w = 0, h = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(st->png, st->info, &w, &h, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (w == 0 || h == 0) {
        pngWhy(st, "PNG has no pixels");
        return false;
    }
    // Before libpng or we allocate anything of the picture's size.
    if (!fitsAPage(w, h)) {
        std::string text;
        setTooLarge(&text, "PNG", w, h);
        pngWhy(st, text.c_str());
        return false;
    }
    if (!rawSizePlausible(w, h, bitDepth, png_get_channels(st->png, st->info), src->size)) {
        pngWhy(st, "PNG header promises more pixels than its data can hold");
        return false;
    }

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
    if (png_get_rowbytes(st->png, st->info) != size_t(w) * 4) {
        pngWhy(st, "PNG layout not supported");
        return false;
    }

    uint64_t bytes = uint64_t(w) * uint64_t(h) * 4;
    st->pixels = static_cast<uint8_t*>(engineAlloc(bytes));
    if (!st->pixels) {
        pngWhy(st, "out of memory for the PNG's pixels");
        return false;
    }
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

uint8_t* decodeBmp(const uint8_t* data, size_t size, int32_t* width, int32_t* height, std::string* why) {
    if (!data || size < 2 || data[0] != 'B' || data[1] != 'M') {
        setWhy(why, "not a BMP file");
        return nullptr;
    }
    if (size < kBmpPixelOffset) {
        setWhy(why, "BMP header cut short");
        return nullptr;
    }
    // Only the one layout is read: anything else would decode to wrong
    // pixels rather than fail.
    if (readU32LE(data + 10) != kBmpPixelOffset || readU32LE(data + 14) != kBmpInfoHeaderSize ||
        readU16LE(data + 26) != 1 || readU16LE(data + 28) != 32 || readU32LE(data + 30) != 0) {
        setWhy(why, "BMP layout not supported (only uncompressed 32-bit with a 40-byte header)");
        return nullptr;
    }
    uint32_t w = readU32LE(data + 18);
    uint32_t h = readU32LE(data + 22);
    if (w == 0 || h == 0) {
        setWhy(why, "BMP has no pixels");
        return nullptr;
    }
    if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) {
        setWhy(why, h > 0x7FFFFFFFu ? "top-down BMP not supported" : "BMP width out of range");
        return nullptr;
    }
    if (!fitsAPage(w, h)) {
        setTooLarge(why, "BMP", w, h);
        return nullptr;
    }
    uint64_t rowBytes = uint64_t(w) * 4;
    uint64_t bytes = rowBytes * h;
    if (bytes > uint64_t(size - kBmpPixelOffset)) {
        setWhy(why, "BMP pixel data cut short");
        return nullptr;
    }
    auto* out = static_cast<uint8_t*>(engineAlloc(bytes));
    if (!out) {
        setWhy(why, "out of memory for the BMP's pixels");
        return nullptr;
    }
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

uint8_t* decodePng(const uint8_t* data, size_t size, int32_t* width, int32_t* height, std::string* why) {
    if (!data || size < sizeof(kPngSignature) || std::memcmp(data, kPngSignature, sizeof(kPngSignature)) != 0) {
        setWhy(why, "not a PNG file");
        return nullptr;
    }
    PngState st{};
    st.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, st.why, pngFail, pngWarn, nullptr, pngAlloc,
                                      pngFree);
    if (!st.png) {
        setWhy(why, "out of memory for the PNG reader");
        return nullptr;
    }
    st.info = png_create_info_struct(st.png);
    if (!st.info) {
        png_destroy_read_struct(&st.png, nullptr, nullptr);
        setWhy(why, "out of memory for the PNG reader");
        return nullptr;
    }
    // Only the chunks that make the pixels are read (header, palette,
    // transparency, data); the others are skipped unread. libpng would
    // otherwise allocate and clear whatever length a text chunk claims.
    png_set_keep_unknown_chunks(st.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    PngSource src{data, size, 0};
    bool ok = decodePngInto(&st, &src);
    png_destroy_read_struct(&st.png, &st.info, nullptr);
    if (!ok) {
        engineFree(st.pixels);
        setWhy(why, st.why[0] ? st.why : "PNG data broken");
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

RefPtr<ImageConverter> ImageConverter::convert(const void* data, size_t size, std::string* why) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    int32_t w = 0, h = 0;
    uint8_t* pixels = nullptr;
    if (bytes && size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        pixels = decodeBmp(bytes, size, &w, &h, why);
    } else if (bytes && size >= sizeof(kPngSignature) && std::memcmp(bytes, kPngSignature, sizeof(kPngSignature)) == 0) {
        pixels = decodePng(bytes, size, &w, &h, why);
    } else {
        setWhy(why, size == 0 ? "empty file" : "neither a PNG nor a BMP file");
        return nullptr;
    }
    if (!pixels) return nullptr;
    RefPtr<ImageConverter> c = makeRef<ImageConverter>(pixels, w, h);
    if (!c) {
        engineFree(pixels);
        setWhy(why, "out of memory");
    }
    return c;
}

}  // namespace KelpaEngine
