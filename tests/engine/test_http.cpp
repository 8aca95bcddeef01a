// ctest-label: threads
// test-links: kelpa_ios
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ios/HttpImp.h"
#include "tests/support/soup_server.h"

using namespace KelpaEngine;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 6_0 like Mac OS X) AppleWebKit/536.26 (KHTML, like Gecko) Version/6.0 "
    "Mobile/10A403 Safari/8536.25";

struct Call {
    bool success = false;
    int32_t code = 0;
    bool hadData = false;
    bool terminated = false;  // a NUL right after the data
    std::string data;
    int32_t length = 0;
    std::thread::id thread;
};

// Collects the callbacks of one request.
class Outcome {
public:
    static void onSuccess(int32_t code, const char* data, int32_t length, void* context) {
        static_cast<Outcome*>(context)->record(true, code, data, length);
    }
    static void onFailure(int32_t code, const char* data, int32_t length, void* context) {
        static_cast<Outcome*>(context)->record(false, code, data, length);
    }

    bool waitCalls(size_t n, int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return calls_.size() >= n; });
    }
    std::vector<Call> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    // Runs inside the callback, before it is recorded.
    std::function<void()> during;

private:
    void record(bool success, int32_t code, const char* data, int32_t length) {
        if (during) during();
        Call c;
        c.success = success;
        c.code = code;
        c.hadData = data != nullptr;
        if (data) {
            c.data.assign(data, static_cast<size_t>(length));
            c.terminated = data[length] == '\0';
        }
        c.length = length;
        c.thread = std::this_thread::get_id();
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(c);
        cv_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Call> calls_;
};

