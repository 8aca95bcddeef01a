// The platform's Foundation stand-ins: URL connections against a libsoup
// server on 127.0.0.1, timers on a driven clock, user defaults on disk,
// digests and escaping.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/ns/NSDeviceFacts.h"
#include "platform/ns/NSTimer.h"
#include "platform/ns/NSURLConnection.h"
#include "platform/ns/NSUserDefaults.h"
#include "tests/support/main_loop.h"
#include "tests/support/soup_server.h"

using namespace KelpaPlatform;
using testloop::ManualClock;
using testloop::pumpUntil;

namespace {

// The test server on the main context with a few fixed answers, and what
// the last request brought.
class Server {
public:
    Server() {
        using souptest::Reply;
        answer("/ok", [](Reply& a) { a.respond(200, "hello", {{"Content-Type", "text/plain"}}); });
        answer("/stall", [](Reply& a) { a.respondWhenReleased("never", 200, ""); });
        // Promises 1000 bytes, sends 10 and hangs up.
        answer("/broken", [](Reply& a) { a.respondPart(200, 1000, "0123456789", true); });
        answer("/missing", [](Reply& a) { a.respond(404, ""); });
        server_.startHere();
    }
    std::string url(const std::string& path) const { return server_.url(path); }

    std::string lastMethod, lastBody, lastContentType, lastUserAgent;
    int requests = 0;

private:
    void answer(const std::string& path, std::function<void(souptest::Reply&)> fn) {
        server_.on(path, [this, fn](const souptest::Request& r, souptest::Reply& a) {
            requests++;
            lastMethod = r.method;
            lastBody = r.body;
            lastContentType = r.header("content-type");
            lastUserAgent = r.header("user-agent");
            fn(a);
        });
    }

    souptest::Server server_;
};

struct Recorder : NSURLConnectionDelegate {
    std::vector<std::string> events;
    std::string body;
    bool cancelOnResponse = false;
    std::unique_ptr<NSURLConnection>* owner = nullptr;

    void connectionDidReceiveResponse(NSURLConnection* c, int status) override {
        events.push_back("response " + std::to_string(status));
        if (cancelOnResponse) {
            c->cancel();
            if (owner) owner->reset();  // dropped from inside its own call
        }
    }
    void connectionDidReceiveData(NSURLConnection*, const char* b, size_t n) override { body.append(b, n); }
    void connectionDidFinishLoading(NSURLConnection*) override { events.push_back("finish"); }
    void connectionDidFailWithError(NSURLConnection*, const std::string& text) override {
        events.push_back("fail " + text);
    }
    bool ended() const {
        return !events.empty() && (events.back() == "finish" || events.back().rfind("fail", 0) == 0);
    }
};

}  // namespace

TEST(NSURLConnection, DeliversStatusBodyAndEndOnceEach) {
    Server server;
    struct Case {
        const char* path;
        std::vector<std::string> events;
        const char* body;
    } cases[] = {
        {"/ok", {"response 200", "finish"}, "hello"},
        {"/missing", {"response 404", "finish"}, ""},
    };
    for (const auto& c : cases) {
        Recorder r;
        NSURLRequest req;
        req.url = server.url(c.path);
        req.timeoutInterval = 5;
        NSURLConnection conn(req, &r);
        conn.start();
        ASSERT_TRUE(pumpUntil([&] { return r.ended(); })) << c.path;
        EXPECT_EQ(r.events, c.events) << c.path;
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(server.lastMethod, "GET");
    }
}

TEST(NSURLConnection, SendsMethodHeadersAndBody) {
    Server server;
    Recorder r;
    NSURLRequest req;
    req.url = server.url("/ok");
    req.httpMethod = "POST";
    req.httpBody = "{\"a\":1}";
    req.setValueForHTTPHeaderField("application/json", "Content-Type");
    req.setValueForHTTPHeaderField("agent/1", "User-Agent");
    NSURLConnection conn(req, &r);
    conn.start();
    ASSERT_TRUE(pumpUntil([&] { return r.ended(); }));
    EXPECT_EQ(server.lastMethod, "POST");
    EXPECT_EQ(server.lastBody, "{\"a\":1}");
    EXPECT_EQ(server.lastContentType, "application/json");
    EXPECT_EQ(server.lastUserAgent, "agent/1");
}

TEST(NSURLConnection, FailuresEndTheTransfer) {
    Server server;
    auto clock = std::make_shared<ManualClock>();
    {  // A body broken off mid-transfer is a failure, not a finish.
        Recorder r;
        NSURLConnection conn(NSURLRequest(server.url("/broken")), &r, clock);
        conn.start();
        ASSERT_TRUE(pumpUntil([&] { return r.ended(); }));
        ASSERT_EQ(r.events.size(), 2u);
        EXPECT_EQ(r.events[0], "response 200");
        EXPECT_EQ(r.events[1].rfind("fail", 0), 0u);
    }
    {  // A stalled server times out on the clock, whatever the real time.
        Recorder r;
        NSURLRequest req(server.url("/stall"));
        req.timeoutInterval = 10;
        NSURLConnection conn(req, &r, clock);
        conn.start();
        ASSERT_TRUE(pumpUntil([&] { return server.requests >= 2; }));
        clock->advance(9.9);
        EXPECT_TRUE(r.events.empty());
        clock->advance(0.2);
        EXPECT_EQ(r.events, std::vector<std::string>{"fail The request timed out."});
    }
    {  // Nobody listens on a closed port.
        Recorder r;
        NSURLConnection conn(NSURLRequest("http://127.0.0.1:1/x"), &r, clock);
        conn.start();
        ASSERT_TRUE(pumpUntil([&] { return r.ended(); }));
        EXPECT_EQ(r.events.size(), 1u);
        EXPECT_EQ(r.events[0].rfind("fail", 0), 0u);
    }
    {  // Not a URL at all.
        Recorder r;
        NSURLConnection conn(NSURLRequest("::not a url"), &r, clock);
        conn.start();
        ASSERT_TRUE(pumpUntil([&] { return r.ended(); }));
        EXPECT_EQ(r.events, std::vector<std::string>{"fail unsupported URL"});
    }
}

