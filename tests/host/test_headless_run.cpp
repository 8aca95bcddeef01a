// ctest-label: threads
// The headless runner end to end, in this process: the real host, EGL off
// screen and the real frame step, with a small scene that paints a clear
// colour and a marker at the last touch, a scripted tap, screenshots, and
// the terminate path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "engine/Application.h"
#include "engine/Graphics.h"
#include "engine/HostBridge.h"
#include "engine/Pointing.h"
#include "engine/Scene.h"
#include "host/HostMain.h"
#include "host/HostState.h"
#include "tests/host/png_read.h"

using namespace KelpaEngine;
using namespace hosttest;

namespace {

class MarkerScene : public Scene {
public:
    int32_t init(Application*) override { return 0; }
    RefPtr<Scene> update(Application* app) override {
        if (RefPtr<Pointing> p = app->getPointing()) {
            TouchRecord records[kTouchRecordCapacity];
            int32_t n = p->getCount();
            if (n > 0 && p->getTouches(records, n)) {
                marker_ = true;
                x_ = records[n - 1].x;
                y_ = records[n - 1].y;
            }
        }
        if (++frame_ == 3) {
            HostBridge& bridge = installedHostBridge();
            bridge.shareTwitter("score $12.34 #mekko");
            bridge.openURL("https://example.com/apps");
            bridge.openURL("file:///etc/passwd");
        }
        invalidate();
        return self();
    }
    bool draw(Application*, Graphics* g) override {
        g->setClearColor(1, 0, 0, 1);
        if (marker_) {
            g->setColor(0, 1, 0, 1);
            g->fillRect(x_ - 30, y_ - 30, 60, 60);
        }
        return true;
    }

private:
    bool marker_ = false;
    int32_t x_ = 0, y_ = 0;
    int frame_ = 0;
};

int markerEntry(RefPtr<Application> app) {
    runScenes(app.get(), makeRef<MarkerScene>());
    return 0;
}

std::string tempFolder() {
    char tmpl[] = "/tmp/mekko-headless-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

size_t position(const std::string& out, const std::string& what) {
    size_t p = out.find(what);
    return p == std::string::npos ? size_t(-1) : p;
}

class HeadlessRun : public ::testing::Test {
protected:
    void SetUp() override {
        KelpaHost::resetHostState();
        dir = tempFolder();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        KelpaHost::resetHostState();
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    int run(KelpaHost::HostOptions o) {
        char arg0[] = "mekko";
        char* argv[] = {arg0, nullptr};
        testing::internal::CaptureStdout();
        int rc = KelpaHost::hostRun(markerEntry, "mekko", o, 1, argv);
        out = testing::internal::GetCapturedStdout();
        return rc;
    }
    std::string dir, out;
};

TEST_F(HeadlessRun, ScriptedTapShowsInTheWrittenFrames) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.profile = "320x568@2";
    o.documents = dir + "/docs";
    // The tap comes once the game runs (a tap ended before the first frame
    // leaves no trace); the run ends by its scripted terminate.
    o.frames = 100000;
    o.every = 15;
    o.shotsDir = dir + "/shots";
    o.scriptText = "1000 tap 160 284 200; 2500 terminate";
    o.timeoutSeconds = 60;
    ASSERT_EQ(run(o), 0) << out;

    for (const char* f : {"/frame-000015.png", "/frame-000030.png", "/last.png"}) {
        EXPECT_TRUE(exists(o.shotsDir + f)) << f;
    }
    Picture pic;
    ASSERT_TRUE(readPicture(o.shotsDir + "/last.png", &pic));
    EXPECT_EQ(pic.width, 640);
    EXPECT_EQ(pic.height, 1136);
    // The tap at the screen's centre is the design centre (270, 480): the
    // marker covers the middle pixel; the corners keep the clear colour.
    EXPECT_TRUE(near(pic.rgb(320, 568), 0x00ff00)) << std::hex << pic.rgb(320, 568);
    EXPECT_TRUE(near(pic.rgb(8, 8), 0xff0000)) << std::hex << pic.rgb(8, 8);
    EXPECT_TRUE(near(pic.rgb(632, 1128), 0xff0000)) << std::hex << pic.rgb(632, 1128);

    // Shares and URLs are printed, the refused one too.
    EXPECT_NE(out.find("share twitter: score $12.34 #mekko\n"), std::string::npos) << out;
    EXPECT_NE(out.find("open url: https://example.com/apps\n"), std::string::npos) << out;
    EXPECT_NE(out.find("refused url: file:///etc/passwd\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("open url: file:"), std::string::npos) << out;
    // The terminate path, in order.
    size_t term = position(out, "applicationWillTerminate");
    size_t ended = position(out, "game thread ended");
    size_t closed = position(out, "window closed");
    EXPECT_LT(term, ended) << out;
    EXPECT_LT(ended, closed) << out;
}

TEST_F(HeadlessRun, ResignAndBecomeActivePauseAndResumeTheFrames) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = 30;
    o.scriptText = "150 resign; 600 active";
    o.timeoutSeconds = 60;
    ASSERT_EQ(run(o), 0) << out;
    size_t resign = position(out, "applicationWillResignActive");
    size_t active = out.find("applicationDidBecomeActive", resign == size_t(-1) ? 0 : resign);
    EXPECT_NE(resign, size_t(-1)) << out;
    EXPECT_NE(active, std::string::npos) << out;
    EXPECT_LT(active, position(out, "applicationWillTerminate")) << out;
    EXPECT_NE(out.find("frames presented"), std::string::npos) << out;
}

TEST_F(HeadlessRun, ScriptedTerminateEndsTheRunEarly) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = -1;
    o.scriptText = "200 terminate";
    o.timeoutSeconds = 60;
    ASSERT_EQ(run(o), 0) << out;
    EXPECT_EQ(out.find("time limit reached"), std::string::npos) << out;
    EXPECT_LT(position(out, "applicationWillTerminate"), position(out, "game thread ended")) << out;
}

}  // namespace
