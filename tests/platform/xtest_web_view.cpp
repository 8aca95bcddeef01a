// Web views over the real WebKitGTK under a display: pages finish and
// fail once each (no error page), they render off screen into the view's
// picture, a touch on a link asks the delegate about a link click (a link
// for a new window too, and once), and a refused navigation loads nothing.
#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/UIWebView.h"
#include "tests/support/main_loop.h"

using namespace KelpaPlatform;
using testloop::pumpUntil;

namespace {

struct Recorder : UIWebViewDelegate {
    std::vector<std::string> events;
    bool allow = true;
    bool webViewShouldStartLoadWithRequest(UIWebView*, const NSURLRequest& r, UIWebViewNavigationType t) override {
        events.push_back("should " + std::to_string(int(t)) + " " + r.url);
        return allow;
    }
    void webViewDidStartLoad(UIWebView*) override { events.push_back("start"); }
    void webViewDidFinishLoad(UIWebView*) override {
        events.push_back("finish");
        if (onFinish) onFinish();
    }
    std::function<void()> onFinish;
    void webViewDidFailLoadWithError(UIWebView*, const std::string&) override { events.push_back("fail"); }
    int count(const std::string& e) const { return int(std::count(events.begin(), events.end(), e)); }
};

// A port nothing listens on (and not one the engine refuses to use).
int closedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0) {
        port = ntohs(a.sin_port);
    }
    if (fd >= 0) close(fd);
    return port;
}

// The bound on waiting for one event of a page: long enough for a starved
// machine, and over as soon as the event comes.
constexpr int kEventMs = 60000;

// The engine's give-up wait for a page's drawing, for the life of this.
struct GiveUpWait {
    explicit GiveUpWait(const char* ms) { setenv("KELPA_WEB_GIVE_UP_MS", ms, 1); }
    ~GiveUpWait() { unsetenv("KELPA_WEB_GIVE_UP_MS"); }
};

class WebView : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
        view = std::make_shared<UIWebView>(CGRectMake(0, 0, 320, 50));
        view->setDelegate(&rec);
    }
    bool loaded(int finishesAndFailures, int ms = kEventMs) {
        return pumpUntil([&] { return rec.count("finish") + rec.count("fail") >= finishesAndFailures; }, ms);
    }
    // The colour of one point of the view's picture, 0xAARRGGBB.
    uint32_t pixel(int x, int y) {
        cairo_surface_t* s = renderViewImage(view.get(), 1.0);
        if (!s) return 0;
        uint32_t p = *reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4);
        cairo_surface_destroy(s);
        return p;
    }

    Recorder rec;
    std::shared_ptr<UIWebView> view;
};

TEST_F(WebView, PagesFinishOrFailOnceAndRenderOffScreen) {
    view->loadHTMLString("<body style='margin:0;background:#ff0000'>"
                         "<div style='position:absolute;left:160px;top:0;width:160px;height:50px;background:#0000ff'>"
                         "</div></body>",
                         "http://127.0.0.1:8099/");
    ASSERT_TRUE(loaded(1));
    EXPECT_EQ(rec.count("start"), 1);
    EXPECT_EQ(rec.count("finish"), 1);
    EXPECT_EQ(rec.events.front(), "should 5 http://127.0.0.1:8099/");
    // The picture follows the page once it has been painted.
    ASSERT_TRUE(pumpUntil([&] { return pixel(10, 25) == 0xffff0000u; }, kEventMs)) << std::hex << pixel(10, 25);
    EXPECT_EQ(pixel(300, 25), 0xff0000ffu);

    // A refused connection: one failure, and no error page after it.
    rec.events.clear();
    view->loadHTMLString("<script>location.href='http://127.0.0.1:" + std::to_string(closedPort()) +
                             "/none'</script>",
                         "http://127.0.0.1:8099/");
    ASSERT_TRUE(loaded(2));
    testloop::pumpFor(500);
    EXPECT_EQ(rec.count("start"), 2) << ::testing::PrintToString(rec.events);
    EXPECT_EQ(rec.count("finish"), 1);
    EXPECT_EQ(rec.count("fail"), 1);
}

