// test-links: adkasa_service
// The configuration client against the local ad service, with a driven
// clock and a fake reachability.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "adkasa_sdk_ios/AdkasaView.h"
#include "platform/ns/NSNotificationCenter.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"
#include "tools/adservice/AdService.h"

using nlohmann::json;
using testloop::pumpUntil;

namespace {

constexpr const char* kPlacement = "3f9c1d20b7e4a85c6d0e2f13";

std::string b64(const std::string& s) { return ADKSBase64Util::base64StringFromString(s); }

json ad(const std::string& id, json weight, const std::string& html = "<p>ad</p>") {
    return {{"user_ad_id", id}, {"weight", weight}, {"html", b64(html)}};
}

// Arrays nested `depth` deep, as JSON text.
std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// An answer with one whole ad and, beside it in "settings", arrays nested so
// that the answer's deepest point is `depth` levels down.
std::string answerNested(size_t depth) {
    std::string whole = json{{"result", "ok"}, {"settings", json::array({ad("a", {{"en", 1}})})}}.dump();
    whole.insert(whole.size() - 2, "," + nested(depth - 2));
    return whole;
}

// A whole answer of exactly `bytes` bytes.
std::string answerOfSize(size_t bytes) {
    std::string whole = json{{"result", "ok"}, {"settings", json::array({ad("a", {{"en", 1}})})}, {"pad", ""}}.dump();
    whole.insert(whole.find("\"pad\":\"") + 7, bytes - whole.size(), 'x');
    return whole;
}

// An answer whose one ad's HTML is mostly control characters, which the
// cache form writes six bytes each, sized so that its archive (with the
// device id saved now) is `bytes` long.
std::string answerArchivingTo(size_t bytes) {
    auto answer = [](const std::string& html) {
        return json{{"result", "ok"}, {"settings", json::array({ad("big", {{"en", 1}}, html)})}}.dump();
    };
    std::string html(1390000, '\x01');
    AdkasaData probe;
    EXPECT_TRUE(probe.parseJsonData(answer(html)));
    EXPECT_LE(probe.archive().size(), bytes);
    html.append(bytes - probe.archive().size(), 'x');
    return answer(html);
}

long peakKilobytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// One view with its manager, counting the manager's notifications.
struct Client {
    explicit Client(const std::string& placement = kPlacement) : view(KelpaPlatform::CGRectMake(0, 0, 320, 50)) {
        view.setAppID(placement);
        manager = std::make_unique<AdkasaManager>();
        manager->setView(&view);
        manager->registerFetchNotification(this, [this] { ++fetched; });
        manager->registerFetchFailedNotification(this, [this] { ++failed; });
    }
    ~Client() {
        manager->unregisterFetchNotification(this);
        manager.reset();
    }
    bool inFlight() const { return (manager->status() & 3) == 1; }
    bool done() const { return fetched + failed > 0; }

    AdkasaBaseView view;
    std::unique_ptr<AdkasaManager> manager;
    int fetched = 0;
    int failed = 0;
};

class ConfigurationClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listen());
        env.pointAt(service.origin());
    }

    // Runs the attempt in flight (if any) to its end on the main context.
    bool settle(Client& c) { return pumpUntil([&] { return !c.inFlight(); }); }

    // Runs attempts, moving the clock to each next timer (time-outs and
    // retries) once nothing is in flight or a stalled request has arrived,
    // until a notification arrives. Returns the number of clock moves.
    int driveToEnd(Client& c, int maxMoves = 400) {
        int moves = 0;
        while (!c.done() && moves < maxMoves) {
            // A stalled request is let go when its client gives up, so the
            // number held can stay the same across a retry; the total grows.
            int stalled = service.stalledTotal();
            EXPECT_TRUE(pumpUntil([&] { return c.done() || !c.inFlight() || service.stalledTotal() > stalled; }));
            if (c.done()) break;
            double due = env.clock->nextDue();
            if (due < 0) break;
            env.clock->advance(due);
            ++moves;
        }
        return moves;
    }

    adtest::Environment env;
    adservice::AdService service;
};

}  // namespace

