// The surfaceless EGL GL view: context, framebuffer, present to a frame sink,
// failures, and the PNG writer.
#include <gtest/gtest.h>

#include <GLES2/gl2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"
#include "tests/support/png_read.h"

using namespace KelpaPlatform;
using testsupport::readPNG;

namespace {

class EglHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = currentScreenProfile();
        setFramePresenter(&capture_);
    }
    void TearDown() override {
        hostGLDelete(this);
        setFramePresenter(nullptr);
        setCurrentScreenProfile(saved_);
    }
    ScreenProfile saved_{};
    FrameCapture capture_;
};

TEST_F(EglHostTest, SetupMakesAScreenSizedFramebufferCurrent) {
    const ScreenProfile* p = findScreenProfile("414x736@3");
    ASSERT_NE(nullptr, p);
    setCurrentScreenProfile(*p);
    HostGLScreen screen{};
    ASSERT_EQ(kHostGLOk, hostGLSetup(this, &screen));
    EXPECT_TRUE(hostGLIsCurrent());
    EXPECT_EQ(3u, screen.scale);
    EXPECT_EQ(0, screen.isPad);
    EXPECT_EQ(0, screen.smallScreen);
    EXPECT_EQ(414, screen.widthPoints);
    EXPECT_EQ(1242, hostGLPixelWidth());
    EXPECT_EQ(2208, hostGLPixelHeight());
    GLint fb = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    EXPECT_NE(0, fb);
    EXPECT_EQ(GLenum(GL_FRAMEBUFFER_COMPLETE), glCheckFramebufferStatus(GL_FRAMEBUFFER));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(0, std::string(version).rfind("OpenGL ES", 0)) << version;
}

TEST_F(EglHostTest, PresentHandsOverTheFrameTopRowFirst) {
    setCurrentScreenProfile(*findScreenProfile("320x480@2"));
    ASSERT_EQ(kHostGLOk, hostGLSetup(this, nullptr));
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // GL's y runs upwards: the upper half of the GL rows is the top of the picture.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 480, 640, 480);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    ASSERT_EQ(0, hostGLPresent());
    ASSERT_EQ(1u, capture_.frameCount());
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(capture_.latest(&rgba, &w, &h));
    EXPECT_EQ(640, w);
    EXPECT_EQ(960, h);
    EXPECT_EQ(0xFF0000FFu, capture_.pixel(0, 0));
    EXPECT_EQ(0xFF0000FFu, capture_.pixel(639, 479));
    EXPECT_EQ(0x0000FFFFu, capture_.pixel(0, 480));
    EXPECT_EQ(0x0000FFFFu, capture_.pixel(639, 959));
    EXPECT_EQ(0u, capture_.pixel(640, 0));
    hostGLPresent();
    EXPECT_EQ(2u, capture_.frameCount());
}

// Told of every frame, with or without its pixels.
struct CountingPresenter : FramePresenter {
    explicit CountingPresenter(bool pixels) : pixels_(pixels) {}
    void presentFrame(const FrameView& frame) override { seen.push_back(frame); }
    bool wantsPixels() const override { return pixels_; }
    std::vector<FrameView> seen;
    bool pixels_;
};

TEST_F(EglHostTest, APresenterThatTakesNoPixelsIsToldOfEachFrameWithoutThem) {
    setCurrentScreenProfile(*findScreenProfile("320x480@2"));
    ASSERT_EQ(kHostGLOk, hostGLSetup(this, nullptr));
    for (bool pixels : {false, true}) {
        SCOPED_TRACE(pixels ? "wants pixels" : "no pixels");
        CountingPresenter presenter(pixels);
        setFramePresenter(&presenter);
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        ASSERT_EQ(0, hostGLPresent());
        ASSERT_EQ(0, hostGLPresent());
        setFramePresenter(&capture_);
        ASSERT_EQ(2u, presenter.seen.size());
        for (const FrameView& f : presenter.seen) {
            EXPECT_EQ(pixels, f.rgba != nullptr);
            EXPECT_EQ(640, f.width);
            EXPECT_EQ(960, f.height);
        }
        EXPECT_EQ(presenter.seen[0].serial + 1, presenter.seen[1].serial);
    }
    // What was drawn is still there for the next presenter that reads it.
    ASSERT_EQ(0, hostGLPresent());
    EXPECT_EQ(0x00FF00FFu, capture_.pixel(0, 0));
}

TEST_F(EglHostTest, EachSetupReplacesTheOldContextAndDeleteDropsIt) {
    int base = hostGLLiveContexts();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(kHostGLOk, hostGLSetup(this, nullptr));
        EXPECT_EQ(base + 1, hostGLLiveContexts());
    }
    int stranger = 0;
    hostGLDelete(&stranger);  // not the owner: nothing happens
    EXPECT_TRUE(hostGLIsCurrent());
    hostGLDelete(this);
    EXPECT_EQ(base, hostGLLiveContexts());
    EXPECT_FALSE(hostGLIsCurrent());
    EXPECT_EQ(0, hostGLPixelWidth());
    EXPECT_EQ(1, hostGLPresent());  // nothing to present
    EXPECT_EQ(0u, capture_.frameCount());
    hostGLDelete(this);  // twice is harmless
}