// A finish is told once the picture shows the page: what the view's owner
// puts on screen then is the page, not the one before or nothing. Also when
// the engine's give-up wait ends before the page is drawn, as it does on a
// machine too busy to draw it in time (played here by a give-up wait of 0).
TEST_F(WebView, AFinishedPageIsInThePicture) {
    std::vector<uint32_t> atFinish;
    rec.onFinish = [&] { atFinish.push_back(pixel(100, 25)); };
    const uint32_t colours[] = {0xff0000ffu, 0xffff0000u, 0xff0000ffu, 0xffff0000u, 0xff0000ffu, 0xffff0000u};
    for (const char* giveUp : {"", "0"}) {
        GiveUpWait wait(giveUp);
        view = std::make_shared<UIWebView>(CGRectMake(0, 0, 320, 50));
        view->setDelegate(&rec);
        for (uint32_t c : colours) {
            char css[8];
            std::snprintf(css, sizeof css, "#%06x", unsigned(c & 0xffffff));
            size_t before = atFinish.size();
            view->loadHTMLString(std::string("<body style='margin:0;background:") + css + "'></body>",
                                 "http://127.0.0.1:8099/");
            ASSERT_TRUE(pumpUntil([&] { return atFinish.size() > before; }, kEventMs)) << css << " give-up " << giveUp;
            EXPECT_EQ(atFinish.back(), c) << css << " give-up " << giveUp << std::hex << " " << atFinish.back();
        }
    }
    rec.onFinish = nullptr;
}

// A web view draws only what its page paints: before any page, with an
// empty page and where a page's body is clear, what lies under the view
// shows through; a page's own background covers it.
TEST_F(WebView, WhatThePageLeavesClearShowsWhatIsUnder) {
    const struct {
        const char* what;
        const char* html;  // null: nothing loaded
        uint32_t left, right;
    } cases[] = {
        {"nothing loaded", nullptr, 0xff00ff00u, 0xff00ff00u},
        {"an empty page", "", 0xff00ff00u, 0xff00ff00u},
        {"a clear body", "<body style='margin:0'><div style='position:absolute;left:160px;top:0;width:160px;"
                         "height:50px;background:#0000ff'></div></body>",
         0xff00ff00u, 0xff0000ffu},
        {"a body of its own colour", "<body style='margin:0;background:#ff0000'></body>", 0xffff0000u, 0xffff0000u},
    };
    // The view over a green ground, 0xAARRGGBB.
    auto over = [&](int x, int y) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 320, 50);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 0, 1, 0);
        cairo_paint(cr);
        renderViewTree(view.get(), cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        uint32_t p = *reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4);
        cairo_surface_destroy(s);
        return p;
    };
    for (const auto& c : cases) {
        view = std::make_shared<UIWebView>(CGRectMake(0, 0, 320, 50));
        view->setDelegate(&rec);
        rec.events.clear();
        if (c.html) {
            view->loadHTMLString(c.html, "http://127.0.0.1:8099/");
            ASSERT_TRUE(loaded(1)) << c.what;
        }
        // Painted a moment after the load ends.
        pumpUntil([&] { return over(10, 25) == c.left && over(300, 25) == c.right; }, kEventMs);
        testloop::pumpFor(300);
        EXPECT_EQ(over(10, 25), c.left) << c.what << std::hex << " " << over(10, 25);
        EXPECT_EQ(over(300, 25), c.right) << c.what << std::hex << " " << over(300, 25);
    }
}

TEST_F(WebView, ATouchOnALinkIsALinkClickAndARefusalLoadsNothing) {
    const struct {
        const char* what;
        const char* target;
    } cases[] = {{"same window", ""}, {"new window", " target='_blank'"}};
    for (const auto& c : cases) {
        rec.events.clear();
        rec.allow = true;
        view->loadHTMLString(std::string("<body style='margin:0'><a href='http://127.0.0.1:8099/ad'") + c.target +
                                 " style='display:block;width:320px;height:50px;background:#0f0'>ad</a></body>",
                             "http://127.0.0.1:8099/");
        ASSERT_TRUE(loaded(1)) << c.what;
        testloop::pumpFor(200);
        rec.events.clear();
        rec.allow = false;
        UITouch t;
        t.windowLocation = CGPointMake(100, 25);
        view->touchesBegan({t});
        view->touchesEnded({t});
        ASSERT_TRUE(pumpUntil([&] { return !rec.events.empty(); }, kEventMs)) << c.what;
        testloop::pumpFor(300);
        EXPECT_EQ(rec.events, std::vector<std::string>{"should 0 http://127.0.0.1:8099/ad"}) << c.what;
    }
}

}  // namespace