TEST_F(ConfigurationClient, ContentDelivery404ThenMainApiGivesFetchedCacheAndDate) {
    service.setFault("cdn", {adservice::Fault::Status, 404});
    Client c;
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return c.done(); }));
    EXPECT_EQ(c.fetched, 1);
    EXPECT_EQ(c.failed, 0);
    EXPECT_EQ(service.count("cdn"), 1);
    EXPECT_EQ(service.count("api"), 1);
    EXPECT_EQ(service.requests("api")[0].path,
              std::string("/adkasa/api/getinfo/app_id/") + kPlacement + "/locale/en_US/ver/2.6.1");
    EXPECT_EQ(service.requests("api")[0].method, "GET");
    EXPECT_TRUE(c.manager->isAdFetched());
    EXPECT_TRUE(c.manager->firstUrl());
    ASSERT_TRUE(c.manager->adData());
    EXPECT_EQ(c.manager->adData()->adList.size(), 7u);
    EXPECT_EQ(c.manager->adData()->bgColor, "1a3c78");

    double expected = env.clock->now() + 900;
    EXPECT_EQ(c.manager->nextUpdateDate(), expected);
    EXPECT_EQ(env.defaults->dateForKey(std::string("AdkasaSDK_Next_Update_Date_") + kPlacement), expected);
    std::string cache = env.home() + "/Library/Adkasa/cache.dat_" + kPlacement;
    EXPECT_EQ(c.manager->pathForCacheFile(), cache);
    ASSERT_TRUE(std::filesystem::exists(cache));
    auto cached = AdkasaData::unarchive([&] {
        std::ifstream in(cache);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }());
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->adList.size(), 7u);
    EXPECT_EQ(cached->adList[0]->htmlString(), c.manager->adData()->adList[0]->htmlString());
    // Nothing but the cache file is left in its folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(env.home() + "/Library/Adkasa"), {}), 1);
}

TEST_F(ConfigurationClient, MainApiErrorStatusFailsWithoutRetry) {
    service.setFault("cdn", {adservice::Fault::Status, 404});
    service.setFault("api", {adservice::Fault::Status, 503});
    Client c;
    c.manager->setHttpRetryCount(24);  // a status is no counted failure
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return c.done(); }));
    EXPECT_EQ(c.failed, 1);
    EXPECT_EQ(c.fetched, 0);
    EXPECT_FALSE(c.manager->hasRetryTimer());
    EXPECT_EQ(env.clock->pending(), 0u);
    EXPECT_FALSE(c.manager->isAdFetched());
}

TEST_F(ConfigurationClient, RestartWithServiceDownLoadsTheCacheAndStaysFresh) {
    {
        Client first;
        first.manager->updateAd();
        ASSERT_TRUE(pumpUntil([&] { return first.done(); }));
        ASSERT_EQ(first.fetched, 1);
    }
    AdkasaEnvironment::shared().endpoints = AdkasaEndpoints::localService("http://127.0.0.1:1");
    env.clock->advance(3600);
    Client c;
    c.manager->updateAd();
    int moves = driveToEnd(c);
    EXPECT_EQ(c.fetched, 1);
    EXPECT_EQ(c.failed, 0);
    EXPECT_EQ(moves, 24);  // 24 retries ten seconds apart, then the cache
    EXPECT_EQ(c.manager->httpRetryCount(), 0);
    ASSERT_TRUE(c.manager->adData());
    EXPECT_EQ(c.manager->adData()->adList.size(), 7u);
    env.clock->advance(899);
    EXPECT_TRUE(c.manager->isAdFetched());
    env.clock->advance(1);
    EXPECT_FALSE(c.manager->isAdFetched());
}

TEST_F(ConfigurationClient, StalledEndpointsTimeOutRetryThenUseTheCache) {
    {
        Client first;
        first.manager->updateAd();
        ASSERT_TRUE(pumpUntil([&] { return first.done(); }));
    }
    service.setFault("cdn", {adservice::Fault::Stall, 0});
    service.setFault("api", {adservice::Fault::Stall, 0});
    Client c;
    double start = env.clock->now();
    c.manager->updateAd();
    driveToEnd(c);
    EXPECT_EQ(c.fetched, 1);
    // Each round: the content-delivery time-out, at once the main API, its
    // time-out, ten seconds; the 25th main-API failure goes to the cache.
    EXPECT_EQ(service.count("cdn"), 1 + 25);
    EXPECT_EQ(service.count("api"), 25);
    EXPECT_DOUBLE_EQ(env.clock->now() - start, 25 * 20.0 + 24 * 10.0);
}

