// test-links: adkasa_service
// The interstitial: its show schedule and display limit, the roads a
// request takes to a show or a close, and what a host that asks on every
// frame and answers every failure with a preload can make of it. The host
// here does what the game's host does; pages are rendered by a fake
// engine; the clock is driven; configurations come from the local ad
// service.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"
#include "adkasa_sdk_ios/ADKSWebPopupView.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "adkasa_sdk_ios/AdkasaPopupView.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UILabel.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"
#include "tests/adkasa_sdk_ios/fake_web_engine.h"
#include "tools/adservice/AdService.h"

using namespace KelpaPlatform;
using adtest::FakeWebEngines;
using nlohmann::json;
using testloop::pumpUntil;

namespace {

constexpr const char* kPlacement = "3f9c1d20b7e4a85c6d0e2f35";

json ad(const std::string& id, const std::string& html, const std::string& key = "", int weight = 1) {
    json o = {{"user_ad_id", id}, {"weight", {{"en", weight}, {"ja", weight}}},
              {"html", ADKSBase64Util::base64StringFromString(html)}};
    if (!key.empty()) o["adnetwork_key"] = key;
    return o;
}

// What the game's host does: on a close by the user, a skip or the display
// limit, and on a failure, it drops the wish and has the next ad preloaded.
struct Host : AdkasaPopupViewDelegate {
    std::vector<std::string> log;
    AdkasaPopupView* popup = nullptr;
    bool wish = false;
    bool answers = true;
    int depth = 0;  // inside one of our calls
    bool reentered = false;

    struct In {
        explicit In(Host* h) : h(h) {
            if (h->depth++) h->reentered = true;
        }
        ~In() { --h->depth; }
        Host* h;
    };
    void adkasaViewDidFinishLoadAdData(AdkasaPopupView*) override { log.push_back("data"); }
    void adkasaViewDidFinishLoad(AdkasaPopupView*) override {
        log.push_back("shown");
        if (whenShown) whenShown();
    }
    std::function<void()> whenShown;
    void adkasaViewAdTapped(AdkasaPopupView*) override { log.push_back("tapped"); }
    void adkasaViewAdFailed(AdkasaPopupView*) override {
        In in(this);
        log.push_back("failed");
        if (answers) dropWish();
    }
    void adkasaViewAdClose(AdkasaPopupView* v) override {
        In in(this);
        log.push_back("close:" + std::to_string(v->closeType()));
        int t = v->closeType();
        if (answers && (t == 100 || t == 101 || t == 102)) dropWish();
    }
    void dropWish() {
        wish = false;
        popup->preloadAd();
    }
    int count(const std::string& what) const { return int(std::count(log.begin(), log.end(), what)); }
};

class Interstitial : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listen());
        env.pointAt(service.origin());
        UIImage::setResourceFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
        screen = std::make_shared<UIView>(CGRectMake(0, 0, 375, 667));
        popup = std::make_shared<AdkasaPopupView>();
        popup->setAppID(kPlacement);
        popup->setDelegate(&host);
        host.popup = popup.get();
    }
    void TearDown() override { UIImage::setResourceFolder(""); }

    void configure(json settings) {
        json config = {{"result", "ok"},     {"device_id", "dev-1"}, {"bg_color", "ffffff"},
                       {"cycle_time", 30},  {"ta_off", 0},         {"settings", settings}};
        service.setConfiguration(kPlacement, config.dump());
    }
    // One frame of the host: while the game wants the interstitial, the
    // view goes (again) onto the screen and is asked to show.
    void frame() {
        if (host.wish) {
            screen->addSubview(popup);
            popup->preloadShowAd();
        }
        env.clock->advance(1.0 / 60);
        // A millisecond of real time for the network on the main context.
        bool due = false;
        guint tick = g_timeout_add(1, [](gpointer d) -> gboolean {
            *static_cast<bool*>(d) = true;
            return G_SOURCE_REMOVE;
        }, &due);
        while (!due) g_main_context_iteration(nullptr, TRUE);
        (void)tick;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    // Frames until the host has heard `n` log lines more than `from`.
    bool framesUntilHeard(size_t from, size_t n, int maxFrames = 600) {
        for (int i = 0; i < maxFrames; ++i) {
            if (host.log.size() >= from + n) return true;
            frame();
            if (host.log.size() < from + n) pumpUntil([&] { return host.log.size() >= from + n; }, 5);
        }
        return host.log.size() >= from + n;
    }
    // One request as the game makes it: shown (then closed by the user) or
    // its close type.
    std::string request() {
        size_t from = host.log.size();
        host.wish = true;
        for (int i = 0; i < 600; ++i) {
            frame();
            for (size_t k = from; k < host.log.size(); ++k) {
                const std::string line = host.log[k];  // frames below may grow the log
                if (line == "shown") {
                    popup->pushCloseButton();
                    for (int j = 0; j < 12; ++j) frame();
                    return "shown";
                }
                if (line.rfind("close:", 0) == 0) {
                    for (int j = 0; j < 40; ++j) frame();  // the preload that follows
                    return line.substr(6);
                }
            }
            if (host.log.size() == from) pumpUntil([&] { return host.log.size() > from; }, 5);
        }
        return "none";
    }
    int boxes() const {
        int n = 0;
        for (auto& v : popup->subviews()) n += v.get() == popup->indicatorBack() ? 1 : 0;
        // A box not known as the current one is an orphan: count every
        // black rounded child.
        int all = 0;
        for (auto& v : popup->subviews()) all += v->layer().cornerRadius == 20 ? 1 : 0;
        return std::max(n, all);
    }

    adtest::Environment env;
    adservice::AdService service;
    FakeWebEngines engines{true};
    Host host;
    std::shared_ptr<UIView> screen;
    std::shared_ptr<AdkasaPopupView> popup;
};

