#include "host/ViewController.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/HostBridge.h"
#include "engine/ios/ApplicationImp.h"
#include "host/HostState.h"
#include "host/MainGLView.h"
#include "platform/StartupTimeline.h"
#include "platform/egl/HostGL.h"
#include "platform/ns/MainQueue.h"
#include "platform/ns/NSNotificationCenter.h"
#include "platform/ui/AVAudioSession.h"
#include "platform/ui/UIApplication.h"

namespace KelpaHost {

using namespace KelpaPlatform;
using KelpaEngine::installedHostBridge;

const char* const kTopBannerPlacement = "3f9c1d20b7e4a85c6d0e2f13";
const char* const kBottomBannerPlacement = "3f9c1d20b7e4a85c6d0e2f24";
const char* const kInterstitialPlacement = "3f9c1d20b7e4a85c6d0e2f35";

std::shared_ptr<AdkasaView> AdViewMaker::makeBanner(const CGRect& frame) { return std::make_shared<AdkasaView>(frame); }
std::shared_ptr<AdkasaPopupView> AdViewMaker::makePopup() { return std::make_shared<AdkasaPopupView>(); }

namespace {

AdViewMaker& adViewMaker() {
    static AdViewMaker maker;
    AdViewMaker* seam = hostState().adViews;
    return seam ? *seam : maker;
}

bool isPad() { return UIDevice::currentDevice().userInterfaceIdiom() == UIUserInterfaceIdiom::Pad; }

// When the game thread ends (or cannot start). A game that ended on its own
// would leave a window with nothing behind it, so the application ends with
// it; after a terminate the block finds no application and does nothing.
void endApplicationSoon() {
    dispatchAsyncMain([]() {
        if (UIApplication* ui = UIApplication::shared()) ui->terminate();
    });
}

}  // namespace

ViewController::ViewController() = default;

ViewController::~ViewController() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    ViewController* self = this;
    hostState().rootViewController.compare_exchange_strong(self, nullptr);
    if (adView1) {
        adView1->setDelegate(nullptr);
        adView1.reset();
    }
    if (adView2) {
        adView2->setDelegate(nullptr);
        adView2.reset();
    }
    if (adPopUp) {
        adPopUp->setDelegate(nullptr);
        adPopUp.reset();
    }
}

std::shared_ptr<UIView> ViewController::loadView() {
    auto view = std::make_shared<MainGLView>(UIScreen::mainScreen().bounds());
    glView_ = view.get();
    // Frames from the game thread's GL view land here.
    setFramePresenter(view.get());
    return view;
}

void ViewController::viewDidLoad() {
    CGRect screen = UIScreen::mainScreen().bounds();
    double w = screen.size.width, h = screen.size.height;
    AVAudioSession& session = AVAudioSession::sharedInstance();
    session.setCategory("AVAudioSessionCategoryAmbient");
    session.setActive(true);

    double x = 0, width = 320;
    if (isPad()) {
        x = double(int64_t((w - h * 9.0 / 16.0) / 2.0));
        width = double(int64_t(h * 9.0 / 16.0));
    }
    AdViewMaker& maker = adViewMaker();
    adView1 = maker.makeBanner(CGRectMake(x, 0, width, 50));
    if (adView1) {
        adView1->setDelegate(this);
        adView1->setAppID(kTopBannerPlacement);
        adView1->setTransitionDulation(0.5f);
        view()->addSubview(adView1);
    }
    adView2 = maker.makeBanner(CGRectMake(x, double(int64_t(h)) - 50, width, 50));
    if (adView2) {
        adView2->setDelegate(this);
        adView2->setAppID(kBottomBannerPlacement);
        adView2->setTransitionDulation(0.5f);
        view()->addSubview(adView2);
    }
    adPopUp = maker.makePopup();
    if (adPopUp) {
        adPopUp->setDelegate(this);
        adPopUp->setAppID(kInterstitialPlacement);
        adPopUp->setSchedule(5);
        adPopUp->setScheduleFirst(5);
        adPopUp->setDisplayCount(0);
    }
    hostState().rootViewController.store(this, std::memory_order_release);
}

