#include "adkasa_sdk_ios/AdkasaView.h"

#include <atomic>

using KelpaPlatform::CGRect;

namespace {
uint64_t nextNotificationToken() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}
}  // namespace

AdkasaBaseView::AdkasaBaseView(const CGRect& frame) : UIView(frame), notificationToken_(nextNotificationToken()) {
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
