// Where finished frames go: the desktop window, or a capture that tests and
// headless runs read back and write as PNG.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace KelpaPlatform {

// A finished frame: RGBA8, tightly packed rows, top row first; no pixels
// (null) for a presenter that takes none.
struct FrameView {
    const uint8_t* rgba;
    int32_t width;
    int32_t height;
    uint64_t serial;  // 1 for the first presented frame, then counting up
};

class FramePresenter {
public:
    virtual ~FramePresenter() = default;
    // Called on the game thread from hostGLPresent. The pixels are valid only
    // during the call: copy what is needed.
    virtual void presentFrame(const FrameView& frame) = 0;
    // False when the frames' pixels go nowhere (a headless run that writes
    // no pictures): they are then not read back from GL at all.
    virtual bool wantsPixels() const { return true; }
};

// Keeps a copy of the latest frame. Safe to read from any thread.
class FrameCapture : public FramePresenter {
public:
    void presentFrame(const FrameView& frame) override;

    // Copies the latest frame out; false when none was presented yet.
    bool latest(std::vector<uint8_t>* rgba, int32_t* width, int32_t* height) const;
    uint64_t frameCount() const;
    // One pixel of the latest frame as 0xRRGGBBAA (0 when out of range).
    uint32_t pixel(int32_t x, int32_t y) const;
    // Writes the latest frame as a PNG; false when there is none or writing fails.
    bool writePNG(const char* path) const;

private:
    mutable std::mutex mutex_;
    std::vector<uint8_t> rgba_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint64_t frames_ = 0;
};

// Writes w x h RGBA8 pixels (rows top first, `stride` bytes apart) as an
// 8-bit RGBA PNG. False on bad arguments or any I/O or libpng failure.
bool writePNGFile(const char* path, const uint8_t* rgba, int32_t width, int32_t height,
                  int32_t stride);

}  // namespace KelpaPlatform
