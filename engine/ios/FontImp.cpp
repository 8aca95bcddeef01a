#include "engine/ios/FontImp.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "engine/AssetReport.h"
#include "engine/ios/ResourceImp.h"

namespace KelpaEngine {

RefPtr<Font> FontShadow::create(Application* app, const char* fileName, int32_t width, int32_t height) {
    std::string why;
    RefPtr<Resource> file = iOS::ResourceImp::load(app, fileName, &why);
    if (!file) {
        reportBrokenAsset(fileName, why.c_str());
        return nullptr;
    }
    return iOS::FontImp::createFromResource(file, width, height, fileName);
}

namespace iOS {

namespace {

bool validSize(int32_t size) { return size >= 1 && size <= FontShadow::kMaxSize; }

// Text is rasterised at 1.5 times the requested size.
FT_UInt scaled(int32_t size) { return static_cast<FT_UInt>(size * 1.5); }

// What FreeType said, in words where it has them.
std::string freeTypeFailure(const char* what, FT_Error error) {
    const char* text = FT_Error_String(error);
    char line[160];
    if (text) {
        std::snprintf(line, sizeof line, "%s (%s)", what, text);
    } else if (error == FT_Err_Unknown_File_Format) {
        std::snprintf(line, sizeof line, "%s (not a font format FreeType knows)", what);
    } else {
        std::snprintf(line, sizeof line, "%s (FreeType error 0x%02X)", what, unsigned(error));
    }
    return line;
}

// No real glyph is this many ems wide or tall. A broken font's outline can
// be, and FreeType would render it into a bitmap of that size (a gigabyte,
// cleared, from a file of a few hundred bytes).
constexpr int64_t kMaxGlyphEms = 4;

bool outlineTooLarge(FT_Face face) {
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    const int64_t em = std::max(face->size->metrics.x_ppem, face->size->metrics.y_ppem);
    const int64_t limit = (kMaxGlyphEms * em + 2) * 64;  // 26.6 fixed point
    return int64_t(box.xMax) - box.xMin > limit || int64_t(box.yMax) - box.yMin > limit;
}

}  // namespace

RefPtr<Font> FontImp::createFromResource(const RefPtr<Resource>& file, int32_t width, int32_t height,
                                         const char* assetName) {
    if (!file || !file->getData() || file->getSize() == 0) {
        if (file) reportBrokenAsset(assetName, "empty file");
        return nullptr;
    }
    if (!validSize(width) || !validSize(height)) return nullptr;

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return nullptr;
    FT_Face face = nullptr;
    FT_Error error = FT_New_Memory_Face(library, file->getData(), static_cast<FT_Long>(file->getSize()), 0, &face);
    if (error != 0) {
        FT_Done_FreeType(library);
        reportBrokenAsset(assetName, freeTypeFailure("not a font that can be opened", error).c_str());
        return nullptr;
    }
    // Text is looked up by Unicode code point; a face without such a charmap
    // cannot show any text, and a bitmap-only face has no sizes to scale to.
    const char* unusable = nullptr;
    if (!FT_IS_SCALABLE(face)) {
        unusable = "not a scalable font";
    } else if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        unusable = "font without a Unicode character map";
    } else if ((error = FT_Set_Pixel_Sizes(face, scaled(width), scaled(height))) != 0) {
        unusable = "font that cannot be scaled to the size";
    }
    if (unusable) {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        reportBrokenAsset(assetName, error ? freeTypeFailure(unusable, error).c_str() : unusable);
        return nullptr;
    }
    FontImp* font = new (std::nothrow) FontImp(library, face, file, height);
    if (!font) {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return nullptr;
    }
    return adoptRef<FontImp, Font>(font);
}

FontImp::FontImp(FT_LibraryRec_* library, FT_FaceRec_* face, const RefPtr<Resource>& file, int32_t size)
    : FontShadow(size), library_(library), face_(face), file_(file) {}

FontImp::~FontImp() {
    // The face reads the file's bytes, so it goes first; the file is
    // released with the members afterwards.
    FT_Done_Face(face_);
    FT_Done_FreeType(library_);
    engineFree(scratch_);
}

int32_t FontImp::setSize(int32_t size) {
    if (!validSize(size)) return FT_Err_Invalid_Pixel_Size;
    FT_Error err = FT_Set_Pixel_Sizes(face_, scaled(size), scaled(size));
    if (err == 0) size_ = size;
    return err;
}

void FontImp::beginWalk() { FT_Select_Charmap(face_, FT_ENCODING_UNICODE); }

double FontImp::ascent() {
    const FT_Size_Metrics& m = face_->size->metrics;
    if (face_->units_per_EM == 0) return m.ascender / 64.0;
    return static_cast<double>(face_->descender + face_->height) * m.y_ppem / face_->units_per_EM;
}

bool FontImp::reserve(uint64_t bytes) {
    if (bytes <= scratchSize_) return true;
    uint8_t* p = static_cast<uint8_t*>(engineAlloc(bytes));
    if (!p) return false;
    engineFree(scratch_);
    scratch_ = p;
    scratchSize_ = bytes;
    return true;
}

bool FontImp::loadGlyph(uint32_t codePoint, GlyphBitmap* out) {
    // A glyph that does not load or render is skipped: the slot would
    // otherwise still hold the previous glyph's bitmap.
    if (FT_Load_Glyph(face_, FT_Get_Char_Index(face_, codePoint), FT_LOAD_DEFAULT) != 0) return false;
    if (outlineTooLarge(face_)) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;

    const FT_Bitmap& bm = slot->bitmap;
    out->left = slot->bitmap_left;
    out->top = slot->bitmap_top;
    out->width = static_cast<int32_t>(bm.width);
    out->rows = static_cast<int32_t>(bm.rows);
    out->advance = static_cast<int32_t>(slot->advance.x >> 6);
    out->coverage = nullptr;
    if (bm.width == 0 || bm.rows == 0) {
        out->width = 0;
        out->rows = 0;
        return true;
    }
    if (!bm.buffer || bm.width > 0x7FFFFFFF || bm.rows > 0x7FFFFFFF) return false;

    const uint64_t width = bm.width;
    const uint64_t rows = bm.rows;
    const int64_t pitch = bm.pitch;
    const uint64_t stride = static_cast<uint64_t>(pitch < 0 ? -pitch : pitch);
    // Rows from the top: a negative pitch means the buffer holds the bottom row first.
    auto row = [&](uint64_t r) -> const uint8_t* {
        return bm.buffer + (pitch >= 0 ? r : rows - 1 - r) * stride;
    };

    switch (bm.pixel_mode) {
    case FT_PIXEL_MODE_GRAY: {
        if (stride < width) return false;
        if (pitch == static_cast<int64_t>(width) && bm.num_grays == 256) {
            out->coverage = bm.buffer;
            return true;
        }
        if (!reserve(width * rows)) return false;
        const unsigned maxGray = bm.num_grays > 1 ? bm.num_grays - 1 : 1;
        for (uint64_t r = 0; r < rows; ++r) {
            const uint8_t* src = row(r);
            uint8_t* dst = scratch_ + r * width;
            for (uint64_t j = 0; j < width; ++j) {
                unsigned v = src[j] >= maxGray ? 255u : src[j] * 255u / maxGray;
                dst[j] = static_cast<uint8_t>(v);
            }
        }
        break;
    }
    case FT_PIXEL_MODE_MONO: {
        if (stride < (width + 7) / 8) return false;
        if (!reserve(width * rows)) return false;
        for (uint64_t r = 0; r < rows; ++r) {
            const uint8_t* src = row(r);
            uint8_t* dst = scratch_ + r * width;
            for (uint64_t j = 0; j < width; ++j) dst[j] = (src[j >> 3] & (0x80 >> (j & 7))) ? 255 : 0;
        }
        break;
    }
    case FT_PIXEL_MODE_BGRA: {
        if (stride < width * 4) return false;
        if (!reserve(width * rows)) return false;
        for (uint64_t r = 0; r < rows; ++r) {
            const uint8_t* src = row(r);
            uint8_t* dst = scratch_ + r * width;
            for (uint64_t j = 0; j < width; ++j) dst[j] = src[j * 4 + 3];
        }
        break;
    }
    default:
        return false;
    }
    out->coverage = scratch_;
    return true;
}

}  // namespace iOS
}  // namespace KelpaEngine
