// test-links: kelpa_ios
// Fakes shared by the application and scene-runner tests: a clock the test
// moves, a host hook that records its sleeps and copies scripted flags, and
// platform objects that log what the application does with them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/Audio.h"
#include "engine/FrameClock.h"
#include "engine/Graphics.h"
#include "engine/HostHook.h"
#include "engine/Sound.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/PendingTouch.h"
#include "engine/ios/PointingImp.h"

namespace apptest {

using namespace KelpaEngine;

struct FakeClock : FrameClock {
    int64_t t = 5000;
    int64_t nowMs() override { return t; }
};

// Each call: run the frame script, hand over the pending touch, copy the
// flags into the application, then "sleep" by moving the fake clock.
struct FakeHost : HostHook {
    explicit FakeHost(FakeClock* c) : clock(c) {}
    FakeClock* clock;
    bool advanceClock = true;
    bool suspend = false;
    bool terminate = false;
    bool pad = false;
    // Frames after which the host terminates anyway, so a runner that fails
    // to stop cannot hang the test.
    int safetyFrames = 1000;
    bool safetyHit = false;
    iOS::PendingTouch pending;
    std::vector<int32_t> sleeps;
    std::function<void(int frame)> script;  // frame numbers from 0

    void frameHook(Application* app, int32_t sleepMs) override {
        int frame = int(sleeps.size());
        sleeps.push_back(sleepMs);
        if (script) script(frame);
        if (frame >= safetyFrames) {
            terminate = true;
            safetyHit = true;
        }
        iOS::deliverPendingTouch(pending, app);
        auto* imp = static_cast<iOS::ApplicationImp*>(app);
        imp->setSuspended(suspend);
        imp->setTerminated(terminate);
        imp->setPad(pad);
        if (advanceClock && sleepMs > 0) clock->t += sleepMs;
    }
};

struct FakeGraphics : Graphics {
    explicit FakeGraphics(std::vector<std::string>* l) : log(l) {}
    ~FakeGraphics() override {
        if (log) log->push_back("~graphics");
    }
    std::vector<std::string>* log;
    int presents = 0;

    Application* getApplication() override { return nullptr; }
    int beginFrame() override { return 0; }
    int endFrame() override { return 0; }
    int readPixels(void*, int, int, int, int) override { return 0; }
    int setClearColor(float, float, float, float) override { return 0; }
    int setColor(float, float, float, float) override { return 0; }
    int drawImage(int, int, Image*) override { return 0; }
    int drawImageSized(int, int, int, int, Image*) override { return 0; }
    int drawImageRect(int, int, int, int, int, int, int, int, Image*) override { return 0; }
    int drawMasked(int, int, int, int, Image*, Image*) override { return 0; }
    int drawMaskedRect(int, int, int, int, int, int, int, int, Image*, Image*) override { return 0; }
    int drawImageScaled(int, int, Image*) override { return 0; }
    int drawLine(int, int, int, int) override { return 0; }
    int drawShape(float, float, float, float, float, float, float, float, float, float, float) override {
        return 0;
    }
    int drawRect(int, int, int, int) override { return 0; }
    int drawSprite(Sprite2D*) override { return 0; }
    int drawSpriteAt(int, int, Sprite2D*) override { return 0; }
    int drawSpriteScaled(int, int, Sprite2D*) override { return 0; }
    int setClip(int, int, int, int) override { return 0; }
    int setOrigin(float, float, float) override { return 0; }
    int setAlpha(float) override { return 0; }
    int drawRotatedShape(float, float, float, float, float, float, float, float, float, float,
                         float) override {
        return 0;
    }
    int fillRect(int, int, int, int) override { return 0; }
    int fillTriangle(float, float, float, float, float, float) override { return 0; }
    int resetCommands() override { return 0; }
    int setLayer(int) override { return 0; }
    int setPair(int, int) override { return 0; }
    float setRotation(float) override { return 0.0f; }
    void setFilter(uint8_t) override {}
    int skipNextFlush() override { return 0; }
    int present() override {
        ++presents;
        if (log) log->push_back("present");
        return 0;
    }
    int getVirtualWidth() override { return 540; }
    int getVirtualHeight() override { return 960; }
    int setRotationUnit(float, float, float, float) override { return 0; }
    int setReserved4(float, float, float, float) override { return 0; }
    int setReserved5(float, float, float, float) override { return 0; }
    int clear() override { return 0; }
    int execute(CommandCursor*) override { return 0; }
    int swapBuffers() override { return 0; }
};

struct FakeAudio : Audio {
    explicit FakeAudio(std::vector<std::string>* l) : log(l) {}
    ~FakeAudio() override {
        if (log) log->push_back("~audio");
    }
    std::vector<std::string>* log;
    int setBGMOff(int) override { return 0; }
    int setSEOff(int) override { return 0; }
    RefPtr<Sound> createSound(int, const char*, int, bool) override { return nullptr; }
    RefPtr<Sound> createSE(const char*, int, bool) override { return nullptr; }
    int init() override { return 0; }
};

struct LoggingPointing : iOS::PointingImp {
    explicit LoggingPointing(std::vector<std::string>* l) : log(l) {}
    ~LoggingPointing() override {
        if (log) log->push_back("~pointing");
    }
    std::vector<std::string>* log;
};

// Logs every call; the objects it makes log their destruction.
struct FakePlatform : iOS::PlatformObjects {
    std::vector<std::string> log;
    bool failGraphics = false;
    bool failAudio = false;
    int graphicsMade = 0, audioMade = 0, pointingMade = 0;

    RefPtr<Graphics> createGraphics(Application*) override {
        ++graphicsMade;
        if (failGraphics) return nullptr;
        return adoptRef<FakeGraphics, Graphics>(new FakeGraphics(&log));
    }
    void releaseGraphics(Graphics*) override { log.push_back("releaseGraphics"); }
    void restoreGraphics(Graphics*) override { log.push_back("restoreGraphics"); }
    RefPtr<Audio> createAudio() override {
        ++audioMade;
        if (failAudio) return nullptr;
        return adoptRef<FakeAudio, Audio>(new FakeAudio(&log));
    }
    void pauseAudio(Audio*) override { log.push_back("pauseAudio"); }
    void resumeAudio(Audio*) override { log.push_back("resumeAudio"); }
    RefPtr<Pointing> createPointing() override {
        ++pointingMade;
        return adoptRef<LoggingPointing, Pointing>(new LoggingPointing(&log));
    }
};

// An application over the fakes, owned by a RefPtr as the host holds it.
struct FakeWorld {
    FakeClock clock;
    FakeHost host{&clock};
    FakePlatform platform;
    RefPtr<iOS::ApplicationImp> app;

    FakeWorld() {
        iOS::ApplicationSeams seams;
        seams.hook = &host;
        seams.clock = &clock;
        seams.platform = &platform;
        app = makeRef<iOS::ApplicationImp>("mekko", seams);
    }
    ~FakeWorld() {
        // The objects log into the platform, so they go first.
        app.reset();
    }
};

}  // namespace apptest
