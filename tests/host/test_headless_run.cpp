// ctest-label: threads
// test-links: PkgConfig::GIO
// The headless runner end to end, in this process: the real host, EGL off
// screen and the real frame step, with a small scene that paints a clear
// colour and a marker at the last touch, a scripted tap, screenshots, and
// the terminate path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <glib.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Application.h"
#include "engine/FrameClock.h"
#include "engine/Graphics.h"
#include "engine/HostBridge.h"
#include "engine/Pointing.h"
#include "engine/Scene.h"
#include "host/HostMain.h"
#include "host/HostState.h"
#include "host/MainGLView.h"
#include "host/OverlaySurface.h"
#include "host/Runner.h"
#include "platform/ns/MainQueue.h"
#include "tests/support/loaded_objects.h"
#include "tests/support/png_read.h"
#include "tests/support/program_run.h"

using namespace KelpaEngine;
using namespace testsupport;

namespace {

// What the scene saw of the pause, across the run.
std::atomic<int> gPausedUpdates{0};
std::atomic<int> gPausedDraws{0};

class MarkerScene : public Scene {
public:
    int32_t init(Application*) override { return 0; }
    RefPtr<Scene> update(Application* app) override {
        if (app->getState() == kStatePaused) gPausedUpdates.fetch_add(1);
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
    bool draw(Application* app, Graphics* g) override {
        if (app->getState() == kStatePaused) gPausedDraws.fetch_add(1);
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
    int run(KelpaHost::HostOptions o, KelpaHost::GameEntryFn entry = markerEntry) {
        char arg0[] = "mekko";
        char* argv[] = {arg0, nullptr};
        testing::internal::CaptureStdout();
        int rc = KelpaHost::hostRun(entry, "mekko", o, 1, argv);
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
    // Script times count from the first frame, and the run ends on its frame
    // count, so the tap lands well inside the run however slow the start.
    o.frames = 150;
    o.every = 15;
    o.shotsDir = dir + "/shots";
    o.scriptText = "100 tap 160 284 100";
    o.timeoutSeconds = 120;
    ASSERT_EQ(run(o), 0) << out;

    EXPECT_EQ(out.find("time limit reached"), std::string::npos) << out;
    for (const char* f : {"/frame-000015.png", "/frame-000150.png", "/last.png"}) {
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

TEST_F(HeadlessRun, LifecycleEventsPauseAndResumeTheGame) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    // Fewer frames come before the resign and between the foreground and
    // the activation than this, whatever the machine: the run ends after
    // the last event.
    o.frames = 60;
    o.scriptText = "150 resign; 300 background; 450 foreground; 600 active";
    o.timeoutSeconds = 120;
    gPausedUpdates = 0;
    gPausedDraws = 0;
    ASSERT_EQ(run(o), 0) << out;
    // The five notifications, in order.
    size_t at = 0;
    for (const char* name : {"applicationWillResignActive", "applicationDidEnterBackground",
                             "applicationWillEnterForeground", "applicationDidBecomeActive",
                             "applicationWillTerminate"}) {
        size_t p = out.find(name, at);
        ASSERT_NE(p, std::string::npos) << name << "\n" << out;
        at = p;
    }
    // Paused: the scene kept updating but nothing was drawn; the frame count
    // was reached only after the game went on again.
    EXPECT_GT(gPausedUpdates.load(), 0);
    EXPECT_EQ(gPausedDraws.load(), 0);
    size_t count = out.find("mekko: ");
    long long presented = 0;
    for (; count != std::string::npos; count = out.find("mekko: ", count + 1)) {
        if (std::sscanf(out.c_str() + count, "mekko: %lld frames presented", &presented) == 1) break;
    }
    EXPECT_GE(presented, 60) << out;
}

TEST_F(HeadlessRun, ScriptedTerminateEndsTheRunEarly) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = -1;
    o.scriptText = "200 terminate";
    o.timeoutSeconds = 120;
    ASSERT_EQ(run(o), 0) << out;
    EXPECT_EQ(out.find("time limit reached"), std::string::npos) << out;
    EXPECT_LT(position(out, "applicationWillTerminate"), position(out, "game thread ended")) << out;
}

// Draws every frame; while frame 9 is made it keeps the main thread busy
// until the game has gone past frame 10 (or 5 s have passed), so the run's
// stop after frame 10 comes late however loaded the machine is.
std::atomic<int> gUpdates{0};

class BusyMainScene : public Scene {
public:
    int32_t init(Application*) override { return 0; }
    RefPtr<Scene> update(Application*) override {
        if (gUpdates.fetch_add(1) + 1 == 9) {
            KelpaPlatform::dispatchAsyncMain([] {
                for (int waited = 0; gUpdates.load() <= 11 && waited < 5000; waited += 10) usleep(10 * 1000);
            });
        }
        invalidate();
        return self();
    }
    bool draw(Application*, Graphics* g) override {
        g->setClearColor(0, 0, 1, 1);
        return true;
    }
};

int busyMainEntry(RefPtr<Application> app) {
    runScenes(app.get(), makeRef<BusyMainScene>());
    return 0;
}

TEST_F(HeadlessRun, ExactlyTheGivenNumberOfFramesIsPresented) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = 10;
    o.every = 1;
    o.shotsDir = dir + "/shots";
    o.timeoutSeconds = 120;
    gUpdates = 0;
    ASSERT_EQ(run(o, busyMainEntry), 0) << out;
    EXPECT_NE(out.find("mekko: 10 frames presented, 11 pictures"), std::string::npos) << out;
    EXPECT_TRUE(exists(o.shotsDir + "/frame-000010.png"));
    EXPECT_FALSE(exists(o.shotsDir + "/frame-000011.png"));
    EXPECT_GT(gUpdates.load(), 10);  // the game did run past the last frame
}

// What a repeatable run's game sees on each update: its clock, the touch
// flags it reads and its state. Frames are drawn only while active.
struct SeenUpdate {
    int64_t clockMs;
    std::vector<uint8_t> flags;
    int32_t state;
};
std::mutex gSeenLock;
std::vector<SeenUpdate> gSeen;
std::atomic<int64_t> gSeedSeen{-2};

class RecordingScene : public Scene {
public:
    int32_t init(Application*) override {
        gSeedSeen = installedHostBridge().randomSeed();
        return 0;
    }
    RefPtr<Scene> update(Application* app) override {
        FrameClock* clock = installedHostBridge().gameClock();
        SeenUpdate u{clock ? clock->nowMs() : -1, {}, app->getState()};
        if (RefPtr<Pointing> p = app->getPointing()) {
            TouchRecord records[kTouchRecordCapacity];
            int32_t n = p->getCount();
            if (n > 0 && p->getTouches(records, n)) {
                for (int32_t i = 0; i < n; ++i) u.flags.push_back(records[i].flags);
            }
        }
        std::lock_guard<std::mutex> l(gSeenLock);
        gSeen.push_back(u);
        invalidate();
        return self();
    }
    bool draw(Application*, Graphics* g) override {
        g->setClearColor(0, 0, 0, 1);
        return true;
    }
};

int recordingEntry(RefPtr<Application> app) {
    runScenes(app.get(), makeRef<RecordingScene>());
    return 0;
}

TEST_F(HeadlessRun, ASeededRunGivesTheSeedAFrameClockAndTheScriptByFrame) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = 40;
    o.timeoutSeconds = 120;
    o.seed = 42;
    // Listed out of order: events come by their frame, then in script order.
    o.scriptText = "160 down 10 10; 0 tap 160 284 0; 320 up 10 10; 400 resign; 480 active";
    {
        std::lock_guard<std::mutex> l(gSeenLock);
        gSeen.clear();
    }
    ASSERT_EQ(run(o, recordingEntry), 0) << out;
    EXPECT_EQ(gSeedSeen.load(), 42);
    EXPECT_EQ(installedHostBridge().randomSeed(), -1);  // only for the run
    EXPECT_EQ(installedHostBridge().gameClock(), nullptr);
    // The application hears of the script's events too.
    size_t resign = position(out, "applicationWillResignActive");
    EXPECT_NE(out.find("applicationDidBecomeActive", resign), std::string::npos) << out;

    std::lock_guard<std::mutex> l(gSeenLock);
    // The first frame follows update 1; an event at T ms is on hook call
    // round(T / 16) after it, counted from 0, which update T / 16 + 2 sees.
    ASSERT_GE(gSeen.size(), 45u);
    for (size_t i = 0; i < 45; ++i) {
        int64_t update = int64_t(i) + 1;
        SCOPED_TRACE(update);
        EXPECT_EQ(gSeen[i].clockMs, 16 * update);
        std::vector<uint8_t> want;
        if (update == 2 || update == 12) want = {kTouchFlagsDown};
        if (update == 3 || update == 22) want = {kTouchFlagsUp};
        EXPECT_EQ(gSeen[i].flags, want);
        EXPECT_EQ(gSeen[i].state, update >= 27 && update < 32 ? kStatePaused : kStateActive);
    }
}

std::vector<std::string> pngFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0) names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(HeadlessRun, TwoSeededRunsOfTheGameWithOneScriptWriteTheSameFrames) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.profile = "375x667@2";
    o.documents = dir + "/docs";
    // Frames are written every other one only: writing each would slow
    // the frames below the script's pace.
    o.frames = 60;
    o.every = 2;
    o.timeoutSeconds = 120;
    o.seed = 7;
    // Quick taps and a held one: the marker entry marks each, down and up.
    o.scriptText = "0 tap 100 200 0; 200 tap 187 333 0; 400 tap 300 500 150; 700 drag 40 600 300 100 200 4";
    std::vector<std::string> runs[2];
    for (int i = 0; i < 2; ++i) {
        KelpaHost::resetHostState();  // as a new process
        o.shotsDir = dir + "/shots" + std::to_string(i);
        // The second run's main thread stalls once the first frame is out,
        // as on a busy machine: the frames must not depend on it.
        std::thread stall;
        if (i == 1) {
            stall = std::thread([first = o.shotsDir + "/frame-000002.png"] {
                for (int ms = 0; ms < 20000 && !exists(first); ++ms) usleep(1000);
                KelpaPlatform::dispatchAsyncMain([] { usleep(200 * 1000); });
            });
        }
        int rc = run(o, markerEntry);
        if (stall.joinable()) stall.join();
        ASSERT_EQ(rc, 0) << out;
        runs[i] = pngFiles(o.shotsDir);
    }
    ASSERT_EQ(runs[0].size(), 31u);  // 30 of the 60 frames and last.png
    ASSERT_EQ(runs[0], runs[1]);
    int differing = 0;
    for (size_t f = 0; f + 1 < runs[0].size(); ++f) {
        std::string a = fileBytes(dir + "/shots0/" + runs[0][f]);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == fileBytes(dir + "/shots1/" + runs[1][f])) << runs[0][f] << " differs";
        if (f > 0 && a != fileBytes(dir + "/shots0/" + runs[0][f - 1])) ++differing;
    }
    // The taps did change the picture along the way.
    EXPECT_GE(differing, 5);
}

