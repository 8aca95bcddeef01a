// Recording stand-ins for the host's tests: ad views that log what the host
// asks of them, platform objects without GL, a touch input that records its
// intake, services that record shares and URLs, and a game entry whose
// frames a test can hold back.
#pragma once

#include <glib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adkasa_sdk_ios/AdkasaPopupView.h"
#include "adkasa_sdk_ios/AdkasaView.h"
#include "engine/Audio.h"
#include "engine/Graphics.h"
#include "engine/Pointing.h"
#include "engine/Sound.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/PendingTouch.h"
#include "host/HostServices.h"
#include "host/HostState.h"
#include "host/ViewController.h"

namespace hosttest {

using namespace KelpaEngine;

struct CallLog {
    std::vector<std::string> calls;
    void add(const std::string& c) { calls.push_back(c); }
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }
};

inline const char* attached(const KelpaPlatform::UIView* v) { return v->superview() ? "attached" : "detached"; }

class RecordingBanner : public AdkasaView {
public:
    RecordingBanner(const KelpaPlatform::CGRect& frame, std::string name, CallLog* log)
        : AdkasaView(frame), name_(std::move(name)), log_(log) {}
    void startShowAd() override { log_->add(name_ + ".start:" + attached(this)); }
    void stopUpdating() override { log_->add(name_ + ".stop:" + attached(this)); }
    void removeFromSuperview() override {
        log_->add(name_ + ".remove");
        AdkasaView::removeFromSuperview();
    }

private:
    std::string name_;
    CallLog* log_;
};

class RecordingPopup : public AdkasaPopupView {
public:
    explicit RecordingPopup(CallLog* log) : log_(log) {}
    void preloadShowAd() override { log_->add(std::string("popup.preloadShow:") + attached(this)); }
    void preloadAd() override { log_->add("popup.preload"); }
    void startShowAd() override { log_->add("popup.start"); }
    void setCloseType(int32_t t) { closeType_ = t; }

private:
    CallLog* log_;
};

class RecordingAdViews : public KelpaHost::AdViewMaker {
public:
    std::shared_ptr<AdkasaView> makeBanner(const KelpaPlatform::CGRect& frame) override {
        return std::make_shared<RecordingBanner>(frame, made++ == 0 ? "top" : "bottom", &log);
    }
    std::shared_ptr<AdkasaPopupView> makePopup() override { return std::make_shared<RecordingPopup>(&log); }
    CallLog log;
    int made = 0;
};

struct FakePlatform;

class FakeAudio : public Audio {
public:
    explicit FakeAudio(std::atomic<int>* alive) : alive_(alive) { alive_->fetch_add(1); }
    ~FakeAudio() override { alive_->fetch_sub(1); }
    int setBGMOff(int) override { return 0; }
    int setSEOff(int) override { return 0; }
    RefPtr<Sound> createSound(int, const char*, int, bool) override { return RefPtr<Sound>(); }
    RefPtr<Sound> createSE(const char*, int, bool) override { return RefPtr<Sound>(); }
    int init() override { return 0; }

private:
    std::atomic<int>* alive_;
};

struct Intake {
    int32_t x, y, count, phase;
};

class FakePointing : public Pointing {
public:
    FakePointing(std::mutex* lock, std::vector<Intake>* intakes) : lock_(lock), intakes_(intakes) {}
    bool getTouches(TouchRecord*, int32_t) override { return true; }
    int32_t getCount() override { return 0; }
    void intake(int32_t x, int32_t y, int32_t count, int32_t phase) override {
        std::lock_guard<std::mutex> g(*lock_);
        intakes_->push_back(Intake{x, y, count, phase});
    }
    void lock() override {}
    void reset(bool) override {}
    void swapQueues() override {}

private:
    std::mutex* lock_;
    std::vector<Intake>* intakes_;
};

