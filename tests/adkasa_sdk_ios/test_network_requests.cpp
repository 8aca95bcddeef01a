// test-links: adkasa_service
// The outside-network request builders against the local ad service: the
// exact requests they send and the pages they build from each answer.
#include <gtest/gtest.h>

#include <glib.h>

#include <nlohmann/json.hpp>
#include <set>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSGameFeatAPIManger.h"
#include "adkasa_sdk_ios/ADKSInMobiAPIManager.h"
#include "adkasa_sdk_ios/ADKSLeadboltAPIManager.h"
#include "adkasa_sdk_ios/ADKSMMediaAPIManager.h"
#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "tests/adkasa_sdk_ios/ad_test_env.h"
#include "tools/adservice/AdService.h"

using nlohmann::json;
using testloop::pumpUntil;

namespace {

constexpr const char* kAdId = "6D92078A-8246-4BA4-AE5B-76104861E7DC";

std::set<std::string> querySet(const std::string& query) {
    std::set<std::string> out;
    size_t i = 0;
    while (i <= query.size()) {
        size_t amp = query.find('&', i);
        if (amp == std::string::npos) amp = query.size();
        out.insert(query.substr(i, amp - i));
        i = amp + 1;
    }
    return out;
}

// A raw query's values, each decoded to its bytes (NUL included), in order.
std::vector<std::pair<std::string, std::string>> decodedQuery(const std::string& query) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& item : querySet(query)) {
        size_t eq = item.find('=');
        std::string raw = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        GBytes* bytes = g_uri_unescape_bytes(raw.c_str(), -1, nullptr, nullptr);
        gsize n = 0;
        const char* data = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &n)) : nullptr;
        out.emplace_back(item.substr(0, eq), data ? std::string(data, n) : std::string("(undecodable)"));
        if (bytes) g_bytes_unref(bytes);
    }
    return out;
}

std::string valueIn(const std::vector<std::pair<std::string, std::string>>& q, const std::string& key) {
    for (const auto& [k, v] : q) {
        if (k == key) return v;
    }
    return "(none)";
}

std::shared_ptr<ADKSJSAdEntity> entity(json param, const std::string& key) {
    json ad{{"user_ad_id", "u1"},
            {"weight", {{"en", 1}}},
            {"html", ADKSBase64Util::base64StringFromString("<div></div>")},
            {"adnetwork_key", key},
            {"param", param}};
    return ADKSJSAdEntity::initWithObject(ad);
}

class NetworkRequests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listen());
        env.pointAt(service.origin());
        env.device->ua = "Mozilla/5.0 (Test; \"quoted\") Safari";
    }
    std::string inmobiTag(const std::string& siteid = "siteid  : \"abc123\"") const {
        return "<script src=\"" + service.inmobiScriptBase() + "/ad/inmobi.js\"></script><script>var c = {" + siteid +
               "};</script>";
    }

    adtest::Environment env;
    adservice::AdService service;
};

template <class M>
struct Done {
    int calls = 0;
    M* last = nullptr;
    void attach(M& m) {
        m.setFinishLoadHandler(this, [this](M* x) {
            ++calls;
            last = x;
        });
    }
};

}  // namespace

