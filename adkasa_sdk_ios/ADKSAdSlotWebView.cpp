#include "adkasa_sdk_ios/ADKSAdSlotWebView.h"

#include <cairo.h>
#include <glib.h>

#include <cmath>
#include <cstring>

#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "adkasa_sdk_ios/AdkasaBaseView.h"
#include "adkasa_sdk_ios/AdkasaManager.h"
#include "platform/ns/NSDeviceFacts.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

using namespace KelpaPlatform;

namespace adks {

namespace {

constexpr double kReportTimeoutSeconds = 10.0;

void sendReport(const std::string& url) {
    if (url.empty()) return;
    NSURLRequest request(url);
    request.httpMethod = "GET";
    request.cachePolicy = NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    request.timeoutInterval = kReportTimeoutSeconds;
    NSURLConnection::sendWithoutDelegate(request, AdkasaEnvironment::shared().clock);
}

bool isWebLink(const std::string& url) {
    auto starts = [&](const char* scheme) { return g_ascii_strncasecmp(url.c_str(), scheme, std::strlen(scheme)) == 0; };
    return starts("http://") || starts("https://");
}

}  // namespace

std::string impressionReportURL(const std::string& appId, const std::string& userAdId,
                                const std::optional<std::string>& deviceId, const std::string& locale) {
    std::string base = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.impression, "http");
    if (base.empty()) return {};
    return base + "/adkasa/api/rec-impression?app_id=" + percentEscape(appId) + "&user_ad_id=" + percentEscape(userAdId) +
           "&device_id=" + percentEscape(deviceId.value_or("")) + "&locale=" + percentEscape(locale);
}

std::string clickReportURL(const std::string& appId, const std::string& userAdId,
                           const std::optional<std::string>& deviceId, const std::string& locale) {
    std::string base = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.mainApi, "http");
    if (base.empty()) return {};
    return base + "/adkasa/api/rec-click/app_id/" + percentEscape(appId) + "/user_ad_id/" + percentEscape(userAdId) +
           "/device_id/" + percentEscape(deviceId.value_or("")) + "/locale/" + percentEscape(locale);
}

std::string adPageBaseURL() {
    std::string base = adkasaEndpointBase(AdkasaEnvironment::shared().endpoints.siteRoot, "http");
    return base.empty() ? std::string() : base + "/";
}

std::string filledPlaceholders(const std::string& html) {
    std::string out = html;
    if (out.find("[ADK_IDFA]") != std::string::npos) {
        out = replaceAll(out, "[ADK_IDFA]", AdkasaManager::stringAdvertisingId().value_or(""));
    }
    if (out.find("[ADK_PACKAGE]") != std::string::npos) {
        out = replaceAll(out, "[ADK_PACKAGE]", AdkasaEnvironment::shared().device()->bundleIdentifier().value_or(""));
    }
    return out;
}

namespace {
std::string wrapper(const std::string& divStyle, const std::string& bgColor, const std::string& markup) {
    return "<html><head><base target=\"_blank\"><meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
           "</head><body style='text-align:center;padding:0;margin:0;overflow:hidden;background-color:#" +
           bgColor + ";'><div style=\"" + divStyle + "\"> " + markup + " </div></body></html>";
}
}  // namespace

std::string bannerWrapper(const std::string& bgColor, const std::string& markup) {
    return wrapper("width:320px;margin:0 auto;", bgColor, markup);
}

std::string interstitialWrapper(const std::string& bgColor, const std::string& markup) {
    return wrapper("margin:0;", bgColor, markup);
}