TEST_F(Interstitial, ShowSchedules) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    const struct {
        const char* what;
        int every, first;
        std::vector<std::string> outcomes;
        int64_t counter;
    } cases[] = {
        {"5, first 5", 5, 5, {"101", "101", "101", "101", "shown", "101", "101", "101", "101", "shown"}, 10},
        {"1, first 1", 1, 1, {"shown", "shown", "shown"}, 3},
        {"first beyond the schedule", 3, 5, {"101", "101", "101", "101", "101", "101"}, 6},
        {"0: once, at the first show", 0, 1, {"shown", "101", "101"}, 3},
    };
    for (const auto& c : cases) {
        env.defaults->removeObjectForKey(std::string("AdkasaSche") + kPlacement);
        popup->setSchedule(c.every);
        popup->setScheduleFirst(c.first);
        std::vector<std::string> got;
        for (size_t i = 0; i < c.outcomes.size(); ++i) got.push_back(request());
        EXPECT_EQ(got, c.outcomes) << c.what;
        EXPECT_EQ(popup->scheduleCount(), c.counter) << c.what;
    }
}

TEST_F(Interstitial, CountersWrapAndAreKeptAtOnce) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(5);
    popup->setScheduleFirst(5);
    env.defaults->setInteger(std::string("AdkasaSche") + kPlacement, 2000000000);
    EXPECT_EQ(request(), "101");
    EXPECT_EQ(popup->scheduleCount(), 2000000001);
    EXPECT_EQ(request(), "101");
    EXPECT_EQ(popup->scheduleCount(), 1);
    // Written through to the file: a new store sees them.
    NSUserDefaults again(env.defaults->path());
    EXPECT_EQ(again.integerForKey(std::string("AdkasaSche") + kPlacement), 1);
    popup->setDisplayCount(-5);
    EXPECT_EQ(NSUserDefaults(env.defaults->path()).integerForKey(std::string("AdkasaDispNum") + kPlacement), -5);
    EXPECT_EQ(popup->getDisplayCount(), -5);
}