TEST(NSURLConnection, CancelledConnectionStaysSilent) {
    Server server;
    Recorder r;
    r.cancelOnResponse = true;
    auto conn = std::make_unique<NSURLConnection>(NSURLRequest(server.url("/ok")), &r);
    r.owner = &conn;
    conn->start();
    ASSERT_TRUE(pumpUntil([&] { return !r.events.empty(); }));
    testloop::pumpFor(100);
    EXPECT_EQ(r.events, std::vector<std::string>{"response 200"});
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(conn, nullptr);

    Recorder r2;
    NSURLConnection stalled(NSURLRequest(server.url("/stall")), &r2);
    stalled.start();
    testloop::pumpFor(50);
    stalled.cancel();
    testloop::pumpFor(50);
    EXPECT_TRUE(r2.events.empty());
}

TEST(NSTimer, FiresOnceUnlessInvalidated) {
    auto clock = std::make_shared<ManualClock>();
    int fired = 0;
    auto t1 = NSTimer::scheduledTimer(clock, 0.25, [&](NSTimer* t) {
        ++fired;
        EXPECT_FALSE(t->isValid());
    });
    auto t2 = NSTimer::scheduledTimer(clock, 0.25, [&](NSTimer*) { fired += 100; });
    EXPECT_DOUBLE_EQ(t1->fireDate(), clock->now() + 0.25);
    t2->invalidate();
    clock->advance(0.2);
    EXPECT_EQ(fired, 0);
    clock->advance(1);
    EXPECT_EQ(fired, 1);
    clock->advance(1);
    EXPECT_EQ(fired, 1);
    // Dropping the last reference cancels it as well.
    NSTimer::scheduledTimer(clock, 1, [&](NSTimer*) { fired += 10; });
    clock->advance(2);
    EXPECT_EQ(fired, 1);
}

TEST(NSTimer, SystemClockRunsOnTheMainContext) {
    int fired = 0;
    auto t = NSTimer::scheduledTimer(Clock::system(), 0.01, [&](NSTimer*) { ++fired; });
    EXPECT_EQ(fired, 0);  // never on the spot
    ASSERT_TRUE(pumpUntil([&] { return fired == 1; }, 2000));
}

TEST(NSUserDefaults, KeepsValuesAcrossInstancesAndOddKeys) {
    auto dir = std::filesystem::temp_directory_path() / ("ns-defaults-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::string path = (dir / "sub" / "defaults.ini").string();
    {
        NSUserDefaults d(path);
        EXPECT_FALSE(d.stringForKey("AdkasaSDK_Device_Id"));
        d.setString("AdkasaSDK_Device_Id", "dev=1\n[x]");
        d.setDate("AdkasaSDK_Next_Update_Date_a/b c", 1234.5);
        d.setInteger("AdkasaDispNum[1]", 7);
        ASSERT_TRUE(d.synchronize());
    }
    {
        NSUserDefaults d(path);
        EXPECT_EQ(d.stringForKey("AdkasaSDK_Device_Id"), "dev=1\n[x]");
        EXPECT_EQ(d.dateForKey("AdkasaSDK_Next_Update_Date_a/b c"), 1234.5);
        EXPECT_EQ(d.integerForKey("AdkasaDispNum[1]"), 7);
        EXPECT_FALSE(d.dateForKey("AdkasaSDK_Device_Id"));
        d.removeObjectForKey("AdkasaDispNum[1]");
        EXPECT_FALSE(d.integerForKey("AdkasaDispNum[1]"));
    }
    {  // A broken file starts empty rather than failing.
        std::ofstream(path) << "\x01\x02 not a key file [";
        NSUserDefaults d(path);
        EXPECT_FALSE(d.stringForKey("AdkasaSDK_Device_Id"));
        d.setString("k", "v");
        EXPECT_TRUE(d.synchronize());
        EXPECT_EQ(NSUserDefaults(path).stringForKey("k"), "v");
    }
    std::filesystem::remove_all(dir);
}

TEST(DeviceFacts, DigestsEscapingAndLocale) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(percentEscape("aZ09-._~!*'();:@&=+$,/?%#[] \xC3\xA9"),
              "aZ09-._~%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20%C3%A9");
    EXPECT_EQ(percentEscape(std::string("a\0&b", 4)), "a%00%26b");
    DeviceFacts facts;
    std::string id = facts.currentLocaleIdentifier();
    EXPECT_EQ(id.find('.'), std::string::npos) << id;
    EXPECT_FALSE(facts.preferredLanguages().empty());
    EXPECT_FALSE(facts.advertisingIdentifier());
    // Without a display there are no web views and no user agent; this
    // must not abort.
    EXPECT_EQ(facts.webUserAgent(), "");
}