// Waits until at most `count` request workers are left running.
bool workersAtMost(int32_t count, int ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (iOS::HttpImp::liveWorkers() > count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string patternBytes(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        large_ = patternBytes(6 << 20);
        server.on("/status", [](const souptest::Request& r, souptest::Reply& a) {
            int code = static_cast<int>(r.queryInt("code", 200));
            a.respond(code, r.queryInt("empty", 0) ? "" : "answer " + std::to_string(code));
        });
        server.on("/large", [this](const souptest::Request&, souptest::Reply& a) { a.respond(200, large_); });
        server.on("/echo", [](const souptest::Request&, souptest::Reply& a) { a.respond(200, "echo"); });
        server.on("/hop", [this](const souptest::Request& r, souptest::Reply& a) {
            long n = r.queryInt("n", 0);
            if (n <= 0) {
                a.respond(200, "arrived");
            } else {
                a.respond(302, "moved", {{"Location", server.url("/hop?n=" + std::to_string(n - 1))}});
            }
        });
        server.on("/loop", [](const souptest::Request&, souptest::Reply& a) {
            a.respond(302, "again", {{"Location", "/loop"}});
        });
        server.on("/to-file", [](const souptest::Request&, souptest::Reply& a) {
            a.respond(302, "moved", {{"Location", "file:///etc/passwd"}});
        });
        server.on("/to-ftp", [this](const souptest::Request&, souptest::Reply& a) {
            a.respond(302, "moved", {{"Location", "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x"}});
        });
        server.on("/slow", [](const souptest::Request& r, souptest::Reply& a) {
            a.respondAfter(static_cast<int>(r.queryInt("ms", 0)), 200, "late");
        });
        server.on("/stall", [](const souptest::Request&, souptest::Reply& a) {
            a.respondPart(200, 1000, std::string(100, 's'), false);
        });
        server.on("/short", [](const souptest::Request&, souptest::Reply& a) {
            a.respondPart(200, 100000, std::string(1000, 'p'), true);
        });
        server.on("/broken-chunks", [](const souptest::Request&, souptest::Reply& a) {
            a.respondChunkedThenRaw(200, "5\r\nfirst\r\n10\r\nonly-part");
        });
        server.on("/gate", [](const souptest::Request& r, souptest::Reply& a) {
            std::string name = r.query.substr(r.query.find('=') + 1);
            // Only a release (or the end of the test) opens the gate.
            a.respondWhenReleased(name, 200, "gate " + name);
        });
        ASSERT_TRUE(server.start());
        http.reset(iOS::HttpImp::create(nullptr));
        ASSERT_TRUE(http);
        HttpShadow::Limits limits;
        limits.connectTimeoutMs = 2000;
        limits.totalTimeoutMs = 20000;
        http->setLimits(limits);
    }

    void TearDown() override {
        http.reset();
        EXPECT_TRUE(workersAtMost(0, 10000));
        server.stop();
    }

    // Runs one request to its end; returns its callbacks.
    std::vector<Call> run(int32_t method, const std::string& url, const char* body = nullptr) {
        Outcome out;
        http->request(method, url.c_str(), body, &Outcome::onSuccess, &Outcome::onFailure, &out);
        EXPECT_TRUE(out.waitCalls(1, 10000)) << url;
        EXPECT_TRUE(workersAtMost(0, 10000));
        EXPECT_FALSE(http->isBusy());
        return out.calls();
    }
    Call runOne(int32_t method, const std::string& url, const char* body = nullptr) {
        std::vector<Call> calls = run(method, url, body);
        EXPECT_EQ(calls.size(), 1u) << url;
        return calls.empty() ? Call() : calls[0];
    }

    void setLimits(int32_t totalMs, int32_t redirects, uint64_t maxBody = 0x7FFFFFFE) {
        HttpShadow::Limits limits;
        limits.connectTimeoutMs = 2000;
        limits.totalTimeoutMs = totalMs;
        limits.maxRedirects = redirects;
        limits.maxBodyBytes = maxBody;
        http->setLimits(limits);
    }

    souptest::Server server;
    std::unique_ptr<iOS::HttpImp> http;
    std::string large_;
};

TEST_F(HttpTest, OnlyA200GoesToSuccess) {
    struct Row {
        const char* target;
        bool success;
        int32_t code;
        const char* data;  // null: no data at all
    } rows[] = {
        {"/status?code=200", true, 200, "answer 200"},
        {"/status?code=200&empty=1", true, 200, nullptr},
        {"/status?code=404", false, 404, "answer 404"},
        {"/status?code=500", false, 500, "answer 500"},
        {"/status?code=201", false, 201, "answer 201"},
        {"/status?code=204&empty=1", false, 204, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        Call c = runOne(Http::kGet, server.url(row.target));
        EXPECT_EQ(c.success, row.success);
        EXPECT_EQ(c.code, row.code);
        EXPECT_EQ(c.hadData, row.data != nullptr);
        EXPECT_EQ(c.data, row.data ? row.data : "");
        EXPECT_EQ(c.length, static_cast<int32_t>(c.data.size()));
        if (c.hadData) {
            EXPECT_TRUE(c.terminated);
        }
        EXPECT_NE(c.thread, std::this_thread::get_id());
    }
}

TEST_F(HttpTest, LargeBodyArrivesWhole) {
    Call c = runOne(Http::kGet, server.url("/large"));
    EXPECT_TRUE(c.success);
    ASSERT_EQ(c.length, static_cast<int32_t>(large_.size()));
    EXPECT_TRUE(c.data == large_);
    EXPECT_TRUE(c.terminated);
}

// Standard input replaced by a pipe holding bytes a request must not send.
class StdinTrap {
public:
    StdinTrap() {
        int fds[2];
        if (pipe(fds) != 0) return;
        ssize_t w = write(fds[1], kBait, std::strlen(kBait));
        (void)w;
        close(fds[1]);
        saved_ = dup(0);
        dup2(fds[0], 0);
        reader_ = fds[0];
    }
    ~StdinTrap() {
        if (saved_ >= 0) {
            dup2(saved_, 0);
            close(saved_);
        }
        if (reader_ >= 0) close(reader_);
    }
    // True when the bait is still unread.
    bool untouched() {
        fcntl(reader_, F_SETFL, O_NONBLOCK);
        char buf[64] = {};
        ssize_t n = read(reader_, buf, sizeof buf - 1);
        return n == static_cast<ssize_t>(std::strlen(kBait)) && std::strcmp(buf, kBait) == 0;
    }
    static constexpr const char* kBait = "FROM-STANDARD-INPUT";

private:
    int saved_ = -1;
    int reader_ = -1;
};

TEST_F(HttpTest, EachMethodSendsItsBodyAndTheUserAgent) {
    struct Row {
        int32_t method;
        const char* body;
        const char* wire;      // method on the wire
        const char* sent;      // body the server got
        const char* length;    // its Content-Length header ("" when none)
    } rows[] = {
        {Http::kGet, nullptr, "GET", "", ""},
        {Http::kGet, "ignored", "GET", "", ""},
        {Http::kPost, "a=1&b=two", "POST", "a=1&b=two", "9"},
        {Http::kPost, nullptr, "POST", "", "0"},
        {Http::kPut, "put-body", "PUT", "put-body", "8"},
        {Http::kPut, nullptr, "PUT", "", "0"},
        {Http::kDelete, nullptr, "DELETE", "", ""},
        {Http::kDelete, "ignored", "DELETE", "", ""},
    };
    StdinTrap trap;
    size_t seen = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.wire) + (row.body ? " with body" : " without body"));
        Call c = runOne(row.method, server.url("/echo"), row.body);
        EXPECT_TRUE(c.success);
        EXPECT_EQ(c.data, "echo");
        std::vector<souptest::Request> log = server.requests();
        ASSERT_EQ(log.size(), ++seen);
        const souptest::Request& got = log.back();
        EXPECT_EQ(got.method, row.wire);
        EXPECT_EQ(got.body, row.sent);
        EXPECT_EQ(got.header("content-length"), row.length);
        EXPECT_EQ(got.header("user-agent"), kUserAgent);
    }
    EXPECT_TRUE(trap.untouched());
}