TEST_F(ConfigurationClient, BrokenOffBodyIsRetriedOnTheTimerOnly) {
    service.setFault("cdn", {adservice::Fault::Status, 404});
    service.setFault("api", {adservice::Fault::BrokenOff, 0});
    Client c;
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return !c.inFlight() && c.manager->hasRetryTimer(); }));
    testloop::pumpFor(200);
    // Bytes came before the break, yet no attempt follows at once.
    EXPECT_EQ(service.count("api"), 1);
    EXPECT_EQ(c.manager->httpRetryCount(), 1);
    EXPECT_DOUBLE_EQ(env.clock->nextDue(), 10.0);
    int moves = driveToEnd(c);
    EXPECT_EQ(moves, 24);
    EXPECT_EQ(c.failed, 1);  // no cache to fall back on
    EXPECT_EQ(service.count("api"), 25);
    EXPECT_EQ(service.count("cdn"), 25);
    EXPECT_FALSE(c.manager->hasRetryTimer());
    // Past the limit, the next counted failure goes to the cache at once.
    c.failed = 0;
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return c.done(); }));
    EXPECT_EQ(c.failed, 1);
    EXPECT_FALSE(c.manager->hasRetryTimer());
    EXPECT_EQ(service.count("api"), 26);
}

TEST_F(ConfigurationClient, AnswersThatDoNotParseAreRetriedOnTheTimer) {
    struct Case {
        const char* name;
        adservice::FaultSpec fault;
        std::string body;  // empty: the service's own configuration
    } cases[] = {
        {"result ng", {}, R"({"result":"ng","settings":[]})"},
        {"no result", {}, R"({"settings":[]})"},
        {"not an object", {}, R"(["ok"])"},
        {"garbage", {adservice::Fault::Garbage, 0}, ""},
        {"truncated", {adservice::Fault::Truncated, 0}, ""},
        {"empty", {}, " "},
    };
    for (const auto& k : cases) {
        service.clearFaults();
        service.setFault("cdn", k.fault);
        service.setConfiguration(kPlacement, k.body.empty() ? service.configurationFor("other") : k.body);
        Client c;
        c.manager->updateAd();
        ASSERT_TRUE(pumpUntil([&] { return !c.inFlight(); })) << k.name;
        EXPECT_EQ(c.fetched + c.failed, 0) << k.name;
        EXPECT_TRUE(c.manager->hasRetryTimer()) << k.name;
        EXPECT_EQ(c.manager->httpRetryCount(), 1) << k.name;
        EXPECT_FALSE(c.manager->adData()) << k.name;
        c.manager->cancelRequest();
    }
}

TEST_F(ConfigurationClient, OfflineStartPollsThenGoesToTheCache) {
    env.reachability->setOnline(false);
    Client c;
    c.manager->updateAd();
    int polls = 0;
    while (!c.done() && polls < 100) {
        ASSERT_DOUBLE_EQ(env.clock->nextDue(), 0.25);
        env.clock->advance(0.25);
        ++polls;
    }
    EXPECT_EQ(polls, 64);
    EXPECT_EQ(c.failed, 1);
    EXPECT_EQ(c.manager->networkRetryCount(), 65);
    EXPECT_EQ(service.count("cdn") + service.count("api"), 0);
    EXPECT_EQ(env.clock->pending(), 0u);

    // Once an HTTP failure is counted, offline goes to the cache at once.
    Client d;
    d.manager->setHttpRetryCount(1);
    d.manager->updateAd();
    EXPECT_EQ(d.failed, 1);
    EXPECT_EQ(env.clock->pending(), 0u);

    // Back online, the next attempt fetches and the count starts again.
    env.reachability->setOnline(true);
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return c.fetched == 1; }));
    EXPECT_EQ(c.manager->networkRetryCount(), 0);
}

TEST_F(ConfigurationClient, WithoutEndpointsTheClientIsOffline) {
    AdkasaEnvironment::shared().endpoints = AdkasaEndpoints();
    Client c;
    c.manager->setHttpRetryCount(24);
    c.manager->updateAd();
    EXPECT_EQ(c.failed, 1);
    EXPECT_FALSE(c.manager->isNetworkAvailable());
}

