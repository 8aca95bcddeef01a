// ctest-label: threads
// The host core without a display: the root view controller on the test
// thread (the main thread), the real game thread running a test game, and
// recording ad views, platform objects and services.
#include <gtest/gtest.h>

#include <future>

#include "engine/HostBridge.h"
#include "host/HostServices.h"
#include "host/HostState.h"
#include "host/ViewController.h"
#include "platform/ScreenProfile.h"
#include "platform/ns/MainQueue.h"
#include "platform/ns/NSNotificationCenter.h"
#include "tests/host/host_fakes.h"

using namespace hosttest;
using namespace KelpaHost;
using KelpaPlatform::CGRect;
using KelpaPlatform::NSNotificationCenter;

namespace {

class HostCore : public ::testing::Test {
protected:
    void SetUp() override {
        resetHostState();
        KelpaPlatform::markMainThread();
        KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile("375x667@2"));
        installHostServicesBridge();
        TestGame& g = game();
        g.release();
        g.frames = 0;
        g.lastState = -1;
        g.entries = 0;
        g.returned = false;
        HostState& s = hostState();
        s.adViews = &ads;
        s.platform = &platform;
        s.services = &services;
        setGameEntry(testGameEntry, "mekko");
    }

    void TearDown() override {
        if (vc) {
            post("applicationWillTerminate");
            game().release();
            EXPECT_TRUE(vc->waitForGameThread(30000));
            KelpaPlatform::drainMainQueue(500);
            vc.reset();
        }
        KelpaPlatform::drainMainQueue(500);
        resetHostState();
    }

    // The controller with its view loaded, as the window makes it.
    void makeController() {
        vc = std::make_shared<ViewController>();
        vc->view();
    }
    void startGame() {
        makeController();
        vc->viewDidAppear(false);
    }
    void post(const char* name) { NSNotificationCenter::defaultCenter().postNotificationName(name, this); }
    bool waitFrames(int n) {
        int target = game().frames.load() + n;
        return runMainUntil([&] { return game().frames.load() >= target; });
    }
    // Steps exactly n frames of a gated game.
    bool stepFrames(int n) {
        int target = game().frames.load() + n;
        game().allow(n);
        return runMainUntil([&] { return game().frames.load() >= target; });
    }
    // The resign-active handler on its own thread (the test thread must stay
    // free to fail); finishResign bounds the wait and always lets it end.
    std::future<void> startResign() {
        return std::async(std::launch::async, [this] { vc->applicationWillResignActive(); });
    }
    static bool finishResign(std::future<void>& done, int ms) {
        bool ok = done.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
        if (!ok) {
            // The terminate flag ends any wait.
            hostState().terminateFlag.store(1);
            game().release();
            done.wait();
        }
        return ok;
    }
    // For the cases that must not wait: a generous bound, since a handler
    // that waits wrongly would wait for ever.
    bool resignReturnsWithin(int ms) {
        auto done = startResign();
        return finishResign(done, ms);
    }
    KelpaPlatform::UITouchSet touchAt(double x, double y) {
        KelpaPlatform::UITouch t;
        t.identifier = 1;
        t.windowLocation = KelpaPlatform::CGPointMake(x, y);
        return {t};
    }

    RecordingAdViews ads;
    FakePlatform platform;
    RecordingServices services;
    std::shared_ptr<ViewController> vc;
};

struct LayoutCase {
    const char* profile;
    double bannerX, bannerWidth, bottomY;
};

class HostLayout : public HostCore, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(HostLayout, AdViewsGetTheirFramesPlacementsAndSettings) {
    const LayoutCase& c = GetParam();
    KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile(c.profile));
    makeController();
    ASSERT_TRUE(vc->adView1 && vc->adView2 && vc->adPopUp);
    const CGRect& top = vc->adView1->frame();
    const CGRect& bottom = vc->adView2->frame();
    EXPECT_EQ(top.origin.x, c.bannerX);
    EXPECT_EQ(top.origin.y, 0);
    EXPECT_EQ(top.size.width, c.bannerWidth);
    EXPECT_EQ(top.size.height, 50);
    EXPECT_EQ(bottom.origin.x, c.bannerX);
    EXPECT_EQ(bottom.origin.y, c.bottomY);
    EXPECT_EQ(bottom.size.width, c.bannerWidth);
    EXPECT_EQ(vc->adView1->appID(), "3f9c1d20b7e4a85c6d0e2f13");
    EXPECT_EQ(vc->adView2->appID(), "3f9c1d20b7e4a85c6d0e2f24");
    EXPECT_EQ(vc->adPopUp->appID(), "3f9c1d20b7e4a85c6d0e2f35");
    EXPECT_FLOAT_EQ(vc->adView1->transitionDulation(), 0.5f);
    EXPECT_EQ(vc->adView1->delegate(), vc.get());
    EXPECT_EQ(vc->adPopUp->delegate(), vc.get());
    EXPECT_EQ(vc->adPopUp->getSchedule(), 5);
    EXPECT_EQ(vc->adPopUp->getScheduleFirst(), 5);
    EXPECT_EQ(vc->adPopUp->getDisplayCount(), 0);
    EXPECT_EQ(vc->adView1->superview(), vc->view().get());
    EXPECT_EQ(vc->adView2->superview(), vc->view().get());
    EXPECT_EQ(vc->adPopUp->superview(), nullptr);
    EXPECT_EQ(hostState().rootViewController.load(), vc.get());
}

