#include "platform/ui/UIWebView.h"

#include <cstdio>

#include "platform/ns/MainQueue.h"

namespace KelpaPlatform {

std::unique_ptr<WebEngine> makeWebKitEngine();  // null without a display

namespace {

WebEngineFactory& engineFactory() {
    static WebEngineFactory factory;
    return factory;
}

// Without a display there is nothing to render on: every load fails on
// the next turn of the main loop, and nothing is drawn.
class NullWebEngine final : public WebEngine {
public:
    NullWebEngine() : alive_(std::make_shared<bool>(true)) {}
    ~NullWebEngine() override { *alive_ = false; }

    void loadHTMLString(const std::string&, const std::string&) override {
        static bool told = false;
        if (!told) {
            told = true;
            std::fprintf(stderr, "web views: no display, pages are not rendered\n");
        }
        ++pending_;
        std::weak_ptr<bool> alive = alive_;
        dispatchAsyncMain([this, alive]() {
            if (alive.expired()) return;
            --pending_;
            if (!client_) return;
            client_->engineDidStartLoad();
            client_->engineDidFailLoad("no display to render web pages on");
        });
    }
    void stopLoading() override {}
    bool isLoading() const override { return pending_ > 0; }
    void setSize(const CGSize&) override {}
    void paint(cairo_t*) override {}
    void touch(UITouchPhase, const CGPoint&) override {}

private:
    std::shared_ptr<bool> alive_;
    int pending_ = 0;
};

}  // namespace

void setWebEngineFactory(WebEngineFactory factory) { engineFactory() = std::move(factory); }

std::unique_ptr<WebEngine> makeNullWebEngine() { return std::make_unique<NullWebEngine>(); }

std::unique_ptr<WebEngine> makeWebEngine() {
    if (engineFactory()) {
        if (auto e = engineFactory()()) return e;
    }
    if (auto e = makeWebKitEngine()) return e;
    return makeNullWebEngine();
}

UIWebView::UIWebView(const CGRect& frame) : UIView(frame), engine_(makeWebEngine()) {
    engine_->setClient(this);
    engine_->setSize(frame.size);
}

UIWebView::~UIWebView() {
    delegate_ = nullptr;
    if (engine_) engine_->setClient(nullptr);
}

void UIWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    engine_->loadHTMLString(html, baseURL);
}

void UIWebView::stopLoading() { engine_->stopLoading(); }

bool UIWebView::isLoading() const { return engine_->isLoading(); }

void UIWebView::setFrame(const CGRect& frame) {
    UIView::setFrame(frame);
    engine_->setSize(frame.size);
}

void UIWebView::drawRect(cairo_t* cr) {
    UIView::drawRect(cr);
    engine_->paint(cr);
}

void UIWebView::forward(UITouchPhase phase, const UITouchSet& touches) {
    if (touches.empty()) return;
    engine_->touch(phase, touches.front().locationInView(this));
}

void UIWebView::touchesBegan(const UITouchSet& t) { forward(UITouchPhase::Began, t); }
void UIWebView::touchesMoved(const UITouchSet& t) { forward(UITouchPhase::Moved, t); }
void UIWebView::touchesEnded(const UITouchSet& t) { forward(UITouchPhase::Ended, t); }
void UIWebView::touchesCancelled(const UITouchSet& t) { forward(UITouchPhase::Cancelled, t); }

bool UIWebView::engineShouldNavigate(const std::string& url, UIWebViewNavigationType type) {
    if (!delegate_) return true;
    NSURLRequest request(url);
    return delegate_->webViewShouldStartLoadWithRequest(this, request, type);
}

void UIWebView::engineDidStartLoad() {
    if (delegate_) delegate_->webViewDidStartLoad(this);
}

void UIWebView::engineDidFinishLoad() {
    if (delegate_) delegate_->webViewDidFinishLoad(this);
}

void UIWebView::engineDidFailLoad(const std::string& error) {
    if (delegate_) delegate_->webViewDidFailLoadWithError(this, error);
}

void UIWebView::engineNeedsDisplay() { setNeedsDisplay(); }

}  // namespace KelpaPlatform
