#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "platform/egl/FramePresenter.h"

namespace KelpaPlatform {

namespace {

void pngError(png_structp png, png_const_charp) { longjmp(png_jmpbuf(png), 1); }
void pngWarning(png_structp, png_const_charp) {}

// The part that libpng may longjmp out of; keeps no object with a destructor.
bool writeRows(FILE* file, const uint8_t* rgba, int32_t width, int32_t height, int32_t stride) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Frames are written by the hundred while the game runs: the fastest
    // deflate over one filter takes a third of the default's time, for
    // files about a third larger.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int32_t row = 0; row < height; ++row) {
        png_write_row(png, const_cast<png_bytep>(rgba + size_t(row) * size_t(stride)));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePNGFile(const char* path, const uint8_t* rgba, int32_t width, int32_t height,
                  int32_t stride) {
    if (!path || !rgba || width <= 0 || height <= 0 || int64_t(stride) < int64_t(width) * 4) return false;
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool ok = writeRows(file, rgba, width, height, stride);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::remove(path);
    return ok;
}

void FrameCapture::presentFrame(const FrameView& frame) {
    if (!frame.rgba || frame.width <= 0 || frame.height <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    rgba_.assign(frame.rgba, frame.rgba + size_t(frame.width) * size_t(frame.height) * 4);
    width_ = frame.width;
    height_ = frame.height;
    ++frames_;
}

bool FrameCapture::latest(std::vector<uint8_t>* rgba, int32_t* width, int32_t* height) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frames_ == 0) return false;
    if (rgba) *rgba = rgba_;
    if (width) *width = width_;
    if (height) *height = height_;
    return true;
}

uint64_t FrameCapture::frameCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

uint32_t FrameCapture::pixel(int32_t x, int32_t y) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frames_ == 0 || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* p = rgba_.data() + (size_t(y) * size_t(width_) + size_t(x)) * 4;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool FrameCapture::writePNG(const char* path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frames_ == 0) return false;
    return writePNGFile(path, rgba_.data(), width_, height_, width_ * 4);
}

}  // namespace KelpaPlatform