TEST(ADKSPatterns, BoundedScansMatchTheTagPatterns) {
    struct Case {
        const char* text;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"siteid  : \"abc123\"", "siteid", "abc123"},
        {"siteid:'abc123'", "siteid", std::nullopt},
        {"siteid: \"ab-c\"", "siteid", std::nullopt},
        {"siteid:\"\" siteid:\"x9\"", "siteid", "x9"},
        {"max_width : \"5\"", "width", "5"},
        {"width :\n\"5\"", "width", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(adks::quotedValueForKey(c.text, c.key), c.value) << c.text;

    EXPECT_EQ(adks::leadboltBlock("a<leadbolt>x\r\ny</leadbolt>b</leadbolt>c"), "x\r\ny</leadbolt>b");
    EXPECT_EQ(adks::leadboltBlock("<leadbolt>x\fy</leadbolt>"), std::nullopt);
    EXPECT_EQ(adks::leadboltBlock("<leadbolt>a</leadbolt>\f<leadbolt>b</leadbolt>"), "a");
    EXPECT_EQ(adks::leadboltBlock("<leadbolt>no end"), std::nullopt);
    EXPECT_EQ(adks::withoutAtSuffix("en_US@calendar=japanese"), "en_US");
    EXPECT_EQ(adks::withoutAtSuffix("a@\nb@c"), "a@\nb");

    // Huge tags take no deep recursion and no quadratic time.
    std::string huge = "<leadbolt>" + std::string(200 * 1024, 'x') + "\n" + std::string(200 * 1024, 'y') + "</leadbolt>";
    ASSERT_TRUE(adks::leadboltBlock(huge));
    EXPECT_EQ(adks::leadboltBlock(huge)->size(), 400u * 1024 + 1);
    std::string sites;
    for (int i = 0; i < 40000; ++i) sites += "siteid : \"";
    EXPECT_EQ(adks::quotedValueForKey(sites + "ok\"", "siteid"), "ok");
}

TEST_F(NetworkRequests, AddressLookupOnceUnlessItFailed) {
    ADKSIpApiManager ip;
    Done<ADKSIpApiManager> done;
    done.attach(ip);
    service.setFault("relay", {adservice::Fault::Status, 500});
    ip.loadIpAndUa();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
    EXPECT_EQ(ip.errorStr(), "Error Status:500");
    EXPECT_FALSE(ip.ip());
    service.clearFaults();
    ip.loadIpAndUa();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 2; }));
    EXPECT_EQ(ip.ip(), "127.0.0.1");
    EXPECT_EQ(ip.ua(), env.device->ua);
    EXPECT_FALSE(ip.errorStr());
    ip.loadIpAndUa();  // known: completes at once, no request
    EXPECT_EQ(done.calls, 3);
    EXPECT_EQ(service.count("relay"), 2);
    EXPECT_EQ(service.requests("relay")[0].path, "/relay/ua.php");
}

TEST_F(NetworkRequests, InMobiSendsTheJsonRequestAndKeepsTheAnswer) {
    ADKSInMobiAPIManager m;
    Done<ADKSInMobiAPIManager> done;
    done.attach(m);
    m.setAdTag(inmobiTag());
    m.setUserAdId("u1");
    m.inmobiLoadApi();
    m.inmobiLoadApi();  // ignored while loading
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
    EXPECT_EQ(service.count("relay"), 1);
    ASSERT_EQ(service.count("inmobi"), 1);
    auto req = service.requests("inmobi")[0];
    EXPECT_EQ(req.method, "POST");
    EXPECT_EQ(req.path, "/inmobi/showad/v2");
    EXPECT_EQ(req.headers["content-type"], "application/json");
    EXPECT_EQ(req.body,
              "{\"responseformat\":\"html\",\"imp\":[{\"displaymanager\":\"s_vantirol\",\"ads\":1,\"banner\":"
              "{\"adsize\":15}}],\"site\":{\"id\":\"abc123\"},\"device\":{\"ip\":\"127.0.0.1\",\"ua\":"
              "\"Mozilla/5.0 (Test; \\\"quoted\\\") Safari\"}}");
    EXPECT_EQ(json::parse(req.body)["device"]["ua"], env.device->ua);
    EXPECT_NE(m.apiHtmlTag().find("/img/network.svg"), std::string::npos);
    EXPECT_FALSE(m.errorStr());
    EXPECT_EQ(m.userAdId(), "u1");

    // The same manager asks again without a second lookup; the ad id goes
    // in as "ida"; the no-ad answer is passed on as it is.
    env.device->adId = kAdId;
    service.setFault("inmobi", {adservice::Fault::NoAd, 0});
    m.setAdsize(14);
    m.inmobiLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 2; }));
    EXPECT_EQ(service.count("relay"), 1);
    auto body = json::parse(service.requests("inmobi")[1].body);
    EXPECT_EQ(body["device"]["ida"], kAdId);
    EXPECT_EQ(body["imp"][0]["banner"]["adsize"], 14);
    EXPECT_EQ(m.apiHtmlTag(), kInMobiNoAdMarker);
}