TEST_F(ConfigurationClient, EachManagerHearsOnlyItsOwnNotifications) {
    Client a("3f9c1d20b7e4a85c6d0e2f13"), b("3f9c1d20b7e4a85c6d0e2f24");
    EXPECT_NE(a.manager->getNotificationAdName(), b.manager->getNotificationAdName());
    EXPECT_EQ(a.manager->getNotificationAdFailedName(), "Failed" + a.manager->getNotificationAdName());
    a.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return a.done(); }));
    EXPECT_EQ(a.fetched, 1);
    EXPECT_EQ(b.fetched + b.failed, 0);
    b.manager->setHttpRetryCount(24);
    env.reachability->setOnline(false);
    b.manager->updateAd();  // no cache for b: fails
    EXPECT_EQ(b.failed, 1);
    EXPECT_EQ(a.failed, 0);
}

TEST_F(ConfigurationClient, UrlCarriesLocaleVersionsAndEscapedSegments) {
    struct Case {
        const char* locale;
        std::optional<std::string> appVersion;
        const char* placement;
        const char* tail;
    } cases[] = {
        {"en_US@calendar=japanese", std::nullopt, "abc", "/app_id/abc/locale/en_US/ver/2.6.1"},
        {"ja_JP", std::string("1.0.3"), "abc", "/app_id/abc/locale/ja_JP/ver/2.6.1/appver/1.0.3"},
        {"en_GB", std::string("1 0/../x"), "a/b?c", "/app_id/a%2Fb%3Fc/locale/en_GB/ver/2.6.1/appver/1%200%2F..%2Fx"},
    };
    for (const auto& k : cases) {
        env.device->locale = k.locale;
        env.device->shortVersion = k.appVersion;
        Client c(k.placement);
        EXPECT_EQ(c.manager->updateUrlStringByAppId(k.placement),
                  service.contentDeliveryBase() + "/adkasa/api/getinfo" + k.tail);
        c.manager->updateUrlString();
        EXPECT_EQ(c.manager->urlString(), service.mainApiBase() + "/adkasa/api/getinfo" + k.tail);
    }
    // A bare host name gets the scheme of the request.
    EXPECT_EQ(adkasaEndpointBase("ads.example.net", "https"), "https://ads.example.net");
    EXPECT_EQ(adkasaEndpointBase("http://127.0.0.1:9/cdn/", "https"), "http://127.0.0.1:9/cdn");
}

TEST(AdkasaManagerLocale, CountryCodeAndLocaleType) {
    adtest::Environment env;
    struct Case {
        const char* locale;
        std::vector<std::string> languages;
        const char* identifier;
        const char* country;
        int32_t localeType;
    } cases[] = {
        {"en_US@calendar=japanese", {"en"}, "en_US", "en", 1},
        {"ja_JP", {"ja", "en"}, "ja_JP", "ja", 2},
        {"ja_JP@calendar=japanese", {"en", "ja"}, "ja_JP", "ja", 1},
        {"en_US", {"ja-JP"}, "en_US", "en", 1},
        {"fr_FR@a@b", {"fr"}, "fr_FR", "en", 1},
    };
    for (const auto& k : cases) {
        env.device->locale = k.locale;
        env.device->languages = k.languages;
        AdkasaManager m;
        m.updateLocale();
        EXPECT_EQ(AdkasaManager::stringCurrentLocaleIdentifier(), k.identifier) << k.locale;
        EXPECT_EQ(AdkasaManager::stringCurrentContryCode(), k.country) << k.locale;
        EXPECT_EQ(m.adLocale(), k.localeType) << k.locale;
    }
    EXPECT_EQ(AdkasaManager::stringContryCodeFromLocaleType(2), "ja");
    EXPECT_EQ(AdkasaManager::stringContryCodeFromLocaleType(1), "en");

    EXPECT_FALSE(AdkasaManager::stringAdvertisingId());
    env.device->adId = "00000000-0000-0000-0000-000000000000";
    EXPECT_FALSE(AdkasaManager::stringAdvertisingId());
    env.device->adId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
    EXPECT_EQ(AdkasaManager::stringAdvertisingId(), "6D92078A-8246-4BA4-AE5B-76104861E7DC");
    env.device->tracking = false;
    EXPECT_FALSE(AdkasaManager::stringAdvertisingId());
}