void ViewController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    // Only the first appearance starts the game; later ones (after a share
    // sheet is gone) do not.
    if (appeared_) return;
    appeared_ = true;
    // The game thread's observers are registered here, just before it
    // starts, rather than on the thread itself: a terminate (or resign)
    // posted in between would otherwise be lost, and the game would never
    // end.
    NSNotificationCenter& center = NSNotificationCenter::defaultCenter();
    center.addObserver(this, "applicationWillResignActive", [this](const void*) { applicationWillResignActive(); });
    center.addObserver(this, "applicationWillEnterForeground",
                       [this](const void*) { applicationWillEnterForeground(); });
    center.addObserver(this, "applicationWillTerminate", [this](const void*) { applicationWillTerminate(); });
    center.addObserver(this, "applicationDidBecomeActive", [this](const void*) { applicationDidBecomeActive(); });

    thread_ = NSThread::detachNewThread([this]() { mThread(); }, "mekko-game");
    if (!thread_) {
        std::fprintf(stderr, "mekko: the game thread cannot be started\n");
        endApplicationSoon();
    }
}

bool ViewController::waitForGameThread(int timeoutMs) {
    if (!thread_) return true;
    return thread_->waitUntilFinished(timeoutMs);
}

void ViewController::mThread() {
    markStartup("game thread started");
    HostState& s = hostState();
    KelpaEngine::iOS::ApplicationSeams seams;
    seams.hook = &hostHook();
    seams.platform = s.platform;
    KelpaEngine::RefPtr<KelpaEngine::iOS::ApplicationImp> app =
        KelpaEngine::makeRef<KelpaEngine::iOS::ApplicationImp>(s.appName, seams);
    if (!app) {
        endApplicationSoon();
        return;
    }
    CGRect screen = UIScreen::mainScreen().bounds();
    app->setScreenSize(int32_t(screen.size.width), int32_t(screen.size.height));

    if (s.gameEntry) s.gameEntry(KelpaEngine::RefPtr<KelpaEngine::Application>(app));

    app->setTerminated(true);
    {
        // From here on the main thread no longer reads the application.
        std::lock_guard<std::mutex> guard(s.knownAppLock);
        if (s.knownApp.load(std::memory_order_relaxed) == app.get()) s.knownApp.store(nullptr, std::memory_order_release);
    }
    app.reset();
    endApplicationSoon();
}

void ViewController::adkasaBannerController() {
    // The block finds the controller through the global when it runs, so a
    // block left over at exit finds none.
    dispatchAsyncMain([]() {
        if (ViewController* vc = hostState().rootViewController.load(std::memory_order_acquire)) vc->bannerBlock();
    });
}

void ViewController::adkasaInterController() {
    dispatchAsyncMain([]() {
        if (ViewController* vc = hostState().rootViewController.load(std::memory_order_acquire)) vc->interstitialBlock();
    });
}

void ViewController::bannerBlock() {
    KelpaEngine::HostBridge& bridge = installedHostBridge();
    struct Banner {
        AdkasaView* view;
        int32_t kind;
    };
    for (Banner b : {Banner{adView1.get(), KelpaEngine::kAdTopBanner}, Banner{adView2.get(), KelpaEngine::kAdBottomBanner}}) {
        if (!b.view) continue;
        uint8_t wish = bridge.adWish(b.kind);
        if (wish == 0 && b.view->superview()) {
            b.view->stopUpdating();
            b.view->removeFromSuperview();
        } else if (wish == 1 && !b.view->superview()) {
            view()->addSubview(b.kind == KelpaEngine::kAdTopBanner ? adView1 : adView2);
            b.view->startShowAd();
        }
    }
}

void ViewController::interstitialBlock() {
    if (!adPopUp) return;
    if (installedHostBridge().adWish(KelpaEngine::kAdInterstitial) == 0) return;
    view()->addSubview(adPopUp);
    adPopUp->preloadShowAd();
}

void ViewController::clearInterstitialWish() {
    installedHostBridge().storeAdWish(KelpaEngine::kAdInterstitial, 0);
    if (adPopUp) adPopUp->preloadAd();
}

void ViewController::adkasaViewDidFinishLoad(AdkasaView*) {}
namespace {

bool scriptedLifecycle() { return hostState().scriptedLifecycle.load(std::memory_order_relaxed) != 0; }

void storeSuspend(uint8_t on) {
    if (!scriptedLifecycle()) hostState().suspendFlag.store(on, std::memory_order_relaxed);
}

}  // namespace