TEST_F(NetworkRequests, InMobiThatCannotAskCompletesEmpty) {
    struct Case {
        const char* name;
        std::string tag;
        adservice::FaultSpec relay;
        bool lookupError;
    } cases[] = {
        {"no script", "<script>var c = {siteid : \"abc\"};</script>", {}, false},
        {"single quotes", inmobiTag("siteid : 'abc'"), {}, false},
        {"relay down", inmobiTag(), {adservice::Fault::Status, 502}, true},
        {"huge tag", inmobiTag("x:" + std::string(200 * 1024, '(')), {}, false},
    };
    for (const auto& c : cases) {
        service.clearFaults();
        service.setFault("relay", c.relay);
        ADKSInMobiAPIManager m;
        Done<ADKSInMobiAPIManager> done;
        done.attach(m);
        m.setAdTag(c.tag);
        m.inmobiLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; })) << c.name;
        EXPECT_EQ(m.apiHtmlTag(), "") << c.name;
        EXPECT_EQ(m.errorStr().has_value(), !c.lookupError) << c.name;
        EXPECT_EQ(m.ipManager().errorStr().has_value(), c.lookupError) << c.name;
        EXPECT_FALSE(m.isLoading()) << c.name;
        // Not stuck: it takes the next load.
        m.setAdTag(inmobiTag());
        service.clearFaults();
        m.inmobiLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return done.calls == 2; })) << c.name;
        EXPECT_NE(m.apiHtmlTag(), "") << c.name;
    }
    EXPECT_EQ(service.count("inmobi"), 4);
}

TEST_F(NetworkRequests, InMobiTimesOutOnTheClock) {
    service.setFault("inmobi", {adservice::Fault::Stall, 0});
    ADKSInMobiAPIManager m;
    Done<ADKSInMobiAPIManager> done;
    done.attach(m);
    m.setAdTag(inmobiTag());
    m.inmobiLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return service.stalledCount() == 1; }));
    env.clock->advance(3.0);
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(m.errorStr(), "The request timed out.");
    EXPECT_EQ(m.apiHtmlTag(), "");
}

TEST_F(NetworkRequests, LeadboltAsksTheFeedWithTheBlockValues) {
    struct Case {
        const char* size;
        const char* format;
        bool icons;
    } cases[] = {{"width : \"320\", height : \"50\"", "xhtml", false}, {"width:\"50\" height:\"50\"", "json", true}};
    for (const auto& c : cases) {
        ADKSLeadboltAPIManager m;
        Done<ADKSLeadboltAPIManager> done;
        done.attach(m);
        m.setAdTag(std::string("<p>top</p><leadbolt>section_id : \"889\", secret_key:\"k3Y\", ") + c.size +
                   ", lang : \"en\", category: \"games-1\", max_ads : 'x'</leadbolt><p>end</p>");
        m.leadboltLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
        EXPECT_EQ(m.iconFlg(), c.icons);
        auto req = service.requests("leadbolt").back();
        EXPECT_EQ(req.path, "/leadbolt/api/ad_feed");
        EXPECT_EQ(req.headers["content-type"], "application/json");
        std::string w = c.icons ? "50" : "320";
        std::set<std::string> expected{"pf=1", "os_ver=7.1", "dev_mnf=Apple", "client_ip=127.0.0.1",
                                       "user_agent=Mozilla%2F5.0%20%28Test%3B%20%22quoted%22%29%20Safari",
                                       "section_id=889", "secret_key=k3Y", "width=" + w, "height=50", "lang=en",
                                       std::string("format=") + c.format};
        EXPECT_EQ(querySet(req.query), expected);
        EXPECT_EQ(req.query.rfind("pf=1&", 0), 0u);
        std::string page = m.displayHTML();
        EXPECT_EQ(page.rfind("<p>top</p>", 0), 0u);
        EXPECT_NE(page.find("<p>end</p>"), std::string::npos);
        // The block's content gives way to the answer; its tags stay.
        EXPECT_EQ(page.find("section_id"), std::string::npos);
        EXPECT_NE(page.find("<leadbolt>"), std::string::npos);
    }
    env.device->adId = kAdId;
    ADKSLeadboltAPIManager m;
    Done<ADKSLeadboltAPIManager> done;
    done.attach(m);
    m.setAdTag("<leadbolt>width:\"1\" height:\"2\"</leadbolt>");
    m.leadboltLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
    EXPECT_EQ(querySet(service.requests("leadbolt").back().query).count(std::string("devad_id=") + kAdId), 1u);
}