int returningEntry(RefPtr<Application>) { return 0; }

TEST_F(HeadlessRun, AGameThatEndsOnItsOwnEndsTheRun) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = -1;
    o.timeoutSeconds = 120;
    // Nothing was presented, which a run without a screen reports; the run
    // did not sit out its time limit.
    EXPECT_EQ(run(o, returningEntry), 1) << out;
    EXPECT_EQ(out.find("time limit reached"), std::string::npos) << out;
    EXPECT_LT(position(out, "applicationWillTerminate"), position(out, "game thread ended")) << out;
}

#if defined(__SANITIZE_ADDRESS__)
// An AddressSanitizer tree links the WebKit module (platform/CMakeLists.txt).
constexpr bool kWebKitLinked = true;
#else
constexpr bool kWebKitLinked = false;
#endif

TEST_F(HeadlessRun, ARunWithoutADisplayLoadsNoWebEngineAndReportsItsStartOnRequest) {
    KelpaHost::HostOptions o;
    std::string e;
    char arg0[] = "mekko", verbose[] = "--verbose";
    char* argv[] = {arg0, verbose};
    ASSERT_TRUE(KelpaHost::parseHostOptions(2, argv, &o, &e)) << e;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = 3;
    o.timeoutSeconds = 120;
    ASSERT_EQ(run(o), 0) << out;
    // WebKit and what it brings (its JavaScript engine) stay out of a run
    // that has nothing to render web pages on.
    if (!kWebKitLinked) {
        EXPECT_EQ(loadedObjects("libwebkit2gtk"), 0);
        EXPECT_EQ(loadedObjects("libjavascriptcoregtk"), 0);
    }
    // libcurl comes with the game's first HTTP request, which this game
    // never makes.
    EXPECT_EQ(loadedObjects("libcurl"), 0);
    // Each step of the start, in order, with its time; the first frame
    // comes after the game's GL is set up.
    size_t at = 0;
    for (const char* step : {"libraries loaded", "window and views made", "game thread started", "GL set up",
                             "first frame"}) {
        size_t p = out.find(std::string("mekko: start-up: ") + step, at);
        ASSERT_NE(p, std::string::npos) << step << "\n" << out;
        double ms = -1, total = -1;
        EXPECT_EQ(std::sscanf(out.c_str() + out.find_first_not_of(' ', p + 17 + std::strlen(step)), "%lf ms  (at %lf ms)",
                              &ms, &total),
                  2)
            << out;
        EXPECT_GE(ms, 0) << step;
        EXPECT_GE(total, ms) << step;
        at = p;
    }
    EXPECT_EQ(out.find("web engine loaded"), std::string::npos) << out;
}