TEST(AdkasaManagerChoice, WeightedChoiceWithAFixedRandomSource) {
    adtest::Environment env;
    AdkasaManager m;
    auto data = std::make_shared<AdkasaData>();
    auto setWeights = [&](std::vector<json> weights) {
        json settings = json::array();
        for (size_t i = 0; i < weights.size(); ++i) settings.push_back(ad("ad" + std::to_string(i), weights[i]));
        ASSERT_TRUE(data->parseJsonData(json{{"result", "ok"}, {"settings", settings}}.dump()));
        m.setAdData(data);
    };
    setWeights({{{"en", 1}}, {{"en", 0}}, {{"en", 3}}});
    struct Pick {
        uint32_t r;
        int32_t index;
    } picks[] = {{0, 0}, {1, 2}, {2, 2}, {3, 2}, {4, 0}, {0xFFFFFFFFu, 2}};
    for (const auto& p : picks) {
        env.random->values = {p.r};
        EXPECT_EQ(m.nextAdIndex(), p.index) << p.r;
    }
    env.random->values = {1};
    int32_t index = -7;
    auto e = m.nextAdEntity(&index);
    ASSERT_TRUE(e);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(e->userAdId(), "ad2");

    // Nothing to choose from: zero sums, weights for another country only,
    // negative weights, an empty list.
    for (auto weights : std::vector<std::vector<json>>{{{{"en", 0}}, {{"en", 0}}},
                                                       {{{"ja", 5}}},
                                                       {{{"en", -3}}, {{"en", 0}}},
                                                       {}}) {
        setWeights(weights);
        env.random->values = {0};
        EXPECT_EQ(m.nextAdIndex(), -1);
        index = -7;
        EXPECT_FALSE(m.nextAdEntity(&index));
        EXPECT_EQ(index, -7);
    }
    // A negative weight takes nothing from the others; huge ones cannot wrap.
    setWeights({{{"en", -5}}, {{"en", 2}}});
    env.random->values = {0};
    EXPECT_EQ(m.nextAdIndex(), 1);
    setWeights({{{"en", 4e9}}, {{"en", 4e9}}, {{"en", 1}}});
    env.random->values = {2147483647u};
    EXPECT_EQ(m.nextAdIndex(), 1);
    env.device->locale = "ja_JP";
    setWeights({{{"ja", 1}, {"en", 0}}, {{"en", 9}}});
    env.random->values = {0};
    EXPECT_EQ(m.nextAdIndex(), 0);
}

TEST(AdkasaManagerChoice, TotalsPastThirtyTwoBitsReachEveryAd) {
    adtest::Environment env;
    AdkasaManager m;
    auto data = std::make_shared<AdkasaData>();
    json settings = json::array();
    for (int i = 0; i < 3; ++i) settings.push_back(ad("ad" + std::to_string(i), {{"en", 2147483647}}));
    ASSERT_TRUE(data->parseJsonData(json{{"result", "ok"}, {"settings", settings}}.dump()));
    m.setAdData(data);
    // The total is 3 * (2^31 - 1); the draw is high word, then low word.
    struct Pick {
        uint32_t high, low;
        int32_t index;
    } picks[] = {
        {0, 0, 0},
        {0, 2147483646u, 0},
        {0, 2147483647u, 1},
        {0, 0xFFFFFFFFu, 2},
        {1, 3, 2},            // 2^32 + 3: only the high word gets past the second ad
        {1, 2147483644u, 2},  // the total less one
        {1, 2147483645u, 0},  // the total itself comes round to the first
        {2, 0, 1},            // 2^33 - total = 2^31 + 3
    };
    for (const auto& p : picks) {
        env.random->values = {p.high, p.low};
        EXPECT_EQ(m.nextAdIndex(), p.index) << p.high << ":" << p.low;
        EXPECT_TRUE(env.random->values.empty()) << p.high << ":" << p.low;
    }
}