INSTANTIATE_TEST_SUITE_P(Profiles, HostLayout,
                         ::testing::Values(LayoutCase{"320x480@2", 0, 320, 430}, LayoutCase{"375x667@2", 0, 320, 617},
                                           // Pad: a 9:16 strip centred, trunc((768 - 576) / 2).
                                           LayoutCase{"768x1024@2", 96, 576, 974}));

struct ScreenCase {
    const char* profile;
    int32_t w, h;
    int pad;
};

class HostScreen : public HostCore, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(HostScreen, GameThreadMakesTheNamedApplicationWithTheScreenAndIdiom) {
    const ScreenCase& c = GetParam();
    KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile(c.profile));
    startGame();
    ASSERT_TRUE(waitFrames(1));
    EXPECT_EQ(game().pad.load(), c.pad);
    std::lock_guard<std::mutex> l(game().lock);
    EXPECT_EQ(game().name, "mekko");
    EXPECT_EQ(game().screenW, c.w);
    EXPECT_EQ(game().screenH, c.h);
}

INSTANTIATE_TEST_SUITE_P(Screens, HostScreen,
                         ::testing::Values(ScreenCase{"375x667@2", 375, 667, 0}, ScreenCase{"768x1024@2", 768, 1024, 1}));

TEST_F(HostCore, TouchesAreDeliveredOneAFrameAndOnlyMovesReplaceMoves) {
    KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile("320x568@2"));
    game().gate();
    startGame();
    ASSERT_TRUE(stepFrames(1));
    platform.takeIntakes();

    // A click within one frame: the down on one frame, the up on the next.
    // (160, 284) points on 320 x 568 is the design centre.
    vc->touchesBegan(touchAt(160, 284));
    vc->touchesEnded(touchAt(160, 284));
    ASSERT_TRUE(stepFrames(1));
    std::vector<Intake> got = platform.takeIntakes();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].x, 270);
    EXPECT_EQ(got[0].y, 480);
    EXPECT_EQ(got[0].count, 1);
    EXPECT_EQ(got[0].phase, 0);
    ASSERT_TRUE(stepFrames(1));
    got = platform.takeIntakes();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].phase, 2);
    ASSERT_TRUE(stepFrames(1));
    EXPECT_TRUE(platform.takeIntakes().empty());

    // Moves inside one frame: only the latest, then the end.
    vc->touchesBegan(touchAt(0, 0));
    ASSERT_TRUE(stepFrames(1));
    platform.takeIntakes();
    vc->touchesMoved(touchAt(10, 20));
    vc->touchesMoved(touchAt(20, 30));
    vc->touchesEnded(touchAt(30, 40));
    vc->touchesCancelled(touchAt(50, 60));  // ignored
    ASSERT_TRUE(stepFrames(3));
    got = platform.takeIntakes();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].phase, 1);
    EXPECT_EQ(got[0].y, 30 * 960 / 568);
    EXPECT_EQ(got[1].phase, 2);
    EXPECT_EQ(got[1].y, 40 * 960 / 568);
}

TEST_F(HostCore, AdTapPausesOnTheNextFrameAndBecomingActiveResumes) {
    game().gate();
    startGame();
    ASSERT_TRUE(stepFrames(2));
    EXPECT_EQ(game().lastState.load(), 0);

    vc->adkasaViewAdTapped(vc->adView1.get());
    ASSERT_TRUE(stepFrames(1));
    EXPECT_EQ(game().lastState.load(), 1);
    EXPECT_EQ(platform.pauses.load(), 1);

    post("applicationDidBecomeActive");
    ASSERT_TRUE(stepFrames(1));
    EXPECT_EQ(game().lastState.load(), 0);
    EXPECT_EQ(platform.resumes.load(), 1);

    // The interstitial's tap pauses too; entering the foreground resumes.
    vc->adkasaViewAdTapped(vc->adPopUp.get());
    ASSERT_TRUE(stepFrames(1));
    EXPECT_EQ(game().lastState.load(), 1);
    post("applicationWillEnterForeground");
    ASSERT_TRUE(stepFrames(1));
    EXPECT_EQ(game().lastState.load(), 0);
}