TEST_F(Interstitial, TheDisplayLimitIsTheNumberOfAdsShown) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    popup->setMaxDisplay(2);
    popup->setDisplayCount(0);
    std::vector<std::string> got;
    for (int i = 0; i < 4; ++i) got.push_back(request());
    EXPECT_EQ(got, (std::vector<std::string>{"shown", "shown", "102", "102"}));
    EXPECT_EQ(popup->getDisplayCount(), 2);
    EXPECT_EQ(popup->scheduleCount(), 4);  // a limited request still counts for the schedule
}

TEST_F(Interstitial, OfflineAndWithoutConfigurationTheRequestEndsAndCountsNothing) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    host.answers = false;

    env.reachability->setOnline(false);
    screen->addSubview(popup);
    popup->startShowAd();
    EXPECT_TRUE(popup->backgroundView());
    EXPECT_TRUE(popup->indicatorBack());
    env.clock->advance(0.49);
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(popup->superview());
    env.clock->advance(0.02);
    EXPECT_EQ(host.log, (std::vector<std::string>{"close:103", "failed"}));
    EXPECT_FALSE(popup->superview());
    EXPECT_FALSE(popup->indicatorBack());

    env.reachability->setOnline(true);
    service.setFault("cdn", adservice::FaultSpec{adservice::Fault::Status, 500});
    service.setFault("api", adservice::FaultSpec{adservice::Fault::Status, 500});
    host.log.clear();
    screen->addSubview(popup);
    popup->startShowAd();
    ASSERT_TRUE(pumpUntil([&] { return host.log.size() >= 2; }));
    EXPECT_EQ(host.log, (std::vector<std::string>{"close:104", "failed"}));
    EXPECT_FALSE(popup->superview());
    EXPECT_EQ(popup->scheduleCount(), 0);
    EXPECT_EQ(popup->getDisplayCount(), 0);
}

TEST_F(Interstitial, OneLoadedReportPerAdAndNothingAfterAClose) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    host.answers = false;
    screen->addSubview(popup);
    popup->startShowAd();
    ASSERT_TRUE(framesUntilHeard(0, 2));
    EXPECT_EQ(host.log, (std::vector<std::string>{"data", "shown"}));
    // Pages that finish again (frames) change nothing.
    popup->loadFinish();
    popup->loadFinish();
    EXPECT_EQ(host.log.size(), 2u);
    EXPECT_TRUE(popup->adBaseView()->superview() == popup.get());
    EXPECT_EQ(popup->getDisplayCount(), 1);
    ASSERT_TRUE(pumpUntil([&] { return service.impressions("pop") == 1; }));

    popup->pushCloseButton();
    for (int i = 0; i < 12; ++i) frame();  // the empty page finishes too
    EXPECT_EQ(host.log, (std::vector<std::string>{"data", "shown", "close:100"}));
    EXPECT_FALSE(popup->superview());
    EXPECT_FALSE(popup->showAdFlg());
    EXPECT_EQ(popup->getDisplayCount(), 1);
}