// A tapped ad opens its link outside the game, which pauses meanwhile. On
// the phone the app always leaves for the link and comes back active; a
// desktop window may keep its focus (the browser opens elsewhere, or not
// at all), so a tap on the window also brings the game back.
void ViewController::adTapped() {
    std::printf("mekko: ad tapped, the game pauses\n");
    std::fflush(stdout);
    if (scriptedLifecycle()) return;
    storeSuspend(1);
    pausedByAd_ = true;
}

void ViewController::adkasaViewAdTapped(AdkasaView*) { adTapped(); }
void ViewController::adkasaViewAdFailed(AdkasaView*) { clearInterstitialWish(); }
void ViewController::adkasaViewDidFinishLoad(AdkasaPopupView*) {}
void ViewController::adkasaViewAdTapped(AdkasaPopupView*) { adTapped(); }
void ViewController::adkasaViewAdFailed(AdkasaPopupView*) { clearInterstitialWish(); }

void ViewController::adkasaViewAdClose(AdkasaPopupView* view) {
    if (!view) return;
    int32_t type = view->closeType();
    // The display limit reached, no ad can come this run: kept, the wish
    // would have every frame close again and raise the schedule counter.
    if (type == kAdkasaCloseByUser || type == kAdkasaCloseSkipped || type == kAdkasaCloseLimit) clearInterstitialWish();
}

void ViewController::applicationWillResignActive() {
    HostState& s = hostState();
    // A scripted run has paused the game itself, on its frame.
    if (scriptedLifecycle()) return;
    s.suspendFlag.store(1, std::memory_order_relaxed);
    // Wait until the game thread has paused (released its GL resources and
    // paused its audio). The wait also ends when the game is terminating,
    // whose frames act on nothing else, and when the game thread has let the
    // application go; before the first frame there is nothing to wait for.
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(s.knownAppLock);
            KelpaEngine::iOS::ApplicationImp* app = s.knownApp.load(std::memory_order_acquire);
            if (!app) return;
            if (s.terminateFlag.load(std::memory_order_relaxed)) return;
            if (app->previousState() != 0) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ViewController::applicationWillEnterForeground() {
    pausedByAd_ = false;
    storeSuspend(0);
}
void ViewController::applicationDidBecomeActive() {
    pausedByAd_ = false;
    storeSuspend(0);
}
void ViewController::applicationWillTerminate() { hostState().terminateFlag.store(1, std::memory_order_relaxed); }

KelpaEngine::iOS::TouchSample touchSampleAt(const CGPoint& inView, int32_t count, int32_t phase) {
    CGRect screen = UIScreen::mainScreen().bounds();
    KelpaEngine::iOS::ScenePoint sp =
        KelpaEngine::iOS::mapTouchToScene(inView.x, inView.y, screen.size.width, screen.size.height, isPad());
    KelpaEngine::iOS::TouchSample t;
    t.x = sp.x;
    t.y = sp.y;
    t.count = count;
    t.phase = phase;
    return t;
}

void ViewController::capture(const UITouchSet& touches, int32_t phase) {
    if (touches.empty()) return;
    CGPoint p = touches.front().locationInView(view().get());
    hostState().pendingTouch.publish(touchSampleAt(p, int32_t(touches.size()), phase));
}

void ViewController::touchesBegan(const UITouchSet& touches) {
    UIApplication* app = UIApplication::shared();
    if (pausedByAd_ && (!app || app->isActive())) {
        // The game comes back; this touch (to its end) is not the game's.
        pausedByAd_ = false;
        storeSuspend(0);
        swallowing_ = true;
        return;
    }
    swallowing_ = false;
    capture(touches, 0);
}
void ViewController::touchesMoved(const UITouchSet& touches) {
    if (!swallowing_) capture(touches, 1);
}
void ViewController::touchesEnded(const UITouchSet& touches) {
    if (swallowing_) {
        swallowing_ = false;
        return;
    }
    capture(touches, 2);
}
void ViewController::touchesCancelled(const UITouchSet&) {}

}  // namespace KelpaHost
