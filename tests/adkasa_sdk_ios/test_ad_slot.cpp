// test-links: adkasa_service
// The banner's ad slot: placeholders, dispatch to the outside networks,
// answers for replaced ads, the click rule, the reports (against the local
// ad service) and the blank-render check. Pages are rendered by a fake
// engine; the clock is driven.
#include <cairo.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"
#include "adkasa_sdk_ios/ADKSLeadboltAPIManager.h"
#include "adkasa_sdk_ios/ADKSMMediaAPIManager.h"
#include "adkasa_sdk_ios/ADKSWebView.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "adkasa_sdk_ios/AdkasaView.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"
#include "tests/adkasa_sdk_ios/fake_web_engine.h"
#include "tools/adservice/AdService.h"

using namespace KelpaPlatform;
using adtest::FakeWebEngine;
using adtest::FakeWebEngines;
using nlohmann::json;
using testloop::pumpUntil;

namespace {

constexpr const char* kPlacement = "3f9c1d20b7e4a85c6d0e2f13";

std::shared_ptr<ADKSJSAdEntity> entity(const std::string& id, const std::string& html, const std::string& key = "") {
    json o = {{"user_ad_id", id}, {"weight", {{"en", 1}}}, {"html", ADKSBase64Util::base64StringFromString(html)}};
    if (!key.empty()) o["adnetwork_key"] = key;
    auto e = ADKSJSAdEntity::initWithObject(o);
    EXPECT_TRUE(e) << id;
    return e;
}

struct TapRecorder : AdkasaViewDelegate {
    int taps = 0;
    void adkasaViewAdTapped(AdkasaView*) override { ++taps; }
};

class AdSlot : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listen());
        env.pointAt(service.origin());
        AdkasaEnvironment::shared().urlOpener = [this](const std::string& url) {
            opened.push_back(url);
            return true;
        };
        banner = std::make_shared<AdkasaView>(CGRectMake(0, 0, 320, 50));
        banner->setAppID(kPlacement);
        banner->setDelegate(&taps);
        slot = std::make_shared<ADKSWebView>(CGRectMake(0, 0, 320, 50));
        slot->setParentView(banner.get());
        banner->addSubview(slot);
    }
    void TearDown() override { AdkasaEnvironment::shared().urlOpener = nullptr; }

    FakeWebEngine& page() { return *FakeWebEngines::of(slot.get()); }
    // The reports that reached the service so far.
    bool waitForRequests(const std::string& route, int n) {
        return pumpUntil([&] { return service.count(route) >= n; }, 3000);
    }

    adtest::Environment env;
    adservice::AdService service;
    FakeWebEngines engines;
    TapRecorder taps;
    std::vector<std::string> opened;
    std::shared_ptr<AdkasaView> banner;
    std::shared_ptr<ADKSWebView> slot;
};

TEST_F(AdSlot, OwnHtmlFillsThePlaceholders) {
    const struct {
        const char* what;
        std::optional<std::string> adId;
        std::optional<std::string> bundleId;
        const char* html;
        const char* loaded;
    } cases[] = {
        {"id twice", "AB12-CD", "jp.mekko", "<a href='x?i=[ADK_IDFA]&j=[ADK_IDFA]'>", "<a href='x?i=AB12-CD&j=AB12-CD'>"},
        {"no id: removed", std::nullopt, "jp.mekko", "[ADK_IDFA]|[ADK_IDFA]", "|"},
        {"package", "X", "jp.mekko", "p=[ADK_PACKAGE]", "p=jp.mekko"},
        {"no package", "X", std::nullopt, "p=[ADK_PACKAGE];i=[ADK_IDFA]", "p=;i=X"},
        {"escaped id", "a b/c", "q", "[ADK_IDFA]", "a%20b%2Fc"},
        {"no placeholders", "X", "q", "<p>[ADK_IDF A]</p>", "<p>[ADK_IDF A]</p>"},
    };
    for (const auto& c : cases) {
        env.device->adId = c.adId;
        env.device->bundleId = c.bundleId;
        slot->loadHtmlFromEntity(entity("own", c.html));
        EXPECT_EQ(page().lastHTML(), c.loaded) << c.what;
        EXPECT_EQ(page().loads.back().baseURL, service.origin() + "/") << c.what;
    }
    size_t before = page().loads.size();
    slot->loadHtmlFromEntity(nullptr);
    EXPECT_EQ(page().loads.size(), before);
}