TEST_F(NetworkRequests, LeadboltPagesFromEachKindOfAnswer) {
    const std::string tag = "<b>before</b><leadbolt>width:\"50\" height:\"50\"</leadbolt><b>after</b>";
    struct Case {
        const char* name;
        std::string answer;
        std::string page;
    } cases[] = {
        {"two icons",
         R"([{"clk_url":"http://a/1","title":"One","src_url":"http://a/1.png"},{"clk_url":"http://a/2","title":"Two","src_url":"http://a/2.png"}])",
         "<b>before</b><leadbolt><a class=\"adk_icon\" target=\"_blank\" href=\"http://a/1\"><img title=\"One\" alt=\"\" "
         "src=\"http://a/1.png\"><span class=\"adk_icon_title\"> One </span></a><a class=\"adk_icon\" "
         "target=\"_blank\" href=\"http://a/2\"><img title=\"Two\" alt=\"\" src=\"http://a/2.png\"><span "
         "class=\"adk_icon_title\"> Two </span></a></leadbolt><b>after</b>"},
        {"no icons", "[]", "<b>before</b><leadbolt></leadbolt><b>after</b>"},
        {"not an array", R"({"clk_url":"x"})", ""},
        {"hostile values",
         R"([{"clk_url":"\"><script>x()</script>","title":"<img onerror=1>","src_url":"a' b"}])",
         "<b>before</b><leadbolt><a class=\"adk_icon\" target=\"_blank\" href=\"&quot;&gt;&lt;script&gt;x()&lt;/script&gt;\">"
         "<img title=\"&lt;img onerror=1&gt;\" alt=\"\" src=\"a&apos; b\"><span class=\"adk_icon_title\"> "
         "&lt;img onerror=1&gt; </span></a></leadbolt><b>after</b>"},
    };
    for (const auto& c : cases) {
        service.setAnswer("leadbolt", c.answer);
        ADKSLeadboltAPIManager m;
        Done<ADKSLeadboltAPIManager> done;
        done.attach(m);
        m.setAdTag(tag);
        m.leadboltLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; })) << c.name;
        EXPECT_EQ(m.displayHTML(), c.page) << c.name;
    }
}

TEST_F(NetworkRequests, LeadboltNeverShowsThePreviousAdsAnswer) {
    ADKSLeadboltAPIManager m;
    Done<ADKSLeadboltAPIManager> done;
    done.attach(m);
    m.setAdTag("<leadbolt>width:\"320\" height:\"50\"</leadbolt>");
    m.leadboltLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
    ASSERT_NE(m.apiHtmlTag(), "");
    // The address is known now, so the next load completes on the spot.
    m.setAdTag("<i>new</i><leadbolt>height:\"50\"</leadbolt>");
    m.leadboltLoadApi();
    EXPECT_EQ(done.calls, 2);
    EXPECT_EQ(m.apiHtmlTag(), "");
    EXPECT_EQ(m.displayHTML(), "<i>new</i><leadbolt></leadbolt>");
    EXPECT_TRUE(m.errorStr());
    EXPECT_FALSE(m.isLoading());
    m.setAdTag("<i>no block</i>");
    m.leadboltLoadApi();
    EXPECT_EQ(done.calls, 3);
    EXPECT_EQ(m.displayHTML(), "<i>no block</i>");
    EXPECT_EQ(service.count("leadbolt"), 1);
}

TEST_F(NetworkRequests, GameFeatRequestAndPages) {
    auto e = entity({{"site_id", 1234}, {"u", "GameFeat/1.0\r\nX-Evil: 1"}}, "1065");
    ADKSGameFeatAPIManger m;
    Done<ADKSGameFeatAPIManger> done;
    done.attach(m);
    m.setEntity(e);
    m.setAdsize(15);
    m.mmediaLoadApi();
    m.mmediaLoadApi();  // ignored while loading
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
    ASSERT_EQ(service.count("gamefeat"), 1);
    auto req = service.requests("gamefeat")[0];
    EXPECT_EQ(req.path, "/gamefeat/webapi/v1/requestCustomAds/");
    EXPECT_EQ(req.query, "adid=1234&adsize=15&os=ios");
    EXPECT_EQ(req.headers["user-agent"], "GameFeat/1.0X-Evil: 1");
    EXPECT_EQ(req.headers.count("x-evil"), 0u);
    EXPECT_EQ(req.headers["content-type"], "application/x-www-form-urlencoded");
    EXPECT_EQ(m.adid(), 1234);
    EXPECT_EQ(m.apiHtmlTag(),
              adks::whitePage("<a href=\"" + service.origin() + "/house/network\"><img src=\"" + service.origin() +
                              "/img/network.svg\" width=\"100%\">"));

    struct Case {
        const char* answer;
        const char* content;
    } cases[] = {
        {R"({"url":"\"><script>alert(1)</script>","img":"x\" onerror=\"y"})",
         "<a href=\"&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\"><img src=\"x&quot; onerror=&quot;y\" width=\"100%\">"},
        {"[1,2]", "<a href=\"\"><img src=\"\" width=\"100%\">"},
        {R"({"url":5})", "<a href=\"\"><img src=\"\" width=\"100%\">"},
    };
    for (const auto& c : cases) {
        service.setAnswer("gamefeat", c.answer);
        m.mmediaLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return !m.isLoading(); }));
        EXPECT_EQ(m.apiHtmlTag(), adks::whitePage(c.content)) << c.answer;
    }

    // Without a site id it still completes, with no page, and is not busy.
    ADKSGameFeatAPIManger none;
    Done<ADKSGameFeatAPIManger> noneDone;
    noneDone.attach(none);
    none.setEntity(entity(json::object(), "1065"));
    none.mmediaLoadApi();
    EXPECT_EQ(noneDone.calls, 1);
    EXPECT_EQ(none.apiHtmlTag(), "");
    EXPECT_FALSE(none.isLoading());
    EXPECT_EQ(ADKSGameFeatAPIManger().adsize(), 10);
}