// A window that kept its focus while the link opened: a tap on it brings
// the game back, and that tap is not the game's.
TEST_F(HostCore, AfterAnAdTapATapOnTheWindowResumesAndIsNotTheGames) {
    game().gate();
    startGame();
    ASSERT_TRUE(stepFrames(2));
    platform.takeIntakes();
    vc->adkasaViewAdTapped(vc->adView1.get());
    ASSERT_TRUE(stepFrames(1));
    ASSERT_EQ(game().lastState.load(), 1);

    vc->touchesBegan(touchAt(10, 20));
    vc->touchesMoved(touchAt(11, 21));
    vc->touchesEnded(touchAt(12, 22));
    ASSERT_TRUE(stepFrames(2));
    EXPECT_EQ(game().lastState.load(), 0);
    EXPECT_TRUE(platform.takeIntakes().empty());

    // The next tap is the game's again.
    vc->touchesBegan(touchAt(10, 20));
    ASSERT_TRUE(stepFrames(1));
    EXPECT_EQ(platform.takeIntakes().size(), 1u);
}

TEST_F(HostCore, ResignActiveWaitsUntilTheGameHasPaused) {
    game().gate();
    startGame();
    ASSERT_TRUE(stepFrames(2));
    auto done = startResign();
    // The game is held between frames: the handler must still be waiting.
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    EXPECT_EQ(platform.pauses.load(), 0);
    EXPECT_EQ(hostState().suspendFlag.load(), 1);
    // One frame step sees the flag, pauses, and lets the handler go.
    game().allow(1);
    ASSERT_TRUE(finishResign(done, 20000));
    EXPECT_EQ(platform.pauses.load(), 1);
    ASSERT_TRUE(runMainUntil([] { return game().lastState.load() == 1; }));
}

TEST_F(HostCore, ResignActiveReturnsAtOnceWhenAlreadyPaused) {
    game().gate();
    startGame();
    ASSERT_TRUE(stepFrames(1));
    vc->adkasaViewAdTapped(vc->adView2.get());
    ASSERT_TRUE(stepFrames(1));
    ASSERT_EQ(game().lastState.load(), 1);
    // No further frame is allowed: the wait must not need one.
    EXPECT_TRUE(resignReturnsWithin(10000));
}

TEST_F(HostCore, ResignActiveBeforeTheFirstFrameReturnsAtOnce) {
    makeController();
    EXPECT_TRUE(resignReturnsWithin(10000));  // no game thread at all
    game().gate();
    vc->viewDidAppear(false);
    EXPECT_TRUE(resignReturnsWithin(10000));  // thread started, no frame yet
    EXPECT_EQ(hostState().suspendFlag.load(), 1);
}

TEST_F(HostCore, ResignActiveAfterTerminateReturnsAtOnce) {
    game().gate();
    startGame();
    ASSERT_TRUE(stepFrames(1));
    post("applicationWillTerminate");
    // The game thread is held: its state never goes to paused, and the wait
    // must end on the terminate flag.
    EXPECT_TRUE(resignReturnsWithin(10000));
}

TEST_F(HostCore, ResignActiveAfterTheGameThreadEndedReturnsAtOnce) {
    startGame();
    ASSERT_TRUE(waitFrames(1));
    post("applicationWillTerminate");
    ASSERT_TRUE(vc->waitForGameThread(20000));
    EXPECT_EQ(hostState().knownApp.load(), nullptr);
    // The application is gone; the terminate flag is put back so that only
    // the missing application can end the wait.
    hostState().terminateFlag.store(0);
    EXPECT_TRUE(resignReturnsWithin(10000));
}

