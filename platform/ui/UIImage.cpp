#include "platform/ui/UIImage.h"

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

namespace KelpaPlatform {

namespace {

std::mutex folderLock;
std::string& folder() {
    static std::string f;
    return f;
}

// Larger files are not images of ours.
constexpr std::streamoff kMaxFileBytes = 64 << 20;

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

struct ByteReader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
};

cairo_status_t readBytes(void* closure, unsigned char* data, unsigned int length) {
    auto* r = static_cast<ByteReader*>(closure);
    if (r->bytes->size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, r->bytes->data() + r->at, length);
    r->at += length;
    return CAIRO_STATUS_SUCCESS;
}

// The header is checked before decoding, so that a file that claims a huge
// image is refused before any pixel memory is asked for.
bool plausiblePng(const std::vector<uint8_t>& b) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (b.size() < 33 || std::memcmp(b.data(), signature, 8) != 0) return false;
    if (std::memcmp(b.data() + 12, "IHDR", 4) != 0) return false;
    uint32_t w = bigEndian32(b.data() + 16), h = bigEndian32(b.data() + 20);
    return w >= 1 && h >= 1 && w <= uint32_t(UIImage::kMaxSide) && h <= uint32_t(UIImage::kMaxSide);
}

}  // namespace

UIImage::~UIImage() { cairo_surface_destroy(surface_); }

void UIImage::setResourceFolder(const std::string& f) {
    std::lock_guard<std::mutex> hold(folderLock);
    folder() = f;
}

std::string UIImage::resourceFolder() {
    std::lock_guard<std::mutex> hold(folderLock);
    return folder();
}

std::shared_ptr<UIImage> UIImage::imageNamed(const std::string& name) {
    if (name.empty()) return nullptr;
    std::string file = name;
    const size_t slash = file.rfind('/');
    if (file.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) file += ".png";
    const std::filesystem::path dir = resourceFolder();
    return imageWithContentsOfFile((dir.empty() ? std::filesystem::path(".") : dir) / file);
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return nullptr;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kMaxFileBytes) return nullptr;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return nullptr;
    if (!plausiblePng(bytes)) return nullptr;
    ByteReader reader{&bytes};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readBytes, &reader);
    std::shared_ptr<UIImage> image = imageWithSurface(s);
    cairo_surface_destroy(s);
    return image;
}

std::shared_ptr<UIImage> UIImage::imageWithSurface(cairo_surface_t* surface) {
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return nullptr;
    if (cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32)
        return std::shared_ptr<UIImage>(new UIImage(cairo_surface_reference(surface)));
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(copy);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(copy);
        return nullptr;
    }
    return std::shared_ptr<UIImage>(new UIImage(copy));
}

CGSize UIImage::size() const {
    return CGSize{double(cairo_image_surface_get_width(surface_)), double(cairo_image_surface_get_height(surface_))};
}

void UIImage::drawInRect(cairo_t* cr, const CGRect& rect, double alpha) const {
    const CGSize s = size();
    if (rect.size.width <= 0 || rect.size.height <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
    cairo_translate(cr, rect.origin.x, rect.origin.y);
    cairo_scale(cr, rect.size.width / s.width, rect.size.height / s.height);
    cairo_set_source_surface(cr, surface_, 0, 0);
    // Edge pixels continue outwards, so a scaled image's border does not
    // fade into transparency.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

}  // namespace KelpaPlatform