TEST_F(AdSlot, WrappersAreTheExactText) {
    EXPECT_EQ(adks::bannerWrapper("1a3c78", "<b>ad</b>"),
              "<html><head><base target=\"_blank\"><meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
              "</head><body style='text-align:center;padding:0;margin:0;overflow:hidden;background-color:#1a3c78;'>"
              "<div style=\"width:320px;margin:0 auto;\"> <b>ad</b> </div></body></html>");
    EXPECT_NE(adks::bannerWrapper("", "").find("background-color:#;"), std::string::npos);
    EXPECT_EQ(adks::interstitialWrapper("ffffff", "m"),
              "<html><head><base target=\"_blank\"><meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
              "</head><body style='text-align:center;padding:0;margin:0;overflow:hidden;background-color:#ffffff;'>"
              "<div style=\"margin:0;\"> m </div></body></html>");
}

TEST_F(AdSlot, EachNetworkKeyGoesToItsNetworkAndItsAnswerIsShown) {
    env.device->adId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";  // Millennial Media asks for it
    slot->setAdDataBgColor("1a3c78");
    const struct {
        const char* key;
        const char* route;   // the service route the request goes to
        const char* shown;   // what the loaded page holds
    } cases[] = {
        {"1003", "inmobi", "<div style=\"width:320px;margin:0 auto;\">"},
        {"1058", "leadbolt", "network.svg"},
        {"1061", "leadbolt", "Coin Rush"},
        {"1060", "mmedia", "network.svg"},
        {"1065", "gamefeat", "network.svg"},
    };
    auto config = json::parse(service.configurationFor(kPlacement));
    for (const auto& c : cases) {
        std::shared_ptr<ADKSJSAdEntity> e;
        for (auto& s : config["settings"]) {
            if (s.value("adnetwork_key", "") == c.key) e = ADKSJSAdEntity::initWithObject(s);
        }
        ASSERT_TRUE(e) << c.key;
        int asked = service.count(c.route);
        size_t loads = page().loads.size();
        slot->loadHtmlFromEntity(e);
        // Nothing is loaded until the network answers.
        EXPECT_EQ(page().loads.size(), loads) << c.key;
        ASSERT_TRUE(pumpUntil([&] { return page().loads.size() > loads; })) << c.key;
        EXPECT_EQ(service.count(c.route), asked + 1) << c.key;
        EXPECT_NE(page().lastHTML().find(c.shown), std::string::npos) << c.key << ": " << page().lastHTML();
    }
    // An InMobi tag without its script cannot be asked for: an empty
    // answer, wrapped with the configuration's colour, comes at once.
    size_t loads = page().loads.size();
    slot->loadHtmlFromEntity(entity("im", "<script>var inmobi_conf = { siteid : \"4028cb8b\" };</script>", "1003"));
    ASSERT_TRUE(pumpUntil([&] { return page().loads.size() > loads; }));
    EXPECT_EQ(page().lastHTML(), adks::bannerWrapper("1a3c78", ""));
}

TEST_F(AdSlot, AnAnswerForAReplacedAdChangesNothing) {
    slot->loadHtmlFromEntity(entity("now", "<p>now</p>"));
    size_t loads = page().loads.size();
    ADKSInMobiAPIManager inmobi;
    inmobi.setUserAdId("before");
    slot->inmobiLoadFinish(&inmobi);
    ADKSMMediaAPIManager mmedia;
    mmedia.setUserAdId("before");
    slot->mmediaLoadFinish(&mmedia);
    ADKSLeadboltAPIManager leadbolt;
    leadbolt.setUserAdId("before");
    slot->leadboltLoadFinish(&leadbolt);
    EXPECT_EQ(page().loads.size(), loads);
    inmobi.setUserAdId("now");
    slot->inmobiLoadFinish(&inmobi);
    EXPECT_EQ(page().loads.size(), loads + 1);
}