TEST_F(NetworkRequests, MillennialMediaRequestNeedsAnAdvertisingId) {
    ADKSMMediaAPIManager m;
    Done<ADKSMMediaAPIManager> done;
    done.attach(m);
    m.setEntity(entity({{"placement_apid", "203888"}}, "1060"));
    m.mmediaLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 1; }));
    EXPECT_EQ(service.count("mmedia"), 0);  // tracking is off: no request
    EXPECT_EQ(m.apiHtmlTag(), "");
    EXPECT_FALSE(m.isLoading());

    env.device->adId = kAdId;
    service.setAnswer("mmedia", "<div>mm ad</div>");
    m.mmediaLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return done.calls == 2; }));
    ASSERT_EQ(service.count("mmedia"), 1);
    auto req = service.requests("mmedia")[0];
    EXPECT_EQ(req.method, "GET");
    EXPECT_EQ(req.path, "/mmedia/getAd");
    std::string md5 = ADKSMMediaAPIManager::md5WithString(kAdId), sha1 = ADKSMMediaAPIManager::sha1WithString(kAdId);
    EXPECT_EQ(md5.size(), 32u);
    EXPECT_EQ(sha1.size(), 40u);
    EXPECT_EQ(md5.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(ADKSMMediaAPIManager::md5WithString("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(req.query, "apid=203888&ate=true&mmdid=mmh_" + md5 + "_" + sha1 +
                             "&ua=Mozilla%2F5.0%20%28Test%3B%20%22quoted%22%29%20Safari&uip=127.0.0.1");
    EXPECT_EQ(m.apiHtmlTag(), adks::whitePage("<div>mm ad</div>"));

    // The placement id from the tag when there is no entity; a hostile
    // relay address is escaped into the query.
    service.setAnswer("relay", R"({"ip":"1.2.3.4&apid=evil"})");
    ADKSMMediaAPIManager t;
    Done<ADKSMMediaAPIManager> tDone;
    tDone.attach(t);
    t.setAdTag("<script src=\"" + service.mmediaScriptBase() + "/mmadlib/v1/mmadlib.js\"></script> apid : \"p77\"");
    t.mmediaLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return tDone.calls == 1; }));
    auto q = querySet(service.requests("mmedia").back().query);
    EXPECT_EQ(q.count("apid=p77"), 1u);
    EXPECT_EQ(q.count("uip=1.2.3.4%26apid%3Devil"), 1u);

    // No placement id: completes with no page.
    ADKSMMediaAPIManager p;
    Done<ADKSMMediaAPIManager> pDone;
    pDone.attach(p);
    p.setAdTag("apid : \"p77\"");
    p.mmediaLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return pDone.calls == 1; }));
    EXPECT_EQ(p.apiHtmlTag(), "");
    EXPECT_TRUE(p.errorStr());
    EXPECT_EQ(service.count("mmedia"), 2);
}

TEST_F(NetworkRequests, CancelledBuildersCallNobody) {
    service.setFault("inmobi", {adservice::Fault::Stall, 0});
    ADKSInMobiAPIManager m;
    Done<ADKSInMobiAPIManager> done;
    done.attach(m);
    m.setAdTag(inmobiTag());
    m.inmobiLoadApi();
    ASSERT_TRUE(pumpUntil([&] { return service.stalledCount() == 1; }));
    m.cancel();
    env.clock->advance(10);
    testloop::pumpFor(50);
    EXPECT_EQ(done.calls, 0);
    EXPECT_FALSE(m.isLoading());
}

