// test-links: adkasa_service
// The local ad service answers and fails as the client tests need it to.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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

Fetch get(const std::string& url, std::shared_ptr<Clock> clock = Clock::system()) {
    Fetch f;
    NSURLRequest req(url);
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
    EXPECT_EQ(get(service.origin() + "/img/../AdService.cpp").status, 404);
}
