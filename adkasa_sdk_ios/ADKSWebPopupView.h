// The interstitial's web view: an ad slot (see ADKSAdSlotWebView.h) that
// tells its owner of every load that ends, counts the loads that started
// and ended, and turns a network's empty answer (or the "default" ad, which
// means no ad) into a failure instead of a blank page.
#pragma once

#include <cstdint>

#include "adkasa_sdk_ios/ADKSAdSlotWebView.h"


class ADKSWebPopupView : public adks::AdSlotWebView {
public:
    // initWithFrame:
    explicit ADKSWebPopupView(const KelpaPlatform::CGRect& frame);

    // The interstitial that owns this view (not retained): hears of every
    // load that ends.
    AdkasaBaseView* parentView() const { return parentView_; }
    void setParentView(AdkasaBaseView* view) { parentView_ = view; }

    void setInmobiAdSize(int32_t size);
    // Loads started and loads ended (finished or failed), never reset.
    int32_t shouldCnt() const { return shouldCnt_; }
    int32_t finishCnt() const { return finishCnt_; }

    void webViewDidStartLoad(KelpaPlatform::UIWebView* webView) override;
    void webViewDidFinishLoad(KelpaPlatform::UIWebView* webView) override;
    void webViewDidFailLoadWithError(KelpaPlatform::UIWebView* webView, const std::string& error) override;

private:
    AdkasaBaseView* owner() const override;
    bool loadsNothingFor(const ADKSJSAdEntity& entity) override;
    void showInMobiAnswer(const std::string& markup) override;
    void showNetworkAnswer(const std::string& markup) override;
    void failed();

    AdkasaBaseView* parentView_ = nullptr;
    int32_t shouldCnt_ = 0;
    int32_t finishCnt_ = 0;
};
