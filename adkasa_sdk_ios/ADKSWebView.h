// One of the two ad slots of a banner: shows one ad as HTML (see
// ADKSAdSlotWebView.h) for the banner that owns it.
#pragma once

#include "adkasa_sdk_ios/ADKSAdSlotWebView.h"

class AdkasaBaseView;

class ADKSWebView : public adks::AdSlotWebView {
public:
    // initWithFrame:
    explicit ADKSWebView(const KelpaPlatform::CGRect& frame);

    // The banner that owns this slot (not retained).
    AdkasaBaseView* parentView() const { return parentView_; }
    void setParentView(AdkasaBaseView* view) { parentView_ = view; }

private:
    AdkasaBaseView* owner() const override;

    AdkasaBaseView* parentView_ = nullptr;
};