TEST_F(HttpTest, RedirectsAreBoundedAndStayOnTheWeb) {
    setLimits(20000, 3);
    std::string ftp = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x";
    struct Row {
        std::string url;
        bool success;
        int32_t code;
    } rows[] = {
        {server.url("/hop?n=3"), true, 200},
        {server.url("/hop?n=4"), false, 302},
        {server.url("/loop"), false, 302},
        {server.url("/to-file"), false, 302},
        {server.url("/to-ftp"), false, 302},
        {"file:///etc/passwd", false, 0},
        {ftp, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        Call c = runOne(Http::kGet, row.url);
        EXPECT_EQ(c.success, row.success);
        EXPECT_EQ(c.code, row.code);
        EXPECT_EQ(c.data.find("root:"), std::string::npos);
        if (row.success) {
            EXPECT_EQ(c.data, "arrived");
        }
    }
    // The bounded loop stopped after the allowed hops: 1 + 3 redirects.
    size_t loops = 0;
    for (const auto& r : server.requests()) loops += r.path == "/loop";
    EXPECT_EQ(loops, 4u);
    // Neither refused redirect reached the server again.
    for (const auto& r : server.requests()) EXPECT_NE(r.path, "/x");
}

TEST_F(HttpTest, SlowAnswersAndTheTimeout) {
    // Generous against a loaded machine, yet far below the server's stalls.
    setLimits(1500, 10);
    struct Row {
        const char* target;
        bool success;
        int32_t code;
        std::string data;
    } rows[] = {
        {"/slow?ms=50", true, 200, "late"},
        {"/slow?ms=30000", false, 0, ""},
        // Headers and part of the body, then silence.
        {"/stall", false, 200, std::string(100, 's')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        auto start = Clock::now();
        Call c = runOne(Http::kGet, server.url(row.target));
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_EQ(c.success, row.success);
        EXPECT_EQ(c.code, row.code);
        EXPECT_EQ(c.data, row.data);
        EXPECT_LT(took, 15000);
    }
}

TEST_F(HttpTest, ClosedPortFailsWithoutData) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    close(fd);  // bound but never listening: nothing answers there
    Call c = runOne(Http::kGet, "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/");
    EXPECT_FALSE(c.success);
    EXPECT_EQ(c.code, 0);
    EXPECT_FALSE(c.hadData);
    EXPECT_EQ(c.length, 0);
}

TEST_F(HttpTest, BrokenOrRefusedTransfersFail) {
    struct Row {
        const char* target;
        uint64_t maxBody;
        size_t atMost;  // received bytes reported, at most
    } rows[] = {
        {"/short", 0x7FFFFFFE, 1000},         // closed before Content-Length
        {"/broken-chunks", 0x7FFFFFFE, 100},  // closed inside a chunk
        {"/large", 1000, 1000},               // refused while receiving
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        setLimits(20000, 10, row.maxBody);
        Call c = runOne(Http::kGet, server.url(row.target));
        EXPECT_FALSE(c.success);
        EXPECT_EQ(c.code, 200);
        EXPECT_LE(c.data.size(), row.atMost);
        EXPECT_EQ(c.length, static_cast<int32_t>(c.data.size()));
    }
}

TEST_F(HttpTest, SecondRequestCancelsTheFirst) {
    Outcome first, second;
    http->request(Http::kGet, server.url("/gate?name=a").c_str(), nullptr, &Outcome::onSuccess,
                  &Outcome::onFailure, &first);
    ASSERT_TRUE(server.waitForRequests(1, 10000));
    EXPECT_TRUE(http->isBusy());
    http->request(Http::kGet, server.url("/gate?name=b").c_str(), nullptr, &Outcome::onSuccess,
                  &Outcome::onFailure, &second);
    EXPECT_TRUE(http->isBusy());
    // The cancelled transfer ends without waiting for its answer.
    EXPECT_TRUE(workersAtMost(1, 10000));
    ASSERT_TRUE(server.waitForRequests(2, 10000));
    server.release("a");
    EXPECT_TRUE(http->isBusy());
    server.release("b");
    ASSERT_TRUE(second.waitCalls(1, 10000));
    EXPECT_TRUE(workersAtMost(0, 10000));
    EXPECT_FALSE(http->isBusy());
    EXPECT_TRUE(first.calls().empty());
    std::vector<Call> calls = second.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].success);
    EXPECT_EQ(calls[0].data, "gate b");
}