// Hostile text in every place where the configuration, the address relay
// or the device hands a builder a value: each request carries it escaped,
// whole and as one value; a value too long for a request line or header
// sends nothing and fails the load at once.
TEST_F(NetworkRequests, HostileValuesReachEveryRequestEscaped) {
    struct Case {
        const char* name;
        std::string value;
        bool fits;
    } cases[] = {
        {"markup and quotes", "\"><script>alert('x')</script>", true},
        {"query syntax", "a&apid=evil#frag?x=1;y=2+3%2F..%2F", true},
        {"header break", "GameFeat/1.0\r\nX-Evil: 1", true},
        {"attribute", "<img src=x onerror=\"y\">", true},
        {"NUL", std::string("nul\0&uip=evil", 13), true},
        {"UTF-8 and controls", "\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0 \xe2\x80\xa8 tab\there\x7f", true},
        {"empty", "", true},
        {"too long", std::string(16 * 1024, '<'), false},
    };
    env.device->adId = kAdId;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string& h = c.value;
        std::string oneLine;  // a header keeps no control characters
        for (char ch : h) {
            if (static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F) oneLine += ch;
        }
        service.setAnswer("relay", json{{"ip", h}}.dump());
        env.device->ua = h;
        const int before = service.count("gamefeat");

        ADKSGameFeatAPIManger g;
        Done<ADKSGameFeatAPIManger> gDone;
        gDone.attach(g);
        json param{{"site_id", "12" + h}, {"u", h}};
        auto e = entity(param, "1065");
        g.setEntity(e);
        g.mmediaLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return gDone.calls == 1; }));

        ADKSMMediaAPIManager m;
        Done<ADKSMMediaAPIManager> mDone;
        mDone.attach(m);
        m.setEntity(entity({{"placement_apid", h}}, "1060"));
        m.mmediaLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return mDone.calls == 1; }));

        ADKSInMobiAPIManager i;
        Done<ADKSInMobiAPIManager> iDone;
        iDone.attach(i);
        i.setAdTag(inmobiTag());
        i.inmobiLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return iDone.calls == 1; }));
        auto body = json::parse(service.requests("inmobi").back().body);
        EXPECT_EQ(body["device"]["ip"], h);  // a JSON body has no line to overflow
        EXPECT_EQ(body["device"]["ua"], h);
        EXPECT_EQ(body["site"]["id"], "abc123");

        ADKSLeadboltAPIManager l;
        Done<ADKSLeadboltAPIManager> lDone;
        lDone.attach(l);
        l.setAdTag("<leadbolt>width:\"320\" height:\"50\"</leadbolt>");
        l.leadboltLoadApi();
        ASSERT_TRUE(pumpUntil([&] { return lDone.calls == 1; }));

        if (!c.fits) {
            EXPECT_EQ(service.count("gamefeat"), before);
            EXPECT_EQ(service.count("mmedia"), before);
            EXPECT_EQ(service.count("leadbolt"), before);
            EXPECT_TRUE(g.errorStr() && m.errorStr() && l.errorStr());
            EXPECT_EQ(g.apiHtmlTag() + m.apiHtmlTag() + l.apiHtmlTag(), "");
            EXPECT_FALSE(g.isLoading() || m.isLoading() || l.isLoading());
            continue;
        }
        for (const char* route : {"gamefeat", "mmedia", "leadbolt"}) EXPECT_EQ(service.count(route), before + 1);
        auto gReq = service.requests("gamefeat").back();
        EXPECT_EQ(gReq.query, "adid=12&adsize=10&os=ios");
        EXPECT_EQ(gReq.headers["user-agent"], oneLine);
        EXPECT_EQ(gReq.headers.count("x-evil"), 0u);
        auto mQuery = decodedQuery(service.requests("mmedia").back().query);
        EXPECT_EQ(mQuery.size(), 5u);
        EXPECT_EQ(valueIn(mQuery, "apid"), h);
        EXPECT_EQ(valueIn(mQuery, "ua"), h);
        EXPECT_EQ(valueIn(mQuery, "uip"), h);
        auto lQuery = decodedQuery(service.requests("leadbolt").back().query);
        // An empty value is left out of the feed query.
        EXPECT_EQ(lQuery.size(), h.empty() ? 7u : 9u);
        EXPECT_EQ(valueIn(lQuery, "client_ip"), h.empty() ? "(none)" : h);
        EXPECT_EQ(valueIn(lQuery, "user_agent"), h.empty() ? "(none)" : h);
        EXPECT_EQ(valueIn(lQuery, "format"), "xhtml");
    }
}