bool pictureShowsSomething(cairo_surface_t* picture, double width) {
    if (!picture || !(width > 1)) return false;
    cairo_surface_flush(picture);
    const unsigned char* data = cairo_image_surface_get_data(picture);
    int w = cairo_image_surface_get_width(picture);
    int h = cairo_image_surface_get_height(picture);
    int stride = cairo_image_surface_get_stride(picture);
    if (!data || w <= 0 || h <= 0) return false;
    // Columns 1, 7, 13, ... of the middle row, each pixel found through
    // the picture's real row length; samples past its end are not taken.
    const unsigned char* reference = nullptr;
    for (double x = 1; x < width; x += 6) {
        double index = std::floor(x + double(w) * double(h) * 0.5);
        if (index >= double(w) * double(h)) break;
        int64_t i = int64_t(index);
        const unsigned char* px = data + (i / w) * int64_t(stride) + (i % w) * 4;
        if (!reference) {
            reference = px;
        } else if (std::memcmp(reference, px, 4) != 0) {
            return true;
        }
    }
    return false;
}

AdSlotWebView::AdSlotWebView(const CGRect& frame) : UIWebView(frame) {
    for (size_t i = 0; i < kAdNetworkCount; ++i) networks_[i] = makeAdNetworkRequest(AdNetwork(i));
    setBackgroundColor(std::nullopt);
    setDelegate(this);
}

AdSlotWebView::~AdSlotWebView() {
    setDelegate(nullptr);
    // A cancelled manager drops its handler: no answer reaches this view.
    for (auto& m : networks_) m->cancel();
}

void AdSlotWebView::loadPage(const std::string& html) { loadHTMLString(html, adPageBaseURL()); }

void AdSlotWebView::loadHtmlFromEntity(std::shared_ptr<ADKSJSAdEntity> entity) {
    if (!entity) return;
    htmlLoaded_ = false;
    needsPostAdClicked_ = false;
    currentEntity_ = entity;
    if (loadsNothingFor(*entity)) return;
    const std::string& html = entity->htmlString();
    std::string key = entity->adNetworkKey().value_or("");
    if (auto n = adNetworkForKey(key)) {
        askNetwork(*n, entity);
    } else {
        loadPage(filledPlaceholders(html));
        if (testMode_) showTestLabel(key);
    }
}

void AdSlotWebView::askNetwork(AdNetwork n, const std::shared_ptr<ADKSJSAdEntity>& entity) {
    NetworkAdRequest& m = network(n);
    m.setAdTag(entity->htmlString());
    if (adNetworkReadsEntity(n)) m.setEntity(entity);
    m.setUserAdId(entity->userAdId());
    m.setFinishLoadHandler(this, [this, n](NetworkAdRequest* r) {
        if (n == AdNetwork::InMobi) {
            inmobiLoadFinish(r);
        } else if (n == AdNetwork::Leadbolt) {
            leadboltLoadFinish(r);
        } else {
            mmediaLoadFinish(r);
        }
    });
    m.load();
}

void AdSlotWebView::cleanForLoadHtml() { loadHTMLString("", ""); }

bool AdSlotWebView::isCurrent(const std::string& userAdId) const {
    return currentEntity_ && currentEntity_->userAdId() == userAdId;
}

void AdSlotWebView::inmobiLoadFinish(NetworkAdRequest* m) {
    if (!m || !isCurrent(m->userAdId())) return;
    showInMobiAnswer(m->apiHtmlTag());
    if (testMode_) showTestLabel(kKeyInMobi);
}

void AdSlotWebView::leadboltLoadFinish(NetworkAdRequest* m) {
    if (!m || !isCurrent(m->userAdId())) return;
    loadPage(m->displayHTML());
    if (testMode_) showTestLabel(currentEntity_->adNetworkKey().value_or(""));
}

void AdSlotWebView::mmediaLoadFinish(NetworkAdRequest* m) {
    if (m) networkAnswered(m->userAdId(), m->apiHtmlTag());
}

void AdSlotWebView::networkAnswered(const std::string& userAdId, const std::string& markup) {
    if (!isCurrent(userAdId)) return;
    showNetworkAnswer(markup);
    if (testMode_) showTestLabel(currentEntity_->adNetworkKey().value_or(""));
}

void AdSlotWebView::showInMobiAnswer(const std::string& markup) { loadPage(bannerWrapper(adDataBgColor_, markup)); }

