// test-links: adkasa_service
// The local ad service answers and fails as the client tests need it to.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "adkasa_sdk_ios/AdkasaData.h"
#include "platform/ns/NSURLConnection.h"
#include "tests/support/main_loop.h"
#include "tools/adservice/AdService.h"

using namespace KelpaPlatform;

namespace {

struct Fetch : NSURLConnectionDelegate {
    int status = 0;
    std::string body, error;
    bool done = false;
    void connectionDidReceiveResponse(NSURLConnection*, int s) override { status = s; }
    void connectionDidReceiveData(NSURLConnection*, const char* b, size_t n) override { body.append(b, n); }
    void connectionDidFinishLoading(NSURLConnection*) override { done = true; }
    void connectionDidFailWithError(NSURLConnection*, const std::string& e) override {
        error = e;
        done = true;
    }
};

Fetch get(const std::string& url, std::shared_ptr<Clock> clock = Clock::system(), const std::string& post = "") {
    Fetch f;
    NSURLRequest req(url);
    if (!post.empty()) {
        req.httpMethod = "POST";
        req.httpBody = post;
    }
    req.timeoutInterval = 2;
    NSURLConnection c(req, &f, clock);
    c.start();
    testloop::pumpUntil([&] { return f.done; });
    return f;
}

}  // namespace

TEST(AdService, ServesConfigurationsAndFailsOnRequest) {
    adservice::AdService service;
    ASSERT_TRUE(service.listen());
    std::string path = "/adkasa/api/getinfo/app_id/3f9c1d20b7e4a85c6d0e2f35/locale/en_US/ver/2.6.1";
    Fetch ok = get(service.contentDeliveryBase() + path);
    ASSERT_EQ(ok.status, 200);
    auto config = nlohmann::json::parse(ok.body);
    EXPECT_EQ(config["result"], "ok");
    EXPECT_EQ(config["settings"][0]["user_ad_id"], "interstitial-house-en");
    EXPECT_EQ(service.count("cdn"), 1);
    // The interstitial's configuration parses whole and holds a no-ad slot;
    // a banner's holds none.
    for (const char* appId : {"3f9c1d20b7e4a85c6d0e2f35", "3f9c1d20b7e4a85c6d0e2f13"}) {
        AdkasaData data;
        ASSERT_TRUE(data.parseJsonData(service.configurationFor(appId))) << appId;
        int noAd = 0;
        for (auto& e : data.adList) noAd += e->adNetworkKey().value_or("") == "default";
        EXPECT_EQ(noAd, std::string(appId).back() == '5' ? 1 : 0) << appId;
        EXPECT_EQ(data.adList.size(), config["settings"].size() - (std::string(appId).back() == '5' ? 0 : 1)) << appId;
    }

    struct Case {
        const char* fault;
        int status;
        bool failed;
        bool wholeJson;
    } cases[] = {
        {"status:404", 404, false, false},
        {"garbage", 200, false, false},
        {"truncated", 200, false, false},
        {"brokenoff", 200, true, false},
        {"none", 200, false, true},
    };
    for (const auto& c : cases) {
        adservice::FaultSpec f;
        ASSERT_TRUE(adservice::parseFault(c.fault, &f));
        service.setFault("api", f);
        Fetch r = get(service.mainApiBase() + path);
        EXPECT_EQ(r.status, c.status) << c.fault;
        EXPECT_EQ(!r.error.empty(), c.failed) << c.fault << r.error << " len " << r.body.size() << " done " << r.done;
        EXPECT_EQ(nlohmann::json::accept(r.body), c.wholeJson) << c.fault;
    }

    auto clock = std::make_shared<testloop::ManualClock>();
    service.setFault("api", {adservice::Fault::Stall, 0});
    Fetch stalled;
    NSURLConnection c(NSURLRequest(service.mainApiBase() + path), &stalled, clock);
    c.start();
    testloop::pumpFor(100);
    EXPECT_FALSE(stalled.done);
    clock->advance(61);
    EXPECT_EQ(stalled.error, "The request timed out.");
    EXPECT_EQ(service.count("api"), 6);

    adservice::FaultSpec bad;
    EXPECT_FALSE(adservice::parseFault("status:99", &bad));
    EXPECT_FALSE(adservice::parseFault("sometimes", &bad));
}