TEST_F(Interstitial, TheCloseButtonAndTheTextsOfTheUsersLanguage) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    host.answers = false;
    const struct {
        const char* what;
        const char* locale;
        bool image;
        CGRect frame;
        const char* closeTitle;
        const char* loading;
    } cases[] = {
        {"image", "en_US", true, CGRectMake(268, 5, 37, 33), "", "Loading..."},
        {"text", "en_US", false, CGRectMake(248, 5, 57, 33), "Close", "Loading..."},
        {"text, ja", "ja_JP", false, CGRectMake(248, 5, 57, 33), "閉じる", "読み込み中..."},
    };
    auto assets = std::filesystem::path(KELPA_SOURCE_DIR) / "assets/Assets.bundle";
    for (const auto& c : cases) {
        env.device->locale = c.locale;
        UIImage::setResourceFolder(c.image ? assets.string() : std::string("/nonexistent"));
        host.log.clear();
        screen->addSubview(popup);
        popup->startShowAd();
        ASSERT_TRUE(popup->indicatorBack()) << c.what;
        UILabel* loading = nullptr;
        for (auto& v : popup->indicatorBack()->subviews()) {
            if (auto* l = dynamic_cast<UILabel*>(v.get())) loading = l;
        }
        ASSERT_TRUE(loading) << c.what;
        EXPECT_EQ(loading->text(), c.loading) << c.what;
        CGSize ts = UILabel::sizeOfText(c.loading, UIFont::boldSystemFontOfSize(16));
        EXPECT_DOUBLE_EQ(loading->frame().origin.x, (130 - ts.width) / 2) << c.what;
        EXPECT_DOUBLE_EQ(loading->frame().origin.y, 100 - ts.height - 15) << c.what;
        ASSERT_TRUE(framesUntilHeard(0, 2)) << c.what;
        UIButton* close = popup->closeNewButton();
        ASSERT_TRUE(close) << c.what;
        EXPECT_EQ(close->frame().origin.x, c.frame.origin.x) << c.what;
        EXPECT_EQ(close->frame().size.width, c.frame.size.width) << c.what;
        EXPECT_EQ(bool(close->imageForState(UIControlStateNormal)), c.image) << c.what;
        EXPECT_EQ(close->titleForState(UIControlStateNormal).value_or(""), c.closeTitle) << c.what;
        EXPECT_EQ(popup->titleLabel()->text(), "おすすめ");
        // The framed layout, centred on the screen.
        EXPECT_EQ(popup->adBaseView()->frame().origin.x, (375 - 310) / 2.0);
        EXPECT_EQ(popup->adBaseView()->frame().origin.y, (667 - 300) / 2.0);
        EXPECT_EQ(popup->getIntersAdWebView()->frame().origin.y, 46);
        // A tap on the button closes it a tenth of a second later.
        UITouch t;
        CGPoint base = popup->adBaseView()->frame().origin;
        t.windowLocation = CGPointMake(base.x + c.frame.origin.x + 10, base.y + 10);
        UITouchSet set{t};
        close->touchesBegan(set);
        close->touchesEnded(set);
        EXPECT_TRUE(popup->superview()) << c.what;
        env.clock->advance(0.11);
        EXPECT_EQ(host.log.back(), "close:100") << c.what;
        EXPECT_FALSE(popup->superview()) << c.what;
    }
}

TEST_F(Interstitial, EveryFrameOfflineMakesOneBoxAndOneFailure) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    env.reachability->setOnline(false);
    host.wish = true;
    int most = 0;
    for (int i = 0; i < 40; ++i) {
        frame();
        most = std::max(most, boxes());
    }
    EXPECT_EQ(most, 1);
    EXPECT_EQ(host.count("failed"), 1);
    EXPECT_FALSE(host.wish);
    // Long after, nothing comes back on screen by itself.
    for (int i = 0; i < 600; ++i) frame();
    EXPECT_EQ(boxes(), 0);
    EXPECT_FALSE(popup->superview());
}

TEST_F(Interstitial, FailuresAndTheHostsPreloadsDoNotMakeALoop) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    const struct {
        const char* what;
        bool online;
    } cases[] = {{"offline", false}, {"service answering 500", true}};
    for (const auto& c : cases) {
        popup = std::make_shared<AdkasaPopupView>();  // no failures before
        popup->setAppID(kPlacement);
        popup->setDelegate(&host);
        host.popup = popup.get();
        env.reachability->setOnline(c.online);
        service.setFault("cdn", adservice::FaultSpec{adservice::Fault::Status, 500});
        service.setFault("api", adservice::FaultSpec{adservice::Fault::Status, 500});
        host.log.clear();
        int asked = service.count("cdn") + service.count("api");
        popup->preloadAd();
        for (int i = 0; i < 600; ++i) frame();  // ten seconds
        int failures = host.count("failed");
        EXPECT_GE(failures, 2) << c.what;
        EXPECT_LE(failures, 5) << c.what;
        EXPECT_LE(service.count("cdn") + service.count("api") - asked, 10) << c.what;
        EXPECT_FALSE(host.reentered) << c.what;
    }
}