// What a run says on the error stream, and its exit code.
struct Said {
    int rc;
    std::string err;
};

TEST_F(HeadlessRun, ScriptsThatAreNoFileOrTooLongAreRefusedAndAnUnwritableDataFolderIsReported) {
    const std::string big = dir + "/big.txt";
    ASSERT_EQ(::truncate(big.c_str(), 0), -1);  // not there yet
    {
        std::ofstream make(big);
    }
    ASSERT_EQ(::truncate(big.c_str(), 20 << 20), 0);  // 20 MiB of nothing
    const struct {
        std::string script, documents;
        int rc;
        const char* says;
    } cases[] = {
        {dir, dir + "/docs", 2, "is a folder"},
        {big, dir + "/docs", 2, "longer than"},
        {dir + "/none.txt", dir + "/docs", 2, "cannot read the script"},
        {"/dev/null", dir + "/docs", 2, "/dev/null is a device, not a regular file"},
        // The game still runs (and reads what is there), but is told.
        {"", "/proc", 0, "cannot be written"},
    };
    for (const auto& c : cases) {
        KelpaHost::resetHostState();
        KelpaHost::HostOptions o;
        o.headless = true;
        o.documents = c.documents;
        o.scriptFile = c.script;
        o.frames = 1;
        o.timeoutSeconds = 120;
        testing::internal::CaptureStderr();
        int rc = run(o);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(rc, c.rc) << c.script << " " << c.documents << "\n" << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.script << " " << c.documents << "\n" << err;
    }
}

