// Web views: a view that shows HTML pages, asks its delegate before each
// navigation and tells it when a page has started, finished or failed.
//
// The pages are rendered by an engine behind one small interface: WebKitGTK
// (each page in an off-screen window of its own, so that it renders
// whether or not the view is on screen, and its picture is drawn in the
// view tree at the view's place and alpha, with touches forwarded to it),
// a null engine when GTK has no display (every load fails at once, nothing
// is drawn), or a test's fake. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ns/NSURLConnection.h"
#include "platform/ui/UIView.h"

namespace KelpaPlatform {

enum class UIWebViewNavigationType {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5,
};

class UIWebView;

// Every method is optional.
class UIWebViewDelegate {
public:
    virtual ~UIWebViewDelegate() = default;
    // False: the web view does not load the request.
    virtual bool webViewShouldStartLoadWithRequest(UIWebView* webView, const NSURLRequest& request,
                                                   UIWebViewNavigationType type) {
        (void)webView;
        (void)request;
        (void)type;
        return true;
    }
    virtual void webViewDidStartLoad(UIWebView* webView) { (void)webView; }
    virtual void webViewDidFinishLoad(UIWebView* webView) { (void)webView; }
    virtual void webViewDidFailLoadWithError(UIWebView* webView, const std::string& error) {
        (void)webView;
        (void)error;
    }
};

// What renders a web view's pages. Every page load that starts ends in
// exactly one finish or one failure (a load replaced by another fails); a
// finish is told once the picture shows the page.
class WebEngine {
public:
    class Client {
    public:
        virtual ~Client() = default;
        // A navigation of the page (a new-window request counts as one of
        // this page); false cancels it.
        virtual bool engineShouldNavigate(const std::string& url, UIWebViewNavigationType type) = 0;
        virtual void engineDidStartLoad() = 0;
        virtual void engineDidFinishLoad() = 0;
        virtual void engineDidFailLoad(const std::string& error) = 0;
        // The picture changed.
        virtual void engineNeedsDisplay() = 0;
    };

    virtual ~WebEngine() = default;
    void setClient(Client* client) { client_ = client; }

    // An empty base URL: none.
    virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
    virtual void stopLoading() = 0;
    virtual bool isLoading() const = 0;
    // The page's size in points.
    virtual void setSize(const CGSize& size) = 0;
    // Draws the page at (0, 0) in points (nothing when there is no page).
    virtual void paint(cairo_t* cr) = 0;
    // A touch at a point of the page.
    virtual void touch(UITouchPhase phase, const CGPoint& point) = 0;

protected:
    Client* client_ = nullptr;
};

using WebEngineFactory = std::function<std::unique_ptr<WebEngine>()>;
// Replaces the engine new web views get (tests); null restores the
// default: WebKitGTK when GTK has a display, else the null engine.
void setWebEngineFactory(WebEngineFactory factory);
std::unique_ptr<WebEngine> makeWebEngine();
// The engine every load of which fails (no display to render on).
std::unique_ptr<WebEngine> makeNullWebEngine();

// The scroll view inside a web view: only the settings callers make.
struct UIWebScrollView {
    bool scrollsToTop = true;
    bool bounces = true;
    double contentInsetTop = 0, contentInsetLeft = 0, contentInsetBottom = 0, contentInsetRight = 0;
};

class UIWebView : public UIView, private WebEngine::Client {
public:
    explicit UIWebView(const CGRect& frame);
    ~UIWebView() override;

    // Not retained.
    void setDelegate(UIWebViewDelegate* delegate) { delegate_ = delegate; }
    UIWebViewDelegate* delegate() const { return delegate_; }

    // An empty base URL: none.
    void loadHTMLString(const std::string& html, const std::string& baseURL);
    void stopLoading();
    bool isLoading() const;

    bool scalesPageToFit() const { return scalesPageToFit_; }
    void setScalesPageToFit(bool on) { scalesPageToFit_ = on; }
    UIWebScrollView& scrollView() { return scrollView_; }

    void setFrame(const CGRect& frame) override;
    void drawRect(cairo_t* cr) override;
    // Touches go to the page.
    void touchesBegan(const UITouchSet& touches) override;
    void touchesMoved(const UITouchSet& touches) override;
    void touchesEnded(const UITouchSet& touches) override;
    void touchesCancelled(const UITouchSet& touches) override;

    WebEngine* engine() const { return engine_.get(); }

private:
    bool engineShouldNavigate(const std::string& url, UIWebViewNavigationType type) override;
    void engineDidStartLoad() override;
    void engineDidFinishLoad() override;
    void engineDidFailLoad(const std::string& error) override;
    void engineNeedsDisplay() override;
    void forward(UITouchPhase phase, const UITouchSet& touches);

    std::unique_ptr<WebEngine> engine_;
    UIWebViewDelegate* delegate_ = nullptr;
    bool scalesPageToFit_ = false;
    UIWebScrollView scrollView_;
};

}  // namespace KelpaPlatform