TEST(AdService, CountsReportsAndAnswersForTheNetworks) {
    adservice::AdService service;
    ASSERT_TRUE(service.listen());
    get(service.impressionBase() + "/adkasa/api/rec-impression?app_id=a&user_ad_id=u%201&device_id=d&locale=ja");
    get(service.mainApiBase() + "/adkasa/api/rec-click/app_id/a/user_ad_id/u%201/device_id/d/locale/ja");
    EXPECT_EQ(service.impressions("u 1"), 1);
    EXPECT_EQ(service.clicks("u 1"), 1);
    EXPECT_EQ(get(service.addressRelayBase() + "/ua.php").body, "{\"ip\":\"127.0.0.1\"}");
    EXPECT_EQ(nlohmann::json::parse(get(service.leadboltApiBase() + "/api/ad_feed?pf=1&format=json").body).size(), 2u);
    service.setFault("leadbolt", {adservice::Fault::NoAd, 0});
    EXPECT_EQ(get(service.leadboltApiBase() + "/api/ad_feed?pf=1&format=json").body, "[]");
}

TEST(AdService, ClickIdsArriveDecodedOnceWhateverTheyHold) {
    adservice::AdService service;
    ASSERT_TRUE(service.listen());
    struct Case {
        const char* sent;  // as escaped in the path
        const char* id;    // as counted
    } cases[] = {
        {"x%2F..%2Fy", "x/../y"},
        {"%2F..%2F..%2Fetc%2Fpasswd", "/../../etc/passwd"},
        {"a%252Fb", "a%2Fb"},
        {"%E3%82%81", "\xE3\x82\x81"},
    };
    for (const auto& c : cases) {
        Fetch r = get(service.mainApiBase() + "/adkasa/api/rec-click/app_id/a%2Fb/user_ad_id/" + c.sent +
                      "/device_id//locale/ja");
        EXPECT_EQ(r.status, 200) << c.sent;
        EXPECT_EQ(service.clicks(c.id), 1) << c.sent;
        auto logged = service.requests("click");
        ASSERT_FALSE(logged.empty());
        EXPECT_EQ(logged.back().params["app_id"], "a/b") << c.sent;
        EXPECT_EQ(logged.back().params["device_id"], "") << c.sent;
        EXPECT_EQ(logged.back().params["locale"], "ja") << c.sent;
    }
    EXPECT_EQ(service.count("click"), 4);
}

