// The GL view when another library in the process (the web engine's
// compositor) ends its use of the shared surfaceless display with
// eglTerminate, which ends ours too. A process of its own: the driver that
// the terminate unloads takes with it what earlier contexts left, which the
// leak checker would count against the other GL tests.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>
#include <set>
#include <string>

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"

using namespace KelpaPlatform;

namespace {

// The terminate unloads the GL driver with the state it set up once for the
// process, which the leak checker then finds unreachable: the driver's own,
// not ours. Kept loaded, that state stays reachable.
void keepGLDriversLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> paths;
    for (std::string line; std::getline(maps, line);) {
        const size_t at = line.find('/');
        if (at == std::string::npos) continue;
        const std::string path = line.substr(at);
        if (path.find("_dri.so") != std::string::npos || path.find("libgallium") != std::string::npos)
            paths.insert(path);
    }
    for (const std::string& path : paths) dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

TEST(EglSharedDisplay, SetupAfterAPauseSurvivesTheDisplayTerminatedElsewhere) {
    FrameCapture capture;
    setFramePresenter(&capture);
    int owner = 0;
    ASSERT_EQ(kHostGLOk, hostGLSetup(&owner, nullptr));
    keepGLDriversLoaded();
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
