// What the banner's ad slot (ADKSWebView) and the interstitial's web view
// (ADKSWebPopupView) share: one ad entity shown as HTML, either its own
// (placeholders filled) or what an outside network's request builder hands
// back; a touch inside a loaded ad arms a click, and the next qualifying
// navigation becomes one (the owner's tap callback, the click report, the
// link opened outside); impression reports; the blank-render check and
// snapshots. The two differ only through the hooks below. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkasa_sdk_ios/ADKSAdNetworks.h"
#include "adkasa_sdk_ios/AdkasaData.h"
#include "platform/ui/UIWebView.h"

class AdkasaBaseView;

namespace KelpaPlatform {
class UIImageView;
class UILabel;
}  // namespace KelpaPlatform

namespace adks {

// Keys besides the networks' (ADKSAdNetworks.h).
inline constexpr const char* kKeyAnyNavigationClicks = "1072";
inline constexpr const char* kKeyNoAd = "default";

// Report URLs (values percent-escaped; an absent device id is empty).
std::string impressionReportURL(const std::string& appId, const std::string& userAdId,
                                const std::optional<std::string>& deviceId, const std::string& locale);
std::string clickReportURL(const std::string& appId, const std::string& userAdId,
                           const std::optional<std::string>& deviceId, const std::string& locale);
// The base URL of every ad page: the ad service's site root, "/".
std::string adPageBaseURL();
// The own HTML of an ad with "[ADK_IDFA]" and "[ADK_PACKAGE]" filled.
std::string filledPlaceholders(const std::string& html);
// The wrapper around an InMobi answer (the banner's centres 320 pixels).
std::string bannerWrapper(const std::string& bgColor, const std::string& markup);
std::string interstitialWrapper(const std::string& bgColor, const std::string& markup);
// True when the blank-render check finds two differing samples in the
// middle row of an ARGB32 picture of the view (`width` is the view's).
bool pictureShowsSomething(cairo_surface_t* picture, double width);

class AdSlotWebView : public KelpaPlatform::UIWebView, public KelpaPlatform::UIWebViewDelegate {
public:
    ~AdSlotWebView() override;

    // Starts showing an entity; null does nothing.
    void loadHtmlFromEntity(std::shared_ptr<ADKSJSAdEntity> entity);
    // Loads an empty page (no base URL).
    void cleanForLoadHtml();
    // The blank-render check: true when the view shows anything but one
    // uniform colour.
    bool layerColorMatchCheck();
    // A picture of the view (framed at its size at the origin).
    std::shared_ptr<KelpaPlatform::UIImageView> getScreenImageView();
    void postAdDisplayed();
    void postAdClicked();

    KelpaPlatform::UIView* hitTest(const KelpaPlatform::CGPoint& point) override;

    bool webViewShouldStartLoadWithRequest(KelpaPlatform::UIWebView* webView, const KelpaPlatform::NSURLRequest& request,
                                           KelpaPlatform::UIWebViewNavigationType type) override;
    void webViewDidFinishLoad(KelpaPlatform::UIWebView* webView) override;

    // The networks' answers: InMobi's, Leadbolt's, and Millennial Media's
    // or GameFeat's.
    void inmobiLoadFinish(NetworkAdRequest* manager);
    void leadboltLoadFinish(NetworkAdRequest* manager);
    void mmediaLoadFinish(NetworkAdRequest* manager);

    bool htmlLoaded() const { return htmlLoaded_; }
    bool needsPostAdClicked() const { return needsPostAdClicked_; }
    bool testMode() const { return testMode_; }
    void setTestMode(bool on) { testMode_ = on; }
    const std::shared_ptr<ADKSJSAdEntity>& currentEntity() const { return currentEntity_; }
    const std::string& adDataBgColor() const { return adDataBgColor_; }
    void setAdDataBgColor(const std::string& colour) { adDataBgColor_ = colour; }
    std::shared_ptr<KelpaPlatform::UILabel> networkKeyLabel() const { return networkKeyLabel_.lock(); }

    NetworkAdRequest& network(AdNetwork n) { return *networks_[size_t(n)]; }
    NetworkAdRequest& inmobiManager() { return network(AdNetwork::InMobi); }
    NetworkAdRequest& leadboltManager() { return network(AdNetwork::Leadbolt); }
    NetworkAdRequest& mmediaManager() { return network(AdNetwork::MMedia); }
    NetworkAdRequest& gamefeatManager() { return network(AdNetwork::GameFeat); }

protected:
    explicit AdSlotWebView(const KelpaPlatform::CGRect& frame);

    // The view that owns this one (not retained), or null.
    virtual AdkasaBaseView* owner() const = 0;
    // An entity that is not loaded at all; true when it was handled.
    virtual bool loadsNothingFor(const ADKSJSAdEntity& entity) {
        (void)entity;
        return false;
    }
    // A network's markup, for the current entity, as the page to load:
    // the default loads it as it is.
    virtual void showInMobiAnswer(const std::string& markup);
    virtual void showNetworkAnswer(const std::string& markup);

    void loadPage(const std::string& html);
    void showTestLabel(const std::string& text);

    bool htmlLoaded_ = false;
    bool needsPostAdClicked_ = false;
    bool testMode_ = false;
    std::shared_ptr<ADKSJSAdEntity> currentEntity_;
    std::weak_ptr<KelpaPlatform::UILabel> networkKeyLabel_;  // kept by this view as a subview
    std::array<std::unique_ptr<NetworkAdRequest>, kAdNetworkCount> networks_;  // by AdNetwork
    std::string adDataBgColor_;

private:
    // True when the finishing request's ad is still the current one.
    bool isCurrent(const std::string& userAdId) const;
    // Hands the entity to its network; the answer comes to a finish handler.
    void askNetwork(AdNetwork n, const std::shared_ptr<ADKSJSAdEntity>& entity);
    void networkAnswered(const std::string& userAdId, const std::string& markup);
};

}  // namespace adks
