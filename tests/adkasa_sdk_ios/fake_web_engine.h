// A web engine for logic tests: records what it is asked to load and
// ends each load only when the test says so (or on the driven clock, with
// autoFinish). What a finished page shows follows its HTML: an empty page
// shows nothing, a page that holds "blank" one uniform colour, any other
// page two colours (left half red, right half blue), so the blank-render
// check can be steered from the ads' HTML.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "adkasa_sdk_ios/AdkasaEnvironment.h"
#include "platform/ui/UIWebView.h"

namespace adtest {

class FakeWebEngine : public KelpaPlatform::WebEngine {
public:
    struct Load {
        std::string html, baseURL;
    };

    explicit FakeWebEngine(std::shared_ptr<std::vector<FakeWebEngine*>> registry) : registry_(std::move(registry)) {
        registry_->push_back(this);
    }
    ~FakeWebEngine() override {
        *alive_ = false;
        for (auto& e : *registry_) {
            if (e == this) e = nullptr;
        }
    }

    // What becomes of a load still pending when the next one is handed
    // over: dropped (only the last one ends), or ended first, as a failure
    // or as a finished load.
    enum class Replaced { Dropped, Fail, Finish };

    void loadHTMLString(const std::string& html, const std::string& baseURL) override {
        if (pending_ && replaced == Replaced::Fail) fail("replaced");
        if (pending_ && replaced == Replaced::Finish) finish();
        loads.push_back(Load{html, baseURL});
        pending_ = true;
        if (autoFinish) {
            std::weak_ptr<bool> alive = alive_;
            AdkasaEnvironment::shared().clock->schedule(0.01, [this, alive] {
                if (!alive.expired() && pending_) finish();
            });
        }
    }
    void stopLoading() override { ++stops; }
    bool isLoading() const override { return pending_; }
    void setSize(const KelpaPlatform::CGSize& s) override { size = s; }
    void paint(cairo_t* cr) override {
        if (shown_.empty()) return;
        double w = size.width, h = size.height;
        if (shown_.find("blank") != std::string::npos) {
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            cairo_rectangle(cr, 0, 0, w, h);
            cairo_fill(cr);
            return;
        }
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 0, 0, w / 2, h);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_rectangle(cr, w / 2, 0, w - w / 2, h);
        cairo_fill(cr);
    }
    void touch(KelpaPlatform::UITouchPhase phase, const KelpaPlatform::CGPoint& p) override {
        touches.push_back({phase, p});
    }

    // The test's side: the last load starts and ends.
    void finish() {
        if (!pending_ || !client_) return;
        pending_ = false;
        shown_ = loads.empty() ? std::string() : loads.back().html;
        client_->engineDidStartLoad();
        if (client_) client_->engineDidFinishLoad();
    }
    void fail(const std::string& error = "failed") {
        if (!pending_ || !client_) return;
        pending_ = false;
        client_->engineDidStartLoad();
        if (client_) client_->engineDidFailLoad(error);
    }
    // A navigation of the page; the client's answer.
    bool navigate(const std::string& url, KelpaPlatform::UIWebViewNavigationType type) {
        return client_ ? client_->engineShouldNavigate(url, type) : true;
    }
    // The page that the last finished load shows.
    const std::string& shownHTML() const { return shown_; }
    const std::string& lastHTML() const {
        static const std::string none;
        return loads.empty() ? none : loads.back().html;
    }

    std::vector<Load> loads;
    std::vector<std::pair<KelpaPlatform::UITouchPhase, KelpaPlatform::CGPoint>> touches;
    KelpaPlatform::CGSize size;
    int stops = 0;
    bool autoFinish = false;
    Replaced replaced = Replaced::Dropped;

private:
    std::shared_ptr<std::vector<FakeWebEngine*>> registry_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool pending_ = false;
    std::string shown_;
};

// Makes every new web view's engine a fake while it lives.
class FakeWebEngines {
public:
    explicit FakeWebEngines(bool autoFinish = false, FakeWebEngine::Replaced replaced = FakeWebEngine::Replaced::Dropped)
        : autoFinish_(autoFinish), replaced_(replaced) {
        KelpaPlatform::setWebEngineFactory([this]() -> std::unique_ptr<KelpaPlatform::WebEngine> {
            auto e = std::make_unique<FakeWebEngine>(all_);
            e->autoFinish = autoFinish_;
            e->replaced = replaced_;
            return e;
        });
    }
    ~FakeWebEngines() { KelpaPlatform::setWebEngineFactory(nullptr); }

    static FakeWebEngine* of(KelpaPlatform::UIWebView* view) {
        return view ? dynamic_cast<FakeWebEngine*>(view->engine()) : nullptr;
    }
    size_t made() const { return all_->size(); }

private:
    bool autoFinish_;
    FakeWebEngine::Replaced replaced_;
    std::shared_ptr<std::vector<FakeWebEngine*>> all_ = std::make_shared<std::vector<FakeWebEngine*>>();
};

}  // namespace adtest
