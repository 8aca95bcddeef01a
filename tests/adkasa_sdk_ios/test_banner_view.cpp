// test-links: adkasa_service
// The banner's rotation and transitions: configurations from the local ad
// service, pages rendered by a fake engine (a page holding "blank" renders
// one colour), picks from fixed random numbers, time from a driven clock.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSWebView.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "adkasa_sdk_ios/AdkasaView.h"
#include "platform/ui/UIImageView.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"
#include "tests/adkasa_sdk_ios/fake_web_engine.h"
#include "tools/adservice/AdService.h"

using namespace KelpaPlatform;
using adtest::FakeWebEngine;
using adtest::FakeWebEngines;
using nlohmann::json;
using testloop::pumpUntil;

namespace {

constexpr const char* kPlacement = "3f9c1d20b7e4a85c6d0e2f24";

json ad(const std::string& id, const std::string& html) {
    return {{"user_ad_id", id}, {"weight", {{"en", 1}}}, {"html", ADKSBase64Util::base64StringFromString(html)}};
}

struct Recorder : AdkasaViewDelegate {
    int finished = 0, tapped = 0, failed = 0;
    void adkasaViewDidFinishLoad(AdkasaView*) override { ++finished; }
    void adkasaViewAdTapped(AdkasaView*) override { ++tapped; }
    void adkasaViewAdFailed(AdkasaView*) override { ++failed; }
};

class Banner : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listen());
        env.pointAt(service.origin());
        host = std::make_shared<UIView>(CGRectMake(0, 0, 320, 568));
        banner = std::make_shared<AdkasaView>(CGRectMake(0, 518, 320, 50));
        banner->setAppID(kPlacement);
        banner->setDelegate(&delegate);
        host->addSubview(banner);
    }

    void configure(json settings, double cycle = 12, int taOff = 0) {
        json config = {{"result", "ok"},    {"device_id", "dev-1"}, {"bg_color", "1a3c78"},
                       {"cycle_time", cycle}, {"ta_off", taOff},    {"settings", settings}};
        service.setConfiguration(kPlacement, config.dump());
    }
    // startShowAd and the configuration's arrival (the first fill).
    void start() {
        banner->startShowAd();
        ASSERT_TRUE(pumpUntil([&] { return banner->webViewArray().size() == 2; }));
    }
    FakeWebEngine& page(int i) { return *FakeWebEngines::of(banner->webViewArray().at(size_t(i)).get()); }
    std::shared_ptr<ADKSWebView> slot(int i) { return banner->webViewArray().at(size_t(i)); }
    // Runs the clock on, then the network until the service has `n`
    // impressions.
    void advance(double seconds) { env.clock->advance(seconds); }
    bool impressions(const std::string& id, int n) {
        return pumpUntil([&] { return service.impressions(id) >= n; }, 3000);
    }
    std::vector<UIView*> shown() const {
        std::vector<UIView*> out;
        for (auto& v : banner->subviews()) out.push_back(v.get());
        return out;
    }

    adtest::Environment env;
    adservice::AdService service;
    FakeWebEngines engines{true};
    Recorder delegate;
    std::shared_ptr<UIView> host;
    std::shared_ptr<AdkasaView> banner;
};

TEST_F(Banner, FirstFillLoadsBothSlotsAndShowsTheFirst) {
    configure(json::array({ad("one", "<p>one</p>")}), 7.5);
    start();
    // One ad: two independent picks, the same ad in both slots.
    EXPECT_EQ(page(0).lastHTML(), "<p>one</p>");
    EXPECT_EQ(page(1).lastHTML(), "<p>one</p>");
    EXPECT_EQ(slot(0)->adDataBgColor(), "1a3c78");
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(0).get()});
    EXPECT_EQ(banner->nextViewIndex(), 1);
    EXPECT_EQ(delegate.finished, 1);
    ASSERT_TRUE(banner->adTimer());
    EXPECT_DOUBLE_EQ(banner->adTimer()->timeInterval(), 7.5);
    EXPECT_TRUE(impressions("one", 1));
    // Slots made earlier keep their test mode.
    banner->testModeEnable();
    EXPECT_FALSE(slot(0)->testMode());
}

TEST_F(Banner, NoAdsStillFillsAndTicks) {
    configure(json::array());
    start();
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(0).get()});
    EXPECT_FALSE(slot(0)->currentEntity());
    EXPECT_EQ(delegate.finished, 1);
    advance(12);
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(0).get()});
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_TRUE(banner->adTimer());
}

