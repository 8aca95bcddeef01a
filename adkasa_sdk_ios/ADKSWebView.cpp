#include "adkasa_sdk_ios/ADKSWebView.h"

ADKSWebView::ADKSWebView(const KelpaPlatform::CGRect& frame) : AdSlotWebView(frame) {
    scrollView().scrollsToTop = false;
    gamefeatManager().setAdsize(15);
}

AdkasaBaseView* ADKSWebView::owner() const { return parentView_; }
