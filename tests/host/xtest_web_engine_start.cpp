// ctest-label: threads
// Under a display the web engine still starts only when a web view needs
// it: the window, the ad views and the game's first frame come without it.
#include <gtest/gtest.h>

#include <link.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/Application.h"
#include "engine/Graphics.h"
#include "engine/Scene.h"
#include "host/HostMain.h"
#include "host/HostState.h"
#include "tests/support/loaded_objects.h"

using namespace KelpaEngine;
using testsupport::loadedObjects;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// An AddressSanitizer tree links the WebKit module (platform/CMakeLists.txt).
constexpr bool kWebKitLinked = true;
#else
constexpr bool kWebKitLinked = false;
#endif

// What the process held when the game drew its first frame (-1: not drawn).
std::atomic<int> gWebKitAtFirstDraw{-1};

class FirstDrawScene : public Scene {
public:
    int32_t init(Application*) override { return 0; }
    RefPtr<Scene> update(Application*) override {
        invalidate();
        return self();
    }
    bool draw(Application*, Graphics* g) override {
        if (gWebKitAtFirstDraw.load() < 0) gWebKitAtFirstDraw = loadedObjects("libwebkit2gtk");
        g->setClearColor(0, 0, 1, 1);
        return true;
    }
};

int firstDrawEntry(RefPtr<Application> app) {
    runScenes(app.get(), makeRef<FirstDrawScene>());
    return 0;
}

TEST(WebEngineStart, TheFirstFrameComesBeforeWebKitIsLoaded) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    if (kWebKitLinked) GTEST_SKIP() << "WebKit is linked in this tree";
    KelpaHost::resetHostState();
    char tmpl[] = "/tmp/mekko-webstart-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    KelpaHost::HostOptions o;
    o.headless = true;  // web views render off screen on the display
    o.documents = std::string(tmpl) + "/docs";
    o.frames = 5;
    o.timeoutSeconds = 120;
    char arg0[] = "mekko";
    char* argv[] = {arg0, nullptr};
    testing::internal::CaptureStdout();
    int rc = KelpaHost::hostRun(firstDrawEntry, "mekko", o, 1, argv);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(gWebKitAtFirstDraw.load(), 0) << out;
    KelpaHost::resetHostState();
    EXPECT_EQ(std::system(("rm -rf '" + std::string(tmpl) + "'").c_str()), 0);
}

}  // namespace
