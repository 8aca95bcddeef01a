// The GL view when another library in the process (the web engine's
// compositor) ends its use of the shared surfaceless display with
// eglTerminate, which ends ours too. A process of its own: the driver that
// the terminate unloads takes with it what earlier contexts left, which the
// leak checker would count against the other GL tests.
#include <gtest/gtest.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"

using namespace KelpaPlatform;

TEST(EglSharedDisplay, SetupAfterAPauseSurvivesTheDisplayTerminatedElsewhere) {
    FrameCapture capture;
    setFramePresenter(&capture);
    int owner = 0;
    ASSERT_EQ(kHostGLOk, hostGLSetup(&owner, nullptr));
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    ASSERT_NE(nullptr, getPlatformDisplay);
    EGLDisplay shared = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    ASSERT_NE(EGL_NO_DISPLAY, shared);
    hostGLReleaseFramebuffer(&owner);
    eglTerminate(shared);
    // The pause ends: a new set-up, and frames again.
    ASSERT_EQ(kHostGLOk, hostGLSetup(&owner, nullptr));
    EXPECT_EQ(0, hostGLPresent());
    EXPECT_EQ(1u, capture.frameCount());
    hostGLDelete(&owner);
    setFramePresenter(nullptr);
}