TEST(AdkasaDataParse, FieldsAndTheirDefaults) {
    adtest::Environment env;
    struct Case {
        const char* name;
        json extra;
        float cycle;
        const char* color;
        int32_t taOff;
    } cases[] = {
        {"no cycle_time", json::object(), 30.0f, "", 0},
        {"zero", {{"cycle_time", 0}}, 30.0f, "", 0},
        {"negative", {{"cycle_time", -5}}, 30.0f, "", 0},
        {"below a second", {{"cycle_time", 0.2}}, 1.0f, "", 0},
        {"as given", {{"cycle_time", 12.5}, {"bg_color", "1A3c78"}, {"ta_off", 1}}, 12.5f, "1A3c78", 1},
        {"not a number", {{"cycle_time", "12"}, {"ta_off", 1e20}}, 30.0f, "", INT32_MAX},
        {"colour with #", {{"bg_color", "#ffffff"}}, 30.0f, "", 0},
        {"colour with markup", {{"bg_color", "fff;}</style><script>"}}, 30.0f, "", 0},
        {"colour not text", {{"bg_color", 123456}}, 30.0f, "", 0},
    };
    for (const auto& k : cases) {
        json root{{"result", "ok"}};
        root.update(k.extra);
        AdkasaData d;
        ASSERT_TRUE(d.parseJsonData(root.dump())) << k.name;
        EXPECT_FLOAT_EQ(d.updateCycleTime, k.cycle) << k.name;
        EXPECT_EQ(d.bgColor, k.color) << k.name;
        EXPECT_EQ(d.ta_off, k.taOff) << k.name;
    }
}

TEST(AdkasaDataParse, IncompleteAdsAreLeftOut) {
    adtest::Environment env;
    json settings = json::array({
        ad("whole", {{"en", 1}}, "<b>caf\xC3\xA9</b>"),
        {{"user_ad_id", "no html"}, {"weight", {{"en", 1}}}},
        {{"user_ad_id", "bad utf8"}, {"weight", {{"en", 1}}}, {"html", "/w=="}},
        {{"user_ad_id", "weight list"}, {"weight", json::array({1})}, {"html", b64("x")}},
        {{"weight", {{"en", 1}}}, {"html", b64("x")}},
        {{"user_ad_id", 12}, {"weight", {{"en", 1}}}, {"html", b64("x")}},
        "not an object",
        {{"user_ad_id", "network"},
         {"weight", {{"en", "2"}, {"ja", 3}}},
         {"html", b64("<i>n</i>")},
         {"adnetwork_key", "1065"},
         {"wall_type", 2},
         {"param", {{"site_id", 1234}, {"u", "ua"}, {"placement_apid", "p1"}, {"api_key", json::array()}}}},
    });
    AdkasaData d;
    ASSERT_TRUE(d.parseJsonData(json{{"result", "ok"}, {"settings", settings}}.dump()));
    ASSERT_EQ(d.adList.size(), 2u);
    EXPECT_EQ(d.adList[0]->userAdId(), "whole");
    EXPECT_EQ(d.adList[0]->htmlString(), "<b>caf\xC3\xA9</b>");
    EXPECT_FALSE(d.adList[0]->adNetworkKey());
    EXPECT_FALSE(d.adList[0]->isValid());
    const auto& n = *d.adList[1];
    EXPECT_EQ(n.adNetworkKey(), "1065");
    EXPECT_EQ(n.wallType(), "2");
    EXPECT_EQ(n.siteId(), "1234");
    EXPECT_EQ(n.uaId(), "ua");
    EXPECT_EQ(n.placementApid(), "p1");
    EXPECT_FALSE(n.apiKey());
    EXPECT_FALSE(n.weightForLang(1));  // "en" is no number
    std::string domain;
    int code = 0;
    EXPECT_FALSE(ADKSJSAdEntity::initWithObject(settings[1], &domain, &code));
    EXPECT_EQ(domain, "ADKManagerErrorDomain");
    EXPECT_EQ(code, 4);
    EXPECT_FALSE(d.parseJsonData(""));
    EXPECT_FALSE(d.parseJsonData("\"ok\""));
}