struct FakePlatform : public iOS::PlatformObjects {
    RefPtr<Graphics> createGraphics(Application*) override { return RefPtr<Graphics>(); }
    void releaseGraphics(Graphics*) override {}
    void restoreGraphics(Graphics*) override {}
    RefPtr<Audio> createAudio() override { return makeRef<FakeAudio>(&audioAlive); }
    void pauseAudio(Audio*) override { pauses.fetch_add(1); }
    void resumeAudio(Audio*) override { resumes.fetch_add(1); }
    RefPtr<Pointing> createPointing() override { return makeRef<FakePointing>(&lock, &intakes); }

    std::vector<Intake> takeIntakes() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<Intake> out;
        out.swap(intakes);
        return out;
    }

    std::atomic<int> pauses{0}, resumes{0}, audioAlive{0};
    std::mutex lock;
    std::vector<Intake> intakes;
};

class RecordingServices : public KelpaHost::HostServices {
public:
    void presentShareSheet(KelpaHost::ShareService service, const std::string& text,
                           std::function<void()> dismissed) override {
        {
            std::lock_guard<std::mutex> g(lock);
            shares.push_back((service == KelpaHost::ShareService::Twitter ? "twitter:" : "facebook:") + text);
        }
        if (dismissed) dismissed();
    }
    void openURL(const std::string& url) override {
        std::lock_guard<std::mutex> g(lock);
        opened.push_back(url);
    }
    void refusedURL(const std::string& url) override {
        std::lock_guard<std::mutex> g(lock);
        refused.push_back(url);
    }
    std::mutex lock;
    std::vector<std::string> shares, opened, refused;
};

// The game: steps frames until terminating, freely or one permit at a time.
struct TestGame {
    std::mutex lock;
    std::condition_variable cond;
    bool gated = false;
    int permits = 0;
    std::atomic<int> frames{0};
    std::atomic<int> lastState{-1};
    std::atomic<int> entries{0};
    std::atomic<bool> returned{false};
    std::atomic<int> pad{-1};
    std::string name;
    int32_t screenW = 0, screenH = 0;

    void gate() {
        std::lock_guard<std::mutex> g(lock);
        gated = true;
        permits = 0;
    }
    void release() {
        {
            std::lock_guard<std::mutex> g(lock);
            gated = false;
        }
        cond.notify_all();
    }
    void allow(int n) {
        {
            std::lock_guard<std::mutex> g(lock);
            permits += n;
        }
        cond.notify_all();
    }
    // Game thread: waits for leave to step a frame.
    void waitTurn() {
        std::unique_lock<std::mutex> g(lock);
        // Bounded: a test that forgets to release lets the game go after 60 s.
        cond.wait_for(g, std::chrono::seconds(60), [this] { return !gated || permits > 0; });
        if (gated && permits > 0) --permits;
    }
};

inline TestGame& game() {
    static TestGame* g = new TestGame();
    return *g;
}

inline int testGameEntry(RefPtr<Application> app) {
    TestGame& g = game();
    g.entries.fetch_add(1);
    {
        std::lock_guard<std::mutex> l(g.lock);
        g.name = app->getName() ? app->getName() : "";
        g.screenW = app->getScreenWidth();
        g.screenH = app->getScreenHeight();
    }
    app->getAudio();
    app->getPointing();
    for (;;) {
        g.waitTurn();
        int32_t s = app->frameStep(16, true);
        if (auto* imp = dynamic_cast<iOS::ApplicationImp*>(app.get())) g.pad.store(imp->isPad() ? 1 : 0);
        g.lastState.store(s);
        g.frames.fetch_add(1);
        if (s == kStateTerminating) break;
    }
    g.returned.store(true);
    return 0;
}

// Runs the main context (the test thread is the main thread) until pred
// holds or ms pass.
// Generous: sanitizer builds on a loaded machine start threads and GL slowly.
inline bool runMainUntil(const std::function<bool()>& pred, int ms = 20000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        if (!g_main_context_iteration(g_main_context_default(), FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

}  // namespace hosttest