TEST_F(Interstitial, NoAdToShowEndsTheRequestOnALaterTurn) {
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    const struct {
        const char* what;
        json settings;
    } cases[] = {
        {"only the no-ad slot", json::array({ad("none", "", "default"), ad("none2", "", "default")})},
        {"an empty list", json::array()},
        {"no weight for this country", json::array({ad("zero", "<p>z</p>", "", 0)})},
    };
    for (const auto& c : cases) {
        configure(c.settings);
        // A view of its own, so that it fetches this configuration.
        popup = std::make_shared<AdkasaPopupView>();
        popup->setAppID(kPlacement);
        popup->setDelegate(&host);
        popup->setSchedule(1);
        popup->setScheduleFirst(1);
        host.popup = popup.get();
        host.log.clear();
        host.wish = true;
        ASSERT_TRUE(framesUntilHeard(0, 2)) << c.what;
        EXPECT_EQ(host.log[0], "close:105") << c.what;
        EXPECT_EQ(host.log[1], "failed") << c.what;
        EXPECT_FALSE(host.reentered) << c.what;
        EXPECT_FALSE(popup->superview()) << c.what;
        for (int i = 0; i < 600; ++i) frame();
        EXPECT_FALSE(host.reentered) << c.what;
        EXPECT_LE(host.count("failed"), 6) << c.what;
        EXPECT_EQ(popup->scheduleCount(), 0) << c.what;
    }
}