TEST(AdkasaDataParse, NestingAndSizeAreBounded) {
    adtest::Environment env;
    const size_t depth = AdkasaData::kMaxNesting, size = AdkasaData::kMaxAnswerBytes;
    struct Case {
        const char* name;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"nested to the bound", answerNested(depth), true},
        {"nested past the bound", answerNested(depth + 1), false},
        {"of the bound's size", answerOfSize(size), true},
        {"a byte over the size", answerOfSize(size + 1), false},
    };
    for (const auto& k : cases) {
        AdkasaData d;
        EXPECT_EQ(d.parseJsonData(k.bytes), k.accepted) << k.name;
        EXPECT_EQ(d.adList.size(), k.accepted ? 1u : 0u) << k.name;
    }
    // Two million levels in under 4 MB are refused without building them.
    std::string deep = answerNested(2000000);
    ASSERT_LT(deep.size(), size);
    long before = peakKilobytes();
    AdkasaData d;
    EXPECT_FALSE(d.parseJsonData(deep));
    EXPECT_LT(peakKilobytes() - before, 32 * 1024);

    // The cache is read with the same bound.
    AdkasaData cached;
    ASSERT_TRUE(cached.parseJsonData(answerNested(4)));
    json archived = json::parse(cached.archive());
    archived["root"]["adList"][0]["_weightList"]["ja"] = json::parse(nested(4));
    EXPECT_TRUE(AdkasaData::unarchive(archived.dump()));
    archived["root"]["adList"][0]["_weightList"]["ja"] = json::parse(nested(depth));
    EXPECT_FALSE(AdkasaData::unarchive(archived.dump()));
}

TEST(AdkasaDataParse, SavedDeviceIdIsKept) {
    adtest::Environment env;
    std::string first = json{{"result", "ok"}, {"device_id", "dev-1"}}.dump();
    std::string later = json{{"result", "ok"}, {"device_id", "dev-2"}}.dump();
    AdkasaData a;
    EXPECT_FALSE(a.deviceID);
    ASSERT_TRUE(a.parseJsonData(first));
    EXPECT_EQ(a.deviceID, "dev-1");
    EXPECT_EQ(KelpaPlatform::NSUserDefaults(env.defaults->path()).stringForKey("AdkasaSDK_Device_Id"), "dev-1");
    AdkasaData b;
    EXPECT_EQ(b.deviceID, "dev-1");
    ASSERT_TRUE(b.parseJsonData(later));
    EXPECT_EQ(b.deviceID, "dev-1");
    EXPECT_EQ(env.defaults->stringForKey("AdkasaSDK_Device_Id"), "dev-1");
    // An empty saved id counts as none.
    env.defaults->setString("AdkasaSDK_Device_Id", "");
    AdkasaData c;
    ASSERT_TRUE(c.parseJsonData(later));
    EXPECT_EQ(c.deviceID, "dev-2");
}

TEST(AdkasaDataArchive, RoundTripAndDamagedFiles) {
    adtest::Environment env;
    AdkasaData d;
    json settings = json::array({ad("a", {{"en", 2}}), ad("b", {{"ja", 1}})});
    settings[1]["adnetwork_key"] = "1003";
    ASSERT_TRUE(d.parseJsonData(
        json{{"result", "ok"}, {"bg_color", "00ff00"}, {"cycle_time", 7}, {"ta_off", 1}, {"device_id", "dv"}, {"settings", settings}}
            .dump()));
    auto back = AdkasaData::unarchive(d.archive());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->deviceID, "dv");
    EXPECT_EQ(back->bgColor, "00ff00");
    EXPECT_FLOAT_EQ(back->updateCycleTime, 7.0f);
    EXPECT_EQ(back->ta_off, 1);
    ASSERT_EQ(back->adList.size(), 2u);
    EXPECT_EQ(back->adList[1]->adNetworkKey(), "1003");
    EXPECT_EQ(back->adList[1]->weightList().at("ja"), 1.0);
    EXPECT_FALSE(back->adList[0]->adNetworkKey());

    json archived = json::parse(d.archive());
    archived["root"].erase("updateCycleTime");
    archived["root"]["ta_off"] = "1";
    auto defaults = AdkasaData::unarchive(archived.dump());
    ASSERT_TRUE(defaults);
    EXPECT_FLOAT_EQ(defaults->updateCycleTime, 30.0f);
    EXPECT_EQ(defaults->ta_off, 0);

    std::string whole = d.archive();
    for (std::string bad : {std::string(), whole.substr(0, whole.size() / 2), std::string("{\"format\":1}"),
                            std::string("\x00\x01\x02", 3), std::string("[]")}) {
        EXPECT_FALSE(AdkasaData::unarchive(bad));
    }
}