TEST_F(HostCore, BannerBlocksAddAndStartOrStopAndRemoveOnlyOnAChange) {
    makeController();
    HostBridge& bridge = installedHostBridge();
    ads.log.take();

    struct Step {
        uint8_t top, bottom;
        std::vector<std::string> expected;
    };
    const std::vector<Step> steps = {
        // Both start in the view: no wish takes them out, stopped first.
        {0, 0, {"top.stop:attached", "top.remove", "bottom.stop:attached", "bottom.remove"}},
        {0, 0, {}},
        {1, 0, {"top.start:attached"}},
        {1, 0, {}},
        {1, 1, {"bottom.start:attached"}},
        {0, 1, {"top.stop:attached", "top.remove"}},
        {0, 0, {"bottom.stop:attached", "bottom.remove"}},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        bridge.storeAdWish(kAdTopBanner, steps[i].top);
        bridge.storeAdWish(kAdBottomBanner, steps[i].bottom);
        // The frame hook's way: the game thread posts, the main queue runs.
        vc->adkasaBannerController();
        KelpaPlatform::drainMainQueue(1000);
        EXPECT_EQ(ads.log.take(), steps[i].expected) << "step " << i;
    }

    // Show then hide inside one frame: the block sees only the latest wish.
    bridge.storeAdWish(kAdTopBanner, 1);
    vc->adkasaBannerController();
    bridge.storeAdWish(kAdTopBanner, 0);
    KelpaPlatform::drainMainQueue(1000);
    EXPECT_TRUE(ads.log.take().empty());
}

TEST_F(HostCore, InterstitialIsAskedForOnEveryFrameWhileWished) {
    makeController();
    HostBridge& bridge = installedHostBridge();
    ads.log.take();
    vc->adkasaInterController();
    KelpaPlatform::drainMainQueue(1000);
    EXPECT_TRUE(ads.log.take().empty());

    bridge.storeAdWish(kAdInterstitial, 1);
    for (int i = 0; i < 2; ++i) {
        vc->adkasaInterController();
        KelpaPlatform::drainMainQueue(1000);
        EXPECT_EQ(ads.log.take(), std::vector<std::string>{"popup.preloadShow:attached"});
    }
    EXPECT_EQ(vc->adPopUp->superview(), vc->view().get());
    EXPECT_EQ(vc->view()->subviews().back().get(), vc->adPopUp.get());
}

struct CloseCase {
    int32_t closeType;
    bool clears;
};

class HostClose : public HostCore, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(HostClose, InterstitialWishIsClearedByTheUsersCloseASkipAndTheDisplayLimit) {
    makeController();
    ads.log.take();
    installedHostBridge().storeAdWish(kAdInterstitial, 1);
    auto* popup = static_cast<RecordingPopup*>(vc->adPopUp.get());
    popup->setCloseType(GetParam().closeType);
    vc->adkasaViewAdClose(popup);
    EXPECT_EQ(installedHostBridge().adWish(kAdInterstitial), GetParam().clears ? 0 : 1);
    std::vector<std::string> expected;
    if (GetParam().clears) expected.push_back("popup.preload");
    EXPECT_EQ(ads.log.take(), expected);
}

INSTANTIATE_TEST_SUITE_P(CloseTypes, HostClose,
                         ::testing::Values(CloseCase{100, true}, CloseCase{101, true}, CloseCase{102, true},
                                           CloseCase{103, false}, CloseCase{104, false}, CloseCase{105, false},
                                           CloseCase{0, false}));

TEST_F(HostCore, AnyAdFailureClearsTheInterstitialWishAndPreloads) {
    makeController();
    ads.log.take();
    for (int which = 0; which < 3; ++which) {
        installedHostBridge().storeAdWish(kAdInterstitial, 1);
        if (which == 0) vc->adkasaViewAdFailed(vc->adView1.get());
        if (which == 1) vc->adkasaViewAdFailed(vc->adView2.get());
        if (which == 2) vc->adkasaViewAdFailed(vc->adPopUp.get());
        EXPECT_EQ(installedHostBridge().adWish(kAdInterstitial), 0) << which;
        EXPECT_EQ(ads.log.take(), std::vector<std::string>{"popup.preload"}) << which;
    }
    // A finished load is no reason to drop anything.
    installedHostBridge().storeAdWish(kAdInterstitial, 1);
    vc->adkasaViewDidFinishLoad(vc->adView1.get());
    vc->adkasaViewDidFinishLoad(vc->adPopUp.get());
    EXPECT_EQ(installedHostBridge().adWish(kAdInterstitial), 1);
}

TEST_F(HostCore, FrameHookPostsTheAdBlocksEveryFrame) {
    startGame();
    installedHostBridge().storeAdWish(kAdTopBanner, 1);
    ASSERT_TRUE(runMainUntil([&] { return vc->adView1->superview() != nullptr && vc->adView2->superview() == nullptr; }));
    installedHostBridge().storeAdWish(kAdTopBanner, 0);
    ASSERT_TRUE(runMainUntil([&] { return vc->adView1->superview() == nullptr; }));
}