TEST_F(AdSlot, ClickRule) {
    using T = UIWebViewNavigationType;
    const struct {
        const char* what;
        const char* key;
        bool loadedBeforeTouch;
        bool touched;
        T type;
        const char* url;
        bool loadsInside;
        bool clicked;
        bool opened;
        bool stillArmed;
    } cases[] = {
        {"no touch", "", true, false, T::LinkClicked, "http://x/a", true, false, false, false},
        {"touch before load", "", false, true, T::LinkClicked, "http://x/a", true, false, false, false},
        {"link after touch", "", true, true, T::LinkClicked, "https://x/a", false, true, true, false},
        {"script redirect, own ad", "", true, true, T::Other, "http://x/a", true, false, false, true},
        {"form, own ad", "", true, true, T::FormSubmitted, "http://x/a", true, false, false, true},
        {"script redirect, 1060", "1060", true, true, T::Other, "http://x/a", false, true, true, false},
        {"script redirect, 1072", "1072", true, true, T::Other, "http://x/a", false, true, true, false},
        {"link to another scheme", "", true, true, T::LinkClicked, "javascript:alert(1)", false, true, false, false},
        {"link to a file", "", true, true, T::LinkClicked, "file:///etc/passwd", false, true, false, false},
    };
    for (const auto& c : cases) {
        size_t loads = page().loads.size();
        slot->loadHtmlFromEntity(entity("click-ad", "<p>ad</p>", c.key));
        // An outside network's ad shows once the network has answered.
        ASSERT_TRUE(pumpUntil([&] { return page().loads.size() > loads; })) << c.what;
        if (c.loadedBeforeTouch) page().finish();
        int tapsBefore = taps.taps;
        size_t openedBefore = opened.size();
        if (c.touched) {
            UIView* hit = banner->hitTest(CGPointMake(10, 10));
            EXPECT_EQ(hit, slot.get()) << c.what;
        }
        if (!c.loadedBeforeTouch) page().finish();
        bool inside = page().navigate(c.url, c.type);
        EXPECT_EQ(inside, c.loadsInside) << c.what;
        EXPECT_EQ(taps.taps - tapsBefore, c.clicked ? 1 : 0) << c.what;
        EXPECT_EQ(opened.size() - openedBefore, c.opened ? 1u : 0u) << c.what;
        EXPECT_EQ(slot->needsPostAdClicked(), c.stillArmed) << c.what;
    }
    ASSERT_TRUE(waitForRequests("click", 5));
}

TEST_F(AdSlot, ReportsCarryTheirValuesEscaped) {
    auto data = std::make_shared<AdkasaData>();
    data->deviceID = "dev 1/2";
    banner->getManager()->setAdData(data);
    slot->postAdDisplayed();  // no entity yet: nothing is sent
    slot->loadHtmlFromEntity(entity("ad/1 ?&", "<p>x</p>"));
    slot->postAdDisplayed();
    ASSERT_TRUE(waitForRequests("impression", 1));
    page().finish();
    slot->postAdClicked();
    ASSERT_TRUE(waitForRequests("click", 1));
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(service.count("impression"), 1);
    auto imp = service.requests("impression").at(0);
    EXPECT_EQ(imp.path, "/adkasa/api/rec-impression");
    EXPECT_EQ(imp.query, "app_id=" + std::string(kPlacement) + "&user_ad_id=ad%2F1%20%3F%26&device_id=dev%201%2F2&locale=en");
    EXPECT_EQ(imp.params["user_ad_id"], "ad/1 ?&");
    EXPECT_EQ(service.impressions("ad/1 ?&"), 1);
    EXPECT_EQ(adks::clickReportURL(kPlacement, "ad/1 ?&", std::string("dev 1/2"), "en"),
              service.origin() + "/adkasa/api/rec-click/app_id/" + kPlacement +
                  "/user_ad_id/ad%2F1%20%3F%26/device_id/dev%201%2F2/locale/en");
    auto click = service.requests("click").at(0);
    EXPECT_EQ(click.params["app_id"], kPlacement);
    EXPECT_EQ(click.params["user_ad_id"], "ad/1 ?&");
    EXPECT_EQ(click.params["device_id"], "dev 1/2");
    EXPECT_EQ(click.params["locale"], "en");
    EXPECT_EQ(click.query, "");
    EXPECT_EQ(service.clicks("ad/1 ?&"), 1);
    EXPECT_EQ(taps.taps, 1);

    // No device id: an empty value in both reports.
    data->deviceID.reset();
    env.device->locale = "ja_JP";
    slot->postAdDisplayed();
    slot->postAdClicked();
    ASSERT_TRUE(waitForRequests("impression", 2));
    ASSERT_TRUE(waitForRequests("click", 2));
    EXPECT_EQ(service.requests("impression").at(1).params["device_id"], "");
    EXPECT_NE(service.requests("impression").at(1).query.find("&device_id=&locale=ja"), std::string::npos);
    EXPECT_EQ(service.requests("click").at(1).params["device_id"], "");
    EXPECT_EQ(service.requests("click").at(1).params["locale"], "ja");
}