TEST_F(Banner, ATickSwapsInAFilledSlotATenthOfASecondLater) {
    configure(json::array({ad("a", "<p>A</p>"), ad("b", "<p>B</p>")}));
    env.random->values = {0, 1, 0};  // slot 0: a, slot 1: b, then a
    start();
    advance(0.05);  // both pages finish
    advance(12 - 0.05);
    EXPECT_EQ(delegate.finished, 2);
    EXPECT_TRUE(impressions("b", 1));  // told when scheduled
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(0).get()});
    advance(0.1);
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(1).get()});
    // The slot that went loads the next ad, after an empty page.
    ASSERT_GE(page(0).loads.size(), 3u);
    EXPECT_EQ(page(0).loads[page(0).loads.size() - 2].html, "");
    EXPECT_EQ(page(0).lastHTML(), "<p>A</p>");
    EXPECT_EQ(banner->nextViewIndex(), 0);
    EXPECT_DOUBLE_EQ(banner->adTimer()->fireDate(), env.clock->now() - 0.1 + 12);
}

TEST_F(Banner, ABlankHiddenSlotIsReloadedAndNotShown) {
    configure(json::array({ad("a", "<p>A</p>"), ad("z", "<p>blank</p>")}));
    env.random->values = {0, 1, 0, 1};  // a, z; then a into the hidden slot; then z for the slot that goes
    start();
    advance(0.05);
    advance(12);
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(0).get()});
    EXPECT_EQ(page(1).lastHTML(), "<p>A</p>");
    EXPECT_EQ(banner->nextViewIndex(), 1);
    // A cycle later the reloaded slot renders and comes in.
    advance(12.1);
    EXPECT_EQ(delegate.finished, 2);
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(1).get()});
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(service.impressions("z"), 0);
}

TEST_F(Banner, AStaleTimerDoesNothing) {
    configure(json::array({ad("a", "<p>A</p>")}));
    start();
    std::shared_ptr<NSTimer> old = banner->adTimer();
    banner->updateAd();
    ASSERT_NE(banner->adTimer(), old);
    int finished = delegate.finished;
    size_t loads = page(0).loads.size() + page(1).loads.size();
    banner->timerFired(old.get());
    EXPECT_EQ(delegate.finished, finished);
    EXPECT_EQ(page(0).loads.size() + page(1).loads.size(), loads);
    EXPECT_TRUE(banner->adTimer());
}

TEST_F(Banner, StopUpdatingDuringAFetchKeepsTheAnswerFromRestartingIt) {
    configure(json::array({ad("a", "<p>A</p>")}));
    service.setFault("cdn", adservice::FaultSpec{adservice::Fault::Stall, 0});
    banner->startShowAd();
    EXPECT_TRUE(banner->needsUpdateAd());
    ASSERT_TRUE(pumpUntil([&] { return service.stalledCount() == 1; }));
    banner->stopUpdating();
    banner->removeFromSuperview();
    service.clearFaults();
    service.releaseStalled();  // a 503: the main API answers next
    ASSERT_TRUE(pumpUntil([&] { return banner->getManager()->isAdFetched(); }));
    pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(banner->webViewArray().empty());
    EXPECT_FALSE(banner->adTimer());
    EXPECT_EQ(delegate.finished, 0);
}

TEST_F(Banner, AFailedConfigurationIsToldAndAskedForAgainLater) {
    env.reachability->setOnline(false);
    configure(json::array({ad("a", "<p>A</p>")}));
    banner->startShowAd();
    // The client's own offline retries, then no cache: a failure.
    for (int i = 0; i < 200 && delegate.failed == 0; ++i) advance(0.25);
    ASSERT_EQ(delegate.failed, 1);
    std::vector<double> waits;
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(banner->adTimer());
        waits.push_back(banner->adTimer()->timeInterval());
        advance(banner->adTimer()->timeInterval());
    }
    EXPECT_EQ(waits, (std::vector<double>{30, 60, 120, 240, 480, 600, 600}));
    EXPECT_EQ(delegate.failed, 8);
    // Once the network is back, the next try fills the banner.
    env.reachability->setOnline(true);
    advance(banner->adTimer()->timeInterval());
    ASSERT_TRUE(pumpUntil([&] { return banner->webViewArray().size() == 2; }));
    EXPECT_EQ(delegate.finished, 1);

    // Stopped, a failure is told but not tried again.
    Recorder other;
    auto stopped = std::make_shared<AdkasaView>(CGRectMake(0, 0, 320, 50));
    stopped->setAppID("elsewhere");
    stopped->setDelegate(&other);
    env.reachability->setOnline(false);
    stopped->startShowAd();
    stopped->stopUpdating();
    for (int i = 0; i < 200 && other.failed == 0; ++i) advance(0.25);
    EXPECT_EQ(other.failed, 1);
    EXPECT_FALSE(stopped->adTimer());
}

