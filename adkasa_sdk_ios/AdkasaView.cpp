#include "adkasa_sdk_ios/AdkasaView.h"

using KelpaPlatform::CGRect;

AdkasaBaseView::AdkasaBaseView(const CGRect& frame) : UIView(frame) {
    setBackgroundColor(std::nullopt);
    // Nothing is shown yet, so nothing may take the game's touches.
    setUserInteractionEnabled(false);
}

AdkasaBaseView::~AdkasaBaseView() = default;

void AdkasaBaseView::setAppID(const std::string& appID) { appID_ = appID; }

AdkasaView::AdkasaView(const CGRect& frame) : AdkasaBaseView(frame) {}

AdkasaView::~AdkasaView() = default;

void AdkasaView::setDelegate(AdkasaViewDelegate* delegate) { delegate_ = delegate; }

void AdkasaView::setTransitionDulation(float seconds) { transitionDulation_ = seconds; }

void AdkasaView::startShowAd() {}

void AdkasaView::stopUpdating() {}

void AdkasaView::removeFromSuperview() { UIView::removeFromSuperview(); }
