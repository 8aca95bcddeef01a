// test-links: kelpa_ios platform_gl
// Drawing tests' fixture: the real GL graphics object on the surfaceless
// context for one screen profile, with the frames it presents caught by a
// frame capture.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/Application.h"
#include "engine/ios/Factories.h"
#include "engine/ios/GraphicsImp.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"

namespace testsupport {

class TestApp : public KelpaEngine::Application {
public:
    int32_t frameStep(int32_t, bool) override { return 0; }
    int32_t getState() override { return 0; }
};

class GLFixture : public ::testing::Test {
protected:
    // Makes the graphics object on the named profile; the clear colour black.
    void start(const char* profileName) {
        const KelpaPlatform::ScreenProfile* p = KelpaPlatform::findScreenProfile(profileName);
        ASSERT_NE(nullptr, p) << profileName;
        profile = *p;
        KelpaPlatform::setCurrentScreenProfile(profile);
        KelpaEngine::iOS::GraphicsImp::resetViewportMemoForTesting();
        KelpaPlatform::setFramePresenter(&capture);
        graphics = KelpaEngine::iOS::createGraphicsImp(&app);
        ASSERT_TRUE(graphics);
        imp = dynamic_cast<KelpaEngine::iOS::GraphicsImp*>(graphics.get());
        ASSERT_NE(nullptr, imp);
        ASSERT_TRUE(imp->hasContext());
        graphics->setClearColor(0, 0, 0, 1);
    }
    void TearDown() override {
        graphics = nullptr;
        KelpaPlatform::setFramePresenter(nullptr);
        KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
        KelpaEngine::iOS::GraphicsImp::resetViewportMemoForTesting();
    }

    // The frame pixel under the centre of a virtual unit.
    uint32_t at(int vx, int vy) const {
        int32_t px = int32_t((vx + 0.5) * profile.pixelWidth() / app.getVirtualWidth());
        int32_t py = int32_t((vy + 0.5) * profile.pixelHeight() / app.getVirtualHeight());
        return capture.pixel(px, py);
    }
    void present() {
        uint64_t before = capture.frameCount();
        graphics->present();
        ASSERT_EQ(before + 1, capture.frameCount());
    }
    void savePNG(const char* name) {
        std::string path = std::string(KELPA_BINARY_DIR) + "/" + name;
        EXPECT_TRUE(capture.writePNG(path.c_str())) << path;
    }

    KelpaPlatform::ScreenProfile profile{};
    TestApp app;
    KelpaPlatform::FrameCapture capture;
    KelpaEngine::RefPtr<KelpaEngine::Graphics> graphics;
    KelpaEngine::iOS::GraphicsImp* imp = nullptr;
};

}  // namespace testsupport