TEST(AdService, ServesArtOnlyFromItsHouseFolder) {
    // A house folder with art beside it that a path could reach.
    auto dir = std::filesystem::temp_directory_path() / ("adservice-art-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "house");
    std::ofstream(dir / "house" / "icon.svg") << "<svg>icon</svg>";
    std::ofstream(dir / "secret.svg") << "<svg>secret</svg>";
    adservice::AdService service((dir / "house").string());
    ASSERT_TRUE(service.listen());
    struct Case {
        const char* path;
        int status;
    } cases[] = {
        {"/img/icon.svg", 200},
        {"/img/ic%6Fn.svg", 200},
        {"/img/..%2Fsecret.svg", 404},
        {"/img/%2E%2E%2Fsecret.svg", 404},
        {"/img/..%2Fhouse%2Ficon.svg", 404},
        {"/img/missing.svg", 404},
    };
    for (const auto& c : cases) {
        Fetch r = get(service.origin() + c.path);
        EXPECT_EQ(r.status, c.status) << c.path;
        EXPECT_EQ(r.body, c.status == 200 ? "<svg>icon</svg>" : "") << c.path;
    }
    std::filesystem::remove_all(dir);
}

TEST(AdService, EachPlacementIsAnsweredInItsOwnFormat) {
    adservice::AdService service;
    ASSERT_TRUE(service.listen());
    const std::string banner = "/img/network.svg", box = "/img/network_box.svg";
    auto inmobi = [](int size) {
        return R"({"responseformat":"html","imp":[{"displaymanager":"s_vantirol","ads":1,"banner":{"adsize":)" +
               std::to_string(size) + R"(}}],"site":{"id":"abc"},"device":{"ip":"127.0.0.1","ua":"t"}})";
    };
    // What each network is asked for a banner slot (InMobi and GameFeat
    // size 15) and for the interstitial's box, as the placements' own
    // configurations make the client ask.
    struct Case {
        const char* what;
        std::string target;
        std::string post;
        const std::string& art;
    } cases[] = {
        {"inmobi banner", "/inmobi/showad/v2", inmobi(15), banner},
        {"inmobi box", "/inmobi/showad/v2", inmobi(10), box},
        {"leadbolt banner", "/leadbolt/api/ad_feed?pf=1&width=320&height=50&format=xhtml", "", banner},
        {"leadbolt box", "/leadbolt/api/ad_feed?pf=1&width=300&height=250&format=xhtml", "", box},
        {"gamefeat banner", "/gamefeat/webapi/v1/requestCustomAds/?adid=1234&adsize=15&os=ios", "", banner},
        {"gamefeat box", "/gamefeat/webapi/v1/requestCustomAds/?adid=1234&adsize=10&os=ios", "", box},
        {"mmedia banner", "/mmedia/getAd?apid=203888&ua=t&uip=127.0.0.1", "", banner},
        {"mmedia box", "/mmedia/getAd?apid=203889&ua=t&uip=127.0.0.1", "", box},
    };
    for (const auto& c : cases) {
        Fetch r = get(service.origin() + c.target, Clock::system(), c.post);
        EXPECT_EQ(r.status, 200) << c.what;
        EXPECT_NE(r.body.find(c.art), std::string::npos) << c.what << ": " << r.body;
        EXPECT_EQ(r.body.find(&c.art == &banner ? box : banner), std::string::npos) << c.what << ": " << r.body;
        Fetch art = get(service.origin() + c.art);
        EXPECT_EQ(art.status, 200) << c.art;
        EXPECT_NE(art.body.find("<svg"), std::string::npos) << c.art;
    }
    // The icon feed gives as many of our icons as the block asks for, each served.
    auto icons = nlohmann::json::parse(get(service.leadboltApiBase() + "/api/ad_feed?pf=1&format=json&max_ads=6").body);
    ASSERT_EQ(icons.size(), 6u);
    for (auto& icon : icons) EXPECT_EQ(get(icon["src_url"].get<std::string>()).status, 200) << icon;

    // The placements' configurations ask for those formats, and each page
    // of ours stands on the configuration's colour.
    for (const char* appId : {"3f9c1d20b7e4a85c6d0e2f13", "3f9c1d20b7e4a85c6d0e2f35"}) {
        bool pop = std::string(appId).back() == '5';
        auto config = nlohmann::json::parse(service.configurationFor(appId));
        std::string colour = "background:#" + config["bg_color"].get<std::string>();
        int pages = 0;
        for (auto& ad : config["settings"]) {
            std::string html = ADKSBase64Util::stringFromBase64String(ad["html"]).value_or("");
            std::string key = ad.value("adnetwork_key", "");
            if (key == "1058") {
                auto block = adks::leadboltBlock(html).value_or("");
                EXPECT_EQ(adks::quotedValueForKey(block, "width"), pop ? "300" : "320") << appId;
                EXPECT_EQ(adks::quotedValueForKey(block, "height"), pop ? "250" : "50") << appId;
            }
            if (key == "1060") {
                EXPECT_EQ(ad["param"]["placement_apid"], pop ? "203889" : "203888") << appId;
            }
            if (html.find("<html") == std::string::npos) continue;
            ++pages;
            EXPECT_NE(html.find(colour), std::string::npos) << ad["user_ad_id"];
        }
        EXPECT_EQ(pages, 4) << appId;  // two house ads and two Leadbolt pages
    }
}