// A named pipe with no writer would block the open for good: it is
// refused before it is opened. The game binary runs it, so that a hang is
// bounded and seen as one.
TEST_F(HeadlessRun, AScriptThatIsANamedPipeIsRefusedAtOnce) {
    const std::string fifo = dir + "/script.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::string log = dir + "/log.txt";
    const int rc = runProgram(dir, {KELPA_BINARY_DIR "/host/mekko", "--headless", "--documents", dir + "/docs",
                                    "--frames", "1", "--script", fifo},
                              60, log);
    std::ifstream in(log);
    std::stringstream said;
    said << in.rdbuf();
    EXPECT_EQ(rc, 2) << said.str();  // -1: still waiting on the pipe after a minute
    EXPECT_NE(said.str().find("mekko: the script " + fifo + " is a named pipe, not a regular file"), std::string::npos)
        << said.str();
}

guint nextSourceId() {
    guint id = g_idle_add([](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
    g_source_remove(id);
    return id;
}

TEST_F(HeadlessRun, AScriptWaitsOnOneTimerHoweverLong) {
    KelpaHost::HostOptions o;
    o.headless = true;
    o.documents = dir + "/docs";
    o.frames = 5;
    o.timeoutSeconds = 120;
    // 20 000 events, all due long after the run.
    for (int i = 0; i < 200; ++i) o.scriptText += "600000 drag 0 0 100 100 500 98;";
    guint before = nextSourceId();
    ASSERT_EQ(run(o), 0) << out;
    guint made = nextSourceId() - before;
    EXPECT_LT(made, 100u);
}

// The game's frames are read back from GL only where something looks at
// them: the window's painting, or a run that writes pictures.
TEST(HeadlessFrames, PixelsAreReadBackOnlyToBePaintedOrWritten) {
    struct Case {
        bool tap, shots, paints, wanted;
    } cases[] = {
        {false, false, false, false},
        {true, false, false, false},
        {true, true, false, true},
        {true, false, true, true},
        {false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tap " << c.tap << " shots " << c.shots << " paints " << c.paints);
        KelpaHost::RunSettings settings;
        if (c.shots) settings.shotsDir = "/tmp";
        KelpaHost::Runner runner(settings);
        auto view = std::make_shared<KelpaHost::MainGLView>(KelpaPlatform::CGRectMake(0, 0, 375, 667));
        if (c.tap) view->setFrameTap(&runner);
        view->setPaints(c.paints);
        EXPECT_EQ(view->wantsPixels(), c.wanted);
        if (c.wanted) continue;
        // Without pixels a frame is still counted and presented.
        view->presentFrame(KelpaPlatform::FrameView{nullptr, 750, 1334, 1});
        EXPECT_EQ(view->framesPresented(), 1u);
        EXPECT_EQ(runner.frames(), c.tap ? 1u : 0u);
    }
}

// Likewise the views over the game are drawn off screen only for a run
// that lays them over the pictures it writes.
TEST(HeadlessFrames, TheViewsOverTheGameAreDrawnOnlyForARunThatWritesPictures) {
    auto window = std::make_shared<KelpaPlatform::UIWindow>(KelpaPlatform::CGRectMake(0, 0, 375, 667));
    for (bool shots : {false, true}) {
        SCOPED_TRACE(shots ? "writes pictures" : "writes none");
        KelpaHost::RunSettings settings;
        if (shots) settings.shotsDir = "/tmp";
        KelpaHost::Runner runner(settings);
        KelpaHost::OverlaySurface surface(window.get(), &runner);
        EXPECT_EQ(surface.render(), shots);
    }
}

}  // namespace