TEST_F(ConfigurationClient, OnlyWhatTheReaderTakesIsCached) {
    Client c;
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return c.done(); }));
    ASSERT_EQ(c.fetched, 1);
    std::string path = c.manager->pathForCacheFile();
    auto read = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    struct Case {
        const char* name;
        size_t archiveBytes;
        bool cached;
    } cases[] = {
        {"a byte over the bound", AdkasaData::kMaxArchiveBytes + 1, false},
        {"at the bound", AdkasaData::kMaxArchiveBytes, true},
    };
    for (const auto& k : cases) {
        const std::string before = read();
        const size_t adsBefore = AdkasaData::unarchive(before)->adList.size();
        env.reachability->setOnline(true);
        service.setConfiguration(kPlacement, answerArchivingTo(k.archiveBytes));
        c.fetched = 0;
        c.manager->updateAd();
        ASSERT_TRUE(pumpUntil([&] { return c.done(); })) << k.name;
        // Shown either way.
        EXPECT_EQ(c.fetched, 1) << k.name;
        ASSERT_EQ(c.manager->adData()->adList.size(), 1u) << k.name;
        std::string after = read();
        EXPECT_EQ(after.size(), k.cached ? k.archiveBytes : before.size()) << k.name;
        EXPECT_EQ(after == before, !k.cached) << k.name;

        // An offline start reads back what was written, or the old cache.
        env.reachability->setOnline(false);
        Client later;
        later.manager->setHttpRetryCount(1);
        later.manager->updateAd();
        EXPECT_EQ(later.fetched, 1) << k.name;
        ASSERT_TRUE(later.manager->adData()) << k.name;
        EXPECT_EQ(later.manager->adData()->adList.size(), k.cached ? 1u : adsBefore) << k.name;
    }
}

TEST_F(ConfigurationClient, DamagedCacheFileFailsAndIsNotUsed) {
    Client c;
    std::string path = c.manager->pathForCacheFile();
    for (std::string bytes : {std::string("{\"format\":\"adkasa-config-cache\",\"version\":1,\"root\":{\"adList\":7}}"),
                              std::string("garbage")}) {
        std::ofstream(path, std::ios::binary) << bytes;
        c.failed = 0;
        int32_t index = 0;
        EXPECT_FALSE(c.manager->nextAdEntity(&index));  // loads the cache on the spot
        EXPECT_EQ(c.failed, 1);
        EXPECT_FALSE(c.manager->isAdFetched());
    }
}

TEST_F(ConfigurationClient, RefusedAnswersAreFailedFetchesAndTheCacheStaysInUse) {
    Client c;
    c.manager->updateAd();
    ASSERT_TRUE(pumpUntil([&] { return c.done(); }));
    ASSERT_EQ(c.fetched, 1);
    auto inUse = c.manager->adData();
    ASSERT_EQ(inUse->adList.size(), 7u);
    std::string path = c.manager->pathForCacheFile();
    auto read = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string cache = read();

    struct Case {
        const char* name;
        std::string body;
    } cases[] = {
        {"nested past the bound", answerNested(AdkasaData::kMaxNesting + 1)},
        {"nested two million deep", answerNested(2000000)},
        {"over the size bound", answerOfSize(AdkasaData::kMaxAnswerBytes + 1)},
    };
    for (const auto& k : cases) {
        service.setConfiguration(kPlacement, k.body);
        c.fetched = c.failed = 0;
        c.manager->setHttpRetryCount(0);
        c.manager->updateAd();
        ASSERT_TRUE(settle(c)) << k.name;
        EXPECT_EQ(c.fetched + c.failed, 0) << k.name;
        EXPECT_TRUE(c.manager->hasRetryTimer()) << k.name;
        EXPECT_EQ(c.manager->httpRetryCount(), 1) << k.name;
        EXPECT_EQ(c.manager->adData(), inUse) << k.name;
        EXPECT_TRUE(read() == cache) << k.name;
        c.manager->cancelRequest();

        // Past the retries a new start shows the cached configuration.
        Client later;
        later.manager->setHttpRetryCount(AdkasaManager::kMaxHttpRetries);
        later.manager->updateAd();
        ASSERT_TRUE(pumpUntil([&] { return later.done(); })) << k.name;
        EXPECT_EQ(later.fetched, 1) << k.name;
        ASSERT_TRUE(later.manager->adData()) << k.name;
        EXPECT_EQ(later.manager->adData()->adList.size(), 7u) << k.name;
    }
}