TEST_F(HttpTest, DeletingTheBridgeSilencesItsRequest) {
    Outcome out;
    http->request(Http::kPost, server.url("/gate?name=c").c_str(), "x=1", &Outcome::onSuccess, &Outcome::onFailure,
                  &out);
    ASSERT_TRUE(server.waitForRequests(1, 10000));
    http.reset();
    server.release("c");
    EXPECT_TRUE(workersAtMost(0, 10000));
    EXPECT_TRUE(out.calls().empty());
}

TEST_F(HttpTest, CallbacksMayDeleteTheBridgeOrStartAnotherRequest) {
    // Both cancel the request whose callback runs, under the lock it holds.
    Outcome first, second;
    first.during = [&] {
        http->request(Http::kGet, server.url("/status?code=404").c_str(), nullptr, &Outcome::onSuccess,
                      &Outcome::onFailure, &second);
    };
    http->request(Http::kGet, server.url("/gate?name=d").c_str(), nullptr, &Outcome::onSuccess, &Outcome::onFailure,
                  &first);
    server.release("d");
    ASSERT_TRUE(second.waitCalls(1, 10000));
    ASSERT_TRUE(first.waitCalls(1, 10000));
    ASSERT_EQ(first.calls().size(), 1u);
    EXPECT_EQ(first.calls()[0].data, "gate d");
    std::vector<Call> calls = second.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, 404);
    EXPECT_TRUE(workersAtMost(0, 10000));
    EXPECT_FALSE(http->isBusy());

    Outcome last;
    last.during = [&] { http.reset(); };
    http->request(Http::kGet, server.url("/gate?name=e").c_str(), nullptr, &Outcome::onSuccess, &Outcome::onFailure,
                  &last);
    server.release("e");
    ASSERT_TRUE(last.waitCalls(1, 10000));
    EXPECT_TRUE(workersAtMost(0, 10000));
    EXPECT_FALSE(http);
    EXPECT_TRUE(last.calls()[0].success);
}

TEST_F(HttpTest, CancellingWaitsForARunningCallback) {
    // The callback runs under the request's lock: once the cancel returns,
    // no callback is running any more.
    Outcome out;
    std::mutex m;
    std::condition_variable cv;
    bool started = false;
    std::atomic<bool> ended{false};
    out.during = [&] {
        {
            std::lock_guard<std::mutex> lock(m);
            started = true;
        }
        cv.notify_all();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ended = true;
    };
    http->request(Http::kGet, server.url("/echo").c_str(), nullptr, &Outcome::onSuccess, &Outcome::onFailure, &out);
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return started; }));
    }
    http.reset();
    EXPECT_TRUE(ended.load());
    EXPECT_TRUE(workersAtMost(0, 10000));
    EXPECT_EQ(out.calls().size(), 1u);
}

}  // namespace