void AdSlotWebView::showNetworkAnswer(const std::string& markup) { loadPage(markup); }

void AdSlotWebView::postAdDisplayed() {
    if (!currentEntity_) return;
    AdkasaBaseView* o = owner();
    AdkasaManager* manager = o ? o->getManager() : nullptr;
    std::optional<std::string> device = manager && manager->adData() ? manager->adData()->deviceID : std::nullopt;
    sendReport(impressionReportURL(o ? o->getAppId() : std::string(), currentEntity_->userAdId(), device,
                                   AdkasaManager::stringCurrentContryCode()));
}

void AdSlotWebView::postAdClicked() {
    needsPostAdClicked_ = false;
    AdkasaBaseView* o = owner();
    // The owner may be told first; the report still goes out.
    std::shared_ptr<ADKSJSAdEntity> entity = currentEntity_;
    std::string appId = o ? o->getAppId() : std::string();
    AdkasaManager* manager = o ? o->getManager() : nullptr;
    std::optional<std::string> device = manager && manager->adData() ? manager->adData()->deviceID : std::nullopt;
    if (o) o->slotAdTapped();
    if (!entity) return;
    sendReport(clickReportURL(appId, entity->userAdId(), device, AdkasaManager::stringCurrentContryCode()));
}

UIView* AdSlotWebView::hitTest(const CGPoint& point) {
    if (pointInside(point) && htmlLoaded_) needsPostAdClicked_ = true;
    return UIWebView::hitTest(point);
}

bool AdSlotWebView::webViewShouldStartLoadWithRequest(UIWebView*, const NSURLRequest& request,
                                                      UIWebViewNavigationType type) {
    if (needsPostAdClicked_) {
        std::string key = currentEntity_ ? currentEntity_->adNetworkKey().value_or("") : std::string();
        if (key == kKeyAnyNavigationClicks || key == kKeyMMedia || type == UIWebViewNavigationType::LinkClicked) {
            std::string url = request.url;
            std::shared_ptr<UIView> keep = shared_from_this();  // the owner may let go of this view when told
            postAdClicked();
            // Only web links leave the app.
            if (isWebLink(url)) AdkasaEnvironment::shared().openURL(url);
            return false;
        }
    }
    return true;
}

void AdSlotWebView::webViewDidFinishLoad(UIWebView*) {
    scrollView().contentInsetTop = scrollView().contentInsetLeft = 0;
    scrollView().contentInsetBottom = scrollView().contentInsetRight = 0;
    htmlLoaded_ = true;
    setNeedsDisplay();
}

bool AdSlotWebView::layerColorMatchCheck() {
    cairo_surface_t* picture = renderViewImage(this, 1.0);
    bool something = pictureShowsSomething(picture, frame().size.width);
    if (picture) cairo_surface_destroy(picture);
    return something;
}

std::shared_ptr<UIImageView> AdSlotWebView::getScreenImageView() {
    cairo_surface_t* picture = renderViewImage(this, UIScreen::mainScreen().scale());
    auto view = std::make_shared<UIImageView>(UIImage::imageWithSurface(picture));
    if (picture) cairo_surface_destroy(picture);
    view->setFrame(CGRectMake(0, 0, frame().size.width, frame().size.height));
    return view;
}

void AdSlotWebView::showTestLabel(const std::string& text) {
    if (auto old = networkKeyLabel_.lock()) old->removeFromSuperview();
    auto label = std::make_shared<UILabel>(CGRectMake(0, 0, 100, 20));
    label->setText(text);
    label->setTextAlignment(NSTextAlignment::Center);
    label->setTextColor(UIColor{0, 0, 0, 1});
    label->setBackgroundColor(UIColor{1, 1, 0, 1});
    label->setFont(UIFont::boldSystemFontOfSize(12));
    addSubview(label);
    networkKeyLabel_ = label;
}

}  // namespace adks