TEST_F(HostCore, OneGameThreadForTwoAppearances) {
    startGame();
    ASSERT_TRUE(waitFrames(1));
    vc->viewDidAppear(true);
    // A share sheet's dismissal is another appearance.
    hostShareTwitter("hello");
    ASSERT_TRUE(runMainUntil([&] {
        std::lock_guard<std::mutex> l(services.lock);
        return services.shares.size() == 1;
    }));
    ASSERT_TRUE(waitFrames(2));
    EXPECT_EQ(game().entries.load(), 1);
}

TEST_F(HostCore, TerminateEndsTheGameEntryAndTheThread) {
    startGame();
    ASSERT_TRUE(waitFrames(2));
    EXPECT_EQ(platform.audioAlive.load(), 1);
    post("applicationWillTerminate");
    ASSERT_TRUE(vc->waitForGameThread(20000));
    EXPECT_TRUE(game().returned.load());
    EXPECT_EQ(game().lastState.load(), 3);
    // The application and its objects went with the thread.
    EXPECT_EQ(platform.audioAlive.load(), 0);
    EXPECT_EQ(hostState().knownApp.load(), nullptr);
}

TEST_F(HostCore, SharesAreShownOnTheMainQueueWithACopyOfTheText) {
    makeController();
    std::string text = "I made $1,234.56 #mekko";
    std::thread gameSide([&] {
        installedHostBridge().shareTwitter(text.c_str());
        installedHostBridge().shareFacebook("fb");
    });
    gameSide.join();
    text.assign("changed");
    EXPECT_TRUE(services.shares.empty());  // nothing until the main queue runs
    KelpaPlatform::drainMainQueue(1000);
    EXPECT_EQ(services.shares, (std::vector<std::string>{"twitter:I made $1,234.56 #mekko", "facebook:fb"}));
}

struct UrlCase {
    const char* url;
    bool opens;
};

class HostURL : public HostCore, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(HostURL, OnlyHttpAndHttpsAreOpened) {
    const UrlCase& c = GetParam();
    EXPECT_EQ(hostOpenURL(c.url), c.opens);
    // Through the engine's bridge, from another thread, as the game does.
    std::thread([&] { installedHostBridge().openURL(c.url); }).join();
    std::lock_guard<std::mutex> l(services.lock);
    if (c.opens) {
        EXPECT_EQ(services.opened, (std::vector<std::string>{c.url, c.url}));
        EXPECT_TRUE(services.refused.empty());
    } else {
        EXPECT_TRUE(services.opened.empty());
        EXPECT_EQ(services.refused.size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, HostURL,
    ::testing::Values(UrlCase{"https://apps.example.com/developer/id123?l=ja", true},
                      UrlCase{"http://example.com", true}, UrlCase{"HTTPS://EXAMPLE.COM/x", true},
                      UrlCase{"https://example.com/a%20b", true}, UrlCase{"file:///etc/passwd", false},
                      UrlCase{"javascript:alert(1)", false}, UrlCase{"ftp://example.com/", false},
                      UrlCase{"itms-apps://itunes.example.com/app", false}, UrlCase{"mailto:a@example.com", false},
                      UrlCase{"https://", false}, UrlCase{"https:///path", false},
                      UrlCase{"https://exa mple.com", false}, UrlCase{"https://example.com/\nx", false},
                      UrlCase{"https://example.com/%zz", false}, UrlCase{"example.com", false},
                      UrlCase{"", false}, UrlCase{nullptr, false}));

TEST(HostPrinting, PrintedURLsAndTextsStayOnTheirOwnLine) {
    PrintingServices printing;
    testing::internal::CaptureStdout();
    printing.refusedURL("file:///x\nopen url: https://evil.example");
    printing.presentShareSheet(ShareService::Twitter, "a\tb", nullptr);
    printing.openURL("https://example.com/");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "refused url: file:///x\\x0aopen url: https://evil.example\n"
              "share twitter: a\\x09b\n"
              "open url: https://example.com/\n");
}

TEST(HostShare, WebSharePagesCarryTheTextEncoded) {
    EXPECT_EQ(shareWebURL(ShareService::Twitter, "a b&c=d #x\xe3\x81\x82"),
              "https://twitter.com/intent/tweet?text=a%20b%26c%3Dd%20%23x%E3%81%82");
    EXPECT_EQ(shareWebURL(ShareService::Facebook, "$1,000"),
              "https://www.facebook.com/sharer/sharer.php?quote=%241%2C000");
    EXPECT_TRUE(isWebURL(shareWebURL(ShareService::Twitter, "any \"text\" <here>\n").c_str()));
}

}  // namespace