TEST_F(AdSlot, TouchesArmOnlyALoadedAdAndReachThePage) {
    slot->loadHtmlFromEntity(entity("t", "<p>t</p>"));
    EXPECT_FALSE(slot->htmlLoaded());
    banner->hitTest(CGPointMake(5, 5));
    EXPECT_FALSE(slot->needsPostAdClicked());
    page().finish();
    EXPECT_TRUE(slot->htmlLoaded());
    EXPECT_EQ(banner->hitTest(CGPointMake(400, 5)), nullptr);  // outside: nothing armed
    EXPECT_FALSE(slot->needsPostAdClicked());
    banner->hitTest(CGPointMake(5, 5));
    EXPECT_TRUE(slot->needsPostAdClicked());
    // A new ad disarms and is not loaded yet.
    slot->loadHtmlFromEntity(entity("u", "<p>u</p>"));
    EXPECT_FALSE(slot->needsPostAdClicked());
    EXPECT_FALSE(slot->htmlLoaded());

    UITouch t;
    t.windowLocation = CGPointMake(30, 20);
    slot->touchesBegan({t});
    slot->touchesEnded({t});
    ASSERT_EQ(page().touches.size(), 2u);
    EXPECT_EQ(page().touches[0].first, UITouchPhase::Began);
    EXPECT_DOUBLE_EQ(page().touches[1].second.x, 30);
}

// A picture w x h whose rows are `stride` bytes, all one colour but for
// the given pixels.
cairo_surface_t* picture(int w, int h, int stride, std::vector<std::pair<int, int>> odd, std::vector<unsigned char>* keep) {
    keep->assign(size_t(stride) * size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            auto* p = reinterpret_cast<uint32_t*>(keep->data() + size_t(y) * stride + size_t(x) * 4);
            *p = 0xff336699u;
        }
    }
    for (auto [x, y] : odd) *reinterpret_cast<uint32_t*>(keep->data() + size_t(y) * stride + size_t(x) * 4) = 0xffff0000u;
    return cairo_image_surface_create_for_data(keep->data(), CAIRO_FORMAT_ARGB32, w, h, stride);
}

TEST(BlankCheck, SamplesEverySixthColumnOfTheMiddleRowThroughTheRealStride) {
    const struct {
        const char* what;
        int w, h, stride;
        double width;
        std::vector<std::pair<int, int>> odd;
        bool something;
    } cases[] = {
        {"uniform", 320, 50, 1280, 320, {}, false},
        {"too narrow", 320, 50, 1280, 1, {{1, 25}, {7, 25}}, false},
        {"sampled column differs", 320, 50, 1280, 320, {{7, 25}}, true},
        {"first sample differs", 320, 50, 1280, 320, {{1, 25}}, true},
        {"between samples", 320, 50, 1280, 320, {{4, 25}}, false},
        {"another row", 320, 50, 1280, 320, {{7, 24}, {7, 26}}, false},
        {"last sample", 320, 50, 1280, 320, {{319, 25}}, true},
        {"padded rows", 300, 50, 1600, 300, {{13, 25}}, true},
        {"padded rows, other row", 300, 50, 1600, 300, {{13, 24}}, false},
        {"odd height: half a row on", 40, 5, 160, 40, {{21, 2}}, true},
        {"one row: nothing past the end", 10, 1, 40, 10, {{9, 0}}, false},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> pixels;
        cairo_surface_t* s = picture(c.w, c.h, c.stride, c.odd, &pixels);
        EXPECT_EQ(adks::pictureShowsSomething(s, c.width), c.something) << c.what;
        cairo_surface_destroy(s);
    }
    EXPECT_FALSE(adks::pictureShowsSomething(nullptr, 320));
}

TEST_F(AdSlot, BlankCheckSeesWhatThePageShows) {
    EXPECT_FALSE(slot->layerColorMatchCheck());  // nothing loaded
    slot->loadHtmlFromEntity(entity("b", "<p>blank</p>"));
    page().finish();
    EXPECT_FALSE(slot->layerColorMatchCheck());
    slot->loadHtmlFromEntity(entity("c", "<p>colours</p>"));
    EXPECT_FALSE(slot->layerColorMatchCheck());  // the old page shows until the new one is in
    page().finish();
    EXPECT_TRUE(slot->layerColorMatchCheck());
    slot->setFrame(CGRectMake(0, 0, 1, 50));
    EXPECT_FALSE(slot->layerColorMatchCheck());
}

}  // namespace