TEST_F(Banner, AScheduledSwapRunsAfterStopAndGoesWithTheBanner) {
    configure(json::array({ad("a", "<p>A</p>"), ad("b", "<p>B</p>")}));
    env.random->values = {0, 1, 0, 1, 0, 1};
    start();
    advance(0.05);
    advance(12);
    banner->stopUpdating();
    banner->removeFromSuperview();
    EXPECT_FALSE(banner->adTimer());
    advance(0.1);
    EXPECT_EQ(shown(), std::vector<UIView*>{slot(1).get()});
    EXPECT_FALSE(banner->adTimer());

    // A swap whose banner has gone does nothing.
    host->addSubview(banner);
    banner->startShowAd();  // a tick at once: the other slot is ready
    ASSERT_EQ(delegate.finished, 3);
    banner.reset();
    advance(1);
}

// Network ads whose parameters a hostile configuration filled: each slot
// asks an outside network at most once a cycle, whatever the answers.
TEST_F(Banner, HostileNetworkAdsAskAtMostOnceACycle) {
    const std::string hostile = "\"><script>x('&adid=9')</script>";
    auto network = [&](const std::string& id, const std::string& key, json param, const std::string& html) {
        json a = ad(id, html);
        a["adnetwork_key"] = key;
        a["wall_type"] = hostile;
        a["param"] = param;
        return a;
    };
    std::string inmobi = "<script src=\"" + service.inmobiScriptBase() + "/ad/inmobi.js\"></script> siteid:\"s1\"";
    configure(json::array({
                  network("g", "1065", {{"site_id", hostile}, {"u", hostile}}, "<p>g</p>"),
                  network("g2", "1065", {{"site_id", "77" + hostile}}, "<p>g2</p>"),
                  network("m", "1060", {{"placement_apid", hostile}}, "<p>m</p>"),
                  network("i", "1003", {{"site_id", hostile}}, inmobi),
                  network("l", "1058", json::object(), "<leadbolt>width:\"320\" height:\"50\"</leadbolt>"),
              }),
              1);
    env.device->adId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
    uint32_t pick = 0;
    env.random->fallback = 0;
    start();
    const int cycles = 30;
    for (int i = 0; i < cycles; ++i) {
        env.random->values = {pick++ % 5, pick++ % 5};
        advance(1);
        pumpUntil([] { return false; }, 20);
    }
    int asked = service.count("gamefeat") + service.count("mmedia") + service.count("inmobi") + service.count("leadbolt");
    EXPECT_GT(asked, cycles / 2);
    EXPECT_LE(asked, cycles + 2);
    for (const auto& r : service.requests("gamefeat")) {
        EXPECT_TRUE(r.query == "adid=0&adsize=15&os=ios" || r.query == "adid=77&adsize=15&os=ios") << r.query;
    }
    for (const auto& r : service.requests("mmedia")) EXPECT_EQ(r.params.at("apid"), hostile);
}

// The custom transition's receiver.
struct CustomCalls {
    int calls = 0;
    AdkasaView* banner = nullptr;
    UIImageView* snapshot = nullptr;
    ADKSWebView* incoming = nullptr;
    static void animate(void* receiver, AdkasaView* b, const std::shared_ptr<UIImageView>& s,
                        const std::shared_ptr<ADKSWebView>& in) {
        auto* self = static_cast<CustomCalls*>(receiver);
        ++self->calls;
        self->banner = b;
        self->snapshot = s.get();
        self->incoming = in.get();
    }
};