TEST_F(Interstitial, ARequestThatNeverCompletesEndsInAClose) {
    configure(json::array({ad("slow", "<p>slow</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    FakeWebEngines stuck(false);  // pages never finish
    screen->addSubview(popup);
    host.answers = false;
    popup->startShowAd();
    ASSERT_TRUE(pumpUntil([&] { return popup->getIntersAdWebView() != nullptr; }));
    env.clock->advance(AdkasaPopupView::kAdkasaRequestTimeLimit - 0.1);
    EXPECT_TRUE(popup->backgroundView());
    EXPECT_TRUE(host.log.empty());
    env.clock->advance(0.2);
    EXPECT_EQ(host.log, (std::vector<std::string>{"close:105", "failed"}));
    EXPECT_FALSE(popup->superview());
    EXPECT_FALSE(popup->backgroundView());
}

TEST_F(Interstitial, TheCloseTypeIsTheLastRequestsOwn) {
    configure(json::array({ad("pop", "<p>pop</p>")}));
    popup->setSchedule(1);
    popup->setScheduleFirst(1);
    EXPECT_EQ(request(), "shown");
    EXPECT_EQ(popup->closeType(), 100);
    // A skip; the preload that follows fails in the web view: its close
    // says so, not the skip's 101.
    auto* page = FakeWebEngines::of(popup->getIntersAdWebView());
    ASSERT_TRUE(page);
    page->autoFinish = false;
    popup->setSchedule(2);
    EXPECT_EQ(request(), "101");
    ASSERT_TRUE(popup->preloadFlg());
    ASSERT_TRUE(page->isLoading());
    host.log.clear();
    page->fail();
    EXPECT_EQ(host.log, (std::vector<std::string>{"close:105", "failed"}));
    EXPECT_EQ(popup->closeType(), 105);
}

// An InMobi answer is one page: the frame comes up once, when that page
// has loaded, whatever the engine makes of a load that a later one
// replaces.
TEST_F(Interstitial, TheFrameComesUpOnceItsCreativeHasLoaded) {
    using Replaced = adtest::FakeWebEngine::Replaced;
    const std::string tag = "<script src=\"" + service.inmobiScriptBase() +
                            "/ad/inmobi.js\"></script><script>var inmobi_conf = { siteid : "
                            "\"4028cb8b2c3a0b45012c406824e800ba\", slot : \"15\" };</script>";
    configure(json::array({ad("im", tag, "1003")}));
    const struct {
        const char* what;
        Replaced replaced;
    } cases[] = {{"a replaced load finishes", Replaced::Finish}, {"a replaced load fails", Replaced::Fail}};
    for (const auto& c : cases) {
        FakeWebEngines pages(true, c.replaced);
        popup = std::make_shared<AdkasaPopupView>();  // a web view of this engine
        popup->setAppID(kPlacement);
        popup->setDelegate(&host);
        popup->setSchedule(1);
        popup->setScheduleFirst(1);
        host.popup = popup.get();
        host.log.clear();
        // What the web view shows when the frame comes up, and how many
        // pages it had been handed.
        std::string atShow = "not shown";
        size_t loadsAtShow = 0;
        host.whenShown = [&] {
            auto* page = FakeWebEngines::of(popup->getIntersAdWebView());
            atShow = !page ? "no page" : page->isLoading() ? "still loading" : page->shownHTML();
            loadsAtShow = page ? page->loads.size() : 0;
        };
        host.wish = true;
        framesUntilHeard(0, 2);
        for (int i = 0; i < 30; ++i) frame();
        EXPECT_EQ(host.log, (std::vector<std::string>{"data", "shown"})) << c.what;
        EXPECT_NE(atShow.find("<div style=\"margin:0;\">"), std::string::npos) << c.what << ": " << atShow;
        auto* page = FakeWebEngines::of(popup->getIntersAdWebView());
        ASSERT_TRUE(page) << c.what;
        EXPECT_EQ(page->loads.size(), loadsAtShow) << c.what << ": the creative loaded again under the frame";
        host.wish = false;
        popup->pushCloseButton();
        for (int i = 0; i < 12; ++i) frame();
        host.whenShown = nullptr;
    }
}

TEST_F(Interstitial, TheWebViewCountsEveryLoadThatStartsAndEnds) {
    FakeWebEngines manual(false);
    auto view = std::make_shared<ADKSWebPopupView>(CGRectMake(0, 0, 300, 250));
    view->setParentView(popup.get());
    auto* page = FakeWebEngines::of(view.get());
    view->loadHtmlFromEntity(ADKSJSAdEntity::initWithObject(ad("a", "<p>a</p>")));
    EXPECT_EQ(view->shouldCnt(), 0);  // not started yet
    page->finish();
    EXPECT_EQ(view->shouldCnt(), 1);
    EXPECT_EQ(view->finishCnt(), 1);
    view->loadHtmlFromEntity(ADKSJSAdEntity::initWithObject(ad("b", "<p>b</p>")));
    page->fail();
    EXPECT_EQ(view->shouldCnt(), 2);
    EXPECT_EQ(view->finishCnt(), 2);
    // A click does not count and opens outside.
    std::vector<std::string> opened;
    AdkasaEnvironment::shared().urlOpener = [&](const std::string& u) {
        opened.push_back(u);
        return true;
    };
    view->loadHtmlFromEntity(ADKSJSAdEntity::initWithObject(ad("c", "<p>c</p>")));
    page->finish();
    view->hitTest(CGPointMake(10, 10));
    EXPECT_FALSE(page->navigate("https://example.com/x", UIWebViewNavigationType::LinkClicked));
    EXPECT_EQ(view->shouldCnt(), 3);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.com/x"});
    EXPECT_EQ(host.count("tapped"), 1);
    AdkasaEnvironment::shared().urlOpener = nullptr;

    // An empty network answer is a failure; the "default" ad loads nothing
    // and asks no network.
    size_t loads = page->loads.size();
    view->loadHtmlFromEntity(ADKSJSAdEntity::initWithObject(ad("d", "", "default")));
    EXPECT_EQ(page->loads.size(), loads);
    ADKSInMobiAPIManager inmobi;
    inmobi.setUserAdId("d");
    view->inmobiLoadFinish(&inmobi);
    EXPECT_EQ(page->loads.size(), loads);
    EXPECT_EQ(service.count("inmobi") + service.count("mmedia") + service.count("gamefeat"), 0);
}

}  // namespace