TEST_F(EglHostTest, ReleasingTheFramebufferKeepsTheContextAndItsTextures) {
    int base = hostGLLiveContexts();
    ASSERT_EQ(kHostGLOk, hostGLSetup(this, nullptr));
    GLuint before = 0;
    glGenTextures(1, &before);
    int stranger = 0;
    hostGLReleaseFramebuffer(&stranger);  // not the owner: nothing happens
    EXPECT_NE(0, hostGLPixelWidth());
    hostGLReleaseFramebuffer(this);
    EXPECT_TRUE(hostGLIsCurrentFor(this));
    EXPECT_EQ(base + 1, hostGLLiveContexts());
    EXPECT_EQ(0, hostGLPixelWidth());
    EXPECT_EQ(1, hostGLPresent());  // nothing to present
    EXPECT_EQ(0u, capture_.frameCount());
    EXPECT_EQ(kHostGLIncompleteFramebuffer, hostGLStorage());
    // Objects old and new live on in the kept context.
    GLuint made = 0;
    glGenTextures(1, &made);
    EXPECT_NE(0u, made);
    glBindTexture(GL_TEXTURE_2D, made);
    EXPECT_TRUE(glIsTexture(made));
    glBindTexture(GL_TEXTURE_2D, before);
    EXPECT_TRUE(glIsTexture(before));
    // A new set-up replaces the context and presents again.
    ASSERT_EQ(kHostGLOk, hostGLSetup(this, nullptr));
    EXPECT_EQ(base + 1, hostGLLiveContexts());
    EXPECT_EQ(0, hostGLPresent());
    EXPECT_EQ(1u, capture_.frameCount());
}

TEST_F(EglHostTest, FailuresAreReportedAndLeaveNoContext) {
    int base = hostGLLiveContexts();
    hostGLFailNextSetupForTesting();
    EXPECT_EQ(kHostGLNoContext, hostGLSetup(this, nullptr));
    EXPECT_FALSE(hostGLIsCurrent());
    EXPECT_EQ(base, hostGLLiveContexts());

    // A screen of no size cannot give a complete framebuffer.
    setCurrentScreenProfile(ScreenProfile{"empty", 0, 0, 2, false});
    EXPECT_EQ(kHostGLIncompleteFramebuffer, hostGLSetup(this, nullptr));
    setCurrentScreenProfile(*findScreenProfile("375x667@2"));
    EXPECT_EQ(kHostGLOk, hostGLStorage());
    EXPECT_EQ(750, hostGLPixelWidth());
}

TEST_F(EglHostTest, FrameCaptureWritesAPNGThatReadsBack) {
    setCurrentScreenProfile(*findScreenProfile("320x480@2"));
    ASSERT_EQ(kHostGLOk, hostGLSetup(this, nullptr));
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    hostGLPresent();
    std::string path = std::string(KELPA_BINARY_DIR) + "/egl_host_frame.png";
    ASSERT_TRUE(capture_.writePNG(path.c_str()));
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(readPNG(path, &rgba, &w, &h));
    EXPECT_EQ(640, w);
    EXPECT_EQ(960, h);
    EXPECT_EQ(0, rgba[0]);
    EXPECT_EQ(255, rgba[1]);
    EXPECT_EQ(255, rgba[3]);
}

TEST(PngWriter, WritesRowsTopFirstAndRefusesBadInput) {
    const uint8_t pixels[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 40};
    std::string path = std::string(KELPA_BINARY_DIR) + "/png_writer_2x2.png";
    ASSERT_TRUE(writePNGFile(path.c_str(), pixels, 2, 2, 8));
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(readPNG(path, &rgba, &w, &h));
    ASSERT_EQ(16u, rgba.size());
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 16), rgba);

    EXPECT_FALSE(writePNGFile(path.c_str(), nullptr, 2, 2, 8));
    EXPECT_FALSE(writePNGFile(path.c_str(), pixels, 0, 2, 8));
    EXPECT_FALSE(writePNGFile(path.c_str(), pixels, 2, 2, 4));  // stride shorter than a row
    EXPECT_FALSE(writePNGFile(path.c_str(), pixels, 0x40000000, 1, 8));  // a row too long to count in 32 bits
    EXPECT_FALSE(writePNGFile("/nonexistent-dir/x.png", pixels, 2, 2, 8));
    FrameCapture empty;
    EXPECT_FALSE(empty.writePNG(path.c_str()));
}

}  // namespace