TEST_F(Banner, EveryTransitionCode) {
    enum Kind { Plain, Turn, FadeIn, FadeOut, Custom };
    const struct {
        const char* what;
        uint64_t code;
        int taOff;
        uint32_t random;
        bool receiver, method;
        Kind kind;
    } cases[] = {
        {"none", 0, 0, 0, false, false, Plain},
        {"flip from left", 0x100000, 0, 0, false, false, Turn},
        {"flip from right", 0x200000, 0, 0, false, false, Turn},
        {"curl up", 0x300000, 0, 0, false, false, Turn},
        {"curl down", 0x400000, 0, 0, false, false, Turn},
        {"only the low 32 bits count", 0x700100000ull, 0, 0, false, false, Turn},
        {"fade in", 0x400001, 0, 0, false, false, FadeIn},
        {"fade out", 0x400002, 0, 0, false, false, FadeOut},
        {"random: none", 0x400003, 0, 5, false, false, Plain},
        {"random: curl up", 0x400003, 0, 3, false, false, Turn},
        {"random with transitions off", 0x400003, 1, 3, false, false, Plain},
        {"fade with transitions off", 0x400001, 1, 0, false, false, Plain},
        {"custom", 0x400004, 0, 0, true, true, Custom},
        {"custom without a receiver", 0x400004, 0, 0, false, true, Plain},
        {"custom without a method", 0x400004, 0, 0, true, false, Plain},
        {"unknown", 0x500000, 0, 0, false, false, Plain},
    };
    for (const auto& c : cases) {
        configure(json::array({ad("a", "<p>A</p>")}), 12, c.taOff);
        banner = std::make_shared<AdkasaView>(CGRectMake(0, 0, 320, 50));
        banner->setAppID(kPlacement);
        host->addSubview(banner);
        start();
        advance(0.05);
        auto out = slot(0), in = slot(1);
        CustomCalls custom;
        banner->setTransitionType(c.code);
        banner->setTransitionDulation(0.5f);
        if (c.receiver) banner->setCustomAnimationClass(&custom);
        if (c.method) banner->setCustomAnimationMethod(&CustomCalls::animate);
        env.random->values = {c.random};
        banner->changeAdWebView(in, out, nullptr);

        auto views = shown();
        switch (c.kind) {
        case Plain:
            EXPECT_EQ(views, std::vector<UIView*>{in.get()}) << c.what;
            EXPECT_FALSE(banner->transitionPainter()) << c.what;
            break;
        case Turn:
            EXPECT_EQ(views, (std::vector<UIView*>{out.get(), in.get()})) << c.what;
            EXPECT_TRUE(banner->transitionPainter()) << c.what;
            break;
        case FadeIn:
            ASSERT_EQ(views.size(), 2u) << c.what;
            EXPECT_TRUE(dynamic_cast<UIImageView*>(views[0])) << c.what;
            EXPECT_EQ(views[1], in.get()) << c.what;
            EXPECT_DOUBLE_EQ(in->alpha(), 1.0) << c.what;
            EXPECT_DOUBLE_EQ(in->presentationAlpha(), 0.0) << c.what;
            advance(0.25);
            EXPECT_NEAR(in->presentationAlpha(), 0.5, 0.02) << c.what;
            break;
        case FadeOut:
            ASSERT_EQ(views.size(), 2u) << c.what;
            EXPECT_EQ(views[0], in.get()) << c.what;
            EXPECT_TRUE(dynamic_cast<UIImageView*>(views[1])) << c.what;
            EXPECT_DOUBLE_EQ(views[1]->presentationAlpha(), 1.0) << c.what;
            advance(0.25);
            EXPECT_NEAR(views[1]->presentationAlpha(), 0.5, 0.02) << c.what;
            break;
        case Custom:
            EXPECT_EQ(custom.calls, 1) << c.what;
            EXPECT_EQ(custom.banner, banner.get()) << c.what;
            EXPECT_EQ(custom.incoming, in.get()) << c.what;
            ASSERT_EQ(views.size(), 2u) << c.what;
            EXPECT_EQ(views[0], custom.snapshot) << c.what;
            EXPECT_EQ(views[1], in.get()) << c.what;
            break;
        }
        advance(0.6);
        // Every transition but the custom one ends with the incoming slot alone.
        if (c.kind == Custom) {
            EXPECT_EQ(shown().size(), 2u) << c.what;
        } else {
            EXPECT_EQ(shown(), std::vector<UIView*>{in.get()}) << c.what;
            EXPECT_FALSE(banner->transitionPainter()) << c.what;
            EXPECT_DOUBLE_EQ(in->presentationAlpha(), 1.0) << c.what;
        }
        banner->removeFromSuperview();
    }
}

}  // namespace

namespace {

TEST(BannerUserAgent, ThePartnerMarkerIsAddedOnce) {
    adtest::Environment env;
    env.device->ua = "Mozilla/5.0 (X11) AppleWebKit/605.1.15";
    auto banner = std::make_shared<AdkasaView>(CGRectMake(0, 0, 320, 50));
    EXPECT_EQ(banner->originUserAgent(), env.device->ua);
    banner->setUserAgentYDN();
    EXPECT_EQ(defaultWebUserAgent(), env.device->ua + " YJIAdSDK/");
    // A banner made while the marker is there adds nothing.
    env.device->ua = defaultWebUserAgent();
    auto again = std::make_shared<AdkasaView>(CGRectMake(0, 0, 320, 50));
    setDefaultWebUserAgent("other");
    again->setUserAgentYDN();
    EXPECT_EQ(defaultWebUserAgent(), "other");
    setDefaultWebUserAgent("");
}

}  // namespace
